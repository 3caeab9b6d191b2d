#include "engine/HalfBandDecimator.h"

#include <juce_dsp/juce_dsp.h>
#include <gtest/gtest.h>

#include <random>

using namespace quillon;

// The voice's decimator stands in for JUCE's: the same samples bit for bit, whatever the block
// lengths, so that the filter, its latency and its alias rejection are JUCE's.
TEST (HalfBandDecimator, putsOutJuceOversamplersSamplesBitForBit)
{
    constexpr int maxBlock = 512, total = 20000;
    juce::dsp::Oversampling<float> juceStage { 2, 1, juce::dsp::Oversampling<float>::filterHalfBandPolyphaseIIR, true, false };
    juceStage.initProcessing (maxBlock);
    juce::AudioBuffer<float> base (2, maxBlock);
    base.clear();
    juce::dsp::AudioBlock<float> baseBlock (base);
    auto upBlock = juceStage.processSamplesUp (baseBlock); // hands out JUCE's 2x buffer
    juceStage.reset();

    HalfBandDecimator decimator;
    decimator.prepare();
    // The design the lanes are unrolled for; any other count would fall back to the plain loops.
    EXPECT_GE (decimator.getNumStages(), 4);
    EXPECT_LE (decimator.getNumStages(), 8);

    std::mt19937 random (7);
    std::uniform_real_distribution<float> sample (-1.0f, 1.0f);
    std::uniform_int_distribution<int> length (1, maxBlock);
    std::vector<float> upLeft (2 * maxBlock), upRight (2 * maxBlock), outLeft (maxBlock), outRight (maxBlock);

    for (int done = 0; done < total;)
    {
        const auto n = std::min (length (random), total - done);

        for (int i = 0; i < 2 * n; ++i)
        {
            // A loud tone near the top of the band, noise and a stretch of silence.
            const auto t = (float) (2 * done + i);
            const auto x = done > 12000 && done < 15000 ? 0.0f : 0.7f * std::sin (t * 2.9f) + 0.3f * sample (random);
            upLeft[(size_t) i] = x;
            upRight[(size_t) i] = done < 5000 ? x : -0.5f * x + 0.1f * sample (random);
            upBlock.setSample (0, i, upLeft[(size_t) i]);
            upBlock.setSample (1, i, upRight[(size_t) i]);
        }

        auto block = baseBlock.getSubBlock (0, (size_t) n);
        juceStage.processSamplesDown (block);
        decimator.process (upLeft.data(), upRight.data(), outLeft.data(), outRight.data(), n);

        for (int i = 0; i < n; ++i)
        {
            ASSERT_EQ (outLeft[(size_t) i], base.getSample (0, i)) << "left at " << done + i;
            ASSERT_EQ (outRight[(size_t) i], base.getSample (1, i)) << "right at " << done + i;
        }

        done += n;
    }

    // A reset starts it from silence as JUCE's reset does.
    decimator.reset();
    juceStage.reset();
    upLeft.assign (upLeft.size(), 0.25f);
    upRight.assign (upRight.size(), -0.25f);

    for (int i = 0; i < 64; ++i)
    {
        upBlock.setSample (0, i, 0.25f);
        upBlock.setSample (1, i, -0.25f);
    }

    auto block = baseBlock.getSubBlock (0, 32);
    juceStage.processSamplesDown (block);
    decimator.process (upLeft.data(), upRight.data(), outLeft.data(), outRight.data(), 32);

    for (int i = 0; i < 32; ++i)
        EXPECT_EQ (outRight[(size_t) i], base.getSample (1, i)) << i;
}
