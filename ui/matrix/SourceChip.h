#pragma once

#include "engine/VoiceCodes.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <array>

namespace quillon::ui::widgets
{

/** Matrix source code of a source id ("velocity" 1 .. "beatPhase" 12); 0 for anything else. */
int sourceIndexForId (const juce::String& id);

/** Palette colour of a source id; accent.primary for an unknown id. */
juce::Colour sourceColourForId (const juce::String& id);

/** Rounded index of a choice parameter, or -1 when the ID is missing or not a choice. */
int choiceIndexOf (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId);

/** Writes a choice parameter by index, as one gesture. */
void setChoiceIndex (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId, int index);

/** The knobs' assignment rule; false at once for a source or destination of 0 or less. */
bool assignSourceToDestination (juce::AudioProcessorValueTreeState& state, int source, int destination);

struct AssignMenuDestination
{
    int itemId;
    ModDestination destination;
    const char* label;
};

extern const std::array<AssignMenuDestination, 20> assignMenuDestinations;

/** A draggable tag for one modulation source: drag it onto a knob, or click it to pick a destination. */
class SourceChip : public juce::Component
{
public:
    SourceChip (const juce::String& id, const juce::String& name);
    ~SourceChip() override;

    void setParameterState (juce::AudioProcessorValueTreeState* newState);

    const juce::String& getId() const noexcept { return id; }
    juce::Colour getColour() const { return sourceColourForId (id); }
    bool isHovered() const noexcept { return hover; }
    bool isPressed() const noexcept { return pressed; }

    /** The Assign menu, built and handled apart so that both work without a display. */
    juce::PopupMenu buildAssignMenu() const;
    void handleAssignMenuResult (int itemId);

    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;

private:
    void showAssignMenu();

    const juce::String id;
    const juce::String name;
    juce::AudioProcessorValueTreeState* state = nullptr;
    bool dragStarted = false;
    bool hover = false;
    bool pressed = false;

    JUCE_DECLARE_WEAK_REFERENCEABLE (SourceChip)
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SourceChip)
};

} // namespace quillon::ui::widgets
