#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

namespace
{
struct Processor : ::testing::Test
{
    void SetUp() override
    {
        // As a host does: the rate first, then prepare.
        processor.setRateAndBufferSizeDetails (48000.0, 512);
        processor.prepareToPlay (48000.0, 512);
    }

    void play (juce::MidiBuffer& midi, int samples = 512)
    {
        buffer.setSize (2, samples, false, false, true);
        processor.processBlock (buffer, midi);
    }

    void send (const juce::MidiMessage& message, int position = 0, int samples = 512)
    {
        juce::MidiBuffer midi;
        midi.addEvent (message, position);
        play (midi, samples);
    }

    void noteOn (int note, juce::uint8 velocity = 100) { send (juce::MidiMessage::noteOn (1, note, velocity)); }
    void noteOff (int note) { send (juce::MidiMessage::noteOff (1, note)); }
    void controller (int number, int value) { send (juce::MidiMessage::controllerEvent (1, number, value)); }

    float raw (const char* id) { return processor.parameterState.getRawParameterValue (id)->load(); }

    float peak() const
    {
        float p = 0.0f;
        for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
            p = juce::jmax (p, buffer.getMagnitude (ch, 0, buffer.getNumSamples()));
        return p;
    }

    QuillonAudioProcessor processor;
    juce::AudioBuffer<float> buffer;
};

struct FixedTempoPlayHead : juce::AudioPlayHead
{
    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        if (bpm > 0.0)
            info.setBpm (bpm);
        return info;
    }

    double bpm = 0.0;
};

struct ParameterSpy : juce::AudioProcessorValueTreeState::Listener, juce::AudioProcessorListener
{
    void parameterChanged (const juce::String& id, float value) override { stateChanges.add (id + "=" + juce::String (value)); }
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override { hostChanges.add (index); }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    juce::StringArray stateChanges;
    juce::Array<int> hostChanges;
};
} // namespace

TEST_F (Processor, IdentityAndLayouts)
{
    EXPECT_EQ (processor.getName(), "Quillon");
    EXPECT_TRUE (processor.acceptsMidi());
    EXPECT_FALSE (processor.producesMidi());
    EXPECT_EQ (processor.getTotalNumInputChannels(), 0);
    EXPECT_EQ (processor.getTotalNumOutputChannels(), 2);
    EXPECT_EQ (processor.getBus (false, 0)->getName(), "Out");

    juce::AudioProcessor::BusesLayout layout;
    layout.outputBuses.add (juce::AudioChannelSet::mono());
    EXPECT_TRUE (processor.isBusesLayoutSupported (layout));
    layout.outputBuses.getReference (0) = juce::AudioChannelSet::create5point1();
    EXPECT_FALSE (processor.isBusesLayoutSupported (layout));
}

TEST_F (Processor, HeldNoteStackKeepsOrderAndRetriggersTheReturningNote)
{
    noteOn (40);
    noteOn (43);
    noteOn (47);
    EXPECT_EQ (processor.getHeldNoteCount(), 3);
    EXPECT_EQ (processor.getTopHeldNote(), 47);
    EXPECT_EQ (processor.engine.lastNote, 47);

    // Pressing a held note again moves it to the top without a duplicate.
    noteOn (43);
    EXPECT_EQ (processor.getHeldNoteCount(), 3);
    EXPECT_EQ (processor.getTopHeldNote(), 43);

    // Releasing a note under the top changes nothing the engine hears.
    noteOff (40);
    EXPECT_EQ (processor.getTopHeldNote(), 43);
    EXPECT_EQ (processor.engine.lastNote, 43);

    // Releasing the top returns to the note below it.
    noteOff (43);
    EXPECT_EQ (processor.getTopHeldNote(), 47);
    EXPECT_EQ (processor.engine.lastNote, 47);

    noteOff (47);
    EXPECT_EQ (processor.getHeldNoteCount(), 0);
    EXPECT_EQ (processor.getTopHeldNote(), -1);
    EXPECT_EQ (processor.engine.lastNote, -1);
}

TEST_F (Processor, NoteOnWithZeroVelocityIsANoteOffAndAllNotesOffClearsTheStack)
{
    noteOn (50);
    send (juce::MidiMessage::noteOn (1, 50, (juce::uint8) 0));
    EXPECT_EQ (processor.getHeldNoteCount(), 0);
    EXPECT_EQ (processor.engine.lastNote, -1);

    noteOn (50);
    noteOn (52);
    send (juce::MidiMessage::allNotesOff (1));
    EXPECT_EQ (processor.getHeldNoteCount(), 0);
    EXPECT_EQ (processor.engine.lastNote, -1);

    noteOn (50);
    send (juce::MidiMessage::allSoundOff (1));
    EXPECT_EQ (processor.getTopHeldNote(), -1);
}

TEST_F (Processor, TheHundredAndTwentyNinthNoteIsDropped)
{
    juce::MidiBuffer midi;
    for (int n = 0; n < 128; ++n)
        midi.addEvent (juce::MidiMessage::noteOn (1, n, (juce::uint8) 90), n);
    play (midi, 1024);
    EXPECT_EQ (processor.getHeldNoteCount(), 128);
    EXPECT_EQ (processor.getTopHeldNote(), 127);

    // Every note is held; pressing one again moves it rather than adding a 129th.
    noteOn (5);
    EXPECT_EQ (processor.getHeldNoteCount(), 128);
    EXPECT_EQ (processor.getTopHeldNote(), 5);
}

