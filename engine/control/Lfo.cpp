#include "engine/control/Lfo.h"

#include <algorithm>
#include <cmath>

namespace quillon
{

void Lfo::prepare (double newSampleRate) noexcept
{
    sampleRate = newSampleRate;
    inverseSampleRate = newSampleRate > 0.0 ? (float) (1.0 / newSampleRate) : 0.0f;
    phase = 0.0f;
    heldValue = 0.0f;
    fadeLength = std::max (1, (int) std::floor (offsetFadeSeconds * newSampleRate));
    jumpPhaseOffset (wantedOffset);
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

void Lfo::restart() noexcept
{
    phase = 0.0f;
    heldValue = shape == sampleAndHold ? drawHeldValue() : 0.0f;
}

} // namespace quillon
