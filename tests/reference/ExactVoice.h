#pragma once

// The voice built a second time with every approximation replaced by the library function and
// every control-rate shortcut by a per-sample update: the yardstick for the fast voice. This
// header names no engine type, so the two builds never meet in one translation unit.
#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

namespace exact_reference
{

class Voice
{
public:
    virtual ~Voice() = default;
    virtual void prepare (double sampleRate, int maxBlockSize) = 0;
    virtual void noteOn (int note, float velocity, bool legato) = 0;
    virtual void releaseAll() = 0;
    virtual void render (juce::AudioBuffer<float>& buffer, int startSample, int numSamples) = 0;
};

std::unique_ptr<Voice> makeVoice (juce::AudioProcessorValueTreeState& state);

} // namespace exact_reference
