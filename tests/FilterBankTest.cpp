#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "spectral/FilterBank.h"
#include "spectral/Scale.h"

namespace {

// The sound rect view's spectrogram image: 1024 bins onto 1024 mel filters.
const int VIEW_BINS = 1024;
const double VIEW_RATE = 44100.0;
const float VIEW_LO = 44100.0f / 1024.0f;
const float VIEW_HI = 22050.0f;

// Bin position of a frequency on the bank's bin axis.
double HzToBinPos(double hz, int numBins, double lo, double hi)
{
    return (hz + lo) * (numBins + 1) / (hi - lo);
}

// Bin position of filter edge k (filter m spans edges m .. m + 2, peak at m + 1),
// spaced evenly in mels.
double MelEdgePos(int k, int numBins, int numFilters, double lo, double hi)
{
    const double melLo = Scale::HzToMel(lo);
    const double melHi = Scale::HzToMel(hi);
    const double hz = Scale::MelToHz(melLo + (melHi - melLo) * k / (numFilters + 1));
    return HzToBinPos(hz, numBins, lo, hi);
}

double LinearEdgePos(int k, int numBins, int numFilters, double lo, double hi)
{
    return HzToBinPos(lo + (hi - lo) * k / (numFilters + 1), numBins, lo, hi);
}

double TriangleHeight(double lo, double mid, double hi, double x)
{
    if (x <= lo || x >= hi)
        return 0.0;
    return x <= mid ? (x - lo) / (mid - lo) : (hi - x) / (hi - mid);
}

// Midpoint rule with many steps: an integration that knows nothing of the
// triangle's corners.
double IntegrateTriangle(double lo, double mid, double hi, double a, double b)
{
    const int steps = 200000;
    const double dx = (b - a) / steps;
    double sum = 0.0;
    for (int i = 0; i < steps; i++)
        sum += TriangleHeight(lo, mid, hi, a + (i + 0.5) * dx);
    return sum * dx;
}

double WeightSum(const FilterBank::FilterBankObj::Filter& filter)
{
    double sum = 0.0;
    for (float w : filter._data)
        sum += w;
    return sum;
}

const FilterBank::FilterBankObj& BuildBank(FilterBank* bank, int numBins, double rate, float lo, float hi,
                                           int numFilters)
{
    std::vector<float> data(numBins, 0.0f);
    bank->HzToTargetScale(&data, rate, lo, hi, numFilters);
    return bank->GetHzToTargetFilterBank();
}

void ExpectBoundsInsideBins(const FilterBank::FilterBankObj& bank)
{
    for (const FilterBank::FilterBankObj::Filter& filter : bank._filters) {
        if (filter._bounds[0] == -1) {
            EXPECT_EQ(filter._bounds[1], -1);
            EXPECT_EQ(WeightSum(filter), 0.0);
            continue;
        }
        EXPECT_GE(filter._bounds[0], 0);
        EXPECT_LE(filter._bounds[0], filter._bounds[1]);
        EXPECT_LE(filter._bounds[1], bank._dataSize - 1);
        for (int i = 0; i < bank._dataSize; i++) {
            if (i < filter._bounds[0] || i > filter._bounds[1]) {
                EXPECT_EQ(filter._data[i], 0.0f);
            }
        }
    }
}

}  // namespace

