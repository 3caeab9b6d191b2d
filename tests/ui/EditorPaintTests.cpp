// What the whole editor paints: the layout grid's outline, and the detune bar keeping a loaded
// detune while the editor is open.
#include "WindowTestSupport.h"

#include "plugin/Palette.h"
#include "ui/Editor.h"
#include "ui/panels/DetuneBar.h"
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

class EditorPaintTest : public ::testing::Test
{
protected:
    std::unique_ptr<Editor> open()
    {
        auto editor = std::make_unique<Editor> (processor);
        pumpMessages();
        return editor;
    }

    ScopedUserHome home;
    QuillonAudioProcessor processor;
};
} // namespace

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
