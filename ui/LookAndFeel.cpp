#include "LookAndFeel.h"

#include "BinaryData.h"
#include "plugin/Palette.h"
#include "widgets/WidgetTheme.h"

#include <array>
#include <cmath>

namespace quillon::ui
{
namespace
{
    juce::Typeface::Ptr loadFace (const char* resourceName)
    {
        int size = 0;
        const auto* data = BinaryData::getNamedResource (resourceName, size);
        if (data == nullptr || size <= 0)
            return nullptr;
        return juce::Typeface::createSystemTypefaceFor (data, (size_t) size);
    }

    const std::array<juce::Typeface::Ptr, 6>& faces()
    {
        static const std::array<juce::Typeface::Ptr, 6> table {
            loadFace ("font_book_otf"),     loadFace ("font_book_italic_otf"),
            loadFace ("font_semibold_otf"), loadFace ("font_bold_otf"),
            loadFace ("font_wide_book_otf"), loadFace ("font_wide_bold_otf")
        };
        return table;
    }

    juce::String sansFamily() { return juce::Font::getDefaultSansSerifFontName(); }
    juce::String monoFamily() { return juce::Font::getDefaultMonospacedFontName(); }

    juce::Rectangle<float> nonNegative (float x, float y, float w, float h)
    {
        return { x, y, juce::jmax (0.0f, w), juce::jmax (0.0f, h) };
    }

