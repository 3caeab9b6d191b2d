#pragma once

#include "engine/chain/FilterStage.h"
#include "engine/core/FastMath.h"
#include "engine/core/Lanes.h"

// The filter's stages for a voice's two sides at once, lane 0 the left and lane 1 the right. Each
// lane goes through the same operations in the same order as its stage, so it gives the same bits.
#if QUILLON_SIN_LANES
namespace quillon
{

// FilterStage's low-pass models for both sides, which share their coefficients, while the model
// does not fade. Each side keeps its own states.
struct FilterStage::LowpassLanes
{
    using Float4 = dsp::Float4;

    // Both sides' four states in two vectors, left and right of poles 0 and 1 in one, of poles
    // 2 and 3 in the other: every update then works on two poles at once. Where a pole's sum has
    // fewer terms than its neighbour's, -0 stands in for the missing ones (x + -0 is x, zeros too).
    float takenGain = -1.0f, takenShare = -1.0f, takenResonance = -1.0f;
    Float4 inputs01, inputs23, cross0, cross12, cross01, selfCross0, self, weights01, weights23, g3, k, kIn, memoryCoefficient;
    Float4 poles01, poles23, memory;

    static constexpr bool runs (int model) noexcept
    {
        return model == ladder || model == diode || model == state;
    }

    // a, a, b, b
    static Float4 halves (float a, float b) noexcept { return Float4::set (a, a, b, b); }
    static Float4 low (Float4 x) noexcept  { return dsp::lowHalves (x, x); }
    static Float4 high (Float4 x) noexcept { return dsp::highHalves (x, x); }

    // Cheap where nothing moved: the stages only recompute their coefficients when it did.
    void takeSettings (const FilterStage& f) noexcept
    {
        const auto model = f.getModel();
        const auto resonance = f.resonanceGainOf (model);

        // G and 1 / (1 + G) make every other coefficient.
        const auto share = f.estimateWeights[3];

        if (f.bigG == takenGain && share == takenShare && resonance == takenResonance)
            return;

        takenGain = f.bigG;
        takenShare = share;
        takenResonance = resonance;

        const auto& b = f.stateInputWeights;
        const auto& c = f.stateCrossWeights;
        const auto& w = f.estimateWeights;
        const auto d = f.stateSelfWeight;
        inputs01 = halves (b[0], b[1]);
        inputs23 = halves (b[2], b[3]);
        cross0 = c[0];
        cross12 = halves (c[1], c[2]);
        cross01 = halves (c[0], c[1]);
        selfCross0 = halves (d, c[0]);
        self = d;
        weights01 = halves (w[0], w[1]);
        weights23 = halves (w[2], w[3]);
        g3 = f.gainPowers[3];
        k = resonance;
        kIn = 1.0f + 0.5f * resonance;
        memoryCoefficient = f.diodeMemoryCoefficient;
    }

    void takeStates (const FilterStage& left, const FilterStage& right) noexcept
    {
        const auto model = left.getModel();
        const auto& l = left.polesOf (model);
        const auto& r = right.polesOf (model);
        poles01 = Float4::set (l[0], r[0], l[1], r[1]);
        poles23 = Float4::set (l[2], r[2], l[3], r[3]);
        memory = dsp::pair (left.diodeMemory, right.diodeMemory);
    }

    void giveStates (FilterStage& left, FilterStage& right) const noexcept
    {
        const auto model = left.getModel();
        alignas (16) float p01[4], p23[4];
        poles01.store (p01);
        poles23.store (p23);
        left.polesOf (model) = { p01[0], p01[2], p23[0], p23[2] };
        right.polesOf (model) = { p01[1], p01[3], p23[1], p23[3] };

        if (model == diode)
        {
            left.diodeMemory = dsp::leftOf (memory);
            right.diodeMemory = dsp::rightOf (memory);
        }
    }

    void flushStates() noexcept
    {
        poles01 = dsp::flushTiny (poles01);
        poles23 = dsp::flushTiny (poles23);
        memory = dsp::flushTiny (memory);
    }

