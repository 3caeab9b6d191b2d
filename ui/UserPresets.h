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

/** The longest file name most file systems take, in bytes of UTF-8. */
inline constexpr int maxFileNameBytes = 255;

/** The stem itself when stem + extension fit maxFileNameBytes; otherwise its start, cut at a
    character boundary, followed by "~" and eight hex digits of the whole stem's hash, so that two
    long names differing only past the cut still get files of their own. */
juce::String fitFileNameStem (const juce::String& stem, const juce::String& extension);

/** folder / (makePresetFileName, fitted to the name limit, + ".xml"): where a preset of that name is saved. */
juce::File userPresetFileFor (const juce::File& folder, const juce::String& name);

/** True when the file's permissions allow nobody to write it; such a preset is never replaced. */
bool isMarkedReadOnly (const juce::File& file);

/** Writes the processor's parameters with a "displayName" attribute to userPresetFileFor, replacing
    a file of that name unless it is marked read-only, and makes it the current preset. Returns the
    file, or an empty File when nothing was written: the old file is then as it was, the preset info
    is left alone (so the sound stays marked as modified) and `error` says why. */
juce::File writeUserPreset (QuillonAudioProcessor& processor, const juce::File& folder, const juce::String& name,
                            juce::String* error = nullptr);

/** Loads a preset XML file into the processor and makes it the current preset, named after its
    "displayName" or else its file name. False, with nothing changed and the reason in `error`, when
    the file cannot be read safely (see quillon::input::readXml) or holds no PARAM of this instrument. */
bool loadUserPresetFile (QuillonAudioProcessor& processor, const juce::File& file, juce::String* error = nullptr);

} // namespace quillon::ui