TEST_F (Processor, PitchWheelSpansTwoSemitones)
{
    send (juce::MidiMessage::pitchWheel (1, 0));
    EXPECT_FLOAT_EQ (processor.engine.pitchBend, -2.0f);
    send (juce::MidiMessage::pitchWheel (1, 8192));
    EXPECT_FLOAT_EQ (processor.engine.pitchBend, 0.0f);
    send (juce::MidiMessage::pitchWheel (1, 16383));
    EXPECT_NEAR (processor.engine.pitchBend, 1.99976f, 1.0e-5f);
}

TEST_F (Processor, ModWheelAndChannelPressureReachTheEngine)
{
    controller (1, 127);
    EXPECT_FLOAT_EQ (processor.engine.modWheel.load(), 1.0f);
    send (juce::MidiMessage::channelPressureChange (1, 64));
    EXPECT_NEAR (processor.engine.aftertouch.load(), 64.0f / 127.0f, 1.0e-6f);
}

TEST_F (Processor, EventsStampedOutsideTheBlockAreClampedIntoIt)
{
    // A note stamped past the end starts at the very end: this block stays silent.
    send (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 127), 5000);
    EXPECT_EQ (processor.getTopHeldNote(), 60);
    EXPECT_FLOAT_EQ (peak(), 0.0f);

    noteOff (60);
    juce::MidiBuffer silence;
    for (int i = 0; i < 40; ++i)
        play (silence);

    // One stamped before the start is applied at sample 0 and sounds within the block.
    send (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 127), -100);
    EXPECT_GT (peak(), 0.0f);
}

TEST_F (Processor, TempoComesFromTheHostUnclampedElseFromSyncBpm)
{
    juce::MidiBuffer midi;
    play (midi);
    EXPECT_FLOAT_EQ (processor.engine.tempoBpm, 120.0f);

    FixedTempoPlayHead playHead;
    processor.setPlayHead (&playHead);
    play (midi);
    EXPECT_FLOAT_EQ (processor.engine.tempoBpm, 120.0f); // a play head without a tempo

    playHead.bpm = 300.0;
    play (midi);
    EXPECT_FLOAT_EQ (processor.engine.tempoBpm, 300.0f);
    processor.setPlayHead (nullptr);

    auto* bpm = processor.parameterState.getParameter ("lfoSyncBpm");
    bpm->setValueNotifyingHost (bpm->convertTo0to1 (90.0f));
    play (midi);
    EXPECT_FLOAT_EQ (processor.engine.tempoBpm, 90.0f);
}

TEST_F (Processor, MidiLearnMapsTheNextControllerAndTakesEffectAtOnce)
{
    processor.armMidiLearn ("drive");
    EXPECT_TRUE (processor.isMidiLearnArmed ("drive"));
    EXPECT_FALSE (processor.isMidiLearnArmed ("filterCutoff"));

    controller (74, 127);
    EXPECT_FALSE (processor.isMidiLearnArmed ("drive"));
    EXPECT_EQ (processor.getMidiLearnMapping (74), processor.indexOfParameter ("drive"));
    // The audio thread sets the raw value from that very message.
    EXPECT_FLOAT_EQ (raw ("drive"), 24.0f);

    controller (74, 0);
    EXPECT_FLOAT_EQ (raw ("drive"), 0.0f);

    // An unknown ID disarms; cancelling disarms.
    processor.armMidiLearn ("noSuchParameter");
    EXPECT_EQ (processor.getMidiLearnTarget(), -1);
    processor.armMidiLearn ("drive");
    processor.cancelMidiLearn();
    controller (20, 64);
    EXPECT_EQ (processor.getMidiLearnMapping (20), -1);
}

TEST_F (Processor, LearnedControllerReachesHostListenersTreeAndDirtyFlagWithinATimerTick)
{
    ParameterSpy spy;
    processor.parameterState.addParameterListener ("filterCutoff", &spy);
    processor.addListener (&spy);
    ASSERT_FALSE (processor.presetDirty.load());

    processor.armMidiLearn ("filterCutoff");
    controller (74, 0);
    processor.timerCallback();

    auto* cutoff = processor.parameterState.getParameter ("filterCutoff");
    EXPECT_FLOAT_EQ (cutoff->getValue(), 0.0f);
    EXPECT_FLOAT_EQ (raw ("filterCutoff"), 20.0f);
    EXPECT_EQ (spy.stateChanges.size(), 1);
    EXPECT_TRUE (spy.hostChanges.contains (processor.indexOfParameter ("filterCutoff")));
    EXPECT_TRUE (processor.presetDirty.load());

    // The saved state carries the controller's value, not the one from before it moved.
    auto xml = processor.createStateXml();
    bool found = false;
    for (auto* child : xml->getChildIterator())
        if (child->getStringAttribute ("id") == "filterCutoff")
        {
            found = true;
            EXPECT_NEAR (child->getDoubleAttribute ("value"), 20.0, 1.0e-3);
        }
    EXPECT_TRUE (found);

    // Nothing pending: the next tick announces nothing.
    spy.hostChanges.clear();
    processor.timerCallback();
    EXPECT_TRUE (spy.hostChanges.isEmpty());

    processor.removeListener (&spy);
    processor.parameterState.removeParameterListener ("filterCutoff", &spy);
}

