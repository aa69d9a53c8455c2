#include "app/App.h"
#include "app/Selection.h"

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <stk/Mutex.h>

#include "app/AppControl.h"
#include "app/AudioEngine.h"
#include "app/CanvasView.h"
#include "app/Controllers.h"
#include "app/FloatingWindows.h"
#include "app/FramePacer.h"
#include "app/MyRtAudio.h"
#include "app/ParamValueEditor.h"
#include "app/SceneStore.h"
#include "app/ScreenMessage.h"
#include "app/SourceReleases.h"
#include "app/StartupLoader.h"
#include "app/StyleSwitch.h"
#include "app/Time.h"
#include "app/ToolkitCallbacks.h"
#include "app/WindowLossWatch.h"
#include "effects/EffectsBox.h"
#include "midi/MidiLearn.h"
#include "midi/RateLimitedReport.h"
#include "session/Serializer.h"
#include "sound/EngineRate.h"
#include "sound/LiveRect.h"
#include "sound/LoadProgress.h"
#include "sound/SoundRect.h"
#include "sound/SpectralEnginePool.h"
#include "sources/Source.h"
#include "spectral/Spectrogram.h"
#include "ui/UIOverlays.h"
#include "ui/UIPieMenu.h"
#include "ui/UIScreen.h"
#include "ui/UISoundRect.h"
#include "ui/UISource.h"
#include "ui/UIStyle.h"

namespace {

// Redraws per second: smooth animation at a fraction of the cost of drawing flat out.
const int FRAME_RATE = 60;
const int LOADING_FRAME_RATE = 5;
const int TEXTURES_PER_FRAME = 1;

}  // namespace

App::App()
    : _audio(nullptr), _scenes(nullptr), _audioPath("./loops/"), _paramEditor(nullptr), _selection(nullptr),
      _menuFlag(true), _view(nullptr), _screen(nullptr), _styles(nullptr), _pieMenu(nullptr), _windows(nullptr),
      _pacer(nullptr), _displayHelp(false), _control(nullptr), _controllers(nullptr), _masterEffectsBox(nullptr),
      _releases(nullptr), _loading(false), _reloading(false), _loader(nullptr), _mutex(nullptr), _quitRequested(false),
      _exitStatus(0), _message(nullptr), _refusedBounces(new RateLimitedReport())
{
    _mutex = new stk::Mutex();
    _selection = new Selection(this);
    _message = new ScreenMessage();
    _control = new AppControl(this);
    _view = new CanvasView();
    _styles = new StyleSwitch(this);
    _screen = new UIScreen(this);
    // Holds no drawing state, so it can exist before the window does.
    _pieMenu = new UIPieMenu(this, _screen);
    _controllers = new Controllers(this);
    _windows = new FloatingWindows(this);
    _paramEditor = new ParamValueEditor(this);
    _pacer = new FramePacer(FRAME_RATE, LOADING_FRAME_RATE, TEXTURES_PER_FRAME);
    _releases = new SourceReleases();
    // Built here rather than at start-up so that the audio path is whole
    // from the first block on, in the program and in tests alike.
    _masterEffectsBox = new EffectsBox();
    _audio = new AudioEngine(this, _mutex, _releases);
    _loader = new StartupLoader(this);
    _scenes = new SceneStore(this);
    _overlays = new UIOverlaySet(this, _loader->GetProgress(), _audio->GetBounceRecorder(), _audio->GetSafetyLimiter(),
                                 _audio->GetLoadMeter());
    ToolkitCallbacks::SetTarget(this);
}

