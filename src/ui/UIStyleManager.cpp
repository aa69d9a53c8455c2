#include "ui/UIStyleManager.h"

#include "ui/UIStyle.h"

UIStyleManager::UIStyleManager() : _styleNum(BLACKNWHITE_STYLE)
{
    _styles[DEFAULT_STYLE] = new DefaultStyle();
    _styles[PURPLE_STYLE] = new PurpleStyle();
    _styles[JELLYFISH_STYLE] = new JellyfishStyle();
    _styles[PSYTRANCE_STYLE] = new PsytranceStyle();
    _styles[BLACKNWHITE_STYLE] = new BlackNWhiteStyle();
    _styles[SLUG_STYLE] = new SlugStyle();
}

UIStyleManager::~UIStyleManager()
{
    for (UIStyle* style : _styles)
        delete style;
}

void UIStyleManager::SetStyleNum(int n)
{
    if (n >= 0 && n < NUM_STYLES)
        _styleNum = n;
}

void UIStyleManager::NextStyle()
{
    SetStyleNum((_styleNum + 1) % NUM_STYLES);
}

void UIStyleManager::PrevStyle()
{
    int n = (_styleNum - 1) % NUM_STYLES;
    if (n < 0)
        n += NUM_STYLES;
    SetStyleNum(n);
}
