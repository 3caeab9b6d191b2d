#include "WindowTestSupport.h"

#include "ui/UserPresets.h"

using namespace window_tests;
using quillon::ui::makePresetFileName;

TEST (UserPresetFileName, KeepsSafeCharactersAndReplacesTheRest)
{
    EXPECT_EQ (makePresetFileName ("  Bass: Lead/2  "), "Bass_ Lead_2");
    EXPECT_EQ (makePresetFileName ("a*b?c\\d<e>f|g\"h"), "a_b_c_d_e_f_g_h");
    EXPECT_EQ (makePresetFileName ("warm-pad_v1.2"), "warm-pad_v1.2");
    EXPECT_EQ (makePresetFileName (""), "preset");
    EXPECT_EQ (makePresetFileName ("   "), "preset");

    // Letters outside ASCII stay; a path separator never survives.
    const auto umlaut = juce::String::fromUTF8 ("B\xc3\xb6se B\xc3\xa4sse");
    EXPECT_EQ (makePresetFileName (umlaut), umlaut);
    EXPECT_FALSE (makePresetFileName ("../../etc/passwd").containsChar ('/'));
}

class UserPresetFiles : public ::testing::Test
{
protected:
    ScopedUserHome home;
    QuillonAudioProcessor processor;
    juce::File folder = quillon::ui::userPresetFolder();
};

TEST_F (UserPresetFiles, FolderIsUserUnderQuillonInTheUserDataFolder)
{
    EXPECT_TRUE (folder.isDirectory());
    EXPECT_EQ (folder, home.userPresetFolder());
}

TEST_F (UserPresetFiles, SaveWritesTheTreeWithItsDisplayNameAndBecomesTheCurrentPreset)
{
    setParam (processor, "filterCutoff", 1234.0f);
    ASSERT_TRUE (processor.presetDirty.load());

    const auto file = quillon::ui::writeUserPreset (processor, folder, "Bass: Lead/2");
    EXPECT_EQ (file, folder.getChildFile ("Bass_ Lead_2.xml"));
    ASSERT_TRUE (file.existsAsFile());

    const auto text = file.loadFileAsString();
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"));
    EXPECT_TRUE (text.contains ("\r\n"));

    const auto xml = juce::XmlDocument::parse (file);
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (xml->hasTagName ("PARAMS"));
    EXPECT_EQ (xml->getStringAttribute ("displayName"), "Bass: Lead/2");
    EXPECT_GT (xml->getNumChildElements(), 90);

    EXPECT_EQ (processor.getPresetName(), "Bass: Lead/2");
    EXPECT_EQ (processor.getPresetSource(), "user:" + file.getFullPathName());
    EXPECT_FALSE (processor.presetDirty.load());
}

TEST_F (UserPresetFiles, SavingTwiceUnderOneNameReplacesTheFile)
{
    setParam (processor, "filterCutoff", 500.0f);
    quillon::ui::writeUserPreset (processor, folder, "same");
    setParam (processor, "filterCutoff", 4000.0f);
    quillon::ui::writeUserPreset (processor, folder, "same");

    EXPECT_EQ (folder.findChildFiles (juce::File::findFiles, false, "*.xml").size(), 1);

    setParam (processor, "filterCutoff", 100.0f);
    ASSERT_TRUE (quillon::ui::loadUserPresetFile (processor, folder.getChildFile ("same.xml")));
    EXPECT_NEAR (paramValue (processor, "filterCutoff"), 4000.0f, 1.0f);
}

TEST_F (UserPresetFiles, LoadRestoresParametersAndNamesThePreset)
{
    setParam (processor, "filterCutoff", 777.0f);
    setParam (processor, "outputGain", -12.0f);
    const auto file = quillon::ui::writeUserPreset (processor, folder, "Deep one");

    setParam (processor, "filterCutoff", 5000.0f);
    setParam (processor, "outputGain", 0.0f);
    processor.setPresetInfo ("other", "factory:init_clean.xml");

    ASSERT_TRUE (quillon::ui::loadUserPresetFile (processor, file));
    EXPECT_NEAR (paramValue (processor, "filterCutoff"), 777.0f, 1.0f);
    EXPECT_NEAR (paramValue (processor, "outputGain"), -12.0f, 0.01f);
    EXPECT_EQ (processor.getPresetName(), "Deep one");
    EXPECT_TRUE (processor.getPresetSource().startsWith ("user:"));
    EXPECT_TRUE (processor.getPresetSource().endsWith (file.getFullPathName()));
    EXPECT_FALSE (processor.presetDirty.load());
}

