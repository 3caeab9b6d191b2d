#include "WidgetTestSupport.h"

#include "widgets/Knob.h"

using namespace larkspur::widgets;
using namespace widget_tests;

namespace
{
/** The menu flattened to one line per entry, submenus inline in brackets. */
juce::StringArray describeMenu (const juce::PopupMenu& menu)
{
    juce::StringArray lines;

    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
    {
        const auto& item = it.getItem();

        if (item.isSectionHeader)
            lines.add ("header " + item.text);
        else if (item.isSeparator)
            lines.add ("---");
        else if (item.subMenu != nullptr)
            lines.add ("sub " + item.text + " [" + describeMenu (*item.subMenu).joinIntoString (", ") + "]");
        else
            lines.add (juce::String (item.itemID) + " " + item.text + (item.isEnabled ? "" : " (disabled)"));
    }

    return lines;
}

juce::DragAndDropTarget::SourceDetails dragOf (const juce::var& description)
{
    return { description, nullptr, { 10, 10 } };
}

struct RingKnob
{
    RingKnob()
    {
        knob.setModulationRingCallbacks ([this] { return amount; }, [this] { ++started; },
                                         [this] (float a) { amount = a; }, [this] { ++ended; });
    }

    Knob knob { 1, false, true };
    float amount = 0.5f;
    int started = 0, ended = 0;
};
} // namespace

TEST (Knob, SizeVariantsAndGeometry)
{
    Knob small (0, false, false);
    EXPECT_EQ (small.getBounds(), juce::Rectangle<int> (0, 0, 44, 96));
    const auto geo = small.getGeometry();
    EXPECT_FLOAT_EQ (geo.side, 44.0f);
    EXPECT_FLOAT_EQ (geo.scale, 1.0f);
    EXPECT_FLOAT_EQ (geo.cx, 22.0f);
    EXPECT_FLOAT_EQ (geo.cy, 22.0f);
    EXPECT_FLOAT_EQ (geo.knobDiameter, 36.0f);
    EXPECT_FLOAT_EQ (geo.ringRadius, 21.0f);
    EXPECT_EQ (small.getCaptionArea(), juce::Rectangle<int> (0, 44, 44, 22));
    EXPECT_EQ (small.getValueArea(), juce::Rectangle<int> (0, 66, 44, 22));

    EXPECT_EQ (Knob (2, false, false).getBounds().getHeight(), 108);
    EXPECT_EQ (Knob (3, false, false).getBounds().getHeight(), 132);

    Knob odd (7, false, false);
    EXPECT_EQ (odd.getBounds(), juce::Rectangle<int> (0, 0, 96, 100));
    EXPECT_FLOAT_EQ (odd.getGeometry().ringDiameter, 46.0f);

    // A squeezed knob scales its diameters with the side it gets.
    odd.setSize (24, 100);
    EXPECT_FLOAT_EQ (odd.getGeometry().scale, 0.5f);
    EXPECT_FLOAT_EQ (odd.getGeometry().knobDiameter, 20.0f);
}

TEST (Knob, LabelAndValueTexts)
{
    Knob knob (0, false, false);
    knob.setLabelText ("Cutoff");
    EXPECT_EQ (knob.getTitle(), "Cutoff");
    knob.setValue (0.5);
    EXPECT_EQ (knob.getValueText(), "0.50");
    knob.setValueFormatter ([] (double v) { return juce::String (juce::roundToInt (v * 100)) + " %"; });
    EXPECT_EQ (knob.getValueText(), "50 %");
    knob.setValueFormatter (nullptr);
    EXPECT_EQ (knob.getValueText(), "0.50");
}

