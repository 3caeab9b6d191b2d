#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace quillon::test
{

// A processor that does nothing, for tests that only need something to hang a parameter tree on.
class InertProcessor : public juce::AudioProcessor
{
public:
    const juce::String getName() const override { return "inert"; }
    void prepareToPlay (double, int) override {}
    void releaseResources() override {}
    using AudioProcessor::processBlock;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override {}
    double getTailLengthSeconds() const override { return 0.0; }
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }
    juce::AudioProcessorEditor* createEditor() override { return nullptr; }
    bool hasEditor() const override { return false; }
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    const juce::String getProgramName (int) override { return {}; }
    void changeProgramName (int, const juce::String&) override {}
    void getStateInformation (juce::MemoryBlock&) override {}
    void setStateInformation (const void*, int) override {}
};

} // namespace quillon::test
