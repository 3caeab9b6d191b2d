#include "engine/SynthEngine.h"

#include <cmath>

namespace quillon
{

SynthEngine::SynthEngine (juce::AudioProcessorValueTreeState& state) : parameters (state)
{
    for (auto& v : liveSlotValues)
        v.store (0.0f);
}

void SynthEngine::prepare (double newSampleRate, int maxBlockSize)
{
    sampleRate = newSampleRate > 0.0 ? newSampleRate : 44100.0;
    oversampler = std::make_unique<juce::dsp::Oversampling<float>> (
        2, 1, juce::dsp::Oversampling<float>::filterHalfBandPolyphaseIIR, true, false);
    oversampler->initProcessing ((size_t) juce::jmax (64, maxBlockSize));
    oversampler->reset();
    outputGain = parameters.getRawParameterValue ("outputGain");
    levelStep = (float) (1.0 / (0.005 * sampleRate));
}

int SynthEngine::getLatencySamples() const
{
    return oversampler != nullptr ? (int) oversampler->getLatencyInSamples() : 0;
}

void SynthEngine::noteOn (int note, float newVelocity, bool)
{
    lastNote = note;
    velocity = juce::jlimit (0.0f, 1.0f, newVelocity);
    phaseIncrement = juce::MidiMessage::getMidiNoteInHertz (note) / sampleRate;
    targetLevel = 1.0f;
    active = true;
}

void SynthEngine::releaseAll()
{
    targetLevel = 0.0f;
    lastNote = -1;
}

void SynthEngine::render (juce::AudioBuffer<float>& buffer, int startSample, int numSamples)
{
    if (! active || numSamples <= 0)
        return;

    const float gain = juce::Decibels::decibelsToGain (outputGain != nullptr ? outputGain->load() : -6.0f) * velocity;

    for (int i = startSample; i < startSample + numSamples; ++i)
    {
        level += juce::jlimit (-levelStep, levelStep, targetLevel - level);
        const float sample = (float) std::sin (juce::MathConstants<double>::twoPi * phase) * level * gain;
        phase += phaseIncrement;
        phase -= std::floor (phase);

        for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
            buffer.addSample (ch, i, sample);
    }

    if (targetLevel == 0.0f && level == 0.0f)
        active = false;
}

} // namespace quillon
