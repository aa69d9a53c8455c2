#pragma once

class UIScreen;
class UIStyle;

// Geometry and drawing helpers shared by windows, canvases and widgets.
// Everything is placed in normalised window coordinates (x 0..1 from the
// left, y 0..1 from the top) and drawn in pixels with y up.
class UIWidget {
public:
    // Title line height, margin above and below contents, title baseline
    // drop and title left inset, all in screen heights so that text, which
    // keeps its pixel size, stays in place when the window is resized.
    static constexpr double TITLE_HEIGHT = 0.0434;
    static constexpr double CONTENTS_MARGIN = 0.015;
    static constexpr double TITLE_BASELINE = 0.03255;
    static constexpr double TITLE_INSET = 0.0086;

    // Pixel corners of a normalised rectangle: top-left, top-right,
    // bottom-right, bottom-left.
    static void ComputeCorners(double corners[4][2], const UIScreen* screen, double x, double y, double width,
                               double height);

    // Breathing factor for the alpha of every toolkit colour, driven by the
    // audio clock: a 4 s period between 0.6 and 1.0, still while no audio runs.
    static double GetAlphaPulse();
    // Sets the current colour with its alpha multiplied by the pulse.
    static void SetPulsedColor(const double color[4]);

    static void FillCorners(const double corners[4][2]);
    // The background of windows and parameter boxes: the style's window
    // colour over an opaque backing of the style's background, so that the
    // scene never shows through their text.
    static void FillWindowBackground(const UIStyle* style, const double corners[4][2]);
    static void OutlineCorners(const double corners[4][2]);
    // The mark of the selected object: a closed line through the points in
    // the style's selection colour over a wider dark shadow, which shows on
    // every background.
    static void OutlineSelection(const UIStyle* style, const double (*points)[2], int count);

    // Stroke text with its baseline starting at pixel (x, y), at the
    // stroke font scale given (TEXT_SCALE draws 10.476 pixels a character).
    static void DrawText(double x, double y, const char* text, double scale = TEXT_SCALE);
    // Drawn width in pixels of a stroke text. The font is monospaced, so the
    // width follows from the length alone.
    static double GetTextWidth(const char* text, double scale = TEXT_SCALE);
    // The largest scale, up to TEXT_SCALE, at which text fits in room pixels.
    static double FitScale(const char* text, double room);
    // Dims everything the toolkit draws after it by this factor on alpha (1
    // restores full strength): the panel of an effect that is off.
    static void SetDimming(double factor);

    static constexpr double TEXT_SCALE = 0.1;
    // Advance of one character of the stroke font, in font units.
    static constexpr double CHAR_ADVANCE = 104.76;
};
