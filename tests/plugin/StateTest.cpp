#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

namespace
{
float raw (QuillonAudioProcessor& p, const char* id) { return p.parameterState.getRawParameterValue (id)->load(); }

void set (QuillonAudioProcessor& p, const char* id, float plainValue)
{
    auto* param = p.parameterState.getParameter (id);
    param->setValueNotifyingHost (param->convertTo0to1 (plainValue));
}

juce::MemoryBlock saveState (QuillonAudioProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block;
}

void restore (QuillonAudioProcessor& p, const juce::MemoryBlock& block)
{
    p.setStateInformation (block.getData(), (int) block.getSize());
}

std::unique_ptr<juce::XmlElement> xmlOf (const juce::MemoryBlock& block)
{
    return juce::AudioProcessor::getXmlFromBinary (block.getData(), (int) block.getSize());
}

juce::MemoryBlock blobOf (const juce::String& xmlText)
{
    juce::MemoryBlock block;
    auto xml = juce::parseXML (xmlText);
    juce::AudioProcessor::copyXmlToBinary (*xml, block);
    return block;
}

// Every parameter's plain value, in layout order.
std::vector<float> snapshot (QuillonAudioProcessor& p)
{
    std::vector<float> values;
    for (auto* param : p.getParameters())
        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (param))
            values.push_back (ranged->convertFrom0to1 (ranged->getValue()));
    return values;
}

void expectEveryParameterHasIdAndValue (const juce::XmlElement& root, QuillonAudioProcessor& p)
{
    for (auto* param : p.getParameters())
    {
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (param);
        const juce::XmlElement* found = nullptr;
        for (auto* child : root.getChildWithTagNameIterator ("PARAM"))
            if (child->getStringAttribute ("id") == ranged->paramID)
                found = child;
        ASSERT_NE (found, nullptr) << ranged->paramID;
        EXPECT_TRUE (found->hasAttribute ("value")) << ranged->paramID;
    }
}
} // namespace

TEST (InitPreset, ProcessorStartsFromInitClean)
{
    QuillonAudioProcessor p;
    EXPECT_EQ (p.getPresetName(), "init clean");
    EXPECT_EQ (p.getPresetSource(), "factory:init_clean.xml");
    EXPECT_FALSE (p.presetDirty.load());

    EXPECT_FLOAT_EQ (raw (p, "ampRelease"), 0.18f);
    EXPECT_FLOAT_EQ (raw (p, "mod1Amount"), 0.4f);
    EXPECT_FLOAT_EQ (raw (p, "osc2Level"), -60.0f); // the bottom of the range
    EXPECT_FLOAT_EQ (raw (p, "stereoWidth"), 0.0f); // migrated from stereoMode "mono"
    EXPECT_FLOAT_EQ (raw (p, "mod1Source"), 1.0f);
    EXPECT_FLOAT_EQ (raw (p, "mod1Dest"), 3.0f);
    EXPECT_FLOAT_EQ (raw (p, "driveMix"), 1.0f);    // absent from the preset: default
    EXPECT_FLOAT_EQ (raw (p, "filterEnabled"), 1.0f);
}

TEST (InitPreset, StateCarriesEveryParameterEvenThoseThePresetLacks)
{
    QuillonAudioProcessor p;
    auto fromBlob = xmlOf (saveState (p));
    ASSERT_NE (fromBlob, nullptr);
    expectEveryParameterHasIdAndValue (*fromBlob, p);

    auto exported = p.createStateXml();
    ASSERT_NE (exported, nullptr);
    EXPECT_TRUE (exported->hasTagName ("PARAMS"));
    expectEveryParameterHasIdAndValue (*exported, p);
    EXPECT_EQ (exported->getNumChildElements(), 103);
}

