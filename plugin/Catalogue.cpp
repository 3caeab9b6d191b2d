#include "plugin/Catalogue.h"

#include "BinaryData.h"
#include "plugin/SafeInput.h"

namespace quillon::presets
{

namespace
{
void log (const juce::String& text)
{
    juce::Logger::writeToLog ("preset manifest: " + text);
}

bool isEmbedded (const juce::String& fileName)
{
    int size = 0;
    const auto* data = BinaryData::getNamedResource (resourceNameFor (fileName).toRawUTF8(), size);
    return data != nullptr && size > 0;
}

Entry parseEntry (const juce::XmlElement& element)
{
    Entry entry;
    entry.xml = element.getStringAttribute ("xml");
    entry.displayName = element.getStringAttribute ("displayName");
    entry.flagship = element.getBoolAttribute ("flagship", false);

    if (entry.xml.isEmpty())
        log ("entry '" + entry.displayName + "' missing xml attribute");

    if (entry.displayName.isEmpty())
        log ("entry with xml='" + entry.xml + "' missing displayName attribute");

    const juce::XmlElement* description = nullptr;
    const juce::XmlElement* signature = nullptr;
    const juce::XmlElement* preview = nullptr;

    for (auto* child : element.getChildIterator())
    {
        if (description == nullptr && child->hasTagName ("description"))
            description = child;
        else if (signature == nullptr && child->hasTagName ("signature"))
            signature = child;
        else if (preview == nullptr && child->hasTagName ("preview"))
            preview = child;
    }

    if (description != nullptr)
        entry.description = description->getAllSubText().trim();

    if (signature != nullptr)
    {
        for (auto* pair : signature->getChildIterator())
            if (pair->hasTagName ("pair"))
                entry.signature.push_back ({ pair->getStringAttribute ("label"), pair->getStringAttribute ("value") });

        const auto count = entry.signature.size();

        if (count != 0 && count != 6)
            log ("'" + entry.displayName + "' has " + juce::String ((int) count) + " signature pairs (expected 0 or 6)");
    }

    if (preview != nullptr)
        entry.previewSrc = preview->getStringAttribute ("src");

    if (entry.xml.isNotEmpty())
        entry.available = isEmbedded (entry.xml);

    if (! entry.available)
        log ("referenced xml '" + entry.xml + "' not available " + juce::String (juce::CharPointer_UTF8 ("\xe2\x80\x94"))
             + " entry '" + entry.displayName + "' marked unavailable");

    return entry;
}
} // namespace

juce::String resourceNameFor (const juce::String& fileName)
{
    return fileName.replaceCharacter ('.', '_');
}

Catalogue Catalogue::loadEmbedded()
{
    Catalogue catalogue;
    int size = 0;
    const auto* data = BinaryData::getNamedResource ("manifest_xml", size);

    if (data == nullptr || size < 1)
    {
        log ("manifest_xml not embedded in BinaryData");
        return catalogue;
    }

    juce::String error;
    const auto root = quillon::input::readXml (data, (size_t) size, &error);

    if (root == nullptr)
    {
        log ("failed to parse embedded manifest_xml: " + error);
        return catalogue;
    }

    catalogue.parseManifest (*root);
    return catalogue;
}

void Catalogue::parseManifest (const juce::XmlElement& root)
{
    if (! root.hasTagName ("presetManifest"))
    {
        log ("root element is '" + root.getTagName() + "', expected 'presetManifest'");
        return;
    }

    for (auto* element : root.getChildIterator())
    {
        if (! element->hasTagName ("category"))
            continue;

        Category category;
        category.id = element->getStringAttribute ("id");
        category.name = element->getStringAttribute ("name");
        category.displayCount = element->getIntAttribute ("displayCount", 0);

        if (category.id.isEmpty())
            log ("category missing id");

        if (category.name.isEmpty())
            log ("category '" + category.id + "' missing name");

        for (auto* preset : element->getChildIterator())
            if (preset->hasTagName ("preset"))
                category.entries.push_back (parseEntry (*preset));

        categories.push_back (std::move (category));
    }
}

const Entry* Catalogue::findByXml (const juce::String& fileName) const
{
    for (const auto& category : categories)
        for (const auto& entry : category.entries)
            if (entry.xml == fileName)
                return &entry;

    return nullptr;
}

std::vector<const Entry*> Catalogue::allEntries() const
{
    std::vector<const Entry*> result;
    result.reserve ((size_t) totalEntries());

    for (const auto& category : categories)
        for (const auto& entry : category.entries)
            result.push_back (&entry);

    return result;
}

int Catalogue::totalEntries() const
{
    int total = 0;

    for (const auto& category : categories)
        total += (int) category.entries.size();

    return total;
}

std::unique_ptr<juce::XmlElement> loadFactoryPresetXml (const juce::String& fileName)
{
    if (fileName.isEmpty())
        return nullptr;

    int size = 0;
    const auto* data = BinaryData::getNamedResource (resourceNameFor (fileName).toRawUTF8(), size);

    if (data == nullptr || size < 1)
        return nullptr;

    return quillon::input::readXml (data, (size_t) size);
}

} // namespace quillon::presets
