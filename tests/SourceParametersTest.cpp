#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/App.h"
#include "app/ParamValueEditor.h"
#include "app/Selection.h"
#include "parameters/Parameter.h"
#include "parameters/SourceParameters.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "sources/SingleVoiceSource.h"
#include "ui/UIGrainCloud.h"
#include "ui/UIParameter.h"
#include "ui/UISoundRect.h"

namespace {

using ParameterFactory = std::function<Parameter*(App*)>;

template <class P>
ParameterFactory Make(int idx)
{
    return [idx](App* app) -> Parameter* { return new P(app, idx); };
}

// One row of the catalogue: what the performer sees and the range a drag covers.
struct CatalogueRow {
    ParameterFactory make;
    const char* name;
    double minValue, maxValue, defaultValue;
    // Value at the middle of a drag: min + (max - min) * 0.5^exponent.
    double midValue;
};

const CatalogueRow CATALOGUE[] = {
    {Make<ParameterNumGrains>(GrainCloud::NUMGRAINS), "Voices", 1, 100, 8, 50.5},
    {Make<ParameterDuration>(GrainCloud::DURATION), "Duration", 0.5, 5000, 500, 625.4375},
    {Make<ParameterEnvelope>(GrainCloud::ENVELOPE), "Envelope", 0, 5, 0, 2.5},
    {Make<ParameterMotionX>(GrainCloud::MOTIONX), "X", 0, 1, 0, 0.5},
    {Make<ParameterMotionY>(GrainCloud::MOTIONY), "Y", 0, 1, 0, 0.5},
    {Make<ParameterMotionXY>(GrainCloud::MOTIONXY), "XY", 0, 4, 0, 2},
    {Make<ParameterDirection>(GrainCloud::DIRECTION), "Direction", 0, 2, 0, 1},
    {Make<ParameterOverlap>(GrainCloud::OVERLAP), "Overlap", 0, 1, 1, 0.5},
    {Make<ParameterPitch>(GrainCloud::PITCH), "Pitch", 0.1, 5, 1, 2.55},
    {Make<ParameterLFOFreq>(GrainCloud::P_LFO_FREQ), "LFO Freq", 0.1, 1, 1, 0.55},
    {Make<ParameterLFOAmp>(GrainCloud::P_LFO_AMP), "LFO Amount", 0, 1, 0, 0.5},
    {Make<ParameterSpatialize>(GrainCloud::SPATIALIZE), "Spatial Mode", 0, 2, 0, 1},
    {Make<ParameterVolume>(GrainCloud::VOLUME), "Volume", -60, 6, 0, -27},
    {Make<ParameterRange>(GrainCloud::RANGE), "Range", 0, 100, 50, 50},
    {Make<ParameterTimeStretch>(GrainCloud::TIME_STRETCH), "Time Stretch", 0, 2, 1, 0.5},
};

class SourceParametersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 500);
        _app.AddGrainCloud(500, 250);
        _cloud = static_cast<GrainCloud*>(_app.GetCurrentSource());
        ASSERT_NE(nullptr, _cloud);
        // A new cloud seeds its generator with the time.
        _cloud->SeedRandom(11);
        ASSERT_EQ(Source::GRAIN_CLOUD, _cloud->GetSourceType());
        _view = static_cast<UIGrainCloud*>(_cloud->GetUI());
        ASSERT_NE(nullptr, _view);
    }

    Parameter* Param(int idx) { return _cloud->GetParameter(idx); }

    // Sets the value on the cloud the way a drag does and refreshes the text.
    const char* ShowValue(int idx, double value)
    {
        Param(idx)->SetValue(value);
        Param(idx)->UpdateValue();
        return Param(idx)->GetValueStr();
    }

    App _app;
    GrainCloud* _cloud = nullptr;
    UIGrainCloud* _view = nullptr;
};

}  // namespace

