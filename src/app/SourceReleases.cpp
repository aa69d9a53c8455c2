#include "app/SourceReleases.h"

#include <malloc.h>

#include <algorithm>

#include "effects/EffectsBox.h"
#include "sources/Source.h"

namespace {
const unsigned CHANNELS = 2;
}  // namespace

SourceReleases::SourceReleases() : _freed(false)
{
    _releases.reserve(64);
}

SourceReleases::~SourceReleases()
{
    FreeAll();
}

void SourceReleases::Add(Source* source, EffectsBox* chain, bool audible)
{
    _releases.push_back({source, chain, audible, false});
}

void SourceReleases::FreeFinished()
{
    // Oldest first: a note copy reads its origin's envelopes, and is added
    // before its origin.
    auto unfinished =
        std::stable_partition(_releases.begin(), _releases.end(), [](const Release& r) { return r.played; });
    _freed |= unfinished != _releases.begin();
    for (auto it = _releases.begin(); it != unfinished; ++it)
        delete it->source;
    _releases.erase(_releases.begin(), unfinished);
}

bool SourceReleases::TakeFreed()
{
    bool freed = _freed;
    _freed = false;
    return freed;
}

void SourceReleases::ReturnFreedMemory()
{
    malloc_trim(0);
}

void SourceReleases::FreeAll()
{
    for (Release& release : _releases)
        delete release.source;
    _releases.clear();
}

void SourceReleases::FadeIn(float* block, unsigned numFrames)
{
    for (unsigned i = 0; i < std::min(numFrames, FADE_FRAMES); i++) {
        const float gain = (float)i / FADE_FRAMES;
        block[CHANNELS * i] *= gain;
        block[CHANNELS * i + 1] *= gain;
    }
}

void SourceReleases::FadeOut(float* block, unsigned numFrames)
{
    for (unsigned i = 0; i < numFrames; i++) {
        const float gain = i < FADE_FRAMES ? 1.0f - (float)i / FADE_FRAMES : 0.0f;
        block[CHANNELS * i] *= gain;
        block[CHANNELS * i + 1] *= gain;
    }
}

void SourceReleases::RenderInto(const EffectsBox* chain, std::vector<float>* scratch, std::vector<float>* voiceBuf,
                                unsigned numFrames)
{
    for (Release& release : _releases) {
        if (release.played || release.chain != chain)
            continue;
        release.played = true;
        if (!release.audible)
            continue;
        std::fill(voiceBuf->begin(), voiceBuf->end(), 0.0f);
        release.source->NextBuffer(voiceBuf, numFrames);
        FadeOut(voiceBuf->data(), numFrames);
        for (size_t k = 0; k < scratch->size(); k++)
            (*scratch)[k] += (*voiceBuf)[k];
    }
}

void SourceReleases::RenderRest(float* out, std::vector<float>* scratch, unsigned numFrames)
{
    for (const Release& first : _releases) {
        if (first.played)
            continue;
        // Everything that sounded through this chain, once through it, so its
        // delays and reverb hear one block, not one per source.
        EffectsBox* chain = first.chain;
        std::fill(scratch->begin(), scratch->end(), 0.0f);
        for (Release& release : _releases) {
            if (release.played || release.chain != chain)
                continue;
            release.played = true;
            if (release.audible)
                release.source->NextBuffer(scratch, numFrames);
        }
        chain->Process(scratch, int(numFrames), CHANNELS);
        FadeOut(scratch->data(), numFrames);
        for (size_t k = 0; k < scratch->size(); k++)
            out[k] += (*scratch)[k];
    }
}

void SourceReleases::Drop()
{
    for (Release& release : _releases)
        release.played = true;
}
