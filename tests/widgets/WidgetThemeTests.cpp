#include "WidgetTestSupport.h"

#include "widgets/WidgetTheme.h"

#include <limits>

using namespace larkspur::widgets;
using namespace widget_tests;

TEST (WidgetTheme, DefaultThemeHasEighteenOpaqueColoursAndFourShadows)
{
    const auto& theme = getWidgetTheme();
    EXPECT_EQ (theme.id, "larkspur.dark");
    EXPECT_EQ (theme.displayName, "Larkspur Dark");
    ASSERT_EQ (theme.colours.size(), 18u);

    for (const auto& [id, colour] : theme.colours)
        EXPECT_EQ (colour.getAlpha(), 255) << "colour id " << id;

    EXPECT_EQ (theme.getColour (ColourId::focus), juce::Colour (215, 255, 55));
    EXPECT_EQ (theme.getColour (ColourId::accent), juce::Colour (200, 245, 0));
    EXPECT_EQ (theme.getColour (ColourId::error), juce::Colour (255, 94, 108));
    EXPECT_EQ (theme.getColour (ColourId::ground), theme.getColour (ColourId::onAccent));
    EXPECT_EQ (theme.getColour (ColourId::modRing), theme.getColour (ColourId::modulation));

    ASSERT_EQ (theme.shadows.size(), 4u);
    EXPECT_TRUE (theme.shadows.at (0).colour.isTransparent());
    EXPECT_EQ (theme.shadows.at (2).radius, 16);
    EXPECT_EQ (theme.shadows.at (3).offsetY, 12);
    EXPECT_FLOAT_EQ (theme.shadows.at (1).opacity, 0.18f);

    EXPECT_EQ (&getWidgetTheme(), &theme) << "one theme per process";
}

TEST (WidgetTheme, MissingIdsFallBackToDefaultsAndUnknownIdsEnd)
{
    auto theme = makeDefaultWidgetTheme();
    theme.colours.erase (ColourId::accent);
    EXPECT_EQ (theme.getColour (ColourId::accent), juce::Colour (200, 245, 0));
    EXPECT_TRUE (theme.getColour (42).isTransparent());
    EXPECT_TRUE (theme.getColour (-1).isTransparent());
}

TEST (WidgetTheme, StyleFonts)
{
    struct Expected { int style; float height; bool bold; };

    for (auto e : { Expected { 0, 20.0f, true }, Expected { 1, 18.0f, true }, Expected { 2, 13.0f, true },
                    Expected { 3, 14.0f, false }, Expected { 4, 11.0f, false }, Expected { 5, 11.0f, false },
                    Expected { 6, 10.0f, true }, Expected { 9, 14.0f, false }, Expected { -1, 14.0f, false } })
    {
        const auto font = getStyleFont (e.style);
        EXPECT_FLOAT_EQ (font.getHeight(), e.height) << "style " << e.style;
        EXPECT_EQ (font.isBold(), e.bold) << "style " << e.style;
        EXPECT_TRUE (font.getTypefaceName() == juce::Font::getDefaultSansSerifFontName()
                     || font.getTypefaceName().isEmpty());
    }

    EXPECT_EQ (getStyleFont (4), getStyleFont (5));
}

TEST (WidgetTheme, SpacingTokens)
{
    const int expected[] = { 0, 4, 8, 12, 16, 24, 8, 12, 0, 0 };

    for (int token = 0; token < 10; ++token)
        EXPECT_EQ (getSpacing (token), expected[token]) << "token " << token;

    EXPECT_EQ (getSpacing (-3), 0);
}

namespace
{
juce::Image drawText (int style, const juce::String& text)
{
    juce::Image image (juce::Image::ARGB, 160, 24, true);
    juce::Graphics g (image);
    drawStyledText (g, style, text, { 0, 0, 160, 24 }, juce::Colours::white, juce::Justification::centredLeft);
    return image;
}
} // namespace

TEST (WidgetTheme, CapsStylesDrawUpperCase)
{
    for (int style : { 2, 6 })
        EXPECT_TRUE (imagesEqual (drawText (style, "Bypassed"), drawText (style, "BYPASSED"))) << "style " << style;

    EXPECT_FALSE (imagesEqual (drawText (3, "Bypassed"), drawText (3, "BYPASSED")));
}

TEST (WidgetTheme, ThemedRoundedRectStrokesInsideTheFill)
{
    EXPECT_EQ (themedStrokeArea ({ 0, 0, 10, 10 }, 2.0f), juce::Rectangle<float> (1, 1, 8, 8));
    const auto tooWide = themedStrokeArea ({ 0, 0, 10, 10 }, 12.0f);
    EXPECT_EQ (tooWide.getWidth(), 0.0f);
    EXPECT_EQ (tooWide.getHeight(), 0.0f);

    const auto& theme = getWidgetTheme();
    juce::Image image (juce::Image::ARGB, 20, 20, true);
    {
        juce::Graphics g (image);
        fillThemedRoundedRect (g, { 0, 0, 20, 20 }, ColourId::surface, 0.0f, ColourId::focus, 2.0f);
    }
    EXPECT_TRUE (coloursClose (image.getPixelAt (10, 10), theme.getColour (ColourId::surface)));
    EXPECT_TRUE (coloursClose (image.getPixelAt (1, 10), theme.getColour (ColourId::focus)));

    juce::Image plain (juce::Image::ARGB, 20, 20, true);
    {
        juce::Graphics g (plain);
        fillThemedRoundedRect (g, { 0, 0, 20, 20 }, ColourId::surface, 0.0f, ColourId::focus, 0.0f);
    }
    EXPECT_TRUE (coloursClose (plain.getPixelAt (1, 10), theme.getColour (ColourId::surface)));
}

TEST (WidgetTheme, NearlyEqualHandlesNegativesAndInfinities)
{
    constexpr auto inf = std::numeric_limits<float>::infinity();
    EXPECT_TRUE (nearlyEqual (-0.5f, -0.5f));
    EXPECT_TRUE (nearlyEqual (-1.0f, std::nextafter (-1.0f, 0.0f)));
    EXPECT_FALSE (nearlyEqual (-1.0f, -0.98f));
    EXPECT_TRUE (nearlyEqual (0.0f, -0.0f));
    EXPECT_TRUE (nearlyEqual (inf, inf));
    EXPECT_FALSE (nearlyEqual (inf, -inf));
    EXPECT_FALSE (nearlyEqual (std::nanf (""), std::nanf ("")));
    EXPECT_FALSE (nearlyEqual (0.25f, 0.27f));
}
