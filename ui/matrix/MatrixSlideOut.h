#pragma once

#include "widgets/ChoiceControls.h"
#include "widgets/Frames.h"
#include "widgets/ValueControls.h"

#include <array>
#include <functional>
#include <memory>

class QuillonAudioProcessor;

namespace quillon::ui::widgets
{

/** Short source names by matrix source code: "OFF", "VEL" .. "BEAT". */
extern const juce::StringArray shortSourceLabels;

/** The palette colour of a matrix source code; off and unknown codes get text.tertiary. */
juce::Colour sourceColourForCode (int sourceCode);

/** Flat command look: transparent button and outline colours, the two text colours given. */
void styleCommandButton (juce::Component& button, int textOffSlot, int textOnSlot);

/** A command button showing "✕". The cross is drawn as a path: the editor's typefaces have no such
    glyph, and the text would otherwise vanish. The text stays for the accessible name. */
class CrossButton : public juce::TextButton
{
public:
    CrossButton();

    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
};

/** One slot of the modulation matrix: source pill, destination, signed amount, curve and clear. */
class RoutingRow : public juce::Component
{
public:
    RoutingRow (juce::AudioProcessorValueTreeState& state, int slot);
    ~RoutingRow() override;

    /** Called with the slot's destination code while the pointer moves over the row. */
    std::function<void (int)> onDestinationHover;

    void showSourceMenu();
    juce::PopupMenu buildSourceMenu() const;
    void handleSourceMenuResult (int itemId);

    void refreshSource();
    void refreshAmount();
    void clearSlot();

    void paint (juce::Graphics&) override;
    void resized() override;

    class SourcePill : public juce::Button
    {
    public:
        SourcePill();

        void setSource (const juce::String& label, int sourceCode, bool off);
        const juce::String& getLabel() const noexcept { return label; }
        juce::Colour getColour() const { return sourceColourForCode (sourceCode); }
        bool isOff() const noexcept { return off; }

        void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    private:
        int sourceCode = 0;
        juce::String label { "OFF" };
        bool off = true;
    };

    // Test access to the children.
    SourcePill& getSourcePill() noexcept { return *sourcePill; }
    larkspur::widgets::ChoiceDropdown& getDestinationDropdown() noexcept { return *destinationDropdown; }
    larkspur::widgets::BipolarBar& getAmountBar() noexcept { return amountBar; }
    larkspur::widgets::SegmentedControl* getCurveControl() noexcept { return curveControl.get(); }
    juce::TextButton& getClearButton() noexcept { return clearButton; }
    int getSlot() const noexcept { return slot; }
    juce::MouseListener& getHoverRelay() noexcept { return *hoverRelay; }

private:
    class ParamListener : public juce::AudioProcessorParameter::Listener
    {
    public:
        ParamListener (juce::AudioProcessorParameter& parameter, std::function<void()> callback);
        ~ParamListener() override;

        void parameterValueChanged (int, float) override;
        void parameterGestureChanged (int, bool) override {}

    private:
        juce::AudioProcessorParameter& parameter;
        const std::function<void()> callback;
    };

    class HoverRelay : public juce::MouseListener
    {
    public:
        explicit HoverRelay (RoutingRow& owner) : row (owner) {}

        void mouseMove (const juce::MouseEvent&) override  { row.relayHover(); }
        void mouseEnter (const juce::MouseEvent&) override { row.relayHover(); }

    private:
        RoutingRow& row;
    };

    void relayHover();
    juce::AudioParameterChoice* sourceParameter() const;
    juce::RangedAudioParameter* amountParameter() const;

    juce::AudioProcessorValueTreeState& state;
    const int slot;
    const juce::String slotText;
    std::unique_ptr<SourcePill> sourcePill;
    std::unique_ptr<larkspur::widgets::ChoiceDropdown> destinationDropdown;
    larkspur::widgets::BipolarBar amountBar;
    std::unique_ptr<larkspur::widgets::SegmentedControl> curveControl;
    CrossButton clearButton;
    std::unique_ptr<HoverRelay> hoverRelay;
    std::unique_ptr<ParamListener> sourceListener;
    std::unique_ptr<ParamListener> amountListener;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RoutingRow)
};

/** The modulation matrix view: a header with a close button over four routing rows. */
class MatrixSlideOut : public larkspur::widgets::SectionFrame
{
public:
    explicit MatrixSlideOut (QuillonAudioProcessor& processor);
    ~MatrixSlideOut() override;

    std::function<void()> onClose;

    void resized() override;

    RoutingRow& getRow (int index) noexcept { return *rows[(size_t) index]; }
    juce::Label& getTitleLabel() noexcept { return title; }
    juce::TextButton& getCloseButton() noexcept { return closeButton; }

    /** Points the user at the knobs of a destination: flashes them and tells the editor. */
    void highlightDestination (int destination);

private:
    QuillonAudioProcessor& processor;
    juce::Label title;
    CrossButton closeButton;
    std::array<std::unique_ptr<RoutingRow>, 4> rows;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MatrixSlideOut)
};

} // namespace quillon::ui::widgets