TEST (Knob, DragOnBoundParameterIsOneGesture)
{
    DummyProcessor proc;
    Knob knob (1, true, false);
    juce::AudioProcessorValueTreeState::SliderAttachment attachment (proc.state, "amount", knob);
    ParameterRecorder rec (proc.param ("amount"));

    drag (knob, { 48, 24 }, { { 48, 14 }, { 48, 4 } });
    EXPECT_GT (proc.raw ("amount"), 0.25f) << "dragging up raises the value";
    EXPECT_EQ (rec.begins, 1);
    EXPECT_EQ (rec.ends, 1);
    EXPECT_FALSE (rec.valueOutsideGesture);
    EXPECT_FALSE (knob.isFineDrag());

    drag (knob, { 48, 24 }, { { 48, 34 } }, juce::ModifierKeys::shiftModifier);
    EXPECT_TRUE (knob.isFineDrag());
    EXPECT_EQ (rec.begins, 2);
    EXPECT_EQ (rec.ends, 2);
}

TEST (Knob, DoubleClickAltClickAndResetRestoreTheDefaultInOneGesture)
{
    DummyProcessor proc;
    Knob knob (1, false, false);
    juce::AudioProcessorValueTreeState::SliderAttachment attachment (proc.state, "level", knob);
    ParameterRecorder rec (proc.param ("level"));

    knob.setValue (-30.0, juce::sendNotificationSync);
    rec.clear();
    knob.mouseDoubleClick (mouseEvent (knob, { 48, 24 }, leftButton(), {}, 2));
    EXPECT_FLOAT_EQ (proc.raw ("level"), 0.0f);
    EXPECT_EQ (rec.begins, 1);
    EXPECT_EQ (rec.ends, 1);
    EXPECT_FALSE (rec.valueOutsideGesture);

    knob.setValue (-30.0, juce::sendNotificationSync);
    knob.mouseDown (mouseEvent (knob, { 48, 24 }, leftButton (juce::ModifierKeys::altModifier)));
    knob.mouseUp (mouseEvent (knob, { 48, 24 }, leftButton (juce::ModifierKeys::altModifier)));
    EXPECT_FLOAT_EQ (proc.raw ("level"), 0.0f);

    knob.setValue (-30.0, juce::sendNotificationSync);
    knob.handleMenuResult (Knob::resetItem);
    EXPECT_FLOAT_EQ (proc.raw ("level"), 0.0f);
}

TEST (Knob, WheelAndKeysMoveABoundParameter)
{
    DummyProcessor proc;
    Knob knob (1, false, false);
    juce::AudioProcessorValueTreeState::SliderAttachment attachment (proc.state, "semis", knob);

    knob.mouseWheelMove (mouseEvent (knob, { 48, 24 }), wheel (0.2f));
    EXPECT_GT (proc.raw ("semis"), 0.0f);
    EXPECT_EQ (proc.raw ("semis"), std::round (proc.raw ("semis"))) << "a stepped parameter stays on its steps";

    const auto before = proc.raw ("semis");
    ParameterRecorder rec (proc.param ("semis"));
    EXPECT_TRUE (knob.keyPressed (juce::KeyPress (juce::KeyPress::downKey)));
    EXPECT_FLOAT_EQ (proc.raw ("semis"), before - 1.0f);
    EXPECT_EQ (rec.begins, 1) << "a key step is a gesture a host can record";
    EXPECT_EQ (rec.ends, 1);
    EXPECT_FALSE (rec.valueOutsideGesture);
}

