#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
 #include <emmintrin.h>
 #define QUILLON_SIN_LANES 1
#else
 #define QUILLON_SIN_LANES 0
#endif

// Built with QUILLON_EXACT_REFERENCE=1, every approximation below falls back to the library
// function and every control-rate shortcut to a per-sample update. The tests build the voice
// that way a second time and check the fast voice against it.
#ifndef QUILLON_EXACT_REFERENCE
 #define QUILLON_EXACT_REFERENCE 0
#endif

// For the per-sample stages of the chain's loops: as calls they would make the loop store and
// load every live value around them.
#if defined(__GNUC__)
 #define QUILLON_ALWAYS_INLINE __attribute__ ((always_inline))
#else
 #define QUILLON_ALWAYS_INLINE
#endif

// The hot loops built twice, for the x86-64 baseline and for AVX2, the loader picking one for the
// machine it runs on. No FMA: a fused multiply-add rounds once where the baseline rounds twice,
// and the lanes, the stretches and the exact voice have to give the same results on any machine.
// GCC 12 drops the clones of a template used before its definition, and breaks the link where a
// declaration seen by other files carries them: a template takes this on its declaration, any
// other function on its definition. Clang does not clone templates.
#if defined(__GNUC__) && ! defined(__clang__) && defined(__x86_64__) && ! QUILLON_EXACT_REFERENCE
 #define QUILLON_HOT_CLONES __attribute__ ((target_clones ("avx2", "default")))
#else
 #define QUILLON_HOT_CLONES
#endif

