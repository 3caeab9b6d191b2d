#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include <memory>

namespace quillon::ui
{

namespace settingsKeys
{
    inline constexpr const char* displayScale = "displayScale";
    inline constexpr const char* showTooltips = "showTooltips";
    inline constexpr const char* themeName = "themeName";
    inline constexpr const char* themeJson = "themeJson";
    inline constexpr const char* favouritePrefix = "fav_";
} // namespace settingsKeys

/** "fav_" + the preset's manifest file name, e.g. "fav_reese_classic.xml". */
juce::String favouriteKeyFor (const juce::String& presetFileName);

/** The per-user settings file: application "Quillon", suffix "settings", XML, saved at every change. */
juce::PropertiesFile::Options settingsFileOptions();

/** The product's per-user folder (user application data / "Quillon"): the settings file, the "User"
    presets and the "Themes" live here together. */
juce::File productFolder();

/** productFolder() / "Quillon.settings". JUCE's default for these options is the same file on Windows;
    on Linux it would be ~/.Quillon, away from the presets and themes. */
juce::File settingsFileLocation();

/** The editor settings file. Several objects write this one file: every editor, the preset browser and,
    in the standalone program, the framework's wrapper, each with its own keys. A plain PropertiesFile
    rewrites the file from its own key set and so loses whatever the others wrote since it was opened.
    This one merges before each save: values it did not change itself are taken from the file as it is
    on disk now, and after the save every other SettingsFile on the same file in this process picks up
    the result, so none of them later writes back a stale value. A write that failed is tried again,
    merged again, at the next change and when the object closes; never by the base class's plain
    saveIfNeeded, which would write the stale key set. Message thread only. */
class SettingsFile : public juce::PropertiesFile
{
public:
    SettingsFile();
    SettingsFile (const juce::File& settingsFile, const juce::PropertiesFile::Options& settingsOptions);
    ~SettingsFile() override;

protected:
    void propertyChanged() override;

private:
    bool writeMerged();
    void takeOthersKeysFromDisk();
    void shareWithSiblings();

    juce::StringPairArray synced;
    bool unsaved = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SettingsFile)
};

/** Opens the per-user settings file as a SettingsFile. */
std::unique_ptr<juce::PropertiesFile> openSettingsFile();

} // namespace quillon::ui
