#include "ValueControls.h"

#include <cmath>

namespace larkspur::widgets
{

namespace
{
juce::String defaultFormat (double v)
{
    return juce::String (v, 2);
}

constexpr float userStep = 0.02f;
} // namespace

//==============================================================================
ValueChip::ValueChip()
    : valueFormatter (defaultFormat)
{
    setSliderStyle (LinearVertical);
    setTextBoxStyle (NoTextBox, false, 0, 0);
    setRange (0.0, 1.0, 0.0);
    setVelocityBasedMode (true);
    setVelocityModeParameters (0.25, 1, 0.0, false,
                               static_cast<juce::ModifierKeys::Flags> (juce::ModifierKeys::ctrlModifier
                                                                       | juce::ModifierKeys::altModifier));
    setWantsKeyboardFocus (true);
    setMouseCursor (juce::MouseCursor::UpDownResizeCursor);
    setSize (96, 44);
    updateAccessibleTitle();
}

ValueChip::ValueChip (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId, const juce::String& labelText)
    : ValueChip()
{
    label = labelText;
    updateAccessibleTitle();
    attachToParameter (state, parameterId);
}

ValueChip::~ValueChip()
{
    attachment.reset();
}

void ValueChip::attachToParameter (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId)
{
    attachment.reset();
    attachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, parameterId, *this);
}

void ValueChip::updateAccessibleTitle()
{
    setTitle (title.isNotEmpty() ? title : label);
}

void ValueChip::setTitleText (const juce::String& newTitle)
{
    title = newTitle;
    updateAccessibleTitle();
    repaint();
}

void ValueChip::setShowStepArrows (bool shouldShow)
{
    if (shouldShow == showStepArrows)
        return;

    showStepArrows = shouldShow;
    repaint();
}

void ValueChip::setValueFormatter (std::function<juce::String (double)> formatter)
{
    valueFormatter = formatter ? std::move (formatter) : std::function<juce::String (double)> (defaultFormat);
    repaint();
}

juce::String ValueChip::getValueText() const
{
    return valueFormatter (getValue());
}

void ValueChip::mouseEnter (const juce::MouseEvent& e)
{
    hover = true;
    repaint();
    Slider::mouseEnter (e);
}

void ValueChip::mouseExit (const juce::MouseEvent& e)
{
    hover = false;
    pressed = false;
    repaint();
    Slider::mouseExit (e);
}

void ValueChip::mouseDown (const juce::MouseEvent& e)
{
    pressed = true;
    repaint();

    // A press on a chevron steps once and is no drag.
    if (const int direction = e.mods.isLeftButtonDown() || ! e.mods.isAnyMouseButtonDown() ? stepDirectionAt (e.position) : 0)
    {
        arrowPress = true;
        stepValue (direction);
        return;
    }

    arrowPress = false;
    Slider::mouseDown (e);
}

void ValueChip::mouseDrag (const juce::MouseEvent& e)
{
    if (! arrowPress)
        Slider::mouseDrag (e);
}

void ValueChip::mouseUp (const juce::MouseEvent& e)
{
    pressed = false;
    repaint();

    if (arrowPress)
    {
        arrowPress = false;
        return;
    }

    Slider::mouseUp (e);
}

void ValueChip::mouseDoubleClick (const juce::MouseEvent& e)
{
    // Quick clicks on a chevron are steps, not a reset.
    if (stepDirectionAt (e.position) == 0)
        Slider::mouseDoubleClick (e);
}

bool ValueChip::keyPressed (const juce::KeyPress& key)
{
    return keyPressedInGesture (*this, key);
}

int ValueChip::stepDirectionAt (juce::Point<float> position) const
{
    const auto layout = getLayout();

    if (! layout.showsArrows)
        return 0;

    // Each chevron takes the 12 px column beside the text, from the middle to its edge.
    const auto c = layout.arrowCentre;
    if (position.x < c.x - 6.0f || position.x > c.x + 6.0f || position.y < 0.0f || position.y > (float) getHeight())
        return 0;

    return position.y < c.y ? 1 : -1;
}

