#include "app/BounceRecorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sound/EngineRate.h"

namespace {

const size_t FRAME_BYTES = sizeof(float) * BounceRecorder::CHANNELS;
// A disk that keeps failing to keep up is reported at most this often.
const auto REPORT_INTERVAL = std::chrono::seconds(1);

}  // namespace

BounceRecorder::BounceRecorder(size_t capacityFloats)
    : _ring(new float[capacityFloats]), _capacity(capacityFloats), _readPos(0), _writePos(0), _dropped(0), _failed(0),
      _writeError(0), _running(false), _recording(false), _writing(false), _rate(int(EngineRate::Get())), _rawFd(-1),
      _wav(nullptr), _wavFailed(false), _written(0), _wavWritten(0), _reportedLost(0)
{
}

BounceRecorder::~BounceRecorder()
{
    Stop();
    delete[] _ring;
}

std::string BounceRecorder::WavPathFor(const std::string& rawPath) const
{
    const std::string raw = ".raw";
    if (rawPath.size() > raw.size() && rawPath.compare(rawPath.size() - raw.size(), raw.size(), raw) == 0)
        return rawPath.substr(0, rawPath.size() - raw.size()) + ".wav";
    return rawPath + ".wav";
}

bool BounceRecorder::Start(const std::string& rawPath)
{
    Stop();
    _rawFd = open(rawPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (_rawFd < 0)
        return false;
    _rawPath = rawPath;
    _wavPath = WavPathFor(rawPath);
    SF_INFO info = {};
    _rate = int(EngineRate::Get());
    info.samplerate = _rate;
    info.channels = CHANNELS;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    _wav = sf_open(_wavPath.c_str(), SFM_WRITE, &info);
    _wavFailed = _wav == nullptr;
    if (_wavFailed) {
        fprintf(stderr, "Cannot write the WAV copy %s (%s); the raw recording goes on\n", _wavPath.c_str(),
                sf_strerror(nullptr));
    }
    _readPos = 0;
    _writePos = 0;
    _dropped = 0;
    _failed = 0;
    _writeError = 0;
    _written = 0;
    _wavWritten = 0;
    _reportedLost = 0;
    _running = true;
    _recording = true;
    _writing = true;
    _writer = std::thread(&BounceRecorder::WriterLoop, this);
    return true;
}

void BounceRecorder::Finish()
{
    if (!_recording.load())
        return;
    {
        std::lock_guard<std::mutex> lock(_wakeMutex);
        _running = false;
    }
    _recording = false;
    _wake.notify_one();
}

void BounceRecorder::Stop()
{
    Finish();
    if (_writer.joinable())
        _writer.join();
}

void BounceRecorder::Write(const float* samples, size_t count)
{
    size_t capacity = _capacity;
    size_t write = _writePos.load(std::memory_order_relaxed);
    size_t read = _readPos.load(std::memory_order_acquire);
    // A block is queued whole or not at all, so the file never holds half a frame.
    if (capacity - (write - read) < count) {
        _dropped += count;
        return;
    }
    for (size_t i = 0; i < count; i++)
        _ring[(write + i) % capacity] = samples[i];
    _writePos.store(write + count, std::memory_order_release);
}

size_t BounceRecorder::Drain()
{
    size_t capacity = _capacity;
    size_t read = _readPos.load(std::memory_order_relaxed);
    size_t write = _writePos.load(std::memory_order_acquire);
    size_t pending = write - read;
    while (read != write) {
        // Write the contiguous run up to the end of the ring, then wrap.
        size_t start = read % capacity;
        size_t run = std::min(write - read, capacity - start);
        WriteRaw(&_ring[start], run);
        WriteWav(&_ring[start], run);
        read += run;
        // Frees the room at once for the audio thread.
        _readPos.store(read, std::memory_order_release);
    }
    return pending;
}

void BounceRecorder::WriteRaw(const float* samples, size_t count)
{
    if (_writeError.load() != 0) {
        _failed += count;
        return;
    }
    const char* bytes = reinterpret_cast<const char*>(samples);
    size_t total = count * sizeof(float), done = 0;
    int error = 0;
    while (done < total) {
        ssize_t n = write(_rawFd, bytes + done, total - done);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && errno != EINTR) {
            error = errno;
            break;
        } else if (n == 0) {
            error = EIO;
            break;
        }
    }
    if (error == 0) {
        _written += count;
        return;
    }
    // The file keeps whole frames only; everything from the refused frame on is lost.
    size_t keptBytes = (_written * sizeof(float) + done) / FRAME_BYTES * FRAME_BYTES;
    // A device or a pipe cannot be cut back; the count below holds either way.
    int cutBack = ftruncate(_rawFd, off_t(keptBytes));
    (void)cutBack;
    size_t kept = keptBytes / sizeof(float);
    _failed += _written + count - kept;
    _written = kept;
    _writeError = error;
}

