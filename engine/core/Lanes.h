#pragma once

#include "engine/core/Build.h"

#include <cmath>
#include <cstdint>
#include <cstring>

// The voice's lane types and the one home of its raw SIMD intrinsics. A kernel written once as a
// template over V runs with V = float or V = Float4 and gives in each lane the scalar bits; the
// float overloads at the end make the scalar form read as the lanes form does.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
 #include <emmintrin.h>
 #define QUILLON_SIN_LANES 1
#else
 #define QUILLON_SIN_LANES 0
#endif

namespace quillon::dsp
{

// Nearest whole number for |x| below 2^31, halves away from zero, through the cheap truncating
// conversion. Beyond that range, and for NaN, it gives INT_MIN as the lanes do: the instruction's
// own answer, where a plain cast would be undefined.
inline int roundToInt (float x) noexcept
{
#if QUILLON_SIN_LANES
    return _mm_cvttss_si32 (_mm_set_ss (x + std::copysign (0.5f, x)));
#else
    return (int) (x + std::copysign (0.5f, x));
#endif
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
inline Mask4 operator<= (Float4 a, Float4 b) noexcept { return { _mm_cmple_ps (a.v, b.v) }; }
inline Mask4 operator& (Mask4 a, Mask4 b) noexcept    { return { _mm_and_ps (a.v, b.v) }; }
// x where m holds, 0 elsewhere.
inline Float4 keep (Mask4 m, Float4 x) noexcept { return Float4 (_mm_and_ps (m.v, x.v)); }
// Held within lo..hi, a value that is not a number passing as it is.
inline Float4 limit (Float4 x, Float4 lo, Float4 hi) noexcept { return Float4 (_mm_min_ps (hi.v, _mm_max_ps (lo.v, x.v))); }
// Held within lo..hi, a value that is not a number taken as lo.
inline Float4 bound (Float4 x, Float4 lo, Float4 hi) noexcept { return Float4 (_mm_min_ps (_mm_max_ps (x.v, lo.v), hi.v)); }
// The magnitude of a with the sign of b.
inline Float4 copySign (Float4 a, Float4 b) noexcept
{
    const auto sign = _mm_set1_ps (-0.0f);
    return Float4 (_mm_or_ps (_mm_andnot_ps (sign, a.v), _mm_and_ps (b.v, sign)));
}

// Four whole numbers, for table look-ups and exponents built from bits.
struct Int4
{
    __m128i v;
};

// The nearest whole number, halves away from zero, for |x| below 2^31: roundToInt lane by lane.
inline Int4 roundToInt (Float4 x) noexcept
{
    const auto half = _mm_or_ps (_mm_set1_ps (0.5f), _mm_and_ps (x.v, _mm_set1_ps (-0.0f)));
    return { _mm_cvttps_epi32 (_mm_add_ps (x.v, half)) };
}
inline Float4 toFloat (Int4 n) noexcept            { return Float4 (_mm_cvtepi32_ps (n.v)); }
// Towards zero, as a cast to int, for |x| below 2^31.
inline Int4 truncateToInt (Float4 x) noexcept      { return { _mm_cvttps_epi32 (x.v) }; }
inline Float4 roundToWhole (Float4 x) noexcept     { return toFloat (roundToInt (x)); }
inline Int4 operator+ (Int4 a, int b) noexcept     { return { _mm_add_epi32 (a.v, _mm_set1_epi32 (b)) }; }
inline Int4 operator& (Int4 a, int b) noexcept     { return { _mm_and_si128 (a.v, _mm_set1_epi32 (b)) }; }
inline Int4 operator>> (Int4 a, int bits) noexcept { return { _mm_srai_epi32 (a.v, bits) }; }
inline Int4 operator<< (Int4 a, int bits) noexcept { return { _mm_slli_epi32 (a.v, bits) }; }
inline Float4 fromBits (Int4 a) noexcept           { return Float4 (_mm_castsi128_ps (a.v)); }
inline Float4 gather (const float* table, Int4 at) noexcept
{
    alignas (16) std::int32_t i[4];
    _mm_store_si128 (reinterpret_cast<__m128i*> (i), at.v);
    return Float4 (_mm_setr_ps (table[i[0]], table[i[1]], table[i[2]], table[i[3]]));
}

// Two doubles, for the exponentials that pitch needs rounded as in double.
struct Double2
{
    Double2() noexcept = default;
    Double2 (double x) noexcept : v (_mm_set1_pd (x)) {}
    explicit Double2 (__m128d x) noexcept : v (x) {}
    static Double2 set (double a, double b) noexcept { return Double2 (_mm_set_pd (b, a)); }
    // Lanes 0 and 1 of x, and lanes 2 and 3.
    static Double2 lowOf (Float4 x) noexcept  { return Double2 (_mm_cvtps_pd (x.v)); }
    static Double2 highOf (Float4 x) noexcept { return Double2 (_mm_cvtps_pd (_mm_movehl_ps (x.v, x.v))); }
    __m128d v;
};

inline Double2 operator+ (Double2 a, Double2 b) noexcept { return Double2 (_mm_add_pd (a.v, b.v)); }
inline Double2 operator- (Double2 a, Double2 b) noexcept { return Double2 (_mm_sub_pd (a.v, b.v)); }
inline Double2 operator* (Double2 a, Double2 b) noexcept { return Double2 (_mm_mul_pd (a.v, b.v)); }
// a's two lanes rounded to float in lanes 0 and 1, b's in lanes 2 and 3.
inline Float4 toFloats (Double2 a, Double2 b) noexcept
{
    return Float4 (_mm_movelh_ps (_mm_cvtpd_ps (a.v), _mm_cvtpd_ps (b.v)));
}

// 2^n for n the nearest whole number to x (halves away from zero), and x - n, which is exact.
inline Double2 wholePowerOfTwo (Double2 x, Double2& fraction) noexcept
{
    const auto half = _mm_or_pd (_mm_set1_pd (0.5), _mm_and_pd (x.v, _mm_set1_pd (-0.0)));
    const auto n = _mm_cvttpd_epi32 (_mm_add_pd (x.v, half));
    fraction = x - Double2 (_mm_cvtepi32_pd (n));
    const auto exponent = _mm_unpacklo_epi32 (_mm_add_epi32 (n, _mm_set1_epi32 (1023)), _mm_setzero_si128());
    return Double2 (_mm_castsi128_pd (_mm_slli_epi64 (exponent, 52)));
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
inline Mask4 operator<= (Float4 a, Float4 b) noexcept { return compareLanes (a, b, [] (float x, float y) { return x <= y; }); }
inline Mask4 operator& (Mask4 a, Mask4 b) noexcept    { for (int i = 0; i < 4; ++i) a.v[i] = a.v[i] && b.v[i]; return a; }
inline Float4 keep (Mask4 m, Float4 x) noexcept { return select (m, x, Float4 (0.0f)); }
inline Float4 limit (Float4 x, Float4 lo, Float4 hi) noexcept
{
    return lanes (max (lo, x), hi, [] (float t, float h) { return h < t ? h : t; });
}
inline Float4 bound (Float4 x, Float4 lo, Float4 hi) noexcept
{
    return lanes (lanes (x, lo, [] (float v, float l) { return v > l ? v : l; }), hi, [] (float v, float h) { return v < h ? v : h; });
}
inline Float4 copySign (Float4 a, Float4 b) noexcept { return lanes (a, b, [] (float x, float y) { return std::copysign (x, y); }); }
inline Float4 roundToWhole (Float4 a) noexcept
{
    Float4 r;
    for (int i = 0; i < 4; ++i)
        r.v[i] = (float) (int) (a.v[i] + std::copysign (0.5f, a.v[i]));
    return r;
}
#endif

//==============================================================================
// The same operations on plain floats, choosing as the lanes do.
inline float abs (float x) noexcept                      { return std::abs (x); }
inline float min (float a, float b) noexcept             { return b < a ? b : a; }
inline float max (float a, float b) noexcept             { return a < b ? b : a; }
inline float clamp (float x, float lo, float hi) noexcept { return x < lo ? lo : (hi < x ? hi : x); }
inline float select (bool m, float a, float b) noexcept  { return m ? a : b; }
inline float floor (float x) noexcept                    { return std::floor (x); }
inline float sqrt (float x) noexcept                     { return std::sqrt (x); }
inline float keep (bool m, float x) noexcept             { return m ? x : 0.0f; }
inline bool bothSides (bool m) noexcept                  { return m; }
inline bool anyOf (bool m) noexcept                      { return m; }
inline float limit (float x, float lo, float hi) noexcept
{
    const auto t = lo > x ? lo : x;
    return hi < t ? hi : t;
}
inline float bound (float x, float lo, float hi) noexcept
{
    x = x >= lo ? x : lo;
    return x <= hi ? x : hi;
}
inline float copySign (float a, float b) noexcept { return std::copysign (a, b); }
inline float roundToWhole (float x) noexcept      { return (float) roundToInt (x); }
inline float toFloat (int n) noexcept             { return (float) n; }
inline int truncateToInt (float x) noexcept       { return (int) x; }
inline float fromBits (int bits) noexcept
{
    const auto raw = (std::uint32_t) bits;
    float x;
    std::memcpy (&x, &raw, sizeof (x));
    return x;
}
inline float gather (const float* table, int at) noexcept { return table[at]; }

inline double wholePowerOfTwo (double x, double& fraction) noexcept
{
#if QUILLON_SIN_LANES
    const auto n = _mm_cvttsd_si32 (_mm_set_sd (x + std::copysign (0.5, x))); // INT_MIN out of range, as roundToInt
#else
    const auto n = (int) (x + std::copysign (0.5, x));
#endif
    fraction = x - (double) n;
    const auto bits = (std::uint64_t) (n + 1023) << 52;
    double scale;
    std::memcpy (&scale, &bits, sizeof (scale));
    return scale;
}

// f applied lane by lane: the library's functions for the exact build.
template <typename F>
inline float eachLane (float x, F&& f) noexcept { return f (x); }

template <typename F>
inline Float4 eachLane (Float4 x, F&& f) noexcept
{
    float in[4], out[4];
    x.store (in);

    for (int i = 0; i < 4; ++i)
        out[i] = f (in[i]);

    return Float4::load (out);
}

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

// Lane i alone.
template <int i>
inline float laneOf (Float4 x) noexcept
{
#if QUILLON_SIN_LANES
    if constexpr (i == 0)
        return _mm_cvtss_f32 (x.v);
    else
        return _mm_cvtss_f32 (_mm_shuffle_ps (x.v, x.v, i));
#else
    return x.v[i];
#endif
}

#if QUILLON_SIN_LANES
// Lane i of four whole numbers.
template <int i>
inline int laneOf (Int4 n) noexcept
{
    if constexpr (i == 0)
        return _mm_cvtsi128_si32 (n.v);
    else
        return _mm_cvtsi128_si32 (_mm_shuffle_epi32 (n.v, i));
}
#endif

// a[2], b[2], a[3], b[3].
inline Float4 interleaveHigh (Float4 a, Float4 b) noexcept
{
#if QUILLON_SIN_LANES
    return Float4 (_mm_unpackhi_ps (a.v, b.v));
#else
    return Float4::set (a.v[2], b.v[2], a.v[3], b.v[3]);
#endif
}

// a[0], a[1], b[2], b[3].
inline Float4 lowAndHighHalves (Float4 a, Float4 b) noexcept
{
#if QUILLON_SIN_LANES
    return Float4 (_mm_shuffle_ps (a.v, b.v, _MM_SHUFFLE (3, 2, 1, 0)));
#else
    return Float4::set (a.v[0], a.v[1], b.v[2], b.v[3]);
#endif
}

// -x in every lane, zeros too (0 - x would give +0 for +0).
inline Float4 negate (Float4 x) noexcept
{
#if QUILLON_SIN_LANES
    return Float4 (_mm_xor_ps (x.v, _mm_set1_ps (-0.0f)));
#else
    return Float4::set (-x.v[0], -x.v[1], -x.v[2], -x.v[3]);
#endif
}

// A constant made once ahead of a loop, which the compiler then keeps in a register or on the
// stack instead of building it anew from a scalar wherever an operation overwrites it.
QUILLON_ALWAYS_INLINE inline Float4 held (float x) noexcept
{
    Float4 v (x);
#if QUILLON_SIN_LANES && defined(__GNUC__)
    asm ("" : "+x" (v.v));
#endif
    return v;
}

// Lanes 2 and 3 into p[0..1].
inline void storeHigh (Float4 x, float* p) noexcept
{
#if QUILLON_SIN_LANES
    _mm_storeh_pi (reinterpret_cast<__m64*> (p), x.v);
#else
    p[0] = x.v[2];
    p[1] = x.v[3];
#endif
}

// p[0], p[1] in lanes 0 and 1, zeros above.
inline Float4 loadLow (const float* p) noexcept
{
#if QUILLON_SIN_LANES
    return Float4 (_mm_castpd_ps (_mm_load_sd (reinterpret_cast<const double*> (p))));
#else
    return Float4::set (p[0], p[1], 0.0f, 0.0f);
#endif
}

// a[0], b[0], a[1], b[1].
inline Float4 interleaveLow (Float4 a, Float4 b) noexcept
{
#if QUILLON_SIN_LANES
    return Float4 (_mm_unpacklo_ps (a.v, b.v));
#else
    return Float4::set (a.v[0], b.v[0], a.v[1], b.v[1]);
#endif
}

// Which of the four 32-bit words at a and at b agree bit for bit: word i's answer in bit i.
inline int sameBitsOf (const void* a, const void* b) noexcept
{
#if QUILLON_SIN_LANES
    const auto x = _mm_loadu_si128 (static_cast<const __m128i*> (a));
    const auto y = _mm_loadu_si128 (static_cast<const __m128i*> (b));
    return _mm_movemask_ps (_mm_castsi128_ps (_mm_cmpeq_epi32 (x, y)));
#else
    std::uint32_t x[4], y[4];
    std::memcpy (x, a, sizeof (x));
    std::memcpy (y, b, sizeof (y));
    auto bits = 0;

    for (int i = 0; i < 4; ++i)
        bits |= x[i] == y[i] ? 1 << i : 0;

    return bits;
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

// a[0], b[0], a[1], b[1]: two samples of two channels side by side, reading two floats of each.
inline Float4 interleavePairs (const float* a, const float* b) noexcept
{
#if QUILLON_SIN_LANES
    const auto low = [] (const float* p) { return _mm_castpd_ps (_mm_load_sd (reinterpret_cast<const double*> (p))); };
    return Float4 (_mm_unpacklo_ps (low (a), low (b)));
#else
    return Float4::set (a[0], b[0], a[1], b[1]);
#endif
}

} // namespace quillon::dsp

//==============================================================================
// A voice's two sides side by side: lane 0 the left, lane 1 the right. The upper two lanes carry
// along whatever comes and are never read.
namespace quillon::dsp
{

QUILLON_ALWAYS_INLINE inline Float4 pair (float left, float right) noexcept { return Float4::set (left, right, 0.0f, 0.0f); }
QUILLON_ALWAYS_INLINE inline float leftOf (Float4 x) noexcept  { return laneOf<0> (x); }
QUILLON_ALWAYS_INLINE inline float rightOf (Float4 x) noexcept { return laneOf<1> (x); }
QUILLON_ALWAYS_INLINE inline bool bothSides (Mask4 m) noexcept { return (bitsOf (m) & 3) == 3; }

// 0 where |y| is below `floor` (made held), as a branch that the loop need not wait for while the
// sides are as loud as they were.
QUILLON_ALWAYS_INLINE inline Float4 silenceBelowFloor (Float4 y, Float4 floor) noexcept
{
    const auto loud = abs (y) >= floor;

    if (! bothSides (loud))
        y = keep (loud, y);

    return y;
}

// limit (x, -top, top) by a branch, where it is seldom needed.
QUILLON_ALWAYS_INLINE inline Float4 limitRarely (Float4 x, Float4 top) noexcept
{
    if (! bothSides (abs (x) <= top))
        x = limit (x, Float4 (0.0f) - top, top);

    return x;
}

} // namespace quillon::dsp
