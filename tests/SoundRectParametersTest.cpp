#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/ParamValueEditor.h"
#include "app/Selection.h"
#include "parameters/Parameter.h"
#include "parameters/ParameterProvider.h"
#include "parameters/SoundRectParameters.h"
#include "sound/SoundRect.h"
#include "ui/UIParameter.h"
#include "ui/UISoundRect.h"

namespace {

// Stands in for a source: the wrong kind of owner for display parameters.
class SourceLikeProvider : public ParameterProvider {
public:
    SourceLikeProvider() : ParameterProvider(SOURCE) {}
    Parameter* GetCurrentParameter() override { return nullptr; }
    Parameter* GetParameter(int) override { return nullptr; }
    int GetNumParams() override { return 0; }
    double GetUIX() override { return 0.0; }
    double GetUIY() override { return 0.0; }
    double GetUIRadius() override { return 0.0; }
};

class SoundRectParametersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 500);
        srand(5);
        _view = std::make_unique<UISoundRect>(&_rect, &_app, nullptr, _app.GetScreen());
        _view->UpdateRectPosition(0.5, 0.5);
        _view->SetDimensions(0.25, 0.5);
    }

    Parameter* Param(int idx) { return _view->GetParameter(idx); }
    // A box 100 by 20 pixels with its bottom left corner at (x, y).
    void PutBox(int idx, double x, double y) { Param(idx)->GetUI()->SetBox(PieBox{x, y, 100.0, 20.0}, 0.1); }

    App _app;
    SoundRect _rect;
    std::unique_ptr<UISoundRect> _view;
};

}  // namespace

TEST_F(SoundRectParametersTest, ViewOwnsFourDisplayParametersInIndexOrder)
{
    EXPECT_EQ(ParameterProvider::SOUND_RECT, _view->GetParamProviderType());
    ASSERT_EQ(4, _view->GetNumParams());
    const char* names[] = {"Type", "Range", "Contrast", "Orientation"};
    for (int i = 0; i < 4; i++) {
        ASSERT_NE(nullptr, Param(i)) << i;
        EXPECT_EQ(i, Param(i)->GetIndex());
        EXPECT_DOUBLE_EQ(6.0, Param(i)->GetSensivity()) << i;
        ASSERT_NE(nullptr, Param(i)->GetUI()) << i;
        EXPECT_STREQ(names[i], Param(i)->GetUI()->GetName());
    }
    EXPECT_NE(nullptr, dynamic_cast<ParameterSoundRectType*>(Param(UISoundRect::TYPE)));
    EXPECT_NE(nullptr, dynamic_cast<ParameterColorRange*>(Param(UISoundRect::RANGE)));
    EXPECT_NE(nullptr, dynamic_cast<ParameterColorContrast*>(Param(UISoundRect::CONTRAST)));
    EXPECT_NE(nullptr, dynamic_cast<ParameterSoundRectOrientation*>(Param(UISoundRect::ORIENTATION)));
    EXPECT_EQ(nullptr, Param(UISoundRect::NO_PARAMETER));
    EXPECT_EQ(nullptr, Param(UISoundRect::NUM_PARAMS));
    EXPECT_EQ(nullptr, Param(-7));
    EXPECT_EQ(nullptr, _view->GetCurrentParameter());
}

TEST_F(SoundRectParametersTest, PieMenuCentreIsTheRectCentreAndHalfItsHeight)
{
    EXPECT_DOUBLE_EQ(0.5, _view->GetUIX());
    EXPECT_DOUBLE_EQ(0.5, _view->GetUIY());
    EXPECT_DOUBLE_EQ(0.25, _view->GetUIRadius());
}

TEST_F(SoundRectParametersTest, DefaultsAndBounds)
{
    struct Case {
        int idx;
        double minValue, maxValue, defaultValue;
    };
    const Case cases[] = {{UISoundRect::TYPE, 0.0, 2.0, 0.0},
                          {UISoundRect::RANGE, 0.0, 2.0, 1.0},
                          {UISoundRect::CONTRAST, 0.01, 0.99, 0.5},
                          {UISoundRect::ORIENTATION, 0.0, 1.0, 0.0}};
    for (const Case& c : cases) {
        Parameter* param = Param(c.idx);
        EXPECT_DOUBLE_EQ(c.defaultValue, param->GetDefaultValue()) << c.idx;
        EXPECT_DOUBLE_EQ(c.defaultValue, param->GetValue()) << c.idx;
        param->SetValue(_view.get(), -100.0);
        EXPECT_DOUBLE_EQ(c.minValue, param->GetValue()) << c.idx;
        param->SetValue(_view.get(), 100.0);
        EXPECT_DOUBLE_EQ(c.maxValue, param->GetValue()) << c.idx;
    }
    // The view's own settings, not the parameters' defaults, are in force at first.
    UISoundRect fresh(&_rect, &_app, nullptr, _app.GetScreen());
    EXPECT_DOUBLE_EQ(0.7, fresh.GetColorRange());
    EXPECT_DOUBLE_EQ(0.99, fresh.GetColorContrast());
}

