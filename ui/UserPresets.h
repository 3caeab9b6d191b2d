#pragma once

#include <juce_core/juce_core.h>

class QuillonAudioProcessor;

namespace quillon::ui
{

/** The per-user folder that holds user presets; created (with its parents) when missing. */
juce::File userPresetFolder();

/** A file name (without extension) for a typed preset name: trimmed, "preset" when empty, and every
    character that is not a letter, digit, space, '-', '.' or '_' replaced by '_'. Letters and digits
    of any script stay; punctuation, symbols, controls and invisible characters (format controls,
    combining marks) do not. */
juce::String makePresetFileName (const juce::String& typedName);

/** folder / (makePresetFileName + ".xml"): where a preset of that name is saved. */
juce::File userPresetFileFor (const juce::File& folder, const juce::String& name);

/** Writes the processor's parameters with a "displayName" attribute to folder/<safe name>.xml,
    replacing a file of that name, and makes it the current preset. Returns the file, or an empty
    File when nothing could be written (the preset info is then left alone, so the sound stays
    marked as modified). */
juce::File writeUserPreset (QuillonAudioProcessor& processor, const juce::File& folder, const juce::String& name);

/** Loads a preset XML file into the processor and makes it the current preset, named after its
    "displayName" or else its file name. False, with nothing changed, when the file is not a preset. */
bool loadUserPresetFile (QuillonAudioProcessor& processor, const juce::File& file);

} // namespace quillon::ui
