#include "ui/UISoundRectPictures.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "app/App.h"
#include "app/CanvasView.h"
#include "sound/SoundRect.h"
#include "spectral/Scale.h"
#include "spectral/Spectrogram.h"
#include "spectral/WaveformEnvelope.h"
#include "ui/UIScreen.h"
#include "ui/UIStyle.h"

namespace {
// From this many samples per pixel on, the waveform is drawn as the span of
// each pixel's samples rather than as a line through them.
const double BAND_SAMPLES_PER_PIXEL = 2.0;
// A band is never thinner than a pixel, so that silence still shows as a line.
const double MIN_BAND_PIXELS = 1.0;
// The most strokes of the line a band column stands for: about as many as
// cross each pixel of a dense waveform.
const double BAND_MAX_STROKES = 4.0;

// Bright texels stay translucent so the rect's pulsing fill shows through.
const double BRIGHT_LEVEL = 0.7;
const unsigned char BRIGHT_ALPHA = 178;
// Grey and alpha: the texels are grey, and the texture keeps them so.
const int TEXEL_BYTES = 2;
// Rows of an image texture: the power of two that covers the screen's longer
// side, within these bounds, so that it stays quick to upload and small to keep.
const size_t MIN_TEXTURE_ROWS = 1024;
const size_t MAX_TEXTURE_ROWS = 4096;
// Texture coordinates of the corners, clockwise from top left: s runs
// across the bins, t along the analysis columns (time).
const double TEXTURE_COORDS[2][4][2] = {
    // Horizontal: time left to right, frequency upward.
    {{1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}, {0.0, 0.0}},
    // Vertical: time upward, frequency to the right.
    {{0.0, 1.0}, {1.0, 1.0}, {1.0, 0.0}, {0.0, 0.0}},
};

// Grey and alpha texel of one display level (its decibels normalised between
// -50 dB and full scale), scaled by range and shaped by the contrast curve.
void LevelToTexel(double level, double range, double contrast, unsigned char* texel)
{
    const double shaped = std::min(1.0, Scale::Sigmoid(range * level, contrast));
    const unsigned char grey = static_cast<unsigned char>(std::floor(255.0 * shaped));
    texel[0] = grey;
    texel[1] = shaped < BRIGHT_LEVEL ? grey : BRIGHT_ALPHA;
}

// Box average of in (width x height texels) into out, half the size each way
// (a side of one stays one); the last row or column of an odd side counts twice.
void HalveTexels(const std::vector<unsigned char>& in, int width, int height, std::vector<unsigned char>* out)
{
    const int w = std::max(1, width / 2), h = std::max(1, height / 2);
    out->resize(static_cast<size_t>(TEXEL_BYTES) * w * h);
    for (int y = 0; y < h; y++) {
        const unsigned char* row0 = in.data() + static_cast<size_t>(TEXEL_BYTES) * width * std::min(2 * y, height - 1);
        const unsigned char* row1 =
            in.data() + static_cast<size_t>(TEXEL_BYTES) * width * std::min(2 * y + 1, height - 1);
        unsigned char* dst = out->data() + static_cast<size_t>(TEXEL_BYTES) * w * y;
        for (int x = 0; x < w; x++) {
            const int x0 = TEXEL_BYTES * std::min(2 * x, width - 1);
            const int x1 = TEXEL_BYTES * std::min(2 * x + 1, width - 1);
            for (int b = 0; b < TEXEL_BYTES; b++)
                dst[TEXEL_BYTES * x + b] =
                    static_cast<unsigned char>((row0[x0 + b] + row0[x1 + b] + row1[x0 + b] + row1[x1 + b] + 2) / 4);
        }
    }
}
}  // namespace

UISoundRectPictures::UISoundRectPictures(const UISoundRect* owner, SoundRect* rect, App* app)
    : _owner(owner), _rect(rect), _app(app), _waveformPrepared(false), _imagesPrepared(false), _spectroTexStale(true),
      _chromaTexStale(true), _spectroTexId(-1), _chromaTexId(-1), _envelope(new WaveformEnvelope())
{
}

UISoundRectPictures::~UISoundRectPictures()
{
    delete _envelope;
}