TEST_F(SoundRectParametersTest, ValuesReachTheViewClampedAndTruncated)
{
    Param(UISoundRect::TYPE)->SetValue(_view.get(), 1.9);
    EXPECT_EQ(UISoundRect::SPECTROGRAM, _view->GetRectType());
    Param(UISoundRect::TYPE)->SetValue(_view.get(), 7.0);
    EXPECT_EQ(UISoundRect::CHROMAGRAM, _view->GetRectType());
    Param(UISoundRect::TYPE)->SetValue(_view.get(), -3.0);
    EXPECT_EQ(UISoundRect::WAVEFORM, _view->GetRectType());

    Param(UISoundRect::RANGE)->SetValue(_view.get(), 1.25);
    EXPECT_DOUBLE_EQ(1.25, _view->GetColorRange());
    Param(UISoundRect::RANGE)->SetValue(_view.get(), 3.0);
    EXPECT_DOUBLE_EQ(2.0, _view->GetColorRange());

    Param(UISoundRect::CONTRAST)->SetValue(_view.get(), 0.0);
    EXPECT_DOUBLE_EQ(0.01, _view->GetColorContrast());
    Param(UISoundRect::CONTRAST)->SetValue(_view.get(), 1.0);
    EXPECT_DOUBLE_EQ(0.99, _view->GetColorContrast());

    Param(UISoundRect::ORIENTATION)->SetValue(_view.get(), 0.99);
    EXPECT_EQ(UISoundRect::HORIZONTAL, _view->GetOrientation());
    Param(UISoundRect::ORIENTATION)->SetValue(_view.get(), 1.0);
    EXPECT_EQ(UISoundRect::VERTICAL, _view->GetOrientation());
}

TEST_F(SoundRectParametersTest, ASourceIsTheWrongOwnerAndChangesNothing)
{
    SourceLikeProvider source;
    for (int i = 0; i < 4; i++) {
        const double before = Param(i)->GetValue();
        Param(i)->SetValue(&source, 0.75);
        Param(i)->SetValue(nullptr, 0.75);
        EXPECT_DOUBLE_EQ(before, Param(i)->GetValue()) << i;
    }
    EXPECT_DOUBLE_EQ(0.7, _view->GetColorRange());
    EXPECT_DOUBLE_EQ(0.99, _view->GetColorContrast());
}

TEST_F(SoundRectParametersTest, RangeAndContrastIgnoreChangesBelowTheirResolution)
{
    const double range = _view->GetColorRange();
    _view->SetColorRange(std::nextafter(range, 1.0));
    EXPECT_EQ(range, _view->GetColorRange());
    _view->SetColorRange(range + 1e-14);
    EXPECT_EQ(range + 1e-14, _view->GetColorRange());

    const double contrast = _view->GetColorContrast();
    _view->SetColorContrast(std::nextafter(contrast, 0.0));
    EXPECT_EQ(contrast, _view->GetColorContrast());
    _view->SetColorContrast(0.5);
    EXPECT_EQ(0.5, _view->GetColorContrast());
}

TEST_F(SoundRectParametersTest, PickParametersTakesTheFirstBoxHitInIndexOrder)
{
    // Boxes 1 and 2 overlap at (300, 300) pixels; box 3 stands alone at (300, 600).
    PutBox(0, 900.0, 900.0);
    PutBox(1, 300.0, 300.0);
    PutBox(2, 300.0, 300.0);
    PutBox(3, 300.0, 600.0);

    EXPECT_TRUE(_view->PickParameters(310.0, 305.0));
    EXPECT_EQ(Param(1), _view->GetCurrentParameter());
    EXPECT_TRUE(_view->PickParameters(310.0, 605.0));
    EXPECT_EQ(Param(3), _view->GetCurrentParameter());

    // A miss clears the current parameter.
    EXPECT_FALSE(_view->PickParameters(600.0, 450.0));
    EXPECT_EQ(nullptr, _view->GetCurrentParameter());

    EXPECT_TRUE(_view->PickParameters(910.0, 905.0));
    EXPECT_EQ(Param(0), _view->GetCurrentParameter());
    _view->ResetCurrentParameterIndex();
    EXPECT_EQ(nullptr, _view->GetCurrentParameter());
}

