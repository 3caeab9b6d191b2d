#include "WidgetTestSupport.h"

#include "widgets/ValueControls.h"

using namespace larkspur::widgets;
using namespace widget_tests;

namespace
{
struct BarProbe
{
    BarProbe()
    {
        bar.onGestureBegin = [this] { events.add ("begin"); };
        bar.onValueChanged = [this] (float v) { events.add (juce::String (v, 3)); };
        bar.onGestureEnd = [this] { events.add ("end"); };
    }

    BipolarBar bar;
    juce::StringArray events;
};
} // namespace

TEST (ValueChip, LayoutWithLabelAndArrows)
{
    ValueChip chip;
    EXPECT_EQ (chip.getBounds(), juce::Rectangle<int> (0, 0, 96, 44));

    auto layout = chip.getLayout();
    EXPECT_TRUE (layout.showsArrows);
    EXPECT_EQ (layout.arrowCentre, juce::Point<float> (84.0f, 22.0f));
    EXPECT_TRUE (layout.labelArea.isEmpty()) << "no label, the value takes the whole height";
    EXPECT_EQ (layout.valueArea, juce::Rectangle<int> (8, 0, 68, 44));

    DummyProcessor proc;
    ValueChip labelled (proc.state, "semis", "DETUNE");
    layout = labelled.getLayout();
    EXPECT_EQ (layout.labelArea, juce::Rectangle<int> (8, 0, 68, 22));
    EXPECT_EQ (layout.valueArea, juce::Rectangle<int> (8, 22, 68, 22));
    EXPECT_EQ (labelled.getTitle(), "DETUNE");
    labelled.setTitleText ("Osc 2 detune");
    EXPECT_EQ (labelled.getTitle(), "Osc 2 detune");
    labelled.setTitleText ({});
    EXPECT_EQ (labelled.getTitle(), "DETUNE");

    labelled.setShowStepArrows (false);
    EXPECT_FALSE (labelled.getLayout().showsArrows);
    EXPECT_EQ (labelled.getLayout().valueArea, juce::Rectangle<int> (8, 22, 80, 22));

    ValueChip narrow;
    narrow.setSize (28, 44);
    EXPECT_FALSE (narrow.getLayout().showsArrows) << "12 px of content leave no room for the chevrons";
    EXPECT_EQ (narrow.getLayout().valueArea.getWidth(), 12);
    narrow.setSize (10, 44);
    EXPECT_EQ (narrow.getLayout().valueArea.getWidth(), 0);
}

TEST (ValueChip, DragsABoundParameterInOneGestureAndFormatsIt)
{
    DummyProcessor proc;
    ValueChip chip (proc.state, "level", "LEVEL");
    ParameterRecorder rec (proc.param ("level"));
    EXPECT_EQ (chip.getValueText(), "0.00");
    chip.setValueFormatter ([] (double v) { return juce::String (v, 1) + " dB"; });
    EXPECT_EQ (chip.getValueText(), "0.0 dB");

    chip.mouseEnter (mouseEvent (chip, { 40, 20 }));
    EXPECT_TRUE (chip.isHovered());
    drag (chip, { 40, 20 }, { { 40, 30 }, { 40, 40 } });
    EXPECT_LT (proc.raw ("level"), 0.0f) << "dragging down lowers the value";
    EXPECT_EQ (rec.begins, 1);
    EXPECT_EQ (rec.ends, 1);
    EXPECT_FALSE (rec.valueOutsideGesture);
    EXPECT_FALSE (chip.isPressed());
    chip.mouseExit (mouseEvent (chip, { 40, 60 }));
    EXPECT_FALSE (chip.isHovered());

    // Rebinding moves the chip to the other parameter.
    chip.attachToParameter (proc.state, "semis");
    proc.param ("semis").setValueNotifyingHost (1.0f);
    EXPECT_EQ (chip.getValue(), 12.0);
}

