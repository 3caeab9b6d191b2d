// User preset files as they may be found, and saves that cannot be done: refused with a reason,
// nothing changed, and the editor says so.

#include "WindowTestSupport.h"

#include "ui/Settings.h"
#include "ui/UserPresets.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace window_tests;

namespace
{
class PresetFileSafety : public ::testing::Test
{
protected:
    PresetFileSafety()
    {
        setParam (processor, "filterCutoff", 321.0f);
        processor.setPresetInfo ("kept", "factory:init_clean.xml");
        setParam (processor, "filterCutoff", 322.0f);
    }

    juce::File write (const juce::String& name, const std::string& bytes)
    {
        const auto file = folder.getChildFile (name);
        file.replaceWithData (bytes.data(), bytes.size());
        return file;
    }

    void expectNothingChanged()
    {
        EXPECT_NEAR (paramValue (processor, "filterCutoff"), 322.0f, 1.0f);
        EXPECT_EQ (processor.getPresetName(), "kept");
        EXPECT_EQ (processor.getPresetSource(), "factory:init_clean.xml");
        EXPECT_TRUE (processor.presetDirty.load());
    }

    juce::String refusalOf (const juce::File& file)
    {
        juce::String error;
        EXPECT_FALSE (quillon::ui::loadUserPresetFile (processor, file, &error)) << file.getFileName();
        expectNothingChanged();
        return error;
    }

    ScopedUserHome home;
    QuillonAudioProcessor processor;
    juce::File folder = quillon::ui::userPresetFolder();
};
} // namespace

TEST_F (PresetFileSafety, DamagedOrHostileFilesAreRefusedWithTheirReason)
{
    EXPECT_EQ (refusalOf (write ("hang.xml", "<PARAMS><?x?>a</PARAMS>")), "it holds a processing instruction");
    EXPECT_EQ (refusalOf (write ("dtd.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE PARAMS SYSTEM \"/dev/zero\">\n"
                                            "<PARAMS><PARAM id=\"drive\" value=\"&x;\"/></PARAMS>")),
               "it declares a document type");
    EXPECT_EQ (refusalOf (write ("lead.xml", "<PARAMS><PARAM id=\"drive\" value=\"2\"/>\xf0")), "it is not UTF-8 text");
    EXPECT_TRUE (refusalOf (write ("ref.xml", "<PARAMS displayName=\"&#x4")).startsWith ("it is not well-formed XML"));
    std::string deep ("<PARAMS>");
    for (int i = 0; i < 25000; ++i)
        deep += "<a>";
    EXPECT_EQ (refusalOf (write ("deep.xml", deep)), "it is nested more than 8 levels deep");

    // Loaded the first value while the host project saved the last.
    EXPECT_EQ (refusalOf (write ("twice.xml", "<PARAMS><PARAM id=\"filterCutoff\" value=\"100\" value=\"9000\"/></PARAMS>")),
               "an element repeats an attribute");
    // Cut right after an attribute's opening quote: was "every parameter at its default".
    EXPECT_TRUE (refusalOf (write ("cut.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<PARAMS displayName=\""))
                     .startsWith ("it is not well-formed XML"));
    EXPECT_EQ (refusalOf (write ("empty.xml", "<PARAMS displayName=\"nothing\"/>")), "it holds no Quillon parameter");
    EXPECT_EQ (refusalOf (write ("unknown.xml", "<PARAMS><PARAM id=\"noSuchThing\" value=\"1\"/></PARAMS>")),
               "it holds no Quillon parameter");

    // A FIFO would block the editor for ever.
    const auto fifo = folder.getChildFile ("fifo.xml");
    ASSERT_EQ (mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0);
    EXPECT_EQ (refusalOf (fifo), "it is not a regular file");
}

TEST_F (PresetFileSafety, APresetWithOneKnownParameterLoads)
{
    juce::String error;
    ASSERT_TRUE (quillon::ui::loadUserPresetFile (processor, write ("one.xml", "<PARAMS><PARAM id=\"filterCutoff\" value=\"555\"/></PARAMS>"),
                                                  &error)) << error;
    EXPECT_NEAR (paramValue (processor, "filterCutoff"), 555.0f, 1.0f);
    EXPECT_EQ (processor.getPresetName(), "one");
}

