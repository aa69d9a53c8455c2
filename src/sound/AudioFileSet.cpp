#include "sound/AudioFileSet.h"

#include <dirent.h>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <thread>
#include <utility>

#include "sound/AnalysisCache.h"
#include "sound/AudioFile.h"
#include "sound/ContentHash.h"
#include "sound/ConvertedSoundEntry.h"
#include "sound/FreeMemory.h"
#include "sound/LoadProgress.h"
#include "sound/Resampler.h"
#include "sound/SampleFingerprint.h"
#include "sound/SoundLoader.h"
#include "spectral/DSP.h"
#include "spectral/Stereoizer.h"

namespace {
// Large enough that the library's calls cost little, small enough to stay in
// the core's cache between the read and the copy into the sound.
const sf_count_t READ_CHUNK_FRAMES = 16384;
// What a header may make the loader reserve before any data has been read:
// the frames it claims, but never more than one per byte of the file (every
// uncompressed format takes at least that), or this many for a small file.
const sf_count_t RESERVE_LIMIT_FRAMES = 1 << 22;
// Loaded sounds sit 6 dB below full scale, leaving room for the mix.
const float READ_SCALE = 0.5f;
// The fades at the ends of every sound, 2.9 ms, as many frames at the reference rate.
const double FADE_REFERENCE_FRAMES = 128.0;
const double STEREO_WIDTH = 1.0;
// No sound is recorded at fewer frames per second; the filters that would
// raise a header's 6 Hz to the engine's rate take gigabytes.
const int MIN_SAMPLE_RATE = 1000;
const char NOT_REGULAR[] = "Not a regular file (a folder, pipe, device or socket): skipped unread.";

bool IsSkippedEntry(const std::string& name)
{
    return name == "." || name == ".." || name == ".DS_Store";
}
}  // namespace

AudioFileSet::AudioFileSet() : _progress(nullptr)
{
}

AudioFileSet::~AudioFileSet()
{
    for (AudioFile* file : _fileSet)
        delete file;
}

int AudioFileSet::Load(const std::string& dirPath, double targetRate, AnalysisCache* cache)
{
    DIR* dir = opendir(dirPath.c_str());
    if (dir == nullptr) {
        perror("");
        return 1;
    }
    // Listed first, so that the progress can say how many files there are.
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (!IsSkippedEntry(name))
            names.push_back(name);
    }
    closedir(dir);
    // Byte order of the names, not the file system's: a folder and its copy
    // give the same sounds in the same places.
    std::sort(names.begin(), names.end());
    for (size_t i = 0; i < names.size(); i++) {
        if (_progress != nullptr)
            _progress->SetReading(names[i], (int)i, (int)names.size());
        LoadFile(names[i], dirPath + names[i], targetRate, cache);
    }
    return 0;
}

int AudioFileSet::OpenRegularFile(const std::string& name, const std::string& path)
{
    // A pipe, a device or a socket is never opened: reading one could wait
    // for ever, or take what another program expects.
    struct stat entry;
    if (stat(path.c_str(), &entry) == 0 && !S_ISREG(entry.st_mode)) {
        ReportRefused(name, NOT_REGULAR);
        return -1;
    }
    // Without waiting, and checked again once open, in case the entry was
    // replaced meanwhile.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ReportRefused(name, std::strerror(errno));
        return -1;
    }
    struct stat opened;
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        close(fd);
        ReportRefused(name, NOT_REGULAR);
        return -1;
    }
    return fd;
}

void AudioFileSet::ReportRefused(const std::string& name, const char* reason)
{
    fprintf(stderr, "Not able to open input file %s.\n", name.c_str());
    std::cout << reason << std::endl;
}

