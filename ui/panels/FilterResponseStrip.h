#pragma once

#include "DragGestures.h"
#include "engine/VoiceCodes.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <memory>

namespace quillon::ui::widgets
{

/** An illustration of the selected filter model's magnitude response on a log-frequency / dB grid,
    with a cutoff/resonance handle and, optionally, the filter envelope's shape and shifted curve. */
class FilterResponseStrip : public juce::Component,
                            private juce::Timer
{
public:
    explicit FilterResponseStrip (juce::AudioProcessorValueTreeState& state);
    ~FilterResponseStrip() override;

    void setShowEnvelope (bool shouldShow);
    bool isShowingEnvelope() const noexcept { return showEnvelope; }

    /** Rebuilds the curves when a response parameter moved; repaints when anything moved. */
    void refresh();

    juce::Rectangle<int> getPlotArea() const noexcept { return plotArea; }
    juce::Point<float> getCutoffHandle() const;
    /** Attack peak, decay end, sustain end and release end of the envelope overlay. */
    std::array<juce::Point<float>, 4> getEnvelopePoints() const;
    const juce::Path& getResponsePath() const noexcept { return responsePath; }
    const juce::Path& getEnvelopePath() const noexcept { return envelopePath; }
    int getDragTarget() const noexcept { return dragTarget; }

    /** Magnitude of the drawn response at a frequency (linear, 1 = 0 dB). */
    static float responseMagnitude (float frequency, float cutoffHz, float resonance, int filterModel);
    float xForFrequency (float frequency) const;
    float yForLevel (float decibels) const;

    void paint (juce::Graphics&) override;
    void resized() override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;

private:
    class ParamListener : public juce::AudioProcessorValueTreeState::Listener
    {
    public:
        explicit ParamListener (FilterResponseStrip& s) : strip (&s) {}
        void parameterChanged (const juce::String&, float) override;

    private:
        juce::Component::SafePointer<FilterResponseStrip> strip;
    };

    enum Index { cutoffIndex, resoIndex, amountIndex, modelIndex, attackIndex, decayIndex, sustainIndex, releaseIndex, numParameters };

    void timerCallback() override { refresh(); }
    juce::Path buildResponse (float cutoffHz, float resonance, int filterModel) const;
    float normalised (int index) const;
    float plainValue (int index) const;

    juce::AudioProcessorValueTreeState& state;
    std::unique_ptr<ParamListener> listener;
    std::array<juce::RangedAudioParameter*, numParameters> parameters {};
    std::array<float, numParameters> cached;
    juce::Path responsePath, envelopePath;
    bool showEnvelope = true;
    int dragTarget = 0;
    juce::Point<int> dragStart;
    float dragStartValue = 0.0f;
    DragGestures gestures;
    juce::Rectangle<int> plotArea;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FilterResponseStrip)
};

/** A round on/off toggle bound to one bool parameter. */
class EnableDot : public juce::Component,
                  private juce::Timer
{
public:
    EnableDot (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId,
               const juce::String& accessibleTitle, const juce::String& helpText, int refreshHz);
    ~EnableDot() override;

    bool isOn() const;

    void paint (juce::Graphics&) override;
    void mouseDown (const juce::MouseEvent&) override;
    bool keyPressed (const juce::KeyPress&) override;

private:
    void timerCallback() override;
    void toggle();

    juce::AudioParameterBool* parameter = nullptr;
    bool lastOn = true;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EnableDot)
};

} // namespace quillon::ui::widgets
