#include "WindowTestSupport.h"

#include "ui/Editor.h"

using namespace window_tests;
using quillon::ui::Editor;

namespace
{
const juce::Rectangle<int> fullHd { 0, 0, 1920, 1080 };
const juce::Rectangle<int> wuxga { 0, 0, 1920, 1200 };

juce::String storedScale()
{
    juce::PropertiesFile file (ScopedUserHome::settingsFile(), {});
    return file.getValue ("displayScale");
}
} // namespace

TEST (WindowFit, LargestStepThatFitsTheDisplayWithTheWindowFrame)
{
    // 150 % is 1998 px wide: never on a 1920 px display. 125 % (1125 px high) needs the frame to fit.
    EXPECT_FLOAT_EQ (Editor::largestFittingStep (1.5f, wuxga, { 0, 30 }), 1.25f);
    EXPECT_FLOAT_EQ (Editor::largestFittingStep (1.25f, wuxga, { 0, 30 }), 1.25f);
    EXPECT_FLOAT_EQ (Editor::largestFittingStep (1.5f, wuxga, { 0, 80 }), 1.0f);
    EXPECT_FLOAT_EQ (Editor::largestFittingStep (1.25f, fullHd, { 0, 30 }), 1.0f);
    EXPECT_FLOAT_EQ (Editor::largestFittingStep (0.75f, fullHd, { 0, 30 }), 0.75f) << "never above the wish";
    EXPECT_FLOAT_EQ (Editor::largestFittingStep (1.0f, { 0, 0, 800, 600 }, {}), 0.75f) << "the smallest when none fits";
    EXPECT_FLOAT_EQ (Editor::largestFittingStep (1.5f, { 0, 0, 2560, 1440 }, { 8, 40 }), 1.5f);
}

class WindowFitTest : public ::testing::Test
{
protected:
    ScopedUserHome home;
    QuillonAudioProcessor processor;
};

TEST_F (WindowFitTest, AScaleThatDoesNotFitKeepsTheNearestThatDoesAndSaysSo)
{
    Editor editor (processor);
    editor.setDisplayAreaOverride (wuxga);
    auto& panel = editor.getSettingsPanel();

    editor.setDisplayScale (1.5);
    EXPECT_FLOAT_EQ (editor.getDisplayScale(), 1.25f);
    EXPECT_FLOAT_EQ (editor.getRequestedScale(), 1.5f);
    EXPECT_EQ (editor.getWidth(), 1665);
    EXPECT_EQ (panel.getScaleNote(), "150% does not fit this display: showing 125%");
    EXPECT_TRUE (panel.scaleTabs[2].getToggleState()) << "the tabs show the scale in use";
    EXPECT_EQ (storedScale(), "1.5") << "the choice is kept for a larger display";

    // The note is painted in the panel, beside the "Scale" caption.
    panel.setBounds (0, 0, 420, 636);
    const auto withNote = quillon::test::paintToImage (panel);
    editor.setDisplayScale (1.0);
    EXPECT_FLOAT_EQ (editor.getDisplayScale(), 1.0f);
    EXPECT_TRUE (panel.getScaleNote().isEmpty());
    EXPECT_FALSE (quillon::test::imagesEqual (withNote, quillon::test::paintToImage (panel)));

    // Ctrl + steps up only as far as the display allows.
    editor.keyPressed (juce::KeyPress ('=', juce::ModifierKeys::ctrlModifier, '='));
    editor.keyPressed (juce::KeyPress ('=', juce::ModifierKeys::ctrlModifier, '='));
    EXPECT_FLOAT_EQ (editor.getDisplayScale(), 1.25f);

    editor.setDisplayAreaOverride (juce::Rectangle<int> (0, 0, 800, 600));
    editor.setDisplayScale (1.0);
    EXPECT_FLOAT_EQ (editor.getDisplayScale(), 0.75f);
    EXPECT_EQ (panel.getScaleNote(), "No scale fits this display: showing 75%");
}

TEST_F (WindowFitTest, AHostsSizeSnapsToAStepThatFitsTheDisplay)
{
    Editor editor (processor);
    editor.setDisplayAreaOverride (fullHd);
    editor.setDisplayScale (1.0);

    // A host offers the 150 % size: it snaps, but never beyond what the display holds.
    editor.setSize (1998, 1350);
    pumpMessages();
    EXPECT_FLOAT_EQ (editor.getDisplayScale(), 1.0f);
    EXPECT_EQ (editor.getWidth(), 1332);
    EXPECT_EQ (editor.getHeight(), 900);

    auto* constrainer = editor.getConstrainer();
    ASSERT_NE (constrainer, nullptr);
    EXPECT_LE (constrainer->getMaximumHeight(), 1080) << "hosts that read the limits stay on the display";
    juce::Rectangle<int> bounds (0, 0, 1700, 1150);
    constrainer->checkBounds (bounds, { 0, 0, 1332, 900 }, fullHd, false, false, true, true);
    EXPECT_EQ (bounds.getHeight(), 900);
}

TEST_F (WindowFitTest, OurWindowMovesBackOntoTheDisplayWhenItGrows)
{
    Editor editor (processor);
    editor.setDisplayAreaOverride (wuxga);
    editor.setDisplayScale (1.0);

    // The standalone's window: the editor as content under a title bar.
    juce::DocumentWindow window ("Quillon", juce::Colours::black, 0, false);
    window.setTitleBarHeight (26);
    window.setContentNonOwned (&editor, true);
    window.setTopLeftPosition (500, 250);

    for (auto scale : { 1.25, 0.75, 1.5, 1.0, 1.25 })
    {
        editor.setDisplayScale (scale);
        EXPECT_TRUE (wuxga.contains (window.getBounds())) << scale << ": " << window.getBounds().toString();
        EXPECT_GE (window.getHeight(), editor.getHeight() + 26) << "the frame around the editor counts";
    }

    // 125 % with the title bar and borders (1153 px) fits the 1200 px display: shown at the wish, moved up.
    EXPECT_FLOAT_EQ (editor.getDisplayScale(), 1.25f);
    EXPECT_LE (window.getBottom(), 1200);

    // A window that already fits is left where the user put it.
    editor.setDisplayScale (0.75);
    window.setTopLeftPosition (300, 200);
    editor.setDisplayScale (1.0);
    EXPECT_EQ (window.getPosition(), juce::Point<int> (300, 200));
    window.clearContentComponent();
}
