#include "ui/FileWriting.h"
#include "ui/Settings.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillon::ui;

namespace
{
struct SettingsTest : ::testing::Test
{
    juce::TemporaryFile temp { ".settings" };
    juce::File file() const { return temp.getFile(); }

    ~SettingsTest() override
    {
        // What the settings leave beside the file: its lock, and unreadable files kept aside.
        for (const auto& left : file().getParentDirectory().findChildFiles (juce::File::findFiles, false,
                                                                            file().getFileName() + ".unreadable-*",
                                                                            juce::File::FollowSymlinks::no))
            left.deleteFile();
        file().getSiblingFile ("." + file().getFileName() + ".lock").deleteFile();
    }

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

//==============================================================================
namespace
{
struct SettingsFileSafety : SettingsTest
{
    std::vector<std::pair<juce::String, juce::String>> problems;

    SettingsFileSafety()
    {
        setSettingsProblemHandler ([this] (const juce::String& title, const juce::String& text) { problems.emplace_back (title, text); });
    }

    ~SettingsFileSafety() override { setSettingsProblemHandler (nullptr); }

    juce::Array<juce::File> setAside() const
    {
        return file().getParentDirectory().findChildFiles (juce::File::findFiles, false, file().getFileName() + ".unreadable-*",
                                                           juce::File::FollowSymlinks::no);
    }
};
} // namespace

TEST_F (SettingsFileSafety, AFileThatCannotBeReadIsKeptAsideAndTheDefaultsAreUsed)
{
    const std::vector<std::pair<std::string, juce::String>> files {
        // Hung every start.
        { "<PROPERTIES><?x?>a</PROPERTIES>", "it holds a processing instruction" },
        // Crashed every start.
        { "<PROPERTIES><VALUE name=\"audioSetup\"><a>text<b><c/></b></a></VALUE></PROPERTIES>",
          "an element holds both text and elements" },
        // Ate memory without bound.
        { "<!DOCTYPE PROPERTIES SYSTEM \"/dev/zero\">\n<PROPERTIES><VALUE name=\"x\" val=\"&boom;\"/></PROPERTIES>",
          "it declares a document type" },
        { "<PROPERTIES><VALUE name=\"displayScale\" val=\"1.5\"/>\xf0", "it is not UTF-8 text" },
        // A value the framework parses again when it saves.
        { "<PROPERTIES><VALUE name=\"audioSetup\" val=\"&lt;a&gt;&lt;?x?&gt;b&lt;/a&gt;\"/></PROPERTIES>",
          "the value of \"audioSetup\" cannot be read: it holds a processing instruction" },
        { std::string ("PROP\x01\x00\x00\x00", 8), "it is not UTF-8 text" },
        { "<notSettings/>", "it is not a Quillon settings file" },
    };

    for (const auto& [bytes, reason] : files)
    {
        problems.clear();
        ASSERT_TRUE (file().replaceWithData (bytes.data(), bytes.size()));

        auto editor = settingsWriter();
        EXPECT_EQ (editor->getValue (settingsKeys::displayScale, "default"), "default") << reason;
        EXPECT_EQ (editor->getAllProperties().size(), 0) << reason;

        // Kept byte for byte, under a name that says why.
        const auto aside = editor->getSetAsideFile();
        ASSERT_TRUE (aside.existsAsFile()) << reason;
        EXPECT_TRUE (aside.getFileName().startsWith (file().getFileName() + ".unreadable-")) << aside.getFileName();
        juce::MemoryBlock kept;
        aside.loadFileAsData (kept);
        EXPECT_EQ (kept, juce::MemoryBlock (bytes.data(), bytes.size())) << reason;

        ASSERT_EQ (problems.size(), 1u) << reason;
        EXPECT_EQ (problems[0].first, "Settings not read");
        EXPECT_EQ (problems[0].second, "Quillon could not read its settings file (" + reason + "). It was kept as \""
                                           + aside.getFileName() + "\" and the defaults are used.");

        // The program goes on with a file of its own.
        editor->setValue (settingsKeys::showTooltips, true);
        EXPECT_EQ (onDisk (settingsKeys::showTooltips), "1");
        aside.deleteFile();
    }
}

TEST_F (SettingsFileSafety, WhatTheProgramAndTheWindowWriteReadsBackUnchanged)
{
    {
        auto editor = settingsWriter();
        editor->setValue (settingsKeys::themeJson, "{\r\n  \"bg\": { \"ground\": \"#102030\" }\r\n}");
        editor->setValue ("audioSetup", juce::String::fromUTF8 ("<DEVICESETUP deviceType=\"ALSA\"><MIDIINPUT name=\"K\xc3\xa4ys\" identifier=\"hw:1\"/></DEVICESETUP>"));
        editor->setValue ("odd", juce::String::fromUTF8 ("a\x01<b>&\"\xef\xbf\xbf"));
    }

    auto again = settingsWriter();
    EXPECT_TRUE (again->getSetAsideFile() == juce::File());
    EXPECT_TRUE (problems.empty());
    EXPECT_EQ (again->getValue (settingsKeys::themeJson), "{\r\n  \"bg\": { \"ground\": \"#102030\" }\r\n}");
    EXPECT_EQ (again->getXmlValue ("audioSetup")->getChildByName ("MIDIINPUT")->getStringAttribute ("name"),
               juce::String::fromUTF8 ("K\xc3\xa4ys"));
    EXPECT_EQ (again->getValue ("odd"), juce::String::fromUTF8 ("a\x01<b>&\"\xef\xbf\xbf"));
}

TEST_F (SettingsFileSafety, AFileThatBecameUnreadableIsKeptBeforeItIsOverwritten)
{
    auto editor = settingsWriter();
    editor->setValue (settingsKeys::themeName, "dark");
    ASSERT_TRUE (file().replaceWithText ("<PROPERTIES><?x?>a</PROPERTIES>"));

    editor->setValue (settingsKeys::displayScale, 0.75);
    ASSERT_EQ (setAside().size(), 1);
    EXPECT_EQ (setAside()[0].loadFileAsString(), "<PROPERTIES><?x?>a</PROPERTIES>");
    EXPECT_EQ (onDisk (settingsKeys::displayScale), "0.75");
    EXPECT_EQ (onDisk (settingsKeys::themeName), "dark");
}

TEST_F (SettingsFileSafety, AWriteThatFailsIsReportedOnceUntilOneSucceeds)
{
    auto editor = settingsWriter();
    editor->setValue (settingsKeys::displayScale, 1.0);
    ASSERT_TRUE (file().deleteFile());
    ASSERT_TRUE (file().createDirectory());

    editor->setValue (settingsKeys::themeName, "halogenMint");
    editor->setValue (settingsKeys::showTooltips, false);
    ASSERT_EQ (problems.size(), 1u);
    EXPECT_EQ (problems[0].first, "Settings not saved");
    EXPECT_EQ (problems[0].second, "Quillon could not save its settings to \"" + file().getFullPathName()
                                       + "\": a folder stands where the file belongs. It tries again at the next change.");

    ASSERT_TRUE (file().deleteRecursively());
    editor->setValue (settingsKeys::displayScale, 1.5);
    EXPECT_EQ (onDisk (settingsKeys::themeName), "halogenMint");
    file().deleteFile();
    ASSERT_TRUE (file().createDirectory());
    editor->setValue (settingsKeys::displayScale, 1.25);
    EXPECT_EQ (problems.size(), 2u); // a new run of failures is said again
    file().deleteRecursively();
}

// Two programs saving into one folder at the same moment (two instances, or a preset and the
// settings) once took the same name for the file that is written first, and one save failed.
TEST (FileWriting, WritersInOneFolderAtOnceAllSucceed)
{
    const juce::TemporaryFile folder;
    ASSERT_TRUE (folder.getFile().createDirectory());
    constexpr int writers = 4, writes = 300;

    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w)
    {
        const pid_t pid = fork();
        ASSERT_GE (pid, 0);
        if (pid == 0)
        {
            const auto target = folder.getFile().getChildFile ("writer" + juce::String (w));
            int failures = 0;
            for (int i = 0; i < writes; ++i)
                failures += replaceFileContent (target, juce::String (i)).failed() ? 1 : 0;
            _exit (std::min (failures, 100));
        }
        children.push_back (pid);
    }

