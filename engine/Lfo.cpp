#include "engine/Lfo.h"

#include <cmath>

namespace quillon
{

void Lfo::prepare (double newSampleRate) noexcept
{
    sampleRate = newSampleRate;
    inverseSampleRate = newSampleRate > 0.0 ? (float) (1.0 / newSampleRate) : 0.0f;
    phase = 0.0f;
    heldValue = 0.0f;
    random.setSeed (preparedSeed);
    updateIncrement();
}

void Lfo::setShape (int newShape) noexcept
{
    if (newShape == shape)
        return;

    shape = newShape;

    // Switching to sample-and-hold shows a new value at once rather than a stale one.
    if (shape == sampleAndHold)
        heldValue = drawHeldValue();
}

void Lfo::updateIncrement() noexcept
{
    const auto hz = synced ? (syncBeats > 0.0f ? tempo / 60.0f / syncBeats : 0.0f) : freeRate;
    increment = hz * inverseSampleRate;
}

void Lfo::restart() noexcept
{
    phase = 0.0f;
    heldValue = shape == sampleAndHold ? drawHeldValue() : 0.0f;
}

float Lfo::next() noexcept
{
    auto p = phase + phaseOffset;
    p -= std::floor (p);

    float value;

    switch (shape)
    {
        case sine:          value = std::sin (juce::MathConstants<float>::twoPi * p); break;
        case triangle:      value = p < 0.5f ? 4.0f * p - 1.0f : 3.0f - 4.0f * p; break;
        case square:        value = p < 0.5f ? 1.0f : -1.0f; break;
        default:            value = heldValue; break;
    }

    phase += increment;

    if (phase >= 1.0f)
    {
        phase -= std::floor (phase);

        if (shape == sampleAndHold)
            heldValue = drawHeldValue();
    }

    return value;
}

} // namespace quillon
