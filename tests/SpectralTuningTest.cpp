#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "AnalysedSound.h"
#include "app/App.h"
#include "sound/SoundRect.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"
#include "spectral/ChromaOverlapAddProcessor.h"
#include "spectral/FilterBank.h"
#include "spectral/Scale.h"
#include "spectral/SpectroToSamplesOverlapAddProcessor.h"
#include "spectral/Spectrogram.h"
#include "ui/UISoundRect.h"

// Spectral grains listened to the way a performer (and a tuner) hears them:
// the frequency and level of a sine after resynthesis with a time stretch,
// a direction and a pitch, and the band a grain on a line of the picture
// plays.

namespace {

const double RATE = 44100.0;
const int SOUND_FRAMES = 3 * 44100;
const double AMPLITUDE = 0.5;
// Where the grains read: well inside the sound, far from both ends.
const double READ_START = 30000.0;
const int READ_FRAMES = 24576;
// The first frames hold the stream's start; the tuner listens after them.
const int SETTLE_FRAMES = 4096;

double Cents(double hz, double reference)
{
    return 1200.0 * std::log2(hz / reference);
}

double Db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

// Level of the frequency in x as a Hann-windowed discrete-time Fourier
// transform, the oscillator turned by a complex rotation per sample.
double WindowedLevel(const std::vector<float>& x, double hz)
{
    const size_t n = x.size();
    const double turn = 2.0 * M_PI * hz / RATE;
    const double stepRe = std::cos(turn), stepIm = std::sin(turn);
    static std::vector<double> window;
    if (window.size() != n) {
        window.resize(n);
        for (size_t i = 0; i < n; i++)
            window[i] = 0.5 * (1.0 - std::cos(2.0 * M_PI * i / (n - 1)));
    }
    double oscRe = 1.0, oscIm = 0.0, re = 0.0, im = 0.0, sum = 0.0;
    for (size_t i = 0; i < n; i++) {
        double w = window[i];
        re += w * x[i] * oscRe;
        im += w * x[i] * oscIm;
        sum += w;
        double nextRe = oscRe * stepRe - oscIm * stepIm;
        oscIm = oscRe * stepIm + oscIm * stepRe;
        oscRe = nextRe;
    }
    return 2.0 * std::sqrt(re * re + im * im) / sum;
}

// Amplitude of a sine of the given frequency fitted to x by least squares.
double FittedAmplitude(const float* x, size_t n, double hz)
{
    double cc = 0.0, ss = 0.0, cs = 0.0, xc = 0.0, xs = 0.0;
    for (size_t i = 0; i < n; i++) {
        double c = std::cos(2.0 * M_PI * hz * i / RATE), s = std::sin(2.0 * M_PI * hz * i / RATE);
        cc += c * c;
        ss += s * s;
        cs += c * s;
        xc += x[i] * c;
        xs += x[i] * s;
    }
    double det = cc * ss - cs * cs;
    double a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
    return std::sqrt(a * a + b * b);
}

struct Tone {
    double hz;
    double level;
};

// The strongest sine within a fifth of near: a coarse scan of the windowed
// spectrum, then a golden-section search of its peak.
Tone Tune(const std::vector<float>& x, double near)
{
    double step = 0.5 * RATE / x.size();
    double best = near, bestLevel = -1.0;
    for (double hz = near / 1.5; hz < near * 1.5; hz += step) {
        double level = WindowedLevel(x, hz);
        if (level > bestLevel) {
            bestLevel = level;
            best = hz;
        }
    }
    const double golden = 0.5 * (std::sqrt(5.0) - 1.0);
    double lo = best - step, hi = best + step;
    while (hi - lo > 1e-4) {
        double a = hi - golden * (hi - lo), b = lo + golden * (hi - lo);
        if (WindowedLevel(x, a) > WindowedLevel(x, b))
            hi = b;
        else
            lo = a;
    }
    double hz = 0.5 * (lo + hi);
    return {hz, FittedAmplitude(x.data(), x.size(), hz)};
}

// Spread in decibels of the sine's level fitted over successive stretches of
// 1024 frames.
double RippleDb(const std::vector<float>& x, double hz)
{
    const size_t block = 1024;
    double lo = 1e9, hi = 0.0;
    for (size_t at = 0; at + block <= x.size(); at += block) {
        double a = FittedAmplitude(x.data() + at, block, hz);
        lo = std::min(lo, a);
        hi = std::max(hi, a);
    }
    return Db(hi / lo);
}

// A stereo sound of sines (the same on both channels, at a fifth of their
// level before loudFrom) analysed as at start-up, in a rect whose view shows
// it as a spectrogram.
class SineRect {
public:
    explicit SineRect(const std::vector<double>& hzs, int loudFrom = 0)
    {
        _app.SetWinSize(1000, 600);
        std::vector<float> samples(2 * SOUND_FRAMES);
        for (int f = 0; f < SOUND_FRAMES; f++) {
            double v = 0.0;
            for (double hz : hzs)
                v += (f < loudFrom ? 0.2 : 1.0) * AMPLITUDE * std::sin(2.0 * M_PI * hz * f / RATE);
            samples[2 * f] = samples[2 * f + 1] = (float)v;
        }
        AssociateAnalysedSound(&_rect, samples, SOUND_FRAMES, &_spectra);
        _view = std::make_unique<UISoundRect>(&_rect, &_app, nullptr, _app.GetScreen());
        _rect.RegisterUI(_view.get());
        _view->SetRectType(UISoundRect::SPECTROGRAM);
        // The whole height: every frequency.
        _rect.SetParamY(0.5);
        _rect.SetRange(100.0);
    }

