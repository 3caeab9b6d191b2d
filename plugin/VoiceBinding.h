#pragma once

#include "engine/control/VoiceParameters.h"
#include "plugin/ParameterIds.h"

#include <juce_audio_processors/juce_audio_processors.h>

namespace quillon
{

// The voice's parameters found in the processor's state, each by its ID. Kept in a header: the
// tests' exact build of the voice, in a namespace of its own, binds through it as well.
inline VoiceParameterBinding bindVoiceParameters (juce::AudioProcessorValueTreeState& state)
{
    VoiceParameterBinding binding;

   #define QUILLON_BIND_ENTRY(name, ...) binding.values[(size_t) VoiceParameter::name] = state.getRawParameterValue (ids::name);
    QUILLON_PARAMETERS (QUILLON_BIND_ENTRY)
   #undef QUILLON_BIND_ENTRY

    if (auto* rate = state.getParameter (ids::lfo1Rate))
        binding.lfoRateRange = rate->getNormalisableRange();

    return binding;
}

} // namespace quillon