TEST (Knob, RingDragZoneIsFivePixelsAroundTheRing)
{
    {
        RingKnob k;
        const auto geo = k.knob.getGeometry();
        k.knob.mouseDown (mouseEvent (k.knob, { geo.cx + geo.ringRadius + 3.0f, geo.cy }, leftButton()));
        EXPECT_TRUE (k.knob.isRingDragActive());
        EXPECT_EQ (k.started, 1);
        k.knob.mouseUp (mouseEvent (k.knob, { geo.cx + geo.ringRadius + 3.0f, geo.cy }, leftButton()));
        EXPECT_FALSE (k.knob.isRingDragActive());
        EXPECT_EQ (k.ended, 1);
    }
    {
        RingKnob k;
        const auto geo = k.knob.getGeometry();
        k.knob.mouseDown (mouseEvent (k.knob, { geo.cx + geo.ringRadius + 6.0f, geo.cy }, leftButton()));
        EXPECT_FALSE (k.knob.isRingDragActive());
        EXPECT_EQ (k.started, 0);
    }
    {
        RingKnob k;
        k.knob.setModulationRingCallbacks ([] { return 0.5f; }, {}, {}, {});
        const auto geo = k.knob.getGeometry();
        k.knob.mouseDown (mouseEvent (k.knob, { geo.cx + geo.ringRadius, geo.cy }, leftButton()));
        EXPECT_FALSE (k.knob.isRingDragActive()) << "no ring drag without an amount setter";
    }
    {
        RingKnob k;
        k.knob.setModulated (false);
        const auto geo = k.knob.getGeometry();
        k.knob.mouseDown (mouseEvent (k.knob, { geo.cx + geo.ringRadius, geo.cy }, leftButton()));
        EXPECT_FALSE (k.knob.isRingDragActive()) << "no ring drag on an unmodulated knob";
    }
}

TEST (Knob, RingDragMovesTheAmountFourHundredPixelsPerRange)
{
    const auto ringDrag = [] (float dy, int mods)
    {
        RingKnob k;
        const auto geo = k.knob.getGeometry();
        const juce::Point<float> start { geo.cx - geo.ringRadius, geo.cy };
        drag (k.knob, start, { start.translated (0.0f, -dy) }, mods);
        return k.amount;
    };

    EXPECT_NEAR (ringDrag (40.0f, 0), 0.9f, 1.0e-5f);
    EXPECT_NEAR (ringDrag (40.0f, juce::ModifierKeys::shiftModifier), 0.6f, 1.0e-5f);
    EXPECT_FLOAT_EQ (ringDrag (60.0f, 0), 1.0f);
    EXPECT_NEAR (ringDrag (-100.0f, 0), -0.5f, 1.0e-5f);
    EXPECT_FLOAT_EQ (ringDrag (-400.0f, 0), -1.0f);
}

TEST (Knob, CentreSnap)
{
    Knob knob (1, true, false);
    knob.setRange (-1.0, 1.0, 0.0);
    knob.setCentreSnap (true, 0.5);

    EXPECT_EQ (knob.snapValue (0.4, juce::Slider::absoluteDrag), 0.0);
    EXPECT_EQ (knob.snapValue (-0.5, juce::Slider::absoluteDrag), 0.0);
    EXPECT_EQ (knob.snapValue (0.6, juce::Slider::absoluteDrag), 0.6);
    EXPECT_EQ (knob.snapValue (0.4, juce::Slider::notDragging), 0.4);

    // A shift-drag narrows the snap to a fifth.
    drag (knob, { 48, 24 }, { { 48, 23 } }, juce::ModifierKeys::shiftModifier);
    EXPECT_EQ (knob.snapValue (0.4, juce::Slider::absoluteDrag), 0.4);
    EXPECT_EQ (knob.snapValue (0.1, juce::Slider::absoluteDrag), 0.0);

    knob.setRange (0.0, 1.0, 0.0);
    EXPECT_EQ (knob.snapValue (0.1, juce::Slider::absoluteDrag), 0.1) << "no snap on a unipolar range";

    knob.setCentreSnap (true, -2.0);
    knob.setRange (-1.0, 1.0, 0.0);
    EXPECT_EQ (knob.snapValue (0.01, juce::Slider::absoluteDrag), 0.01) << "negative width is no snap";
}

