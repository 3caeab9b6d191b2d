#pragma once

#include <juce_core/juce_core.h>

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

    // The values of n calls of next(), written from out[0]. The value and the count stay in
    // registers: through the members they would go to memory and back on every sample.
    void render (float* out, int n) noexcept
    {
        auto v = value, t = target;
        auto c = counter;

        for (int i = 0; i < n; ++i)
        {
            if (c < 1)
            {
                t = 2.0f * random.nextFloat() - 1.0f;
                c = holdLength;
            }

            --c;
            v += (t - v) * coefficient;
            out[i] = v;
        }

        value = v;
        target = t;
        counter = c;
    }

    // Two walks at once, the same values as each one's render: their chains overlap.
    static void render (RandomWalk& a, float* outA, RandomWalk& b, float* outB, int n) noexcept
    {
        auto va = a.value, ta = a.target, vb = b.value, tb = b.target;
        auto ca = a.counter, cb = b.counter;

        for (int i = 0; i < n; ++i)
        {
            if (ca < 1)
            {
                ta = 2.0f * a.random.nextFloat() - 1.0f;
                ca = a.holdLength;
            }

            if (cb < 1)
            {
                tb = 2.0f * b.random.nextFloat() - 1.0f;
                cb = b.holdLength;
            }

            --ca;
            --cb;
            va += (ta - va) * a.coefficient;
            vb += (tb - vb) * b.coefficient;
            outA[i] = va;
            outB[i] = vb;
        }

        a.value = va;
        a.target = ta;
        a.counter = ca;
        b.value = vb;
        b.target = tb;
        b.counter = cb;
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
