#include "engine/SynthEngine.h"
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
} // namespace

//==============================================================================
//==============================================================================
SynthEngine::SynthEngine (juce::AudioProcessorValueTreeState& state)
    : parameters (state)
{
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

    voiceChain.prepare (oversampledRate);
    const auto switchFadeLength = crossFadeLength (oversampledRate);
    sourceFade.length = switchFadeLength;
    sourceFade.countdown = 0;
    idleSamples = 0;

    driftWalk.prepare (newSampleRate);
    smoothRandom.prepare (newSampleRate);
    noteRandom.prepare();
    noiseSources[0].prepare (newSampleRate, noiseSeedLeft);
    noiseSources[1].prepare (newSampleRate, noiseSeedRight);

    outputStage.prepare (newSampleRate);

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
        voiceChain.refreshSwitches (readChainSwitches());
        return;
    }

    applySourceSettings (readSourceSettings());
    sourceFade.countdown = 0;

    voiceChain.jumpSwitches (readChainSwitches(), param (Param::feedbackPosition) > 0.5f);
}

VoiceChain::Switches SynthEngine::readChainSwitches() const noexcept
{
    return { choice (Param::driveMode), choice (Param::filterModel), choice (Param::drivePosition),
             choice (Param::subRouting) };
}

void SynthEngine::clearSignalState() noexcept
{
    voiceChain.clearSignalState();
    oversampler.reset();
    decimator.reset();
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

    voiceChain.beginChunk();

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

        const VoiceChain::Stretch stretch { chainFrames.data(), count, chainSettled, shortcutsAllowed,
                                            sourceLeft.data(), sourceRight.data(), sourceSub.data() };
        voiceChain.render (stretch, upLeft + 2 * rendered, upRight + 2 * rendered);
        rendered += count;
    }

    voiceChain.endChunk();

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
