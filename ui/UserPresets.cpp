#include "ui/UserPresets.h"

#include "plugin/PluginProcessor.h"
#include "ui/Settings.h"

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
// JUCE 7's isLetterOrDigit follows the C locale, which knows no letter beyond ASCII. Outside ASCII
// everything but control, space and format characters is taken as a letter, so names in other
// scripts keep their characters.
bool keepsInFileName (juce::juce_wchar c)
{
    if (c < 0x80)
        return juce::CharacterFunctions::isLetterOrDigit ((char) c) || c == ' ' || c == '-' || c == '.' || c == '_';

    const bool control = c <= 0x9f;
    const bool space = c == 0xa0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200f) || (c >= 0x2028 && c <= 0x202f)
                    || c == 0x205f || c == 0x3000 || c == 0xfeff;
    return ! control && ! space;
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

juce::File writeUserPreset (QuillonAudioProcessor& processor, const juce::File& folder, const juce::String& name)
{
    const auto file = folder.getChildFile (makePresetFileName (name) + ".xml");
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