TEST (State, RoundTripsToASecondInstance)
{
    QuillonAudioProcessor a;
    set (a, "filterCutoff", 432.0f);
    set (a, "osc1Wave", 5.0f);
    set (a, "legato", 1.0f);
    set (a, "mod3Amount", -0.75f);
    a.setPresetInfo (juce::String (juce::CharPointer_UTF8 ("my bass \xc2\xb7 v2")), "user:/tmp/my bass.xml");
    set (a, "drive", 7.5f); // after setPresetInfo: the preset is now dirty
    a.activeView.store (2);
    a.armMidiLearn ("drive");
    {
        juce::AudioBuffer<float> buffer (2, 64);
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::controllerEvent (1, 74, 64), 0);
        a.prepareToPlay (48000.0, 64);
        a.processBlock (buffer, midi);
        a.timerCallback();
    }

    const auto block = saveState (a);
    QuillonAudioProcessor b;
    restore (b, block);

    EXPECT_EQ (snapshot (a), snapshot (b));
    EXPECT_EQ (b.getPresetName(), a.getPresetName());
    EXPECT_EQ (b.getPresetSource(), "user:/tmp/my bass.xml");
    EXPECT_TRUE (b.presetDirty.load());
    EXPECT_EQ (b.activeView.load(), 2);
    EXPECT_EQ (b.getMidiLearnMapping (74), b.indexOfParameter ("drive"));

    // Saving again gives the same bytes: nothing is lost or added on the way.
    EXPECT_EQ (saveState (b), block);
}

TEST (State, BlobLayoutHasParamsThenMidiLearnThenOneUiState)
{
    QuillonAudioProcessor p;
    auto xml = xmlOf (saveState (p));
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (xml->hasTagName ("PARAMS"));
    EXPECT_EQ (xml->getChildByName ("MIDILEARN"), nullptr); // nothing learned
    auto* ui = xml->getChildByName ("UISTATE");
    ASSERT_NE (ui, nullptr);
    EXPECT_EQ (xml->getChildElement (xml->getNumChildElements() - 1), ui);
    EXPECT_EQ (ui->getStringAttribute ("presetName"), "init clean");
    EXPECT_EQ (ui->getStringAttribute ("presetSource"), "factory:init_clean.xml");
    EXPECT_EQ (ui->getStringAttribute ("presetDirty"), "0");
    EXPECT_EQ (ui->getStringAttribute ("activeView"), "0");

    // Controllers 74 and 1: listed in rising controller order.
    juce::AudioBuffer<float> buffer (2, 32);
    p.prepareToPlay (44100.0, 32);
    for (int cc : { 74, 1 })
    {
        p.armMidiLearn (cc == 74 ? "drive" : "filterReso");
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::controllerEvent (1, cc, 0), 0);
        p.processBlock (buffer, midi);
    }

    // Restoring and saving again keeps exactly one UISTATE and one MIDILEARN.
    QuillonAudioProcessor q;
    restore (q, saveState (p));
    xml = xmlOf (saveState (q));
    int uiCount = 0, learnCount = 0;
    for (auto* child : xml->getChildIterator())
    {
        uiCount += child->hasTagName ("UISTATE") ? 1 : 0;
        learnCount += child->hasTagName ("MIDILEARN") ? 1 : 0;
    }
    EXPECT_EQ (uiCount, 1);
    EXPECT_EQ (learnCount, 1);

    auto* learn = xml->getChildByName ("MIDILEARN");
    ASSERT_NE (learn, nullptr);
    ASSERT_EQ (learn->getNumChildElements(), 2);
    EXPECT_EQ (learn->getChildElement (0)->getIntAttribute ("cc"), 1);
    EXPECT_EQ (learn->getChildElement (0)->getStringAttribute ("param"), "filterReso");
    EXPECT_EQ (learn->getChildElement (1)->getIntAttribute ("cc"), 74);
    EXPECT_EQ (learn->getChildElement (1)->getStringAttribute ("param"), "drive");
}

