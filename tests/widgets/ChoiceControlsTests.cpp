#include "WidgetTestSupport.h"

#include "widgets/ChoiceControls.h"

#include <thread>

using namespace larkspur::widgets;
using namespace widget_tests;

namespace
{
void setFromAnotherThread (juce::AudioProcessorParameter& p, float normalised)
{
    std::thread ([&p, normalised] { p.setValueNotifyingHost (normalised); }).join();
}

juce::KeyPress key (int code) { return juce::KeyPress (code); }
} // namespace

TEST (ChoiceDropdown, FillsUpperCasedChoicesAndFollowsTheParameter)
{
    DummyProcessor proc;
    ChoiceDropdown dropdown (proc.state, "wave", "Osc wave");
    auto& combo = dropdown.getComboBox();
    ASSERT_EQ (combo.getNumItems(), 2);
    EXPECT_EQ (combo.getItemText (0), "SINE");
    EXPECT_EQ (combo.getItemText (1), "SAW");
    EXPECT_EQ (combo.getItemId (1), 2);
    EXPECT_EQ (dropdown.getSelectedId(), 1);

    EXPECT_EQ (combo.getTitle(), "Osc wave");
    EXPECT_EQ (combo.getTooltip(), "Osc wave");
    EXPECT_EQ (combo.getHelpText(), "Choose osc wave.");
    combo.mouseWheelMove (mouseEvent (combo, {}), wheel (-1.0f));
    EXPECT_EQ (dropdown.getSelectedId(), 1) << "the wheel does not change the choice";

    proc.param ("wave").setValueNotifyingHost (1.0f);
    EXPECT_EQ (dropdown.getSelectedId(), 2);

    dropdown.setSelectedId (1, juce::sendNotificationSync);
    EXPECT_EQ (proc.choice ("wave").getIndex(), 0);

    dropdown.setSize (140, 30);
    EXPECT_EQ (combo.getBounds(), juce::Rectangle<int> (0, 0, 140, 30));
}

TEST (ChoiceDropdown, IdealWidthFollowsTheWidestItem)
{
    ChoiceDropdown standard ("Mode");
    standard.addItem ("A", 1);
    EXPECT_EQ (standard.getIdealWidth(), 88) << "short items keep the floor";

    const juce::String wide ("RESTRAPEZOID RESONANT");
    standard.addItem (wide, 2);
    EXPECT_EQ (standard.getIdealWidth(), juce::jmax (88, measureTextWidth (5, wide) + 42));
    EXPECT_GT (standard.getIdealWidth(), 88);

    standard.setCompact (true);
    EXPECT_TRUE ((bool) standard.getComboBox().getProperties()["larkspur.compactChoice"]);
    EXPECT_TRUE ((bool) standard.getComboBox().getProperties()["quillon.compactChoice"]);
    EXPECT_EQ (standard.getIdealWidth(), juce::jmax (56, measureTextWidth (6, wide) + 28));

    ChoiceDropdown compact ("Tiny");
    compact.setCompact (true);
    compact.addItem ("A", 1);
    EXPECT_EQ (compact.getIdealWidth(), 56);

    compact.setCompact (false);
    EXPECT_FALSE ((bool) compact.getComboBox().getProperties()["quillon.compactChoice"]);
    EXPECT_EQ (compact.getIdealWidth(), 88);
}

TEST (HeaderChoice, IsCompact)
{
    DummyProcessor proc;
    HeaderChoice choice (proc.state, "shape", "LFO shape");
    EXPECT_TRUE (choice.isCompact());
    EXPECT_EQ (choice.getComboBox().getNumItems(), 4);
    EXPECT_EQ (choice.getComboBox().getItemText (3), "S&H");
    EXPECT_EQ (choice.getSelectedId(), 2);
}

