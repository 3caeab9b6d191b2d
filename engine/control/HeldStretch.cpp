#include "engine/control/VoiceControl.h"
#include "engine/core/VoiceMath.h"
#include "engine/core/FastMath.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace quillon
{

// The samples of a held stretch after its first, each step in a pass over the whole stretch:
// the sources the slots read, the matrix's sums per destination, then what they feed. Per
// sample the same operations in the same order as computeBaseRateSample's.
void VoiceControl::computeHeldStretch (int first, int count) noexcept
{
    auto& rows = heldRows;
    const auto& mod = modulation;
    const auto end = (size_t) count;

    // The smooth random source moves on on every sample; where the drift's amount holds along
    // the stretch, the drift walk moves on with it and their two chains overlap.
    constexpr auto driftBit = modDestinationBits ({ ModDestination::drift });
    const auto walkAlong = plan.pitchDeferred && (movingDestinations & driftBit) == 0
                        && withDriftStep ({ 0.0f, mod[ModDestination::drift] }, 0.0f).drifting;

    if (walkAlong)
        RandomWalk::render (smoothRandom, rows.random.data() + 1, driftWalk, rows.walk.data() + 1, count - 1);
    else
        smoothRandom.render (rows.random.data() + 1, count - 1);

    const auto lfoDepth = clamp01 (next (Smooth::lfo1Depth) + lfoDepthMod);
    const auto summed = computeHeldMatrix (end, lfoDepth); // bit per destination whose row is written

    const auto row = [this, summed] (ModDestination d) { return heldRow (d, summed); };

    // The oscillators' shapes, where slots from moving sources move them.
    const auto shapesMove = ! plan.voiceSettled && (movingDestinations & shapeDestinations) != 0;

    if (shapesMove)
        computeHeldShapes (summed);

    const auto levelsMove = ! plan.voiceSettled && (movingDestinations & levelDestinations) != 0;
    const auto ring = sourceSettings.mixMode == 1;
    const auto* level1 = row (ModDestination::osc1Level);
    const auto* level2 = row (ModDestination::osc2Level);
    const auto* subLevel = row (ModDestination::subLevel);
    const auto* subDcw = row (ModDestination::subDcw);

    const auto outputKnob = next (Smooth::outputGain);
    const auto* outputMod = row (ModDestination::output);
    const auto outputMoves = ((summed >> (int) ModDestination::output) & 1u) != 0;
    // The first frame's noise gains hold where nothing moves the level.
    const auto noiseMoves = ((summed >> (int) ModDestination::noiseLevel) & 1u) != 0;
    const auto routing = clamp01 (next (Smooth::noiseRouting));
    const auto noiseKnob = next (Smooth::noiseLevel);
    const auto* noiseMod = row (ModDestination::noiseLevel);
    const auto pitchMoves = (movingDestinations & pitchDestinations) != 0;
    const auto pitchRows = heldPitchRows (summed);
    auto output = settledOutputGain;

    // The pitch pass's sums, whole rows at a time; the first sample's are its own.
    if (plan.pitchDeferred)
        prepareDeferredPitch (summed, walkAlong, end);

    // Only the pitch worked out here sample by sample, where it is, can leave a frame other than
    // the first one before it; the rest starts from the first frame rather than wait on the
    // stores into the one before.
    const auto pitchHere = ! plan.voiceSettled && ! plan.pitchDeferred;

    for (size_t j = 1; j < end; ++j)
    {
        auto& frame = sourceFrames[j];
        frame = sourceFrames[pitchHere ? j - 1 : 0];

        if (pitchHere && (pitchMoves || next (Smooth::oscDrift) + pitchRows.drift[j] > 0.0f))
            computePitchSettings (frame, withDriftStep (pitchRows.at (j),
                                                        driftWalk), (int) j);
        else if (! plan.pitchDeferred)
            advanceBeatPhase();

        if (shapesMove)
        {
            frame.depth1 = rows.depth1[j];
            frame.depth2 = rows.depth2[j];
            frame.width1 = rows.width1[j];
            frame.width2 = rows.width2[j];
            frame.morph = rows.morph[j];
        }

        if (levelsMove)
        {
            const auto gain1 = next (Smooth::osc1Level) * modDecibelsToGain (level1[j]);
            const auto gain2 = next (Smooth::osc2Level) * modDecibelsToGain (level2[j]);
            frame.osc1Gain = gain1;
            frame.osc2Gain = gain2;
            frame.subGain = next (Smooth::subLevel) * modDecibelsToGain (subLevel[j]);
            frame.audible1 = gain1 != 0.0f && (! ring || gain2 != 0.0f);
            frame.audible2 = gain2 != 0.0f && (! ring || gain1 != 0.0f);
            frame.subDcw = clamp01 (next (Smooth::subDcwDepth) + subDcw[j]);
        }

        if (noiseMoves)
        {
            const auto noiseGain = noiseKnob * modDecibelsToGain (noiseMod[j]);
            frame.postNoise = routing * noiseGain;
            frame.preNoise = (1.0f - routing) * noiseGain;
        }
    }

    // The gains, as the one by one path works them out.
    auto* gains = sampleGains.data() + first;

    if (outputMoves)
    {
        for (size_t j = 1; j < end; ++j)
        {
            output = outputKnob * modDecibelsToGain (outputMod[j]);
            gains[j] = output * envelopeLevels[ampGroup][j] * rows.ampFactor[j];
        }
    }
    else
    {
        output = outputKnob * modDecibelsToGain (outputMod[0]);

        for (size_t j = 1; j < end; ++j)
            gains[j] = output * envelopeLevels[ampGroup][j] * rows.ampFactor[j];
    }

    settledOutputGain = output;

    // A chain that moves takes its frames one by one, with each sample's sums where it reads them.
    if (! plan.chainSettled)
        computeHeldChain (count, summed);

    // What the last sample leaves behind for the next stretch and for the views.
    finishHeldStretch (end - 1, lfoDepth);
}

// The matrix's sums over a held stretch, row by row: held where its slots read held sources, as
// the first sample left it. The loops run over whole rows, four lanes at a time from the first;
// what lies outside the samples at hand is worked out and never read.
std::uint32_t VoiceControl::computeHeldMatrix (size_t end, float lfoDepth) noexcept
{
    auto& rows = heldRows;
    const auto& mod = modulation;
    constexpr auto all = (size_t) stretchLength;
    std::uint32_t summed = 0;

    for (size_t c = 0; c < activeSlots.numCleared; ++c)
    {
        const auto d = activeSlots.cleared[c];
        std::fill (rows.sums[d].begin(), rows.sums[d].end(), plan.matrixStill ? mod.sums[d] : 0.0f);
        summed |= 1u << d;
    }

    std::fill (rows.ampFactor.begin(), rows.ampFactor.end(), plan.matrixStill ? mod.ampFactor : 1.0f);
    if (! plan.matrixStill)
    {
        for (size_t n = 0; n < activeSlots.count; ++n)
        {
            const auto& a = activeSlots.active[n];
            auto* v = rows.slotValues.data();

            switch ((ModSource) a.source)
            {
                case ModSource::lfo1:
                    for (size_t j = 0; j < all; ++j)
                        v[j] = lfoValues[j] * lfoDepth;
                    break;
                case ModSource::dcwEnvOsc1:  std::copy_n (envelopeLevels[osc1DcwGroup].data(), all, v); break;
                case ModSource::dcwEnvOsc2:  std::copy_n (envelopeLevels[osc2DcwGroup].data(), all, v); break;
                case ModSource::filterEnv:   std::copy_n (envelopeLevels[filterGroup].data(), all, v); break;
                case ModSource::ampEnv:      std::copy_n (envelopeLevels[ampGroup].data(), all, v); break;
                case ModSource::smoothRandom: std::copy_n (rows.random.data(), all, v); break;
                // Those that hold along the stretch (the beat's phase is not read here).
                case ModSource::off: case ModSource::velocity: case ModSource::key: case ModSource::modWheel:
                case ModSource::aftertouch: case ModSource::noteRandom: case ModSource::beatPhase: case ModSource::count:
                default:                     std::fill_n (v, all, a.source != 0 ? sourceValues[a.source] : 0.0f); break;
            }

            if (a.squared)
                for (size_t j = 0; j < all; ++j)
                    v[j] = v[j] < 0.0f ? -v[j] * v[j] : v[j] * v[j];

            modulation.live[a.slot] = v[end - 1] * a.amount;

            if (a.amp)
            {
                auto* f = rows.ampFactor.data();

                if (a.ampRising)
                    for (size_t j = 0; j < all; ++j)
                        f[j] *= a.ampBase + a.ampShare * v[j];
                else
                    for (size_t j = 0; j < all; ++j)
                        f[j] *= a.ampBase + a.ampShare * (1.0f - v[j]);
            }
            else if (a.destination != 0)
            {
                auto* s = rows.sums[a.destination].data();

                for (size_t j = 0; j < all; ++j)
                    s[j] += a.amount * v[j] * a.scale;
            }
        }
    }

    return summed;
}

const float* VoiceControl::heldRow (ModDestination d, std::uint32_t summed) const noexcept
{
    return ((summed >> (int) d) & 1u) != 0 ? heldRows.sums[(size_t) d].data() : heldRows.zeros.data();
}

VoiceControl::PitchRows VoiceControl::heldPitchRows (std::uint32_t summed) const noexcept
{
    return { heldRow (ModDestination::pitch, summed),        heldRow (ModDestination::drift, summed),
             heldRow (ModDestination::reeseSpread, summed),  heldRow (ModDestination::reeseBeat, summed),
             heldRow (ModDestination::osc2DetuneHz, summed), heldRow (ModDestination::osc2Detune, summed) };
}

// The oscillators' shapes over a held stretch, where slots from moving sources move them.
void VoiceControl::computeHeldShapes (std::uint32_t summed) noexcept
{
    auto& rows = heldRows;
    const auto row = [this, summed] (ModDestination d) { return heldRow (d, summed); };
    const auto locked = sourceSettings.reeseLocked;
    const auto depth1Smoothed = next (Smooth::osc1DcwDepth);
    const auto depth2Own = locked ? depth1Smoothed : next (Smooth::osc2DcwDepth);
    const auto morphKnob = next (Smooth::pdMorphAmount);
    const auto width1Knob = next (Smooth::osc1PulseWidth), width2Own = next (Smooth::osc2PulseWidth);
    const auto* dcw1 = row (ModDestination::osc1Dcw);
    const auto* dcw2 = row (ModDestination::osc2Dcw);
    const auto* morph = row (ModDestination::pdMorph);
    const auto* pw1 = row (ModDestination::osc1Pw);
    const auto* pw2 = row (ModDestination::osc2Pw);

    // Four samples at a time, the whole rows: the clamps one by one would each wait on a branch.
    using dsp::Float4;
    const auto zero = Float4 (0.0f), one = Float4 (1.0f), narrowest = Float4 (0.05f), widest = Float4 (0.95f);

    for (size_t j = 0; j < (size_t) stretchLength; j += 4)
    {
        clamp (Float4 (depth1Smoothed) + Float4::load (dcw1 + j), zero, one).store (rows.depth1.data() + j);
        clamp (Float4 (depth2Own) + Float4::load (dcw2 + j), zero, one).store (rows.depth2.data() + j);
        clamp (Float4 (morphKnob) + Float4::load (morph + j), zero, one).store (rows.morph.data() + j);
        const auto width1 = clamp (Float4 (width1Knob) + Float4::load (pw1 + j), narrowest, widest);
        width1.store (rows.width1.data() + j);
        const auto width2 = locked ? width1 : Float4 (width2Own);
        clamp (width2 + Float4::load (pw2 + j), narrowest, widest).store (rows.width2.data() + j);
    }
}

// The pitch pass's sums over a held stretch, and the drift walk's steps.
void VoiceControl::prepareDeferredPitch (std::uint32_t summed, bool walkAlong, size_t end) noexcept
{
    auto& rows = heldRows;
    const auto pitchRows = heldPitchRows (summed);
    auto& deferred = deferredPitch;
    const auto own = deferred.at (0);
    std::copy_n (pitchRows.pitch, stretchLength, deferred.pitch.data());
    std::copy_n (pitchRows.drift, stretchLength, deferred.drift.data());
    std::copy_n (pitchRows.spread, stretchLength, deferred.spread.data());
    std::copy_n (pitchRows.beat, stretchLength, deferred.beat.data());
    std::copy_n (pitchRows.detuneHz, stretchLength, deferred.detuneHz.data());
    std::copy_n (pitchRows.detuneCents, stretchLength, deferred.detuneCents.data());

    if (walkAlong)
    {
        // withDriftStep four samples at a time.
        using dsp::Float4;
        const auto knob = Float4 (next (Smooth::oscDrift));

        for (size_t j = 0; j < (size_t) stretchLength; j += 4)
        {
            const auto amount = clamp (knob + Float4::load (pitchRows.drift + j), Float4 (0.0f), Float4 (1.0f));
            const auto drifting = amount > Float4 (0.0f);
            const auto octaves = Float4::load (rows.walk.data() + j) * amount * Float4 (60.0f / 1200.0f);
            select (drifting, octaves, Float4 (0.0f)).store (deferred.driftOctaves.data() + j);
            // The four flags as four bytes at once: lane i's bit moves to bit 8 i.
            const auto bytes = ((std::uint32_t) bitsOf (drifting) * 0x00204081u) & 0x01010101u;
            static_assert (sizeof (bool) == 1);
            std::memcpy (deferred.drifting.data() + j, &bytes, sizeof (bytes));
        }
    }
    else
    {
        for (size_t j = 1; j < end; ++j)
            deferred.set (j, withDriftStep (pitchRows.at (j),
                                            driftWalk));
    }

    deferred.set (0, own);
}

// The chain's frames over a held stretch, each with its sample's sums where it reads them.
void VoiceControl::computeHeldChain (int count, std::uint32_t summed) noexcept
{
    const auto& rows = heldRows;
    const auto end = (size_t) count;
    std::array<size_t, numModDestinations> chainRows {};
    size_t numChainRows = 0;

    for (size_t d = 0; d < (size_t) numModDestinations; ++d)
        if (((summed & chainDestinations) >> d & 1u) != 0)
            chainRows[numChainRows++] = d;

    // With the cutoff's and the drive's own smoothers still, every frame after the first
    // takes that one's held fields: the rest goes four samples at a time.
    const auto inLanes = chainFramesInLanes && smoothersHeldBefore && ! cutoffSmoother.isSmoothing()
                      && ! driveVelocitySmoother.isSmoothing();

    if (inLanes)
    {
        computeHeldChainFrames (count, summed);

        filterEnvValue = envelopeLevels[filterGroup][end - 1];

        for (size_t r = 0; r < numChainRows; ++r)
            modulation.sums[chainRows[r]] = rows.sums[chainRows[r]][end - 1];
    }

    for (size_t j = inLanes ? end : 1; j < end; ++j)
    {
        filterEnvValue = envelopeLevels[filterGroup][j];

        for (size_t r = 0; r < numChainRows; ++r)
            modulation.sums[chainRows[r]] = rows.sums[chainRows[r]][j];

        computeChainFrame (chainFrames[j], (int) j);
    }
}

// What the held stretch's last sample leaves behind for the next stretch and for the views.
void VoiceControl::finishHeldStretch (size_t last, float lfoDepth) noexcept
{
    const auto& rows = heldRows;
    filterEnvValue = envelopeLevels[filterGroup][last];

    if (activeSlots.count > 0 && ! plan.matrixStill)
    {
        const auto beatValue = sourceValues[(size_t) ModSource::beatPhase];
        sourceValues = { 0.0f, velocity, key, next (Smooth::modWheel), next (Smooth::aftertouch), lfoValues[last] * lfoDepth,
                         envelopeLevels[osc1DcwGroup][last], envelopeLevels[osc2DcwGroup][last], filterEnvValue,
                         envelopeLevels[ampGroup][last], noteRandom.getValue(), rows.random[last], beatValue };

        for (size_t c = 0; c < activeSlots.numCleared; ++c)
            modulation.sums[activeSlots.cleared[c]] = rows.sums[activeSlots.cleared[c]][last];

        modulation.ampFactor = rows.ampFactor[last];
        osc2PhaseMod = modulation[ModDestination::osc2Phase];
        lfoRateMod = modulation[ModDestination::lfo1Rate];
        lfoDepthMod = modulation[ModDestination::lfo1Depth];
    }
}

// computeChainFrame for the frames of a held stretch after its first, each field the same
// operations in the same order, four samples at a time. Only the smoothers that the held voice
// lets ramp could move them one by one, and those stand still here.
void VoiceControl::computeHeldChainFrames (int count, std::uint32_t summed) noexcept
{
    if constexpr (chainFramesInLanes)
    {
        using dsp::Float4;
        const auto& rows = heldRows;
        const auto end = (size_t) count;

        // A destination no slot writes stays at 0.
        const auto sums = [&rows, summed] (ModDestination d) -> const float*
        {
            return ((summed >> (int) d) & 1u) != 0 ? rows.sums[(size_t) d].data() : rows.zeros.data();
        };

        // The first sample's inputs are its own: the rows may not hold them.
        auto& in = chainInputs;
        const auto first = std::array<float, 4> { in.semitones[0], in.knob[0], in.driveDb[0], in.driveLevel[0] };
        const auto envKnob = Float4 (next (Smooth::filterEnvAmount) * filterEnvVelocityFactor);
        const auto knob = Float4 (cutoffSmoother.getNextValue());
        const auto driveKnob = Float4 (next (Smooth::drive) * driveVelocitySmoother.getNextValue());
        const auto driveLevel = Float4 (next (Smooth::driveGain));
        const auto* envelope = envelopeLevels[filterGroup].data();
        const auto* envMod = sums (ModDestination::filterEnv);
        const auto* cutoffMod = sums (ModDestination::cutoff);
        const auto* driveMod = sums (ModDestination::drive);

        for (size_t j = 0; j < (size_t) stretchLength; j += 4)
        {
            const auto envAmount = envKnob + Float4::load (envMod + j);
            (envAmount * Float4::load (envelope + j) + Float4::load (cutoffMod + j)).store (in.semitones.data() + j);
            knob.store (in.knob.data() + j);
            (driveKnob + Float4::load (driveMod + j)).store (in.driveDb.data() + j);
            driveLevel.store (in.driveLevel.data() + j);
        }

        in.semitones[0] = first[0];
        in.knob[0] = first[1];
        in.driveDb[0] = first[2];
        in.driveLevel[0] = first[3];

        // Every frame starts as a copy of the first, whose cutoff and drive gains the pass after
        // this one replaces; then the fields that slots from moving sources feed.
        const auto held = chainFrames[0];

        for (size_t j = 1; j < end; ++j)
            chainFrames[j] = held;

        const auto zero = Float4 (0.0f), one = Float4 (1.0f);
        for (const auto& c : chainKnobs)
        {
            if (((movingDestinations >> (int) c.destination) & 1u) == 0)
                continue;

            alignas (16) std::array<float, stretchLength> values;
            const auto knobValue = Float4 (next (smootherOf (c)));
            const auto* m = sums (c.destination);

            for (size_t j = 0; j < (size_t) stretchLength; j += 4)
            {
                const auto value = clamp (knobValue + Float4::load (m + j), zero, one);
                (c.scale != 1.0f ? value * Float4 (c.scale) : value).store (values.data() + j);
            }

            for (size_t j = 1; j < end; ++j)
                chainFrames[j].*c.field = values[j];
        }

        smoothersHeldBefore = numRampingSmoothers == 0;
    }
    else
    {
        juce::ignoreUnused (count, summed);
    }
}

// The cutoffs and drive gains of the frames the control loop noted, as computeChainFrame works
// them out one by one, with the same last values left behind. A settled chain has its one frame
// done already.
void VoiceControl::finishChainFrames (int count) noexcept
{
    if constexpr (chainFramesInLanes)
    {
        using dsp::Float4;

        if (plan.chainSettled || count <= 0)
            return;

        const auto driveMode = chainDriveMode;

        for (int k = 0; k < count; k += 4)
        {
            const auto lanes = std::min (4, count - k);
            const auto used = (1 << lanes) - 1;
            const auto semitones = Float4::load (chainInputs.semitones.data() + k);
            const auto knob = Float4::load (chainInputs.knob.data() + k);
            // At 0 semitones the ratio is exactly 1.
            const auto ratio = (bitsOf (semitones != Float4 (0.0f)) & used) != 0 ? dsp::cutoffRatio (semitones)
                                                                                : Float4 (1.0f);
            alignas (16) float cutoffs[4], pre[4], post[4];
            clamp (ratio * knob, Float4 (20.0f), Float4 (20000.0f)).store (cutoffs);

            // The gains stand still while nothing moves the drive.
            const auto driveDb = Float4::load (chainInputs.driveDb.data() + k);
            const auto driveLevel = Float4::load (chainInputs.driveLevel.data() + k);
            const auto moved = (driveDb != Float4 (driveCache.db)) | (driveLevel != Float4 (driveCache.level));

            if ((bitsOf (moved) & used) != 0 || driveMode != driveCache.mode || autoMakeup != driveCache.autoMakeup)
            {
                Float4 preGains, postGains;
                computeDriveGains (driveDb, driveMode, autoMakeup, driveLevel, preGains, postGains);
                preGains.store (pre);
                postGains.store (post);
                const auto last = (size_t) (k + lanes - 1);
                driveCache = { chainInputs.driveDb[last], driveMode, autoMakeup, chainInputs.driveLevel[last] };
                driveGains = { pre[lanes - 1], post[lanes - 1] };
            }
            else
            {
                for (int i = 0; i < 4; ++i)
                {
                    pre[i] = driveGains.pre;
                    post[i] = driveGains.post;
                }
            }

            for (int i = 0; i < lanes; ++i)
            {
                auto& frame = chainFrames[(size_t) (k + i)];
                frame.cutoff = cutoffs[i];
                frame.drivePre = pre[i];
                frame.drivePost = post[i];
            }
        }

        cutoffHz = chainFrames[(size_t) count - 1].cutoff;
    }
    else
    {
        juce::ignoreUnused (count);
    }
}

} // namespace quillon
