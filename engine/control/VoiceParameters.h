#pragma once

#include "engine/ParameterTable.h"

#include <juce_core/juce_core.h>

#include <array>
#include <atomic>
#include <cstddef>

namespace quillon
{

// The voice's parameters, by the names the parameter table gives them (engine/ParameterTable.h).
// The plug-in maps each name to its parameter (plugin/VoiceBinding.h); the voice only ever sees
// the values. A mod slot's four stand together in the table, and so do an envelope's four.
struct VoiceParameter
{
    #define QUILLON_ENUM_ENTRY(name, ...) name,
    enum Id : int { QUILLON_PARAMETERS (QUILLON_ENUM_ENTRY) count };
    #undef QUILLON_ENUM_ENTRY

    // Slot `s`'s source, destination, amount and curve; envelope group `g`'s attack, decay,
    // sustain and release (amp, filter, osc 1's and osc 2's DCW).
    static constexpr Id slot (int s, int k) noexcept { return (Id) (mod1Source + 4 * s + k); }
    static constexpr Id envelope (int g, int k) noexcept
    {
        constexpr Id attacks[] = { ampAttack, filterAttack, osc1DcwAttack, osc2DcwAttack };
        return (Id) (attacks[g] + k);
    }
};

static_assert (VoiceParameter::slot (3, 3) == VoiceParameter::matrix4Curve);
static_assert (VoiceParameter::envelope (1, 2) == VoiceParameter::filterSustain);
static_assert (VoiceParameter::envelope (0, 3) == VoiceParameter::ampRelease);
static_assert (VoiceParameter::envelope (2, 1) == VoiceParameter::osc1DcwDecay);
static_assert (VoiceParameter::envelope (3, 3) == VoiceParameter::osc2DcwRelease);

// What the processor hands the voice: where each parameter's value lives, or nothing where it has
// no such parameter (then the voice reads its fallback), and the LFO rate knob's mapping, whose
// positions pick the sync divisions.
struct VoiceParameterBinding
{
    std::array<const std::atomic<float>*, VoiceParameter::count> values {};
    juce::NormalisableRange<float> lfoRateRange { 0.05f, 20.0f, 0.0f, 0.22767f };

    const std::atomic<float>* operator[] (VoiceParameter::Id id) const noexcept { return values[(size_t) id]; }

    float read (VoiceParameter::Id id, float fallback = 0.0f) const noexcept
    {
        const auto* raw = values[(size_t) id];
        return raw != nullptr ? raw->load (std::memory_order_relaxed) : fallback;
    }
};

} // namespace quillon
