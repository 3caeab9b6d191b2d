#include "Settings.h"

#include "plugin/SafeInput.h"
#include "ui/FileWriting.h"

#include <cstring>
#include <map>
#include <vector>

namespace quillon::ui
{
namespace
{
    // A wait for another Quillon that is longer than this is a stuck one: go on without it. Every
    // write replaces the file in one rename, so the worst a missed lock costs is one merge.
    constexpr int settingsLockWaitMs = 2000;

    // One lock object per lock file: POSIX record locks belong to the process, and closing a
    // second descriptor on the same file would drop the first one's lock.
    juce::InterProcessLock& settingsLockFor (const juce::File& settingsFile)
    {
        static std::map<juce::String, std::unique_ptr<juce::InterProcessLock>> locks;
        // An absolute name puts the lock file beside the settings, in the user's own folder,
        // instead of a machine-wide one in /var/tmp that another user cannot open.
        const auto path = settingsFile.getSiblingFile ("." + settingsFile.getFileName() + ".lock").getFullPathName();
        auto& lock = locks[path];
        if (lock == nullptr)
            lock = std::make_unique<juce::InterProcessLock> (path);
        return *lock;
    }

    struct ScopedSettingsLock
    {
        explicit ScopedSettingsLock (const juce::File& settingsFile)
            : lock (settingsLockFor (settingsFile)), locked (lock.enter (settingsLockWaitMs)) {}
        ~ScopedSettingsLock() { if (locked) lock.exit(); }

        juce::InterProcessLock& lock;
        const bool locked;
    };

    std::vector<SettingsFile*>& openFiles()
    {
        static std::vector<SettingsFile*> files;
        return files;
    }

    struct ProblemReporting
    {
        std::function<void (const juce::String&, const juce::String&)> handler;
        juce::String pendingTitle, pendingText;
    };

    ProblemReporting& problemReporting()
    {
        static ProblemReporting reporting;
        return reporting;
    }

    void reportProblem (const juce::String& title, const juce::String& text)
    {
        auto& reporting = problemReporting();
        if (reporting.handler != nullptr)
            reporting.handler (title, text);
        else
            reporting.pendingTitle = title, reporting.pendingText = text;
    }
} // namespace

void setSettingsProblemHandler (std::function<void (const juce::String& title, const juce::String& text)> handler)
{
    auto& reporting = problemReporting();
    reporting.handler = std::move (handler);

    if (reporting.handler != nullptr && reporting.pendingText.isNotEmpty())
    {
        const auto title = std::exchange (reporting.pendingTitle, {});
        const auto text = std::exchange (reporting.pendingText, {});
        reporting.handler (title, text);
    }
}

//==============================================================================
bool readSettingsValues (const juce::File& file, juce::StringPairArray& values, juce::String* error)
{
    values.clear();
    juce::String reason;
    const auto root = input::readXmlFile (file, &reason);

    const auto refuse = [error] (const juce::String& why)
    {
        if (error != nullptr)
            *error = why;
        return false;
    };

    if (root == nullptr)
        return refuse (reason);

    if (! root->hasTagName ("PROPERTIES"))
        return refuse ("it is not a Quillon settings file");

    for (const auto* element : root->getChildWithTagNameIterator ("VALUE"))
    {
        const auto name = element->getStringAttribute ("name");
        if (name.isEmpty())
            continue;

        // As the framework reads it: an XML child is the value as text, otherwise the "val" attribute.
        const auto* child = element->getFirstChildElement();
        const auto value = child != nullptr && ! child->isTextElement()
                               ? child->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader())
                               : element->getStringAttribute ("val");

        // The framework parses such a value itself, when it saves and when the window reads it.
        if (input::looksLikeXml (value) && input::readXml (value, &reason) == nullptr)
            return refuse ("the value of \"" + name + "\" cannot be read: " + reason);

        values.set (name, value);
    }

    return true;
}

namespace
{
    bool fitsInsideSettings (const juce::XmlElement& value)
    {
        // PROPERTIES and VALUE take two levels; a few hundred elements leave room for many values.
        constexpr int maxValueElements = 256;
        int count = 0;

        const std::function<bool (const juce::XmlElement&, int)> fits = [&] (const juce::XmlElement& e, int depth)
        {
            if (depth > input::maxXmlDepth - 2 || ++count > maxValueElements)
                return false;
            for (const auto* child : e.getChildIterator())
                if (! fits (*child, depth + 1))
                    return false;
            return true;
        };

        return fits (value, 1);
    }
} // namespace

