#pragma once

#include "widgets/ChoiceControls.h"
#include "widgets/Frames.h"
#include "widgets/Knob.h"

#include "engine/VoiceCodes.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

class QuillonAudioProcessor;

namespace quillon::ui::widgets
{

/** Labels, parameter IDs and the modulation destination of the drive section. */
struct DriveSectionSpec
{
    juce::String title, modeLabel, amountLabel, mixLabel, modeId, amountId, mixId;
    ModDestination amountDestination = ModDestination::off;
};

/** The drive section as the processor has it. */
class DriveSectionDescription
{
public:
    explicit DriveSectionDescription (QuillonAudioProcessor& p) : processor (p) {}
    DriveSectionSpec getSpec() const;

private:
    QuillonAudioProcessor& processor;
};

/** The current drive transfer curve; a vertical drag sets the drive amount and a double-click types it. */
class DriveThumbnail : public juce::Component
{
public:
    explicit DriveThumbnail (juce::AudioProcessorValueTreeState& state);
    ~DriveThumbnail() override;

    bool isDragging() const noexcept { return dragging; }
    juce::TextEditor* getInlineEditor() const noexcept { return inlineEditor.get(); }

    /** Writes the typed value and closes the inline editor; Return and focus loss end up here. */
    void commitInlineEdit();
    /** Closes the inline editor without writing; Escape ends up here. */
    void cancelInlineEdit();

    /** The drive stage's transfer curve over inputs -1..1 at the current mode and amount, its largest
        value drawn at 45% of the plot's height each side of the centre line. */
    juce::Path getCurve() const;
    static constexpr int curvePoints = 96;

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void mouseDoubleClick (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;

private:
    class ParamListener : public juce::AudioProcessorValueTreeState::Listener
    {
    public:
        explicit ParamListener (DriveThumbnail& t) : thumbnail (&t) {}
        void parameterChanged (const juce::String&, float) override;

    private:
        juce::Component::SafePointer<DriveThumbnail> thumbnail;
    };

    void closeInlineEditor();

    juce::AudioProcessorValueTreeState* state;
    juce::RangedAudioParameter* driveParameter = nullptr;
    juce::RangedAudioParameter* modeParameter = nullptr;
    std::unique_ptr<ParamListener> listener;
    bool dragging = false;
    int dragStartY = 0;
    double dragStartValue = 0.0;
    std::unique_ptr<juce::TextEditor> inlineEditor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DriveThumbnail)
};

/** The drive panel: transfer-curve thumbnail, mode choice, amount, mix and feedback. */
class DriveCard : public larkspur::widgets::BypassablePanel
{
public:
    DriveCard (juce::AudioProcessorValueTreeState& state, QuillonAudioProcessor& processor);
    ~DriveCard() override;

    DriveThumbnail& getThumbnail() { return *thumbnail; }
    larkspur::widgets::ChoiceDropdown& getModeDropdown() { return *modeDropdown; }
    larkspur::widgets::FieldBox& getModeBox() { return *modeBox; }
    larkspur::widgets::Knob& getAmountKnob() { return *amountKnob; }
    larkspur::widgets::Knob& getMixKnob() { return *mixKnob; }
    larkspur::widgets::Knob& getFeedbackKnob() { return *feedbackKnob; }

    void resized() override;

private:
    std::unique_ptr<DriveSectionDescription> section;
    juce::AudioProcessorValueTreeState& state;
    std::unique_ptr<DriveThumbnail> thumbnail;
    std::unique_ptr<larkspur::widgets::ChoiceDropdown> modeDropdown;
    std::unique_ptr<larkspur::widgets::FieldBox> modeBox;
    std::unique_ptr<larkspur::widgets::Knob> amountKnob, mixKnob, feedbackKnob;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> amountAttachment, mixAttachment,
        feedbackAttachment;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DriveCard)
};

} // namespace quillon::ui::widgets
