#pragma once

#include <cstddef>
#include <vector>

#include "ui/UISourceView.h"

class SingleVoiceSource;
class SoundRect;

// The view of a single grain or a loop source: a breathing ring with one
// grain marker at its centre. Its grains land exactly on the centre, with
// no spread, on every sound rect the centre lies in.
class UIVoiceSource : public UISourceView {
public:
    // rects: the application's list of sound rects, those the source's
    // voices play from (a rect added later comes through AddRect).
    UIVoiceSource(SingleVoiceSource* source, UIStyle* style, UIScreen* screen, double x, double y,
                  std::vector<SoundRect*>* rects);

    // Audio thread: writes, for every rect i < numRects containing the
    // centre, the normalised time position to playPos[i] and the cross-axis
    // position to playVol[i] (other entries are left as they are), and
    // flashes the marker for dur milliseconds when at least one rect was hit.
    // A note copy fading out keeps the rects it had, fewer than the view's.
    void GetTriggerPos(double* playPos, double* playVol, size_t numRects, double dur);

protected:
    void SetCurrentParameter(int idx) override;

private:
    SingleVoiceSource* _voiceSource;
};
