#pragma once

class UIScreen;
class UIStyle;

// A rectangular drawing and input area inside a floating window, placed in
// normalised window coordinates. Subclasses draw in DrawContents() and
// receive drags relative to the canvas in OnMouseDragNorm().
class UICanvas {
public:
    UICanvas(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width, double height);
    virtual ~UICanvas();

    virtual void Draw();
    virtual void SetVisible(bool visible);
    // GLUT buttons and states; x and y normalised.
    virtual void OnMouse(int button, int state, double x, double y);
    virtual void OnMouseDrag(double x, double y, double fineDragFactor);
    virtual bool Pick(double x, double y);
    // nx, ny: position relative to the canvas (outside 0..1 once the drag has
    // left it); dx, dy: movement in canvas sizes.
    virtual void OnMouseDragNorm(double nx, double ny, double dx, double dy, bool inside);
    virtual void DrawContents();

    // Canvases that hold others pass the style on.
    virtual void UpdateStyle(UIStyle* style) { _style = style; }
    bool IsVisible() const { return _visible; }
    double GetX() const { return _x; }
    double GetY() const { return _y; }
    double GetWidth() const { return _width; }
    double GetHeight() const { return _height; }
    void GetContentsRect(double* x, double* y, double* width, double* height) const;

protected:
    void DrawTitle();
    void DrawBorder();
    // Geometric hit test, regardless of visibility: edges inclusive except the bottom one.
    bool Contains(double x, double y) const;

    UIScreen* _screen;
    UIStyle* _style;
    char _title[255];
    double _x, _y, _width, _height;
    bool _mouseDown;
    double _prevDragX, _prevDragY;
    bool _visible;
    bool _drawBorder;
    bool _centerTitle;
    // Kept free at the right end of the title row, in window widths (the
    // room of a corner control); the title shrinks to fit what is left.
    double _titleReserve;
};
