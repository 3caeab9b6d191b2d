#include "engine/OutputStage.h"

#include <algorithm>
#include <cmath>

namespace quillon
{

void OutputStage::prepare (double baseRate) noexcept
{
    sampleRate = baseRate;
    dcBlockerLeft.prepare (baseRate, 10.0f);
    dcBlockerRight.prepare (baseRate, 10.0f);
    sideFilter.prepare (baseRate, 120.0f);
    fadeLength = std::max (1, (int) std::lround (0.003 * baseRate));
    fadeCountdown = 0;
}

void OutputStage::processBlock (const float* left, const float* right, const float* addLeft, const float* addRight,
                                const float* gains, int numSamples, float monoLowAmount, float monoLowHz,
                                float* outLeft, float* outRight) noexcept
{
    sideFilter.setFrequency (monoLowHz);
    int i = 0;

    // The fade-in's samples one by one; the rest without the per-sample fade and frequency checks.
    for (; i < numSamples && fadeCountdown > 0; ++i)
    {
        const auto frame = process (left[i] + addLeft[i], right[i] + addRight[i], gains[i], monoLowAmount, monoLowHz);

        if (outRight != nullptr)
        {
            outLeft[i] += frame.left;
            outRight[i] += frame.right;
        }
        else
        {
            outLeft[i] += frame.monoSum();
        }
    }

    // The blockers flush their recursions every 1024 samples instead of every sample: far more
    // often than a decay could reach the denormals from 1e-20 at these frequencies. Counted
    // across calls, so that the host's block size never moves it.
    while (i < numSamples)
    {
        const auto end = std::min (numSamples, i + flushCountdown);
        flushCountdown -= end - i;

        for (; i < end; ++i)
        {
            const auto g = gains[i];
            const auto l = dcBlockerLeft.processUnflushed ((left[i] + addLeft[i]) * g);
            const auto r = dcBlockerRight.processUnflushed ((right[i] + addRight[i]) * g);
            const auto mid = 0.5f * (l + r);
            auto side = 0.5f * (l - r);
            side += monoLowAmount * (sideFilter.processUnflushed (side) - side);
            // What goes out is flushed on every sample, off the recursions' path.
            const Frame frame { dsp::flushTiny (mid + side), dsp::flushTiny (mid - side) };

            if (outRight != nullptr)
            {
                outLeft[i] += frame.left;
                outRight[i] += frame.right;
            }
            else
            {
                outLeft[i] += frame.monoSum();
            }
        }

        if (flushCountdown <= 0)
        {
            dcBlockerLeft.flushStates();
            dcBlockerRight.flushStates();
            sideFilter.flushStates();
            flushCountdown = flushInterval;
        }
    }
}

} // namespace quillon
