#include "MatrixSlideOut.h"

#include "ModulationOverview.h"
#include "plugin/Palette.h"
#include "plugin/PluginProcessor.h"
#include "ui/LookAndFeel.h"
#include "ui/Themes.h"

namespace quillon::ui::widgets
{

namespace
{
    namespace pal = quillon::palette;

    const juce::String crossGlyph = juce::String::fromUTF8 ("\xe2\x9c\x95");

    constexpr int choiceFieldVariant = 1;


    void setNormalisedAsGesture (juce::AudioProcessorParameter& parameter, float normalised)
    {
        parameter.beginChangeGesture();
        parameter.setValueNotifyingHost (normalised);
        parameter.endChangeGesture();
    }
} // namespace

const juce::StringArray shortSourceLabels { "OFF",  "VEL",  "KEY",  "MWHL", "AT",   "LFO 1", "DCW 1",
                                            "DCW 2", "FENV", "AENV", "NRND", "SRND", "BEAT" };

juce::Colour sourceColourForCode (int sourceCode)
{
    switch (sourceCode)
    {
        case 1: case 9:  return pal::get (pal::sourceVelocity);
        case 2: case 8:  return pal::get (pal::sourceKey);
        case 3: case 11: return pal::get (pal::sourceModwheel);
        case 4: case 10: return pal::get (pal::sourceAftertouch);
        case 5: case 12: return pal::get (pal::sourceLfo1);
        case 6:          return pal::get (pal::sourceDcw1);
        case 7:          return pal::get (pal::sourceDcw2);
        default:         return pal::get (pal::textTertiary);
    }
}

void styleCommandButton (juce::Component& button, int textOffSlot, int textOnSlot)
{
    button.getProperties().set ("quillon.surfaceVariant", "commandButton");
    button.setColour (juce::TextButton::buttonColourId, juce::Colours::transparentBlack);
    button.setColour (juce::TextButton::buttonOnColourId, juce::Colours::transparentBlack);
    quillon::ui::setPaletteColour (button, juce::TextButton::textColourOffId, textOffSlot);
    quillon::ui::setPaletteColour (button, juce::TextButton::textColourOnId, textOnSlot);
    button.setColour (juce::ComboBox::outlineColourId, juce::Colours::transparentBlack);
}

//==============================================================================
CrossButton::CrossButton()
{
    setButtonText (crossGlyph);
}

void CrossButton::paintButton (juce::Graphics& g, bool highlighted, bool down)
{
    auto& lf = getLookAndFeel();
    lf.drawButtonBackground (g, *this, findColour (getToggleState() ? buttonOnColourId : buttonColourId), highlighted, down);

    const bool lit = isEnabled() && (highlighted || down || getToggleState());
    auto colour = findColour (lit ? textColourOnId : textColourOffId);
    g.setColour (isEnabled() ? colour : colour.withMultipliedAlpha (0.4f));
    quillon::ui::drawTextWithSymbols (g, getButtonText(), juce::Font (15.0f), getLocalBounds().toFloat(),
                                      juce::Justification::centred);
}

//==============================================================================
RoutingRow::SourcePill::SourcePill()
    : juce::Button ({})
{
}

void RoutingRow::SourcePill::setSource (const juce::String& newLabel, int newSourceCode, bool newOff)
{
    if (newLabel == label && newSourceCode == sourceCode && newOff == off)
        return;

    label = newLabel;
    sourceCode = newSourceCode;
    off = newOff;
    repaint();
}

void RoutingRow::SourcePill::paintButton (juce::Graphics& g, bool highlighted, bool down)
{
    const auto bounds = getLocalBounds().toFloat();
    paintSurface (g, bounds, highlighted, down, false, hasKeyboardFocus (false), isEnabled(), choiceFieldVariant);

    const auto centre = bounds.reduced (0.0f, 4.0f).getCentreY();
    const float x = bounds.getX();

    if (off)
    {
        g.setColour (pal::get (pal::textTertiary).withAlpha (0.4f));
        g.drawEllipse (x + 8.5f, centre - 4.5f, 9.0f, 9.0f, 1.0f);
    }
    else
    {
        g.setColour (getColour());
        g.fillEllipse (x + 8.0f, centre - 5.0f, 10.0f, 10.0f);
    }

    g.setFont (getEditorFont (8));
    g.setColour (pal::get (off ? pal::textTertiary : pal::textPrimary));
    larkspur::widgets::drawFittedLine (g, label.toUpperCase(), juce::Rectangle<float> (x + 26.0f, bounds.getY() + 4.0f, juce::jmax (0.0f, bounds.getWidth() - 34.0f),
                                        juce::jmax (0.0f, bounds.getHeight() - 8.0f)), juce::Justification::centredLeft);
}

//==============================================================================
RoutingRow::ParamListener::ParamListener (juce::AudioProcessorParameter& p, std::function<void()> cb)
    : parameter (p), callback (std::move (cb))
{
    parameter.addListener (this);
}

RoutingRow::ParamListener::~ParamListener()
{
    parameter.removeListener (this);
}

void RoutingRow::ParamListener::parameterValueChanged (int, float)
{
    // Any thread, the audio thread included: the refresh runs later on the message thread.
    juce::MessageManager::callAsync (callback);
}

//==============================================================================
RoutingRow::RoutingRow (juce::AudioProcessorValueTreeState& s, int slotNumber)
    : state (s), slot (slotNumber), slotText (juce::String (slotNumber))
{
    sourcePill = std::make_unique<SourcePill>();
    sourcePill->setWantsKeyboardFocus (true);
    sourcePill->setMouseCursor (juce::MouseCursor::PointingHandCursor);
    sourcePill->setTitle ("Modulation source");
    sourcePill->setHelpText ("Choose the source for this modulation slot.");
    sourcePill->onClick = [this] { showSourceMenu(); };
    addAndMakeVisible (*sourcePill);

    destinationDropdown = std::make_unique<larkspur::widgets::ChoiceDropdown> (state, ids::modSlot (slot).destination,
                                                                               "Modulation destination");
    addAndMakeVisible (*destinationDropdown);

    amountBar.setInteractive (true);
    amountBar.onGestureBegin = [this]
    {
        if (auto* amount = amountParameter())
            amount->beginChangeGesture();
    };
    amountBar.onValueChanged = [this] (float v)
    {
        if (auto* amount = amountParameter())
            amount->setValueNotifyingHost (amount->convertTo0to1 (v));
    };
    amountBar.onGestureEnd = [this]
    {
        if (auto* amount = amountParameter())
            amount->endChangeGesture();
    };
    // The readout sits on the row's themed ground.
    quillon::ui::setPaletteColour (amountBar, larkspur::widgets::BipolarBar::readoutColourId, pal::textPrimary);
    addAndMakeVisible (amountBar);

    if (auto* curve = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::modSlot (slot).curve)))
    {
        curveControl = std::make_unique<larkspur::widgets::SegmentedControl> (*curve, juce::StringArray { "LIN", "EXP" });
        addAndMakeVisible (*curveControl);
    }

    styleCommandButton (clearButton, pal::textSecondary, pal::textPrimary);
    clearButton.setWantsKeyboardFocus (true);
    clearButton.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    clearButton.setTitle ("Clear modulation slot");
    clearButton.setTooltip ("Clear modulation slot");
    clearButton.setHelpText ("Remove the source, destination, and amount from this slot.");
    clearButton.onClick = [this] { clearSlot(); };
    addAndMakeVisible (clearButton);

    const juce::Component::SafePointer<RoutingRow> safeThis (this);

    if (auto* source = state.getParameter (ids::modSlot (slot).source))
        sourceListener = std::make_unique<ParamListener> (*source, [safeThis]
        {
            if (safeThis != nullptr)
                safeThis->refreshSource();
        });

    if (auto* amount = amountParameter())
        amountListener = std::make_unique<ParamListener> (*amount, [safeThis]
        {
            if (safeThis != nullptr)
                safeThis->refreshAmount();
        });

    hoverRelay = std::make_unique<HoverRelay> (*this);
    addMouseListener (hoverRelay.get(), true);

    setSize (704, 88);
    refreshSource();
    refreshAmount();
}