App::~App()
{
    if (_loader->IsRunning()) {
        _loader->Cancel();
        _loader->Join();
    }
    // Whatever way the process ends, the audio thread stops before the scene it plays goes.
    Clean();
    ReleaseScene();
    // Whatever Clean has not released yet.
    delete _windows;
    delete _pacer;
    delete _paramEditor;
    delete _pieMenu;
    delete _styles;
    delete _controllers;
    delete _masterEffectsBox;
    delete _audio;
    delete _scenes;
    delete _overlays;
    delete _control;
    delete _screen;
    delete _view;
    delete _selection;
    delete _message;
    delete _refusedBounces;
    delete _mutex;
    // The rects read the loaded sounds, so the loader goes after the scene.
    delete _loader;
    delete _releases;
}

void App::ReleaseScene()
{
    GetMidiLearn()->Reset();
    // Note copies first: their voices read their origin's envelopes.
    for (size_t i = _sources.size(); i-- > 0;)
        ReleaseSource(i);
    // No block will play them out any more.
    _releases->FreeAll();
    for (SoundRect* rect : _soundRects) {
        // A chromagram reads its spectrogram's columns, so it goes first. A
        // live rect's analysis is its own.
        const bool live = std::find(_liveRects.begin(), _liveRects.end(), rect) != _liveRects.end();
        for (int k = 0; k < SoundRect::MAX_SPECTRAL_CHANNELS && !live; k++) {
            delete rect->GetChromagram(k);
            delete rect->GetSpectrogram(k);
        }
        delete rect->GetUI();
        delete rect;
    }
    _soundRects.clear();
    _samplesProviders.clear();
    _liveRects.clear();
}

int App::GetWinWidth() const
{
    return _view->GetWinWidth();
}

int App::GetWinHeight() const
{
    return _view->GetWinHeight();
}

void App::SetWinSize(int w, int h)
{
    _view->SetWinSize(w, h);
}

bool App::Init(const Options& options)
{
    _options = options;
    _initTime = std::chrono::steady_clock::now();
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGBA | GLUT_DEPTH);
    // Closing the window leaves the loop instead of calling exit() while the
    // audio thread still plays the scene.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    _view->ReadScreenSize();

    _styles->CreateStyles();
    char appName[512];
    GetStyle()->GetAppName(appName);
    glutInitWindowSize(_view->GetWinWidth(), _view->GetWinHeight());
    glutInitWindowPosition(0, 0);
    glutCreateWindow(appName);
    _styles->OnWindowCreated();
    WindowLossWatch::Install();
    glutIgnoreKeyRepeat(1);
    _view->SetWindowedMode();
    _windows->BuildFloatingWindows();

    InitRenderer();
    ToolkitCallbacks::Register();

    // The clock is made before a second thread could ask for it.
    Time::Instance();
    _controllers->SetBendRange(options.bendRange);
    if (options.oscPort > 0)
        _controllers->StartOsc(options.oscListen, options.oscPort);
    _loading = true;
    _loader->StartInBackground(GetAudioPath());
    return true;
}

void App::FinishLoadingIfDone()
{
    if (!_loading || !_loader->IsFinished())
        return;
    _loader->Join();
    _mutex->lock();
    InstallSounds();
    _loading = false;
    _mutex->unlock();
    if (_reloading) {
        _reloading = false;
        RestoreTheScene();
        ShowMessage("The sounds play at " + std::to_string(int(EngineRate::Get())) + " Hz", false);
        return;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - _initTime).count();
    printf("Sounds ready in %.2f s\n", seconds);
    std::string error;
    const bool streamOpen = _audio->StartStream(ToolkitCallbacks::OnAudio, _options, &error);
    const std::string midiOff = _controllers->OpenMidi(_options);
    // Last of the start-up: the saved scene over the installed rects.
    RestoreTheScene();
    // The message line holds one line: what the performer must know about
    // comes after the restore's, the missing sound last of all. Said on
    // screen (and on the console), where a performer looks; the scene is
    // there to save, and the stream is tried again every few seconds.
    if (!midiOff.empty())
        ShowMessage(midiOff, false);
    if (!streamOpen)
        ShowMessage("No sound, the audio stream cannot open: " + error, true);
}

