#include "app/App.h"

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <dirent.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <iostream>
#include <stk/Mutex.h>
#include <thread>

#include "app/AppControl.h"
#include "app/BounceRecorder.h"
#include "app/LoadMeter.h"
#include "app/MyRtAudio.h"
#include "app/QuitSignals.h"
#include "app/SourceReleases.h"
#include "app/Time.h"
#include "app/WindowLossWatch.h"
#include "effects/EffectsBox.h"
#include "effects/SafetyLimiter.h"
#include "midi/MidiLearn.h"
#include "midi/MyRtMidiIn.h"
#include "midi/MyRtMidiOut.h"
#include "midi/OscServer.h"
#include "midi/RateLimitedReport.h"
#include "sound/AnalysisCache.h"
#include "sound/AudioFile.h"
#include "sound/AudioFileSet.h"
#include "sound/LoadProgress.h"
#include "sound/SoundLoader.h"
#include "sound/SoundRect.h"
#include "sound/SpectralEnginePool.h"
#include "sources/Source.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"
#include "ui/UIPieMenu.h"
#include "ui/UIScreen.h"
#include "ui/UISoundRect.h"
#include "ui/UISource.h"
#include "ui/UIStyle.h"
#include "ui/UIStyleManager.h"
#include "ui/UIWindow.h"

namespace {

const unsigned int SAMPLE_RATE = 44100;
const char* BOUNCE_DIR = "./bounces";
// Redraws per second: smooth animation at a fraction of the cost of drawing flat out.
const int FRAME_RATE = 60;
// Lost recording samples are said in red whatever the style.
const double WARNING_COLOR[4] = {1.0, 0.25, 0.2, 1.0};
const int LOADING_FRAME_RATE = 5;
const int TEXTURES_PER_FRAME = 1;

// The application that the toolkit and audio callbacks are forwarded to.
App* callbackTarget = nullptr;

void displayFunc()
{
    callbackTarget->OnDisplay();
}
void reshapeFunc(int w, int h)
{
    callbackTarget->OnReshape(w, h);
}
void idleFunc()
{
    callbackTarget->OnIdle();
}
void mouseFunc(int button, int state, int x, int y)
{
    callbackTarget->OnMouse(button, state, x, y);
}
void mouseDragFunc(int x, int y)
{
    callbackTarget->OnMouseDrag(x, y);
}
void mousePassiveMotionFunc(int x, int y)
{
    callbackTarget->OnMousePassiveMotion(x, y);
}
void keyboardFunc(unsigned char key, int x, int y)
{
    callbackTarget->OnKeyboard(key, x, y);
}
void keyUpFunc(unsigned char key, int x, int y)
{
    callbackTarget->OnKeyUp(key, x, y);
}
void mouseWheelFunc(int wheel, int direction, int x, int y)
{
    callbackTarget->OnMouseWheel(wheel, direction, x, y);
}
void specialFunc(int key, int x, int y)
{
    callbackTarget->OnSpecialKey(key, x, y);
}
void specialUpFunc(int key, int x, int y)
{
    callbackTarget->OnSpecialKeyUp(key, x, y);
}
void closeFunc()
{
    callbackTarget->OnWindowClose();
}

int audioCallback(void* outputBuffer, void* inputBuffer, unsigned int nFrames, double streamTime,
                  RtAudioStreamStatus status, void* userData)
{
    return callbackTarget->OnAudio(outputBuffer, inputBuffer, nFrames, streamTime, status, userData);
}

// A slow alpha pulse for the title and banner texts.
double Pulse(double radPerSec)
{
    return 0.6 + 0.2 * sin(radPerSec * Time::Instance()->GetSeconds());
}

void SetColor(const double rgba[4], double alphaFactor)
{
    glColor4f(rgba[0], rgba[1], rgba[2], rgba[3] * alphaFactor);
}

}  // namespace

