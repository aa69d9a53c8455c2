#pragma once

#include <vector>

// Smooths a profile with a normalised Hann-weighted moving average; near the
// edges only the weights that fall inside the data count.
class SmoothSpace {
public:
    SmoothSpace();
    virtual ~SmoothSpace() {}

    void Smooth(std::vector<float>* data, int winSize);
    // Symmetric Hann window of the given size into _win.
    void MakeWindow(int size);

private:
    // The sum of the weights that reach each point, which depends only on
    // the window and the data size: worked out when either changes.
    void MakeWeightSums(int size);

    std::vector<float> _win;
    std::vector<float> _tmpBuf;
    std::vector<double> _sumCoeff;
    std::vector<double> _sumVal;
};
