#include "ui/Settings.h"

#include <gtest/gtest.h>

using namespace quillon::ui;

namespace
{
struct SettingsTest : ::testing::Test
{
    juce::TemporaryFile temp { ".settings" };
    juce::File file() const { return temp.getFile(); }

    // A writer that knows nothing of the merge, such as an older build of the program.
    std::unique_ptr<juce::PropertiesFile> plainWriter() const
    {
        auto options = settingsFileOptions();
        options.processLock = nullptr;
        return std::make_unique<juce::PropertiesFile> (file(), options);
    }

    std::unique_ptr<SettingsFile> settingsWriter() const
    {
        return std::make_unique<SettingsFile> (file(), settingsFileOptions());
    }

    juce::String onDisk (const juce::String& key) const
    {
        auto options = settingsFileOptions();
        options.doNotSave = true;
        return juce::PropertiesFile (file(), options).getValue (key);
    }
};
} // namespace

TEST_F (SettingsTest, OptionsNameTheProductFile)
{
    const auto options = settingsFileOptions();
    EXPECT_EQ (options.applicationName, "Quillon");
    EXPECT_EQ (settingsFileLocation().getFileName(), "Quillon.settings");
    // One product folder for the settings, the user presets and the themes.
    EXPECT_EQ (settingsFileLocation().getParentDirectory(), productFolder());
    EXPECT_EQ (productFolder().getFileName(), "Quillon");
    EXPECT_EQ (options.millisecondsBeforeSaving, 0);
    EXPECT_FALSE (options.ignoreCaseOfKeyNames);
    EXPECT_EQ (favouriteKeyFor ("reese_classic.xml"), "fav_reese_classic.xml");
}

TEST_F (SettingsTest, WritesAreOnDiskAtOnceAndMissingFileGivesDefaults)
{
    ASSERT_TRUE (file().deleteFile());
    auto editor = settingsWriter();
    EXPECT_DOUBLE_EQ (editor->getDoubleValue (settingsKeys::displayScale, 1.0), 1.0);
    EXPECT_TRUE (editor->getBoolValue (settingsKeys::showTooltips, true));
    EXPECT_EQ (editor->getValue (settingsKeys::themeName, "dark"), "dark");

    editor->setValue (settingsKeys::showTooltips, true);
    EXPECT_TRUE (file().existsAsFile());
    EXPECT_EQ (onDisk (settingsKeys::showTooltips), "1");
}

TEST_F (SettingsTest, NoWriterDropsAnotherWritersKeys)
{
    // Wrapper, editor and browser all open the file, then write in turn.
    auto wrapper = plainWriter();
    auto editor = settingsWriter();
    auto browser = settingsWriter();

    wrapper->setValue ("audioSetup", "<DEVICESETUP deviceType=\"ALSA\"/>");
    wrapper->setValue ("shouldMuteInput", true);
    editor->setValue (settingsKeys::themeName, "halogenMint");
    browser->setValue (favouriteKeyFor ("init_clean.xml"), true);
    editor->setValue (settingsKeys::displayScale, 1.25);

    EXPECT_EQ (onDisk ("shouldMuteInput"), "1");
    EXPECT_TRUE (onDisk ("audioSetup").contains ("ALSA"));
    EXPECT_EQ (onDisk (settingsKeys::themeName), "halogenMint");
    EXPECT_EQ (onDisk ("fav_init_clean.xml"), "1");
    EXPECT_EQ (onDisk (settingsKeys::displayScale), "1.25");

    // The browser never saw the editor's later write, yet it does not put an old value back.
    browser->setValue (favouriteKeyFor ("init_clean.xml"), false);
    EXPECT_EQ (onDisk (settingsKeys::displayScale), "1.25");
    EXPECT_EQ (onDisk ("fav_init_clean.xml"), "0");

    // Another editor (a second plug-in instance) choosing what the first one's memory already holds
    // still reaches the file, because the first one's choice was shared with it.
    auto second = settingsWriter();
    editor->setValue (settingsKeys::themeName, "oxbloodTape");
    EXPECT_EQ (second->getValue (settingsKeys::themeName), "oxbloodTape");
    second->setValue (settingsKeys::themeName, "dark");
    EXPECT_EQ (onDisk (settingsKeys::themeName), "dark");

    // A removal by one writer is not undone by the merge.
    editor->removeValue (settingsKeys::themeJson);
    editor->setValue (settingsKeys::themeJson, "{}");
    browser->removeValue (settingsKeys::themeJson);
    EXPECT_TRUE (onDisk (settingsKeys::themeJson).isEmpty());
    EXPECT_EQ (onDisk ("shouldMuteInput"), "1");
}

