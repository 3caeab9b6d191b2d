#pragma once

#include <juce_core/juce_core.h>

#include <memory>
#include <vector>

namespace quillon::presets
{

struct SignaturePair
{
    juce::String label, value;
};

struct Entry
{
    juce::String xml;          // resource file name; the preset's identity everywhere
    juce::String displayName;
    bool flagship = false;
    juce::String description;
    std::vector<SignaturePair> signature;
    juce::String previewSrc;
    bool available = false;
};

struct Category
{
    juce::String id;
    juce::String name;
    int displayCount = 0;
    std::vector<Entry> entries;
};

// The factory presets as the embedded manifest lists them. Plain data: each holder builds its own.
class Catalogue
{
public:
    static Catalogue loadEmbedded();

    // Appends one category per category element of a presetManifest root; problems are logged.
    void parseManifest (const juce::XmlElement& root);

    const Entry* findByXml (const juce::String& fileName) const;
    std::vector<const Entry*> allEntries() const;
    int totalEntries() const;

    std::vector<Category> categories;
};

// The embedded resource name of a file name: every '.' becomes '_'.
juce::String resourceNameFor (const juce::String& fileName);

// Parsed factory preset, or null when it is not embedded or does not parse.
std::unique_ptr<juce::XmlElement> loadFactoryPresetXml (const juce::String& fileName);

} // namespace quillon::presets