App::App()
    : _audio(nullptr), _audioPath("./loops/"), _blockSize(1024), _sampTimeSec(1.0 / SAMPLE_RATE), _zoom(1.0),
      _selectionMode(SOURCE), _dragMode(0), _selectedSource(-1), _selectedRect(-1), _menuFlag(true), _screenWidth(0),
      _screenHeight(0), _winWidth(0), _winHeight(0), _isFullScreen(false), _screen(nullptr), _styleManager(nullptr),
      _style(nullptr), _pieMenu(nullptr), _grainLFOWindow(nullptr), _grainLFOCanvas(nullptr),
      _envelopeTypeWindow(nullptr), _envelopeTypeCanvas(nullptr), _effectsWindow(nullptr), _effectsCanvas(nullptr),
      _effectsWindowChain(nullptr), _xMoveSpeed(10), _yMoveSpeed(10), _audioBounce(false), _bounceRecorder(nullptr),
      _fps(FRAME_RATE), _displayHelp(false), _control(nullptr), _fileSet(nullptr), _midiIn(nullptr), _midiOut(nullptr),
      _midiLearn(nullptr), _oscReport(nullptr), _osc(nullptr), _masterEffectsBox(nullptr), _limiter(nullptr),
      _limitedFramesSeen(0), _releases(nullptr), _sourcesSounding(false), _loading(false), _texturesBuiltThisFrame(0),
      _midiPort(0), _progress(new LoadProgress()), _cache(nullptr), _mutex(nullptr), _quitRequested(false),
      _exitStatus(0), _virtualPitch(0), _windowCreated(false), _sessionSavePending(false), _messageIsError(false)
{
    _isEditingParamString = false;
    memset(_bounceFileName, 0, sizeof(_bounceFileName));
    _mutex = new stk::Mutex();
    _control = new AppControl(this);
    _screen = new UIScreen(this);
    // Holds no drawing state, so it can exist before the window does.
    _pieMenu = new UIPieMenu(this, _screen);
    _midiLearn = new MidiLearn(this);
    _midiIn = new MyRtMidiIn();
    _midiIn->SetControlQueue(_midiLearn->GetQueue());
    _midiOut = new MyRtMidiOut();
    _oscReport = new RateLimitedReport();
    _osc = new OscServer(_oscReport);
    _bounceRecorder = new BounceRecorder();
    _loadMeter = new LoadMeter();
    _releases = new SourceReleases();
    // Built here rather than at start-up so that the audio path is whole
    // from the first block on, in the program and in tests alike.
    _masterEffectsBox = new EffectsBox();
    _limiter = new SafetyLimiter(SAMPLE_RATE);
    callbackTarget = this;
}

App::~App()
{
    if (_loader.joinable()) {
        _progress->Cancel();
        _loader.join();
    }
    // Whatever way the process ends, the audio thread stops before the scene it plays goes.
    Clean();
    ReleaseScene();
    // Whatever Clean has not released yet.
    DeleteFloatingWindows();
    delete _pieMenu;
    delete _styleManager;
    delete _midiIn;
    delete _midiOut;
    delete _osc;
    delete _oscReport;
    delete _midiLearn;
    delete _masterEffectsBox;
    delete _limiter;
    delete _bounceRecorder;
    delete _loadMeter;
    delete _control;
    delete _screen;
    delete _mutex;
    delete _fileSet;
    delete _releases;
    delete _progress;
    delete _cache;
}

void App::ReleaseScene()
{
    _midiLearn->Reset();
    // Note copies first: their voices read their origin's envelopes.
    for (size_t i = _sources.size(); i-- > 0;)
        ReleaseSource(i);
    // No block will play them out any more.
    _releases->FreeAll();
    for (SoundRect* rect : _soundRects) {
        // A chromagram reads its spectrogram's columns, so it goes first.
        for (int k = 0; k < SoundRect::MAX_SPECTRAL_CHANNELS; k++) {
            delete rect->GetChromagram(k);
            delete rect->GetSpectrogram(k);
        }
        delete rect->GetUI();
        delete rect;
    }
    _soundRects.clear();
    _samplesProviders.clear();
}

