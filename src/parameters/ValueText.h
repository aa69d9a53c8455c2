#pragma once

#include <cstddef>

// How a value reads on screen: a number with at most three decimals, fewer as
// it grows (about four significant digits, trailing zeros dropped), followed
// by its unit. Each formatter writes the text of one value into text.
namespace ValueText {

using Formatter = void (*)(char* text, size_t size, double value);

// The number alone, as described above.
void Number(char* text, size_t size, double value);
// Truncated toward zero: voice counts, orders.
void Integer(char* text, size_t size, double value);
void Milliseconds(char* text, size_t size, double value);
void Seconds(char* text, size_t size, double value);
void Percent(char* text, size_t size, double value);
void Decibels(char* text, size_t size, double value);
void Hertz(char* text, size_t size, double value);
// A factor, "x1.5".
void Ratio(char* text, size_t size, double value);
// A swing added to a ratio, "+/-0.25".
void RatioSwing(char* text, size_t size, double value);
// A playback-rate ratio with the interval it sounds: "x2 (+12 st)".
void PitchRatio(char* text, size_t size, double value);
// A 0..1 fraction shown as percent: 0.2 reads "20 %".
void FractionAsPercent(char* text, size_t size, double value);
// A whole count of frames (truncated) at the reference rate, in which the
// scene keeps such durations at every engine rate, shown as the time it lasts.
void SamplesAsMilliseconds(char* text, size_t size, double value);

}  // namespace ValueText
