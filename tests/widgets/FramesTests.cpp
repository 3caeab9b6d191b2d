#include "WidgetTestSupport.h"

#include "widgets/Frames.h"

using namespace larkspur::widgets;
using namespace widget_tests;

TEST (SectionFrame, LaysOutContentInsideTheInsetAndPaintsItsFill)
{
    SectionFrame frame;
    bool selfClicks = true, childClicks = false;
    frame.getInterceptsMouseClicks (selfClicks, childClicks);
    EXPECT_FALSE (selfClicks);
    EXPECT_TRUE (childClicks);

    juce::Component content;
    frame.addAndMakeVisible (content);
    frame.setContent (&content);
    frame.setSize (200, 100);
    EXPECT_EQ (content.getBounds(), juce::Rectangle<int> (12, 12, 176, 76));
    frame.setSize (20, 10);
    EXPECT_EQ (content.getBounds(), juce::Rectangle<int> (12, 12, 0, 0));

    frame.setSize (40, 40);
    const auto image = paintToImage (frame);
    EXPECT_TRUE (coloursClose (image.getPixelAt (20, 20), getWidgetTheme().getColour (ColourId::surface)));
    EXPECT_LT (image.getPixelAt (0, 0).getAlpha(), 255) << "rounded corner";

    frame.setFillColourId (ColourId::panel);
    EXPECT_EQ (frame.getFillColour(), getWidgetTheme().getColour (ColourId::panel));
    frame.setBorderColourId (ColourId::focus);
    EXPECT_EQ (frame.getBorderColour(), getWidgetTheme().getColour (ColourId::focus));

    juce::Component* gone = new juce::Component();
    frame.setContent (gone);
    delete gone;
    frame.setSize (50, 50); // content gone: nothing to lay out
}

TEST (BypassablePanel, DimsRegisteredChildrenAndSurvivesDeletedOnes)
{
    BypassablePanel panel ("Filter");
    panel.setSize (420, 200);
    EXPECT_EQ (panel.getTitle().getBounds(), juce::Rectangle<int> (20, 8, 332, 22));
    EXPECT_EQ (panel.getTitle().getText(), "Filter");
    EXPECT_EQ (panel.getTitle().getTextStyle(), 1);

    juce::Component kept;
    auto* doomed = new juce::Component();
    panel.addBypassableChild (&kept);
    panel.addBypassableChild (doomed);
    EXPECT_FLOAT_EQ (kept.getAlpha(), 1.0f);

    delete doomed;
    panel.setPanelEnabled (false);
    EXPECT_FLOAT_EQ (kept.getAlpha(), 0.4f);
    EXPECT_EQ (panel.getTitle().getStatusText(), "BYPASSED");

    // A child registered while bypassed dims at once.
    juce::Component late;
    panel.addBypassableChild (&late);
    EXPECT_FLOAT_EQ (late.getAlpha(), 0.4f);

    panel.setPanelEnabled (false);
    EXPECT_FLOAT_EQ (kept.getAlpha(), 0.4f);

    panel.setPanelEnabled (true);
    EXPECT_FLOAT_EQ (kept.getAlpha(), 1.0f);
    EXPECT_FLOAT_EQ (late.getAlpha(), 1.0f);
    EXPECT_TRUE (panel.getTitle().getStatusText().isEmpty());

    panel.setSize (30, 4);
    EXPECT_EQ (panel.getTitle().getBounds(), juce::Rectangle<int> (20, 4, 0, 0));
}