TEST (SegmentedControl, NaturalWidthAndCellLayout)
{
    DummyProcessor proc;
    SegmentedControl control (proc.choice ("colour"), { "white", "p", "brownish" });
    ASSERT_EQ (control.getNumCells(), 3);

    int sum = 0;
    for (int i = 0; i < 3; ++i)
    {
        const auto ideal = control.getCell (i)->getIdealWidth();
        EXPECT_GE (ideal, 44);
        sum += ideal;
    }

    EXPECT_EQ (control.getNaturalWidth(), sum);
    EXPECT_EQ (control.getBounds(), juce::Rectangle<int> (0, 0, sum, 44));
    EXPECT_EQ (control.getCell (1)->getIdealWidth(), 44) << "one letter keeps the 44 px floor";

    control.setGap (2);
    EXPECT_EQ (control.getGap(), 8);
    EXPECT_EQ (control.getNaturalWidth(), sum + 16);
    EXPECT_EQ (control.getWidth(), sum + 16);

    control.setSize (170, 44);
    EXPECT_EQ (control.getCell (0)->getBounds(), juce::Rectangle<int> (0, 0, 52, 44));
    EXPECT_EQ (control.getCell (1)->getBounds(), juce::Rectangle<int> (60, 0, 51, 44));
    EXPECT_EQ (control.getCell (2)->getBounds(), juce::Rectangle<int> (119, 0, 51, 44));

    control.setSize (173, 44);
    EXPECT_EQ (control.getCell (0)->getWidth(), 53);
    EXPECT_EQ (control.getCell (1)->getWidth(), 52);
    EXPECT_EQ (control.getCell (2)->getWidth(), 52);

    control.setSize (10, 44);
    EXPECT_EQ (control.getCell (0)->getWidth(), 0);
}

TEST (SegmentedControl, ClickWritesInOneGestureAndRepeatsWriteNothing)
{
    DummyProcessor proc;
    SegmentedControl control (proc.choice ("colour"), { "W", "P", "B" });
    ParameterRecorder rec (proc.param ("colour"));
    std::vector<int> picked;
    control.onChange = [&] (int i) { picked.push_back (i); };

    EXPECT_TRUE (control.getCell (0)->getToggleState());

    control.getCell (2)->triggerClick();
    pumpMessages();
    EXPECT_EQ (proc.choice ("colour").getIndex(), 2);
    EXPECT_EQ (rec.begins, 1);
    EXPECT_EQ (rec.ends, 1);
    EXPECT_FALSE (rec.valueOutsideGesture);
    EXPECT_EQ (picked, std::vector<int> { 2 });
    EXPECT_TRUE (control.getCell (2)->getToggleState());
    EXPECT_FALSE (control.getCell (0)->getToggleState());

    rec.clear();
    control.getCell (2)->triggerClick();
    pumpMessages();
    EXPECT_TRUE (rec.values.empty());
    EXPECT_EQ (rec.begins, 0);
    EXPECT_EQ (picked.size(), 1u);
    EXPECT_TRUE (control.getCell (2)->getToggleState());
}

TEST (SegmentedControl, ChangesFromAnotherThreadArriveLaterOnTheMessageThread)
{
    DummyProcessor proc;
    SegmentedControl control (proc.choice ("colour"), { "W", "P", "B" });

    setFromAnotherThread (proc.param ("colour"), 0.5f);
    EXPECT_TRUE (control.getCell (0)->getToggleState()) << "no component is touched off the message thread";

    pumpMessages();
    EXPECT_TRUE (control.getCell (1)->getToggleState());
    EXPECT_FALSE (control.getCell (0)->getToggleState());
}

TEST (SegmentedControl, DestroyedWhileARefreshIsPostedDoesNothing)
{
    DummyProcessor proc;
    auto control = std::make_unique<SegmentedControl> (proc.choice ("colour"), juce::StringArray { "W", "P", "B" });
    setFromAnotherThread (proc.param ("colour"), 1.0f);
    proc.param ("colour").setValueNotifyingHost (0.0f);
    control.reset();
    pumpMessages();
    SUCCEED();
}