namespace quillon::dsp
{

constexpr bool exactReference = QUILLON_EXACT_REFERENCE != 0;

constexpr float pi = 3.14159265358979323846f;
constexpr float twoPi = 2.0f * pi;
constexpr float halfPi = 0.5f * pi;
constexpr float quarterPi = 0.25f * pi;

// Nearest whole number for |x| below 2^31, through the cheap truncating conversion.
inline int roundToInt (float x) noexcept { return (int) (x + std::copysign (0.5f, x)); }

// Below this a decaying state is as good as silence; flushing it keeps denormals out of the
// recursive filters whatever the floating-point mode of the calling thread. A value that is not
// finite goes to 0 as well, so that one bad sample cannot stay in a recursive state for good.
inline float flushTiny (float x) noexcept
{
    const auto magnitude = std::abs (x);
    return magnitude >= 1.0e-20f && magnitude <= 3.0e38f ? x : 0.0f;
}

// flushTiny on p[0..3] in place, four at once where there is SSE2.
inline void flushTinyFour (float* p) noexcept
{
#if QUILLON_SIN_LANES
    const auto x = _mm_loadu_ps (p);
    const auto magnitude = _mm_andnot_ps (_mm_set1_ps (-0.0f), x);
    const auto within = _mm_and_ps (_mm_cmpge_ps (magnitude, _mm_set1_ps (1.0e-20f)), _mm_cmple_ps (magnitude, _mm_set1_ps (3.0e38f)));
    _mm_storeu_ps (p, _mm_and_ps (within, x));
#else
    for (int i = 0; i < 4; ++i)
        p[i] = flushTiny (p[i]);
#endif
}

// 2^x from a degree-11 polynomial on the fraction, evaluated in double and rounded once, so that
// it agrees with a correctly rounded exp2 nearly always: pitch goes through it, and an increment
// one rounding step off would drift the phase audibly apart from the exact voice over seconds.
// Exactly 1 at 0; inputs are held to +-120, far beyond anything the voice asks for.
inline float exp2Fast (float input) noexcept
{
    if constexpr (exactReference)
        return std::exp2 (input);

    // Drift and vibrato stay within a sixteenth of an octave: there degree 7 is already far
    // closer than float's rounding (error below 3e-16) and the scale is 1.
    if (std::abs (input) < 0.0625f)
    {
        const auto f = (double) input;
        const auto f2 = f * f;
        const auto p = ((1.0 + f * 0.69314718055994529) + f2 * (0.24022650695910069 + f * 0.055504108664821576))
                     + (f2 * f2) * ((0.0096181291076284769 + f * 0.0013333558146428441)
                                    + f2 * (0.00015403530393381606 + f * 1.5252733804059838e-05));
        return (float) p;
    }

    const auto x = (double) (input > 120.0f ? 120.0f : (input < -120.0f ? -120.0f : input));
    const auto n = (int) (x + std::copysign (0.5, x));
    const auto f = x - (double) n; // exact, |f| <= 0.5
    // Coefficients ln(2)^k / k!, in two halves so that their dependency chains overlap.
    const auto f2 = f * f;
    const auto f4 = f2 * f2, f8 = f4 * f4;
    const auto low = (1.0 + f * 0.69314718055994529) + f2 * (0.24022650695910069 + f * 0.055504108664821576)
                   + f4 * ((0.0096181291076284769 + f * 0.0013333558146428441)
                           + f2 * (0.00015403530393381606 + f * 1.5252733804059838e-05));
    const auto high = (1.3215486790144305e-06 + f * 1.0178086009239696e-07)
                    + f2 * (7.0549116208011209e-09 + f * 4.4455382718708101e-10);
    const auto p = low + f8 * high;
    const auto bits = (std::uint64_t) (n + 1023) << 52;
    double scale;
    std::memcpy (&scale, &bits, sizeof (scale));
    return (float) (p * scale);
}

#if QUILLON_SIN_LANES
// exp2Fast's short polynomial for inputs within a sixteenth of an octave, in both double lanes:
// lane by lane the same operations in the same order, so the same results.
QUILLON_ALWAYS_INLINE inline __m128 exp2SmallLanes (__m128d f) noexcept
{
    const auto c = [] (double v) { return _mm_set1_pd (v); };
    const auto f2 = _mm_mul_pd (f, f);
    const auto low = _mm_add_pd (_mm_add_pd (c (1.0), _mm_mul_pd (f, c (0.69314718055994529))),
                                 _mm_mul_pd (f2, _mm_add_pd (c (0.24022650695910069), _mm_mul_pd (f, c (0.055504108664821576)))));
    const auto high = _mm_add_pd (_mm_add_pd (c (0.0096181291076284769), _mm_mul_pd (f, c (0.0013333558146428441))),
                                  _mm_mul_pd (f2, _mm_add_pd (c (0.00015403530393381606), _mm_mul_pd (f, c (1.5252733804059838e-05)))));
    return _mm_cvtpd_ps (_mm_add_pd (low, _mm_mul_pd (_mm_mul_pd (f2, f2), high)));
}
#endif

// Two exp2Fast at once, in the two double lanes of SSE2 where there are any: lane by lane the
// same operations in the same order, so the same results.
inline void exp2Fast2 (float a, float b, float& outA, float& outB) noexcept
{
#if QUILLON_SIN_LANES
    if (! exactReference && std::abs (a) < 0.0625f && std::abs (b) < 0.0625f)
    {
        alignas (16) float out[4];
        _mm_store_ps (out, exp2SmallLanes (_mm_set_pd ((double) b, (double) a)));
        outA = out[0];
        outB = out[1];
        return;
    }

    if (! exactReference && std::abs (a) >= 0.0625f && std::abs (b) >= 0.0625f)
    {
        // Each input clamped as exp2Fast clamps it, then widened.
        const auto ia = a > 120.0f ? 120.0f : (a < -120.0f ? -120.0f : a);
        const auto ib = b > 120.0f ? 120.0f : (b < -120.0f ? -120.0f : b);
        const auto x = _mm_set_pd ((double) ib, (double) ia);
        const auto sign = _mm_set1_pd (-0.0);
        const auto half = _mm_or_pd (_mm_set1_pd (0.5), _mm_and_pd (x, sign));
        const auto n = _mm_cvttpd_epi32 (_mm_add_pd (x, half));
        const auto f = _mm_sub_pd (x, _mm_cvtepi32_pd (n));
        const auto c = [] (double v) { return _mm_set1_pd (v); };
        const auto f2 = _mm_mul_pd (f, f);
        const auto f4 = _mm_mul_pd (f2, f2), f8 = _mm_mul_pd (f4, f4);
        const auto low = _mm_add_pd (
            _mm_add_pd (_mm_add_pd (c (1.0), _mm_mul_pd (f, c (0.69314718055994529))),
                        _mm_mul_pd (f2, _mm_add_pd (c (0.24022650695910069), _mm_mul_pd (f, c (0.055504108664821576))))),
            _mm_mul_pd (f4, _mm_add_pd (_mm_add_pd (c (0.0096181291076284769), _mm_mul_pd (f, c (0.0013333558146428441))),
                                        _mm_mul_pd (f2, _mm_add_pd (c (0.00015403530393381606), _mm_mul_pd (f, c (1.5252733804059838e-05)))))));
        const auto high = _mm_add_pd (_mm_add_pd (c (1.3215486790144305e-06), _mm_mul_pd (f, c (1.0178086009239696e-07))),
                                      _mm_mul_pd (f2, _mm_add_pd (c (7.0549116208011209e-09), _mm_mul_pd (f, c (4.4455382718708101e-10)))));
        const auto p = _mm_add_pd (low, _mm_mul_pd (f8, high));
        const auto exponent = _mm_unpacklo_epi32 (_mm_add_epi32 (n, _mm_set1_epi32 (1023)), _mm_setzero_si128());
        const auto scale = _mm_castsi128_pd (_mm_slli_epi64 (exponent, 52));
        alignas (16) float out[4];
        _mm_store_ps (out, _mm_cvtpd_ps (_mm_mul_pd (p, scale)));
        outA = out[0];
        outB = out[1];
        return;
    }
#endif

    outA = exp2Fast (a);
    outB = exp2Fast (b);
}

// 2^x in float alone (relative error below 2e-7) where nothing accumulates it: curves, gains.
inline float exp2Float (float x) noexcept
{
    if constexpr (exactReference)
        return std::exp2 (x);

    x = x > 120.0f ? 120.0f : (x < -120.0f ? -120.0f : x);
    const auto n = roundToInt (x);
    const auto f = (x - (float) n) * 0.69314718f; // |f| <= ln 2 / 2
    const auto p = 1.0f + f * (1.0f + f * (0.5f + f * (1.6666667e-1f + f * (4.1666668e-2f
                 + f * (8.3333338e-3f + f * 1.3888889e-3f)))));
    const auto bits = (std::uint32_t) (n + 127) << 23;
    float scale;
    std::memcpy (&scale, &bits, sizeof (scale));
    return p * scale;
}

// e^x and 10^(x/20), for curves and gains.
inline float expFast (float x) noexcept        { return exactReference ? std::exp (x) : exp2Float (x * 1.4426950f); }
inline float decibelsToGainFast (float db) noexcept
{
    return exactReference ? std::pow (10.0f, db / 20.0f) : exp2Float (db * 0.16609640f);
}

// Sine of a whole number of turns plus a fraction: sin (2 pi t). The argument is reduced to a
// quarter turn around 0 and the sine taken there from its degree-11 Taylor polynomial (error
// below 6e-8). The oscillators, the LFO and the sub work in turns anyway.
QUILLON_ALWAYS_INLINE inline float sinTurns (float t) noexcept
{
    if constexpr (exactReference)
        return (float) std::sin (2.0 * 3.14159265358979323846 * (double) t);

    // Without branches, which an oscillator's phase would mispredict: r in -0.5..0.5, then its
    // magnitude folded into 0..0.25 (same sine) and the sign put back.
    const auto r = t - (float) roundToInt (t);
    const auto a = std::abs (r);
    const auto x = (0.25f - std::abs (a - 0.25f)) * twoPi;
    // Estrin's scheme: the terms' products overlap instead of queueing behind one another.
    const auto x2 = x * x;
    const auto x4 = x2 * x2;
    const auto x8 = x4 * x4;
    const auto v = x * ((1.0f + x2 * -1.6666667e-1f) + x4 * (8.3333333e-3f + x2 * -1.9841270e-4f)
                        + x8 * (2.7557319e-6f + x2 * -2.5052108e-8f));
    return std::copysign (v, r);
}

//==============================================================================
// Four floats in SSE2 lanes (a plain array where there is no SSE2), for kernels that must give
// in each lane exactly the bits of their scalar form: the same operations in the same order, with
// min, max and clamp choosing as std::min, std::max and std::clamp do (NaN and signed zeros too).
#if QUILLON_SIN_LANES
struct Float4
{
    Float4() noexcept = default;
    Float4 (float x) noexcept : v (_mm_set1_ps (x)) {}
    explicit Float4 (__m128 x) noexcept : v (x) {}
    static Float4 load (const float* p) noexcept { return Float4 (_mm_loadu_ps (p)); }
    // p[0], p[0], p[1], p[1]: two values that hold for two lanes each.
    static Float4 loadPairs (const float* p) noexcept
    {
        const auto x = _mm_castsi128_ps (_mm_loadl_epi64 (reinterpret_cast<const __m128i*> (p)));
        return Float4 (_mm_unpacklo_ps (x, x));
    }
    // a, b, c, d in lanes 0..3, from registers: four scalar stores read back as one would wait
    // for the stores to reach the cache.
    static Float4 set (float a, float b, float c, float d) noexcept { return Float4 (_mm_setr_ps (a, b, c, d)); }
    void store (float* p) const noexcept         { _mm_storeu_ps (p, v); }
    __m128 v;
};

struct Mask4
{
    __m128 v;
};

inline Float4 operator+ (Float4 a, Float4 b) noexcept { return Float4 (_mm_add_ps (a.v, b.v)); }
inline Float4 operator- (Float4 a, Float4 b) noexcept { return Float4 (_mm_sub_ps (a.v, b.v)); }
inline Float4 operator* (Float4 a, Float4 b) noexcept { return Float4 (_mm_mul_ps (a.v, b.v)); }
inline Float4 operator/ (Float4 a, Float4 b) noexcept { return Float4 (_mm_div_ps (a.v, b.v)); }
inline Mask4 operator< (Float4 a, Float4 b) noexcept  { return { _mm_cmplt_ps (a.v, b.v) }; }
inline Mask4 operator>= (Float4 a, Float4 b) noexcept { return { _mm_cmpge_ps (a.v, b.v) }; }
inline Mask4 operator> (Float4 a, Float4 b) noexcept  { return { _mm_cmpgt_ps (a.v, b.v) }; }
inline Mask4 operator!= (Float4 a, Float4 b) noexcept { return { _mm_cmpneq_ps (a.v, b.v) }; }
inline Mask4 operator| (Mask4 a, Mask4 b) noexcept    { return { _mm_or_ps (a.v, b.v) }; }
inline bool anyOf (Mask4 m) noexcept                  { return _mm_movemask_ps (m.v) != 0; }
// Lane i's truth in bit i.
inline int bitsOf (Mask4 m) noexcept                  { return _mm_movemask_ps (m.v); }
inline Mask4 operator! (Mask4 m) noexcept             { return { _mm_xor_ps (m.v, _mm_castsi128_ps (_mm_set1_epi32 (-1))) }; }
// (b < a) ? b : a and (a < b) ? b : a, as std::min (a, b) and std::max (a, b) choose.
inline Float4 min (Float4 a, Float4 b) noexcept { return Float4 (_mm_min_ps (b.v, a.v)); }
inline Float4 max (Float4 a, Float4 b) noexcept { return Float4 (_mm_max_ps (b.v, a.v)); }
inline Float4 clamp (Float4 x, Float4 lo, Float4 hi) noexcept { return Float4 (_mm_max_ps (lo.v, _mm_min_ps (hi.v, x.v))); }
inline Float4 select (Mask4 m, Float4 a, Float4 b) noexcept
{
    return Float4 (_mm_or_ps (_mm_and_ps (m.v, a.v), _mm_andnot_ps (m.v, b.v)));
}
inline Float4 sqrt (Float4 a) noexcept { return Float4 (_mm_sqrt_ps (a.v)); }
inline Float4 abs (Float4 a) noexcept  { return Float4 (_mm_andnot_ps (_mm_set1_ps (-0.0f), a.v)); }
// Lane i of a in all four lanes.
template <int i>
inline Float4 broadcast (Float4 a) noexcept { return Float4 (_mm_shuffle_ps (a.v, a.v, _MM_SHUFFLE (i, i, i, i))); }
// std::floor for |x| below 2^31 (and NaN), through truncation.
inline Float4 floor (Float4 x) noexcept
{
    const auto t = _mm_cvtepi32_ps (_mm_cvttps_epi32 (x.v));
    return Float4 (_mm_sub_ps (t, _mm_and_ps (_mm_cmpgt_ps (t, x.v), _mm_set1_ps (1.0f))));
}
#else
struct Float4
{
    Float4() noexcept = default;
    Float4 (float x) noexcept : v { x, x, x, x } {}
    static Float4 load (const float* p) noexcept { Float4 r; for (int i = 0; i < 4; ++i) r.v[i] = p[i]; return r; }
    static Float4 loadPairs (const float* p) noexcept { Float4 r; for (int i = 0; i < 4; ++i) r.v[i] = p[i / 2]; return r; }
    static Float4 set (float a, float b, float c, float d) noexcept { Float4 r; r.v[0] = a; r.v[1] = b; r.v[2] = c; r.v[3] = d; return r; }
    void store (float* p) const noexcept         { for (int i = 0; i < 4; ++i) p[i] = v[i]; }
    float v[4];
};

struct Mask4
{
    bool v[4];
};

template <typename Op>
inline Float4 lanes (Float4 a, Float4 b, Op op) noexcept
{
    Float4 r;
    for (int i = 0; i < 4; ++i)
        r.v[i] = op (a.v[i], b.v[i]);
    return r;
}

template <typename Op>
inline Mask4 compareLanes (Float4 a, Float4 b, Op op) noexcept
{
    Mask4 r;
    for (int i = 0; i < 4; ++i)
        r.v[i] = op (a.v[i], b.v[i]);
    return r;
}

inline Float4 operator+ (Float4 a, Float4 b) noexcept { return lanes (a, b, [] (float x, float y) { return x + y; }); }
inline Float4 operator- (Float4 a, Float4 b) noexcept { return lanes (a, b, [] (float x, float y) { return x - y; }); }
inline Float4 operator* (Float4 a, Float4 b) noexcept { return lanes (a, b, [] (float x, float y) { return x * y; }); }
inline Float4 operator/ (Float4 a, Float4 b) noexcept { return lanes (a, b, [] (float x, float y) { return x / y; }); }
inline Mask4 operator< (Float4 a, Float4 b) noexcept  { return compareLanes (a, b, [] (float x, float y) { return x < y; }); }
inline Mask4 operator>= (Float4 a, Float4 b) noexcept { return compareLanes (a, b, [] (float x, float y) { return x >= y; }); }
inline Mask4 operator> (Float4 a, Float4 b) noexcept  { return compareLanes (a, b, [] (float x, float y) { return x > y; }); }
inline Mask4 operator!= (Float4 a, Float4 b) noexcept { return compareLanes (a, b, [] (float x, float y) { return x != y; }); }
inline Mask4 operator| (Mask4 a, Mask4 b) noexcept    { for (int i = 0; i < 4; ++i) a.v[i] = a.v[i] || b.v[i]; return a; }
inline bool anyOf (Mask4 m) noexcept                  { return m.v[0] || m.v[1] || m.v[2] || m.v[3]; }
inline int bitsOf (Mask4 m) noexcept                  { return (m.v[0] ? 1 : 0) | (m.v[1] ? 2 : 0) | (m.v[2] ? 4 : 0) | (m.v[3] ? 8 : 0); }
inline Mask4 operator! (Mask4 m) noexcept             { for (int i = 0; i < 4; ++i) m.v[i] = ! m.v[i]; return m; }
inline Float4 min (Float4 a, Float4 b) noexcept { return lanes (a, b, [] (float x, float y) { return y < x ? y : x; }); }
inline Float4 max (Float4 a, Float4 b) noexcept { return lanes (a, b, [] (float x, float y) { return x < y ? y : x; }); }
inline Float4 clamp (Float4 x, Float4 lo, Float4 hi) noexcept
{
    Float4 r;
    for (int i = 0; i < 4; ++i)
        r.v[i] = x.v[i] < lo.v[i] ? lo.v[i] : (hi.v[i] < x.v[i] ? hi.v[i] : x.v[i]);
    return r;
}
inline Float4 select (Mask4 m, Float4 a, Float4 b) noexcept
{
    Float4 r;
    for (int i = 0; i < 4; ++i)
        r.v[i] = m.v[i] ? a.v[i] : b.v[i];
    return r;
}
inline Float4 sqrt (Float4 a) noexcept { Float4 r; for (int i = 0; i < 4; ++i) r.v[i] = std::sqrt (a.v[i]); return r; }
inline Float4 abs (Float4 a) noexcept  { Float4 r; for (int i = 0; i < 4; ++i) r.v[i] = std::abs (a.v[i]); return r; }
template <int i>
inline Float4 broadcast (Float4 a) noexcept { return Float4 (a.v[i]); }
inline Float4 floor (Float4 a) noexcept { Float4 r; for (int i = 0; i < 4; ++i) r.v[i] = std::floor (a.v[i]); return r; }
#endif

// Four sines of turns at once, lane by lane the same values as sinTurns (same operations in the
// same order, in SSE2 lanes where there are any).
inline Float4 sinTurns (Float4 t4) noexcept
{
#if QUILLON_SIN_LANES
    if constexpr (! exactReference)
    {
        const auto t = t4.v;
        const auto sign = _mm_set1_ps (-0.0f);
        const auto half = _mm_or_ps (_mm_set1_ps (0.5f), _mm_and_ps (t, sign));
        const auto r = _mm_sub_ps (t, _mm_cvtepi32_ps (_mm_cvttps_epi32 (_mm_add_ps (t, half))));
        const auto a = _mm_andnot_ps (sign, r);
        const auto quarter = _mm_set1_ps (0.25f);
        const auto x = _mm_mul_ps (_mm_sub_ps (quarter, _mm_andnot_ps (sign, _mm_sub_ps (a, quarter))), _mm_set1_ps (twoPi));
        const auto x2 = _mm_mul_ps (x, x);
        const auto x4 = _mm_mul_ps (x2, x2);
        const auto x8 = _mm_mul_ps (x4, x4);
        const auto low = _mm_add_ps (_mm_set1_ps (1.0f), _mm_mul_ps (x2, _mm_set1_ps (-1.6666667e-1f)));
        const auto mid = _mm_mul_ps (x4, _mm_add_ps (_mm_set1_ps (8.3333333e-3f), _mm_mul_ps (x2, _mm_set1_ps (-1.9841270e-4f))));
        const auto high = _mm_mul_ps (x8, _mm_add_ps (_mm_set1_ps (2.7557319e-6f), _mm_mul_ps (x2, _mm_set1_ps (-2.5052108e-8f))));
        const auto v = _mm_mul_ps (x, _mm_add_ps (_mm_add_ps (low, mid), high));
        return Float4 (_mm_or_ps (_mm_andnot_ps (sign, v), _mm_and_ps (r, sign)));
    }
#endif

    float in[4], out[4];
    t4.store (in);

    for (int i = 0; i < 4; ++i)
        out[i] = sinTurns (in[i]);

    return Float4::load (out);
}

inline void sinTurns4 (const float* in, float* out) noexcept
{
    sinTurns (Float4::load (in)).store (out);
}

inline float cosTurns (float t) noexcept
{
    if constexpr (exactReference)
        return (float) std::cos (2.0 * 3.14159265358979323846 * (double) t);

    return sinTurns (t + 0.25f);
}

// Hyperbolic tangent from exp2Fast: within 3e-7 of tanh everywhere. Near zero, where e - 1 would
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

//==============================================================================
// The sources' lanes: rearranging four lanes, and eight sines at once. Each lane keeps the bits
// of its scalar counterpart.
namespace quillon::dsp
{

// Lanes 0 and 1 into p[0..1].
inline void storeLow (Float4 x, float* p) noexcept
{
#if QUILLON_SIN_LANES
    _mm_storel_pi (reinterpret_cast<__m64*> (p), x.v);
#else
    p[0] = x.v[0];
    p[1] = x.v[1];
#endif
}

// a[0], a[1], b[0], b[1] and a[2], a[3], b[2], b[3].
inline Float4 lowHalves (Float4 a, Float4 b) noexcept
{
#if QUILLON_SIN_LANES
    return Float4 (_mm_movelh_ps (a.v, b.v));
#else
    return Float4::set (a.v[0], a.v[1], b.v[0], b.v[1]);
#endif
}

inline Float4 highHalves (Float4 a, Float4 b) noexcept
{
#if QUILLON_SIN_LANES
    return Float4 (_mm_movehl_ps (b.v, a.v));
#else
    return Float4::set (a.v[2], a.v[3], b.v[2], b.v[3]);
#endif
}

// The four signed 32-bit halves of two 64-bit words, low half first, as floats.
inline Float4 fromIntPairs (std::uint64_t first, std::uint64_t second) noexcept
{
#if QUILLON_SIN_LANES
    return Float4 (_mm_cvtepi32_ps (_mm_set_epi64x ((long long) second, (long long) first)));
#else
    const auto half = [] (std::uint64_t w, int shift) { return (float) (std::int32_t) (std::uint32_t) (w >> shift); };
    return Float4::set (half (first, 0), half (first, 32), half (second, 0), half (second, 32));
#endif
}

// Four rows of four become four columns: a[i], b[i], c[i], d[i] end up in the i-th.
inline void transpose (Float4& a, Float4& b, Float4& c, Float4& d) noexcept
{
#if QUILLON_SIN_LANES
    _MM_TRANSPOSE4_PS (a.v, b.v, c.v, d.v);
#else
    const Float4 rows[4] = { a, b, c, d };
    a = Float4::set (rows[0].v[0], rows[1].v[0], rows[2].v[0], rows[3].v[0]);
    b = Float4::set (rows[0].v[1], rows[1].v[1], rows[2].v[1], rows[3].v[1]);
    c = Float4::set (rows[0].v[2], rows[1].v[2], rows[2].v[2], rows[3].v[2]);
    d = Float4::set (rows[0].v[3], rows[1].v[3], rows[2].v[3], rows[3].v[3]);
#endif
}

} // namespace quillon::dsp

//==============================================================================
// The lane operations on a plain float, so that one kernel body serves float and Float4: each
// gives the bits of the standard function (std::min, std::max, std::clamp, std::floor) that the
// Float4 form matches lane by lane.
namespace quillon::dsp
{
inline float min (float a, float b) noexcept              { return b < a ? b : a; }
inline float max (float a, float b) noexcept              { return a < b ? b : a; }
inline float clamp (float x, float lo, float hi) noexcept { return x < lo ? lo : (hi < x ? hi : x); }
inline float select (bool m, float a, float b) noexcept   { return m ? a : b; }
inline float floor (float x) noexcept                     { return std::floor (x); }
inline float sqrt (float x) noexcept                      { return std::sqrt (x); }
inline float abs (float x) noexcept                       { return std::abs (x); }
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
