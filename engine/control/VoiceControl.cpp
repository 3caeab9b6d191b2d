#include "engine/SynthEngine.h"
#include "engine/core/VoiceMath.h"
#include "engine/control/PitchLanes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

namespace quillon
{

// The control pass: smoothers, envelopes' settings, LFO, glide, random sources and the matrix,
// worked out per base-rate sample into the frames the sources and the chain read.
namespace
{
constexpr const char* parameterIds[] = {
   #define QUILLON_ID_ENTRY(name) #name,
    QUILLON_ENGINE_PARAMETERS (QUILLON_ID_ENTRY)
   #undef QUILLON_ID_ENTRY
};

constexpr const char* envelopePrefixes[] = { "amp", "filter", "osc1Dcw", "osc2Dcw" };
constexpr const char* envelopeSuffixes[] = { "Attack", "Decay", "Sustain", "Release" };
constexpr float filterEnvelopeFallbacks[] = { 0.005f, 0.5f, 0.6f, 0.3f };
} // namespace

void SynthEngine::bindParameters()
{
    static_assert (std::size (parameterIds) == Param::count);

    for (int i = 0; i < Param::count; ++i)
        rawParameters[(size_t) i] = parameters.getRawParameterValue (parameterIds[i]);

    for (int slot = 0; slot < numModSlots; ++slot)
    {
        const auto digit = juce::String (slot + 1);
        const juce::String ids[] = { "mod" + digit + "Source", "mod" + digit + "Dest",
                                     "mod" + digit + "Amount", "matrix" + digit + "Curve" };

        for (size_t k = 0; k < 4; ++k)
            slotParameters[(size_t) slot][k] = parameters.getRawParameterValue (ids[k]);
    }

    for (int group = 0; group < numEnvelopeGroups; ++group)
        for (size_t k = 0; k < 4; ++k)
            envelopeParameters[(size_t) group][k]
                = parameters.getRawParameterValue (juce::String (envelopePrefixes[group]) + envelopeSuffixes[k]);

    if (auto* rate = parameters.getParameter ("lfo1Rate"))
        lfoRateRange = rate->getNormalisableRange();
}

//==============================================================================
void SynthEngine::updateSmootherTargets() noexcept
{
    const auto set = [this] (Smooth::Id id, float value) { smoothers[(size_t) id].setTargetValue (value); };

    set (Smooth::osc1Level, decibelsToGain (param (Param::osc1Level), -90.0f));
    set (Smooth::osc2Level, decibelsToGain (param (Param::osc2Level), -90.0f));
    set (Smooth::subLevel, decibelsToGain (param (Param::subLevel), -110.0f));
    set (Smooth::drive, param (Param::drive));
    set (Smooth::osc2Detune, param (Param::osc2Detune));
    set (Smooth::osc2DetuneHz, param (Param::osc2DetuneHz));
    set (Smooth::stereoWidth, clamp01 (param (Param::stereoWidth)));
    set (Smooth::osc1DcwDepth, clamp01 (param (Param::osc1DcwDepth)));
    set (Smooth::osc2DcwDepth, clamp01 (param (Param::osc2DcwDepth)));
    set (Smooth::oscDrift, clamp01 (param (Param::oscDrift)));
    set (Smooth::subDcwDepth, clamp01 (param (Param::subDcwDepth)));
    set (Smooth::filterReso, clamp01 (param (Param::filterReso)));
    set (Smooth::filterEnvAmount, param (Param::filterEnvAmount));
    set (Smooth::outputGain, decibelsToGain (param (Param::outputGain), -90.0f));
    set (Smooth::modWheel, modWheel.load (std::memory_order_relaxed));
    set (Smooth::aftertouch, aftertouch.load (std::memory_order_relaxed));
    set (Smooth::pitchBend, pitchBend);
    set (Smooth::lfo1Rate, std::clamp (param (Param::lfo1Rate), 0.05f, 20.0f));
    set (Smooth::lfo1Depth, clamp01 (param (Param::lfo1Depth)));
    set (Smooth::lfo1Phase, std::clamp (param (Param::lfo1Phase), -180.0f, 180.0f));
    set (Smooth::noiseLevel, decibelsToGain (param (Param::noiseLevel), -90.0f));
    set (Smooth::noiseRouting, clamp01 (param (Param::noiseRouting)));
    set (Smooth::osc1PulseWidth, std::clamp (param (Param::osc1PulseWidth), 0.05f, 0.95f));
    set (Smooth::osc2PulseWidth, std::clamp (param (Param::osc2PulseWidth), 0.05f, 0.95f));
    set (Smooth::osc1Pitch, param (Param::osc1Semitone) + param (Param::osc1Fine) / 100.0f);
    set (Smooth::osc2Pitch, param (Param::osc2Semitone) + param (Param::osc2Fine) / 100.0f);
    set (Smooth::driveGain, decibelsToGain (param (Param::driveGain), -90.0f));
    set (Smooth::driveMix, clamp01 (param (Param::driveMix)));
    set (Smooth::filterEnabled, param (Param::filterEnabled) > 0.5f ? 1.0f : 0.0f);
    set (Smooth::subDriveSend, clamp01 (param (Param::subDriveSend, 1.0f)));
    set (Smooth::monoLowEnabled, param (Param::monoLowEnabled, 1.0f) > 0.5f ? 1.0f : 0.0f);
    set (Smooth::monoLowFreq, std::clamp (param (Param::monoLowFreq, 120.0f), 40.0f, 300.0f));
    set (Smooth::reeseBeat, std::clamp (param (Param::reeseBeat), 0.0f, 20.0f));
    set (Smooth::reeseSpread, clamp01 (param (Param::reeseSpread)));
    set (Smooth::pdMorphAmount, clamp01 (param (Param::pdMorphAmount)));
    set (Smooth::phaseMix, clamp01 (param (Param::phaseMix, 0.5f)));
    set (Smooth::phaseStereo, clamp01 (param (Param::phaseStereo)));
    set (Smooth::phaseNotch, clamp01 (param (Param::phaseNotch, 1.0f)));
    set (Smooth::feedbackAmount, clamp01 (param (Param::feedbackAmount)));
    set (Smooth::feedbackTone, std::clamp (param (Param::feedbackTone, 2500.0f), 80.0f, 12000.0f));

    cutoffSmoother.setTargetValue (std::clamp (param (Param::filterCutoff), 20.0f, 20000.0f));
}

// Per chunk, once the targets are set: most values stand still, and those are read as they are.
// The mono-low pair is left out: the output stage advances it after decimation. With the reese
// lock on, osc 2's depth and width hold where they are.
void SynthEngine::collectRampingSmoothers() noexcept
{
    numRampingSmoothers = 0;
    const auto locked = sourceSettings.reeseLocked;

    for (int id = 0; id < Smooth::count; ++id)
    {
        auto& s = smoothers[(size_t) id];
        smoothedNow[(size_t) id] = s.getCurrentValue();
        const auto held = id == Smooth::monoLowEnabled || id == Smooth::monoLowFreq
                       || (locked && (id == Smooth::osc2DcwDepth || id == Smooth::osc2PulseWidth));

        if (s.isSmoothing() && ! held)
            rampingSmoothers[(size_t) numRampingSmoothers++] = (std::uint8_t) id;
    }
}

void SynthEngine::advanceRampingSmoothers() noexcept
{
    for (int k = 0; k < numRampingSmoothers;)
    {
        const auto id = rampingSmoothers[(size_t) k];
        auto& s = smoothers[id];
        smoothedNow[id] = s.getNextValue();

        if (s.isSmoothing())
            ++k;
        else
            rampingSmoothers[(size_t) k] = rampingSmoothers[(size_t) --numRampingSmoothers];
    }
}

void SynthEngine::snapSmoothers() noexcept
{
    for (auto& s : smoothers)
        s.setCurrentAndTargetValue (s.getTargetValue());

    for (auto& group : envelopeSmoothers)
        for (auto& s : group)
            s.setCurrentAndTargetValue (s.getTargetValue());

    envelopeSettingsMoving = false;
    cutoffSmoother.setCurrentAndTargetValue (cutoffSmoother.getTargetValue());
}

void SynthEngine::copyModSlots() noexcept
{
    for (size_t i = 0; i < slots.size(); ++i)
    {
        const auto& raw = slotParameters[i];
        slots[i].source = (int) readRaw (raw[0], 0.0f);
        slots[i].destination = (int) readRaw (raw[1], 0.0f);
        slots[i].amount = std::clamp (readRaw (raw[2], 0.0f), -1.0f, 1.0f);
        slots[i].curve = (int) readRaw (raw[3], 0.0f);
    }

    activeSlots.find (slots, modulation);

    lfoCanRender = shortcutsAllowed;

    for (const auto& slot : slots)
        if (isModSlotActive (slot) && (slot.destination == (int) ModDestination::lfo1Rate
                                       || slot.destination == (int) ModDestination::lfo1Depth))
            lfoCanRender = false;

    // The sources a slot reads; the costly ones are computed only then.
    sourcesInUse = 0;

    // Whether the slots leave the voice's settings still: a slot that moves them reads a source
    // that moves within a note and feeds something other than the per-sample gains or the LFO.
    slotsHoldStill = true;
    chainSlotsHoldStill = true;
    slotsReadStillSources = true;
    movingDestinations = 0;

    for (const auto& slot : slots)
    {
        if (! isModSlotActive (slot))
            continue;

        const auto source = (ModSource) slot.source;
        const auto destination = (ModDestination) slot.destination;
        const auto still = source == ModSource::velocity || source == ModSource::key || source == ModSource::modWheel
                        || source == ModSource::aftertouch || source == ModSource::noteRandom;
        const auto aside = destination == ModDestination::amp || destination == ModDestination::output
                        || destination == ModDestination::noiseLevel || destination == ModDestination::lfo1Rate
                        || destination == ModDestination::lfo1Depth || destination == ModDestination::osc2Phase;
        slotsHoldStill = slotsHoldStill && (still || aside);
        slotsReadStillSources = slotsReadStillSources && still;

        if (! still && slot.destination > 0 && slot.destination < numModDestinations)
            movingDestinations |= 1u << slot.destination;

        // The chain's settings: the filter envelope moves the cutoff whatever sets its amount.
        const auto chainDestination = destination == ModDestination::cutoff || destination == ModDestination::drive
                                   || destination == ModDestination::resonance || destination == ModDestination::phaseMix
                                   || destination == ModDestination::phaseNotch || destination == ModDestination::feedback;
        chainSlotsHoldStill = chainSlotsHoldStill && destination != ModDestination::filterEnv
                           && (still || ! chainDestination);
    }

    for (const auto& slot : slots)
        if (slot.source > 0 && slot.source < numModSources && slot.destination != 0 && slot.amount != 0.0f)
            sourcesInUse |= 1u << slot.source;
}

//==============================================================================
void SynthEngine::setEnvelopeTargets() noexcept
{
    for (int group = 0; group < numEnvelopeGroups; ++group)
    {
        const auto& raw = envelopeParameters[(size_t) group];
        auto& values = envelopeSmoothers[(size_t) group];
        auto changed = false, ramping = false;

        for (size_t k = 0; k < 4; ++k)
        {
            const auto fallback = group == filterGroup ? filterEnvelopeFallbacks[k] : 0.0f;
            const auto v = readRaw (raw[k], fallback);
            const auto target = k == 2 ? clamp01 (v) : std::clamp (v, 0.0f, 4.0f);

            if (target != values[k].getTargetValue())
            {
                values[k].setTargetValue (target);
                changed = true;
            }

            ramping = ramping || values[k].isSmoothing();
        }

        if (ramping)
            envelopeSettingsMoving = true;
        else if (changed)
            writeEnvelopeGroup (group);
    }
}

void SynthEngine::writeEnvelopeGroup (int group) noexcept
{
    const auto& v = envelopeSmoothers[(size_t) group];
    const auto apply = [&v] (Envelope& envelope)
    {
        envelope.setParameters (v[0].getCurrentValue(), v[1].getCurrentValue(), v[2].getCurrentValue(),
                                v[3].getCurrentValue());
        envelope.updateRates();
    };

    switch (group)
    {
        case ampGroup:    apply (ampEnvelope); break;
        case filterGroup: apply (filterEnvelope); break;
        case osc1DcwGroup:
            apply (osc1DcwEnvelope);
            apply (units[osc1Left].dcwEnvelope);
            apply (units[osc1Right].dcwEnvelope);
            break;
        case osc2DcwGroup:
            apply (osc2DcwEnvelope);
            apply (units[osc2Left].dcwEnvelope);
            apply (units[osc2Right].dcwEnvelope);
            break;
        default: break;
    }
}

// Per base-rate sample while an envelope setting ramps: a sustain level moved while a note is
// held glides to its new value instead of jumping there.
void SynthEngine::advanceEnvelopeSettings() noexcept
{
    auto stillMoving = false;

    for (int group = 0; group < numEnvelopeGroups; ++group)
    {
        auto& values = envelopeSmoothers[(size_t) group];

        if (! (values[0].isSmoothing() || values[1].isSmoothing() || values[2].isSmoothing() || values[3].isSmoothing()))
            continue;

        for (auto& value : values)
            value.getNextValue();

        writeEnvelopeGroup (group);
        stillMoving = stillMoving || values[0].isSmoothing() || values[1].isSmoothing() || values[2].isSmoothing()
                   || values[3].isSmoothing();
    }

    envelopeSettingsMoving = stillMoving;
}

// The envelopes other than the amp's carry on while the voice is silent: a release still running
// when the amp envelope ended goes on falling, so the next note starts them from where it got to.
void SynthEngine::catchUpIdleEnvelopes() noexcept
{
    if (idleSamples <= 0)
        return;

    for (auto* envelope : { &filterEnvelope, &osc1DcwEnvelope, &osc2DcwEnvelope })
        envelope->advance (idleSamples);

    for (auto& unit : units)
        unit.dcwEnvelope.advance (2 * idleSamples); // they run at the 2x rate

    idleSamples = 0;
}

//==============================================================================
void SynthEngine::updateLfoRate (float rateHz, float baseRateHz, float phaseDegrees) noexcept
{
    lfo.setShape (std::clamp (choice (Param::lfo1Shape), 0, 3));
    lfoSynced = choice (Param::lfo1Sync) == 1;
    lfo.setSynced (lfoSynced);
    lfoSyncKnobHz = -1.0f;
    moveLfoRate (rateHz, baseRateHz, phaseDegrees);
}

void SynthEngine::moveLfoRate (float rateHz, float baseRateHz, float phaseDegrees) noexcept
{
    lfo.setFreeRate (std::clamp (rateHz, 0.001f, 200.0f));

    // In sync mode the rate knob's position picks the division; rate modulation is ignored.
    if (lfoSynced && baseRateHz != lfoSyncKnobHz)
    {
        lfoSyncKnobHz = baseRateHz;
        const auto position = clamp01 (lfoRateRange.convertTo0to1 (baseRateHz));
        const auto index = std::clamp ((int) std::round (position * 9.0f), 0, 9);
        lfo.setSyncBeats (std::clamp (lfoSyncDivisions[(size_t) index].beats, 1.0f / 32.0f, 16.0f));
    }

    lfo.updateIncrement();
    lfo.setPhaseOffset (phaseDegrees / 360.0f);
}

void SynthEngine::updateTargetNote() noexcept
{
    const auto shift = rawParameters[Param::octave] != nullptr ? choice (Param::octave) * 12 - 24 : 0;
    targetNote = (float) std::clamp (lastNote + shift, 0, 127);
    key = targetNote / 127.0f;
}

void SynthEngine::updateGlideCoefficient() noexcept
{
    const auto t = std::min (param (Param::glideTime), 2.0f);
    glideCoefficient = t > 0.0f ? 1.0 - std::exp (-1.0 / (sampleRate * t)) : 1.0;
}

void SynthEngine::refreshChunkSettings() noexcept
{
    updateSmootherTargets();
    copyModSlots();
    setEnvelopeTargets();

    if (lastNote >= 0)
    {
        updateTargetNote();
        updateGlideCoefficient();
    }

    refreshSourceSettings();
    voiceChain.refreshSwitches (readChainSwitches());

    lfo.setTempo (tempoBpm > 0.0f ? tempoBpm : 120.0f);
    const auto rate = smoother (Smooth::lfo1Rate).getCurrentValue();
    updateLfoRate (rate, rate, smoother (Smooth::lfo1Phase).getCurrentValue());

    detuneMode = choice (Param::detuneMode);
    feedbackAfterFilter = param (Param::feedbackPosition) > 0.5f;
    autoMakeup = param (Param::driveAutoMakeup) > 0.5f;
    subPitchRatio = std::exp2 (param (Param::subSemitone) / 12.0f + (float) (choice (Param::subOctave) - 2)
                               + param (Param::subFine) / 1200.0f);
    collectRampingSmoothers();
}

void SynthEngine::computeBaseRateSample (int index, ChainFrame& chain, SourceFrame& sources) noexcept
{
    if (stretchSettled && controlIndex > 0)
    {
        // What the full pass below works out when nothing moves: the first sample's settings,
        // the beat's phase moving on and the amp envelope's level into the output gain.
        const auto at = (size_t) controlIndex;
        filterEnvValue = envelopeLevels[filterGroup][at];
        sources = sourceFrames[at - 1];
        smoothRandom.next();
        advanceBeatPhase();
        sampleGains[(size_t) index] = settledOutputGain * envelopeLevels[ampGroup][at] * modulation.ampFactor;
        return;
    }

    if (glidingNote != (double) targetNote)
        glidingNote += ((double) targetNote - glidingNote) * glideCoefficient;

    advanceRampingSmoothers();

    if (envelopeSettingsMoving)
        advanceEnvelopeSettings();

    float ampLevel, dcwEnv1, dcwEnv2;

    if (envelopesRendered)
    {
        const auto at = (size_t) controlIndex;
        filterEnvValue = envelopeLevels[filterGroup][at];
        ampLevel = envelopeLevels[ampGroup][at];
        dcwEnv1 = envelopeLevels[osc1DcwGroup][at];
        dcwEnv2 = envelopeLevels[osc2DcwGroup][at];
    }
    else
    {
        filterEnvValue = filterEnvelope.tick();
        ampLevel = ampEnvelope.tick();
        dcwEnv1 = osc1DcwEnvelope.tick();
        dcwEnv2 = osc2DcwEnvelope.tick();
    }

    const auto smoothRandomValue = smoothRandom.next();

    float lfoWave;

    if (lfoRendered)
    {
        lfoWave = lfoValues[(size_t) controlIndex];
    }
    else
    {
        const auto rate = next (Smooth::lfo1Rate);
        const auto phaseDegrees = next (Smooth::lfo1Phase);
        moveLfoRate (std::clamp (rate + lfoRateMod, 0.001f, 200.0f), rate, phaseDegrees);
        lfoWave = lfo.next (isSourceInUse (ModSource::lfo1));
    }

    const auto lfoValue = lfoWave * clamp01 (next (Smooth::lfo1Depth) + lfoDepthMod);

    // Without a slot the sums stay cleared, and slots that read held sources hold theirs; the
    // values are then only noted for the views.
    if ((activeSlots.count > 0 && ! (matrixStill && controlIndex > 0)) || controlIndex == 0)
    {
        const auto beatValue = isSourceInUse (ModSource::beatPhase) ? dsp::sinTurns (reeseBeatPhase) : 0.0f;
        sourceValues = { 0.0f, velocity, key, next (Smooth::modWheel), next (Smooth::aftertouch), lfoValue, dcwEnv1,
                         dcwEnv2, filterEnvValue, ampLevel, noteRandom.getValue(), smoothRandomValue, beatValue };

        activeSlots.evaluate (sourceValues, modulation);

        osc2PhaseMod = modulation[ModDestination::osc2Phase];
        lfoRateMod = modulation[ModDestination::lfo1Rate];
        lfoDepthMod = modulation[ModDestination::lfo1Depth];
    }

    // A settled voice works out the same settings on every sample of a stretch. A settled chain
    // is read from the stretch's first frame alone.
    if (voiceSettled && controlIndex > 0)
    {
        sources = sourceFrames[(size_t) controlIndex - 1];
        advanceBeatPhase();
    }
    else
    {
        computeVoiceSettings (sources);
    }

    if (! chainSettled || controlIndex == 0)
        computeChainFrame (chain);

    const auto output = next (Smooth::outputGain) * modDecibelsToGain (modulation[ModDestination::output]);
    settledOutputGain = output;
    sampleGains[(size_t) index] = output * ampLevel * modulation.ampFactor;

    // Noise: the routing share goes in after decimation, the rest into the 2x mix.
    const auto routing = clamp01 (next (Smooth::noiseRouting));
    const auto noiseGain = next (Smooth::noiseLevel) * modDecibelsToGain (modulation[ModDestination::noiseLevel]);
    sources.postNoise = routing * noiseGain;
    sources.preNoise = (1.0f - routing) * noiseGain;
}

// The samples of a held stretch after its first, each step in a pass over the whole stretch:
// the sources the slots read, the matrix's sums per destination, then what they feed. Per
// sample the same operations in the same order as computeBaseRateSample's.
void SynthEngine::computeHeldStretch (int first, int count) noexcept
{
    auto& rows = heldRows;
    const auto& mod = modulation;
    const auto end = (size_t) count;

    // The smooth random source moves on on every sample; where the drift's amount holds along
    // the stretch, the drift walk moves on with it and their two chains overlap.
    constexpr auto driftBit = modDestinationBits ({ ModDestination::drift });
    const auto walkAlong = pitchDeferred && (movingDestinations & driftBit) == 0
                        && withDriftStep ({ 0.0f, mod[ModDestination::drift] }, 0.0f).drifting;

    if (walkAlong)
        RandomWalk::render (smoothRandom, rows.random.data() + 1, driftWalk, rows.walk.data() + 1, count - 1);
    else
        smoothRandom.render (rows.random.data() + 1, count - 1);

    // The matrix: held where its slots read held sources, as the first sample left it. The
    // loops run over whole rows, four lanes at a time from the first; what lies outside the
    // samples at hand is worked out and never read.
    constexpr auto all = (size_t) stretchLength;
    std::uint32_t summed = 0; // bit per destination whose row is written

    for (size_t c = 0; c < activeSlots.numCleared; ++c)
    {
        const auto d = activeSlots.cleared[c];
        std::fill (rows.sums[d].begin(), rows.sums[d].end(), matrixStill ? mod.sums[d] : 0.0f);
        summed |= 1u << d;
    }

    std::fill (rows.ampFactor.begin(), rows.ampFactor.end(), matrixStill ? mod.ampFactor : 1.0f);
    const auto lfoDepth = clamp01 (next (Smooth::lfo1Depth) + lfoDepthMod);

    if (! matrixStill)
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

    const auto row = [&rows, summed] (ModDestination d) -> const float*
    {
        return ((summed >> (int) d) & 1u) != 0 ? rows.sums[(size_t) d].data() : rows.zeros.data();
    };

    // The oscillators' shapes, where slots from moving sources move them.
    const auto shapesMove = ! voiceSettled && (movingDestinations & shapeDestinations) != 0;

    if (shapesMove)
    {
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

    const auto levelsMove = ! voiceSettled && (movingDestinations & levelDestinations) != 0;
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
    const auto* pitch = row (ModDestination::pitch);
    const auto* drift = row (ModDestination::drift);
    const auto* spread = row (ModDestination::reeseSpread);
    const auto* beat = row (ModDestination::reeseBeat);
    const auto* detuneHz = row (ModDestination::osc2DetuneHz);
    const auto* detuneCents = row (ModDestination::osc2Detune);
    auto output = settledOutputGain;

    // The pitch pass's sums, whole rows at a time; the first sample's are its own.
    if (pitchDeferred)
    {
        auto& deferred = deferredPitch;
        const auto own = deferred.at (0);
        std::copy_n (pitch, stretchLength, deferred.pitch.data());
        std::copy_n (drift, stretchLength, deferred.drift.data());
        std::copy_n (spread, stretchLength, deferred.spread.data());
        std::copy_n (beat, stretchLength, deferred.beat.data());
        std::copy_n (detuneHz, stretchLength, deferred.detuneHz.data());
        std::copy_n (detuneCents, stretchLength, deferred.detuneCents.data());

        if (walkAlong)
        {
            // withDriftStep four samples at a time.
            using dsp::Float4;
            const auto knob = Float4 (next (Smooth::oscDrift));

            for (size_t j = 0; j < (size_t) stretchLength; j += 4)
            {
                const auto amount = clamp (knob + Float4::load (drift + j), Float4 (0.0f), Float4 (1.0f));
                const auto drifting = amount > Float4 (0.0f);
                const auto octaves = Float4::load (rows.walk.data() + j) * amount * Float4 (60.0f / 1200.0f);
                select (drifting, octaves, Float4 (0.0f)).store (deferred.driftOctaves.data() + j);
                const auto bits = bitsOf (drifting);

                for (size_t i = 0; i < 4; ++i)
                    deferred.drifting[j + i] = ((bits >> i) & 1) != 0;
            }
        }
        else
        {
            for (size_t j = 1; j < end; ++j)
                deferred.set (j, withDriftStep ({ pitch[j], drift[j], spread[j], beat[j], detuneHz[j], detuneCents[j] },
                                                driftWalk));
        }

        deferred.set (0, own);
    }

    // Only the pitch worked out here sample by sample, where it is, can leave a frame other than
    // the first one before it; the rest starts from the first frame rather than wait on the
    // stores into the one before.
    const auto pitchHere = ! voiceSettled && ! pitchDeferred;

    for (size_t j = 1; j < end; ++j)
    {
        controlIndex = (int) j;
        auto& frame = sourceFrames[j];
        frame = sourceFrames[pitchHere ? j - 1 : 0];

        if (pitchHere && (pitchMoves || next (Smooth::oscDrift) + drift[j] > 0.0f))
            computePitchSettings (frame, withDriftStep ({ pitch[j], drift[j], spread[j], beat[j], detuneHz[j], detuneCents[j] },
                                                        driftWalk));
        else if (! pitchDeferred)
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
    if (! chainSettled)
    {
        std::array<size_t, 7> chainRows {};
        size_t numChainRows = 0;

        for (auto d : { ModDestination::filterEnv, ModDestination::cutoff, ModDestination::drive, ModDestination::resonance,
                        ModDestination::phaseMix, ModDestination::phaseNotch, ModDestination::feedback })
            if (((summed >> (int) d) & 1u) != 0)
                chainRows[numChainRows++] = (size_t) d;

        // With the cutoff's and the drive's own smoothers still, every frame after the first
        // takes that one's held fields: the rest goes four samples at a time.
        const auto inLanes = chainFramesInLanes && smoothersHeldBefore && ! cutoffSmoother.isSmoothing()
                          && ! driveVelocitySmoother.isSmoothing();

        if (inLanes)
        {
            computeHeldChainFrames (count, summed);

            controlIndex = (int) end - 1;
            filterEnvValue = envelopeLevels[filterGroup][end - 1];

            for (size_t r = 0; r < numChainRows; ++r)
                modulation.sums[chainRows[r]] = rows.sums[chainRows[r]][end - 1];
        }

        for (size_t j = inLanes ? end : 1; j < end; ++j)
        {
            controlIndex = (int) j;
            filterEnvValue = envelopeLevels[filterGroup][j];

            for (size_t r = 0; r < numChainRows; ++r)
                modulation.sums[chainRows[r]] = rows.sums[chainRows[r]][j];

            computeChainFrame (chainFrames[j]);
        }
    }

    // What the last sample leaves behind for the next stretch and for the views.
    const auto last = end - 1;
    filterEnvValue = envelopeLevels[filterGroup][last];

    if (activeSlots.count > 0 && ! matrixStill)
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

void SynthEngine::computeVoiceSettings (SourceFrame& frame) noexcept
{
    if (pitchDeferred)
    {
        // The walk moves on here, among the rest of the control pass, rather than in a chain of
        // its own ahead of the frequencies.
        deferredPitch.set ((size_t) controlIndex, nextPitchMods());
    }

    // Along a held stretch only what the drift and the slots from moving sources feed can change
    // from the sample before; the rest is taken over as it is.
    if (voiceHeld && controlIndex > 0)
    {
        frame = sourceFrames[(size_t) controlIndex - 1];
        const auto& mod = modulation;

        if (! pitchDeferred)
        {
            if ((movingDestinations & pitchDestinations) != 0 || next (Smooth::oscDrift) + mod[ModDestination::drift] > 0.0f)
                computePitchSettings (frame, nextPitchMods());
            else
                advanceBeatPhase();
        }

        if ((movingDestinations & shapeDestinations) != 0)
            computeShapeSettings (frame);

        if ((movingDestinations & levelDestinations) != 0)
            computeLevelSettings (frame);

        return;
    }

    if (! pitchDeferred)
        computePitchSettings (frame, nextPitchMods());

    computeShapeSettings (frame);
    computeLevelSettings (frame);

    // The old sources of a fading switch hear everything the new ones hear but the switch.
    if (sourceFade.isFading())
    {
        const auto& mod = modulation;
        const auto depth1Smoothed = next (Smooth::osc1DcwDepth);
        const auto ownDepth2 = next (Smooth::osc2DcwDepth);
        const auto ownWidth2 = next (Smooth::osc2PulseWidth);
        const auto oldLocked = sourceFade.old.reeseLocked;
        const auto oldDepth2 = clamp01 ((oldLocked ? depth1Smoothed : ownDepth2) + mod[ModDestination::osc2Dcw]);
        const auto oldWidth2 = std::clamp ((oldLocked ? frame.width1 : ownWidth2) + mod[ModDestination::osc2Pw], 0.05f, 0.95f);

        for (int unit = 0; unit < numUnits; ++unit)
        {
            const auto first = unit == osc1Left || unit == osc1Right;
            oldUnits[(size_t) unit].setFrequency (frame.frequency[(size_t) unit]);
            oldUnits[(size_t) unit].setDcwDepth (first ? frame.depth1 : oldDepth2);
            oldUnits[(size_t) unit].setPulseWidth (first ? frame.width1 : oldWidth2);
            oldUnits[(size_t) unit].setMorphAmount (frame.morph);
        }

        oldSubOscillator.setFrequency (frame.subFrequency);
        oldSubOscillator.setDcw (frame.subDcw);
    }

    // The share of the send that goes through the chain is faded by the routing switch.
    controlSubSend = clamp01 (next (Smooth::subDriveSend));
}

void SynthEngine::computeDeferredPitch (int count) noexcept
{
#if QUILLON_SIN_LANES
    // Four samples at a time where the detune's exponentials hold along the stretch.
    constexpr auto detuneShape = modDestinationBits ({ ModDestination::reeseSpread, ModDestination::osc2Detune });

    if (detuneMode == 1 || (movingDestinations & detuneShape) == 0)
    {
        computePitchLanes (count);
        return;
    }
#endif

    for (int j = 0; j < count; ++j)
    {
        controlIndex = j;
        computePitchSettings (sourceFrames[(size_t) j], deferredPitch.at ((size_t) j));
    }
}

#if QUILLON_SIN_LANES
// computePitchSettings for a held stretch, lane by lane the same operations in the same order.
QUILLON_HOT_CLONES
void SynthEngine::computePitchLanes (int count) noexcept
{
    constexpr auto n = (size_t) stretchLength;
    alignas (16) float octaves[n], pitchRatios[n], driftRatios[n];
    auto& mods = deferredPitch;
    auto* driftOctaves = mods.driftOctaves.data();

    const auto bend = next (Smooth::pitchBend);
    if (glidingNote != noteOffsetCache.note)
        noteOffsetCache = { glidingNote, dsp::exp2Fast ((float) (glidingNote - 69.0) / 12.0f) };

    // 2^0 is exactly 1: no pitch modulation and no drift leave the ratios at 1 as the one by one
    // path does.
    for (int j = 0; j < count; ++j)
        octaves[j] = (mods.pitch[(size_t) j] + bend) / 12.0f;

    // The lanes past the end take 0s, just those: clearing the whole arrays costs more.
    const auto lanes = (count + 3) & ~3;

    for (int j = count; j < lanes; ++j)
        octaves[j] = driftOctaves[j] = 0.0f;

    for (int j = 0; j < lanes; j += 4)
    {
        exp2Fast4 (octaves + j, pitchRatios + j);
        exp2Fast4 (driftOctaves + j, driftRatios + j);
    }

    const auto spreadKnobs = next (Smooth::stereoWidth) + next (Smooth::reeseSpread);
    const auto beatKnob = next (Smooth::reeseBeat), hzKnob = next (Smooth::osc2DetuneHz), centsKnob = next (Smooth::osc2Detune);
    const auto hertz = detuneMode == 1;

    if (! hertz)
    {
        // The detune's cents and the spread hold along the stretch.
        const auto k = 1.0f - 2.0f * clamp01 (spreadKnobs + mods.spread[0]);
        const auto detuneCents = centsKnob + mods.detuneCents[0];

        if (detuneCents != detuneCache.cents || k != detuneCache.k)
        {
            const auto r = detuneCents == 0.0f ? 1.0f : dsp::exp2Fast (detuneCents / 1200.0f);
            detuneCache = { detuneCents, k, r, (k == 1.0f || r == 1.0f) ? r : std::pow (r, k) };
        }
    }

    const auto set = [] (float v) { return _mm_set1_ps (v); };
    const auto noteBase = set (440.0f * noteOffsetCache.output);
    const auto zero = set (0.0f), one = set (1.0f), two = set (2.0f), forty = set (40.0f);
    const auto clampTo = [] (__m128 x, __m128 low, __m128 high) { return _mm_min_ps (high, _mm_max_ps (low, x)); };
    const auto magnitudeMask = _mm_castsi128_ps (_mm_set1_epi32 (0x7FFFFFFF));
    const auto ratio1 = set (semitoneRatio (next (Smooth::osc1Pitch))), ratio2 = set (semitoneRatio (next (Smooth::osc2Pitch)));
    const auto detuneRatio = set (detuneCache.ratio), mirrored = set (detuneCache.mirrored);
    alignas (16) float osc1[n], pairLeft[n], pairRight[n], sub[n], increments[n];
    auto parts = 0u; // bit per sample whose pair's halves differ

    for (int j = 0; j < lanes; j += 4)
    {
        const auto lane = [j] (const std::array<float, n>& row) { return _mm_load_ps (row.data() + j); };

        const auto notePitch = _mm_mul_ps (noteBase, _mm_load_ps (pitchRatios + j));
        const auto spread = clampTo (_mm_add_ps (set (spreadKnobs), lane (mods.spread)), zero, one);
        const auto k = _mm_sub_ps (one, _mm_mul_ps (two, spread));
        const auto beat = clampTo (_mm_add_ps (set (beatKnob), lane (mods.beat)), zero, forty);
        __m128 left, right;

        if (hertz)
        {
            const auto offset = _mm_add_ps (_mm_add_ps (set (hzKnob), lane (mods.detuneHz)), beat);
            left = _mm_add_ps (notePitch, offset);
            right = _mm_add_ps (notePitch, _mm_mul_ps (k, offset));
        }
        else
        {
            left = _mm_add_ps (_mm_mul_ps (notePitch, detuneRatio), beat);
            right = _mm_add_ps (_mm_mul_ps (notePitch, mirrored), _mm_mul_ps (k, beat));
        }

        const auto drift = _mm_load_ps (driftRatios + j);
        _mm_store_ps (increments + j, _mm_mul_ps (_mm_and_ps (_mm_sub_ps (left, right), magnitudeMask), set (inverseSampleRate)));
        _mm_store_ps (osc1 + j, _mm_div_ps (_mm_mul_ps (ratio1, notePitch), drift));
        _mm_store_ps (pairLeft + j, _mm_mul_ps (_mm_mul_ps (ratio2, left), drift));
        _mm_store_ps (pairRight + j, _mm_mul_ps (_mm_mul_ps (ratio2, right), drift));
        _mm_store_ps (sub + j, _mm_mul_ps (notePitch, set (subPitchRatio)));
        parts |= (unsigned) _mm_movemask_ps (_mm_cmpneq_ps (left, right)) << j;
    }

    for (int j = 0; j < count; ++j)
    {
        auto& frame = sourceFrames[(size_t) j];
        frame.frequency = { osc1[j], osc1[j], pairLeft[j], pairRight[j] };
        frame.subFrequency = sub[j];
        beatIncrement = increments[j];
        advanceBeatPhase();
    }

    // Once the pair's halves part, the right unit runs on its own until the next chunk.
    parts &= count < 32 ? (1u << count) - 1u : ~0u;

    if (osc2Twins && parts != 0 && osc2PartsAt < 0)
        for (int j = 0; j < count; ++j)
            if ((parts >> j) & 1u)
            {
                osc2PartsAt = j;
                break;
            }
}
#endif

void SynthEngine::computePitchSettings (SourceFrame& frame, const PitchMods& mods) noexcept
{
    const auto bend = next (Smooth::pitchBend);
    if (glidingNote != noteOffsetCache.note)
        noteOffsetCache = { glidingNote, dsp::exp2Fast ((float) (glidingNote - 69.0) / 12.0f) };

    // Drift pulls the two oscillators apart in opposite directions, up to 60 cents. Its
    // exponential and the pitch modulation's are taken together.
    const auto pitchSemitones = mods.pitch + bend;
    auto pitchRatio = 1.0f, drift = 1.0f;

    if (mods.drifting)
    {
        const auto driftOctaves = mods.driftOctaves;

        if (pitchSemitones != 0.0f)
            dsp::exp2Fast2 (pitchSemitones / 12.0f, driftOctaves, pitchRatio, drift);
        else
            drift = dsp::exp2Fast (driftOctaves);
    }
    else
    {
        pitchRatio = semitoneRatio (pitchSemitones);
    }

    const auto notePitch = 440.0f * noteOffsetCache.output * pitchRatio;

    // Osc 2 is a detuned pair: spread 0 keeps both halves together, 1 mirrors the right one
    // below the note; the beat between them is a modulation source of its own.
    const auto spread = clamp01 (next (Smooth::stereoWidth) + next (Smooth::reeseSpread) + mods.spread);
    const auto k = 1.0f - 2.0f * spread;
    const auto beat = std::clamp (next (Smooth::reeseBeat) + mods.beat, 0.0f, 40.0f);
    const auto detuneHz = next (Smooth::osc2DetuneHz) + mods.detuneHz;
    const auto detuneCents = next (Smooth::osc2Detune) + mods.detuneCents;

    float pairLeft, pairRight;

    if (detuneMode == 1)
    {
        pairLeft = notePitch + (detuneHz + beat);
        pairRight = notePitch + k * (detuneHz + beat);
    }
    else
    {
        if (detuneCents != detuneCache.cents || k != detuneCache.k)
        {
            const auto r = detuneCents == 0.0f ? 1.0f : dsp::exp2Fast (detuneCents / 1200.0f);
            detuneCache = { detuneCents, k, r, (k == 1.0f || r == 1.0f) ? r : std::pow (r, k) };
        }

        const auto ratio = detuneCache.ratio;
        const auto mirrored = detuneCache.mirrored;
        pairLeft = notePitch * ratio + beat;
        pairRight = notePitch * mirrored + k * beat;
    }

    beatIncrement = std::abs (pairLeft - pairRight) * inverseSampleRate;
    advanceBeatPhase();

    const auto ratio1 = semitoneRatio (next (Smooth::osc1Pitch));
    const auto ratio2 = semitoneRatio (next (Smooth::osc2Pitch));
    frame.frequency = { ratio1 * notePitch / drift, ratio1 * notePitch / drift, ratio2 * pairLeft * drift,
                        ratio2 * pairRight * drift };
    frame.subFrequency = notePitch * subPitchRatio;

    // Once the pair's halves part, the right unit runs on its own until the next chunk.
    if (osc2Twins && pairLeft != pairRight && osc2PartsAt < 0)
    {
        if (sourcesInLoops)
        {
            osc2PartsAt = controlIndex;
        }
        else
        {
            osc2Twins = false;
            units[osc1Right].setSyncPartner (&units[osc2Right]);
            units[osc2Right].copyStateFrom (units[osc2Left]);
        }
    }
}

void SynthEngine::computeShapeSettings (SourceFrame& frame) noexcept
{
    // With the reese lock on, osc 2 takes osc 1's depth and width and its own smoothers hold.
    const auto& mod = modulation;
    const auto locked = sourceSettings.reeseLocked;
    const auto depth1Smoothed = next (Smooth::osc1DcwDepth);
    const auto depth1 = clamp01 (depth1Smoothed + mod[ModDestination::osc1Dcw]);
    const auto ownDepth2 = next (Smooth::osc2DcwDepth); // held while locked
    const auto depth2 = clamp01 ((locked ? depth1Smoothed : ownDepth2) + mod[ModDestination::osc2Dcw]);
    const auto morph = clamp01 (next (Smooth::pdMorphAmount) + mod[ModDestination::pdMorph]);
    const auto width1 = std::clamp (next (Smooth::osc1PulseWidth) + mod[ModDestination::osc1Pw], 0.05f, 0.95f);
    const auto ownWidth2 = next (Smooth::osc2PulseWidth);
    const auto width2 = std::clamp ((locked ? width1 : ownWidth2) + mod[ModDestination::osc2Pw], 0.05f, 0.95f);

    frame.depth1 = depth1;
    frame.depth2 = depth2;
    frame.width1 = width1;
    frame.width2 = width2;
    frame.morph = morph;
}

void SynthEngine::computeLevelSettings (SourceFrame& frame) noexcept
{
    const auto& mod = modulation;
    const auto gain1 = next (Smooth::osc1Level) * modDecibelsToGain (mod[ModDestination::osc1Level]);
    const auto gain2 = next (Smooth::osc2Level) * modDecibelsToGain (mod[ModDestination::osc2Level]);
    frame.osc1Gain = gain1;
    frame.osc2Gain = gain2;
    frame.subGain = next (Smooth::subLevel) * modDecibelsToGain (mod[ModDestination::subLevel]);

    // An oscillator at zero level (either one in ring mode) only moves its state on.
    const auto ring = sourceSettings.mixMode == 1;
    frame.audible1 = gain1 != 0.0f && (! ring || gain2 != 0.0f);
    frame.audible2 = gain2 != 0.0f && (! ring || gain1 != 0.0f);
    frame.subDcw = clamp01 (next (Smooth::subDcwDepth) + mod[ModDestination::subDcw]);
}

void SynthEngine::computeChainFrame (ChainFrame& frame) noexcept
{
    // The cutoff follows the filter envelope and the matrix in semitones around the smoothed knob.
    const auto& mod = modulation;
    const auto envAmount = next (Smooth::filterEnvAmount) * filterEnvVelocityFactor + mod[ModDestination::filterEnv];
    const auto semitones = envAmount * filterEnvValue + mod[ModDestination::cutoff];
    const auto knob = cutoffSmoother.getNextValue();

    // Drive amount with velocity and modulation. Stacked drive slots can push the sum far past
    // 24 dB; the curve is limited there, and the make-up only compensates what is applied.
    const auto driveDb = next (Smooth::drive) * driveVelocitySmoother.getNextValue() + mod[ModDestination::drive];
    const auto driveLevel = next (Smooth::driveGain);

    // A settled chain works out its one frame at once.
    if (chainFramesInLanes && ! chainSettled)
    {
        const auto at = (size_t) controlIndex;
        chainInputs.semitones[at] = semitones;
        chainInputs.knob[at] = knob;
        chainInputs.driveDb[at] = driveDb;
        chainInputs.driveLevel[at] = driveLevel;
    }
    else
    {
        const auto cutoffRatio = semitones == 0.0f ? 1.0f : filter_detail::cutoffRatio (semitones);
        cutoffHz = std::clamp (cutoffRatio * knob, 20.0f, 20000.0f);
        const auto driveMode = voiceChain.getDriveMode();

        if (driveDb != driveCache.db || driveMode != driveCache.mode || autoMakeup != driveCache.autoMakeup
            || driveLevel != driveCache.level)
        {
            driveCache = { driveDb, driveMode, autoMakeup, driveLevel };
            driveGains = computeDriveGains (driveDb, driveMode, autoMakeup, driveLevel);
        }

        frame.cutoff = cutoffHz;
        frame.drivePre = driveGains.pre;
        frame.drivePost = driveGains.post;
    }

    // Where no smoother ramped into this sample, only what the slots from moving sources feed can
    // change from the sample before; the rest is taken over as it is.
    if (! dsp::exactReference && shortcutsAllowed && smoothersHeldBefore && controlIndex > 0)
    {
        const auto& before = chainFrames[(size_t) controlIndex - 1];
        frame.driveMix = before.driveMix;
        frame.filterBlend = before.filterBlend;
        frame.phaseSpread = before.phaseSpread;
        frame.feedbackCoefficient = before.feedbackCoefficient;
        frame.resonance = (movingDestinations & resonanceBit) != 0
                              ? clamp01 (next (Smooth::filterReso) + mod[ModDestination::resonance]) : before.resonance;
        frame.phaseMix = (movingDestinations & phaseMixBit) != 0
                             ? clamp01 (next (Smooth::phaseMix) + mod[ModDestination::phaseMix]) : before.phaseMix;
        frame.phaseNotch = (movingDestinations & phaseNotchBit) != 0
                               ? clamp01 (next (Smooth::phaseNotch) + mod[ModDestination::phaseNotch]) : before.phaseNotch;
        frame.feedbackAmount = (movingDestinations & feedbackBit) != 0
                                   ? clamp01 (next (Smooth::feedbackAmount) + mod[ModDestination::feedback]) * 0.35f
                                   : before.feedbackAmount;
    }
    else
    {
        frame.driveMix = clamp01 (next (Smooth::driveMix));
        frame.filterBlend = clamp01 (next (Smooth::filterEnabled));

        frame.resonance = clamp01 (next (Smooth::filterReso) + mod[ModDestination::resonance]);
        frame.phaseMix = clamp01 (next (Smooth::phaseMix) + mod[ModDestination::phaseMix]);
        frame.phaseNotch = clamp01 (next (Smooth::phaseNotch) + mod[ModDestination::phaseNotch]);
        frame.phaseSpread = clamp01 (next (Smooth::phaseStereo));

        frame.feedbackAmount = clamp01 (next (Smooth::feedbackAmount) + mod[ModDestination::feedback]) * 0.35f;
        const auto tone = next (Smooth::feedbackTone);

        if (tone != feedbackToneHz)
        {
            feedbackToneHz = tone;
            feedbackCoefficient = FeedbackPath::coefficientFor (tone, 2.0 * sampleRate);
        }

        frame.feedbackCoefficient = feedbackCoefficient;
    }

    frame.feedbackAfterFilter = feedbackAfterFilter;
    frame.subSend = controlSubSend;
    smoothersHeldBefore = numRampingSmoothers == 0;
}

// computeChainFrame for the frames of a held stretch after its first, each field the same
// operations in the same order, four samples at a time. Only the smoothers that the held voice
// lets ramp could move them one by one, and those stand still here.
void SynthEngine::computeHeldChainFrames (int count, std::uint32_t summed) noexcept
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
        const auto row = [&] (std::uint32_t bit, float ChainFrame::* field, Smooth::Id knobId, ModDestination d, float scale)
        {
            if ((movingDestinations & bit) == 0)
                return;

            alignas (16) std::array<float, stretchLength> values;
            const auto knobValue = Float4 (next (knobId));
            const auto* m = sums (d);

            for (size_t j = 0; j < (size_t) stretchLength; j += 4)
            {
                const auto value = clamp (knobValue + Float4::load (m + j), zero, one);
                (scale != 1.0f ? value * Float4 (scale) : value).store (values.data() + j);
            }

            for (size_t j = 1; j < end; ++j)
                chainFrames[j].*field = values[j];
        };

        row (resonanceBit, &ChainFrame::resonance, Smooth::filterReso, ModDestination::resonance, 1.0f);
        row (phaseMixBit, &ChainFrame::phaseMix, Smooth::phaseMix, ModDestination::phaseMix, 1.0f);
        row (phaseNotchBit, &ChainFrame::phaseNotch, Smooth::phaseNotch, ModDestination::phaseNotch, 1.0f);
        row (feedbackBit, &ChainFrame::feedbackAmount, Smooth::feedbackAmount, ModDestination::feedback, 0.35f);

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
void SynthEngine::finishChainFrames (int count) noexcept
{
    if constexpr (chainFramesInLanes)
    {
        using dsp::Float4;

        if (chainSettled || count <= 0)
            return;

        const auto driveMode = voiceChain.getDriveMode();

        for (int k = 0; k < count; k += 4)
        {
            const auto lanes = std::min (4, count - k);
            const auto used = (1 << lanes) - 1;
            const auto semitones = Float4::load (chainInputs.semitones.data() + k);
            const auto knob = Float4::load (chainInputs.knob.data() + k);
            // At 0 semitones the ratio is exactly 1.
            const auto ratio = (bitsOf (semitones != Float4 (0.0f)) & used) != 0 ? filter_detail::cutoffRatio (semitones)
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