TEST_F (UserPresetFiles, AFileWithoutDisplayNameIsNamedAfterItsFile)
{
    const auto saved = quillon::ui::writeUserPreset (processor, folder, "tmp");
    auto xml = juce::XmlDocument::parse (saved);
    xml->removeAttribute ("displayName");
    const auto file = folder.getChildFile ("warm pad.xml");
    ASSERT_TRUE (xml->writeTo (file));

    ASSERT_TRUE (quillon::ui::loadUserPresetFile (processor, file));
    EXPECT_EQ (processor.getPresetName(), "warm pad");
}

TEST_F (UserPresetFiles, FilesThatAreNotPresetsChangeNothing)
{
    setParam (processor, "filterCutoff", 321.0f);
    processor.setPresetInfo ("kept", "factory:init_clean.xml");

    const auto garbage = folder.getChildFile ("garbage.xml");
    garbage.replaceWithText ("this is not xml <<<");
    const auto foreign = folder.getChildFile ("foreign.xml");
    foreign.replaceWithText ("<?xml version=\"1.0\"?><SOMETHING a=\"1\"/>");

    EXPECT_FALSE (quillon::ui::loadUserPresetFile (processor, garbage));
    EXPECT_FALSE (quillon::ui::loadUserPresetFile (processor, foreign));
    EXPECT_FALSE (quillon::ui::loadUserPresetFile (processor, folder.getChildFile ("missing.xml")));
    EXPECT_FALSE (quillon::ui::loadUserPresetFile (processor, juce::File()));

    EXPECT_NEAR (paramValue (processor, "filterCutoff"), 321.0f, 1.0f);
    EXPECT_EQ (processor.getPresetName(), "kept");
    EXPECT_EQ (processor.getPresetSource(), "factory:init_clean.xml");
}

TEST_F (UserPresetFiles, AFailedWriteKeepsThePresetMarkedAsModified)
{
    setParam (processor, "filterCutoff", 321.0f);
    processor.setPresetInfo ("kept", "factory:init_clean.xml");
    setParam (processor, "filterCutoff", 322.0f);

    // A "folder" that is really a file cannot hold a preset, whatever the rights of the user.
    const auto notAFolder = folder.getChildFile ("plain-file");
    notAFolder.replaceWithText ("x");

    EXPECT_EQ (quillon::ui::writeUserPreset (processor, notAFolder, "nope"), juce::File());
    EXPECT_EQ (processor.getPresetName(), "kept");
    EXPECT_TRUE (processor.presetDirty.load());
}

TEST (UserPresetFileName, PunctuationControlsAndInvisibleCharactersNeverStay)
{
    const auto name = [] (const char* utf8) { return makePresetFileName (juce::String::fromUTF8 (utf8)); };

    // Typographic punctuation is punctuation: "Bass—Lead…" gives "Bass_Lead_".
    EXPECT_EQ (name ("Bass\xe2\x80\x94Lead\xe2\x80\xa6"), "Bass_Lead_");
    EXPECT_EQ (name ("\xc2\xabwarm\xc2\xbb \xe2\x80\x9cpad\xe2\x80\x9d"), "_warm_ _pad_");

    // Direction isolates, zero-width and other format characters would hide in a file name.
    EXPECT_EQ (name ("a\xe2\x81\xa6" "b\xe2\x81\xa7" "c\xe2\x81\xa8" "d\xe2\x81\xa9" "e"), "a_b_c_d_e");
    EXPECT_EQ (name ("x\xe2\x80\x8by\xe2\x80\x8ez\xe2\x80\xaew\xef\xbb\xbf" "v\xc2\xad" "u"), "x_y_z_w_v_u");
    // Combining marks, also those counted as letters, and controls.
    EXPECT_EQ (name ("e\xcc\x81t\xcd\x85" "e"), "e_t_e");
    EXPECT_EQ (name ("tab\there\x7f" "del\xc2\x85nel"), "tab_here_del_nel");

    // Letters and digits of other scripts stay.
    for (const char* kept : { "\xd0\x91\xd0\xb0\xd1\x81", "\xe4\xb8\xad\xe6\x96\x87", "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d",
                              "\xd9\xa3\xd9\xa4", "Caf\xc3\xa9" })
        EXPECT_EQ (name (kept), juce::String::fromUTF8 (kept));

    // Nothing but replacements and safe characters ever comes out.
    for (const char* odd : { "\xe2\x80\xa8\xe2\x80\xa9", "\xf0\x9f\x98\x80 emoji", "\xee\x80\x80private" })
        for (auto c : name (odd))
            EXPECT_TRUE (c == '_' || c == ' ' || juce::CharacterFunctions::isLetterOrDigit (c)) << (int) c;
}
