#pragma once

#include <juce_core/juce_core.h>

#include <algorithm>
#include <cmath>

namespace quillon
{

// A slowly wandering value in -1..1: a fresh random target every `holdSeconds`, approached
// through a one-pole with time constant `glideSeconds`. Seeded, so renders are reproducible.
class RandomWalk
{
public:
    RandomWalk (juce::int64 seedToUse, float holdSecondsToUse, float glideSecondsToUse) noexcept
        : seed (seedToUse), holdSeconds (holdSecondsToUse), glideSeconds (glideSecondsToUse), random (seedToUse) {}

    void prepare (double sampleRate) noexcept
    {
        random.setSeed (seed);
        value = target = 0.0f;
        counter = 0;
        holdLength = juce::jmax (1, (int) std::lround (holdSeconds * sampleRate));
        coefficient = (float) (1.0 - std::exp (-1.0 / (glideSeconds * sampleRate)));
    }

    float next() noexcept
    {
        if (counter < 1)
        {
            target = 2.0f * random.nextFloat() - 1.0f;
            counter = holdLength;
        }

        --counter;
        value += (target - value) * coefficient;
        return value;
    }

    // n values of next() at once, the same values and state.
    void render (float* out, int n) noexcept
    {
        auto v = value;

        for (int i = 0; i < n;)
        {
            if (counter < 1)
            {
                target = 2.0f * random.nextFloat() - 1.0f;
                counter = holdLength;
            }

            // Up to the next draw with the value in a register.
            const auto run = std::min (counter, n - i);
            const auto t = target, c = coefficient;

            for (int k = 0; k < run; ++k)
            {
                v += (t - v) * c;
                out[i + k] = v;
            }

            counter -= run;
            i += run;
        }

        value = v;
    }

    float getValue() const noexcept { return value; }

private:
    juce::int64 seed;
    float holdSeconds, glideSeconds;
    juce::Random random;
    float value = 0.0f, target = 0.0f;
    int counter = 0, holdLength = 1;
    float coefficient = 0.0f;
};

// One random value per note, -1..1.
class NoteRandom
{
public:
    static constexpr juce::int64 seed = 0x51A7E11;

    void prepare() noexcept        { random.setSeed (seed); value = 0.0f; }
    void draw() noexcept           { value = 2.0f * random.nextFloat() - 1.0f; }
    float getValue() const noexcept { return value; }

private:
    juce::Random random { seed };
    float value = 0.0f;
};

} // namespace quillon
