#pragma once

#include "plugin/Parameters.h"

#include <array>
#include <cmath>

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

// How far one unit of amount x source moves each destination, in that destination's unit.
float modDestinationScale (int destination) noexcept;

// Runs the four slots over this sample's source values (indexed by ModSource code).
void evaluateModMatrix (const std::array<ModSlot, numModSlots>& slots,
                        const std::array<float, numModSources>& sources,
                        ModSums& out) noexcept;

// A decibel modulation sum as a factor: exactly 1 for no modulation, 0 at -90 dB and below.
inline float modDecibelsToGain (float db) noexcept
{
    if (db == 0.0f)
        return 1.0f;

    return db > -90.0f ? std::pow (10.0f, db / 20.0f) : 0.0f;
}

} // namespace quillon