TEST (SectionHeader, StatusTextSitsAtTheRightAndActsAsButton)
{
    SectionHeader header;
    EXPECT_EQ (header.getBounds(), juce::Rectangle<int> (0, 0, 420, 44));
    header.setText ("Oscillator");
    header.setStatusText ("BYPASSED");
    paintToImage (header);

    const auto action = header.getActionArea();
    EXPECT_EQ (action.getRight(), 420);
    EXPECT_EQ (action.getHeight(), 44);
    EXPECT_GT (action.getWidth(), 4);
    EXPECT_LE (action.getWidth(), 210);
    EXPECT_EQ (header.getTitleArea(), juce::Rectangle<int> (0, 0, 420 - action.getWidth() - 4, 44));

    // Without an action the status text is plain text in the tertiary colour and clicks do nothing.
    EXPECT_FALSE (header.keyPressed (juce::KeyPress (juce::KeyPress::returnKey)));

    int runs = 0;
    header.action = [&] { ++runs; };
    header.actionTooltip = "Turn the section on.";
    const auto inside = action.getCentre().toFloat();
    header.mouseMove (mouseEvent (header, inside));
    EXPECT_TRUE (header.isHovered());
    EXPECT_EQ (header.getTooltip(), "Turn the section on.");
    header.mouseDown (mouseEvent (header, inside, leftButton()));
    EXPECT_EQ (runs, 1);
    header.mouseDown (mouseEvent (header, { 10.0f, 20.0f }, leftButton()));
    EXPECT_EQ (runs, 1);
    header.mouseMove (mouseEvent (header, { 10.0f, 20.0f }));
    EXPECT_FALSE (header.isHovered());
    EXPECT_TRUE (header.getTooltip().isEmpty());

    EXPECT_TRUE (header.keyPressed (juce::KeyPress (juce::KeyPress::returnKey)));
    EXPECT_TRUE (header.keyPressed (juce::KeyPress (juce::KeyPress::spaceKey)));
    EXPECT_FALSE (header.keyPressed (juce::KeyPress ('a')));
    EXPECT_EQ (runs, 3);

    // With no status text the action area is empty: the right edge ignores clicks.
    header.setStatusText ({});
    paintToImage (header);
    EXPECT_TRUE (header.getActionArea().isEmpty());
    header.mouseDown (mouseEvent (header, { 418.0f, 20.0f }, leftButton()));
    EXPECT_EQ (runs, 3);
    EXPECT_EQ (header.getTitleArea(), juce::Rectangle<int> (0, 0, 420, 44));
}

TEST (SectionHeader, StatusColourFollowsTheAction)
{
    const auto& theme = getWidgetTheme();
    const auto statusInk = [&] (bool withAction)
    {
        SectionHeader header;
        header.setStatusText ("BYPASSED");
        if (withAction)
            header.action = [] {};

        // Text is drawn over nothing here, so fully covered pixels carry the ink itself.
        const auto image = paintToImage (header);
        const auto area = header.getActionArea();

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (image.getPixelAt (x, y).getAlpha() == 255)
                    return image.getPixelAt (x, y);

        return juce::Colour();
    };

    EXPECT_TRUE (coloursClose (statusInk (false), theme.getColour (ColourId::textTertiary), 3));
    EXPECT_TRUE (coloursClose (statusInk (true), theme.getColour (ColourId::textPrimary), 3));
}

TEST (FieldBox, StandardAndInlineLayouts)
{
    FieldBox box ("Wave");
    juce::Component content;
    box.setSize (120, 96);
    box.setContent (&content);
    EXPECT_EQ (content.getParentComponent(), &box);
    EXPECT_EQ (box.getLabelArea(), juce::Rectangle<int> (0, 30, 120, 22));
    EXPECT_EQ (content.getBounds(), juce::Rectangle<int> (12, 52, 96, 44));

    box.setFlag (true);
    box.setSize (120, 66);
    EXPECT_EQ (box.getLabelArea(), juce::Rectangle<int> (0, 0, 120, 22));
    EXPECT_EQ (content.getBounds(), juce::Rectangle<int> (0, 22, 120, 44));

    box.setFlag (false);
    box.setSize (20, 40);
    EXPECT_EQ (content.getBounds(), juce::Rectangle<int> (12, 40, 0, 0));

    juce::Component other;
    box.setContent (&other);
    EXPECT_EQ (content.getParentComponent(), nullptr);
    EXPECT_EQ (other.getParentComponent(), &box);
}

TEST (SegmentField, HoldsItsSegmentedControl)
{
    DummyProcessor proc;
    SegmentedControl control (proc.choice ("colour"), { "W", "P", "B" });
    SegmentField field ("Colour", control);
    field.setSize (120, 96);
    EXPECT_EQ (field.getContent(), &control);
    EXPECT_EQ (control.getBounds(), juce::Rectangle<int> (12, 52, 96, 44));
}