TEST (State, RestoreReplacesTheMidiMapAndSkipsBadMappings)
{
    QuillonAudioProcessor p;
    const auto block = blobOf (R"(<PARAMS><PARAM id="drive" value="3"/>
        <MIDILEARN>
          <MAP cc="10" param="drive"/>
          <MAP cc="10" param="filterCutoff"/>
          <MAP cc="128" param="drive"/>
          <MAP cc="-1" param="drive"/>
          <MAP cc="11" param="noSuchThing"/>
          <MAP param="drive"/>
          <OTHER cc="12" param="drive"/>
        </MIDILEARN></PARAMS>)");
    restore (p, block);

    EXPECT_EQ (p.getMidiLearnMapping (10), p.indexOfParameter ("filterCutoff")); // later entries win
    for (int cc = 0; cc < 128; ++cc)
        if (cc != 10)
        {
            EXPECT_EQ (p.getMidiLearnMapping (cc), -1) << cc;
        }

    // Without MIDILEARN the whole map is cleared; no UISTATE reads as defaults.
    restore (p, blobOf (R"(<PARAMS><PARAM id="drive" value="3"/></PARAMS>)"));
    EXPECT_EQ (p.getMidiLearnMapping (10), -1);
    EXPECT_EQ (p.getPresetName(), "");
    EXPECT_EQ (p.getPresetSource(), "");
    EXPECT_FALSE (p.presetDirty.load());
    EXPECT_EQ (p.activeView.load(), 0);
}

TEST (State, DirtyFlagFollowsLoadsAndEdits)
{
    QuillonAudioProcessor p;
    set (p, "drive", 5.0f);
    EXPECT_TRUE (p.presetDirty.load());

    // A restore takes the blob's word.
    restore (p, blobOf (R"(<PARAMS><PARAM id="drive" value="1"/><UISTATE presetDirty="0"/></PARAMS>)"));
    EXPECT_FALSE (p.presetDirty.load());
    restore (p, blobOf (R"(<PARAMS><PARAM id="drive" value="2"/><UISTATE presetDirty="1"/></PARAMS>)"));
    EXPECT_TRUE (p.presetDirty.load());

    // A preset load is never dirty, and a knob afterwards makes it so.
    auto preset = juce::parseXML (R"(<PARAMS><PARAM id="drive" value="9"/></PARAMS>)");
    EXPECT_TRUE (p.loadStateTree (*preset));
    EXPECT_FALSE (p.presetDirty.load());
    EXPECT_FLOAT_EQ (raw (p, "drive"), 9.0f);
    set (p, "filterReso", 0.3f);
    EXPECT_TRUE (p.presetDirty.load());

    p.setPresetInfo ("x", "factory:x.xml");
    EXPECT_FALSE (p.presetDirty.load());
    p.setPresetName ("y");
    EXPECT_FALSE (p.presetDirty.load());
    EXPECT_EQ (p.getPresetName(), "y");
}

TEST (State, PresetLoadKeepsMidiLearnAndClearsUndo)
{
    QuillonAudioProcessor p;
    restore (p, blobOf (R"(<PARAMS><PARAM id="drive" value="1"/><MIDILEARN><MAP cc="20" param="drive"/></MIDILEARN></PARAMS>)"));
    p.undoManager.beginNewTransaction();
    set (p, "drive", 6.0f);

    auto preset = juce::parseXML (R"(<PARAMS><PARAM id="filterReso" value="0.5"/>
        <MIDILEARN><MAP cc="21" param="filterReso"/></MIDILEARN><UISTATE presetName="ignored"/></PARAMS>)");
    EXPECT_TRUE (p.loadStateTree (*preset));
    EXPECT_EQ (p.getMidiLearnMapping (20), p.indexOfParameter ("drive"));
    EXPECT_EQ (p.getMidiLearnMapping (21), -1);
    EXPECT_FALSE (p.undoManager.canUndo());

    // The parameter state keeps PARAM children only.
    auto exported = p.createStateXml();
    EXPECT_EQ (exported->getChildByName ("MIDILEARN"), nullptr);
    EXPECT_EQ (exported->getChildByName ("UISTATE"), nullptr);
    // Parameters the preset does not name fall back to their defaults.
    EXPECT_FLOAT_EQ (raw (p, "drive"), 0.0f);
    EXPECT_FLOAT_EQ (raw (p, "filterReso"), 0.5f);
}

