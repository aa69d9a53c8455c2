#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "parameters/ParameterProvider.h"

class App;
class Parameter;
class Serializer;
class SoundRect;
class Spectrogram;
class UIScreen;
class UIStyle;
class WaveformEnvelope;

// The on-screen body of a sound rect: a rectangle on the scene (x in window
// widths, y in window heights, y up) that shows one sound and tells sources
// where a scene point falls inside that sound. It owns the rect's display
// parameters, which the pie menu edits like those of a source.
class UISoundRect : public ParameterProvider {
public:
    enum RectType { WAVEFORM = 0, SPECTROGRAM = 1, CHROMAGRAM = 2 };
    enum Orientation { HORIZONTAL = 0, VERTICAL = 1 };
    enum ParamIndex { NO_PARAMETER = -1, TYPE = 0, RANGE = 1, CONTRAST = 2, ORIENTATION = 3, NUM_PARAMS = 4 };

    UISoundRect(SoundRect* rect, App* app, UIStyle* style, UIScreen* screen);
    virtual ~UISoundRect();
    UISoundRect(const UISoundRect&) = delete;
    UISoundRect& operator=(const UISoundRect&) = delete;

    void SetName(const char* name);
    const char* GetName() const { return _name; }

    double GetX() const { return _x; }
    double GetY() const { return _y; }
    double GetWidth() const { return _width; }
    double GetHeight() const { return _height; }
    // Moves the rect by a step.
    void Move(double dx, double dy);
    // Moves the rect's centre to (x, y).
    void UpdateRectPosition(double x, double y);
    void SetDimensions(double width, double height);
    // Moves one corner by (dx, dy) scene units, the right or left one, the
    // top or bottom one; the opposite corner stays. An edge that would make
    // the rect smaller than its smallest size stays too.
    void DragCorner(bool right, bool top, double dx, double dy);
    void ToggleOrientation();
    bool Pick(double x, double y) const;
    bool GetSelectState() const { return _isSelected; }
    void SetSelectState(bool selected) { _isSelected = selected; }
    // The parameter boxes follow the new style too.
    void UpdateStyle(UIStyle* style);

    RectType GetRectType() const { return _rectType; }
    // The voices over the rect get the engines of the new view made for them.
    void SetRectType(RectType type);
    Orientation GetOrientation() const { return _orientation; }
    void SetOrientation(Orientation orientation) { _orientation = orientation; }
    double GetColorRange() const { return _colorRange; }
    // Values within 1e-15 of the current one keep the images as they are.
    void SetColorRange(double range);
    double GetColorContrast() const { return _colorContrast; }
    void SetColorContrast(double contrast);

    Parameter* GetCurrentParameter() override;
    // Null for NO_PARAMETER and any other index outside the array.
    Parameter* GetParameter(int idx) override;
    int GetNumParams() override { return NUM_PARAMS; }
    double GetUIX() override { return _x; }
    double GetUIY() override { return _y; }
    double GetUIRadius() override { return 0.5 * _height; }
    // (x, y) in window pixels (y up); the first parameter box hit becomes current.
    bool PickParameters(double x, double y);
    void ResetCurrentParameterIndex() { _currentParamIdx = NO_PARAMETER; }

    // Writes the position along the time axis to posX[idx] and across it to
    // posY[idx], both normalised; false (nothing written) when (x, y) is not inside.
    virtual bool GetNormedPosition(double* posX, double* posY, double x, double y, unsigned idx) const;

    virtual void Draw();

    // Geometry, selection, orientation, parameters and display settings.
    void Serialize(Serializer* serializer);
    // Every value is held to what the matching setter accepts; derived
    // geometry (edges, smallest size) and the pulse are the view's own.
    void UnSerialize(Serializer* serializer);

    // An image's display levels as its texture keeps them: bins levels per
    // row, one row per analysis column, or per run of columns for a long sound.
    struct ImageLevels {
        std::vector<uint8_t> levels;
        int bins = 0;
        int rows = 0;
    };
    // Pools the columns of spectro's image into at most maxRows rows, each
    // the loudest of the columns it covers, so that transients stay; an
    // image that does not exist gives an empty one.
    static void PoolImageRows(const Spectrogram* spectro, size_t maxRows, ImageLevels* image);
    // The grey and alpha bytes of every level of image, shaped by range and contrast.
    void BuildTexels(const ImageLevels& image, std::vector<unsigned char>* texels) const;

