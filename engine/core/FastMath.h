#pragma once

#include <limits>

#include "engine/core/Lanes.h"

#include <cmath>
#include <cstdint>

// Each approximation the voice uses, once: written over V (float or the lanes) where it runs in
// lanes, with its exact branch for the reference build beside it.
namespace quillon::dsp
{

constexpr float pi = 3.14159265358979323846f;
constexpr float twoPi = 2.0f * pi;
constexpr float halfPi = 0.5f * pi;
constexpr float quarterPi = 0.25f * pi;

// Below this a decaying state is as good as silence; flushing it keeps denormals out of the
// recursive filters whatever the floating-point mode of the calling thread. A value that is not
// finite goes to 0 as well, so that one bad sample cannot stay in a recursive state for good.
template <typename V>
QUILLON_ALWAYS_INLINE inline V flushTiny (V x) noexcept
{
    const auto magnitude = abs (x);
    return keep ((magnitude >= V (1.0e-20f)) & (magnitude <= V (3.0e38f)), x);
}

// flushTiny on p[0..3] in place.
inline void flushTinyFour (float* p) noexcept { flushTiny (Float4::load (p)).store (p); }

//==============================================================================
// 2^f by ln(2)^k / k!: degree 7 for |f| below a sixteenth, degree 11 (in two halves, so that
// their dependency chains overlap) for |f| up to a half. In double, rounded once by the caller,
// so that the result agrees with a correctly rounded exp2 nearly always: pitch goes through it,
// and an increment one rounding step off would drift the phase audibly apart from the exact
// voice over seconds. D is double or Double2: lane by lane the same operations in the same order.
template <typename D>
QUILLON_ALWAYS_INLINE inline D exp2Short (D f) noexcept
{
    const auto f2 = f * f;
    const auto low = (D (1.0) + f * D (0.69314718055994529)) + f2 * (D (0.24022650695910069) + f * D (0.055504108664821576));
    const auto high = (D (0.0096181291076284769) + f * D (0.0013333558146428441))
                    + f2 * (D (0.00015403530393381606) + f * D (1.5252733804059838e-05));
    return low + (f2 * f2) * high;
}

template <typename D>
QUILLON_ALWAYS_INLINE inline D exp2Long (D f) noexcept
{
    const auto f2 = f * f;
    const auto f4 = f2 * f2, f8 = f4 * f4;
    const auto low = (D (1.0) + f * D (0.69314718055994529)) + f2 * (D (0.24022650695910069) + f * D (0.055504108664821576))
                   + f4 * ((D (0.0096181291076284769) + f * D (0.0013333558146428441))
                           + f2 * (D (0.00015403530393381606) + f * D (1.5252733804059838e-05)));
    const auto high = (D (1.3215486790144305e-06) + f * D (1.0178086009239696e-07))
                    + f2 * (D (7.0549116208011209e-09) + f * D (4.4455382718708101e-10));
    return low + f8 * high;
}

namespace fast_math_detail
{
inline float clampExponent (float x) noexcept { return x > 120.0f ? 120.0f : (x < -120.0f ? -120.0f : x); }
constexpr float shortExponent = 0.0625f;
} // namespace fast_math_detail

// 2^x, exactly 1 at 0; inputs are held to +-120, far beyond anything the voice asks for. Drift
// and vibrato stay within a sixteenth of an octave: there degree 7 is already far closer than
// float's rounding (error below 3e-16) and the scale is 1.
inline float exp2Fast (float input) noexcept
{
    if constexpr (exactReference)
        return std::exp2 (input);

    if (std::abs (input) < fast_math_detail::shortExponent)
        return (float) exp2Short ((double) input);

    double f;
    const auto scale = wholePowerOfTwo ((double) fast_math_detail::clampExponent (input), f);
    return (float) (exp2Long (f) * scale);
}

// Two exp2Fast at once, in two double lanes where there are any.
inline void exp2Fast2 (float a, float b, float& outA, float& outB) noexcept
{
#if QUILLON_SIN_LANES
    using fast_math_detail::shortExponent;
    const auto shortA = std::abs (a) < shortExponent, shortB = std::abs (b) < shortExponent;

    if (! exactReference && shortA == shortB)
    {
        Float4 r;

        if (shortA)
        {
            r = toFloats (exp2Short (Double2::set ((double) a, (double) b)), Double2 (0.0));
        }
        else
        {
            Double2 f;
            const auto x = Double2::set ((double) fast_math_detail::clampExponent (a),
                                         (double) fast_math_detail::clampExponent (b));
            const auto scale = wholePowerOfTwo (x, f);
            r = toFloats (exp2Long (f) * scale, Double2 (0.0));
        }

        alignas (16) float out[4];
        r.store (out);
        outA = out[0];
        outB = out[1];
        return;
    }
#endif

    outA = exp2Fast (a);
    outB = exp2Fast (b);
}

// exp2Fast of four inputs. Where all four are within a sixteenth of an octave, as drift and
// vibrato stay, the short polynomial runs in double lanes; otherwise each goes through exp2Fast.
inline Float4 exp2Fast (Float4 x) noexcept
{
#if QUILLON_SIN_LANES
    if constexpr (! exactReference)
        if (bitsOf (abs (x) < Float4 (fast_math_detail::shortExponent)) == 0xF)
            return toFloats (exp2Short (Double2::lowOf (x)), exp2Short (Double2::highOf (x)));
#endif

    return eachLane (x, [] (float v) { return exp2Fast (v); });
}

inline void exp2Fast4 (const float* input, float* output) noexcept { exp2Fast (Float4::load (input)).store (output); }

// 2^x in float alone (relative error below 2e-7) where nothing accumulates it: curves, gains.
inline float exp2Float (float x) noexcept
{
    if constexpr (exactReference)
        return std::exp2 (x);

    x = fast_math_detail::clampExponent (x);
    const auto n = roundToInt (x);
    const auto f = (x - (float) n) * 0.69314718f; // |f| <= ln 2 / 2
    const auto p = 1.0f + f * (1.0f + f * (0.5f + f * (1.6666667e-1f + f * (4.1666668e-2f
                 + f * (8.3333338e-3f + f * 1.3888889e-3f)))));
    return p * fromBits ((n + 127) << 23);
}

// e^x, for curves.
inline float expFast (float x) noexcept { return exactReference ? std::exp (x) : exp2Float (x * 1.4426950f); }

// A level in dB as a gain, silence at and below the floor: as the library computes it, or from
// exp2Float where it is worked out per sample.
inline float decibelsToGain (float db, float floorDb) noexcept
{
    return db > floorDb ? std::pow (10.0f, db / 20.0f) : 0.0f;
}

inline float decibelsToGainFast (float db, float floorDb) noexcept
{
    if constexpr (exactReference)
        return decibelsToGain (db, floorDb);

    return db > floorDb ? exp2Float (db * 0.16609640f) : 0.0f;
}

//==============================================================================
// 2^(semitones / 12) by 32nds of an octave: the cutoff's ratio to the smoothed knob reads whole
// steps from here, the rest from a cubic.
alignas (16) inline constexpr float cutoffSteps[32] = {
    1.0f, 1.0218972f, 1.04427373f, 1.06714046f, 1.09050775f, 1.1143868f, 1.13878858f, 1.1637249f,
    1.18920708f, 1.21524739f, 1.24185777f, 1.26905096f, 1.29683959f, 1.32523668f, 1.35425556f, 1.38390994f,
    1.41421354f, 1.44518077f, 1.47682619f, 1.50916445f, 1.54221082f, 1.5759809f, 1.61049032f, 1.64575553f,
    1.68179286f, 1.71861935f, 1.75625217f, 1.79470909f, 1.8340081f, 1.87416768f, 1.91520655f, 1.95714414f
};

// 2^(semitones / 12), the cutoff's ratio to the smoothed knob: the nearest 32nd of an octave from
// the table and the exponent, the rest (within a 64th) from a cubic, within 7e-7 of it. Past 11
// octaves either way the cutoff sits at a limit whatever the knob says, and so does one that is
// not a number.
template <typename V>
inline V cutoffRatio (V semitones) noexcept
{
    if constexpr (exactReference)
        return eachLane (semitones, [] (float s) { return std::exp2 (s / 12.0f); });

    const auto x = bound (semitones * V (32.0f / 12.0f), V (-352.0f), V (352.0f));
    const auto n = roundToInt (x);
    const auto r = (x - toFloat (n)) * V (0.69314718f / 32.0f);
    const auto p = V (1.0f) + r * (V (1.0f) + r * (V (0.5f) + r * V (1.0f / 6.0f)));
    const auto scale = fromBits (((n >> 5) + 127) << 23);
    return (gather (cutoffSteps, n & 31) * scale) * p;
}

//==============================================================================
// Sine of a whole number of turns plus a fraction: sin (2 pi t). The argument is reduced to a
// quarter turn around 0 and the sine taken there from its degree-11 Taylor polynomial (error
// below 6e-8). The oscillators, the LFO and the sub work in turns anyway.
template <typename V>
QUILLON_ALWAYS_INLINE inline V sinTurns (V t) noexcept
{
    if constexpr (exactReference)
        return eachLane (t, [] (float x) { return (float) std::sin (2.0 * 3.14159265358979323846 * (double) x); });

    // Without branches, which an oscillator's phase would mispredict: r in -0.5..0.5, then its
    // magnitude folded into 0..0.25 (same sine) and the sign put back.
    const auto r = t - roundToWhole (t);
    const auto a = abs (r);
    const auto x = (V (0.25f) - abs (a - V (0.25f))) * V (twoPi);
    // Estrin's scheme: the terms' products overlap instead of queueing behind one another.
    const auto x2 = x * x;
    const auto x4 = x2 * x2;
    const auto x8 = x4 * x4;
    const auto v = x * (((V (1.0f) + x2 * V (-1.6666667e-1f)) + x4 * (V (8.3333333e-3f) + x2 * V (-1.9841270e-4f)))
                        + x8 * (V (2.7557319e-6f) + x2 * V (-2.5052108e-8f)));
    return copySign (v, r);
}

inline void sinTurns4 (const float* in, float* out) noexcept { sinTurns (Float4::load (in)).store (out); }

inline float cosTurns (float t) noexcept
{
    if constexpr (exactReference)
        return (float) std::cos (2.0 * 3.14159265358979323846 * (double) t);

    return sinTurns (t + 0.25f);
}

// Hyperbolic tangent from exp2Float: within 3e-7 of tanh everywhere. Near zero, where e - 1 would
// cancel, its odd series takes over.
inline float tanhApprox (float x) noexcept
{
    if constexpr (exactReference)
        return std::tanh (x);

    x = x > 15.0f ? 15.0f : (x < -15.0f ? -15.0f : x);

    if (std::abs (x) < 0.01f)
        return x * (1.0f - x * x * (1.0f / 3.0f));

    const auto e = exp2Float (2.8853901f * x); // e^(2x)
    return (e - 1.0f) / (e + 1.0f);
}

// tanh for the resonance loops, from a rational function on +-7.9 (within 4e-7 of tanh), which
// is much shorter on the loop's path than one built on an exponential. Below 0.02 the series
// takes over, so that the rational's high powers never underflow on a quiet state.
template <typename V>
QUILLON_ALWAYS_INLINE inline V loopTanh (V x) noexcept
{
    if constexpr (exactReference)
        return eachLane (x, [] (float v) { return std::tanh (v); });

    // The square from the magnitude held above 1e-10, where the series is exactly 1 anyway: a
    // state passing close to 0 then never underflows here.
    constexpr float top = 7.90531111f;
    const auto a = min (max (abs (x), V (1.0e-10f)), V (top));
    x = limit (x, V (-top), V (top));
    const auto x2 = a * a;
    const auto small = x2 < V (4.0e-4f);
    const auto r2 = max (x2, V (4.0e-4f)); // as small ? 4e-4 : x2
    const auto r4 = r2 * r2;
    const auto k = [] (float c) QUILLON_ALWAYS_INLINE { return V (c); };
    const auto p = ((k (4.89352455891786e-03f) + r2 * k (6.37261928875436e-04f)) + r4 * (k (1.48572235717979e-05f) + r2 * k (5.12229709037114e-08f)))
                 + (r4 * r4) * ((k (-8.60467152213735e-11f) + r2 * k (2.00018790482477e-13f)) + r4 * k (-2.76076847742355e-16f));
    const auto q = (k (4.89352518554385e-03f) + r2 * k (2.26843463243900e-03f)) + r4 * (k (1.18534705686654e-04f) + r2 * k (1.19825839466702e-06f));
    return x * select (small, k (1.0f) - x2 * k (1.0f / 3.0f), p / q);
}

// Tangent of an angle in -pi/4..pi/4 from its [7/6] continued-fraction approximant
// (relative error below 1e-12 in exact arithmetic, so float rounding is all that is left).
inline float tanQuarter (float x) noexcept
{
    if constexpr (exactReference)
        return std::tan (x);

    const auto x2 = x * x;
    return x * (135135.0f - x2 * (17325.0f - x2 * (378.0f - x2)))
             / (135135.0f - x2 * (62370.0f - x2 * (3150.0f - 28.0f * x2)));
}

// Tangent of an angle in 0..pi/2 (exclusive), as the filters need it for prewarping.
inline float tanPrewarp (float x) noexcept
{
    if constexpr (exactReference)
        return std::tan (x);

    return x <= quarterPi ? tanQuarter (x) : 1.0f / tanQuarter (halfPi - x);
}

// Sine of an angle in radians, for |x| up to about 1e5 (larger arguments are clamped: they carry
// no phase information in float anyway).
inline float sinApprox (float x) noexcept
{
    if constexpr (exactReference)
        return std::sin (x);

    constexpr float inverseTwoPi = 1.0f / twoPi;
    x = x > 1.0e5f ? 1.0e5f : (x < -1.0e5f ? -1.0e5f : x);
    return sinTurns (x * inverseTwoPi);
}

inline float cosApprox (float x) noexcept { return exactReference ? std::cos (x) : sinApprox (x + halfPi); }

} // namespace quillon::dsp