void AudioFileSet::LoadFile(const std::string& name, const std::string& path, double targetRate, AnalysisCache* cache)
{
    int fd = OpenRegularFile(name, path);
    if (fd < 0)
        return;
    struct stat fileInfo = {};
    fstat(fd, &fileInfo);
    SF_INFO info = {};
    SNDFILE* sf = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (sf == nullptr) {
        ReportRefused(name, sf_strerror(nullptr));
        return;
    }
    fprintf(stderr, "Loading '%s'... \n", name.c_str());
    std::cout << "  Channels: " << info.channels << std::endl
              << "  Frames: " << info.frames << std::endl
              << "  Sample Rate: " << info.samplerate << std::endl
              << "  Format: " << info.format << std::endl;

    if (info.samplerate < MIN_SAMPLE_RATE) {
        sf_close(sf);
        std::string reason = "Its sample rate, " + std::to_string(info.samplerate) + " Hz, is below " +
                             std::to_string(MIN_SAMPLE_RATE) + " Hz: skipped.";
        ReportRefused(name, reason.c_str());
        return;
    }
    const Resampler resampler(info.samplerate, targetRate);
    const ConvertedSoundEntry::Origin origin =
        ConvertedSoundEntry::Origin::Of(fileInfo, info.channels, info.samplerate, targetRate);
    std::vector<float> samples;
    ConvertedSoundEntry::Contents contents = {};
    bool loaded = false;
    try {
        // A sound converted at an earlier start is read back, without
        // reading its file or converting it again.
        auto room = [&samples](size_t numSamples) {
            if (numSamples * sizeof(float) > FreeMemory::Bytes())
                return (float*)nullptr;
            AllocateOnEveryCore(numSamples, &samples);
            return samples.data();
        };
        loaded = resampler.Changes() && cache != nullptr && cache->ReadConverted(origin, room, &contents);
        // What an unusable kept sound was read into is given back first.
        if (!loaded)
            std::vector<float>().swap(samples);
        if (!loaded && ReadAndConvert(name, sf, info, path, fileInfo, resampler, &samples, &contents)) {
            loaded = true;
            if (resampler.Changes() && cache != nullptr)
                cache->WriteConverted(origin, samples, contents);
        }
    } catch (const std::bad_alloc&) {
        // Memory that others took meanwhile, or a limit the checks could not see.
        ReportRefused(name, "Not enough memory for this sound: skipped.");
    }
    sf_close(sf);
    if (!loaded)
        return;
    if (contents.replaced > 0)
        fprintf(stderr, "  '%s': %llu samples that were not numbers (NaN or infinite) became silence.\n", name.c_str(),
                (unsigned long long)contents.replaced);
    if (resampler.Changes())
        fprintf(stderr, "  '%s': converted from %.0f Hz to %.0f Hz.\n", name.c_str(), resampler.GetFromRate(),
                resampler.GetToRate());
    uint64_t frames = samples.size() / (uint64_t)info.channels;
    std::cout << frames << std::endl;
    _fileSet.push_back(new AudioFile(name, path, info.channels, frames, targetRate, std::move(samples), contents.key));
}

bool AudioFileSet::ReadAndConvert(const std::string& name, SNDFILE* sf, const SF_INFO& info, const std::string& path,
                                  const struct stat& file, const Resampler& resampler, std::vector<float>* samples,
                                  ConvertedSoundEntry::Contents* contents)
{
    // The sound at the file's rate and, while it is converted, at the
    // engine's: refused before any of it is allocated when both would not fit.
    sf_count_t framesInFile = FramesAtFixedPlaces(info, (sf_count_t)file.st_size);
    uint64_t expected = framesInFile >= 0 ? (uint64_t)framesInFile : ReservedFrames(info, file.st_size);
    uint64_t needed = expected + (resampler.Changes() ? resampler.ConvertedFrames(expected) : 0);
    if (!FitsInMemory(name, needed * (uint64_t)info.channels * sizeof(float)))
        return false;
    contents->replaced = framesInFile >= 0
                             ? ReadInStretches(sf, info, framesInFile, path, file, samples, &contents->key)
                             : ReadInOrder(sf, info, (sf_count_t)file.st_size, samples, &contents->key);
    if (resampler.Changes()) {
        std::vector<float> converted;
        if (!Convert(name, resampler, (unsigned)info.channels, *samples, _progress, &converted, &contents->key))
            return false;
        samples->swap(converted);
    }
    contents->numSamples = samples->size();
    return true;
}