    for (const auto pid : children)
    {
        int status = 0;
        ASSERT_EQ (waitpid (pid, &status, 0), pid);
        EXPECT_TRUE (WIFEXITED (status));
        EXPECT_EQ (WEXITSTATUS (status), 0) << "failed writes (of " << writes << ")";
    }

    for (int w = 0; w < writers; ++w)
        EXPECT_EQ (folder.getFile().getChildFile ("writer" + juce::String (w)).loadFileAsString(), juce::String (writes - 1));
    // Nothing half-written is left behind.
    EXPECT_EQ (folder.getFile().getNumberOfChildFiles (juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles, "*"), writers);
    EXPECT_EQ (folder.getFile().findChildFiles (juce::File::findFiles, false, ".quillon-write*").size(), 0);
    folder.getFile().deleteRecursively();
}

TEST_F (SettingsFileSafety, TheLockIsTheUsersOwnAndItsWaitEnds)
{
    // The lock file lives beside the settings, in the user's folder, not machine-wide in /var/tmp.
    const auto lockFile = file().getSiblingFile ("." + file().getFileName() + ".lock");
    settingsWriter()->setValue (settingsKeys::displayScale, 1.0);
    EXPECT_TRUE (lockFile.existsAsFile());

    // Another process holds the lock and never lets go (a stuck instance).
    int ready[2];
    ASSERT_EQ (pipe (ready), 0);
    const pid_t holder = fork();
    ASSERT_GE (holder, 0);
    if (holder == 0)
    {
        const int fd = ::open (lockFile.getFullPathName().toRawUTF8(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        fcntl (fd, F_SETLK, &lock);
        [[maybe_unused]] const auto written = ::write (ready[1], "x", 1);
        for (;;)
            pause();
    }
    char byte = 0;
    ASSERT_EQ (::read (ready[0], &byte, 1), 1);

    // Opening and writing still finish; without a bound both would wait for ever.
    {
        auto editor = settingsWriter();
        editor->setValue (settingsKeys::displayScale, 0.75);
    }
    kill (holder, SIGKILL);
    waitpid (holder, nullptr, 0);
    close (ready[0]);
    close (ready[1]);
    EXPECT_EQ (onDisk (settingsKeys::displayScale), "0.75");
}