namespace quillon::dsp
{

// Two groups of four sines of turns, lane by lane sinTurns's operations: one run of eight
// lanes where the build has them (AVX), two of four where it has not.
inline void sinTurns (Float4 t1, Float4 t2, Float4& s1, Float4& s2) noexcept
{
#if QUILLON_SIN_LANES && defined(__GNUC__)
    if constexpr (! exactReference)
    {
        using F8 = float __attribute__ ((vector_size (32)));
        using I8 = int __attribute__ ((vector_size (32)));
        const F8 zero {};
        const auto sign = (I8) zero | std::numeric_limits<int>::min();
        const F8 t = __builtin_shufflevector (t1.v, t2.v, 0, 1, 2, 3, 4, 5, 6, 7);
        const auto half = (F8) ((I8) (zero + 0.5f) | ((I8) t & sign));
        const auto r = t - __builtin_convertvector (__builtin_convertvector (t + half, I8), F8);
        const auto a = (F8) ((I8) r & ~sign);
        const auto x = ((zero + 0.25f) - (F8) ((I8) (a - 0.25f) & ~sign)) * twoPi;
        const auto x2 = x * x;
        const auto x4 = x2 * x2;
        const auto x8 = x4 * x4;
        const auto low = (zero + 1.0f) + x2 * -1.6666667e-1f;
        const auto mid = x4 * ((zero + 8.3333333e-3f) + x2 * -1.9841270e-4f);
        const auto high = x8 * ((zero + 2.7557319e-6f) + x2 * -2.5052108e-8f);
        const auto v = x * ((low + mid) + high);
        const auto out = (F8) (((I8) v & ~sign) | ((I8) r & sign));
        s1 = Float4 ((__m128) __builtin_shufflevector (out, out, 0, 1, 2, 3));
        s2 = Float4 ((__m128) __builtin_shufflevector (out, out, 4, 5, 6, 7));
        return;
    }
#endif

    s1 = sinTurns (t1);
    s2 = sinTurns (t2);
}

} // namespace quillon::dsp