    bool isCompact (const juce::ComboBox& box)
    {
        if (static_cast<bool> (box.getProperties().getWithDefault (larkspur::widgets::compactChoiceProperty, false)))
            return true;
        return static_cast<bool> (box.getProperties().getWithDefault (larkspur::widgets::editorCompactChoiceProperty, false));
    }
} // namespace

juce::Typeface::Ptr getEditorTypeface (int face)
{
    if (face < 0 || face >= 6)
        return nullptr;
    return faces()[(size_t) face];
}

TypeSpec getTypeSpec (int style)
{
    switch (style)
    {
        case 0: return { 2, sansFamily(), "Semi Bold", 20.0f, 0.0f };
        case 1: return { 3, sansFamily(), "Bold", 18.0f, 0.0f };
        case 2: return { 2, sansFamily(), "Medium", 13.0f, 0.5f };
        case 4: return { 0, sansFamily(), "Regular", 11.0f, 0.0f };
        case 5: return { 4, monoFamily(), "Regular", 11.0f, 0.0f };
        case 6: return { 5, monoFamily(), "Medium", 10.0f, 1.2f };
        case 7: return { 5, monoFamily(), "Medium", 9.0f, 1.08f };
        case 8: return { 5, monoFamily(), "Medium", 10.0f, 1.2f };
        case 9: return { 5, sansFamily(), "Bold", 28.0f, 0.0f };
        case 3:
        default: return { 0, sansFamily(), "Regular", 14.0f, 0.0f };
    }
}

juce::Font getEditorFont (int style)
{
    const auto spec = getTypeSpec (style);
    juce::Font font;

    if (auto face = getEditorTypeface (spec.face))
    {
        font = juce::Font (face);
        font.setHeight (spec.size);
    }
    else
    {
        font = juce::Font (spec.fallbackFamily, spec.size, juce::Font::plain);
        if (spec.fallbackStyle != "Regular")
            font.setTypefaceStyle (spec.fallbackStyle);
    }

    if (spec.tracking != 0.0f && spec.size > 0.0f)
        font.setExtraKerningFactor (spec.tracking / spec.size);

    return font;
}

SurfaceColours getSurfaceColours (int variant)
{
    using namespace quillon::palette;
    const auto surface2 = get (bgSurface2);
    const auto hair = get (borderHair);

    switch (variant)
    {
        case SurfaceVariant::command:
            return { surface2, surface2.brighter (0.06f), hair, get (accentPrimary), 4, false };
        case SurfaceVariant::choiceField:
        case SurfaceVariant::waveCell:
            return { surface2, get (accentSelection), hair, get (textPrimary), 2, true };
        case SurfaceVariant::stepper:
            return { surface2.withAlpha (0.74f), surface2, hair, get (accentPrimary), 2, false };
        case SurfaceVariant::toggle:
            return { surface2, get (accentSelection), hair, get (textPrimary), 4, true };
        case SurfaceVariant::iconButton:
            return { surface2.withAlpha (0.72f), surface2, hair, get (accentPrimary), 2, false };
        case SurfaceVariant::plotPanel:
            return { get (bgPanel), get (bgPanel), hair, get (accentPrimary), 4, false };
        case SurfaceVariant::statusChip:
            return { get (bgSurface).withAlpha (0.72f), surface2.withAlpha (0.86f), hair, get (accentPrimary), 2, true };
        case SurfaceVariant::valueField:
        default:
            return { get (controlFill), get (controlFillActive), get (controlBorder), get (controlValue), 2, false };
    }
}

int surfaceVariantOf (const juce::Component& component, int defaultVariant)
{
    const auto* value = component.getProperties().getVarPointer (surfaceVariantProperty);
    if (value == nullptr)
        return defaultVariant;

    static const std::array<const char*, 8> names { "choiceField", "stepper", "toggle", "valueField",
                                                    "iconButton", "waveCell", "plotPanel", "statusChip" };
    const auto text = value->toString();
    for (size_t i = 0; i < names.size(); ++i)
        if (text == names[i])
            return (int) i + 1;
    return defaultVariant;
}

void paintSurface (juce::Graphics& g, juce::Rectangle<float> bounds, bool highlighted, bool down, bool on,
                   bool focused, bool enabled, int variant)
{
    using namespace quillon::palette;
    const auto colours = getSurfaceColours (variant);
    const auto radius = (float) colours.cornerRadius;

    g.setColour (on ? colours.onFill : colours.fill);
    g.fillRoundedRectangle (bounds, radius);

    if (on)
    {
        g.setColour (get (overlaySelected));
        g.fillRoundedRectangle (bounds, radius);
        g.setColour (colours.accent);
        if (colours.insetAccentBar)
            g.fillRect (nonNegative (bounds.getX() + 1.0f, bounds.getY() + 1.0f, bounds.getWidth() - 2.0f, 2.0f));
        else
            g.fillRect (nonNegative (bounds.getX(), bounds.getY(), bounds.getWidth(), 2.0f));
    }

    if (highlighted)
    {
        g.setColour (get (overlayHover));
        g.fillRoundedRectangle (bounds, radius);
    }
    if (down)
    {
        g.setColour (get (overlayPressed));
        g.fillRoundedRectangle (bounds, radius);
    }
    if (! enabled)
    {
        g.setColour (get (overlayDisabled));
        g.fillRoundedRectangle (bounds, radius);
    }

    const auto outline = nonNegative (bounds.getX() + 0.5f, bounds.getY() + 0.5f,
                                      bounds.getWidth() - 1.0f, bounds.getHeight() - 1.0f);
    if (focused)
    {
        g.setColour (get (borderFocus));
        g.drawRoundedRectangle (outline, radius, 2.0f);
    }
    else
    {
        g.setColour (enabled ? colours.border : colours.border.withAlpha (0.28f));
        g.drawRoundedRectangle (outline, radius, 1.0f);
    }
}

void drawTextWithSymbols (juce::Graphics& g, const juce::String& text, const juce::Font& font,
                          juce::Rectangle<float> area, juce::Justification justification)
{
    const juce::juce_wchar arrow = 0x2192, cross = 0x2715;

    if (! text.containsChar (arrow) && ! text.containsChar (cross))
    {
        g.setFont (font);
        larkspur::widgets::drawFittedLine (g, text, area, justification);
        return;
    }

    // Lay the line out as runs of ordinary text and symbol cells one font-height wide.
    struct Run { juce::String text; juce::juce_wchar symbol; float width; };
    std::vector<Run> runs;
    const auto symbolWidth = font.getHeight() * 0.9f;
    juce::String pending;

    const auto flush = [&]
    {
        if (pending.isNotEmpty())
            runs.push_back ({ pending, 0, font.getStringWidthFloat (pending) });
        pending.clear();
    };

    for (auto c : text)
    {
        if (c == arrow || c == cross)
        {
            flush();
            runs.push_back ({ {}, c, symbolWidth });
        }
        else
        {
            pending += c;
        }
    }
    flush();

    float total = 0.0f;
    for (const auto& run : runs)
        total += run.width;

    // Too long for its box: the same line in a smaller size, never cut.
    if (total > area.getWidth() && area.getWidth() > 1.0f && font.getHeight() > 2.0f)
    {
        auto smaller = font;
        smaller.setHeight (font.getHeight() * juce::jmax (0.5f, (area.getWidth() - 1.0f) / total));
        drawTextWithSymbols (g, text, smaller, area, justification);
        return;
    }

    float x = area.getX();
    if (justification.testFlags (juce::Justification::horizontallyCentred))
        x = area.getCentreX() - total * 0.5f;
    else if (justification.testFlags (juce::Justification::right))
        x = area.getRight() - total;

    const auto lineJustification = juce::Justification (juce::Justification::left
                                                        | (justification.getFlags() & (juce::Justification::top | juce::Justification::bottom | juce::Justification::verticallyCentred)));
    const auto half = font.getHeight() * 0.3f;
    const auto cy = area.getCentreY();
    g.setFont (font);

    for (const auto& run : runs)
    {
        if (run.symbol == 0)
        {
            g.drawText (run.text, juce::Rectangle<float> (x, area.getY(), run.width + 1.0f, area.getHeight()), lineJustification, false);
        }
        else
        {
            const auto cx = x + run.width * 0.5f;
            juce::Path path;

            if (run.symbol == arrow)
            {
                path.startNewSubPath (cx - half, cy);
                path.lineTo (cx + half, cy);
                path.startNewSubPath (cx + half * 0.35f, cy - half * 0.6f);
                path.lineTo (cx + half, cy);
                path.lineTo (cx + half * 0.35f, cy + half * 0.6f);
            }
            else
            {
                path.startNewSubPath (cx - half, cy - half);
                path.lineTo (cx + half, cy + half);
                path.startNewSubPath (cx + half, cy - half);
                path.lineTo (cx - half, cy + half);
            }

            g.strokePath (path, juce::PathStrokeType (juce::jmax (1.0f, font.getHeight() * 0.1f), juce::PathStrokeType::curved,
                                                      juce::PathStrokeType::rounded));
        }

        x += run.width;
    }
}

void paintPlotFrame (juce::Graphics& g, juce::Rectangle<float> b)
{
    g.setColour (palette::get (palette::bgPanel));
    g.fillRoundedRectangle (b, 4.0f);
    g.setColour (palette::get (palette::borderHair));
    g.drawRoundedRectangle ({ b.getX() + 0.5f, b.getY() + 0.5f, juce::jmax (b.getWidth() - 1.0f, 0.0f),
                              juce::jmax (b.getHeight() - 1.0f, 0.0f) },
                            4.0f, 1.0f);
}

juce::String formatSignedNumber (double value, int decimalPlaces, bool showPlus, bool unicodeMinus,
                                 bool plusAtZero)
{
    const auto places = juce::jmax (0, decimalPlaces);
    if (value < 0.0)
    {
        const auto minus = unicodeMinus ? juce::String (juce::CharPointer_UTF8 ("\xe2\x88\x92")) : juce::String ("-");
        return minus + juce::String (-value, places);
    }

    auto text = juce::String (value, places);
    if (showPlus && (value > 0.0 || plusAtZero))
        text = "+" + text;
    return text;
}

juce::String withUnit (const juce::String& number, const juce::String& unit, int spacing)
{
    return number + (spacing == 1 ? " " : "") + unit;
}

juce::String formatTime (double seconds, int decimalPlaces, int spacing, TimeZeroRule zeroRule)
{
    if (zeroRule.enabled && seconds < zeroRule.thresholdSeconds)
        return withUnit ("0", "ms", spacing);
    if (seconds < 1.0)
        return withUnit (juce::String (juce::roundToInt (seconds * 1000.0)), "ms", spacing);
    return withUnit (juce::String (seconds, juce::jmax (0, decimalPlaces)), "s", spacing);
}

//==============================================================================
void LookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour&,
                                        bool highlighted, bool down)
{
    paintSurface (g, button.getLocalBounds().toFloat(), highlighted, down, button.getToggleState(),
                  button.hasKeyboardFocus (false), button.isEnabled(),
                  surfaceVariantOf (button, SurfaceVariant::command));
}

