#include "engine/chain/DriveStage.h"

#include "engine/core/DspMath.h"

#include <algorithm>
#include <cmath>

namespace quillon
{

double DiodeKnee::newtonSteps (double v) noexcept
{
    constexpr double k = 0.1 / (double) thermal;
    auto w = v;

    for (int step = 0; step < 2; ++step)
    {
        const auto e = std::exp (std::clamp (w, -30.0, 30.0));
        const auto d = 0.7 / e;
        w -= ((e - d) * k + (w - v)) / ((e + d) * k + 1.0);
    }

    return w;
}

namespace
{
// Cubic Hermite pieces from the values and slopes at the ends of each interval.
DiodeKnee makeDiodeKnee() noexcept
{
    DiodeKnee knee {};
    constexpr double h = 1.0 / DiodeKnee::perUnit;
    constexpr double delta = 1.0e-5;
    const auto slope = [] (double v) { return (DiodeKnee::newtonSteps (v + delta) - DiodeKnee::newtonSteps (v - delta)) / (2.0 * delta); };

    for (int i = 0; i < DiodeKnee::pieces; ++i)
    {
        const auto a = -(double) DiodeKnee::range + i * h, b = a + h;
        const auto last = i == DiodeKnee::pieces - 1; // past the range: the straight line v - 2
        const auto ya = last ? a - 2.0 : DiodeKnee::newtonSteps (a);
        const auto yb = last ? b - 2.0 : DiodeKnee::newtonSteps (b);
        const auto da = last ? h : slope (a) * h;
        const auto db = last ? h : slope (b) * h;
        knee.pieces_[i] = { (float) ya, (float) da, (float) (3.0 * (yb - ya) - 2.0 * da - db),
                            (float) (2.0 * (ya - yb) + da + db) };
    }

    return knee;
}

SoftKnee makeSoftKnee() noexcept
{
    SoftKnee knee {};
    constexpr double h = 1.0 / SoftKnee::perUnit;

    for (int i = 0; i < SoftKnee::pieces; ++i)
    {
        const auto last = i == SoftKnee::pieces - 1;
        const auto ya = last ? 1.0 : std::tanh (i * h), yb = last ? 1.0 : std::tanh ((i + 1) * h);
        const auto da = (1.0 - ya * ya) * h, db = (1.0 - yb * yb) * h;
        knee.pieces_[i] = { (float) ya, (float) da, (float) (3.0 * (yb - ya) - 2.0 * da - db),
                            (float) (2.0 * (ya - yb) + da + db) };
    }

    return knee;
}
} // namespace

const DiodeKnee diodeKnee = makeDiodeKnee();
const SoftKnee softKnee = makeSoftKnee();

void DriveStage::prepare (double oversampledRate) noexcept
{
    curveFade.setLength (std::max (1, (int) std::lround (0.005 * oversampledRate)));
    curveFade.jumpTo (curveFade.getTarget());
    reset();
}

void DriveStage::setMode (int newMode, bool fade) noexcept
{
    const auto curve = newMode >= 0 && newMode < passThrough ? newMode : passThrough;

    if (fade)
        curveFade.fadeTo (curve);
    else
        curveFade.jumpTo (curve);
}

float DriveStage::transferCurve (int mode, float driveDb, float x) noexcept
{
    const auto curve = mode >= 0 && mode < passThrough ? mode : passThrough;
    const auto settings = GainSettings::of (computeDriveGains (driveDb, curve, false, 1.0f).pre);
    x = limitInput (x);

    if (settings.gain <= 1.000001f)
        return x;

    const auto y = referenceCurve (curve, settings.gain, x);
    return settings.engagement >= 1.0f ? y : x + settings.engagement * (y - x);
}

} // namespace quillon
