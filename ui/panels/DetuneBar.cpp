#include "DetuneBar.h"
#include "plugin/ParameterIds.h"

#include "ui/LookAndFeel.h"

#include <cmath>

namespace quillon::ui::hidden
{

void addChoiceSubmenu (juce::PopupMenu& menu, juce::AudioProcessorValueTreeState& tree,
                       const juce::String& parameterId, const juce::String& label,
                       std::function<void()> afterChoice)
{
    auto* choice = dynamic_cast<juce::AudioParameterChoice*> (tree.getParameter (parameterId));

    if (choice == nullptr)
        return;

    juce::PopupMenu sub;
    const int count = choice->choices.size();

    for (int i = 0; i < count; ++i)
    {
        sub.addItem (choice->choices[i], true, i == choice->getIndex(), [choice, i, count, afterChoice]
        {
            if (count < 2)
                return;

            choice->beginChangeGesture();
            choice->setValueNotifyingHost (juce::jlimit (0.0f, 1.0f, (float) i / (float) (count - 1)));
            choice->endChangeGesture();

            if (afterChoice)
                afterChoice();
        });
    }

    menu.addSubMenu (label + juce::String::fromUTF8 ("  \xc2\xb7  ") + choice->getCurrentChoiceName(), sub, true);
}

} // namespace quillon::ui::hidden

namespace quillon::ui::widgets
{

namespace
{
juce::String percentText (double v)
{
    return juce::String (juce::roundToInt (v * 100.0)) + "%";
}

juce::String wholeSigned (double v, const juce::String& unit)
{
    const int n = juce::roundToInt (v);
    return (n >= 1 ? "+" : "") + juce::String (n) + unit;
}

float plainValueOf (juce::RangedAudioParameter& p)
{
    return p.convertFrom0to1 (juce::jlimit (0.0f, 1.0f, p.getValue()));
}

void writePlainValue (juce::RangedAudioParameter& p, float value)
{
    const auto& range = p.getNormalisableRange();
    p.beginChangeGesture();
    p.setValueNotifyingHost (range.convertTo0to1 (range.snapToLegalValue (value)));
    p.endChangeGesture();
}
} // namespace

DetuneBar::DetuneBar (juce::AudioProcessorValueTreeState& s)
    : state (s)
{
    using larkspur::widgets::Knob;

    title = std::make_unique<larkspur::widgets::SectionTitle> ("OSC LINK");
    addAndMakeVisible (*title);

    detuneKnob = std::make_unique<Knob> (0, true, false);
    detuneKnob->setLabelText ("DETUNE");
    detuneKnob->setTooltip ("Oscillator 2 pitch offset relative to oscillator 1.");
    detuneKnob->setContextMenuExtension ([this] (juce::PopupMenu& menu)
    {
        hidden::addChoiceSubmenu (menu, state, ids::detuneMode, "Detune mode",
                                  [self = safeThis] { if (self != nullptr) self->userChangedUnit(); });
    });
    addAndMakeVisible (*detuneKnob);

    phaseKnob = std::make_unique<Knob> (0, true, false);
    phaseKnob->setLabelText ("PHASE");
    phaseKnob->setValueFormatter ([] (double v)
    {
        const int n = juce::roundToInt (v);
        return (n >= 1 ? "+" : "") + juce::String (n) + juce::String::fromUTF8 ("\xc2\xb0");
    });
    phaseKnob->setTooltip ("Oscillator 2 phase offset relative to oscillator 1.");
    phaseKnob->setContextMenuExtension ([this] (juce::PopupMenu& menu)
                                        { hidden::addChoiceSubmenu (menu, state, ids::phaseMode, "Phase mode"); });
    phaseAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, ids::osc2PhaseOffset, *phaseKnob);
    addAndMakeVisible (*phaseKnob);