    SoundRect* Rect() { return &_rect; }
    UISoundRect* View() { return _view.get(); }

    // The left channel of a request.
    std::vector<float> Read(double start, double end, double stretch, double direction, double pitch)
    {
        std::vector<float> out, left;
        _rect.GetSamples(&out, start, end, stretch, direction, pitch);
        for (size_t i = 0; i < out.size(); i += 2)
            left.push_back(out[i]);
        return left;
    }

    // The steady part of a long request.
    std::vector<float> Steady(double stretch, double direction, double pitch)
    {
        std::vector<float> left = Read(READ_START, READ_START + READ_FRAMES, stretch, direction, pitch);
        return std::vector<float>(left.begin() + SETTLE_FRAMES, left.end());
    }

private:
    App _app;
    SoundRect _rect;
    std::unique_ptr<UISoundRect> _view;
    std::vector<std::unique_ptr<Spectrogram>> _spectra;
};

}  // namespace

class StretchTuningTest : public testing::TestWithParam<double> {};

TEST_P(StretchTuningTest, StretchAndDirectionKeepPitchAndLevel)
{
    const double hz = GetParam();
    SineRect sound({hz});
    // Unstretched, the resynthesis gives back the stored sine at the level
    // grains from the pictures have always had.
    Tone plain = Tune(sound.Steady(1.0, 1.0, 1.0), hz);
    EXPECT_LT(std::fabs(Cents(plain.hz, hz)), 1.0) << hz << " Hz";
    const double level = SpectroToSamplesOverlapAddProcessor::RESYNTHESIS_LEVEL_DB;
    EXPECT_LT(std::fabs(Db(plain.level / AMPLITUDE) - level), 0.1) << hz << " Hz";

    struct Case {
        double stretch, direction;
    };
    for (Case c : {Case{0.5, 1.0}, Case{1.5, 1.0}, Case{2.0, 1.0}, Case{1.0, -1.0}, Case{0.5, -1.0}}) {
        std::vector<float> heard = sound.Steady(c.stretch, c.direction, 1.0);
        Tone tone = Tune(heard, hz);
        EXPECT_LT(std::fabs(Cents(tone.hz, hz)), 10.0) << hz << " Hz, stretch " << c.stretch << " dir " << c.direction;
        EXPECT_LT(std::fabs(Db(tone.level / plain.level)), 1.0)
            << hz << " Hz, stretch " << c.stretch << " dir " << c.direction;
        EXPECT_LT(RippleDb(heard, tone.hz), 1.0) << hz << " Hz, stretch " << c.stretch << " dir " << c.direction;
    }
}

