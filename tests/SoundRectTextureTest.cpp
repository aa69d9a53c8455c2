#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/App.h"
#include "sound/SoundRect.h"
#include "spectral/FilterBank.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Scale.h"
#include "spectral/Spectrogram.h"
#include "ui/UISoundRect.h"
#include "ui/UISoundRectPictures.h"

namespace {

// The images span -50 dB (black) to just under full scale (white), kept as
// one of 256 levels.
double NormLevel(double db)
{
    return std::round(255.0 * std::clamp((db + 50.0) / (50.0 - 0.00001), 0.0, 1.0)) / 255.0;
}

// The S-curve written out from its definition: u / (k + 1) below the middle,
// (k - u) / (k - 1) above, k = (1 / (1 - contrast) - 2)(1 - 2u).
double Curve(double u, double contrast)
{
    u = std::clamp(u, 0.0, 1.0);
    const double k = (1.0 / (1.0 - contrast) - 2.0) * (1.0 - 2.0 * u);
    return u < 0.5 ? u / (k + 1.0) : (k - u) / (k - 1.0);
}

int Grey(double db, double range, double contrast)
{
    return static_cast<int>(std::floor(255.0 * std::min(1.0, Curve(range * NormLevel(db), contrast))));
}

class SoundRectTextureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 600);
        srand(5);
        _view = std::make_unique<UISoundRect>(&_rect, &_app, nullptr, _app.GetScreen());
    }

    // An image whose display column c holds columns[c].
    static std::unique_ptr<Spectrogram> MakeImage(int fftSize, const std::vector<std::vector<float>>& columns)
    {
        auto image = std::make_unique<Spectrogram>(fftSize, static_cast<int>(columns.size()));
        for (size_t c = 0; c < columns.size(); c++)
            image->SetMagnColDisp(static_cast<int>(c), columns[c]);
        return image;
    }

    // The texels (grey, alpha) of an image pooled into at most maxRows rows.
    void BuildTexels(const Spectrogram* image, std::vector<unsigned char>* texels, size_t maxRows = 4096)
    {
        UISoundRectPictures::ImageLevels levels;
        UISoundRectPictures::PoolImageRows(image, maxRows, &levels);
        _view->GetPictures()->BuildTexels(levels, texels);
    }

    // Texels of a single column of four bins.
    std::vector<unsigned char> TexelsOf(const std::vector<float>& magns)
    {
        std::unique_ptr<Spectrogram> image = MakeImage(2 * static_cast<int>(magns.size()), {magns});
        std::vector<unsigned char> texels;
        BuildTexels(image.get(), &texels);
        return texels;
    }

    void ExpectTexel(const unsigned char* texel, int grey, double level)
    {
        EXPECT_EQ(texel[0], grey);
        // Bright texels stay translucent.
        EXPECT_EQ(texel[1], level < 0.7 ? grey : 178);
    }

    App _app;
    SoundRect _rect;
    std::unique_ptr<UISoundRect> _view;
};

}  // namespace

TEST_F(SoundRectTextureTest, SilenceAndLevelsAtOrBelowMinusFiftyDbAreBlack)
{
    const std::vector<float> magns = {0.0f, static_cast<float>(Scale::DbToAmp(-50.0)),
                                      static_cast<float>(Scale::DbToAmp(-80.0)), 1e-12f};
    for (double range : {0.7, 1.0, 3.0}) {
        _view->SetColorRange(range);
        const std::vector<unsigned char> texels = TexelsOf(magns);
        ASSERT_EQ(texels.size(), 8u);
        for (unsigned char byte : texels)
            EXPECT_EQ(byte, 0);
    }
}

TEST_F(SoundRectTextureTest, NeutralContrastKeepsTheLevelAndBrightTexelsStayTranslucent)
{
    _view->SetColorRange(1.0);
    _view->SetColorContrast(0.5);
    const double dbs[] = {-40.0, -25.0, -16.0, -14.0, -10.0, -3.0, 0.0, 12.0};
    for (double db : dbs) {
        const std::vector<unsigned char> texels = TexelsOf({static_cast<float>(Scale::DbToAmp(db)), 0.0f, 0.0f, 0.0f});
        const double level = NormLevel(db);
        ExpectTexel(texels.data(), static_cast<int>(std::floor(255.0 * level)), level);
    }
    // -25 dB is half way: mid grey (within the level step), as opaque as it is bright.
    const std::vector<unsigned char> half = TexelsOf({static_cast<float>(Scale::DbToAmp(-25.0)), 0.0f, 0.0f, 0.0f});
    EXPECT_NEAR(half[0], 127, 1);
    EXPECT_EQ(half[1], half[0]);
    // Full scale and above are white, alpha capped.
    const std::vector<unsigned char> loud = TexelsOf({4.0f, 0.0f, 0.0f, 0.0f});
    EXPECT_EQ(loud[0], 255);
    EXPECT_EQ(loud[1], 178);
}

