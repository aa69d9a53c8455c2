#include "app/AudioEngine.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <stk/Mutex.h>

#include "app/App.h"
#include "app/BounceRecorder.h"
#include "app/CommandLine.h"
#include "app/DenormalsFlushed.h"
#include "app/JackStream.h"
#include "app/LoadMeter.h"
#include "app/MyRtAudio.h"
#include "app/SourceReleases.h"
#include "app/Time.h"
#include "effects/DcBlocker.h"
#include "effects/EffectsBox.h"
#include "effects/SafetyLimiter.h"
#include "midi/MidiLearn.h"
#include "sound/EngineRate.h"
#include "sources/Source.h"

namespace {

const char* BOUNCE_DIR = "./bounces";

static_assert(AudioEngine::MAX_BLOCK_FRAMES >= JackStream::MAX_FRAMES, "every JACK period renders");

}  // namespace

AudioEngine::AudioEngine(App* app, stk::Mutex* sceneLock, SourceReleases* releases)
    : _app(app), _sceneLock(sceneLock), _releases(releases), _stream(nullptr), _streamLost(false), _rateChanged(false),
      _stopped(false), _blockSize(1024), _assumedInputs(0), _dcBlocker(new DcBlocker(EngineRate::Get())),
      _limiter(new SafetyLimiter(EngineRate::Get())), _loadMeter(new LoadMeter()), _soundingGrains(0),
      _bounceRecorder(new BounceRecorder()), _bouncing(false), _sourcesSounding(false), _titleFadeFrames(0)
{
    memset(_bounceFileName, 0, sizeof(_bounceFileName));
    // Room for the longest block, made once: a new period, however long,
    // is taken between two blocks without anything being made on the audio
    // thread.
    _tmpBuf.reserve(2 * size_t(MAX_BLOCK_FRAMES));
    _releaseBuf.reserve(2 * size_t(MAX_BLOCK_FRAMES));
}

AudioEngine::~AudioEngine()
{
    // The app stops the stream before it goes; this one is only ever idle.
    delete _stream;
    delete _dcBlocker;
    delete _limiter;
    delete _bounceRecorder;
    delete _loadMeter;
}

unsigned AudioEngine::ChooseRate(const Options& options, std::string* error)
{
    try {
        MyRtAudio probe(0, 2, 0, nullptr, RTAUDIO_FLOAT32, false, options.audioApi, options.audioDevice);
        return probe.ChooseRate(options.rate);
    } catch (RtAudioError& e) {
        *error = e.getMessage();
        return 0;
    }
}

bool AudioEngine::StartStream(RtAudioCallback callback, const Options& options, std::string* error)
{
    if (OpenStream(callback, options, error))
        return true;
    // Tried again as a lost stream is: the device may be freed, the server started.
    _streamLost = true;
    _lastReopen = std::chrono::steady_clock::now();
    return false;
}

AudioEngine::StreamChange AudioEngine::KeepStreamOpen(RtAudioCallback callback, const Options& options)
{
    const auto now = std::chrono::steady_clock::now();
    if (!_streamLost) {
        if (_rateChanged) {
            _rateChanged = false;
            return STREAM_NEW_RATE;
        }
        if (_stream == nullptr)
            return STREAM_UNCHANGED;
        if (!_stream->IsOpen()) {
            _streamLost = true;
            _lastReopen = now;
            return STREAM_LOST;
        }
        if (_stream->GetBufferSize() == _blockSize)
            return STREAM_UNCHANGED;
        // The blocks of the new size already run: the engine takes any size.
        _blockSize = _stream->GetBufferSize();
        return STREAM_NEW_PERIOD;
    }
    if (now - _lastReopen < std::chrono::duration<double>(REOPEN_SECONDS))
        return STREAM_UNCHANGED;
    _lastReopen = now;
    CloseStream();
    std::string error;
    if (!OpenStream(callback, options, &error))
        return STREAM_UNCHANGED;
    _streamLost = false;
    return STREAM_BACK;
}

