// How a learned controller's value travels from the audio thread to the host, the parameter tree,
// the dirty flag and the saved state, and how learning is armed while controllers keep arriving.

#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace
{
struct HostSpy : juce::AudioProcessorListener
{
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override
    {
        changedIndex = index;
        changedValue = value;
        ++changes;
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int) override { if (onBegin) std::exchange (onBegin, {}) (); }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int) override { if (onEnd) std::exchange (onEnd, {}) (); }

    int changes = 0, changedIndex = -1;
    float changedValue = -1.0f;
    std::function<void()> onBegin, onEnd;
};

struct HandOver : ::testing::Test
{
    void SetUp() override
    {
        processor.setRateAndBufferSizeDetails (48000.0, 32);
        processor.prepareToPlay (48000.0, 32);
        processor.addListener (&spy);
    }

    void TearDown() override { processor.removeListener (&spy); }

    void controller (int number, int value)
    {
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::controllerEvent (1, number, value), 0);
        buffer.setSize (2, 1, false, false, true);
        processor.processBlock (buffer, midi);
    }

    void learn (const juce::String& id, int number)
    {
        processor.armMidiLearn (id);
        controller (number, 0);
        processor.timerCallback();
    }

    // The plain value a controller value gives a parameter, as the engine plays it.
    static float played (juce::RangedAudioParameter& p, int value) { return p.convertFrom0to1 ((float) value / 127.0f); }

    static bool close (float a, float b) { return std::abs (a - b) <= 1.0e-5f * juce::jmax (1.0f, std::abs (b)); }

    float raw (const juce::String& id) { return processor.parameterState.getRawParameterValue (id)->load(); }

    static float valueIn (const juce::ValueTree& tree, const juce::String& id)
    {
        return (float) tree.getChildWithProperty ("id", id).getProperty ("value", -1.0e9);
    }

    QuillonAudioProcessor processor;
    HostSpy spy;
    juce::AudioBuffer<float> buffer;
};
} // namespace

TEST_F (HandOver, EveryParameterTakesEveryControllerValueToHostTreeDirtyFlagAndSavedState)
{
    juce::StringArray faults;
    const auto& parameters = processor.getParameters();

    for (int index = 0; index < parameters.size(); ++index)
    {
        auto& p = *dynamic_cast<juce::RangedAudioParameter*> (parameters[index]);
        learn (p.paramID, 20);
        ASSERT_EQ (processor.getMidiLearnMapping (20), index) << p.paramID;

        for (int value = 0; value < 128; ++value)
        {
            processor.presetDirty.store (false);
            spy.changes = 0;
            controller (20, value);
            processor.timerCallback();

            const float expected = played (p, value);
            const auto where = p.paramID + " @ " + juce::String (value) + ": ";

            if (spy.changes != 1 || spy.changedIndex != index)
                faults.add (where + "host told " + juce::String (spy.changes) + " times");
            if (! close (p.convertFrom0to1 (p.getValue()), expected))
                faults.add (where + "host value " + juce::String (p.convertFrom0to1 (p.getValue())));
            if (! close (raw (p.paramID), expected))
                faults.add (where + "engine plays " + juce::String (raw (p.paramID)));
            if (! processor.presetDirty.load())
                faults.add (where + "not dirty");

            juce::MemoryBlock saved;
            processor.getStateInformation (saved);
            const auto xml = juce::AudioProcessor::getXmlFromBinary (saved.getData(), (int) saved.getSize());
            const float inState = xml != nullptr ? valueIn (juce::ValueTree::fromXml (*xml), p.paramID) : -1.0e9f;
            if (! close (inState, expected))
                faults.add (where + "saved " + juce::String (inState) + " instead of " + juce::String (expected));

            if (faults.size() > 20)
                break;
        }
    }

    EXPECT_TRUE (faults.isEmpty()) << faults.size() << " faults, first: " << faults.joinIntoString ("\n").toStdString();
}

