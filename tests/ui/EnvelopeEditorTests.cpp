// The ADSR envelope editor: handle geometry, what handle drags write, layout of graph and knob rows,
// and the knob texts.
#include "PanelTestSupport.h"

#include "ui/panels/AdsrEnvelopeEditor.h"

using namespace panel_tests;
using quillon::ui::widgets::AdsrEnvelopeEditor;
using quillon::ui::widgets::AdsrRow;

namespace
{
class EnvelopeEditorTest : public PanelTest
{
protected:
    AdsrEnvelopeEditor editor { state, "ampAttack", "ampDecay", "ampSustain", "ampRelease" };

    void setNormalised (const char* id, float v) { state.getParameter (id)->setValueNotifyingHost (v); }
};
} // namespace

TEST_F (EnvelopeEditorTest, ZeroValuesLeaveTheWholeWidthToSustain)
{
    for (auto* id : { "ampAttack", "ampDecay", "ampSustain", "ampRelease" })
        setNormalised (id, 0.0f);

    editor.setBounds (0, 0, 280, 234);
    auto& graph = editor.getGraphRow();
    graph.refreshFromParameters();

    const auto area = graph.getGraphArea();
    const auto h = graph.getHandlePositions();
    EXPECT_FLOAT_EQ (h[0].x, area.getX());
    EXPECT_FLOAT_EQ (h[1].x, area.getX());
    EXPECT_FLOAT_EQ (h[1].y, area.getBottom()); // sustain 0
    EXPECT_FLOAT_EQ (h[2].x, area.getRight());
    EXPECT_FLOAT_EQ (h[3].x, area.getRight());
    EXPECT_FLOAT_EQ (h[3].y, area.getBottom());
}

TEST_F (EnvelopeEditorTest, DecayHandleMovesDecayAndSustainTogether)
{
    setNormalised ("ampAttack", 0.2f);
    setNormalised ("ampDecay", 0.2f);
    setNormalised ("ampSustain", 0.5f);
    setNormalised ("ampRelease", 0.2f);
    editor.setBounds (0, 0, 280, 234);
    auto& graph = editor.getGraphRow();
    graph.refreshFromParameters();

    const auto area = graph.getGraphArea();
    const auto start = graph.getHandlePositions()[1];
    ParameterRecorder sustain (*state.getParameter ("ampSustain"));
    ParameterRecorder decay (*state.getParameter ("ampDecay"));
    ParameterRecorder attack (*state.getParameter ("ampAttack"));
    const auto step = juce::Point<float> (area.getWidth() * 0.01f, -area.getHeight() * 0.025f);
    drag (graph, start, { start + step, start + step * 2.0f, start + step * 5.0f, start + step * 10.0f });

    EXPECT_NEAR (normalised (processor, "ampDecay"), 0.3f, 1.0e-4f);
    EXPECT_NEAR (normalised (processor, "ampSustain"), 0.75f, 1.0e-4f);
    EXPECT_NEAR (normalised (processor, "ampAttack"), 0.2f, 1.0e-6f);
    EXPECT_EQ (graph.getDragHandle(), 0);
    // A host sees one gesture per moved parameter for the whole drag, and nothing for the others.
    for (auto* r : { &sustain, &decay })
    {
        EXPECT_EQ (r->begins, 1);
        EXPECT_EQ (r->ends, 1);
        EXPECT_FALSE (r->valueOutsideGesture);
        EXPECT_GE (r->values.size(), 4u);
    }
    EXPECT_EQ (attack.begins, 0);

    // Dragging far beyond the graph clamps at the range ends.
    const auto release = graph.getHandlePositions()[3];
    drag (graph, release, { release + juce::Point<float> (5000.0f, 0.0f) });
    EXPECT_FLOAT_EQ (normalised (processor, "ampRelease"), 1.0f);
}

TEST_F (EnvelopeEditorTest, PressTakesAHandleWithinTwelvePixelsOnly)
{
    editor.setBounds (0, 0, 280, 234);
    auto& graph = editor.getGraphRow();
    graph.refreshFromParameters();
    const auto peak = graph.getHandlePositions()[0];

    graph.mouseDown (mouseEvent (graph, peak + juce::Point<float> (0.0f, 12.5f), leftButton()));
    EXPECT_EQ (graph.getDragHandle(), 0);
    graph.mouseDown (mouseEvent (graph, peak + juce::Point<float> (0.0f, 12.0f), leftButton()));
    EXPECT_EQ (graph.getDragHandle(), 1);
    graph.mouseUp (mouseEvent (graph, peak, leftButton()));
}

TEST_F (EnvelopeEditorTest, LayoutOfGraphKnobsAndAccessory)
{
    juce::Component accessory;
    accessory.setSize (44, 96);
    editor.setAccessory (&accessory);
    editor.setBounds (0, 0, 280, 234);

    EXPECT_EQ (editor.getGraphRow().getBounds(), juce::Rectangle<int> (0, 0, 280, 138));
    EXPECT_EQ (accessory.getBounds(), juce::Rectangle<int> (0, 146, 44, 88));
    EXPECT_EQ (editor.getKnobRow().getBounds(), juce::Rectangle<int> (52, 146, 228, 88));
    EXPECT_TRUE (editor.getKnobRow().getKnobRow().isVisible());
    EXPECT_FALSE (editor.getGraphRow().getKnobRow().isVisible());

    // Shorter than the knob row: the graph gets nothing.
    editor.setBounds (0, 0, 280, 90);
    EXPECT_EQ (editor.getGraphRow().getHeight(), 0);
    EXPECT_EQ (editor.getKnobRow().getBounds(), juce::Rectangle<int> (52, 0, 228, 90));

    editor.setAccessory (nullptr);
    EXPECT_EQ (accessory.getParentComponent(), nullptr);
    EXPECT_EQ (editor.getKnobRow().getBounds(), juce::Rectangle<int> (0, 0, 280, 90));
}

TEST_F (EnvelopeEditorTest, HeightRangeIsSanitised)
{
    auto& row = editor.getGraphRow();
    row.setGraphHeightRange (10, 5);
    EXPECT_EQ (row.getMinimumGraphHeight(), 16);
    EXPECT_EQ (row.getMaximumGraphHeight(), 16);
}

TEST_F (EnvelopeEditorTest, KnobTextsAndLabels)
{
    auto& knobs = editor.getKnobRow();
    setPlain (processor, "ampAttack", 0.25f);
    EXPECT_EQ (knobs.getKnob (0).getValueText(), "250ms");
    setPlain (processor, "ampAttack", 2.0f);
    EXPECT_EQ (knobs.getKnob (0).getValueText(), "2.0s");
    setPlain (processor, "ampSustain", 0.7f);
    EXPECT_EQ (knobs.getKnob (2).getValueText(), "70 %");

    EXPECT_EQ (knobs.getKnob (0).getLabelText(), "A");
    EXPECT_EQ (editor.getGraphRow().getKnob (3).getLabelText(), "RELEASE");
}

TEST_F (EnvelopeEditorTest, GraphFollowsParameters)
{
    editor.setBounds (0, 0, 280, 234);
    auto& graph = editor.getGraphRow();
    graph.setGraphHeightRange (44, 60); // smaller than the graph-only row
    graph.refreshFromParameters();
    const auto before = paintToImage (graph);

    setNormalised ("ampSustain", 0.0f);
    graph.refreshFromParameters();
    EXPECT_FLOAT_EQ (graph.getHandlePositions()[1].y, graph.getGraphArea().getBottom());
    EXPECT_FALSE (imagesEqual (before, paintToImage (graph)));
}