TEST_F (PresetFileSafety, ALongNameIsShortenedToFitAndStaysApart)
{
    const auto longName = [] (const char* tail)
    {
        juce::String name;
        for (int i = 0; i < 200; ++i)
            name += juce::String::fromUTF8 ("\xc3\xa9"); // 400 bytes of accented letters
        return name + tail;
    };

    juce::String error;
    const auto first = quillon::ui::writeUserPreset (processor, folder, longName ("one"), &error);
    ASSERT_NE (first, juce::File()) << error;
    const auto second = quillon::ui::writeUserPreset (processor, folder, longName ("two"), &error);
    ASSERT_NE (second, juce::File()) << error;

    EXPECT_NE (first, second);
    EXPECT_LE ((int) first.getFileName().getNumBytesAsUTF8(), quillon::ui::maxFileNameBytes);
    EXPECT_TRUE (first.getFileName().endsWith (".xml"));
    // The same name finds the same file again, so "Save" replaces it.
    EXPECT_EQ (quillon::ui::userPresetFileFor (folder, longName ("one")), first);

    // And it loads back under the full name.
    ASSERT_TRUE (quillon::ui::loadUserPresetFile (processor, first, &error)) << error;
    EXPECT_EQ (processor.getPresetName(), longName ("one"));
}

TEST_F (PresetFileSafety, AReadOnlyPresetIsNotReplaced)
{
    const auto file = quillon::ui::writeUserPreset (processor, folder, "locked");
    ASSERT_NE (file, juce::File());
    const auto before = file.loadFileAsString();
    ASSERT_EQ (chmod (file.getFullPathName().toRawUTF8(), 0444), 0);
    processor.setPresetInfo ("kept", "factory:init_clean.xml");
    setParam (processor, "filterCutoff", 900.0f);

    juce::String error;
    EXPECT_EQ (quillon::ui::writeUserPreset (processor, folder, "locked", &error), juce::File());
    EXPECT_EQ (error, "\"locked.xml\" is read-only, so it was not replaced");
    EXPECT_EQ (file.loadFileAsString(), before);
    EXPECT_EQ (processor.getPresetName(), "kept");
    EXPECT_TRUE (processor.presetDirty.load());
    chmod (file.getFullPathName().toRawUTF8(), 0644);
}