TEST(SourceParameterCatalogueTest, NamesBoundsDefaultsAndCurves)
{
    App app;  // no source: values stay in the parameters
    app.SetWinSize(1000, 500);
    for (const CatalogueRow& row : CATALOGUE) {
        std::unique_ptr<Parameter> param(row.make(&app));
        ASSERT_NE(nullptr, param->GetUI()) << row.name;
        EXPECT_STREQ(row.name, param->GetUI()->GetName());
        EXPECT_DOUBLE_EQ(row.defaultValue, param->GetDefaultValue()) << row.name;
        EXPECT_DOUBLE_EQ(row.defaultValue, param->GetValue()) << row.name;
        param->SetNormalizedValue(-0.5);
        EXPECT_DOUBLE_EQ(row.minValue, param->GetValue()) << row.name;
        param->SetNormalizedValue(7.0);
        EXPECT_DOUBLE_EQ(row.maxValue, param->GetValue()) << row.name;
        param->SetNormalizedValue(0.5);
        EXPECT_DOUBLE_EQ(row.midValue, param->GetValue()) << row.name;
        EXPECT_NEAR(0.5, param->GetNormalizedValue(), 1e-12) << row.name;
    }
}

TEST_F(SourceParametersTest, EveryParameterShowsItsValueWithItsUnitOrLabel)
{
    struct Row {
        int idx;
        double value;
        const char* text;
        std::function<double()> ownerValue;
    };
    const Row rows[] = {
        {GrainCloud::DURATION, 625.4375, "625.4 ms", [&] { return _cloud->GetDurationMs(); }},
        {GrainCloud::ENVELOPE, 3.0, "REXPDEC", [&] { return _cloud->GetEnvelopeType(); }},
        {GrainCloud::MOTIONX, 0.25, "25 %", [&] { return _view->GetXRandExtent(); }},
        {GrainCloud::MOTIONY, 0.5, "50 %", [&] { return _view->GetYRandExtent(); }},
        {GrainCloud::DIRECTION, 1.0, "BACKWARD", [&] { return _cloud->GetDirection(); }},
        // An exponent of the six voices: sqrt(6) grains sound at once.
        {GrainCloud::OVERLAP, 0.5, "0.5 (2.449 at once)", [&] { return _cloud->GetOverlap(); }},
        {GrainCloud::PITCH, 2.0, "x2 (+12 st)", [&] { return _cloud->GetPitch(); }},
        {GrainCloud::P_LFO_FREQ, 0.25, "0.25 Hz", [&] { return _cloud->GetPitchLFOFreq(); }},
        {GrainCloud::P_LFO_AMP, 0.75, "+/-0.75", [&] { return _cloud->GetPitchLFOAmount(); }},
        {GrainCloud::SPATIALIZE, 2.0, "AROUND", [&] { return _cloud->GetSpatialMode(); }},
        {GrainCloud::VOLUME, -3.5, "-3.5 dB", [&] { return _cloud->GetVolumeDb(); }},
        {GrainCloud::RANGE, 12.5, "12.5 %", [&] { return _cloud->GetRange(); }},
        {GrainCloud::TIME_STRETCH, 0.5, "x0.5", [&] { return _cloud->GetTimeStretch(); }},
    };
    for (const Row& row : rows) {
        EXPECT_STREQ(row.text, ShowValue(row.idx, row.value)) << row.idx;
        EXPECT_DOUBLE_EQ(row.value, row.ownerValue()) << row.idx;
        EXPECT_DOUBLE_EQ(row.value, Param(row.idx)->GetValue()) << row.idx;
    }
}

TEST_F(SourceParametersTest, LabelsOfEveryEnumeratedValue)
{
    const char* envelopes[] = {"HANNING", "TRIANGLE", "EXPDEC", "REXPDEC", "SINC", "HAND_DRAWN"};
    for (int i = 0; i < 6; i++)
        EXPECT_STREQ(envelopes[i], ShowValue(GrainCloud::ENVELOPE, i));
    const char* directions[] = {"FORWARD", "BACKWARD", "RANDOM"};
    for (int i = 0; i < 3; i++)
        EXPECT_STREQ(directions[i], ShowValue(GrainCloud::DIRECTION, i));
    const char* modes[] = {"UNITY", "STEREO", "AROUND"};
    for (int i = 0; i < 3; i++)
        EXPECT_STREQ(modes[i], ShowValue(GrainCloud::SPATIALIZE, i));
    // Fractions are truncated on the way to the cloud and in the label.
    EXPECT_STREQ("EXPDEC", ShowValue(GrainCloud::ENVELOPE, 2.9));
    EXPECT_EQ(2, _cloud->GetEnvelopeType());
}

