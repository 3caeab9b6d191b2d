#include "support/Snapshots.h"
#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"

#include <gtest/gtest.h>

using namespace quillon::ui;
namespace pal = quillon::palette;

namespace
{
const juce::String minusSign = juce::String (juce::CharPointer_UTF8 ("\xe2\x88\x92"));

bool close (juce::Colour a, juce::Colour b, int tolerance = 3)
{
    return std::abs (a.getRed() - b.getRed()) <= tolerance && std::abs (a.getGreen() - b.getGreen()) <= tolerance
           && std::abs (a.getBlue() - b.getBlue()) <= tolerance;
}

juce::Image surface (bool highlighted, bool down, bool on, bool focused, bool enabled, int variant)
{
    juce::Image image (juce::Image::ARGB, 60, 24, true);
    juce::Graphics g (image);
    g.fillAll (juce::Colours::black);
    paintSurface (g, image.getBounds().toFloat(), highlighted, down, on, focused, enabled, variant);
    return image;
}

// Fonts built from an embedded face keep that exact typeface object.
const juce::Typeface* typefaceOf (const juce::Font& font)
{
    return font.getTypefacePtr().get();
}

struct LookAndFeelTest : ::testing::Test
{
    void TearDown() override { pal::resetToDefaults(); }
};
} // namespace

TEST_F (LookAndFeelTest, EmbeddedFacesLoadOnceAndOutOfRangeIsNull)
{
    for (int face = 0; face < 6; ++face)
    {
        auto a = getEditorTypeface (face);
        ASSERT_NE (a, nullptr) << face;
        EXPECT_EQ (a.get(), getEditorTypeface (face).get());
    }
    EXPECT_EQ (getEditorTypeface (-1), nullptr);
    EXPECT_EQ (getEditorTypeface (6), nullptr);
    EXPECT_NE (getEditorTypeface (0)->getStyle(), getEditorTypeface (3)->getStyle());
}

TEST_F (LookAndFeelTest, TypeStylesUseTheirFaceSizeAndTracking)
{
    const auto style2 = getEditorFont (2);
    EXPECT_FLOAT_EQ (style2.getHeight(), 13.0f);
    EXPECT_NEAR (style2.getExtraKerningFactor(), 0.5f / 13.0f, 1e-6);
    EXPECT_EQ (typefaceOf (style2), getEditorTypeface (2).get());

    EXPECT_NEAR (getEditorFont (7).getExtraKerningFactor(), 0.12f, 1e-6);
    EXPECT_FLOAT_EQ (getEditorFont (9).getHeight(), 28.0f);
    EXPECT_EQ (typefaceOf (getEditorFont (9)), getEditorTypeface (5).get());

    // Unknown styles read as the body style.
    EXPECT_FLOAT_EQ (getEditorFont (42).getHeight(), 14.0f);
    EXPECT_EQ (getTypeSpec (-1).face, 0);
}

TEST_F (LookAndFeelTest, SurfaceVariantProperty)
{
    juce::Component c;
    EXPECT_EQ (surfaceVariantOf (c, 3), 3);
    const char* names[] = { "choiceField", "stepper", "toggle", "valueField", "iconButton", "waveCell", "plotPanel", "statusChip" };
    for (int i = 0; i < 8; ++i)
    {
        c.getProperties().set (surfaceVariantProperty, names[i]);
        EXPECT_EQ (surfaceVariantOf (c, 0), i + 1) << names[i];
    }
    c.getProperties().set (surfaceVariantProperty, "commandButton");
    EXPECT_EQ (surfaceVariantOf (c, 0), 0);
    c.getProperties().set (surfaceVariantProperty, "");
    EXPECT_EQ (surfaceVariantOf (c, 1), 1);

    // Unknown numbers take the value-field colours.
    EXPECT_EQ (getSurfaceColours (99).fill, getSurfaceColours (SurfaceVariant::valueField).fill);
    EXPECT_EQ (getSurfaceColours (6).onFill, getSurfaceColours (1).onFill);
}

TEST_F (LookAndFeelTest, CommandButtonPropertyDrawsAsDefaultButAsChoiceFieldOnCombo)
{
    LookAndFeel lnf;
    juce::TextButton plain ("Save"), tagged ("Save");
    for (auto* b : { &plain, &tagged })
    {
        b->setLookAndFeel (&lnf);
        b->setSize (80, 24);
    }
    tagged.getProperties().set (surfaceVariantProperty, "commandButton");
    EXPECT_TRUE (quillon::test::imagesEqual (quillon::test::paintToImage (plain), quillon::test::paintToImage (tagged)));

    juce::ComboBox comboTagged, comboChoice, comboToggle;
    for (auto* box : { &comboTagged, &comboChoice, &comboToggle })
    {
        box->setLookAndFeel (&lnf);
        box->setSize (120, 24);
    }
    comboTagged.getProperties().set (surfaceVariantProperty, "commandButton");
    comboChoice.getProperties().set (surfaceVariantProperty, "choiceField");
    comboToggle.getProperties().set (surfaceVariantProperty, "toggle"); // radius 4, so it draws differently
    EXPECT_TRUE (quillon::test::imagesEqual (quillon::test::paintToImage (comboTagged), quillon::test::paintToImage (comboChoice)));
    EXPECT_FALSE (quillon::test::imagesEqual (quillon::test::paintToImage (comboTagged), quillon::test::paintToImage (comboToggle)));

    for (auto* b : { &plain, &tagged })
        b->setLookAndFeel (nullptr);
    for (auto* box : { &comboTagged, &comboChoice, &comboToggle })
        box->setLookAndFeel (nullptr);
}

