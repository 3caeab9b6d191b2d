#include "DspTestTools.h"
#include "engine/chain/FilterStage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

using namespace quillon;
using namespace quillon::test;

namespace
{
constexpr double rate = 96000.0; // the voice's 2x rate at a 48 kHz host

FilterStage makeFilter (int model, float cutoff, float resonance, float phaseMix = 0.5f, float notch = 1.0f)
{
    FilterStage filter;
    filter.prepare (rate);
    filter.setModel (model, false);
    filter.setCutoff (cutoff);
    filter.setResonance (resonance);
    filter.setPhaseMix (phaseMix);
    filter.setPhaseNotch (notch);
    return filter;
}

double gainDb (int model, float cutoff, float resonance, double frequency, float phaseMix = 0.5f, float notch = 1.0f)
{
    auto filter = makeFilter (model, cutoff, resonance, phaseMix, notch);
    return gainAtDb ([&filter] (float x) { return filter.process (x); }, frequency, rate);
}
} // namespace

TEST (FilterModels, lowPassesAreFourPoleWithTheCutoffWhereItIsSet)
{
    // Output scaling of each model: ladder 1, diode 0.95, state 0.85.
    const std::pair<int, double> models[] = { { FilterStage::ladder, 0.0 },
                                              { FilterStage::diode, 20.0 * std::log10 (0.95) },
                                              { FilterStage::state, 20.0 * std::log10 (0.85) } };

    for (auto [model, scaleDb] : models)
    {
        SCOPED_TRACE (model);
        EXPECT_NEAR (gainDb (model, 1000.0f, 0.0f, 150.0), scaleDb, 0.6);
        // Four poles at the cutoff: 3 dB each.
        EXPECT_NEAR (gainDb (model, 1000.0f, 0.0f, 1000.0) - scaleDb, -12.0, 0.6);
        EXPECT_NEAR (gainDb (model, 4000.0f, 0.0f, 4000.0) - scaleDb, -12.0, 0.6);
        // 24 dB per octave well above it.
        EXPECT_NEAR (gainDb (model, 500.0f, 0.0f, 4000.0) - gainDb (model, 500.0f, 0.0f, 2000.0), -24.0, 1.5);
    }

    // The diode model's partial cut below about 30 Hz.
    EXPECT_LT (gainDb (FilterStage::diode, 1000.0f, 0.0f, 20.0), gainDb (FilterStage::diode, 1000.0f, 0.0f, 150.0) - 1.5);
}

TEST (FilterModels, resonanceEmphasisesTheCutoff)
{
    for (int model : { FilterStage::ladder, FilterStage::diode })
    {
        SCOPED_TRACE (model);
        const auto passband = gainDb (model, 1000.0f, 0.9f, 100.0);
        EXPECT_GT (gainDb (model, 1000.0f, 0.9f, 1000.0) - passband, 15.0);
        // Without resonance nothing rises above the passband.
        EXPECT_LT (gainDb (model, 1000.0f, 0.0f, 900.0), gainDb (model, 1000.0f, 0.0f, 150.0));
    }

    // The state model's feedback is gentler: the cutoff stands out against a lowered passband.
    const auto emphasis = [] (float r) { return gainDb (FilterStage::state, 1000.0f, r, 1000.0) - gainDb (FilterStage::state, 1000.0f, r, 100.0); };
    EXPECT_GT (emphasis (1.0f) - emphasis (0.0f), 6.0);
}

TEST (FilterModels, diodeSelfOscillatesWithinBoundsAndTheLadderRingsOut)
{
    for (int model : { FilterStage::ladder, FilterStage::diode, FilterStage::state, FilterStage::phase })
    {
        SCOPED_TRACE (model);
        auto filter = makeFilter (model, 1000.0f, 1.0f);
        float early = 0.0f, late = 0.0f;

        for (int n = 0; n < 3 * (int) rate; ++n)
        {
            const auto y = filter.process (n == 0 ? 1.0f : 0.0f);
            ASSERT_TRUE (std::isfinite (y));
            ASSERT_FALSE (isSubnormal (y));
            (n < (int) rate ? early : late) = std::max (n < (int) rate ? early : late, std::abs (y));
        }

        EXPECT_LT (early, 2.0f);

        if (model == FilterStage::diode)
        {
            EXPECT_GT (late, 0.1f); // keeps singing from a single click
        }
        else
        {
            EXPECT_LT (late, 1.0e-3f);
        }
    }
}