TEST_F(SoundRectTextureTest, RangeScalesTheLevelBeforeTheContrastCurve)
{
    const float minus10Db = static_cast<float>(Scale::DbToAmp(-10.0));  // level 0.8
    const float minus30Db = static_cast<float>(Scale::DbToAmp(-30.0));  // level 0.4

    _view->SetColorContrast(0.5);
    _view->SetColorRange(0.5);
    EXPECT_EQ(TexelsOf({minus10Db, 0, 0, 0})[0], Grey(-10.0, 0.5, 0.5));
    EXPECT_NEAR(TexelsOf({minus10Db, 0, 0, 0})[0], 102, 1);
    _view->SetColorRange(2.0);
    EXPECT_NEAR(TexelsOf({minus30Db, 0, 0, 0})[0], 204, 1);
    EXPECT_EQ(TexelsOf({minus30Db, 0, 0, 0})[1], 178);
    EXPECT_EQ(TexelsOf({minus10Db, 0, 0, 0})[0], 255);

    // On the steep curve, range decides which side of the middle a level falls.
    _view->SetColorContrast(0.99);
    _view->SetColorRange(1.0);
    const int bright = TexelsOf({minus10Db, 0, 0, 0})[0];
    _view->SetColorRange(0.5);
    const int dark = TexelsOf({minus10Db, 0, 0, 0})[0];
    EXPECT_EQ(bright, Grey(-10.0, 1.0, 0.99));
    EXPECT_EQ(dark, Grey(-10.0, 0.5, 0.99));
    EXPECT_GT(bright, 250);
    EXPECT_LT(dark, 10);
}

TEST_F(SoundRectTextureTest, ContrastShapesTheCurveAroundTheMiddle)
{
    _view->SetColorRange(1.0);
    for (double contrast : {0.01, 0.2, 0.8, 0.99}) {
        _view->SetColorContrast(contrast);
        for (double db : {-45.0, -35.0, -20.0, -5.0}) {
            const std::vector<unsigned char> texels =
                TexelsOf({static_cast<float>(Scale::DbToAmp(db)), 0.0f, 0.0f, 0.0f});
            const double shaped = Curve(NormLevel(db), contrast);
            ExpectTexel(texels.data(), Grey(db, 1.0, contrast), shaped);
        }
    }
    // Flat contrast pulls levels towards the middle, steep contrast away from it.
    _view->SetColorContrast(0.2);
    const int flatLow = TexelsOf({static_cast<float>(Scale::DbToAmp(-40.0)), 0, 0, 0})[0];
    _view->SetColorContrast(0.8);
    const int steepLow = TexelsOf({static_cast<float>(Scale::DbToAmp(-40.0)), 0, 0, 0})[0];
    EXPECT_GT(flatLow, 51);
    EXPECT_LT(steepLow, 51);
}

TEST_F(SoundRectTextureTest, ImageIsBinsWideWithOneRowPerAnalysisColumn)
{
    _view->SetColorRange(1.0);
    _view->SetColorContrast(0.5);
    // Four bins, three columns; every texel gets its own level.
    const int bins = 4, cols = 3;
    std::vector<std::vector<float>> columns(cols, std::vector<float>(bins));
    auto dbAt = [](int c, int i) { return -48.0 + 14.0 * c + 3.0 * i; };
    for (int c = 0; c < cols; c++)
        for (int i = 0; i < bins; i++)
            columns[c][i] = static_cast<float>(Scale::DbToAmp(dbAt(c, i)));
    std::unique_ptr<Spectrogram> image = MakeImage(2 * bins, columns);

    std::vector<unsigned char> texels;
    BuildTexels(image.get(), &texels);
    ASSERT_EQ(texels.size(), static_cast<size_t>(2 * bins * cols));
    for (int c = 0; c < cols; c++) {
        for (int i = 0; i < bins; i++) {
            const double level = NormLevel(dbAt(c, i));
            ExpectTexel(&texels[2 * (c * bins + i)], static_cast<int>(std::floor(255.0 * level)), level);
        }
    }
}

