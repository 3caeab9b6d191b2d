#include "DspTestTools.h"
#include "engine/sources/NoiseSource.h"
#include "engine/chain/OnePoleHighPass.h"
#include "engine/OutputStage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

using namespace quillon;
using namespace quillon::test;

namespace
{
constexpr double rate = 48000.0;

// Slope in dB per octave between two octave-wide bands four octaves apart.
double slopePerOctave (int colour)
{
    NoiseSource noise;
    noise.prepare (rate, 0xA1B2C3D4u);
    noise.setColour (colour);
    const auto power = averagePowerSpectrum ([&noise] { return noise.next(); }, 128);
    return (bandPowerDb (power, rate, 3200.0, 6400.0) - bandPowerDb (power, rate, 200.0, 400.0)) / 4.0;
}
} // namespace

TEST (NoiseSource, coloursHaveTheirSlopes)
{
    EXPECT_NEAR (slopePerOctave (NoiseSource::white), 0.0, 0.5);
    EXPECT_NEAR (slopePerOctave (NoiseSource::pink), -3.0, 0.5);
    EXPECT_NEAR (slopePerOctave (NoiseSource::brown), -6.0, 0.6);
}

TEST (NoiseSource, isSeededBoundedAndSilentForAnUnknownColour)
{
    NoiseSource a, b, other;
    a.prepare (rate, 0xA1B2C3D4u);
    b.prepare (rate, 0xA1B2C3D4u);
    other.prepare (rate, 0xD4C3B2A1u);
    bool differs = false;
    double sum = 0.0, squares = 0.0;

    for (int n = 0; n < 100000; ++n)
    {
        const auto x = a.next();
        ASSERT_EQ (x, b.next());
        differs |= x != other.next();
        ASSERT_LE (std::abs (x), 1.0f);
        sum += x;
        squares += (double) x * x;
    }

    EXPECT_TRUE (differs);
    EXPECT_NEAR (sum / 100000.0, 0.0, 0.01);
    EXPECT_NEAR (std::sqrt (squares / 100000.0), 1.0 / std::sqrt (3.0), 0.01); // uniform in -1..1

    // Brown noise is a random walk held inside -1..1, even from a full-scale start.
    NoiseSource brown;
    brown.prepare (rate, 1u);
    brown.setColour (NoiseSource::brown);
    for (int n = 0; n < 1000000; ++n)
        ASSERT_LE (std::abs (brown.next()), 1.0f);

    NoiseSource silent;
    silent.prepare (rate, 1u);
    silent.setColour (7);
    EXPECT_EQ (silent.next(), 0.0f);
}

// Drawn in pairs side by side, each generator gives the bits its own next() gives one by one and
// ends where next() leaves it: every colour, through colour changes, runs of any length, brown
// noise held at full scale (where the low rate opens it wide) and an unknown colour.
TEST (NoiseSource, pairsGiveEachGeneratorsOwnValues)
{
    for (const auto baseRate : { rate, 100.0 })
    {
        NoiseSource left, right, soloLeft, soloRight;
        left.prepare (baseRate, 0xA1B2C3D4u);
        soloLeft.prepare (baseRate, 0xA1B2C3D4u);
        right.prepare (baseRate, 0xD4C3B2A1u);
        soloRight.prepare (baseRate, 0xD4C3B2A1u);
        const std::pair<int, int> runs[] = { { NoiseSource::pink, 1 }, { NoiseSource::pink, 37 }, { NoiseSource::white, 5 },
                                             { NoiseSource::brown, 96 }, { NoiseSource::pink, 0 }, { 7, 3 },
                                             { NoiseSource::brown, 500 }, { NoiseSource::pink, 96 }, { NoiseSource::white, 2 } };
        float pairs[2 * 500];

        for (const auto& [colour, length] : runs)
        {
            for (auto* noise : { &left, &right, &soloLeft, &soloRight })
                noise->setColour (colour);

            NoiseSource::drawPairs (left, right, pairs, length);

            for (int k = 0; k < length; ++k)
            {
                ASSERT_EQ (pairs[2 * k], soloLeft.next()) << "colour " << colour << " value " << k;
                ASSERT_EQ (pairs[2 * k + 1], soloRight.next()) << "colour " << colour << " value " << k;
            }
        }

        for (const auto colour : { NoiseSource::pink, NoiseSource::brown })
        {
            for (auto* noise : { &left, &right, &soloLeft, &soloRight })
                noise->setColour (colour);

            for (int k = 0; k < 100; ++k)
            {
                ASSERT_EQ (left.next(), soloLeft.next()) << "after the pairs, colour " << colour;
                ASSERT_EQ (right.next(), soloRight.next()) << "after the pairs, colour " << colour;
            }
        }
    }
}

TEST (OnePoleHighPass, blocksDcAndPassesTheAudioBand)
{
    OnePoleHighPass blocker;
    blocker.prepare (rate, 10.0f);
    float y = 0.0f;
    for (int n = 0; n < (int) rate; ++n)
        y = blocker.process (0.5f);
    EXPECT_LT (std::abs (y), 1.0e-4f);

    const auto gain = [] (float cutoff, double f)
    {
        OnePoleHighPass hp;
        hp.prepare (rate, cutoff);
        return gainAtDb ([&hp] (float x) { return hp.process (x); }, f, rate);
    };

    EXPECT_NEAR (gain (10.0f, 10.0), -3.0, 0.3);
    EXPECT_GT (gain (10.0f, 100.0), -0.1);
    EXPECT_GT (gain (15.0f, 1000.0), -0.01);
    EXPECT_LT (gain (120.0f, 12.0), -19.0); // a decade below: 20 dB down

    // A silent input after a loud one decays to exactly zero instead of into denormals.
    for (int n = 0; n < 10 * (int) rate; ++n)
    {
        y = blocker.process (n < 100 ? 1.0f : 0.0f);
        ASSERT_FALSE (isSubnormal (y));
    }
    EXPECT_EQ (y, 0.0f);

    // Frequencies above 0.45 x the rate are held there.
    blocker.setFrequency (1.0e6f);
    EXPECT_FLOAT_EQ (blocker.getFrequency(), 0.45f * (float) rate);
}