bool AudioEngine::OpenStream(RtAudioCallback callback, const Options& options, std::string* error)
{
    _blockSize = options.blockSize;
    try {
        // Up to two input channels, for the live rects.
        _stream = new MyRtAudio(2, 2, unsigned(EngineRate::Get()), &_blockSize, RTAUDIO_FLOAT32, true, options.audioApi,
                                options.audioDevice);
        _stream->OpenStream(callback);
        // A JACK server started anew at another rate: no block renders yet,
        // so the engine's rate may change here.
        const unsigned rate = _stream->GetSampleRate();
        if (rate != unsigned(EngineRate::Get())) {
            EndBounceAtNewRate();
            EngineRate::Set(rate);
            _rateChanged = true;
        }
        _dcBlocker->SetSampleRate(rate);
        _limiter->SetSampleRate(rate);
        _blockSize = _stream->GetBufferSize();
        ReportBlockSize(options);
        _stream->StartStream();
        _stream->ReportStreamLatency();
    } catch (RtAudioError& e) {
        *error = e.getMessage();
        CloseStream();
        return false;
    }
    return true;
}

std::string AudioEngine::DescribeStream() const
{
    const double rate = EngineRate::Get();
    char text[160];
    snprintf(text, sizeof(text), "Audio: %s, %.0f Hz, %u frames per block (%.1f ms)",
             _stream != nullptr ? _stream->GetApiName().c_str() : "none", rate, _blockSize, 1000.0 * _blockSize / rate);
    return text;
}

void AudioEngine::ReportBlockSize(const Options& options) const
{
    printf("%s\n", DescribeStream().c_str());
    if (_stream->ServerSetsBlockSize()) {
        printf("The JACK server's period sets the block size%s\n",
               options.blockSizeGiven && options.blockSize != _blockSize ? ": --block is not taken" : "");
        if (options.rate != 0 && options.rate != unsigned(EngineRate::Get()))
            printf("The JACK server's rate is the engine's: --rate %u is not taken\n", options.rate);
    } else if (options.blockSize != _blockSize) {
        printf("The audio system gave %u frames per block instead of the %u asked for\n", _blockSize,
               options.blockSize);
    }
}

bool AudioEngine::CloseStream()
{
    // A stream the audio system does not let go of is let go of in turn,
    // never deleted under its thread.
    const bool closed = _stream == nullptr || _stream->CloseWithin(CLOSE_SECONDS);
    if (closed)
        delete _stream;
    _stream = nullptr;
    return closed;
}

bool AudioEngine::StopStream()
{
    _sceneLock->lock();
    _stopped = true;
    _sceneLock->unlock();
    // Nothing writes to the recording any more, whatever the stream does.
    _bounceRecorder->Stop();
    // The load is told once, by the stream's end, and not by a run that never played.
    if (_stream == nullptr)
        return true;
    const bool jack = _stream->ServerSetsBlockSize();
    const unsigned long xruns = _stream->GetXruns();
    const bool closed = CloseStream();
    char load[80];
    _loadMeter->Describe(load, sizeof(load));
    printf("Audio %s\n", load);
    if (jack)
        printf("The JACK server missed %lu cycles (xruns)\n", xruns);
    return closed;
}

unsigned int AudioEngine::GetNumInputs() const
{
    return _stream != nullptr ? _stream->GetNumInputs() : _assumedInputs;
}

std::string AudioEngine::DescribeInput() const
{
    if (_stream != nullptr)
        return _stream->DescribeInput();
    return "The live rects record the audio input, " + std::to_string(_assumedInputs) +
           (_assumedInputs == 1 ? " channel" : " channels");
}

