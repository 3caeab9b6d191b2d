#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>

namespace larkspur::widgets
{

/** Colour ids of the toolkit theme. Some roles share a colour but keep their own id. */
struct ColourId
{
    static constexpr int ground = 0;
    static constexpr int surface = 1;
    static constexpr int panel = 2;
    static constexpr int surface2 = 3;
    static constexpr int hair = 4;
    static constexpr int focus = 5;
    static constexpr int textPrimary = 6;
    static constexpr int textTertiary = 7;
    static constexpr int textDisabled = 8;
    static constexpr int accent = 9;
    static constexpr int onAccent = 10;
    static constexpr int modRing = 11;
    static constexpr int hoverFill = 12;
    static constexpr int modulation = 13;
    static constexpr int ember = 14;
    static constexpr int live = 15;
    static constexpr int warn = 16;
    static constexpr int error = 17;

    static constexpr int count = 18;
};

/** Component properties (bool) that mark a combo box for compact drawing; the second is for the editor's look. */
inline const juce::Identifier compactChoiceProperty { "larkspur.compactChoice" };
inline const juce::Identifier editorCompactChoiceProperty { "quillon.compactChoice" };

struct WidgetShadow
{
    juce::Colour colour;
    int radius = 0;
    int offsetX = 0;
    int offsetY = 0;
    float opacity = 0.0f;
};

struct WidgetTheme
{
    juce::String id;
    juce::String displayName;
    std::map<int, juce::Colour> colours;
    std::map<int, WidgetShadow> shadows;

    /** Ids the map lacks come from a freshly built default theme; ids unknown even there are transparent. */
    juce::Colour getColour (int colourId) const;
};

/** Colour ids a control can be given when it stands on a surface other than the toolkit's (the
    editor's themed header, say). Without them it draws in the toolkit theme's own colours. */
struct SurfaceColourId
{
    static constexpr int fill = 0x51d0001;
    static constexpr int activeFill = 0x51d0002;
    static constexpr int outline = 0x51d0003;
    static constexpr int text = 0x51d0004;
    static constexpr int dimText = 0x51d0005;
};

/** The component's own colour for a SurfaceColourId when it has one, else the theme's colour. */
juce::Colour surfaceColour (const juce::Component& component, int surfaceColourId, int themeColourId);

/** The process-wide theme, built on first use and read-only afterwards. */
const WidgetTheme& getWidgetTheme();
WidgetTheme makeDefaultWidgetTheme();

/** Text styles 0..6; any other index falls back to the regular 14 px font. */
juce::Font getStyleFont (int style);
bool isUpperCaseStyle (int style);

/** Gap in pixels for a spacing token (1..7); any other token gives 0. */
int getSpacing (int token);

/** The font in which a line of text fits a width: the font itself when the line fits squeezed to 80 %,
    else the same face made smaller until it does, but never below 8 px (or the font's own height). */
juce::Font fitFontToWidth (const juce::Font& font, const juce::String& text, float width);

/** Draws one line in the graphics context's current font: squeezed up to 80 % of its width and, where
    the area cannot hold it even so, in a smaller size of the same face down to 8 px; what does not fit
    then is cut with an ellipsis rather than drawn too small to read. */
void drawFittedLine (juce::Graphics& g, const juce::String& text, juce::Rectangle<float> area,
                     juce::Justification justification);

/** Draws one line of text in a type style, upper-cased for the caps styles, fitted as drawFittedLine. */
void drawStyledText (juce::Graphics& g, int style, const juce::String& text, juce::Rectangle<int> area,
                     juce::Colour colour, juce::Justification justification);

/** Width of a text in a style, rounded up to whole pixels, as the text is stored (no upper-casing). */
int measureTextWidth (int style, const juce::String& text);

/** Where fillThemedRoundedRect strokes: inset by half the stroke, never negative. */
juce::Rectangle<float> themedStrokeArea (juce::Rectangle<float> area, float strokeWidth);

void fillThemedRoundedRect (juce::Graphics& g, juce::Rectangle<float> area, int fillColourId, float cornerSize,
                            int strokeColourId, float strokeWidth);

/** The inner outline box the controls stroke: half a pixel inside and one pixel smaller, never negative. */
juce::Rectangle<float> outlineBox (juce::Rectangle<float> bounds);

/** Float comparison with an absolute floor (smallest normal) and a relative tolerance (epsilon);
    unlike juce::approximatelyEqual in this JUCE version it is right for negatives and infinities. */
bool nearlyEqual (float a, float b) noexcept;

} // namespace larkspur::widgets
