#include "ChoiceControls.h"

#include <atomic>

namespace larkspur::widgets
{

namespace
{
void drawBoxOutline (juce::Graphics& g, juce::Rectangle<float> bounds, int colourId, float thickness)
{
    g.setColour (getWidgetTheme().getColour (colourId));
    g.drawRoundedRectangle (outlineBox (bounds), 2.0f, thickness);
}

bool isArrowKey (const juce::KeyPress& key)
{
    return key == juce::KeyPress::leftKey || key == juce::KeyPress::rightKey
        || key == juce::KeyPress::upKey || key == juce::KeyPress::downKey;
}

bool isDecrementKey (const juce::KeyPress& key)
{
    return key == juce::KeyPress::leftKey || key == juce::KeyPress::downKey;
}

int nextRadioGroupId()
{
    static std::atomic<int> counter { 2000 };
    return ++counter;
}
} // namespace

//==============================================================================
ChoiceDropdown::ChoiceDropdown (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId,
                                const juce::String& label)
{
    setLabel (label);

    if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (parameterId)))
        for (int i = 0; i < choice->choices.size(); ++i)
            comboBox.addItem (choice->choices[i].toUpperCase(), i + 1);

    addAndMakeVisible (comboBox);
    attachment = std::make_unique<juce::AudioProcessorValueTreeState::ComboBoxAttachment> (state, parameterId, comboBox);
}

ChoiceDropdown::ChoiceDropdown (const juce::String& label)
{
    setLabel (label);
    addAndMakeVisible (comboBox);
}

ChoiceDropdown::~ChoiceDropdown()
{
    attachment.reset();
}

void ChoiceDropdown::setLabel (const juce::String& label)
{
    comboBox.setWantsKeyboardFocus (true);
    comboBox.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    comboBox.setTitle (label);
    comboBox.setTooltip (label);
    comboBox.setHelpText ("Choose " + label.toLowerCase() + ".");
    comboBox.setJustificationType (juce::Justification::centredLeft);
    comboBox.setScrollWheelEnabled (false);
}

void ChoiceDropdown::setCompact (bool shouldBeCompact)
{
    comboBox.getProperties().set (compactChoiceProperty, shouldBeCompact);
    comboBox.getProperties().set (editorCompactChoiceProperty, shouldBeCompact);
    resized();
    repaint();
}

bool ChoiceDropdown::isCompact() const
{
    return (bool) comboBox.getProperties().getWithDefault (compactChoiceProperty, false);
}

int ChoiceDropdown::getIdealWidth() const
{
    const bool compact = isCompact();
    const int style = compact ? 6 : 5;
    int widest = 0;

    for (int i = 0; i < comboBox.getNumItems(); ++i)
        widest = juce::jmax (widest, measureTextWidth (style, comboBox.getItemText (i)));

    return compact ? juce::jmax (56, widest + 28) : juce::jmax (88, widest + 42);
}

void ChoiceDropdown::resized()
{
    comboBox.setBounds (getLocalBounds());
}

//==============================================================================
HeaderChoice::HeaderChoice (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId,
                            const juce::String& label)
    : ChoiceDropdown (state, parameterId, label)
{
    setCompact (true);
    setJustification (juce::Justification::centredLeft);
}

//==============================================================================
SegmentCell::SegmentCell (const juce::String& cellText)
    : juce::Button (cellText)
{
    setClickingTogglesState (true);
    setWantsKeyboardFocus (true);
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    setButtonText (cellText);
    setTitle (cellText);
    setSize (getIdealWidth(), 44);
}

int SegmentCell::getIdealWidth() const
{
    return juce::jmax (44, measureTextWidth (2, getButtonText().toUpperCase()) + 24);
}

void SegmentCell::setGlyph (const juce::Path& newGlyph, juce::Rectangle<float> newGlyphBox)
{
    glyph = newGlyph;
    glyphBox = newGlyphBox;
    repaint();
}

