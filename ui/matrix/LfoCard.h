#pragma once

#include "SourceChip.h"
#include "widgets/ChoiceControls.h"
#include "widgets/Frames.h"
#include "widgets/Knob.h"
#include "widgets/ValueControls.h"

#include <memory>

class QuillonAudioProcessor;

namespace quillon::ui::widgets
{

/** Two cycles of the LFO's shape, scrolling at its rate; dragging it sets rate (across) and depth (up). */
class LfoPreviewStrip : public juce::Component, private juce::Timer
{
public:
    explicit LfoPreviewStrip (juce::AudioProcessorValueTreeState& state);
    ~LfoPreviewStrip() override;

    float getDisplayPhase() const noexcept { return displayPhase; }
    bool isDragging() const noexcept { return dragging; }

    /** Cycles per second the preview scrolls at, from the rate, sync and tempo parameters. */
    float getCyclesPerSecond() const;

    /** The level of one sample-and-hold cycle, -1..1; the same for the same cycle every time. */
    static float sampleAndHoldLevel (double phase);

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    void timerCallback() override;

    /** Moves the curve on by the time passed, at the LFO's rate, sounding or not; repaints only when
        it has moved a pixel or changed shape or depth, and only while it is on screen. */
    void advance (double seconds);

    /** Visible all the way up, and the window (when there is one) not minimised. */
    bool isOnScreen() const;

    /** How often the preview looks at the time and its parameters: as often as the curve moves a
        pixel, within these bounds. It repaints at most this often. */
    static constexpr int pollHz = 15;
    static constexpr int minimumPollHz = 8;

private:
    juce::RangedAudioParameter* rate;
    juce::RangedAudioParameter* depth;
    juce::RangedAudioParameter* shape;
    juce::RangedAudioParameter* sync;
    juce::RangedAudioParameter* syncBpm;
    float displayPhase = 0.0f;
    float paintedPhase = -1.0f;
    float shownShape = -2.0f, shownDepth = -2.0f;
    double lastTickMs = 0.0;
    int currentPollHz = pollHz;
    bool dragging = false;
    int dragStartX = 0, dragStartY = 0;
    float dragStartRate = 0.0f, dragStartDepth = 0.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LfoPreviewStrip)
};

/** The LFO panel: shape, free or synced mode, rate and depth knobs, preview and the LFO source chip. */
class LfoCard : public larkspur::widgets::SectionFrame
{
public:
    LfoCard (juce::AudioProcessorValueTreeState& state, QuillonAudioProcessor& processor);
    ~LfoCard() override;

    void resized() override;

    /** "1.50 Hz", "12.5 Hz", or the tempo division ("1/16") while synced. */
    juce::String formatRate (double hz) const;
    static juce::String formatDepth (double value);

    larkspur::widgets::Knob& getRateKnob() noexcept { return *rateKnob; }
    larkspur::widgets::Knob& getDepthKnob() noexcept { return *depthKnob; }
    SourceChip& getSourceChip() noexcept { return *sourceChip; }
    LfoPreviewStrip& getPreview() noexcept { return *preview; }
    larkspur::widgets::SegmentedControl* getShapeControl() noexcept { return shapeControl.get(); }
    larkspur::widgets::HeaderChoice& getModeDropdown() noexcept { return *modeDropdown; }
    larkspur::widgets::SectionTitle& getTitle() noexcept { return *title; }

private:
    juce::AudioProcessorValueTreeState& state;
    std::unique_ptr<larkspur::widgets::SectionTitle> title;
    std::unique_ptr<SourceChip> sourceChip;
    std::unique_ptr<LfoPreviewStrip> preview;
    std::unique_ptr<larkspur::widgets::SegmentedControl> shapeControl;
    std::unique_ptr<larkspur::widgets::HeaderChoice> modeDropdown;
    std::unique_ptr<larkspur::widgets::Knob> rateKnob, depthKnob;
    std::unique_ptr<larkspur::widgets::KnobRow> knobRow;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> rateAttachment, depthAttachment;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LfoCard)
};

/** Tempo division index 0..9 for a normalised rate position. */
int syncDivisionIndex (float normalisedRate);

} // namespace quillon::ui::widgets