TEST(FilterBankTest, BankIsRebuiltOnlyWhenAParameterChanges)
{
    FilterBank bank(Scale::MEL);
    std::vector<float> data(256, 1.0f);
    bank.HzToTargetScale(&data, 44100.0, 100.0f, 20000.0f, 256);
    EXPECT_EQ(bank.GetNumBuilds(), 1);
    data.assign(256, 0.5f);
    bank.HzToTargetScale(&data, 44100.0, 100.0f, 20000.0f, 256);
    EXPECT_EQ(bank.GetNumBuilds(), 1);

    data.assign(256, 1.0f);
    bank.HzToTargetScale(&data, 44100.0, 100.0f, 20000.0f, 128);
    EXPECT_EQ(bank.GetNumBuilds(), 2);
    EXPECT_EQ(data.size(), 128u);
    bank.HzToTargetScale(&data, 44100.0, 100.0f, 20000.0f, 128);
    EXPECT_EQ(bank.GetNumBuilds(), 3);  // 128 bins in now, not 256
    data.assign(128, 1.0f);
    bank.HzToTargetScale(&data, 48000.0, 100.0f, 20000.0f, 128);
    bank.HzToTargetScale(&data, 48000.0, 50.0f, 20000.0f, 128);
    bank.HzToTargetScale(&data, 48000.0, 50.0f, 10000.0f, 128);
    EXPECT_EQ(bank.GetNumBuilds(), 6);
    bank.HzToTargetScale(&data, 48000.0, 50.0f, 10000.0f, 128);
    EXPECT_EQ(bank.GetNumBuilds(), 6);
}

TEST(FilterBankTest, ViewBankStartsNearBinFourAndEndsOnTheLastBin)
{
    FilterBank bank(Scale::MEL);
    const FilterBank::FilterBankObj& obj = BuildBank(&bank, VIEW_BINS, VIEW_RATE, VIEW_LO, VIEW_HI, VIEW_BINS);
    ASSERT_EQ(obj._filters.size(), static_cast<size_t>(VIEW_BINS));

    const double firstLo = MelEdgePos(0, VIEW_BINS, VIEW_BINS, VIEW_LO, VIEW_HI);
    const double firstHi = MelEdgePos(2, VIEW_BINS, VIEW_BINS, VIEW_LO, VIEW_HI);
    EXPECT_NEAR(firstLo, 4.0, 0.05);
    // Narrower than 2 bins, it is widened around its centre to start one bin lower.
    ASSERT_LT(firstHi - firstLo, 2.0);
    EXPECT_EQ(obj._filters.front()._bounds[0], static_cast<int>(std::floor(0.5 * (firstLo + firstHi) - 1.0)));
    EXPECT_EQ(obj._filters.front()._bounds[1], static_cast<int>(std::ceil(0.5 * (firstLo + firstHi) + 1.0)));

    // The top edge lies past the last bin; the bank stops at it.
    EXPECT_GT(MelEdgePos(VIEW_BINS + 1, VIEW_BINS, VIEW_BINS, VIEW_LO, VIEW_HI), VIEW_BINS);
    EXPECT_EQ(obj._filters.back()._bounds[1], VIEW_BINS - 1);
    ExpectBoundsInsideBins(obj);
}

TEST(FilterBankTest, EveryFilterPassesItsWholeAreaOverTheBinsItCovers)
{
    FilterBank bank(Scale::MEL);
    const FilterBank::FilterBankObj& obj = BuildBank(&bank, VIEW_BINS, VIEW_RATE, VIEW_LO, VIEW_HI, VIEW_BINS);
    int checkedWhole = 0;
    for (int m = 0; m < VIEW_BINS; m++) {
        const double lo = MelEdgePos(m, VIEW_BINS, VIEW_BINS, VIEW_LO, VIEW_HI);
        const double mid = MelEdgePos(m + 1, VIEW_BINS, VIEW_BINS, VIEW_LO, VIEW_HI);
        const double hi = MelEdgePos(m + 2, VIEW_BINS, VIEW_BINS, VIEW_LO, VIEW_HI);
        const double sum = WeightSum(obj._filters[m]);
        if (hi < VIEW_BINS - 0.01) {
            EXPECT_NEAR(sum, 1.0, 1e-4) << "filter " << m;
            checkedWhole++;
        } else if (hi - lo >= 2.0) {
            // Past the last bin only the part over existing bins counts.
            const double inside = IntegrateTriangle(lo, mid, hi, lo, VIEW_BINS) / (0.5 * (hi - lo));
            EXPECT_NEAR(sum, inside, 2e-3) << "filter " << m;
        }
    }
    EXPECT_GT(checkedWhole, 1000);
}

