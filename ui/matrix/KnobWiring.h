#pragma once

#include "ModulationOverview.h"

#include <juce_audio_processors/juce_audio_processors.h>

class QuillonAudioProcessor;

namespace quillon::ui::matrix
{

/** Makes the knob a destination of the modulation matrix: source drops, the "Modulate from" and
    "Remove modulation" menu items, the draggable ring, MIDI learn and "Reveal in matrix". */
void wireKnob (larkspur::widgets::Knob& knob, QuillonAudioProcessor& processor, const juce::String& paramId,
               ModDestination destination);

/** Routes a source to a destination: the slot already aimed at it, else the first free slot.
    False, with nothing changed, when every slot is busy elsewhere. */
bool assignModulationSource (QuillonAudioProcessor& processor, int source, int destination);

/** Sets the source of every slot aimed at the destination to off and its amount to 0; the slots
    keep their destination, so the next assignment reuses them. */
void removeModulationForDestination (QuillonAudioProcessor& processor, int destination);

/** "Modulating: Velocity · +35 %" for the first slot on the destination with a source of 1..7. */
juce::String modulationDescription (QuillonAudioProcessor& processor, int destination);

juce::RangedAudioParameter* slotAmountParameter (QuillonAudioProcessor& processor, int slot);

/** Writes a choice parameter by index, as one gesture; does nothing for a missing or non-choice ID. */
void setChoiceIndex (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId, int index);

/** Display names of sources 1..7, the ones a knob can take. */
juce::StringArray modulationSourceDisplayNames();

/** The assignment rule on a parameter state; shared by the knobs and the source chips. */
bool applyAssignmentRule (juce::AudioProcessorValueTreeState& state, int source, int destination);

} // namespace quillon::ui::matrix
