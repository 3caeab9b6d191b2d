#include "engine/chain/FilterStage.h"

#include "engine/core/DspMath.h"

#include <algorithm>
#include <complex>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace quillon
{

namespace
{
// 4^(1/5): six sections over two octaves.
constexpr float sectionRatio = 1.3195079f;

// tan x = n / d for x in -pi/4..pi/4: the numerator and denominator of dsp::tanQuarter's
// approximant, kept apart so that a caller can fold its own division into this one.
struct TanParts
{
    float n, d;
};

inline TanParts tanQuarterParts (float x) noexcept
{
    const auto x2 = x * x;
    return { x * (135135.0f - x2 * (17325.0f - x2 * (378.0f - x2))),
             135135.0f - x2 * (62370.0f - x2 * (3150.0f - 28.0f * x2)) };
}
} // namespace

//==============================================================================
void PhaseStage::prepare (double oversampledRate) noexcept
{
    sampleRate = oversampledRate;
    topHz = 0.45f * (float) sampleRate;
    anchor.cell = -1;
    reset();
    updateCoefficients();
}

void PhaseStage::reset() noexcept
{
    z.fill (0.0f);
    lastOutput = 0.0f;
}

void PhaseStage::updateCoefficients() noexcept
{
    if constexpr (! dsp::exactReference && QUILLON_SIN_LANES)
    {
        if (coefficientsFromAnchor())
            return;
    }

    alignas (16) float f[8], t[8];
    sectionFrequencies (cutoff, f);
    sectionCoefficients (f, t);
    std::copy (t, t + numSections, c.begin());
    updateSectionWeights();
}

void PhaseStage::sectionFrequencies (float hz, float* f) const noexcept
{
    const auto shift = offsetFactor;
    const auto lowest = hz * 0.5f * shift;
    const auto ratio = lowest >= 1.0f ? sectionRatio : std::pow (2.0f * hz * shift, 0.2f);

    // Padded to two groups of four: from a table of the ratio's powers, so that they do not wait
    // for one another, unless the spread is squeezed below 1 Hz.
    static constexpr float powers[8] = { 1.0f, sectionRatio, sectionRatio * sectionRatio,
                                         sectionRatio * sectionRatio * sectionRatio, 3.0314331f, 4.0f, 4.0f, 4.0f };

    if (lowest >= 1.0f)
    {
        for (int i = 0; i < 8; ++i)
            f[i] = lowest * powers[i];
    }
    else
    {
        f[0] = lowest;

        for (int i = 1; i < 8; ++i)
            f[i] = i < numSections ? f[i - 1] * ratio : f[numSections - 1];
    }
}

void PhaseStage::sectionCoefficients (const float* f, float* out) const noexcept
{
    const auto top = 0.45f * (float) sampleRate;
    const auto radiansPerHz = dsp::pi / (float) sampleRate;

    // (1 - tan w) / (1 + tan w) is tan (pi/4 - w), and pi/4 - w stays within +-pi/4 here.
    if constexpr (dsp::exactReference || ! QUILLON_SIN_LANES)
    {
        for (int i = 0; i < 8; ++i)
            out[i] = dsp::tanQuarter (dsp::quarterPi - std::clamp (f[i], 20.0f, top) * radiansPerHz);
    }
#if QUILLON_SIN_LANES
    else
    {
        // The approximants side by side: the same operations as dsp::tanQuarter in each lane, two
        // divisions instead of six. A frequency that is not a number ends at the top.
        using dsp::Float4;
        const Float4 low (20.0f), high (top), scale (radiansPerHz), quarter (dsp::quarterPi);
        const auto k = [] (float v) { return Float4 (v); };

        for (int group = 0; group < 2; ++group)
        {
            const auto hz = dsp::max (low, dsp::min (high, Float4::load (f + 4 * group)));
            const auto x = quarter - hz * scale;
            const auto x2 = x * x;
            const auto n = x * (k (135135.0f) - x2 * (k (17325.0f) - x2 * (k (378.0f) - x2)));
            const auto d = k (135135.0f) - x2 * (k (62370.0f) - x2 * (k (3150.0f) - k (28.0f) * x2));
            (n / d).store (out + 4 * group);
        }
    }
#endif
}

void PhaseStage::updateSectionWeights() noexcept
{
    // Each section's output is its state less c times its input: unrolled from the last section
    // back, a state's weight is the product of the negated coefficients after it.
    const auto high = c[5] * c[4], middle = c[3] * c[2], low = c[1] * c[0];
    const auto upper = high * middle;
    sectionWeights = { -(upper * c[1]), upper, -(high * c[3]), high, -c[5], 1.0f };
    product = upper * low;
    firstWeights = { c[2] * c[1], -c[2] };
    firstProduct = -(firstWeights[0] * c[0]);
}

bool PhaseStage::coefficientsFromAnchor() noexcept
{
#if QUILLON_SIN_LANES
    // Within the cutoff's cell the coefficients come from a second-order expansion around the
    // cell's centre, whose next term stays below float precision there; being a function of the
    // cutoff alone, they do not depend on where the cutoff came from.
    const auto cell = cellOf (cutoff);

    if (cell != anchor.cell)
    {
        anchor.cell = cell;
        const auto centreBits = ((std::uint32_t) cell << 16) | 0x8000u;
        float centre;
        std::memcpy (&centre, &centreBits, sizeof (centre));
        anchor.centre = centre;
        anchor.inverseCentre = 1.0f / centre;

        // Where a section's frequency meets a limit within the cell (or the spread is squeezed
        // below 1 Hz), every cutoff is worked out as it comes.
        alignas (16) float f[8];
        sectionFrequencies (centre, f);
        const auto top = 0.45f * (float) sampleRate;
        anchor.expands = centre * 0.5f * offsetFactor * 0.99f >= 1.0f;

        for (int i = 0; i < numSections; ++i)
            anchor.expands = anchor.expands && f[i] * 0.99f > 20.0f && f[i] * 1.01f < top;

        if (! anchor.expands)
            return false;

        alignas (16) float c0[8];
        sectionCoefficients (f, c0);
        const auto radiansPerHz = dsp::pi / (float) sampleRate;

        for (int i = 0; i < 8; ++i)
        {
            // tan (pi/4 - w) moves by -(1 + c^2) and bends by 2 c (1 + c^2) per radian.
            const auto w = f[i] * radiansPerHz;
            const auto slope = 1.0f + c0[i] * c0[i];
            anchor.c0[i] = c0[i];
            anchor.first[i] = -slope * w;
            anchor.second[i] = c0[i] * slope * w * w;
        }
    }

    if (! anchor.expands)
        return false;

    const dsp::Float4 r ((cutoff - anchor.centre) * anchor.inverseCentre);
    alignas (16) float out[8];

    for (int group = 0; group < 2; ++group)
    {
        const auto c0 = dsp::Float4::load (anchor.c0 + 4 * group);
        const auto first = dsp::Float4::load (anchor.first + 4 * group);
        const auto second = dsp::Float4::load (anchor.second + 4 * group);
        (c0 + r * (first + r * second)).store (out + 4 * group);
    }

    std::copy (out, out + numSections, c.begin());
    updateSectionWeights();
    return true;
#else
    return false;
#endif
}

void PhaseStage::flushStates() noexcept
{
    // Not a second run of four over the last two: a load that overlaps the store just made waits
    // for it to reach the cache.
    static_assert (numSections == 6);
    dsp::flushTinyFour (z.data());
    z[4] = dsp::flushTiny (z[4]);
    z[5] = dsp::flushTiny (z[5]);
    lastOutput = dsp::flushTiny (lastOutput);
}

//==============================================================================
void FilterStage::prepare (double oversampledRate) noexcept
{
    sampleRate = oversampledRate;
    modelFade.setLength (std::max (1, (int) std::lround (0.005 * oversampledRate)));
    modelFade.jumpTo (modelFade.getTarget());
    diodeMemoryCoefficient = std::clamp ((float) (dsp::twoPi * 30.0 / oversampledRate), 0.0f, 1.0f);
    phaseStage.prepare (oversampledRate);
    reset();
    lowpassStale = phaseStale = true;
    const auto hz = cutoff;
    cutoff = -1.0f;
    setCutoff (hz);
}

void FilterStage::reset() noexcept
{
    poles = {};
    diodeMemory = 0.0f;
    groupPosition = 0;
    inGroup = false;
    groupInputs.fill (0.0f);
    steadySamples = 0;
    phaseStage.reset();
}

void FilterStage::flushStates() noexcept
{
    for (auto& states : poles)
        dsp::flushTinyFour (states.data());

    diodeMemory = dsp::flushTiny (diodeMemory);
    phaseStage.flushStates();
}

void FilterStage::setModel (int newModel, bool fade) noexcept
{
    if (newModel < 0 || newModel > numModels)
        newModel = numModels;

    if (inGroup && (fade || newModel != modelFade.getTarget()))
        breakGroup();

    if (fade)
        modelFade.fadeTo (newModel);
    else
        modelFade.jumpTo (newModel);

    if (newModel == phase && phaseStale)
    {
        phaseStage.updateCoefficients();
        phaseStale = false;
    }
    else if (newModel != phase && lowpassStale)
    {
        updateLowpassCoefficients();
    }
}

void FilterStage::updateLowpassCoefficients() noexcept
{
    const auto hz = std::clamp (cutoff, 20.0f, 0.45f * (float) sampleRate);
    const auto w = dsp::pi * hz / (float) sampleRate;

    if constexpr (dsp::exactReference)
    {
        const auto g = std::tan (w);
        inverseOnePlusG = 1.0f / (1.0f + g);
        bigG = g * inverseOnePlusG;
    }
    else
    {
        // With tan w = n / d, G = g / (1 + g) = n / (n + d) and 1 / (1 + g) = d / (n + d): one
        // division for both. Above pi/4 the tangent is the reciprocal of its complement's.
        auto parts = tanQuarterParts (w <= dsp::quarterPi ? w : dsp::halfPi - w);

        if (w > dsp::quarterPi)
            std::swap (parts.n, parts.d);

        const auto r = 1.0f / (parts.n + parts.d);
        bigG = parts.n * r;
        inverseOnePlusG = parts.d * r;
    }

    const auto G = bigG, h = inverseOnePlusG;
    gainPowers = { G, G * G, G * G * G, G * G * G * G };
    estimateWeights = { h * gainPowers[2], h * gainPowers[1], h * G, h };
    stateInputWeights = { 2.0f * gainPowers[0], 2.0f * gainPowers[1], 2.0f * gainPowers[2], 2.0f * gainPowers[3] };
    stateCrossWeights = { 2.0f * G * h, 2.0f * gainPowers[1] * h, 2.0f * gainPowers[2] * h };
    stateSelfWeight = h - G;
    lowpassStale = false;
    steadySamples = 0;
}

void FilterStage::buildLinearGroup() noexcept
{
    // s' = A s + B u, y = C s + D u, as runPoles has them; worked out in double.
    const double d = stateSelfWeight, c0 = stateCrossWeights[0], c1 = stateCrossWeights[1], c2 = stateCrossWeights[2];
    const double a[4][4] = { { d, 0, 0, 0 }, { c0, d, 0, 0 }, { c1, c0, d, 0 }, { c2, c1, c0, d } };
    const double b[4] = { stateInputWeights[0], stateInputWeights[1], stateInputWeights[2], stateInputWeights[3] };
    const double dIn = gainPowers[3];

    const auto times = [] (const double (&m)[4][4], const double (&v)[4], double (&r)[4])
    {
        for (int i = 0; i < 4; ++i)
            r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2] + m[i][3] * v[3];
    };

    // Rows C A^k and columns A^k B.
    double rows[4][4], columns[4][4];
    for (int i = 0; i < 4; ++i)
        rows[0][i] = estimateWeights[(size_t) i];

    for (int k = 1; k < 4; ++k)
        for (int i = 0; i < 4; ++i)
            rows[k][i] = rows[k - 1][0] * a[0][i] + rows[k - 1][1] * a[1][i] + rows[k - 1][2] * a[2][i] + rows[k - 1][3] * a[3][i];

    std::copy (b, b + 4, columns[0]);
    for (int k = 1; k < 4; ++k)
        times (a, columns[k - 1], columns[k]);

    // A^4, column i as A^4 e_i.
    double power4[4][4];
    for (int i = 0; i < 4; ++i)
    {
        double v[4] = { 0, 0, 0, 0 }, w[4];
        v[i] = 1.0;
        for (int k = 0; k < 4; ++k)
        {
            times (a, v, w);
            std::copy (w, w + 4, v);
        }
        std::copy (v, v + 4, power4[i]);
    }

    const auto response = [&] (int m) // D, then C A^(m-1) B
    {
        if (m < 0)
            return 0.0;
        if (m == 0)
            return dIn;
        const auto& r = rows[m - 1];
        return r[0] * columns[0][0] + r[1] * columns[0][1] + r[2] * columns[0][2] + r[3] * columns[0][3];
    };

    auto& group = linearGroup;
    for (int k = 0; k < 4; ++k)
    {
        for (int i = 0; i < 4; ++i)
        {
            group.fromStates[i][k] = (float) rows[k][i];
            group.nextFromStates[i][k] = (float) power4[i][k];
        }

        for (int j = 0; j < 4; ++j)
        {
            group.fromInputs[j][k] = (float) response (k - j);
            group.nextFromInputs[j][k] = (float) columns[3 - j][k];
        }
    }

    group.builtFor = bigG;
}