TEST_F (SettingsTest, StandaloneWindowWritingLastKeepsTheEditorsChoices)
{
    // The standalone window opens the file first and saves its state last, at quit.
    auto window = settingsWriter();
    window->setValue ("audioSetup", "<DEVICESETUP deviceType=\"ALSA\"/>");
    {
        auto editor = settingsWriter();
        editor->setValue (settingsKeys::themeName, "saffronStatic");
        editor->setValue (settingsKeys::themeJson, "{ \"bg\": {} }");
    }
    window->setValue ("filterState", "AAAA");
    window.reset();

    EXPECT_EQ (onDisk (settingsKeys::themeName), "saffronStatic");
    EXPECT_EQ (onDisk (settingsKeys::themeJson), "{ \"bg\": {} }");
    EXPECT_EQ (onDisk ("filterState"), "AAAA");
    EXPECT_TRUE (onDisk ("audioSetup").contains ("ALSA"));

    // The same order across processes: a window opened before an editor in another program wrote.
    auto lateWindow = settingsWriter();
    {
        auto otherProcessEditor = plainWriter();
        otherProcessEditor->setValue (settingsKeys::displayScale, 1.5);
    }
    lateWindow->setValue ("shouldMuteInput", false);
    EXPECT_EQ (onDisk (settingsKeys::displayScale), "1.5");
}

TEST_F (SettingsTest, UnreadableFileIsNotMergedIntoMemory)
{
    auto editor = settingsWriter();
    editor->setValue (settingsKeys::themeName, "dark");
    ASSERT_TRUE (file().replaceWithText ("this is not a properties file"));
    editor->setValue (settingsKeys::displayScale, 0.75);
    EXPECT_EQ (editor->getValue (settingsKeys::themeName), "dark");
    EXPECT_EQ (onDisk (settingsKeys::displayScale), "0.75");
}

TEST_F (SettingsTest, AWriteRetriedAfterAFailureStillKeepsOtherWritersKeys)
{
    auto editor = settingsWriter();
    editor->setValue (settingsKeys::displayScale, 1.0);

    // The file cannot be written for a while (here: a folder stands where it belongs).
    ASSERT_TRUE (file().deleteFile());
    ASSERT_TRUE (file().createDirectory());
    editor->setValue (settingsKeys::themeName, "halogenMint");
    // The framework's own retry must not write a stale key set later.
    EXPECT_FALSE (editor->needsToBeSaved());

    // Meanwhile, once the file is back, another writer stores its keys.
    ASSERT_TRUE (file().deleteRecursively());
    {
        auto wrapper = plainWriter();
        wrapper->setValue ("audioSetup", "<DEVICESETUP deviceType=\"ALSA\"/>");
        wrapper->setValue (settingsKeys::displayScale, 1.5);
    }

    // Every retry merges: the explicit save the editor makes after each write, and the one at close.
    editor->saveIfNeeded();
    EXPECT_TRUE (onDisk ("audioSetup").contains ("ALSA"));
    editor.reset();
    EXPECT_TRUE (onDisk ("audioSetup").contains ("ALSA"));
    EXPECT_EQ (onDisk (settingsKeys::themeName), "halogenMint");
    // A value it did not change itself is the other writer's.
    EXPECT_EQ (onDisk (settingsKeys::displayScale), "1.5");

    // A retry at the next change merges too.
    auto browser = settingsWriter();
    ASSERT_TRUE (file().deleteFile());
    ASSERT_TRUE (file().createDirectory());
    browser->setValue (favouriteKeyFor ("a.xml"), true);
    ASSERT_TRUE (file().deleteRecursively());
    plainWriter()->setValue ("filterState", "AAAA");
    browser->setValue (favouriteKeyFor ("b.xml"), true);
    EXPECT_EQ (onDisk ("filterState"), "AAAA");
    EXPECT_EQ (onDisk ("fav_a.xml"), "1");
    EXPECT_EQ (onDisk ("fav_b.xml"), "1");
}
