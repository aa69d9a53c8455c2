#include "ui/UILoopSource.h"

#include "sources/LoopSource.h"

UILoopSource::UILoopSource(LoopSource* source, UIStyle* style, UIScreen* screen, double x, double y,
                           std::vector<SoundRect*>* rects)
    : UIVoiceSource(source, style, screen, x, y, rects)
{
}