RoutingRow::~RoutingRow()
{
    amountListener.reset();
    sourceListener.reset();
    removeMouseListener (hoverRelay.get());
    hoverRelay.reset();
}

juce::AudioParameterChoice* RoutingRow::sourceParameter() const
{
    return dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::modSlot (slot).source));
}

juce::RangedAudioParameter* RoutingRow::amountParameter() const
{
    return state.getParameter (ids::modSlot (slot).amount);
}

juce::PopupMenu RoutingRow::buildSourceMenu() const
{
    juce::PopupMenu menu;
    auto* source = sourceParameter();

    if (source == nullptr)
        return menu;

    const int current = source->getIndex();

    for (int i = 0; i < shortSourceLabels.size(); ++i)
        menu.addItem (i + 1, shortSourceLabels[i], true, i == current);

    return menu;
}

void RoutingRow::handleSourceMenuResult (int itemId)
{
    auto* source = sourceParameter();

    if (source == nullptr || itemId < 1 || itemId > shortSourceLabels.size())
        return;

    const int n = source->choices.size();
    const float normalised = juce::jlimit (0.0f, 1.0f, (float) (itemId - 1) / (float) juce::jmax (n - 1, 1));
    setNormalisedAsGesture (*source, normalised);
}

void RoutingRow::showSourceMenu()
{
    if (sourceParameter() == nullptr)
        return;

    const juce::Component::SafePointer<RoutingRow> safeThis (this);
    buildSourceMenu().showMenuAsync (juce::PopupMenu::Options().withTargetComponent (sourcePill.get()),
                                     [safeThis] (int result)
                                     {
                                         if (safeThis != nullptr)
                                             safeThis->handleSourceMenuResult (result);
                                     });
}

