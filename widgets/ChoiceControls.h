#pragma once

#include "WidgetTheme.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>
#include <memory>
#include <vector>

namespace larkspur::widgets
{

/** A combo box filled from a choice parameter (items upper-cased), or filled by its owner. */
class ChoiceDropdown : public juce::Component
{
public:
    ChoiceDropdown (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId, const juce::String& label);
    explicit ChoiceDropdown (const juce::String& label);
    ~ChoiceDropdown() override;

    void setLabel (const juce::String& label);

    void addItem (const juce::String& text, int itemId)  { comboBox.addItem (text, itemId); }
    juce::ComboBox& getComboBox() noexcept               { return comboBox; }
    int getSelectedId() const                            { return comboBox.getSelectedId(); }
    void setSelectedId (int itemId, juce::NotificationType notification = juce::sendNotificationAsync)
    {
        comboBox.setSelectedId (itemId, notification);
    }
    void setJustification (juce::Justification justification) { comboBox.setJustificationType (justification); }

    void setCompact (bool shouldBeCompact);
    bool isCompact() const;
    int getIdealWidth() const;

    void resized() override;

private:
    juce::ComboBox comboBox;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ComboBoxAttachment> attachment;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ChoiceDropdown)
};

/** The compact dropdown of title strips. */
class HeaderChoice : public ChoiceDropdown
{
public:
    HeaderChoice (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId, const juce::String& label);
};

/** One toggle cell of a SegmentedControl: upper-case text, or a stroked glyph. */
class SegmentCell : public juce::Button
{
public:
    explicit SegmentCell (const juce::String& cellText);

    int getIdealWidth() const;
    void setGlyph (const juce::Path& glyph, juce::Rectangle<float> glyphBox);

    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

private:
    juce::Path glyph;
    juce::Rectangle<float> glyphBox;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SegmentCell)
};

/** A row of radio cells bound to a choice parameter. */
class SegmentedControl : public juce::Component
{
public:
    SegmentedControl (juce::AudioParameterChoice& parameter, const juce::StringArray& labels);
    ~SegmentedControl() override;

    /** Called with the index the user picked (not for changes made elsewhere). */
    std::function<void (int)> onChange;

    void selectIndex (int index);
    void refreshSelection();
    void setGap (int spacingToken);
    int getGap() const noexcept { return gap; }
    int getNaturalWidth() const noexcept { return naturalWidth; }
    int getRadioGroupId() const noexcept { return radioGroupId; }

    int getNumCells() const noexcept { return (int) cells.size(); }
    SegmentCell* getCell (int index) const;

    void resized() override;

private:
    class ParamListener : public juce::AudioProcessorParameter::Listener
    {
    public:
        ParamListener (juce::AudioProcessorParameter& parameter, std::function<void()> refresh);
        ~ParamListener() override;

        void parameterValueChanged (int parameterIndex, float newValue) override;
        void parameterGestureChanged (int, bool) override {}

    private:
        juce::AudioProcessorParameter& parameter;
        const std::function<void()> refresh;
    };

    juce::AudioParameterChoice* parameter;
    std::vector<std::unique_ptr<SegmentCell>> cells;
    std::vector<int> naturalWidths;
    int gap = 0;
    int naturalWidth = 0;
    int radioGroupId;
    std::unique_ptr<ParamListener> listener;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SegmentedControl)
};

struct RouteOption
{
    juce::String label;
    juce::String description;
};

/** A two-option box: a discrete switch, or in blend mode a 0..1 amount between the options. */
class RouteSwitch : public juce::Component, public juce::SettableTooltipClient
{
public:
    enum Mode
    {
        discrete = 0,
        blend = 1
    };

    RouteSwitch (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId, int mode,
                 RouteOption option0, RouteOption option1);
    ~RouteSwitch() override;

    int getIndex() const;
    void setIndex (int index);
    void refresh();

    /** The text the box shows for the parameter's current value. */
    juce::String getDisplayText() const;
    bool isSelected() const;

    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override;
    void paint (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;

private:
    class ParamListener : public juce::AudioProcessorValueTreeState::Listener
    {
    public:
        explicit ParamListener (RouteSwitch& owner);
        void parameterChanged (const juce::String& parameterId, float newValue) override;

    private:
        const juce::Component::SafePointer<juce::Component> owner;
    };

    float getBlendValue() const;
    void setBlendValue (float value);
    void nudgeBlend (float delta);
    float blendValueAt (float x) const;

    juce::AudioProcessorValueTreeState* state;
    juce::String parameterId;
    int mode;
    RouteOption options[2];
    juce::String accessibleTitle;
    juce::RangedAudioParameter* parameter;
    std::unique_ptr<ParamListener> listener;
    bool hover = false, pressed = false, dragging = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RouteSwitch)
};

} // namespace larkspur::widgets