TEST (ValueChip, ChevronClicksStepTheParameterInAGesture)
{
    DummyProcessor proc;
    const auto click = [] (ValueChip& chip, juce::Point<float> at, int clicks = 1)
    {
        chip.mouseDown (mouseEvent (chip, at, leftButton(), at, clicks));
        chip.mouseUp (mouseEvent (chip, at, leftButton(), at, clicks));
    };
    const juce::Point<float> up { 84.0f, 16.0f }, down { 84.0f, 28.0f };

    // A stepped parameter moves by its own step.
    ValueChip semis (proc.state, "semis", "DETUNE");
    ParameterRecorder rec (proc.param ("semis"));
    EXPECT_EQ (semis.stepDirectionAt (up), 1);
    EXPECT_EQ (semis.stepDirectionAt (down), -1);
    EXPECT_EQ (semis.stepDirectionAt ({ 40.0f, 16.0f }), 0) << "the text area is for dragging";
    click (semis, up);
    EXPECT_FLOAT_EQ (proc.raw ("semis"), 1.0f);
    EXPECT_EQ (rec.begins, 1);
    EXPECT_EQ (rec.ends, 1);
    EXPECT_FALSE (rec.valueOutsideGesture);
    click (semis, down);
    click (semis, down, 2); // the second click of a quick pair is another step, not a reset
    semis.mouseDoubleClick (mouseEvent (semis, down, leftButton(), down, 2));
    EXPECT_FLOAT_EQ (proc.raw ("semis"), -1.0f);
    EXPECT_EQ (rec.begins, 3);
    EXPECT_EQ (rec.ends, 3);
    EXPECT_FALSE (semis.isPressed());

    // At the end of the range a step changes nothing and opens no gesture.
    proc.param ("semis").setValueNotifyingHost (1.0f);
    rec.clear();
    click (semis, up);
    EXPECT_FLOAT_EQ (proc.raw ("semis"), 12.0f);
    EXPECT_EQ (rec.begins, 0);

    // A continuous parameter moves by 1 % of its travel: 0.66 dB on -60..6.
    ValueChip level (proc.state, "level", "LEVEL");
    click (level, up);
    EXPECT_NEAR (proc.raw ("level"), 0.66f, 1.0e-4f);
    click (level, down);
    click (level, down);
    EXPECT_NEAR (proc.raw ("level"), -0.66f, 1.0e-4f);

    // A press on a chevron followed by a move is no drag.
    const auto before = proc.raw ("level");
    drag (level, down, { down + juce::Point<float> (0.0f, 30.0f) });
    EXPECT_NEAR (proc.raw ("level"), before - 0.66f, 1.0e-4f);

    // Without arrows the same place is plain chip.
    level.setShowStepArrows (false);
    EXPECT_EQ (level.stepDirectionAt (up), 0);
}

TEST (ValueChip, ArrowKeysAreOneGestureEach)
{
    DummyProcessor proc;
    ValueChip chip (proc.state, "semis", "DETUNE");
    ParameterRecorder rec (proc.param ("semis"));
    EXPECT_TRUE (chip.keyPressed (juce::KeyPress (juce::KeyPress::upKey)));
    EXPECT_TRUE (chip.keyPressed (juce::KeyPress (juce::KeyPress::upKey)));
    EXPECT_FLOAT_EQ (proc.raw ("semis"), 2.0f);
    EXPECT_EQ (rec.begins, 2);
    EXPECT_EQ (rec.ends, 2);
    EXPECT_FALSE (rec.valueOutsideGesture);
    EXPECT_FALSE (chip.keyPressed (juce::KeyPress ('a')));
    EXPECT_EQ (rec.begins, 2);
}

TEST (BipolarBar, ReadoutTexts)
{
    BipolarBar bar;
    EXPECT_EQ (bar.getBounds(), juce::Rectangle<int> (0, 0, 304, 44));
    EXPECT_EQ (bar.getTitle(), "Bipolar amount");
    EXPECT_EQ (bar.getTooltip(), "Adjust signed amount.");
    EXPECT_EQ (bar.getReadoutText(), "0 %");

    bar.setValue (0.25f);
    EXPECT_EQ (bar.getReadoutText(), "+25 %");
    bar.setValue (-0.004f);
    EXPECT_EQ (bar.getReadoutText(), "0 %");
    bar.setValue (-0.07f);
    EXPECT_EQ (bar.getReadoutText(), "-7 %");
    bar.setValue (-3.0f);
    EXPECT_EQ (bar.getReadoutText(), "-100 %");

    EXPECT_EQ (bar.getReadoutArea(), juce::Rectangle<int> (260, 0, 44, 44));
    bar.setWidthVariant (1);
    EXPECT_EQ (bar.getBarWidth(), 96);
    bar.setWidthVariant (5);
    EXPECT_EQ (bar.getReadoutArea().getWidth(), 0);
    bar.setWidthVariant (0);
    EXPECT_EQ (bar.getBarWidth(), 44);
}

TEST (BipolarBar, NonInteractiveIgnoresInput)
{
    BarProbe p;
    p.bar.mouseDown (mouseEvent (p.bar, { 0, 20 }, leftButton()));
    p.bar.mouseUp (mouseEvent (p.bar, { 0, 20 }, leftButton()));
    p.bar.mouseDoubleClick (mouseEvent (p.bar, { 0, 20 }, leftButton(), {}, 2));
    p.bar.mouseWheelMove (mouseEvent (p.bar, {}), wheel (1.0f));
    EXPECT_FALSE (p.bar.keyPressed (juce::KeyPress (juce::KeyPress::rightKey)));
    EXPECT_TRUE (p.events.isEmpty());
    EXPECT_EQ (p.bar.getValue(), 0.0f);
    EXPECT_FALSE (p.bar.getWantsKeyboardFocus());
}