void AudioEngine::RenderBlock(float* out, const float* in, unsigned int nFrames)
{
    // Whichever thread the audio system calls from: tails that die away in
    // the chains end at zero instead of in slow denormals.
    const DenormalsFlushed flushed;
    _loadMeter->Start();
    _sceneLock->lock();
    size_t numSamples = 2 * size_t(nFrames);
    if (_stopped || nFrames > MAX_BLOCK_FRAMES) {
        std::fill(out, out + numSamples, 0.0f);
        _sceneLock->unlock();
        return;
    }
    // Knobs turned since the last block reach this one.
    _app->GetMidiLearn()->DrainInAudio();
    if (in != nullptr)
        _app->CaptureInput(in, GetNumInputs(), nFrames);
    std::fill(out, out + numSamples, 0.0f);
    // A new block size, within the room made at the start.
    _tmpBuf.resize(numSamples);
    _releaseBuf.resize(numSamples);
    if (!_app->GetMenuFlag()) {
        MixSources(out, nFrames);
        _sourcesSounding = true;
        _titleFadeFrames = 0;
    } else if (_sourcesSounding) {
        // The title screen has come up: the sources sound on, fading out,
        // instead of stopping dead, for as many blocks as the fade takes.
        MixSources(out, nFrames);
        SourceReleases::FadeOut(out, nFrames, _titleFadeFrames);
        _titleFadeFrames += nFrames;
        _sourcesSounding = _titleFadeFrames < SourceReleases::FadeFrames();
    } else {
        _releases->Drop();
    }
    // The master chain runs on the title screen too, so its tails die away.
    std::copy(out, out + numSamples, _tmpBuf.begin());
    _app->GetMasterEffectsBox()->Process(&_tmpBuf, int(nFrames), 2);
    std::copy(_tmpBuf.begin(), _tmpBuf.end(), out);
    // Last on the way out, so that the device and the bounce both get finite
    // samples within full scale and no offset, whatever a source, an effect
    // or a knob did; the offset goes first, so the limiter's room is the
    // sound's.
    _dcBlocker->Process(out, int(nFrames));
    _limiter->Process(out, int(nFrames));
    Time::Instance()->AddSeconds(nFrames / EngineRate::Get());
    if (_bounceRecorder->IsRecording())
        _bounceRecorder->Write(out, numSamples);
    _sceneLock->unlock();
    _loadMeter->Stop(nFrames);
}

void AudioEngine::MixSources(float* out, unsigned int nFrames)
{
    const std::vector<Source*>& sources = _app->GetSources();
    const std::vector<std::vector<Source*>>& noteSources = _app->GetNoteSources();
    unsigned sounding = 0;
    for (size_t i = 0; i < sources.size(); i++) {
        std::fill(_tmpBuf.begin(), _tmpBuf.end(), 0.0f);
        const std::vector<Source*>& notes = noteSources[i];
        // A source whose notes are playing keeps time silently; its notes
        // sound instead. Back from them mid-grain, it fades in rather than
        // stepping in while the last note fades out.
        Source* source = sources[i];
        const bool silent = !notes.empty();
        source->NextBuffer(silent ? nullptr : &_tmpBuf, nFrames);
        if (silent) {
            source->KeepSilent();
        } else {
            SourceReleases::FadeIn(_tmpBuf.data(), nFrames, source->GetFramesHeardAgain());
            source->AddFramesHeard(nFrames);
            // A source kept silent under its notes is not heard; they are.
            sounding += source->CountSoundingGrains();
        }
        for (Source* note : notes) {
            note->NextBuffer(&_tmpBuf, nFrames);
            sounding += note->CountSoundingGrains();
        }
        EffectsBox* chain = source->GetEffectsBox();
        _releases->RenderInto(chain, &_tmpBuf, &_releaseBuf, nFrames);
        chain->Process(&_tmpBuf, int(nFrames), 2);
        for (size_t k = 0; k < _tmpBuf.size(); k++)
            out[k] += _tmpBuf[k];
    }
    _releases->RenderRest(out, &_tmpBuf, &_releaseBuf, nFrames);
    _soundingGrains.store(sounding, std::memory_order_relaxed);
}

bool AudioEngine::IsBouncing() const
{
    return _bounceRecorder->IsRecording();
}

AudioEngine::BounceToggle AudioEngine::ToggleBounce()
{
    if (_bouncing) {
        _bouncing = false;
        memset(_bounceFileName, 0, sizeof(_bounceFileName));
        _bounceRecorder->Finish();
        return BOUNCE_STOPPED;
    }
    if (_bounceRecorder->IsFinishing())
        return BOUNCE_BUSY;
    return StartBounce() ? BOUNCE_STARTED : BOUNCE_FAILED;
}

void AudioEngine::EndBounceAtNewRate()
{
    // Its WAV header says the rate it began at, which the blocks to come
    // would not have.
    if (!_bouncing)
        return;
    std::cerr << "The recording " << _bounceFileName << " ends: the audio system's rate changed (F11 starts a new one)"
              << std::endl;
    ToggleBounce();
}

bool AudioEngine::StartBounce()
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
        return false;
    }
    _bouncing = true;
    return true;
}