TEST (Knob, CentreSnapDuringARealDrag)
{
    DummyProcessor proc;
    Knob knob (1, true, false);
    juce::AudioProcessorValueTreeState::SliderAttachment attachment (proc.state, "amount", knob);
    knob.setCentreSnap (true, 0.5);

    // 0.25 moved down 10 px (250 px span the range) is 0.17: inside the snap, outside the fine snap.
    drag (knob, { 48, 24 }, { { 48, 34 } });
    EXPECT_EQ (proc.raw ("amount"), 0.0f);

    proc.param ("amount").setValueNotifyingHost (proc.param ("amount").convertTo0to1 (0.25f));
    drag (knob, { 48, 24 }, { { 48, 34 } }, juce::ModifierKeys::shiftModifier);
    EXPECT_NEAR (proc.raw ("amount"), 0.17f, 0.02f);
}

TEST (Knob, ParseModulationSource)
{
    EXPECT_EQ (parseModulationSource ("velocity"), 1);
    EXPECT_EQ (parseModulationSource ("key"), 2);
    EXPECT_EQ (parseModulationSource ("modwheel"), 3);
    EXPECT_EQ (parseModulationSource ("aftertouch"), 4);
    EXPECT_EQ (parseModulationSource ("lfo1"), 5);
    EXPECT_EQ (parseModulationSource ("dcw1Env"), 6);
    EXPECT_EQ (parseModulationSource ("dcw2Env"), 7);
    EXPECT_EQ (parseModulationSource (3), 3);
    EXPECT_EQ (parseModulationSource ("LFO1"), 0) << "case-sensitive";
    EXPECT_EQ (parseModulationSource ("filterEnv"), 0);
    EXPECT_EQ (parseModulationSource ("beatPhase"), 0);
    EXPECT_EQ (parseModulationSource (juce::var()), 0);
    EXPECT_EQ (parseModulationSource (2.5), 0);
}

TEST (Knob, DropTarget)
{
    Knob knob (0, false, false);
    std::vector<int> dropped;
    bool accept = true;
    knob.setSourceDropHandler ([&] (int source) { dropped.push_back (source); return accept; });

    EXPECT_FALSE (knob.isInterestedInDragSource (dragOf ("lfo1"))) << "not a modulation target yet";

    knob.setModulationTarget (true);
    EXPECT_FALSE (knob.isInterestedInDragSource (dragOf ("filterEnv")));
    EXPECT_FALSE (knob.isInterestedInDragSource (dragOf (12)));
    EXPECT_TRUE (knob.isInterestedInDragSource (dragOf (3)));
    EXPECT_TRUE (knob.isInterestedInDragSource (dragOf ("dcw2Env")));

    knob.itemDragEnter (dragOf (3));
    EXPECT_TRUE (knob.isDropHover());
    accept = false;
    knob.itemDropped (dragOf (3));
    EXPECT_FALSE (knob.isDropHover());
    EXPECT_FALSE (knob.isModulated()) << "a refused drop leaves the knob unmodulated";

    accept = true;
    knob.itemDropped (dragOf ("velocity"));
    EXPECT_TRUE (knob.isModulated());
    EXPECT_EQ (dropped, (std::vector<int> { 3, 1 }));

    knob.itemDropped (dragOf ("noteRandom"));
    EXPECT_EQ (dropped.size(), 2u) << "the handler never sees an unknown source";

    knob.itemDragEnter (dragOf (3));
    knob.setModulationTarget (false);
    EXPECT_FALSE (knob.isDropHover());
}

