#pragma once

#include <vector>

class UICanvas;
class UIScreen;
class UIStyle;

// A framed floating window with a title line, placed in normalised window
// coordinates. It shows and restyles its canvases but does not own them.
class UIWindow {
public:
    UIWindow(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width, double height);
    virtual ~UIWindow();

    virtual void Draw();

    // Titles are cut to 254 characters.
    void SetTitle(const char* title);
    const char* GetTitle() const { return _title; }
    // Cascades to every canvas.
    void SetVisible(bool visible);
    bool IsVisible() const { return _visible; }
    void AddCanvas(UICanvas* canvas);
    // The area under the title rule, with a margin above and below.
    void GetContentsRect(double* x, double* y, double* width, double* height) const;
    void UpdateStyle(UIStyle* style);

private:
    void DrawBorder(const double corners[4][2]);
    void DrawTitle();

    std::vector<UICanvas*> _canvas;
    UIScreen* _screen;
    UIStyle* _style;
    bool _visible;
    char _title[255];
    double _x, _y, _width, _height;
};