    QUILLON_ALWAYS_INLINE Float4 lastPole() const noexcept { return high (poles23); }

    // (w0 s0 + w1 s1) + (w2 s2 + w3 s3)
    QUILLON_ALWAYS_INLINE Float4 estimate() const noexcept
    {
        const auto a = weights01 * poles01, b = weights23 * poles23;
        return (a + high (a)) + (b + high (b));
    }

    // s0 = b0 u + d s0, s1 = (b1 u + c0 s0) + d s1, s2 = (b2 u + c1 s0) + (c0 s1 + d s2) and
    // s3 = ((b3 u + c2 s0) + (c1 s1 + c0 s2)) + d s3, as runPoles has them.
    QUILLON_ALWAYS_INLINE Float4 runPoles (Float4 input, Float4 e) noexcept
    {
        const Float4 negativeZero (-0.0f);
        const auto u = low (input);
        const auto p01 = poles01, p23 = poles23;
        const auto firstCross = dsp::lowHalves (negativeZero, cross0 * p01);
        const auto lastSelf = dsp::lowAndHighHalves (negativeZero, self * p23);
        poles01 = (inputs01 * u + firstCross) + self * p01;
        poles23 = ((inputs23 * u + cross12 * low (p01)) + (cross01 * high (p01) + selfCross0 * low (p23))) + lastSelf;
        return g3 * input + e;
    }

    // process() for a low-pass model.
    template <int model>
    QUILLON_ALWAYS_INLINE Float4 process (Float4 x, Float4 silence) noexcept
    {
        const Float4 floor (filter_detail::stateFloor);
        const auto resonant = takenResonance != 0.0f;

        if constexpr (model == ladder)
        {
            const auto e = estimate();

            if (! resonant)
                return dsp::silenceBelowFloor (runPoles (x + floor, e), silence);

            return dsp::silenceBelowFloor (runPoles ((kIn * x + floor) - k * dsp::loopTanh (e), e), silence);
        }
        else if constexpr (model == diode)
        {
            const auto e = estimate();
            auto input = x + floor;

            if (resonant)
            {
                const auto negative = e < Float4 (0.0f);
                const auto scale = dsp::select (negative, Float4 (0.85f), Float4 (1.0f));
                input = input - (k * scale) * dsp::loopTanh (e * dsp::select (negative, Float4 (1.0f / 0.85f), Float4 (1.0f)));
            }

            const auto y = runPoles (input, e);
            memory = memory + (y - memory) * memoryCoefficient;
            return dsp::silenceBelowFloor ((y - Float4 (0.6f) * memory) * Float4 (0.95f), silence);
        }
        else
        {
            auto input = x + floor;

            if (resonant)
                input = input - k * dsp::loopTanh (lastPole());

            return dsp::silenceBelowFloor (Float4 (stateLevel) * runPoles (input, estimate()), silence);
        }
    }
};

// processBlended for both sides, each with its own coefficients and states. Given the
// input and the states, the first three sections and the last three are two cascades of their
// own (the fourth section's input comes straight from the states): section i runs beside section
// i + 3, as (left i, right i, left i + 3, right i + 3).
struct PhaseStage::Lanes
{
    using Float4 = dsp::Float4;

    static constexpr int half = numSections / 2;
    Float4 c[half], w[half], v[2], product, firstProduct, floorProduct, feedback, feedbackProduct, k, gain;
    Float4 z[half], last;

    static Float4 twoPairs (float left, float right, float leftAbove, float rightAbove) noexcept
    {
        return Float4::set (left, right, leftAbove, rightAbove);
    }

    static Float4 upper (Float4 x) noexcept { return dsp::highHalves (x, x); }

