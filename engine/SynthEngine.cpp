#include "engine/SynthEngine.h"
#include "engine/core/VoiceMath.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

namespace quillon
{

SynthEngine::SynthEngine (const VoiceParameterBinding& parameters)
    : control (parameters)
{
    for (auto& value : liveSlotValues)
        value.store (0.0f, std::memory_order_relaxed);
}

void SynthEngine::prepare (double newSampleRate, int maxBlockSize, RenderOptions options)
{
    const auto oversampledRate = 2.0 * newSampleRate;
    shortcutsAllowed = options.stretchShortcuts;

    const auto block = std::max (64, maxBlockSize);
    voiceSources.prepare (newSampleRate, block);
    voiceChain.prepare (oversampledRate);
    idleSamples = 0;
    control.prepare (newSampleRate, block, shortcutsAllowed, controllers(), unitEnvelopes);
    outputStage.prepare (newSampleRate);

    oversampler.initProcessing ((size_t) block);
    oversampler.reset();
    decimator.prepare();

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
}

int SynthEngine::getLatencySamples() const
{
    return (int) oversampler.getLatencyInSamples();
}

SourceSettings SynthEngine::readSourceSettings() const noexcept
{
    using Param = VoiceParameter;
    SourceSettings s;
    s.reeseLocked = control.param (Param::reeseLock) > 0.5f;
    s.wave1 = std::clamp (control.choice (Param::osc1Wave), 0, numWaveShapes - 1);
    s.wave2 = s.reeseLocked ? s.wave1 : std::clamp (control.choice (Param::osc2Wave), 0, numWaveShapes - 1);
    s.subMode = control.choice (Param::subMode);
    s.subWave = std::clamp (control.choice (Param::subWave), 0, numWaveShapes - 1);
    s.noiseColour = control.choice (Param::noiseColour);
    s.mixMode = control.choice (Param::mode);
    return s;
}

VoiceChain::Switches SynthEngine::readChainSwitches() const noexcept
{
    using Param = VoiceParameter;
    return { control.choice (Param::driveMode), control.choice (Param::filterModel), control.choice (Param::drivePosition),
             control.choice (Param::subRouting) };
}

// The sources' and the chain's switches. Into a voice that still sounds, a switch changed since
// the last chunk fades as it would have there; from silence every switch applies at once.
void SynthEngine::applySwitches (bool fromSilence) noexcept
{
    using Param = VoiceParameter;
    voiceSources.setSync (control.param (Param::syncOsc1) > 0.5f, control.param (Param::syncOsc2) > 0.5f);

    if (! fromSilence)
    {
        voiceSources.refreshSettings (readSourceSettings());
        voiceChain.refreshSwitches (readChainSwitches());
        return;
    }

    voiceSources.jumpToSettings (readSourceSettings());
    voiceChain.jumpSwitches (readChainSwitches(), control.param (Param::feedbackPosition) > 0.5f);
}

void SynthEngine::clearSignalState() noexcept
{
    voiceChain.clearSignalState();
    oversampler.reset();
    decimator.reset();
}

// The envelopes other than the amp's carry on while the voice is silent: a release still running
// when the amp envelope ended goes on falling, so the next note starts them from where it got to.
void SynthEngine::catchUpIdleEnvelopes() noexcept
{
    if (idleSamples <= 0)
        return;

    control.catchUpIdleEnvelopes (idleSamples);

    for (int unit = 0; unit < numUnits; ++unit)
        voiceSources.dcwEnvelope (unit).advance (2 * idleSamples); // they run at the 2x rate

    idleSamples = 0;
}

void SynthEngine::noteOn (int note, float velocity, bool legato)
{
    const auto wasIdle = control.isIdle();
    lastNote = note;

    if (wasIdle)
        catchUpIdleEnvelopes();

    const auto start = control.noteOn (note, velocity, legato, wasIdle, controllers(), unitEnvelopes);
    applySwitches (wasIdle);

    if (start.resetPhases)
        voiceSources.resetPhases (start.osc2Phase, ! wasIdle);

    if (wasIdle)
    {
        clearSignalState();
        outputStage.startFadeIn();
    }

    if (! legato)
        for (int unit = 0; unit < numUnits; ++unit)
            voiceSources.dcwEnvelope (unit).trigger();
}

void SynthEngine::releaseAll()
{
    control.releaseAll();

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

    if (control.isIdle())
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

        if (control.isIdle()) // the voice ended inside this chunk; the output stage runs on
        {
            idleSamples += chunk - rendered + (numSamples - done);
            outputStage.beginTail (control.monoLowAmount().getCurrentValue(), control.monoLowHz().getCurrentValue());
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
    if (! control.isActive() || numSamples <= 0)
        return 0;

    // The control's settings first: the units' DCW envelopes take theirs before a switch that
    // starts to fade copies the units.
    control.beginChunk (lastNote, controllers(), unitEnvelopes);
    voiceSources.refreshSettings (readSourceSettings());
    voiceChain.refreshSwitches (readChainSwitches());
    control.followChunkSettings (voiceSources.settings(), voiceChain.getDriveMode(), tempoBpm);

    voiceSources.beginChunk();
    voiceChain.beginChunk();

    // The voice stops on the sample where its amp envelope ends, wherever the chunk boundaries
    // lie, so that its state and output never depend on the host's block size.
    int rendered = 0;
    auto ended = false;

    while (rendered < numSamples && ! ended)
        rendered += renderStretch (rendered, std::min (stretchLength, numSamples - rendered), ended);

    voiceChain.endChunk();
    voiceSources.endChunk();

    // The editor polls these at 20 Hz; the chunk's last values are as recent as it can show.
    const auto& live = control.modSums().live;

    for (size_t i = 0; i < liveSlotValues.size(); ++i)
        liveSlotValues[i].store (live[i], std::memory_order_relaxed);

    // Every sample of these that is read is written first: the chain fills the 2x buffer and the
    // decimator its output, up to where the voice ends.
    decimator.process (oversampledChannels[0], oversampledChannels[1], decimated.getWritePointer (0),
                       decimated.getWritePointer (1), rendered);
    writeOutput (buffer, start, rendered);
    return rendered;
}

// One stretch from sample `rendered` of the chunk: the control pass, the sources sample by sample
// beside it or in loops after it, then the chain. Returns the samples it took.
int SynthEngine::renderStretch (int rendered, int length, bool& ended) noexcept
{
    length = control.beginStretch (voiceSources.isFading(), voiceSources.isMutuallySynced(), length);
    const auto& plan = control.stretchPlan();
    voiceSources.beginStretch();
    int count = 0;

    while (count < length && ! ended)
    {
        // Sources in loops never fade: a switch fades from a chunk's start and keeps them sample by sample.
        const auto fade = plan.sourcesInLoops ? VoiceControl::SourcesFade {}
                                              : VoiceControl::SourcesFade { voiceSources.isFading(),
                                                                            voiceSources.fadingFrom().reeseLocked };
        VoiceControl::OldSources old;
        control.computeSample (rendered + count, count, fade, unitEnvelopes, old);

        if (! plan.sourcesInLoops)
        {
            const auto& frame = control.sourceFrame (count);

            if (old.due)
                voiceSources.applyOldFrame (frame, old.depth2, old.width2);

            if (control.osc2PartsAt() >= 0)
                voiceSources.partOsc2 (control.osc2PartsAt(), false);

            voiceSources.renderSample (frame, count, rendered + count);
        }

        ++count;
        ended = ! plan.envelopesRendered && control.isIdle();

        if (plan.heldStretch && count == 1 && length > 1)
        {
            control.computeHeldStretch (rendered, length);
            count = length;
        }
    }

    if (plan.envelopesRendered)
        ended = control.isIdle();

    control.endStretch (count, length);

    if (plan.sourcesInLoops)
    {
        if (control.osc2PartsAt() >= 0)
            voiceSources.partOsc2 (control.osc2PartsAt(), true);

        voiceSources.renderStretch (control.stretchSourceFrames(), rendered, count);
    }

    const auto& sources = voiceSources.signals();
    const VoiceChain::Stretch stretch { control.stretchChainFrames(), count, plan.chainSettled, shortcutsAllowed,
                                        sources.left.data(), sources.right.data(), sources.sub.data() };
    voiceChain.render (stretch, oversampledChannels[0] + 2 * rendered, oversampledChannels[1] + 2 * rendered);
    return count;
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
    auto& monoLowAmount = control.monoLowAmount();
    auto& monoLowHz = control.monoLowHz();
    const auto* sampleGains = control.chunkGains();

    // A tail from the voice before runs on under a note that started inside it.
    outputStage.addTail (outLeft, outRight, numSamples);

    if (! monoLowAmount.isSmoothing() && ! monoLowHz.isSmoothing())
    {
        outputStage.processBlock (decimatedLeft, decimatedRight, voiceSources.postNoiseLeft(), voiceSources.postNoiseRight(),
                                  sampleGains, numSamples, monoLowAmount.getCurrentValue(),
                                  monoLowHz.getCurrentValue(), outLeft, outRight);
        return;
    }

    for (int i = 0; i < numSamples; ++i)
    {
        const auto index = (size_t) i;
        const auto monoLow = monoLowAmount.getNextValue();
        const auto monoLowHzNow = monoLowHz.getNextValue();
        outputStage.addLimited (outputStage.process (decimatedLeft[i] + voiceSources.postNoiseLeft()[index],
                                                      decimatedRight[i] + voiceSources.postNoiseRight()[index],
                                                      sampleGains[index], monoLow, monoLowHzNow),
                                outLeft, outRight, i);
    }
}

} // namespace quillon