void App::SetWinSize(int w, int h)
{
    _winWidth = w;
    _winHeight = h;
}

bool App::Init(int midiPort)
{
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
    BuildFloatingWindows();

    InitRenderer();
    RegisterCallbacks();

    // A missing folder ends the start-up here, as before any window work.
    DIR* audioDir = opendir(GetAudioPath().c_str());
    if (audioDir == nullptr) {
        perror("");
        return false;
    }
    closedir(audioDir);
    std::string cacheDir = AnalysisCache::DefaultDir();
    if (!cacheDir.empty())
        _cache = new AnalysisCache(cacheDir);
    _midiPort = midiPort;
    // The clock is made before a second thread could ask for it.
    Time::Instance();
    _loading = true;
    _loader = std::thread(&App::LoadInBackground, this);
    return true;
}

void App::LoadInBackground()
{
    if (ReadSounds())
        AnalyseSounds();
    _progress->Finish();
}

void App::FinishLoadingIfDone()
{
    if (!_loading || !_progress->IsFinished())
        return;
    _loader.join();
    _mutex->lock();
    InstallSounds();
    _loading = false;
    _mutex->unlock();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - _initTime).count();
    printf("Sounds ready in %.2f s\n", seconds);
    if (!StartAudio()) {
        printf("Something went wrong...shouldn't be here\n");
        Clean();
        exit(0);
    }
    if (_midiPort == 0) {
        _midiIn->Open(_midiOut->Open(0));
    } else {
        _midiIn->Open(_midiPort);
    }
    _virtualPitch = 0;
    // Last of the start-up: the saved scene over the installed rects.
    UnSerializeSession();
}

