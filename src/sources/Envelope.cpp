#include "sources/Envelope.h"

#include <algorithm>
#include <cmath>

#include "session/Serializer.h"

namespace {
const double PI = 3.141592653589793;
// Entries per 1/e of decay, whatever the table size.
const float DECAY_TIME_CONSTANT = 512.0f;
}  // namespace

Envelope::Envelope(unsigned long size)
    : _envSize((int)size), _hanningEnv(size), _triEnv(size), _expDecEnv(size), _rexpDecEnv(size), _sincEnv(size),
      _handDrawnEnv(size)
{
    GenerateEnvelopes();
}

const std::vector<float>& Envelope::GetEnvelope(int type) const
{
    return *const_cast<Envelope*>(this)->Table(type);
}

void Envelope::SetEnvelope(int type, const std::vector<float>& values)
{
    std::vector<float>* table = Table(type);
    std::copy_n(values.begin(), std::min(values.size(), table->size()), table->begin());
}

void Envelope::Serialize(Serializer* serializer) const
{
    serializer->PutInt(int(_handDrawnEnv.size()));
    for (float point : _handDrawnEnv)
        serializer->PutDouble(point);
}

void Envelope::UnSerialize(Serializer* serializer)
{
    int count = 0;
    if (!serializer->GetInt(&count))
        return;
    for (int i = 0; i < count; i++) {
        double point = 0.0;
        if (!serializer->GetDouble(&point))
            return;
        if (size_t(i) < _handDrawnEnv.size() && std::isfinite(point))
            _handDrawnEnv[i] = float(std::clamp(point, 0.0, 1.0));
    }
}

std::vector<float>* Envelope::Table(int type)
{
    switch (type) {
    case TRIANGLE:
        return &_triEnv;
    case EXPDEC:
        return &_expDecEnv;
    case REXPDEC:
        return &_rexpDecEnv;
    case SINC:
        return &_sincEnv;
    case HAND_DRAWN:
        return &_handDrawnEnv;
    default:
        return &_hanningEnv;
    }
}

void Envelope::GenerateEnvelopes()
{
    std::fill(_handDrawnEnv.begin(), _handDrawnEnv.end(), 1.0f);
    Hanning(&_hanningEnv);
    Triangle(&_triEnv);
    Sinc(&_sincEnv, 8);
    Expdec(&_expDecEnv, &_rexpDecEnv);
}

// Periodic Hann window: it starts at 0, peaks at the middle entry and stops
// one step short of returning to 0, so consecutive grains would tile evenly.
void Envelope::Hanning(std::vector<float>* env)
{
    float inc = (float)(2.0 * PI / (float)env->size());
    float phase = 0.0f;
    for (float& x : *env) {
        x = (float)((1.0 - std::cos(phase)) * 0.5);
        phase += inc;
    }
}

// Symmetric triangle whose two ends are exactly 0; with an even size the peak
// falls between the two middle entries.
void Envelope::Triangle(std::vector<float>* env)
{
    float a = (float)env->size() - 1.0f;
    float k = (float)(2.0 / a);
    float c = 1.0f / k;
    for (size_t i = 0; i < env->size(); i++)
        (*env)[i] = (c - std::fabs((float)i - c)) * k;
}

// |sin(pi x) / (pi x)| over x in [-zeroCrossings / 2, zeroCrossings / 2): the
// main lobe in the middle, side lobes that touch 0 at every whole x.
void Envelope::Sinc(std::vector<float>* env, int zeroCrossings)
{
    float inc = (float)zeroCrossings / (float)env->size();
    float x = -(float)zeroCrossings / 2.0f;
    for (float& value : *env) {
        double px = PI * x;
        value = x == 0.0f ? 1.0f : (float)std::fabs(std::sin(px) / px);
        x += inc;
    }
}

// A sharp attack decaying exponentially, and its mirror image, a swell that
// ends abruptly.
void Envelope::Expdec(std::vector<float>* decaying, std::vector<float>* rising)
{
    size_t n = decaying->size();
    for (size_t i = 0; i < n; i++) {
        float value = std::exp(-(float)i * (1.0f / DECAY_TIME_CONSTANT));
        (*decaying)[i] = value;
        (*rising)[n - 1 - i] = value;
    }
}
