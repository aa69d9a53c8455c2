#pragma once

#include <string>
#include <vector>

#include "app/Pt3d.h"

namespace stk {
class Mutex;
}

class AppControl;
class AudioFile;
class AudioFileSet;
class MyRtAudio;
class MyRtMidiIn;
class MyRtMidiOut;
class SoundRect;
class UIScreen;
class UIStyle;
class UIStyleManager;
class BounceRecorder;

// The application: owns the sounds, the rects, the views, the audio stream
// and the MIDI ports, and is the target of every window-toolkit callback and
// of the audio callback.
class App {
public:
    enum SelectionMode { RECT = 0, SOURCE = 1 };

    App();
    virtual ~App();

    bool Init(int midiPort);
    void Clean();
    // Shift+Esc: the input handler that sees it has the scene lock, and stopping
    // the stream waits for a callback that may be waiting for that lock, so the
    // process quits once the handler has released it.
    void RequestQuit() { _quitRequested = true; }

    // Window-toolkit callbacks.
    void OnDisplay();
    void OnReshape(int w, int h);
    void OnIdle();
    void OnKeyboard(unsigned char key, int x, int y);
    void OnSpecialKey(int key, int x, int y);
    void OnSpecialKeyUp(int key, int x, int y);
    void OnMouse(int button, int state, int x, int y);
    void OnMouseDrag(int x, int y);
    void OnMousePassiveMotion(int x, int y);

    // Audio callback: mixes one block of nFrames interleaved stereo frames.
    int OnAudio(void* outputBuffer, void* inputBuffer, unsigned int nFrames, double streamTime,
                unsigned int status, void* userData);

    // Recording of the master output to ./bounces/.
    void ToggleAudioBounce();
    bool IsBouncing() const;
    const char* GetBounceFileName() const { return _bounceFileName; }

    void ToggleFullScreen();
    void SetWindowedMode();
    void ToggleDrawHelp(bool display) { _displayHelp = display; }
    bool GetMenuFlag() const { return _menuFlag; }
    void SetMenuFlag(bool flag) { _menuFlag = flag; }

    // Styles.
    void NextStyle();
    void PrevStyle();
    void UpdateStyle();

    // View offset (pan) and zoom.
    void TranslatePositionX(double pixels);
    void TranslatePositionY(double pixels);
    double GetPositionX() const { return _position._x * _winWidth; }
    double GetPositionY() const { return _position._y * _winHeight; }
    double GetZoom() const { return _zoom; }
    double GetXMoveSpeed() const { return _xMoveSpeed; }
    double GetYMoveSpeed() const { return _yMoveSpeed; }

    void DrawString(double x, double y, double z, const char* text, double scale);
    void DrawString2(double x, double y, double z, const char* text, double scale);

    UIScreen* GetScreen() const { return _screen; }
    UIStyle* GetStyle() const { return _style; }
    int GetWinWidth() const { return _winWidth; }
    int GetWinHeight() const { return _winHeight; }
    // Records the window size, as every reshape does; views read it through UIScreen.
    void SetWinSize(int w, int h);
    std::string GetAudioPath() const { return _audioPath; }
    void SetAudioPath(const std::string& path) { _audioPath = path; }
    AppControl* GetControl() const { return _control; }
    const std::vector<SoundRect*>& GetSoundRects() const { return _soundRects; }
    unsigned int GetBlockSize() const { return _blockSize; }

    // Builds the sound rects from the loaded sounds (start-up).
    bool LoadSounds();

private:
    void InitRenderer();
    void RegisterCallbacks();
    bool StartAudio();
    void StopAudio();
    void QuitIfRequested();
    void StartBounce();
    void MixSources(float* out, unsigned int nFrames);
    void DrawTitle();
    void DrawHelp(bool overlay);
    void DrawBounceFile();
    void ApplyModelViewOffset();

    MyRtAudio* _audio;
    std::string _audioPath;
    unsigned int _blockSize;
    std::vector<AudioFile*> _sounds;
    std::vector<SoundRect*> _soundRects;
    double _sampTimeSec;
    Pt3d _position;
    double _zoom;
    int _selectionMode;
    int _dragMode;
    int _selectedSource;
    int _selectedRect;
    bool _menuFlag;
    unsigned int _screenWidth, _screenHeight;
    int _winWidth, _winHeight;
    bool _isFullScreen;
    UIScreen* _screen;
    UIStyleManager* _styleManager;
    UIStyle* _style;
    double _xMoveSpeed, _yMoveSpeed;
    bool _audioBounce;
    BounceRecorder* _bounceRecorder;
    char _bounceFileName[255];
    int _fps;
    bool _displayHelp;
    AppControl* _control;
    AudioFileSet* _fileSet;
    MyRtMidiIn* _midiIn;
    MyRtMidiOut* _midiOut;
    std::vector<float> _tmpBuf;
    stk::Mutex* _mutex;
    bool _quitRequested;
};
