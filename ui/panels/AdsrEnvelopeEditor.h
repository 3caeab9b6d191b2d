#pragma once

#include "DragGestures.h"

#include "widgets/Knob.h"
#include "widgets/ValueControls.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <memory>

namespace quillon::ui::widgets
{

/** An ADSR envelope as a graph with four handles, a row of four knobs, or both. The graph shows
    normalised parameter positions, not times. */
class AdsrRow : public juce::Component,
                private juce::Timer
{
public:
    AdsrRow (juce::AudioProcessorValueTreeState& state, const juce::String& attackId, const juce::String& decayId,
             const juce::String& sustainId, const juce::String& releaseId);
    ~AdsrRow() override;

    void setGraphOnly (bool shouldBeGraphOnly);
    void setShowGraph (bool shouldShowGraph);
    void setGraphHeightRange (int minimum, int maximum);
    void setLabels (const juce::String& attack, const juce::String& decay, const juce::String& sustain,
                    const juce::String& release);

    larkspur::widgets::Knob& getKnob (int index) { return *knobs[(size_t) index]; }
    larkspur::widgets::KnobRow& getKnobRow() { return *knobRow; }
    bool isGraphOnly() const noexcept { return graphOnly; }
    bool isShowingGraph() const noexcept { return showGraph; }
    int getMinimumGraphHeight() const noexcept { return minimumGraphHeight; }
    int getMaximumGraphHeight() const noexcept { return maximumGraphHeight; }
    int getDragHandle() const noexcept { return dragHandle; }

    /** Where the graph is drawn, in local coordinates; empty when the row shows no graph. */
    juce::Rectangle<float> getGraphArea() const;
    /** Attack peak, decay end, sustain end and release end, as drawn. */
    std::array<juce::Point<float>, 4> getHandlePositions() const;

    /** Reads the parameters now, as the timer does. */
    void refreshFromParameters() { timerCallback(); }

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    void resized() override;

private:
    void timerCallback() override;
    float shownValue (int index) const;
    bool graphFillsRow() const;

    std::array<juce::RangedAudioParameter*, 4> parameters {};
    std::array<std::unique_ptr<larkspur::widgets::Knob>, 4> knobs;
    std::unique_ptr<larkspur::widgets::KnobRow> knobRow;
    std::array<std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment>, 4> attachments;
    std::array<juce::String, 4> labels { "ATTACK", "DECAY", "SUSTAIN", "RELEASE" };
    std::array<float, 4> shownValues { -1.0f, -1.0f, -1.0f, -1.0f };
    bool showGraph = true;
    bool graphOnly = false;
    int minimumGraphHeight = 48;
    int maximumGraphHeight = 72;
    int dragHandle = 0;
    float dragStartX = 0.0f, dragStartY = 0.0f;
    std::array<float, 4> dragStartValues {};
    DragGestures gestures;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AdsrRow)
};

/** One envelope edited as a graph above a knob row, with an optional accessory (a knob) at the
    left of the row. */
class AdsrEnvelopeEditor : public juce::Component
{
public:
    AdsrEnvelopeEditor (juce::AudioProcessorValueTreeState& state, const juce::String& attackId,
                        const juce::String& decayId, const juce::String& sustainId, const juce::String& releaseId);
    ~AdsrEnvelopeEditor() override;

    void setGraphHeightRange (int minimum, int maximum);
    void setRowLabels (const juce::String& attack, const juce::String& decay, const juce::String& sustain,
                       const juce::String& release);
    void setAccessory (juce::Component* newAccessory);
    void setAccessoryGap (int gap);
    void setDefaultAdsrFormatters();

    AdsrRow& getGraphRow() noexcept { return *graphRow; }
    AdsrRow& getKnobRow() noexcept { return *knobRow; }
    juce::Component* getAccessory() const noexcept { return accessory; }

    void resized() override;

private:
    std::unique_ptr<AdsrRow> graphRow;
    std::unique_ptr<AdsrRow> knobRow;
    juce::Component* accessory = nullptr;
    int accessoryGap = 8;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AdsrEnvelopeEditor)
};

} // namespace quillon::ui::widgets
