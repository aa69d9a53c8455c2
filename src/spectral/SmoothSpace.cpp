#include "spectral/SmoothSpace.h"

#include <algorithm>
#include <cmath>

SmoothSpace::SmoothSpace()
{
}

void SmoothSpace::Smooth(std::vector<float>* data, int winSize)
{
    if (winSize <= 0)
        return;
    int size = (int)data->size();
    if ((int)_win.size() != winSize) {
        MakeWindow(winSize);
        _sumCoeff.clear();
    }
    if ((int)_sumCoeff.size() != size)
        MakeWeightSums(size);
    _tmpBuf = *data;
    _sumVal.assign(size, 0.0);
    // Tap by tap over all points, so that the inner loop has no edge test;
    // each point still sums its taps in window order. Only the taps that
    // fall inside the data count, which renormalises the edges.
    int half = winSize / 2;
    for (int j = 0; j < winSize; j++) {
        float w = _win[j];
        int first = std::max(half - j, 0);
        int end = std::min(size + half - j, size);
        const float* in = _tmpBuf.data() + j - half;
        for (int i = first; i < end; i++)
            _sumVal[i] += in[i] * w;
    }
    for (int i = 0; i < size; i++)
        (*data)[i] = (float)(_sumCoeff[i] > 1e-15 ? _sumVal[i] / _sumCoeff[i] : _sumVal[i]);
}

void SmoothSpace::MakeWeightSums(int size)
{
    int winSize = (int)_win.size();
    int half = winSize / 2;
    _sumCoeff.assign(size, 0.0);
    for (int j = 0; j < winSize; j++) {
        int first = std::max(half - j, 0);
        int end = std::min(size + half - j, size);
        for (int i = first; i < end; i++)
            _sumCoeff[i] += _win[j];
    }
}

void SmoothSpace::MakeWindow(int size)
{
    _win.resize(size);
    for (int i = 0; i < size; i++)
        _win[i] = size > 1 ? (float)(0.5 * (1.0 - std::cos(2.0 * M_PI * i / (size - 1)))) : 1.0f;
}
