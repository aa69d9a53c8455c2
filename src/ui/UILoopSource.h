#pragma once

#include <vector>

#include "ui/UIVoiceSource.h"

class LoopSource;

// The view of a loop source.
class UILoopSource : public UIVoiceSource {
public:
    UILoopSource(LoopSource* source, UIStyle* style, UIScreen* screen, double x, double y,
                 std::vector<SoundRect*>* rects);
};
