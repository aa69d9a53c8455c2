#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "app/App.h"
#include "app/Controllers.h"
#include "app/FloatingWindows.h"
#include "app/ParamValueEditor.h"
#include "app/Selection.h"
#include "midi/MidiQueue.h"
#include "parameters/Parameter.h"
#include "sources/Envelope.h"
#include "sources/GrainCloud.h"
#include "ui/UIBufferCanvas.h"
#include "ui/UIParameter.h"
#include "ui/UIWindow.h"

namespace {

// Two grain clouds in the application with its floating windows; the
// second one added is selected.
class ParamEditingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        _app.GetWindows()->BuildFloatingWindows();
        _app.AddGrainCloud(200, 300);
        _other = Cloud();
        _app.AddGrainCloud(700, 300);
        _cloud = Cloud();
    }
    GrainCloud* Cloud() { return static_cast<GrainCloud*>(_app.GetCurrentSource()); }
    void Type(const std::string& text, GrainCloud::ParamIndex idx)
    {
        _cloud->SetCurrentParamIdx(idx);
        _app.GetParamEditor()->BeginParamStringEditing();
        for (char c : text) {
            if (c == '-')
                _app.GetParamEditor()->InsertParamStringChar(0, "-");
            else
                _app.GetParamEditor()->AddParamStringChar(c);
        }
    }
    // A MIDI note copy of the selected source.
    GrainCloud* PlayNote(int note)
    {
        _app.GetControllers()->GetMidiQueue()->PushMessage(0, {0x90, (unsigned char)note, 100});
        _app.GetControllers()->UpdateMidiIn();
        const auto& copies = _app.GetNoteSources()[_app.GetSelection()->GetSelectedSourceIndex()];
        return static_cast<GrainCloud*>(copies.back());
    }
    void Select(int index) { _app.GetSelection()->UpdateSourcePicking(index == 0 ? 200 : 700, 300); }

    App _app;
    GrainCloud* _cloud = nullptr;
    GrainCloud* _other = nullptr;
};

}  // namespace

TEST_F(ParamEditingTest, ATypedVolumeChangesTheVolumeOnlyAndTheMinusGoesInFront)
{
    const double stretch = _cloud->GetTimeStretch();
    const double pitch = _cloud->GetPitch();
    const double duration = _cloud->GetDurationMs();
    Type("-3", GrainCloud::VOLUME);
    EXPECT_STREQ("-3", _app.GetParamValueString());
    _app.GetParamEditor()->ApplyParamString();
    EXPECT_DOUBLE_EQ(-3.0, _cloud->GetVolumeDb());
    EXPECT_DOUBLE_EQ(stretch, _cloud->GetTimeStretch());
    EXPECT_DOUBLE_EQ(pitch, _cloud->GetPitch());
    EXPECT_DOUBLE_EQ(duration, _cloud->GetDurationMs());
    EXPECT_FALSE(_app.GetParamEditor()->IsEditingParamString());
}

TEST_F(ParamEditingTest, ATypedValueReachesOnlyTheNoteCopiesOfTheEditedSourceAndOnlyThatParameter)
{
    Select(0);
    ASSERT_EQ(_other, Cloud());
    GrainCloud* otherCopy = PlayNote(60);
    Select(1);
    ASSERT_EQ(_cloud, Cloud());
    GrainCloud* copy = PlayNote(64);
    // The copy's own pitch, set apart from its source's, must survive the edit.
    copy->SetPitch(2.0);
    Type("-12", GrainCloud::VOLUME);
    _app.GetParamEditor()->ApplyParamString();
    EXPECT_DOUBLE_EQ(-12.0, copy->GetVolumeDb());
    EXPECT_DOUBLE_EQ(2.0, copy->GetPitch());
    EXPECT_DOUBLE_EQ(_other->GetVolumeDb(), otherCopy->GetVolumeDb());
    EXPECT_NE(-12.0, otherCopy->GetVolumeDb());
}

