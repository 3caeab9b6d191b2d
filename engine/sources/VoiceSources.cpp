#include "engine/sources/VoiceSources.h"

#include "engine/core/VoiceMath.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

namespace quillon
{

namespace
{
constexpr std::uint32_t noiseSeedLeft = 0xA1B2C3D4u, noiseSeedRight = 0xD4C3B2A1u;

void pairUp (std::array<PdOscillator, numUnits>& set) noexcept
{
    set[osc1Left].setSyncPartner (&set[osc2Left]);
    set[osc2Left].setSyncPartner (&set[osc1Left]);
    set[osc1Right].setSyncPartner (&set[osc2Right]);
    set[osc2Right].setSyncPartner (&set[osc1Right]);
}
} // namespace

VoiceSources::VoiceSources() noexcept
{
    pairUp (units);
    pairUp (oldUnits);
}

void VoiceSources::prepare (double baseRate, int maxBlockSize)
{
    const auto oversampledRate = 2.0 * baseRate;

    for (auto* set : { &units, &oldUnits })
        for (auto& u : *set)
            u.prepare (oversampledRate);

    subOscillator.prepare (oversampledRate);
    oldSubOscillator.prepare (oversampledRate);
    fade.length = crossFadeLength (oversampledRate);
    fade.countdown = 0;
    noiseSources[0].prepare (baseRate, noiseSeedLeft);
    noiseSources[1].prepare (baseRate, noiseSeedRight);

    for (auto& noise : postNoise)
        noise.assign ((size_t) maxBlockSize, 0.0f);
}

//==============================================================================
void VoiceSources::setSync (bool sync1, bool sync2) noexcept
{
    units[osc1Left].setSyncEnabled (sync1);
    units[osc1Right].setSyncEnabled (sync1);
    units[osc2Left].setSyncEnabled (sync2);
    units[osc2Right].setSyncEnabled (sync2);
}

void VoiceSources::applySettings (const SourceSettings& s) noexcept
{
    units[osc1Left].setWaveShape (s.wave1);
    units[osc1Right].setWaveShape (s.wave1);
    units[osc2Left].setWaveShape (s.wave2);
    units[osc2Right].setWaveShape (s.wave2);

    subOscillator.setMode (s.subMode);
    subOscillator.setWaveShape (s.subWave);

    for (auto& noise : noiseSources)
        noise.setColour (s.noiseColour);

    current = s;
}

void VoiceSources::refreshSettings (const SourceSettings& wanted) noexcept
{
    if (! (wanted != current) || isFading())
        return;

    for (size_t i = 0; i < units.size(); ++i)
        oldUnits[i].copyStateFrom (units[i]);

    oldSubOscillator = subOscillator;
    oldNoiseSources = noiseSources;
    fade.old = current;
    fade.countdown = fade.length;
    applySettings (wanted);
}

void VoiceSources::jumpToSettings (const SourceSettings& wanted) noexcept
{
    applySettings (wanted);
    fade.countdown = 0;
}

void VoiceSources::resetPhases (float osc2Phase, bool fadeOut) noexcept
{
    units[osc1Left].resetPhase (0.0f, fadeOut);
    units[osc1Right].resetPhase (0.0f, fadeOut);
    units[osc2Left].resetPhase (frac (osc2Phase), fadeOut);
    units[osc2Right].resetPhase (frac (osc2Phase), fadeOut);
    subOscillator.resetPhase (0.0f, fadeOut);
}

// A unit whose twin on the other side holds the same state and gets the same settings would
// compute the same samples: the left one runs and the right one takes its state at the end.
// Hard sync keeps this only where the partner is a twin too; a right unit synced to a twin
// reads the left one's wraps, which are the same.
void VoiceSources::beginChunk() noexcept
{
    osc1Twins = ! units[osc1Left].isSyncEnabled() && units[osc1Right].hasSameStateAs (units[osc1Left]);
    osc2Twins = (! units[osc2Left].isSyncEnabled() || osc1Twins) && units[osc2Right].hasSameStateAs (units[osc2Left]);
    units[osc2Right].setSyncPartner (osc1Twins ? &units[osc1Left] : &units[osc1Right]);
    units[osc1Right].setSyncPartner (osc2Twins ? &units[osc2Left] : &units[osc2Right]);
}

void VoiceSources::endChunk() noexcept
{
    if (osc1Twins)
        units[osc1Right].copyStateFrom (units[osc1Left]);

    if (osc2Twins)
        units[osc2Right].copyStateFrom (units[osc2Left]);
}

void VoiceSources::partOsc2Now() noexcept
{
    osc2Twins = false;
    units[osc1Right].setSyncPartner (&units[osc2Right]);
    units[osc2Right].copyStateFrom (units[osc2Left]);
}

void VoiceSources::applyOldFrame (const SourceFrame& frame, float oldDepth2, float oldWidth2) noexcept
{
    for (int which = 0; which < numUnits; ++which)
    {
        auto& u = oldUnits[(size_t) which];
        const auto first = which == osc1Left || which == osc1Right;
        u.setFrequency (frame.frequency[(size_t) which]);
        u.setDcwDepth (first ? frame.depth1 : oldDepth2);
        u.setPulseWidth (first ? frame.width1 : oldWidth2);
        u.setMorphAmount (frame.morph);
    }

    oldSubOscillator.setFrequency (frame.subFrequency);
    oldSubOscillator.setDcw (frame.subDcw);
}

//==============================================================================
void VoiceSources::renderSample (const SourceFrame& frame, int at, int chunkIndex) noexcept
{
    applyFrame (frame);
    drawPostNoise (chunkIndex, frame);
    renderTick (2 * at, frame);
    renderTick (2 * at + 1, frame);
}

void VoiceSources::applyFrame (const SourceFrame& f) noexcept
{
    for (int which = 0; which < numUnits; ++which)
    {
        auto& u = units[(size_t) which];
        const auto first = which == osc1Left || which == osc1Right;
        u.setFrequency (f.frequency[(size_t) which]);
        u.setDcwDepth (first ? f.depth1 : f.depth2);
        u.setPulseWidth (first ? f.width1 : f.width2);
        u.setMorphAmount (f.morph);
    }

    subOscillator.setFrequency (f.subFrequency);
    subOscillator.setDcw (f.subDcw);
}

// The post-decimation share of the noise, drawn from the same generators as the 2x share and in
// the same order whichever way the sources run.
void VoiceSources::drawPostNoise (int chunkIndex, const SourceFrame& frame) noexcept
{
    auto noiseL = 0.0f, noiseR = 0.0f;

    // Noise that is not heard is not drawn: the generators only need to stay seeded alike.
    if (frame.postNoise != 0.0f)
    {
        noiseL = noiseSources[0].next();
        noiseR = noiseSources[1].next();

        if (isFading())
        {
            const auto w = fade.oldWeight();
            noiseL += w * (oldNoiseSources[0].next() - noiseL);
            noiseR += w * (oldNoiseSources[1].next() - noiseR);
        }
    }

    postNoise[0][(size_t) chunkIndex] = noiseL * frame.postNoise;
    postNoise[1][(size_t) chunkIndex] = noiseR * frame.postNoise;
}

// The four units' next ticks, a twin taking its left unit's sample.
void VoiceSources::tickUnits (const SourceFrame& frame, bool audible1, bool audible2, float* o) noexcept
{
    if (frame.morph > 0.0f)
    {
        // Morphing, each unit takes two sines a tick: the units' sines are taken four at a time.
        PdOscillator* group[numUnits];
        bool audible[numUnits];
        float ticked[numUnits];
        int n = 0;
        const auto add = [&] (int which, bool a) { group[n] = &units[(size_t) which]; audible[n++] = a; };

        add (osc1Left, audible1);
        if (! osc1Twins) add (osc1Right, audible1);
        const auto second = n;
        add (osc2Left, audible2);
        if (! osc2Twins) add (osc2Right, audible2);

        PdOscillator::tickUnits (group, audible, ticked, n);
        o[osc1Left] = ticked[0];
        o[osc1Right] = osc1Twins ? ticked[0] : ticked[1];
        o[osc2Left] = ticked[second];
        o[osc2Right] = osc2Twins ? ticked[second] : ticked[second + 1];
        return;
    }

    o[osc1Left] = units[osc1Left].tick (audible1);
    o[osc1Right] = osc1Twins ? o[osc1Left] : units[osc1Right].tick (audible1);
    o[osc2Left] = units[osc2Left].tick (audible2);
    o[osc2Right] = osc2Twins ? o[osc2Left] : units[osc2Right].tick (audible2);
}

void VoiceSources::renderTick (int index, const SourceFrame& f) noexcept
{
    // An oscillator at zero level (either one in ring mode) only moves its state on.
    const auto ring = current.isRing();
    const auto audible1 = f.osc1Gain != 0.0f && (! ring || f.osc2Gain != 0.0f);
    const auto audible2 = f.osc2Gain != 0.0f && (! ring || f.osc1Gain != 0.0f);
    float o[numUnits];
    tickUnits (f, audible1, audible2, o);

    auto subL = subOscillator.tick (f.subGain != 0.0f) * f.subGain;
    const auto noisy = f.preNoise != 0.0f;
    const auto noiseL = noisy ? noiseSources[0].next() * f.preNoise : 0.0f;
    const auto noiseR = noisy ? noiseSources[1].next() * f.preNoise : 0.0f;

    float mixL, mixR;

    if (ring)
    {
        mixL = noiseL + (o[osc2Left] * f.osc2Gain) * (o[osc1Left] * f.osc1Gain);
        mixR = noiseR + (o[osc1Right] * f.osc1Gain) * (o[osc2Right] * f.osc2Gain);
    }
    else
    {
        mixL = noiseL + o[osc2Left] * f.osc2Gain + o[osc1Left] * f.osc1Gain;
        mixR = noiseR + o[osc1Right] * f.osc1Gain + o[osc2Right] * f.osc2Gain;
    }

    if (isFading())
    {
        float oldL, oldR, oldSub;
        renderOldTick (f, oldL, oldR, oldSub);
        const auto w = fade.oldWeight();
        mixL += w * (oldL - mixL);
        mixR += w * (oldR - mixR);
        subL += w * (oldSub - subL);
        --fade.countdown;
    }

    out.left[(size_t) index] = mixL;
    out.right[(size_t) index] = mixR;
    out.sub[(size_t) index] = subL;
}

// The sources as they were before a switch, with its old settings, for the length of its fade.
void VoiceSources::renderOldTick (const SourceFrame& f, float& mixL, float& mixR, float& sub) noexcept
{
    const auto ring = fade.old.isRing();
    const auto audible1 = f.osc1Gain != 0.0f && (! ring || f.osc2Gain != 0.0f);
    const auto audible2 = f.osc2Gain != 0.0f && (! ring || f.osc1Gain != 0.0f);
    const auto o1L = oldUnits[osc1Left].tick (audible1) * f.osc1Gain;
    const auto o1R = oldUnits[osc1Right].tick (audible1) * f.osc1Gain;
    const auto o2L = oldUnits[osc2Left].tick (audible2) * f.osc2Gain;
    const auto o2R = oldUnits[osc2Right].tick (audible2) * f.osc2Gain;
    const auto noisy = f.preNoise != 0.0f;
    const auto noiseL = noisy ? oldNoiseSources[0].next() * f.preNoise : 0.0f;
    const auto noiseR = noisy ? oldNoiseSources[1].next() * f.preNoise : 0.0f;

    mixL = noiseL + (ring ? o2L * o1L : o2L + o1L);
    mixR = noiseR + (ring ? o1R * o2R : o1R + o2R);
    sub = oldSubOscillator.tick (f.subGain != 0.0f) * f.subGain;
}

//==============================================================================
void VoiceSources::fillRows (const SourceFrame* frames, int count) noexcept
{
    // The rows follow the frame's float fields in order; the audible flags come last.
    static_assert (std::is_standard_layout_v<SourceFrame> && offsetof (SourceFrame, frequency) == 0
                   && offsetof (SourceFrame, depth1) == depth1Row * sizeof (float)
                   && offsetof (SourceFrame, morph) == morphRow * sizeof (float)
                   && offsetof (SourceFrame, subFrequency) == subFrequencyRow * sizeof (float)
                   && offsetof (SourceFrame, postNoise) == postNoiseRow * sizeof (float)
                   && offsetof (SourceFrame, audible1) == audible1Row * sizeof (float)
                   && audible1Row % 4 == 0 && sizeof (SourceFrame) % sizeof (float) == 0);
    using dsp::Float4;

    // Four frames by four fields at a time. The frames after the stretch's last, up to the next
    // four, are read as whatever they hold: their entries are never read.
    constexpr auto stride = sizeof (SourceFrame) / sizeof (float);
    static_assert (stretchLength % 4 == 0);

    for (int j = 0; j < count; j += 4)
    {
        const auto* f = reinterpret_cast<const float*> (frames + j);

        for (int field = 0; field < audible1Row; field += 4)
        {
            auto r0 = Float4::load (f + field), r1 = Float4::load (f + stride + field);
            auto r2 = Float4::load (f + 2 * stride + field), r3 = Float4::load (f + 3 * stride + field);
            dsp::transpose (r0, r1, r2, r3);
            r0.store (rows[(size_t) field].data() + j);
            r1.store (rows[(size_t) field + 1].data() + j);
            r2.store (rows[(size_t) field + 2].data() + j);
            r3.store (rows[(size_t) field + 3].data() + j);
        }
    }

    for (int j = 0; j < count; ++j)
    {
        rows[audible1Row][(size_t) j] = frames[j].audible1 ? 1.0f : 0.0f;
        rows[audible2Row][(size_t) j] = frames[j].audible2 ? 1.0f : 0.0f;
    }
}

PdOscillator::StretchRows VoiceSources::unitRows (int which) const noexcept
{
    const auto osc1 = which == osc1Left || which == osc1Right;
    return { row ((Row) which), row (osc1 ? depth1Row : depth2Row), row (osc1 ? width1Row : width2Row), row (morphRow),
             row (osc1 ? audible1Row : audible2Row) };
}

void VoiceSources::renderUnit (int which, int begin, int end, const float* partnerWraps) noexcept
{
    units[(size_t) which].renderStretch (unitRows (which).from (begin), end - begin,
                                         unitOutputs[(size_t) which].data() + 2 * begin,
                                         partnerWraps != nullptr ? partnerWraps + 2 * begin : nullptr,
                                         wrapsOf (which) + 1 + 2 * begin);
}

void VoiceSources::renderOsc1 (int count, bool sync1) noexcept
{
    // Synced, osc 1 reads osc 2's wraps a tick late; osc 1's two units are never twins then.
    renderUnit (osc1Left, 0, count, sync1 ? wrapsOf (osc2Left) : nullptr);

    if (! osc1Twins)
        renderUnit (osc1Right, 0, count, sync1 ? wrapsOf (osc2Right) : nullptr);
    else
        std::copy_n (wrapsOf (osc1Left), 2 * count + 1, wrapsOf (osc1Right));
}

void VoiceSources::renderOsc2 (int count, bool sync2) noexcept
{
    const auto* partnerLeft = sync2 ? wrapsOf (osc1Left) + 1 : nullptr;
    const auto* partnerRight = sync2 ? wrapsOf (osc1Twins ? osc1Left : osc1Right) + 1 : nullptr;

    if (! osc2Twins)
    {
        renderUnit (osc2Left, 0, count, partnerLeft);
        renderUnit (osc2Right, 0, count, partnerRight);
    }
    else if (osc2PartsAt >= 0)
    {
        // The right unit comes in on its own from the sample where the pair's halves part.
        const auto at = osc2PartsAt;
        renderUnit (osc2Left, 0, at, partnerLeft);
        units[osc2Right].copyStateFrom (units[osc2Left]);
        renderUnit (osc2Left, at, count, partnerLeft);
        renderUnit (osc2Right, at, count, partnerRight);
        std::copy_n (unitOutputs[osc2Left].begin(), 2 * at, unitOutputs[osc2Right].begin());
        std::copy_n (wrapsOf (osc2Left) + 1, 2 * at, wrapsOf (osc2Right) + 1);
        osc2Twins = false;
        units[osc1Right].setSyncPartner (&units[osc2Right]);
    }
    else
    {
        renderUnit (osc2Left, 0, count, partnerLeft);
        std::copy_n (wrapsOf (osc2Left) + 1, 2 * count, wrapsOf (osc2Right) + 1);
    }
}

// A unit synced to osc 1 sees osc 1's wrap of the same tick, osc 1 synced to osc 2 that of the
// tick before: the order the units tick in one by one.
void VoiceSources::renderUnits (int count) noexcept
{
    const auto sync1 = units[osc1Left].isSyncEnabled(), sync2 = units[osc2Left].isSyncEnabled();

    if (! sync1)
    {
        renderOsc1 (count, false);
        renderOsc2 (count, sync2);
        return;
    }

    // A twin right unit lags behind: the left one holds the pair's wrap.
    wrapsOf (osc2Left)[0] = units[osc2Left].getWrapForSync();
    wrapsOf (osc2Right)[0] = units[osc2Twins ? osc2Left : osc2Right].getWrapForSync();
    renderOsc2 (count, sync2);
    renderOsc1 (count, true);
}

void VoiceSources::renderStretch (const SourceFrame* frames, int chunkIndex, int count) noexcept
{
    fillRows (frames, count);
    renderUnits (count);
    subOscillator.renderStretch (row (subFrequencyRow), row (subDcwRow), row (subGainRow), count, out.sub.data());
    mixStretch (chunkIndex, count);
}

// The stretch's noise in the order each generator draws it, as drawPostNoise and the mix's two
// ticks do one by one: per base sample the post-decimation share's value, then the mix's two.
// No source fade runs while the sources run in loops, so the old generators rest.
void VoiceSources::mixStretch (int chunkIndex, int count) noexcept
{
    const auto ring = current.isRing();
    const auto* osc1Gains = row (osc1GainRow);
    const auto* osc2Gains = row (osc2GainRow);
    const auto* preNoises = row (preNoiseRow);
    const auto* postNoises = row (postNoiseRow);
    const auto* o1L = unitOutputs[osc1Left].data();
    const auto* o1R = unitOutputs[osc1Twins ? osc1Left : osc1Right].data();
    const auto* o2L = unitOutputs[osc2Left].data();
    const auto* o2R = unitOutputs[osc2Twins ? osc2Left : osc2Right].data();
    auto* postL = postNoise[0].data() + chunkIndex;
    auto* postR = postNoise[1].data() + chunkIndex;

    float noise[2 * 3 * stretchLength];
    auto draws = 0;

    for (int j = 0; j < count; ++j)
        draws += (postNoises[j] != 0.0f ? 1 : 0) + (preNoises[j] != 0.0f ? 2 : 0);

    NoiseSource::drawPairs (noiseSources[0], noiseSources[1], noise, draws);
    const auto* drawn = noise;
    auto j = 0;

    // Where every base sample draws all three values or none, as a held voice's do, a base
    // sample's two ticks of both sides mix in one vector, lanes (left, left, right, right), each
    // side's terms in the order below.
    if (! dsp::exactReference && (draws == 0 || draws == 3 * count))
    {
        using dsp::Float4;
        const auto noisy = draws != 0;
        const auto pairs = [] (const float* a, const float* b) { return dsp::lowHalves (dsp::loadLow (a), dsp::loadLow (b)); };

        for (; j < count; ++j)
        {
            const auto g1 = osc1Gains[j], g2 = osc2Gains[j];
            const auto i = (size_t) (2 * j);
            const auto first = pairs (o2L + i, o1R + i) * Float4::set (g2, g2, g1, g1);
            const auto second = pairs (o1L + i, o2R + i) * Float4::set (g1, g1, g2, g2);
            auto mixed = Float4 (0.0f);

            if (noisy)
            {
                const auto pre = Float4::load (drawn + 2); // (left, right) of the first tick, then of the second
                mixed = dsp::interleaveLow (pre, dsp::highHalves (pre, pre)) * Float4 (preNoises[j]);
            }

            mixed = ring ? mixed + first * second : (mixed + first) + second;
            dsp::storeLow (mixed, out.left.data() + i);
            dsp::storeHigh (mixed, out.right.data() + i);
            postL[j] = (noisy ? drawn[0] : 0.0f) * postNoises[j];
            postR[j] = (noisy ? drawn[1] : 0.0f) * postNoises[j];
            drawn += noisy ? 6 : 0;
        }
    }

    for (; j < count; ++j)
    {
        const auto g1 = osc1Gains[j], g2 = osc2Gains[j], pre = preNoises[j], post = postNoises[j];
        auto noiseL = 0.0f, noiseR = 0.0f;

        if (post != 0.0f)
        {
            noiseL = drawn[0];
            noiseR = drawn[1];
            drawn += 2;
        }

        postL[j] = noiseL * post;
        postR[j] = noiseR * post;
        const auto noisy = pre != 0.0f;

        for (int i = 2 * j; i < 2 * j + 2; ++i)
        {
            const auto preL = noisy ? drawn[0] * pre : 0.0f;
            const auto preR = noisy ? drawn[1] * pre : 0.0f;
            drawn += noisy ? 2 : 0;
            const auto index = (size_t) i;

            if (ring)
            {
                out.left[index] = preL + (o2L[i] * g2) * (o1L[i] * g1);
                out.right[index] = preR + (o1R[i] * g1) * (o2R[i] * g2);
            }
            else
            {
                out.left[index] = preL + o2L[i] * g2 + o1L[i] * g1;
                out.right[index] = preR + o1R[i] * g1 + o2R[i] * g2;
            }
        }
    }
}

} // namespace quillon
