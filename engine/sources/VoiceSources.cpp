#include "engine/SynthEngine.h"
#include "engine/core/VoiceMath.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

namespace quillon
{

// The sources pass: the oscillator units, sub, noise, the copies a switch fades from, and the mix,
// turning the frames into the 2x source signals.
SynthEngine::SourceSettings SynthEngine::readSourceSettings() const noexcept
{
    SourceSettings s;
    s.reeseLocked = param (Param::reeseLock) > 0.5f;
    s.wave1 = std::clamp (choice (Param::osc1Wave), 0, numWaveShapes - 1);
    s.wave2 = s.reeseLocked ? s.wave1 : std::clamp (choice (Param::osc2Wave), 0, numWaveShapes - 1);
    s.subMode = choice (Param::subMode);
    s.subWave = std::clamp (choice (Param::subWave), 0, numWaveShapes - 1);
    s.noiseColour = choice (Param::noiseColour);
    s.mixMode = choice (Param::mode);
    return s;
}

void SynthEngine::applySourceSettings (const SourceSettings& s) noexcept
{
    units[osc1Left].setWaveShape (s.wave1);
    units[osc1Right].setWaveShape (s.wave1);
    units[osc2Left].setWaveShape (s.wave2);
    units[osc2Right].setWaveShape (s.wave2);

    subOscillator.setMode (s.subMode);
    subOscillator.setWaveShape (s.subWave);

    for (auto& noise : noiseSources)
        noise.setColour (s.noiseColour);

    sourceSettings = s;
}

// Per chunk. A change fades for 5 ms from a copy of the sources that runs on with the old
// settings; a change that comes while that fade runs waits for the next chunk after it.
void SynthEngine::refreshSourceSettings() noexcept
{
    const auto wanted = readSourceSettings();

    if (! (wanted != sourceSettings) || sourceFade.isFading())
        return;

    for (size_t i = 0; i < units.size(); ++i)
        oldUnits[i].copyStateFrom (units[i]);

    oldSubOscillator = subOscillator;
    oldNoiseSources = noiseSources;
    sourceFade.old = sourceSettings;
    sourceFade.countdown = sourceFade.length;
    applySourceSettings (wanted);
}

void SynthEngine::resetPhases (float osc2Phase, bool fade) noexcept
{
    units[osc1Left].resetPhase (0.0f, fade);
    units[osc1Right].resetPhase (0.0f, fade);
    units[osc2Left].resetPhase (frac (osc2Phase), fade);
    units[osc2Right].resetPhase (frac (osc2Phase), fade);

    subOscillator.resetPhase (0.0f, fade);

    lfo.restart();
}

// The post-decimation share of the noise, drawn from the same generators as the 2x share and in
// the same order whichever way the sources run.
void SynthEngine::drawPostNoise (int index, const SourceFrame& frame) noexcept
{
    auto noiseL = 0.0f, noiseR = 0.0f;

    // Noise that is not heard is not drawn: the generators only need to stay seeded alike.
    if (frame.postNoise != 0.0f)
    {
        noiseL = noiseSources[0].next();
        noiseR = noiseSources[1].next();

        if (sourceFade.isFading())
        {
            const auto w = sourceFade.oldWeight();
            noiseL += w * (oldNoiseSources[0].next() - noiseL);
            noiseR += w * (oldNoiseSources[1].next() - noiseR);
        }
    }

    postNoiseLeft[(size_t) index] = noiseL * frame.postNoise;
    postNoiseRight[(size_t) index] = noiseR * frame.postNoise;
}

void SynthEngine::applySourceFrame (const SourceFrame& f) noexcept
{
    for (int unit = 0; unit < numUnits; ++unit)
        units[(size_t) unit].setFrequency (f.frequency[(size_t) unit]);

    for (auto unit : { osc1Left, osc1Right })
    {
        units[unit].setDcwDepth (f.depth1);
        units[unit].setPulseWidth (f.width1);
        units[unit].setMorphAmount (f.morph);
    }

    for (auto unit : { osc2Left, osc2Right })
    {
        units[unit].setDcwDepth (f.depth2);
        units[unit].setPulseWidth (f.width2);
        units[unit].setMorphAmount (f.morph);
    }

    morphAmountNow = f.morph;
    osc1Gain = f.osc1Gain;
    osc2Gain = f.osc2Gain;
    subGain = f.subGain;
    preNoiseAmount = f.preNoise;
    subOscillator.setFrequency (f.subFrequency);
    subOscillator.setDcw (f.subDcw);
}

void SynthEngine::fillSourceRows (int count) noexcept
{
    static_assert (std::is_standard_layout_v<SourceFrame> && offsetof (SourceFrame, frequency) == 0
                   && offsetof (SourceFrame, audible1) == sourceFloatFields * sizeof (float)
                   && sourceFloatFields % 4 == 0 && sizeof (SourceFrame) % sizeof (float) == 0);

#if QUILLON_SIN_LANES
    // Four frames by four fields at a time. The frames after the stretch's last, up to the next
    // four, hold an earlier stretch's settings: their entries are never read.
    constexpr auto stride = sizeof (SourceFrame) / sizeof (float);

    for (int j = 0; j < count; j += 4)
    {
        const auto* f = reinterpret_cast<const float*> (sourceFrames.data() + j);

        for (int field = 0; field < sourceFloatFields; field += 4)
        {
            auto r0 = _mm_loadu_ps (f + field), r1 = _mm_loadu_ps (f + stride + field);
            auto r2 = _mm_loadu_ps (f + 2 * stride + field), r3 = _mm_loadu_ps (f + 3 * stride + field);
            _MM_TRANSPOSE4_PS (r0, r1, r2, r3);
            _mm_storeu_ps (sourceRows[(size_t) field].data() + j, r0);
            _mm_storeu_ps (sourceRows[(size_t) field + 1].data() + j, r1);
            _mm_storeu_ps (sourceRows[(size_t) field + 2].data() + j, r2);
            _mm_storeu_ps (sourceRows[(size_t) field + 3].data() + j, r3);
        }
    }
#else
    for (int j = 0; j < count; ++j)
    {
        const auto* f = reinterpret_cast<const float*> (sourceFrames.data() + j);

        for (int field = 0; field < sourceFloatFields; ++field)
            sourceRows[(size_t) field][(size_t) j] = f[field];
    }
#endif

    for (int j = 0; j < count; ++j)
    {
        const auto& f = sourceFrames[(size_t) j];
        sourceRows[audible1Row][(size_t) j] = f.audible1 ? 1.0f : 0.0f;
        sourceRows[audible2Row][(size_t) j] = f.audible2 ? 1.0f : 0.0f;
    }
}

void SynthEngine::renderSourceStretch (int from, int count) noexcept
{
    fillSourceRows (count);
    const auto row = [this] (std::size_t offset) { return sourceRows[offset / sizeof (float)].data(); };
    const auto* morph = row (offsetof (SourceFrame, morph));
    const auto unitRows = [&] (int which)
    {
        const auto osc1 = which == osc1Left || which == osc1Right;
        return PdOscillator::StretchRows { sourceRows[(size_t) which].data(),
                                           row (osc1 ? offsetof (SourceFrame, depth1) : offsetof (SourceFrame, depth2)),
                                           row (osc1 ? offsetof (SourceFrame, width1) : offsetof (SourceFrame, width2)),
                                           morph, sourceRows[osc1 ? audible1Row : audible2Row].data() };
    };

    // Each unit's wraps go one place in, after the wrap it held before the stretch. A unit synced
    // to osc 1 sees osc 1's wrap of the same tick, osc 1 synced to osc 2 that of the tick before:
    // the order the units tick in one by one.
    const auto sync1 = units[osc1Left].isSyncEnabled(), sync2 = units[osc2Left].isSyncEnabled();
    const auto wrapsOf = [this] (int which) { return unitWraps[(size_t) which].data(); };
    const auto noteWrapBefore = [this] (int which, const PdOscillator& unit)
    {
        unitWraps[(size_t) which][0] = unit.hasWrapped() ? unit.getWrapFraction() : -1.0f;
    };

    const auto runUnit = [this, wrapsOf, unitRows] (int which, int begin, int end, const float* partnerWraps)
    {
        units[(size_t) which].renderStretch (unitRows (which).from (begin), end - begin,
                                             unitOutputs[(size_t) which].data() + 2 * begin,
                                             partnerWraps != nullptr ? partnerWraps + 2 * begin : nullptr,
                                             wrapsOf (which) + 1 + 2 * begin);
    };

    const auto runOsc1 = [&]
    {
        // Synced, osc 1 reads osc 2's wraps a tick late; osc 1's two units are never twins then.
        const auto* partnerLeft = sync1 ? wrapsOf (osc2Left) : nullptr;
        const auto* partnerRight = sync1 ? wrapsOf (osc2Right) : nullptr;
        runUnit (osc1Left, 0, count, partnerLeft);

        if (! osc1Twins)
            runUnit (osc1Right, 0, count, partnerRight);
        else
            std::copy_n (wrapsOf (osc1Left), 2 * count + 1, wrapsOf (osc1Right));
    };

    const auto runOsc2 = [&]
    {
        const auto* partnerLeft = sync2 ? wrapsOf (osc1Left) + 1 : nullptr;
        const auto* partnerRight = sync2 ? wrapsOf (osc1Twins ? osc1Left : osc1Right) + 1 : nullptr;

        if (! osc2Twins)
        {
            runUnit (osc2Left, 0, count, partnerLeft);
            runUnit (osc2Right, 0, count, partnerRight);
        }
        else if (osc2PartsAt >= 0)
        {
            // The right unit comes in on its own from the sample where the pair's halves part.
            const auto at = osc2PartsAt;
            runUnit (osc2Left, 0, at, partnerLeft);
            units[osc2Right].copyStateFrom (units[osc2Left]);
            runUnit (osc2Left, at, count, partnerLeft);
            runUnit (osc2Right, at, count, partnerRight);
            std::copy (unitOutputs[osc2Left].begin(), unitOutputs[osc2Left].begin() + 2 * at, unitOutputs[osc2Right].begin());
            std::copy_n (wrapsOf (osc2Left) + 1, 2 * at, wrapsOf (osc2Right) + 1);
            osc2Twins = false;
            units[osc1Right].setSyncPartner (&units[osc2Right]);
        }
        else
        {
            runUnit (osc2Left, 0, count, partnerLeft);
            std::copy_n (wrapsOf (osc2Left) + 1, 2 * count, wrapsOf (osc2Right) + 1);
        }
    };

    if (sync1)
    {
        // A twin right unit lags behind: the left one holds the pair's wrap.
        noteWrapBefore (osc2Left, units[osc2Left]);
        noteWrapBefore (osc2Right, units[osc2Twins ? osc2Left : osc2Right]);
        runOsc2();
        runOsc1();
    }
    else
    {
        runOsc1();
        runOsc2();
    }

    const auto* o1R = unitOutputs[osc1Twins ? osc1Left : osc1Right].data();
    const auto* o2R = unitOutputs[osc2Twins ? osc2Left : osc2Right].data();

    subOscillator.renderStretch (row (offsetof (SourceFrame, subFrequency)), row (offsetof (SourceFrame, subDcw)),
                                 row (offsetof (SourceFrame, subGain)), count, sourceSub.data());

    const auto ring = sourceSettings.mixMode == 1;
    const auto* osc1Gains = row (offsetof (SourceFrame, osc1Gain));
    const auto* osc2Gains = row (offsetof (SourceFrame, osc2Gain));
    const auto* preNoises = row (offsetof (SourceFrame, preNoise));
    const auto* postNoises = row (offsetof (SourceFrame, postNoise));
    struct MixFrame { float osc1Gain, osc2Gain, preNoise, postNoise; };
    const auto mixFrame = [&] (int j) { return MixFrame { osc1Gains[j], osc2Gains[j], preNoises[j], postNoises[j] }; };
    const auto* o1L = unitOutputs[osc1Left].data();
    const auto* o2L = unitOutputs[osc2Left].data();

    // The stretch's noise in the order each generator draws it, as drawPostNoise and the mix's two
    // ticks do one by one: per base sample the post-decimation share's value, then the mix's two.
    // No source fade runs while the sources run in loops, so the old generators rest.
    float noise[2 * 3 * stretchLength];
    auto draws = 0;

    for (int j = 0; j < count; ++j)
        draws += (postNoises[j] != 0.0f ? 1 : 0) + (preNoises[j] != 0.0f ? 2 : 0);

    NoiseSource::drawPairs (noiseSources[0], noiseSources[1], noise, draws);
    const auto* drawn = noise;
    auto j = 0;

#if QUILLON_SIN_LANES
    // Where every base sample draws all three values or none, a base sample's two ticks of both
    // sides mix in one vector, lanes (left, left, right, right), each side's terms in its order.
    if (! dsp::exactReference && (draws == 0 || draws == 3 * count))
    {
        const auto noisy = draws != 0;
        const auto pairs = [] (const float* a, const float* b)
        {
            const auto low = _mm_castpd_ps (_mm_load_sd (reinterpret_cast<const double*> (a)));
            return _mm_loadh_pi (low, reinterpret_cast<const __m64*> (b));
        };

        for (; j < count; ++j)
        {
            const auto f = mixFrame (j);
            const auto i = 2 * j;
            const auto first = _mm_mul_ps (pairs (o2L + i, o1R + i), _mm_setr_ps (f.osc2Gain, f.osc2Gain, f.osc1Gain, f.osc1Gain));
            const auto second = _mm_mul_ps (pairs (o1L + i, o2R + i), _mm_setr_ps (f.osc1Gain, f.osc1Gain, f.osc2Gain, f.osc2Gain));
            auto mixed = _mm_setzero_ps();

            if (noisy)
            {
                const auto pre = _mm_loadu_ps (drawn + 2);
                mixed = _mm_mul_ps (_mm_shuffle_ps (pre, pre, _MM_SHUFFLE (3, 1, 2, 0)), _mm_set1_ps (f.preNoise));
            }

            mixed = ring ? _mm_add_ps (mixed, _mm_mul_ps (first, second)) : _mm_add_ps (_mm_add_ps (mixed, first), second);
            _mm_storel_pi (reinterpret_cast<__m64*> (sourceLeft.data() + i), mixed);
            _mm_storeh_pi (reinterpret_cast<__m64*> (sourceRight.data() + i), mixed);
            postNoiseLeft[(size_t) (from + j)] = (noisy ? drawn[0] : 0.0f) * f.postNoise;
            postNoiseRight[(size_t) (from + j)] = (noisy ? drawn[1] : 0.0f) * f.postNoise;
            drawn += noisy ? 6 : 0;
        }
    }
#endif

    for (; j < count; ++j)
    {
        const auto f = mixFrame (j);
        auto postL = 0.0f, postR = 0.0f;

        if (f.postNoise != 0.0f)
        {
            postL = drawn[0];
            postR = drawn[1];
            drawn += 2;
        }

        postNoiseLeft[(size_t) (from + j)] = postL * f.postNoise;
        postNoiseRight[(size_t) (from + j)] = postR * f.postNoise;
        const auto noisy = f.preNoise != 0.0f;

        for (int i = 2 * j; i < 2 * j + 2; ++i)
        {
            const auto noiseL = noisy ? drawn[0] * f.preNoise : 0.0f;
            const auto noiseR = noisy ? drawn[1] * f.preNoise : 0.0f;
            drawn += noisy ? 2 : 0;
            const auto index = (size_t) i;

            if (ring)
            {
                sourceLeft[index] = noiseL + (o2L[i] * f.osc2Gain) * (o1L[i] * f.osc1Gain);
                sourceRight[index] = noiseR + (o1R[i] * f.osc1Gain) * (o2R[i] * f.osc2Gain);
            }
            else
            {
                sourceLeft[index] = noiseL + o2L[i] * f.osc2Gain + o1L[i] * f.osc1Gain;
                sourceRight[index] = noiseR + o1R[i] * f.osc1Gain + o2R[i] * f.osc2Gain;
            }
        }
    }
}

void SynthEngine::renderSources (int index) noexcept
{
    // An oscillator at zero level (either one in ring mode) only moves its state on.
    const auto ring = sourceSettings.mixMode == 1;
    const auto audible1 = osc1Gain != 0.0f && (! ring || osc2Gain != 0.0f);
    const auto audible2 = osc2Gain != 0.0f && (! ring || osc1Gain != 0.0f);

    float o1L, o1R, o2L, o2R;

    if (morphAmountNow > 0.0f)
    {
        // Morphing, each unit takes two sines a tick: the units' sines are taken four at a time.
        PdOscillator* group[numUnits];
        bool audible[numUnits];
        float out[numUnits];
        int n = 0;
        const auto add = [&] (int which, bool a) { group[n] = &units[(size_t) which]; audible[n++] = a; };

        add (osc1Left, audible1);
        if (! osc1Twins) add (osc1Right, audible1);
        const auto second = n;
        add (osc2Left, audible2);
        if (! osc2Twins) add (osc2Right, audible2);

        PdOscillator::tickUnits (group, audible, out, n);
        o1L = out[0];
        o1R = osc1Twins ? o1L : out[1];
        o2L = out[second];
        o2R = osc2Twins ? o2L : out[second + 1];
    }
    else
    {
        o1L = units[osc1Left].tick (audible1);
        o1R = osc1Twins ? o1L : units[osc1Right].tick (audible1);
        o2L = units[osc2Left].tick (audible2);
        o2R = osc2Twins ? o2L : units[osc2Right].tick (audible2);
    }

    auto subL = subOscillator.tick (subGain != 0.0f) * subGain;
    const auto noisy = preNoiseAmount != 0.0f;
    const auto noiseL = noisy ? noiseSources[0].next() * preNoiseAmount : 0.0f;
    const auto noiseR = noisy ? noiseSources[1].next() * preNoiseAmount : 0.0f;

    float mixL, mixR;

    if (ring)
    {
        mixL = noiseL + (o2L * osc2Gain) * (o1L * osc1Gain);
        mixR = noiseR + (o1R * osc1Gain) * (o2R * osc2Gain);
    }
    else
    {
        mixL = noiseL + o2L * osc2Gain + o1L * osc1Gain;
        mixR = noiseR + o1R * osc1Gain + o2R * osc2Gain;
    }

    if (sourceFade.isFading())
    {
        float oldL, oldR, oldSub;
        renderOldSources (oldL, oldR, oldSub);
        const auto w = sourceFade.oldWeight();
        mixL += w * (oldL - mixL);
        mixR += w * (oldR - mixR);
        subL += w * (oldSub - subL);
        --sourceFade.countdown;
    }

    sourceLeft[(size_t) index] = mixL;
    sourceRight[(size_t) index] = mixR;
    sourceSub[(size_t) index] = subL;
}

// The sources as they were before a switch, with its old settings, for the length of its fade.
void SynthEngine::renderOldSources (float& mixL, float& mixR, float& sub) noexcept
{
    const auto& old = sourceFade.old;
    const auto ring = old.mixMode == 1;
    const auto audible1 = osc1Gain != 0.0f && (! ring || osc2Gain != 0.0f);
    const auto audible2 = osc2Gain != 0.0f && (! ring || osc1Gain != 0.0f);
    const auto o1L = oldUnits[osc1Left].tick (audible1) * osc1Gain;
    const auto o1R = oldUnits[osc1Right].tick (audible1) * osc1Gain;
    const auto o2L = oldUnits[osc2Left].tick (audible2) * osc2Gain;
    const auto o2R = oldUnits[osc2Right].tick (audible2) * osc2Gain;
    const auto noisy = preNoiseAmount != 0.0f;
    const auto noiseL = noisy ? oldNoiseSources[0].next() * preNoiseAmount : 0.0f;
    const auto noiseR = noisy ? oldNoiseSources[1].next() * preNoiseAmount : 0.0f;

    mixL = noiseL + (ring ? o2L * o1L : o2L + o1L);
    mixR = noiseR + (ring ? o1R * o2R : o1R + o2R);
    sub = oldSubOscillator.tick (subGain != 0.0f) * subGain;
}

} // namespace quillon
