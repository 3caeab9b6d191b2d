#include "ui/UserPresets.h"

#include "plugin/PluginProcessor.h"
#include "ui/Settings.h"

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

juce::File userPresetFileFor (const juce::File& folder, const juce::String& name)
{
    return folder.getChildFile (makePresetFileName (name) + ".xml");
}

juce::File writeUserPreset (QuillonAudioProcessor& processor, const juce::File& folder, const juce::String& name)
{
    const auto file = userPresetFileFor (folder, name);
    auto xml = processor.createStateXml();

    if (xml == nullptr)
        return {};

    xml->setAttribute ("displayName", name);

    juce::XmlElement::TextFormat format;
    format.newLineChars = "\r\n";

    if (! xml->writeTo (file, format))
        return {};

    processor.setPresetInfo (name, "user:" + file.getFullPathName());
    return file;
}

bool loadUserPresetFile (QuillonAudioProcessor& processor, const juce::File& file)
{
    if (file == juce::File() || ! file.existsAsFile())
        return false;

    const auto xml = juce::XmlDocument::parse (file);

    if (xml == nullptr || ! processor.loadStateTree (*xml))
        return false;

    const auto name = xml->hasAttribute ("displayName") ? xml->getStringAttribute ("displayName")
                                                        : file.getFileNameWithoutExtension();
    processor.setPresetInfo (name, "user:" + file.getFullPathName());
    return true;
}

} // namespace quillon::ui
