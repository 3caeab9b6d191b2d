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

} // namespace quillon