    driftKnob = std::make_unique<Knob> (0, false, false);
    driftKnob->setLabelText ("Z-DRIFT");
    driftKnob->setValueFormatter (percentText);
    driftKnob->setTooltip ("Shared experimental oscillator drift for unstable beating.");
    driftAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, ids::oscDrift, *driftKnob);
    addAndMakeVisible (*driftKnob);

    stereoKnob = std::make_unique<Knob> (0, false, false);
    stereoKnob->setLabelText ("STEREO");
    stereoKnob->setValueFormatter (percentText);
    stereoKnob->setTooltip ("Detune width from mono-safe to full opposing stereo.");
    stereoAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, ids::stereoWidth, *stereoKnob);
    addAndMakeVisible (*stereoKnob);

    if (auto* mode = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::detuneMode)))
    {
        unitSwitch = std::make_unique<larkspur::widgets::SegmentedControl> (*mode, juce::StringArray { "CT", "HZ" });
        unitSwitch->setGap (1);
        unitSwitch->getCell (0)->setTooltip ("Cents detune unit.");
        unitSwitch->getCell (1)->setTooltip ("Hertz detune unit (relative to A4).");
        unitSwitch->onChange = [this] (int) { userChangedUnit(); };
        unitField = std::make_unique<larkspur::widgets::SegmentField> ("DETUNE", *unitSwitch);
        addAndMakeVisible (*unitField);
    }

    phaseModeDropdown = std::make_unique<larkspur::widgets::ChoiceDropdown> (state, ids::phaseMode, "Phase mode");
    phaseModeDropdown->setCompact (true);
    phaseModeDropdown->setJustification (juce::Justification::centred);
    phaseModeBox = std::make_unique<larkspur::widgets::FieldBox> ("PHASE");
    phaseModeBox->setContent (phaseModeDropdown.get());
    addAndMakeVisible (*phaseModeBox);

    state.addParameterListener (ids::detuneMode, this);
    syncDetuneBinding (false);
}

DetuneBar::~DetuneBar()
{
    state.removeParameterListener (ids::detuneMode, this);
    detuneAttachment.reset();
    phaseAttachment.reset();
    driftAttachment.reset();
    stereoAttachment.reset();
}

void DetuneBar::parameterChanged (const juce::String& parameterId, float)
{
    if (parameterId != ids::detuneMode)
        return;

    juce::MessageManager::callAsync ([self = safeThis]
    {
        if (self != nullptr)
            self->syncDetuneBinding (false);
    });
}

void DetuneBar::syncDetuneBinding (bool convertValue)
{
    auto* mode = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::detuneMode));
    const juce::String target = (mode == nullptr || mode->getIndex() == 0) ? ids::osc2Detune : ids::osc2DetuneHz;

    if (target == boundDetuneId && detuneAttachment != nullptr)
        return;

    if (convertValue && boundDetuneId.isNotEmpty())
    {
        auto* cents = state.getParameter (ids::osc2Detune);
        auto* hertz = state.getParameter (ids::osc2DetuneHz);

        if (cents != nullptr && hertz != nullptr)
        {
            if (boundDetuneId == ids::osc2Detune && target == ids::osc2DetuneHz)
                writePlainValue (*hertz, (std::pow (2.0f, plainValueOf (*cents) / 1200.0f) - 1.0f) * 440.0f);
            else if (boundDetuneId == ids::osc2DetuneHz && target == ids::osc2Detune)
                writePlainValue (*cents, 1200.0f * std::log2 ((plainValueOf (*hertz) + 440.0f) / 440.0f));
        }
    }

    boundDetuneId = target;

    if (target == ids::osc2Detune)
        detuneKnob->setValueFormatter ([] (double v) { return wholeSigned (v, " ct"); });
    else
        detuneKnob->setValueFormatter ([] (double v) { return formatSignedNumber (v, 1, true, false, false) + " Hz"; });

    // The old attachment goes first: still attached, it would write the new parameter's value, which
    // the knob takes up next, into the old parameter.
    detuneAttachment.reset();
    if (state.getParameter (target) != nullptr)
        detuneAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, target, *detuneKnob);
}

void DetuneBar::resized()
{
    SectionFrame::resized();

    if (title != nullptr)
        title->setBounds (20, 8, 164, 22);
    if (unitField != nullptr)
        unitField->setBounds (8, 8, 88, 88);
    if (phaseModeBox != nullptr)
        phaseModeBox->setBounds (108, 8, 88, 88);
    if (detuneKnob != nullptr)
        detuneKnob->setBounds (0, 108, 96, 96);
    if (phaseKnob != nullptr)
        phaseKnob->setBounds (108, 108, 96, 96);
    if (driftKnob != nullptr)
        driftKnob->setBounds (0, 216, 96, 96);
    if (stereoKnob != nullptr)
        stereoKnob->setBounds (108, 216, 96, 96);
}

} // namespace quillon::ui::widgets