TEST_F (LookAndFeelTest, TextButtonFontFollowsHeightAndText)
{
    LookAndFeel lnf;
    const auto* wideBold = getEditorTypeface (5).get();
    const auto* book = getEditorTypeface (0).get();

    juce::TextButton importButton ("Import theme");
    auto f = lnf.getTextButtonFont (importButton, 18);
    EXPECT_EQ (typefaceOf (f), wideBold);
    EXPECT_FLOAT_EQ (f.getHeight(), 10.0f);

    f = lnf.getTextButtonFont (importButton, 30);
    EXPECT_EQ (typefaceOf (f), book);
    EXPECT_FLOAT_EQ (f.getHeight(), 14.0f);

    juce::TextButton ok ("OK"), save ("SAVE"), mixed ("Save");
    EXPECT_EQ (typefaceOf (lnf.getTextButtonFont (ok, 60)), wideBold);
    EXPECT_EQ (typefaceOf (lnf.getTextButtonFont (save, 40)), wideBold);
    EXPECT_EQ (typefaceOf (lnf.getTextButtonFont (mixed, 40)), book);
    EXPECT_FLOAT_EQ (lnf.getTextButtonFont (ok, 12).getHeight(), 8.0f); // never below 8
}

TEST_F (LookAndFeelTest, SurfaceLayersAndOutline)
{
    const auto focus = pal::get (pal::borderFocus);

    // A disabled focused surface still shows the full focus outline on top of the disabled overlay.
    const auto disabledFocused = surface (false, false, false, true, false, SurfaceVariant::command);
    EXPECT_TRUE (close (disabledFocused.getPixelAt (30, 0), focus)) << disabledFocused.getPixelAt (30, 0).toString();

    // Inset accent bar (rows 1-2) for a choice field, flush bar (rows 0-1) for a command surface.
    const auto choiceOn = surface (false, false, true, false, true, SurfaceVariant::choiceField);
    EXPECT_TRUE (close (choiceOn.getPixelAt (30, 2), pal::get (pal::textPrimary)));
    const auto commandOn = surface (false, false, true, false, true, SurfaceVariant::command);
    EXPECT_TRUE (close (commandOn.getPixelAt (30, 1), pal::get (pal::accentPrimary)));
    EXPECT_FALSE (close (commandOn.getPixelAt (30, 2), pal::get (pal::accentPrimary)));

    // Hover lightens, press and disabled darken.
    const auto centre = [] (const juce::Image& i) { return i.getPixelAt (30, 12).getBrightness(); };
    const auto idle = surface (false, false, false, false, true, SurfaceVariant::command);
    EXPECT_GT (centre (surface (true, false, false, false, true, 0)), centre (idle));
    EXPECT_LT (centre (surface (false, true, false, false, true, 0)), centre (idle));
    EXPECT_LT (centre (surface (false, false, false, false, false, 0)), centre (idle));

    // The palette is read at paint time.
    pal::set (pal::bgSurface2, juce::Colour (200, 10, 10));
    EXPECT_TRUE (close (surface (false, false, false, false, true, 0).getPixelAt (30, 12), juce::Colour (200, 10, 10)));
}

TEST_F (LookAndFeelTest, TinySurfacesDoNotFail)
{
    juce::Image image (juce::Image::ARGB, 4, 4, true);
    juce::Graphics g (image);
    for (int v = 0; v < 10; ++v)
        paintSurface (g, { 0.0f, 0.0f, 0.5f, 0.5f }, true, true, true, true, false, v);
    paintSurface (g, {}, true, true, true, false, true, 1);
    SUCCEED();
}

TEST_F (LookAndFeelTest, SignedNumbers)
{
    EXPECT_EQ (formatSignedNumber (-0.5, 1, true, true, false), minusSign + "0.5");
    EXPECT_EQ (formatSignedNumber (-0.5, 1, true, false, false), "-0.5");
    EXPECT_EQ (formatSignedNumber (0.0, 1, true, true, false), "0.0");
    EXPECT_EQ (formatSignedNumber (0.0, 1, true, true, true), "+0.0");
    EXPECT_EQ (formatSignedNumber (12.0, 0, true, true, false), "+12");
    EXPECT_EQ (formatSignedNumber (12.25, 2, false, true, false), "12.25");
    EXPECT_EQ (formatSignedNumber (-3.0, 0, false, false, false), "-3");
}

TEST_F (LookAndFeelTest, Times)
{
    const TimeZeroRule noRule;
    EXPECT_EQ (formatTime (0.25, 2, 1, noRule), "250 ms");
    EXPECT_EQ (formatTime (0.25, 2, 0, noRule), "250ms");
    EXPECT_EQ (formatTime (1.5, 2, 1, noRule), "1.50 s");
    EXPECT_EQ (formatTime (0.0004, 2, 1, noRule), "0 ms");
    EXPECT_EQ (formatTime (0.003, 2, 1, TimeZeroRule { 0.005, true }), "0 ms");
    EXPECT_EQ (formatTime (0.003, 2, 1, TimeZeroRule { 0.005, false }), "3 ms");
    EXPECT_EQ (formatTime (0.9996, 1, 1, noRule), "1000 ms");
}
