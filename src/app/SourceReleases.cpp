#include "app/SourceReleases.h"

#include <malloc.h>

#include <algorithm>

#include "effects/EffectsBox.h"
#include "sound/EngineRate.h"
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

unsigned SourceReleases::FadeFrames()
{
    return EngineRate::ScaledFrames(FADE_REFERENCE_FRAMES);
}

void SourceReleases::Add(Source* source, EffectsBox* chain, bool audible)
{
    // Unheard, it has nothing to fade.
    _releases.push_back({source, chain, audible, audible ? 0u : FadeFrames(), false, false});
}

bool SourceReleases::IsFreeable(const Release& release) const
{
    if (!release.IsFinished())
        return false;
    // A source owns the chain its note copies sound through, and the
    // envelope, view and parameters they read: it goes only with the last
    // of them, whatever order they ended in.
    if (release.source->GetEffectsBox() != release.chain)
        return true;
    return std::all_of(_releases.begin(), _releases.end(),
                       [&release](const Release& r) { return r.chain != release.chain || r.IsFinished(); });
}

void SourceReleases::FreeFinished()
{
    for (Release& release : _releases)
        release.freeable = IsFreeable(release);
    // Note copies before their origin, which they read until they are gone.
    auto kept = std::stable_partition(_releases.begin(), _releases.end(), [](const Release& r) {
        return r.freeable && r.source->GetEffectsBox() != r.chain;
    });
    kept = std::stable_partition(kept, _releases.end(), [](const Release& r) { return r.freeable; });
    _freed |= kept != _releases.begin();
    for (auto it = _releases.begin(); it != kept; ++it)
        delete it->source;
    _releases.erase(_releases.begin(), kept);
}

size_t SourceReleases::CountFading() const
{
    return size_t(std::count_if(_releases.begin(), _releases.end(), [](const Release& r) { return !r.IsFinished(); }));
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
    Drop();
    FreeFinished();
}

void SourceReleases::FadeIn(float* block, unsigned numFrames, unsigned fromFrame)
{
    const unsigned fadeFrames = FadeFrames();
    for (unsigned i = 0; i < numFrames && fromFrame + i < fadeFrames; i++) {
        const float gain = (float)(fromFrame + i) / fadeFrames;
        block[CHANNELS * i] *= gain;
        block[CHANNELS * i + 1] *= gain;
    }
}

void SourceReleases::FadeOut(float* block, unsigned numFrames, unsigned fromFrame)
{
    const unsigned fadeFrames = FadeFrames();
    for (unsigned i = 0; i < numFrames; i++) {
        const unsigned k = fromFrame + i;
        const float gain = k < fadeFrames ? 1.0f - (float)k / fadeFrames : 0.0f;
        block[CHANNELS * i] *= gain;
        block[CHANNELS * i + 1] *= gain;
    }
}

void SourceReleases::AddFaded(Release* release, std::vector<float>* into, std::vector<float>* voiceBuf,
                              unsigned numFrames)
{
    std::fill(voiceBuf->begin(), voiceBuf->end(), 0.0f);
    release->source->NextBuffer(voiceBuf, numFrames);
    FadeOut(voiceBuf->data(), numFrames, release->fadedFrames);
    for (size_t k = 0; k < into->size(); k++)
        (*into)[k] += (*voiceBuf)[k];
}

void SourceReleases::RenderInto(const EffectsBox* chain, std::vector<float>* scratch, std::vector<float>* voiceBuf,
                                unsigned numFrames)
{
    for (Release& release : _releases) {
        if (!release.IsDue() || release.chain != chain)
            continue;
        release.rendered = true;
        if (release.audible)
            AddFaded(&release, scratch, voiceBuf, numFrames);
    }
}

unsigned SourceReleases::YoungestFade(const EffectsBox* chain) const
{
    unsigned youngest = FadeFrames();
    for (const Release& release : _releases) {
        if (release.IsDue() && release.chain == chain)
            youngest = std::min(youngest, release.fadedFrames);
    }
    return youngest;
}

void SourceReleases::RenderRest(float* out, std::vector<float>* scratch, std::vector<float>* voiceBuf,
                                unsigned numFrames)
{
    for (const Release& first : _releases) {
        if (!first.IsDue())
            continue;
        // Everything that sounds through this chain, once through it, so its
        // delays and reverb hear one block, not one per source. The chain's
        // output fades with the source that started fading last (the removed
        // source itself, whose note copies may have started a little before
        // it): tails and all, it is silent at the end of that fade, and the
        // copies further along go on down their own fades under it.
        EffectsBox* chain = first.chain;
        const unsigned youngest = YoungestFade(chain);
        std::fill(scratch->begin(), scratch->end(), 0.0f);
        for (Release& release : _releases) {
            if (!release.IsDue() || release.chain != chain)
                continue;
            release.rendered = true;
            if (!release.audible)
                continue;
            if (release.fadedFrames == youngest)
                release.source->NextBuffer(scratch, numFrames);
            else
                AddFaded(&release, scratch, voiceBuf, numFrames);
        }
        chain->Process(scratch, int(numFrames), CHANNELS);
        FadeOut(scratch->data(), numFrames, youngest);
        for (size_t k = 0; k < scratch->size(); k++)
            out[k] += (*scratch)[k];
    }
    // The block is made: every source that sounded in it is that much further along.
    for (Release& release : _releases) {
        if (release.rendered)
            release.fadedFrames += numFrames;
        release.rendered = false;
    }
}

void SourceReleases::Drop()
{
    for (Release& release : _releases)
        release.fadedFrames = FadeFrames();
}
