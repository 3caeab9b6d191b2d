#include "plugin/Catalogue.h"
#include "plugin/PluginProcessor.h"

#include "BinaryData.h"

#include <gtest/gtest.h>
#include <juce_graphics/juce_graphics.h>

using namespace quillon::presets;

namespace
{
// Collects what the catalogue logs while it lives.
struct LogCapture : juce::Logger
{
    LogCapture() { juce::Logger::setCurrentLogger (this); }
    ~LogCapture() override { juce::Logger::setCurrentLogger (nullptr); }
    void logMessage (const juce::String& message) override { messages.add (message); }
    juce::StringArray messages;
};

juce::String utf8 (const char* text) { return juce::String (juce::CharPointer_UTF8 (text)); }

Catalogue parse (const char* xml)
{
    Catalogue catalogue;
    auto root = juce::parseXML (juce::String (juce::CharPointer_UTF8 (xml)));
    catalogue.parseManifest (*root);
    return catalogue;
}
} // namespace

TEST (Catalogue, EmbeddedManifestListsSixtyEightAvailablePresetsQuietly)
{
    LogCapture log;
    const auto catalogue = Catalogue::loadEmbedded();
    EXPECT_TRUE (log.messages.isEmpty()) << log.messages.joinIntoString ("\n");

    ASSERT_EQ (catalogue.categories.size(), 11u);
    EXPECT_EQ (catalogue.totalEntries(), 68);

    const std::vector<std::pair<const char*, const char*>> expected {
        { "init", "INIT" }, { "bass-reese", "BASS \xc2\xb7 REESE" }, { "bass-sub", "BASS \xc2\xb7 SUB" },
        { "bass-mid", "BASS \xc2\xb7 MID" }, { "bass-motion", "BASS \xc2\xb7 MOTION" },
        { "bass-resonant", "BASS \xc2\xb7 RESONANT" }, { "leads", "LEADS" }, { "plucks", "PLUCKS" },
        { "textures", "TEXTURES \xc2\xb7 PADS" }, { "percussion", "PERCUSSION" }, { "fx", "FX" } };
    const int counts[] = { 4, 3, 4, 4, 4, 2, 12, 10, 13, 4, 8 };

    int flagships = 0;
    for (size_t i = 0; i < expected.size(); ++i)
    {
        const auto& category = catalogue.categories[i];
        EXPECT_EQ (category.id, expected[i].first);
        EXPECT_EQ (category.name, utf8 (expected[i].second));
        EXPECT_EQ ((int) category.entries.size(), counts[i]) << category.id;
        EXPECT_EQ (category.displayCount, counts[i]) << category.id;

        for (const auto& entry : category.entries)
        {
            EXPECT_TRUE (entry.available) << entry.xml;
            EXPECT_TRUE (entry.signature.empty());
            EXPECT_TRUE (entry.previewSrc.isEmpty());
            EXPECT_TRUE (entry.description.contains (utf8 (" \xc2\xb7 "))) << entry.xml;
            if (category.id != "init")
            {
                EXPECT_EQ (entry.description, entry.description.toLowerCase()) << entry.xml;
            }
            flagships += entry.flagship ? 1 : 0;
        }
    }
    EXPECT_EQ (flagships, 13);

    const auto all = catalogue.allEntries();
    ASSERT_EQ (all.size(), 68u);
    EXPECT_EQ (all.front()->xml, "init_clean.xml");
    EXPECT_EQ (all.back()->xml, "whoosh_transition.xml");
}