INSTANTIATE_TEST_SUITE_P(SinesAcrossTheRange, StretchTuningTest,
                         testing::Values(100.0, 220.0, 1000.0, 3000.0, 10000.0));

TEST(PitchTuningTest, PitchTransposesSpectralGrains)
{
    const double hz = 1000.0;
    double plain = Tune(SineRect({hz}).Steady(1.0, 1.0, 1.0), hz).level;
    for (double pitch : {2.0, 0.5, 1.5}) {
        // A fresh stream for each pitch.
        std::vector<float> heard = SineRect({hz}).Steady(1.0, 1.0, pitch);
        Tone tone = Tune(heard, hz * pitch);
        EXPECT_LT(std::fabs(Cents(tone.hz, hz * pitch)), 10.0) << "pitch " << pitch;
        EXPECT_LT(RippleDb(heard, tone.hz), 1.0) << "pitch " << pitch;
        EXPECT_LT(std::fabs(Db(tone.level / plain)), 1.0) << "pitch " << pitch;
    }
}

TEST(PitchTuningTest, AVoiceReadingPitchedWindowsHearsOneUnbrokenSine)
{
    // A voice asks for one output frame per frame of its half block, from
    // where its position has moved to at its pitch. Heard in a row, nothing
    // is skipped, nothing clicks, and the sine is at the pitch.
    const double hz = 1000.0;
    const int halfBlock = 512;
    for (double pitch : {2.0, 1.5, 0.5, 0.25}) {
        SineRect sound({hz});
        std::vector<float> heard;
        double pos = READ_START;
        for (int block = 0; block < 48; block++, pos += halfBlock * pitch) {
            std::vector<float> window = sound.Read(pos, pos + halfBlock, 1.0, 1.0, pitch);
            ASSERT_EQ(window.size(), (size_t)halfBlock);
            if (block >= 8)
                heard.insert(heard.end(), window.begin(), window.end());
        }
        Tone tone = Tune(heard, hz * pitch);
        EXPECT_LT(std::fabs(Cents(tone.hz, hz * pitch)), 5.0) << "pitch " << pitch;
        EXPECT_LT(RippleDb(heard, tone.hz), 1.0) << "pitch " << pitch;
    }
}

// A grain on a spectrogram, pitched down an octave or two, plays the sine
// transposed at the level it has at pitch 1.
TEST(PitchTuningTest, SpectralGrainsBelowPitchOneKeepFrequencyAndLevel)
{
    const double hz = 1000.0;
    double levelAtOne = 0.0;
    for (double pitch : {1.0, 0.5, 0.25}) {
        SineRect sound({hz});
        Envelope envelope(2048);
        AudioSource voice({sound.Rect()}, &envelope, 1000.0, pitch, 1.0);
        voice.SetDirection(1.0);
        voice.SetEnvelopeType(Envelope::HAND_DRAWN);
        voice.UpdateParams();
        double position = 0.2, paramY = 0.5;
        voice.SetRange(100.0);
        ASSERT_TRUE(voice.Play(&position, &paramY));
        std::vector<float> block(2 * 512), heard;
        for (int b = 0; b < 120; b++) {
            std::fill(block.begin(), block.end(), 0.0f);
            voice.NextBuffer(&block, 512, 0);
            for (size_t i = 0; b >= 40 && i < block.size(); i += 2)
                heard.push_back(block[i]);
        }
        Tone tone = Tune(heard, hz * pitch);
        EXPECT_LT(std::fabs(Cents(tone.hz, hz * pitch)), 5.0) << "pitch " << pitch << " heard " << tone.hz;
        if (pitch == 1.0)
            levelAtOne = tone.level;
        EXPECT_LT(std::fabs(Db(tone.level / levelAtOne)), 0.5) << "pitch " << pitch;
        EXPECT_LT(RippleDb(heard, tone.hz), 1.0) << "pitch " << pitch;
    }
}

