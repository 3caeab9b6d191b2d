#include "VoiceFilterPanel.h"
#include "plugin/ParameterIds.h"

#include "plugin/PluginProcessor.h"
#include "ui/LookAndFeel.h"
#include "ui/matrix/KnobWiring.h"

namespace quillon::ui::widgets
{

namespace
{
juce::String percentWithSpace (double v)
{
    return juce::String (juce::roundToInt (v * 100.0)) + " %";
}

juce::String cutoffText (double v)
{
    // Decided on the rounded value: a cutoff a hair under 1 kHz reads 1.0 kHz, never "1000 Hz".
    if (std::abs (juce::roundToInt (v)) < 1000)
        return juce::String (juce::roundToInt (v)) + " Hz";
    return juce::String (v / 1000.0, 1) + " kHz";
}
} // namespace

VoiceFilterPanel::VoiceFilterPanel (juce::AudioProcessorValueTreeState& s, QuillonAudioProcessor& processor)
    : BypassablePanel ("FILTER"), state (s)
{
    using larkspur::widgets::Knob;

    responseStrip = std::make_unique<FilterResponseStrip> (state);
    responseStrip->setShowEnvelope (false);

    envelopeEditor = std::make_unique<AdsrEnvelopeEditor> (state, ids::filterAttack, ids::filterDecay, ids::filterSustain,
                                                           ids::filterRelease);
    envelopeEditor->setGraphHeightRange (44, 96);

    for (juce::Component* c : { (juce::Component*) responseStrip.get(), (juce::Component*) envelopeEditor.get() })
    {
        addAndMakeVisible (c);
        addBypassableChild (c);
    }

    modelChoice = std::make_unique<larkspur::widgets::HeaderChoice> (state, ids::filterModel, "Filter model");
    addAndMakeVisible (*modelChoice);
    addBypassableChild (modelChoice.get());

    enableDot = std::make_unique<EnableDot> (state, ids::filterEnabled, "Filter enable", "Enable filter.", 12);
    addAndMakeVisible (*enableDot);

    struct KnobSpec
    {
        std::unique_ptr<Knob>& knob;
        std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment>& attachment;
        const char* label;
        const char* parameterId;
        bool bipolar;
        std::function<juce::String (double)> text;
        ModDestination destination;
    };

    KnobSpec specs[] = {
        { cutoffKnob, cutoffAttachment, "CUTOFF", ids::filterCutoff, false, cutoffText, ModDestination::cutoff },
        { resonanceKnob, resonanceAttachment, "RESO", ids::filterReso, false, percentWithSpace, ModDestination::resonance },
        { phaseKnob, phaseAttachment, "PHASE", ids::phaseMix, false, percentWithSpace, ModDestination::phaseMix },
        { notchKnob, notchAttachment, "NOTCH", ids::phaseNotch, false, percentWithSpace, ModDestination::phaseNotch },
        { envelopeKnob, envelopeAttachment, "ENV", ids::filterEnvAmount, true,
          [] (double v) { return formatSignedNumber (v, 1, true, false, false) + " st"; }, ModDestination::filterEnv }, // the amount moves the cutoff in semitones
    };

    for (auto& spec : specs)
    {
        spec.knob = std::make_unique<Knob> (0, spec.bipolar, false);
        spec.knob->setLabelText (spec.label);
        spec.knob->setValueFormatter (spec.text);
        spec.attachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, spec.parameterId, *spec.knob);
        matrix::wireKnob (*spec.knob, processor, spec.parameterId, spec.destination);

        if (spec.knob != envelopeKnob)
        {
            addAndMakeVisible (*spec.knob);
            addBypassableChild (spec.knob.get());
        }
    }

    // The amount knob sits in the envelope editor's knob row; it dims with the editor.
    envelopeEditor->setAccessory (envelopeKnob.get());
    envelopeEditor->setAccessoryGap (8);

    startTimerHz (15);
    refreshFromParameters();
}

VoiceFilterPanel::~VoiceFilterPanel()
{
    stopTimer();
    cutoffAttachment.reset();
    resonanceAttachment.reset();
    phaseAttachment.reset();
    notchAttachment.reset();
    envelopeAttachment.reset();
    envelopeEditor->setAccessory (nullptr);
}

void VoiceFilterPanel::refreshFromParameters()
{
    const auto* enabledValue = state.getRawParameterValue (ids::filterEnabled);
    const auto* modelValue = state.getRawParameterValue (ids::filterModel);
    const bool filterOn = enabledValue == nullptr || enabledValue->load() >= 0.5f;
    const bool phaseModel = modelValue != nullptr && juce::roundToInt (modelValue->load()) == (int) FilterModel::phase;

    phaseKnob->setVisible (phaseModel);
    notchKnob->setVisible (phaseModel);

    if (phaseModel != showPhaseControls)
    {
        showPhaseControls = phaseModel;
        resized();
    }

    if (filterOn != lastEnabled)
    {
        lastEnabled = filterOn;
        setPanelEnabled (filterOn);
    }
}

void VoiceFilterPanel::resized()
{
    BypassablePanel::resized();

    const int width = getWidth(), height = getHeight();

    if (enableDot != nullptr)
        enableDot->setBounds (width - 48, 8, 28, 22);

    const int top = juce::jmin (height, 8);
    const int rowHeight = juce::jmax (0, juce::jmin (22, height - top));
    const int strip = juce::jmax (width - 40, 0);
    int usable = strip - juce::jmin (strip, 48);

    if (modelChoice != nullptr)
    {
        const int w = juce::jmax (0, juce::jmin (modelChoice->getIdealWidth(), juce::jmin (usable / 3, usable)));
        modelChoice->setBounds (20 + usable - w, top + 4, w, rowHeight);
        usable = juce::jmax (0, usable - w - 8);
    }

    getTitle().setBounds (20, top, usable, rowHeight);

    // Four knobs start at the strip's left edge: further right, NOTCH would sit on the envelope
    // editor's amount knob.
    int x = showPhaseControls ? 16 : 56;
    for (auto* knob : { cutoffKnob.get(), resonanceKnob.get(), phaseKnob.get(), notchKnob.get() })
    {
        if (knob == nullptr || ! knob->isVisible())
            continue;

        knob->setBounds (x, 216, 44, 96);
        x += 48;
    }

    if (responseStrip != nullptr)
        responseStrip->setBounds (16, 62, 172, 126);
    if (envelopeEditor != nullptr)
        envelopeEditor->setBounds (232, 62, 280, 234);
}

} // namespace quillon::ui::widgets