TEST (OutputStage, monoLowRemovesOnlyTheLowSide)
{
    // Left and right in opposite phase are all side: what survives is the side's high-pass.
    const auto sideGain = [] (double f, float amount)
    {
        OutputStage stage;
        stage.prepare (rate);
        return gainAtDb ([&] (float x) { return stage.process (x, -x, 1.0f, amount, 120.0f).left; }, f, rate);
    };

    EXPECT_LT (sideGain (30.0, 1.0f), -12.0);
    EXPECT_LT (sideGain (60.0, 1.0f), -6.5);
    EXPECT_GT (sideGain (2000.0, 1.0f), -0.15);
    EXPECT_GT (sideGain (30.0, 0.0f), -0.6); // off: the side passes (the 10 Hz DC blockers aside)

    // The mid signal is never touched by it.
    OutputStage stage;
    stage.prepare (rate);
    EXPECT_GT (gainAtDb ([&] (float x) { return stage.process (x, x, 1.0f, 1.0f, 300.0f).left; }, 40.0, rate), -0.35);
}

TEST (OutputStage, monoSumFadeInAndGain)
{
    OutputStage stage;
    stage.prepare (rate);
    const auto fadeLength = (int) std::lround (0.003 * rate);

    // Without a fade the frame is the input times the gain, DC blockers aside.
    const auto frame = stage.process (0.5f, 0.25f, 0.5f, 0.0f, 120.0f);
    EXPECT_NEAR (frame.left, 0.25f, 1.0e-3f);
    EXPECT_NEAR (frame.right, 0.125f, 1.0e-3f);
    EXPECT_FLOAT_EQ (frame.monoSum(), 0.7071068f * (frame.left + frame.right));

    // A note from silence rises along a smoothstep over 3 ms: the same as a stage without the
    // fade given the smoothstep as its gain.
    OutputStage fading, reference;
    fading.prepare (rate);
    reference.prepare (rate);
    fading.startFadeIn();

    for (int n = 0; n < fadeLength + 10; ++n)
    {
        const auto x = std::min (1.0f, (float) n / (float) fadeLength);
        const auto input = (float) std::sin (0.05 * n);
        const auto y = fading.process (input, 0.5f * input, 0.8f, 1.0f, 120.0f);
        const auto expected = reference.process (input, 0.5f * input, 0.8f * x * x * (3.0f - 2.0f * x), 1.0f, 120.0f);
        ASSERT_NEAR (y.left, expected.left, 1.0e-6f);
        ASSERT_NEAR (y.right, expected.right, 1.0e-6f);
    }

    EXPECT_FALSE (fading.isFadingIn());
}

TEST (OutputStage, blocksGiveTheSameBitsAsSamplesOneByOne)
{
    // The block path runs the same recursions as process(), past its fade-in and its flushes,
    // in stereo and as the mono sum, whatever the lengths of the blocks.
    constexpr int length = 3000;
    std::vector<float> left (length), right (length), addLeft (length), addRight (length), gains (length);

    for (int n = 0; n < length; ++n)
    {
        left[(size_t) n] = (float) std::sin (0.031 * n) + 0.2f;
        right[(size_t) n] = (float) std::sin (0.047 * n + 1.0) - 0.1f;
        addLeft[(size_t) n] = 0.01f * (float) std::sin (0.9 * n);
        addRight[(size_t) n] = 0.01f * (float) std::cos (0.7 * n);
        gains[(size_t) n] = 0.5f + 0.4f * (float) std::sin (0.002 * n);
    }

    for (const auto stereo : { true, false })
    {
        OutputStage single, blocks;
        single.prepare (rate);
        blocks.prepare (rate);
        single.startFadeIn();
        blocks.startFadeIn();
        std::vector<float> expectedLeft (length, 0.25f), expectedRight (length, -0.25f);
        auto gotLeft = expectedLeft, gotRight = expectedRight;

        for (int n = 0; n < length; ++n)
        {
            const auto i = (size_t) n;
            const auto frame = single.process (left[i] + addLeft[i], right[i] + addRight[i], gains[i], 0.7f, 150.0f);
            expectedLeft[i] += stereo ? frame.left : frame.monoSum();
            expectedRight[i] += stereo ? frame.right : 0.0f;
        }

        for (int from = 0, size = 1; from < length; from += size, size = size * 3 % 200 + 1)
        {
            const auto n = std::min (size, length - from);
            blocks.processBlock (left.data() + from, right.data() + from, addLeft.data() + from, addRight.data() + from,
                                 gains.data() + from, n, 0.7f, 150.0f, gotLeft.data() + from,
                                 stereo ? gotRight.data() + from : nullptr);
        }

        for (size_t i = 0; i < (size_t) length; ++i)
        {
            ASSERT_EQ (gotLeft[i], expectedLeft[i]) << "sample " << i << (stereo ? " stereo" : " mono");
            ASSERT_EQ (gotRight[i], expectedRight[i]) << "sample " << i << (stereo ? " stereo" : " mono");
        }
    }
}
