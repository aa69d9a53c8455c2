#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/UISoundRect.h"

class App;
class SoundRect;
class Spectrogram;
class WaveformEnvelope;

// The pictures a sound rect shows inside its edges (its waveform, spectrogram
// and chromagram), made once from the sound and its analysis and drawn on the
// toolkit thread; the loader's workers may make them before the rect is shown.
class UISoundRectPictures {
public:
    // owner is the rect whose edges, orientation and display settings the
    // pictures follow; rect is the sound they show.
    UISoundRectPictures(const UISoundRect* owner, SoundRect* rect, App* app);
    virtual ~UISoundRectPictures();
    UISoundRectPictures(const UISoundRectPictures&) = delete;
    UISoundRectPictures& operator=(const UISoundRectPictures&) = delete;

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
    // The grey and alpha bytes of every level of image, shaped by the rect's range and contrast.
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

    // The range or contrast changed: both images are rebuilt, one per frame
    // across all rects.
    void MarkImagesStale();
    // Draws the picture of the view type, bringing its texture up to date first.
    void Draw(UISoundRect::RectType type);
    // The waveform of the samples the envelope summarises, across the whole rect.
    void DrawWaveform();
    WaveformEnvelope* GetEnvelope() const { return _envelope; }

    static void DeleteTexture(int* texId);
    // The texture coordinates of the four corners in an orientation, in the
    // order UISoundRect::EmitCorners gives them: s across the bins, t along time (0 ... 1).
    static const double (*CornerTexCoords(UISoundRect::Orientation orientation))[2];

private:
    // Colours the band's columns (RGBA per vertex) after their height.
    void ShadeColumns(const double color[4]);
    WaveGeometry MeasureWaveGeometry() const;
    // Rows an image texture keeps: the screen never shows more of a rect.
    size_t MaxImageRows() const;
    void UpdateTextures();
    // A new texture name holding image, or -1 when it is empty.
    int CreateImageTexture(const ImageLevels& image);
    // Uploads texels (bins x rows grey and alpha bytes) and the smaller
    // images down to one texel, each the box average of the one above.
    static void UploadWithMipmaps(std::vector<unsigned char>* texels, int width, int height);
    void DrawTexture(int texId) const;

    const UISoundRect* _owner;
    SoundRect* _rect;
    App* _app;
    bool _waveformPrepared;
    bool _imagesPrepared;
    // Which of the two images are still to rebuild: one texture is built
    // per frame across all rects, so that no frame waits for many.
    bool _spectroTexStale;
    bool _chromaTexStale;
    // GL texture names of the two images, -1 when none exists.
    int _spectroTexId;
    int _chromaTexId;
    WaveformEnvelope* _envelope;
    // The images of channel 0, pooled once; the textures are made from them.
    ImageLevels _spectroImage;
    ImageLevels _chromaImage;
    // Reused from frame to frame: the waveform's vertices and column spans.
    std::vector<float> _waveVertices;
    std::vector<float> _waveColors;
    std::vector<float> _columnLows;
    std::vector<float> _columnHighs;
};