TEST (PhaseStage, notchesWhenMixedWithTheDrySignal)
{
    // The first notch: where the six sections, spread from half to twice the cutoff, have turned
    // the phase through 180 degrees (a quarter of the cutoff for this spread).
    const auto firstNotch = [] (float cutoff, float offset, double& depth)
    {
        auto filter = makeFilter (FilterStage::phase, cutoff, 0.0f);
        filter.setPhaseOffset (offset);
        double previous = 0.0;

        for (double f = 30.0; f < 20000.0; f *= 1.01)
        {
            auto copy = filter;
            depth = gainAtDb ([&copy] (float x) { return copy.process (x); }, f, rate, 0.01f, 0.05);
            if (depth > previous && previous < -20.0)
                return f / 1.01;
            previous = depth;
        }
        return 0.0;
    };

    double depth = 0.0;
    const auto notch = firstNotch (1000.0f, 0.0f, depth);
    EXPECT_GT (notch, 200.0);
    EXPECT_LT (notch, 300.0);
    EXPECT_NEAR (firstNotch (2000.0f, 0.0f, depth) / notch, 2.0, 0.05);  // follows the cutoff
    EXPECT_NEAR (firstNotch (1000.0f, -1.0f, depth) / notch, 0.5, 0.02); // the stereo offset, in octaves
    EXPECT_NEAR (firstNotch (1000.0f, 0.5f, depth) / notch, std::sqrt (2.0), 0.05);

    EXPECT_LT (gainDb (FilterStage::phase, 1000.0f, 0.0f, notch), -30.0);
    EXPECT_NEAR (gainDb (FilterStage::phase, 1000.0f, 0.0f, 20.0), 0.0, 0.5);

    // Full mix is the allpass chain alone; no mix or no notch passes the input untouched.
    for (double f : { 100.0, 1000.0, 5000.0 })
    {
        EXPECT_NEAR (gainDb (FilterStage::phase, 1000.0f, 0.0f, f, 1.0f, 1.0f), 0.0, 0.05);
        EXPECT_NEAR (gainDb (FilterStage::phase, 1000.0f, 0.0f, f, 0.0f, 1.0f), 0.0, 1.0e-4);
        EXPECT_NEAR (gainDb (FilterStage::phase, 1000.0f, 0.0f, f, 1.0f, 0.0f), 0.0, 1.0e-4);
    }

    // Feedback turns the notches into resonant peaks between them.
    EXPECT_GT (gainDb (FilterStage::phase, 1000.0f, 1.0f, 1000.0, 1.0f, 1.0f), 15.0);
}

TEST (FilterModels, switchingModelsFadesAndEachModelKeepsItsState)
{
    auto filter = makeFilter (FilterStage::ladder, 800.0f, 0.3f);
    const auto input = [] (int n) { return 0.5f * (float) std::sin (0.03 * n); };
    float largestJump = 0.0f, previous = 0.0f;

    for (int n = 0; n < 4000; ++n)
    {
        if (n == 2000)
            filter.setModel (FilterStage::state, true);

        const auto y = filter.process (input (n));
        if (n > 0)
            largestJump = std::max (largestJump, std::abs (y - previous));
        previous = y;
    }

    // The sine moves at most 0.015 per sample; a cut between the models would jump far more.
    EXPECT_LT (largestJump, 0.03f);

    // Away to the phase stage and back: the ladder carries on from the state it was left in.
    auto paused = filter;
    paused.setModel (FilterStage::ladder, false);
    filter.setModel (FilterStage::phase, false);

    for (int n = 0; n < 500; ++n)
        filter.process (input (n));

    filter.setModel (FilterStage::ladder, false);

    for (int n = 4000; n < 4100; ++n)
        ASSERT_EQ (filter.process (input (n)), paused.process (input (n)));
}

