#pragma once

class UIStyle;

// Owns the six built-in styles and knows which one is current.
class UIStyleManager {
public:
    enum StyleIdx {
        DEFAULT_STYLE = 0,
        PURPLE_STYLE = 1,
        JELLYFISH_STYLE = 2,
        PSYTRANCE_STYLE = 3,
        BLACKNWHITE_STYLE = 4,
        SLUG_STYLE = 5,
        NUM_STYLES = 6
    };

    UIStyleManager();
    virtual ~UIStyleManager();
    UIStyleManager(const UIStyleManager&) = delete;
    UIStyleManager& operator=(const UIStyleManager&) = delete;

    int GetNumStyles() const { return NUM_STYLES; }
    // Ignores indices outside 0..NUM_STYLES-1 (a damaged session keeps the
    // style that was current).
    void SetStyleNum(int n);
    UIStyle* GetCurrentStyle() const { return _styles[_styleNum]; }
    int GetCurrentStyleNum() const { return _styleNum; }

    // Step through the styles, wrapping around at both ends.
    void NextStyle();
    void PrevStyle();

private:
    UIStyle* _styles[NUM_STYLES];
    int _styleNum;
};