    void takeSettings (const PhaseStage& left, const PhaseStage& right, float blend) noexcept
    {
        const auto& cl = left.c;
        const auto& cr = right.c;
        const auto& wl = left.sectionWeights;
        const auto& wr = right.sectionWeights;

        for (size_t i = 0; i < half; ++i)
            c[i] = twoPairs (cl[i], cr[i], cl[i + half], cr[i + half]);

        w[0] = twoPairs (wl[0], wr[0], wl[3], wr[3]);
        w[1] = twoPairs (wl[1], wr[1], wl[4], wr[4]);
        w[2] = twoPairs (wl[2], wr[2], 0.0f, 0.0f);
        product = dsp::pair (left.product, right.product);
        firstProduct = dsp::pair (left.firstProduct, right.firstProduct);
        v[0] = dsp::pair (left.firstWeights[0], right.firstWeights[0]);
        v[1] = dsp::pair (left.firstWeights[1], right.firstWeights[1]);
        takeOtherSettings (left, right, blend);
    }

    // Both sides' expansions, while the cutoff stays in the cell they were taken at: the
    // coefficients then come for both sides at once, with the same operations as each stage's.
    Float4 c0[half], first[half], second[half];
    float centre = 0.0f, inverseCentre = 0.0f;
    std::int32_t cell = -1;

    void takeAnchors (const PhaseStage& left, const PhaseStage& right) noexcept
    {
        const auto& a = left.anchor;
        const auto& b = right.anchor;
        cell = -1;

        if (! a.expands || ! b.expands || a.cell != b.cell || a.cell != cellOf (left.cutoff) || b.cell != cellOf (right.cutoff))
            return;

        for (int i = 0; i < half; ++i)
        {
            c0[i] = twoPairs (a.c0[i], b.c0[i], a.c0[i + half], b.c0[i + half]);
            first[i] = twoPairs (a.first[i], b.first[i], a.first[i + half], b.first[i + half]);
            second[i] = twoPairs (a.second[i], b.second[i], a.second[i + half], b.second[i + half]);
        }

        centre = a.centre;
        inverseCentre = a.inverseCentre;
        cell = a.cell;
    }

    bool expandsAt (float hz) const noexcept { return cell >= 0 && cellOf (hz) == cell; }

    // takeSettings for stages whose cutoff `hz` expandsAt, their coefficients not yet worked out.
    // Where `shapeMoved` is false, the stages' feedback, mix, notch and the blend are as they were.
    void takeExpandedSettings (float hz, const PhaseStage& left, const PhaseStage& right, float blend, bool shapeMoved) noexcept
    {
        const Float4 r ((hz - centre) * inverseCentre);

        for (int i = 0; i < half; ++i)
            c[i] = c0[i] + r * (first[i] + r * second[i]);

        // As updateSectionWeights, with two products to a vector: (c2 c1, c5 c4) and
        // (c1 c0, c3 c2).
        const auto negated = [] (Float4 x) { return dsp::negate (x); };
        const auto pairsAbove = c[1] * c[2];
        const auto pairsBelow = c[0] * dsp::lowHalves (c[1], c[2]);
        const auto high = upper (pairsAbove), middle = upper (pairsBelow), low = pairsBelow;
        const auto up = high * middle;
        const auto c3 = upper (c[0]), c5 = upper (c[2]);
        w[0] = dsp::lowHalves (negated (up * c[1]), high);
        w[1] = dsp::lowHalves (up, negated (c5));
        w[2] = dsp::lowHalves (negated (high * c3), Float4 (0.0f));
        product = up * low;
        v[0] = pairsAbove;
        v[1] = negated (c[2]);
        firstProduct = negated (v[0] * c[0]);

        if (shapeMoved)
            takeShape (left, right, blend);

        takeProducts();
    }

    void takeOtherSettings (const PhaseStage& left, const PhaseStage& right, float blend) noexcept
    {
        takeShape (left, right, blend);
        takeProducts();
    }

    void takeShape (const PhaseStage& left, const PhaseStage& right, float blend) noexcept
    {
        feedback = dsp::pair (left.feedback, right.feedback);
        k = (Float4 (blend) * dsp::pair (left.mix, right.mix)) * dsp::pair (left.notch, right.notch);
    }