TEST_F (Processor, LearnedChoiceKeepsItsIndexWhenAnnounced)
{
    processor.armMidiLearn ("filterModel");
    controller (30, 127);
    EXPECT_FLOAT_EQ (raw ("filterModel"), 3.0f);
    processor.timerCallback();
    EXPECT_EQ ((int) raw ("filterModel"), 3);
    EXPECT_EQ (processor.parameterState.getParameter ("filterModel")->getCurrentValueAsText(), "phase");
}

TEST_F (Processor, AllNotesOffAndAllSoundOffAreNeverLearned)
{
    processor.armMidiLearn ("drive");
    controller (123, 0);
    controller (120, 0);
    EXPECT_TRUE (processor.isMidiLearnArmed ("drive"));
    EXPECT_EQ (processor.getMidiLearnMapping (123), -1);
    EXPECT_EQ (processor.getMidiLearnMapping (120), -1);
}

TEST_F (Processor, SeveralControllersMayDriveOneParameterAndLearningAgainOverwrites)
{
    const int drive = processor.indexOfParameter ("drive");
    const int cutoff = processor.indexOfParameter ("filterCutoff");

    processor.armMidiLearn ("drive");
    controller (74, 10);
    processor.armMidiLearn ("drive");
    controller (75, 10);
    EXPECT_EQ (processor.getMidiLearnMapping (74), drive);
    EXPECT_EQ (processor.getMidiLearnMapping (75), drive);

    processor.armMidiLearn ("filterCutoff");
    controller (74, 10);
    EXPECT_EQ (processor.getMidiLearnMapping (74), cutoff);
    EXPECT_EQ (processor.getMidiLearnMapping (75), drive);
}

TEST_F (Processor, LearnedModWheelStillDrivesTheModWheel)
{
    processor.armMidiLearn ("pdMorphAmount");
    controller (1, 127);
    EXPECT_FLOAT_EQ (raw ("pdMorphAmount"), 1.0f);
    EXPECT_FLOAT_EQ (processor.engine.modWheel.load(), 1.0f);
}

TEST_F (Processor, ScopeRingKeepsTheLastSamplesOfALongBlock)
{
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 45, (juce::uint8) 127), 0);
    play (midi, 10000);
    EXPECT_EQ (processor.scopeWriteCounter.load(), 10000u);

    // The last 4096 samples carry stamps 5905..10000; the mono sum matches the block.
    for (int k : { 0, 100, 4095 })
    {
        const std::uint64_t seq = 10000 - 4096 + (std::uint64_t) k;
        const auto slot = (size_t) (seq % 4096);
        EXPECT_EQ (processor.scopeStamps[slot].load(), seq + 1);
        const int s = (int) seq;
        EXPECT_FLOAT_EQ (processor.scopeSamples[slot].load(), (buffer.getSample (0, s) + buffer.getSample (1, s)) * 0.5f);
    }
}

TEST_F (Processor, PeakMeterAttacksAtOnceAndFallsAt24DbPerSecond)
{
    EXPECT_FLOAT_EQ (processor.peakLevelDb.load(), -120.0f);
    noteOn (45, 127);
    for (int i = 0; i < 10; ++i)
    {
        juce::MidiBuffer none;
        play (none);
    }
    const float loud = processor.peakLevelDb.load();
    EXPECT_GT (loud, -40.0f);
    EXPECT_LE (loud, 0.0f);

    send (juce::MidiMessage::allSoundOff (1));
    juce::MidiBuffer none;
    for (int i = 0; i < 200; ++i)
        play (none);
    // 201 blocks of 512 at 48 kHz since the loud one: 2.14 s, so at most 51.5 dB of fall.
    EXPECT_GE (processor.peakLevelDb.load(), juce::jmax (-120.0f, loud - 51.5f));
    EXPECT_LT (processor.peakLevelDb.load(), loud - 40.0f);
}

TEST_F (Processor, CpuLoadIsAFinitePercentage)
{
    noteOn (40);
    juce::MidiBuffer none;
    for (int i = 0; i < 20; ++i)
        play (none);
    EXPECT_TRUE (std::isfinite (processor.cpuLoad.load()));
    EXPECT_GT (processor.cpuLoad.load(), 0.0f);
}

TEST_F (Processor, BlocksOfAnySizeStayFinite)
{
    noteOn (36);
    juce::MidiBuffer none;
    for (int size : { 1, 7, 64, 511, 4096, 0 })
    {
        play (none, size);
        for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
            for (int i = 0; i < buffer.getNumSamples(); ++i)
                ASSERT_TRUE (std::isfinite (buffer.getSample (ch, i)));
    }
}