TEST (Migration, StereoModeBecomesWidthAndDriveEnabledBecomesMix)
{
    QuillonAudioProcessor p;
    const auto migrate = [&p] (const char* xmlText)
    {
        auto tree = juce::ValueTree::fromXml (xmlText);
        p.migrateStateTree (tree);
        return tree;
    };
    const auto valueOf = [] (const juce::ValueTree& tree, const char* id)
    {
        return (double) QuillonAudioProcessor::findParamChild (tree, id).getProperty ("value");
    };

    auto mono = migrate (R"(<PARAMS><PARAM id="stereoMode" value="1"/></PARAMS>)");
    EXPECT_DOUBLE_EQ (valueOf (mono, "stereoWidth"), 0.0);
    auto wide = migrate (R"(<PARAMS><PARAM id="stereoMode" value="0"/></PARAMS>)");
    EXPECT_DOUBLE_EQ (valueOf (wide, "stereoWidth"), 1.0);
    auto kept = migrate (R"(<PARAMS><PARAM id="stereoMode" value="0"/><PARAM id="stereoWidth" value="0.3"/></PARAMS>)");
    EXPECT_DOUBLE_EQ (valueOf (kept, "stereoWidth"), 0.3);
    EXPECT_EQ (kept.getNumChildren(), 2);

    auto off = migrate (R"(<PARAMS><PARAM id="driveEnabled" value="0"/></PARAMS>)");
    EXPECT_DOUBLE_EQ (valueOf (off, "driveMix"), 0.0);
    auto on = migrate (R"(<PARAMS><PARAM id="driveEnabled" value="1"/></PARAMS>)");
    EXPECT_DOUBLE_EQ (valueOf (on, "driveMix"), 1.0);
    EXPECT_TRUE (QuillonAudioProcessor::findParamChild (on, "driveEnabled").isValid()); // left in place

    // An old switch that is no parameter now survives a restore and is written back.
    restore (p, blobOf (R"(<PARAMS><PARAM id="driveEnabled" value="0"/><PARAM id="drive" value="4"/></PARAMS>)"));
    EXPECT_FLOAT_EQ (raw (p, "driveMix"), 0.0f);
    auto saved = xmlOf (saveState (p));
    bool carried = false;
    for (auto* child : saved->getChildWithTagNameIterator ("PARAM"))
        carried |= child->getStringAttribute ("id") == "driveEnabled";
    EXPECT_TRUE (carried);
}