TEST_F (PresetFileSafety, AWriteThatFailsHalfwayLeavesTheOldFileAndSaysWhy)
{
    const auto file = quillon::ui::writeUserPreset (processor, folder, "half");
    ASSERT_NE (file, juce::File());
    const auto before = file.loadFileAsString();
    processor.setPresetInfo ("kept", "factory:init_clean.xml");
    setParam (processor, "filterCutoff", 900.0f);

    // A file size limit fails the write part way, as a full disk does.
    struct rlimit old {};
    ASSERT_EQ (getrlimit (RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal (SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 256;
    ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);

    juce::String error;
    const auto written = quillon::ui::writeUserPreset (processor, folder, "half", &error);

    setrlimit (RLIMIT_FSIZE, &old);
    std::signal (SIGXFSZ, oldHandler);

    EXPECT_EQ (written, juce::File());
    EXPECT_TRUE (error.startsWith ("\"half.xml\" could not be written in " + folder.getFullPathName() + ": ")) << error;
    EXPECT_TRUE (error.containsIgnoreCase ("too large")) << error;
    EXPECT_EQ (file.loadFileAsString(), before);
    EXPECT_EQ (processor.getPresetName(), "kept");
    EXPECT_TRUE (processor.presetDirty.load());

    // Nothing half-written is left behind.
    EXPECT_EQ (folder.findChildFiles (juce::File::findFiles, false, "*.tmp", juce::File::FollowSymlinks::no).size(), 0);
}

TEST_F (PresetFileSafety, AFolderThatCannotBeWrittenIsReported)
{
    // As root, permissions do not stop a write; a folder of /proc does.
    const auto unwritable = geteuid() == 0 ? juce::File ("/proc/self/fdinfo") : folder.getChildFile ("locked");
    if (geteuid() != 0)
    {
        ASSERT_TRUE (unwritable.createDirectory());
        ASSERT_EQ (chmod (unwritable.getFullPathName().toRawUTF8(), 0555), 0);
    }

    juce::String error;
    EXPECT_EQ (quillon::ui::writeUserPreset (processor, unwritable, "nope", &error), juce::File());
    EXPECT_TRUE (error.startsWith ("\"nope.xml\" could not be written in " + unwritable.getFullPathName() + ": ")) << error;
    expectNothingChanged();
}

//==============================================================================
TEST_F (EditorFixture, FailedPresetSavesLoadsAndThemeImportsAreShownToTheUser)
{
    auto editor = open();
    const auto folder = quillon::ui::userPresetFolder();

    // Saving over a read-only file.
    const auto locked = quillon::ui::writeUserPreset (processor, folder, "locked");
    ASSERT_EQ (chmod (locked.getFullPathName().toRawUTF8(), 0444), 0);
    processor.setPresetInfo ("locked", "user:" + locked.getFullPathName());
    setParam (processor, "filterCutoff", 700.0f);
    editor->saveCurrentPreset (false);
    EXPECT_EQ (editor->getNoticeTitle(), "Preset not saved");
    EXPECT_EQ (editor->getNoticeText(), "\"locked\" was not saved: \"locked.xml\" is read-only, so it was not replaced.");
    EXPECT_TRUE (processor.presetDirty.load());
    // "Save preset as" onto it does not ask about replacing what cannot be replaced.
    editor->handleSaveAsResult (1, "locked");
    EXPECT_EQ (editor->getReplaceDialog(), nullptr);
    EXPECT_EQ (editor->getNoticeTitle(), "Preset not saved");
    chmod (locked.getFullPathName().toRawUTF8(), 0644);

    // Loading a damaged file.
    const auto cut = folder.getChildFile ("cut.xml");
    cut.replaceWithText ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<PARAMS displayName=\"");
    editor->loadChosenPresetFile (cut);
    EXPECT_EQ (editor->getNoticeTitle(), "Preset not loaded");
    EXPECT_TRUE (editor->getNoticeText().startsWith ("\"cut.xml\" was not loaded: it is not well-formed XML (line 2: ")) << editor->getNoticeText();
    EXPECT_EQ (processor.getPresetName(), "locked");
    EXPECT_TRUE (processor.presetDirty.load());

    // Themes are imported from the settings panel, and say there why one was refused.
    const auto theme = folder.getChildFile ("cut.json");
    theme.replaceWithText ("{ \"bg\": -");
    editor->applyImportedTheme (theme);
    EXPECT_EQ (editor->getSettingsPanel().getThemeNote(), "The JSON text ends too early.");
    theme.replaceWithText ("[1, 2, 3]");
    editor->applyImportedTheme (theme);
    EXPECT_EQ (editor->getSettingsPanel().getThemeNote(), "Theme JSON must be an object.");
    EXPECT_EQ (editor->getThemeName(), "dark");
}

TEST_F (EditorFixture, ASettingsFileSetAsideAtStartIsShownToTheUser)
{
    const auto settings = ScopedUserHome::settingsFile();
    ASSERT_TRUE (settings.getParentDirectory().createDirectory());
    ASSERT_TRUE (settings.replaceWithText ("<PROPERTIES><?x?>a</PROPERTIES>"));

    auto editor = open();
    EXPECT_EQ (editor->getNoticeTitle(), "Settings not read");
    EXPECT_TRUE (editor->getNoticeText().startsWith ("Quillon could not read its settings file (it holds a processing instruction)."))
        << editor->getNoticeText();
    // Started with the defaults, and the file is the program's own again.
    EXPECT_EQ (editor->getThemeName(), "dark");
    juce::StringPairArray values;
    EXPECT_TRUE (quillon::ui::readSettingsValues (settings, values));
}
