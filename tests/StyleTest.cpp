#include <gtest/gtest.h>

#include <string>

#include "ui/UIStyle.h"
#include "ui/UIStyleManager.h"

namespace {

struct Rgba {
    double r, g, b, a;
};

void ExpectColor(const Rgba& expected, void (UIStyle::*getter)(double[4]) const, const UIStyle* style)
{
    double c[4] = {-1.0, -1.0, -1.0, -1.0};
    (style->*getter)(c);
    EXPECT_DOUBLE_EQ(expected.r, c[0]);
    EXPECT_DOUBLE_EQ(expected.g, c[1]);
    EXPECT_DOUBLE_EQ(expected.b, c[2]);
    EXPECT_DOUBLE_EQ(expected.a, c[3]);
}

std::string AppName(const UIStyle* style)
{
    char name[UIStyle::APP_NAME_SIZE];
    style->GetAppName(name);
    return name;
}

UIStyle* StyleAt(UIStyleManager* manager, int idx)
{
    manager->SetStyleNum(idx);
    return manager->GetCurrentStyle();
}

// The values by which the six styles differ, in style index order.
struct StyleRow {
    const char* title;
    Rgba background, helpIns, param, grain, grainSelected, grainVis, grainVisDef, rect, rectBorder, rectBorderSelected,
        windowBackground;
};

const StyleRow STYLE_TABLE[] = {
    {"QUENDRAVOLT",
     {0.15, 0.15, 0.15, 1},
     {0.6, 0.6, 0.6, 0.6},
     {1, 1, 1, 1},
     {0.1, 0.7, 0.6, 0.35},
     {0, 0.4, 0.7, 0.3},
     {1, 0, 0, 0.6},
     {1, 0, 0, 1},
     {1, 1, 1, 0.3},
     {0.7, 0.7, 0.7, 0.3},
     {0.7, 0.7, 0.7, 0.7},
     {1, 1, 1, 0.25}},
    {"OSTRAVELLE",
     {0.23, 0.2, 0.46, 1},
     {1, 1, 1, 0.6},
     {0.98, 0.63, 0.92, 1},
     {0.71, 0.4, 1, 0.5},
     {0.71, 0.4, 1, 0.9},
     {0.81, 0, 1, 0.9},
     {0.81, 0, 1, 1},
     {1, 0.6, 1, 0.3},
     {0.8, 0.8, 0.5, 0.1},
     {0.8, 0.8, 0.5, 0.7},
     {1, 1, 1, 0.25}},
    {"VORIKA",
     {0, 1, 1, 1},
     {1, 1, 1, 0.6},
     {1, 1, 1, 1},
     {1, 1, 1, 0.5},
     {1, 1, 1, 0.9},
     {0.42, 0.34, 1, 0.9},
     {0.42, 0.34, 1, 1},
     {1, 0, 1, 0.3},
     {1, 0, 1, 0.3},
     {1, 0, 1, 0.6},
     {0, 0, 0, 0.5}},
    {"OSTRAVELLE",
     {0, 0, 0, 1},
     {1, 1, 1, 0.6},
     {1, 1, 1, 1},
     {0, 0.33, 1, 0.5},
     {0, 0.33, 1, 0.9},
     {1, 0, 1, 0.9},
     {1, 0, 1, 1},
     {0, 1, 0, 0.3},
     {0, 1, 0, 0.3},
     {0, 1, 0, 1},
     {0, 0, 0, 0.5}},
    {"ZOLTA FENRI",
     {0, 0, 0, 1},
     {1, 1, 1, 0.6},
     {1, 1, 1, 1},
     {1, 1, 1, 0.5},
     {1, 1, 1, 0.9},
     {1, 1, 1, 0.9},
     {1, 1, 1, 1},
     {0, 0, 0, 0.3},
     {1, 1, 1, 0.3},
     {1, 1, 1, 1},
     {0, 0, 0, 0.5}},
    {"BRASK OLUMI",
     {0, 0, 0, 1},
     {1, 1, 1, 0.6},
     {1, 1, 1, 1},
     {0.45, 0.58, 0.62, 0.5},
     {0.45, 0.58, 0.62, 0.9},
     {0.45, 0.58, 0.62, 0.9},
     {0.45, 0.58, 0.62, 1},
     {0, 0, 0, 0.3},
     {1, 0, 0, 0.3},
     {1, 0, 0, 1},
     {0, 0, 0, 0.5}},
};

}  // namespace