void SegmentCell::paintButton (juce::Graphics& g, bool highlighted, bool down)
{
    const auto& theme = getWidgetTheme();
    const auto bounds = getLocalBounds().toFloat();
    const bool on = getToggleState();
    const bool focused = hasKeyboardFocus (false);

    g.setColour (theme.getColour (on ? ColourId::hoverFill : ColourId::surface2));
    g.fillRoundedRectangle (bounds, 2.0f);
    drawBoxOutline (g, bounds, focused ? ColourId::focus : ColourId::hair, (highlighted || down || focused) ? 2.0f : 1.0f);

    int textColourId = (on || highlighted) ? ColourId::textPrimary : ColourId::textTertiary;

    if (on)
    {
        g.setColour (theme.getColour (ColourId::textPrimary));
        g.fillRect (bounds.withHeight (2.0f));
    }

    if (! isEnabled())
        textColourId = ColourId::textDisabled;

    const auto textColour = theme.getColour (textColourId);

    if (! glyph.isEmpty() && glyphBox.getWidth() > 0.0f && glyphBox.getHeight() > 0.0f)
    {
        // In a narrow cell a glyph scaled evenly shrinks to a few pixels and all shapes look alike: it
        // spans the cell less 4 px a side and gets up to 0.7 of that width in height.
        const auto margin = bounds.getWidth() < 40.0f ? 4.0f : 8.0f;
        const auto areaW = juce::jmax (0.0f, bounds.getWidth() - 2.0f * margin);
        const auto areaH = juce::jmax (0.0f, bounds.getHeight() - 16.0f);
        const auto sx = juce::jmin (areaW / glyphBox.getWidth(), areaH / glyphBox.getHeight());
        const auto sy = juce::jmin (areaH / glyphBox.getHeight(), juce::jmax (sx, areaW * 0.7f / glyphBox.getHeight()));
        const auto centre = bounds.getCentre();
        const auto transform = juce::AffineTransform::translation (-glyphBox.getCentreX(), -glyphBox.getCentreY())
                                   .scaled (sx, sy)
                                   .translated (centre.x, centre.y);
        g.setColour (textColour);
        g.strokePath (glyph, juce::PathStrokeType (1.5f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded),
                      transform);
        return;
    }

    drawStyledText (g, 2, getButtonText(), getLocalBounds(), textColour, juce::Justification::centred);
}

//==============================================================================
SegmentedControl::ParamListener::ParamListener (juce::AudioProcessorParameter& p, std::function<void()> refreshAction)
    : parameter (p), refresh (std::move (refreshAction))
{
    parameter.addListener (this);
}

SegmentedControl::ParamListener::~ParamListener()
{
    parameter.removeListener (this);
}

void SegmentedControl::ParamListener::parameterValueChanged (int, float)
{
    // May run on the audio thread: hand the refresh to the message thread and touch nothing here.
    juce::MessageManager::callAsync (refresh);
}

SegmentedControl::SegmentedControl (juce::AudioParameterChoice& p, const juce::StringArray& labels)
    : parameter (&p), radioGroupId (nextRadioGroupId())
{
    for (int i = 0; i < labels.size(); ++i)
    {
        auto cell = std::make_unique<SegmentCell> (labels[i]);
        cell->setRadioGroupId (radioGroupId);
        cell->onClick = [this, i] { selectIndex (i); };
        addAndMakeVisible (*cell);
        naturalWidths.push_back (cell->getWidth());
        naturalWidth += cell->getWidth();
        cells.push_back (std::move (cell));
    }

    listener = std::make_unique<ParamListener> (p, [safe = juce::Component::SafePointer<SegmentedControl> (this)]
                                                {
                                                    if (safe != nullptr)
                                                        safe->refreshSelection();
                                                });
    refreshSelection();
    setSize (naturalWidth, 44);
}

SegmentedControl::~SegmentedControl()
{
    listener.reset();
}

SegmentCell* SegmentedControl::getCell (int index) const
{
    return juce::isPositiveAndBelow (index, cells.size()) ? cells[(size_t) index].get() : nullptr;
}

void SegmentedControl::selectIndex (int index)
{
    if (index == parameter->getIndex())
        return;

    parameter->beginChangeGesture();
    parameter->setValueNotifyingHost (parameter->convertTo0to1 ((float) index));
    parameter->endChangeGesture();

    if (onChange)
        onChange (index);
}