void UISoundRectPictures::MarkImagesStale()
{
    _spectroTexStale = true;
    _chromaTexStale = true;
}

void UISoundRectPictures::Draw(UISoundRect::RectType type)
{
    PrepareWaveform();
    UpdateTextures();
    switch (type) {
    case UISoundRect::WAVEFORM:
        DrawWaveform();
        break;
    case UISoundRect::SPECTROGRAM:
        DrawTexture(_spectroTexId);
        break;
    case UISoundRect::CHROMAGRAM:
        DrawTexture(_chromaTexId);
        break;
    }
}

const double (*UISoundRectPictures::CornerTexCoords(UISoundRect::Orientation orientation))[2]
{
    return TEXTURE_COORDS[orientation];
}

void UISoundRectPictures::PrepareWaveform()
{
    if (_waveformPrepared)
        return;
    int nFrames = 0;
    int nChans = 0;
    const std::vector<float>* samples = _rect->GetSamples(&nFrames, &nChans);
    // Channel 0 is read in the sound itself, which lives as long as the rect.
    if (samples != nullptr)
        _envelope->SetChannel(*samples, nChans, 0);
    _waveformPrepared = true;
}

UISoundRectPictures::WaveGeometry UISoundRectPictures::MeasureWaveGeometry() const
{
    // The canvas is only ever shifted and scaled, so the model-view matrix
    // maps scene pixels to window pixels one axis at a time.
    double m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double width = _owner->GetScreen()->GetWidth();
    const double height = _owner->GetScreen()->GetHeight();
    const UISoundRect& r = *_owner;
    WaveGeometry g;
    g.horizontal = r.GetOrientation() == UISoundRect::HORIZONTAL;
    if (g.horizontal) {
        g.timeStart = m[0] * r.GetLeft() * width + m[12];
        g.timeEnd = m[0] * r.GetRight() * width + m[12];
        g.windowEnd = viewport[2];
        g.centre = m[5] * r.GetY() * height + m[13];
        g.fullScale = 0.5 * m[5] * r.GetHeight() * height;
    } else {
        g.timeStart = m[5] * r.GetBottom() * height + m[13];
        g.timeEnd = m[5] * r.GetTop() * height + m[13];
        g.windowEnd = viewport[3];
        g.centre = m[0] * r.GetX() * width + m[12];
        g.fullScale = 0.5 * m[0] * r.GetWidth() * width;
    }
    return g;
}

void UISoundRectPictures::BuildWaveVertices(const WaveGeometry& g, std::vector<float>* vertices, bool* band)
{
    vertices->clear();
    *band = false;
    const long numSamples = _envelope->GetNumSamples();
    const double length = g.timeEnd - g.timeStart;
    const double firstPixel = std::max(std::floor(g.timeStart), 0.0);
    const double endPixel = std::min(std::ceil(g.timeEnd), g.windowEnd);
    if (numSamples < 2 || length <= 0.0 || endPixel <= firstPixel)
        return;
    // Sample i lies at timeStart + i * pixelsPerSample, the last one at timeEnd.
    const double samplesPerPixel = static_cast<double>(numSamples - 1) / length;
    auto emit = [&](double along, double value) {
        const float across = static_cast<float>(g.centre + value * g.fullScale);
        vertices->push_back(g.horizontal ? static_cast<float>(along) : across);
        vertices->push_back(g.horizontal ? across : static_cast<float>(along));
    };
    if (samplesPerPixel < BAND_SAMPLES_PER_PIXEL) {
        const long first = std::max(0L, static_cast<long>(std::floor((firstPixel - g.timeStart) * samplesPerPixel)));
        const long last =
            std::min(numSamples - 1, static_cast<long>(std::ceil((endPixel - g.timeStart) * samplesPerPixel)));
        for (long i = first; i <= last; i++)
            emit(g.timeStart + static_cast<double>(i) / samplesPerPixel, _envelope->GetSample(i));
        return;
    }
    *band = true;
    const int numColumns = static_cast<int>(endPixel - firstPixel);
    _columnLows.resize(numColumns);
    _columnHighs.resize(numColumns);
    _envelope->GetColumns((firstPixel - g.timeStart) * samplesPerPixel, samplesPerPixel, numColumns, _columnLows.data(),
                          _columnHighs.data());
    const double minSpan = MIN_BAND_PIXELS / std::max(std::fabs(g.fullScale), 1e-9);
    for (int c = 0; c < numColumns; c++) {
        double low = _columnLows[c], high = _columnHighs[c];
        if (high - low < minSpan) {
            const double middle = 0.5 * (low + high);
            low = middle - 0.5 * minSpan;
            high = middle + 0.5 * minSpan;
        }
        const double along = firstPixel + c + 0.5;
        emit(along, low);
        emit(along, high);
    }
}

