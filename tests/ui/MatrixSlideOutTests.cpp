#include "MatrixTestSupport.h"
#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"
#include "ui/matrix/KnobWiring.h"
#include "ui/matrix/MatrixSlideOut.h"

#include <gtest/gtest.h>

using namespace matrix_tests;
using quillon::ui::widgets::MatrixSlideOut;
using quillon::ui::widgets::RoutingRow;
namespace pal = quillon::palette;

namespace
{
class MatrixSlideOutTest : public ::testing::Test
{
protected:
    void SetUp() override { clearMatrix (processor); }
    void TearDown() override { quillon::ui::matrix::matrixChangedHook = nullptr; }

    QuillonAudioProcessor processor;
};

void hover (RoutingRow& row)
{
    row.getHoverRelay().mouseMove (widget_tests::mouseEvent (row, { 300.0f, 40.0f }));
}
} // namespace

TEST_F (MatrixSlideOutTest, RowShowsItsSourceAndHidesTheBarWhenOff)
{
    setSlot (processor, 1, 9, 3, 0.5f);
    RoutingRow row (processor.parameterState, 1);

    EXPECT_EQ (row.getSourcePill().getLabel(), "AENV");
    EXPECT_EQ (row.getSourcePill().getColour(), pal::get (pal::sourceVelocity));
    EXPECT_FALSE (row.getSourcePill().isOff());
    EXPECT_TRUE (row.getAmountBar().isVisible());
    EXPECT_FLOAT_EQ (row.getAmountBar().getValue(), 0.5f);

    RoutingRow empty (processor.parameterState, 2);
    EXPECT_EQ (empty.getSourcePill().getLabel(), "OFF");
    EXPECT_TRUE (empty.getSourcePill().isOff());
    EXPECT_EQ (empty.getSourcePill().getColour(), pal::get (pal::textTertiary));
    EXPECT_FALSE (empty.getAmountBar().isVisible());
    ASSERT_NE (empty.getCurveControl(), nullptr);
    EXPECT_EQ (empty.getCurveControl()->getNumCells(), 2);
}

TEST_F (MatrixSlideOutTest, SourceMenuSetsOnlyTheSource)
{
    RoutingRow row (processor.parameterState, 2);

    const auto menu = row.buildSourceMenu();
    juce::StringArray labels;
    int ticked = -1;
    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
    {
        labels.add (it.getItem().text);
        if (it.getItem().isTicked)
            ticked = it.getItem().itemID;
    }
    EXPECT_EQ (labels, quillon::ui::widgets::shortSourceLabels);
    EXPECT_EQ (ticked, 1);

    widget_tests::ParameterRecorder recorder (*processor.parameterState.getParameter ("mod2Source"));
    row.handleSourceMenuResult (6); // "LFO 1"
    EXPECT_EQ (readSlot (processor, 2).source, 5);
    EXPECT_EQ (readSlot (processor, 2).destination, 0);
    EXPECT_FLOAT_EQ (readSlot (processor, 2).amount, 0.0f);
    EXPECT_EQ (recorder.begins, 1);
    EXPECT_FALSE (recorder.valueOutsideGesture);

    widget_tests::pumpMessages();
    EXPECT_EQ (row.getSourcePill().getLabel(), "LFO 1");
    EXPECT_TRUE (row.getAmountBar().isVisible());

    row.handleSourceMenuResult (0); // dismissed
    EXPECT_EQ (readSlot (processor, 2).source, 5);
}

TEST_F (MatrixSlideOutTest, ClearKeepsTheDestination)
{
    setSlot (processor, 3, 1, 1, 0.35f);
    RoutingRow row (processor.parameterState, 3);
    row.getClearButton().triggerClick();
    widget_tests::pumpMessages();

    EXPECT_EQ (readSlot (processor, 3).source, 0);
    EXPECT_EQ (readSlot (processor, 3).destination, 1);
    EXPECT_FLOAT_EQ (readSlot (processor, 3).amount, 0.0f);
    EXPECT_EQ (row.getSourcePill().getLabel(), "OFF");
    EXPECT_FALSE (row.getAmountBar().isVisible());
}

TEST_F (MatrixSlideOutTest, ChangesMadeElsewhereReachTheRowAndADeadRowIgnoresThem)
{
    auto row = std::make_unique<RoutingRow> (processor.parameterState, 1);
    quillon::ui::matrix::assignModulationSource (processor, 3, 2);
    EXPECT_EQ (row->getSourcePill().getLabel(), "OFF"); // refresh is posted, not run in place
    widget_tests::pumpMessages();
    EXPECT_EQ (row->getSourcePill().getLabel(), "MWHL");
    EXPECT_FLOAT_EQ (row->getAmountBar().getValue(), 0.35f);

    // From another thread, then the row dies before the posted refresh runs.
    std::thread ([this] { setPlain (processor, "mod1Source", 7.0f); setPlain (processor, "mod1Amount", -0.2f); }).join();
    row.reset();
    widget_tests::pumpMessages();
    SUCCEED();
}