bool AudioFileSet::FitsInMemory(const std::string& name, uint64_t bytes)
{
    uint64_t available = FreeMemory::Bytes();
    if (bytes <= available)
        return true;
    std::string reason = "Too large for the memory left: it needs " + FreeMemory::Describe(bytes) + ", " +
                         FreeMemory::Describe(available) + " are free. Skipped.";
    ReportRefused(name, reason.c_str());
    return false;
}

bool AudioFileSet::Convert(const std::string& name, const Resampler& resampler, unsigned numChans,
                           const std::vector<float>& samples, LoadProgress* progress, std::vector<float>* converted,
                           uint64_t* key)
{
    if (progress != nullptr)
        progress->SetConverting(name);
    const uint64_t frames = samples.size() / numChans;
    const uint64_t numSamples = resampler.ConvertedFrames(frames) * numChans;
    if (!FitsInMemory(name, numSamples * sizeof(float)))
        return false;
    AllocateOnEveryCore(numSamples, converted);
    if (!resampler.Convert(samples.data(), frames, numChans, converted->data())) {
        ReportRefused(name, "The sound could not be converted to the engine's rate: skipped.");
        return false;
    }
    *key = FingerprintOnEveryCore(*converted);
    return true;
}

AudioFileSet* AudioFileSet::ConvertedTo(double targetRate, LoadProgress* progress) const
{
    AudioFileSet* set = new AudioFileSet();
    for (size_t i = 0; i < _fileSet.size(); i++) {
        AudioFile* file = _fileSet[i];
        if (progress != nullptr)
            progress->SetReading(file->GetName(), (int)i, (int)_fileSet.size());
        const Resampler resampler(file->GetSampleRate(), targetRate);
        std::vector<float> samples;
        uint64_t key = file->GetKey();
        bool made = !resampler.Changes() || Convert(file->GetName(), resampler, file->GetNumChannels(),
                                                    *file->GetBuffer(), progress, &samples, &key);
        if (!made || (progress != nullptr && progress->IsCancelled())) {
            delete set;
            return nullptr;
        }
        if (!resampler.Changes())
            samples = *file->GetBuffer();
        const uint64_t frames = samples.size() / file->GetNumChannels();
        AudioFile* converted = new AudioFile(file->GetName(), file->GetPath(), file->GetNumChannels(), frames,
                                             targetRate, std::move(samples), key);
        // Conditioned already: the converted sound keeps its level.
        if (file->GetClipLevels() != nullptr)
            converted->SetClipLevels(*file->GetClipLevels());
        set->_fileSet.push_back(converted);
    }
    return set;
}

uint64_t AudioFileSet::ReservedFrames(const SF_INFO& info, sf_count_t fileBytes)
{
    return (uint64_t)std::clamp<sf_count_t>(info.frames, 0, std::max(RESERVE_LIMIT_FRAMES, fileBytes));
}

void AudioFileSet::AllocateOnEveryCore(size_t numSamples, std::vector<float>* samples)
{
    // The kernel clears every page of the sound as it is first touched (an
    // hour of stereo takes 300000 of them): they are touched on every core
    // before the vector fills them with zeros on one.
    samples->reserve(numSamples);
    size_t numStretches = std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()),
                                           1 + numSamples / SampleFingerprint::PIECE_SAMPLES);
    SoundLoader::ParallelFor(numStretches, [&](size_t s) {
        size_t first = numSamples * s / numStretches;
        TouchPages(samples->data() + first, numSamples * (s + 1) / numStretches - first);
    });
    samples->resize(numSamples);
}

uint64_t AudioFileSet::FingerprintOnEveryCore(const std::vector<float>& samples)
{
    const size_t unit = SampleFingerprint::PIECE_SAMPLES;
    SampleFingerprint fingerprint(samples.size());
    SoundLoader::ParallelFor((samples.size() + unit - 1) / unit, [&](size_t u) {
        size_t first = u * unit;
        fingerprint.Feed(first, samples.data() + first, std::min(unit, samples.size() - first));
    });
    return fingerprint.Digest(samples.size());
}