    // Where the rect lies in window pixels: along the time axis, the first
    // and last sample, and the window's extent; across it, the centre line
    // and the distance of a full-scale sample from it.
    struct WaveGeometry {
        double timeStart, timeEnd;
        double windowEnd;
        double centre, fullScale;
        bool horizontal;
    };
    // The waveform for the part of the rect inside the window, in window
    // pixels (x, y pairs): at two samples or more per pixel, one column per
    // pixel from the lowest to the highest sample it covers, given as the
    // bottom and top of a band (*band true); closer up, the line through the
    // samples it shows (*band false). Empty when nothing is visible.
    void BuildWaveVertices(const WaveGeometry& geometry, std::vector<float>* vertices, bool* band);

    // Builds what the pictures need from the sound and its analysis, once;
    // the loader calls these beside the analysis so that the first frame of
    // the canvas finds them ready. The images are those of channel 0.
    void PrepareWaveform();
    void PrepareImages(const Spectrogram* spectro, const Spectrogram* chroma);
    int GetSpectroTexId() const { return _spectroTexId; }
    int GetChromaTexId() const { return _chromaTexId; }

protected:
    void InitParameters();
    void UpdateEdges();
    void DrawRectangle();
    void DrawSelectionFrame() const;
    void DrawWaveform();
    // Colours the band's columns (RGBA per vertex) after their height.
    void ShadeColumns(const double color[4]);
    WaveGeometry MeasureWaveGeometry() const;
    // Rows an image texture keeps: the screen never shows more of a rect.
    size_t MaxImageRows() const;
    void DrawName();
    void UpdateTextures();
    // A new texture name holding image, or -1 when it is empty.
    int CreateImageTexture(const ImageLevels& image);
    // Uploads texels (bins x rows grey and alpha bytes) and the smaller
    // images down to one texel, each the box average of the one above.
    static void UploadWithMipmaps(std::vector<unsigned char>* texels, int width, int height);
    static void DeleteTexture(int* texId);
    void DrawTexture(int texId) const;
    // Emits the four corners in pixels, clockwise from top left; closeLoop
    // repeats the first to close an outline. With texCoords, each corner
    // gets its texture coordinate first.
    void EmitCorners(double width, double height, bool closeLoop, const double (*texCoords)[2] = nullptr) const;
    // The texture coordinates of the four corners in an orientation, in the
    // order EmitCorners gives them: s across the bins, t along time (0 ... 1).
    static const double (*CornerTexCoords(Orientation orientation))[2];

    SoundRect* _rect;
    double _width, _height;
    double _top, _bot, _left, _right;
    double _x, _y, _z;
    bool _isSelected;
    double _minDim;
    double _startTime;
    Orientation _orientation;
    App* _app;
    UIStyle* _style;
    UIScreen* _screen;
    char _name[255];
    RectType _rectType;
    // The display settings in force; the range and contrast parameters read them back.
    double _colorRange;
    double _colorContrast;
    bool _waveformPrepared;
    bool _imagesPrepared;
    // Set when range or contrast change: the spectrogram and chromagram images need rebuilding.
    bool _needUpdateTextures;
    // Which of the two images are still to rebuild: one texture is built
    // per frame across all rects, so that no frame waits for many.
    bool _spectroTexStale;
    bool _chromaTexStale;
    // GL texture names of the two images, -1 when none exists.
    int _spectroTexId;
    int _chromaTexId;
    Parameter* _params[NUM_PARAMS];
    ParamIndex _currentParamIdx;
    WaveformEnvelope* _envelope;
    // The images of channel 0, pooled once; the textures are made from them.
    ImageLevels _spectroImage;
    ImageLevels _chromaImage;
    // Reused from frame to frame: the waveform's vertices and column spans.
    std::vector<float> _waveVertices;
    std::vector<float> _waveColors;
    std::vector<float> _columnLows;
    std::vector<float> _columnHighs;
    double _pulseTimeOffset;
};
