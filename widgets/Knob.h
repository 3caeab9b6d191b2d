#pragma once

#include "WidgetTheme.h"

#include <functional>
#include <optional>

namespace larkspur::widgets
{

/** Pixel sizes of a knob size variant at scale 1; unknown variants use variant 1. */
struct KnobMetrics
{
    int width = 96;
    int height = 100;
    float reference = 48.0f;
    float knob = 40.0f;
    float inner = 30.0f;
    float ring = 46.0f;
};

KnobMetrics getKnobMetrics (int sizeVariant);

/** The number a user typed or pasted: optional spaces, a decimal number (sign, point and exponent
    allowed) and, when given, the unit after it (any case, e.g. "dB"). Anything else gives nothing,
    so a field or paste that holds no number changes nothing. */
std::optional<double> parseTypedNumber (const juce::String& text, const juce::String& unit = {});

/** A slider's own arrow-key steps, bracketed as one change gesture so a host records them. */
bool keyPressedInGesture (juce::Slider& slider, const juce::KeyPress& key);

/** A modulation source code (1..7) from a drag description: an integer, or one of the source ids the
    knob accepts. Everything else is 0. */
int parseModulationSource (const juce::var& description);

/** Rotary control with a modulation ring, source drop target, MIDI-learn blink and a context menu.
    It knows nothing of parameters; behaviour comes in through the callbacks. */
class Knob : public juce::Slider, // already a juce::SettableTooltipClient
             public juce::DragAndDropTarget,
             public juce::Timer
{
public:
    /** Menu item ids; modulation sources follow sourceItemBase (101 is the first name). */
    enum MenuItem
    {
        midiLearnItem = 2,
        resetItem = 3,
        copyItem = 4,
        pasteItem = 5,
        revealItem = 7,
        removeModulationItem = 8,
        sourceItemBase = 100
    };

    /** Centre and diameters as paint and the ring hit test see them. */
    struct Geometry
    {
        float side = 0.0f, scale = 0.0f, cx = 0.0f, cy = 0.0f;
        float knobDiameter = 0.0f, innerDiameter = 0.0f, ringDiameter = 0.0f, ringRadius = 0.0f;
    };

    Knob (int sizeVariant, bool bipolar, bool modulated);
    ~Knob() override;

    void setLabelText (const juce::String& text);
    const juce::String& getLabelText() const noexcept { return caption; }

    void setValueFormatter (std::function<juce::String (double)> formatter);
    juce::String getValueText() const;

    void setCentreSnap (bool enabled, double width);
    void setModulationTarget (bool isTarget);
    void setModulated (bool shouldBeModulated);
    bool isModulated() const noexcept { return modulated; }
    void setLiveValue (double value);
    void setMidiLearnArmed (bool armed);
    bool isMidiLearnArmed() const noexcept { return midiLearnArmed; }
    void flashHighlight();
    bool isFlashActive() const noexcept { return flashActive; }
    bool isDropHover() const noexcept { return dropHover; }
    bool isRingDragActive() const noexcept { return ringDragActive; }
    bool isFineDrag() const noexcept { return fineDrag; }

    void setModulationSources (const juce::StringArray& names, std::function<void (int)> onModulateFrom);
    void setModulationSummaryAndRemover (std::function<juce::String()> summary, std::function<void()> remove);
    void setModulationRingCallbacks (std::function<float()> getAmount, std::function<void()> dragStarted,
                                     std::function<void (float)> setAmount, std::function<void()> dragEnded);
    void setSourceDropHandler (std::function<bool (int)> handler);
    void setContextMenuExtension (std::function<void (juce::PopupMenu&)> extension);
    void setMidiLearnHandler (std::function<void()> handler);
    void setRevealInMatrixHandler (std::function<void()> handler);

    Geometry getGeometry() const;
    juce::Rectangle<int> getCaptionArea() const;
    juce::Rectangle<int> getValueArea() const;

    /** The context menu is built and handled apart so that both work without a display. */
    juce::PopupMenu buildContextMenu() const;
    void handleMenuResult (int itemId);
    void pasteValueFromText (const juce::String& text);

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void mouseDoubleClick (const juce::MouseEvent&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void paint (juce::Graphics&) override;
    double snapValue (double attemptedValue, DragMode dragMode) override;

    bool isInterestedInDragSource (const SourceDetails&) override;
    void itemDragEnter (const SourceDetails&) override;
    void itemDragExit (const SourceDetails&) override;
    void itemDropped (const SourceDetails&) override;

    void timerCallback() override;

private:
    void showContextMenu();
    void setValueAsGesture (double newValue);
    void updateTimer();
    void updateFineDrag (const juce::MouseEvent&);
    bool flashDeadlinePassed() const;

    int sizeVariant;
    bool bipolar;
    bool modulated;
    bool midiLearnArmed = false;
    bool fineDrag = false;
    bool centreSnap = false;
    bool modulationTarget = false;
    bool dropHover = false;
    bool ringDragActive = false;
    bool flashActive = false;
    juce::uint32 flashDeadline = 0;
    float blinkPhase = 0.0f;
    float ringDragStartAmount = 0.0f;
    int ringDragStartY = 0;
    double liveValue = 0.0;
    double centreSnapWidth = 0.5;
    juce::String caption;
    std::function<juce::String (double)> valueFormatter;
    std::function<bool (int)> sourceDropHandler;
    std::function<void (juce::PopupMenu&)> menuExtension;
    juce::StringArray sourceNames;
    std::function<void (int)> modulateFromHandler;
    std::function<juce::String()> modulationSummary;
    std::function<void()> modulationRemover;
    std::function<float()> ringAmountGetter;
    std::function<void()> ringDragStarted;
    std::function<void (float)> ringAmountSetter;
    std::function<void()> ringDragEnded;
    std::function<void()> midiLearnHandler;
    std::function<void()> revealInMatrixHandler;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Knob)
};

} // namespace larkspur::widgets
