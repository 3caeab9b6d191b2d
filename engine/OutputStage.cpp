#include "engine/OutputStage.h"

#include "engine/core/FastMath.h"

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
    limit.prepare (baseRate);
    fadeLength = std::max (1, (int) std::lround (0.003 * baseRate));
    fadeCountdown = 0;
    tailLength = std::max (1, (int) std::lround (tailSeconds * baseRate));
    tailCountdown = 0;
}

void OutputStage::beginTail (float monoLowAmount, float monoLowHz) noexcept
{
    const auto copy = [this] (OnePoleHighPass& tail, const OnePoleHighPass& from)
    {
        // A tail still fading carries on inside the new one at the level it has reached: the
        // filters are linear and their states add.
        const auto g = tailCountdown > 0 ? smoothStep ((float) tailCountdown / (float) tailLength) : 0.0f;
        const auto input = from.getPreviousInput() + g * tail.getPreviousInput();
        const auto output = from.getPreviousOutput() + g * tail.getPreviousOutput();
        tail = from;
        tail.setStates (input, output);
    };

    copy (tailLeft, dcBlockerLeft);
    copy (tailRight, dcBlockerRight);
    copy (tailSide, sideFilter);
    tailSide.setFrequency (monoLowHz);
    tailMonoLowAmount = monoLowAmount;

    // Below -120 dBFS there is nothing left to hear, and the voice ends in silence at once.
    const auto residue = std::max ({ std::abs (tailLeft.getPreviousOutput()), std::abs (tailRight.getPreviousOutput()),
                                     std::abs (tailSide.getPreviousOutput()) });
    tailCountdown = residue > silenceLevel ? tailLength : 0;
}

void OutputStage::addTail (float* outLeft, float* outRight, int numSamples) noexcept
{
    const auto n = std::min (numSamples, tailCountdown);

    for (int i = 0; i < n; ++i, --tailCountdown)
    {
        const auto fade = smoothStep ((float) tailCountdown / (float) tailLength);
        const auto frame = filter (tailLeft, tailRight, tailSide, 0.0f, 0.0f, tailMonoLowAmount);
        // Only bent: a voice that follows in these samples puts the sum through the limit.
        const Frame faded { dsp::flushTiny (fade * frame.left), dsp::flushTiny (fade * frame.right) };

        if (outRight != nullptr)
        {
            outLeft[i] = OutputLimit::bend (outLeft[i] + faded.left);
            outRight[i] = OutputLimit::bend (outRight[i] + faded.right);
        }
        else
        {
            outLeft[i] = OutputLimit::bend (outLeft[i] + faded.monoSum());
        }
    }
}

QUILLON_HOT_CLONES
void OutputStage::processBlock (const float* left, const float* right, const float* addLeft, const float* addRight,
                                const float* gains, int numSamples, float monoLowAmount, float monoLowHz,
                                float* outLeft, float* outRight) noexcept
{
    sideFilter.setFrequency (monoLowHz);
    int i = 0;

    // The fade-in's samples one by one; the rest without the per-sample fade and frequency checks.
    for (; i < numSamples && fadeCountdown > 0; ++i)
    {
        addLimited (process (left[i] + addLeft[i], right[i] + addRight[i], gains[i], monoLowAmount, monoLowHz),
                    outLeft, outRight, i);
    }

    // The blockers flush their recursions every 1024 samples instead of every sample: far more
    // often than a decay could reach the denormals from 1e-20 at these frequencies. Counted
    // across calls, so that the host's block size never moves it.
    while (i < numSamples)
    {
        const auto end = std::min (numSamples, i + flushCountdown);
        flushCountdown -= end - i;

        // The recursions first, into a short buffer; then what goes out is flushed and added
        // four samples at a time, off the recursions' path.
        for (auto run = i; run < end; run = i)
        {
            constexpr int bufferLength = 64;
            alignas (16) float frameLeft[bufferLength + 4], frameRight[bufferLength + 4];
            const auto n = std::min (bufferLength, end - run);

            for (int k = 0; k < n; ++k, ++i)
            {
                const auto g = gains[i];
                const auto l = dcBlockerLeft.processUnflushed ((left[i] + addLeft[i]) * g);
                const auto r = dcBlockerRight.processUnflushed ((right[i] + addRight[i]) * g);
                const auto mid = 0.5f * (l + r);
                auto side = 0.5f * (l - r);
                side += monoLowAmount * (sideFilter.processUnflushed (side) - side);
                frameLeft[k] = mid + side;
                frameRight[k] = mid - side;
            }

            using dsp::Float4;
            const auto flushed = [] (Float4 x)
            {
                const auto magnitude = dsp::abs (x);
                return dsp::select (magnitude >= Float4 (1.0e-20f), dsp::select (Float4 (3.0e38f) >= magnitude, x, 0.0f), 0.0f);
            };
            auto* toLeft = outLeft + run;
            auto* toRight = outRight != nullptr ? outRight + run : nullptr;
            int k = 0;

            // Four sums at a time pass as they are while the limit rests and none is beyond its
            // knee; otherwise they go through it one by one.
            for (; k + 4 <= n; k += 4)
            {
                const auto l = flushed (Float4::load (frameLeft + k)), r = flushed (Float4::load (frameRight + k));

                if (toRight != nullptr)
                {
                    const auto sumLeft = Float4::load (toLeft + k) + l, sumRight = Float4::load (toRight + k) + r;
                    sumLeft.store (toLeft + k);
                    sumRight.store (toRight + k);

                    if (! limit.passesAsTheyAre (dsp::max (dsp::abs (sumLeft), dsp::abs (sumRight))))
                        for (int j = k; j < k + 4; ++j)
                            limit.process (toLeft[j], toRight[j]);
                }
                else
                {
                    const auto sum = Float4::load (toLeft + k) + (l + r) * Float4 (monoSumGain);
                    sum.store (toLeft + k);

                    if (! limit.passesAsTheyAre (sum))
                        for (int j = k; j < k + 4; ++j)
                            toLeft[j] = limit.process (toLeft[j]);
                }
            }

            for (; k < n; ++k)
                addLimited ({ dsp::flushTiny (frameLeft[k]), dsp::flushTiny (frameRight[k]) }, toLeft, toRight, k);
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