void SegmentedControl::refreshSelection()
{
    const auto index = parameter->getIndex();

    for (size_t i = 0; i < cells.size(); ++i)
        cells[i]->setToggleState ((int) i == index, juce::dontSendNotification);
}

void SegmentedControl::setGap (int spacingToken)
{
    const auto newGap = getSpacing (spacingToken);

    if (newGap == gap)
        return;

    gap = newGap;
    naturalWidth = 0;

    for (auto w : naturalWidths)
        naturalWidth += w;

    if (! cells.empty())
        naturalWidth += gap * ((int) cells.size() - 1);

    setSize (naturalWidth, 44);
    resized();
}

void SegmentedControl::resized()
{
    if (cells.empty())
        return;

    const int n = (int) cells.size();
    const int available = juce::jmax (0, getWidth() - (n - 1) * gap);
    const int base = available / n;
    const int extra = available % n;
    int x = 0;

    for (int i = 0; i < n; ++i)
    {
        const int w = base + (i < extra ? 1 : 0);
        cells[(size_t) i]->setBounds (x, 0, w, getHeight());
        x += w + gap;
    }
}

//==============================================================================
RouteSwitch::ParamListener::ParamListener (RouteSwitch& s)
    : owner (&s)
{
}

void RouteSwitch::ParamListener::parameterChanged (const juce::String&, float)
{
    // May run on the audio thread: post the refresh, and let it find out whether the switch still exists.
    juce::MessageManager::callAsync ([target = owner]
                                     {
                                         if (auto* routeSwitch = dynamic_cast<RouteSwitch*> (target.getComponent()))
                                         {
                                             routeSwitch->refresh();
                                             routeSwitch->repaint();
                                         }
                                     });
}

RouteSwitch::RouteSwitch (juce::AudioProcessorValueTreeState& s, const juce::String& id, int switchMode,
                          RouteOption option0, RouteOption option1)
    : state (&s),
      parameterId (id),
      mode (switchMode),
      options { std::move (option0), std::move (option1) },
      accessibleTitle (options[0].label + " to " + options[1].label + " route"),
      parameter (s.getParameter (id))
{
    listener = std::make_unique<ParamListener> (*this);
    state->addParameterListener (parameterId, listener.get());

    setSize (96, 44);
    setWantsKeyboardFocus (true);
    setMouseCursor (mode == blend ? juce::MouseCursor::LeftRightResizeCursor : juce::MouseCursor::PointingHandCursor);
    setTitle (accessibleTitle);
    setHelpText (accessibleTitle);
    refresh();
}

RouteSwitch::~RouteSwitch()
{
    state->removeParameterListener (parameterId, listener.get());
}

int RouteSwitch::getIndex() const
{
    if (parameter == nullptr)
        return 0;

    if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (parameter))
        return juce::jlimit (0, 1, choice->getIndex());

    return juce::jlimit (0.0f, 1.0f, parameter->getValue()) >= 0.5f ? 1 : 0;
}

void RouteSwitch::setIndex (int index)
{
    if (parameter == nullptr)
        return;

    index = juce::jlimit (0, 1, index);

    if (index == getIndex())
        return;

    float normalised = index == 1 ? 1.0f : 0.0f;

    if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (parameter))
        normalised = (float) index / (float) juce::jmax (choice->choices.size() - 1, 1);

    parameter->beginChangeGesture();
    parameter->setValueNotifyingHost (normalised);
    parameter->endChangeGesture();
    refresh();
    repaint();
}

float RouteSwitch::getBlendValue() const
{
    return parameter != nullptr ? juce::jlimit (0.0f, 1.0f, parameter->getValue()) : 0.0f;
}

bool RouteSwitch::isSelected() const
{
    return mode == blend ? getBlendValue() >= 0.5f : getIndex() > 0;
}

void RouteSwitch::refresh()
{
    setTooltip (isSelected() ? options[1].description : options[0].description);
}

