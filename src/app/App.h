#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace stk {
class Mutex;
}

class AppControl;
class AudioEngine;
class CanvasView;
class Controllers;
class MidiLearn;
class ParamValueEditor;
class ParameterProvider;
class LiveRect;
class SamplesProvider;
class SoundRect;
class SpectralEnginePool;
class Source;
class UISoundRect;
class UIPieMenu;
class UIScreen;
class UISource;
class StyleSwitch;
class UIOverlaySet;
class UIStyle;
class LoadMeter;
class SourceReleases;
class SceneStore;
class RateLimitedReport;
class ScreenMessage;
class Selection;
class StartupLoader;
class EffectsBox;
class FloatingWindows;
class FramePacer;
class Serializer;
class SafetyLimiter;

// The application: owns the scene (rects, sources, views) and the rooms that
// work on it (audio engine, start-up loader, selection, scene files,
// controllers, ...), and is the target of every window-toolkit callback and
// of the audio callback, which it hands on.
class App {
public:
    App();
    virtual ~App();

    // Opens the window and starts loading the sounds; the audio stream and
    // the MIDI ports open as the options say once the sounds are there.
    bool Init(const Options& options);
    void Clean();
    // Every way out (Shift+Esc, the window's close button, SIGINT, SIGTERM) ends
    // the toolkit's loop from the idle handler; main then stops the stream before
    // anything is freed. The input handler that sees Shift+Esc has the scene
    // lock, and stopping the stream waits for a callback that may be waiting for
    // that lock, so the loop is left after the handler has released it. Every
    // quit the performer or the system asks for ends with status 0: a script or
    // a service manager must not take it for a failure; 1 is a failed start.
    void RequestQuit(int exitStatus = 0)
    {
        _quitRequested = true;
        _exitStatus = exitStatus;
    }
    int GetExitStatus() const { return _exitStatus; }

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
    void OnWindowClose();

    // Audio callback: mixes one block of nFrames interleaved stereo frames.
    int OnAudio(void* outputBuffer, void* inputBuffer, unsigned int nFrames, double streamTime, unsigned int status,
                void* userData);

    // Recording of the master output to ./bounces/. A toggle while the last
    // recording is still being written is refused, said at most once a second.
    void ToggleAudioBounce();
    bool IsBouncing() const;
    const char* GetBounceFileName() const;

    void ToggleDrawHelp(bool display) { _displayHelp = display; }
    bool GetMenuFlag() const { return _menuFlag; }
    void SetMenuFlag(bool flag) { _menuFlag = flag; }

    // The styles and the switching between them.
    StyleSwitch* GetStyles() const { return _styles; }

    // Whether a sound rect may build an image texture in this frame: one
    // per frame, so that a canvas of long sounds never stalls a frame.
    bool MayBuildTexture();

    UIScreen* GetScreen() const { return _screen; }
    UIStyle* GetStyle() const;
    // Pan, zoom, window size and screen mode.
    CanvasView* GetView() const { return _view; }
    int GetWinWidth() const;
    int GetWinHeight() const;
    void SetWinSize(int w, int h);
    std::string GetAudioPath() const { return _audioPath; }
    void SetAudioPath(const std::string& path) { _audioPath = path; }
    AppControl* GetControl() const { return _control; }
    const std::vector<SoundRect*>& GetSoundRects() const { return _soundRects; }
    unsigned int GetBlockSize() const;
    EffectsBox* GetMasterEffectsBox() const { return _masterEffectsBox; }
    SafetyLimiter* GetSafetyLimiter() const;
    AudioEngine* GetAudioEngine() const { return _audio; }
    const LoadMeter* GetLoadMeter() const;
    // The grains sounding at the end of the last audio block.
    unsigned GetSoundingGrains() const;

    // Reads, analyses and installs the sounds on the calling thread; false
    // when the sound folder cannot be read.
    bool LoadSounds();

    // Saving, restoring and recalling the scene.
    SceneStore* GetScenes() const { return _scenes; }
    // The last message to the performer, shown on the canvas for a while.
    const ScreenMessage* GetMessage() const { return _message; }
    // True from the start of Init until the sounds are installed: the title
    // screen shows the progress and only Shift+Esc is heard.
    bool IsLoading() const { return _loading; }
    // Shift+Esc while the sounds load: gives up the loading and ends the
    // process at once; there is nothing to save yet.
    void QuitWhileLoading();

    // Scene editing. Canvas coordinates are pixels of the unzoomed canvas, y up.
    void AddGrainCloud(double x, double y);
    void AddSingleGrain(double x, double y);
    void AddLoopSource(double x, double y);
    // A live rect centred under the pointer (canvas pixels), selected; with
    // no input channel it says so on screen and adds nothing.
    void AddLiveRect(double x, double y);
    // Freezes every live rect, or unfreezes them all when all are frozen.
    void ToggleLiveFreeze();
    // Audio thread, under the scene lock: a block of input (interleaved,
    // numChannels channels) reaches every live rect.
    void CaptureInput(const float* input, unsigned int numChannels, unsigned int nFrames);
    const std::vector<LiveRect*>& GetLiveRects() const { return _liveRects; }
    void DelSelectedSource();
    const std::vector<Source*>& GetSources() const { return _sources; }
    const std::vector<std::vector<Source*>>& GetNoteSources() const { return _noteSources; }
    SourceReleases* GetReleases() const { return _releases; }
    // The selected source and rect, picked and dragged.
    Selection* GetSelection() const { return _selection; }