namespace
{
struct GroupMatrices
{
    dsp::Float4 o0, o1, o2, o3, t0, t1, t2, t3, a0, a1, a2, a3, b0, b1, b2, b3;
};

template <typename Group>
QUILLON_ALWAYS_INLINE inline GroupMatrices loadGroup (const Group& g) noexcept
{
    using dsp::Float4;
    return { Float4::load (g.fromStates[0]), Float4::load (g.fromStates[1]), Float4::load (g.fromStates[2]),
             Float4::load (g.fromStates[3]), Float4::load (g.fromInputs[0]), Float4::load (g.fromInputs[1]),
             Float4::load (g.fromInputs[2]), Float4::load (g.fromInputs[3]), Float4::load (g.nextFromStates[0]),
             Float4::load (g.nextFromStates[1]), Float4::load (g.nextFromStates[2]), Float4::load (g.nextFromStates[3]),
             Float4::load (g.nextFromInputs[0]), Float4::load (g.nextFromInputs[1]), Float4::load (g.nextFromInputs[2]),
             Float4::load (g.nextFromInputs[3]) };
}

// The group's four outputs from its starting states and inputs (the inputs still to come as 0),
// and its states four samples on: the one sequence of operations both ways take.
QUILLON_ALWAYS_INLINE inline dsp::Float4 groupOutputs (const GroupMatrices& m, dsp::Float4 s, dsp::Float4 u) noexcept
{
    using dsp::broadcast;
    const auto s0 = broadcast<0> (s), s1 = broadcast<1> (s), s2 = broadcast<2> (s), s3 = broadcast<3> (s);
    const auto u0 = broadcast<0> (u), u1 = broadcast<1> (u), u2 = broadcast<2> (u), u3 = broadcast<3> (u);
    return ((m.o0 * s0 + m.o1 * s1) + (m.o2 * s2 + m.o3 * s3)) + ((m.t0 * u0 + m.t1 * u1) + (m.t2 * u2 + m.t3 * u3));
}

QUILLON_ALWAYS_INLINE inline dsp::Float4 groupStates (const GroupMatrices& m, dsp::Float4 s, dsp::Float4 u) noexcept
{
    using dsp::broadcast;
    const auto s0 = broadcast<0> (s), s1 = broadcast<1> (s), s2 = broadcast<2> (s), s3 = broadcast<3> (s);
    const auto u0 = broadcast<0> (u), u1 = broadcast<1> (u), u2 = broadcast<2> (u), u3 = broadcast<3> (u);
    return ((m.a0 * s0 + m.a1 * s1) + (m.a2 * s2 + m.a3 * s3)) + ((m.b0 * u0 + m.b1 * u1) + (m.b2 * u2 + m.b3 * u3));
}

QUILLON_ALWAYS_INLINE inline dsp::Float4 silenceBelowFloor4 (dsp::Float4 y) noexcept
{
    return dsp::select (dsp::abs (y) >= dsp::Float4 (1.0e-15f), y, dsp::Float4 (0.0f));
}
} // namespace

