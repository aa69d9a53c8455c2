#include "spectral/Algos.h"

#include <cmath>

void Algos::LinearResample(const std::vector<float>& in, std::vector<float>* out)
{
    if (in.empty() || out->empty())
        return;
    const size_t last = in.size() - 1;
    const double step = (double)in.size() / (double)out->size();
    double x = 0.0;
    for (float& y : *out) {
        size_t k = (size_t)std::floor(x);
        if (k < last) {
            double t = x - (double)k;
            y = (float)((1.0 - t) * in[k] + t * in[k + 1]);
        } else {
            // Past the last input sample there is nothing to interpolate towards.
            y = in[last];
        }
        x += step;
    }
    out->back() = in[last];
}