TEST(FilterBankTest, TriangleAreaMatchesNumericIntegration)
{
    srand(7);
    auto rnd = [] { return static_cast<double>(rand()) / RAND_MAX; };
    for (int trial = 0; trial < 40; trial++) {
        const double lo = 20.0 * rnd();
        const double mid = lo + 0.05 + 5.0 * rnd();
        const double hi = mid + 0.05 + 5.0 * rnd();
        double a = lo - 2.0 + (hi - lo + 4.0) * rnd();
        double b = lo - 2.0 + (hi - lo + 4.0) * rnd();
        if (a > b)
            std::swap(a, b);
        EXPECT_NEAR(FilterBank::ComputeTriangleAreaBetween(lo, mid, hi, a, b), IntegrateTriangle(lo, mid, hi, a, b),
                    1e-6)
            << lo << " " << mid << " " << hi << " over " << a << " .. " << b;
    }
    // Whole triangle, disjoint intervals and a point.
    EXPECT_NEAR(FilterBank::ComputeTriangleAreaBetween(2.0, 3.0, 6.0, 0.0, 10.0), 2.0, 1e-12);
    EXPECT_EQ(FilterBank::ComputeTriangleAreaBetween(2.0, 3.0, 6.0, 6.5, 7.0), 0.0);
    EXPECT_EQ(FilterBank::ComputeTriangleAreaBetween(2.0, 3.0, 6.0, 0.0, 1.5), 0.0);
    EXPECT_EQ(FilterBank::ComputeTriangleAreaBetween(2.0, 3.0, 6.0, 4.0, 4.0), 0.0);
    EXPECT_DOUBLE_EQ(FilterBank::ComputeTriangleY(2.0, 3.0, 6.0, 4.5), 0.5);
}

namespace {
struct Triangle {
    float lo, mid, hi;
};

Triangle Fixed(Triangle t, int dataSize)
{
    FilterBank::FixSmallTriangles(&t.lo, &t.mid, &t.hi, dataSize);
    return t;
}

void ExpectTriangle(const Triangle& t, float lo, float mid, float hi)
{
    EXPECT_FLOAT_EQ(t.lo, lo);
    EXPECT_FLOAT_EQ(t.mid, mid);
    EXPECT_FLOAT_EQ(t.hi, hi);
}
}  // namespace

TEST(FilterBankTest, NarrowTrianglesAreWidenedToTwoBinsAndShiftedOffTheEdges)
{
    // Widened around the centre of its base; the peak stays put.
    ExpectTriangle(Fixed({10.2f, 10.4f, 10.8f}, 64), 9.5f, 10.4f, 11.5f);
    // Near the ends the widened triangle moves inside whole.
    ExpectTriangle(Fixed({0.1f, 0.3f, 0.5f}, 64), 0.0f, 1.0f, 2.0f);
    ExpectTriangle(Fixed({62.5f, 62.8f, 62.9f}, 64), 61.0f, 62.1f, 63.0f);
    // Wide enough already.
    ExpectTriangle(Fixed({3.0f, 4.0f, 7.5f}, 64), 3.0f, 4.0f, 7.5f);
    ExpectTriangle(Fixed({3.0f, 4.0f, 5.0f}, 64), 3.0f, 4.0f, 5.0f);
    // A single bin has no room to widen into.
    ExpectTriangle(Fixed({0.2f, 0.3f, 0.4f}, 1), 0.2f, 0.3f, 0.4f);
}

TEST(FilterBankTest, NarrowFilterAtBinZeroKeepsItsFullWeight)
{
    // A low start puts the first mel filters well inside bin 0.
    const int bins = 64;
    const float lo = 1.0f, hi = 22050.0f;
    ASSERT_LT(MelEdgePos(2, bins, bins, lo, hi), 0.5);
    FilterBank bank(Scale::MEL);
    const FilterBank::FilterBankObj& obj = BuildBank(&bank, bins, 44100.0, lo, hi, bins);
    const FilterBank::FilterBankObj::Filter& first = obj._filters[0];
    EXPECT_EQ(first._bounds[0], 0);
    EXPECT_EQ(first._bounds[1], 2);
    EXPECT_GT(first._data[0], 0.0f);
    EXPECT_GT(first._data[1], 0.0f);
    EXPECT_NEAR(WeightSum(first), 1.0, 1e-5);
    ExpectBoundsInsideBins(obj);
}