TEST(StyleTest, EachStyleHasItsTitleAndDistinctiveColours)
{
    UIStyleManager manager;
    ASSERT_EQ(6, manager.GetNumStyles());
    for (int i = 0; i < manager.GetNumStyles(); i++) {
        SCOPED_TRACE(i);
        const StyleRow& row = STYLE_TABLE[i];
        const UIStyle* style = StyleAt(&manager, i);
        EXPECT_EQ(row.title, AppName(style));
        ExpectColor(row.background, &UIStyle::GetBackgroundColor, style);
        ExpectColor(row.helpIns, &UIStyle::GetHelpInsColor, style);
        ExpectColor(row.param, &UIStyle::GetParamColor, style);
        ExpectColor(row.grain, &UIStyle::GetGrainColor, style);
        ExpectColor(row.grainSelected, &UIStyle::GetGrainColorSelected, style);
        ExpectColor(row.grainVis, &UIStyle::GetGrainDrawColor, style);
        ExpectColor(row.grainVisDef, &UIStyle::GetGrainDrawDefColor, style);
        ExpectColor(row.rect, &UIStyle::GetSoundRectColor, style);
        ExpectColor(row.rectBorder, &UIStyle::GetSoundRectBorderColor, style);
        ExpectColor(row.rectBorderSelected, &UIStyle::GetSoundRectBorderColorSelected, style);
        ExpectColor(row.windowBackground, &UIStyle::GetUIWindowBackgroundColor, style);
    }
}

TEST(StyleTest, SharedValuesAreSetInEveryStyle)
{
    UIStyleManager manager;
    for (int i = 0; i < manager.GetNumStyles(); i++) {
        SCOPED_TRACE(i);
        const UIStyle* s = StyleAt(&manager, i);
        EXPECT_DOUBLE_EQ(0.9, s->GetAxisLineWidth());
        ExpectColor({1, 0, 0, 0.9}, &UIStyle::GetAxisXColor, s);
        ExpectColor({0, 1, 0, 0.9}, &UIStyle::GetAxisYColor, s);
        ExpectColor({0, 0, 1, 0.7}, &UIStyle::GetAxisZColor, s);
        EXPECT_DOUBLE_EQ(2.0, s->GetTitleLineWidth());
        ExpectColor({1, 1, 1, 1}, &UIStyle::GetTitleAColorCoeff, s);
        ExpectColor({1, 1, 1, 1}, &UIStyle::GetTitleInsColorCoeff, s);
        EXPECT_DOUBLE_EQ(2.0, s->GetHelpLineWidth());
        ExpectColor({0, 0, 0, 0.5}, &UIStyle::GetHelpBackgroundColor, s);
        EXPECT_DOUBLE_EQ(2.0, s->GetParamLineWidth());
        EXPECT_DOUBLE_EQ(3.0, s->GetSoundRectLineWidth());
        ExpectColor({1, 1, 1, 0.3}, &UIStyle::GetWaveColor, s);
        EXPECT_DOUBLE_EQ(1.5, s->GetWaveLineWidth());
        EXPECT_DOUBLE_EQ(1.0, s->GetWavePointSize());
        EXPECT_DOUBLE_EQ(4.0, s->GetParamMeterLineWidth());
        ExpectColor({1, 1, 1, 1}, &UIStyle::GetParamMeterColor, s);
        EXPECT_DOUBLE_EQ(2.0, s->GetParamLinkLineWidth());
        ExpectColor({1, 1, 1, 1}, &UIStyle::GetParamLinkColor, s);
        ExpectColor({1, 1, 1, 0.35}, &UIStyle::GetSoundRectNameColor, s);
        ExpectColor({1, 1, 1, 1}, &UIStyle::GetSoundRectNameColorSelected, s);
        ExpectColor({1, 1, 1, 1}, &UIStyle::GetUIWindowBorderColor, s);
        EXPECT_DOUBLE_EQ(2.5, s->GetUIWindowBorderWidth());
        ExpectColor({1, 1, 1, 1}, &UIStyle::GetUIWindowTitleColor, s);
        EXPECT_DOUBLE_EQ(1.0, s->GetUIWindowTitleBoxBorderWidth());
        ExpectColor({1, 1, 1, 1}, &UIStyle::GetUIWindowContentsColor, s);
        EXPECT_DOUBLE_EQ(2.0, s->GetUIWindowContentsLineWidth());
    }
}