sf_count_t AudioFileSet::FramesAtFixedPlaces(const SF_INFO& info, sf_count_t fileBytes)
{
    // Plain containers of plain samples: frame n lies at a known place in the file.
    int container = info.format & SF_FORMAT_TYPEMASK;
    bool plainContainer = container == SF_FORMAT_WAV || container == SF_FORMAT_WAVEX || container == SF_FORMAT_AIFF ||
                          container == SF_FORMAT_AU || container == SF_FORMAT_W64 || container == SF_FORMAT_RF64 ||
                          container == SF_FORMAT_CAF;
    int sampleBytes = 0;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        sampleBytes = 1;
        break;
    case SF_FORMAT_PCM_16:
        sampleBytes = 2;
        break;
    case SF_FORMAT_PCM_24:
        sampleBytes = 3;
        break;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        sampleBytes = 4;
        break;
    case SF_FORMAT_DOUBLE:
        sampleBytes = 8;
        break;
    }
    if (!plainContainer || sampleBytes == 0 || !info.seekable)
        return -1;
    // Never more than the file can hold, whatever its header claims.
    return std::clamp<sf_count_t>(info.frames, 0, fileBytes / (sampleBytes * (sf_count_t)info.channels));
}

uint64_t AudioFileSet::ScaleAsRead(float* samples, size_t count)
{
    // On the bits, without a branch, so that the compiler runs it on
    // several samples at once: a NaN or an infinity has every exponent bit set.
    const uint32_t EXPONENT = 0x7f800000u;
    uint64_t replaced = 0;
    for (size_t i = 0; i < count; i++) {
        float scaled = samples[i] * READ_SCALE;
        uint32_t bits;
        std::memcpy(&bits, &scaled, sizeof(bits));
        uint32_t nonFinite = (bits & EXPONENT) == EXPONENT;
        replaced += nonFinite;
        bits &= nonFinite - 1u;
        std::memcpy(&samples[i], &bits, sizeof(bits));
    }
    return replaced;
}

uint64_t AudioFileSet::ReadInOrder(SNDFILE* sf, const SF_INFO& info, sf_count_t fileBytes, std::vector<float>* samples,
                                   uint64_t* key)
{
    // Whole frames only: libsndfile refuses item counts that are not a multiple
    // of the channel count. Only what the reads return is kept, so a file
    // shorter than its header says ends where its data ends, and a header that
    // claims billions of frames cannot make the loader ask for that much memory.
    size_t channels = (size_t)info.channels;
    samples->reserve((size_t)ReservedFrames(info, fileBytes) * channels);
    uint64_t replaced = 0;
    for (;;) {
        size_t done = samples->size();
        samples->resize(done + READ_CHUNK_FRAMES * channels);
        sf_count_t nRead = sf_readf_float(sf, samples->data() + done, READ_CHUNK_FRAMES);
        samples->resize(done + (size_t)std::max<sf_count_t>(nRead, 0) * channels);
        if (nRead <= 0)
            break;
        replaced += ScaleAsRead(samples->data() + done, (size_t)nRead * channels);
    }
    *key = SampleFingerprint::Of(samples->data(), samples->size());
    return replaced;
}

SNDFILE* AudioFileSet::OpenAgain(const std::string& path, const struct stat& file)
{
    // The same file, not whatever has taken its name meanwhile.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat again;
    if (fd >= 0 && (fstat(fd, &again) != 0 || again.st_dev != file.st_dev || again.st_ino != file.st_ino)) {
        close(fd);
        return nullptr;
    }
    SF_INFO info = {};
    return fd < 0 ? nullptr : sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
}

void AudioFileSet::TouchPages(float* samples, size_t count)
{
    // Faulted in one call where the kernel can, a page at a time elsewhere.
    if (count == 0)
        return;
    const uintptr_t page = (uintptr_t)sysconf(_SC_PAGESIZE);
    char* begin = reinterpret_cast<char*>(samples);
    char* first = begin + (page - (uintptr_t)begin % page) % page;
    char* last = begin + count * sizeof(float);
    char* end = last - (uintptr_t)last % page;
    if (end <= first || madvise(first, (size_t)(end - first), MADV_POPULATE_WRITE) != 0)
        std::memset(samples, 0, count * sizeof(float));
}

