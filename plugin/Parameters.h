#pragma once

#include "engine/VoiceCodes.h"
#include "plugin/ParameterIds.h"

#include <juce_audio_processors/juce_audio_processors.h>

namespace quillon
{

// Program-wide choice lists; the item index is the value a choice parameter stores.
namespace choices
{
    const juce::StringArray& waves();
    const juce::StringArray& detuneMode();
    const juce::StringArray& subMode();
    const juce::StringArray& octave();
    const juce::StringArray& routing();       // sub routing and feedback position
    const juce::StringArray& noiseColour();
    const juce::StringArray& mode();
    const juce::StringArray& driveMode();
    const juce::StringArray& drivePosition();
    const juce::StringArray& filterModel();
    const juce::StringArray& phaseMode();
    const juce::StringArray& stereoMode();
    const juce::StringArray& lfoShape();
    const juce::StringArray& lfoSync();
    const juce::StringArray& lfoRetrigger();
    const juce::StringArray& curves();
    const juce::StringArray& modSources();
    const juce::StringArray& modDestinations();
}

constexpr int numParameters = ids::count;

// Geometric mean of the ends at the middle of the knob travel; a range starting at 0 has no
// geometric mean, so it gets a fixed skew instead.
juce::NormalisableRange<float> makeCentredLogRange (float start, float end);

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

} // namespace quillon
