#pragma once

#include "widgets/ChoiceControls.h"
#include "widgets/Frames.h"
#include "widgets/Knob.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>
#include <memory>

namespace quillon::ui::hidden
{

/** Adds "<label>  ·  <current choice>" with one ticked item per choice of a choice parameter;
    nothing for a missing or non-choice ID. afterChoice runs once the chosen value is written. */
void addChoiceSubmenu (juce::PopupMenu& menu, juce::AudioProcessorValueTreeState& tree,
                       const juce::String& parameterId, const juce::String& label,
                       std::function<void()> afterChoice = {});

} // namespace quillon::ui::hidden

namespace quillon::ui::widgets
{

/** How oscillator 2 relates to oscillator 1: detune (cents or hertz), phase offset, drift and width. */
class DetuneBar : public larkspur::widgets::SectionFrame,
                  private juce::AudioProcessorValueTreeState::Listener
{
public:
    explicit DetuneBar (juce::AudioProcessorValueTreeState& state);
    ~DetuneBar() override;

    const juce::String& getBoundDetuneId() const noexcept { return boundDetuneId; }
    larkspur::widgets::Knob& getDetuneKnob() { return *detuneKnob; }
    larkspur::widgets::Knob& getPhaseKnob() { return *phaseKnob; }
    larkspur::widgets::Knob& getDriftKnob() { return *driftKnob; }
    larkspur::widgets::Knob& getStereoKnob() { return *stereoKnob; }
    larkspur::widgets::SegmentField* getUnitField() { return unitField.get(); }
    larkspur::widgets::SegmentedControl* getUnitSwitch() { return unitSwitch.get(); }
    larkspur::widgets::FieldBox& getPhaseModeBox() { return *phaseModeBox; }
    larkspur::widgets::SectionTitle& getTitle() { return *title; }

    void resized() override;

private:
    void parameterChanged (const juce::String& parameterId, float newValue) override;

    // The user picked a unit: the detune is carried over into it. Loads, restores and automation
    // change the mode with the detune values that belong to it, so they only rebind the knob.
    void userChangedUnit() { syncDetuneBinding (true); }

    // Made here, on the message thread: the listener may run on the audio thread, where a
    // component's weak reference must not be created.
    juce::Component::SafePointer<DetuneBar> safeThis { this };
    void syncDetuneBinding (bool convertValue);

    juce::AudioProcessorValueTreeState& state;
    std::unique_ptr<larkspur::widgets::SectionTitle> title;
    std::unique_ptr<larkspur::widgets::Knob> detuneKnob, phaseKnob, driftKnob, stereoKnob;
    std::unique_ptr<larkspur::widgets::SegmentField> unitField;
    std::unique_ptr<larkspur::widgets::FieldBox> phaseModeBox;
    std::unique_ptr<larkspur::widgets::SegmentedControl> unitSwitch;
    std::unique_ptr<larkspur::widgets::ChoiceDropdown> phaseModeDropdown;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> detuneAttachment, phaseAttachment,
        driftAttachment, stereoAttachment;
    juce::String boundDetuneId;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DetuneBar)
};

} // namespace quillon::ui::widgets
