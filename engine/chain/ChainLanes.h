#pragma once

#include "engine/chain/DriveStage.h"
#include "engine/core/DspMath.h"
#include "engine/chain/FilterStage.h"

// The chain's two sides at once in SSE2 lanes, lane 0 the left and lane 1 the right (the upper two
// lanes carry along whatever comes and are never read). Each lane goes through the same operations
// in the same order as the scalar stages, so it gives the same bits.
#if QUILLON_SIN_LANES && ! QUILLON_EXACT_REFERENCE
 #define QUILLON_CHAIN_LANES 1
#else
 #define QUILLON_CHAIN_LANES 0
#endif

#if QUILLON_CHAIN_LANES
namespace quillon::chain_lanes
{
using dsp::Float4;
using dsp::Mask4;

QUILLON_ALWAYS_INLINE inline Float4 pair (float left, float right) noexcept
{
    return Float4::set (left, right, 0.0f, 0.0f);
}

QUILLON_ALWAYS_INLINE inline float leftOf (Float4 x) noexcept  { return dsp::laneOf<0> (x); }
QUILLON_ALWAYS_INLINE inline float rightOf (Float4 x) noexcept { return dsp::laneOf<1> (x); }

QUILLON_ALWAYS_INLINE inline Float4 magnitude (Float4 x) noexcept { return dsp::abs (x); }
QUILLON_ALWAYS_INLINE inline Mask4 both (Mask4 a, Mask4 b) noexcept  { return a & b; }
QUILLON_ALWAYS_INLINE inline Mask4 atMost (Float4 a, Float4 b) noexcept { return a <= b; }
QUILLON_ALWAYS_INLINE inline bool eitherSide (Mask4 m) noexcept { return (dsp::bitsOf (m) & 3) != 0; }
QUILLON_ALWAYS_INLINE inline bool bothSides (Mask4 m) noexcept  { return (dsp::bitsOf (m) & 3) == 3; }

using dsp::flushTiny;
using dsp::held;

// `floor` is held (1.0e-15f).
QUILLON_ALWAYS_INLINE inline Float4 silenceBelowFloor (Float4 y, Float4 floor) noexcept
{
    // A branch, which the loop need not wait for while the sides are as loud as they were.
    const auto loud = magnitude (y) >= floor;

    if (! bothSides (loud))
        y = keep (loud, y);

    return y;
}

// limit (x, -top, top) by a branch, where it is seldom needed.
QUILLON_ALWAYS_INLINE inline Float4 limitRarely (Float4 x, Float4 top) noexcept
{
    if (! bothSides (atMost (magnitude (x), top)))
        x = limit (x, Float4 (0.0f) - top, top);

    return x;
}

using dsp::loopTanh;

// Both sides' cubic pieces from a table, lane by lane; its columns as four vectors.
template <typename Piece>
QUILLON_ALWAYS_INLINE inline void lookUp (const Piece* pieces, Float4 t, Float4& f, Float4 (&c)[4]) noexcept
{
    const auto i = dsp::truncateToInt (t);
    f = t - dsp::toFloat (i);
    const auto l = Float4::load (&pieces[dsp::laneOf<0> (i)].c0);
    const auto r = Float4::load (&pieces[dsp::laneOf<1> (i)].c0);
    const auto low = dsp::interleaveLow (l, r), high = dsp::interleaveHigh (l, r);
    c[0] = low;
    c[1] = dsp::highHalves (low, low);
    c[2] = high;
    c[3] = dsp::highHalves (high, high);
}

QUILLON_ALWAYS_INLINE inline Float4 softCurve (Float4 s) noexcept
{
    const auto m = magnitude (s);
    Float4 f, c[4];
    lookUp (quillon::softKnee.pieces_, dsp::min (Float4 (SoftKnee::range), m) * Float4 ((float) SoftKnee::perUnit), f, c);
    const auto v = (c[0] + f * c[1]) + (f * f) * (c[2] + f * c[3]);
    return dsp::copySign (v, s);
}

QUILLON_ALWAYS_INLINE inline Float4 diodeCurve (Float4 v) noexcept
{
    constexpr auto range = DiodeKnee::range;
    const auto clamped = dsp::bound (v, Float4 (-range), Float4 (range));
    Float4 f, c[4];
    lookUp (quillon::diodeKnee.pieces_, (clamped + Float4 (range)) * Float4 ((float) DiodeKnee::perUnit), f, c);
    return ((c[0] + f * c[1]) + (f * f) * (c[2] + f * c[3])) + (v - clamped);
}

// DiodeKnee::piece, pieceAt and beyondRange, lane by lane.
QUILLON_ALWAYS_INLINE inline Float4 diodePieceAt (Float4 t) noexcept
{
    constexpr auto range = DiodeKnee::range;
    const auto clamped = dsp::bound (t, Float4 (0.0f), Float4 (2.0f * range * (float) DiodeKnee::perUnit));
    Float4 f, c[4];
    lookUp (quillon::diodeKnee.pieces_, clamped, f, c);
    return (c[0] + f * c[1]) + (f * f) * (c[2] + f * c[3]);
}

QUILLON_ALWAYS_INLINE inline Float4 diodePiece (Float4 x, Float4 toTable) noexcept
{
    return diodePieceAt (x * toTable + Float4 (DiodeKnee::centre));
}

QUILLON_ALWAYS_INLINE inline Float4 beyondRange (Float4 v) noexcept
{
    constexpr auto range = DiodeKnee::range;
    return v - dsp::bound (v, Float4 (-range), Float4 (range));
}

// DriveStage::process for both sides, whose settings agree, while its curve does not fade and is
// not the fold.
struct DriveLanes
{
    int curve = DriveStage::passThrough;
    bool straight = true, whole = true;
    Float4 gain, inverseGain, diodeIn, diodeOut, diodeToTable, engagement;
    Float4 previous;