void BounceRecorder::WriteWav(const float* samples, size_t count)
{
    if (_wav == nullptr)
        return;
    if (sf_write_float(_wav, samples, sf_count_t(count)) == sf_count_t(count)) {
        _wavWritten += count;
        return;
    }
    fprintf(stderr, "The WAV copy %s is incomplete (%s); the raw recording goes on\n", _wavPath.c_str(),
            sf_strerror(_wav));
    sf_close(_wav);
    _wav = nullptr;
    _wavFailed = true;
}

std::string BounceRecorder::DescribeLoss() const
{
    size_t lostFrames = GetLostSamples() / CHANNELS;
    int error = GetWriteError();
    char text[256];
    snprintf(text, sizeof(text), "%zu frames (%.2f s) lost: %s", lostFrames, double(lostFrames) / _rate,
             error != 0 ? strerror(error) : "the disk does not keep up");
    return text;
}

void BounceRecorder::ReportLossIfNew()
{
    size_t lost = GetLostSamples();
    if (lost == _reportedLost)
        return;
    auto now = std::chrono::steady_clock::now();
    // The first loss is said at once; a loss that goes on, once a second.
    if (_reportedLost > 0 && now - _lastReport < REPORT_INTERVAL)
        return;
    fprintf(stderr, "Recording %s: %s\n", _rawPath.c_str(), DescribeLoss().c_str());
    _reportedLost = lost;
    _lastReport = now;
}

void BounceRecorder::WriterLoop()
{
    while (_running.load()) {
        bool drained = Drain() > 0;
        ReportLossIfNew();
        if (drained)
            continue;
        std::unique_lock<std::mutex> lock(_wakeMutex);
        _wake.wait_for(lock, std::chrono::milliseconds(10), [this] { return !_running.load(); });
    }
    // No block comes after the end: what the ring holds is the rest.
    Drain();
    CloseFiles();
    ReportEnd();
    _writing = false;
}

void BounceRecorder::CloseFiles()
{
    if (close(_rawFd) != 0 && _writeError.load() == 0) {
        // The last bytes may not have reached the disk: nothing can say how many.
        fprintf(stderr, "Recording %s: closing failed (%s)\n", _rawPath.c_str(), strerror(errno));
    }
    _rawFd = -1;
    if (_wav != nullptr && sf_close(_wav) != 0) {
        fprintf(stderr, "The WAV copy %s could not be completed\n", _wavPath.c_str());
        _wavFailed = true;
    }
    _wav = nullptr;
}

void BounceRecorder::ReportEnd()
{
    size_t lost = GetLostSamples();
    size_t frames = (_written + lost) / CHANNELS;
    if (lost > 0) {
        fprintf(stderr, "Recording %s ended: of %zu frames, %s\n", _rawPath.c_str(), frames, DescribeLoss().c_str());
    }
    if (RemoveEmptyFiles())
        return;
    if (_wavFailed) {
        fprintf(stderr, "Recorded %zu frames to %s (no complete WAV copy)\n", _written / CHANNELS, _rawPath.c_str());
    } else {
        printf("Recorded %zu frames to %s and %s\n", _written / CHANNELS, _rawPath.c_str(), _wavPath.c_str());
    }
}

bool BounceRecorder::RemoveEmptyFiles()
{
    // A file without a single frame is only clutter that no tool opens.
    const bool rawEmpty = _written < size_t(CHANNELS), wavEmpty = _wavWritten < size_t(CHANNELS);
    if (rawEmpty)
        unlink(_rawPath.c_str());
    if (wavEmpty)
        unlink(_wavPath.c_str());
    if (rawEmpty && wavEmpty) {
        fprintf(stderr, "Recording %s: not a single frame was written; no file is kept\n", _rawPath.c_str());
    } else if (rawEmpty) {
        fprintf(stderr, "Recorded %zu frames to %s only; %s could not take any and is removed\n",
                _wavWritten / CHANNELS, _wavPath.c_str(), _rawPath.c_str());
    }
    return rawEmpty;
}
