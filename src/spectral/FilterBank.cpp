#include "spectral/FilterBank.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {
// Triangles narrower than this many bins are widened to it.
const float MIN_TRIANGLE_WIDTH = 2.0f;
}  // namespace

FilterBank::FilterBankObj::FilterBankObj()
    : _sampleRate(44100.0), _freqLo(20.0f), _freqHi(22050.0f), _dataSize(0), _numFilters(0)
{
}

bool FilterBank::FilterBankObj::Matches(int dataSize, double sampleRate, float freqLo, float freqHi,
                                        int numFilters) const
{
    return dataSize == _dataSize && sampleRate == _sampleRate && freqLo == _freqLo && freqHi == _freqHi &&
           numFilters == _numFilters;
}

FilterBank::FilterBank(Scale::Type targetScaleType) : _targetScaleType(targetScaleType), _numBuilds(0)
{
}

void FilterBank::HzToTargetScale(std::vector<float>* data, double sampleRate, float freqLo, float freqHi,
                                 int numFilters)
{
    const int dataSize = static_cast<int>(data->size());
    numFilters = std::max(0, numFilters);
    // The first request always builds: a fresh bank has no bins and no filters.
    if (!_hzToTargetFilterBank.Matches(dataSize, sampleRate, freqLo, freqHi, numFilters))
        CreateFilterBankHzToTarget(&_hzToTargetFilterBank, dataSize, sampleRate, freqLo, freqHi, numFilters);
    _tmpBuf2.assign(data->begin(), data->end());
    ApplyFilterBank(data, _tmpBuf2, _hzToTargetFilterBank);
}

double FilterBank::ScaleValue(double v, double lo, double hi) const
{
    switch (_targetScaleType) {
    case Scale::LOG:
        return (std::log(v) - std::log(lo)) / (std::log(hi) - std::log(lo));
    case Scale::MEL: {
        const float melV = static_cast<float>(Scale::HzToMel(v));
        const float melLo = static_cast<float>(Scale::HzToMel(lo));
        const float melHi = static_cast<float>(Scale::HzToMel(hi));
        return (melV - melLo) / (melHi - melLo);
    }
    case Scale::LINEAR:
    default:
        return (v - lo) / (hi - lo);
    }
}

double FilterBank::ScaleValueInv(double t, double lo, double hi) const
{
    switch (_targetScaleType) {
    case Scale::LOG:
        return std::exp(std::log(lo) + t * (std::log(hi) - std::log(lo)));
    case Scale::MEL: {
        const double melLo = Scale::HzToMel(lo);
        const double melHi = Scale::HzToMel(hi);
        return Scale::MelToHz(melLo + t * (melHi - melLo));
    }
    case Scale::LINEAR:
    default:
        return lo + t * (hi - lo);
    }
}

void FilterBank::CreateFilterBankHzToTarget(FilterBankObj* bank, int dataSize, double sampleRate, float freqLo,
                                            float freqHi, int numFilters)
{
    bank->_sampleRate = sampleRate;
    bank->_freqLo = freqLo;
    bank->_freqHi = freqHi;
    bank->_dataSize = dataSize;
    bank->_numFilters = numFilters;
    bank->_filters.assign(numFilters, FilterBankObj::Filter(dataSize));

    // Edge points spaced evenly on the target scale; filter m rises from
    // edge m, peaks at edge m + 1 and falls to edge m + 2.
    const double targetLo = ScaleValue(freqLo, freqLo, freqHi);
    const double targetHi = ScaleValue(freqHi, freqLo, freqHi);
    const float binsPerHz = static_cast<float>(dataSize + 1) / (freqHi - freqLo);
    std::vector<float> edges(numFilters + 2);
    for (size_t k = 0; k < edges.size(); k++) {
        const double t = static_cast<double>(k) / (numFilters + 1);
        const double hz = ScaleValueInv(targetLo + t * (targetHi - targetLo), freqLo, freqHi);
        edges[k] = (static_cast<float>(hz) + freqLo) * binsPerHz;
    }

    for (int m = 0; m < numFilters; m++)
        BuildFilter(&bank->_filters[m], edges[m], edges[m + 1], edges[m + 2], dataSize);
    _numBuilds++;
}