// The phase stage's output taken straight from its input and states must follow the plain
// section chain it stands for: across the cutoff range, with and without feedback, while the
// coefficients sweep on every sample and the blend, mix and notch move. With a `scale`, the input
// comes as a part known early plus a moving scale times a part that comes late and swings far
// more, as the diode drive feeds it; the stage must follow the chain fed their sum.
TEST (PhaseStage, outputFromTheStatesFollowsTheSectionChain)
{
    struct Case { float cutoff, resonance, offset, mix, notch, blend, sweep, scale = 0.0f; };
    const Case cases[] = { { 40.0f, 0.0f, 0.0f, 0.7f, 1.0f, 1.0f, 0.0f },   { 900.0f, 0.6f, -0.5f, 0.7f, 1.0f, 1.0f, 0.0f },
                           { 8000.0f, 0.9f, 0.5f, 1.0f, 0.6f, 0.8f, 0.0f }, { 21000.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f },
                           { 300.0f, 0.6f, 0.0f, 0.5f, 1.0f, 0.3f, 3.0f },  { 100.0f, 1.0f, -1.0f, 1.0f, 1.0f, 1.0f, 6.0f },
                           { 2000.0f, 0.0f, 0.2f, 0.7f, 0.0f, 1.0f, 2.0f },  { 1000.0f, 0.9f, 0.0f, 0.9f, 1.0f, 0.0f, 4.0f },
                           { 800.0f, 0.6f, -0.5f, 0.7f, 1.0f, 1.0f, 0.0f, 0.02f }, { 120.0f, 1.0f, 0.5f, 0.7f, 1.0f, 0.8f, 4.0f, 0.3f },
                           { 6000.0f, 0.9f, 0.0f, 0.7f, 1.0f, 1.0f, 2.0f, 1.7f },   { 2000.0f, 0.0f, 1.0f, 0.7f, 1.0f, 0.4f, 3.0f, -0.05f } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "cutoff " << c.cutoff << " resonance " << c.resonance << " sweep " << c.sweep
                                         << " scale " << c.scale);
        auto direct = makeFilter (FilterStage::phase, c.cutoff, c.resonance, c.mix, c.notch);
        direct.setPhaseOffset (c.offset);
        auto plain = direct;
        double error = 0.0, signal = 0.0;

        for (int n = 0; n < 20000; ++n)
        {
            if (c.sweep != 0.0f)
            {
                // Octaves up and down around the cutoff, a new value on every sample.
                const auto hz = c.cutoff * std::exp2 (c.sweep * (float) std::sin (0.0007 * n));
                direct.setCutoff (hz);
                plain.setCutoff (hz);
            }

            const auto blend = c.blend * (n < 15000 ? 1.0f : 0.5f);
            auto x = (n < 10000 ? 0.6f : 0.05f) * (float) (std::sin (0.011 * n) + 0.4 * std::sin (0.173 * n));
            float y;

            if (c.scale == 0.0f)
            {
                y = direct.processBlended (x, blend);
            }
            else
            {
                const auto scale = c.scale * (1.0f + 0.5f * (float) std::sin (0.003 * n));
                const auto base = 0.2f * (float) std::sin (0.013 * n);
                const auto raw = 3.0f * (float) (std::sin (0.021 * n) + 0.3 * std::sin (0.31 * n));
                y = direct.processBlended (base, scale, raw, blend);
                x = base + scale * raw;
            }

            const auto reference = x + blend * (plain.process (x) - x);
            ASSERT_TRUE (std::isfinite (y));
            error += (double) (y - reference) * (y - reference);
            signal += (double) reference * reference;
        }

        EXPECT_LT (10.0 * std::log10 (error / signal), -100.0);
    }

    // Silence in is silence out, as from the plain chain.
    auto direct = makeFilter (FilterStage::phase, 500.0f, 0.8f);

    for (int n = 0; n < 100000; ++n)
    {
        const auto y = direct.processBlended (n == 0 ? 1.0f : 0.0f, 0.7f);
        ASSERT_FALSE (isSubnormal (y));

        if (n >= 99000)
        {
            ASSERT_EQ (y, 0.0f) << n;
        }
    }
}

// The cutoff's ratio to its knob follows 2^(semitones / 12) closely across the range that can
// move it, and holds at its limits beyond, also for a value that is not a number.
TEST (FilterModels, cutoffRatioFollowsTheSemitones)
{
    auto worst = 0.0;

    for (auto semitones = -132.0f; semitones <= 132.0f; semitones += 0.0137f)
    {
        const auto exact = std::exp2 ((double) semitones / 12.0);
        worst = std::max (worst, std::abs (dsp::cutoffRatio (semitones) - exact) / exact);
    }

    // Far out, the semitones scaled in float account for most of it.
    EXPECT_LT (worst, 7.0e-7);
    EXPECT_EQ (dsp::cutoffRatio (0.0f), 1.0f);
    EXPECT_EQ (dsp::cutoffRatio (12.0f), 2.0f);
    EXPECT_EQ (dsp::cutoffRatio (-24.0f), 0.25f);
    EXPECT_EQ (dsp::cutoffRatio (1.0e30f), 2048.0f);
    EXPECT_EQ (dsp::cutoffRatio (-1.0e30f), 1.0f / 2048.0f);
    EXPECT_EQ (dsp::cutoffRatio (std::numeric_limits<float>::quiet_NaN()), 1.0f / 2048.0f);
}

