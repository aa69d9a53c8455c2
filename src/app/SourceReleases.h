#pragma once

#include <cstddef>
#include <vector>

class EffectsBox;
class Source;

// Sources taken off the scene while they may be sounding (a removed source,
// the copy of an ended MIDI note). Cutting them would click at the level they
// had, so the audio thread plays each of them on under a 5 ms fade-out,
// through the effects chain it sounded through, over as many blocks as that
// takes at the stream's block size; then the GUI thread frees them. The audio
// thread neither allocates nor frees here.
class SourceReleases {
public:
    // The fades last 5 ms (220 frames at the reference rate) whatever the
    // block size and the rate.
    static const unsigned FADE_REFERENCE_FRAMES = 220;
    static unsigned FadeFrames();

    SourceReleases();
    virtual ~SourceReleases();
    SourceReleases(const SourceReleases&) = delete;
    SourceReleases& operator=(const SourceReleases&) = delete;

    // GUI thread, under the scene lock: source sounds on through chain for
    // the fade; a source that was not audible (its notes played instead) is
    // only freed. Sources are freed in the order they are added.
    void Add(Source* source, EffectsBox* chain, bool audible);
    // GUI thread: frees the sources that have played out; a source whose
    // note copies still fade waits for them.
    void FreeFinished();
    // Whether any source was freed since the last call.
    bool TakeFreed();
    // GUI thread, outside the scene lock, after sources were freed: the
    // pages they held go back to the system. Voices are many small blocks
    // spread over the heap; without this, a canvas filled and cleared again
    // keeps its high-water mark of memory resident for good.
    static void ReturnFreedMemory();
    // Frees every source at once (the scene is going away).
    void FreeAll();
    bool IsEmpty() const { return _releases.empty(); }
    // The sources still fading out.
    size_t CountFading() const;

    // Audio thread: adds into scratch, before chain runs over it, the next
    // faded block of every fading source that sounds through chain (a note
    // copy of a source still on the scene).
    void RenderInto(const EffectsBox* chain, std::vector<float>* scratch, std::vector<float>* voiceBuf,
                    unsigned numFrames);
    // Audio thread, last of every block: adds into out the next faded block
    // of every other fading source, each group through its own chain.
    void RenderRest(float* out, std::vector<float>* scratch, std::vector<float>* voiceBuf, unsigned numFrames);
    // Audio thread: the fading sources end unheard (nothing sounds now).
    void Drop();

    // Fades a block of interleaved stereo frames out, or in, along the ramp
    // of FadeFrames() frames, from the frame of the ramp where the block
    // starts: a fade is the same whatever blocks it is cut into.
    static void FadeOut(float* block, unsigned numFrames, unsigned fromFrame = 0);
    static void FadeIn(float* block, unsigned numFrames, unsigned fromFrame = 0);

private:
    struct Release {
        Source* source;
        EffectsBox* chain;
        bool audible;
        // How far along its fade the source is.
        unsigned fadedFrames;
        // Whether it sounded in the block being made.
        bool rendered;
        // Whether its fade and those of the copies reading it are over.
        bool freeable;
        bool IsFinished() const { return fadedFrames >= FadeFrames(); }
        bool IsDue() const { return !rendered && !IsFinished(); }
    };

    bool IsFreeable(const Release& release) const;
    // The fading source sounding through chain that started its fade last.
    unsigned YoungestFade(const EffectsBox* chain) const;
    void AddFaded(Release* release, std::vector<float>* into, std::vector<float>* voiceBuf, unsigned numFrames);

    std::vector<Release> _releases;
    bool _freed;
};
