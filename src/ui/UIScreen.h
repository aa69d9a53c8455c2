#pragma once

class App;

// Reports the current window size in pixels to every view.
class UIScreen {
public:
    explicit UIScreen(App* app) : _app(app) {}
    virtual ~UIScreen() {}
    double GetWidth() const;
    double GetHeight() const;

private:
    App* _app;
};