    void takeProducts() noexcept
    {
        floorProduct = product * Float4 (filter_detail::stateFloor);
        feedbackProduct = feedback * product;
        gain = (Float4 (1.0f) - k) + k * product;
    }

    void takeStates (const PhaseStage& left, const PhaseStage& right) noexcept
    {
        const auto& l = left.z;
        const auto& r = right.z;

        for (size_t i = 0; i < half; ++i)
            z[i] = twoPairs (l[i], r[i], l[i + half], r[i + half]);

        last = dsp::pair (left.lastOutput, right.lastOutput);
    }

    void giveStates (PhaseStage& left, PhaseStage& right) const noexcept
    {
        for (size_t i = 0; i < half; ++i)
        {
            left.z[i] = dsp::leftOf (z[i]);
            right.z[i] = dsp::rightOf (z[i]);
            left.z[i + half] = dsp::leftOf (upper (z[i]));
            right.z[i + half] = dsp::rightOf (upper (z[i]));
        }

        left.lastOutput = dsp::leftOf (last);
        right.lastOutput = dsp::rightOf (last);
    }

    void flushStates() noexcept
    {
        for (auto& state : z)
            state = dsp::flushTiny (state);

        last = dsp::flushTiny (last);
    }

    // How the states move with the input's raw part at a given scale, as line() works it out:
    // while the scale and coefficients hold, once for many samples.
    struct Slopes { Float4 scale, output, state[half]; };

    // processBlended for x, with `unit` the slopes at scale 1.
    QUILLON_ALWAYS_INLINE Float4 process (Float4 x, const Slopes& unit, Float4 silence) noexcept;

    QUILLON_ALWAYS_INLINE Slopes slopesAt (Float4 scale) const noexcept
    {
        Slopes s;
        s.scale = scale;
        s.output = gain * scale;
        auto inputSlope = dsp::lowHalves (scale, firstProduct * scale);

        for (int i = 0; i < half; ++i)
        {
            const auto ySlope = dsp::negate (c[i] * inputSlope);
            s.state[i] = c[i] * ySlope + inputSlope;
            inputSlope = ySlope;
        }

        return s;
    }

    // processBlendedLine, each lane with the scalar operations in their order.
    QUILLON_ALWAYS_INLINE void line (Float4 inputOffset, const Slopes& slopes, Float4 raw, Float4& fixed, Float4& slope) noexcept
    {
        const auto x = inputOffset + slopes.scale * raw;
        const auto feedbackOut = Float4 (filter_detail::stateFloor) - feedback * last;
        // w0 z0 + w1 z1 below, w3 z3 + w4 z4 above; w2 z2 below.
        const auto outer = w[0] * z[0], inner = w[1] * z[1];
        const auto head = (((outer + inner) + (w[2] * z[2] + upper (outer))) + upper (inner))
                        + (floorProduct - feedbackProduct * last);
        const auto rest = head + upper (z[2]);
        const auto u = inputOffset + feedbackOut;
        const auto middle = firstProduct * u + ((v[0] * z[0] + v[1] * z[1]) + z[2]);
        auto input = dsp::lowHalves (u, middle);
        const auto raws = dsp::lowHalves (raw, raw);

        for (int i = 0; i < half; ++i)
        {
            const auto y = z[i] - c[i] * input;
            z[i] = (c[i] * y + input) + slopes.state[i] * raws;
            input = y;
        }

        last = product * x + rest;
        fixed = gain * inputOffset + k * rest;
        slope = slopes.output;
    }
};

QUILLON_ALWAYS_INLINE inline dsp::Float4 PhaseStage::Lanes::process (Float4 x, const Slopes& unit, Float4 silence) noexcept
{
    Float4 fixed, slope;
    line (Float4 (0.0f), unit, x, fixed, slope);
    return dsp::silenceBelowFloor (slope * x + fixed, silence);
}

} // namespace quillon
#endif
