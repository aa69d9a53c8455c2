#include "app/App.h"

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
#include "app/FloatingWindows.h"
#include "app/FramePacer.h"
#include "app/MyRtAudio.h"
#include "app/ParamValueEditor.h"
#include "app/SourceReleases.h"
#include "app/StartupLoader.h"
#include "app/Time.h"
#include "app/ToolkitCallbacks.h"
#include "app/WindowLossWatch.h"
#include "effects/EffectsBox.h"
#include "midi/MyRtMidiIn.h"
#include "midi/MyRtMidiOut.h"
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
#include "ui/UIStyleManager.h"

namespace {

// Redraws per second: smooth animation at a fraction of the cost of drawing flat out.
const int FRAME_RATE = 60;
const int LOADING_FRAME_RATE = 5;
const int TEXTURES_PER_FRAME = 1;

}  // namespace

App::App()
    : _audio(nullptr), _audioPath("./loops/"), _paramEditor(nullptr), _sampTimeSec(1.0 / AudioEngine::SAMPLE_RATE),
      _zoom(1.0), _selectionMode(SOURCE), _dragMode(0), _selectedSource(-1), _selectedRect(-1), _menuFlag(true),
      _screenWidth(0), _screenHeight(0), _winWidth(0), _winHeight(0), _isFullScreen(false), _screen(nullptr),
      _styleManager(nullptr), _style(nullptr), _pieMenu(nullptr), _windows(nullptr), _xMoveSpeed(10), _yMoveSpeed(10),
      _pacer(nullptr), _displayHelp(false), _control(nullptr), _midiIn(nullptr), _midiOut(nullptr),
      _masterEffectsBox(nullptr), _releases(nullptr), _loading(false), _loader(nullptr), _mutex(nullptr),
      _quitRequested(false), _exitStatus(0), _virtualPitch(0), _windowCreated(false), _sessionSavePending(false),
      _messageIsError(false)
{
    _mutex = new stk::Mutex();
    _control = new AppControl(this);
    _screen = new UIScreen(this);
    // Holds no drawing state, so it can exist before the window does.
    _pieMenu = new UIPieMenu(this, _screen);
    _windows = new FloatingWindows(this);
    _paramEditor = new ParamValueEditor(this);
    _pacer = new FramePacer(FRAME_RATE, LOADING_FRAME_RATE, TEXTURES_PER_FRAME);
    _midiIn = new MyRtMidiIn();
    _midiOut = new MyRtMidiOut();
    _releases = new SourceReleases();
    // Built here rather than at start-up so that the audio path is whole
    // from the first block on, in the program and in tests alike.
    _masterEffectsBox = new EffectsBox();
    _audio = new AudioEngine(this, _mutex, _releases);
    _loader = new StartupLoader(this);
    _title = new UITitleOverlay(this);
    _loadProgress = new UILoadProgressOverlay(this, _loader->GetProgress());
    _help = new UIHelpOverlay(this);
    _recording = new UIRecordingOverlay(this, _audio->GetBounceRecorder());
    _messageView = new UIMessageOverlay(this);
    _limiterLight = new UILimiterLight(this, _audio->GetSafetyLimiter());
    _loadMeterView = new UILoadMeterOverlay(this, _audio->GetLoadMeter());
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
    delete _styleManager;
    delete _midiIn;
    delete _midiOut;
    delete _masterEffectsBox;
    delete _audio;
    delete _title;
    delete _loadProgress;
    delete _help;
    delete _recording;
    delete _messageView;
    delete _limiterLight;
    delete _loadMeterView;
    delete _control;
    delete _screen;
    delete _mutex;
    // The rects read the loaded sounds, so the loader goes after the scene.
    delete _loader;
    delete _releases;
}

void App::ReleaseScene()
{
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

void App::SetWinSize(int w, int h)
{
    _winWidth = w;
    _winHeight = h;
}

bool App::Init(const Options& options)
{
    _options = options;
    _initTime = std::chrono::steady_clock::now();
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGBA | GLUT_DEPTH);
    // Closing the window leaves the loop instead of calling exit() while the
    // audio thread still plays the scene.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    _screenWidth = glutGet(GLUT_SCREEN_WIDTH);
    _screenHeight = glutGet(GLUT_SCREEN_HEIGHT);
    SetWinSize(int(0.6 * _screenWidth), int(0.6 * _screenHeight));

    CreateStyles();
    char appName[512];
    _style->GetAppName(appName);
    glutInitWindowSize(_winWidth, _winHeight);
    glutInitWindowPosition(0, 0);
    glutCreateWindow(appName);
    _windowCreated = true;
    WindowLossWatch::Install();
    glutIgnoreKeyRepeat(1);
    SetWindowedMode();
    _windows->BuildFloatingWindows();

    InitRenderer();
    ToolkitCallbacks::Register();

    // The clock is made before a second thread could ask for it.
    Time::Instance();
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
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - _initTime).count();
    printf("Sounds ready in %.2f s\n", seconds);
    if (!_audio->StartStream(ToolkitCallbacks::OnAudio, _options)) {
        // Without sound there is nothing to play: the next idle call ends the
        // program, and a script sees that it failed.
        RequestQuit(1);
        return;
    }
    OpenMidi();
    _virtualPitch = 0;
    // Last of the start-up: the saved scene over the installed rects.
    UnSerializeSession();
}

void App::CreateStyles()
{
    _styleManager = new UIStyleManager();
    _style = _styleManager->GetCurrentStyle();
}

