#pragma once

#include <vector>

#include "ui/UISourceView.h"

class SingleVoiceSource;
class SoundRect;

// The view of a single grain or a loop source: a breathing ring with one
// grain marker at its centre. Its grains land exactly on the centre, with
// no spread, on every sound rect the centre lies in.
class UIVoiceSource : public UISourceView {
public:
    // rects: the application's list of sound rects; the view keeps the
    // rects it holds now, those the source's voices play from (a rect added
    // later is not one of them).
    UIVoiceSource(SingleVoiceSource* source, UIStyle* style, UIScreen* screen, double x, double y,
                  std::vector<SoundRect*>* rects);

    // Audio thread: writes, for every rect i containing the centre, the
    // normalised time position to playPos[i] and the cross-axis position to
    // playVol[i] (other entries are left as they are), and flashes the
    // marker for dur milliseconds when at least one rect was hit.
    void GetTriggerPos(double* playPos, double* playVol, double dur);

protected:
    void SetCurrentParameter(int idx) override;
    const std::vector<SoundRect*>& GetRects() const override { return _rects; }

private:
    std::vector<SoundRect*> _rects;
    SingleVoiceSource* _voiceSource;
};