TEST (Migration, NonFiniteValuesLoadAsDefaultsAndOutOfRangeValuesClamp)
{
    QuillonAudioProcessor p;
    restore (p, blobOf (R"(<PARAMS>
        <PARAM id="drive" value="nan"/>
        <PARAM id="filterCutoff" value="inf"/>
        <PARAM id="outputGain" value="-inf"/>
        <PARAM id="filterReso" value="1e999"/>
        <PARAM id="osc2Level" value="-90"/>
        <PARAM id="subLevel" value="42"/>
        <PARAM id="osc1Wave" value="99"/>
        <PARAM id="lfo1Rate" value="banana"/>
        </PARAMS>)"));

    EXPECT_FLOAT_EQ (raw (p, "drive"), 0.0f);
    EXPECT_FLOAT_EQ (raw (p, "filterCutoff"), 20000.0f);
    EXPECT_FLOAT_EQ (raw (p, "outputGain"), -6.0f);
    EXPECT_FLOAT_EQ (raw (p, "filterReso"), 0.0f);
    EXPECT_FLOAT_EQ (raw (p, "osc2Level"), -60.0f);
    EXPECT_FLOAT_EQ (raw (p, "subLevel"), 0.0f);
    EXPECT_FLOAT_EQ (raw (p, "osc1Wave"), 9.0f);
    EXPECT_FLOAT_EQ (raw (p, "lfo1Rate"), 0.05f); // unreadable text reads as 0, clamped

    for (auto* param : p.getParameters())
        EXPECT_TRUE (std::isfinite (param->getValue()));

    auto saved = xmlOf (saveState (p));
    for (auto* child : saved->getChildWithTagNameIterator ("PARAM"))
        EXPECT_TRUE (std::isfinite (child->getDoubleAttribute ("value"))) << child->getStringAttribute ("id");
}

TEST (State, BadBlobsChangeNothing)
{
    QuillonAudioProcessor p;
    set (p, "drive", 11.0f);
    p.setPresetInfo ("kept", "user:/kept.xml");
    set (p, "filterReso", 0.25f);
    const auto before = snapshot (p);
    const auto good = saveState (p);

    const auto expectUnchanged = [&] (const char* what)
    {
        EXPECT_EQ (snapshot (p), before) << what;
        EXPECT_EQ (p.getPresetName(), "kept") << what;
        EXPECT_TRUE (p.presetDirty.load()) << what;
    };

    p.setStateInformation (nullptr, 0);
    expectUnchanged ("null");
    p.setStateInformation (good.getData(), 0);
    expectUnchanged ("empty");
    p.setStateInformation (good.getData(), -5);
    expectUnchanged ("negative size");
    p.setStateInformation (good.getData(), (int) good.getSize() / 2);
    expectUnchanged ("truncated");

    juce::Random random (1234);
    for (int attempt = 0; attempt < 50; ++attempt)
    {
        juce::MemoryBlock noise ((size_t) random.nextInt ({ 1, 4000 }));
        for (size_t i = 0; i < noise.getSize(); ++i)
            noise[i] = (char) random.nextInt (256);
        restore (p, noise);
    }
    expectUnchanged ("random bytes");

    // The right wrapper around the wrong XML.
    restore (p, blobOf ("<SOMETHING><ELSE a=\"1\"/></SOMETHING>"));
    expectUnchanged ("foreign XML");
    restore (p, blobOf ("<SOMETHING><PARAM id=\"noSuchParameter\" value=\"1\"/></SOMETHING>"));
    expectUnchanged ("another shape, no parameter of ours");

    // A corrupted copy of a good blob, byte by byte, never crashes.
    for (size_t i = 8; i < good.getSize(); i += 97)
    {
        auto damaged = good;
        damaged[i] = (char) (damaged[i] ^ 0x5a);
        restore (p, damaged);
    }
}

TEST (State, ForeignRootWithOurParametersRestoresWhatItCan)
{
    QuillonAudioProcessor p;
    restore (p, blobOf (R"(<OLDROOT><PARAM id="drive" value="5"/><JUNK/></OLDROOT>)"));
    EXPECT_FLOAT_EQ (raw (p, "drive"), 5.0f);
    auto saved = xmlOf (saveState (p));
    EXPECT_TRUE (saved->hasTagName ("PARAMS"));
    EXPECT_EQ (saved->getChildByName ("JUNK"), nullptr);
}

TEST (State, ParamsRootWithoutParametersResetsEveryParameterAndReadsTheRest)
{
    QuillonAudioProcessor p;
    set (p, "drive", 11.0f);
    set (p, "filterCutoff", 300.0f);

    std::vector<float> defaults;
    for (auto* param : p.getParameters())
        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (param))
            defaults.push_back (ranged->convertFrom0to1 (ranged->getDefaultValue()));

    restore (p, blobOf (R"(<PARAMS><PARAM id="noSuchParameter" value="1"/>
        <MIDILEARN><MAP cc="7" param="drive"/></MIDILEARN>
        <UISTATE presetName="blank" presetSource="user:/blank.xml" presetDirty="1" activeView="2"/></PARAMS>)"));
    EXPECT_EQ (snapshot (p), defaults);
    EXPECT_EQ (p.getMidiLearnMapping (7), p.indexOfParameter ("drive"));
    EXPECT_EQ (p.getPresetName(), "blank");
    EXPECT_EQ (p.getPresetSource(), "user:/blank.xml");
    EXPECT_TRUE (p.presetDirty.load());
    EXPECT_EQ (p.activeView.load(), 2);

    // What it saves says every value, and reads back the same.
    const auto saved = saveState (p);
    expectEveryParameterHasIdAndValue (*xmlOf (saved), p);
    QuillonAudioProcessor q;
    restore (q, saved);
    EXPECT_EQ (snapshot (q), defaults);

    // The same for a preset tree: an empty one is the defaults, not a refusal.
    set (p, "drive", 5.0f);
    EXPECT_TRUE (p.loadStateTree (*juce::parseXML ("<PARAMS/>")));
    EXPECT_EQ (snapshot (p), defaults);
    EXPECT_FALSE (p.presetDirty.load());
    EXPECT_EQ (p.getMidiLearnMapping (7), p.indexOfParameter ("drive"));
}

TEST (State, LoadStateTreeRefusesXmlWithoutOurParameters)
{
    QuillonAudioProcessor p;
    set (p, "drive", 3.0f);
    auto foreign = juce::parseXML ("<presetManifest/>");
    EXPECT_FALSE (p.loadStateTree (*foreign));
    EXPECT_FLOAT_EQ (raw (p, "drive"), 3.0f);
    EXPECT_TRUE (p.presetDirty.load());
}

TEST (State, RestoreReleasesHeldNotesOnTheNextBlock)
{
    QuillonAudioProcessor p;
    p.prepareToPlay (48000.0, 256);
    juce::AudioBuffer<float> buffer (2, 256);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 40, (juce::uint8) 100), 0);
    p.processBlock (buffer, midi);
    ASSERT_EQ (p.getHeldNoteCount(), 1);

    restore (p, saveState (p));
    juce::MidiBuffer none;
    p.processBlock (buffer, none);
    EXPECT_EQ (p.getHeldNoteCount(), 0);
    EXPECT_EQ (p.engine.lastNote, -1);
}