    void takeSettings (const DriveStage& s) noexcept
    {
        curve = s.getMode();
        straight = s.getGain() <= 1.000001f;
        whole = s.getEngagement() >= 1.0f;
        gain = s.getGain();
        inverseGain = s.getInverseGain();
        diodeIn = s.getDiodeIn();
        diodeOut = s.getDiodeOut();
        diodeToTable = s.getDiodeToTable();
        engagement = s.getEngagement();
    }

    // takeSettings after the stage's setGain (linearGain), its mode unchanged.
    void takeGain (float linearGain) noexcept
    {
        const auto s = DriveStage::GainSettings::of (linearGain);
        straight = s.gain <= 1.000001f;
        whole = s.engagement >= 1.0f;
        engagement = s.engagement;

        // Only what the curve reads.
        switch (curve)
        {
            case DriveStage::soft:
                gain = s.gain;
                inverseGain = s.inverseGain;
                break;

            case DriveStage::diode:
                diodeIn = s.diodeIn;
                diodeOut = s.diodeOut;
                diodeToTable = s.diodeToTable;
                break;

            default:
                break;
        }
    }

    QUILLON_ALWAYS_INLINE Float4 fullCurve (Float4 x) const noexcept
    {
        switch (curve)
        {
            case DriveStage::soft:
                return softCurve (gain * x) * inverseGain;

            case DriveStage::diode:
                return diodeOut * diodeCurve (diodeIn * x);

            default:
                return x;
        }
    }

    // Where both sides are within the limit, as they nearly always are, the loop need not wait
    // for the test.
    QUILLON_ALWAYS_INLINE static Float4 limitInput (Float4 x) noexcept
    {
        const auto within = atMost (magnitude (x), Float4 (DriveStage::inputLimit));

        if (! bothSides (within))
            x = keep (within, x);

        return x;
    }

    bool actsAsWholeDiode() const noexcept { return curve == DriveStage::diode && ! straight && whole; }

    // DriveStage::diodeRaw for both sides.
    QUILLON_ALWAYS_INLINE Float4 diodeRaw (Float4 x, Float4& beyond) noexcept
    {
        x = limitInput (x);
        previous = x;
        beyond = beyondRange (diodeIn * x);
        return diodePiece (x, diodeToTable);
    }

    // DriveStage::diodeRawAt for both sides.
    QUILLON_ALWAYS_INLINE Float4 diodeRawAt (Float4 x, Float4 t, Float4& beyond) noexcept
    {
        const auto within = atMost (magnitude (x), Float4 (DriveStage::inputLimit));

        if (! bothSides (within))
        {
            x = keep (within, x);
            t = dsp::select (within, t, Float4 (DiodeKnee::centre));
        }

        previous = x;
        beyond = beyondRange (diodeIn * x);
        return diodePieceAt (t);
    }