void ValueChip::stepValue (int direction)
{
    if (direction == 0 || ! isEnabled() || getMaximum() <= getMinimum())
        return;

    const auto interval = getInterval();
    const auto current = getValue();
    const auto target = interval > 0.0
                            ? current + interval * (double) direction
                            : proportionOfLengthToValue (juce::jlimit (0.0, 1.0, valueToProportionOfLength (current)
                                                                                     + 0.01 * (double) direction));
    const auto next = juce::jlimit (getMinimum(), getMaximum(), target);

    if (next == current)
        return;

    const ScopedDragNotification gesture (*this);
    setValue (next, juce::sendNotificationSync);
}

ValueChip::Layout ValueChip::getLayout() const
{
    const auto b = getLocalBounds();
    int contentX = b.getX() + 8;
    int contentWidth = b.getWidth() < 17 ? 0 : b.getWidth() - 16;
    const int contentHeight = b.getHeight();

    Layout layout;

    if (showStepArrows && contentWidth > 12)
    {
        layout.showsArrows = true;
        layout.arrowCentre = { (float) (contentX + contentWidth - 4), (float) b.getY() + (float) contentHeight * 0.5f };
        contentWidth = juce::jmax (0, contentWidth - 12);
    }

    juce::Rectangle<int> content (contentX, b.getY(), contentWidth, contentHeight);

    if (label.isNotEmpty())
        layout.labelArea = content.removeFromTop (juce::jmin (contentHeight, 22));

    layout.valueArea = content;
    return layout;
}

void ValueChip::paint (juce::Graphics& g)
{
    const auto& theme = getWidgetTheme();
    const auto bounds = getLocalBounds().toFloat();
    const bool focused = hasKeyboardFocus (false);

    g.setColour ((pressed || hover) ? surfaceColour (*this, SurfaceColourId::activeFill, ColourId::hoverFill)
                                    : surfaceColour (*this, SurfaceColourId::fill, ColourId::surface2));
    g.fillRoundedRectangle (bounds, 2.0f);
    g.setColour (focused ? theme.getColour (ColourId::focus) : surfaceColour (*this, SurfaceColourId::outline, ColourId::hair));
    g.drawRoundedRectangle (outlineBox (bounds), 2.0f, focused ? 2.0f : 1.0f);

    const auto layout = getLayout();

    if (layout.showsArrows)
    {
        const auto cx = layout.arrowCentre.x, cy = layout.arrowCentre.y;
        juce::Path chevrons;
        chevrons.startNewSubPath (cx - 2.0f, cy - 4.0f);
        chevrons.lineTo (cx, cy - 6.0f);
        chevrons.lineTo (cx + 2.0f, cy - 4.0f);
        chevrons.startNewSubPath (cx - 2.0f, cy + 4.0f);
        chevrons.lineTo (cx, cy + 6.0f);
        chevrons.lineTo (cx + 2.0f, cy + 4.0f);
        g.setColour (surfaceColour (*this, SurfaceColourId::dimText, ColourId::textTertiary));
        g.strokePath (chevrons, juce::PathStrokeType (1.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt));
    }

    if (label.isNotEmpty())
        drawStyledText (g, 6, label, layout.labelArea, surfaceColour (*this, SurfaceColourId::dimText, ColourId::textTertiary),
                        juce::Justification::centred);

    drawStyledText (g, 5, getValueText(), layout.valueArea,
                    isEnabled() ? surfaceColour (*this, SurfaceColourId::text, ColourId::textPrimary)
                                : theme.getColour (ColourId::textDisabled),
                    juce::Justification::centred);
}

//==============================================================================
BipolarBar::BipolarBar()
{
    setSize (304, 44);
    setTitle ("Bipolar amount");
    setTooltip ("Adjust signed amount.");
}

void BipolarBar::setWidthVariant (int variant)
{
    switch (variant)
    {
        case 1: barWidth = 96; break;
        case 2: barWidth = 148; break;
        case 3: barWidth = 200; break;
        case 4: barWidth = 252; break;
        case 5: barWidth = 304; break;
        default: barWidth = 44; break;
    }

    repaint();
}

