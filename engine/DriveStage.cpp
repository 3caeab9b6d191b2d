#include "engine/DriveStage.h"

#include "engine/DspMath.h"

#include <algorithm>
#include <cmath>

namespace quillon
{

void DriveStage::prepare (double oversampledRate) noexcept
{
    curveFade.setLength (std::max (1, (int) std::lround (0.005 * oversampledRate)));
    curveFade.jumpTo (curveFade.getTarget());
    reset();
}

void DriveStage::setMode (int newMode, bool fade) noexcept
{
    const auto curve = newMode >= soft && newMode <= fold ? newMode : passThrough;

    if (fade)
        curveFade.fadeTo (curve);
    else
        curveFade.jumpTo (curve);
}

} // namespace quillon