    QUILLON_ALWAYS_INLINE Float4 process (Float4 x) noexcept
    {
        x = limitInput (x);
        auto y = x;

        if (! straight)
        {
            y = fullCurve (x);

            if (! whole)
                y = x + engagement * (y - x);
        }

        previous = x;
        return y;
    }
};

// FilterStage's low-pass models for both sides, which share their coefficients, while the model
// does not fade. Each side keeps its own states.
struct LowpassLanes
{
    // Both sides' four states in two vectors, left and right of poles 0 and 1 in one, of poles
    // 2 and 3 in the other: every update then works on two poles at once. Where a pole's sum has
    // fewer terms than its neighbour's, -0 stands in for the missing ones (x + -0 is x, zeros too).
    float takenGain = -1.0f, takenShare = -1.0f, takenResonance = -1.0f;
    Float4 inputs01, inputs23, cross0, cross12, cross01, selfCross0, self, weights01, weights23, g3, k, kIn, memoryCoefficient;
    Float4 poles01, poles23, memory;

    static constexpr bool runs (int model) noexcept
    {
        return model == FilterStage::ladder || model == FilterStage::diode || model == FilterStage::state;
    }

    // a, a, b, b
    static Float4 halves (float a, float b) noexcept { return Float4::set (a, a, b, b); }
    static Float4 low (Float4 x) noexcept  { return dsp::lowHalves (x, x); }
    static Float4 high (Float4 x) noexcept { return dsp::highHalves (x, x); }

    // Cheap where nothing moved: the stages only recompute their coefficients when it did.
    void takeSettings (const FilterStage& f) noexcept
    {
        const auto model = f.getModel();
        const auto resonance = f.getResonanceGain (model);

        // G and 1 / (1 + G) make every other coefficient.
        const auto share = f.getEstimateWeights()[3];

        if (f.getPoleGain() == takenGain && share == takenShare && resonance == takenResonance)
            return;

        takenGain = f.getPoleGain();
        takenShare = share;
        takenResonance = resonance;

        const auto& b = f.getStateInputWeights();
        const auto& c = f.getStateCrossWeights();
        const auto& w = f.getEstimateWeights();
        const auto d = f.getStateSelfWeight();
        inputs01 = halves (b[0], b[1]);
        inputs23 = halves (b[2], b[3]);
        cross0 = c[0];
        cross12 = halves (c[1], c[2]);
        cross01 = halves (c[0], c[1]);
        selfCross0 = halves (d, c[0]);
        self = d;
        weights01 = halves (w[0], w[1]);
        weights23 = halves (w[2], w[3]);
        g3 = f.getGainPowers()[3];
        k = resonance;
        kIn = 1.0f + 0.5f * resonance;
        memoryCoefficient = f.getDiodeMemoryCoefficient();
    }

    void takeStates (const FilterStage& left, const FilterStage& right) noexcept
    {
        const auto model = left.getModel();
        const auto& l = left.getPoles (model);
        const auto& r = right.getPoles (model);
        poles01 = Float4::set (l[0], r[0], l[1], r[1]);
        poles23 = Float4::set (l[2], r[2], l[3], r[3]);
        memory = pair (left.getDiodeMemory(), right.getDiodeMemory());
    }

    void giveStates (FilterStage& left, FilterStage& right) const noexcept
    {
        const auto model = left.getModel();
        alignas (16) float p01[4], p23[4];
        poles01.store (p01);
        poles23.store (p23);
        left.setPoles (model, { p01[0], p01[2], p23[0], p23[2] });
        right.setPoles (model, { p01[1], p01[3], p23[1], p23[3] });

        if (model == FilterStage::diode)
        {
            left.setDiodeMemory (leftOf (memory));
            right.setDiodeMemory (rightOf (memory));
        }
    }

    void flushStates() noexcept
    {
        poles01 = flushTiny (poles01);
        poles23 = flushTiny (poles23);
        memory = flushTiny (memory);
    }

    QUILLON_ALWAYS_INLINE Float4 lastPole() const noexcept { return high (poles23); }