void App::InitRenderer()
{
    double background[4];
    _style->GetBackgroundColor(background);
    glClearColor(background[0], background[1], background[2], background[3]);
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
        _selectedRect = int(i);
        _pieMenu->InitFromParameters();
    }
    _selectedRect = -1;
}

void App::Clean()
{
    WritePendingSession();
    _audio->StopStream();
    // The windows point at the style and at the master chain's parameters.
    _windows->DeleteFloatingWindows();
    delete _styleManager;
    _styleManager = nullptr;
    _style = nullptr;
    delete _pieMenu;
    _pieMenu = nullptr;
    delete _midiIn;
    _midiIn = nullptr;
    delete _midiOut;
    _midiOut = nullptr;
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
    _audio->ToggleBounce();
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

void App::ApplyModelViewOffset()
{
    glTranslatef(-_winWidth * _position._x, -_winHeight * _position._y, -_position._z);
}

void App::OnDisplay()
{
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    ApplyModelViewOffset();
    glScalef(_zoom, _zoom, 1);
    if (_loading) {
        // The long command list waits: stroked in software it costs more
        // than the rest of the frame, and the cores are the analysis's.
        _title->Draw(_loading);
        _loadProgress->Draw();
    } else if (_menuFlag) {
        _title->Draw(_loading);
        _help->Draw(false);
    } else {
        _pacer->StartFrame();
        for (SoundRect* rect : _soundRects)
            rect->GetUI()->Draw();
        for (Source* source : _sources)
            source->GetUI()->Draw();
        if (IsBouncing())
            _recording->DrawFile(GetBounceFileName());
        if (_displayHelp)
            _help->Draw(true);
        _windows->DrawFloatingWindows();
        _loadMeterView->Draw();
        // Last, over everything else.
        _pieMenu->Draw();
    }
    _recording->DrawLossIfAny();
    _messageView->Draw(_message, _messageIsError, _messageUntil);
    _limiterLight->Draw();
    glPopMatrix();
    glFlush();
    glutSwapBuffers();
}

bool App::MayBuildTexture()
{
    return _pacer->MayBuildTexture();
}

void App::DrawString(double x, double y, double z, const char* text, double scale)
{
    glPushMatrix();
    glTranslatef(x, _winHeight - y, z);
    glScalef(0.001 * scale, 0.001 * scale, 0.001);
    for (const char* c = text; *c; c++)
        glutStrokeCharacter(GLUT_STROKE_MONO_ROMAN, *c);
    glPopMatrix();
}

void App::DrawString2(double x, double y, double z, const char* text, double scale)
{
    glPushMatrix();
    glTranslatef(x, _winHeight - y, z);
    glScalef(scale, scale, 1);
    for (const char* c = text; *c; c++)
        glutStrokeCharacter(GLUT_STROKE_MONO_ROMAN, *c);
    glPopMatrix();
}

void App::OnReshape(int w, int h)
{
    _mutex->lock();
    glViewport(0, 0, w, h);
    SetWinSize(w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, _winWidth, 0, _winHeight, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    ApplyModelViewOffset();
    glutPostRedisplay();
    _mutex->unlock();
}

void App::OnIdle()
{
    QuitOnOutsideRequest();
    // Before any quit: a saved scene is never left unwritten.
    WritePendingSession();
    // Once quitting, the window is gone and there is nothing to redraw.
    if (QuitIfRequested())
        return;
    _pacer->WaitForNextFrame(_loading, _loader->GetProgress());
    FinishLoadingIfDone();
    // Engines are made and freed outside the scene lock, handed over under it.
    ForEachEnginePool(&SpectralEnginePool::Prepare);
    _mutex->lock();
    ForEachEnginePool(&SpectralEnginePool::Install);
    UpdateMidiIn();
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

void App::SetWindowedMode()
{
    SetWinSize(int(0.6 * _screenWidth), int(0.6 * _screenHeight));
    glutReshapeWindow(_winWidth, _winHeight);
    glutPositionWindow(_screenWidth / 2 - _winWidth / 2, _screenHeight / 2 - _winHeight / 2);
}

void App::ToggleFullScreen()
{
    if (_isFullScreen) {
        SetWindowedMode();
        _isFullScreen = false;
    } else {
        glutFullScreen();
        _isFullScreen = true;
    }
}

void App::NextStyle()
{
    _styleManager->NextStyle();
    UpdateStyle();
}

void App::PrevStyle()
{
    _styleManager->PrevStyle();
    UpdateStyle();
}

int App::GetStyleNum() const
{
    return _styleManager != nullptr ? _styleManager->GetCurrentStyleNum() : -1;
}

void App::UpdateStyle()
{
    _style = _styleManager->GetCurrentStyle();
    for (SoundRect* rect : _soundRects)
        rect->GetUI()->UpdateStyle(_style);
    for (Source* source : _sources)
        source->GetUI()->UpdateStyle(_style);
    _windows->UpdateStyle(_style);
    if (!_windowCreated)
        return;
    double background[4];
    _style->GetBackgroundColor(background);
    glClearColor(background[0], background[1], background[2], background[3]);
    glutPostRedisplay();
}

void App::TranslatePositionX(double pixels)
{
    _position._x += pixels / _winWidth;
}

void App::TranslatePositionY(double pixels)
{
    _position._y += pixels / _winHeight;
}

void App::SendNoteOn(int note)
{
    if (_midiOut != nullptr)
        _midiOut->SendNoteOn(note);
}

void App::SendNoteOff(int note)
{
    if (_midiOut != nullptr)
        _midiOut->SendNoteOff(note);
}