TEST (Catalogue, DisplayNamesAndInitDescriptions)
{
    const auto catalogue = Catalogue::loadEmbedded();
    const auto name = [&] (const char* xml) { return catalogue.findByXml (xml)->displayName; };

    EXPECT_EQ (name ("init_clean.xml"), "init clean");
    EXPECT_EQ (name ("reese_uk_modern.xml"), "reese uk modern");
    EXPECT_EQ (name ("mallet_low.xml"), "low mallet");
    EXPECT_EQ (name ("bell_cosmic.xml"), "cosmic bell");
    EXPECT_EQ (name ("sustain_acid_pad.xml"), "sustained acid pad");
    EXPECT_EQ (name ("wind_atmos.xml"), "wind atmosphere");
    EXPECT_EQ (name ("dissonant_minor_pad.xml"), "dissonant minor");

    const auto description = [&] (const char* xml) { return catalogue.findByXml (xml)->description; };
    EXPECT_EQ (description ("init_clean.xml"), utf8 ("single saw, open filter, fast amp \xc2\xb7 neutral starting point"));
    EXPECT_EQ (description ("init_shape.xml"), utf8 ("ressaw with gentle DCW decay \xc2\xb7 harmonic phase-distortion starting point"));
    EXPECT_EQ (description ("init_reese.xml"), utf8 ("two detuned saws, mild drive \xc2\xb7 skeleton for Reese bass design"));
    EXPECT_EQ (description ("init_sub.xml"), utf8 ("sub oscillator only, slow attack \xc2\xb7 clean low-end starting point"));

    EXPECT_TRUE (catalogue.findByXml ("reese_classic.xml")->flagship);
    EXPECT_FALSE (catalogue.findByXml ("reese_uk_modern.xml")->flagship);

    // Lookups are exact and case-sensitive.
    EXPECT_EQ (catalogue.findByXml ("init_clean.xml"), &catalogue.categories[0].entries[0]);
    EXPECT_EQ (catalogue.findByXml ("Init_Clean.xml"), nullptr);
    EXPECT_EQ (catalogue.findByXml (""), nullptr);
}

TEST (Catalogue, MalformedManifestsAreLoggedAndKept)
{
    LogCapture log;
    const auto wrongRoot = parse ("<presets/>");
    EXPECT_TRUE (wrongRoot.categories.empty());
    EXPECT_EQ (log.messages[0], "preset manifest: root element is 'presets', expected 'presetManifest'");

    log.messages.clear();
    const auto catalogue = parse (R"(<presetManifest>
        <Category name="No id">
          <preset displayName="Orphan"/>
          <preset xml="init_clean.xml"/>
          <preset xml="missing_file.xml" displayName="Ghost"><description>  spaced out  </description></preset>
        </Category>
        <other/>
        <category id="c2">
          <preset xml="init_sub.xml" displayName="Six" flagship="true">
            <signature><pair label="a" value="1"/><pair label="b" value="2"/><pair label="c" value="3"/>
                       <pair label="d" value="4"/><pair label="e" value="5"/><pair label="f" value="6"/><junk/></signature>
            <preview src="six.png"/><preview src="ignored.png"/>
          </preset>
          <preset xml="init_reese.xml" displayName="Two">
            <signature><pair label="a" value="1"/><pair label="b" value="2"/></signature>
          </preset>
        </category>
      </presetManifest>)");

    const juce::StringArray expected {
        "preset manifest: category missing id",
        "preset manifest: entry 'Orphan' missing xml attribute",
        utf8 ("preset manifest: referenced xml '' not available \xe2\x80\x94 entry 'Orphan' marked unavailable"),
        "preset manifest: entry with xml='init_clean.xml' missing displayName attribute",
        utf8 ("preset manifest: referenced xml 'missing_file.xml' not available \xe2\x80\x94 entry 'Ghost' marked unavailable"),
        "preset manifest: category 'c2' missing name",
        "preset manifest: 'Two' has 2 signature pairs (expected 0 or 6)",
    };
    EXPECT_EQ (log.messages, expected);

    ASSERT_EQ (catalogue.categories.size(), 2u);
    const auto& first = catalogue.categories[0];
    EXPECT_EQ (first.displayCount, 0);
    ASSERT_EQ (first.entries.size(), 3u); // bad records are kept, not dropped
    EXPECT_FALSE (first.entries[0].available);
    EXPECT_TRUE (first.entries[1].available);
    EXPECT_TRUE (first.entries[1].displayName.isEmpty());
    EXPECT_FALSE (first.entries[2].available);
    EXPECT_EQ (first.entries[2].description, "spaced out");
    EXPECT_FALSE (first.entries[2].flagship);

    const auto& six = catalogue.categories[1].entries[0];
    EXPECT_TRUE (six.flagship);
    ASSERT_EQ (six.signature.size(), 6u);
    EXPECT_EQ (six.signature[5].label, "f");
    EXPECT_EQ (six.previewSrc, "six.png");
    EXPECT_EQ (catalogue.categories[1].entries[1].signature.size(), 2u);
}

