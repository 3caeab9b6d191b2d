#pragma once

#include "engine/core/FastMath.h"
#include "engine/VoiceCodes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>

namespace quillon
{

constexpr int numModSlots = 4;
constexpr int numModSources = (int) ModSource::count;           // including "off"
constexpr int numModDestinations = (int) ModDestination::count; // including "off"

struct ModSlot
{
    int source = 0;      // ModSource code
    int destination = 0; // ModDestination code
    float amount = 0.0f; // -1..1
    int curve = 0;       // ModCurve code
};

// What the four slots add up to for one sample.
struct ModSums
{
    // Per destination, already in the destination's own unit (semitones, dB, Hz, ...).
    std::array<float, numModDestinations> sums {};
    // Product of the slots routed to "amp"; 1 when none is.
    float ampFactor = 1.0f;
    // Each slot's shaped source times its amount, for the editor's modulation rings.
    std::array<float, numModSlots> live {};

    float operator[] (ModDestination d) const noexcept { return sums[(size_t) d]; }
};

// A set of destinations as a mask, bit per destination code.
constexpr std::uint32_t modDestinationBits (std::initializer_list<ModDestination> list) noexcept
{
    std::uint32_t bits = 0;

    for (auto d : list)
        bits |= 1u << (int) d;

    return bits;
}

static_assert (numModDestinations <= 32);

// How far one unit of amount x source moves each destination, in that destination's unit.
inline float modDestinationScale (int destination) noexcept;


// A decibel modulation sum as a factor: exactly 1 for no modulation, 0 at -90 dB and below.
inline float modDecibelsToGain (float db) noexcept
{
    if (db == 0.0f)
        return 1.0f;

    return dsp::decibelsToGainFast (db, -90.0f);
}

//==============================================================================
inline float modDestinationScale (int destination) noexcept
{
    static constexpr std::array<float, numModDestinations> scales {
        0.0f,   // off
        48.0f,  // cutoff, semitones
        24.0f,  // drive, dB
        1.0f,   // amp (applied as a factor, not a sum)
        1.0f,   // osc1 dcw
        1.0f,   // osc2 dcw
        60.0f,  // sub level, dB
        48.0f,  // pitch, semitones
        60.0f,  // osc1 level, dB
        60.0f,  // osc2 level, dB
        100.0f, // osc2 detune, cents
        20.0f,  // osc2 detune hz
        180.0f, // osc2 phase, degrees
        1.0f,   // sub dcw
        1.0f,   // resonance
        48.0f,  // filter env, semitones
        1.0f,   // drift
        20.0f,  // lfo1 rate, Hz
        1.0f,   // lfo1 depth
        24.0f,  // output, dB
        60.0f,  // noise level, dB
        0.45f,  // osc1 pw
        0.45f,  // osc2 pw
        1.0f,   // pd morph
        20.0f,  // reese beat, Hz
        1.0f,   // reese spread
        1.0f,   // phase mix
        1.0f,   // phase notch
        1.0f,   // feedback
    };

    return destination > 0 && destination < numModDestinations ? scales[(size_t) destination] : 0.0f;
}

inline bool isModSlotActive (const ModSlot& slot) noexcept
{
    return slot.source != 0 && slot.destination != 0 && slot.amount != 0.0f;
}

// The four slots over a sample's source values (indexed by ModSource code), for a matrix whose
// inactive slots are known: `out` starts cleared when the slots are set, and per sample only the
// active slots' destinations are cleared and summed again. What each slot needs is worked out when
// the slots are set; per sample a slot's share is the shaped source times its amount and its
// destination's scale, or its factor for the amp (tests/engine/ModMatrixTest.cpp holds the plain form).
struct ActiveModSlots
{
    struct Active
    {
        size_t slot = 0, source = 0, destination = 0; // source 0 reads as 0; destination 0 adds to nothing
        float amount = 0.0f, scale = 0.0f, ampBase = 1.0f, ampShare = 0.0f;
        bool squared = false, amp = false, ampRising = true;
    };

    std::array<Active, numModSlots> active {};
    std::array<size_t, numModSlots> cleared {}; // the destinations summed into, each once
    size_t count = 0, numCleared = 0;

    void find (const std::array<ModSlot, numModSlots>& slots, ModSums& out) noexcept
    {
        count = numCleared = 0;

        for (size_t i = 0; i < slots.size(); ++i)
        {
            const auto& slot = slots[i];

            if (! isModSlotActive (slot))
                continue;

            auto& a = active[count++];
            a.slot = i;
            a.source = slot.source > 0 && slot.source < numModSources ? (size_t) slot.source : 0;
            a.amp = slot.destination == (int) ModDestination::amp;
            a.destination = ! a.amp && slot.destination > 0 && slot.destination < numModDestinations ? (size_t) slot.destination : 0;
            a.amount = slot.amount;
            a.scale = modDestinationScale (slot.destination);
            a.squared = slot.curve == (int) ModCurve::exp;
            const auto magnitude = std::abs (slot.amount);
            a.ampBase = 1.0f - magnitude;
            a.ampShare = magnitude;
            a.ampRising = slot.amount >= 0.0f;

            if (a.destination != 0 && std::find (cleared.begin(), cleared.begin() + (long) numCleared, a.destination)
                                          == cleared.begin() + (long) numCleared)
                cleared[numCleared++] = a.destination;
        }

        out.sums.fill (0.0f);
        out.ampFactor = 1.0f;
        out.live.fill (0.0f);
    }

    void evaluate (const std::array<float, numModSources>& sources, ModSums& out) const noexcept
    {
        if (count == 0)
            return;

        for (size_t n = 0; n < numCleared; ++n)
            out.sums[cleared[n]] = 0.0f;

        // The product in a register: stored through `out`, it would wait on the stores between.
        auto ampFactor = 1.0f;

        for (size_t n = 0; n < count; ++n)
        {
            const auto& a = active[n];
            auto v = a.source != 0 ? sources[a.source] : 0.0f;

            if (a.squared)
                v = v < 0.0f ? -v * v : v * v;

            out.live[a.slot] = v * a.amount;

            if (a.amp)
                ampFactor *= a.ampBase + a.ampShare * (a.ampRising ? v : 1.0f - v);
            else if (a.destination != 0)
                out.sums[a.destination] += a.amount * v * a.scale;
        }

        out.ampFactor = ampFactor;
    }
};

} // namespace quillon