    // (w0 s0 + w1 s1) + (w2 s2 + w3 s3)
    QUILLON_ALWAYS_INLINE Float4 estimate() const noexcept
    {
        const auto a = weights01 * poles01, b = weights23 * poles23;
        return (a + high (a)) + (b + high (b));
    }

    // s0 = b0 u + d s0, s1 = (b1 u + c0 s0) + d s1, s2 = (b2 u + c1 s0) + (c0 s1 + d s2) and
    // s3 = ((b3 u + c2 s0) + (c1 s1 + c0 s2)) + d s3, as FilterStage::runPoles has them.
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

    // FilterStage::process for a low-pass model.
    template <int model>
    QUILLON_ALWAYS_INLINE Float4 process (Float4 x, Float4 silence) noexcept
    {
        const Float4 floor (filter_detail::stateFloor);
        const auto resonant = takenResonance != 0.0f;

        if constexpr (model == FilterStage::ladder)
        {
            const auto e = estimate();

            if (! resonant)
                return silenceBelowFloor (runPoles (x + floor, e), silence);

            return silenceBelowFloor (runPoles ((kIn * x + floor) - k * loopTanh (e), e), silence);
        }
        else if constexpr (model == FilterStage::diode)
        {
            const auto e = estimate();
            auto input = x + floor;

            if (resonant)
            {
                const auto negative = e < Float4 (0.0f);
                const auto scale = dsp::select (negative, Float4 (0.85f), Float4 (1.0f));
                input = input - (k * scale) * loopTanh (e * dsp::select (negative, Float4 (1.0f / 0.85f), Float4 (1.0f)));
            }

            const auto y = runPoles (input, e);
            memory = memory + (y - memory) * memoryCoefficient;
            return silenceBelowFloor ((y - Float4 (0.6f) * memory) * Float4 (0.95f), silence);
        }
        else
        {
            auto input = x + floor;

            if (resonant)
                input = input - k * loopTanh (lastPole());

            return silenceBelowFloor (Float4 (0.85f) * runPoles (input, estimate()), silence);
        }
    }
};

// PhaseStage::processBlended for both sides, each with its own coefficients and states. Given the
// input and the states, the first three sections and the last three are two cascades of their
// own (the fourth section's input comes straight from the states): section i runs beside section
// i + 3, as (left i, right i, left i + 3, right i + 3).
struct PhaseLanes
{
    static constexpr int numSections = PhaseStage::numSections;
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
        const auto& cl = left.getCoefficients();
        const auto& cr = right.getCoefficients();
        const auto& wl = left.getSectionWeights();
        const auto& wr = right.getSectionWeights();

        for (size_t i = 0; i < half; ++i)
            c[i] = twoPairs (cl[i], cr[i], cl[i + half], cr[i + half]);

        w[0] = twoPairs (wl[0], wr[0], wl[3], wr[3]);
        w[1] = twoPairs (wl[1], wr[1], wl[4], wr[4]);
        w[2] = twoPairs (wl[2], wr[2], 0.0f, 0.0f);
        product = pair (left.getProduct(), right.getProduct());
        firstProduct = pair (left.getFirstProduct(), right.getFirstProduct());
        v[0] = pair (left.getFirstWeights()[0], right.getFirstWeights()[0]);
        v[1] = pair (left.getFirstWeights()[1], right.getFirstWeights()[1]);
        takeOtherSettings (left, right, blend);
    }

    // Both sides' expansions, while the cutoff stays in the cell they were taken at: the
    // coefficients then come for both sides at once, with the same operations as each stage's.
    Float4 c0[half], first[half], second[half];
    float centre = 0.0f, inverseCentre = 0.0f;
    std::int32_t cell = -1;

