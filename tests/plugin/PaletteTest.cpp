#include "plugin/Palette.h"

#include <gtest/gtest.h>

namespace pal = quillon::palette;

namespace
{
struct PaletteTest : ::testing::Test
{
    void TearDown() override { pal::resetToDefaults(); }
};
} // namespace

TEST_F (PaletteTest, DerivedDefaultsAreTheDocumentedValues)
{
    EXPECT_EQ (pal::get (pal::controlFillActive).getARGB(), 0xFF2C3132u); // 28,33,34 brightened by 0.08
    EXPECT_EQ (pal::get (pal::overlayHover).getARGB(), 0x12FFFFFFu);
    EXPECT_EQ (pal::get (pal::overlaySelected).getARGB(), 0x1FC7F500u);
    EXPECT_EQ (pal::get (pal::overlayPressed).getARGB(), 0x3D000000u);
    EXPECT_EQ (pal::get (pal::overlayDisabled).getARGB(), 0x66000000u);
    EXPECT_NE (pal::get (pal::overlaySelected), pal::get (pal::accentPrimary));
    EXPECT_EQ (pal::get (pal::debugGridLabel).getARGB(), 0xFFF2F4E8u);
    EXPECT_EQ (pal::get (pal::controlBorderHover).getARGB(), 0xFFC8F500u);
    EXPECT_EQ (pal::get (pal::bgGround).getARGB(), 0xFF0B0B0Au);
    EXPECT_EQ (pal::get (pal::sourceDcw2).getARGB(), 0xFFB98CFFu);
}

TEST_F (PaletteTest, CopiesDoNotFollowTheirSourceSlots)
{
    pal::set (pal::textPrimary, juce::Colours::red);
    pal::set (pal::bgSurface2, juce::Colours::blue);
    EXPECT_EQ (pal::get (pal::debugGridLabel).getARGB(), 0xFFF2F4E8u);
    EXPECT_EQ (pal::get (pal::controlFill).getARGB(), 0xFF1C2122u);
    pal::resetToDefaults();
    EXPECT_EQ (pal::get (pal::textPrimary).getARGB(), 0xFFF2F4E8u);
}

TEST_F (PaletteTest, NamesAndThemeSlots)
{
    int themeSlots = 0;
    for (int i = 0; i < pal::numSlots; ++i)
    {
        EXPECT_EQ (pal::slotNamed (pal::nameOf (i)), i);
        themeSlots += pal::isThemeSlot (i) ? 1 : 0;
    }
    EXPECT_EQ (pal::numSlots, 40);
    EXPECT_EQ (themeSlots, 32);
    EXPECT_EQ (pal::nameOf (pal::accentModRing), "accent.modRing");
    EXPECT_EQ (pal::nameOf (pal::controlValue), "control.value");
    EXPECT_FALSE (pal::isThemeSlot (pal::overlayHover));
    EXPECT_FALSE (pal::isThemeSlot (pal::debugGridLabel));
    EXPECT_TRUE (pal::isThemeSlot (pal::semanticError));
    EXPECT_EQ (pal::slotNamed ("bg.nothing"), -1);

    // Out of range is harmless.
    pal::set (40, juce::Colours::red);
    pal::set (-1, juce::Colours::red);
    EXPECT_EQ (pal::get (40), juce::Colour());
    EXPECT_TRUE (pal::nameOf (99).isEmpty());
}
