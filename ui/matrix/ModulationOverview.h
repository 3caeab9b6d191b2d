#pragma once

#include "engine/VoiceCodes.h"
#include "plugin/ParameterIds.h"
#include "widgets/Knob.h"

#include <functional>
#include <vector>

class QuillonAudioProcessor;

namespace quillon::ui::matrix
{

/** A knob that stands for a modulation destination. The knob may be deleted at any time; its
    entry then lingers, untouched, until the next compaction. */
struct KnobRegistryEntry
{
    juce::Component::SafePointer<larkspur::widgets::Knob> knob;
    int destination = 0;
    juce::String parameterId; // the knob's own parameter, so a finished MIDI learn can be shown
    const QuillonAudioProcessor* owner = nullptr; // the instance whose editor holds the knob
};

/** Keeps the knob registry alive. The registry belongs to its holds: each editor holds it from before
    its panels are built until after they are gone, and it is deleted when the last hold goes. No
    static object stands for it, so an editor still open while a host exits and destroys its static
    objects keeps a registry its timer can reach. Message thread only. */
class KnobRegistryHold
{
public:
    KnobRegistryHold();
    ~KnobRegistryHold();

    KnobRegistryHold (const KnobRegistryHold&) = delete;
    KnobRegistryHold& operator= (const KnobRegistryHold&) = delete;
};

/** Every registered knob, in registration order (message thread only). Each entry belongs to one
    processor, so the editors of several plug-in instances only ever touch their own knobs. Knobs
    wired while nothing holds the registry (outside an editor) are kept until the next hold goes. */
std::vector<KnobRegistryEntry>& knobRegistry();

/** Drops entries whose knob is gone or that name no destination, keeping the order of the rest. */
void compactKnobRegistry();

/** Adds the knob, or moves its existing entry to the new destination. */
void registerKnob (larkspur::widgets::Knob& knob, int destination, const juce::String& parameterId = {},
                   const QuillonAudioProcessor* owner = nullptr);

/** Flashes the processor's registered knobs that stand for the destination. */
void flashKnobsForDestination (const QuillonAudioProcessor& processor, int destination);

/** Installed by the editor, emptied by its destructor; callers test for an empty hook. */
inline std::function<void (int)> revealInMatrixHook;
inline std::function<void (int)> matrixChangedHook;

/** Choice index of a slot's parameter, or -1 when that parameter is missing or not a choice. */
int slotChoiceIndex (QuillonAudioProcessor& processor, const char* parameterId);

/** First slot (1..4) aimed at the destination with a source; 0 when none. */
int findSlotForDestination (QuillonAudioProcessor& processor, int destination);

/** "No modulations active", "1 modulation active", "3 modulations active". */
juce::String modulationSummaryText (QuillonAudioProcessor& processor);

/** The editor timer's tick: live modulation on every registered knob. */
void updateModulationRings (QuillonAudioProcessor& processor);

} // namespace quillon::ui::matrix