TEST_F (HandOver, TheNewestValueWinsWhetherFromTheControllerOrFromAnEdit)
{
    auto& cutoff = *processor.parameterState.getParameter ("filterCutoff");
    learn ("filterCutoff", 74);

    // Two controller values within one tick: the later one is announced.
    controller (74, 33);
    controller (74, 90);
    processor.timerCallback();
    EXPECT_TRUE (close (raw ("filterCutoff"), played (cutoff, 90)));
    EXPECT_TRUE (close (cutoff.convertFrom0to1 (cutoff.getValue()), played (cutoff, 90)));

    // An edit from the host after the controller moved is newer and stays.
    controller (74, 33);
    cutoff.setValueNotifyingHost (0.75f);
    processor.timerCallback();
    processor.timerCallback();
    EXPECT_FLOAT_EQ (cutoff.getValue(), 0.75f);
    EXPECT_TRUE (close (raw ("filterCutoff"), cutoff.convertFrom0to1 (0.75f)));

    // So does a preset loaded after it.
    controller (74, 10);
    auto preset = juce::parseXML (R"(<PARAMS><PARAM id="filterCutoff" value="1234"/></PARAMS>)");
    ASSERT_TRUE (processor.loadStateTree (*preset));
    processor.timerCallback();
    EXPECT_TRUE (close (raw ("filterCutoff"), 1234.0f));
    EXPECT_FALSE (processor.presetDirty.load());
}

TEST_F (HandOver, AControllerValueArrivingWhileTheLastOneIsAnnouncedIsNotLost)
{
    auto& cutoff = *processor.parameterState.getParameter ("filterCutoff");
    auto& drive = *processor.parameterState.getParameter ("drive");
    learn ("filterCutoff", 74);
    learn ("drive", 75);

    // The audio thread writes again in the middle of the announcement (the gesture opens it),
    // and again just after the new value has been written (the gesture closes it).
    controller (74, 0);
    spy.onBegin = [this] { controller (74, 127); };
    processor.timerCallback();
    processor.timerCallback();
    EXPECT_TRUE (close (raw ("filterCutoff"), played (cutoff, 127)));
    EXPECT_TRUE (close (cutoff.convertFrom0to1 (cutoff.getValue()), played (cutoff, 127)));

    controller (75, 127);
    spy.onEnd = [this] { controller (75, 0); };
    processor.timerCallback();
    processor.timerCallback();
    EXPECT_TRUE (close (raw ("drive"), 0.0f));
    EXPECT_FLOAT_EQ (drive.getValue(), 0.0f);

    // Once handed over, a later edit from the host is not taken for the controller's.
    controller (74, 64);
    spy.onBegin = [this] { controller (74, 100); };
    processor.timerCallback();
    cutoff.setValueNotifyingHost (0.2f);
    processor.timerCallback();
    EXPECT_FLOAT_EQ (cutoff.getValue(), 0.2f);
}

TEST_F (HandOver, ArmingWhileControllersStreamInIsNeverLost)
{
    const int first = processor.indexOfParameter ("drive");
    const int second = processor.indexOfParameter ("filterReso");
    std::atomic<bool> running { true };

    std::thread audio ([&]
    {
        juce::AudioBuffer<float> block (2, 1);
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::controllerEvent (1, 20, 64), 0);
        while (running.load())
            processor.processBlock (block, midi);
    });

    int lost = 0;
    for (int attempt = 0; attempt < 3000 && lost == 0; ++attempt)
    {
        processor.armMidiLearn ("drive");
        processor.armMidiLearn ("filterReso");

        // The second arm must end as the controller's mapping, never cancelled by the first.
        const auto deadline = juce::Time::getMillisecondCounter() + 500;
        while (! (processor.getMidiLearnTarget() == -1 && processor.getMidiLearnMapping (20) == second))
        {
            if (juce::Time::getMillisecondCounter() > deadline)
            {
                ++lost;
                break;
            }
            std::this_thread::yield();
        }
    }

    running.store (false);
    audio.join();
    EXPECT_EQ (lost, 0) << "mapping " << processor.getMidiLearnMapping (20) << ", first " << first;
}
