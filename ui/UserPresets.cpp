#include "ui/UserPresets.h"

#include "plugin/PluginProcessor.h"
#include "plugin/SafeInput.h"
#include "ui/FileWriting.h"
#include "ui/Settings.h"

#if ! JUCE_WINDOWS
 #include <sys/stat.h>
#endif

#include <locale.h>
#include <wchar.h>
#include <wctype.h>

namespace quillon::ui
{

juce::File userPresetFolder()
{
    auto folder = productFolder().getChildFile ("User");

    if (! folder.isDirectory())
        folder.createDirectory();

    return folder;
}

namespace
{
// JUCE 7's isLetterOrDigit follows the C locale, which knows no letter beyond ASCII. glibc's C.UTF-8
// locale classifies all of Unicode; a letter that takes no column of its own (a combining mark) is
// invisible on its own and does not stay either.
struct Utf8Classifier
{
    Utf8Classifier() : locale (newlocale (LC_CTYPE_MASK, "C.UTF-8", (locale_t) nullptr)) {}
    ~Utf8Classifier() { if (locale != (locale_t) nullptr) freelocale (locale); }

    bool isVisibleLetterOrDigit (juce::juce_wchar c) const
    {
        if (locale == (locale_t) nullptr)
            return false;

        if (iswalnum_l ((wint_t) c, locale) == 0)
            return false;

        // wcwidth reads the thread's locale.
        const auto previous = uselocale (locale);
        const int width = wcwidth ((wchar_t) c);
        uselocale (previous);
        return width > 0;
    }

    locale_t locale;
};

bool keepsInFileName (juce::juce_wchar c)
{
    if (c < 0x80)
        return juce::CharacterFunctions::isLetterOrDigit ((char) c) || c == ' ' || c == '-' || c == '.' || c == '_';

    static const Utf8Classifier classifier;
    return classifier.isVisibleLetterOrDigit (c);
}
} // namespace

juce::String makePresetFileName (const juce::String& typedName)
{
    const auto trimmed = typedName.trim();

    if (trimmed.isEmpty())
        return "preset";

    juce::String result;
    result.preallocateBytes (trimmed.getNumBytesAsUTF8());

    for (auto p = trimmed.getCharPointer(); ! p.isEmpty();)
    {
        const auto c = p.getAndAdvance();
        result += keepsInFileName (c) ? c : (juce::juce_wchar) '_';
    }

    return result;
}

juce::String fitFileNameStem (const juce::String& stem, const juce::String& extension)
{
    const auto budget = maxFileNameBytes - (int) extension.getNumBytesAsUTF8();

    if ((int) stem.getNumBytesAsUTF8() <= budget)
        return stem;

    // Cut at a character boundary and keep names that differ only past the cut apart.
    const auto tag = "~" + juce::String::toHexString ((int) (juce::uint32) stem.hashCode64()).paddedLeft ('0', 8);
    juce::String shortened;

    for (auto p = stem.getCharPointer(); ! p.isEmpty();)
    {
        const auto c = p.getAndAdvance();
        if ((int) (shortened.getNumBytesAsUTF8() + juce::CharPointer_UTF8::getBytesRequiredFor (c) + tag.getNumBytesAsUTF8()) > budget)
            break;
        shortened += c;
    }

    return shortened.trimEnd() + tag;
}

juce::File userPresetFileFor (const juce::File& folder, const juce::String& name)
{
    return folder.getChildFile (fitFileNameStem (makePresetFileName (name), ".xml") + ".xml");
}

bool isMarkedReadOnly (const juce::File& file)
{
   #if JUCE_WINDOWS
    return ! file.hasWriteAccess();
   #else
    // By its permission bits, not access(): a user running as root still meant the mark.
    struct stat info {};
    return ::stat (file.getFullPathName().toRawUTF8(), &info) == 0 && (info.st_mode & 0222) == 0;
   #endif
}

juce::File writeUserPreset (QuillonAudioProcessor& processor, const juce::File& folder, const juce::String& name,
                            juce::String* error)
{
    const auto fail = [error] (const juce::String& reason) -> juce::File
    {
        if (error != nullptr)
            *error = reason;
        return {};
    };

    const auto file = userPresetFileFor (folder, name);

    if (! folder.isDirectory())
        return fail ("the folder " + folder.getFullPathName() + " does not exist and could not be made");

    if (file.existsAsFile() && isMarkedReadOnly (file))
        return fail ("\"" + file.getFileName() + "\" is read-only, so it was not replaced");

    auto xml = processor.createStateXml();

    if (xml == nullptr)
        return fail ("the sound could not be put into a preset");

    xml->setAttribute ("displayName", name);

    juce::XmlElement::TextFormat format;
    format.newLineChars = "\r\n";

    if (const auto written = replaceFileContent (file, xml->toString (format)); written.failed())
        return fail ("\"" + file.getFileName() + "\" could not be written in " + folder.getFullPathName()
                     + ": " + written.getErrorMessage());

    processor.setPresetInfo (name, "user:" + file.getFullPathName());
    return file;
}

bool loadUserPresetFile (QuillonAudioProcessor& processor, const juce::File& file, juce::String* error)
{
    const auto refuse = [error] (const juce::String& reason)
    {
        if (error != nullptr)
            *error = reason;
        return false;
    };

    if (file == juce::File())
        return refuse ("no file was chosen");

    juce::String reason;
    const auto xml = input::readXmlFile (file, &reason);

    if (xml == nullptr)
        return refuse (reason);

    // A cut or foreign file would otherwise load as "every parameter at its default".
    bool holdsOurs = false;
    for (const auto* child : xml->getChildWithTagNameIterator ("PARAM"))
        holdsOurs = holdsOurs || processor.indexOfParameter (child->getStringAttribute ("id")) >= 0;

    if (! holdsOurs || ! processor.loadStateTree (*xml))
        return refuse ("it holds no Quillon parameter");

    const auto name = xml->hasAttribute ("displayName") ? xml->getStringAttribute ("displayName")
                                                        : file.getFileNameWithoutExtension();
    processor.setPresetInfo (name, "user:" + file.getFullPathName());
    return true;
}

} // namespace quillon::ui
