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

OutputStage::Frame OutputStage::process (float left, float right, float gain, float monoLowAmount, float monoLowHz) noexcept
{
    if (fadeCountdown > 0)
    {
        const auto x = 1.0f - (float) fadeCountdown / (float) fadeLength;
        gain *= x * x * (3.0f - 2.0f * x);
        --fadeCountdown;
    }

    left = dcBlockerLeft.process (left * gain);
    right = dcBlockerRight.process (right * gain);

    const auto mid = 0.5f * (left + right);
    auto side = 0.5f * (left - right);
    sideFilter.setFrequency (monoLowHz);
    side += monoLowAmount * (sideFilter.process (side) - side);

    return { mid + side, mid - side };
}

} // namespace quillon
