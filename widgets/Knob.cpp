#include "Knob.h"

#include <cmath>

namespace larkspur::widgets
{

namespace
{
constexpr float pi = juce::MathConstants<float>::pi;
constexpr float travelStart = 1.25f * pi;
constexpr float travelEnd = 2.75f * pi;
constexpr float travelTop = 2.0f * pi;
constexpr float ringHitTolerance = 5.0f;
constexpr int timerHz = 30;
constexpr juce::uint32 flashMillis = 1000;

float angleFor (double proportion)
{
    return travelStart + (float) proportion * (travelEnd - travelStart);
}

juce::Point<float> pointOnCircle (float cx, float cy, float radius, float angle)
{
    return { cx + radius * std::cos (angle - 0.5f * pi), cy + radius * std::sin (angle - 0.5f * pi) };
}

void strokeArc (juce::Graphics& g, float cx, float cy, float radius, float from, float to, float thickness)
{
    juce::Path arc;
    arc.addCentredArc (cx, cy, radius, radius, 0.0f, from, to, true);
    g.strokePath (arc, juce::PathStrokeType (thickness, juce::PathStrokeType::mitered, juce::PathStrokeType::butt));
}

juce::String defaultFormat (double value)
{
    return juce::String (value, 2);
}

juce::ModifierKeys::Flags ctrlOrAlt()
{
    return static_cast<juce::ModifierKeys::Flags> (juce::ModifierKeys::ctrlModifier | juce::ModifierKeys::altModifier);
}
} // namespace

KnobMetrics getKnobMetrics (int sizeVariant)
{
    switch (sizeVariant)
    {
        case 0: return { 44, 96, 44.0f, 36.0f, 28.0f, 42.0f };
        case 2: return { 96, 108, 56.0f, 48.0f, 38.0f, 54.0f };
        case 3: return { 96, 132, 80.0f, 70.0f, 58.0f, 78.0f };
        default: return {};
    }
}

std::optional<double> parseTypedNumber (const juce::String& text, const juce::String& unit)
{
    auto t = text.trim();

    if (unit.isNotEmpty() && t.endsWithIgnoreCase (unit))
        t = t.dropLastCharacters (unit.length()).trimEnd();

    // Strict: sign, digits with at most one point, an optional exponent, nothing else.
    auto p = t.getCharPointer();
    bool digits = false;

    if (*p == '+' || *p == '-')
        ++p;

    while (juce::CharacterFunctions::isDigit (*p)) { ++p; digits = true; }

    if (*p == '.')
    {
        ++p;
        while (juce::CharacterFunctions::isDigit (*p)) { ++p; digits = true; }
    }

    if (! digits)
        return std::nullopt;

    if (*p == 'e' || *p == 'E')
    {
        ++p;
        if (*p == '+' || *p == '-')
            ++p;
        if (! juce::CharacterFunctions::isDigit (*p))
            return std::nullopt;
        while (juce::CharacterFunctions::isDigit (*p))
            ++p;
    }

    if (! p.isEmpty())
        return std::nullopt;

    const auto value = t.getDoubleValue();

    if (! std::isfinite (value))
        return std::nullopt;

    return value;
}

bool keyPressedInGesture (juce::Slider& slider, const juce::KeyPress& key)
{
    const auto code = key.getKeyCode();
    const bool isStep = ! key.getModifiers().isAnyModifierKeyDown()
                        && (code == juce::KeyPress::upKey || code == juce::KeyPress::downKey
                            || code == juce::KeyPress::leftKey || code == juce::KeyPress::rightKey);

    if (! isStep)
        return slider.juce::Slider::keyPressed (key);

    const juce::Slider::ScopedDragNotification gesture (slider);
    return slider.juce::Slider::keyPressed (key);
}

int parseModulationSource (const juce::var& description)
{
    if (description.isInt() || description.isInt64())
        return (int) description;

    if (description.isString())
    {
        static const char* const ids[] = { "velocity", "key", "modwheel", "aftertouch", "lfo1", "dcw1Env", "dcw2Env" };
        const auto text = description.toString();

        for (int i = 0; i < (int) std::size (ids); ++i)
            if (text == ids[i])
                return i + 1;
    }

    return 0;
}

//==============================================================================
Knob::Knob (int variant, bool isBipolar, bool isModulated)
    : sizeVariant (variant), bipolar (isBipolar), modulated (isModulated), valueFormatter (defaultFormat)
{
    setSliderStyle (RotaryHorizontalVerticalDrag);
    setTextBoxStyle (NoTextBox, false, 0, 0);
    setRotaryParameters (travelStart, travelEnd, true);
    setRange (0.0, 1.0, 0.0);
    setWantsKeyboardFocus (true);
    setMouseCursor (juce::MouseCursor::UpDownResizeCursor);

    const auto metrics = getKnobMetrics (sizeVariant);
    setSize (metrics.width, metrics.height);
}

Knob::~Knob()
{
    stopTimer();
    valueFormatter = nullptr;
    sourceDropHandler = nullptr;
    menuExtension = nullptr;
    modulateFromHandler = nullptr;
    modulationSummary = nullptr;
    modulationRemover = nullptr;
    ringAmountGetter = nullptr;
    ringDragStarted = nullptr;
    ringAmountSetter = nullptr;
    ringDragEnded = nullptr;
    midiLearnHandler = nullptr;
    revealInMatrixHandler = nullptr;
}

void Knob::setLabelText (const juce::String& text)
{
    if (text == caption)
        return;

    caption = text;
    setTitle (text);
    repaint();
}

void Knob::setValueFormatter (std::function<juce::String (double)> formatter)
{
    valueFormatter = formatter ? std::move (formatter) : std::function<juce::String (double)> (defaultFormat);
    repaint();
}

juce::String Knob::getValueText() const
{
    return valueFormatter (getValue());
}

void Knob::setCentreSnap (bool enabled, double width)
{
    centreSnap = enabled;
    centreSnapWidth = juce::jmax (0.0, width);
}

void Knob::setModulationTarget (bool isTarget)
{
    modulationTarget = isTarget;

    if (! isTarget)
        dropHover = false;

    repaint();
}

void Knob::setModulated (bool shouldBeModulated)
{
    if (modulated == shouldBeModulated)
        return;

    modulated = shouldBeModulated;
    repaint();
}

void Knob::setLiveValue (double value)
{
    const auto clamped = juce::jlimit (0.0, 1.0, value);

    // The ring update calls this 20 times a second: a knob at rest must not repaint.
    if (clamped == liveValue)
        return;

    liveValue = clamped;

    if (modulated)
        repaint();
}

void Knob::setMidiLearnArmed (bool armed)
{
    if (armed == midiLearnArmed)
        return;

    midiLearnArmed = armed;

    if (! armed && ! flashActive)
        blinkPhase = 0.0f;

    updateTimer();
    repaint();
}

void Knob::flashHighlight()
{
    flashActive = true;
    flashDeadline = juce::Time::getMillisecondCounter() + flashMillis;
    updateTimer();
    repaint();
}

void Knob::updateTimer()
{
    if (midiLearnArmed)
    {
        if (getTimerInterval() != 1000 / timerHz)
            startTimerHz (timerHz);
    }
    else if (flashActive)
    {
        // The halo is still while it flashes: wake only to take it away.
        const auto left = (juce::int32) (flashDeadline - juce::Time::getMillisecondCounter());
        startTimer (juce::jlimit (1, (int) flashMillis, (int) left));
    }
    else
    {
        stopTimer();
    }
}

bool Knob::flashDeadlinePassed() const
{
    // Signed difference so the comparison survives the counter wrapping.
    return (juce::int32) (juce::Time::getMillisecondCounter() - flashDeadline) >= 0;
}

void Knob::setModulationSources (const juce::StringArray& names, std::function<void (int)> onModulateFrom)
{
    sourceNames = names;
    modulateFromHandler = std::move (onModulateFrom);
}

void Knob::setModulationSummaryAndRemover (std::function<juce::String()> summary, std::function<void()> remove)
{
    modulationSummary = std::move (summary);
    modulationRemover = std::move (remove);
}

void Knob::setModulationRingCallbacks (std::function<float()> getAmount, std::function<void()> dragStarted,
                                       std::function<void (float)> setAmount, std::function<void()> dragEnded)
{
    ringAmountGetter = std::move (getAmount);
    ringDragStarted = std::move (dragStarted);
    ringAmountSetter = std::move (setAmount);
    ringDragEnded = std::move (dragEnded);
}

void Knob::setSourceDropHandler (std::function<bool (int)> handler)               { sourceDropHandler = std::move (handler); }
void Knob::setContextMenuExtension (std::function<void (juce::PopupMenu&)> ext)   { menuExtension = std::move (ext); }
void Knob::setMidiLearnHandler (std::function<void()> handler)                    { midiLearnHandler = std::move (handler); }
void Knob::setRevealInMatrixHandler (std::function<void()> handler)               { revealInMatrixHandler = std::move (handler); }

Knob::Geometry Knob::getGeometry() const
{
    const auto metrics = getKnobMetrics (sizeVariant);
    const auto bounds = getLocalBounds().toFloat();

    Geometry geo;
    geo.side = juce::jmin (bounds.getWidth(), bounds.getHeight(), metrics.reference);
    geo.scale = geo.side / metrics.reference;
    geo.cx = bounds.getX() + bounds.getWidth() * 0.5f;
    geo.cy = bounds.getY() + geo.side * 0.5f;
    geo.knobDiameter = geo.scale * metrics.knob;
    geo.innerDiameter = geo.scale * metrics.inner;
    geo.ringDiameter = geo.scale * metrics.ring;
    geo.ringRadius = geo.ringDiameter * 0.5f;
    return geo;
}

//==============================================================================
void Knob::paint (juce::Graphics& g)
{
    if (flashActive && flashDeadlinePassed())
        flashActive = false;

    const auto& theme = getWidgetTheme();
    const auto geo = getGeometry();
    const auto knobRadius = geo.knobDiameter * 0.5f;

    if (dropHover || modulated || flashActive)
    {
        const bool strong = dropHover || flashActive;
        g.setColour (theme.getColour (ColourId::modulation).withAlpha (strong ? 1.0f : 0.72f));
        g.drawEllipse (geo.cx - geo.ringRadius, geo.cy - geo.ringRadius, geo.ringDiameter, geo.ringDiameter,
                       dropHover ? 1.5f : 1.25f);
    }

    g.setColour (theme.getColour (ColourId::surface2));
    g.fillEllipse (geo.cx - geo.innerDiameter * 0.5f, geo.cy - geo.innerDiameter * 0.5f,
                   geo.innerDiameter, geo.innerDiameter);

    // While learning, the whole travel blinks in the accent too, so a knob at the start of its
    // range (an empty value arc) still shows that it waits for a controller.
    const auto blink = midiLearnArmed ? 0.5f + 0.5f * std::sin (2.0f * pi * blinkPhase) : 0.0f;
    g.setColour (midiLearnArmed ? theme.getColour (ColourId::accent).withMultipliedAlpha (0.25f + 0.5f * blink)
                                : theme.getColour (ColourId::hair));
    strokeArc (g, geo.cx, geo.cy, knobRadius, travelStart, travelEnd, midiLearnArmed ? 3.0f : 2.0f);

    const auto valueAngle = angleFor (valueToProportionOfLength (getValue()));
    auto arcColour = theme.getColour (ColourId::accent);

    if (midiLearnArmed)
        arcColour = arcColour.withMultipliedAlpha (0.15f + 0.85f * blink);

    g.setColour (arcColour);

    if (bipolar)
        strokeArc (g, geo.cx, geo.cy, knobRadius, juce::jmin (valueAngle, travelTop), juce::jmax (valueAngle, travelTop), 3.0f);
    else
        strokeArc (g, geo.cx, geo.cy, knobRadius, travelStart, valueAngle, 3.0f);

    if (modulated)
    {
        if (ringAmountGetter)
        {
            const auto amount = juce::jlimit (-1.0f, 1.0f, ringAmountGetter());
            const auto ringAngle = travelStart + (amount + 1.0f) * 0.5f * (travelEnd - travelStart);
            g.setColour (theme.getColour (ColourId::modulation).withAlpha (ringDragActive ? 1.0f : 0.72f));
            strokeArc (g, geo.cx, geo.cy, geo.ringRadius, juce::jmin (ringAngle, travelTop),
                       juce::jmax (ringAngle, travelTop), ringDragActive ? 2.25f : 1.75f);
        }

        const auto live = pointOnCircle (geo.cx, geo.cy, geo.ringRadius, angleFor (liveValue));
        g.setColour (theme.getColour (ColourId::modulation));
        g.fillEllipse (live.x - 2.0f, live.y - 2.0f, 4.0f, 4.0f);
    }

    const auto pointer = pointOnCircle (geo.cx, geo.cy, 0.31f * geo.knobDiameter, valueAngle);
    g.setColour (theme.getColour (ColourId::textPrimary));
    g.fillEllipse (pointer.x - 2.0f, pointer.y - 2.0f, 4.0f, 4.0f);

    drawStyledText (g, 6, caption, getCaptionArea(), theme.getColour (ColourId::textTertiary), juce::Justification::centred);
    drawStyledText (g, 4, getValueText(), getValueArea(), theme.getColour (ColourId::textPrimary), juce::Justification::centred);
}

juce::Rectangle<int> Knob::getCaptionArea() const
{
    const auto height = getHeight();
    const auto knobHeight = juce::jmin (height, (int) getGeometry().side);
    return { 0, knobHeight, getWidth(), juce::jmin (height - knobHeight, 22) };
}

juce::Rectangle<int> Knob::getValueArea() const
{
    const auto captionArea = getCaptionArea();
    return { 0, captionArea.getBottom(), getWidth(), juce::jmin (getHeight() - captionArea.getBottom(), 22) };
}

//==============================================================================
void Knob::updateFineDrag (const juce::MouseEvent& e)
{
    fineDrag = e.mods.isShiftDown();
    setVelocityModeParameters (fineDrag ? 0.1 : 1.0, 1, 0.0, false, ctrlOrAlt());
}

bool Knob::keyPressed (const juce::KeyPress& key)
{
    return keyPressedInGesture (*this, key);
}

void Knob::setValueAsGesture (double newValue)
{
    // A drag notification lets an attached parameter see one complete gesture.
    const ScopedDragNotification gesture (*this);
    setValue (newValue, juce::sendNotificationSync);
}

void Knob::mouseDown (const juce::MouseEvent& e)
{
    if (e.mods.isRightButtonDown())
    {
        showContextMenu();
        return;
    }

    if (e.mods.isAltDown())
    {
        setValueAsGesture (getDoubleClickReturnValue());
        return;
    }

    if (modulated && ringAmountGetter && ringAmountSetter)
    {
        const auto geo = getGeometry();
        const auto distance = e.position.getDistanceFrom ({ geo.cx, geo.cy });

        if (std::abs (distance - geo.ringRadius) <= ringHitTolerance)
        {
            ringDragActive = true;
            ringDragStartAmount = juce::jlimit (-1.0f, 1.0f, ringAmountGetter());
            ringDragStartY = juce::roundToInt (e.position.y);

            if (ringDragStarted)
                ringDragStarted();

            repaint();
            return;
        }
    }

    updateFineDrag (e);
    Slider::mouseDown (e);
}

void Knob::mouseDrag (const juce::MouseEvent& e)
{
    if (ringDragActive)
    {
        const auto perPixel = e.mods.isShiftDown() ? 0.0025f : 0.01f;
        const auto amount = juce::jlimit (-1.0f, 1.0f,
                                          ringDragStartAmount + (float) (ringDragStartY - e.getPosition().y) * perPixel);
        if (ringAmountSetter)
            ringAmountSetter (amount);

        repaint();
        return;
    }

    updateFineDrag (e);
    Slider::mouseDrag (e);
}

void Knob::mouseUp (const juce::MouseEvent& e)
{
    if (ringDragActive)
    {
        ringDragActive = false;

        if (ringDragEnded)
            ringDragEnded();

        repaint();
        return;
    }

    Slider::mouseUp (e);
}

void Knob::mouseDoubleClick (const juce::MouseEvent&)
{
    setValueAsGesture (getDoubleClickReturnValue());
}

double Knob::snapValue (double attemptedValue, DragMode dragMode)
{
    if (centreSnap && dragMode != notDragging && getMinimum() < 0.0 && getMaximum() > 0.0)
    {
        const auto width = fineDrag ? centreSnapWidth * 0.2 : centreSnapWidth;

        if (std::abs (attemptedValue) <= width)
            return 0.0;
    }

    return Slider::snapValue (attemptedValue, dragMode);
}

//==============================================================================
void Knob::timerCallback()
{
    bool changed = false;

    if (flashActive && flashDeadlinePassed())
    {
        flashActive = false;
        changed = true;
    }

    if (midiLearnArmed)
    {
        blinkPhase += 1.0f / (float) timerHz;

        if (blinkPhase > 1.0f)
            blinkPhase -= 1.0f;

        changed = true;
    }

    // Also stops the timer when a paint has already ended the flash.
    updateTimer();

    if (changed)
        repaint();
}

//==============================================================================
juce::PopupMenu Knob::buildContextMenu() const
{
    juce::PopupMenu menu;
    const auto header = modulationSummary ? modulationSummary() : juce::String();

    if (! sourceNames.isEmpty() && modulateFromHandler)
    {
        juce::PopupMenu sources;

        for (int i = 0; i < sourceNames.size(); ++i)
            sources.addItem (sourceItemBase + 1 + i, sourceNames[i]);

        if (header.isNotEmpty())
        {
            menu.addSectionHeader (header);
            menu.addSubMenu ("Modulate from", sources);

            if (modulationRemover)
                menu.addItem (removeModulationItem, "Remove modulation");

            menu.addSeparator();
        }
        else
        {
            menu.addSubMenu ("Modulate from", sources);
        }
    }

    if (midiLearnHandler)
        menu.addItem (midiLearnItem, midiLearnArmed ? "Cancel MIDI learn" : "MIDI learn");

    menu.addItem (resetItem, "Reset to default");
    menu.addItem (copyItem, "Copy value");
    menu.addItem (pasteItem, "Paste value");

    if (revealInMatrixHandler)
    {
        menu.addSeparator();
        menu.addItem (revealItem, "Reveal in matrix");
    }

    if (menuExtension)
    {
        menu.addSeparator();
        menuExtension (menu);
    }

    return menu;
}

void Knob::showContextMenu()
{
    buildContextMenu().showMenuAsync (juce::PopupMenu::Options().withTargetComponent (this),
                                      [safe = juce::Component::SafePointer<Knob> (this)] (int result)
                                      {
                                          if (safe != nullptr)
                                              safe->handleMenuResult (result);
                                      });
}

void Knob::handleMenuResult (int itemId)
{
    if (itemId > sourceItemBase && itemId <= sourceItemBase + sourceNames.size())
    {
        if (modulateFromHandler)
            modulateFromHandler (itemId - sourceItemBase);

        setModulated (true);
        return;
    }

    switch (itemId)
    {
        case midiLearnItem:
            if (midiLearnHandler)
                midiLearnHandler();
            break;

        case resetItem:
            setValueAsGesture (getDoubleClickReturnValue());
            break;

        case copyItem:
            juce::SystemClipboard::copyTextToClipboard (juce::String (getValue()));
            break;

        case pasteItem:
            pasteValueFromText (juce::SystemClipboard::getTextFromClipboard());
            break;

        case revealItem:
            if (revealInMatrixHandler)
                revealInMatrixHandler();
            break;

        case removeModulationItem:
            if (modulationRemover)
                modulationRemover();

            setModulated (false);
            break;

        default:
            break;
    }
}

void Knob::pasteValueFromText (const juce::String& text)
{
    // A clipboard holding no number leaves the value alone.
    if (const auto number = parseTypedNumber (text))
        setValueAsGesture (juce::jlimit (getMinimum(), getMaximum(), *number));
}

//==============================================================================
bool Knob::isInterestedInDragSource (const SourceDetails& details)
{
    const auto source = parseModulationSource (details.description);
    return modulationTarget && source >= 1 && source <= 7;
}

void Knob::itemDragEnter (const SourceDetails&)
{
    dropHover = true;
    repaint();
}

void Knob::itemDragExit (const SourceDetails&)
{
    dropHover = false;
    repaint();
}

void Knob::itemDropped (const SourceDetails& details)
{
    dropHover = false;
    const auto source = parseModulationSource (details.description);

    if (sourceDropHandler && source >= 1 && source <= 7 && sourceDropHandler (source))
        setModulated (true);

    repaint();
}

} // namespace larkspur::widgets
