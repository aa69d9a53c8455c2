#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "app/Pt3d.h"

namespace stk {
class Mutex;
}

class AppControl;
class AudioFile;
class AudioFileSet;
class MidiQueue;
class MyRtAudio;
class MyRtMidiIn;
class MyRtMidiOut;
class SamplesProvider;
class SoundRect;
class Source;
class UISoundRect;
class UIScreen;
class UIStyle;
class UIStyleManager;
class BounceRecorder;
class EffectsBox;
class SafetyLimiter;

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
    void OnKeyUp(unsigned char key, int x, int y);
    void OnSpecialKey(int key, int x, int y);
    void OnSpecialKeyUp(int key, int x, int y);
    void OnMouse(int button, int state, int x, int y);
    void OnMouseDrag(int x, int y);
    void OnMousePassiveMotion(int x, int y);
    void OnMouseWheel(int wheel, int direction, int x, int y);

    // Audio callback: mixes one block of nFrames interleaved stereo frames.
    int OnAudio(void* outputBuffer, void* inputBuffer, unsigned int nFrames, double streamTime, unsigned int status,
                void* userData);

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
    EffectsBox* GetMasterEffectsBox() const { return _masterEffectsBox; }
    SafetyLimiter* GetSafetyLimiter() const { return _limiter; }

    // Builds the sound rects from the loaded sounds (start-up).
    bool LoadSounds();

    // Scene editing. Canvas coordinates are pixels of the unzoomed canvas, y up.
    void AddGrainCloud(double x, double y);
    void DelSelectedSource();
    void Deselect(int kind);
    void UpdateSourcePicking(double x, double y);
    void UpdateRectPicking(double x, double y);
    void SourceMouseDrag(double dx, double dy);
    void RectMouseDrag(double dx, double dy);
    void ScaleSoundRect(double x, double y, double dx, double dy);
    // Zooms by factor about (cx, cy), window pixels with y up; never below 0.25.
    void ApplyZoom(double factor, double cx, double cy);
    void SetSoundRectResizeMode() { _dragMode = 1; }
    void SetSoundRectMoveMode() { _dragMode = 0; }
    void SetDragMode(int mode) { _dragMode = mode; }
    int GetDragMode() const { return _dragMode; }
    const std::vector<Source*>& GetSources() const { return _sources; }
    const std::vector<std::vector<Source*>>& GetNoteSources() const { return _noteSources; }
    bool IsSelectedSource() const { return _selectedSource >= 0; }
    bool IsSelectedRect() const { return _selectedRect >= 0; }
    int GetSelectedSourceIndex() const { return _selectedSource; }
    int GetSelectedRectIndex() const { return _selectedRect; }

    // What the parameters need: the current owners and the value being typed.
    Source* GetCurrentSource() const;
    UISoundRect* GetCurrentSoundRect() const;
    // The typed value, or null while nothing is typed.
    const char* GetParamValueString() const;
    int GetCurrentSourceParamIdx() const;
    int GetCurrentRectParamIdx() const;
    bool IsEditingParamString() const { return _isEditingParamString; }
    // Typed-value mode: entered from the pie menu, ended by Enter, Esc or a right click.
    void BeginParamStringEditing() { _isEditingParamString = true; }
    void AddParamStringChar(char c);
    void InsertParamStringChar(int position, const std::string& text);
    void DelLastParamStringChar();
    void ResetParamString();
    void ApplyParamString();
    void ResetCurrentParam();

    // MIDI output of the note keys.
    void SendNoteOn(int note);
    void SendNoteOff(int note);
    // MIDI input: note copies of the selected source, pitch wheel and mouse bend.
    MidiQueue* GetMidiQueue() const;
    void UpdateMidiIn();
    bool IsPlayingNoteSource() const;
    void ApplyVirtualPitchWheel(double dx, double dy);

private:
    void InitRenderer();
    void RegisterCallbacks();
    void AnalyseSounds();
    bool StartAudio();
    void StopAudio();
    void QuitIfRequested();
    void WaitForNextFrame();
    void StartBounce();
    void MixSources(float* out, unsigned int nFrames);
    void DrawTitle();
    void DrawHelp(bool overlay);
    void DrawBounceFile();
    void DrawLimiterIndicator();
    void SelectSource(int index);
    void SelectRect(int index);
    int PickSourceIndex(double nx, double ny) const;
    void ReleaseSource(size_t index);
    void ReleaseScene();
    void ApplyParamStringToSource(double value);
    void ApplyParamStringToRect(double value);
    void StartNoteSource(int note);
    void StopNoteSources(int note);
    void BendNoteSources(double wheel);
    void ApplyModelViewOffset();

    MyRtAudio* _audio;
    std::string _audioPath;
    std::string _paramValueString;
    bool _isEditingParamString;
    unsigned int _blockSize;
    std::vector<AudioFile*> _sounds;
    std::vector<SoundRect*> _soundRects;
    // The same rects seen as what the sources play from.
    std::vector<SamplesProvider*> _samplesProviders;
    std::vector<Source*> _sources;
    std::vector<std::vector<Source*>> _noteSources;
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
    std::chrono::steady_clock::time_point _nextFrameTime;
    bool _displayHelp;
    AppControl* _control;
    AudioFileSet* _fileSet;
    MyRtMidiIn* _midiIn;
    MyRtMidiOut* _midiOut;
    EffectsBox* _masterEffectsBox;
    SafetyLimiter* _limiter;
    // What the limiter indicator last saw, and until when it stays lit.
    uint64_t _limitedFramesSeen;
    std::chrono::steady_clock::time_point _limiterLitUntil;
    std::vector<float> _tmpBuf;
    stk::Mutex* _mutex;
    bool _quitRequested;
    double _virtualPitch;
};