TEST_F(SourceParametersTest, DirectionSevenIsClampedToRandom)
{
    EXPECT_STREQ("RANDOM", ShowValue(GrainCloud::DIRECTION, 7.0));
    EXPECT_DOUBLE_EQ(2.0, Param(GrainCloud::DIRECTION)->GetValue());
    EXPECT_EQ(GrainCloud::RANDOM_DIR, _cloud->GetDirection());
}

TEST_F(SourceParametersTest, SpatialModeKeepsTheSpatialChannel)
{
    _cloud->SetSpatialMode(0, 5);
    ShowValue(GrainCloud::SPATIALIZE, 1.0);
    EXPECT_EQ(1, _cloud->GetSpatialMode());
    EXPECT_EQ(5, _cloud->GetSpatialChannel());
}

TEST_F(SourceParametersTest, VoicesAddOrRemoveOneVoicePerDifference)
{
    ShowValue(GrainCloud::NUMGRAINS, 8.0);
    ASSERT_EQ(8u, _cloud->GetNumGrains());
    EXPECT_STREQ("8", Param(GrainCloud::NUMGRAINS)->GetValueStr());

    EXPECT_STREQ("100", ShowValue(GrainCloud::NUMGRAINS, 100.0));
    EXPECT_EQ(100u, _cloud->GetNumGrains());
    EXPECT_EQ(100u, _view->GetNumGrains());

    EXPECT_STREQ("12", ShowValue(GrainCloud::NUMGRAINS, 12.7));
    EXPECT_EQ(12u, _cloud->GetNumGrains());
    // Below one voice the value is clamped.
    EXPECT_STREQ("1", ShowValue(GrainCloud::NUMGRAINS, -4.0));
    EXPECT_EQ(1u, _cloud->GetNumGrains());
}

TEST_F(SourceParametersTest, MotionXYShowsTheEffectiveSpreads)
{
    Param(GrainCloud::MOTIONX)->SetValue(0.1);
    Param(GrainCloud::MOTIONY)->SetValue(0.25);
    EXPECT_STREQ("x2 (20 %, 50 %)", ShowValue(GrainCloud::MOTIONXY, 2.0));
    EXPECT_DOUBLE_EQ(2.0, _view->GetRandExtentCoeff());
    // The spreads themselves are untouched by the coefficient.
    EXPECT_DOUBLE_EQ(0.1, _view->GetXRandExtent());
    EXPECT_DOUBLE_EQ(0.25, _view->GetYRandExtent());
    EXPECT_STREQ("x0 (0 %, 0 %)", ShowValue(GrainCloud::MOTIONXY, -1.0));
}

TEST_F(SourceParametersTest, DragCurvesReachTheCloud)
{
    Param(GrainCloud::TIME_STRETCH)->SetNormalizedValue(0.5);
    EXPECT_DOUBLE_EQ(0.5, _cloud->GetTimeStretch());
    Param(GrainCloud::PITCH)->SetNormalizedValue(1.0);
    EXPECT_DOUBLE_EQ(5.0, _cloud->GetPitch());
    Param(GrainCloud::PITCH)->SetNormalizedValue(0.0);
    EXPECT_DOUBLE_EQ(0.1, _cloud->GetPitch());
    Param(GrainCloud::DURATION)->SetNormalizedValue(0.5);
    EXPECT_DOUBLE_EQ(625.4375, _cloud->GetDurationMs());
}