std::unique_ptr<juce::XmlElement> createSettingsXml (const juce::StringPairArray& values)
{
    auto document = std::make_unique<juce::XmlElement> ("PROPERTIES");

    for (int i = 0; i < values.size(); ++i)
    {
        auto* element = document->createNewChildElement ("VALUE");
        element->setAttribute ("name", values.getAllKeys()[i]);
        const auto& value = values.getAllValues()[i];

        // A value that is XML is stored as such, as the framework's writer does, when the file
        // around it stays within what the reader takes; otherwise as text, which reads back the same.
        if (input::looksLikeXml (value))
            if (auto child = input::readXml (value); child != nullptr && fitsInsideSettings (*child))
            {
                element->addChildElement (child.release());
                continue;
            }

        element->setAttribute ("val", value);
    }

    return document;
}

juce::File setUnreadableSettingsAside (const juce::File& file)
{
    const auto stamp = juce::Time::getCurrentTime().formatted ("%Y-%m-%d-%H%M%S");
    const auto aside = file.getParentDirectory().getNonexistentChildFile (file.getFileName() + ".unreadable-" + stamp, {}, false);
    return file.moveFileTo (aside) ? aside : juce::File();
}

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
    // No process lock for the framework: it would wait for ever. SettingsFile locks, with a bound.
    options.processLock = nullptr;
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
    : SettingsFile (settingsFile, settingsOptions, screen (settingsFile))
{
}

SettingsFile::SettingsFile (const juce::File& settingsFile, const juce::PropertiesFile::Options& settingsOptions,
                            const juce::File& setAside)
    : juce::PropertiesFile (settingsFile, settingsOptions), setAsideFile (setAside), doNotSave (settingsOptions.doNotSave)
{
    synced = getAllProperties();
    openFiles().push_back (this);
}

juce::File SettingsFile::screen (const juce::File& file)
{
    // The framework reads the file itself as soon as the base class is built, with a reader that
    // trusts it; so before that, it is read here and either is what the framework's own writer
    // makes of its values, or is set aside.
    const ScopedSettingsLock lock (file);

    if (! file.existsAsFile() || file.isDirectory())
        return {};

    juce::StringPairArray values;
    juce::String reason;

    if (! readSettingsValues (file, values, &reason))
        return setAside (file, reason);

    juce::MemoryBlock onDisk;
    const auto canonical = createSettingsXml (values)->toString();

    if (input::readFileBytes (file, input::maxXmlBytes, onDisk)
        && onDisk.getSize() == canonical.getNumBytesAsUTF8()
        && std::memcmp (onDisk.getData(), canonical.toRawUTF8(), onDisk.getSize()) == 0)
        return {};

    // Readable but written by hand (comments, other spacing): the same values, in the framework's form.
    if (replaceFileContent (file, canonical).failed())
        return setAside (file, "it could not be rewritten");

    return {};
}

juce::File SettingsFile::setAside (const juce::File& file, const juce::String& reason)
{
    const auto aside = setUnreadableSettingsAside (file);

    if (aside == juce::File())
    {
        reportProblem ("Settings not read", "Quillon could not read its settings file \"" + file.getFullPathName()
                       + "\" (" + reason + ") and could not move it aside. The defaults are used.");
        return {};
    }

    reportProblem ("Settings not read", "Quillon could not read its settings file (" + reason + "). It was kept as \""
                   + aside.getFileName() + "\" and the defaults are used.");
    return aside;
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
    juce::Result written = juce::Result::ok();
    {
        const ScopedSettingsLock guard (getFile());
        takeOthersKeysFromDisk();
        written = writeNow();
    }

    // The base class never holds a pending write of its own: its retry would skip the merge.
    setNeedsToBeSaved (false);

    // Said once for each run of failures, not at every change.
    if (written.failed() && ! unsaved)
        reportProblem ("Settings not saved", "Quillon could not save its settings to \"" + getFile().getFullPathName()
                       + "\": " + written.getErrorMessage() + ". It tries again at the next change.");

    unsaved = written.failed();

    // Until a write succeeds, this object's changes stay its own, so the next merge keeps them.
    if (written.wasOk())
    {
        synced = getAllProperties();
        shareWithSiblings();
    }
    return written.wasOk();
}

juce::Result SettingsFile::writeNow()
{
    const auto& target = getFile();

    if (doNotSave)
        return juce::Result::fail ("saving is switched off");

    if (target.isDirectory())
        return juce::Result::fail ("a folder stands where the file belongs");

    if (const auto folder = target.getParentDirectory(); ! folder.createDirectory())
        return juce::Result::fail ("the folder " + folder.getFullPathName() + " could not be made");

    return replaceFileContent (target, createSettingsXml (getAllProperties())->toString());
}

void SettingsFile::takeOthersKeysFromDisk()
{
    juce::StringPairArray theirs;

    // A folder where the file belongs: nothing can be read or written now; what we hold stays.
    if (getFile().isDirectory())
        return;

    if (getFile().existsAsFile() && ! readSettingsValues (getFile(), theirs, nullptr))
    {
        // Kept, not overwritten; what we hold is what gets written.
        setAside (getFile(), "it changed into something that cannot be read");
        return;
    }

    auto& mine = getAllProperties();

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