TEST(FilterBankTest, NarrowFiltersShiftedOffEitherEdgeKeepTheirWholeWeight)
{
    // Half-bin spacing makes every filter narrow; the first range pushes
    // filters across bin 0, the second across the last bin.
    const int bins = 128, filters = 256;
    const float ranges[2][2] = {{-3000.0f, 22050.0f}, {500.0f, 22050.0f}};
    for (const auto& range : ranges) {
        FilterBank bank(Scale::LINEAR);
        const FilterBank::FilterBankObj& obj = BuildBank(&bank, bins, 44100.0, range[0], range[1], filters);
        ExpectBoundsInsideBins(obj);
        int shifted = 0;
        for (const FilterBank::FilterBankObj::Filter& filter : obj._filters) {
            if (filter._bounds[0] == -1)
                continue;
            EXPECT_NEAR(WeightSum(filter), 1.0, 1e-4);
            if (filter._bounds[0] == 0 || filter._bounds[1] == bins - 1)
                shifted++;
        }
        EXPECT_GT(shifted, 1) << range[0];
    }
}

TEST(FilterBankTest, PureToneLandsInTheFilterNearestItsMelPosition)
{
    FilterBank bank(Scale::MEL);
    const double melLo = Scale::HzToMel(VIEW_LO);
    const double melHi = Scale::HzToMel(VIEW_HI);
    for (double hz : {3000.0, 5000.0, 8000.0, 12345.0, 16000.0, 19000.0}) {
        std::vector<float> column(VIEW_BINS, 0.0f);
        const int bin = static_cast<int>(HzToBinPos(hz, VIEW_BINS, VIEW_LO, VIEW_HI));
        column[bin] = 1.0f;
        bank.HzToTargetScale(&column, VIEW_RATE, VIEW_LO, VIEW_HI, VIEW_BINS);

        const int loudest = static_cast<int>(std::max_element(column.begin(), column.end()) - column.begin());
        // Filter m peaks at mel fraction (m + 1) / (filters + 1).
        const double melFraction = (Scale::HzToMel(hz) - melLo) / (melHi - melLo);
        const int expected = static_cast<int>(std::lround(melFraction * (VIEW_BINS + 1))) - 1;
        EXPECT_LE(std::abs(loudest - expected), 1) << hz << " Hz";
    }
    // Where filters are wider than 2 bins, a tone under a filter's peak goes to that filter.
    for (int m : {850, 900, 950, 1000}) {
        std::vector<float> column(VIEW_BINS, 0.0f);
        column[static_cast<int>(MelEdgePos(m + 1, VIEW_BINS, VIEW_BINS, VIEW_LO, VIEW_HI))] = 1.0f;
        bank.HzToTargetScale(&column, VIEW_RATE, VIEW_LO, VIEW_HI, VIEW_BINS);
        EXPECT_EQ(std::max_element(column.begin(), column.end()) - column.begin(), m);
    }
}

TEST(FilterBankTest, FlatSpectrumKeepsItsLevel)
{
    FilterBank bank(Scale::MEL);
    std::vector<float> column(VIEW_BINS, 0.25f);
    bank.HzToTargetScale(&column, VIEW_RATE, VIEW_LO, VIEW_HI, VIEW_BINS);
    for (int m = 0; m < 1000; m++)
        EXPECT_NEAR(column[m], 0.25f, 1e-4) << "filter " << m;
}

