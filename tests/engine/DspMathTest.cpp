#include "DspTestTools.h"
#include "engine/core/DspMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

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