void UISoundRectPictures::DrawWaveform()
{
    bool band = false;
    BuildWaveVertices(MeasureWaveGeometry(), &_waveVertices, &band);
    const GLsizei count = static_cast<GLsizei>(_waveVertices.size() / 2);
    if (count < 2)
        return;

    double color[4];
    const UIStyle* style = _owner->GetStyle();
    style->GetWaveColor(color);
    glLineWidth(static_cast<float>(style->GetWaveLineWidth()));
    glColor4dv(color);
    if (band)
        ShadeColumns(color);

    // The vertices are in window pixels, which the projection maps one to one.
    glPushMatrix();
    glLoadIdentity();
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, _waveVertices.data());
    if (band) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, 0, _waveColors.data());
    }
    glDrawArrays(band ? GL_QUAD_STRIP : GL_LINE_STRIP, 0, count);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glPopMatrix();
}

void UISoundRectPictures::ShadeColumns(const double color[4])
{
    // A translucent line through many samples crosses the pixels of a tall
    // column over and over, and lights them more than a single stroke does:
    // each column is as opaque as that many strokes, up to a few.
    const size_t numColumns = _waveVertices.size() / 4;
    const int across = _owner->GetOrientation() == UISoundRect::HORIZONTAL ? 1 : 0;
    _waveColors.resize(8 * numColumns);
    for (size_t c = 0; c < numColumns; c++) {
        const double span = std::fabs(_waveVertices[4 * c + 2 + across] - _waveVertices[4 * c + across]);
        const double strokes = std::clamp(span, 1.0, BAND_MAX_STROKES);
        const float alpha = static_cast<float>(1.0 - std::pow(1.0 - color[3], strokes));
        float* out = &_waveColors[8 * c];
        for (int v = 0; v < 2; v++) {
            out[4 * v] = static_cast<float>(color[0]);
            out[4 * v + 1] = static_cast<float>(color[1]);
            out[4 * v + 2] = static_cast<float>(color[2]);
            out[4 * v + 3] = alpha;
        }
    }
}

void UISoundRectPictures::PrepareImages(const Spectrogram* spectro, const Spectrogram* chroma)
{
    const size_t maxRows = MaxImageRows();
    PoolImageRows(spectro, maxRows, &_spectroImage);
    PoolImageRows(chroma, maxRows, &_chromaImage);
    _imagesPrepared = true;
}

size_t UISoundRectPictures::MaxImageRows() const
{
    const size_t side = static_cast<size_t>(std::max(0, _app->GetView()->GetLargestScreenSide()));
    size_t rows = MIN_TEXTURE_ROWS;
    while (rows < side && rows < MAX_TEXTURE_ROWS)
        rows *= 2;
    return rows;
}

void UISoundRectPictures::UpdateTextures()
{
    if (!_spectroTexStale && !_chromaTexStale)
        return;
    // A rect the loader did not prepare pools its images here, once.
    if (!_imagesPrepared)
        PrepareImages(_rect->GetSpectrogram(0), _rect->GetChromagram(0));
    if (_spectroTexStale && _app->MayBuildTexture()) {
        DeleteTexture(&_spectroTexId);
        _spectroTexId = CreateImageTexture(_spectroImage);
        _spectroTexStale = false;
    }
    if (_chromaTexStale && _app->MayBuildTexture()) {
        DeleteTexture(&_chromaTexId);
        _chromaTexId = CreateImageTexture(_chromaImage);
        _chromaTexStale = false;
    }
}

