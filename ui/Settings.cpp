#include "Settings.h"

#include <vector>

namespace quillon::ui
{
namespace
{
    juce::InterProcessLock& settingsLock()
    {
        static juce::InterProcessLock lock ("QuillonSettings");
        return lock;
    }

    std::vector<SettingsFile*>& openFiles()
    {
        static std::vector<SettingsFile*> files;
        return files;
    }
} // namespace

juce::String favouriteKeyFor (const juce::String& presetFileName)
{
    return settingsKeys::favouritePrefix + presetFileName;
}

juce::PropertiesFile::Options settingsFileOptions()
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Quillon";
    options.filenameSuffix = "settings";
    options.folderName = "";
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = false;
    options.doNotSave = false;
    options.millisecondsBeforeSaving = 0;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.processLock = &settingsLock();
    return options;
}

juce::File productFolder()
{
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory).getChildFile ("Quillon");
}

juce::File settingsFileLocation()
{
    return productFolder().getChildFile ("Quillon").withFileExtension (settingsFileOptions().filenameSuffix);
}

SettingsFile::SettingsFile()
    : SettingsFile (settingsFileLocation(), settingsFileOptions())
{
}

SettingsFile::SettingsFile (const juce::File& settingsFile, const juce::PropertiesFile::Options& settingsOptions)
    : juce::PropertiesFile (settingsFile, settingsOptions)
{
    synced = getAllProperties();
    openFiles().push_back (this);
}

SettingsFile::~SettingsFile()
{
    if (unsaved)
        writeMerged();

    auto& files = openFiles();
    files.erase (std::remove (files.begin(), files.end(), this), files.end());
}

void SettingsFile::propertyChanged()
{
    sendChangeMessage();
    writeMerged();
}

bool SettingsFile::writeMerged()
{
    const juce::InterProcessLock::ScopedLockType processLock (settingsLock());
    takeOthersKeysFromDisk();
    const bool written = save();

    // The base class never holds a pending write of its own: its retry would skip the merge.
    setNeedsToBeSaved (false);
    unsaved = ! written;

    // Until a write succeeds, this object's changes stay its own, so the next merge keeps them.
    if (written)
    {
        synced = getAllProperties();
        shareWithSiblings();
    }
    return written;
}

void SettingsFile::takeOthersKeysFromDisk()
{
    auto diskOptions = settingsFileOptions();
    diskOptions.doNotSave = true;
    juce::PropertiesFile onDisk (getFile(), diskOptions);
    if (getFile().exists() && ! onDisk.isValidFile())
        return; // unreadable: keep what we have rather than guess

    auto& mine = getAllProperties();
    const auto& theirs = onDisk.getAllProperties();

    const auto changedHere = [this, &mine] (const juce::String& key)
    {
        const bool hadIt = synced.containsKey (key);
        const bool hasIt = mine.containsKey (key);
        return hadIt != hasIt || (hasIt && synced[key] != mine[key]);
    };

    juce::StringArray dropped;
    for (const auto& key : mine.getAllKeys())
        if (! changedHere (key) && ! theirs.containsKey (key))
            dropped.add (key);
    for (const auto& key : dropped)
        mine.remove (juce::StringRef (key));

    for (const auto& key : theirs.getAllKeys())
        if (! changedHere (key))
            mine.set (key, theirs[key]);
}

void SettingsFile::shareWithSiblings()
{
    for (auto* other : openFiles())
    {
        if (other == this || other->getFile() != getFile())
            continue;
        other->getAllProperties() = getAllProperties();
        other->synced = synced;
    }
}

std::unique_ptr<juce::PropertiesFile> openSettingsFile()
{
    return std::make_unique<SettingsFile>();
}

} // namespace quillon::ui