float FilterStage::groupStep (float x) noexcept
{
    using dsp::Float4;

    if (linearGroup.builtFor != bigG)
        buildLinearGroup();

    const auto k = groupPosition;

    if (k == 0)
        groupInputs.fill (0.0f);

    groupInputs[(size_t) k] = x + filter_detail::stateFloor;
    auto& linear = linearPoles();
    const auto m = loadGroup (linearGroup);
    const auto s = Float4::load (linear.data());
    const auto u = Float4::load (groupInputs.data());
    const auto scale = Float4 (linearLevel());
    alignas (16) float y[4];
    silenceBelowFloor4 (groupOutputs (m, s, u) * scale).store (y);

    if (k == 3)
        groupStates (m, s, u).store (linear.data());

    groupPosition = (k + 1) & 3;
    return y[k];
}

void FilterStage::breakGroup() noexcept
{
    // The states the group has reached, one sample at a time from where it began, at the
    // settings it ran with.
    auto& linear = linearPoles();

    for (int j = 0; j < groupPosition; ++j)
        runPoles (linear, groupInputs[(size_t) j], stateEstimate (linear));

    inGroup = false;
}

QUILLON_HOT_CLONES
bool FilterStage::processLinear (const float* in, float* out, int n) noexcept
{
    using dsp::Float4;

    if (! isLinear())
        return false;

    int i = 0;

    // One by one into step with the groups and until the cutoff has held for one, then whole
    // groups at once, then the rest one by one: as process() would have gone.
    while (i < n && ! (groupPosition == 0 && i + 4 <= n && canStartGroup()))
    {
        out[i] = process (in[i]);
        ++i;
    }

    if (i + 4 <= n)
    {
        inGroup = true;

        if (linearGroup.builtFor != bigG)
            buildLinearGroup();

        auto& linear = linearPoles();
        const auto m = loadGroup (linearGroup);
        const auto scale = Float4 (linearLevel());
        const auto floor = Float4 (filter_detail::stateFloor);
        auto s = Float4::load (linear.data());

        for (; i + 4 <= n; i += 4)
        {
            const auto u = Float4::load (in + i) + floor;
            silenceBelowFloor4 (groupOutputs (m, s, u) * scale).store (out + i);
            s = groupStates (m, s, u);
        }

        s.store (linear.data());
    }

    for (; i < n; ++i)
        out[i] = process (in[i]);

    return true;
}

} // namespace quillon
