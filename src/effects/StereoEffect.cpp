#include "effects/StereoEffect.h"

#include "effects/StereoWidener.h"
#include "parameters/EffectParameters.h"
#include "spectral/DSP.h"

StereoEffect::StereoEffect() : _pan(0.0), _width(1.0), _widener(new StereoWidener())
{
    AddParameter(new ParameterEffectOn(ON_PARAM));
    AddParameter(new ParameterStereoEffectPan(PAN_PARAM));
    AddParameter(new ParameterStereoEffectWidth(WIDTH_PARAM));
}

StereoEffect::~StereoEffect()
{
    delete _widener;
}

double StereoEffect::WidthFactor(double widthPercent)
{
    double w = 1.0 + 0.01 * widthPercent;
    if (w <= 1.0)
        return w;
    // Past the middle, blend from w towards 2.5 w so the upper half of the
    // knob reaches really wide images.
    double t = w - 1.0;
    return w * t * 5.0 * 0.5 + (1.0 - t) * w;
}

void StereoEffect::UpdateParameters()
{
    SetPan(0.01 * _params[PAN_PARAM]->GetValue());
    SetWidth(WidthFactor(_params[WIDTH_PARAM]->GetValue()));
}

void StereoEffect::ProcessOn(std::vector<float>* buffer, int nFrames, int nChan)
{
    _widener->Process(buffer, nFrames, nChan, _width);
    DSP::Balance(buffer, nChan, _pan.GetStart(), _pan.GetTarget(), nFrames);
}