void FilterBank::BuildFilter(FilterBankObj::Filter* filter, float lo, float mid, float hi, int dataSize)
{
    // A band wholly outside the bins has nothing to pass; widening must not
    // pull it in over the edge bins.
    if (!(hi > 0.0f && lo < static_cast<float>(dataSize)))
        return;
    FixSmallTriangles(&lo, &mid, &hi, dataSize);
    const double area = 0.5 * (hi - mid) + 0.5 * (mid - lo);

    // Only the part of the triangle over existing bins gets weights.
    const double first = std::max(0.0, std::floor(static_cast<double>(lo)));
    const double last = std::min(dataSize - 1.0, std::ceil(static_cast<double>(hi)));
    if (!(first <= last) || !(area > 0.0))
        return;
    filter->_bounds[0] = static_cast<int>(first);
    filter->_bounds[1] = static_cast<int>(last);

    for (int i = filter->_bounds[0]; i <= filter->_bounds[1]; i++) {
        const double a = std::max<double>(i, lo);
        const double b = std::min<double>(i + 1, hi);
        filter->_data[i] += static_cast<float>(ComputeTriangleAreaBetween(lo, mid, hi, a, b) / area);
    }
}

void FilterBank::FixSmallTriangles(float* lo, float* mid, float* hi, int dataSize)
{
    if (dataSize <= 1 || *hi - *lo >= MIN_TRIANGLE_WIDTH)
        return;
    const float grow = 0.5f * (MIN_TRIANGLE_WIDTH - (*hi - *lo));
    *lo -= grow;
    *hi += grow;
    // At the ends the whole triangle moves inside rather than being cut, so
    // it keeps its full width, its shape and its weight.
    const float top = static_cast<float>(dataSize - 1);
    float shift = 0.0f;
    if (*lo < 0.0f)
        shift = -*lo;
    else if (*hi > top)
        shift = top - *hi;
    *lo += shift;
    *mid += shift;
    *hi += shift;
}

double FilterBank::ComputeTriangleY(double lo, double mid, double hi, double x)
{
    if (x <= lo || x >= hi)
        return 0.0;
    if (x <= mid)
        return (x - lo) / (mid - lo);
    return 1.0 - (x - mid) / (hi - mid);
}

double FilterBank::ComputeTriangleAreaBetween(double lo, double mid, double hi, double a, double b)
{
    if (a > hi || lo > b)
        return 0.0;
    // The triangle is linear between its three corners; with a and b among
    // the sorted points, every piece inside [a, b] is an exact trapezoid.
    std::array<double, 5> xs = {lo, mid, hi, a, b};
    std::sort(xs.begin(), xs.end());
    double area = 0.0;
    for (size_t k = 0; k + 1 < xs.size(); k++) {
        const double x0 = xs[k];
        const double x1 = xs[k + 1];
        if (x0 < b && x1 > a)
            area += 0.5 * (ComputeTriangleY(lo, mid, hi, x0) + ComputeTriangleY(lo, mid, hi, x1)) * (x1 - x0);
    }
    return area;
}

void FilterBank::ApplyFilterBank(std::vector<float>* output, const std::vector<float>& input, const FilterBankObj& bank)
{
    output->assign(bank._numFilters, 0.0f);
    const int lastInputBin = static_cast<int>(input.size()) - 1;
    for (int m = 0; m < bank._numFilters; m++) {
        const FilterBankObj::Filter& filter = bank._filters[m];
        if (filter._bounds[0] < 0)
            continue;
        const int last = std::min(filter._bounds[1], lastInputBin);
        float sum = 0.0f;
        for (int i = filter._bounds[0]; i <= last; i++)
            sum += input[i] * filter._data[i];
        (*output)[m] = sum;
    }
}