uint64_t AudioFileSet::ReadInStretches(SNDFILE* sf, const SF_INFO& info, sf_count_t numFrames, const std::string& path,
                                       const struct stat& file, std::vector<float>* samples, uint64_t* key)
{
    // A long sound is read in stretches, one per core, each through a
    // stream of its own, straight into its place in the sound; each stretch
    // starts on a piece of the fingerprint, so that it is fingerprinted
    // while it is still in the core's cache.
    const size_t channels = (size_t)info.channels;
    const sf_count_t unit = SampleFingerprint::PIECE_SAMPLES;
    const sf_count_t numUnits = (numFrames + unit - 1) / unit;
    std::vector<SNDFILE*> streams = {sf};
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    while ((sf_count_t)streams.size() < std::min<sf_count_t>(cores, numUnits)) {
        SNDFILE* another = OpenAgain(path, file);
        if (another == nullptr)
            break;
        streams.push_back(another);
    }
    const size_t numStretches = streams.size();
    auto firstFrame = [&](size_t s) {
        return std::min(numFrames, numUnits * (sf_count_t)s / (sf_count_t)numStretches * unit);
    };

    size_t numSamples = (size_t)numFrames * channels;
    AllocateOnEveryCore(numSamples, samples);

    SampleFingerprint fingerprint(numSamples);
    std::vector<sf_count_t> ends(numStretches);
    std::vector<uint64_t> replaced(numStretches, 0);
    SoundLoader::ParallelFor(numStretches, [&](size_t s) {
        sf_count_t at = firstFrame(s);
        sf_count_t end = firstFrame(s + 1);
        sf_count_t nRead = sf_seek(streams[s], at, SEEK_SET) == at ? 1 : 0;
        while (at < end && nRead > 0) {
            float* chunk = samples->data() + (size_t)at * channels;
            nRead = sf_readf_float(streams[s], chunk, std::min(READ_CHUNK_FRAMES, end - at));
            size_t count = (size_t)std::max<sf_count_t>(nRead, 0) * channels;
            replaced[s] += ScaleAsRead(chunk, count);
            fingerprint.Feed((size_t)at * channels, chunk, count);
            at += std::max<sf_count_t>(nRead, 0);
        }
        ends[s] = at;
    });
    for (size_t s = 1; s < numStretches; s++)
        sf_close(streams[s]);

    // A file shorter than its header says ends where its data ends: at the
    // first stretch that came short.
    uint64_t numReplaced = 0;
    sf_count_t framesRead = numFrames;
    for (size_t s = 0; s < numStretches; s++) {
        numReplaced += replaced[s];
        if (ends[s] < firstFrame(s + 1)) {
            framesRead = ends[s];
            break;
        }
    }
    if (framesRead < numFrames) {
        samples->resize((size_t)framesRead * channels);
        samples->shrink_to_fit();
    }
    *key = fingerprint.Digest((size_t)framesRead * channels);
    return numReplaced;
}

void AudioFileSet::Stereoize()
{
    for (AudioFile*& file : _fileSet) {
        if (file->GetNumChannels() == 2)
            continue;
        AudioFile* stereo = ToStereo(file);
        // Given back at once: a folder of long mono sounds never holds more than one of them twice.
        delete file;
        file = stereo;
    }
}