TEST (Knob, ContextMenuItems)
{
    Knob knob (0, false, false);
    EXPECT_EQ (describeMenu (knob.buildContextMenu()),
               (juce::StringArray { "3 Reset to default", "4 Copy value", "5 Paste value" }));

    knob.setModulationSources ({ "Velocity", "Key" }, [] (int) {});
    knob.setMidiLearnHandler ([] {});
    knob.setRevealInMatrixHandler ([] {});
    knob.setContextMenuExtension ([] (juce::PopupMenu& m) { m.addItem (200, "Extra"); });
    EXPECT_EQ (describeMenu (knob.buildContextMenu()),
               (juce::StringArray { "sub Modulate from [101 Velocity, 102 Key]", "2 MIDI learn", "3 Reset to default",
                                    "4 Copy value", "5 Paste value", "---", "7 Reveal in matrix", "---", "200 Extra" }));

    knob.setMidiLearnArmed (true);
    knob.setModulationSummaryAndRemover ([] { return juce::String ("Velocity 50 %"); }, {});
    EXPECT_EQ (describeMenu (knob.buildContextMenu()).joinIntoString ("|"),
               "header Velocity 50 %|sub Modulate from [101 Velocity, 102 Key]|---|2 Cancel MIDI learn|"
               "3 Reset to default|4 Copy value|5 Paste value|---|7 Reveal in matrix|---|200 Extra");

    knob.setModulationSummaryAndRemover ([] { return juce::String ("Velocity 50 %"); }, [] {});
    EXPECT_EQ (describeMenu (knob.buildContextMenu())[2], "8 Remove modulation");

    // Names without a handler give no submenu.
    knob.setModulationSources ({ "Velocity" }, {});
    EXPECT_FALSE (describeMenu (knob.buildContextMenu()).joinIntoString ("|").contains ("Modulate from"));
    knob.setMidiLearnArmed (false);
}

TEST (Knob, ContextMenuResults)
{
    Knob knob (0, false, false);
    std::vector<int> chosen;
    int learn = 0, reveal = 0, removed = 0;
    knob.setModulationSources ({ "a", "b", "c" }, [&] (int i) { chosen.push_back (i); });
    knob.setMidiLearnHandler ([&] { ++learn; });
    knob.setRevealInMatrixHandler ([&] { ++reveal; });
    knob.setModulationSummaryAndRemover ([] { return juce::String ("x"); }, [&] { ++removed; });

    knob.handleMenuResult (103);
    EXPECT_EQ (chosen, std::vector<int> { 3 });
    EXPECT_TRUE (knob.isModulated());

    knob.handleMenuResult (104);
    EXPECT_EQ (chosen.size(), 1u) << "beyond the names is nothing";

    knob.handleMenuResult (Knob::removeModulationItem);
    EXPECT_EQ (removed, 1);
    EXPECT_FALSE (knob.isModulated());

    knob.handleMenuResult (Knob::midiLearnItem);
    knob.handleMenuResult (Knob::revealItem);
    knob.handleMenuResult (0);
    knob.handleMenuResult (99);
    EXPECT_EQ (learn, 1);
    EXPECT_EQ (reveal, 1);
}

TEST (Knob, PastedTextIsClampedIntoTheRange)
{
    Knob knob (0, false, false);
    knob.pasteValueFromText ("7");
    EXPECT_EQ (knob.getValue(), 1.0);
    knob.pasteValueFromText ("0.25");
    EXPECT_EQ (knob.getValue(), 0.25);

    // A clipboard that holds no number changes nothing (it used to set 0, clamped into the range).
    knob.setRange (-1.0, 1.0, 0.0);
    knob.setValue (0.4);
    for (auto text : { "not a number", "", "1e", "0x10", "nan", "1,5" })
    {
        knob.pasteValueFromText (text);
        EXPECT_EQ (knob.getValue(), 0.4) << text;
    }

    knob.setRange (0.5, 1.0, 0.0);
    knob.setValue (0.75);
    knob.pasteValueFromText ("garbage");
    EXPECT_EQ (knob.getValue(), 0.75);
    knob.pasteValueFromText ("-2.5e-1");
    EXPECT_EQ (knob.getValue(), 0.5);
}

TEST (Knob, MidiLearnBlinkAndFlashTimer)
{
    Knob knob (0, false, false);
    knob.setMidiLearnArmed (true);
    EXPECT_TRUE (knob.isTimerRunning());
    EXPECT_EQ (knob.getTimerInterval(), 33);
    knob.setMidiLearnArmed (false);
    EXPECT_FALSE (knob.isTimerRunning());

    // A flash outlives its second only in the halo; the blink keeps the timer while armed.
    knob.setMidiLearnArmed (true);
    knob.flashHighlight();
    EXPECT_TRUE (knob.isFlashActive());
    juce::Thread::sleep (1020);
    knob.timerCallback();
    EXPECT_FALSE (knob.isFlashActive());
    EXPECT_TRUE (knob.isTimerRunning());

    knob.setMidiLearnArmed (false);
    EXPECT_FALSE (knob.isTimerRunning());

    knob.flashHighlight();
    knob.setMidiLearnArmed (true);
    knob.setMidiLearnArmed (false);
    EXPECT_TRUE (knob.isTimerRunning()) << "disarming keeps a running flash going";
}

