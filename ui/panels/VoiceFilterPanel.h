#pragma once

#include "AdsrEnvelopeEditor.h"
#include "FilterResponseStrip.h"

#include "widgets/ChoiceControls.h"
#include "widgets/Frames.h"
#include "widgets/Knob.h"

#include <memory>

class QuillonAudioProcessor;

namespace quillon::ui::widgets
{

/** The main filter: response plot, filter envelope with its amount knob, model choice, enable dot,
    cutoff and resonance, and the phase model's mix and notch. */
class VoiceFilterPanel : public larkspur::widgets::BypassablePanel,
                         private juce::Timer
{
public:
    VoiceFilterPanel (juce::AudioProcessorValueTreeState& state, QuillonAudioProcessor& processor);
    ~VoiceFilterPanel() override;

    /** Follows "filterEnabled" (bypass look) and "filterModel" (phase controls). */
    void refreshFromParameters();

    FilterResponseStrip& getResponseStrip() { return *responseStrip; }
    AdsrEnvelopeEditor& getEnvelopeEditor() { return *envelopeEditor; }
    larkspur::widgets::HeaderChoice& getModelChoice() { return *modelChoice; }
    EnableDot& getEnableDot() { return *enableDot; }
    larkspur::widgets::Knob& getCutoffKnob() { return *cutoffKnob; }
    larkspur::widgets::Knob& getResonanceKnob() { return *resonanceKnob; }
    larkspur::widgets::Knob& getPhaseKnob() { return *phaseKnob; }
    larkspur::widgets::Knob& getNotchKnob() { return *notchKnob; }
    larkspur::widgets::Knob& getEnvelopeKnob() { return *envelopeKnob; }

    void resized() override;

private:
    void timerCallback() override { refreshFromParameters(); }

    juce::AudioProcessorValueTreeState& state;
    std::unique_ptr<FilterResponseStrip> responseStrip;
    std::unique_ptr<AdsrEnvelopeEditor> envelopeEditor;
    std::unique_ptr<larkspur::widgets::HeaderChoice> modelChoice;
    std::unique_ptr<EnableDot> enableDot;
    std::unique_ptr<larkspur::widgets::Knob> cutoffKnob, resonanceKnob, phaseKnob, notchKnob, envelopeKnob;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> cutoffAttachment, resonanceAttachment,
        phaseAttachment, notchAttachment, envelopeAttachment;
    bool lastEnabled = true;
    bool showPhaseControls = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VoiceFilterPanel)
};

} // namespace quillon::ui::widgets
