#pragma once

#include "engine/core/FastMath.h"

// The oscillators' frequencies from a sample's note pitch and the detuned pair's settings, once
// over V: a sample at a time, or four samples of a held stretch in lanes.
namespace quillon::pitch
{

// What holds for the pair along the samples these frequencies are worked out for.
struct PairSettings
{
    bool hertz = false;                     // detuned in hertz, not in cents
    float ratio = 1.0f, mirrored = 1.0f;    // the cents' ratio and its mirror by the spread
    float ratio1 = 1.0f, ratio2 = 1.0f;     // the oscillators' own transpositions
    float subRatio = 0.5f, inverseRate = 1.0f;
};

template <typename V>
struct Frequencies
{
    V osc1, osc2Left, osc2Right, sub;
    V pairLeft, pairRight;  // the pair before transposition and drift: apart where they differ
    V beatIncrement;        // the beat's phase step
};

// Osc 2 is a detuned pair: spread 0 keeps both halves together, 1 mirrors the right one below the
// note. The factor for the right half from the spread's sum.
template <typename V>
QUILLON_ALWAYS_INLINE inline V spreadFactor (V spreadSum) noexcept
{
    return V (1.0f) - V (2.0f) * dsp::clamp (spreadSum, V (0.0f), V (1.0f));
}

// The beat between the halves, a modulation source of its own, from its sum.
template <typename V>
QUILLON_ALWAYS_INLINE inline V beatHz (V beatSum) noexcept { return dsp::clamp (beatSum, V (0.0f), V (40.0f)); }

// Drift pulls the two oscillators apart in opposite directions.
template <typename V>
QUILLON_ALWAYS_INLINE inline Frequencies<V> frequencies (V notePitch, V k, V beat, V detuneHz, V drift,
                                                         const PairSettings& s) noexcept
{
    Frequencies<V> f;

    if (s.hertz)
    {
        f.pairLeft = notePitch + (detuneHz + beat);
        f.pairRight = notePitch + k * (detuneHz + beat);
    }
    else
    {
        f.pairLeft = notePitch * V (s.ratio) + beat;
        f.pairRight = notePitch * V (s.mirrored) + k * beat;
    }

    f.beatIncrement = dsp::abs (f.pairLeft - f.pairRight) * V (s.inverseRate);
    f.osc1 = V (s.ratio1) * notePitch / drift;
    f.osc2Left = V (s.ratio2) * f.pairLeft * drift;
    f.osc2Right = V (s.ratio2) * f.pairRight * drift;
    f.sub = notePitch * V (s.subRatio);
    return f;
}

} // namespace quillon::pitch
