// What the whole editor paints: no text of its own cut with an ellipsis at any scale, the layout
// grid's outline, and the detune bar keeping a loaded detune while the editor is open.
#include "WindowTestSupport.h"

#include "ui/browser/BrowseView.h"
#include "ui/Header.h"

#include <map>

#include "plugin/Palette.h"
#include "ui/Editor.h"
#include "ui/matrix/LfoCard.h"
#include "ui/panels/DetuneBar.h"
#include "ui/panels/VoiceFilterPanel.h"
#include "ui/panels/SingleCanvasView.h"

using namespace window_tests;
using quillon::ui::Editor;

namespace
{
juce::Image paintEditor (Editor& editor)
{
    juce::Image image (juce::Image::ARGB, editor.getWidth(), editor.getHeight(), true);
    juce::Graphics g (image);
    editor.paintEntireComponent (g, false);
    return image;
}

/** A software renderer that notices the three dots JUCE puts where it cuts a line of text. */
class EllipsisWatcher : public juce::LowLevelGraphicsSoftwareRenderer
{
public:
    using juce::LowLevelGraphicsSoftwareRenderer::LowLevelGraphicsSoftwareRenderer;

    void drawGlyph (int glyph, const juce::AffineTransform& t) override
    {
        if (glyph == dotGlyph (getFont()))
            ellipses += (++dotsInARow == 3) ? 1 : 0;
        else
            dotsInARow = 0;

        juce::LowLevelGraphicsSoftwareRenderer::drawGlyph (glyph, t);
    }

    int ellipses = 0;

private:
    int dotGlyph (const juce::Font& font)
    {
        const auto* face = font.getTypefacePtr().get();
        if (auto found = dots.find (face); found != dots.end())
            return found->second;

        juce::Array<int> glyphs;
        juce::Array<float> offsets;
        font.getGlyphPositions (".", glyphs, offsets);
        return dots[face] = glyphs.isEmpty() ? -1 : glyphs[0];
    }

    std::map<const juce::Typeface*, int> dots;
    int dotsInARow = 0;
};

/** Paints one component's own drawing (not its children) at a scale; the number of cut lines. */
int ellipsesPaintedBy (juce::Component& c, float scale)
{
    juce::Image image (juce::Image::ARGB, juce::jmax (1, juce::roundToInt ((float) c.getWidth() * scale)),
                       juce::jmax (1, juce::roundToInt ((float) c.getHeight() * scale)), true);
    EllipsisWatcher watcher (image);
    juce::Graphics g (watcher);
    g.addTransform (juce::AffineTransform::scale (scale));
    c.paint (g);
    c.paintOverChildren (g);
    return watcher.ellipses;
}

/** Every component below root that cuts a line, named by type and text, at each editor scale. */
juce::StringArray componentsThatCutText (juce::Component& root)
{
    juce::StringArray found;
    std::function<void (juce::Component&)> visit = [&] (juce::Component& c)
    {
        if (c.getWidth() > 0 && c.getHeight() > 0)
            for (auto scale : Editor::scaleSteps)
                if (ellipsesPaintedBy (c, scale) > 0)
                {
                    juce::String text;
                    if (auto* label = dynamic_cast<juce::Label*> (&c)) text = label->getText();
                    if (auto* button = dynamic_cast<juce::Button*> (&c)) text = button->getButtonText();
                    found.addIfNotAlreadyThere (juce::String (typeid (c).name()) + " \"" + text + "\" "
                                                + c.getTitle());
                }

        for (auto* child : c.getChildren())
            visit (*child);
    };
    visit (root);
    return found;
}

/** The box around the pixels close to a colour (or, with far set, those standing out from it). */
juce::Rectangle<int> pixelsBox (const juce::Image& image, juce::Colour colour, juce::Rectangle<int> within, bool far = false)
{
    juce::RectangleList<int> found;

    for (int y = within.getY(); y < within.getBottom(); ++y)
        for (int x = within.getX(); x < within.getRight(); ++x)
        {
            const auto p = image.getPixelAt (x, y);
            const auto distance = std::abs (p.getRed() - colour.getRed()) + std::abs (p.getGreen() - colour.getGreen())
                                + std::abs (p.getBlue() - colour.getBlue());
            if (far ? distance > 90 : (distance < 60 && p.getAlpha() > 200))
                found.addWithoutMerging ({ x, y, 1, 1 });
        }

    return found.getBounds();
}

class EditorPaintTest : public EditorFixture {};
} // namespace

