#pragma once

#include <vector>

#include "ui/UIVoiceSource.h"

class SingleGrain;

// The view of a single grain.
class UISingleGrain : public UIVoiceSource {
public:
    UISingleGrain(SingleGrain* source, UIStyle* style, UIScreen* screen, double x, double y,
                  std::vector<SoundRect*>* rects);
};
