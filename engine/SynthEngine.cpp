#include "engine/SynthEngine.h"
#include "engine/core/VoiceMath.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

namespace quillon
{

//==============================================================================
//==============================================================================
SynthEngine::SynthEngine (juce::AudioProcessorValueTreeState& state)
    : parameters (state)
{
    for (auto& value : liveSlotValues)
        value.store (0.0f, std::memory_order_relaxed);
}


void SynthEngine::prepare (double newSampleRate, int maxBlockSize)
{
    sampleRate = newSampleRate;
    inverseSampleRate = (float) (1.0 / newSampleRate);
    const auto oversampledRate = 2.0 * newSampleRate;

    const auto block = std::max (64, maxBlockSize);
    voiceSources.prepare (newSampleRate, block);
    voiceChain.prepare (oversampledRate);
    idleSamples = 0;

    driftWalk.prepare (newSampleRate);
    smoothRandom.prepare (newSampleRate);
    noteRandom.prepare();

    outputStage.prepare (newSampleRate);

    feedbackToneHz = -1.0f;
    reeseBeatPhase = 0.0f;

    for (auto* envelope : { &ampEnvelope, &filterEnvelope, &osc1DcwEnvelope, &osc2DcwEnvelope })
        envelope->setSampleRate (newSampleRate);

    lfo.prepare (newSampleRate);

    oversampler.initProcessing ((size_t) block);
    oversampler.reset();
    decimator.prepare();
    sampleGains.assign ((size_t) block, 0.0f);

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
    activeSlots.prepare (rampLength);

    updateSmootherTargets();
    setEnvelopeTargets();
    copyModSlots();
    snapSmoothers();
    updateLfoRate (smoother (Smooth::lfo1Rate).getCurrentValue(), smoother (Smooth::lfo1Rate).getCurrentValue(),
                   smoother (Smooth::lfo1Phase).getCurrentValue());
}

SourceSettings SynthEngine::readSourceSettings() const noexcept
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

int SynthEngine::getLatencySamples() const
{
    return (int) oversampler.getLatencyInSamples();
}

void SynthEngine::applyVoiceSettings (bool fromSilence) noexcept
{
    for (int group = 0; group < numEnvelopeGroups; ++group)
        writeEnvelopeGroup (group);

    voiceSources.setSync (param (Param::syncOsc1) > 0.5f, param (Param::syncOsc2) > 0.5f);

    // Into a voice that still sounds, a switch changed since the last chunk fades as it would
    // have there; from silence every switch applies at once.
    if (! fromSilence)
    {
        refreshSourceSettings();
        voiceChain.refreshSwitches (readChainSwitches());
        return;
    }

    voiceSources.jumpToSettings (readSourceSettings());

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
        {
            voiceSources.resetPhases ((param (Param::osc2PhaseOffset) + osc2PhaseMod) / 360.0f, ! wasIdle);
            lfo.restart();
        }

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

    for (int unit = 0; unit < numUnits; ++unit)
        voiceSources.dcwEnvelope (unit).trigger();

    for (auto* envelope : { &ampEnvelope, &filterEnvelope, &osc1DcwEnvelope, &osc2DcwEnvelope })
        envelope->trigger();
}

void SynthEngine::releaseAll()
{
    for (auto* envelope : { &ampEnvelope, &filterEnvelope, &osc1DcwEnvelope, &osc2DcwEnvelope })
        envelope->release();

    for (int unit = 0; unit < numUnits; ++unit)
        voiceSources.dcwEnvelope (unit).release();

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
        addOutputTail (buffer, startSample, numSamples);
        return;
    }

    for (int done = 0; done < numSamples;)
    {
        const auto chunk = std::min (numSamples - done, preparedBlockSize);
        const auto rendered = renderChunk (buffer, startSample + done, chunk);
        done += chunk;

        if (ampEnvelope.isIdle()) // the voice ended inside this chunk; the output stage runs on
        {
            idleSamples += chunk - rendered + (numSamples - done);
            outputStage.beginTail (smoother (Smooth::monoLowEnabled).getCurrentValue(),
                                   smoother (Smooth::monoLowFreq).getCurrentValue());
            addOutputTail (buffer, startSample + done - chunk + rendered, numSamples - done + chunk - rendered);
            break;
        }
    }
}

