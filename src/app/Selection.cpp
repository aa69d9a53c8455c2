#include "app/Selection.h"

#include "app/App.h"
#include "sound/SoundRect.h"
#include "sources/Source.h"
#include "ui/UISoundRect.h"
#include "ui/UISource.h"

Selection::Selection(App* app) : _app(app), _dragMode(0), _selectedSource(-1), _selectedRect(-1)
{
}

Selection::~Selection()
{
}

void Selection::Deselect(int kind)
{
    if (kind == SOURCE) {
        if (_selectedSource >= 0)
            _app->GetSources()[_selectedSource]->GetUI()->SetSelectState(false);
        _selectedSource = -1;
    } else if (kind == RECT) {
        if (_selectedRect >= 0)
            _app->GetSoundRects()[_selectedRect]->GetUI()->SetSelectState(false);
        _selectedRect = -1;
    }
}

int Selection::PickSourceIndex(double nx, double ny) const
{
    // Sources created earlier win over later ones where they overlap.
    for (size_t i = 0; i < _app->GetSources().size(); i++) {
        if (_app->GetSources()[i]->GetUI()->Pick(nx, ny))
            return int(i);
    }
    return -1;
}

void Selection::SelectSource(int index)
{
    _selectedSource = index;
    if (index >= 0)
        _app->GetSources()[index]->GetUI()->SetSelectState(true);
}

void Selection::SelectRect(int index)
{
    _selectedRect = index;
    if (index >= 0)
        _app->GetSoundRects()[index]->GetUI()->SetSelectState(true);
}

void Selection::UpdateSourcePicking(double x, double y)
{
    Deselect(SOURCE);
    SelectSource(PickSourceIndex(x / _app->GetWinWidth(), y / _app->GetWinHeight()));
}

void Selection::UpdateRectPicking(double x, double y)
{
    double nx = x / _app->GetWinWidth(), ny = y / _app->GetWinHeight();
    int previous = _selectedRect;
    Deselect(RECT);
    int source = PickSourceIndex(nx, ny);
    if (source >= 0) {
        // A source under the pointer always takes precedence over any rect.
        _selectedSource = source;
        return;
    }
    // The rect selected before the click stays selected while it is still
    // under the pointer; otherwise the first rect under it is chosen.
    int choice = -1;
    for (size_t i = 0; i < _app->GetSoundRects().size(); i++) {
        if (!_app->GetSoundRects()[i]->GetUI()->Pick(nx, ny))
            continue;
        if (choice == -1 || int(i) == previous)
            choice = int(i);
    }
    SelectRect(choice);
}

void Selection::SourceMouseDrag(double dx, double dy)
{
    Source* source = _app->GetCurrentSource();
    if (source == nullptr || source->GetCurrentParameter() != nullptr)
        return;
    UISource* view = source->GetUI();
    view->UpdatePosition(view->GetX() + dx / _app->GetWinWidth(), view->GetY() + dy / _app->GetWinHeight());
}

void Selection::RectMouseDrag(double dx, double dy)
{
    UISoundRect* view = _app->GetCurrentSoundRect();
    if (view == nullptr || view->GetCurrentParameter() != nullptr)
        return;
    view->UpdateRectPosition(view->GetX() + dx / _app->GetWinWidth(), view->GetY() + dy / _app->GetWinHeight());
}

void Selection::ScaleSoundRect(double x, double y, double dx, double dy)
{
    UISoundRect* view = _app->GetCurrentSoundRect();
    if (view == nullptr)
        return;
    // The corner on the pointer's side of the centre moves with the pointer.
    view->DragCorner(x >= _app->GetWinWidth() * view->GetX(), y >= _app->GetWinHeight() * view->GetY(),
                     dx / _app->GetWinWidth(), dy / _app->GetWinHeight());
}