TEST (SegmentCell, PaintsTextOrGlyph)
{
    const auto& theme = getWidgetTheme();
    SegmentCell cell ("saw");
    cell.setSize (60, 44);
    cell.setToggleState (true, juce::dontSendNotification);
    auto image = paintToImage (cell);
    EXPECT_TRUE (coloursClose (image.getPixelAt (30, 0), theme.getColour (ColourId::textPrimary))) << "bar across the top";
    EXPECT_TRUE (coloursClose (image.getPixelAt (4, 30), theme.getColour (ColourId::hoverFill)));

    cell.setToggleState (false, juce::dontSendNotification);
    image = paintToImage (cell);
    EXPECT_TRUE (coloursClose (image.getPixelAt (4, 30), theme.getColour (ColourId::surface2)));

    juce::Path diagonal;
    diagonal.startNewSubPath (0.0f, 10.0f);
    diagonal.lineTo (10.0f, 0.0f);
    cell.setGlyph (diagonal, { 0.0f, 0.0f, 10.0f, 10.0f });
    image = paintToImage (cell);
    // The glyph fills a 28 px square centred in the cell: its middle is inked, the text row beside it is not.
    EXPECT_GT (image.getPixelAt (30, 22).getBrightness(), theme.getColour (ColourId::surface2).getBrightness() + 0.1f);
}

TEST (RouteSwitch, DiscreteWritesIndexOverChoiceAndBool)
{
    DummyProcessor proc;
    RouteSwitch colours (proc.state, "colour", RouteSwitch::discrete, { "PRE", "Before." }, { "POST", "After." });
    ParameterRecorder rec (proc.param ("colour"));
    EXPECT_EQ (colours.getTitle(), "PRE to POST route");
    EXPECT_EQ (colours.getHelpText(), "PRE to POST route");
    EXPECT_EQ (colours.getTooltip(), "Before.");
    EXPECT_EQ (colours.getDisplayText(), "PRE");

    colours.mouseDown (mouseEvent (colours, { 60.0f, 20.0f }, leftButton()));
    colours.mouseUp (mouseEvent (colours, { 60.0f, 20.0f }, leftButton()));
    ASSERT_EQ (rec.values.size(), 1u);
    EXPECT_FLOAT_EQ (rec.values[0], 0.5f) << "index 1 of three choices";
    EXPECT_EQ (rec.begins, 1);
    EXPECT_EQ (rec.ends, 1);
    EXPECT_EQ (colours.getTooltip(), "After.");
    EXPECT_EQ (colours.getDisplayText(), "POST");

    colours.mouseDown (mouseEvent (colours, { 10.0f, 20.0f }, leftButton()));
    EXPECT_FLOAT_EQ (rec.values.back(), 0.0f);

    RouteSwitch toggle (proc.state, "toggle", RouteSwitch::discrete, { "OFF", "" }, { "ON", "" });
    EXPECT_TRUE (toggle.keyPressed (key (juce::KeyPress::rightKey)));
    EXPECT_FLOAT_EQ (proc.param ("toggle").getValue(), 1.0f);
    EXPECT_TRUE (toggle.keyPressed (key (juce::KeyPress::downKey)));
    EXPECT_FLOAT_EQ (proc.param ("toggle").getValue(), 0.0f);
    toggle.mouseWheelMove (mouseEvent (toggle, {}), wheel (0.1f));
    EXPECT_EQ (toggle.getIndex(), 1);
    toggle.mouseWheelMove (mouseEvent (toggle, {}), wheel (0.0f));
    EXPECT_EQ (toggle.getIndex(), 1);
    toggle.mouseWheelMove (mouseEvent (toggle, {}), wheel (-0.1f));
    EXPECT_EQ (toggle.getIndex(), 0);
    EXPECT_FALSE (toggle.keyPressed (key ('x')));

    // Picking the current option writes nothing.
    ParameterRecorder toggleRec (proc.param ("toggle"));
    toggle.setIndex (0);
    toggle.setIndex (-4);
    EXPECT_TRUE (toggleRec.values.empty());

    // A choice index beyond the two options reads as the second.
    proc.param ("colour").setValueNotifyingHost (1.0f);
    EXPECT_EQ (colours.getIndex(), 1);
}