TEST_F (MatrixSlideOutTest, AmountBarWritesTheSlotAmountInAGesture)
{
    setSlot (processor, 1, 1, 1, 0.0f);
    MatrixSlideOut slideOut (processor);
    slideOut.setSize (1284, 460);
    auto& bar = slideOut.getRow (0).getAmountBar();

    widget_tests::ParameterRecorder recorder (*processor.parameterState.getParameter ("mod1Amount"));
    const auto centre = bar.getLocalBounds().getCentre().toFloat();
    widget_tests::drag (bar, centre, { centre.translated (60.0f, 0.0f) });

    EXPECT_GT (bar.getValue(), 0.0f);
    EXPECT_NEAR (plain (processor, "mod1Amount"), bar.getValue(), 1.0e-5f);
    EXPECT_GE (recorder.begins, 1);
    EXPECT_EQ (recorder.begins, recorder.ends);
    EXPECT_FALSE (recorder.valueOutsideGesture);
}

TEST_F (MatrixSlideOutTest, HoverFlashesTheKnobsOfTheRowDestination)
{
    larkspur::widgets::Knob cutoff (0, false, false), drive (0, false, false);
    quillon::ui::matrix::wireKnob (cutoff, processor, quillon::ids::filterCutoff, quillon::ModDestination::cutoff);
    quillon::ui::matrix::wireKnob (drive, processor, quillon::ids::drive, quillon::ModDestination::drive);

    std::vector<int> hooked;
    quillon::ui::matrix::matrixChangedHook = [&] (int d) { hooked.push_back (d); };

    MatrixSlideOut slideOut (processor);
    hover (slideOut.getRow (0)); // destination off
    EXPECT_FALSE (cutoff.isFlashActive());
    EXPECT_TRUE (hooked.empty());

    setPlain (processor, "mod2Dest", 1.0f); // aimed at cutoff, even with no source
    hover (slideOut.getRow (1));
    EXPECT_TRUE (cutoff.isFlashActive());
    EXPECT_FALSE (drive.isFlashActive());
    EXPECT_EQ (hooked, std::vector<int> { 1 });
}

TEST_F (MatrixSlideOutTest, LayoutFillsThePanelExactly)
{
    MatrixSlideOut slideOut (processor);
    int closed = 0;
    slideOut.onClose = [&] { ++closed; };
    slideOut.setSize (1284, 460);

    EXPECT_EQ (slideOut.getCloseButton().getBounds(), juce::Rectangle<int> (1224, 16, 44, 44));
    EXPECT_EQ (slideOut.getTitleLabel().getBounds(), juce::Rectangle<int> (16, 16, 1208, 44));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ (slideOut.getRow (i).getBounds(), juce::Rectangle<int> (16, 68 + i * 96, 1252, 88));
    EXPECT_EQ (slideOut.getRow (3).getBottom(), 460 - 16);

    auto& row = slideOut.getRow (0);
    EXPECT_EQ (row.getSourcePill().getBounds(), juce::Rectangle<int> (72, 16, 132, 56));
    EXPECT_EQ (row.getDestinationDropdown().getBounds(), juce::Rectangle<int> (212, 16, 176, 56));
    EXPECT_EQ (row.getAmountBar().getBounds(), juce::Rectangle<int> (396, 22, 692, 44));
    EXPECT_EQ (row.getCurveControl()->getBounds(), juce::Rectangle<int> (1096, 22, 88, 44));
    EXPECT_EQ (row.getClearButton().getBounds(), juce::Rectangle<int> (1192, 22, 44, 44));

    // A narrow row lets the bar overhang its strip rather than shrink below 304 px.
    row.setSize (704, 88);
    EXPECT_EQ (row.getAmountBar().getWidth(), 304);
    EXPECT_EQ (row.getAmountBar().getBounds().getCentreX(), (396 + 540) / 2);

    slideOut.getCloseButton().triggerClick();
    widget_tests::pumpMessages();
    EXPECT_EQ (closed, 1);
    EXPECT_EQ (slideOut.getCloseButton().getTitle(), "Close modulation matrix");
    EXPECT_EQ (slideOut.getTitleLabel().getText(), "MODULATION MATRIX");
}

TEST_F (MatrixSlideOutTest, Snapshot)
{
    setSlot (processor, 1, 1, 3, 0.5f);
    setSlot (processor, 2, 5, 1, -0.42f);
    setPlain (processor, "matrix2Curve", 1.0f);
    setSlot (processor, 3, 9, 28, 0.8f);
    setSlot (processor, 4, 0, 2, 0.0f);

    quillon::ui::LookAndFeel lookAndFeel;
    MatrixSlideOut slideOut (processor);
    slideOut.setLookAndFeel (&lookAndFeel);
    slideOut.setSize (1284, 460);
    widget_tests::pumpMessages();

    juce::Image image (juce::Image::ARGB, 1284, 460, true);
    {
        juce::Graphics g (image);
        g.fillAll (pal::get (pal::bgGround));
        slideOut.paintEntireComponent (g, true);
    }
    writePng (image, "matrix-slide-out.png");
    slideOut.setLookAndFeel (nullptr);

    // Slot 2's pill carries the LFO colour; slot 4's marker is hollow.
    const auto pill = slideOut.getRow (1).getSourcePill().getBounds() + slideOut.getRow (1).getPosition();
    EXPECT_TRUE (widget_tests::coloursClose (image.getPixelAt (pill.getX() + 13, pill.getCentreY()), pal::get (pal::sourceLfo1), 8));
}