namespace {

// One short sound loaded the way the instrument loads it, its rect selected
// as the App's current rect.
class SelectedRectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zoltarectparamsXXXXXX";
        _dir = mkdtemp(pattern);
        WriteSound(_dir + "/tone.wav");
        _app.SetWinSize(1000, 500);
        _app.SetAudioPath(_dir + "/");
        testing::internal::CaptureStdout();
        ASSERT_TRUE(_app.LoadSounds());
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(1u, _app.GetSoundRects().size());
        _view = _app.GetSoundRects()[0]->GetUI();
        _view->UpdateRectPosition(0.5, 0.5);
        _app.GetSelection()->UpdateRectPicking(500.0, 250.0);
        ASSERT_EQ(_view, _app.GetCurrentSoundRect());
    }
    void TearDown() override
    {
        const std::string cmd = "rm -rf " + _dir;
        ASSERT_EQ(0, system(cmd.c_str()));
    }

    static void WriteSound(const std::string& path)
    {
        SF_INFO info = {};
        info.samplerate = 44100;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        std::vector<float> data(2048);
        for (size_t i = 0; i < data.size(); i++)
            data[i] = float(0.5 * std::sin(0.05 * i));
        sf_writef_float(file, data.data(), sf_count_t(data.size()));
        sf_close(file);
    }

    Parameter* Param(int idx) { return _view->GetParameter(idx); }
    // A box 100 by 20 pixels with its bottom left corner at (x, y).
    void PutBox(int idx, double x, double y) { Param(idx)->GetUI()->SetBox(PieBox{x, y, 100.0, 20.0}, 0.1); }
    void UpdateAll()
    {
        for (int i = 0; i < UISoundRect::NUM_PARAMS; i++)
            Param(i)->UpdateValue();
    }
    void Type(const std::string& text)
    {
        _app.GetParamEditor()->BeginParamStringEditing();
        for (char c : text)
            _app.GetParamEditor()->AddParamStringChar(c);
    }

    std::string _dir;
    App _app;
    UISoundRect* _view = nullptr;
};

}  // namespace

TEST_F(SelectedRectTest, TextsShowTheViewSettings)
{
    UpdateAll();
    EXPECT_STREQ("WAVEFORM", Param(UISoundRect::TYPE)->GetValueStr());
    EXPECT_STREQ("x0.7", Param(UISoundRect::RANGE)->GetValueStr());
    EXPECT_STREQ("0.99", Param(UISoundRect::CONTRAST)->GetValueStr());
    EXPECT_STREQ("HORIZONTAL", Param(UISoundRect::ORIENTATION)->GetValueStr());
    EXPECT_DOUBLE_EQ(0.7, Param(UISoundRect::RANGE)->GetValue());

    // Values set without a provider go to the current rect.
    Param(UISoundRect::TYPE)->SetValue(1.0);
    Param(UISoundRect::RANGE)->SetValue(1.25);
    Param(UISoundRect::CONTRAST)->SetValue(0.05);
    Param(UISoundRect::ORIENTATION)->SetValue(1.0);
    UpdateAll();
    EXPECT_STREQ("SPECTROGRAM", Param(UISoundRect::TYPE)->GetValueStr());
    EXPECT_STREQ("x1.25", Param(UISoundRect::RANGE)->GetValueStr());
    EXPECT_STREQ("0.05", Param(UISoundRect::CONTRAST)->GetValueStr());
    EXPECT_STREQ("VERTICAL", Param(UISoundRect::ORIENTATION)->GetValueStr());
    Param(UISoundRect::TYPE)->SetValue(2.0);
    Param(UISoundRect::TYPE)->UpdateValue();
    EXPECT_STREQ("CHROMAGRAM", Param(UISoundRect::TYPE)->GetValueStr());
}

TEST_F(SelectedRectTest, TypedTextShowsOnlyOnThePickedNumericParameter)
{
    UpdateAll();
    PutBox(UISoundRect::CONTRAST, 200.0, 200.0);
    ASSERT_TRUE(_view->PickParameters(210.0, 205.0));
    ASSERT_EQ(UISoundRect::CONTRAST, _app.GetCurrentRectParamIdx());
    Type("0.25");
    UpdateAll();
    EXPECT_STREQ("0.25", Param(UISoundRect::CONTRAST)->GetValueStr());
    EXPECT_STREQ("x0.7", Param(UISoundRect::RANGE)->GetValueStr());
    EXPECT_STREQ("WAVEFORM", Param(UISoundRect::TYPE)->GetValueStr());
    EXPECT_DOUBLE_EQ(0.99, _view->GetColorContrast());

    _app.GetParamEditor()->ApplyParamString();
    UpdateAll();
    EXPECT_DOUBLE_EQ(0.25, _view->GetColorContrast());
    EXPECT_STREQ("0.25", Param(UISoundRect::CONTRAST)->GetValueStr());
}

TEST_F(SelectedRectTest, EnumeratedParametersIgnoreTypedText)
{
    PutBox(UISoundRect::ORIENTATION, 200.0, 200.0);
    ASSERT_TRUE(_view->PickParameters(210.0, 205.0));
    Type("1");
    Param(UISoundRect::ORIENTATION)->UpdateValue();
    EXPECT_STREQ("HORIZONTAL", Param(UISoundRect::ORIENTATION)->GetValueStr());
}
