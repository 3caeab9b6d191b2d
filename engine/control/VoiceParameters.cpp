#include "engine/control/VoiceControl.h"
#include "engine/core/VoiceMath.h"
#include "engine/core/FastMath.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

namespace quillon
{

// The control pass's settings: its smoothers, the envelopes' settings, the LFO's rate, the glide
// and the matrix's slots, updated per chunk and per note.
namespace
{
constexpr float filterEnvelopeFallbacks[] = { 0.005f, 0.5f, 0.6f, 0.3f };
} // namespace

void VoiceControl::prepare (double newSampleRate, int maxBlockSize, bool shortcuts, const Controllers& controllers,
                            const UnitEnvelopes& units) noexcept
{
    sampleRate = newSampleRate;
    inverseSampleRate = (float) (1.0 / newSampleRate);
    shortcutsAllowed = shortcuts;

    driftWalk.prepare (newSampleRate);
    smoothRandom.prepare (newSampleRate);
    noteRandom.prepare();

    feedbackToneHz = -1.0f;
    reeseBeatPhase = 0.0f;

    for (auto* envelope : { &ampEnvelope, &filterEnvelope, &osc1DcwEnvelope, &osc2DcwEnvelope })
        envelope->setSampleRate (newSampleRate);

    lfo.prepare (newSampleRate);
    sampleGains.assign ((size_t) maxBlockSize, 0.0f);

    const auto rampLength = (int) std::floor (0.005 * newSampleRate);

    for (auto& s : smoothers)
        s.reset (rampLength);

    for (auto& group : envelopeSmoothers)
        for (auto& s : group)
            s.reset (rampLength);

    cutoffSmoother.reset (rampLength);
    driveVelocitySmoother.reset (rampLength);
    driveVelocitySmoother.setCurrentAndTargetValue (driveVelocityFactor);
    // A slot's amount reaches much further than a knob (up to 60 dB of a level), so it glides
    // longer: over the knobs' 5 ms a full move of a level would still step.
    activeSlots.prepare ((int) std::floor (0.02 * newSampleRate));

    updateSmootherTargets (controllers);
    setEnvelopeTargets (units);
    copyModSlots();
    snapSmoothers();
    updateLfoRate (smoother (Smooth::lfo1Rate).getCurrentValue(), smoother (Smooth::lfo1Rate).getCurrentValue(),
                   smoother (Smooth::lfo1Phase).getCurrentValue());
}

// The control's part of a note: the units' DCW envelopes take their settings here, and the
// voice triggers them.
VoiceControl::NoteStart VoiceControl::noteOn (int note, float newVelocity, bool legato, bool fromSilence,
                                              const Controllers& controllers, const UnitEnvelopes& units) noexcept
{
    // Envelope settings ramp from where they are, except into a note from silence.
    setEnvelopeTargets (units);

    if (fromSilence)
        for (auto& group : envelopeSmoothers)
            for (auto& value : group)
                value.setCurrentAndTargetValue (value.getTargetValue());

    updateTargetNote (note);

    if (fromSilence)
        glidingNote = targetNote;

    velocity = clamp01 (newVelocity);
    noteRandom.draw();

    for (int group = 0; group < numEnvelopeGroups; ++group)
        writeEnvelopeGroup (group, units);

    filterEnvVelocityFactor = 1.0f + (velocity - 1.0f) * clamp01 (param (Param::velToFilterEnv));
    driveVelocityFactor = 1.0f + (velocity - 1.0f) * clamp01 (param (Param::velToDrive));

    if (fromSilence)
        driveVelocitySmoother.setCurrentAndTargetValue (driveVelocityFactor);
    else
        driveVelocitySmoother.setTargetValue (driveVelocityFactor);

    updateGlideCoefficient();
    NoteStart start;

    if (! legato)
    {
        const auto phaseMode = choice (Param::phaseMode);

        // From silence the output's fade-in keeps the jump inaudible: no fade from the stale phase.
        if ((phaseMode == 1 && fromSilence) || phaseMode == 2)
        {
            start = { true, (param (Param::osc2PhaseOffset) + osc2PhaseMod) / 360.0f };
            lfo.restart();
        }

        if (choice (Param::lfo1Retrig) == 1)
            lfo.restart();
    }

    if (fromSilence)
    {
        // A note from silence starts every value where it is set, with no ramp into it.
        updateSmootherTargets (controllers);
        snapSmoothers();
    }

    if (! legato)
        for (auto* envelope : { &ampEnvelope, &filterEnvelope, &osc1DcwEnvelope, &osc2DcwEnvelope })
            envelope->trigger();

    return start;
}

void VoiceControl::releaseAll() noexcept
{
    for (auto* envelope : { &ampEnvelope, &filterEnvelope, &osc1DcwEnvelope, &osc2DcwEnvelope })
        envelope->release();
}

//==============================================================================
void VoiceControl::updateSmootherTargets (const Controllers& controllers) noexcept
{
    const auto set = [this] (Smooth::Id id, float value) { smoothers[(size_t) id].setTargetValue (value); };

    set (Smooth::osc1Level, dsp::decibelsToGain (param (Param::osc1Level), -90.0f));
    set (Smooth::osc2Level, dsp::decibelsToGain (param (Param::osc2Level), -90.0f));
    set (Smooth::subLevel, dsp::decibelsToGain (param (Param::subLevel), -110.0f));
    set (Smooth::drive, param (Param::drive));
    set (Smooth::osc2Detune, param (Param::osc2Detune));
    set (Smooth::osc2DetuneHz, param (Param::osc2DetuneHz));
    set (Smooth::stereoWidth, clamp01 (param (Param::stereoWidth)));
    set (Smooth::osc1DcwDepth, clamp01 (param (Param::osc1DcwDepth)));
    set (Smooth::osc2DcwDepth, clamp01 (param (Param::osc2DcwDepth)));
    set (Smooth::oscDrift, clamp01 (param (Param::oscDrift)));
    set (Smooth::subDcwDepth, clamp01 (param (Param::subDcwDepth)));
    set (Smooth::filterEnvAmount, param (Param::filterEnvAmount));
    set (Smooth::outputGain, dsp::decibelsToGain (param (Param::outputGain), -90.0f));
    set (Smooth::modWheel, controllers.modWheel);
    set (Smooth::aftertouch, controllers.aftertouch);
    set (Smooth::pitchBend, controllers.pitchBend);
    set (Smooth::lfo1Rate, std::clamp (param (Param::lfo1Rate), 0.05f, 20.0f));
    set (Smooth::lfo1Depth, clamp01 (param (Param::lfo1Depth)));
    // The LFO cross-fades a moved offset itself: a ramp through the phases between would race the
    // wave through its crests.
    smoothers[Smooth::lfo1Phase].setCurrentAndTargetValue (std::clamp (param (Param::lfo1Phase), -180.0f, 180.0f));
    set (Smooth::noiseLevel, dsp::decibelsToGain (param (Param::noiseLevel), -90.0f));
    set (Smooth::noiseRouting, clamp01 (param (Param::noiseRouting)));
    set (Smooth::osc1PulseWidth, std::clamp (param (Param::osc1PulseWidth), 0.05f, 0.95f));
    set (Smooth::osc2PulseWidth, std::clamp (param (Param::osc2PulseWidth), 0.05f, 0.95f));
    set (Smooth::osc1Pitch, param (Param::osc1Semitone) + param (Param::osc1Fine) / 100.0f);
    set (Smooth::osc2Pitch, param (Param::osc2Semitone) + param (Param::osc2Fine) / 100.0f);
    set (Smooth::driveGain, dsp::decibelsToGain (param (Param::driveGain), -90.0f));
    set (Smooth::driveMix, clamp01 (param (Param::driveMix)));
    set (Smooth::filterEnabled, param (Param::filterEnabled) > 0.5f ? 1.0f : 0.0f);
    set (Smooth::subDriveSend, clamp01 (param (Param::subDriveSend, 1.0f)));
    set (Smooth::monoLowEnabled, param (Param::monoLowEnabled, 1.0f) > 0.5f ? 1.0f : 0.0f);
    set (Smooth::monoLowFreq, std::clamp (param (Param::monoLowFreq, 120.0f), 40.0f, 300.0f));
    set (Smooth::reeseBeat, std::clamp (param (Param::reeseBeat), 0.0f, 20.0f));
    set (Smooth::reeseSpread, clamp01 (param (Param::reeseSpread)));
    set (Smooth::pdMorphAmount, clamp01 (param (Param::pdMorphAmount)));
    set (Smooth::phaseStereo, clamp01 (param (Param::phaseStereo)));
    set (Smooth::feedbackTone, std::clamp (param (Param::feedbackTone, 2500.0f), 80.0f, 12000.0f));

    for (const auto& c : chainKnobs)
        set (smootherOf (c), clamp01 (param (c.parameter, c.fallback)));

    cutoffSmoother.setTargetValue (std::clamp (param (Param::filterCutoff), 20.0f, 20000.0f));
}

// Per chunk, once the targets are set: most values stand still, and those are read as they are.
// The mono-low pair is left out: the output stage advances it after decimation. With the reese
// lock on, osc 2's depth and width hold where they are.
void VoiceControl::collectRampingSmoothers() noexcept
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

void VoiceControl::advanceRampingSmoothers() noexcept
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

void VoiceControl::snapSmoothers() noexcept
{
    for (auto& s : smoothers)
        s.setCurrentAndTargetValue (s.getTargetValue());

    for (auto& group : envelopeSmoothers)
        for (auto& s : group)
            s.setCurrentAndTargetValue (s.getTargetValue());

    envelopeSettingsMoving = false;
    cutoffSmoother.setCurrentAndTargetValue (cutoffSmoother.getTargetValue());
    activeSlots.jumpToSettings();
    lfo.jumpPhaseOffset (smoother (Smooth::lfo1Phase).getTargetValue() / 360.0f);
}

void VoiceControl::copyModSlots() noexcept
{
    for (size_t i = 0; i < slots.size(); ++i)
    {
        const auto slot = (int) i;
        slots[i].source = (int) param (Param::slot (slot, 0));
        slots[i].destination = (int) param (Param::slot (slot, 1));
        slots[i].amount = std::clamp (param (Param::slot (slot, 2)), -1.0f, 1.0f);
        slots[i].curve = (int) param (Param::slot (slot, 3));
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
        const auto chainDestination = destination != ModDestination::filterEnv && slot.destination > 0
                                   && slot.destination < numModDestinations
                                   && ((chainDestinations >> slot.destination) & 1u) != 0;
        chainSlotsHoldStill = chainSlotsHoldStill && destination != ModDestination::filterEnv
                           && (still || ! chainDestination);
    }

    for (const auto& slot : slots)
        if (slot.source > 0 && slot.source < numModSources && isModSlotActive (slot))
            sourcesInUse |= 1u << slot.source;
}

//==============================================================================
void VoiceControl::setEnvelopeTargets (const UnitEnvelopes& units) noexcept
{
    for (int group = 0; group < numEnvelopeGroups; ++group)
    {
        auto& values = envelopeSmoothers[(size_t) group];
        auto changed = false, ramping = false;

        for (size_t k = 0; k < 4; ++k)
        {
            const auto fallback = group == filterGroup ? filterEnvelopeFallbacks[k] : 0.0f;
            const auto v = param (Param::envelope (group, (int) k), fallback);
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
            writeEnvelopeGroup (group, units);
    }
}

void VoiceControl::writeEnvelopeGroup (int group, const UnitEnvelopes& units) noexcept
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
            apply (*units[osc1Left]);
            apply (*units[osc1Right]);
            break;
        case osc2DcwGroup:
            apply (osc2DcwEnvelope);
            apply (*units[osc2Left]);
            apply (*units[osc2Right]);
            break;
        default: break;
    }
}

