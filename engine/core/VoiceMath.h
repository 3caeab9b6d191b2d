#pragma once

#include "engine/core/FastMath.h"

#include <algorithm>
#include <cmath>

// Small conversions the voice's passes share.
namespace quillon
{

inline float clamp01 (float x) noexcept { return std::clamp (x, 0.0f, 1.0f); }

// 2^(semitones / 12), exactly 1 when there is nothing to transpose.
inline float semitoneRatio (float semitones) noexcept
{
    return semitones == 0.0f ? 1.0f : dsp::exp2Fast (semitones / 12.0f);
}

inline float frac (float x) noexcept { return x - std::floor (x); }

// 0..1 eased at both ends, for the fades that start and end sounds.
inline float smoothStep (float x) noexcept { return x * x * (3.0f - 2.0f * x); }

// The 5 ms of the switch fades, in samples at the given rate.
inline int crossFadeLength (double rate) noexcept { return std::max (1, (int) std::lround (0.005 * rate)); }

} // namespace quillon