juce::Font LookAndFeel::getTextButtonFont (juce::TextButton& button, int buttonHeight)
{
    const auto text = button.getButtonText();
    const auto length = text.length();
    const bool small = buttonHeight < 25 || (length <= 5 && text == text.toUpperCase()) || length <= 2;

    auto font = getEditorFont (small ? 6 : 3);
    if (buttonHeight < 20)
        font.setHeight ((float) juce::jmax (buttonHeight - 8, 8));
    return font;
}

void LookAndFeel::drawButtonText (juce::Graphics& g, juce::TextButton& button, bool highlighted, bool)
{
    using namespace quillon::palette;
    if (! button.isEnabled())
        g.setColour (get (textDisabled));
    else if (highlighted || button.getToggleState())
        g.setColour (get (controlText));
    else
        g.setColour (get (textSecondary));

    const auto font = getTextButtonFont (button, button.getHeight());
    const auto area = juce::Rectangle<int> (8, 0, juce::jmax (0, button.getWidth() - 16), button.getHeight());

    drawTextWithSymbols (g, button.getButtonText(), font, area.toFloat(), juce::Justification::centred);
}

juce::Font LookAndFeel::getAlertWindowTitleFont() { return getEditorFont (1); }
juce::Font LookAndFeel::getAlertWindowMessageFont() { return getEditorFont (3); }
juce::Font LookAndFeel::getAlertWindowFont() { return getEditorFont (3); }
juce::Font LookAndFeel::getPopupMenuFont() { return getEditorFont (3); }

