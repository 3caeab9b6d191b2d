#include "DriveCard.h"
#include "plugin/ParameterIds.h"

#include "plugin/Palette.h"
#include "plugin/PluginProcessor.h"
#include "ui/LookAndFeel.h"
#include "ui/matrix/KnobWiring.h"

#include "engine/chain/DriveStage.h"

#include <array>
#include <cmath>

namespace quillon::ui::widgets
{

DriveSectionSpec DriveSectionDescription::getSpec() const
{
    juce::ignoreUnused (processor);
    return { "DRIVE", "MODE", "AMOUNT", "MIX", ids::driveMode, ids::drive, ids::driveMix, ModDestination::drive };
}

//==============================================================================
void DriveThumbnail::ParamListener::parameterChanged (const juce::String&, float)
{
    juce::MessageManager::callAsync ([target = thumbnail]
    {
        if (auto* t = target.getComponent())
            t->repaint();
    });
}

DriveThumbnail::DriveThumbnail (juce::AudioProcessorValueTreeState& s)
    : state (&s), driveParameter (s.getParameter (ids::drive)), modeParameter (s.getParameter (ids::driveMode))
{
    listener = std::make_unique<ParamListener> (*this);
    state->addParameterListener (ids::drive, listener.get());
    state->addParameterListener (ids::driveMode, listener.get());
    setSize (160, 36);
    setMouseCursor (juce::MouseCursor::UpDownResizeCursor);
}

DriveThumbnail::~DriveThumbnail()
{
    state->removeParameterListener (ids::drive, listener.get());
    state->removeParameterListener (ids::driveMode, listener.get());
}

juce::Path DriveThumbnail::getCurve() const
{
    const auto b = getLocalBounds().toFloat();
    const float left = b.getX() + 4.0f, top = b.getY() + 4.0f;
    const float plotW = juce::jmax (b.getWidth() - 8.0f, 0.0f), plotH = juce::jmax (b.getHeight() - 8.0f, 0.0f);
    juce::Path curve;

    if (plotW <= 0.0f || plotH <= 0.0f)
        return curve;

    const float driveDb = driveParameter != nullptr ? driveParameter->convertFrom0to1 (driveParameter->getValue()) : 0.0f;
    const int mode = modeParameter != nullptr ? juce::roundToInt (modeParameter->convertFrom0to1 (modeParameter->getValue()))
                                              : (int) DriveMode::soft;
    const float centre = top + plotH / 2.0f, amplitude = plotH * 0.45f;

    // The stage's soft curve comes before its make-up gain, so at high drive it is only a sliver
    // high: it is drawn to its value at full scale. The diode and fold curves are drawn as they are.
    std::array<float, curvePoints> shaped;

    for (int i = 0; i < curvePoints; ++i)
        shaped[(size_t) i] = DriveStage::transferCurve (mode, driveDb, 2.0f * (float) i / (float) (curvePoints - 1) - 1.0f);

    const float fullScale = shaped.back();
    const float scale = mode == (int) DriveMode::soft && fullScale > 1.0e-6f ? 1.0f / fullScale : 1.0f;

    for (int i = 0; i < curvePoints; ++i)
    {
        const float t = (float) i / (float) (curvePoints - 1);
        const float y = juce::jlimit (-1.0f, 1.0f, shaped[(size_t) i] * scale);
        const juce::Point<float> point (left + plotW * t, centre - amplitude * y);

        if (i == 0)
            curve.startNewSubPath (point);
        else
            curve.lineTo (point);
    }

    return curve;
}

void DriveThumbnail::paint (juce::Graphics& g)
{
    const auto b = getLocalBounds().toFloat();
    paintPlotFrame (g, b);

    const float left = b.getX() + 4.0f, top = b.getY() + 4.0f;
    const float plotW = juce::jmax (b.getWidth() - 8.0f, 0.0f), plotH = juce::jmax (b.getHeight() - 8.0f, 0.0f);

    if (plotW <= 0.0f || plotH <= 0.0f)
        return;

    const float centre = top + plotH / 2.0f;

    g.setColour (palette::get (palette::accentEmber));
    g.strokePath (getCurve(), juce::PathStrokeType (1.5f));
    g.setColour (palette::get (palette::textTertiary).withAlpha (0.4f));
    g.fillRect (left, centre, plotW, 0.5f);
}

void DriveThumbnail::mouseDown (const juce::MouseEvent& e)
{
    if (driveParameter == nullptr)
        return;

    dragging = true;
    dragStartY = e.getPosition().y;
    dragStartValue = driveParameter->getValue();
    driveParameter->beginChangeGesture();
}

void DriveThumbnail::mouseDrag (const juce::MouseEvent& e)
{
    if (! dragging)
        return;

    const double value = juce::jlimit (0.0, 1.0, dragStartValue + (double) (dragStartY - e.getPosition().y) / 200.0);
    driveParameter->setValueNotifyingHost ((float) value);
}

void DriveThumbnail::mouseUp (const juce::MouseEvent&)
{
    if (! dragging)
        return;

    dragging = false;
    driveParameter->endChangeGesture();
}

void DriveThumbnail::mouseDoubleClick (const juce::MouseEvent&)
{
    if (driveParameter == nullptr)
        return;

    closeInlineEditor();
    inlineEditor = std::make_unique<juce::TextEditor>();
    auto& ed = *inlineEditor;
    ed.setFont (getEditorFont (5));
    ed.setColour (juce::TextEditor::backgroundColourId, palette::get (palette::controlFill));
    ed.setColour (juce::TextEditor::textColourId, palette::get (palette::controlText));
    ed.setColour (juce::TextEditor::outlineColourId, palette::get (palette::controlBorderHover));
    ed.setColour (juce::TextEditor::focusedOutlineColourId, palette::get (palette::borderFocus));
    ed.setColour (juce::TextEditor::highlightColourId, palette::get (palette::accentPrimary).withAlpha (0.3f));
    ed.setColour (juce::TextEditor::highlightedTextColourId, palette::get (palette::controlText));
    ed.setColour (juce::CaretComponent::caretColourId, palette::get (palette::borderFocus));
    ed.setBorder (juce::BorderSize<int> (1, 4, 1, 4));

    const float driveDb = driveParameter->convertFrom0to1 (driveParameter->getValue());
    ed.setText (juce::String (driveDb, 1), false);
    ed.selectAll();

    const auto b = getLocalBounds();
    ed.setBounds (4, 6, juce::jmax (0, b.getWidth() - 8), juce::jmax (0, b.getHeight() - 12));

    // The editor must not delete itself from inside its own callback: close it from the message loop.
    const juce::Component::SafePointer<DriveThumbnail> self (this);
    ed.onReturnKey = [self] { juce::MessageManager::callAsync ([self] { if (self != nullptr) self->commitInlineEdit(); }); };
    ed.onFocusLost = ed.onReturnKey;
    ed.onEscapeKey = [self] { juce::MessageManager::callAsync ([self] { if (self != nullptr) self->cancelInlineEdit(); }); };

    addAndMakeVisible (ed);
    ed.grabKeyboardFocus();
}

void DriveThumbnail::closeInlineEditor()
{
    if (inlineEditor != nullptr)
    {
        removeChildComponent (inlineEditor.get());
        inlineEditor.reset();
    }
}

void DriveThumbnail::commitInlineEdit()
{
    if (inlineEditor == nullptr || driveParameter == nullptr)
    {
        closeInlineEditor();
        return;
    }

    const auto& range = driveParameter->getNormalisableRange();
    const auto typed = larkspur::widgets::parseTypedNumber (inlineEditor->getText(), "dB");

    if (! typed.has_value())
    {
        cancelInlineEdit();
        return;
    }

    const float plain = juce::jlimit (range.start, range.end, (float) *typed);

    driveParameter->beginChangeGesture();
    driveParameter->setValueNotifyingHost (range.convertTo0to1 (plain));
    driveParameter->endChangeGesture();

    closeInlineEditor();
    repaint();
}

void DriveThumbnail::cancelInlineEdit()
{
    closeInlineEditor();
    repaint();
}

//==============================================================================
DriveCard::DriveCard (juce::AudioProcessorValueTreeState& s, QuillonAudioProcessor& processor)
    : BypassablePanel ("DRIVE"), section (std::make_unique<DriveSectionDescription> (processor)), state (s)
{
    using larkspur::widgets::Knob;
    const auto spec = section->getSpec();

    thumbnail = std::make_unique<DriveThumbnail> (state);
    addAndMakeVisible (*thumbnail);

    modeDropdown = std::make_unique<larkspur::widgets::ChoiceDropdown> (state, spec.modeId, "Drive mode");
    modeDropdown->setJustification (juce::Justification::centredLeft);
    modeBox = std::make_unique<larkspur::widgets::FieldBox> (spec.modeLabel);
    modeBox->setContent (modeDropdown.get());
    addAndMakeVisible (*modeBox);

    amountKnob = std::make_unique<Knob> (0, false, false);
    amountKnob->setLabelText (spec.amountLabel);
    amountKnob->setValueFormatter ([] (double v) { return formatSignedNumber (v, 1, false, false, false) + " dB"; });
    amountAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, spec.amountId, *amountKnob);
    matrix::wireKnob (*amountKnob, processor, spec.amountId, spec.amountDestination);
    addAndMakeVisible (*amountKnob);

