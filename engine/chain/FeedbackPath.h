#pragma once

#include "engine/core/DspMath.h"

#include <cmath>

namespace quillon
{

// One side's feedback: a low-passed copy of the chain output returned before the drive or after
// the filter on the next 2x sample. The low-pass memory is held within +-4 (+12 dBFS): with the
// drive curve passing at 0 dB into a +24 dB output gain, or a resonant ladder with its input
// boost, the loop gain exceeds 1 and would otherwise grow until it overflowed.
//
// Such a loop would also latch onto an offset, which nothing else in it blocks: the low-pass
// hears the output less the loop's own DC, a slow average of what the memory held, taken at each
// flush. The memory that comes back is then high-passed at dcCornerHz.
class FeedbackPath
{
public:
    static constexpr float memoryLimit = 4.0f;
    static constexpr double dcCornerHz = 7.0;

    // `flushInterval` is the number of 2x samples from one flushStates() to the next.
    void prepare (double oversampledRate, int flushInterval) noexcept
    {
        dcRate = oversampledRate > 0.0 ? (float) (1.0 - std::exp (-2.0 * 3.14159265358979323846 * dcCornerHz * flushInterval
                                                                   / oversampledRate))
                                       : 0.0f;
        reset();
    }

    void reset() noexcept { lowpass = memory = dc = 0.0f; }

    // The one-pole coefficient for a tone frequency at the 2x rate.
    static float coefficientFor (float toneHz, double oversampledRate) noexcept
    {
        return oversampledRate > 0.0 ? (float) (1.0 - std::exp (-2.0 * 3.14159265358979323846 * toneHz / oversampledRate))
                                     : 1.0f;
    }

    float getMemory() const noexcept { return memory; }
    // Between samples the low-pass and the memory it returns are the same value; a caller that
    // runs the capture itself (in lanes) hands it back here, with the DC it took the output less.
    void setMemory (float value, float offset) noexcept
    {
        lowpass = memory = value;
        dc = offset;
    }
    float getDc() const noexcept     { return dc; }
    float getDcRate() const noexcept { return dcRate; }
    bool hasSameStateAs (const FeedbackPath& o) const noexcept
    {
        return lowpass == o.lowpass && memory == o.memory && dc == o.dc;
    }

    // After the chain: the low-pass follows the output whether or not any of it is fed back.
    void capture (float output, float coefficient) noexcept
    {
        const auto next = step (output, coefficient);
        lowpass = dsp::flushTiny (next < -memoryLimit ? -memoryLimit : (next > memoryLimit ? memoryLimit : next));
        memory = lowpass;
    }

    // The same with only the limit on the loop's path, for a caller that calls flushStates() at
    // least every 32 2x samples: even at the fastest tone a memory takes longer than that to decay
    // from 1e-20 into the denormal range, and a value that is not a number lasts no longer than
    // until the flush.
    // The chain's sample does this in two steps: lowpassStep, then takeNext.
    void captureUnflushed (float output, float coefficient) noexcept { takeNext (step (output, coefficient)); }

    // For a caller that works out the low-pass's next value itself, (1 - coefficient) memory +
    // coefficient (output - getDc()) in whatever grouping suits it: only the limit comes here.
    void takeNext (float next) noexcept
    {
        lowpass = next < -memoryLimit ? -memoryLimit : (next > memoryLimit ? memoryLimit : next);

        if constexpr (dsp::exactReference)
            lowpass = dsp::flushTiny (lowpass);

        memory = lowpass;
    }

    // The low-pass's next value from `lowpass` for an output; `remaining` is 1 - coefficient.
    // The old value's share apart, so that the new one waits on the output through one
    // multiply-add.
    template <typename V>
    static V lowpassStep (V lowpass, V offset, V output, V coefficient, V remaining) noexcept
    {
        if constexpr (dsp::exactReference)
            return lowpass + ((output - offset) - lowpass) * coefficient;

        return remaining * lowpass + coefficient * (output - offset);
    }

    void flushStates() noexcept
    {
        flushLoop (lowpass, dc, dcRate);
        memory = lowpass;
    }

    // A flush for a caller that holds memory and DC itself: the memory hands what it holds at DC
    // on to the DC.
    template <typename V>
    static void flushLoop (V& memory, V& offset, V rate) noexcept
    {
        memory = dsp::flushTiny (memory);
        const auto moved = rate * memory;
        offset = offset + moved;
        memory = memory - moved;
        offset = dsp::flushTiny (offset);
    }

private:
    float step (float output, float coefficient) const noexcept
    {
        return lowpassStep (lowpass, dc, output, coefficient, 1.0f - coefficient);
    }

    float lowpass = 0.0f;
    float memory = 0.0f;
    float dc = 0.0f;     // the loop's DC, taken off the output before the low-pass
    float dcRate = 0.0f; // the DC's share of the memory taken at each flush
};

} // namespace quillon