void App::QuitWhileLoading()
{
    // The loading threads stop at their next look at the progress; nothing
    // runs yet that a quit would have to close, and nothing is saved.
    _progress->Cancel();
    fflush(stdout);
    fflush(stderr);
    _exit(1);
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

void App::RegisterCallbacks()
{
    glutIdleFunc(idleFunc);
    glutReshapeFunc(reshapeFunc);
    glutDisplayFunc(displayFunc);
    glutMouseFunc(mouseFunc);
    glutMotionFunc(mouseDragFunc);
    glutPassiveMotionFunc(mousePassiveMotionFunc);
    glutMouseWheelFunc(mouseWheelFunc);
    glutKeyboardFunc(keyboardFunc);
    glutKeyboardUpFunc(keyUpFunc);
    glutSpecialFunc(specialFunc);
    glutSpecialUpFunc(specialUpFunc);
    glutCloseFunc(closeFunc);
}

bool App::LoadSounds()
{
    if (!ReadSounds())
        return false;
    AnalyseSounds();
    InstallSounds();
    return true;
}

bool App::ReadSounds()
{
    _fileSet = new AudioFileSet();
    _fileSet->SetProgress(_progress);
    if (_fileSet->Load(GetAudioPath()) == 1)
        return false;
    _fileSet->Stereoize();
    _fileSet->Normalize();
    _fileSet->Fade();
    _sounds = _fileSet->GetAudioFiles();
    std::cout << "Sounds loaded successfully..." << std::endl;

    _pendingRects.resize(_sounds.size());
    for (size_t i = 0; i < _sounds.size(); i++) {
        AudioFile* sound = _sounds[i];
        SoundRect* rect = new SoundRect();
        UISoundRect* view = new UISoundRect(rect, this, _style, _screen);
        rect->RegisterUI(view);
        view->SetName(sound->GetName().c_str());
        // The loaded sounds live as long as the application: the rect reads them where they are.
        rect->ShareSamples(sound->GetBuffer(), sound->GetNumFrames(), sound->GetNumChannels());
        _pendingRects[i] = rect;
    }
    return true;
}

void App::AnalyseSounds()
{
    // Every channel of every sound becomes a spectrogram and a chromagram,
    // on every core; the waveform pictures are built beside them, and the
    // images pooled once the analysis is there, so that the first frame of
    // the canvas finds them ready.
    std::vector<std::function<void()>> pictures;
    for (SoundRect* rect : _pendingRects)
        pictures.push_back([rect]() { rect->GetUI()->PrepareWaveform(); });
    std::vector<SoundLoader::Analysis> analyses;
    SoundLoader(_cache, _progress).Analyse(_sounds, pictures, &analyses);
    _pendingSpectros.resize(analyses.size());
    _pendingChromas.resize(analyses.size());
    for (size_t i = 0; i < analyses.size(); i++) {
        _pendingSpectros[i] = analyses[i].spectros;
        _pendingChromas[i] = analyses[i].chromas;
    }
    SoundLoader::ParallelFor(analyses.size(), [&](size_t i) {
        if (!analyses[i].spectros.empty() && !_progress->IsCancelled())
            _pendingRects[i]->GetUI()->PrepareImages(analyses[i].spectros[0], analyses[i].chromas[0]);
    });
    // The columns analysed here now live in the cache's mapped pages; the
    // allocator would keep their freed memory for later use otherwise.
    malloc_trim(0);
}

void App::InstallSounds()
{
    for (size_t i = 0; i < _pendingRects.size(); i++) {
        SoundRect* rect = _pendingRects[i];
        _soundRects.push_back(rect);
        _samplesProviders.push_back(rect);
        for (size_t k = 0; k < _pendingSpectros[i].size(); k++)
            rect->AssociateSpectrogram(int(k), _pendingSpectros[i][k]);
        for (size_t k = 0; k < _pendingChromas[i].size(); k++)
            rect->AssociateChromagram(int(k), _pendingChromas[i][k]);
    }
    _pendingRects.clear();
    _pendingSpectros.clear();
    _pendingChromas.clear();
    // Each rect's boxes start on a ring around it.
    for (size_t i = 0; i < _soundRects.size(); i++) {
        _selectedRect = int(i);
        _pieMenu->InitFromParameters();
    }
    _selectedRect = -1;
}

bool App::StartAudio()
{
    _audio = new MyRtAudio(1, 2, SAMPLE_RATE, &_blockSize, RTAUDIO_FLOAT32, true);
    try {
        _audio->OpenStream(audioCallback);
        _blockSize = _audio->GetBufferSize();
        // Sized before the first callback, so that not even that one allocates.
        SizeScratchBlocks(2 * size_t(_blockSize));
        _audio->StartStream();
        _audio->ReportStreamLatency();
    } catch (RtAudioError& e) {
        e.printMessage();
        return false;
    }
    return true;
}

void App::StopAudio()
{
    if (_audio == nullptr)
        return;
    try {
        _audio->StopStream();
        _audio->CloseStream();
    } catch (RtAudioError& e) {
        e.printMessage();
    }
    delete _audio;
    _audio = nullptr;
}

void App::Clean()
{
    WritePendingSession();
    StopAudio();
    _osc->Stop();
    char load[80];
    _loadMeter->Describe(load, sizeof(load));
    printf("Audio %s\n", load);
    // The stream is closed, so nothing writes to the recording any more.
    _bounceRecorder->Stop();
    // The windows point at the style and at the master chain's parameters.
    DeleteFloatingWindows();
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

int App::OnAudio(void* outputBuffer, void*, unsigned int nFrames, double, unsigned int, void*)
{
    _loadMeter->Start();
    _mutex->lock();
    // Knobs turned since the last block reach this one.
    _midiLearn->DrainInAudio();
    float* out = static_cast<float*>(outputBuffer);
    size_t numSamples = 2 * size_t(nFrames);
    std::fill(out, out + numSamples, 0.0f);
    // Sized again only when the stream changes its block size.
    if (_tmpBuf.size() != numSamples)
        SizeScratchBlocks(numSamples);
    if (!_menuFlag) {
        MixSources(out, nFrames);
        _sourcesSounding = true;
    } else if (_sourcesSounding) {
        // The title screen has come up: the sources sound one last block,
        // fading out, instead of stopping dead.
        MixSources(out, nFrames);
        SourceReleases::FadeOut(out, nFrames);
        _sourcesSounding = false;
    } else {
        _releases->Drop();
    }
    // The master chain runs on the title screen too, so its tails die away.
    std::copy(out, out + numSamples, _tmpBuf.begin());
    _masterEffectsBox->Process(&_tmpBuf, int(nFrames), 2);
    std::copy(_tmpBuf.begin(), _tmpBuf.end(), out);
    // Last on the way out, so that the device and the bounce both get finite
    // samples within full scale, whatever a source, an effect or a knob did.
    _limiter->Process(out, int(nFrames));
    Time::Instance()->AddSeconds(nFrames * _sampTimeSec);
    if (_bounceRecorder->IsRecording())
        _bounceRecorder->Write(out, numSamples);
    _mutex->unlock();
    _loadMeter->Stop(nFrames);
    return 0;
}

void App::SizeScratchBlocks(size_t numSamples)
{
    _tmpBuf.resize(numSamples);
    _releaseBuf.resize(numSamples);
}

void App::MixSources(float* out, unsigned int nFrames)
{
    for (size_t i = 0; i < _sources.size(); i++) {
        std::fill(_tmpBuf.begin(), _tmpBuf.end(), 0.0f);
        const std::vector<Source*>& notes = _noteSources[i];
        // A source whose notes are playing keeps time silently; its notes
        // sound instead. Back from them mid-grain, it fades in rather than
        // stepping in while the last note fades out.
        const bool silent = !notes.empty();
        _sources[i]->NextBuffer(silent ? nullptr : &_tmpBuf, nFrames);
        if (!silent && _sources[i]->WasKeptSilent())
            SourceReleases::FadeIn(_tmpBuf.data(), nFrames);
        _sources[i]->SetKeptSilent(silent);
        for (Source* note : notes)
            note->NextBuffer(&_tmpBuf, nFrames);
        EffectsBox* chain = _sources[i]->GetEffectsBox();
        _releases->RenderInto(chain, &_tmpBuf, &_releaseBuf, nFrames);
        chain->Process(&_tmpBuf, int(nFrames), 2);
        for (size_t k = 0; k < _tmpBuf.size(); k++)
            out[k] += _tmpBuf[k];
    }
    _releases->RenderRest(out, &_tmpBuf, nFrames);
}

bool App::IsBouncing() const
{
    return _bounceRecorder->IsRecording();
}

void App::ToggleAudioBounce()
{
    if (_audioBounce) {
        _audioBounce = false;
        memset(_bounceFileName, 0, sizeof(_bounceFileName));
        _bounceRecorder->Stop();
    } else {
        StartBounce();
    }
}

void App::StartBounce()
{
    snprintf(_bounceFileName, sizeof(_bounceFileName), "%s/bounce-%ld-%d.raw", BOUNCE_DIR, long(time(nullptr)),
             rand() % 1000000);
    if (mkdir(BOUNCE_DIR, 0755) != 0 && errno != EEXIST) {
        std::cerr << "Cannot create the folder " << BOUNCE_DIR << ": " << strerror(errno) << std::endl;
    }
    if (!_bounceRecorder->Start(_bounceFileName)) {
        // Say so, and stay off, so that nobody believes a recording is running.
        std::cerr << "Cannot record: the file " << _bounceFileName << " cannot be created (" << strerror(errno) << ")"
                  << std::endl;
        memset(_bounceFileName, 0, sizeof(_bounceFileName));
        return;
    }
    _audioBounce = true;
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
        DrawTitle();
        DrawLoadProgress();
    } else if (_menuFlag) {
        DrawTitle();
        DrawHelp(false);
    } else {
        _texturesBuiltThisFrame = 0;
        for (SoundRect* rect : _soundRects)
            rect->GetUI()->Draw();
        for (Source* source : _sources)
            source->GetUI()->Draw();
        if (IsBouncing())
            DrawBounceFile();
        if (_displayHelp)
            DrawHelp(true);
        DrawFloatingWindows();
        DrawLoadMeter();
        // Last, over everything else.
        _pieMenu->Draw();
    }
    // Shown until the next recording starts, on the title screen too.
    if (_bounceRecorder->GetLostSamples() > 0)
        DrawBounceLoss();
    DrawMessage();
    DrawLimiterIndicator();
    glPopMatrix();
    glFlush();
    glutSwapBuffers();
}

void App::DrawTitle()
{
    glPushMatrix();
    glLoadIdentity();
    glLineWidth(_style->GetTitleLineWidth());
    double color[4];
    char appName[512];
    _style->GetAppName(appName);
    double x = _winWidth / 2.0 + 0.2 * _winWidth;
    _style->GetTitleAColorCoeff(color);
    SetColor(color, Pulse(2.5132741928100586));
    DrawString(x, _winHeight / 2.0, 0.5, appName, 0.1 * _winWidth);
    _style->GetTitleInsColorCoeff(color);
    // A click starts nothing until the sounds are there.
    if (!_loading) {
        SetColor(color, Pulse(2.827433466911316));
        DrawString(x + 10, _winHeight / 2.0 + 30, 0.5, "CLICK TO START", 0.04 * _winWidth);
    }
    SetColor(color, Pulse(3.1415927410125732));
    DrawString(x + 10, _winHeight / 2.0 + 50, 0.5, "ESCAPE TO QUIT", 0.04 * _winWidth);
    glPopMatrix();
}

bool App::MayBuildTexture()
{
    if (_texturesBuiltThisFrame >= TEXTURES_PER_FRAME)
        return false;
    _texturesBuiltThisFrame++;
    return true;
}

void App::DrawLoadProgress()
{
    // A bar across the bottom of the window and, above it, what is being done.
    const double left = 0.1 * _winWidth;
    const double right = 0.9 * _winWidth;
    const double bottom = 0.05 * _winHeight;
    const double top = bottom + std::max(6.0, 0.02 * _winHeight);
    const double fraction = std::clamp(_progress->GetFraction(), 0.0, 1.0);
    glPushMatrix();
    glLoadIdentity();
    double color[4];
    _style->GetTitleInsColorCoeff(color);
    SetColor(color, 1.0);
    glBegin(GL_QUADS);
    glVertex3d(left, bottom, 0.5);
    glVertex3d(left + (right - left) * fraction, bottom, 0.5);
    glVertex3d(left + (right - left) * fraction, top, 0.5);
    glVertex3d(left, top, 0.5);
    glEnd();
    glLineWidth(1.0f);
    glBegin(GL_LINE_LOOP);
    glVertex3d(left, bottom, 0.5);
    glVertex3d(right, bottom, 0.5);
    glVertex3d(right, top, 0.5);
    glVertex3d(left, top, 0.5);
    glEnd();
    glLineWidth(_style->GetHelpLineWidth());
    std::string text = _progress->GetText();
    DrawString(left, _winHeight - top - 0.02 * _winHeight, 0.5, text.c_str(), 0.06 * _winWidth);
    glPopMatrix();
}

void App::DrawHelp(bool overlay)
{
    glPushMatrix();
    glLoadIdentity();
    double color[4];
    if (overlay) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        _style->GetHelpBackgroundColor(color);
        SetColor(color, 1.0);
        glBegin(GL_QUADS);
        glVertex2f(0, 0);
        glVertex2f(_winWidth, 0);
        glVertex2f(_winWidth, _winHeight);
        glVertex2f(0, _winHeight);
        glEnd();
    }
    glLineWidth(_style->GetHelpLineWidth());
    _style->GetHelpInsColor(color);
    SetColor(color, 1.0);
    const char** lines = overlay ? _control->GetCommandsShort() : _control->GetCommands();
    int count = overlay ? _control->GetNumCommandsShort() : _control->GetNumCommands();
    double x = (overlay ? 0.02 : 0.1) * _winWidth;
    for (int i = 0; i < count; i++) {
        DrawString(x, 0.15 * _winHeight + i * 0.01 * _winWidth, 0.5, lines[i], 0.06 * _winWidth);
    }
    glPopMatrix();
}