void RoutingRow::refreshSource()
{
    auto* source = state.getParameter (ids::modSlot (slot).source);
    auto* choice = dynamic_cast<juce::AudioParameterChoice*> (source);
    const int s = choice != nullptr ? choice->getIndex() : 0;
    const int code = juce::jlimit (0, 12, s);

    sourcePill->setSource (shortSourceLabels[code], code, s == 0);
    amountBar.setVisible (s != 0);
    repaint();
}

void RoutingRow::refreshAmount()
{
    if (auto* raw = state.getRawParameterValue (ids::modSlot (slot).amount))
        amountBar.setValue (raw->load());
}

void RoutingRow::clearSlot()
{
    if (auto* source = sourceParameter())
        setNormalisedAsGesture (*source, 0.0f);

    if (auto* amount = amountParameter())
        setNormalisedAsGesture (*amount, amount->convertTo0to1 (0.0f));
}

void RoutingRow::relayHover()
{
    if (! onDestinationHover)
        return;

    if (auto* destination = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::modSlot (slot).destination)))
        if (const int d = destination->getIndex(); d >= 1)
            onDestinationHover (d);
}

void RoutingRow::paint (juce::Graphics& g)
{
    const auto bounds = getLocalBounds().toFloat();
    g.setColour (pal::get (pal::bgSurface));
    g.fillRoundedRectangle (bounds, 2.0f);
    g.setColour (pal::get (pal::borderHair));
    g.drawRoundedRectangle (bounds.reduced (0.5f), 2.0f, 1.0f);

    const auto inner = getLocalBounds().reduced (16);
    g.setFont (getEditorFont (6));
    g.setColour (pal::get (pal::textSecondary));
    larkspur::widgets::drawFittedLine (g, juce::String::formatted ("%02d", slot), inner.withWidth (juce::jmin (inner.getWidth(), 44)).toFloat(), juce::Justification::centredLeft);
}

