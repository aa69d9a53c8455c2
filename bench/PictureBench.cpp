#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "app/App.h"
#include "sound/SoundRect.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"
#include "spectral/WaveformEnvelope.h"
#include "ui/UISoundRect.h"
#include "ui/UISoundRectPictures.h"

// What the canvas prepares outside GL for the rect of a 10-minute stereo
// sound: the waveform's summaries (once, at loading), its vertices (every
// frame), the image pooled to the rows a texture keeps (once) and its texels
// (whenever range or contrast change).

namespace {
const int SAMPLE_RATE = 44100;
const long TEN_MINUTES = 600L * SAMPLE_RATE;
// The rows kept for a screen of up to 2048 pixels.
const size_t IMAGE_ROWS = 2048;

const std::vector<float>& TenMinutesOfStereo()
{
    static std::vector<float> samples = [] {
        std::vector<float> s(2 * TEN_MINUTES);
        std::srand(1);
        for (long i = 0; i < TEN_MINUTES; i++) {
            const float noise = 0.05f * (2.0f * std::rand() / float(RAND_MAX) - 1.0f);
            s[2 * i] = 0.4f * std::sin(0.01f * static_cast<float>(i % 100000)) + noise;
            s[2 * i + 1] = -s[2 * i];
        }
        return s;
    }();
    return samples;
}

// A view over the sound, and an image of the size of its analysis.
struct PictureScene {
    PictureScene() : image(SamplesToSpectro::FFT_SIZE, SamplesToSpectro::NumCols(static_cast<int>(TEN_MINUTES)))
    {
        app.SetWinSize(1280, 800);
        rect.ShareSamples(&TenMinutesOfStereo(), TEN_MINUTES, 2);
        view = new UISoundRect(&rect, &app, nullptr, app.GetScreen());
        view->GetPictures()->PrepareWaveform();
        std::vector<float> column(image.GetNumBins());
        for (int c = 0; c < image.GetNumCols(); c++) {
            for (size_t i = 0; i < column.size(); i++)
                column[i] = 0.5f * (1.0f + std::sin(0.001f * static_cast<float>(c * 7 + i)));
            image.SetMagnColDisp(c, column);
        }
    }
    ~PictureScene() { delete view; }
    App app;
    SoundRect rect;
    UISoundRect* view;
    Spectrogram image;
};

PictureScene* Scene()
{
    static PictureScene* scene = new PictureScene();
    return scene;
}

void BM_WaveformSummaries(benchmark::State& state)
{
    const std::vector<float>& samples = TenMinutesOfStereo();
    for (auto _ : state) {
        WaveformEnvelope envelope;
        envelope.SetChannel(samples, 2, 0);
        benchmark::DoNotOptimize(envelope.GetSummaryBytes());
    }
}

// One frame's vertices: the whole sound over a rect 800 pixels long, or
// zoomed in a hundred times with the window showing 1280 pixels of it.
void BM_WaveformVerticesPerFrame(benchmark::State& state)
{
    PictureScene* scene = Scene();
    const double length = static_cast<double>(state.range(0));
    const UISoundRectPictures::WaveGeometry geometry = {-0.25 * length, 0.75 * length, 1280.0, 400.0, 100.0, true};
    std::vector<float> vertices;
    bool band = false;
    for (auto _ : state) {
        scene->view->GetPictures()->BuildWaveVertices(geometry, &vertices, &band);
        benchmark::DoNotOptimize(vertices.data());
    }
    state.counters["vertices"] = static_cast<double>(vertices.size() / 2);
}

void BM_ImagePooling(benchmark::State& state)
{
    PictureScene* scene = Scene();
    UISoundRectPictures::ImageLevels levels;
    for (auto _ : state) {
        UISoundRectPictures::PoolImageRows(&scene->image, IMAGE_ROWS, &levels);
        benchmark::DoNotOptimize(levels.levels.data());
    }
}

void BM_ImageTexels(benchmark::State& state)
{
    PictureScene* scene = Scene();
    UISoundRectPictures::ImageLevels levels;
    UISoundRectPictures::PoolImageRows(&scene->image, IMAGE_ROWS, &levels);
    std::vector<unsigned char> texels;
    for (auto _ : state) {
        scene->view->GetPictures()->BuildTexels(levels, &texels);
        benchmark::DoNotOptimize(texels.data());
    }
}
}  // namespace

BENCHMARK(BM_WaveformSummaries)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WaveformVerticesPerFrame)->Arg(800)->Arg(80000)->Arg(8000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ImagePooling)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageTexels)->Unit(benchmark::kMillisecond);