TEST_F(SoundRectTextureTest, EmptyStoreGivesNoTexels)
{
    EXPECT_EQ(_view->GetPictures()->GetSpectroTexId(), -1);
    EXPECT_EQ(_view->GetPictures()->GetChromaTexId(), -1);
    for (int numCols : {0, -4}) {
        Spectrogram empty(2048, numCols);
        std::vector<unsigned char> texels(12, 1);
        BuildTexels(&empty, &texels);
        EXPECT_TRUE(texels.empty());
    }
}

TEST_F(SoundRectTextureTest, SpectrogramRowsAreRemappedOntoTheMelScale)
{
    _view->SetColorRange(1.0);
    _view->SetColorContrast(0.5);
    const int bins = 1024;
    const double lo = 44100.0 / bins, hi = 22050.0;
    // The bank's bin axis: a frequency's position among the 1024 bins.
    const double hz = 11000.0;
    const int hotBin = static_cast<int>((hz + lo) * (bins + 1) / (hi - lo));

    std::vector<float> flat(bins, static_cast<float>(Scale::DbToAmp(-20.0)));
    std::vector<float> tone(bins, 0.0f);
    tone[hotBin] = 1.0f;
    // The analysis remaps each column before it keeps its levels.
    std::vector<float> melFlat = flat, melTone = tone;
    FilterBank bank(Scale::MEL);
    SamplesToSpectro::ToMelImage(&bank, &melFlat);
    SamplesToSpectro::ToMelImage(&bank, &melTone);
    std::unique_ptr<Spectrogram> image = MakeImage(2 * bins, {melFlat, melTone});

    std::vector<unsigned char> texels;
    BuildTexels(image.get(), &texels);
    ASSERT_EQ(texels.size(), static_cast<size_t>(2 * bins * 2));
    EXPECT_EQ(bank.GetNumBuilds(), 1);

    // A flat spectrum keeps its level across the mel rows.
    const int flatGrey = static_cast<int>(std::floor(255.0 * NormLevel(-20.0)));
    for (int m : {10, 300, 700, 1000})
        EXPECT_NEAR(texels[2 * m], flatGrey, 1) << "filter " << m;

    // The tone shows at its mel position: the low octaves take more rows, so
    // it sits well above its linear bin.
    const unsigned char* row = &texels[2 * bins];
    int brightest = 0;
    for (int m = 1; m < bins; m++) {
        if (row[2 * m] > row[2 * brightest])
            brightest = m;
    }
    const double melFraction = (Scale::HzToMel(hz) - Scale::HzToMel(lo)) / (Scale::HzToMel(hi) - Scale::HzToMel(lo));
    EXPECT_NEAR(brightest, melFraction * (bins + 1) - 1.0, 1.5);
    EXPECT_GT(brightest, hotBin + 200);
    // Without the remap it stays in its bin.
    image = MakeImage(2 * bins, {flat, tone});
    BuildTexels(image.get(), &texels);
    EXPECT_GT(texels[2 * (bins + hotBin)], 0);
    EXPECT_EQ(texels[2 * (bins + brightest)], 0);
}

TEST_F(SoundRectTextureTest, ALongSoundIsPooledIntoAtMost4096RowsKeepingItsLoudestColumns)
{
    _view->SetColorRange(1.0);
    _view->SetColorContrast(0.5);
    // 10000 columns of four bins: silence, with one loud column every 997.
    const int bins = 4, cols = 10000;
    std::vector<std::vector<float>> columns(cols, std::vector<float>(bins, 0.0f));
    for (int c = 0; c < cols; c += 997)
        columns[c][c % bins] = 1.0f;
    std::unique_ptr<Spectrogram> image = MakeImage(2 * bins, columns);
    std::vector<unsigned char> texels;
    BuildTexels(image.get(), &texels);
    const int rows = 4096;
    ASSERT_EQ(texels.size(), static_cast<size_t>(2 * bins * rows));
    int loudRows = 0;
    for (int r = 0; r < rows; r++) {
        // The columns this row covers: [r * cols / rows, (r + 1) * cols / rows).
        const int first = r * cols / rows, end = (r + 1) * cols / rows;
        for (int i = 0; i < bins; i++) {
            bool loud = false;
            for (int c = first; c < end; c++)
                loud = loud || columns[c][i] > 0.0f;
            ASSERT_EQ(texels[2 * (r * bins + i)], loud ? 255 : 0) << "row " << r << " bin " << i;
            loudRows += loud;
        }
    }
    EXPECT_EQ(loudRows, (cols + 996) / 997);
}
