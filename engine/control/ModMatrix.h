#pragma once

#include "engine/core/FastMath.h"
#include "engine/VoiceCodes.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <iterator>

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
    bool gliding = false; // the amount is still on its way to a new setting, maybe to 0
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

// How far one unit of amount x source moves each destination, in that destination's unit: the
// third column of its row in engine/VoiceCodes.h.
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
   #define QUILLON_DESTINATION_SCALE(code, name, scale) scale,
    static constexpr float scales[] { QUILLON_MOD_DESTINATIONS (QUILLON_DESTINATION_SCALE) };
   #undef QUILLON_DESTINATION_SCALE
    static_assert (std::size (scales) == (size_t) numModDestinations);

    return destination > 0 && destination < numModDestinations ? scales[(size_t) destination] : 0.0f;
}

inline bool isModSlotActive (const ModSlot& slot) noexcept
{
    return slot.source != 0 && slot.destination != 0 && (slot.amount != 0.0f || slot.gliding);
}

// The four slots over a sample's source values (indexed by ModSource code), for a matrix whose
// inactive slots are known: `out` starts cleared when the slots are set, and per sample only the
// active slots' destinations are cleared and summed again. What each slot needs is worked out when
// the slots are set; per sample a slot's share is the shaped source times its amount and its
// destination's scale, or its factor for the amp (tests/engine/ModMatrixTest.cpp holds the plain form).
// A slot's amount moved while the voice sounds glides to its new setting over the smoothers' ramp,
// sample by sample, as a knob's own value does; a slot gliding to 0 stays active until it is there.
struct ActiveModSlots
{
    struct Active
    {
        size_t slot = 0, source = 0, destination = 0; // source 0 reads as 0; destination 0 adds to nothing
        float amount = 0.0f, scale = 0.0f, ampBase = 1.0f, ampShare = 0.0f;
        bool squared = false, amp = false, ampRising = true;

        void setAmount (float newAmount) noexcept
        {
            amount = newAmount;
            const auto magnitude = std::abs (newAmount);
            ampBase = 1.0f - magnitude;
            ampShare = magnitude;
            ampRising = newAmount >= 0.0f;
        }
    };

    std::array<Active, numModSlots> active {};
    std::array<size_t, numModSlots> cleared {}; // the destinations summed into, each once
    size_t count = 0, numCleared = 0;

    // The ramp's length in base-rate samples, the smoothers' own.
    void prepare (int rampLength) noexcept
    {
        for (auto& a : amounts)
            a.reset (rampLength);

        jumpToSettings();
    }

    // The next find() takes the amounts as they are set, with no glide: for a note from silence.
    void jumpToSettings() noexcept { jumpNext = true; }
    bool amountsGliding() const noexcept { return gliding; }

    // Marks the slots whose amounts are still gliding.
    void find (std::array<ModSlot, numModSlots>& slots, ModSums& out) noexcept
    {
        gliding = false;

        for (size_t i = 0; i < slots.size(); ++i)
        {
            auto& amount = amounts[i];

            if (jumpNext)
                amount.setCurrentAndTargetValue (slots[i].amount);
            else
                amount.setTargetValue (slots[i].amount);

            slots[i].gliding = amount.isSmoothing();
            gliding = gliding || (slots[i].gliding && isModSlotActive (slots[i]));
        }

        jumpNext = false;
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
            a.setAmount (amounts[i].getCurrentValue());
            a.scale = modDestinationScale (slot.destination);
            a.squared = slot.curve == (int) ModCurve::exp;

            if (a.destination != 0 && std::find (cleared.begin(), cleared.begin() + (long) numCleared, a.destination)
                                          == cleared.begin() + (long) numCleared)
                cleared[numCleared++] = a.destination;
        }

        out.sums.fill (0.0f);
        out.ampFactor = 1.0f;
        out.live.fill (0.0f);
    }

    // Once per base-rate sample while the voice sounds: the gliding amounts take their next step.
    void evaluate (const std::array<float, numModSources>& sources, ModSums& out) noexcept
    {
        if (count == 0)
            return;

        if (gliding)
            advanceAmounts();

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

private:
    void advanceAmounts() noexcept
    {
        gliding = false;

        for (size_t n = 0; n < count; ++n)
        {
            auto& amount = amounts[active[n].slot];

            if (amount.isSmoothing())
            {
                active[n].setAmount (amount.getNextValue());
                gliding = gliding || amount.isSmoothing();
            }
        }
    }

    std::array<juce::SmoothedValue<float>, numModSlots> amounts;
    bool gliding = false, jumpNext = true;
};

} // namespace quillon
