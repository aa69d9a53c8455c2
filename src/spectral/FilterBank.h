#pragma once

#include <vector>

#include "spectral/Scale.h"

// Resamples one column of linearly spaced magnitude bins onto another
// frequency scale (linear, logarithmic or mel) through a bank of triangular
// filters. Each filter's weight on a bin is the exact area of its triangle
// over that bin divided by the triangle's whole area, so a filter passes the
// mean level of the bins it covers and the image keeps its brightness.
//
// Building the bank costs numFilters x dataSize weights, so it is cached and
// rebuilt only when the shape of the request changes.
class FilterBank {
public:
    class FilterBankObj {
    public:
        class Filter {
        public:
            explicit Filter(int dataSize) : _data(dataSize, 0.0f), _bounds{-1, -1} {}
            virtual ~Filter() {}

            // One weight per input bin.
            std::vector<float> _data;
            // First and last input bin with a weight; -1, -1 for a filter that
            // covers no bin at all.
            int _bounds[2];
        };

        FilterBankObj();
        virtual ~FilterBankObj() {}
        bool Matches(int dataSize, double sampleRate, float freqLo, float freqHi, int numFilters) const;

        double _sampleRate;
        float _freqLo;
        float _freqHi;
        int _dataSize;
        int _numFilters;
        std::vector<Filter> _filters;
    };

    explicit FilterBank(Scale::Type targetScaleType);
    virtual ~FilterBank() {}

    // Replaces the bins in data by numFilters values spaced evenly on the
    // target scale between freqLo and freqHi.
    void HzToTargetScale(std::vector<float>* data, double sampleRate, float freqLo, float freqHi, int numFilters);

    const FilterBankObj& GetHzToTargetFilterBank() const { return _hzToTargetFilterBank; }
    // How many times the bank has been (re)built.
    int GetNumBuilds() const { return _numBuilds; }

    // Position of v between lo and hi on the target scale, 0 at lo and 1 at hi.
    double ScaleValue(double v, double lo, double hi) const;
    double ScaleValueInv(double t, double lo, double hi) const;

    // Exact area under the triangle (lo, 0) - (mid, 1) - (hi, 0) between a and b.
    static double ComputeTriangleAreaBetween(double lo, double mid, double hi, double a, double b);
    static double ComputeTriangleY(double lo, double mid, double hi, double x);
    // A triangle narrower than 2 bins falls between bin centres and would
    // drop out of the image: widen it to 2 bins, keeping it inside 0 .. dataSize - 1.
    static void FixSmallTriangles(float* lo, float* mid, float* hi, int dataSize);

private:
    void CreateFilterBankHzToTarget(FilterBankObj* bank, int dataSize, double sampleRate, float freqLo, float freqHi,
                                    int numFilters);
    static void BuildFilter(FilterBankObj::Filter* filter, float lo, float mid, float hi, int dataSize);
    static void ApplyFilterBank(std::vector<float>* output, const std::vector<float>& input, const FilterBankObj& bank);

    FilterBankObj _hzToTargetFilterBank;
    Scale::Type _targetScaleType;
    // Copy of the input column, so the result can be written in place.
    std::vector<float> _tmpBuf2;
    int _numBuilds;
};
