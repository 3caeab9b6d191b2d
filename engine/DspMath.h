#pragma once

#include <cmath>

namespace quillon::dsp
{

constexpr float pi = 3.14159265358979323846f;
constexpr float twoPi = 2.0f * pi;
constexpr float halfPi = 0.5f * pi;
constexpr float quarterPi = 0.25f * pi;

// Below this a decaying state is as good as silence; flushing it keeps denormals out of the
// recursive filters whatever the floating-point mode of the calling thread. A value that is not
// finite goes to 0 as well, so that one bad sample cannot stay in a recursive state for good.
inline float flushTiny (float x) noexcept
{
    const auto magnitude = std::abs (x);
    return magnitude >= 1.0e-20f && magnitude <= 3.0e38f ? x : 0.0f;
}

// Hyperbolic tangent through one exp: within 2e-7 of tanh everywhere and about three times
// cheaper than the library's tanhf, which the filters and the soft drive call per 2x sample.
inline float tanhApprox (float x) noexcept
{
    x = x > 15.0f ? 15.0f : (x < -15.0f ? -15.0f : x);
    const auto e = std::exp (2.0f * x);
    return (e - 1.0f) / (e + 1.0f);
}

// Tangent of an angle in -pi/4..pi/4 from its [7/6] continued-fraction approximant
// (relative error below 1e-12 in exact arithmetic, so float rounding is all that is left).
inline float tanQuarter (float x) noexcept
{
    const auto x2 = x * x;
    return x * (135135.0f - x2 * (17325.0f - x2 * (378.0f - x2)))
             / (135135.0f - x2 * (62370.0f - x2 * (3150.0f - 28.0f * x2)));
}

// Tangent of an angle in 0..pi/2 (exclusive), as the filters need it for prewarping.
inline float tanPrewarp (float x) noexcept
{
    return x <= quarterPi ? tanQuarter (x) : 1.0f / tanQuarter (halfPi - x);
}

// Sine with float-accurate results for |x| up to about 1e5 (larger arguments are clamped:
// they carry no phase information in float anyway).
inline float sinApprox (float x) noexcept
{
    constexpr float inverseTwoPi = 1.0f / twoPi;
    x = x > 1.0e5f ? 1.0e5f : (x < -1.0e5f ? -1.0e5f : x);
    const auto turns = x * inverseTwoPi;
    const auto k = (float) (int) (turns + (turns >= 0.0f ? 0.5f : -0.5f));
    x -= k * twoPi;

    if (x > halfPi)
        x = pi - x;
    else if (x < -halfPi)
        x = -pi - x;

    const auto x2 = x * x;
    return x * (1.0f + x2 * (-1.6666667e-1f + x2 * (8.3333333e-3f + x2 * (-1.9841270e-4f
                + x2 * (2.7557319e-6f + x2 * -2.5052108e-8f)))));
}

inline float cosApprox (float x) noexcept { return sinApprox (x + halfPi); }

} // namespace quillon::dsp
