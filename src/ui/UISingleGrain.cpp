#include "ui/UISingleGrain.h"

#include "sources/SingleGrain.h"

UISingleGrain::UISingleGrain(SingleGrain* source, UIStyle* style, UIScreen* screen, double x, double y,
                             std::vector<SoundRect*>* rects)
    : UIVoiceSource(source, style, screen, x, y, rects)
{
}