// A sine that grows five times louder at a known frame of the sound, read
// stretched: the step is heard where the grain's position reaches that frame
// (the level half-way between the two, within 256 frames), at whichever
// speed the position moves.
TEST(StretchTimingTest, StretchedContentArrivesWhereTheGrainPositionSays)
{
    const int step = 60000, halfBlock = 512, blocks = 40;
    const double reach = 8192.0;
    for (double stretch : {0.5, 2.0}) {
        SineRect sound({1000.0}, step);
        std::vector<float> heard;
        double pos = step - reach * stretch;
        for (int block = 0; block < blocks; block++, pos += halfBlock * stretch) {
            std::vector<float> window = sound.Read(pos, pos + halfBlock, stretch, 1.0, 1.0);
            heard.insert(heard.end(), window.begin(), window.end());
        }
        // Levels over 256 frames centred on each frame.
        const size_t span = 256;
        const auto level = [&](size_t centre) {
            double energy = 0.0;
            for (size_t i = centre - span / 2; i < centre + span / 2; i++)
                energy += (double)heard[i] * heard[i];
            return std::sqrt(energy / span);
        };
        const double quiet = level(4096), loud = level(heard.size() - 1024);
        ASSERT_NEAR(loud / quiet, 5.0, 0.5) << "stretch " << stretch;
        size_t arrival = 4096;
        while (arrival < heard.size() - span && level(arrival) < (quiet + loud) / 2.0)
            arrival++;
        EXPECT_NEAR((double)arrival, reach, 256.0) << "stretch " << stretch;
    }
}

TEST(WaveformStretchTest, LeavingStretchOneKeepsTheLevelAndThePitch)
{
    SineRect sound({440.0});
    sound.View()->SetRectType(UISoundRect::WAVEFORM);
    sound.Rect()->SetParamY(0.3);
    Tone plain = Tune(sound.Steady(1.0, 1.0, 1.0), 440.0);
    for (double stretch : {1.0001, 0.5, 2.0}) {
        Tone stretched = Tune(sound.Steady(stretch, 1.0, 1.0), 440.0);
        EXPECT_LT(std::fabs(Db(stretched.level / plain.level)), 0.2) << "stretch " << stretch;
        EXPECT_LT(std::fabs(Cents(stretched.hz, plain.hz)), 1.0) << "stretch " << stretch;
    }
    EXPECT_NEAR(plain.level, 0.3 * AMPLITUDE, 1e-3);
}

TEST(SpectralEdgesTest, PastTheEndAndBeforeTheStartIsSilence)
{
    auto silentFrom = [](const std::vector<float>& x, size_t from) {
        return std::all_of(x.begin() + from, x.end(), [](float v) { return v == 0.0f; });
    };
    auto soundsBefore = [](const std::vector<float>& x, size_t until) {
        return std::any_of(x.begin(), x.begin() + until, [](float v) { return std::fabs(v) > 0.1f; });
    };
    {
        // Forwards over the end: the sound, then silence from the end on.
        SineRect sound({440.0});
        const double start = SOUND_FRAMES - 8192.0;
        std::vector<float> out = sound.Read(start, start + 16384.0, 1.0, 1.0, 1.0);
        EXPECT_TRUE(soundsBefore(out, 4096));
        EXPECT_TRUE(silentFrom(out, 8192));
        // Wholly beyond the end.
        SineRect fresh({440.0});
        EXPECT_TRUE(silentFrom(fresh.Read(SOUND_FRAMES + 10.0, SOUND_FRAMES + 5000.0, 1.0, 1.0, 1.0), 0));
    }
    {
        // Backwards at twice the speed from frame 8191: the start is reached
        // after 4096 frames, and the last frame read has faded 2048 later.
        SineRect sound({440.0});
        std::vector<float> out = sound.Read(0.0, 8192.0, 2.0, -1.0, 1.0);
        EXPECT_TRUE(soundsBefore(out, 2048));
        EXPECT_TRUE(silentFrom(out, 6144));
    }
}

