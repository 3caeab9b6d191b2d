// The linear low-passes work out four samples at a time. The voice hands them samples one by one
// or in runs, cut wherever the host's blocks fall, so both ways must give the same bits; and the
// groups must sound as the poles run one sample at a time.
#include "engine/chain/FilterStage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace quillon;

namespace
{
constexpr double rate = 96000.0;

FilterStage makeFilter (int model, float cutoff)
{
    FilterStage filter;
    filter.prepare (rate);
    filter.setModel (model, false);
    filter.setCutoff (cutoff);
    filter.setResonance (0.0f);
    return filter;
}

std::vector<float> noise (int n, unsigned seed)
{
    std::mt19937 random (seed);
    std::uniform_real_distribution<float> unit (-0.7f, 0.7f);
    std::vector<float> x ((size_t) n);
    for (auto& v : x)
        v = unit (random);
    return x;
}

// What the voice does on each base-rate sample (two filter samples): settings first, then the two.
struct Change
{
    int at; // base-rate sample
    float cutoff, resonance;
    int model;
};
} // namespace

TEST (FilterGroups, runsOfAnyLengthGiveTheBitsOfOneByOne)
{
    constexpr int baseSamples = 6000;
    const auto input = noise (2 * baseSamples, 7);
    // Held cutoffs, one moving for a while on every sample, resonance coming and going, a model
    // change with a fade and one without.
    std::vector<Change> changes { { 0, 900.0f, 0.0f, FilterStage::ladder }, { 301, 4000.0f, 0.0f, FilterStage::ladder },
                                  { 1203, 4000.0f, 0.4f, FilterStage::ladder }, { 1500, 4000.0f, 0.0f, FilterStage::ladder },
                                  { 2222, 120.0f, 0.0f, FilterStage::state }, { 3001, 120.0f, 0.0f, FilterStage::ladder },
                                  { 4000, 19000.0f, 0.0f, FilterStage::ladder } };

    for (int moving = 0; moving < 200; ++moving)
        changes.push_back ({ 4500 + moving, 300.0f + 20.0f * (float) moving, 0.0f, FilterStage::ladder });

    const auto settingsAt = [&changes] (FilterStage& filter, int base, bool& linear)
    {
        for (const auto& c : changes)
            if (c.at == base)
            {
                filter.setModel (c.model, base == 2222);
                filter.setCutoff (c.cutoff);
                filter.setResonance (c.resonance);
            }

        linear = filter.isLinear();
    };

    for (unsigned seed : { 1u, 2u, 3u })
    {
        SCOPED_TRACE (seed);
        auto single = makeFilter (FilterStage::ladder, 900.0f), runs = single;
        std::vector<float> one (input.size()), many (input.size());
        bool linear = false;

        for (int base = 0; base < baseSamples; ++base)
        {
            settingsAt (single, base, linear);
            for (int i = 2 * base; i < 2 * base + 2; ++i)
                one[(size_t) i] = single.process (input[(size_t) i]);
        }

        // The same, in runs of random lengths while the settings hold, as the voice's stretches.
        std::mt19937 random (seed);
        std::uniform_int_distribution<int> lengths (1, 37);
        int base = 0;

        while (base < baseSamples)
        {
            settingsAt (runs, base, linear);
            auto length = 1;

            if (linear)
            {
                length = std::min (lengths (random), baseSamples - base);
                for (const auto& c : changes)
                    if (c.at > base && c.at < base + length)
                        length = c.at - base;
            }

            if (linear)
            {
                ASSERT_TRUE (runs.processLinear (input.data() + 2 * base, many.data() + 2 * base, 2 * length));
            }
            else
                for (int i = 2 * base; i < 2 * base + 2; ++i)
                    many[(size_t) i] = runs.process (input[(size_t) i]);

            base += length;
        }

        for (size_t i = 0; i < one.size(); ++i)
            ASSERT_EQ (one[i], many[i]) << "sample " << i;
    }
}

TEST (FilterGroups, soundAsThePolesOneSampleAtATime)
{
    // Four trapezoidal one-poles in double, sample by sample, at the stage's own pole gain.
    for (auto [model, scale] : { std::pair { (int) FilterStage::ladder, 1.0 }, std::pair { (int) FilterStage::state, 0.85 } })
    {
        for (float cutoff : { 30.0f, 700.0f, 9000.0f, 20000.0f, 43000.0f })
        {
            auto filter = makeFilter (model, cutoff);
            const double G = filter.getPoleGain();
            double s[4] = {};
            const auto input = noise (48000, 11);
            double error = 0.0, signal = 0.0;

            for (auto x : input)
            {
                double u = x;
                for (auto& state : s)
                {
                    const auto y = G * u + (1.0 - G) * state;
                    state = 2.0 * y - state;
                    u = y;
                }

                const auto expected = scale * u;
                const auto got = (double) filter.process (x);
                ASSERT_TRUE (std::isfinite (got));
                error += (got - expected) * (got - expected);
                signal += expected * expected;
            }

            // Far down, a four-pole in float is as exact as its states' last bits near DC allow.
            EXPECT_LT (10.0 * std::log10 (error / signal), cutoff < 100.0f ? -70.0 : -100.0)
                << "model " << model << " at " << cutoff << " Hz";
        }
    }
}

TEST (FilterGroups, silenceAfterSoundComesOutAsExactZeros)
{
    for (float cutoff : { 25.0f, 20000.0f })
    {
        auto filter = makeFilter (FilterStage::ladder, cutoff);
        const auto input = noise (4000, 5);
        std::vector<float> out (4000);
        filter.processLinear (input.data(), out.data(), 4000);

        const std::vector<float> silence (96000, 0.0f);
        std::vector<float> tail (silence.size());

        for (int i = 0; i < 96000; i += 64)
        {
            filter.processLinear (silence.data() + i, tail.data() + i, 64);
            if (i % 1024 == 0)
                filter.flushStates(); // as the voice flushes its chain
        }

        for (int i = 86000; i < 96000; ++i)
            ASSERT_EQ (tail[(size_t) i], 0.0f) << cutoff << " Hz, sample " << i;
    }
}