TEST (State, BlobsThatBrokeTheFrameworkChangeNothing)
{
    QuillonAudioProcessor p;
    set (p, "drive", 3.0f);
    p.setPresetInfo ("mine", "factory:init_clean.xml");
    set (p, "drive", 4.0f);
    const auto before = snapshot (p);

    const auto wrap = [] (const std::string& text, juce::uint32 length)
    {
        juce::MemoryBlock block;
        block.append ("VC2!", 4);
        block.append (&length, 4);
        block.append (text.data(), text.size());
        return block;
    };
    const auto wrapText = [&wrap] (const std::string& text) { return wrap (text + '\0', (juce::uint32) text.size()); };

    std::string deep;
    for (int i = 0; i < 25000; ++i)
        deep += "<PARAMS>";

    for (const auto& blob : { wrapText ("<PARAMS><?x?>a</PARAMS>"),                                 // looped for ever
                              wrapText ("<PARAMS><PARAM id=\"drive\" value=\"1\"/>\xf0"),            // read past the end
                              wrap ("<PARAMS a=\"&#x4", 15),                                        // read past the end
                              wrapText ("<PARAMS><PARAM id=\"drive\" value=\"1\" value=\"9\"/></PARAMS>"),
                              wrapText ("<!DOCTYPE PARAMS SYSTEM \"/dev/zero\"><PARAMS a=\"&x;\"/>"),
                              wrapText (deep) })                                                    // overflowed the stack
    {
        restore (p, blob);
        EXPECT_EQ (snapshot (p), before);
        EXPECT_EQ (p.getPresetName(), "mine");
        EXPECT_TRUE (p.presetDirty.load());
    }
}

TEST (State, NamesWithAnyCharacterSurviveARestore)
{
    // The framework writes control characters as references XML itself does not allow; a preset
    // named with one must not make the host's project unreadable.
    QuillonAudioProcessor p;
    const auto name = juce::String::fromUTF8 ("tab\there \x01\x1f \xef\xbf\xbf end \xf4\x8f\xbc\x81");
    p.setPresetInfo (name, "user:/tmp/a\x02" "b.xml");
    set (p, "drive", 2.5f);

    QuillonAudioProcessor q;
    restore (q, saveState (p));
    EXPECT_EQ (q.getPresetName(), name);
    EXPECT_EQ (q.getPresetSource(), "user:/tmp/a\x02" "b.xml");
    EXPECT_FLOAT_EQ (raw (q, "drive"), 2.5f);
}
