#pragma once

class App;

// Which source and which rect of the scene are selected, picked under the
// pointer and dragged; toolkit thread, with the scene lock held.
class Selection {
public:
    enum Kind { RECT = 0, SOURCE = 1 };

    // The sources and rects are app's, as are the window's size and the
    // current parameter a drag leaves alone.
    explicit Selection(App* app);
    virtual ~Selection();
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

    bool IsSelectedSource() const { return _selectedSource >= 0; }
    bool IsSelectedRect() const { return _selectedRect >= 0; }
    int GetSelectedSourceIndex() const { return _selectedSource; }
    int GetSelectedRectIndex() const { return _selectedRect; }
    // The index alone, for a scene being built or read: the views keep their marks.
    void SetSelectedSourceIndex(int index) { _selectedSource = index; }
    void SetSelectedRectIndex(int index) { _selectedRect = index; }
    // The index and its view's mark (-1 selects nothing).
    void SelectSource(int index);
    void SelectRect(int index);
    void Deselect(int kind);

    // Canvas pixels, y up: the source under (x, y), or else a rect there.
    void UpdateSourcePicking(double x, double y);
    void UpdateRectPicking(double x, double y);
    // Pointer steps in canvas pixels, moving the selection's view unless a
    // parameter of it is being dragged.
    void SourceMouseDrag(double dx, double dy);
    void RectMouseDrag(double dx, double dy);
    void ScaleSoundRect(double x, double y, double dx, double dy);
    // Whether a drag of the selected rect moves it (0) or resizes it (1),
    // as the held key says.
    void SetSoundRectResizeMode() { _dragMode = 1; }
    void SetSoundRectMoveMode() { _dragMode = 0; }
    void SetDragMode(int mode) { _dragMode = mode; }
    int GetDragMode() const { return _dragMode; }

private:
    int PickSourceIndex(double nx, double ny) const;

    App* _app;
    int _dragMode;
    int _selectedSource;
    int _selectedRect;
};
