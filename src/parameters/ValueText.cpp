#include "parameters/ValueText.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "sound/EngineRate.h"

namespace {

// Decimals that keep about four significant digits, never more than three.
int DecimalsFor(double value)
{
    const double magnitude = std::fabs(value);
    if (magnitude < 10.0)
        return 3;
    if (magnitude < 100.0)
        return 2;
    if (magnitude < 1000.0)
        return 1;
    return 0;
}

// "2.500" -> "2.5", "3.000" -> "3", "-0" -> "0".
void TrimZeros(char* text)
{
    if (strchr(text, '.') != nullptr && strchr(text, 'e') == nullptr) {
        char* end = text + strlen(text) - 1;
        while (*end == '0')
            *end-- = '\0';
        if (*end == '.')
            *end = '\0';
    }
    if (strcmp(text, "-0") == 0)
        strcpy(text, "0");
}

// Room for any number Number writes.
const size_t NUMBER_SIZE = 32;

void NumberWithUnit(char* text, size_t size, double value, const char* prefix, const char* unit)
{
    char number[NUMBER_SIZE];
    ValueText::Number(number, sizeof(number), value);
    snprintf(text, size, "%s%s%s", prefix, number, unit);
}
}  // namespace

void ValueText::Number(char* text, size_t size, double value)
{
    char number[NUMBER_SIZE];
    // No parameter reaches a thousand billion; beyond, the exponent form keeps the text short.
    if (std::fabs(value) < 1e12)
        snprintf(number, sizeof(number), "%.*f", DecimalsFor(value), value);
    else
        snprintf(number, sizeof(number), "%.4g", value);
    TrimZeros(number);
    snprintf(text, size, "%s", number);
}

void ValueText::Integer(char* text, size_t size, double value)
{
    snprintf(text, size, "%d", static_cast<int>(value));
}

void ValueText::Milliseconds(char* text, size_t size, double value)
{
    NumberWithUnit(text, size, value, "", " ms");
}

void ValueText::Seconds(char* text, size_t size, double value)
{
    NumberWithUnit(text, size, value, "", " s");
}

void ValueText::Percent(char* text, size_t size, double value)
{
    NumberWithUnit(text, size, value, "", " %");
}

void ValueText::Decibels(char* text, size_t size, double value)
{
    NumberWithUnit(text, size, value, "", " dB");
}

void ValueText::Hertz(char* text, size_t size, double value)
{
    NumberWithUnit(text, size, value, "", " Hz");
}

void ValueText::Ratio(char* text, size_t size, double value)
{
    NumberWithUnit(text, size, value, "x", "");
}

void ValueText::RatioSwing(char* text, size_t size, double value)
{
    NumberWithUnit(text, size, value, "+/-", "");
}

void ValueText::PitchRatio(char* text, size_t size, double value)
{
    char ratio[NUMBER_SIZE + 1];
    Ratio(ratio, sizeof(ratio), value);
    if (value <= 0.0) {
        snprintf(text, size, "%s", ratio);
        return;
    }
    // Twelve equal semitones to the octave, an octave being a doubled rate.
    const double semitones = 12.0 * std::log2(value);
    char interval[NUMBER_SIZE];
    snprintf(interval, sizeof(interval), "%+.1f", semitones);
    TrimZeros(interval);
    if (strcmp(interval, "+0") == 0 || strcmp(interval, "-0") == 0)
        strcpy(interval, "0");
    snprintf(text, size, "%s (%s st)", ratio, interval);
}

void ValueText::FractionAsPercent(char* text, size_t size, double value)
{
    Percent(text, size, 100.0 * value);
}

void ValueText::SamplesAsMilliseconds(char* text, size_t size, double value)
{
    Milliseconds(text, size, 1000.0 * std::trunc(value) / EngineRate::REFERENCE_RATE);
}