    // The pie menu around the selected source, or else the selected rect.
    UIPieMenu* GetPieMenu() const { return _pieMenu; }
    // Shown only while something is selected.
    void OpenPieMenu();
    // Kept open while a value is being typed.
    void ClosePieMenu();
    bool IsPieMenuOpen() const;
    // Pointer steps and clicks in canvas pixels, while the menu is open.
    void PieMenuMouseDrag(double dx, double dy);
    // A click that picks no box goes on to the scene and selects anew.
    void LeftPickPieMenu(int button, int state, double x, double y);
    // Picks a box and starts typing a value for it.
    void RightPickPieMenu(int button, int state, double x, double y);

    // What the parameters need: the current owners and the value being typed.
    Source* GetCurrentSource() const;
    UISoundRect* GetCurrentSoundRect() const;
    // The selected source, or else the selected rect's view, or null.
    ParameterProvider* GetCurrentParamProvider() const;
    // (x, y) in window pixels, y up: the box there, if any, becomes the current
    // parameter of the selected source, or else of the selected rect.
    bool PickParameters(double x, double y);
    // After a drag or a typed value changed the current parameter: the LFO or
    // envelope window retitles and the MIDI note copies of the selected
    // source follow it.
    void OnCurrentParamValueUpdated();
    // The typed value, or null while nothing is typed.
    const char* GetParamValueString() const;
    int GetCurrentSourceParamIdx() const;
    int GetCurrentRectParamIdx() const;
    void ResetCurrentParam();
    // The value being typed for the current parameter.
    ParamValueEditor* GetParamEditor() const { return _paramEditor; }

    // The LFO, envelope and effects windows.
    FloatingWindows* GetWindows() const { return _windows; }

    // MIDI in and out, MIDI learn and OSC.
    Controllers* GetControllers() const { return _controllers; }
    MidiLearn* GetMidiLearn() const;

private:
    // The scene's files replace the scene's parts under the scene lock.
    friend class SceneStore;
    // The MIDI notes play copies of the sources, released as the scene's are.
    friend class Controllers;

    void InitRenderer();
    void InstallSounds();
    void FinishLoadingIfDone();
    // A stream lost under the program is said, and opened again once it can be.
    void KeepAudioPlaying();
    // The audio system came back at another rate: the scene is kept as its
    // file keeps it, the sounds are read and converted to the new rate in
    // the background, and the scene comes back over them.
    void ReloadAtTheNewRate();
    // Once the sounds are installed: the scene kept over a reload, else the session file.
    void RestoreTheScene();
    bool QuitIfRequested();
    void QuitOnOutsideRequest();
    // One step of the rects' engine refill (see SpectralEnginePool) on each of them.
    void ForEachEnginePool(void (SpectralEnginePool::*step)());
    // The last step of adding any source: it joins the scene selected, and
    // the pie menu lays its boxes out around it.
    void AddSource(Source* source, UISource* view);
    void UpdateParamNoteSources();
    void ReleaseSource(size_t index);
    void ReleaseScene();
    // The live rects' records: place, view and settings, never their sound.
    void SerializeLiveRects(Serializer* serializer);
    void UnSerializeLiveRects(Serializer* serializer);
    LiveRect* NewLiveRect(double x, double y);
    // Prints the text (to stderr for an error) and shows it on screen for a few seconds.
    void ShowMessage(const std::string& text, bool isError);

    AudioEngine* _audio;
    SceneStore* _scenes;
    std::string _audioPath;
    ParamValueEditor* _paramEditor;
    Selection* _selection;
    std::vector<SoundRect*> _soundRects;
    // The same rects seen as what the sources play from.
    std::vector<SamplesProvider*> _samplesProviders;
    // The rects of _soundRects that hold the audio input, after the loaded ones.
    std::vector<LiveRect*> _liveRects;
    std::vector<Source*> _sources;
    std::vector<std::vector<Source*>> _noteSources;
    bool _menuFlag;
    CanvasView* _view;
    UIScreen* _screen;
    StyleSwitch* _styles;
    UIPieMenu* _pieMenu;
    FloatingWindows* _windows;
    FramePacer* _pacer;
    bool _displayHelp;
    AppControl* _control;
    Controllers* _controllers;
    EffectsBox* _masterEffectsBox;
    // Removed sources and ended notes, sounding their last faded block.
    SourceReleases* _releases;
    // Start-up loading: the rects and their analyses are made by the
    // loading thread and installed on the toolkit thread when it is done.
    bool _loading;
    // Loading again at a new rate (the stream and MIDI stay open), and the
    // scene to put back then.
    bool _reloading;
    std::vector<char> _sceneToRestore;
    Options _options;
    std::chrono::steady_clock::time_point _initTime;
    StartupLoader* _loader;
    // What is drawn over the scene.
    UIOverlaySet* _overlays;
    stk::Mutex* _mutex;
    bool _quitRequested;
    int _exitStatus;
    ScreenMessage* _message;
    RateLimitedReport* _refusedBounces;
};
