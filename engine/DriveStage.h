#pragma once

#include "engine/DspMath.h"
#include "engine/SwitchFade.h"

#include <algorithm>
#include <cmath>

namespace quillon
{

// One side's saturation: "soft", "diode" or "fold" at a linear pre-gain of at least 1, with an
// equal-gain fade when the curve changes while a note plays.
class DriveStage
{
public:
    enum Mode { soft, diode, fold, passThrough }; // any other mode passes the signal as it is

    void prepare (double oversampledRate) noexcept;
    void reset() noexcept { previousInput = 0.0f; }

    // With `fade`, the old curve fades out over 5 ms while the new one fades in; a curve still
    // fading when the next change comes fades on from where it was.
    void setMode (int newMode, bool fade) noexcept;
    int getMode() const noexcept { return curveFade.getTarget(); }

    // Just above 0 dB a curve at its own gain already bends a full-scale signal hard (tanh (x) is
    // 0.76 at 1): the curve is blended in over the first 6 dB, so the level leaves the straight
    // line continuously. From 6 dB up the curve acts whole.
    void setGain (float linearGain) noexcept
    {
        gain = linearGain > 1.0f ? linearGain : 1.0f;
        engagement = std::min (gain - 1.0f, 1.0f);
    }
    float getGain() const noexcept           { return gain; }

    // The curve alone at the current gain; the fold curve also reads the previous input.
    float shape (int curve, float x) const noexcept;
    float fullCurve (int curve, float x) const noexcept;

    float process (float x) noexcept;

    bool hasSameStateAs (const DriveStage& o) const noexcept
    {
        return curveFade == o.curveFade && gain == o.gain && engagement == o.engagement
            && previousInput == o.previousInput;
    }

private:
    SwitchFade<4> curveFade;
    float gain = 1.0f;
    float engagement = 0.0f; // share of the curve against the straight line, 0..1
    float previousInput = 0.0f;
};

// What the drive amount, its modulation and the make-up settings come to for one sample.
struct DriveGains
{
    float pre = 1.0f;  // the stages' pre-gain
    float post = 1.0f; // output gain after the curve, make-up included
};

// `driveDb` is the drive amount with velocity and modulation already added; the applied drive
// is limited to 0..24 dB, and so is the amount the automatic make-up compensates for.
inline DriveGains computeDriveGains (float driveDb, int mode, bool autoMakeup, float outputGain) noexcept;

//==============================================================================
inline float DriveStage::shape (int curve, float x) const noexcept
{
    if (gain <= 1.000001f)
        return x;

    const auto y = fullCurve (curve, x);
    return engagement >= 1.0f ? y : x + engagement * (y - x);
}

inline float DriveStage::fullCurve (int curve, float x) const noexcept
{
    const auto g = gain;

    switch (curve)
    {
        case soft:
            return dsp::tanhApprox (g * x) / g;

        case diode:
        {
            // Two Newton steps towards y + 0.1 (e^(y/Vt) - 0.7 e^(-y/Vt)) = u from y = u: an
            // asymmetric knee around zero on a near-linear body, which the 2 / g rescaling expects.
            constexpr float thermal = 0.026f;
            const auto u = 0.5f * g * x;
            auto y = u;

            for (int step = 0; step < 2; ++step)
            {
                const auto e = dsp::expFast (std::clamp (y / thermal, -30.0f, 30.0f));
                const auto d = 0.7f / e;
                y -= ((e - d) * 0.1f + (y - u)) / ((e + d) * (0.1f / thermal) + 1.0f);
            }

            return 2.0f / g * y * 0.9f;
        }

        case fold:
        {
            // First-order antiderivative of 0.7 sin(k x) between the previous and this input,
            // which keeps the folds from aliasing. cos b - cos a is taken as the product of two
            // sines, free of the cancellation the difference suffers when a and b are close.
            const auto k = 6.0f * (g - 1.0f) + 1.0f;
            const auto a = k * x;
            const auto b = k * previousInput;
            const auto width = a - b;

            if (std::abs (width) < 1.0e-4f)
                return 0.7f * dsp::sinApprox (a);

            const auto half = 0.5f * width;
            return 0.7f * dsp::sinApprox (0.5f * (a + b)) * dsp::sinApprox (half) / half;
        }

        default:
            return x;
    }
}

inline float DriveStage::process (float x) noexcept
{
    float y;

    if (! curveFade.isFading())
    {
        y = shape (curveFade.getTarget(), x);
    }
    else
    {
        y = 0.0f;

        for (int curve = 0; curve < 4; ++curve)
            if (const auto w = curveFade.weight (curve); w != 0.0f)
                y += w * shape (curve, x);

        curveFade.advance();
    }

    previousInput = x;
    return y;
}

inline DriveGains computeDriveGains (float driveDb, int mode, bool autoMakeup, float outputGain) noexcept
{
    constexpr float decibelToLog = 0.11512925f; // ln 10 / 20
    const auto applied = std::clamp (driveDb, 0.0f, 24.0f);
    DriveGains gains;
    gains.pre = std::exp (applied * decibelToLog);

    auto makeup = 1.0f;

    if (autoMakeup && driveDb > 0.01f)
    {
        const auto k = mode == DriveStage::diode ? 0.55f : (mode == DriveStage::fold ? 0.4f : 0.5f);
        makeup = std::exp (k * applied * decibelToLog);
    }

    gains.post = outputGain * makeup;
    return gains;
}

} // namespace quillon
