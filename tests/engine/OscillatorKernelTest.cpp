#include "engine/sources/PdOscillator.h"
#include "engine/sources/PhaseDistortion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

using namespace quillon;

namespace
{
// 2e-5 is about -94 dB of full scale: a phase a rounding step off on the steepest bend.
constexpr float shapeTolerance = 2.0e-5f;

template <int Shape>
float worstShapeError (float dcw)
{
    const auto constants = pd_kernel::shapeConstants (Shape, dcw);
    auto worst = 0.0f;

    for (int i = 0; i <= 20000; ++i)
    {
        const auto p = std::min ((float) i / 20000.0f, 0.99999994f);
        const auto expected = phaseDistortionShape (Shape, p, dcw, 16.0f);
        worst = std::max (worst, std::abs (pd_kernel::shapeAt<Shape> (p, constants) - expected));
        worst = std::max (worst, std::abs (pd_kernel::shapeFunction (Shape) (p, constants) - expected));
    }

    return worst;
}

template <int... Shapes>
void expectKernelsMatch (std::integer_sequence<int, Shapes...>)
{
    for (auto dcw : { 0.0f, 1.0e-4f, 0.01f, 0.13f, 0.5f, 0.61f, 0.87f, 0.999f, 1.0f, -0.5f, 1.5f })
    {
        const float errors[] = { worstShapeError<Shapes> (dcw)... };

        for (int shape = 0; shape < (int) sizeof... (Shapes); ++shape)
            EXPECT_LT (errors[shape], shapeTolerance) << "shape " << shape << " at depth " << dcw;
    }
}

// The value a unit must put out with sync and reset fade off: the shape at the phase the tick
// started from and the depth it used (the resonant shapes with their band-limiting residuals), morphed
// towards the next shape.
float expectedUnitValue (int shape, float phase, float dcw, float morph, float width, float increment)
{
    const auto raw = [width] (int s, float p, float d)
    {
        return s == 8 ? (p < width ? 1.0f : -1.0f) + (1.0f - 2.0f * width) : phaseDistortionShape (s, p, d, 16.0f);
    };

    const auto next = (shape + 1) % numWaveShapes;
    const auto own = raw (shape, phase, dcw) + pd_kernel::edgeResidual (shape, phase, increment, pd_kernel::shapeConstants (shape, dcw).a);
    const auto v = own * waveGainTable()[shape];
    return v + (raw (next, phase, dcw) * waveGainTable()[next] - v) * morph;
}
} // namespace

TEST (OscillatorKernel, everyShapeAtEveryDepthMatchesTheShapeFormula)
{
    expectKernelsMatch (std::make_integer_sequence<int, numWaveShapes>());

    // Unknown shapes stay silent on the run-time path as well.
    const auto constants = pd_kernel::shapeConstants (12, 0.5f);
    EXPECT_EQ (pd_kernel::shapeFunction (12) (0.3f, constants), 0.0f);
    EXPECT_EQ (pd_kernel::shapeFunction (-1) (0.3f, constants), 0.0f);
}

TEST (OscillatorKernel, unitFollowsShapeDepthAndMorphChangesAtOnce)
{
    // The depth rises through a 20 ms attack while shape, morph and depth change under it: any
    // constants kept from before a change would show as a wrong sample right after it.
    const double rate = 96000.0;
    PdOscillator unit;
    unit.prepare (rate);
    unit.dcwEnvelope.setParameters (0.02f, 0.05f, 0.4f, 0.1f);
    unit.dcwEnvelope.updateRates();
    unit.dcwEnvelope.trigger();
    unit.setFrequency (173.0f);
    unit.setPulseWidth (0.3f);

    const int shapes[] = { 0, 1, 2, 3, 4, 5, 6, 7, 9, 3, 0 };
    auto worst = 0.0f;
    auto morph = 0.0f, depth = 1.0f;

    for (int i = 0; i < 11 * 600; ++i)
    {
        if (i % 600 == 0)
        {
            const auto shape = shapes[i / 600];
            unit.setWaveShape (shape);
            morph = (i / 600) % 3 == 1 ? 0.35f : 0.0f;
            unit.setMorphAmount (morph);
        }

        if (i % 600 == 300)
        {
            depth = depth > 0.5f ? 0.45f : 0.9f;
            unit.setDcwDepth (depth);
        }

        const auto phase = unit.getPhase();
        const auto v = unit.tick();
        ASSERT_TRUE (std::isfinite (v));
        const auto expected = expectedUnitValue (unit.getWaveShape(), phase, unit.getCurrentDcw(), morph, 0.3f,
                                                  173.0f * (float) (1.0 / rate));
        worst = std::max (worst, std::abs (v - expected));
        ASSERT_LT (std::abs (v - expected), 1.0e-4f) << "sample " << i << " shape " << unit.getWaveShape();
    }

    EXPECT_LT (worst, 1.0e-4f);
}