TEST (RouteSwitch, BlendTextsDragsKeysAndWheel)
{
    DummyProcessor proc;
    RouteSwitch route (proc.state, "blend", RouteSwitch::blend, { "PRE", "Noise before the filter." },
                       { "POST", "Noise after the filter." });
    auto& p = proc.param ("blend");
    ParameterRecorder rec (p);

    p.setValueNotifyingHost (0.5f);
    EXPECT_EQ (route.getDisplayText(), "50%");
    p.setValueNotifyingHost (0.37f);
    EXPECT_EQ (route.getDisplayText(), "37%");
    p.setValueNotifyingHost (0.003f);
    EXPECT_EQ (route.getDisplayText(), "PRE");
    p.setValueNotifyingHost (0.996f);
    EXPECT_EQ (route.getDisplayText(), "POST");

    p.setValueNotifyingHost (0.98f);
    rec.clear();
    EXPECT_TRUE (route.keyPressed (key (juce::KeyPress::rightKey)));
    EXPECT_FLOAT_EQ (p.getValue(), 1.0f);
    EXPECT_EQ (route.getDisplayText(), "POST");
    EXPECT_EQ (route.getTooltip(), "Noise after the filter.");
    EXPECT_TRUE (route.keyPressed (key (juce::KeyPress::leftKey)));
    EXPECT_NEAR (p.getValue(), 0.95f, 1.0e-6f);
    EXPECT_EQ (rec.begins, 2);
    EXPECT_EQ (rec.ends, 2);

    // A press, a drag and a release make one gesture; x maps over width - 1.
    rec.clear();
    drag (route, { 0.0f, 20.0f }, { { 19.0f, 20.0f }, { 95.0f, 20.0f } });
    EXPECT_EQ (rec.begins, 1);
    EXPECT_EQ (rec.ends, 1);
    EXPECT_FALSE (rec.valueOutsideGesture);
    ASSERT_EQ (rec.values.size(), 3u);
    EXPECT_FLOAT_EQ (rec.values[0], 0.0f);
    EXPECT_FLOAT_EQ (rec.values[1], 0.2f);
    EXPECT_FLOAT_EQ (rec.values[2], 1.0f);

    p.setValueNotifyingHost (0.5f);
    route.mouseWheelMove (mouseEvent (route, {}), wheel (0.0f));
    EXPECT_NEAR (p.getValue(), 0.54f, 1.0e-6f);
    route.mouseWheelMove (mouseEvent (route, {}), wheel (-1.0f));
    EXPECT_NEAR (p.getValue(), 0.5f, 1.0e-6f);
}

TEST (RouteSwitch, WithoutAParameterDoesNothingButConsumesArrows)
{
    DummyProcessor proc;

    for (int mode : { (int) RouteSwitch::discrete, (int) RouteSwitch::blend })
    {
        RouteSwitch route (proc.state, "noSuchParameter", mode, { "A", "a" }, { "B", "b" });
        EXPECT_EQ (route.getIndex(), 0);
        EXPECT_EQ (route.getDisplayText(), "A");

        drag (route, { 80.0f, 20.0f }, { { 90.0f, 20.0f } });
        route.mouseWheelMove (mouseEvent (route, {}), wheel (1.0f));
        route.setIndex (1);

        for (int code : { juce::KeyPress::leftKey, juce::KeyPress::rightKey, juce::KeyPress::upKey, juce::KeyPress::downKey })
            EXPECT_TRUE (route.keyPressed (key (code)));

        EXPECT_FALSE (route.keyPressed (key (juce::KeyPress::returnKey)));
        EXPECT_EQ (route.getIndex(), 0);
        paintToImage (route);
    }
}

TEST (RouteSwitch, FollowsChangesFromElsewhereAndIgnoresRefreshesAfterDeletion)
{
    DummyProcessor proc;
    auto route = std::make_unique<RouteSwitch> (proc.state, "toggle", RouteSwitch::discrete,
                                                RouteOption { "DRV", "Before drive." }, RouteOption { "CLN", "After drive." });

    setFromAnotherThread (proc.param ("toggle"), 1.0f);
    EXPECT_EQ (route->getTooltip(), "Before drive.") << "the refresh waits for the message thread";
    pumpMessages();
    EXPECT_EQ (route->getTooltip(), "After drive.");

    setFromAnotherThread (proc.param ("toggle"), 0.0f);
    route.reset();
    pumpMessages();
    SUCCEED();
}