namespace {

// Row of the picture (with its fractional peak) where a column of values is brightest.
double BrightestRow(const std::vector<float>& rows)
{
    size_t m = std::max_element(rows.begin(), rows.end()) - rows.begin();
    if (m == 0 || m + 1 >= rows.size())
        return (double)m;
    double a = rows[m - 1], b = rows[m], c = rows[m + 1];
    return m + 0.5 * (a - c) / (a - 2.0 * b + c);
}

// The height fraction of the picture's brightest line, the middle of the row.
double PictureLine(const std::vector<float>& rows)
{
    return (BrightestRow(rows) + 0.5) / rows.size();
}

// Level of a frequency in the steady part of a grain with the band of the
// given line and range.
double BandLevel(SineRect* sound, double line, double range, double hz)
{
    sound->Rect()->SetParamY(line);
    sound->Rect()->SetRange(range);
    return WindowedLevel(sound->Steady(1.0, 1.0, 1.0), hz);
}

}  // namespace

TEST(PictureLineTest, AGrainOnASpectrogramLinePlaysWhatTheLineShows)
{
    const double fullLevel = AMPLITUDE * Scale::DbToAmp(SpectroToSamplesOverlapAddProcessor::RESYNTHESIS_LEVEL_DB);
    for (double hz : {100.0, 200.0, 440.0, 1000.0, 3000.0, 8000.0, 15000.0}) {
        SineRect sound({hz});
        // The picture's column as the view draws it: magnitudes on the mel rows.
        std::vector<float> rows;
        sound.Rect()->GetSpectrogram(0)->GetMagnCol(100, &rows);
        FilterBank bank(Scale::MEL);
        bank.HzToTargetScale(&rows, 44100.0, 44100.0f / 1024.0f, 22050.0f, 1024);
        double line = PictureLine(rows);
        EXPECT_LT(std::fabs(Cents(SoundRect::SpectrogramLineToHz(line), hz)), 25.0) << hz << " Hz";
        // A grain on the line plays the sine whole.
        EXPECT_LT(std::fabs(Db(BandLevel(&sound, line, 3.0, hz) / fullLevel)), 1.0) << hz << " Hz";
    }
}

TEST(PictureLineTest, AGrainOnAChromagramLinePlaysWhatTheLineShows)
{
    const double fullLevel = AMPLITUDE * Scale::DbToAmp(SpectroToSamplesOverlapAddProcessor::RESYNTHESIS_LEVEL_DB);
    // A6, D7, and a pitch class drawn from above half of Nyquist: sines
    // whose bins lie within a semitone of their pitch.
    for (double hz : {1760.0, 2349.3, 13289.75}) {
        const double tritone = hz * std::pow(2.0, 6.0 / 12.0);
        SineRect sound({hz}), other({tritone});
        sound.View()->SetRectType(UISoundRect::CHROMAGRAM);
        other.View()->SetRectType(UISoundRect::CHROMAGRAM);
        std::vector<float> magns, rows;
        sound.Rect()->GetChromagram(0)->GetMagnCol(100, &magns);
        ChromaOverlapAddProcessor picture(2048, 44100.0, sound.Rect()->GetChromagram(0), 0);
        picture.MagnsToChroma(magns, &rows);
        double line = PictureLine(rows);
        // A band of a semitone either side keeps the sine under it and drops
        // one a tritone away.
        double heard = BandLevel(&sound, line, 100.0 / 12.0, hz);
        double away = BandLevel(&other, line, 100.0 / 12.0, tritone);
        EXPECT_LT(std::fabs(Db(heard / fullLevel)), 1.0) << hz << " Hz";
        EXPECT_LT(Db(away / fullLevel), -60.0) << hz << " Hz";
    }
}

TEST(PictureLineTest, SinesAnOctaveOutsideTheBandAreRejected)
{
    const double fullLevel = AMPLITUDE * Scale::DbToAmp(SpectroToSamplesOverlapAddProcessor::RESYNTHESIS_LEVEL_DB);
    struct Case {
        double line, range;
    };
    for (Case c : {Case{0.3, 3.0}, Case{0.5, 10.0}, Case{0.2, 10.0}, Case{0.7, 20.0}}) {
        double below = 0.5 * SoundRect::SpectrogramLineToHz(c.line - c.range / 100.0);
        double above = 2.0 * SoundRect::SpectrogramLineToHz(c.line + c.range / 100.0);
        SineRect sound({below, above});
        for (double hz : {below, above}) {
            if (hz < 22050.0) {
                EXPECT_LT(Db(BandLevel(&sound, c.line, c.range, hz) / fullLevel), -60.0) << hz << " Hz";
            }
        }
    }
}