TEST (BipolarBar, PressDragAndReleaseMapXOntoTheBar)
{
    BarProbe p;
    p.bar.setInteractive (true);
    EXPECT_TRUE (p.bar.getWantsKeyboardFocus());

    drag (p.bar, { 0, 20 }, { { 126, 20 }, { 300, 20 } });
    EXPECT_EQ (p.events, (juce::StringArray { "begin", "-1.000", "0.000", "1.000", "end" }));

    p.events.clear();
    p.bar.setWidthVariant (1);
    drag (p.bar, { 72, 20 }, {});
    EXPECT_EQ (p.events, (juce::StringArray { "begin", "0.500", "end" }));
}

TEST (BipolarBar, KeysWheelAndDoubleClickAreEachOneGesture)
{
    BarProbe p;
    p.bar.setInteractive (true);
    p.bar.setValue (0.5f);
    EXPECT_TRUE (p.events.isEmpty()) << "showing a value reports nothing";

    EXPECT_TRUE (p.bar.keyPressed (juce::KeyPress (juce::KeyPress::leftKey)));
    EXPECT_TRUE (p.bar.keyPressed (juce::KeyPress (juce::KeyPress::upKey)));
    EXPECT_EQ (p.events, (juce::StringArray { "begin", "0.480", "end", "begin", "0.500", "end" }));

    p.events.clear();
    p.bar.mouseWheelMove (mouseEvent (p.bar, {}), wheel (1.0f));
    EXPECT_NEAR (p.bar.getValue(), 0.6f, 1.0e-6f);
    p.bar.mouseWheelMove (mouseEvent (p.bar, {}), wheel (1.0f, true));
    EXPECT_NEAR (p.bar.getValue(), 0.5f, 1.0e-6f);

    p.events.clear();
    p.bar.mouseDoubleClick (mouseEvent (p.bar, { 10, 10 }, leftButton(), {}, 2));
    EXPECT_EQ (p.events, (juce::StringArray { "begin", "0.000", "end" }));

    // Setting the current value again calls nothing in between the gesture callbacks.
    p.events.clear();
    EXPECT_TRUE (p.bar.keyPressed (juce::KeyPress (juce::KeyPress::returnKey)));
    EXPECT_EQ (p.events, (juce::StringArray { "begin", "end" }));

    p.bar.setValue (-0.99f);
    p.events.clear();
    p.bar.keyPressed (juce::KeyPress (juce::KeyPress::downKey));
    p.bar.keyPressed (juce::KeyPress (juce::KeyPress::downKey));
    EXPECT_EQ (p.events, (juce::StringArray { "begin", "-1.000", "end", "begin", "end" }));
    EXPECT_FALSE (p.bar.keyPressed (juce::KeyPress ('q')));
}

TEST (KnobRow, LaysOutKnobsInEqualCells)
{
    KnobRow row (0);
    Knob a (0, false, false), b (0, false, false), c (0, false, false);
    row.setSize (300, 96);
    row.setKnobs ({ &a, &b, &c });
    EXPECT_EQ (row.getGap(), 12);
    EXPECT_EQ (a.getBounds(), juce::Rectangle<int> (24, 0, 44, 96));
    EXPECT_EQ (b.getBounds(), juce::Rectangle<int> (128, 0, 44, 96));
    EXPECT_EQ (c.getBounds(), juce::Rectangle<int> (232, 0, 44, 96));

    // The last cell takes what integer division leaves.
    row.setSize (302, 120);
    EXPECT_EQ (c.getBounds(), juce::Rectangle<int> (233, 12, 44, 96));

    row.setGap (1);
    EXPECT_EQ (row.getGap(), 4);

    // Cells narrower than a knob squeeze it.
    row.setSize (60, 50);
    EXPECT_EQ (a.getBounds().getWidth(), 17);
    EXPECT_EQ (a.getBounds().getHeight(), 50);

    row.setKnobs ({ &b, nullptr });
    EXPECT_EQ (a.getParentComponent(), nullptr);
    EXPECT_EQ (row.getCount(), 2);
}

TEST (KnobRow, KeepsTheFirstEight)
{
    KnobRow row (1);
    std::vector<std::unique_ptr<juce::Component>> owned;
    std::vector<juce::Component*> knobs;

    for (int i = 0; i < 10; ++i)
    {
        owned.push_back (std::make_unique<juce::Component>());
        knobs.push_back (owned.back().get());
    }

    row.setSize (1000, 100);
    row.setKnobs (knobs);
    EXPECT_EQ (row.getCount(), 8);
    EXPECT_EQ (row.getNumChildComponents(), 8);
    EXPECT_EQ (owned[9]->getParentComponent(), nullptr);
    EXPECT_EQ (owned[0]->getBounds().getWidth(), 96);
}
