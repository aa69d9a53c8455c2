#pragma once

#include <vector>

class EffectsBox;
class Source;

// Sources taken off the scene while they may be sounding (a removed source,
// the copy of an ended MIDI note). Cutting them would click at the level they
// had, so the audio thread plays each of them for one more block under a
// short fade-out, through the effects chain it sounded through; then the
// GUI thread frees them. The audio thread neither allocates nor frees here.
class SourceReleases {
public:
    // The fade-out: 5 ms, within any block the stream asks for.
    static const unsigned FADE_FRAMES = 220;

    SourceReleases();
    virtual ~SourceReleases();
    SourceReleases(const SourceReleases&) = delete;
    SourceReleases& operator=(const SourceReleases&) = delete;

    // GUI thread, under the scene lock: source sounds one more block through
    // chain; a source that was not audible (its notes played instead) is
    // only freed. Sources are freed in the order they are added.
    void Add(Source* source, EffectsBox* chain, bool audible);
    // GUI thread: frees the sources that have played out.
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

    // Audio thread: adds into scratch, before chain runs over it, the faded
    // last block of every waiting source that sounds through chain (a note
    // copy of a source still on the scene).
    void RenderInto(const EffectsBox* chain, std::vector<float>* scratch, std::vector<float>* voiceBuf,
                    unsigned numFrames);
    // Audio thread: adds into out the faded last block of every other
    // waiting source, each group through its own chain.
    void RenderRest(float* out, std::vector<float>* scratch, unsigned numFrames);
    // Audio thread: the waiting sources end unheard (nothing sounds now).
    void Drop();

    // Fades a block of interleaved stereo frames out, or in, over FADE_FRAMES.
    static void FadeOut(float* block, unsigned numFrames);
    static void FadeIn(float* block, unsigned numFrames);

private:
    struct Release {
        Source* source;
        EffectsBox* chain;
        bool audible;
        bool played;
    };

    std::vector<Release> _releases;
    bool _freed;
};
