#include "WidgetTheme.h"

#include <cmath>
#include <limits>

namespace larkspur::widgets
{

juce::Colour WidgetTheme::getColour (int colourId) const
{
    if (auto it = colours.find (colourId); it != colours.end())
        return it->second;

    const auto fallback = makeDefaultWidgetTheme();

    if (auto it = fallback.colours.find (colourId); it != fallback.colours.end())
        return it->second;

    return juce::Colours::transparentBlack;
}

WidgetTheme makeDefaultWidgetTheme()
{
    WidgetTheme theme;
    theme.id = "larkspur.dark";
    theme.displayName = "Larkspur Dark";

    static constexpr juce::uint8 rgb[ColourId::count][3] = {
        { 11, 11, 10 },    // ground
        { 19, 22, 23 },    // surface
        { 7, 8, 8 },       // panel
        { 28, 33, 34 },    // surface2
        { 85, 98, 102 },   // hair
        { 215, 255, 55 },  // focus
        { 242, 244, 232 }, // text primary
        { 151, 164, 173 }, // text tertiary
        { 88, 98, 100 },   // text disabled
        { 200, 245, 0 },   // accent
        { 11, 11, 10 },    // on-accent
        { 85, 185, 255 },  // mod ring
        { 39, 49, 50 },    // hover fill
        { 85, 185, 255 },  // modulation
        { 255, 122, 47 },  // ember
        { 255, 60, 119 },  // live
        { 255, 178, 62 },  // warn
        { 255, 94, 108 },  // error
    };

    theme.colours.clear();
    for (int i = 0; i < ColourId::count; ++i)
        theme.colours[i] = juce::Colour (rgb[i][0], rgb[i][1], rgb[i][2]);

    theme.shadows.clear();
    theme.shadows[0] = { juce::Colours::transparentBlack, 0, 0, 0, 0.0f };
    theme.shadows[1] = { juce::Colours::black, 8, 0, 2, 0.18f };
    theme.shadows[2] = { juce::Colours::black, 16, 0, 6, 0.22f };
    theme.shadows[3] = { juce::Colours::black, 28, 0, 12, 0.28f };
    return theme;
}

const WidgetTheme& getWidgetTheme()
{
    static const WidgetTheme theme = makeDefaultWidgetTheme();
    return theme;
}

juce::Font getStyleFont (int style)
{
    float height = 14.0f;
    bool bold = false;

    switch (style)
    {
        case 0: height = 20.0f; bold = true; break;
        case 1: height = 18.0f; bold = true; break;
        case 2: height = 13.0f; bold = true; break;
        case 3: height = 14.0f; break;
        case 4: height = 11.0f; break;
        case 5: height = 11.0f; break;
        case 6: height = 10.0f; bold = true; break;
        default: break;
    }

    juce::Font font (height);
    return bold ? font.withTypefaceStyle ("Bold") : font;
}

bool isUpperCaseStyle (int style)
{
    return style == 2 || style == 6;
}

int getSpacing (int token)
{
    switch (token)
    {
        case 1: return 4;
        case 2: return 8;
        case 3: return 12;
        case 4: return 16;
        case 5: return 24;
        case 6: return 8;
        case 7: return 12;
        default: return 0;
    }
}

namespace
{
    // Below these a line is no longer read at a glance; it is cut with an ellipsis instead.
    constexpr float minimumSqueeze = 0.8f;
    constexpr float smallestHeight = 8.0f;

    float lineWidth (const juce::Font& font, const juce::String& text)
    {
        juce::GlyphArrangement glyphs;
        glyphs.addLineOfText (font, text, 0.0f, 0.0f);
        return glyphs.getBoundingBox (0, -1, false).getWidth();
    }
} // namespace

juce::Font fitFontToWidth (const juce::Font& font, const juce::String& text, float width)
{
    auto fitted = font;
    const auto trimmed = text.trim();

    // A few rounds: glyph widths do not scale exactly with the height at small sizes.
    for (int round = 0; round < 6 && width > 0.0f; ++round)
    {
        const auto w = lineWidth (fitted, trimmed);
        if (w * minimumSqueeze < width - 0.5f)
            break;
        const auto floor = juce::jmin (smallestHeight, font.getHeight());
        if (fitted.getHeight() <= floor)
            break;
        fitted.setHeight (juce::jmax (floor, fitted.getHeight() * (width - 1.0f) / (w * minimumSqueeze)));
    }

    return fitted;
}

juce::Colour surfaceColour (const juce::Component& component, int surfaceColourId, int themeColourId)
{
    return component.isColourSpecified (surfaceColourId) ? component.findColour (surfaceColourId)
                                                         : getWidgetTheme().getColour (themeColourId);
}

void drawFittedLine (juce::Graphics& g, const juce::String& text, juce::Rectangle<float> area,
                     juce::Justification justification)
{
    if (text.isEmpty() || area.isEmpty())
        return;

    const auto font = fitFontToWidth (g.getCurrentFont(), text, area.getWidth());
    juce::GlyphArrangement glyphs;
    glyphs.addFittedText (font, text, area.getX(), area.getY(), area.getWidth(), area.getHeight(), justification, 1,
                          minimumSqueeze);
    glyphs.draw (g);
}

void drawStyledText (juce::Graphics& g, int style, const juce::String& text, juce::Rectangle<int> area,
                     juce::Colour colour, juce::Justification justification)
{
    g.setColour (colour);
    g.setFont (getStyleFont (style));
    drawFittedLine (g, isUpperCaseStyle (style) ? text.toUpperCase() : text, area.toFloat(), justification);
}

int measureTextWidth (int style, const juce::String& text)
{
    juce::GlyphArrangement glyphs;
    glyphs.addLineOfText (getStyleFont (style), text, 0.0f, 0.0f);
    return (int) std::ceil (glyphs.getBoundingBox (0, -1, true).getWidth());
}

void fillThemedRoundedRect (juce::Graphics& g, juce::Rectangle<float> area, int fillColourId, float cornerSize,
                            int strokeColourId, float strokeWidth)
{
    const auto& theme = getWidgetTheme();
    g.setColour (theme.getColour (fillColourId));
    g.fillRoundedRectangle (area, cornerSize);

    if (strokeWidth <= 0.0f)
        return;

    g.setColour (theme.getColour (strokeColourId));
    g.drawRoundedRectangle (themedStrokeArea (area, strokeWidth), cornerSize, strokeWidth);
}

juce::Rectangle<float> themedStrokeArea (juce::Rectangle<float> area, float strokeWidth)
{
    const auto half = strokeWidth * 0.5f;
    return { area.getX() + half, area.getY() + half,
             juce::jmax (0.0f, area.getWidth() - strokeWidth), juce::jmax (0.0f, area.getHeight() - strokeWidth) };
}

juce::Rectangle<float> outlineBox (juce::Rectangle<float> bounds)
{
    return { bounds.getX() + 0.5f, bounds.getY() + 0.5f,
             juce::jmax (0.0f, bounds.getWidth() - 1.0f), juce::jmax (0.0f, bounds.getHeight() - 1.0f) };
}

bool nearlyEqual (float a, float b) noexcept
{
    if (a == b)
        return true;

    if (! std::isfinite (a) || ! std::isfinite (b))
        return false;

    const auto diff = std::abs (a - b);
    return diff <= std::numeric_limits<float>::min()
        || diff <= std::numeric_limits<float>::epsilon() * juce::jmax (std::abs (a), std::abs (b));
}

} // namespace larkspur::widgets
