#include "plugin/Palette.h"
#include "ui/Themes.h"
#include "widgets/Frames.h"

#include <gtest/gtest.h>

using namespace quillon::ui;
namespace pal = quillon::palette;

namespace
{
struct ThemesTest : ::testing::Test
{
    juce::TemporaryFile tempDir;
    void TearDown() override
    {
        pal::resetToDefaults();
        tempDir.getFile().deleteRecursively();
    }

    juce::File writeFile (const juce::String& name, const juce::String& text)
    {
        tempDir.getFile().createDirectory();
        auto f = tempDir.getFile().getChildFile (name);
        f.replaceWithText (text);
        return f;
    }

    static std::vector<juce::uint32> snapshot()
    {
        std::vector<juce::uint32> v;
        for (int i = 0; i < pal::numSlots; ++i)
            v.push_back (pal::get (i).getARGB());
        return v;
    }

    static void expectDarkThemeColours()
    {
        for (size_t i = 0; i < 32; ++i)
            EXPECT_EQ (pal::get (themeSlots()[i]).getARGB(), 0xff000000u | darkTheme().colours[i]) << pal::nameOf (themeSlots()[i]);
    }
};
} // namespace

TEST_F (ThemesTest, TableHasEighteenUniqueRecordsAndDarkMatchesThePaletteWhereItShould)
{
    juce::StringArray ids;
    for (const auto& t : builtInThemes)
        ids.addIfNotAlreadyThere (t.id);
    EXPECT_EQ (ids.size(), 18);
    EXPECT_EQ (juce::String (builtInThemes[17].id), "vaporDaydream");
    EXPECT_EQ (juce::String (builtInThemes[11].name), "Save Icon");

    // The dark record repeats the start-up palette for every slot but two control colours.
    for (size_t i = 0; i < 32; ++i)
    {
        const int slot = themeSlots()[i];
        if (slot == pal::controlFillActive || slot == pal::controlBorder)
            continue;
        EXPECT_EQ (pal::defaultColour (slot).getARGB(), 0xff000000u | darkTheme().colours[i]) << pal::nameOf (slot);
    }
}

TEST_F (ThemesTest, BuiltInThemesWriteOnlyThemeSlots)
{
    ASSERT_TRUE (applyBuiltInTheme ("mossEraDay"));
    EXPECT_EQ (pal::get (pal::bgGround).getARGB(), 0xFFE5DAC0u);
    EXPECT_EQ (pal::get (pal::controlValue).getARGB(), 0xFFA65A00u);
    EXPECT_EQ (pal::get (pal::sourceDcw2).getARGB(), 0xFF5F2B9Cu);
    EXPECT_EQ (pal::get (pal::semanticError).getARGB(), 0xFFB5151Eu);
    EXPECT_EQ (pal::get (pal::overlaySelected).getARGB(), 0x1FC7F500u);
    EXPECT_EQ (pal::get (pal::debugGridLabel).getARGB(), 0xFFF2F4E8u);

    ASSERT_TRUE (applyBuiltInTheme ("untitled"));
    EXPECT_EQ (pal::get (pal::bgGround).getARGB(), 0xFF130018u);
    EXPECT_EQ (builtInThemeIndex ("untitled"), 2);

    const auto before = snapshot();
    EXPECT_FALSE (applyBuiltInTheme ("Dark")); // ids are exact
    EXPECT_FALSE (applyBuiltInTheme ("custom"));
    EXPECT_EQ (snapshot(), before);
}

TEST_F (ThemesTest, JsonColourRules)
{
    applyBuiltInTheme ("velvetReactor");
    const auto json = juce::JSON::parse (R"({ "name": "ignored",
        "bg": { "ground": "#FF000080", "surface": "ff0000", "surface2": "#fff", "panel": "  #123456  " },
        "text": "not an object",
        "accent": { "primary": 42 } })");
    ASSERT_TRUE (parseThemeJson (json));

    EXPECT_EQ (pal::get (pal::bgGround).getARGB(), 0xFF000080u);   // alpha first
    EXPECT_EQ (pal::get (pal::bgSurface).getARGB(), 0xFFFF0000u);
    EXPECT_EQ (pal::get (pal::bgSurface2).getARGB(), 0xFF1C2122u); // three digits: dark value
    EXPECT_EQ (pal::get (pal::bgPanel).getARGB(), 0xFF123456u);
    EXPECT_EQ (pal::get (pal::textPrimary).getARGB(), 0xFFF2F4E8u); // group not an object: dark value
    EXPECT_EQ (pal::get (pal::accentPrimary).getARGB(), 0xFFC8F500u); // "42" is too short
    EXPECT_EQ (pal::get (pal::controlBorder).getARGB(), 0xFF7A898Eu);  // missing group: dark, not velvet
    EXPECT_EQ (pal::get (pal::overlayHover).getARGB(), 0x12FFFFFFu);
}

