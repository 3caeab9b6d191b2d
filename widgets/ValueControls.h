#pragma once

#include "Knob.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>
#include <memory>
#include <vector>

namespace larkspur::widgets
{

/** A compact vertical-drag value field with a caption and step chevrons. */
class ValueChip : public juce::Slider // already a juce::SettableTooltipClient
{
public:
    ValueChip (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId, const juce::String& label);
    ValueChip();
    ~ValueChip() override;

    void attachToParameter (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId);
    void setTitleText (const juce::String& newTitle);
    void setShowStepArrows (bool shouldShow);
    void setValueFormatter (std::function<juce::String (double)> formatter);
    juce::String getValueText() const;
    const juce::String& getLabel() const noexcept { return label; }
    bool isHovered() const noexcept { return hover; }
    bool isPressed() const noexcept { return pressed; }

    struct Layout
    {
        bool showsArrows = false;
        juce::Point<float> arrowCentre;
        juce::Rectangle<int> labelArea;
        juce::Rectangle<int> valueArea;
    };

    Layout getLayout() const;

    /** +1 for a point on the upper chevron, -1 on the lower one, 0 elsewhere or without arrows. */
    int stepDirectionAt (juce::Point<float> position) const;
    /** One step of the parameter (1 % of the travel for a continuous one), as one change gesture. */
    void stepValue (int direction);

    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void mouseDoubleClick (const juce::MouseEvent&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void paint (juce::Graphics&) override;

private:
    void updateAccessibleTitle();
    bool arrowPress = false;

    juce::String label;
    juce::String title;
    std::function<juce::String (double)> valueFormatter;
    bool showStepArrows = true;
    bool hover = false, pressed = false;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> attachment;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ValueChip)
};

/** A signed -1..1 amount bar with a percentage readout. It writes nothing itself: its owner does,
    through the three callbacks. */
class BipolarBar : public juce::Component, public juce::SettableTooltipClient
{
public:
    BipolarBar();

    std::function<void()> onGestureBegin;
    std::function<void (float)> onValueChanged;
    std::function<void()> onGestureEnd;

    void setWidthVariant (int variant);
    int getBarWidth() const noexcept { return barWidth; }
    void setInteractive (bool shouldBeInteractive);
    bool isInteractive() const noexcept { return interactive; }

    void setValue (float newValue);
    void setValueFromUser (float newValue);
    float getValue() const noexcept { return value; }

    juce::String getReadoutText() const;
    juce::Rectangle<int> getReadoutArea() const;

    /** Set it when the bar sits on a surface other than the toolkit's, so the readout stays readable. */
    static constexpr int readoutColourId = 0x51c0001;

    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void mouseDoubleClick (const juce::MouseEvent&) override;
    void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override;
    void paint (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;
    // The focus outline comes and goes with the focus.
    void focusGained (FocusChangeType) override { repaint(); }
    void focusLost (FocusChangeType) override { repaint(); }

private:
    void setValueFromX (float x);
    void applyAsGesture (float newValue);

    float value = 0.0f;
    int barWidth = 252;
    bool interactive = false;
    bool pressed = false, hover = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BipolarBar)
};

/** A toggle tab. */
class Tab : public juce::Button
{
public:
    explicit Tab (const juce::String& tabText);

    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Tab)
};

/** Lays out up to eight knobs (not owned) in equal cells. */
class KnobRow : public juce::Component
{
public:
    static constexpr int maxKnobs = 8;

    explicit KnobRow (int sizeVariant);

    void setKnobs (const std::vector<juce::Component*>& knobs);
    void setGap (int spacingToken);
    int getGap() const noexcept { return gap; }
    int getCount() const noexcept { return (int) children.size(); }

    void resized() override;

private:
    int sizeVariant;
    std::vector<juce::Component::SafePointer<juce::Component>> children;
    int gap = 12;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KnobRow)
};

} // namespace larkspur::widgets
