#pragma once

#include "ChoiceControls.h"

#include <functional>
#include <vector>

namespace larkspur::widgets
{

/** A rounded card. It ignores clicks itself; its children do not. */
class SectionFrame : public juce::Component
{
public:
    SectionFrame();

    void setFillColourId (int colourId);
    void setBorderColourId (int colourId);
    juce::Colour getFillColour() const noexcept { return fillColour; }
    juce::Colour getBorderColour() const noexcept { return borderColour; }

    /** Optional content laid out inside the inset; not owned. */
    void setContent (juce::Component* newContent);

    void paint (juce::Graphics&) override;
    void resized() override;

private:
    int inset = 12;
    juce::Colour fillColour;
    juce::Colour borderColour;
    float cornerRadius = 4.0f;
    float borderThickness = 0.0f;
    juce::Component::SafePointer<juce::Component> content;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SectionFrame)
};

/** A 44 px title strip whose status text at the right can act as a button. */
class SectionHeader : public juce::Component, public juce::SettableTooltipClient
{
public:
    SectionHeader();

    void setText (const juce::String& newText);
    const juce::String& getText() const noexcept { return text; }
    void setStatusText (const juce::String& newStatus);
    const juce::String& getStatusText() const noexcept { return statusText; }
    void setTextStyle (int style);
    int getTextStyle() const noexcept { return textStyle; }

    /** Set it when the header sits on a surface other than the toolkit's, so the title stays readable. */
    static constexpr int titleColourId = 0x51b0001;
    bool isHovered() const noexcept { return hover; }

    /** Where the status text sits as of the last paint; empty without a status text. */
    juce::Rectangle<int> getActionArea() const noexcept { return actionArea; }
    /** Where the title text sits as of the last paint. */
    juce::Rectangle<int> getTitleArea() const noexcept { return titleArea; }

    std::function<void()> action;
    juce::String actionTooltip;

    void mouseMove (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void focusGained (FocusChangeType) override;
    void focusLost (FocusChangeType) override;

private:
    void setHover (bool shouldHover);

    juce::String text;
    juce::String statusText;
    bool hover = false;
    int textStyle = 2;
    juce::Rectangle<int> actionArea;
    juce::Rectangle<int> titleArea;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SectionHeader)
};

/** A header used as a panel title: large type, transparent to the mouse. */
class SectionTitle : public SectionHeader
{
public:
    explicit SectionTitle (const juce::String& text);
};

/** A card with a title strip; its registered children dim while the panel is bypassed. */
class BypassablePanel : public SectionFrame
{
public:
    explicit BypassablePanel (const juce::String& titleText);

    SectionTitle& getTitle() noexcept { return title; }

    /** Registers a child for dimming; the owner adds it to the component tree. */
    void addBypassableChild (juce::Component* child);
    void setPanelEnabled (bool shouldBeEnabled);
    bool isPanelEnabled() const noexcept { return enabled; }

    void resized() override;

    static constexpr float bypassedAlpha = 0.4f;

private:
    SectionTitle title;
    std::vector<juce::Component::SafePointer<juce::Component>> bypassableChildren;
    bool enabled = true;
    int controlAreaWidth = 48;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BypassablePanel)
};

/** A label above (or, inline, beside) one control it does not own. */
class FieldBox : public juce::Component
{
public:
    explicit FieldBox (const juce::String& labelText);

    void setContent (juce::Component* newContent);
    juce::Component* getContent() const noexcept { return content.getComponent(); }
    void setFlag (bool shouldBeInline);
    bool isInline() const noexcept { return inlineLayout; }
    const juce::String& getLabel() const noexcept { return label; }

    /** The band the label is drawn in. */
    juce::Rectangle<int> getLabelArea() const;

    void paint (juce::Graphics&) override;
    void resized() override;

private:
    juce::String label;
    juce::Justification labelJustification { juce::Justification::centredLeft };
    juce::Component::SafePointer<juce::Component> content;
    bool inlineLayout = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FieldBox)
};

class SegmentField : public FieldBox
{
public:
    SegmentField (const juce::String& labelText, SegmentedControl& control);
};

} // namespace larkspur::widgets
