#pragma once

#include "widgets/WidgetTheme.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace quillon::ui
{

/** How an editor type style is built: an embedded face, and what to use if that face failed to load. */
struct TypeSpec
{
    int face = 0;
    juce::String fallbackFamily;
    juce::String fallbackStyle;
    float size = 14.0f;
    float tracking = 0.0f;
};

/** Colours and shape of one surface variant. */
struct SurfaceColours
{
    juce::Colour fill;
    juce::Colour onFill;
    juce::Colour border;
    juce::Colour accent;
    int cornerRadius = 2;
    bool insetAccentBar = false;
};

/** Surface variant numbers, as named by the component property "quillon.surfaceVariant". */
struct SurfaceVariant
{
    static constexpr int command = 0;
    static constexpr int choiceField = 1;
    static constexpr int stepper = 2;
    static constexpr int toggle = 3;
    static constexpr int valueField = 4;
    static constexpr int iconButton = 5;
    static constexpr int waveCell = 6;
    static constexpr int plotPanel = 7;
    static constexpr int statusChip = 8;
};

inline const juce::Identifier surfaceVariantProperty { "quillon.surfaceVariant" };

/** One of the six embedded faces (0 book, 1 book italic, 2 semi-bold, 3 bold, 4 wide book, 5 wide bold),
    parsed once per process; null for other numbers or a resource that does not load. */
juce::Typeface::Ptr getEditorTypeface (int face);

/** Editor type styles 0..9; any other number gives style 3. */
TypeSpec getTypeSpec (int style);
juce::Font getEditorFont (int style);

/** WCAG contrast ratio of two opaque colours, 1 to 21. */
float contrastRatio (juce::Colour a, juce::Colour b);

/** Text needs this much contrast against what is behind it to be read at a glance. */
inline constexpr float readableContrast = 3.0f;

/** The ink itself when it stands out from the ground by readableContrast, else the first of the
    fallbacks that does, else black or white, whichever stands out more. Light themes write dark
    text, and some of it lands on the toolkit's fixed dark surfaces; this keeps it readable. */
juce::Colour readableInk (juce::Colour ink, juce::Colour ground, std::initializer_list<juce::Colour> fallbacks = {});

/** A label property (ARGB as an int): the colour behind the label, for labels that sit on a surface
    the themes do not colour. drawLabel then keeps the label's text readable on it. */
inline const juce::Identifier groundColourProperty { "quillon.groundColour" };

/** Colours of a variant, read from the palette now; unknown variants use the value-field colours. */
SurfaceColours getSurfaceColours (int variant);

/** The variant named by a component's "quillon.surfaceVariant" property, else the given default. */
int surfaceVariantOf (const juce::Component& component, int defaultVariant);

void paintSurface (juce::Graphics& g, juce::Rectangle<float> bounds, bool highlighted, bool down, bool on,
                   bool focused, bool enabled, int variant);

/** "+1.5", "−0.5" (U+2212 with unicodeMinus, else "-"), "0.0" or "+0.0" with plusAtZero. */
/** Draws one line of text like Graphics::drawText, except that the two symbols the embedded faces
    lack ("→" and "✕") are drawn as strokes in the text's colour; this framework version has no
    font fallback, so they would otherwise be blank. */
void drawTextWithSymbols (juce::Graphics& g, const juce::String& text, const juce::Font& font,
                          juce::Rectangle<float> area, juce::Justification justification);

/** The dark rounded well that the live plots (DCW shape, drive curve) are drawn in. */
void paintPlotFrame (juce::Graphics& g, juce::Rectangle<float> bounds);

juce::String formatSignedNumber (double value, int decimalPlaces, bool showPlus, bool unicodeMinus,
                                 bool plusAtZero);

/** Below the threshold (when enabled) a time reads as zero milliseconds. */
struct TimeZeroRule
{
    double thresholdSeconds = 0.0;
    bool enabled = false;
};

/** "250 ms" / "1.50 s" (spacing 1) or "250ms" / "1.50s" (spacing 0). */
juce::String formatTime (double seconds, int decimalPlaces, int spacing, TimeZeroRule zeroRule);

/** Appends a unit, after one space when spacing is 1. */
juce::String withUnit (const juce::String& number, const juce::String& unit, int spacing);

/** Draws every framework control inside the editor from the palette and the embedded faces. */
class LookAndFeel : public juce::LookAndFeel_V4
{
public:
    LookAndFeel() = default;

    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                               bool highlighted, bool down) override;
    juce::Font getTextButtonFont (juce::TextButton&, int buttonHeight) override;
    void drawButtonText (juce::Graphics&, juce::TextButton&, bool highlighted, bool down) override;

    juce::Font getAlertWindowTitleFont() override;
    juce::Font getAlertWindowMessageFont() override;
    juce::Font getAlertWindowFont() override;

    juce::Font getPopupMenuFont() override;

    void drawComboBox (juce::Graphics&, int width, int height, bool down, int buttonX, int buttonY,
                       int buttonW, int buttonH, juce::ComboBox&) override;
    juce::Font getComboBoxFont (juce::ComboBox&) override;
    void positionComboBoxText (juce::ComboBox&, juce::Label&) override;

    juce::Font getLabelFont (juce::Label&) override;
    void drawLabel (juce::Graphics&, juce::Label&) override;

    juce::Font getSliderPopupFont (juce::Slider&) override;
};

} // namespace quillon::ui
