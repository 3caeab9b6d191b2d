#pragma once

#include "support/Snapshots.h"
#include "plugin/PluginProcessor.h"
#include "ui/Editor.h"
#include "ui/Settings.h"

#include <juce_gui_basics/juce_gui_basics.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

namespace juce
{
// JUCE's own message-queue step (Linux): runs work posted with callAsync in a test.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace window_tests
{

inline void pumpMessages (int rounds = 50)
{
    for (int i = 0; i < rounds; ++i)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            break;
}

/** Points the per-user folders (HOME and XDG_CONFIG_HOME) at a fresh temporary folder, so the
    settings file and the user preset folder of a test never touch the real ones. */
class ScopedUserHome
{
public:
    // The process id in the name: test processes run side by side, and the check for a free name
    // and the folder's creation are not one step, so two could otherwise share and delete one folder.
    ScopedUserHome()
        : root (juce::File::getSpecialLocation (juce::File::tempDirectory)
                    .getNonexistentChildFile ("quillon-window-test-" + juce::String (getpid()), {}, false))
    {
        root.createDirectory();
        save ("HOME", oldHome, hadHome);
        save ("XDG_CONFIG_HOME", oldConfig, hadConfig);
        setenv ("HOME", root.getFullPathName().toRawUTF8(), 1);
        setenv ("XDG_CONFIG_HOME", root.getChildFile (".config").getFullPathName().toRawUTF8(), 1);
    }

    ~ScopedUserHome()
    {
        restore ("HOME", oldHome, hadHome);
        restore ("XDG_CONFIG_HOME", oldConfig, hadConfig);
        root.deleteRecursively();
    }

    const juce::File root;

    juce::File userPresetFolder() const { return root.getChildFile (".config/Quillon/User"); }

    /** The file the editor's settings use on this platform. */
    static juce::File settingsFile() { return quillon::ui::settingsFileLocation(); }

private:
    static void save (const char* name, juce::String& value, bool& had)
    {
        const char* v = std::getenv (name);
        had = v != nullptr;
        value = had ? juce::String::fromUTF8 (v) : juce::String();
    }

    static void restore (const char* name, const juce::String& value, bool had)
    {
        if (had)
            setenv (name, value.toRawUTF8(), 1);
        else
            unsetenv (name);
    }

    juce::String oldHome, oldConfig;
    bool hadHome = false, hadConfig = false;
};

/** Writes one key of the editor's settings file, as another writer would. */
inline void storeSetting (const juce::String& key, const juce::var& value)
{
    juce::PropertiesFile file (ScopedUserHome::settingsFile(), {});
    file.setValue (key, value);
    file.saveIfNeeded();
}

/** A processor in a private home, and its editor opened on demand. */
class EditorFixture : public ::testing::Test
{
protected:
    std::unique_ptr<quillon::ui::Editor> open()
    {
        auto editor = std::make_unique<quillon::ui::Editor> (processor);
        pumpMessages();
        return editor;
    }

    ScopedUserHome home;
    QuillonAudioProcessor processor;
};

inline juce::MouseEvent mouseAt (juce::Component& c, juce::Point<float> p, juce::ModifierKeys mods = {}, int clicks = 1)
{
    auto source = juce::Desktop::getInstance().getMainMouseSource();
    return juce::MouseEvent (source, p, mods, juce::MouseInputSource::defaultPressure, 0.0f, 0.0f, 0.0f, 0.0f,
                             &c, &c, juce::Time::getCurrentTime(), p, juce::Time::getCurrentTime(), clicks, false);
}

inline float paramValue (QuillonAudioProcessor& p, const juce::String& id)
{
    return p.parameterState.getRawParameterValue (id)->load();
}

inline void setParam (QuillonAudioProcessor& p, const juce::String& id, float value)
{
    auto* param = p.parameterState.getParameter (id);
    param->setValueNotifyingHost (param->convertTo0to1 (value));
}

using quillon::test::testOutputFile;
using quillon::test::writePng;

} // namespace window_tests
