// Loads the built VST3 bundle the way a host does, through JUCE's own VST3 hosting code.

#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

namespace
{
const juce::File bundle { QUILLON_VST3_PATH };

juce::PluginDescription describe()
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile (found, bundle.getFullPathName());
    if (found.size() != 1)
        throw std::runtime_error ("expected one plug-in in " + bundle.getFullPathName().toStdString());
    return *found[0];
}

std::unique_ptr<juce::AudioPluginInstance> load (double sampleRate = 48000.0, int blockSize = 512)
{
    juce::VST3PluginFormat format;
    juce::String error;
    auto instance = format.createInstanceFromDescription (describe(), sampleRate, blockSize, error);
    if (instance == nullptr)
        throw std::runtime_error ("could not load the plug-in: " + error.toStdString());
    return instance;
}

// The host also sees a bypass and the controller-emulation parameters; ours come first.
juce::AudioProcessorParameter* findParameter (juce::AudioPluginInstance& instance, const juce::String& name)
{
    for (auto* p : instance.getParameters())
        if (p->getName (100) == name)
            return p;
    return nullptr;
}

float peakOf (const juce::AudioBuffer<float>& buffer)
{
    float peak = 0.0f;
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const float s = buffer.getSample (ch, i);
            if (! std::isfinite (s))
                return std::numeric_limits<float>::infinity();
            peak = juce::jmax (peak, std::abs (s));
        }
    return peak;
}
} // namespace

TEST (Vst3Bundle, DescribesItselfAsTheInstrument)
{
    ASSERT_TRUE (bundle.isDirectory()) << bundle.getFullPathName();
    const auto description = describe();
    EXPECT_EQ (description.name, "Quillon");
    EXPECT_EQ (description.manufacturerName, "Moss Harbour");
    EXPECT_EQ (description.version, "0.2.41");
    EXPECT_EQ (description.pluginFormatName, "VST3");
    EXPECT_TRUE (description.isInstrument);
    EXPECT_TRUE (description.category.contains ("Instrument")) << description.category;
    EXPECT_TRUE (description.category.contains ("Synth")) << description.category;
    EXPECT_EQ (description.numInputChannels, 0);
    EXPECT_EQ (description.numOutputChannels, 2);
}

TEST (Vst3Bundle, PublishesOurHundredAndThreeParametersFirst)
{
    auto instance = load();
    const auto& params = instance->getParameters();
    ASSERT_GE (params.size(), 103);

    EXPECT_EQ (params[0]->getName (100), "osc 1 wave");
    EXPECT_EQ (params[42]->getName (100), juce::String (juce::CharPointer_UTF8 ("vel\xe2\x86\x92" "drive")));
    EXPECT_EQ (params[51]->getName (100), "cutoff");
    EXPECT_EQ (params[102]->getName (100), "mod 4 curve");

    int ours = 0;
    for (auto* p : params)
        if (! p->getName (100).startsWith ("MIDI CC ") && ! p->getName (100).equalsIgnoreCase ("Bypass"))
            ++ours;
    EXPECT_EQ (ours, 103);

    // A choice parameter shows its item text to the host.
    EXPECT_EQ (params[0]->getCurrentValueAsText(), "saw");
    EXPECT_EQ (params[0]->getNumSteps(), 10);
}

TEST (Vst3Bundle, StateSavedThroughTheHostRestoresInAFreshInstance)
{
    auto first = load();
    auto* cutoff = findParameter (*first, "cutoff");
    auto* wave = findParameter (*first, "osc 1 wave");
    ASSERT_NE (cutoff, nullptr);
    ASSERT_NE (wave, nullptr);
    cutoff->setValueNotifyingHost (0.25f);
    wave->setValueNotifyingHost (wave->getValueForText ("ressaw"));

    juce::MemoryBlock state;
    first->getStateInformation (state);
    ASSERT_GT (state.getSize(), 0u);

    auto second = load();
    second->setStateInformation (state.getData(), (int) state.getSize());
    EXPECT_NEAR (findParameter (*second, "cutoff")->getValue(), 0.25f, 1.0e-5f);
    EXPECT_EQ (findParameter (*second, "osc 1 wave")->getCurrentValueAsText(), "ressaw");

    // A damaged state leaves the instance as it was.
    juce::MemoryBlock junk (64, true);
    second->setStateInformation (junk.getData(), (int) junk.getSize());
    EXPECT_NEAR (findParameter (*second, "cutoff")->getValue(), 0.25f, 1.0e-5f);

    juce::MemoryBlock again;
    second->getStateInformation (again);
    EXPECT_EQ (again, state);
}

TEST (Vst3Bundle, PlaysANoteFromMidiAndFallsSilentAfterRelease)
{
    auto instance = load (48000.0, 512);
    instance->setPlayConfigDetails (0, 2, 48000.0, 512);
    instance->prepareToPlay (48000.0, 512);
    EXPECT_GE (instance->getLatencySamples(), 0);

    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 45, (juce::uint8) 110), 10);

    float loudest = 0.0f;
    for (int block = 0; block < 20; ++block)
    {
        buffer.clear();
        instance->processBlock (buffer, midi);
        midi.clear();
        const float peak = peakOf (buffer);
        ASSERT_TRUE (std::isfinite (peak));
        loudest = juce::jmax (loudest, peak);
    }
    EXPECT_GT (loudest, 0.01f);
    EXPECT_LT (loudest, 1.0f);

    midi.addEvent (juce::MidiMessage::noteOff (1, 45), 0);
    float last = 1.0f;
    for (int block = 0; block < 400; ++block) // about four seconds
    {
        buffer.clear();
        instance->processBlock (buffer, midi);
        midi.clear();
        last = peakOf (buffer);
        ASSERT_TRUE (std::isfinite (last));
    }
    EXPECT_LT (last, 1.0e-4f);
    instance->releaseResources();
}
