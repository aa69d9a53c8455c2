#pragma once

#include <vector>

#include "sources/SingleVoiceSource.h"

// One endless grain: a looping voice that reads the window at its view's
// centre over and over, following the view every block. Settings reach the
// voice one block after they are made; the spatialisation and, in
// RANDOM_DIR mode, the direction move on once per loop cycle.
class LoopSource : public SingleVoiceSource {
public:
    LoopSource(App* app, const std::vector<SamplesProvider*>& rects);

    Source* Clone() override;
    void NextBuffer(std::vector<float>* accumBuff, unsigned numFrames) override;

private:
    explicit LoopSource(const LoopSource* origin);
};