void SynthEngine::addOutputTail (juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept
{
    if (buffer.getNumChannels() > 0)
        outputStage.addTail (buffer.getWritePointer (0, start),
                             buffer.getNumChannels() > 1 ? buffer.getWritePointer (1, start) : nullptr, numSamples);
}

int SynthEngine::renderChunk (juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept
{
    if (! ampEnvelope.isActive() || numSamples <= 0)
        return 0;

    refreshChunkSettings();

    voiceSources.beginChunk();

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

        plan = planStretch (stretchState());
        chainSettled = plan.chainSettled;
        voiceSources.beginStretch();

        // The amp envelope's run ends the stretch where the voice ends.
        if (plan.envelopesRendered)
        {
            length = ampEnvelope.render (envelopeLevels[ampGroup].data(), length);
            filterEnvelope.render (envelopeLevels[filterGroup].data(), length);
            osc1DcwEnvelope.render (envelopeLevels[osc1DcwGroup].data(), length);
            osc2DcwEnvelope.render (envelopeLevels[osc2DcwGroup].data(), length);
        }

        Lfo lfoBefore;

        if (plan.lfoRendered)
        {
            lfoBefore = lfo;
            const auto rate = next (Smooth::lfo1Rate);
            moveLfoRate (std::clamp (rate, 0.001f, 200.0f), rate, next (Smooth::lfo1Phase));
            lfo.render (lfoValues.data(), length, isSourceInUse (ModSource::lfo1));
        }

        while (count < length && ! ended)
        {
            const auto index = (size_t) count;
            computeBaseRateSample (rendered + count, count, chainFrames[index], sourceFrames[index]);

            if (! plan.sourcesInLoops)
                voiceSources.renderSample (sourceFrames[index], count, rendered + count);

            ++count;
            ended = ! plan.envelopesRendered && ampEnvelope.isIdle();

            if (plan.heldStretch && count == 1 && length > 1)
            {
                computeHeldStretch (rendered, length);
                count = length;
            }
        }

        if (plan.envelopesRendered)
            ended = ampEnvelope.isIdle();

        // A voice that ended early leaves the LFO where its last sample left it.
        if (plan.lfoRendered && count < length)
        {
            lfo = lfoBefore;
            lfo.render (lfoValues.data(), count, isSourceInUse (ModSource::lfo1));
        }

        finishChainFrames (count);

        if (plan.pitchDeferred)
            computeDeferredPitch (count);

        if (plan.sourcesInLoops)
            voiceSources.renderStretch (sourceFrames.data(), rendered, count);

        const auto& sources = voiceSources.signals();
        const VoiceChain::Stretch stretch { chainFrames.data(), count, plan.chainSettled, shortcutsAllowed,
                                            sources.left.data(), sources.right.data(), sources.sub.data() };
        voiceChain.render (stretch, upLeft + 2 * rendered, upRight + 2 * rendered);
        rendered += count;
    }

    voiceChain.endChunk();

    voiceSources.endChunk();

    // The editor polls these at 20 Hz; the chunk's last values are as recent as it can show.
    for (size_t i = 0; i < liveSlotValues.size(); ++i)
        liveSlotValues[i].store (modulation.live[i], std::memory_order_relaxed);

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

    // A tail from the voice before runs on under a note that started inside it.
    outputStage.addTail (outLeft, outRight, numSamples);

    if (! monoLowAmount.isSmoothing() && ! monoLowHz.isSmoothing())
    {
        outputStage.processBlock (decimatedLeft, decimatedRight, voiceSources.postNoiseLeft(), voiceSources.postNoiseRight(),
                                  sampleGains.data(), numSamples, monoLowAmount.getCurrentValue(),
                                  monoLowHz.getCurrentValue(), outLeft, outRight);
        return;
    }

    for (int i = 0; i < numSamples; ++i)
    {
        const auto index = (size_t) i;
        const auto monoLow = smoother (Smooth::monoLowEnabled).getNextValue();
        const auto monoLowHz = smoother (Smooth::monoLowFreq).getNextValue();
        const auto frame = outputStage.process (decimatedLeft[i] + voiceSources.postNoiseLeft()[index],
                                                decimatedRight[i] + voiceSources.postNoiseRight()[index],
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
