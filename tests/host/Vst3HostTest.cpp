// Loads the built VST3 bundle the way a host does, through JUCE's own VST3 hosting code.

#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivstunits.h>

#if defined(__linux__)
 #include <elf.h>
#endif

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

// Plays blocks with the given MIDI in the first one; the peak of every block, in order
// (infinite for a block that was not finite).
std::vector<float> playBlocks (juce::AudioPluginInstance& instance, juce::AudioBuffer<float>& buffer,
                               juce::MidiBuffer midi, int blocks)
{
    std::vector<float> peaks;
    for (int block = 0; block < blocks; ++block)
    {
        buffer.clear();
        instance.processBlock (buffer, midi);
        midi.clear();
        peaks.push_back (peakOf (buffer));
    }
    return peaks;
}

bool allFinite (const std::vector<float>& peaks)
{
    return std::all_of (peaks.begin(), peaks.end(), [] (float p) { return std::isfinite (p); });
}

float loudestOf (const std::vector<float>& peaks) { return *std::max_element (peaks.begin(), peaks.end()); }
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

// Reads the program lists the way the SDK's validator scans them: JUCE's own host shows no
// program list for a plug-in with a single program.
juce::StringArray programListNames (juce::AudioPluginInstance& instance, juce::StringArray& lists)
{
    struct Visitor : juce::ExtensionsVisitor
    {
        void visitVST3Client (const VST3Client& client) override { component = client.getIComponentPtr(); }
        Steinberg::Vst::IComponent* component = nullptr;
    } visitor;
    instance.getExtensions (visitor);

    juce::StringArray names;
    if (visitor.component == nullptr)
        return names;

    const Steinberg::TUID unitInfoIid = INLINE_UID (0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);
    Steinberg::Vst::IUnitInfo* units = nullptr;
    if (visitor.component->queryInterface (unitInfoIid, (void**) &units) != Steinberg::kResultOk || units == nullptr)
        return names;

    const auto text = [] (const Steinberg::Vst::String128 s)
    { return juce::String (juce::CharPointer_UTF16 (reinterpret_cast<const juce::CharPointer_UTF16::CharType*> (s))); };

    for (Steinberg::int32 list = 0; list < units->getProgramListCount(); ++list)
    {
        Steinberg::Vst::ProgramListInfo info {};
        if (units->getProgramListInfo (list, info) != Steinberg::kResultOk)
            continue;
        lists.add (text (info.name));
        for (Steinberg::int32 program = 0; program < info.programCount; ++program)
        {
            Steinberg::Vst::String128 name {};
            names.add (units->getProgramName (info.id, program, name) == Steinberg::kResultOk ? text (name) : juce::String());
        }
    }
    units->release();
    return names;
}

TEST (Vst3Bundle, ItsOneProgramHasAStableName)
{
    auto instance = load();
    juce::StringArray lists;
    const auto names = programListNames (*instance, lists);
    ASSERT_EQ (lists.size(), 1);
    ASSERT_EQ (names.size(), 1);
    EXPECT_TRUE (names[0].trim().isNotEmpty());

    // Restoring a state or playing does not rename or multiply it.
    juce::MemoryBlock state;
    instance->getStateInformation (state);
    instance->setStateInformation (state.getData(), (int) state.getSize());
    juce::StringArray listsAgain;
    EXPECT_EQ (programListNames (*instance, listsAgain), names);
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
    juce::MidiBuffer noteOn, noteOff;
    noteOn.addEvent (juce::MidiMessage::noteOn (1, 45, (juce::uint8) 110), 10);
    noteOff.addEvent (juce::MidiMessage::noteOff (1, 45), 0);

    const auto sounding = playBlocks (*instance, buffer, noteOn, 20);
    ASSERT_TRUE (allFinite (sounding));
    EXPECT_GT (loudestOf (sounding), 0.01f);
    EXPECT_LT (loudestOf (sounding), 1.0f);

    const auto released = playBlocks (*instance, buffer, noteOff, 400); // about four seconds
    ASSERT_TRUE (allFinite (released));
    EXPECT_LT (released.back(), 1.0e-4f);
    instance->releaseResources();
}