// Per base-rate sample while an envelope setting ramps: a sustain level moved while a note is
// held glides to its new value instead of jumping there.
void VoiceControl::advanceEnvelopeSettings (const UnitEnvelopes& units) noexcept
{
    auto stillMoving = false;

    for (int group = 0; group < numEnvelopeGroups; ++group)
    {
        auto& values = envelopeSmoothers[(size_t) group];

        if (! (values[0].isSmoothing() || values[1].isSmoothing() || values[2].isSmoothing() || values[3].isSmoothing()))
            continue;

        for (auto& value : values)
            value.getNextValue();

        writeEnvelopeGroup (group, units);
        stillMoving = stillMoving || values[0].isSmoothing() || values[1].isSmoothing() || values[2].isSmoothing()
                   || values[3].isSmoothing();
    }

    envelopeSettingsMoving = stillMoving;
}

// The envelopes other than the amp's carry on while the voice is silent: a release still running
// when the amp envelope ended goes on falling, so the next note starts them from where it got to.
void VoiceControl::catchUpIdleEnvelopes (std::int64_t idleSamples) noexcept
{
    for (auto* envelope : { &filterEnvelope, &osc1DcwEnvelope, &osc2DcwEnvelope })
        envelope->advance (idleSamples);
}

//==============================================================================
void VoiceControl::updateLfoRate (float rateHz, float baseRateHz, float phaseDegrees) noexcept
{
    lfo.setShape (std::clamp (choice (Param::lfo1Shape), 0, 3));
    lfoSynced = choice (Param::lfo1Sync) == 1;
    lfo.setSynced (lfoSynced);
    lfoSyncKnobHz = -1.0f;
    moveLfoRate (rateHz, baseRateHz, phaseDegrees);
}