void BipolarBar::setInteractive (bool shouldBeInteractive)
{
    if (shouldBeInteractive == interactive)
        return;

    interactive = shouldBeInteractive;
    setMouseCursor (interactive ? juce::MouseCursor::LeftRightResizeCursor : juce::MouseCursor::NormalCursor);
    setWantsKeyboardFocus (interactive);
}

void BipolarBar::setValue (float newValue)
{
    value = juce::jlimit (-1.0f, 1.0f, newValue);
    repaint();
}

void BipolarBar::setValueFromUser (float newValue)
{
    newValue = juce::jlimit (-1.0f, 1.0f, newValue);

    if (nearlyEqual (newValue, value))
        return;

    value = newValue;
    repaint();

    if (onValueChanged)
        onValueChanged (value);
}

void BipolarBar::applyAsGesture (float newValue)
{
    if (onGestureBegin)
        onGestureBegin();

    setValueFromUser (newValue);

    if (onGestureEnd)
        onGestureEnd();
}

void BipolarBar::setValueFromX (float x)
{
    const auto half = (float) barWidth * 0.5f;
    setValueFromUser (half <= 0.0f ? 0.0f : juce::jlimit (-1.0f, 1.0f, (x - half) / half));
}

void BipolarBar::mouseEnter (const juce::MouseEvent&)
{
    hover = true;
    repaint();
}

void BipolarBar::mouseExit (const juce::MouseEvent&)
{
    hover = false;
    pressed = false;
    repaint();
}

void BipolarBar::mouseDown (const juce::MouseEvent& e)
{
    if (! interactive)
        return;

    pressed = true;

    if (onGestureBegin)
        onGestureBegin();

    setValueFromX (e.position.x);
}

void BipolarBar::mouseDrag (const juce::MouseEvent& e)
{
    if (interactive && pressed)
        setValueFromX (e.position.x);
}

void BipolarBar::mouseUp (const juce::MouseEvent&)
{
    if (! interactive || ! pressed)
        return;

    pressed = false;

    if (onGestureEnd)
        onGestureEnd();
}

void BipolarBar::mouseDoubleClick (const juce::MouseEvent&)
{
    if (interactive)
        applyAsGesture (0.0f);
}

void BipolarBar::mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails& wheel)
{
    if (interactive)
        applyAsGesture (value + wheel.deltaY * 5.0f * (wheel.isReversed ? -userStep : userStep));
}

bool BipolarBar::keyPressed (const juce::KeyPress& key)
{
    if (! interactive)
        return false;

    if (key == juce::KeyPress::leftKey || key == juce::KeyPress::downKey)
        applyAsGesture (value - userStep);
    else if (key == juce::KeyPress::rightKey || key == juce::KeyPress::upKey)
        applyAsGesture (value + userStep);
    else if (key == juce::KeyPress::returnKey || key == juce::KeyPress::spaceKey)
        applyAsGesture (0.0f);
    else
        return false;

    return true;
}

juce::String BipolarBar::getReadoutText() const
{
    const auto percent = juce::roundToInt (value * 100.0f);
    return percent != 0 ? juce::String::formatted ("%+d %%", percent) : juce::String ("0 %");
}

juce::Rectangle<int> BipolarBar::getReadoutArea() const
{
    const auto bounds = getLocalBounds();
    const auto bar = juce::jmin (bounds.getWidth(), barWidth);
    const auto gap = juce::jmin (bounds.getWidth() - bar, 8);
    return { bounds.getX() + bar + gap, bounds.getY(), juce::jmin (bounds.getWidth() - bar - gap, 44), bounds.getHeight() };
}