TEST_F(ParamEditingTest, TheLFOWindowFollowsTheLFOParametersAndIsTitledWithTheValue)
{
    _cloud->SetCurrentParamIdx(GrainCloud::P_LFO_AMP);
    _cloud->GetParameter(GrainCloud::P_LFO_AMP)->SetValue(0.25);
    _app.GetWindows()->UpdateLFOWindow();
    _app.GetWindows()->UpdateEnvelopeWindow();
    EXPECT_TRUE(_app.GetWindows()->GetLFOWindow()->IsVisible());
    EXPECT_FALSE(_app.GetWindows()->GetEnvelopeWindow()->IsVisible());
    const double freq = _cloud->GetParameter(GrainCloud::P_LFO_FREQ)->GetValue();
    const std::vector<float>& plot = _app.GetWindows()->GetLFOCanvas()->GetBuffer();
    EXPECT_FLOAT_EQ(float(0.25 * std::sin(2 * M_PI * 10 * freq * 7 / 255.0)), plot[7]);

    _app.OnCurrentParamValueUpdated();
    const UIParameter* box = _cloud->GetParameter(GrainCloud::P_LFO_AMP)->GetUI();
    EXPECT_EQ(std::string(box->GetName()) + ": " + box->GetValueStr(), _app.GetWindows()->GetLFOWindow()->GetTitle());

    _cloud->SetCurrentParamIdx(GrainCloud::ENVELOPE);
    _cloud->GetParameter(GrainCloud::ENVELOPE)->SetValue(Envelope::HAND_DRAWN);
    _app.GetWindows()->UpdateLFOWindow();
    _app.GetWindows()->UpdateEnvelopeWindow();
    EXPECT_FALSE(_app.GetWindows()->GetLFOWindow()->IsVisible());
    EXPECT_TRUE(_app.GetWindows()->GetEnvelopeWindow()->IsVisible());
    EXPECT_EQ(Envelope::HAND_DRAWN, _app.GetWindows()->GetEnvelopeCanvas()->GetEnvelopeType());

    // With nothing selected the window goes and stops catching clicks.
    const UICanvas* canvas = _app.GetWindows()->GetEnvelopeCanvas();
    const double x = canvas->GetX() + 0.5 * canvas->GetWidth(), y = canvas->GetY() + 0.5 * canvas->GetHeight();
    EXPECT_TRUE(_app.GetWindows()->GetEnvelopeCanvas()->Pick(x, y));
    _app.GetSelection()->Deselect(Selection::SOURCE);
    _app.GetWindows()->UpdateEnvelopeWindow();
    EXPECT_FALSE(_app.GetWindows()->GetEnvelopeWindow()->IsVisible());
    EXPECT_FALSE(_app.GetWindows()->GetEnvelopeCanvas()->Pick(x, y));
}

TEST_F(ParamEditingTest, ATypedValueStopsAtTwelveCharactersAndTheTitleShowsThemAll)
{
    Type(std::string(300, '7'), GrainCloud::P_LFO_FREQ);
    _cloud->GetParameter(GrainCloud::P_LFO_FREQ)->UpdateValue();
    _app.GetWindows()->UpdateParamWindows();
    EXPECT_EQ(std::string("LFO Freq: ") + std::string(12, '7'), _app.GetWindows()->GetLFOWindow()->GetTitle());
}

TEST_F(ParamEditingTest, WithoutACurrentParameterEnterOnlyEndsTheMode)
{
    Type("5", GrainCloud::VOLUME);
    _cloud->ResetCurrentParameterIndex();
    const double volume = _cloud->GetVolumeDb();
    _app.GetParamEditor()->ApplyParamString();
    EXPECT_DOUBLE_EQ(volume, _cloud->GetVolumeDb());
    EXPECT_FALSE(_app.GetParamEditor()->IsEditingParamString());
    EXPECT_EQ(nullptr, _app.GetParamValueString());
}
