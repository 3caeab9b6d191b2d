// Built with -fsanitize=realtime: any allocation, lock or system call made inside processBlock
// aborts the test with a report that names the call.

#include "plugin/Catalogue.h"
#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

#include <random>

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

namespace
{
constexpr double longRunRate = 48000.0;
constexpr int longRunBlock = 256;

void playBlock (QuillonAudioProcessor& processor, juce::AudioBuffer<float>& buffer, const juce::MidiBuffer& midi)
{
    auto events = midi; // copied here, outside the real-time context
    processor.processBlock (buffer, events);
}

juce::MidiBuffer eventsFor (int block)
{
    juce::MidiBuffer midi;
    const auto note = 36 + (block * 7) % 36;

    switch (block % 8)
    {
        case 0: midi.addEvent (juce::MidiMessage::noteOn (1, note, (juce::uint8) 100), 3); break;
        case 1: midi.addEvent (juce::MidiMessage::noteOn (1, note + 5, (juce::uint8) 60), 17); break;
        case 2: midi.addEvent (juce::MidiMessage::pitchWheel (1, (block * 997) % 16384), 40);
                midi.addEvent (juce::MidiMessage::controllerEvent (1, 1, block % 128), 41); break;
        case 3: midi.addEvent (juce::MidiMessage::channelPressureChange (1, (block * 3) % 128), 0);
                midi.addEvent (juce::MidiMessage::noteOff (1, note - 7), 100); break;
        case 4: midi.addEvent (juce::MidiMessage::controllerEvent (1, 74, (block * 5) % 128), 128); break;
        case 5: midi.addEvent (juce::MidiMessage::noteOff (1, note - 2), 200);
                midi.addEvent (juce::MidiMessage::noteOn (1, note, (juce::uint8) 127), 201); break;
        case 6: midi.addEvent (juce::MidiMessage::allNotesOff (1), 9);
                midi.addEvent (juce::MidiMessage::noteOn (1, note, (juce::uint8) 90), 10); break;
        default: break;
    }

    return midi;
}
} // namespace

// A long run through every kind of MIDI event, with held notes returning from the stack,
// automation of random parameters, state restores and a mono bus.
TEST (RealtimeSanitizer, LongPerformanceNeitherAllocatesNorLocks)
{
    QuillonAudioProcessor processor;
    processor.prepareToPlay (longRunRate, longRunBlock);
    juce::AudioBuffer<float> buffer (2, longRunBlock);

    // A learned controller writes its parameter from the audio thread.
    processor.armMidiLearn ("drive");

    std::mt19937 random (7);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);
    const auto& parameters = processor.getParameters();

    juce::MemoryBlock savedState;
    processor.getStateInformation (savedState);

    for (int block = 0; block < 2000; ++block)
    {
        // Automation between blocks, as a host delivers it.
        if (block % 3 == 0)
        {
            auto* parameter = parameters[(int) (unit (random) * (float) parameters.size()) % parameters.size()];
            parameter->setValueNotifyingHost (unit (random));
        }

        if (block % 250 == 249)
            processor.setStateInformation (savedState.getData(), (int) savedState.getSize());

        if (block % 100 == 50)
            processor.timerCallback();

        playBlock (processor, buffer, eventsFor (block));

        for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
            for (int i = 0; i < longRunBlock; ++i)
                ASSERT_TRUE (std::isfinite (buffer.getSample (ch, i)));
    }

    // Odd block sizes, a mono bus and a different rate after a fresh prepare.
    processor.prepareToPlay (44100.0, 1024);
    for (int size : { 1, 7, 1024, 333 })
    {
        juce::AudioBuffer<float> odd (1, size);
        playBlock (processor, odd, eventsFor (0));
        playBlock (processor, odd, {});
    }
}

// Every stage of the voice sounding, and every switch between its modes taken while a note plays
// (the fades between filter models, drive curves, drive positions, sub routings, wave shapes and
// the other source switches, and envelope settings gliding to new values), plus the
// factory presets themselves.
TEST (RealtimeSanitizer, EveryPartOfTheVoiceNeitherAllocatesNorLocks)
{
    QuillonAudioProcessor processor;
    processor.prepareToPlay (longRunRate, longRunBlock);
    juce::AudioBuffer<float> buffer (2, longRunBlock);

    const auto set = [&processor] (const char* id, float value)
    {
        if (auto* parameter = processor.parameterState.getParameter (id))
            parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
    };

    const std::pair<const char*, float> busy[] = {
        { "osc2Level", 0.0f }, { "osc2Detune", 20.0f }, { "reeseBeat", 2.0f }, { "reeseSpread", 0.7f },
        { "subLevel", -6.0f }, { "subMode", 1.0f }, { "noiseLevel", -20.0f }, { "noiseRouting", 0.5f },
        { "drive", 18.0f }, { "driveAutoMakeup", 1.0f }, { "driveMix", 0.7f }, { "feedbackAmount", 1.0f },
        { "filterReso", 1.0f }, { "filterCutoff", 500.0f }, { "filterEnvAmount", 30.0f }, { "phaseStereo", 1.0f },
        { "stereoWidth", 0.5f }, { "mod2Source", 5.0f }, { "mod2Dest", 2.0f }, { "mod2Amount", 1.0f },
        { "mod3Source", 11.0f }, { "mod3Dest", 1.0f }, { "mod3Amount", 0.5f }, { "lfo1Depth", 1.0f },
    };
    for (auto [id, value] : busy)
        set (id, value);

    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 36, (juce::uint8) 110), 0);
    playBlock (processor, buffer, midi);

    for (int step = 0; step < 96; ++step)
    {
        set ("filterModel", (float) (step % 4));
        set ("driveMode", (float) ((step / 4) % 3));
        set ("drivePosition", (float) ((step / 12) % 2));
        set ("feedbackPosition", (float) ((step / 24) % 2));
        set ("subRouting", (float) ((step / 2) % 2));
        set ("noiseColour", (float) (step % 3));
        set ("mode", (float) ((step / 48) % 2));
        set ("monoLowEnabled", (float) (step % 2));
        set ("osc1Wave", (float) (step % 10));
        set ("osc2Wave", (float) ((step / 3) % 10));
        set ("subWave", (float) ((step / 5) % 10));
        set ("subMode", (float) ((step / 7) % 2));
        set ("reeseLock", (float) ((step / 9) % 2));
        set ("ampSustain", (float) (step % 5) * 0.25f);
        set ("osc1DcwSustain", (float) ((step / 2) % 5) * 0.25f);
        set ("filterDecay", 0.01f + (float) (step % 7) * 0.3f);

        for (int i = 0; i < 3; ++i)
            playBlock (processor, buffer, {});
    }

    // Each factory preset in turn, a note through its attack, release and tail.
    const auto catalogue = quillon::presets::Catalogue::loadEmbedded();
    for (const auto* entry : catalogue.allEntries())
    {
        auto xml = quillon::presets::loadFactoryPresetXml (entry->xml);
        ASSERT_NE (xml, nullptr);
        processor.loadStateTree (*xml);

        juce::MidiBuffer on, off;
        on.addEvent (juce::MidiMessage::noteOn (1, 40, (juce::uint8) 100), 0);
        off.addEvent (juce::MidiMessage::noteOff (1, 40), 0);
        playBlock (processor, buffer, on);
        for (int i = 0; i < 20; ++i)
            playBlock (processor, buffer, {});
        playBlock (processor, buffer, off);
        for (int i = 0; i < 20; ++i)
            playBlock (processor, buffer, {});
    }
}