void VoiceControl::moveLfoRate (float rateHz, float baseRateHz, float phaseDegrees) noexcept
{
    lfo.setFreeRate (std::clamp (rateHz, 0.001f, 200.0f));

    // In sync mode the rate knob's position picks the division; rate modulation is ignored.
    if (lfoSynced && baseRateHz != lfoSyncKnobHz)
    {
        lfoSyncKnobHz = baseRateHz;
        const auto position = clamp01 (parameters.lfoRateRange.convertTo0to1 (baseRateHz));
        const auto index = std::clamp ((int) std::round (position * 9.0f), 0, 9);
        lfo.setSyncBeats (std::clamp (lfoSyncDivisions[(size_t) index].beats, 1.0f / 32.0f, 16.0f));
    }

    lfo.updateIncrement();
    lfo.setPhaseOffset (phaseDegrees / 360.0f);
}

void VoiceControl::updateTargetNote (int lastNote) noexcept
{
    const auto shift = parameters[Param::octave] != nullptr ? choice (Param::octave) * 12 - 24 : 0;
    targetNote = (float) std::clamp (lastNote + shift, 0, 127);
    key = targetNote / 127.0f;
}

void VoiceControl::updateGlideCoefficient() noexcept
{
    const auto t = std::min (param (Param::glideTime), 2.0f);
    glideCoefficient = t > 0.0f ? 1.0 - std::exp (-1.0 / (sampleRate * t)) : 1.0;
}

void VoiceControl::beginChunk (int lastNote, const Controllers& controllers, const UnitEnvelopes& units) noexcept
{
    updateSmootherTargets (controllers);
    copyModSlots();
    setEnvelopeTargets (units);

    if (lastNote >= 0)
    {
        updateTargetNote (lastNote);
        updateGlideCoefficient();
    }
}

void VoiceControl::followChunkSettings (const SourceSettings& sources, int driveMode, float tempoBpm) noexcept
{
    sourceSettings = sources;
    chainDriveMode = driveMode;

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

} // namespace quillon
