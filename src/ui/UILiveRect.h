#pragma once

#include <cstdint>
#include <vector>

#include "ui/UISoundRect.h"

class LiveRect;
class LiveRing;
class Spectrogram;

// The view of a live rect: the last seconds of the input, the oldest at the
// start of the time axis and the newest at its end, scrolling as sound
// arrives. The write point is a line at the newest end, the seconds are
// marks that travel along the rect with the sound (and stand still while it
// is frozen), and a meter beside the write point shows the input level.
//
// A point of the rect stands for a moment of the past counted back from
// now, so a grain that starts on it is aimed at the ring frame of that
// moment and reads on from there, whatever arrives while it sounds.
//
// Beside the display settings, the rect has the ring's length, its freeze
// and the input gain as parameters.
class UILiveRect : public UISoundRect {
public:
    enum LiveParamIndex { LENGTH = NUM_PARAMS, FREEZE, GAIN, NUM_LIVE_PARAMS };

    // Centred on (x, y) in scene units.
    UILiveRect(LiveRect* rect, App* app, UIStyle* style, UIScreen* screen, double x, double y);
    ~UILiveRect() override;

    LiveRect* GetLiveRect() const { return _live; }
    void SetLengthSeconds(double seconds);
    double GetLengthSeconds() const;
    void SetFrozen(bool frozen);
    bool IsFrozen() const;
    // Held to what the gain parameter allows.
    void SetGainDb(double db);
    double GetGainDb() const { return _gainDb; }

    Parameter* GetParameter(int idx) override;
    int GetNumParams() override { return NUM_LIVE_PARAMS; }
    bool GetNormedPosition(double* posX, double* posY, double x, double y, unsigned idx) const override;
    void Draw() override;

private:
    // The frames shown now: those written that no longer change.
    int64_t ShownEnd() const;
    void UpdateName();
    // The image textures follow the published columns, a few per frame.
    void UpdateImages(int64_t shownEnd);
    void CreateImageTextures();
    // Texture rows of columns [from, to), counted from the ring's first.
    void UploadColumns(int texId, const Spectrogram* image, int64_t from, int64_t to);
    void DrawImage(int texId, int64_t shownEnd);
    // A point fraction along the time axis, and length fraction across,
    // in window pixels of the scene.
    void AlongPoint(double along, double across, double* x, double* y) const;
    void DrawTimeMarks(int64_t shownEnd);
    void DrawMeter();

    LiveRect* _live;
    LiveRing* _ring;
    Parameter* _liveParams[NUM_LIVE_PARAMS - NUM_PARAMS];
    double _gainDb;
    // Written frames the waveform summaries cover, and published columns
    // the image textures hold.
    int64_t _summarised;
    int64_t _uploaded;
    int _liveSpectroTex;
    int _liveChromaTex;
    double _meterLevel;
    std::vector<unsigned char> _texels;
};