TEST(FilterBankTest, FiltersBelowTheFirstBinWriteNothingBeforeIt)
{
    // A negative low frequency puts the first linear filters left of bin 0;
    // 32 filters over 128 bins are 8 bins wide, too wide to be shifted.
    const int bins = 128, filters = 32;
    const float lo = -3000.0f, hi = 22050.0f;
    FilterBank bank(Scale::LINEAR);
    const FilterBank::FilterBankObj& obj = BuildBank(&bank, bins, 44100.0, lo, hi, filters);
    ExpectBoundsInsideBins(obj);

    int empty = 0, straddling = 0;
    for (int m = 0; m < filters; m++) {
        const double eLo = LinearEdgePos(m, bins, filters, lo, hi);
        const double eMid = LinearEdgePos(m + 1, bins, filters, lo, hi);
        const double eHi = LinearEdgePos(m + 2, bins, filters, lo, hi);
        if (eHi <= 0.0) {
            EXPECT_EQ(obj._filters[m]._bounds[0], -1);
            empty++;
        } else if (eLo < 0.0) {
            // Only the part over bin 0 onward is kept.
            const double inside = IntegrateTriangle(eLo, eMid, eHi, 0.0, eHi) / (0.5 * (eHi - eLo));
            EXPECT_NEAR(WeightSum(obj._filters[m]), inside, 1e-3);
            straddling++;
        }
    }
    EXPECT_GE(empty, 5);
    EXPECT_GE(straddling, 1);

    std::vector<float> ones(bins, 1.0f);
    bank.HzToTargetScale(&ones, 44100.0, lo, hi, filters);
    EXPECT_EQ(ones[0], 0.0f);
    EXPECT_NEAR(ones[filters / 2], 1.0f, 1e-4);

    // Filters narrow enough to be widened are not dragged in over bin 0
    // when they lie wholly left of it.
    const FilterBank::FilterBankObj& fine = BuildBank(&bank, bins, 44100.0, lo, hi, bins);
    ExpectBoundsInsideBins(fine);
    for (int m = 0; m < bins; m++) {
        if (LinearEdgePos(m + 2, bins, bins, lo, hi) < -0.01) {
            EXPECT_EQ(fine._filters[m]._bounds[0], -1) << "filter " << m;
        }
    }
}

TEST(FilterBankTest, FiltersPastTheLastBinWriteNothingAfterIt)
{
    // Every edge lies beyond the 100 bins.
    FilterBank bank(Scale::LINEAR);
    const FilterBank::FilterBankObj& obj = BuildBank(&bank, 100, 44100.0, 10000.0f, 20000.0f, 100);
    ASSERT_GT(LinearEdgePos(0, 100, 100, 10000.0, 20000.0), 100.0);
    ExpectBoundsInsideBins(obj);
    std::vector<float> ones(100, 1.0f);
    bank.HzToTargetScale(&ones, 44100.0, 10000.0f, 20000.0f, 100);
    for (float v : ones)
        EXPECT_EQ(v, 0.0f);
}

TEST(FilterBankTest, ScaleValuesRoundTripOnEveryScale)
{
    for (Scale::Type type : {Scale::LINEAR, Scale::LOG, Scale::MEL}) {
        FilterBank bank(type);
        for (double hz : {50.0, 440.0, 1000.0, 9000.0}) {
            const double t = bank.ScaleValue(hz, 20.0, 20000.0);
            EXPECT_GT(t, 0.0);
            EXPECT_LT(t, 1.0);
            EXPECT_NEAR(bank.ScaleValueInv(t, 20.0, 20000.0), hz, 1e-3 * hz) << type;
        }
    }
    // On the log scale each decade takes the same share.
    FilterBank log(Scale::LOG);
    EXPECT_NEAR(log.ScaleValue(200.0, 20.0, 20000.0), 1.0 / 3.0, 1e-12);
    FilterBank mel(Scale::MEL);
    EXPECT_NEAR(mel.ScaleValue(1000.0, 0.0, 2000.0), Scale::HzToMel(1000.0) / Scale::HzToMel(2000.0), 1e-6);
}