TEST (Knob, TimerRestsOnceAFlashEndsEvenWhenAPaintEndedIt)
{
    Knob knob (0, false, false);
    knob.flashHighlight();
    EXPECT_TRUE (knob.isTimerRunning());
    EXPECT_GT (knob.getTimerInterval(), 100) << "a still halo needs no 30 Hz repaint";

    // The deadline passes while a paint runs: the paint ends the flash, the next tick the timer.
    juce::Thread::sleep (1010);
    paintToImage (knob);
    EXPECT_FALSE (knob.isFlashActive());
    knob.timerCallback();
    EXPECT_FALSE (knob.isTimerRunning());

    // The live value repaints nothing when it has not moved (checked through a paint counter).
    knob.setModulated (true);
    knob.setLiveValue (0.3);
    EXPECT_EQ (countRepaints (knob, [&] { for (int i = 0; i < 40; ++i) knob.setLiveValue (0.3); }), 0);
    EXPECT_GT (countRepaints (knob, [&] { knob.setLiveValue (0.6); }), 0);
    knob.setModulated (false);
    EXPECT_EQ (countRepaints (knob, [&] { knob.setLiveValue (0.2); }), 0) << "no live marker is drawn";
}

TEST (Knob, MidiLearnIsPlainlyVisibleEvenAtTheStartOfTheRange)
{
    Knob knob (0, false, false);
    knob.setValue (0.0);
    const auto idle = paintToImage (knob);
    const auto g = knob.getGeometry();

    // Over the blink cycle, the track where the value arc would run lights up in the accent.
    const auto accent = getWidgetTheme().getColour (ColourId::accent);
    const auto angle = juce::MathConstants<float>::pi * 2.0f - juce::MathConstants<float>::halfPi; // top
    const auto top = juce::Point<int> (juce::roundToInt (g.cx + g.knobDiameter * 0.5f * std::cos (angle) - 0.5f),
                                       juce::roundToInt (g.cy + g.knobDiameter * 0.5f * std::sin (angle) - 0.5f));
    knob.setMidiLearnArmed (true);
    float brightest = 0.0f, dimmest = 1.0f;
    int changedPixels = 0;

    for (int tick = 0; tick < 30; ++tick)
    {
        knob.timerCallback();
        const auto image = paintToImage (knob);
        const auto c = image.getPixelAt (top.x, top.y);
        const auto closeness = 1.0f - (std::abs (c.getFloatRed() - accent.getFloatRed()) + std::abs (c.getFloatGreen() - accent.getFloatGreen())
                                       + std::abs (c.getFloatBlue() - accent.getFloatBlue())) / 3.0f;
        brightest = juce::jmax (brightest, closeness * c.getFloatAlpha());
        dimmest = juce::jmin (dimmest, closeness * c.getFloatAlpha());

        if (tick == 7) // near the brightest point of the blink
            for (int y = 0; y < 44; ++y)
                for (int x = 0; x < 44; ++x)
                    changedPixels += image.getPixelAt (x, y) != idle.getPixelAt (x, y) ? 1 : 0;
    }

    EXPECT_GT (changedPixels, 150) << "the whole travel shows the learn state";
    EXPECT_GT (brightest - dimmest, 0.3f) << "it blinks";
    knob.setMidiLearnArmed (false);
    EXPECT_TRUE (imagesEqual (paintToImage (knob), idle)) << "cancelled, it looks as before";
}
