#include "midi/MidiChannels.h"

#include <algorithm>
#include <iterator>

MidiChannels::MidiChannels() : _bendRange(DEFAULT_BEND_RANGE)
{
    std::fill(std::begin(_wheel), std::end(_wheel), 0.0);
    std::fill(std::begin(_pedalDown), std::end(_pedalDown), false);
}

void MidiChannels::SetBendRange(int semitones)
{
    _bendRange = std::clamp(semitones, MIN_BEND_RANGE, MAX_BEND_RANGE);
}

void MidiChannels::SetWheel(int channel, double wheel)
{
    if (IsChannel(channel))
        _wheel[channel] = std::clamp(wheel, -1.0, 1.0);
}

double MidiChannels::GetBendSemitones(int channel) const
{
    return IsChannel(channel) ? _bendRange * _wheel[channel] : 0.0;
}

void MidiChannels::SetPedalDown(int channel, bool down)
{
    if (IsChannel(channel))
        _pedalDown[channel] = down;
}

bool MidiChannels::IsPedalDown(int channel) const
{
    return IsChannel(channel) && _pedalDown[channel];
}

void MidiChannels::ResetControllers(int channel)
{
    if (!IsChannel(channel))
        return;
    _wheel[channel] = 0.0;
    _pedalDown[channel] = false;
}