TEST_F (EditorPaintTest, NoTextOfTheEditorIsCutAtAnyScale)
{
    auto editor = open();
    setParam (processor, "mod1Source", 5.0f);
    setParam (processor, "mod1Dest", 1.0f);
    setParam (processor, "osc2Level", -60.0f);
    pumpMessages();

    // Every panel in every view.
    for (int view : { 0, 3, 2, 1 })
    {
        editor->showView (view);
        pumpMessages();
        EXPECT_EQ (componentsThatCutText (*editor).joinIntoString ("; "), "") << "view " << view;
    }

    // Both sort orders, and every factory preset in the browser's detail panel.
    auto& browser = editor->getBrowseView().getImpl();
    browser.toggleSort();
    EXPECT_EQ (componentsThatCutText (browser.getList()).joinIntoString ("; "), "");
    browser.toggleSort();

    auto& strip = editor->getHeader().presetStrip;
    juce::StringArray cut;

    for (int i = 0; i < (int) browser.getFiltered().size(); ++i)
    {
        browser.moveSelection (i - browser.getSelectedIndex());
        const auto name = browser.getSelectedEntry()->displayName;
        if (ellipsesPaintedBy (browser.getDetail(), 1.0f) + ellipsesPaintedBy (browser.getList(), 1.0f) > 0)
            cut.add ("browser: " + name);

        // The header shows the name with the changed mark.
        strip.setPresetName (name + " *");
        for (auto scale : Editor::scaleSteps)
            if (ellipsesPaintedBy (strip, scale) > 0)
                cut.addIfNotAlreadyThere ("header: " + name);
    }

    EXPECT_EQ (cut.joinIntoString ("; "), "");
}

TEST_F (EditorPaintTest, GridOutlineIsDrawnAtSevenTenths)
{
    auto editor = open();
    const auto without = paintEditor (*editor);
    editor->keyPressed (juce::KeyPress ('G', juce::ModifierKeys (juce::ModifierKeys::ctrlModifier
                                                                 | juce::ModifierKeys::shiftModifier), 'G'));
    const auto with = paintEditor (*editor);

    // On the top edge between two modules only the fill and the outline cover what lies below.
    using namespace quillon::palette;
    const auto below = without.getPixelAt (126, 24);
    const auto expected = below.overlaidWith (get (debugGridFill).withAlpha (0.12f))
                              .overlaidWith (get (debugGridModule).withAlpha (0.7f));
    const auto seen = with.getPixelAt (126, 24);
    EXPECT_NEAR (seen.getRed(), expected.getRed(), 2);
    EXPECT_NEAR (seen.getGreen(), expected.getGreen(), 2);
    EXPECT_NEAR (seen.getBlue(), expected.getBlue(), 2);
}

TEST_F (EditorPaintTest, APresetInTheOtherDetuneUnitLoadsAsStored)
{
    auto editor = open();
    auto& bar = editor->getCanvasView().getDetuneBar();
    bar.getUnitSwitch()->selectIndex (1); // the user picks hertz
    pumpMessages();
    ASSERT_EQ (bar.getBoundDetuneId(), "osc2DetuneHz");

    // A preset stored in cents at +12 ct.
    const auto before = processor.createStateXml();
    setParam (processor, "detuneMode", 0.0f);
    setParam (processor, "osc2Detune", 12.0f);
    const auto preset = processor.createStateXml();
    processor.loadStateTree (*before);
    pumpMessages();

    processor.loadStateTree (*preset);
    pumpMessages();
    editor->timerCallback();
    EXPECT_FLOAT_EQ (paramValue (processor, "osc2Detune"), 12.0f);
    EXPECT_EQ (bar.getDetuneKnob().getValueText(), "+12 ct");
    EXPECT_FALSE (processor.presetDirty.load());
    EXPECT_FALSE (editor->getHeader().presetStrip.getPresetName().endsWith (" *"));
}

TEST_F (EditorPaintTest, LfoShapesChipNameAndTheFilterScaleCanBeRead)
{
    auto editor = open();
    auto& card = editor->getCanvasView().getLfoCard();
    auto* shapes = card.getShapeControl();
    ASSERT_NE (shapes, nullptr);

    // Each shape cell draws its own wave across most of the cell, each one different.
    std::vector<juce::Image> cells;

    for (int i = 0; i < shapes->getNumCells(); ++i)
    {
        auto& cell = *shapes->getCell (i);
        cells.push_back (quillon::test::paintToImage (cell));
        const auto inner = cell.getLocalBounds().reduced (3, 6);
        const auto ink = pixelsBox (cells.back(), cells.back().getPixelAt (inner.getX(), inner.getBottom() - 1), inner, true);
        EXPECT_GE (ink.getWidth(), cell.getWidth() - 12) << "shape " << i;
        EXPECT_GE (ink.getHeight(), 6) << "shape " << i;
    }

    for (size_t a = 0; a < cells.size(); ++a)
        for (size_t b = a + 1; b < cells.size(); ++b)
            EXPECT_FALSE (quillon::test::imagesEqual (cells[a], cells[b])) << a << " and " << b;

    // The chip's name is written at its full size: three letters of 10 px type need 20 px or more.
    auto& chip = card.getSourceChip();
    const auto chipImage = quillon::test::paintToImage (chip);
    const auto name = pixelsBox (chipImage, quillon::palette::get (quillon::palette::textPrimary),
                             chip.getLocalBounds().reduced (0, 4));
    EXPECT_GE (name.getWidth(), 20);
    EXPECT_GE (name.getHeight(), 6);

    // The filter strip labels its right end.
    auto& strip = editor->getCanvasView().getFilterPanel().getResponseStrip();
    strip.refresh();
    const auto stripImage = quillon::test::paintToImage (strip);
    const auto plot = strip.getPlotArea();
    const auto endLabel = pixelsBox (stripImage, quillon::palette::get (quillon::palette::textTertiary),
                                 { plot.getRight() - 20, plot.getBottom() + 1, 20, 14 });
    EXPECT_GE (endLabel.getWidth(), 10);
    writePng (stripImage, "filter-strip-labels.png");
}