TEST (Vst3Bundle, SurvivesWhatValidatorsDoToAnInstrument)
{
    auto instance = load (44100.0, 512);

    // Mono and stereo outputs are both accepted; anything else is refused.
    auto layout = instance->getBusesLayout();
    layout.getChannelSet (false, 0) = juce::AudioChannelSet::mono();
    EXPECT_TRUE (instance->checkBusesLayoutSupported (layout));
    layout.getChannelSet (false, 0) = juce::AudioChannelSet::create5point1();
    EXPECT_FALSE (instance->checkBusesLayoutSupported (layout));

    // Played in mono, the note still sounds.
    layout.getChannelSet (false, 0) = juce::AudioChannelSet::mono();
    ASSERT_TRUE (instance->setBusesLayout (layout));
    instance->prepareToPlay (44100.0, 512);
    {
        juce::AudioBuffer<float> mono (1, 512);
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::noteOn (1, 45, (juce::uint8) 110), 0);
        const auto peaks = playBlocks (*instance, mono, midi, 10);
        EXPECT_GT (loudestOf (peaks), 0.01f);
        EXPECT_LT (loudestOf (peaks), 1.0f);
        instance->releaseResources();
    }
    layout.getChannelSet (false, 0) = juce::AudioChannelSet::stereo();
    ASSERT_TRUE (instance->setBusesLayout (layout));

    // Prepare again and again at other rates and sizes, with a note sounding throughout, including
    // empty blocks and blocks of a single sample.
    for (const auto& [rate, size] : std::vector<std::pair<double, int>> { { 44100.0, 1 }, { 96000.0, 4096 },
                                                                          { 48000.0, 0 }, { 22050.0, 33 } })
    {
        const int blockSize = juce::jmax (1, size);
        instance->setPlayConfigDetails (0, 2, rate, blockSize);
        instance->prepareToPlay (rate, blockSize);

        juce::AudioBuffer<float> buffer (2, size);
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::noteOn (1, 40, (juce::uint8) 100), 0);
        ASSERT_TRUE (allFinite (playBlocks (*instance, buffer, midi, 16))) << rate << " Hz, " << size;
        instance->releaseResources();
    }

    // Every one of our parameters survives the trip through its own text, as a host's text
    // entry uses it, and reports a text for any position.
    const auto& params = instance->getParameters();
    for (int i = 0; i < 103; ++i)
    {
        auto* p = params[i];
        for (const float v : { 0.0f, 0.37f, 1.0f })
        {
            const auto text = p->getText (v, 64);
            EXPECT_TRUE (text.isNotEmpty()) << p->getName (100);
            const auto back = p->getValueForText (text);
            EXPECT_NEAR (p->getText (back, 64).getDoubleValue(), text.getDoubleValue(), 1.0e-3)
                << p->getName (100) << " '" << text << "'";
        }
        EXPECT_GE (p->getDefaultValue(), 0.0f);
        EXPECT_LE (p->getDefaultValue(), 1.0f);
    }
}

TEST (Vst3Bundle, EmptyAndGarbageStatesFromTheHostChangeNothing)
{
    auto instance = load();
    auto* cutoff = findParameter (*instance, "cutoff");
    ASSERT_NE (cutoff, nullptr);
    cutoff->setValueNotifyingHost (0.6f);

    juce::MemoryBlock before;
    instance->getStateInformation (before);

    instance->setStateInformation (nullptr, 0);
    juce::Random random (99);
    for (int attempt = 0; attempt < 20; ++attempt)
    {
        juce::MemoryBlock noise ((size_t) random.nextInt ({ 1, 2000 }));
        for (size_t i = 0; i < noise.getSize(); ++i)
            noise[i] = (char) random.nextInt (256);
        instance->setStateInformation (noise.getData(), (int) noise.getSize());
    }

    juce::MemoryBlock after;
    instance->getStateInformation (after);
    EXPECT_EQ (after, before);
    EXPECT_NEAR (cutoff->getValue(), 0.6f, 1.0e-5f);
}

#if defined(__linux__) && defined(__x86_64__)
// Which build of the audio loops runs is picked by the loader on the CPU. Bound lazily, that
// choice and every other symbol lookup would happen on the audio thread's first call.
TEST (Vst3Bundle, BindsEverySymbolWhenLoaded)
{
    const auto library = bundle.getChildFile ("Contents/x86_64-linux").findChildFiles (juce::File::findFiles, false, "*.so");
    ASSERT_EQ (library.size(), 1);
    juce::MemoryBlock image;
    ASSERT_TRUE (library[0].loadFileAsData (image));
    ASSERT_GE (image.getSize(), sizeof (Elf64_Ehdr));

    const auto* bytes = static_cast<const char*> (image.getData());
    Elf64_Ehdr header;
    std::memcpy (&header, bytes, sizeof (header));
    ASSERT_EQ (std::memcmp (header.e_ident, ELFMAG, SELFMAG), 0);
    ASSERT_EQ (header.e_ident[EI_CLASS], ELFCLASS64);

    auto bindNow = false, foundDynamic = false;

    for (int i = 0; i < header.e_phnum; ++i)
    {
        Elf64_Phdr segment;
        const auto at = header.e_phoff + (size_t) i * header.e_phentsize;
        ASSERT_LE (at + sizeof (segment), image.getSize());
        std::memcpy (&segment, bytes + at, sizeof (segment));

        if (segment.p_type != PT_DYNAMIC)
            continue;

        foundDynamic = true;
        ASSERT_LE (segment.p_offset + segment.p_filesz, image.getSize());

        for (size_t offset = 0; offset + sizeof (Elf64_Dyn) <= segment.p_filesz; offset += sizeof (Elf64_Dyn))
        {
            Elf64_Dyn entry;
            std::memcpy (&entry, bytes + segment.p_offset + offset, sizeof (entry));

            if (entry.d_tag == DT_NULL)
                break;

            bindNow = bindNow || entry.d_tag == DT_BIND_NOW
                   || (entry.d_tag == DT_FLAGS && (entry.d_un.d_val & DF_BIND_NOW) != 0)
                   || (entry.d_tag == DT_FLAGS_1 && (entry.d_un.d_val & DF_1_NOW) != 0);
        }
    }

    EXPECT_TRUE (foundDynamic);
    EXPECT_TRUE (bindNow);
}
#endif
