// Built with -fsanitize=realtime: any allocation, lock or system call made inside processBlock
// aborts the test with a report that names the call.

#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

namespace
{
void allocatesOnTheAudioThread() QUILLON_NONBLOCKING
{
    auto* volatile memory = new float[64];
    delete[] memory;
}

void processBlocks (QuillonAudioProcessor& processor, juce::MidiBuffer& midi, int blocks, int blockSize)
{
    juce::AudioBuffer<float> buffer (2, blockSize);
    for (int i = 0; i < blocks; ++i)
    {
        processor.processBlock (buffer, midi);
        midi.clear();
    }
}
} // namespace

TEST (RealtimeSanitizer, CatchesAnAllocationInANonblockingFunction)
{
    EXPECT_DEATH (allocatesOnTheAudioThread(), "RealtimeSanitizer");
}

TEST (RealtimeSanitizer, ProcessBlockNeitherAllocatesNorLocks)
{
    QuillonAudioProcessor processor;
    juce::Random random (7);

    for (const double sampleRate : { 44100.0, 96000.0 })
    {
        for (const int blockSize : { 1, 64, 512, 2048 })
        {
            processor.setRateAndBufferSizeDetails (sampleRate, blockSize);
            processor.prepareToPlay (sampleRate, blockSize);
            processor.armMidiLearn ("filterCutoff");

            juce::MidiBuffer midi;
            midi.addEvent (juce::MidiMessage::noteOn (1, 36, (juce::uint8) 100), 0);
            midi.addEvent (juce::MidiMessage::controllerEvent (1, 74, 90), 0);
            midi.addEvent (juce::MidiMessage::controllerEvent (1, 1, 64), 0);
            midi.addEvent (juce::MidiMessage::pitchWheel (1, 12000), 0);
            midi.addEvent (juce::MidiMessage::channelPressureChange (1, 80), 0);
            midi.addEvent (juce::MidiMessage::noteOn (1, 40, (juce::uint8) 90), blockSize / 2);
            processBlocks (processor, midi, 8, blockSize);

            // Automation between blocks, and the learned controller handed to the host.
            for (auto* parameter : processor.getParameters())
                parameter->setValueNotifyingHost (random.nextFloat());
            processor.timerCallback();
            processBlocks (processor, midi, 8, blockSize);

            // A state restore: the next block releases every note.
            juce::MemoryBlock state;
            processor.getStateInformation (state);
            processor.setStateInformation (state.getData(), (int) state.getSize());
            midi.addEvent (juce::MidiMessage::noteOff (1, 40), 0);
            midi.addEvent (juce::MidiMessage::allNotesOff (1), blockSize - 1);
            processBlocks (processor, midi, 8, blockSize);
        }
    }
}
