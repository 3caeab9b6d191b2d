#include "MatrixTestSupport.h"
#include "plugin/Palette.h"
#include "ui/matrix/KnobWiring.h"
#include "ui/matrix/SourceChip.h"

#include <gtest/gtest.h>

using namespace matrix_tests;
using namespace quillon::ui::widgets;
namespace pal = quillon::palette;

namespace
{
class SourceChipTest : public ::testing::Test
{
protected:
    void SetUp() override { clearMatrix (processor); }
    QuillonAudioProcessor processor;
};

struct DragHost : public juce::Component, public juce::DragAndDropContainer
{
};
} // namespace

TEST_F (SourceChipTest, IdsMapToCodesAndColours)
{
    EXPECT_EQ (sourceIndexForId ("dcw2Env"), 7);
    EXPECT_EQ (sourceIndexForId ("beatPhase"), 12);
    EXPECT_EQ (sourceIndexForId ("LFO1"), 0); // ids are case-sensitive
    EXPECT_EQ (sourceColourForId ("ampEnv"), pal::get (pal::sourceVelocity));
    EXPECT_EQ (sourceColourForId ("nonsense"), pal::get (pal::accentPrimary));

    EXPECT_EQ (choiceIndexOf (processor.parameterState, "mod1Source"), 0);
    EXPECT_EQ (choiceIndexOf (processor.parameterState, "mod1Amount"), -1);
    EXPECT_EQ (choiceIndexOf (processor.parameterState, "nope"), -1);
}

TEST_F (SourceChipTest, AssignMenuRoutesTheChipSource)
{
    SourceChip chip ("lfo1", "LFO");
    chip.setParameterState (&processor.parameterState);

    const auto menu = chip.buildAssignMenu();
    std::vector<int> ids;
    juce::String header;
    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
    {
        if (it.getItem().isSectionHeader)
            header = it.getItem().text;
        else
            ids.push_back (it.getItem().itemID);
    }
    EXPECT_EQ (header, "Assign LFO");
    ASSERT_EQ (ids.size(), 20u);
    EXPECT_EQ (ids.front(), 101);
    EXPECT_EQ (ids.back(), 120);

    chip.handleAssignMenuResult (120); // "Feedback"
    auto s = readSlot (processor, 1);
    EXPECT_EQ (s.source, 5);
    EXPECT_EQ (s.destination, 28);
    EXPECT_NEAR (s.amount, 0.35f, 1.0e-6f);

    // Dismissed, or an id outside the table: nothing written.
    chip.handleAssignMenuResult (0);
    chip.handleAssignMenuResult (999);
    EXPECT_EQ (readSlot (processor, 2).source, 0);

    // Sources the knobs refuse are still routed from the menu.
    SourceChip ampEnv ("ampEnv", "Amp env");
    ampEnv.setParameterState (&processor.parameterState);
    ampEnv.handleAssignMenuResult (106); // "Filter cutoff"
    EXPECT_EQ (readSlot (processor, 2).source, 9);
    EXPECT_EQ (readSlot (processor, 2).destination, 1);

    larkspur::widgets::Knob knob (0, false, false);
    quillon::ui::matrix::wireKnob (knob, processor, quillon::ids::drive, quillon::ModDestination::drive);
    EXPECT_FALSE (knob.isInterestedInDragSource ({ juce::var ("ampEnv"), &ampEnv, {} }));

    // An unknown id and a chip without a parameter state route nothing.
    SourceChip unknown ("mystery", "Mystery");
    unknown.setParameterState (&processor.parameterState);
    unknown.handleAssignMenuResult (109);
    SourceChip stateless ("velocity", "Velocity");
    stateless.handleAssignMenuResult (109);
    EXPECT_EQ (readSlot (processor, 3).source, 0);
    EXPECT_FALSE (assignSourceToDestination (processor.parameterState, 0, 2));
}

TEST_F (SourceChipTest, DroppedOnACutoffKnobFillsSlotOne)
{
    SourceChip chip ("lfo1", "LFO");
    larkspur::widgets::Knob knob (0, false, false);
    quillon::ui::matrix::wireKnob (knob, processor, quillon::ids::filterCutoff, quillon::ModDestination::cutoff);

    juce::DragAndDropTarget::SourceDetails details (juce::var (chip.getId()), &chip, {});
    ASSERT_TRUE (knob.isInterestedInDragSource (details));
    knob.itemDropped (details);

    auto s = readSlot (processor, 1);
    EXPECT_EQ (s.source, 5);
    EXPECT_EQ (s.destination, 1);
    EXPECT_NEAR (s.amount, 0.35f, 1.0e-6f);
    EXPECT_TRUE (knob.isModulated());
}

TEST_F (SourceChipTest, DragDoesNotOpenTheMenuAndKeysAreFiltered)
{
    // With a parameter state set, opening the menu here would need a display; a drag must not try.
    DragHost host;
    host.setSize (200, 100);
    SourceChip chip ("lfo1", "LFO");
    chip.setParameterState (&processor.parameterState);
    host.addAndMakeVisible (chip);
    chip.setTopLeftPosition (10, 10);

    const auto mods = widget_tests::leftButton();
    chip.mouseDown (widget_tests::mouseEvent (chip, { 20.0f, 20.0f }, mods));
    EXPECT_TRUE (chip.isPressed());
    chip.mouseDrag (widget_tests::mouseEvent (chip, { 40.0f, 22.0f }, mods, { 20.0f, 20.0f }, 1, true));
    chip.mouseUp (widget_tests::mouseEvent (chip, { 40.0f, 22.0f }, mods, { 20.0f, 20.0f }, 1, true));
    EXPECT_FALSE (chip.isPressed());
    EXPECT_EQ (readSlot (processor, 1).source, 0);

    SourceChip stateless ("lfo1", "LFO");
    EXPECT_TRUE (stateless.keyPressed (juce::KeyPress (juce::KeyPress::spaceKey)));
    EXPECT_TRUE (stateless.keyPressed (juce::KeyPress (juce::KeyPress::returnKey)));
    EXPECT_FALSE (stateless.keyPressed (juce::KeyPress (juce::KeyPress::tabKey)));
}
