#pragma once

#include "engine/core/DspMath.h"

namespace quillon
{

// First-order high-pass: the DC blockers after the oscillator mix and at the output, and the
// side-signal filter of the mono-low section.
class OnePoleHighPass
{
public:
    void prepare (double rate, float hz) noexcept
    {
        sampleRate = rate;
        frequency = -1.0f; // forces the coefficient to be computed
        setFrequency (hz);
        reset();
    }

    void reset() noexcept { previousInput = previousOutput = 0.0f; }

    // Cheap to call every sample: the coefficient is only recomputed when the frequency moves.
    void setFrequency (float hz) noexcept
    {
        const auto limit = sampleRate > 0.0 ? 0.45f * (float) sampleRate : 20000.0f;
        hz = hz < 0.0f ? 0.0f : (hz > limit ? limit : hz);

        if (hz == frequency)
            return;

        frequency = hz;
        coefficient = sampleRate > 0.0 ? (float) std::exp (-2.0 * 3.14159265358979323846 * hz / sampleRate) : 0.0f;
    }

    float process (float x) noexcept
    {
        const auto y = dsp::flushTiny ((x + previousOutput - previousInput) * coefficient);
        previousInput = x;
        previousOutput = y;
        return y;
    }

    // The same without the flush on the recursion, for a caller that calls flushStates() at least
    // every 40 / (1 - coefficient) samples (37000 2x samples at 15 Hz, so once a chunk): from 1e-20
    // a decay takes that long to reach the denormal range, and a value that is not finite lasts only
    // until the flush.
    float processUnflushed (float x) noexcept
    {
        if constexpr (dsp::exactReference)
            return process (x);

        return step (x, previousInput, previousOutput, coefficient);
    }

    // The recursion over any lane type, for a caller that holds the states itself.
    template <typename V>
    static V step (V x, V& input, V& output, V coefficient) noexcept
    {
        const auto y = (x + output - input) * coefficient;
        input = x;
        output = y;
        return y;
    }

    void flushStates() noexcept
    {
        previousInput = dsp::flushTiny (previousInput);
        previousOutput = dsp::flushTiny (previousOutput);
    }

    bool hasSameStateAs (const OnePoleHighPass& o) const noexcept
    {
        return sampleRate == o.sampleRate && frequency == o.frequency && coefficient == o.coefficient
            && previousInput == o.previousInput && previousOutput == o.previousOutput;
    }

    float getFrequency() const noexcept   { return frequency; }
    float getCoefficient() const noexcept { return coefficient; }

    // For a caller that runs several of these side by side in lanes.
    float getPreviousInput() const noexcept  { return previousInput; }
    float getPreviousOutput() const noexcept { return previousOutput; }
    void setStates (float input, float output) noexcept
    {
        previousInput = input;
        previousOutput = output;
    }

private:
    double sampleRate = 44100.0;
    float frequency = 10.0f;
    float coefficient = 0.995f;
    float previousInput = 0.0f;
    float previousOutput = 0.0f;
};

} // namespace quillon