void LookAndFeel::drawComboBox (juce::Graphics& g, int width, int height, bool down, int, int, int, int,
                                juce::ComboBox& box)
{
    using namespace quillon::palette;
    const bool compact = isCompact (box);

    paintSurface (g, juce::Rectangle<int> (0, 0, width, height).toFloat(), box.isMouseOver (false), down, false,
                  box.hasKeyboardFocus (false), box.isEnabled(), surfaceVariantOf (box, SurfaceVariant::choiceField));

    const auto ax = (float) width - (compact ? 8.0f : 14.0f);
    const auto cy = (float) height * 0.5f;
    juce::Path chevron;
    chevron.startNewSubPath (ax - 4.0f, cy - 2.0f);
    chevron.lineTo (ax, cy + 2.0f);
    chevron.lineTo (ax + 4.0f, cy - 2.0f);
    g.setColour (box.isEnabled() ? get (controlText) : get (textDisabled));
    g.strokePath (chevron, juce::PathStrokeType (1.5f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
}

juce::Font LookAndFeel::getComboBoxFont (juce::ComboBox&) { return getEditorFont (5); }

void LookAndFeel::positionComboBoxText (juce::ComboBox& box, juce::Label& label)
{
    if (isCompact (box))
    {
        label.setBounds (4, 1, juce::jmax (0, box.getWidth() - 14), juce::jmax (0, box.getHeight() - 2));
        label.setFont (getEditorFont (7));
    }
    else
    {
        label.setBounds (8, 1, juce::jmax (0, box.getWidth() - 30), juce::jmax (0, box.getHeight() - 2));
        label.setFont (getComboBoxFont (box));
    }
    label.setJustificationType (box.getJustificationType());
}

juce::Font LookAndFeel::getLabelFont (juce::Label& label) { return label.getFont(); }

void LookAndFeel::drawLabel (juce::Graphics& g, juce::Label& label)
{
    g.fillAll (label.findColour (juce::Label::backgroundColourId));

    if (! label.isBeingEdited())
    {
        const auto alpha = label.isEnabled() ? 1.0f : 0.5f;
        const auto font = getLabelFont (label);
        auto ink = label.findColour (juce::Label::textColourId);
        if (const auto* ground = label.getProperties().getVarPointer (groundColourProperty))
            ink = readableInk (ink, juce::Colour ((juce::uint32) (juce::int64) *ground));
        g.setColour (ink.withMultipliedAlpha (alpha));
        g.setFont (font);

        const auto area = getLabelBorderSize (label).subtractedFrom (label.getLocalBounds());
        const auto lines = juce::jmax (1, (int) ((float) area.getHeight() / font.getHeight()));

        // A one-line label (every combo box text among them) is fitted, never cut.
        if (lines == 1)
            larkspur::widgets::drawFittedLine (g, label.getText(), area.toFloat(), label.getJustificationType());
        else
            g.drawFittedText (label.getText(), area, label.getJustificationType(), lines, label.getMinimumHorizontalScale());

        g.setColour (label.findColour (juce::Label::outlineColourId).withMultipliedAlpha (alpha));
    }
    else if (label.isEnabled())
    {
        g.setColour (label.findColour (juce::Label::outlineColourId));
    }

    g.drawRect (label.getLocalBounds());
}
juce::Font LookAndFeel::getSliderPopupFont (juce::Slider&) { return getEditorFont (5); }

float contrastRatio (juce::Colour a, juce::Colour b)
{
    const auto luminance = [] (juce::Colour c)
    {
        const auto channel = [] (juce::uint8 v)
        {
            const double s = v / 255.0;
            return s <= 0.04045 ? s / 12.92 : std::pow ((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel (c.getRed()) + 0.7152 * channel (c.getGreen()) + 0.0722 * channel (c.getBlue());
    };
    const auto la = luminance (a), lb = luminance (b);
    return (float) ((juce::jmax (la, lb) + 0.05) / (juce::jmin (la, lb) + 0.05));
}

juce::Colour readableInk (juce::Colour ink, juce::Colour ground, std::initializer_list<juce::Colour> fallbacks)
{
    const auto opaqueGround = juce::Colours::black.overlaidWith (ground);
    const auto standsOut = [&opaqueGround] (juce::Colour c)
    { return contrastRatio (opaqueGround.overlaidWith (c), opaqueGround) >= readableContrast; };

    if (standsOut (ink))
        return ink;

    for (auto fallback : fallbacks)
        if (standsOut (fallback.withAlpha (ink.getFloatAlpha())))
            return fallback.withAlpha (ink.getFloatAlpha());

    const auto black = juce::Colours::black, white = juce::Colours::white;
    return contrastRatio (black, opaqueGround) > contrastRatio (white, opaqueGround) ? black : white;
}

} // namespace quillon::ui