TEST(StyleTest, NotableQuirksOfTheTable)
{
    UIStyleManager manager;
    // Purple and Psytrance share a title but are different styles.
    const UIStyle* purple = StyleAt(&manager, UIStyleManager::PURPLE_STYLE);
    const UIStyle* psytrance = StyleAt(&manager, UIStyleManager::PSYTRANCE_STYLE);
    EXPECT_NE(purple, psytrance);
    EXPECT_EQ("OSTRAVELLE", AppName(purple));
    EXPECT_EQ("OSTRAVELLE", AppName(psytrance));

    ExpectColor({0, 1, 1, 1}, &UIStyle::GetBackgroundColor, StyleAt(&manager, UIStyleManager::JELLYFISH_STYLE));

    double unselected[4], selected[4];
    const UIStyle* def = StyleAt(&manager, UIStyleManager::DEFAULT_STYLE);
    def->GetGrainColor(unselected);
    def->GetGrainColorSelected(selected);
    EXPECT_LT(selected[3], unselected[3]);
}

TEST(StyleManagerTest, StartsInBlackAndWhite)
{
    UIStyleManager manager;
    EXPECT_EQ(UIStyleManager::BLACKNWHITE_STYLE, manager.GetCurrentStyleNum());
    EXPECT_EQ(4, manager.GetCurrentStyleNum());
    EXPECT_EQ("ZOLTA FENRI", AppName(manager.GetCurrentStyle()));
}

TEST(StyleManagerTest, OutOfRangeIndicesAreIgnored)
{
    UIStyleManager manager;
    manager.SetStyleNum(2);
    const UIStyle* before = manager.GetCurrentStyle();
    manager.SetStyleNum(6);
    EXPECT_EQ(2, manager.GetCurrentStyleNum());
    manager.SetStyleNum(-1);
    EXPECT_EQ(2, manager.GetCurrentStyleNum());
    EXPECT_EQ(before, manager.GetCurrentStyle());
    manager.SetStyleNum(5);
    EXPECT_EQ(5, manager.GetCurrentStyleNum());
    manager.SetStyleNum(0);
    EXPECT_EQ(0, manager.GetCurrentStyleNum());
}

TEST(StyleManagerTest, NextAndPreviousWrapAround)
{
    UIStyleManager manager;
    manager.SetStyleNum(5);
    manager.NextStyle();
    EXPECT_EQ(0, manager.GetCurrentStyleNum());
    manager.PrevStyle();
    EXPECT_EQ(5, manager.GetCurrentStyleNum());

    // A full round trip in either direction visits every style once.
    manager.SetStyleNum(4);
    bool seen[6] = {};
    for (int i = 0; i < 6; i++) {
        manager.NextStyle();
        seen[manager.GetCurrentStyleNum()] = true;
    }
    EXPECT_EQ(4, manager.GetCurrentStyleNum());
    for (bool s : seen)
        EXPECT_TRUE(s);
    for (int expected : {3, 2, 1, 0, 5, 4}) {
        manager.PrevStyle();
        EXPECT_EQ(expected, manager.GetCurrentStyleNum());
    }
}