juce::String RouteSwitch::getDisplayText() const
{
    if (mode != blend)
        return options[getIndex()].label;

    const auto value = getBlendValue();

    if (value <= 0.005f)
        return options[0].label;

    if (value >= 0.995f)
        return options[1].label;

    return juce::String (juce::roundToInt (value * 100.0f)) + "%";
}

float RouteSwitch::blendValueAt (float x) const
{
    const auto width = (float) getWidth();
    return width <= 1.0f ? 0.0f : juce::jlimit (0.0f, 1.0f, x / (width - 1.0f));
}

void RouteSwitch::setBlendValue (float value)
{
    parameter->setValueNotifyingHost (juce::jlimit (0.0f, 1.0f, value));
    refresh();
    repaint();
}

void RouteSwitch::nudgeBlend (float delta)
{
    parameter->beginChangeGesture();
    parameter->setValueNotifyingHost (juce::jlimit (0.0f, 1.0f, getBlendValue() + delta));
    parameter->endChangeGesture();
    refresh();
    repaint();
}

void RouteSwitch::mouseEnter (const juce::MouseEvent&)
{
    hover = true;
    repaint();
}

void RouteSwitch::mouseExit (const juce::MouseEvent&)
{
    hover = false;
    repaint();
}

void RouteSwitch::mouseDown (const juce::MouseEvent& e)
{
    grabKeyboardFocus();
    pressed = true;

    if (mode != blend)
    {
        setIndex (e.position.x >= (float) getWidth() * 0.5f ? 1 : 0);
        repaint();
        return;
    }

    // Without a parameter there is nothing to write, and no gesture to open.
    if (parameter == nullptr)
    {
        repaint();
        return;
    }

    dragging = true;
    parameter->beginChangeGesture();
    setBlendValue (blendValueAt (e.position.x));
}

void RouteSwitch::mouseDrag (const juce::MouseEvent& e)
{
    if (mode == blend && dragging && parameter != nullptr)
        setBlendValue (blendValueAt (e.position.x));
}

void RouteSwitch::mouseUp (const juce::MouseEvent&)
{
    if (dragging && parameter != nullptr)
        parameter->endChangeGesture();

    pressed = false;
    dragging = false;
    repaint();
}

void RouteSwitch::mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails& wheel)
{
    if (parameter == nullptr)
        return;

    if (mode == blend)
    {
        nudgeBlend (wheel.deltaY >= 0.0f ? 0.04f : -0.04f);
        return;
    }

    if (wheel.deltaY > 0.0f)
        setIndex (1);
    else if (wheel.deltaY < 0.0f)
        setIndex (0);
}

bool RouteSwitch::keyPressed (const juce::KeyPress& key)
{
    if (! isArrowKey (key))
        return false;

    if (parameter == nullptr)
        return true;

    if (mode == blend)
        nudgeBlend (isDecrementKey (key) ? -0.05f : 0.05f);
    else
        setIndex (isDecrementKey (key) ? 0 : 1);

    return true;
}

void RouteSwitch::paint (juce::Graphics& g)
{
    const auto& theme = getWidgetTheme();
    const auto bounds = getLocalBounds().toFloat();
    const bool focused = hasKeyboardFocus (false);

    g.setColour (theme.getColour (ColourId::surface2));
    g.fillRoundedRectangle (bounds, 2.0f);
    drawBoxOutline (g, bounds, focused ? ColourId::focus : ColourId::hair, (hover || pressed || focused) ? 2.0f : 1.0f);

    const juce::Rectangle<float> inner (bounds.getX() + 4.0f, bounds.getY() + 4.0f,
                                        juce::jmax (0.0f, bounds.getWidth() - 8.0f), juce::jmax (0.0f, bounds.getHeight() - 8.0f));
    g.setColour (theme.getColour (ColourId::hoverFill));
    g.fillRoundedRectangle (inner, 2.0f);
    drawBoxOutline (g, inner, ColourId::textPrimary, 1.0f);

    drawStyledText (g, 2, getDisplayText(), inner.toNearestInt(), theme.getColour (ColourId::textPrimary),
                    juce::Justification::centred);
}

} // namespace larkspur::widgets