    const auto percentWithSpace = [] (double v) { return juce::String (juce::roundToInt (v * 100.0)) + " %"; };

    mixKnob = std::make_unique<Knob> (0, false, false);
    mixKnob->setLabelText (spec.mixLabel);
    mixKnob->setValueFormatter (percentWithSpace);
    mixAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, spec.mixId, *mixKnob);
    addAndMakeVisible (*mixKnob);

    feedbackKnob = std::make_unique<Knob> (0, false, false);
    feedbackKnob->setLabelText ("FDBK");
    feedbackKnob->setValueFormatter (percentWithSpace);
    feedbackAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, ids::feedbackAmount, *feedbackKnob);
    matrix::wireKnob (*feedbackKnob, processor, ids::feedbackAmount, ModDestination::feedback);
    addAndMakeVisible (*feedbackKnob);
}

DriveCard::~DriveCard()
{
    amountAttachment.reset();
    mixAttachment.reset();
    feedbackAttachment.reset();
}

void DriveCard::resized()
{
    BypassablePanel::resized();

    const int width = getWidth(), height = getHeight();
    const int titleTop = juce::jmin (height, 8);
    getTitle().setBounds (20, titleTop, juce::jmax (0, width - 40), juce::jmax (0, juce::jmin (22, height - titleTop)));

    if (thumbnail != nullptr)
        thumbnail->setBounds (16, 46, 172, 34);

    int x = 24, remaining = 156;
    for (auto* knob : { amountKnob.get(), mixKnob.get(), feedbackKnob.get() })
    {
        if (knob == nullptr)
            continue;

        const int w = juce::jmin (44, remaining);
        knob->setBounds (x, 108, w, 96);
        x += w + 12;
        remaining = juce::jmax (0, remaining - w - 12);
    }

    if (modeBox != nullptr)
    {
        int w = 188, h = 96;
        if (16 + w >= width)
            w = 172;
        if (216 + h >= height)
            h = 80;
        modeBox->setBounds (16, 216, w, h);
    }
}

} // namespace quillon::ui::widgets