    void takeAnchors (const PhaseStage& left, const PhaseStage& right) noexcept
    {
        const auto& a = left.getAnchor();
        const auto& b = right.getAnchor();
        cell = -1;

        if (! a.expands || ! b.expands || a.cell != b.cell || a.cell != PhaseStage::cellOf (left.getCutoff())
            || b.cell != PhaseStage::cellOf (right.getCutoff()))
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

    bool expandsAt (float hz) const noexcept { return cell >= 0 && PhaseStage::cellOf (hz) == cell; }

    // takeSettings for stages whose cutoff `hz` expandsAt, their coefficients not yet worked out.
    // Where `shapeMoved` is false, the stages' feedback, mix, notch and the blend are as they were.
    void takeExpandedSettings (float hz, const PhaseStage& left, const PhaseStage& right, float blend, bool shapeMoved) noexcept
    {
        const Float4 r ((hz - centre) * inverseCentre);

        for (int i = 0; i < half; ++i)
            c[i] = c0[i] + r * (first[i] + r * second[i]);

        // As PhaseStage::updateSectionWeights, with two products to a vector: (c2 c1, c5 c4) and
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
        feedback = pair (left.getFeedback(), right.getFeedback());
        k = (Float4 (blend) * pair (left.getMix(), right.getMix())) * pair (left.getNotchAmount(), right.getNotchAmount());
    }

    void takeProducts() noexcept
    {
        floorProduct = product * Float4 (filter_detail::stateFloor);
        feedbackProduct = feedback * product;
        gain = (Float4 (1.0f) - k) + k * product;
    }

    void takeStates (const PhaseStage& left, const PhaseStage& right) noexcept
    {
        const auto& l = left.getStates();
        const auto& r = right.getStates();

        for (size_t i = 0; i < half; ++i)
            z[i] = twoPairs (l[i], r[i], l[i + half], r[i + half]);

        last = pair (left.getLastOutput(), right.getLastOutput());
    }

    void giveStates (PhaseStage& left, PhaseStage& right) const noexcept
    {
        PhaseStage::Sections l, r;

        for (size_t i = 0; i < half; ++i)
        {
            l[i] = leftOf (z[i]);
            r[i] = rightOf (z[i]);
            l[i + half] = leftOf (upper (z[i]));
            r[i + half] = rightOf (upper (z[i]));
        }

        left.setStates (l, leftOf (last));
        right.setStates (r, rightOf (last));
    }

    void flushStates() noexcept
    {
        for (auto& state : z)
            state = flushTiny (state);

        last = flushTiny (last);
    }

    // How the states move with the input's raw part at a given scale, as line() works it out:
    // while the scale and coefficients hold, once for many samples.
    struct Slopes { Float4 scale, output, state[half]; };

    // PhaseStage::processBlended for x, with `unit` the slopes at scale 1.
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

    // PhaseStage::processBlendedLine, each lane with the scalar operations in their order.
    QUILLON_ALWAYS_INLINE void line (Float4 offset, const Slopes& slopes, Float4 raw, Float4& fixed, Float4& slope) noexcept
    {
        const auto scale = slopes.scale;
        const auto x = offset + scale * raw;
        const auto feedbackOut = Float4 (filter_detail::stateFloor) - feedback * last;
        // w0 z0 + w1 z1 below, w3 z3 + w4 z4 above; w2 z2 below.
        const auto outer = w[0] * z[0], inner = w[1] * z[1];
        const auto head = (((outer + inner) + (w[2] * z[2] + upper (outer))) + upper (inner))
                        + (floorProduct - feedbackProduct * last);
        const auto rest = head + upper (z[2]);
        const auto u = offset + feedbackOut;
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
        fixed = gain * offset + k * rest;
        slope = slopes.output;
    }
};

QUILLON_ALWAYS_INLINE inline Float4 PhaseLanes::process (Float4 x, const Slopes& unit, Float4 silence) noexcept
{
    Float4 fixed, slope;
    line (Float4 (0.0f), unit, x, fixed, slope);
    return silenceBelowFloor (slope * x + fixed, silence);
}

// True where both sides' drive and low-pass settings agree and neither fades: the lanes can run
// them, each with its own states.
inline bool sidesFitLanes (const DriveStage& drive0, const DriveStage& drive1, const FilterStage& filter0,
                           const FilterStage& filter1) noexcept
{
    // The fold keeps quarters of its own from step to step, which only the stage runs.
    if (drive0.isFading() || drive0.getMode() == DriveStage::fold || ! drive0.hasSameSettingsAs (drive1)
        || filter0.isModelFading() || filter1.isModelFading() || filter0.getModel() != filter1.getModel())
        return false;

    return ! LowpassLanes::runs (filter0.getModel()) || filter0.hasSameLowpassAs (filter1);
}

} // namespace quillon::chain_lanes
#endif