TEST_F(SourceParametersTest, UpdateReadsTheLiveValueAndClampsIt)
{
    _cloud->SetPitch(3.0);
    Param(GrainCloud::PITCH)->UpdateValue();
    EXPECT_DOUBLE_EQ(3.0, Param(GrainCloud::PITCH)->GetValue());
    EXPECT_STREQ("x3 (+19 st)", Param(GrainCloud::PITCH)->GetValueStr());
    _cloud->SetVolumeDb(-40.0);
    Param(GrainCloud::VOLUME)->UpdateValue();
    EXPECT_DOUBLE_EQ(-40.0, Param(GrainCloud::VOLUME)->GetValue());
    EXPECT_STREQ("-40 dB", Param(GrainCloud::VOLUME)->GetValueStr());
}

TEST_F(SourceParametersTest, ASoundRectIsTheWrongOwnerAndChangesNothing)
{
    SoundRect rect;
    UISoundRect rectView(&rect, &_app, nullptr, _app.GetScreen());
    for (int i = 0; i < GrainCloud::NUM_PARAMS; i++) {
        const double before = Param(i)->GetValue();
        Param(i)->SetValue(&rectView, 0.9);
        Param(i)->SetValue(nullptr, 0.9);
        EXPECT_DOUBLE_EQ(before, Param(i)->GetValue()) << i;
    }
    EXPECT_DOUBLE_EQ(500.0, _cloud->GetDurationMs());
    EXPECT_DOUBLE_EQ(1.0, _cloud->GetPitch());
    EXPECT_EQ(6u, _cloud->GetNumGrains());
    EXPECT_DOUBLE_EQ(0.7, rectView.GetColorRange());
}

namespace {

void Type(App* app, const std::string& text)
{
    app->GetParamEditor()->BeginParamStringEditing();
    for (char c : text)
        app->GetParamEditor()->AddParamStringChar(c);
}

}  // namespace

TEST_F(SourceParametersTest, TypedTextShowsOnlyOnThePickedParameter)
{
    for (int i = 0; i < GrainCloud::NUM_PARAMS; i++)
        Param(i)->UpdateValue();
    const std::string before[] = {Param(GrainCloud::DURATION)->GetValueStr(), Param(GrainCloud::VOLUME)->GetValueStr()};
    EXPECT_EQ("500 ms", before[0]);

    _cloud->SetCurrentParamIdx(GrainCloud::PITCH);
    Type(&_app, "3.2");
    for (int i = 0; i < GrainCloud::NUM_PARAMS; i++)
        Param(i)->UpdateValue();
    EXPECT_STREQ("3.2", Param(GrainCloud::PITCH)->GetValueStr());
    EXPECT_EQ(before[0], Param(GrainCloud::DURATION)->GetValueStr());
    EXPECT_EQ(before[1], Param(GrainCloud::VOLUME)->GetValueStr());
    // Typing alone changes no value.
    EXPECT_DOUBLE_EQ(1.0, _cloud->GetPitch());

    _app.GetParamEditor()->ApplyParamString();
    Param(GrainCloud::PITCH)->UpdateValue();
    EXPECT_DOUBLE_EQ(3.2, _cloud->GetPitch());
    EXPECT_STREQ("x3.2 (+20.1 st)", Param(GrainCloud::PITCH)->GetValueStr());
}

TEST_F(SourceParametersTest, WithoutAPickedParameterTypedTextShowsNowhere)
{
    for (int i = 0; i < GrainCloud::NUM_PARAMS; i++)
        Param(i)->UpdateValue();
    Type(&_app, "42");
    for (int i = 0; i < GrainCloud::NUM_PARAMS; i++) {
        Param(i)->UpdateValue();
        EXPECT_STRNE("42", Param(i)->GetValueStr()) << i;
    }
}