void RoutingRow::resized()
{
    const int X = 16, Y = 16;
    const int W = juce::jmax (getWidth() - 32, 0), H = juce::jmax (getHeight() - 32, 0);
    int left = X + juce::jmin (W, 44) + 12;
    const int right = X + W;
    const auto rest = [&] { return juce::jmax (0, right - left); };

    const int pillWidth = juce::jmin (rest(), 132);
    sourcePill->setBounds (left, Y, pillWidth, H);
    left += pillWidth + 8;

    const int dropdownWidth = juce::jmin (rest(), 176);
    destinationDropdown->setBounds (left, Y, dropdownWidth, H);
    left += dropdownWidth + 8;

    const int top = Y + (H - 44) / 2;
    int stripRight = right;
    clearButton.setBounds (stripRight - 44, top, 44, 44);
    stripRight -= 44 + 8;

    if (curveControl != nullptr)
    {
        curveControl->setBounds (stripRight - 88, top, 88, 44);
        stripRight -= 88 + 8;
    }

    const int g = juce::jmax (0, stripRight - left);
    const int barWidth = juce::jmax (g, 304);
    amountBar.setWidthVariant (4);
    amountBar.setBounds (left + g / 2 - barWidth / 2, top, barWidth, 44);
}

//==============================================================================
void MatrixSlideOut::highlightDestination (int destination)
{
    if (destination < 1)
        return;

    quillon::ui::matrix::flashKnobsForDestination (processor, destination);

    if (quillon::ui::matrix::matrixChangedHook)
        quillon::ui::matrix::matrixChangedHook (destination);
}

MatrixSlideOut::MatrixSlideOut (QuillonAudioProcessor& p)
    : processor (p)
{
    title.setText ("MODULATION MATRIX", juce::dontSendNotification);
    title.setFont (getEditorFont (2));
    quillon::ui::setPaletteColour (title, juce::Label::textColourId, pal::textSecondary);
    title.getProperties().set (groundColourProperty, (juce::int64) getFillColour().getARGB());
    title.setJustificationType (juce::Justification::centredLeft);
    title.setInterceptsMouseClicks (false, false);
    addAndMakeVisible (title);

    styleCommandButton (closeButton, pal::textSecondary, pal::textPrimary);
    closeButton.setWantsKeyboardFocus (true);
    closeButton.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    closeButton.setTitle ("Close modulation matrix");
    closeButton.setTooltip ("Close modulation matrix");
    closeButton.setHelpText ("Close the modulation matrix.");
    closeButton.onClick = [this]
    {
        if (onClose)
            onClose();
    };
    addAndMakeVisible (closeButton);

    for (int slot = 1; slot <= ids::numModSlots; ++slot)
    {
        auto row = std::make_unique<RoutingRow> (processor.parameterState, slot);
        row->onDestinationHover = [this] (int d) { highlightDestination (d); };
        addAndMakeVisible (*row);
        rows[(size_t) slot - 1] = std::move (row);
    }
}

MatrixSlideOut::~MatrixSlideOut() = default;

void MatrixSlideOut::resized()
{
    const int x = 0, y = 0;
    const int W = juce::jmax (getWidth() - 32, 0), H = juce::jmax (getHeight() - 32, 0);

    const int closeX = W < 44 ? x + 16 + (W - 44) / 2 : x + 16 + W - 44;
    const int closeY = H < 44 ? y + 16 + (H - 44) / 2 : y + 16;
    closeButton.setBounds (closeX, closeY, 44, 44);
    title.setBounds (x + 16, y + 16, juce::jmax (W - 44, 0), juce::jmin (H, 44));

    int top = y + 16 + 44 + 8;
    const int bottom = y + 16 + H;

    for (size_t i = 0; i < rows.size(); ++i)
    {
        if (i > 0)
            top += juce::jmin (8, juce::jmax (0, bottom - top));

        const int height = juce::jmin (juce::jmax (0, bottom - top), 88);
        rows[i]->setBounds (x + 16, top, W, height);
        top += height;
    }
}

} // namespace quillon::ui::widgets
