#include "engine/DriveStage.h"

#include "engine/DspMath.h"

#include <algorithm>
#include <cmath>

namespace quillon
{

void DriveStage::prepare (double oversampledRate) noexcept
{
    fadeLength = std::max (1, (int) std::lround (0.005 * oversampledRate));
    fadeCountdown = 0;
    previousMode = mode;
    reset();
}

void DriveStage::setMode (int newMode, bool fade) noexcept
{
    previousMode = fade ? mode : newMode;
    fadeCountdown = fade ? fadeLength : 0;
    mode = newMode;
}

} // namespace quillon
