#include "engine/SynthEngine.h"

#include "engine/ChainLanes.h"
#include "engine/PitchLanes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

namespace quillon
{

namespace
{
constexpr std::uint32_t noiseSeedLeft = 0xA1B2C3D4u, noiseSeedRight = 0xD4C3B2A1u;

constexpr const char* parameterIds[] = {
   #define QUILLON_ID_ENTRY(name) #name,
    QUILLON_ENGINE_PARAMETERS (QUILLON_ID_ENTRY)
   #undef QUILLON_ID_ENTRY
};

constexpr const char* envelopePrefixes[] = { "amp", "filter", "osc1Dcw", "osc2Dcw" };
constexpr const char* envelopeSuffixes[] = { "Attack", "Decay", "Sustain", "Release" };
constexpr float filterEnvelopeFallbacks[] = { 0.005f, 0.5f, 0.6f, 0.3f };

inline float clamp01 (float x) noexcept { return std::clamp (x, 0.0f, 1.0f); }

// Level in dB as a gain; silence at and below the floor.
inline float decibelsToGain (float db, float floorDb) noexcept
{
    return db > floorDb ? std::pow (10.0f, db / 20.0f) : 0.0f;
}

// 2^(semitones / 12), exactly 1 when there is nothing to transpose.
inline float semitoneRatio (float semitones) noexcept
{
    return semitones == 0.0f ? 1.0f : dsp::exp2Fast (semitones / 12.0f);
}

inline float frac (float x) noexcept { return x - std::floor (x); }

// The 5 ms of the switch fades, in samples at the given rate.
inline int crossFadeLength (double rate) noexcept { return std::max (1, (int) std::lround (0.005 * rate)); }
} // namespace

//==============================================================================
SynthEngine::SynthEngine (juce::AudioProcessorValueTreeState& state)
    : parameters (state)
{
    static_assert (std::size (parameterIds) == Param::count);

    units[osc1Left].setSyncPartner (&units[osc2Left]);
    units[osc2Left].setSyncPartner (&units[osc1Left]);
    units[osc1Right].setSyncPartner (&units[osc2Right]);
    units[osc2Right].setSyncPartner (&units[osc1Right]);
    oldUnits[osc1Left].setSyncPartner (&oldUnits[osc2Left]);
    oldUnits[osc2Left].setSyncPartner (&oldUnits[osc1Left]);
    oldUnits[osc1Right].setSyncPartner (&oldUnits[osc2Right]);
    oldUnits[osc2Right].setSyncPartner (&oldUnits[osc1Right]);

    for (auto& value : liveSlotValues)
        value.store (0.0f, std::memory_order_relaxed);
}

void SynthEngine::prepare (double newSampleRate, int maxBlockSize)
{
    sampleRate = newSampleRate;
    inverseSampleRate = (float) (1.0 / newSampleRate);
    const auto oversampledRate = 2.0 * newSampleRate;

    for (auto* set : { &units, &oldUnits })
        for (auto& unit : *set)
            unit.prepare (oversampledRate);

    subOscillator.prepare (oversampledRate);
    oldSubOscillator.prepare (oversampledRate);

    const auto switchFadeLength = crossFadeLength (oversampledRate);

    for (auto* fade : { &drivePositionFade, &subRoutingFade, &feedbackPositionFade })
    {
        fade->setLength (switchFadeLength);
        fade->jumpTo (fade->getTarget());
    }

    // The sub's routing fades over 10 ms: the part of the sub that leaves the chain lingers in a
    // low filter for a few milliseconds, which a shorter fade would hear as a swell.
    subRoutingFade.setLength (2 * switchFadeLength);

    mainOrder = spareOrder = drivePositionFade.getTarget();
    sourceFade.length = switchFadeLength;
    sourceFade.countdown = 0;
    subRoutingLagging = false;
    idleSamples = 0;

    driftWalk.prepare (newSampleRate);
    smoothRandom.prepare (newSampleRate);
    noteRandom.prepare();
    noiseSources[0].prepare (newSampleRate, noiseSeedLeft);
    noiseSources[1].prepare (newSampleRate, noiseSeedRight);

    for (auto* stages : { &driveStages, &spareDriveStages })
        for (auto& stage : *stages)
            stage.prepare (oversampledRate);

    for (auto* stages : { &filterStages, &spareFilterStages })
        for (auto& stage : *stages)
            stage.prepare (oversampledRate);

    for (auto& blocker : mixDcBlockers)
        blocker.prepare (oversampledRate, 15.0f);

    outputStage.prepare (newSampleRate);

    for (auto& path : feedbackPaths)
        path.reset();

    feedbackToneHz = -1.0f;
    reeseBeatPhase = 0.0f;

    for (auto* envelope : { &ampEnvelope, &filterEnvelope, &osc1DcwEnvelope, &osc2DcwEnvelope })
        envelope->setSampleRate (newSampleRate);

    lfo.prepare (newSampleRate);

    const auto block = std::max (64, maxBlockSize);
    oversampler.initProcessing ((size_t) block);
    oversampler.reset();
    decimator.prepare();
    sampleGains.assign ((size_t) block, 0.0f);
    postNoiseLeft.assign ((size_t) block, 0.0f);
    postNoiseRight.assign ((size_t) block, 0.0f);

    if (block != preparedBlockSize || preparedChannels != 2)
    {
        decimated.setSize (2, std::max (block, decimated.getNumSamples()), false, true, true);
        preparedBlockSize = block;
        preparedChannels = 2;
    }

    decimated.clear();

    // The voice writes its 2x samples straight into the oversampler's own buffer: the up-sampling
    // half would only ever filter silence, so it runs once here to hand that buffer out.
    juce::dsp::AudioBlock<float> silence (decimated.getArrayOfWritePointers(), 2, 0, (size_t) block);
    const auto upBlock = oversampler.processSamplesUp (silence);
    oversampledChannels = { upBlock.getChannelPointer (0), upBlock.getChannelPointer (1) };

    bindParameters();

    const auto rampLength = (int) std::floor (0.005 * newSampleRate);

    for (auto& s : smoothers)
        s.reset (rampLength);

    for (auto& group : envelopeSmoothers)
        for (auto& s : group)
            s.reset (rampLength);

    cutoffSmoother.reset (rampLength);
    driveVelocitySmoother.reset (rampLength);
    driveVelocitySmoother.setCurrentAndTargetValue (driveVelocityFactor);

    updateSmootherTargets();
    setEnvelopeTargets();
    copyModSlots();
    snapSmoothers();
    updateLfoRate (smoother (Smooth::lfo1Rate).getCurrentValue(), smoother (Smooth::lfo1Rate).getCurrentValue(),
                   smoother (Smooth::lfo1Phase).getCurrentValue());
}

int SynthEngine::getLatencySamples() const
{
    return (int) oversampler.getLatencyInSamples();
}

void SynthEngine::bindParameters()
{
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

void SynthEngine::applyVoiceSettings (bool fromSilence) noexcept
{
    for (int group = 0; group < numEnvelopeGroups; ++group)
        writeEnvelopeGroup (group);

    const auto sync1 = param (Param::syncOsc1) > 0.5f;
    const auto sync2 = param (Param::syncOsc2) > 0.5f;
    units[osc1Left].setSyncEnabled (sync1);
    units[osc1Right].setSyncEnabled (sync1);
    units[osc2Left].setSyncEnabled (sync2);
    units[osc2Right].setSyncEnabled (sync2);

    // Into a voice that still sounds, a switch changed since the last chunk fades as it would
    // have there; from silence every switch applies at once.
    if (! fromSilence)
    {
        refreshSourceSettings();
        refreshSwitches();
        return;
    }

    applySourceSettings (readSourceSettings());
    sourceFade.countdown = 0;

    const auto driveMode = choice (Param::driveMode);
    const auto filterModel = choice (Param::filterModel);

    for (auto* stages : { &driveStages, &spareDriveStages })
        for (auto& stage : *stages)
            stage.setMode (driveMode, false);

    for (auto* stages : { &filterStages, &spareFilterStages })
        for (auto& stage : *stages)
            stage.setModel (filterModel, false);

    mainOrder = spareOrder = std::clamp (choice (Param::drivePosition), 0, 1);
    drivePositionFade.jumpTo (mainOrder);
    subRoutingFade.jumpTo (std::clamp (choice (Param::subRouting), 0, 1));
    subRoutingLagging = false;
    feedbackPositionFade.jumpTo (param (Param::feedbackPosition) > 0.5f ? 1 : 0);
}

void SynthEngine::refreshSwitches() noexcept
{
    const auto driveMode = choice (Param::driveMode);

    if (driveMode != driveStages[0].getMode())
        for (auto* stages : { &driveStages, &spareDriveStages })
            for (auto& stage : *stages)
                stage.setMode (driveMode, true);

    const auto filterModel = choice (Param::filterModel);

    if (filterModel != filterStages[0].getModel())
        for (auto* stages : { &filterStages, &spareFilterStages })
            for (auto& stage : *stages)
                stage.setModel (filterModel, true);

    const auto position = std::clamp (choice (Param::drivePosition), 0, 1);

    if (position != drivePositionFade.getTarget())
        startDrivePositionFade (position);

    const auto routing = std::clamp (choice (Param::subRouting), 0, 1);

    if (routing != subRoutingFade.getTarget())
    {
        if (! subRoutingLagging)
            subRoutingLag.fill (subRoutingFade.weight (0));

        subRoutingLagging = true;
        subRoutingFade.fadeTo (routing);
    }
}

void SynthEngine::startDrivePositionFade (int position) noexcept
{
    // From rest the spare pair takes the main pair's curves and models (and any fade between
    // them) with cleared signal states. A copy of the main pair's states would be wrong for the
    // new order, whose filter hears the signal before or after the drive's gain.
    if (! drivePositionFade.isFading())
    {
        spareDriveStages = driveStages;
        spareFilterStages = filterStages;

        for (auto& stage : spareDriveStages)
            stage.reset();

        for (auto& stage : spareFilterStages)
            stage.reset();

        spareOrder = position;
    }

    drivePositionFade.fadeTo (position);
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

void SynthEngine::resetPhases (float osc2Phase, bool fade) noexcept
{
    units[osc1Left].resetPhase (0.0f, fade);
    units[osc1Right].resetPhase (0.0f, fade);
    units[osc2Left].resetPhase (frac (osc2Phase), fade);
    units[osc2Right].resetPhase (frac (osc2Phase), fade);

    subOscillator.resetPhase (0.0f, fade);

    lfo.restart();
}

void SynthEngine::clearSignalState() noexcept
{
    // Nothing of an earlier note is heard any more, but its signal still sits in the chain's
    // memories: cleared, every note from silence starts the same way.
    for (auto& blocker : mixDcBlockers)
        blocker.reset();

    for (auto* stages : { &driveStages, &spareDriveStages })
        for (auto& stage : *stages)
            stage.reset();

    for (auto* stages : { &filterStages, &spareFilterStages })
        for (auto& stage : *stages)
            stage.reset();

    for (auto& path : feedbackPaths)
        path.reset();

    oversampler.reset();
    decimator.reset();
    chainFlushCountdown = chainFlushInterval;
}

void SynthEngine::noteOn (int note, float newVelocity, bool legato)
{
    const auto wasIdle = ampEnvelope.isIdle();
    lastNote = note;

    if (wasIdle)
        catchUpIdleEnvelopes();

    // Envelope settings ramp from where they are, except into a note from silence.
    setEnvelopeTargets();

    if (wasIdle)
        for (auto& group : envelopeSmoothers)
            for (auto& value : group)
                value.setCurrentAndTargetValue (value.getTargetValue());

    updateTargetNote();

    if (wasIdle)
        glidingNote = targetNote;

    velocity = clamp01 (newVelocity);
    noteRandom.draw();

    applyVoiceSettings (wasIdle);

    filterEnvVelocityFactor = 1.0f + (velocity - 1.0f) * clamp01 (param (Param::velToFilterEnv));
    driveVelocityFactor = 1.0f + (velocity - 1.0f) * clamp01 (param (Param::velToDrive));

    if (wasIdle)
        driveVelocitySmoother.setCurrentAndTargetValue (driveVelocityFactor);
    else
        driveVelocitySmoother.setTargetValue (driveVelocityFactor);

    updateGlideCoefficient();

    if (! legato)
    {
        const auto phaseMode = choice (Param::phaseMode);

        // From silence the output's fade-in keeps the jump inaudible: no fade from the stale phase.
        if ((phaseMode == 1 && wasIdle) || phaseMode == 2)
            resetPhases ((param (Param::osc2PhaseOffset) + osc2PhaseMod) / 360.0f, ! wasIdle);

        if (choice (Param::lfo1Retrig) == 1)
            lfo.restart();
    }

    if (wasIdle)
    {
        // A note from silence starts every value where it is set, with no ramp into it.
        updateSmootherTargets();
        snapSmoothers();
        clearSignalState();
        outputStage.startFadeIn();
    }

    if (legato)
        return;

    for (auto& unit : units)
        unit.dcwEnvelope.trigger();

    for (auto* envelope : { &ampEnvelope, &filterEnvelope, &osc1DcwEnvelope, &osc2DcwEnvelope })
        envelope->trigger();
}

void SynthEngine::releaseAll()
{
    for (auto* envelope : { &ampEnvelope, &filterEnvelope, &osc1DcwEnvelope, &osc2DcwEnvelope })
        envelope->release();

    for (auto& unit : units)
        unit.dcwEnvelope.release();

    lastNote = -1;
}

//==============================================================================
void SynthEngine::render (juce::AudioBuffer<float>& buffer, int startSample, int numSamples)
{
    if (numSamples <= 0 || preparedBlockSize == 0 || startSample < 0)
        return;

    numSamples = std::min (numSamples, buffer.getNumSamples() - startSample);

    if (numSamples <= 0)
        return;

    if (ampEnvelope.isIdle())
    {
        idleSamples += numSamples;
        return;
    }

    for (int done = 0; done < numSamples;)
    {
        const auto chunk = std::min (numSamples - done, preparedBlockSize);
        const auto rendered = renderChunk (buffer, startSample + done, chunk);
        done += chunk;

        if (rendered < chunk) // the voice ended inside this chunk
        {
            idleSamples += chunk - rendered + (numSamples - done);
            break;
        }
    }
}

int SynthEngine::renderChunk (juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept
{
    if (! ampEnvelope.isActive() || numSamples <= 0)
        return 0;

    refreshChunkSettings();

    // A unit whose twin on the other side holds the same state and gets the same settings would
    // compute the same samples: the left one runs and the right one takes its state at the end.
    // Hard sync keeps this only where the partner is a twin too; a right unit synced to a twin
    // reads the left one's wraps, which are the same.
    osc1Twins = ! units[osc1Left].isSyncEnabled() && units[osc1Right].hasSameStateAs (units[osc1Left]);
    osc2Twins = (! units[osc2Left].isSyncEnabled() || osc1Twins) && units[osc2Right].hasSameStateAs (units[osc2Left]);
    units[osc2Right].setSyncPartner (osc1Twins ? &units[osc1Left] : &units[osc1Right]);
    units[osc1Right].setSyncPartner (osc2Twins ? &units[osc2Left] : &units[osc2Right]);

    // The same for the two sides of the chain, as long as their inputs stay equal. Not while the
    // drive position fades: the spare pair runs then.
    chainTwins = ! drivePositionFade.isFading() && mixDcBlockers[1].hasSameStateAs (mixDcBlockers[0])
              && feedbackPaths[1].hasSameStateAs (feedbackPaths[0]) && driveStages[1].hasSameStateAs (driveStages[0])
              && filterStages[1].hasSameStateAs (filterStages[0]);

    // Every sample of these that is read is written first: the chain fills the 2x buffer and the
    // decimator its output, up to where the voice ends.
    auto* upLeft = oversampledChannels[0];
    auto* upRight = oversampledChannels[1];

    // The voice stops on the sample where its amp envelope ends, wherever the chunk boundaries
    // lie, so that its state and output never depend on the host's block size.
    int rendered = 0;
    auto ended = false;

    while (rendered < numSamples && ! ended)
    {
        auto length = std::min (stretchLength, numSamples - rendered);
        int count = 0;

        // Only mutual sync needs the units to take turns tick by tick.
        sourcesInLoops = shortcutsAllowed && ! sourceFade.isFading()
                      && ! (units[osc1Left].isSyncEnabled() && units[osc2Left].isSyncEnabled());
        osc2PartsAt = -1;

        // Nothing that the voice's settings follow moves in this stretch: no ramp, no glide, no
        // drift, no slot that moves them, and for the chain no filter envelope.
        voiceSettled = ! dsp::exactReference && shortcutsAllowed && numRampingSmoothers == 0 && slotsHoldStill
                    && glidingNote == (double) targetNote && smoothedNow[Smooth::oscDrift] == 0.0f
                    && ! cutoffSmoother.isSmoothing() && ! driveVelocitySmoother.isSmoothing();
        voiceHeld = ! dsp::exactReference && shortcutsAllowed && numRampingSmoothers == 0
                 && glidingNote == (double) targetNote && ! sourceFade.isFading();
        pitchDeferred = voiceHeld && sourcesInLoops && ! voiceSettled && ! isSourceInUse (ModSource::beatPhase)
                     && ((movingDestinations & pitchDestinations) != 0 || smoothedNow[Smooth::oscDrift] > 0.0f);
        chainSettled = ! dsp::exactReference && shortcutsAllowed && numRampingSmoothers == 0 && chainSlotsHoldStill
                    && ! cutoffSmoother.isSmoothing() && ! driveVelocitySmoother.isSmoothing()
                    && smoothedNow[Smooth::filterEnvAmount] * filterEnvVelocityFactor == 0.0f;

        // The amp envelope's run ends the stretch where the voice ends.
        envelopesRendered = shortcutsAllowed && ! envelopeSettingsMoving;

        if (envelopesRendered)
        {
            length = ampEnvelope.render (envelopeLevels[ampGroup].data(), length);
            filterEnvelope.render (envelopeLevels[filterGroup].data(), length);
            osc1DcwEnvelope.render (envelopeLevels[osc1DcwGroup].data(), length);
            osc2DcwEnvelope.render (envelopeLevels[osc2DcwGroup].data(), length);
        }

        matrixStill = ! dsp::exactReference && shortcutsAllowed && slotsReadStillSources
                   && ! smoother (Smooth::modWheel).isSmoothing() && ! smoother (Smooth::aftertouch).isSmoothing();

        // Where nothing moves the LFO's rate within the stretch, its values are taken at once.
        lfoRendered = lfoCanRender && numRampingSmoothers == 0 && lfoRateMod == 0.0f && lfoDepthMod == 0.0f;
        stretchSettled = voiceSettled && chainSettled && matrixStill && envelopesRendered && lfoRendered;
        Lfo lfoBefore;

        if (lfoRendered)
        {
            lfoBefore = lfo;
            const auto rate = next (Smooth::lfo1Rate);
            moveLfoRate (std::clamp (rate, 0.001f, 200.0f), rate, next (Smooth::lfo1Phase));
            lfo.render (lfoValues.data(), length, isSourceInUse (ModSource::lfo1));
        }

        // A held voice, its envelopes and LFO taken at once, works out the samples after the
        // first in passes over the stretch.
        const auto heldStretch = voiceHeld && envelopesRendered && lfoRendered && sourcesInLoops
                              && ! stretchSettled && ! isSourceInUse (ModSource::beatPhase);

        while (count < length && ! ended)
        {
            const auto index = (size_t) count;
            controlIndex = count;
            computeBaseRateSample (rendered + count, chainFrames[index], sourceFrames[index]);

            if (! sourcesInLoops)
            {
                applySourceFrame (sourceFrames[index]);
                drawPostNoise (rendered + count, sourceFrames[index]);
                renderSources (2 * count);
                renderSources (2 * count + 1);
            }

            ++count;
            ended = ! envelopesRendered && ampEnvelope.isIdle();

            if (heldStretch && count == 1 && length > 1)
            {
                computeHeldStretch (rendered, length);
                count = length;
            }
        }

        if (envelopesRendered)
            ended = ampEnvelope.isIdle();

        // A voice that ended early leaves the LFO where its last sample left it.
        if (lfoRendered && count < length)
        {
            lfo = lfoBefore;
            lfo.render (lfoValues.data(), count, isSourceInUse (ModSource::lfo1));
        }

        finishChainFrames (count);

        if (pitchDeferred)
            computeDeferredPitch (count);

        if (sourcesInLoops)
            renderSourceStretch (rendered, count);

        if (! runChainStretch (count, upLeft + 2 * rendered, upRight + 2 * rendered))
        for (int k = 0; k < count; ++k)
        {
            // A settled chain hears the same frame all along the stretch.
            if (k == 0 || ! chainSettled)
                applyChainFrame (chainFrames[(size_t) k]);

            for (int half = 0; half < 2; ++half)
            {
                const auto i = (size_t) (2 * k + half);
                const auto out = 2 * (rendered + k) + half;
                renderChainSample (sourceLeft[i], sourceRight[i], sourceSub[i], upLeft[out], upRight[out]);
            }

            // The chain's memories are flushed every 16 base-rate samples rather than on every
            // sample: often enough that a decaying one never reaches the denormals and a bad
            // value never stays. Counted across chunks, so that the host's block size never moves it.
            if (--chainFlushCountdown <= 0)
            {
                flushChainMemories();
                chainFlushCountdown = chainFlushInterval;
            }
        }

        rendered += count;
    }

    if (chainTwins)
        catchUpRightChain();

    if (osc1Twins)
        units[osc1Right].copyStateFrom (units[osc1Left]);

    // The editor polls these at 20 Hz; the chunk's last values are as recent as it can show.
    for (size_t i = 0; i < liveSlotValues.size(); ++i)
        liveSlotValues[i].store (modulation.live[i], std::memory_order_relaxed);

    if (osc2Twins)
        units[osc2Right].copyStateFrom (units[osc2Left]);

    decimator.process (upLeft, upRight, decimated.getWritePointer (0), decimated.getWritePointer (1), rendered);
    writeOutput (buffer, start, rendered);
    return rendered;
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
    refreshSwitches();

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
        const auto driveMode = driveStages[0].getMode();

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

        const auto driveMode = driveStages[0].getMode();

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

void SynthEngine::applyChainFrame (const ChainFrame& frame) noexcept
{
    drivePostGain = frame.drivePost;
    driveMixAmount = frame.driveMix;
    filterBlend = frame.filterBlend;
    feedbackAmount = frame.feedbackAmount;
    chainFeedbackCoefficient = frame.feedbackCoefficient;
    subSend = frame.subSend;

    // A sounding phase stage spread apart hears different settings on each side.
    if (chainTwins && frame.phaseSpread != 0.0f && filterStages[0].isPhaseStageSounding())
    {
        catchUpRightChain();
        chainTwins = false;
    }

    // The left phase stage sits up to an octave lower, the right one up to an octave higher.
    for (size_t side = 0; side < 2; ++side)
    {
        const auto offset = side == 0 ? -frame.phaseSpread : frame.phaseSpread;
        applyChainSettings (driveStages[side], filterStages[side], frame, offset);

        // The pair fading in with the new drive position hears the same settings, so the new
        // order does not start from the values it had when it was last swapped out.
        if (drivePositionFade.isFading())
            applyChainSettings (spareDriveStages[side], spareFilterStages[side], frame, offset);
    }

    feedbackPositionFade.fadeTo (frame.feedbackAfterFilter ? 1 : 0);
}

void SynthEngine::applyChainSettings (DriveStage& driveStage, FilterStage& filterStage, const ChainFrame& frame,
                                      float phaseOffset) noexcept
{
    driveStage.setGain (frame.drivePre);
    applyFilterSettings (filterStage, frame, phaseOffset);
}

void SynthEngine::applyFilterSettings (FilterStage& filterStage, const ChainFrame& frame, float phaseOffset) noexcept
{
    filterStage.setCutoff (frame.cutoff);
    filterStage.setResonance (frame.resonance);
    filterStage.setPhaseMix (frame.phaseMix);
    filterStage.setPhaseNotch (frame.phaseNotch);
    filterStage.setPhaseOffset (phaseOffset);
}

namespace
{
// The diode's output gain, the drive mix and the post gain go into the phase stage's own, and
// the curve's straight line past its table into the part that does not wait on the table.
QUILLON_ALWAYS_INLINE inline float diodeIntoPhaseStage (DriveStage& drive, FilterStage& filter, float x, float mixAmount,
                                                       float postGain, float blend) noexcept
{
    const auto parts = drive.diodeRaw (x);
    const auto scale = mixAmount * (postGain * drive.getDiodeOut());
    return filter.processBlended ((x - mixAmount * x) + scale * parts.beyond, scale, parts.piece, blend);
}

struct LoopSettings
{
    float pre, post, mixAmount, postGain, blend, coefficient;
    bool captured;
};

// The same with the feedback around it: the pre-feedback goes straight into the diode's table
// index and the memory's next value follows the curve's output through one multiply-add, so that
// from one 2x sample to the next the loop waits on the table and little else. `in` is the drive's
// input before the feedback; what comes back is the output before the sub's direct part.
QUILLON_ALWAYS_INLINE inline float diodePhaseLoop (DriveStage& drive, FilterStage& filter, FeedbackPath& fb, float in,
                                                  const LoopSettings& s) noexcept
{
    const auto memory = fb.getMemory();
    const auto toTable = drive.getDiodeToTable();
    auto x = in;
    auto t = in * toTable + DiodeKnee::centre;

    if (s.pre != 0.0f)
    {
        x = x + s.pre * memory;
        t = t + (s.pre * toTable) * memory;
    }

    const auto parts = drive.diodeRawAt (x, t);
    const auto scale = s.mixAmount * (s.postGain * drive.getDiodeOut());
    const auto line = filter.processBlendedLine ((x - s.mixAmount * x) + scale * parts.beyond, scale, parts.piece, s.blend);
    const auto raw = line.slope * parts.piece + line.fixed;
    const auto loud = std::abs (raw) >= 1.0e-15f;
    auto y = loud ? raw : 0.0f;
    auto fixed = line.fixed;

    if (s.post != 0.0f)
    {
        y = y + s.post * memory;
        fixed = fixed + s.post * memory;
    }

    if (! s.captured)
        fb.reset();
    else if (loud)
        fb.takeNext (((1.0f - s.coefficient) * memory + s.coefficient * fixed) + (s.coefficient * line.slope) * parts.piece);
    else
        fb.takeNext ((1.0f - s.coefficient) * memory + s.coefficient * y);

    return y;
}
} // namespace

float SynthEngine::runChain (DriveStage& driveStage, FilterStage& filterStage, int position, float x) noexcept
{
    if (position == 0 && driveStage.actsAsWholeDiode() && filterStage.runsPhaseStageAlone())
        return diodeIntoPhaseStage (driveStage, filterStage, x, driveMixAmount, drivePostGain, filterBlend);

    const auto drive = [this, &driveStage] (float v) { return v + driveMixAmount * (driveStage.process (v) * drivePostGain - v); };
    const auto filter = [this, &filterStage] (float v) { return filterStage.processBlended (v, filterBlend); };

    return position == 0 ? filter (drive (x)) : drive (filter (x));
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

void SynthEngine::renderChainSample (float mixL, float mixR, float subL, float& left, float& right) noexcept
{
    const auto subR = subL;

    // Sides that part bring the right one up to date; it then runs on its own to the chunk's end.
    if (chainTwins && mixL != mixR)
    {
        catchUpRightChain();
        chainTwins = false;
    }

    mixL = mixDcBlockers[0].processUnflushed (mixL);
    mixR = chainTwins ? mixL : mixDcBlockers[1].processUnflushed (mixR);

    // Sub routing: how much of the sub goes through drive and filter, how much around them.
    auto send = subSend, direct = 1.0f - subSend;

    if (subRoutingLagging)
    {
        // While the routing fades, the part of the sub that still comes out of the filter lags
        // the send by the filter's delay; the direct part follows that lag, not the send itself,
        // or the two would add up to more than the sub for a few milliseconds.
        const auto share = subRoutingFade.weight (0);
        subRoutingFade.advance();
        const auto g = filterStages[0].getModel() == FilterStage::phase ? 1.0f : filterStages[0].getPoleGain();
        auto lagged = share;

        for (auto& pole : subRoutingLag)
        {
            const auto v = (lagged - pole) * g;
            lagged = v + pole;
            pole = lagged + v;
        }

        lagged = share + filterBlend * (lagged - share);
        send = subSend * share;
        direct = 1.0f - subSend * lagged;
        subRoutingLagging = subRoutingFade.isFading() || std::abs (lagged - share) > 1.0e-5f;
    }
    else if (subRoutingFade.getTarget() == 1)
    {
        send = 0.0f;
        direct = 1.0f;
    }

    // Feedback from the previous 2x sample goes in before the drive or after the filter.
    const auto postShare = feedbackPositionFade.weight (1);
    feedbackPositionFade.advance();
    const auto preFeedback = feedbackAmount * (1.0f - postShare);
    const auto postFeedback = feedbackAmount * postShare;
    // Without feedback the memory stays out of the input, so that the chain's samples do not wait
    // on one another through it.
    float inputs[] = { mixL + subL * send, mixR + subR * send };
    const float dryInputs[] = { inputs[0], inputs[1] };
    const LoopSettings loop { preFeedback, postFeedback, driveMixAmount, drivePostGain, filterBlend, chainFeedbackCoefficient,
                              feedbackAmount != 0.0f };
    const auto loops = [this] (size_t side)
    {
        return ! drivePositionFade.isFading() && mainOrder == 0 && driveStages[side].actsAsWholeDiode()
            && filterStages[side].runsPhaseStageAlone();
    };
    const bool looped[] = { loops (0), loops (1) };

    if (preFeedback != 0.0f)
    {
        inputs[0] += preFeedback * feedbackPaths[0].getMemory();
        inputs[1] += preFeedback * feedbackPaths[chainTwins ? 0 : 1].getMemory();
    }

    float outputs[2];

    if (drivePositionFade.isFading())
    {
        // Both orders run for the length of the fade: one on the main pair, one on the spare pair.
        const auto mainShare = drivePositionFade.weight (mainOrder);

        for (size_t side = 0; side < 2; ++side)
        {
            const auto fromMain = runChain (driveStages[side], filterStages[side], mainOrder, inputs[side]);
            const auto fromSpare = runChain (spareDriveStages[side], spareFilterStages[side], spareOrder, inputs[side]);
            outputs[side] = fromSpare + mainShare * (fromMain - fromSpare);
        }

        drivePositionFade.advance();

        if (! drivePositionFade.isFading() && drivePositionFade.getTarget() != mainOrder)
        {
            std::swap (driveStages, spareDriveStages);
            std::swap (filterStages, spareFilterStages);
            std::swap (mainOrder, spareOrder);
        }
    }
    else
    {
        if (chainTwins)
        {
            outputs[0] = looped[0] ? diodePhaseLoop (driveStages[0], filterStages[0], feedbackPaths[0], dryInputs[0], loop)
                                   : runChain (driveStages[0], filterStages[0], mainOrder, inputs[0]);
        }
        else
        {
            // Stage by stage across both sides rather than side by side: the two sides' long
            // dependency chains (the diode's Newton steps, the allpass sections) then overlap.
            const auto drive = [this] (DriveStage& stage, float v) { return v + driveMixAmount * (stage.process (v) * drivePostGain - v); };
            const auto filter = [this] (FilterStage& stage, float v) { return stage.processBlended (v, filterBlend); };

            if (mainOrder == 0 && driveStages[0].actsAsWholeDiode() && filterStages[0].runsPhaseStageAlone())
            {
                for (size_t side = 0; side < 2; ++side)
                    outputs[side] = looped[side] ? diodePhaseLoop (driveStages[side], filterStages[side], feedbackPaths[side],
                                                                   dryInputs[side], loop)
                                                 : runChain (driveStages[side], filterStages[side], 0, inputs[side]);
            }
            else if (mainOrder == 0)
            {
                const auto d0 = drive (driveStages[0], inputs[0]);
                const auto d1 = drive (driveStages[1], inputs[1]);
                outputs[0] = filter (filterStages[0], d0);
                outputs[1] = filter (filterStages[1], d1);
            }
            else
            {
                const auto f0 = filter (filterStages[0], inputs[0]);
                const auto f1 = filter (filterStages[1], inputs[1]);
                outputs[0] = drive (driveStages[0], f0);
                outputs[1] = drive (driveStages[1], f1);
            }
        }
    }

    for (size_t side = 0; side < (chainTwins ? 1u : 2u); ++side)
    {
        if (looped[side])
            continue;

        if (postFeedback != 0.0f)
            outputs[side] += postFeedback * feedbackPaths[side].getMemory();

        if (feedbackAmount != 0.0f)
            feedbackPaths[side].captureUnflushed (outputs[side], chainFeedbackCoefficient);
        else
            feedbackPaths[side].reset();
    }

    if (chainTwins)
        outputs[1] = outputs[0];

    // The decimator's filters would keep a value that is not a number for good.
    left = dsp::flushTiny (outputs[0] + subL * direct);
    right = dsp::flushTiny (outputs[1] + subR * direct);
}

// The chain over a whole stretch while nothing in it fades: its stages run on local copies, whose
// states the compiler can keep in registers from sample to sample instead of storing and loading
// them again around every output it writes. False where the sample-by-sample path must run.
bool SynthEngine::runChainStretch (int count, float* outLeft, float* outRight) noexcept
{
    if (dsp::exactReference || ! shortcutsAllowed || count <= 0 || drivePositionFade.isFading() || subRoutingLagging)
        return false;

    applyChainFrame (chainFrames[0]);

    if (feedbackPositionFade.isFading())
        return false;

    if (chainTwins)
    {
        // Twins stay twins only while both sides hear the same: else the right side must be
        // brought up to date at the sample where they part.
        for (int i = 0; i < 2 * count; ++i)
            if (sourceLeft[(size_t) i] != sourceRight[(size_t) i])
                return false;

        if (filterStages[0].isPhaseStageSounding())
            for (int k = 1; k < count; ++k)
                if (chainFrames[(size_t) k].phaseSpread != 0.0f)
                    return false;

        if (! runLinearChainStretch<true> (count, outLeft, outRight))
            runChainStretchWith<true> (count, outLeft, outRight);
    }
    else if (! runLinearChainStretch<false> (count, outLeft, outRight))
    {
        runChainStretchWith<false> (count, outLeft, outRight);
    }

    // What the sample-by-sample path would hold after the stretch's last frame.
    const auto& last = chainFrames[(size_t) (chainSettled ? 0 : count - 1)];
    drivePostGain = last.drivePost;
    driveMixAmount = last.driveMix;
    filterBlend = last.filterBlend;
    feedbackAmount = last.feedbackAmount;
    chainFeedbackCoefficient = last.feedbackCoefficient;
    subSend = last.subSend;
    return true;
}

#if QUILLON_CHAIN_LANES
// Whether any value of `a` but the cutoff and the drive's gains differs from `b`'s, bit for bit
// (a zero that changed its sign only costs a retake).
QUILLON_ALWAYS_INLINE inline bool SynthEngine::movedBeyondCutoffAndGains (const ChainFrame& a, const ChainFrame& b) noexcept
{
    static_assert (offsetof (ChainFrame, drivePre) == 0 && offsetof (ChainFrame, drivePost) == 4
                   && offsetof (ChainFrame, cutoff) == 16 && offsetof (ChainFrame, subSend) == 44);
    const auto* pa = reinterpret_cast<const __m128i*> (&a);
    const auto* pb = reinterpret_cast<const __m128i*> (&b);
    const auto same = [pa, pb] (int i)
    {
        return _mm_movemask_ps (_mm_castsi128_ps (_mm_cmpeq_epi32 (_mm_loadu_si128 (pa + i), _mm_loadu_si128 (pb + i))));
    };
    return ((same (0) & 0xC) | ((same (1) & 0xE) << 4) | (same (2) << 8)) != 0xFEC;
}
#endif

template <bool twins>
void SynthEngine::runChainStretchWith (int count, float* outLeft, float* outRight) noexcept
{
#if QUILLON_CHAIN_LANES
    // Sides that differ run side by side in lanes wherever their drive and low-pass settings agree
    // (the phase stage's offset is all that tells them apart) and nothing fades: a loop for each
    // filter model and stage order, the states held in lanes from sample to sample.
    if constexpr (! twins)
    {
        // A linear low-pass works in groups of four samples, which the lanes leave to it: they
        // take a ladder or state model only where its resonance holds it non-linear all along.
        const auto filterModel = filterStages[0].getModel();
        auto nonLinear = ! filterStages[0].isInGroup() && ! filterStages[1].isInGroup();

        if (filterModel == FilterStage::ladder || filterModel == FilterStage::state)
            for (int k = 0; k < (chainSettled ? 1 : count) && nonLinear; ++k)
                nonLinear = chainFrames[(size_t) k].resonance != 0.0f;

        if (nonLinear && chain_lanes::sidesFitLanes (driveStages[0], driveStages[1], filterStages[0], filterStages[1]))
        {
            const auto run = [this, count, outLeft, outRight] (auto modelTag, auto orderTag) QUILLON_HOT_CLONES
            {
                using chain_lanes::Float4;
                using chain_lanes::leftOf;
                using chain_lanes::pair;
                using chain_lanes::rightOf;
                constexpr int model = decltype (modelTag)::value;
                constexpr int order = decltype (orderTag)::value;
                constexpr bool lowpass = chain_lanes::LowpassLanes::runs (model);

                auto& filter0 = filterStages[0];
                auto& filter1 = filterStages[1];
                auto& drive0 = driveStages[0];
                auto& drive1 = driveStages[1];
                const auto settled = chainSettled;
                const auto postShare = feedbackPositionFade.weight (1);
                const auto subThrough = subRoutingFade.getTarget() != 1;

                auto dcIn = pair (mixDcBlockers[0].getPreviousInput(), mixDcBlockers[1].getPreviousInput());
                auto dcOut = pair (mixDcBlockers[0].getPreviousOutput(), mixDcBlockers[1].getPreviousOutput());
                const auto dcCoefficient = pair (mixDcBlockers[0].getCoefficient(), mixDcBlockers[1].getCoefficient());
                auto memory = pair (feedbackPaths[0].getMemory(), feedbackPaths[1].getMemory());
                chain_lanes::DriveLanes drive;
                drive.takeSettings (drive0);
                drive.previous = pair (drive0.getPreviousInput(), drive1.getPreviousInput());
                chain_lanes::LowpassLanes poles;

                if constexpr (lowpass)
                {
                    poles.takeSettings (filter0);
                    poles.takeStates (filter0, filter1);
                }

                chain_lanes::PhaseLanes phases;

                if constexpr (model == FilterStage::phase)
                {
                    phases.takeSettings (filter0.getPhaseStage(), filter1.getPhaseStage(), chainFrames[0].filterBlend);
                    phases.takeStates (filter0.getPhaseStage(), filter1.getPhaseStage());
                    phases.takeAnchors (filter0.getPhaseStage(), filter1.getPhaseStage());
                }

                // A frame's values in lanes, taken up anew only where the frames move.
                struct FrameLanes
                {
                    Float4 send, direct, pre, post, mixAmount, postGain, blend, coefficient, remaining;
                    bool preOn, postOn, captured;
                };

                const auto lanesFor = [postShare, subThrough] (const ChainFrame& frame)
                {
                    const auto preFeedback = frame.feedbackAmount * (1.0f - postShare);
                    const auto postFeedback = frame.feedbackAmount * postShare;
                    return FrameLanes { Float4 (subThrough ? frame.subSend : 0.0f), Float4 (subThrough ? 1.0f - frame.subSend : 1.0f),
                                        Float4 (preFeedback), Float4 (postFeedback), Float4 (frame.driveMix),
                                        Float4 (frame.drivePost), Float4 (frame.filterBlend), Float4 (frame.feedbackCoefficient),
                                        Float4 (1.0f - frame.feedbackCoefficient), preFeedback != 0.0f, postFeedback != 0.0f, frame.feedbackAmount != 0.0f };
                };

                auto f = lanesFor (chainFrames[0]);
                const auto memoryLimit = chain_lanes::held (FeedbackPath::memoryLimit);
                const auto silence = chain_lanes::held (1.0e-15f);

                // The phase stage's slopes while its coefficients and input scale hold, and the
                // feedback memory's slope with them where the diode feeds the stage.
                chain_lanes::PhaseLanes::Slopes phaseSlopes {};
                Float4 memorySlope (0.0f);
                auto restingStatesDue = false;

                const auto driven = [&] (Float4 v) QUILLON_ALWAYS_INLINE { return v + f.mixAmount * (drive.process (v) * f.postGain - v); };
                const auto filtered = [&] (Float4 v) QUILLON_ALWAYS_INLINE
                {
                    Float4 y;

                    if constexpr (model == FilterStage::phase)
                        return phases.process (v, phaseSlopes, silence);
                    else if constexpr (lowpass)
                        y = poles.template process<model> (v, silence);
                    else
                        y = chain_lanes::silenceBelowFloor (v, silence);

                    return v + f.blend * (y - v);
                };

                const auto side = [&] (Float4 mix, Float4 sub) QUILLON_ALWAYS_INLINE
                {
                    auto x = (mix + dcOut - dcIn) * dcCoefficient;
                    dcIn = mix;
                    dcOut = x;
                    x = x + sub * f.send;

                    if constexpr (model == FilterStage::phase && order == 0)
                    {
                        // As diodePhaseLoop has it.
                        if (drive.actsAsWholeDiode())
                        {
                            auto t = x * drive.diodeToTable + Float4 (DiodeKnee::centre);

                            if (f.preOn)
                            {
                                x = x + f.pre * memory;
                                t = t + (f.pre * drive.diodeToTable) * memory;
                            }

                            Float4 beyond, fixed, slope;
                            const auto piece = drive.diodeRawAt (x, t, beyond);
                            const auto scale = phaseSlopes.scale;
                            phases.line ((x - f.mixAmount * x) + scale * beyond, phaseSlopes, piece, fixed, slope);
                            const auto raw = slope * piece + fixed;
                            const auto loud = chain_lanes::magnitude (raw) >= silence;
                            const auto allLoud = (_mm_movemask_ps (loud.v) & 3) == 3;
                            auto y = allLoud ? raw : chain_lanes::keep (loud, raw);

                            if (f.postOn)
                            {
                                y = y + f.post * memory;
                                fixed = fixed + f.post * memory;
                            }

                            if (f.captured)
                            {
                                auto next = (f.remaining * memory + f.coefficient * fixed) + memorySlope * piece;

                                if (! allLoud)
                                    next = dsp::select (loud, next, f.remaining * memory + f.coefficient * y);

                                memory = chain_lanes::limitRarely (next, memoryLimit);
                            }
                            else
                            {
                                memory = Float4 (0.0f);
                            }

                            return chain_lanes::flushTiny (y + sub * f.direct);
                        }
                    }

                    if (f.preOn)
                        x = x + f.pre * memory;

                    auto y = order == 0 ? filtered (driven (x)) : driven (filtered (x));

                    if (f.postOn)
                        y = y + f.post * memory;

                    // Unheard, the memory rests at zero.
                    memory = f.captured ? chain_lanes::limitRarely (f.remaining * memory + f.coefficient * y, memoryLimit)
                                        : Float4 (0.0f);
                    return chain_lanes::flushTiny (y + sub * f.direct);
                };

                for (int k = 0; k < count; ++k)
                {
                    if (k > 0 && ! settled)
                    {
                        const auto& frame = chainFrames[(size_t) k];
                        const auto& before = chainFrames[(size_t) k - 1];
                        auto expanded = false;

                        // Mostly only the cutoff and the drive's gains move from frame to frame;
                        // what did not move is not taken up again.
                        const auto othersMoved = movedBeyondCutoffAndGains (frame, before);

                        if constexpr (model == FilterStage::phase)
                        {
                            // Within the cell the lanes' expansions were taken at, and with the
                            // offsets where they were, the stages' own cutoffs, coefficients and
                            // the drive's gain wait for the stretch's end.
                            const auto& left = filter0.getPhaseStage();
                            const auto& right = filter1.getPhaseStage();
                            // The offsets were taken within 1e-5 of the frame before's spread.
                            const auto hz = left.clampCutoff (frame.cutoff);
                            expanded = phases.expandsAt (hz)
                                    && (! othersMoved || (std::abs (-frame.phaseSpread - left.getOffset()) < 1.0e-5f
                                                          && std::abs (frame.phaseSpread - right.getOffset()) < 1.0e-5f));

                            if (expanded)
                            {
                                if (othersMoved)
                                    for (auto* filter : { &filter0, &filter1 })
                                    {
                                        filter->setResonance (frame.resonance);
                                        filter->setPhaseMix (frame.phaseMix);
                                        filter->setPhaseNotch (frame.phaseNotch);
                                    }

                                phases.takeExpandedSettings (hz, left, right, frame.filterBlend, othersMoved);

                                if (frame.drivePre != before.drivePre)
                                    drive.takeGain (frame.drivePre);
                            }
                            else
                            {
                                filter0.setCutoffLeavingPhaseStage (frame.cutoff);
                                filter1.setCutoffLeavingPhaseStage (frame.cutoff);
                                filter0.catchUpPhaseStage();
                                filter1.catchUpPhaseStage();
                            }
                        }

                        if (! expanded)
                        {
                            // The right drive takes the left one's settings at the end.
                            applyChainSettings (drive0, filter0, frame, -frame.phaseSpread);
                            applyFilterSettings (filter1, frame, frame.phaseSpread);

                            if constexpr (lowpass)
                                poles.takeSettings (filter0);

                            if constexpr (model == FilterStage::phase)
                            {
                                phases.takeSettings (filter0.getPhaseStage(), filter1.getPhaseStage(), frame.filterBlend);
                                phases.takeAnchors (filter0.getPhaseStage(), filter1.getPhaseStage());
                            }
                        }

                        if (! expanded)
                            drive.takeSettings (drive0);

                        if (othersMoved)
                            f = lanesFor (frame);
                        else
                            f.postGain = Float4 (frame.drivePost);
                    }

                    // The phase stage's slopes, for the diode's scale where it feeds the stage
                    // straight, else for its whole input.
                    if constexpr (model == FilterStage::phase)
                        if (k == 0 || ! settled)
                        {
                            if (order == 0 && drive.actsAsWholeDiode())
                            {
                                phaseSlopes = phases.slopesAt (f.mixAmount * (f.postGain * drive.diodeOut));
                                memorySlope = f.coefficient * phaseSlopes.output;
                            }
                            else
                            {
                                phaseSlopes = phases.slopesAt (Float4 (1.0f));
                            }
                        }

                    // Left and right of both 2x samples, then each sample's two sides.
                    const auto i = (size_t) (2 * k);
                    const auto lefts = _mm_castpd_ps (_mm_load_sd (reinterpret_cast<const double*> (sourceLeft.data() + i)));
                    const auto rights = _mm_castpd_ps (_mm_load_sd (reinterpret_cast<const double*> (sourceRight.data() + i)));
                    const auto mixes = _mm_unpacklo_ps (lefts, rights);
                    const auto first = side (Float4 (mixes), Float4 (sourceSub[i]));
                    const auto second = side (Float4 (_mm_movehl_ps (mixes, mixes)), Float4 (sourceSub[i + 1]));
                    const auto out = _mm_unpacklo_ps (first.v, second.v);
                    _mm_storel_pi (reinterpret_cast<__m64*> (outLeft + i), out);
                    _mm_storeh_pi (reinterpret_cast<__m64*> (outRight + i), out);

                    filter0.countSamplesOutsideGroups (2);
                    filter1.countSamplesOutsideGroups (2);

                    if (--chainFlushCountdown <= 0)
                    {
                        memory = chain_lanes::flushTiny (memory);
                        dcIn = chain_lanes::flushTiny (dcIn);
                        dcOut = chain_lanes::flushTiny (dcOut);

                        if constexpr (lowpass)
                            poles.flushStates();

                        if constexpr (model == FilterStage::phase)
                            phases.flushStates();

                        // The stages' own states rest while the lanes hold theirs: flushed
                        // once after the loop, they end as they would have here.
                        restingStatesDue = true;
                        chainFlushCountdown = chainFlushInterval;
                    }
                }

                if (restingStatesDue)
                {
                    filter0.flushStates();
                    filter1.flushStates();

                    for (auto& stage : spareFilterStages)
                        stage.flushStates();
                }

                if (! settled)
                {
                    const auto& last = chainFrames[(size_t) count - 1];
                    drive0.setGain (last.drivePre);

                    if constexpr (model == FilterStage::phase)
                    {
                        filter0.setCutoffLeavingPhaseStage (last.cutoff);
                        filter1.setCutoffLeavingPhaseStage (last.cutoff);
                    }
                }

                mixDcBlockers[0].setStates (leftOf (dcIn), leftOf (dcOut));
                mixDcBlockers[1].setStates (rightOf (dcIn), rightOf (dcOut));
                feedbackPaths[0].setMemory (leftOf (memory));
                feedbackPaths[1].setMemory (rightOf (memory));
                drive1 = drive0;
                drive0.setPreviousInput (leftOf (drive.previous));
                drive1.setPreviousInput (rightOf (drive.previous));

                if constexpr (lowpass)
                    poles.giveStates (filter0, filter1);

                if constexpr (model == FilterStage::phase)
                {
                    phases.giveStates (filter0.getPhaseStage(), filter1.getPhaseStage());
                    filter0.catchUpPhaseStage();
                    filter1.catchUpPhaseStage();
                }
            };

            const auto runOrder = [this, &run] (auto modelTag)
            {
                if (mainOrder == 0)
                    run (modelTag, std::integral_constant<int, 0>());
                else
                    run (modelTag, std::integral_constant<int, 1>());
            };

            switch (filterModel)
            {
                case FilterStage::ladder: runOrder (std::integral_constant<int, FilterStage::ladder>()); break;
                case FilterStage::diode:  runOrder (std::integral_constant<int, FilterStage::diode>()); break;
                case FilterStage::state:  runOrder (std::integral_constant<int, FilterStage::state>()); break;
                case FilterStage::phase:  runOrder (std::integral_constant<int, FilterStage::phase>()); break;
                default:                  runOrder (std::integral_constant<int, FilterStage::numModels>()); break;
            }

            return;
        }
    }
#endif

    auto dc0 = mixDcBlockers[0], dc1 = mixDcBlockers[1];
    auto fb0 = feedbackPaths[0], fb1 = feedbackPaths[1];
    auto drive0 = driveStages[0], drive1 = driveStages[1];
    auto filter0 = filterStages[0], filter1 = filterStages[1];
    const auto order = mainOrder;
    const auto postShare = feedbackPositionFade.weight (1);
    const auto subThrough = subRoutingFade.getTarget() != 1;

    for (int k = 0; k < count; ++k)
    {
        const auto& frame = chainFrames[(size_t) (chainSettled ? 0 : k)];

        if (k > 0 && ! chainSettled)
        {
            applyChainSettings (drive0, filter0, frame, -frame.phaseSpread);

            if constexpr (! twins)
                applyChainSettings (drive1, filter1, frame, frame.phaseSpread);
        }

        const auto send = subThrough ? frame.subSend : 0.0f;
        const auto direct = subThrough ? 1.0f - frame.subSend : 1.0f;
        const auto preFeedback = frame.feedbackAmount * (1.0f - postShare);
        const auto postFeedback = frame.feedbackAmount * postShare;
        const auto mixAmount = frame.driveMix, postGain = frame.drivePost, blend = frame.filterBlend;
        const auto coefficient = frame.feedbackCoefficient;

        const LoopSettings loop { preFeedback, postFeedback, mixAmount, postGain, blend, coefficient, frame.feedbackAmount != 0.0f };

        const auto side = [&] (OnePoleHighPass& dc, FeedbackPath& fb, DriveStage& drive, FilterStage& filter,
                               float mix, float sub) QUILLON_ALWAYS_INLINE
        {
            auto x = dc.processUnflushed (mix) + sub * send;

            if (order == 0 && drive.actsAsWholeDiode() && filter.runsPhaseStageAlone())
                return dsp::flushTiny (diodePhaseLoop (drive, filter, fb, x, loop) + sub * direct);

            if (preFeedback != 0.0f)
                x += preFeedback * fb.getMemory();

            const auto driven = [&] (float v) QUILLON_ALWAYS_INLINE { return v + mixAmount * (drive.process (v) * postGain - v); };
            const auto filtered = [&] (float v) QUILLON_ALWAYS_INLINE { return filter.processBlended (v, blend); };
            auto y = order == 0 ? filtered (driven (x)) : driven (filtered (x));

            if (postFeedback != 0.0f)
                y += postFeedback * fb.getMemory();

            if (frame.feedbackAmount != 0.0f)
                fb.captureUnflushed (y, coefficient);
            else
                fb.reset();

            return dsp::flushTiny (y + sub * direct);
        };

        for (int i = 2 * k; i < 2 * k + 2; ++i)
        {
            const auto sub = sourceSub[(size_t) i];
            outLeft[i] = side (dc0, fb0, drive0, filter0, sourceLeft[(size_t) i], sub);
            outRight[i] = twins ? outLeft[i] : side (dc1, fb1, drive1, filter1, sourceRight[(size_t) i], sub);
        }

        if (--chainFlushCountdown <= 0)
        {
            for (auto* path : { &fb0, &fb1 })
                path->flushStates();

            for (auto* blocker : { &dc0, &dc1 })
                blocker->flushStates();

            filter0.flushStates();
            filter1.flushStates();

            for (auto& stage : spareFilterStages)
                stage.flushStates();

            chainFlushCountdown = chainFlushInterval;
        }
    }

    mixDcBlockers[0] = dc0;
    feedbackPaths[0] = fb0;
    driveStages[0] = drive0;
    filterStages[0] = filter0;

    // Twins leave the right side's signal as it was, for the catch-up at the chunk's end (its
    // flushes above change nothing that the catch-up keeps); its settings follow the last frame,
    // which is all that the settings keep of the frames before it.
    if constexpr (twins)
    {
        if (! chainSettled)
        {
            const auto& last = chainFrames[(size_t) count - 1];
            applyChainSettings (driveStages[1], filterStages[1], last, last.phaseSpread);
        }
    }
    else
    {
        mixDcBlockers[1] = dc1;
        feedbackPaths[1] = fb1;
        driveStages[1] = drive1;
        filterStages[1] = filter1;
    }
}

// A settled chain without drive, feedback or resonance is a linear filter: each stage then runs
// over a run of samples at once, the filter four samples at a time, with the same bits as one by
// one. False where it is not.
template <bool twins>
bool SynthEngine::runLinearChainStretch (int count, float* outLeft, float* outRight) noexcept
{
    const auto& frame = chainFrames[0];
    constexpr auto sides = twins ? 1 : 2;

    if (! chainSettled || frame.feedbackAmount != 0.0f)
        return false;

    for (int side = 0; side < sides; ++side)
        if (! driveStages[(size_t) side].passesStraight() || ! filterStages[(size_t) side].isLinear())
            return false;

    const auto subThrough = subRoutingFade.getTarget() != 1;
    const auto send = subThrough ? frame.subSend : 0.0f;
    const auto direct = subThrough ? 1.0f - frame.subSend : 1.0f;
    const auto mixAmount = frame.driveMix, postGain = frame.drivePost, blend = frame.filterBlend;
    alignas (16) float blocked[2][2 * stretchLength], filtered[2 * stretchLength];

    // In runs between the flushes, which fall where they fall sample by sample.
    for (int done = 0; done < count;)
    {
        const auto length = std::min (count - done, chainFlushCountdown);
        const auto from = 2 * done, n = 2 * length;
        const auto* sub = sourceSub.data() + from;

        // Both sides' DC blockers in one loop: each waits on its own last output, and side by
        // side the two recursions overlap instead of running one after the other.
        if constexpr (twins)
        {
            for (int i = 0; i < n; ++i)
                blocked[0][i] = mixDcBlockers[0].processUnflushed (sourceLeft[(size_t) (from + i)]) + sub[i] * send;
        }
        else
        {
            auto dc0 = mixDcBlockers[0], dc1 = mixDcBlockers[1];

            for (int i = 0; i < n; ++i)
            {
                blocked[0][i] = dc0.processUnflushed (sourceLeft[(size_t) (from + i)]) + sub[i] * send;
                blocked[1][i] = dc1.processUnflushed (sourceRight[(size_t) (from + i)]) + sub[i] * send;
            }

            mixDcBlockers[0] = dc0;
            mixDcBlockers[1] = dc1;
        }

        for (int side = 0; side < sides; ++side)
        {
            auto* x = blocked[side];
            auto& drive = driveStages[(size_t) side];
            auto* out = (side == 0 ? outLeft : outRight) + from;

            // The straight drive: the curve passes its input within the limit.
            const auto driven = [&]
            {
                drive.setPreviousInput (DriveStage::limitInput (x[n - 1]));

                for (int i = 0; i < n; ++i)
                    x[i] += mixAmount * (DriveStage::limitInput (x[i]) * postGain - x[i]);
            };

            if (mainOrder == 0)
                driven();

            filterStages[(size_t) side].processLinear (x, filtered, n);

            for (int i = 0; i < n; ++i)
                x[i] += blend * (filtered[i] - x[i]);

            if (mainOrder != 0)
                driven();

            feedbackPaths[(size_t) side].reset();

            for (int i = 0; i < n; ++i)
                out[i] = dsp::flushTiny (x[i] + sub[i] * direct);

            if constexpr (twins)
                std::copy (out, out + n, outRight + from);
        }

        done += length;

        if ((chainFlushCountdown -= length) <= 0)
        {
            flushChainMemories();
            chainFlushCountdown = chainFlushInterval;
        }
    }

    return true;
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

void SynthEngine::flushChainMemories() noexcept
{
    for (auto& path : feedbackPaths)
        path.flushStates();

    for (auto& blocker : mixDcBlockers)
        blocker.flushStates();

    for (auto* stages : { &filterStages, &spareFilterStages })
        for (auto& stage : *stages)
            stage.flushStates();
}

void SynthEngine::catchUpRightChain() noexcept
{
    mixDcBlockers[1] = mixDcBlockers[0];
    feedbackPaths[1] = feedbackPaths[0];
    driveStages[1] = driveStages[0];
    filterStages[1].copySignalStateFrom (filterStages[0]);
}

void SynthEngine::writeOutput (juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept
{
    const auto channels = buffer.getNumChannels();

    if (channels == 0)
        return;

    const auto* decimatedLeft = decimated.getReadPointer (0);
    const auto* decimatedRight = decimated.getReadPointer (1);
    auto* outLeft = buffer.getWritePointer (0, start);
    auto* outRight = channels > 1 ? buffer.getWritePointer (1, start) : nullptr;
    auto& monoLowAmount = smoother (Smooth::monoLowEnabled);
    auto& monoLowHz = smoother (Smooth::monoLowFreq);

    if (! monoLowAmount.isSmoothing() && ! monoLowHz.isSmoothing())
    {
        outputStage.processBlock (decimatedLeft, decimatedRight, postNoiseLeft.data(), postNoiseRight.data(),
                                  sampleGains.data(), numSamples, monoLowAmount.getCurrentValue(),
                                  monoLowHz.getCurrentValue(), outLeft, outRight);
        return;
    }

    for (int i = 0; i < numSamples; ++i)
    {
        const auto index = (size_t) i;
        const auto monoLow = smoother (Smooth::monoLowEnabled).getNextValue();
        const auto monoLowHz = smoother (Smooth::monoLowFreq).getNextValue();
        const auto frame = outputStage.process (decimatedLeft[i] + postNoiseLeft[index],
                                                decimatedRight[i] + postNoiseRight[index],
                                                sampleGains[index], monoLow, monoLowHz);

        if (outRight != nullptr)
        {
            outLeft[i] += frame.left;
            outRight[i] += frame.right;
        }
        else
        {
            outLeft[i] += frame.monoSum();
        }
    }
}

} // namespace quillon