void BipolarBar::paint (juce::Graphics& g)
{
    const auto& theme = getWidgetTheme();
    const auto bounds = getLocalBounds();
    const int x = bounds.getX(), y = bounds.getY(), w = bounds.getWidth(), h = bounds.getHeight();
    const int bar = juce::jmin (w, barWidth);
    const int trackTop = y + (h - 8) / 2;
    const auto halfBar = (float) bar * 0.5f;

    g.setColour (theme.getColour (ColourId::hair));
    g.fillRoundedRectangle ((float) x, (float) trackTop, (float) bar, 8.0f, 2.0f);

    const bool focused = hasKeyboardFocus (false);

    if (interactive && (hover || pressed || focused))
    {
        g.setColour (theme.getColour (focused ? ColourId::focus : ColourId::textTertiary));
        g.drawRoundedRectangle ((float) (x - 2), (float) (trackTop - 2), (float) (bar + 4), 12.0f, 2.0f, focused ? 2.0f : 1.0f);
    }

    const auto amountWidth = std::abs (value) * halfBar;
    const auto amountX = value >= 0.0f ? (float) x + halfBar : (float) x + halfBar - amountWidth;
    g.setColour (theme.getColour (ColourId::accent));
    g.fillRoundedRectangle (amountX, (float) trackTop, amountWidth, 8.0f, 2.0f);

    g.setColour (theme.getColour (ColourId::textTertiary));
    g.fillRect ((float) x + halfBar - 0.5f, (float) y + (float) h * 0.5f - 11.0f, 1.0f, 22.0f);

    drawStyledText (g, 5, getReadoutText(), getReadoutArea(),
                    isColourSpecified (readoutColourId) ? findColour (readoutColourId) : theme.getColour (ColourId::textPrimary),
                    juce::Justification::centredLeft);
}

//==============================================================================
Tab::Tab (const juce::String& tabText)
    : juce::Button (tabText)
{
    setClickingTogglesState (true);
    setSize (96, 44);
    setWantsKeyboardFocus (true);
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    setTitle (tabText);
}

void Tab::paintButton (juce::Graphics& g, bool highlighted, bool down)
{
    const auto& theme = getWidgetTheme();
    const auto bounds = getLocalBounds().toFloat();
    const bool on = getToggleState();

    g.setColour (on ? surfaceColour (*this, SurfaceColourId::activeFill, ColourId::hoverFill)
                    : surfaceColour (*this, SurfaceColourId::fill, ColourId::ground));
    g.fillRoundedRectangle (bounds, 2.0f);

    const auto ink = on ? surfaceColour (*this, SurfaceColourId::text, ColourId::textPrimary)
                        : surfaceColour (*this, SurfaceColourId::dimText, ColourId::textTertiary);
    if (on)
    {
        g.setColour ((highlighted || down) ? theme.getColour (ColourId::focus)
                                           : surfaceColour (*this, SurfaceColourId::outline, ColourId::hair));
        g.drawRoundedRectangle (themedStrokeArea (bounds, 1.0f), 2.0f, 1.0f);
        g.setColour (ink);
        g.fillRect (bounds.withHeight (2.0f));
    }

    drawStyledText (g, 6, getButtonText(), getLocalBounds(), ink, juce::Justification::centred);
}

//==============================================================================
KnobRow::KnobRow (int variant)
    : sizeVariant (variant)
{
}

void KnobRow::setKnobs (const std::vector<juce::Component*>& knobs)
{
    for (auto& child : children)
        if (child != nullptr)
            removeChildComponent (child);

    children.clear();

    for (size_t i = 0; i < knobs.size() && i < (size_t) maxKnobs; ++i)
    {
        children.emplace_back (knobs[i]);

        if (knobs[i] != nullptr)
            addAndMakeVisible (knobs[i]);
    }

    resized();
}

void KnobRow::setGap (int spacingToken)
{
    gap = getSpacing (spacingToken);
    resized();
}

void KnobRow::resized()
{
    const int n = (int) children.size();

    if (n == 0)
        return;

    const auto metrics = getKnobMetrics (sizeVariant);
    const auto bounds = getLocalBounds();
    const int cellWidth = (bounds.getWidth() - gap * (n - 1)) / n;

    for (int i = 0; i < n; ++i)
    {
        auto* child = children[(size_t) i].getComponent();

        if (child == nullptr)
            continue;

        const int cellX = bounds.getX() + i * (cellWidth + gap);
        const int width = (i == n - 1) ? bounds.getRight() - cellX : cellWidth;
        const int knobWidth = juce::jmin (metrics.width, width);
        const int knobHeight = juce::jmin (metrics.height, bounds.getHeight());
        child->setBounds (cellX + (width - knobWidth) / 2, bounds.getY() + (bounds.getHeight() - knobHeight) / 2,
                          knobWidth, knobHeight);
    }
}

} // namespace larkspur::widgets
