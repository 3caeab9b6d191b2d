#include "Frames.h"

#include <cmath>

namespace larkspur::widgets
{

SectionFrame::SectionFrame()
    : fillColour (getWidgetTheme().getColour (ColourId::surface)),
      borderColour (getWidgetTheme().getColour (ColourId::hair))
{
    setInterceptsMouseClicks (false, true);
}

void SectionFrame::setFillColourId (int colourId)
{
    const auto colour = getWidgetTheme().getColour (colourId);

    if (colour != fillColour)
    {
        fillColour = colour;
        repaint();
    }
}

void SectionFrame::setBorderColourId (int colourId)
{
    const auto colour = getWidgetTheme().getColour (colourId);

    if (colour != borderColour)
    {
        borderColour = colour;
        repaint();
    }
}

void SectionFrame::setContent (juce::Component* newContent)
{
    content = newContent;
    resized();
}

void SectionFrame::resized()
{
    if (content != nullptr)
    {
        const auto bounds = getLocalBounds();
        content->setBounds (bounds.getX() + inset, bounds.getY() + inset,
                            juce::jmax (0, bounds.getWidth() - 2 * inset), juce::jmax (0, bounds.getHeight() - 2 * inset));
    }
}

void SectionFrame::paint (juce::Graphics& g)
{
    const auto bounds = getLocalBounds().toFloat();

    if (bounds.getWidth() <= 0.0f || bounds.getHeight() <= 0.0f)
        return;

    g.setColour (fillColour);
    g.fillRoundedRectangle (bounds, cornerRadius);

    if (borderThickness > 0.0f && ! borderColour.isTransparent())
    {
        g.setColour (borderColour);
        g.drawRoundedRectangle (outlineBox (bounds), cornerRadius, borderThickness);
    }
}

//==============================================================================
SectionHeader::SectionHeader()
{
    setSize (420, 44);
    setWantsKeyboardFocus (true);
}

void SectionHeader::setText (const juce::String& newText)
{
    text = newText;
    repaint();
}

void SectionHeader::setStatusText (const juce::String& newStatus)
{
    statusText = newStatus;
    repaint();
}

void SectionHeader::setTextStyle (int style)
{
    if (style == textStyle)
        return;

    textStyle = style;
    repaint();
}

void SectionHeader::setHover (bool shouldHover)
{
    if (hover == shouldHover)
        return;

    hover = shouldHover;
    repaint();
}

void SectionHeader::mouseMove (const juce::MouseEvent& e)
{
    if (action && actionArea.contains (e.getPosition()))
    {
        setHover (true);
        setMouseCursor (juce::MouseCursor::PointingHandCursor);

        if (actionTooltip.isNotEmpty())
            setTooltip (actionTooltip);
    }
    else
    {
        setHover (false);
        setMouseCursor (juce::MouseCursor::NormalCursor);
        setTooltip ({});
    }
}

void SectionHeader::mouseExit (const juce::MouseEvent&)
{
    hover = false;
    setMouseCursor (juce::MouseCursor::NormalCursor);
    setTooltip ({});
    repaint();
}

void SectionHeader::mouseDown (const juce::MouseEvent& e)
{
    if (action && actionArea.contains (e.getPosition()))
        action();
}

bool SectionHeader::keyPressed (const juce::KeyPress& key)
{
    if (! action)
        return false;

    if (key == juce::KeyPress::returnKey || key == juce::KeyPress::spaceKey)
    {
        action();
        return true;
    }

    return false;
}

void SectionHeader::focusGained (FocusChangeType) { repaint(); }
void SectionHeader::focusLost (FocusChangeType)   { repaint(); }

void SectionHeader::paint (juce::Graphics& g)
{
    const auto& theme = getWidgetTheme();
    const auto bounds = getLocalBounds();
    const int x = bounds.getX(), y = bounds.getY(), w = bounds.getWidth();
    const int rowHeight = juce::jmin (bounds.getHeight(), 44);
    titleArea = { x, y, w, rowHeight };

    if (statusText.isNotEmpty())
    {
        const auto statusWidth = juce::jmin (measureTextWidth (6, statusText.toUpperCase()) + 4, w / 2);
        titleArea.setWidth (w - statusWidth);
        actionArea = { x + w - statusWidth, y, statusWidth, rowHeight };

        auto statusColour = theme.getColour (ColourId::textTertiary);

        if (action)
        {
            const bool focused = hasKeyboardFocus (false);

            if (hover || focused)
            {
                const juce::Rectangle<float> box ((float) actionArea.getX(), (float) (y + 4), (float) statusWidth,
                                                  (float) juce::jmax (0, rowHeight - 8));
                g.setColour (theme.getColour (hover ? ColourId::hoverFill : ColourId::surface2));
                g.fillRoundedRectangle (box, 2.0f);
                g.setColour (theme.getColour (focused ? ColourId::focus : ColourId::hair));
                g.drawRoundedRectangle (outlineBox (box), 2.0f, focused ? 2.0f : 1.0f);
            }

            statusColour = theme.getColour (ColourId::textPrimary);
        }

        drawStyledText (g, 6, statusText, actionArea, statusColour, juce::Justification::centredRight);
        titleArea.setWidth (titleArea.getWidth() >= 5 ? titleArea.getWidth() - 4 : 0);
    }
    else
    {
        actionArea = {};
    }

    drawStyledText (g, textStyle, text, titleArea,
                    isColourSpecified (titleColourId)
                        ? findColour (titleColourId)
                        : theme.getColour (textStyle == 1 ? ColourId::textPrimary : ColourId::textTertiary),
                    juce::Justification::centredLeft);
}

//==============================================================================
SectionTitle::SectionTitle (const juce::String& titleText)
{
    setTextStyle (1);
    setText (titleText);
    setInterceptsMouseClicks (false, false);
}

//==============================================================================
BypassablePanel::BypassablePanel (const juce::String& titleText)
    : title (titleText)
{
    addAndMakeVisible (title);
}

void BypassablePanel::addBypassableChild (juce::Component* child)
{
    if (child == nullptr)
        return;

    bypassableChildren.emplace_back (child);
    child->setAlpha (enabled ? 1.0f : bypassedAlpha);
}

void BypassablePanel::setPanelEnabled (bool shouldBeEnabled)
{
    if (enabled == shouldBeEnabled)
        return;

    enabled = shouldBeEnabled;
    title.setStatusText (enabled ? juce::String() : juce::String ("BYPASSED"));

    for (auto& child : bypassableChildren)
        if (child != nullptr)
            child->setAlpha (enabled ? 1.0f : bypassedAlpha);

    repaint();
}

void BypassablePanel::resized()
{
    SectionFrame::resized();

    const auto width = getWidth(), height = getHeight();
    const auto stripWidth = juce::jmax (width - 40, 0);
    title.setBounds (20, juce::jmin (height, 8), stripWidth - juce::jmin (stripWidth, controlAreaWidth),
                     juce::jmax (0, juce::jmin (height - 8, 22)));
}

//==============================================================================
FieldBox::FieldBox (const juce::String& labelText)
    : label (labelText)
{
}

void FieldBox::setContent (juce::Component* newContent)
{
    if (newContent == content.getComponent())
        return;

    if (content != nullptr)
        removeChildComponent (content);

    content = newContent;

    if (content != nullptr)
        addAndMakeVisible (content);

    resized();
}

void FieldBox::setFlag (bool shouldBeInline)
{
    if (shouldBeInline == inlineLayout)
        return;

    inlineLayout = shouldBeInline;
    resized();
    repaint();
}

juce::Rectangle<int> FieldBox::getLabelArea() const
{
    const auto b = getLocalBounds();

    if (inlineLayout)
        return { b.getX(), b.getY(), b.getWidth(), juce::jmin (b.getHeight(), 22) };

    const auto top = juce::jmin (b.getHeight(), 30);
    return { b.getX(), b.getY() + top, b.getWidth(), juce::jmax (0, juce::jmin (b.getHeight() - 30, 22)) };
}

void FieldBox::paint (juce::Graphics& g)
{
    drawStyledText (g, 6, label, getLabelArea(), getWidgetTheme().getColour (ColourId::textTertiary), labelJustification);
}

void FieldBox::resized()
{
    if (content == nullptr)
        return;

    const auto b = getLocalBounds();
    const int x = b.getX(), y = b.getY(), w = b.getWidth(), h = b.getHeight();

    if (inlineLayout)
        content->setBounds (x, y + juce::jmin (h, 22), w, juce::jmax (0, juce::jmin (h - 22, 44)));
    else
        content->setBounds (x + 12, y + juce::jmin (h, 52), w < 25 ? 0 : w - 24, juce::jmax (0, juce::jmin (h - 52, 44)));
}

//==============================================================================
SegmentField::SegmentField (const juce::String& labelText, SegmentedControl& control)
    : FieldBox (labelText)
{
    setContent (&control);
}

} // namespace larkspur::widgets