void App::DrawBounceFile()
{
    double color[4];
    _style->GetParamColor(color);
    SetColor(color, Pulse(2.5132741928100586));
    char text[300];
    snprintf(text, sizeof(text), "*** Bouncing to: %s ***", _bounceFileName);
    glPushMatrix();
    glTranslatef(_winWidth * _position._x, _winHeight * _position._y, 0);
    DrawString(0.02 * _winWidth, _winHeight - 0.02 * _winHeight, 0.5, text, 0.1 * _winWidth);
    glPopMatrix();
}

void App::DrawBounceLoss()
{
    SetColor(WARNING_COLOR, Pulse(2.5132741928100586));
    std::string text = "*** Recording: " + _bounceRecorder->DescribeLoss() + " ***";
    glPushMatrix();
    glTranslatef(_winWidth * _position._x, _winHeight * _position._y, 0);
    DrawString(0.02 * _winWidth, _winHeight - 0.06 * _winHeight, 0.5, text.c_str(), 0.1 * _winWidth);
    glPopMatrix();
}

void App::DrawMessage()
{
    if (_message.empty() || std::chrono::steady_clock::now() > _messageUntil)
        return;
    double color[4];
    if (_messageIsError)
        _style->GetTitleAColorCoeff(color);
    else
        _style->GetParamColor(color);
    SetColor(color, 1.0);
    glPushMatrix();
    glLoadIdentity();
    DrawString(0.02 * _winWidth, _winHeight - 0.05 * _winHeight, 0.5, _message.c_str(), 0.08 * _winWidth);
    glPopMatrix();
}