int UISoundRectPictures::CreateImageTexture(const ImageLevels& image)
{
    if (image.rows <= 0 || image.bins <= 0)
        return -1;
    // Held only until the upload: the texture keeps its own copy.
    std::vector<unsigned char> texels;
    BuildTexels(image, &texels);
    glEnable(GL_TEXTURE_2D);
    GLuint texName = 0;
    glGenTextures(1, &texName);
    glBindTexture(GL_TEXTURE_2D, texName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    UploadWithMipmaps(&texels, image.bins, image.rows);
    glDisable(GL_TEXTURE_2D);
    return static_cast<int>(texName);
}

void UISoundRectPictures::UploadWithMipmaps(std::vector<unsigned char>* texels, int width, int height)
{
    // Rows of grey and alpha bytes are packed, whatever their width.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    std::vector<unsigned char> smaller;
    for (int level = 0;; level++) {
        glTexImage2D(GL_TEXTURE_2D, level, GL_LUMINANCE8_ALPHA8, width, height, 0, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE,
                     texels->data());
        if (width == 1 && height == 1)
            break;
        HalveTexels(*texels, width, height, &smaller);
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
        texels->swap(smaller);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

void UISoundRectPictures::DeleteTexture(int* texId)
{
    if (*texId < 0)
        return;
    const GLuint texName = static_cast<GLuint>(*texId);
    glDeleteTextures(1, &texName);
    *texId = -1;
}

void UISoundRectPictures::PoolImageRows(const Spectrogram* spectro, size_t maxRows, ImageLevels* image)
{
    image->levels.clear();
    image->bins = 0;
    image->rows = 0;
    if (spectro == nullptr || maxRows == 0)
        return;
    const size_t numBins = static_cast<size_t>(std::max(0, spectro->GetFFTSize() / 2));
    const size_t numCols = static_cast<size_t>(std::max(0, spectro->GetNumCols()));
    const uint8_t* levels = spectro->GetImageLevels();
    if (levels == nullptr || numBins == 0 || numCols == 0)
        return;
    const size_t numRows = std::min(numCols, maxRows);
    image->levels.resize(numBins * numRows);
    for (size_t r = 0; r < numRows; r++) {
        const size_t first = r * numCols / numRows;
        const size_t end = std::max(first + 1, (r + 1) * numCols / numRows);
        uint8_t* row = image->levels.data() + r * numBins;
        std::copy_n(levels + first * numBins, numBins, row);
        for (size_t c = first + 1; c < end; c++) {
            const uint8_t* col = levels + c * numBins;
            for (size_t i = 0; i < numBins; i++)
                row[i] = std::max(row[i], col[i]);
        }
        // Only the pooled rows are drawn: the full image goes back as it is read.
        spectro->GiveBackImage(static_cast<int>(first), static_cast<int>(end));
    }
    image->bins = static_cast<int>(numBins);
    image->rows = static_cast<int>(numRows);
}

void UISoundRectPictures::BuildTexels(const ImageLevels& image, std::vector<unsigned char>* texels) const
{
    // Every texel is one of 256 greys: shape each level once.
    unsigned char palette[Spectrogram::NUM_LEVELS][TEXEL_BYTES];
    for (int q = 0; q < Spectrogram::NUM_LEVELS; q++)
        LevelToTexel(static_cast<double>(q) / (Spectrogram::NUM_LEVELS - 1), _owner->GetColorRange(),
                     _owner->GetColorContrast(), palette[q]);
    texels->resize(TEXEL_BYTES * image.levels.size());
    unsigned char* out = texels->data();
    for (uint8_t level : image.levels) {
        out[0] = palette[level][0];
        out[1] = palette[level][1];
        out += TEXEL_BYTES;
    }
}

void UISoundRectPictures::DrawTexture(int texId) const
{
    if (texId < 0)
        return;
    glColor4d(1.0, 1.0, 1.0, 1.0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texId));
    glBegin(GL_QUADS);
    _owner->EmitCorners(_owner->GetScreen()->GetWidth(), _owner->GetScreen()->GetHeight(), false,
                        TEXTURE_COORDS[_owner->GetOrientation()]);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}