TEST (Resources, LookupByNameFollowsTheUnderscoreRule)
{
    int size = -1;
    EXPECT_NE (BinaryData::getNamedResource ("manifest_xml", size), nullptr);
    EXPECT_GT (size, 1000);
    EXPECT_EQ (BinaryData::getNamedResource ("manifest.xml", size), nullptr);
    EXPECT_EQ (size, 0);
    size = -1;
    EXPECT_EQ (BinaryData::getNamedResource ("", size), nullptr);
    EXPECT_EQ (size, 0);
    size = -1;
    EXPECT_EQ (BinaryData::getNamedResource (nullptr, size), nullptr);
    EXPECT_EQ (size, 0);

    EXPECT_EQ (BinaryData::namedResourceListSize, 76);
    EXPECT_STREQ (BinaryData::namedResourceList[0], "init_clean_xml");
    EXPECT_STREQ (BinaryData::namedResourceList[67], "whoosh_transition_xml");
    EXPECT_STREQ (BinaryData::namedResourceList[68], "manifest_xml");
    const char* fonts[] = { "font_book_otf", "font_book_italic_otf", "font_semibold_otf", "font_bold_otf",
                            "font_wide_book_otf", "font_wide_bold_otf" };
    for (int i = 0; i < 6; ++i)
        EXPECT_STREQ (BinaryData::namedResourceList[69 + i], fonts[i]);
    EXPECT_STREQ (BinaryData::namedResourceList[75], "icon_1024_png");

    EXPECT_EQ (loadFactoryPresetXml (""), nullptr);
    EXPECT_EQ (loadFactoryPresetXml ("no_such_preset.xml"), nullptr);
}

TEST (Resources, EveryFactoryPresetIsAParameterTreeOfOurs)
{
    QuillonAudioProcessor processor;
    const auto catalogue = Catalogue::loadEmbedded();

    for (const auto* entry : catalogue.allEntries())
    {
        auto xml = loadFactoryPresetXml (entry->xml);
        ASSERT_NE (xml, nullptr) << entry->xml;
        EXPECT_TRUE (xml->hasTagName ("PARAMS")) << entry->xml;
        const int expectedCount = entry->xml == "init_clean.xml" ? 76 : 103;
        EXPECT_EQ (xml->getNumChildElements(), expectedCount) << entry->xml;

        for (auto* child : xml->getChildIterator())
        {
            const auto id = child->getStringAttribute ("id");
            auto* parameter = processor.parameterState.getParameter (id);
            ASSERT_NE (parameter, nullptr) << entry->xml << ": " << id;
            const auto value = (float) child->getDoubleAttribute ("value", std::nan (""));
            ASSERT_TRUE (std::isfinite (value)) << entry->xml << ": " << id;
            const auto range = parameter->getNormalisableRange();
            if (! (entry->xml == "init_clean.xml" && id == "osc2Level"))
            {
                EXPECT_TRUE (value >= range.start && value <= range.end) << entry->xml << ": " << id << " = " << value;
            }
        }

        EXPECT_TRUE (processor.loadStateTree (*xml)) << entry->xml;
    }
}

TEST (Resources, FontsAndIconDecode)
{
    for (auto* name : { "font_book_otf", "font_book_italic_otf", "font_semibold_otf", "font_bold_otf",
                        "font_wide_book_otf", "font_wide_bold_otf" })
    {
        int size = 0;
        const auto* data = BinaryData::getNamedResource (name, size);
        ASSERT_NE (data, nullptr) << name;
        EXPECT_EQ (juce::String (data, 4), "OTTO") << name; // OpenType with CFF outlines
        auto typeface = juce::Typeface::createSystemTypefaceFor (data, (size_t) size);
        ASSERT_NE (typeface, nullptr) << name;
    }

    auto icon = juce::ImageCache::getFromMemory (BinaryData::icon_1024_png, BinaryData::icon_1024_pngSize);
    ASSERT_TRUE (icon.isValid());
    EXPECT_EQ (icon.getWidth(), 1024);
    EXPECT_EQ (icon.getHeight(), 1024);
    EXPECT_TRUE (icon.hasAlphaChannel());
    EXPECT_EQ (icon.getPixelAt (0, 0).getAlpha(), 0);     // rounded corner
    EXPECT_EQ (icon.getPixelAt (512, 900).getAlpha(), 255);
}
