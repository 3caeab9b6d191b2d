#include "DspTestTools.h"
#include "engine/core/FastMath.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

using namespace quillon;

// A held voice works out its frequencies four samples at a time; one rounding step away from
// the one by one exponential would pull the phases apart from the way the voice runs otherwise.
TEST (PitchLanes, fourExponentialsAreTheSingleOnesBitForBit)
{
    using quillon::test::bitsOf;

    std::mt19937 random (7);
    std::uniform_real_distribution<float> small (-0.0625f, 0.0625f), wide (-130.0f, 130.0f);
    const float edges[] = { 0.0f, -0.0f, 1.0e-30f, 0.0624999f, -0.0624999f, 0.0625f, -0.0625f, 0.5f };

    for (int round = 0; round < 4000; ++round)
    {
        float in[4], out[4];

        for (int i = 0; i < 4; ++i)
            in[i] = round < 2000 ? small (random) : (round % 3 == 0 ? wide (random) : edges[(round + i) % 8]);

        dsp::exp2Fast4 (in, out);

        for (int i = 0; i < 4; ++i)
            ASSERT_EQ (bitsOf (out[i]), bitsOf (dsp::exp2Fast (in[i]))) << in[i];
    }
}