TEST(StretchSpectrumTest, AStretchedChordHasTheUnstretchedSpectrum)
{
    struct Chord {
        std::vector<double> hz, between;
        // How far a partial's level may move, and how loud a frequency
        // between partials may become.
        double levelDb, betweenDb;
        bool levelsHeldBackward;
    };
    // Partials the analysis resolves (five bins and more apart) stay clean;
    // partials under three bins apart share bins and beat a little there,
    // and read backward their levels swing with the place read, by up to
    // 5 dB: only the resolved chord's levels are held backward.
    const Chord resolved = {{220.0, 330.0, 550.0, 1244.5}, {150.0, 275.0, 440.0, 800.0, 2000.0}, 1.0, -50.0, true};
    const Chord close = {{220.0, 277.2, 329.6, 1244.5}, {150.0, 248.6, 303.4, 600.0, 2000.0}, 1.5, -20.0, false};
    for (const Chord& chord : {resolved, close}) {
        std::vector<float> plain = SineRect(chord.hz).Steady(1.0, 1.0, 1.0);
        for (double stretch : {0.5, 2.0, -1.5}) {
            std::vector<float> heard = SineRect(chord.hz).Steady(std::fabs(stretch), stretch < 0.0 ? -1.0 : 1.0, 1.0);
            for (double hz : chord.hz) {
                if (stretch < 0.0 && !chord.levelsHeldBackward)
                    continue;
                EXPECT_LT(std::fabs(Db(WindowedLevel(heard, hz) / WindowedLevel(plain, hz))), chord.levelDb)
                    << hz << " Hz, stretch " << stretch;
            }
            for (double between : chord.between) {
                EXPECT_LT(Db(WindowedLevel(heard, between) / AMPLITUDE), chord.betweenDb)
                    << between << " Hz, stretch " << stretch;
            }
        }
    }
}

TEST(VoicePitchTest, AVoiceTransposesStretchedWaveformAndSpectralGrains)
{
    // One looping voice of long grains, heard as a whole: whichever path
    // serves it, the sine comes out at the voice's pitch. The sine lies on
    // the middle line of the spectrogram, where the voice's band is centred.
    const double hz = SoundRect::SpectrogramLineToHz(0.5);
    struct Case {
        UISoundRect::RectType type;
        double pitch, stretch;
    };
    for (Case c : {Case{UISoundRect::WAVEFORM, 2.0, 0.5}, Case{UISoundRect::WAVEFORM, 1.5, 2.0},
                   Case{UISoundRect::SPECTROGRAM, 2.0, 1.0}, Case{UISoundRect::SPECTROGRAM, 1.5, 0.5},
                   Case{UISoundRect::SPECTROGRAM, 0.5, 1.0}, Case{UISoundRect::WAVEFORM, 0.5, 1.5}}) {
        SineRect sound({hz});
        sound.View()->SetRectType(c.type);
        sound.Rect()->SetParamY(0.5);
        Envelope envelope(2048);
        AudioSource voice({sound.Rect()}, &envelope, 1000.0, c.pitch, c.stretch);
        voice.SetDirection(1.0);
        voice.SetLoop(true);
        voice.UpdateParams();
        double position = 0.3, paramY = 0.5;
        voice.Play(&position, &paramY);
        std::vector<float> block(2 * 512), heard;
        for (int b = 0; b < 60; b++) {
            std::fill(block.begin(), block.end(), 0.0f);
            voice.NextBuffer(&block, 512, 0);
            for (size_t i = 0; b >= 20 && i < block.size(); i += 2)
                heard.push_back(block[i]);
        }
        Tone tone = Tune(heard, hz * c.pitch);
        EXPECT_LT(std::fabs(Cents(tone.hz, hz * c.pitch)), 10.0)
            << "type " << c.type << " pitch " << c.pitch << " stretch " << c.stretch << " heard " << tone.hz;
    }
}
