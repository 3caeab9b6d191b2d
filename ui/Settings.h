#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include <functional>
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

/** Reads the settings file's values as the framework would (an XML child is the value as text,
    otherwise the "val" attribute), through quillon::input::readXml. False, with the reason, when the
    file or one of its XML values cannot be read safely. */
bool readSettingsValues (const juce::File& file, juce::StringPairArray& values, juce::String* error = nullptr);

/** The settings file's document for these values, in the framework's own form. */
std::unique_ptr<juce::XmlElement> createSettingsXml (const juce::StringPairArray& values);

/** Renames an unreadable settings file to "<name>.unreadable-<date and time>" beside it; the new
    file, or an empty File when it could not be moved. */
juce::File setUnreadableSettingsAside (const juce::File& file);

/** Where the settings files say what went wrong (a file set aside, a write that failed): the
    editor shows it. Without a handler the last problem waits for one. */
void setSettingsProblemHandler (std::function<void (const juce::String& title, const juce::String& text)> handler);

/** The editor settings file. Several objects write this one file: every editor, the preset browser and,
    in the standalone program, the framework's wrapper, each with its own keys. A plain PropertiesFile
    rewrites the file from its own key set and so loses whatever the others wrote since it was opened.
    This one merges before each save: values it did not change itself are taken from the file as it is
    on disk now, and after the save every other SettingsFile on the same file in this process picks up
    the result, so none of them later writes back a stale value. A write that failed is tried again,
    merged again, at the next change and when the object closes; never by the base class's plain
    saveIfNeeded, which would write the stale key set.
    The file is read safely before the framework sees it; one that cannot be read is set aside and
    the defaults are used. Writers of this and other processes take a per-user lock beside the file,
    waiting at most two seconds. Message thread only. */
class SettingsFile : public juce::PropertiesFile
{
public:
    SettingsFile();
    SettingsFile (const juce::File& settingsFile, const juce::PropertiesFile::Options& settingsOptions);
    ~SettingsFile() override;

    /** Where an unreadable file found at opening was moved; an empty File when none was. */
    const juce::File& getSetAsideFile() const noexcept { return setAsideFile; }

protected:
    void propertyChanged() override;

private:
    SettingsFile (const juce::File&, const juce::PropertiesFile::Options&, const juce::File& setAside);
    static juce::File screen (const juce::File& file);
    static juce::File setAside (const juce::File& file, const juce::String& reason);
    bool writeMerged();
    juce::Result writeNow();
    void takeOthersKeysFromDisk();
    void shareWithSiblings();

    juce::StringPairArray synced;
    juce::File setAsideFile;
    const bool doNotSave;
    bool unsaved = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SettingsFile)
};

/** Opens the per-user settings file as a SettingsFile. */
std::unique_ptr<juce::PropertiesFile> openSettingsFile();

} // namespace quillon::ui
