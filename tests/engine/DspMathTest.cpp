#include "DspTestTools.h"
#include "engine/core/FastMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

using namespace quillon;

using quillon::test::bitsOf;

// Pitch and drift go through the paired exponential: a result one rounding step away from the
// single one would pull the oscillators' phases apart over a long note.
TEST (DspMath, pairedExponentialsAreTheSingleOnesBitForBit)
{
    const float inputs[] = { 0.0f, 1.0e-7f, -1.0e-7f, 0.05f, -0.05f, 1.0f / 12.0f, -0.5f, 0.5f, 0.4999999f,
                             2.0f, -2.0f, 7.3f, -9.99f, 119.0f, 150.0f, -150.0f };

    for (auto a : inputs)
        for (auto b : inputs)
        {
            float ra = 0.0f, rb = 0.0f;
            dsp::exp2Fast2 (a, b, ra, rb);
            EXPECT_EQ (bitsOf (ra), bitsOf (dsp::exp2Fast (a))) << a;
            EXPECT_EQ (bitsOf (rb), bitsOf (dsp::exp2Fast (b))) << b;
        }

    // A sweep through the range the voice asks for, against the library's exponential.
    for (int i = -48000; i <= 48000; i += 7)
    {
        const auto x = (float) i / 12000.0f;
        float r = 0.0f, q = 0.0f;
        dsp::exp2Fast2 (x, -x, r, q);
        const auto exact = std::exp2 ((double) x);
        EXPECT_NEAR (r, exact, exact * 1.2e-7) << x;
        EXPECT_NEAR (q, 1.0 / exact, 1.2e-7 / exact) << x;
    }
}

// Drift and vibrato take the short polynomial: it must round as the library's exponential does,
// or a bias of one rounding step would pull a held note's phase away over seconds.
TEST (DspMath, smallExponentsRoundAsTheLibrarysDo)
{
    int differing = 0, total = 0;

    for (int i = -40000; i <= 40000; ++i)
    {
        const auto x = (float) i * (0.0625f / 40000.0f) * 0.9999f;
        const auto correct = (float) std::exp2 ((double) x);
        const auto fast = dsp::exp2Fast (x);
        ++total;

        if (fast != correct)
        {
            ++differing;
            EXPECT_EQ (std::abs ((int) bitsOf (fast) - (int) bitsOf (correct)), 1) << x;
        }
    }

    EXPECT_LT (differing, total / 1000);
}

// Each approximation is written once over its lane type: every lane of the four-wide form has to
// give the scalar form's bits, or the lanes paths of the voice would drift from the sample by
// sample ones. Edge inputs included: signed zeros, denormals, huge values, infinities and NaN.
TEST (DspMath, fourLaneFormsGiveTheScalarBitsInEveryLane)
{
    const auto inf = std::numeric_limits<float>::infinity();
    const auto nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> inputs { 0.0f, -0.0f, 1.0e-40f, -1.0e-40f, 1.0e-20f, 9.9e-21f, 0.0199f, -0.02f, 0.25f, -0.5f,
                                0.75f, 1.0f, 7.9f, -7.91f, 12.0f, -100.0f, 939.0f, -941.0f, 1.0e6f, 3.0e38f, 3.1e38f,
                                inf, -inf, nan };

    for (int i = 0; i < 4000; ++i)
        inputs.push_back (std::sin ((float) i * 0.37f) * std::exp2 ((float) (i % 23) - 11.0f));

    const auto check = [&] (const char* name, auto scalar, auto lanes)
    {
        for (size_t i = 0; i + 4 <= inputs.size(); ++i)
        {
            float out[4];
            lanes (dsp::Float4::load (inputs.data() + i)).store (out);

            for (size_t lane = 0; lane < 4; ++lane)
                ASSERT_EQ (bitsOf (out[lane]), bitsOf (scalar (inputs[i + lane]))) << name << " of " << inputs[i + lane];
        }
    };

    check ("flushTiny", [] (float x) { return dsp::flushTiny (x); }, [] (dsp::Float4 x) { return dsp::flushTiny (x); });
    check ("sinTurns", [] (float x) { return dsp::sinTurns (x); }, [] (dsp::Float4 x) { return dsp::sinTurns (x); });
    check ("loopTanh", [] (float x) { return dsp::loopTanh (x); }, [] (dsp::Float4 x) { return dsp::loopTanh (x); });
    check ("cutoffRatio", [] (float x) { return dsp::cutoffRatio (x); }, [] (dsp::Float4 x) { return dsp::cutoffRatio (x); });
    check ("exp2Fast", [] (float x) { return dsp::exp2Fast (x * 1.0e-3f); },
           [] (dsp::Float4 x) { return dsp::exp2Fast (x * dsp::Float4 (1.0e-3f)); });

    // A state that is not a number, infinite or denormal goes to 0 and never stays in a filter.
    for (auto x : { nan, inf, -inf, 1.0e-40f, 3.1e38f })
        EXPECT_EQ (bitsOf (dsp::flushTiny (x)), 0u) << x;
}