void App::RestoreTheScene()
{
    if (_sceneToRestore.empty()) {
        _scenes->UnSerializeSession();
        return;
    }
    Serializer reader;
    reader.OpenReadMemory(_sceneToRestore);
    _mutex->lock();
    _scenes->UnSerializeSession(&reader);
    _mutex->unlock();
    _sceneToRestore.clear();
}

void App::ReloadAtTheNewRate()
{
    Serializer writer;
    writer.OpenWriteMemory();
    _mutex->lock();
    // While a load still runs there is no scene to keep: at the start, the
    // session file is read after the new load; in a reload, the scene kept
    // when it began comes back.
    const bool started = !_loading;
    if (started) {
        _scenes->SerializeSession(&writer);
        _sceneToRestore = writer.GetStream();
    }
    // Nothing may point at what goes: the restore selects again what was selected.
    ClosePieMenu();
    _selection->Deselect(Selection::SOURCE);
    _selection->Deselect(Selection::RECT);
    ReleaseScene();
    _masterEffectsBox->FollowRate();
    _loading = true;
    _mutex->unlock();
    _loader->Cancel();
    if (_loader->IsRunning())
        _loader->Join();
    // The old sounds go with their loader, nothing reading them any more.
    delete _loader;
    _loader = new StartupLoader(this);
    _overlays->FollowLoadProgress(_loader->GetProgress());
    // A rate that changes again while the sounds are converted: the load
    // starts over, still a reload.
    _reloading = _reloading || started;
    _loader->StartInBackground(GetAudioPath());
}

void App::KeepAudioPlaying()
{
    switch (_audio->KeepStreamOpen(ToolkitCallbacks::OnAudio, _options)) {
    case AudioEngine::STREAM_LOST:
        ShowMessage("The audio stream is lost (did the JACK server stop?): it opens again once it can", true);
        _controllers->LetGoOfDeadJackMidi();
        break;
    case AudioEngine::STREAM_BACK:
        ShowMessage("The audio stream is open again", false);
        _controllers->ReopenJackMidi(_options);
        break;
    case AudioEngine::STREAM_NEW_RATE:
        ShowMessage("The audio system's rate changed: " + _audio->DescribeStream() +
                        "; the sounds are converted to it, and the scene comes back over them",
                    false);
        ReloadAtTheNewRate();
        break;
    case AudioEngine::STREAM_NEW_PERIOD:
        ShowMessage(_audio->DescribeStream(), false);
        break;
    case AudioEngine::STREAM_UNCHANGED:
        break;
    }
}

UIStyle* App::GetStyle() const
{
    return _styles->GetStyle();
}

void App::InitRenderer()
{
    _styles->ApplyBackground();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glFrontFace(GL_CCW);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_POINT_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
}

bool App::LoadSounds()
{
    if (!_loader->LoadNow(GetAudioPath()))
        return false;
    InstallSounds();
    return true;
}

void App::InstallSounds()
{
    _loader->InstallInto(&_soundRects, &_samplesProviders);
    // Each rect's boxes start on a ring around it.
    for (size_t i = 0; i < _soundRects.size(); i++) {
        _selection->SetSelectedRectIndex(int(i));
        _pieMenu->InitFromParameters();
    }
    _selection->SetSelectedRectIndex(-1);
}

void App::Clean()
{
    _scenes->WritePendingSession();
    if (!_audio->StopStream())
        _controllers->LetGoOfJackMidi();
    _controllers->Close();
    // The windows point at the style and at the master chain's parameters.
    _windows->DeleteFloatingWindows();
    _styles->DeleteStyles();
    delete _pieMenu;
    _pieMenu = nullptr;
    delete _masterEffectsBox;
    _masterEffectsBox = nullptr;
}

int App::OnAudio(void* outputBuffer, void* inputBuffer, unsigned int nFrames, double, unsigned int, void*)
{
    _audio->RenderBlock(static_cast<float*>(outputBuffer), static_cast<const float*>(inputBuffer), nFrames);
    return 0;
}