// Four at once, as the voice works out a stretch's cutoffs, give each lane the scalar's bits,
// at the limits and for values that are not numbers too.
TEST (FilterModels, cutoffRatioInLanesGivesTheScalarBits)
{
    constexpr auto inf = std::numeric_limits<float>::infinity();
    const auto bits = [] (float x) { return test::bitsOf (x); };

    std::vector<float> inputs { 0.0f, -0.0f, 12.0f, -24.0f, 131.9f, -131.9f, 132.1f, 1.0e30f, -1.0e30f, inf, -inf,
                                std::numeric_limits<float>::quiet_NaN(), 0.1875f, -0.1875f, 0.5625f };

    for (auto semitones = -140.0f; semitones <= 140.0f; semitones += 0.0113f)
        inputs.push_back (semitones);

    while (inputs.size() % 4 != 0)
        inputs.push_back (1.0f);

    for (size_t i = 0; i < inputs.size(); i += 4)
    {
        float out[4];
        dsp::cutoffRatio (dsp::Float4::load (inputs.data() + i)).store (out);

        for (size_t lane = 0; lane < 4; ++lane)
            ASSERT_EQ (bits (out[lane]), bits (dsp::cutoffRatio (inputs[i + lane]))) << inputs[i + lane];
    }
}

// The phase stage's coefficients, expanded around the centre of the cutoff's cell, stay within
// float precision of the tangents they stand for, across the range and the stereo offset; they
// depend on the cutoff alone, however it got there, and a jump of the cutoff lands on the same
// values as a stage set there at once.
TEST (PhaseStage, coefficientsFollowTheTangentsAndTheCutoffAlone)
{
    for (const auto offset : { -1.0f, 0.0f, 0.37f, 1.0f })
    {
        auto swept = makeFilter (FilterStage::phase, 20.0f, 0.0f);
        swept.setPhaseOffset (offset);
        auto worst = 0.0;

        for (auto hz = 20.0f; hz < 21000.0f; hz *= 1.0007f)
        {
            swept.setCutoff (hz);
            const auto& stage = swept.getPhaseStage();
            const auto& c = stage.getCoefficients();
            const auto lowest = (double) hz * 0.5 * std::exp2 ((double) offset);
            const auto ratio = lowest >= 1.0 ? std::pow (4.0, 0.2) : std::pow (2.0 * hz * std::exp2 ((double) offset), 0.2);

            for (int i = 0; i < PhaseStage::numSections; ++i)
            {
                const auto f = std::clamp (lowest * std::pow (ratio, i), 20.0, 0.45 * rate);
                const auto exact = std::tan (0.25 * M_PI - M_PI * f / rate);
                worst = std::max (worst, std::abs (c[(size_t) i] - exact));
            }

            // Set at once from elsewhere: the same bits.
            auto direct = makeFilter (FilterStage::phase, hz > 1000.0f ? 50.0f : 15000.0f, 0.0f);
            direct.setPhaseOffset (offset);
            direct.setCutoff (hz);
            ASSERT_EQ (direct.getPhaseStage().getCoefficients(), c) << hz;
            ASSERT_EQ (direct.getPhaseStage().getSectionWeights(), stage.getSectionWeights()) << hz;
        }

        EXPECT_LT (worst, 1.0e-6) << "offset " << offset;
    }

    // A jump of the cutoff while the signal runs, with feedback: the output taken from the states
    // jumps no further than the plain section chain does.
    auto filter = makeFilter (FilterStage::phase, 300.0f, 0.5f, 0.7f);
    auto plain = filter;
    auto worstDifference = 0.0f;

    for (int n = 0; n < 8000; ++n)
    {
        if (n == 4000)
        {
            filter.setCutoff (5000.0f);
            plain.setCutoff (5000.0f);
        }

        const auto x = 0.5f * (float) std::sin (0.02 * n);
        worstDifference = std::max (worstDifference, std::abs (filter.processBlended (x, 1.0f) - plain.process (x)));
    }

    EXPECT_LT (worstDifference, 1.0e-5f);
}