TEST_F(SourceParametersTest, EnumeratedParametersIgnoreTypedText)
{
    _cloud->SetCurrentParamIdx(GrainCloud::DIRECTION);
    Type(&_app, "7");
    Param(GrainCloud::DIRECTION)->UpdateValue();
    EXPECT_STREQ("FORWARD", Param(GrainCloud::DIRECTION)->GetValueStr());

    // Confirming stores the clamped value and shows its label.
    _app.GetParamEditor()->ApplyParamString();
    Param(GrainCloud::DIRECTION)->UpdateValue();
    EXPECT_DOUBLE_EQ(2.0, Param(GrainCloud::DIRECTION)->GetValue());
    EXPECT_STREQ("RANDOM", Param(GrainCloud::DIRECTION)->GetValueStr());
}

TEST_F(SourceParametersTest, TypedTextStopsAtTwelveCharactersSoThatItsBoxStaysWhole)
{
    _cloud->SetCurrentParamIdx(GrainCloud::VOLUME);
    Type(&_app, std::string(300, '1'));
    _app.GetParamEditor()->InsertParamStringChar(0, "-");
    Param(GrainCloud::VOLUME)->UpdateValue();
    EXPECT_STREQ(std::string(12, '1').c_str(), Param(GrainCloud::VOLUME)->GetValueStr());
    EXPECT_STREQ(std::string(12, '1').c_str(), Param(GrainCloud::VOLUME)->GetUI()->GetValueStr());
}

TEST_F(SourceParametersTest, SingleGrainsAndLoopsTakeTheirTenParametersAndNoCloudOnes)
{
    _app.AddSingleGrain(200, 100);
    _app.AddLoopSource(300, 100);
    for (int k : {1, 2}) {
        auto* source = static_cast<SingleVoiceSource*>(_app.GetSources()[k]);
        ASSERT_EQ(SingleVoiceSource::NUM_PARAMS, source->GetNumParams());
        auto set = [source](int idx, double value) { source->GetParameter(idx)->SetValue(source, value); };
        set(SingleVoiceSource::DURATION, 120.0);
        set(SingleVoiceSource::ENVELOPE, 3.0);
        set(SingleVoiceSource::DIRECTION, 1.0);
        set(SingleVoiceSource::PITCH, 2.5);
        set(SingleVoiceSource::P_LFO_FREQ, 0.4);
        set(SingleVoiceSource::P_LFO_AMP, 0.3);
        set(SingleVoiceSource::SPATIALIZE, 2.0);
        set(SingleVoiceSource::VOLUME, -3.0);
        set(SingleVoiceSource::RANGE, 70.0);
        set(SingleVoiceSource::TIME_STRETCH, 1.5);
        EXPECT_EQ(120.0, source->GetDurationMs());
        EXPECT_EQ(3, source->GetEnvelopeType());
        EXPECT_EQ(SingleVoiceSource::BACKWARD, source->GetDirection());
        EXPECT_EQ(2.5, source->GetPitch());
        EXPECT_EQ(0.4, source->GetPitchLFOFreq());
        EXPECT_EQ(0.3, source->GetPitchLFOAmount());
        EXPECT_EQ(SingleVoiceSource::AROUND, source->GetSpatialMode());
        EXPECT_EQ(-3.0, source->GetVolumeDb());
        EXPECT_EQ(70.0, source->GetRange());
        EXPECT_EQ(1.5, source->GetTimeStretch());

        // A live change shows on the next refresh of the selected source.
        _app.GetSelection()->UpdateSourcePicking(k == 1 ? 200 : 300, 100);
        ASSERT_EQ(source, _app.GetCurrentSource());
        source->SetPitch(4.0);
        source->GetParameter(SingleVoiceSource::PITCH)->UpdateValue();
        EXPECT_EQ(4.0, source->GetParameter(SingleVoiceSource::PITCH)->GetValue());

        // The cloud's own parameters leave other kinds alone.
        Param(GrainCloud::NUMGRAINS)->SetValue(source, 50.0);
        Param(GrainCloud::OVERLAP)->SetValue(source, 0.2);
        EXPECT_EQ(6u, _cloud->GetNumGrains());
        EXPECT_EQ(1.0, _cloud->GetOverlap());
    }
}