TEST_F (ThemesTest, NonObjectsAreRefusedAndChangeNothing)
{
    applyBuiltInTheme ("halogenMint");
    const auto before = snapshot();

    for (const auto* text : { "[1, 2]", "not json at all", "\"#ffffff\"", "", "12" })
    {
        juce::String error;
        EXPECT_FALSE (parseThemeJson (juce::JSON::parse (text), &error)) << text;
        EXPECT_EQ (error, "Theme JSON must be an object.");
    }
    EXPECT_FALSE (parseThemeJson (juce::var()));
    EXPECT_EQ (snapshot(), before);

    juce::String loaded = "untouched";
    EXPECT_FALSE (loadThemeFile (writeFile ("array.json", "[]"), &loaded));
    EXPECT_FALSE (loadThemeFile (tempDir.getFile().getChildFile ("missing.json"), &loaded));
    EXPECT_EQ (loaded, "untouched");
    EXPECT_EQ (snapshot(), before);

    ASSERT_TRUE (loadThemeFile (writeFile ("empty.json", "{}"), &loaded));
    EXPECT_EQ (loaded, "{}");
    expectDarkThemeColours();
}

TEST_F (ThemesTest, TemplateTextAndFolder)
{
    const auto text = themeTemplateText();
    EXPECT_EQ (text.length(), 815);
    const auto lines = juce::StringArray::fromLines (text);
    ASSERT_EQ (lines.size(), 10);
    EXPECT_EQ (lines[2], R"(  "bg": { "ground": "#0b0b0a", "surface": "#131617", "surface2": "#1c2122", "panel": "#070808" },)");
    EXPECT_EQ (lines[3], R"(  "border": { "hair": "#556266", "focus": "#d7ff37" },)");
    EXPECT_TRUE (lines[8].startsWith (R"(  "control": { "fill": "#1c2122")"));
    EXPECT_FALSE (lines[8].endsWith (","));

    // The template imports as the dark theme.
    applyBuiltInTheme ("oxbloodTape");
    ASSERT_TRUE (parseThemeJson (juce::JSON::parse (text)));
    expectDarkThemeColours();

    const auto folder = tempDir.getFile().getChildFile ("Quillon").getChildFile ("Themes");
    prepareThemesFolder (folder);
    const auto file = folder.getChildFile ("custom-theme-template.json");
    ASSERT_TRUE (file.existsAsFile());
    EXPECT_EQ (file.getSize(), 824); // CRLF on disk, no byte-order mark
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    EXPECT_EQ (((const char*) bytes.getData())[0], '{');

    // An existing folder is never written into again.
    ASSERT_TRUE (file.deleteFile());
    prepareThemesFolder (folder);
    EXPECT_FALSE (file.exists());
}

TEST_F (ThemesTest, PaletteToTreeRecoloursLabelsByCase)
{
    juce::Component root, inner;
    juce::Label caps ("a", " VOICE "), mixed ("b", "Scale");
    larkspur::widgets::SectionFrame frame;
    root.addAndMakeVisible (inner);
    inner.addAndMakeVisible (caps);
    inner.addAndMakeVisible (mixed);
    root.addAndMakeVisible (frame);

    applyBuiltInTheme ("saveIconSticker");
    applyPaletteToTree (root);
    EXPECT_EQ (caps.findColour (juce::Label::textColourId), pal::get (pal::textSecondary));
    EXPECT_EQ (mixed.findColour (juce::Label::textColourId), pal::get (pal::textTertiary));
    EXPECT_EQ (caps.findColour (juce::Label::textColourId).getARGB(), 0xFF2D405Au);
}

TEST_F (ThemesTest, ThemeFilesThatBrokeTheReaderAreRefusedWithTheirReason)
{
    applyBuiltInTheme ("halogenMint");
    const auto before = snapshot();

    const std::vector<std::pair<juce::String, juce::String>> files {
        { "{ \"bg\": -", "the JSON text ends too early" },                              // read past its end
        { "{ \"name\": 9999999999999999999 }", "a number is out of range" },              // signed overflow
        { juce::String::repeatedString ("[", 30000) + juce::String::repeatedString ("]", 30000),
          "it is nested more than 16 levels deep" },                                      // overflowed the stack
        { "[1, 2, 3]", "Theme JSON must be an object." },
    };

    for (const auto& [text, reason] : files)
    {
        juce::String loaded = "untouched", error;
        EXPECT_FALSE (loadThemeFile (writeFile ("bad.json", text), &loaded, &error)) << reason;
        EXPECT_EQ (error, reason);
        EXPECT_EQ (loaded, "untouched");
        EXPECT_FALSE (applyStoredThemeJson (text)) << reason;
        EXPECT_EQ (snapshot(), before) << reason;
    }

    // The template as written to disk, with CRLF line ends and a byte-order mark an editor may add.
    const auto withMark = juce::String::fromUTF8 ("\xef\xbb\xbf") + themeTemplateText().replace ("\n", "\r\n");
    juce::String loaded;
    ASSERT_TRUE (loadThemeFile (writeFile ("template.json", withMark), &loaded));
    EXPECT_TRUE (applyStoredThemeJson (loaded));
    expectDarkThemeColours();
}
