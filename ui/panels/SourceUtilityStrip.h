#pragma once

#include "widgets/ChoiceControls.h"
#include "widgets/Frames.h"
#include "widgets/ValueControls.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

class QuillonAudioProcessor;

namespace quillon::ui::widgets
{

/** The sub oscillator (wave, route, level, drive send) and the noise source (colour, route, level). */
class SourceUtilityStrip : public juce::Component,
                           private juce::AudioProcessorValueTreeState::Listener
{
public:
    explicit SourceUtilityStrip (QuillonAudioProcessor& processor);
    ~SourceUtilityStrip() override;

    /** Shows the current sub mode and wave as one item of the wave list. */
    void refreshSubWave();
    /** Writes the sub mode and wave for the item the wave list shows. */
    void selectSubWave();

    larkspur::widgets::ChoiceDropdown& getSubWaveDropdown() { return *subWave; }
    larkspur::widgets::FieldBox& getSubWaveBox() { return *subWaveBox; }
    larkspur::widgets::SegmentField* getSubRouteField() { return subRouteField.get(); }
    larkspur::widgets::SegmentField* getNoiseColourField() { return noiseColourField.get(); }
    larkspur::widgets::FieldBox& getNoiseRouteBox() { return *noiseRouteBox; }
    larkspur::widgets::FieldBox& getSubLevelBox() { return *subLevelBox; }
    larkspur::widgets::FieldBox& getSubDirtBox() { return *subDirtBox; }
    larkspur::widgets::FieldBox& getNoiseLevelBox() { return *noiseLevelBox; }
    larkspur::widgets::ValueChip& getSubLevelChip() { return *subLevel; }
    larkspur::widgets::ValueChip& getSubDriveSendChip() { return *subDriveSend; }
    larkspur::widgets::ValueChip& getNoiseLevelChip() { return *noiseLevel; }

    void resized() override;

private:
    void parameterChanged (const juce::String& parameterId, float newValue) override;

    // Made here, on the message thread: the listener may run on the audio thread, where a
    // component's weak reference must not be created.
    juce::Component::SafePointer<SourceUtilityStrip> safeThis { this };

    juce::AudioProcessorValueTreeState& state;
    std::unique_ptr<larkspur::widgets::SectionFrame> subFrame, noiseFrame;
    std::unique_ptr<larkspur::widgets::SectionTitle> subTitle, noiseTitle;
    std::unique_ptr<larkspur::widgets::ChoiceDropdown> subWave;
    std::unique_ptr<larkspur::widgets::FieldBox> subWaveBox;
    std::unique_ptr<larkspur::widgets::SegmentedControl> subRoute;
    std::unique_ptr<larkspur::widgets::SegmentField> subRouteField;
    std::unique_ptr<larkspur::widgets::SegmentedControl> noiseColour;
    std::unique_ptr<larkspur::widgets::SegmentField> noiseColourField;
    std::unique_ptr<larkspur::widgets::RouteSwitch> noiseRoute;
    std::unique_ptr<larkspur::widgets::FieldBox> noiseRouteBox;
    std::unique_ptr<larkspur::widgets::FieldBox> subLevelBox, subDirtBox, noiseLevelBox;
    std::unique_ptr<larkspur::widgets::ValueChip> subLevel, subDriveSend, noiseLevel;
    bool updatingWaveList = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SourceUtilityStrip)
};

} // namespace quillon::ui::widgets
