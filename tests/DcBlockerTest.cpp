#include "effects/DcBlocker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "effects/SafetyLimiter.h"

namespace {

// The end of the master path: the offset goes, then the limiter, in blocks of
// changing sizes as a device may ask for them.
class MasterEnd {
public:
    explicit MasterEnd(double rate) : _blocker(rate), _limiter(rate) {}
    void SetSampleRate(double rate)
    {
        _blocker.SetSampleRate(rate);
        _limiter.SetSampleRate(rate);
    }
    std::vector<float> Run(std::vector<float> x)
    {
        const int sizes[] = {512, 1, 1024, 63, 256, 7};
        const int frames = int(x.size() / 2);
        for (int done = 0, k = 0; done < frames; k++) {
            const int n = std::min(sizes[k % 6], frames - done);
            _blocker.Process(x.data() + 2 * long(done), n);
            _limiter.Process(x.data() + 2 * long(done), n);
            done += n;
        }
        return x;
    }
    double GetPole() const { return _blocker.GetPole(); }

private:
    DcBlocker _blocker;
    SafetyLimiter _limiter;
};

// Stereo, both channels alike: amplitude * sin(2 pi hz t) + offset.
std::vector<float> Tone(double rate, double seconds, double hz, double amplitude, double offset)
{
    std::vector<float> x(2 * size_t(seconds * rate));
    for (size_t i = 0; i < x.size() / 2; i++)
        x[2 * i] = x[2 * i + 1] = float(offset + amplitude * std::sin(2.0 * M_PI * hz * double(i) / rate));
    return x;
}

double Mean(const std::vector<float>& x, int channel, size_t from, size_t frames)
{
    double sum = 0.0;
    for (size_t i = from; i < from + frames; i++)
        sum += x[2 * i + channel];
    return sum / double(frames);
}

// The amplitude of the hz component over whole periods, whatever its phase.
double FittedAmplitude(const std::vector<float>& x, int channel, double rate, double hz, size_t from, size_t frames)
{
    double s = 0.0, c = 0.0;
    for (size_t i = from; i < from + frames; i++) {
        const double phase = 2.0 * M_PI * hz * double(i) / rate;
        s += x[2 * i + channel] * std::sin(phase);
        c += x[2 * i + channel] * std::cos(phase);
    }
    return 2.0 * std::hypot(s, c) / double(frames);
}

// |(1 - z^-1) / (1 - R z^-1)| on the unit circle.
double AnalyticGain(double pole, double rate, double hz)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * M_PI * hz / rate);
    return std::abs((1.0 - z1) / (1.0 - pole * z1));
}

double Db(double gain)
{
    return 20.0 * std::log10(gain);
}

TEST(DcBlockerTest, AToneOverAnOffsetLeavesNoMeanAfterTheFirstSecondAndKeepsItsLevel)
{
    // A cheap recorder's 440 Hz at 0.4 over an offset of 0.4: peaks of 0.8,
    // under the limiter's threshold, so whatever offset is left comes out.
    const double rate = 44100.0;
    MasterEnd master(rate);
    const std::vector<float> y = master.Run(Tone(rate, 5.0, 440.0, 0.4, 0.4));
    const size_t second = size_t(rate);
    for (int c = 0; c < 2; c++) {
        for (size_t from = second; from + second <= y.size() / 2; from += second / 10)
            EXPECT_LT(std::fabs(Mean(y, c, from, second)), 1e-3) << "channel " << c << ", second from frame " << from;
        EXPECT_NEAR(Db(FittedAmplitude(y, c, rate, 440.0, 3 * second, second) / 0.4), 0.0, 0.1);
    }
}

TEST(DcBlockerTest, TheLevelAt20HzAndAboveIsUntouchedWithinATenthOfADecibelAtEveryRate)
{
    for (double rate : {44100.0, 96000.0}) {
        for (double hz : {20.0, 1000.0}) {
            // Made at the start-up rate, then the stream opens at this one.
            MasterEnd master(44100.0);
            master.SetSampleRate(rate);
            const std::vector<float> y = master.Run(Tone(rate, 3.0, hz, 0.4, 0.0));
            // Two seconds of whole periods, once the start has died away.
            const double gain = FittedAmplitude(y, 0, rate, hz, size_t(rate), size_t(2 * rate)) / 0.4;
            EXPECT_NEAR(Db(gain), 0.0, 0.1) << hz << " Hz at " << rate << " Hz";
            // The filter is the one-pole high-pass it is meant to be, at its corner.
            EXPECT_NEAR(gain, AnalyticGain(master.GetPole(), rate, hz), 1e-4) << hz << " Hz at " << rate << " Hz";
            EXPECT_NEAR(AnalyticGain(master.GetPole(), rate, DcBlocker::CORNER_HZ), std::sqrt(0.5), 1e-3);
        }
    }
}

TEST(DcBlockerTest, ANonFiniteSampleIsSilencedAndLeavesTheFilterWorking)
{
    DcBlocker blocker(44100.0);
    std::vector<float> x = Tone(44100.0, 1.0, 440.0, 0.4, 0.0);
    x[1000] = std::numeric_limits<float>::quiet_NaN();
    x[2001] = std::numeric_limits<float>::infinity();
    blocker.Process(x.data(), int(x.size() / 2));
    for (float v : x)
        ASSERT_TRUE(std::isfinite(v));
    EXPECT_NEAR(FittedAmplitude(x, 1, 44100.0, 440.0, 22050, 22050), 0.4, 0.01);
}

}  // namespace