bool App::IsBouncing() const
{
    return _audio->IsBouncing();
}

void App::ToggleAudioBounce()
{
    if (_audio->ToggleBounce() != AudioEngine::BOUNCE_BUSY)
        return;
    std::string text = "Not recording: the last recording is still being written; toggle again once it is";
    if (_refusedBounces->Admit(&text))
        ShowMessage(text, true);
}

const char* App::GetBounceFileName() const
{
    return _audio->GetBounceFileName();
}

unsigned int App::GetBlockSize() const
{
    return _audio->GetBlockSize();
}

SafetyLimiter* App::GetSafetyLimiter() const
{
    return _audio->GetSafetyLimiter();
}

const LoadMeter* App::GetLoadMeter() const
{
    return _audio->GetLoadMeter();
}

unsigned App::GetSoundingGrains() const
{
    return _audio->GetSoundingGrains();
}

void App::OnDisplay()
{
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    _view->ApplyViewTransform();
    if (_loading || _menuFlag) {
        // While loading the long command list waits: stroked in software it
        // costs more than the rest of the frame, and the cores are the analysis's.
        _overlays->DrawTitleScreen(_loading);
    } else {
        _pacer->StartFrame();
        for (SoundRect* rect : _soundRects)
            rect->GetUI()->Draw();
        for (Source* source : _sources)
            source->GetUI()->Draw();
        _overlays->DrawOverScene(IsBouncing() ? GetBounceFileName() : nullptr, _displayHelp);
        _windows->DrawFloatingWindows();
        _overlays->DrawLoadMeter();
        // Last, over everything else.
        _pieMenu->Draw();
    }
    _overlays->DrawOverAll(_message->GetText(), _message->IsError(), _message->GetUntil());
    glPopMatrix();
    glFlush();
    glutSwapBuffers();
}

bool App::MayBuildTexture()
{
    return _pacer->MayBuildTexture();
}

void App::OnReshape(int w, int h)
{
    _mutex->lock();
    _view->Reshape(w, h);
    glutPostRedisplay();
    _mutex->unlock();
}

void App::OnIdle()
{
    QuitOnOutsideRequest();
    // Before any quit: a saved scene is never left unwritten.
    _scenes->WritePendingSession();
    _scenes->RecallPendingScene();
    // Once quitting, the window is gone and there is nothing to redraw.
    if (QuitIfRequested())
        return;
    _pacer->WaitForNextFrame(_loading, _loader->GetProgress());
    FinishLoadingIfDone();
    KeepAudioPlaying();
    // Engines are made and freed outside the scene lock, handed over under it.
    ForEachEnginePool(&SpectralEnginePool::Prepare);
    _mutex->lock();
    ForEachEnginePool(&SpectralEnginePool::Install);
    _controllers->UpdateMidiIn();
    _controllers->UpdateControllers();
    _releases->FreeFinished();
    _windows->UpdateLFOWindow();
    _windows->UpdateEnvelopeWindow();
    glutPostRedisplay();
    _mutex->unlock();
    bool freed = _releases->TakeFreed();
    for (SoundRect* rect : _soundRects) {
        if (SpectralEnginePool* pool = rect->GetEnginePool())
            freed |= pool->FreeUnused();
    }
    if (freed)
        SourceReleases::ReturnFreedMemory();
}

void App::ForEachEnginePool(void (SpectralEnginePool::*step)())
{
    for (SoundRect* rect : _soundRects) {
        if (SpectralEnginePool* pool = rect->GetEnginePool())
            (pool->*step)();
    }
}

MidiLearn* App::GetMidiLearn() const
{
    return _controllers->GetMidiLearn();
}

void App::ShowMessage(const std::string& text, bool isError)
{
    _message->Show(text, isError);
}
