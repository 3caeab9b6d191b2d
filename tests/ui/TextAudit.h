#pragma once

// A software renderer that notes every line of text drawn through it: the text (read back from
// the glyphs), its font height in the drawing's own units, how far it was squeezed, and its
// contrast against the pixels already behind it, by the WCAG relative-luminance rule.

#include <juce_gui_basics/juce_gui_basics.h>

#include <cmath>
#include <map>
#include <vector>

namespace text_audit
{

struct DrawnText
{
    juce::String text;
    float height = 0.0f;      // font height where it was drawn, before any scaling of the context
    float squeeze = 1.0f;     // the font's horizontal scale
    float contrast = 21.0f;   // ink (blended by its alpha) against the commonest colour behind the glyphs
    juce::Colour ink, ground;
    juce::Point<int> where;   // device pixels, at the first glyph's baseline
    bool insideLayer = false; // drawn into a transparency layer: what lies behind is not yet known

    juce::String describe() const
    {
        return "\"" + text + "\" at " + where.toString() + " height " + juce::String (height, 1) + " squeeze "
               + juce::String (squeeze, 2) + " contrast " + juce::String (contrast, 2) + " (" + ink.toDisplayString (true)
               + " on " + ground.toDisplayString (false) + ")";
    }
};

inline double relativeLuminance (juce::Colour c)
{
    const auto channel = [] (juce::uint8 v)
    {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow ((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel (c.getRed()) + 0.7152 * channel (c.getGreen()) + 0.0722 * channel (c.getBlue());
}

inline float contrastRatio (juce::Colour a, juce::Colour b)
{
    const auto la = relativeLuminance (a), lb = relativeLuminance (b);
    return (float) ((juce::jmax (la, lb) + 0.05) / (juce::jmin (la, lb) + 0.05));
}

class Renderer : public juce::LowLevelGraphicsSoftwareRenderer
{
public:
    explicit Renderer (const juce::Image& target) : juce::LowLevelGraphicsSoftwareRenderer (target), image (target) {}

    ~Renderer() override { flush(); }

    void beginTransparencyLayer (float opacity) override
    {
        ++layers;
        juce::LowLevelGraphicsSoftwareRenderer::beginTransparencyLayer (opacity);
    }

    void endTransparencyLayer() override
    {
        --layers;
        juce::LowLevelGraphicsSoftwareRenderer::endTransparencyLayer();
    }

    void drawGlyph (int glyph, const juce::AffineTransform& t) override
    {
        const auto& font = getFont();
        const auto whole = stack->transform.getTransformWith (t);
        const auto origin = juce::Point<float>().transformedBy (whole);
        const auto ink = inkColour();

        const bool sameRun = current.text.isNotEmpty() && std::abs (origin.y - runBaseline) < 0.5f
                             && origin.x >= lastX - 0.5f && font == runFont && ink == current.ink;
        if (! sameRun)
        {
            flush();
            current.height = font.getHeight();
            current.squeeze = font.getHorizontalScale();
            current.ink = ink;
            current.where = origin.roundToInt();
            current.insideLayer = layers > 0;
            runFont = font;
            runBaseline = origin.y;
        }

        // Spaces draw no glyph: a step past the last character's advance by half a space stands for one.
        const auto scale = scaleOf (whole);
        if (sameRun && origin.x - nextX > 0.5f * font.getStringWidthFloat (" ") * scale)
            current.text << " ";

        const auto character = characterOf (font, glyph);
        lastX = origin.x;
        nextX = origin.x + font.getStringWidthFloat (character) * scale;
        current.text << character;
        sampleBehind (glyphBox (font, glyph, whole));
        juce::LowLevelGraphicsSoftwareRenderer::drawGlyph (glyph, t);
    }

    /** Every line drawn so far. */
    const std::vector<DrawnText>& lines()
    {
        flush();
        return drawn;
    }

private:
    static float scaleOf (const juce::AffineTransform& t)
    {
        return std::sqrt (std::abs (t.getDeterminant()));
    }

    juce::Colour inkColour() const
    {
        const auto& fill = stack->fillType;
        if (fill.isGradient() && fill.gradient != nullptr)
            return fill.gradient->getColourAtPosition (0.5).withMultipliedAlpha (fill.getOpacity());
        return fill.colour;
    }

    // Where the glyph's outline lands in the image, grown by a pixel for the anti-aliased edge.
    juce::Rectangle<int> glyphBox (const juce::Font& font, int glyph, const juce::AffineTransform& whole) const
    {
        juce::Path outline;
        if (auto face = font.getTypefacePtr())
            face->getOutlineForGlyph (glyph, outline);

        if (outline.isEmpty())
            return {};

        const auto glyphTransform = juce::AffineTransform::scale (font.getHeight() * font.getHorizontalScale(),
                                                                  font.getHeight()).followedBy (whole);
        return outline.getBoundsTransformed (glyphTransform).getSmallestIntegerContainer().expanded (1)
                   .getIntersection (image.getBounds());
    }

    void sampleBehind (juce::Rectangle<int> box)
    {
        const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readOnly);
        for (int y = box.getY(); y < box.getBottom(); ++y)
            for (int x = box.getX(); x < box.getRight(); ++x)
                ++behind[pixels.getPixelColour (x, y).getARGB()];
    }

    void flush()
    {
        if (current.text.isEmpty())
            return;

        if (! behind.empty())
        {
            const auto commonest = std::max_element (behind.begin(), behind.end(),
                                                     [] (auto& a, auto& b) { return a.second < b.second; });
            // What shows through a transparent pixel is the black a window starts from.
            current.ground = juce::Colours::black.overlaidWith (juce::Colour (commonest->first));
            current.contrast = contrastRatio (current.ground.overlaidWith (current.ink), current.ground);
        }

        current.text = current.text.trim();
        if (current.text.isNotEmpty())
            drawn.push_back (current);

        current = {};
        behind.clear();
    }

    juce::String characterOf (const juce::Font& font, int glyph)
    {
        auto* face = font.getTypefacePtr().get();
        auto& map = characters[face];

        if (map.empty())
        {
            juce::String all;
            for (juce::juce_wchar c = 32; c < 127; ++c)
                all << juce::String::charToString (c);
            all << juce::String (juce::CharPointer_UTF8 ("\xe2\x88\x92\xe2\x88\x9e\xc2\xb7\xe2\x80\xa6\xc2\xb0\xe2\x86\x92"));

            for (int i = 0; i < all.length(); ++i)
            {
                juce::Array<int> glyphs;
                juce::Array<float> offsets;
                font.getGlyphPositions (juce::String::charToString (all[i]), glyphs, offsets);
                if (! glyphs.isEmpty())
                    map.emplace (glyphs[0], juce::String::charToString (all[i]));
            }
        }

        const auto found = map.find (glyph);
        return found != map.end() ? found->second : juce::String ("?");
    }

    juce::Image image;
    std::vector<DrawnText> drawn;
    DrawnText current;
    juce::Font runFont;
    float runBaseline = 0.0f, lastX = 0.0f, nextX = 0.0f;
    int layers = 0;
    std::map<juce::uint32, int> behind;
    std::map<const juce::Typeface*, std::map<int, juce::String>> characters;
};

/** Paints a component and everything in it, as a window would, and returns each line of text drawn. */
inline std::vector<DrawnText> auditPaint (juce::Component& c, float scale = 1.0f)
{
    juce::Image image (juce::Image::ARGB, juce::jmax (1, juce::roundToInt ((float) c.getWidth() * scale)),
                       juce::jmax (1, juce::roundToInt ((float) c.getHeight() * scale)), true);
    Renderer renderer (image);
    {
        juce::Graphics g (renderer);
        g.addTransform (juce::AffineTransform::scale (scale));
        c.paintEntireComponent (g, false);
    }
    return renderer.lines();
}

} // namespace text_audit