TEST (OscillatorKernel, subInShapeModeFollowsShapeAndDepthChanges)
{
    const double rate = 96000.0;
    const auto hz = 55.0f;
    SubOscillator sub;
    sub.prepare (rate);
    sub.setMode (SubOscillator::pdMode);
    sub.setFrequency (hz);
    const auto increment = hz * (float) (1.0 / rate);
    auto phase = 0.0f;

    for (int i = 0; i < 8000; ++i)
    {
        const auto shape = (i / 800) % numWaveShapes;
        const auto dcw = i % 800 < 400 ? 0.3f : 0.8f;

        if (i % 400 == 0)
        {
            // Depth before shape on every other change, so that either order is covered.
            if (i % 800 == 0)
                sub.setWaveShape (shape);

            sub.setDcw (dcw);
            sub.setWaveShape (shape);
        }

        const auto v = sub.tick();
        const auto expected = phaseDistortionShape (shape, phase, dcw, 16.0f) * waveGainTable()[shape];
        ASSERT_NEAR (v, expected, 1.0e-4f) << "sample " << i << " shape " << shape;
        phase = phase + increment;
        phase -= std::floor (phase);
    }
}

TEST (OscillatorKernel, frequencySetBeforePrepareStillSetsThePitch)
{
    // The increment follows the frequency and the rate whichever comes first.
    PdOscillator unit;
    unit.setFrequency (480.0f);
    unit.prepare (48000.0);
    unit.setWaveShape (0);

    for (int i = 0; i < 50; ++i)
        unit.tick();

    EXPECT_NEAR (unit.getPhase(), 0.5f, 1.0e-5f);
    EXPECT_NEAR (unit.getCurrentDcw(), 0.0f, 0.0f); // no envelope triggered
}

TEST (OscillatorKernel, fourSinesAtOnceAreTheSinesOneByOne)
{
    float in[4], out[4];

    for (int i = -4000; i < 4000; i += 4)
    {
        for (int lane = 0; lane < 4; ++lane)
            in[lane] = (float) (i + lane) * 0.000731f + (lane == 3 ? 1000.25f : 0.0f);

        dsp::sinTurns4 (in, out);

        for (int lane = 0; lane < 4; ++lane)
            ASSERT_EQ (out[lane], dsp::sinTurns (in[lane])) << in[lane];
    }
}

TEST (OscillatorKernel, unitsTickedTogetherMatchUnitsTickedInTurn)
{
    // Two groups of four units as the voice has them (osc 1 left/right, osc 2 left/right, osc 2
    // synced to osc 1), one ticked unit by unit and one through tickUnits, while shapes, morph,
    // audibility and phase resets change under them.
    const double rate = 96000.0;
    PdOscillator inTurn[4], together[4];
    const float hz[] = { 97.0f, 97.5f, 231.0f, 229.0f };

    for (auto* group : { inTurn, together })
    {
        for (int u = 0; u < 4; ++u)
        {
            auto& unit = group[u];
            unit.prepare (rate);
            unit.dcwEnvelope.setParameters (0.01f, 0.3f, 0.5f, 0.1f);
            unit.dcwEnvelope.updateRates();
            unit.dcwEnvelope.trigger();
            unit.setFrequency (hz[u]);
            unit.setDcwDepth (0.9f);
            unit.setPulseWidth (0.35f);
        }

        group[2].setSyncPartner (&group[0]);
        group[3].setSyncPartner (&group[1]);
        group[0].setSyncPartner (&group[2]);
        group[2].setSyncEnabled (true);
        group[3].setSyncEnabled (true);
    }

    PdOscillator* units[] = { &together[0], &together[1], &together[2], &together[3] };
    const int shapes[] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11 };

    for (int i = 0; i < 11 * 1500; ++i)
    {
        const auto step = i / 1500;
        bool audible[] = { true, true, i % 700 < 600, true };

        if (i % 1500 == 0 || i % 1500 == 750)
            for (auto* group : { inTurn, together })
            {
                group[0].setWaveShape (shapes[step]);
                group[1].setWaveShape (shapes[step]);
                group[2].setWaveShape (shapes[(step + 3) % 11]);
                group[3].setWaveShape (shapes[(step + 3) % 11]);

                for (int u = 0; u < 4; ++u)
                    group[u].setMorphAmount (i % 1500 == 0 ? 0.0f : 0.4f);

                group[0].setSyncEnabled (step % 2 == 1); // now and then the two sync each other
                group[1].resetPhase (0.1f);
                group[2].resetPhase (0.6f, step % 3 != 0);
            }

        float expected[4], outputs[4];

        for (int u = 0; u < 4; ++u)
            expected[u] = inTurn[u].tick (audible[u]);

        PdOscillator::tickUnits (units, audible, outputs, 4);

        for (int u = 0; u < 4; ++u)
        {
            ASSERT_NEAR (outputs[u], expected[u], 1.0e-6f) << "sample " << i << " unit " << u;
            ASSERT_TRUE (together[u].hasSameStateAs (inTurn[u])) << "sample " << i << " unit " << u;
        }
    }
}
