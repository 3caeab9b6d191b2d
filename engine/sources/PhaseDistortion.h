#pragma once

#include "engine/core/DspMath.h"
#include "engine/core/VoiceMath.h"
#include "engine/VoiceCodes.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillon
{

// Wave shapes 0..9 in the order of the wave choice list ("saw" .. "respulse").
constexpr int numWaveShapes = (int) WaveShape::count;

// Phase-distortion wave shape at a phase in 0..1 with a distortion (DCW) depth in 0..1.
// `resonance` is the window count of the resonant shapes; the voice always passes 16.
// Pure and allocation-free: the editor's thread draws with it too. Returns 0 for an unknown shape.
inline float phaseDistortionShape (int waveShape, float phase, float dcw, float resonance) noexcept;

// Per-shape gain that levels every shape at full depth to the saw's loudness. Built once per
// process on first use; safe to call from any thread.
const float* waveGainTable() noexcept;

// Polynomial band-limited step correction at phase t for a per-sample increment i.
inline float polyBlep (float t, float increment) noexcept;

//==============================================================================
// Inline so that the oscillators' per-sample calls compile into their loops.
namespace pd_detail
{
constexpr float pi = 3.14159265358979323846f;
constexpr float twoPi = 2.0f * pi;

// Bend of the phase that squeezes the first half-cycle of the saw family into K.
inline float sawBend (float p, float k) noexcept
{
    if constexpr (dsp::exactReference)
        return std::min ((0.5f - k) / (1.0f - k) * (1.0f - p), (0.5f - k) / k * p);

    // One division for both slopes.
    const auto scale = (0.5f - k) / (k * (1.0f - k));
    return std::min (scale * k * (1.0f - p), scale * (1.0f - k) * p);
}
} // namespace pd_detail

inline float phaseDistortionShape (int waveShape, float phase, float dcw, float resonance) noexcept
{
    using namespace pd_detail;
    const auto p = phase;
    const auto d = std::clamp (dcw, 0.0f, 1.0f);

    // Undistorted, the saw, pulse and half-sine are the plain cosine they bend.
    if (d == 0.0f && (waveShape == 0 || waveShape == 2 || waveShape == 4))
        return dsp::cosTurns (p);

    switch (waveShape)
    {
        case 0: // saw
        {
            const auto k = std::clamp (0.5f - 0.5f * d, 0.01f, 0.5f);
            return dsp::cosTurns (p + sawBend (p, k));
        }
        case 1: // square
        {
            const auto q = std::clamp (dsp::exactReference ? std::pow (d, 0.25f) : std::sqrt (std::sqrt (d)), 0.0f, 0.999f);
            const auto f = frac (2.0f * p + 1.0f);
            const auto m = std::min (q / (1.0f - q) * (1.0f - f), f);
            return dsp::cosTurns (0.5f * (f - m + (p >= 0.5f ? 1.0f : 0.0f)));
        }
        case 2: // pulse
        {
            const auto q = std::clamp (d, 0.0f, 0.99f);
            return dsp::cosTurns (p - std::min (q / (1.0f - q) * (1.0f - p), p));
        }
        case 3: // sinepulse
        {
            const auto k = std::clamp (0.5f - 0.49f * d, 0.01f, 0.5f);
            return dsp::cosTurns (2.0f * (p + sawBend (p, k)));
        }
        case 4: // halfsine
        {
            const auto k = std::clamp (0.5f - 0.5f * d, 0.01f, 0.5f);
            const auto bent = p < 0.5f ? p : std::min (1.0f, (p - 0.5f) * 0.5f / k + 0.5f);
            return dsp::cosTurns (bent);
        }
        case 5: case 6: case 7: case 9: // resonant family: a windowed cosine burst
        {
            const auto b = std::max (1.0f, (resonance - 1.0f) * d + 1.0f);
            const auto w = frac (b * p);

            if (waveShape == 7)
                return dsp::sinTurns (w) * std::min (2.0f * (1.0f - p), 1.0f);

            const auto c = dsp::cosTurns (w);

            if (waveShape == 5)
                return 1.0f - (0.5f - 0.5f * c) * 2.0f * (1.0f - p);

            if (waveShape == 6)
            {
                const auto tri = p < 0.5f ? 2.0f * p : 2.0f - 2.0f * p;
                return 2.0f * tri * (0.5f * c + 0.5f) - 1.0f;
            }

            return c * (p < 0.5f ? 1.0f - 2.0f * p : 2.0f * (p - 0.5f));
        }
        case 8: // pwm: the oscillator draws its own band-limited pulse
            return p < 0.5f ? 1.0f : -1.0f;
        default:
            return 0.0f;
    }
}

//==============================================================================
// The same shapes split in two: what depends only on the depth, worked out once for every
// evaluation at that depth, and the per-phase rest with the shape known at compile time. Within a
// few float roundings of phaseDistortionShape; the exact build evaluates phaseDistortionShape itself.
namespace pd_kernel
{
struct ShapeConstants
{
    float dcw = 0.0f; // clamped depth
    float a = 0.0f, b = 0.0f;
};

// The depth's constants of shape `Shape`, over a lane type V (float or dsp::Float4): each lane
// the bits of the float form. Shapes without constants leave them 0.
template <class V>
struct ShapeConstantsOf
{
    V a, b;
};

template <int Shape, class V>
inline ShapeConstantsOf<V> shapeConstantsOf (V dcw) noexcept
{
    const auto d = dsp::clamp (dcw, V (0.0f), V (1.0f));
    const V one (1.0f), half (0.5f);
    ShapeConstantsOf<V> c { V (0.0f), V (0.0f) };

    if constexpr (Shape == 0 || Shape == 3) // saw, sinepulse: the bend's two slopes
    {
        const auto k = dsp::clamp (half - V (Shape == 0 ? 0.5f : 0.49f) * d, V (0.01f), half);
        const auto scale = (half - k) / (k * (one - k));
        c.a = scale * k;
        c.b = scale * (one - k);
    }
    else if constexpr (Shape == 1) // square
    {
        const auto q = dsp::clamp (dsp::sqrt (dsp::sqrt (d)), V (0.0f), V (0.999f));
        c.a = q / (one - q);
    }
    else if constexpr (Shape == 2) // pulse
    {
        const auto q = dsp::clamp (d, V (0.0f), V (0.99f));
        c.a = q / (one - q);
    }
    else if constexpr (Shape == 4) // halfsine
        c.a = half / dsp::clamp (half - half * d, V (0.01f), half);
    else if constexpr (Shape == 5 || Shape == 6 || Shape == 7 || Shape == 9) // window count of the resonant family
        c.a = dsp::max (one, V (15.0f) * d + one);

    return c;
}

inline ShapeConstants shapeConstants (int waveShape, float dcw) noexcept
{
    ShapeConstantsOf<float> c { 0.0f, 0.0f };

    switch (waveShape)
    {
        case 0: c = shapeConstantsOf<0> (dcw); break;
        case 1: c = shapeConstantsOf<1> (dcw); break;
        case 2: c = shapeConstantsOf<2> (dcw); break;
        case 3: c = shapeConstantsOf<3> (dcw); break;
        case 4: c = shapeConstantsOf<4> (dcw); break;
        case 5: case 6: case 7: case 9: c = shapeConstantsOf<5> (dcw); break;
        default: break;
    }

    return { std::clamp (dcw, 0.0f, 1.0f), c.a, c.b };
}

// The fast shapes but the pwm are a sine of a bent phase, perhaps scaled and offset: sineArgument
// gives the argument in turns, fromSine the value once the sine is known, so that the oscillators
// can take several sines at once. The exact build keeps to phaseDistortionShape.
template <int Shape>
constexpr bool usesSine = ! dsp::exactReference && Shape >= 0 && Shape < numWaveShapes && Shape != 8;

// The resonant shapes 5, 6 and 9 take the same sine of the same argument at the same depth:
// a morph from one to another needs it once.
template <int Shape, int Other>
constexpr bool sharesSine = usesSine<Shape> && usesSine<Other>
                         && (Shape == Other || ((Shape == 5 || Shape == 6 || Shape == 9) && (Other == 5 || Other == 6 || Other == 9)));

template <class V>
inline V frac (V x) noexcept { return x - dsp::floor (x); }

// Over a lane type V with constants C holding a and b as V or float: one phase or four.
template <int Shape, class V, class C>
inline V sineArgument (V p, const C& c) noexcept
{
    const V one (1.0f), quarter (0.25f), half (0.5f);
    const V a (c.a), b (c.b);

    if constexpr (Shape == 0) // cos (t) = sin (t + 1/4)
        return (p + dsp::min (a * (one - p), b * p)) + quarter;
    else if constexpr (Shape == 1)
    {
        const auto f = frac (V (2.0f) * p + one);
        const auto m = dsp::min (a * (one - f), f);
        return half * (f - m + dsp::select (p >= half, one, V (0.0f))) + quarter;
    }
    else if constexpr (Shape == 2)
        return (p - dsp::min (a * (one - p), p)) + quarter;
    else if constexpr (Shape == 3)
        return V (2.0f) * (p + dsp::min (a * (one - p), b * p)) + quarter;
    else if constexpr (Shape == 4)
        return dsp::select (p < half, p, dsp::min (one, (p - half) * a + half)) + quarter;
    else if constexpr (Shape == 7)
        return frac (a * p);
    else if constexpr (Shape == 5 || Shape == 6 || Shape == 9)
        return frac (a * p) + quarter;
    else
        return V (0.0f);
}

template <int Shape, class V>
inline V fromSine (V s, V p) noexcept
{
    const V one (1.0f), two (2.0f), half (0.5f);

    if constexpr (Shape == 5)
        return one - (half - half * s) * two * (one - p);
    else if constexpr (Shape == 6)
    {
        const auto tri = dsp::select (p < half, two * p, two - two * p);
        return two * tri * (half * s + half) - one;
    }
    else if constexpr (Shape == 7)
        return s * dsp::min (two * (one - p), one);
    else if constexpr (Shape == 9)
        return s * dsp::select (p < half, one - two * p, two * (p - half));
    else
        return s;
}

// The naive +-1 pulse of width w less its mean, 2 w - 1, over a lane type V.
template <class V>
inline V naivePulse (V p, V w) noexcept
{
    return dsp::select (p < w, V (1.0f), V (-1.0f)) + (V (1.0f) - V (2.0f) * w);
}

// Shape `Shape` at phase p, 0 for an unknown shape; the pwm is the naive +-1 pulse.
template <int Shape>
inline float shapeAt (float p, const ShapeConstants& c) noexcept
{
    if constexpr (usesSine<Shape>)
        return fromSine<Shape> (dsp::sinTurns (sineArgument<Shape> (p, c)), p);
    else if constexpr (Shape >= 0 && Shape < numWaveShapes)
        return phaseDistortionShape (Shape, p, c.dcw, 16.0f);
    else
        return 0.0f;
}

// Band-limiting residuals, x samples after an edge, of a unit step and of a unit turn (a jump of
// slope of 1 a sample): the integrals of the cubic B-spline less the step and the ramp they stand
// in for, over the four samples about the edge and 0 beyond.
inline float stepResidual (float x) noexcept
{
    const auto u = std::abs (x);
    float r;

    if (u < 1.0f)
        r = 0.5f - u * (2.0f / 3.0f - u * u * (1.0f / 3.0f - u * 0.125f));
    else
    {
        const auto v = std::max (0.0f, 2.0f - u), v2 = v * v;
        r = v2 * v2 * (1.0f / 24.0f);
    }

    return x < 0.0f ? r : -r;
}

inline float turnResidual (float x) noexcept
{
    const auto u = std::abs (x);

    if (u < 1.0f)
    {
        const auto u2 = u * u;
        return 7.0f / 30.0f - 0.5f * u + u2 * (1.0f / 3.0f - u2 * (1.0f / 12.0f - u * (1.0f / 40.0f)));
    }

    const auto v = std::max (0.0f, 2.0f - u), v2 = v * v;
    return v2 * v2 * v * (1.0f / 120.0f);
}

// The same for a unit bend (a jump of curvature of 1 a sample squared, x^2/2 from the edge on):
// the third integral less the bend, and less a sixth of the smoothed step, since the spline's
// spread moves the far parabola up by a sixth.
inline float bendResidual (float x) noexcept
{
    const auto u = std::abs (x);
    float r;

    if (u < 1.0f)
        r = u * (11.0f / 90.0f - u * (0.25f - u * (1.0f / 6.0f - u * (1.0f / 48.0f + u * (1.0f / 60.0f - u * (1.0f / 240.0f))))));
    else
    {
        const auto v = std::max (0.0f, 2.0f - u), v2 = v * v;
        r = v2 * v2 * (1.0f / 144.0f - v2 * (1.0f / 720.0f));
    }

    return x < 0.0f ? -r : r;
}

// How many samples either side of an edge its residual reaches.
constexpr float edgeReach = 2.0f;

// A unit step's residual at phase p for a step at the wrap, with an increment `inc` below an
// eighth of a turn: 0 beyond its reach.
inline float stepResidualAtWrap (float p, float inc) noexcept
{
    const auto reach = edgeReach * inc;
    return p < reach || p > 1.0f - reach ? stepResidual ((p < reach ? p : p - 1.0f) / inc) : 0.0f;
}

constexpr int ressaw = (int) WaveShape::ressaw, restriangle = (int) WaveShape::restriangle,
              restrapezoid = (int) WaveShape::restrapezoid, respulse = (int) WaveShape::respulse;

// The resonant shapes, whose edges take residuals.
template <int Shape>
constexpr bool hasEdgeResidual = Shape == ressaw || Shape == restriangle || Shape == restrapezoid || Shape == respulse;

// The ressaw's window does not turn at the middle, so it has no edge there.
template <int Shape>
constexpr bool hasMiddleEdge = hasEdgeResidual<Shape> && Shape != ressaw;

// A resonant shape's band-limiting residual at phase p for an increment `inc` and `windows`
// bursts (its constant a): 0 away from its edges. The shape ends at the wrap off where it starts,
// in slope and curvature and, for the respulse unless the count is whole, in value; and its window
// turns at the middle. Step, turn and bend residuals there, of the heights and jumps a turn of
// phase that the shapes' formulas give (tools/resonant_edges.py checks them). The bends matter
// most: they grow with the burst count squared, and the fold's gain lifts what they alias.
template <int Shape>
inline float edgeResidual (float p, float inc, float windows) noexcept
{
    if constexpr (! hasEdgeResidual<Shape>)
        return 0.0f;
    else
    {
        // Above an eighth of a turn a sample the edges' reaches would overlap.
        if (! (inc > 0.0f && inc < 0.125f))
            return 0.0f;

        const auto reach = edgeReach * inc;
        const auto fromMiddle = p - 0.5f;
        const auto nearWrap = p < reach || p > 1.0f - reach;
        const auto w = pd_detail::twoPi * windows;

        if (nearWrap)
        {
            const auto c = dsp::cosTurns (windows), sn = dsp::sinTurns (windows);
            const auto x = (p < reach ? p : p - 1.0f) / inc;
            auto height = 0.0f, slope = 0.0f, bend = 0.0f;

            if constexpr (Shape == ressaw)
            {
                slope = c - 1.0f;
                bend = -w * w - 2.0f * w * sn;
            }
            else if constexpr (Shape == restriangle)
            {
                slope = 6.0f + 2.0f * c;
                bend = -4.0f * w * sn;
            }
            else if constexpr (Shape == restrapezoid)
            {
                slope = w + 2.0f * sn;
                bend = 4.0f * w * c;
            }
            else
            {
                height = 1.0f - c;
                slope = -2.0f - 2.0f * c + w * sn;
                bend = -w * w * (1.0f - c) + 4.0f * w * sn;
            }

            return height * stepResidual (x) + inc * (slope * turnResidual (x) + bend * inc * bendResidual (x));
        }

        if constexpr (! hasMiddleEdge<Shape>)
            return 0.0f;
        else
        {
            if (! (std::abs (fromMiddle) < reach))
                return 0.0f;

            const auto ch = dsp::cosTurns (0.5f * windows), sh = dsp::sinTurns (0.5f * windows);
            float slope, bend;

            if constexpr (Shape == restriangle)
                slope = -4.0f - 4.0f * ch, bend = 8.0f * w * sh;
            else if constexpr (Shape == restrapezoid)
                slope = -2.0f * sh, bend = -4.0f * w * ch;
            else
                slope = 4.0f * ch, bend = -8.0f * w * sh;

            const auto x = fromMiddle / inc;
            return inc * (slope * turnResidual (x) + bend * inc * bendResidual (x));
        }
    }
}

// edgeResidual for a shape chosen at run time.
inline float edgeResidual (int waveShape, float p, float inc, float windows) noexcept
{
    switch (waveShape)
    {
        case ressaw:       return edgeResidual<ressaw> (p, inc, windows);
        case restriangle:  return edgeResidual<restriangle> (p, inc, windows);
        case restrapezoid: return edgeResidual<restrapezoid> (p, inc, windows);
        case respulse:     return edgeResidual<respulse> (p, inc, windows);
        default: return 0.0f;
    }
}

using ShapeFunction = float (*) (float, const ShapeConstants&) noexcept;

// shapeAt for a shape chosen at run time: unknown shapes are silent.
inline ShapeFunction shapeFunction (int waveShape) noexcept
{
    static constexpr ShapeFunction table[] = { shapeAt<0>, shapeAt<1>, shapeAt<2>, shapeAt<3>, shapeAt<4>,
                                               shapeAt<5>, shapeAt<6>, shapeAt<7>, shapeAt<8>, shapeAt<9> };
    return waveShape >= 0 && waveShape < numWaveShapes ? table[waveShape] : shapeAt<-1>;
}
} // namespace pd_kernel

inline float polyBlep (float t, float increment) noexcept
{
    if (increment <= 0.0f)
        return 0.0f;

    if (t < increment)
    {
        const auto u = t / increment;
        return 2.0f * u - u * u - 1.0f;
    }

    if (t > 1.0f - increment)
    {
        const auto u = (t - 1.0f) / increment;
        return u * u + 2.0f * u + 1.0f;
    }

    return 0.0f;
}

} // namespace quillon