AudioFile* AudioFileSet::ToStereo(AudioFile* file)
{
    // The sound is spread one block at a time straight into the stereo
    // sound, so that beside the two sounds only a block is held. The mask
    // is seeded from the sound itself: a sound comes out the same at every
    // start, and so does the fingerprint that finds its analysis.
    uint64_t nFrames = file->GetNumFrames();
    AudioFile* stereo = new AudioFile(file->GetName(), file->GetPath(), 2, nFrames, file->GetSampleRate(),
                                      std::vector<float>(2 * nFrames, 0.0f), file->GetKey());
    ContentHash content;
    float peak = 0.0f;
    std::vector<float> block(Stereoizer::IR_SIZE);
    for (uint64_t first = 0; first < nFrames; first += block.size()) {
        size_t count = MixDown(*file, first, &block);
        content.Update(block.data(), count * sizeof(float));
        for (size_t i = 0; i < count; i++)
            peak = std::max(peak, std::fabs(block[i]));
    }
    uint64_t digest = content.Digest();
    unsigned seed = (unsigned)(digest ^ (digest >> 32));
    // The response is no longer than a block, so what rings into a block
    // comes from the one before alone: stretches of the sound are spread on
    // every core at once, each after running through the block before it,
    // and join without a seam, to the same bits whatever the stretches.
    uint64_t numBlocks = (nFrames + Stereoizer::IR_SIZE - 1) / Stereoizer::IR_SIZE;
    uint64_t numStretches = std::min<uint64_t>(numBlocks, std::max(1u, std::thread::hardware_concurrency()));
    float* out = stereo->GetBuffer()->data();
    SoundLoader::ParallelFor(numStretches, [&](size_t s) {
        uint64_t firstBlock = numBlocks * s / numStretches;
        uint64_t endBlock = numBlocks * (s + 1) / numStretches;
        Stereoizer stereoizer(STEREO_WIDTH, seed);
        std::vector<float> monoBlock(Stereoizer::IR_SIZE), ringing(2 * Stereoizer::IR_SIZE);
        for (uint64_t b = firstBlock > 0 ? firstBlock - 1 : 0; b < endBlock; b++) {
            uint64_t first = b * Stereoizer::IR_SIZE;
            size_t count = MixDown(*file, first, &monoBlock);
            LimitPeak(peak, &monoBlock);
            float* target = b < firstBlock ? ringing.data() : out + 2 * first;
            stereoizer.ProcessBlock(monoBlock.data(), count, target, target + 1, 2);
        }
    });
    return stereo;
}

size_t AudioFileSet::MixDown(const AudioFile& file, uint64_t first, std::vector<float>* block)
{
    // A sound with more channels is heard as their mean, then spread like a mono one.
    unsigned nChans = file.GetNumChannels();
    size_t count = (size_t)std::min<uint64_t>(block->size(), file.GetNumFrames() - first);
    const float* frames = file.GetSamples() + first * nChans;
    // Summed in double: channels near the largest float would overflow a float sum.
    for (size_t f = 0; f < count; f++) {
        double sum = 0.0;
        for (unsigned c = 0; c < nChans; c++)
            sum += frames[f * nChans + c];
        (*block)[f] = (float)(sum / nChans);
    }
    return count;
}

void AudioFileSet::LimitPeak(float peak, std::vector<float>* block)
{
    // The stereo filters add up many samples: a sound whose peaks lie far
    // beyond full scale (a float file can hold 1e38) would overflow them. Its
    // level is decided by Normalize afterwards anyway, so scaling it down here
    // changes nothing but the rounding.
    if (peak <= 1.0f)
        return;
    double gain = 1.0 / peak;
    for (float& x : *block)
        x = (float)(x * gain);
}

void AudioFileSet::Normalize(const AnalysisCache* cache)
{
    for (AudioFile* file : _fileSet) {
        std::vector<float>& samples = *file->GetBuffer();
        if (samples.empty())
            continue;
        // The same samples are always clipped and normalised the same way:
        // a sound analysed before finds how in its entry, without the
        // passes over the whole sound that decide it.
        DSP::ClipLevels levels;
        if (cache == nullptr || !cache->ReadClipLevels(file->GetKey(), (long)file->GetNumFrames(),
                                                       (int)file->GetNumChannels(), file->GetSampleRate(), &levels))
            levels = DSP::MeasureClipAndNormalize(samples.data(), samples.size());
        file->SetClipLevels(levels);
        size_t numStretches = std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()),
                                               1 + samples.size() / SampleFingerprint::PIECE_SAMPLES);
        SoundLoader::ParallelFor(numStretches, [&](size_t s) {
            size_t first = samples.size() * s / numStretches;
            size_t end = samples.size() * (s + 1) / numStretches;
            DSP::ApplyClipAndNormalize(levels, samples.data() + first, end - first);
        });
    }
}

void AudioFileSet::Fade()
{
    for (AudioFile* file : _fileSet) {
        // As long in time at every rate.
        int frames = (int)std::lround(FADE_REFERENCE_FRAMES * file->GetSampleRate() / EngineRate::REFERENCE_RATE);
        DSP::FadeIn(file->GetBuffer(), file->GetNumChannels(), frames);
        DSP::FadeOut(file->GetBuffer(), file->GetNumChannels(), frames);
    }
}