void App::DrawLimiterIndicator()
{
    // Lit while the safety limiter works, and a moment longer, so that a
    // single loud grain is seen too.
    const auto hold = std::chrono::milliseconds(500);
    auto now = std::chrono::steady_clock::now();
    uint64_t limited = _limiter->GetLimitedFrames();
    if (limited != _limitedFramesSeen) {
        _limitedFramesSeen = limited;
        _limiterLitUntil = now + hold;
    }
    if (now >= _limiterLitUntil)
        return;
    double color[4];
    _style->GetParamColor(color);
    SetColor(color, 1.0);
    glPushMatrix();
    glLoadIdentity();
    DrawString(_winWidth - 0.07 * _winWidth, 0.03 * _winHeight, 0.5, "LIMIT", 0.1 * _winWidth);
    glPopMatrix();
}

void App::DrawLoadMeter()
{
    char text[80];
    _loadMeter->Describe(text, sizeof(text));
    const double scale = 0.08 * _winWidth;
    // Stroke characters are 104.76 units wide and about 120 high before the scale.
    const double width = strlen(text) * 104.76 * 0.001 * scale, height = 120.0 * 0.001 * scale;
    const double margin = 0.01 * _winWidth, left = _winWidth - width - margin, base = _winHeight - margin;
    glPushMatrix();
    glLoadIdentity();
    // On the help overlay's backing, which every style makes its text readable on.
    double color[4];
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    _style->GetHelpBackgroundColor(color);
    SetColor(color, 1.0);
    glRectd(left - 0.5 * margin, _winHeight - base - 0.5 * margin, _winWidth - 0.5 * margin,
            _winHeight - base + height + 0.5 * margin);
    _style->GetHelpInsColor(color);
    SetColor(color, 1.0);
    glLineWidth(1.0f);
    DrawString(left, base, 0.5, text, scale);
    glPopMatrix();
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
    WaitForNextFrame();
    FinishLoadingIfDone();
    // Engines are made and freed outside the scene lock, handed over under it.
    ForEachEnginePool(&SpectralEnginePool::Prepare);
    _mutex->lock();
    ForEachEnginePool(&SpectralEnginePool::Install);
    UpdateMidiIn();
    UpdateControllers();
    _releases->FreeFinished();
    UpdateLFOWindow();
    UpdateEnvelopeWindow();
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

void App::WaitForNextFrame()
{
    // Without a cap the toolkit redraws as fast as it can and, where drawing
    // is done in software, takes the cores the audio needs. The wait happens
    // outside the scene lock, so the audio callback never waits for a frame.
    if (_fps <= 0)
        return;
    // While the sounds load, the title and the progress bar need only a few
    // frames a second, and drawn in software they would take a core from
    // the analysis.
    int fps = _loading ? LOADING_FRAME_RATE : _fps;
    auto frame = std::chrono::microseconds(1000000 / fps);
    auto now = std::chrono::steady_clock::now();
    // The end of the loading cuts the wait short: the audio starts at once.
    if (_loading && _progress->WaitForFinish(_nextFrameTime))
        return;
    if (now < _nextFrameTime)
        std::this_thread::sleep_until(_nextFrameTime);
    _nextFrameTime = std::max(now, _nextFrameTime) + frame;
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
    for (UIWindow* window : {_grainLFOWindow, _envelopeTypeWindow, _effectsWindow}) {
        if (window != nullptr)
            window->UpdateStyle(_style);
    }
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

void App::OnKeyboard(unsigned char key, int x, int y)
{
    if (_loading) {
        // Only the way out is open until the sounds are there.
        if (key == 27 && (glutGetModifiers() & GLUT_ACTIVE_SHIFT))
            QuitWhileLoading();
        return;
    }
    _mutex->lock();
    _control->OnKeyboard(key, x, y, glutGetModifiers());
    glutPostRedisplay();
    _mutex->unlock();
}

void App::OnKeyUp(unsigned char key, int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    _control->OnKeyUp(key, x, y);
    _mutex->unlock();
}

void App::OnSpecialKey(int key, int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    _control->OnSpecialKey(key, x, y, glutGetModifiers());
    glutPostRedisplay();
    _mutex->unlock();
}

void App::OnSpecialKeyUp(int key, int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    _control->OnSpecialKeyUp(key, x, y);
    glutPostRedisplay();
    _mutex->unlock();
}

void App::OnMouse(int button, int state, int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    if (!IsOverFloatingWindow(x, y))
        _control->OnMouse(button, state, x, y, glutGetModifiers());
    RouteMouseToWindows(button, state, x, y);
    _mutex->unlock();
}

void App::OnMouseDrag(int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    _control->OnMouseDrag(x, y);
    RouteDragToWindows(x, y);
    _mutex->unlock();
}

void App::OnMousePassiveMotion(int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    _control->OnMousePassiveMotion(x, y);
    _mutex->unlock();
}

void App::OnMouseWheel(int wheel, int direction, int x, int y)
{
    if (_loading)
        return;
    _mutex->lock();
    _control->OnMouseWheel(wheel, direction, x, y);
    glutPostRedisplay();
    _mutex->unlock();
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

bool App::QuitIfRequested()
{
    // main cleans up once the loop returns, outside the scene lock: stopping the
    // stream waits for the audio callback, which needs the lock to finish its block.
    if (!_quitRequested)
        return false;
    glutLeaveMainLoop();
    return true;
}

void App::QuitOnOutsideRequest()
{
    if (_quitRequested)
        return;
    int signal = QuitSignals::Pending();
    if (signal != 0) {
        std::cerr << "Signal " << signal << " (" << strsignal(signal) << "): quitting" << std::endl;
        RequestQuit(0);
        return;
    }
    WindowLossWatch::Check();
    if (WindowLossWatch::WindowLost()) {
        std::cerr << "Window destroyed: quitting" << std::endl;
        RequestQuit(0);
    }
}

void App::OnWindowClose()
{
    // The toolkit closes the window on its way out of the loop, whatever ended it.
    if (_quitRequested)
        return;
    std::cerr << "Window closed: quitting" << std::endl;
    RequestQuit(0);
}
