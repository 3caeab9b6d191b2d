#include "engine/chain/DriveStage.h"
#include "engine/chain/FilterStage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>

using namespace quillon;

// The editor draws the drive's curve from the stage's own function: what it draws must be what
// the voice does. The filter's models must give the responses their linear forms promise.
TEST (StageCurves, driveTransferCurveIsTheStagesCurve)
{
    for (int mode = DriveStage::soft; mode <= DriveStage::fold; ++mode)
    {
        for (const auto driveDb : { 0.0f, 2.0f, 6.0f, 12.0f, 24.0f, 40.0f })
        {
            DriveStage stage;
            stage.prepare (96000.0);
            stage.setMode (mode, false);
            stage.setGain (computeDriveGains (driveDb, mode, false, 1.0f).pre);

            for (int i = -200; i <= 200; ++i)
            {
                const auto x = 0.01f * (float) i;
                const auto y = DriveStage::transferCurve (mode, driveDb, x);
                ASSERT_TRUE (std::isfinite (y)) << mode << " " << driveDb << " " << x;
                EXPECT_LE (std::abs (y), std::max (std::abs (x), 0.7f) + 0.01f) << mode << " " << driveDb << " " << x;

                if (mode != DriveStage::diode)
                {
                    EXPECT_EQ (y, -DriveStage::transferCurve (mode, driveDb, -x)) << mode << " " << driveDb << " " << x;
                }

                // The fold at rest: the same input over every step it reads, and through its low-pass.
                for (int n = 0; n < 100; ++n)
                    stage.process (x);
                EXPECT_NEAR (y, stage.process (x), 2.0e-4f) << mode << " " << driveDb << " " << x;
            }
        }
    }

    // Below 0 dB and for a mode that is none of the curves, the signal passes as it is.
    EXPECT_EQ (DriveStage::transferCurve (DriveStage::soft, -6.0f, 0.7f), 0.7f);
    EXPECT_EQ (DriveStage::transferCurve (17, 24.0f, 0.7f), 0.7f);
    EXPECT_TRUE (std::isfinite (DriveStage::transferCurve (DriveStage::fold, NAN, 0.5f)));
}

namespace
{
// The stage's gain at `hz` for a quiet sine, from its output's projection on the sine and cosine
// once it has settled.
float measuredGain (int model, float hz, float cutoff, float resonance, double rate)
{
    FilterStage stage;
    stage.prepare (rate);
    stage.setModel (model, false);
    stage.setCutoff (cutoff);
    stage.setResonance (resonance);
    constexpr float amplitude = 1.0e-3f;
    const auto settle = (int) rate, length = (int) rate / 2;
    double s = 0.0, c = 0.0;

    for (int n = 0; n < settle + length; ++n)
    {
        const auto phase = 2.0 * 3.14159265358979323846 * hz * n / rate;
        const auto y = stage.process (amplitude * (float) std::sin (phase));

        if (n >= settle)
        {
            s += y * std::sin (phase);
            c += y * std::cos (phase);
        }
    }

    return (float) (2.0 * std::hypot (s, c) / length / amplitude);
}
} // namespace

namespace
{
// The magnitude of a model's linear form (the resonance loop's tanh taken as its slope at rest)
// at the rate the stage runs at; the phase stage's mix and notch as given.
float linearResponse (int model, float frequencyHz, float cutoffHz, float resonance,
                      double oversampledRate = 96000.0, float phaseMix = 0.5f, float phaseNotch = 1.0f)
{
    using Complex = std::complex<double>;
    const auto rate = oversampledRate > 0.0 ? oversampledRate : 96000.0;
    const auto top = 0.45 * rate;
    const auto hz = std::clamp ((double) cutoffHz, 20.0, top);
    const auto r = std::clamp ((double) resonance, 0.0, 1.0);
    const auto f = std::clamp ((double) frequencyHz, 0.0, 0.499 * rate); // the state model's loop is 0/0 at Nyquist
    const auto zInverse = std::polar (1.0, -2.0 * 3.14159265358979323846 * f / rate); // z^-1 on the unit circle

    if (model == FilterStage::phase)
    {
        // Six allpass sections (z^-1 - c) / (1 - c z^-1) with the feedback around them a sample
        // late, mixed with the input.
        const auto lowest = 0.5 * hz;
        const auto ratio = lowest >= 1.0 ? std::pow (2.0, 0.4) : std::pow (2.0 * hz, 0.2); // the sections two fifths of an octave apart
        auto allpass = Complex (1.0);
        auto sectionHz = lowest;

        for (int i = 0; i < PhaseStage::numSections; ++i, sectionHz *= ratio)
        {
            const auto c = std::tan (0.25 * 3.14159265358979323846 - std::clamp (sectionHz, 20.0, top) * 3.14159265358979323846 / rate);
            allpass *= (zInverse - c) / (1.0 - c * zInverse);
        }

        const auto wet = allpass / (1.0 + 0.95 * r * zInverse * allpass);
        return (float) std::abs (1.0 + (double) phaseMix * (double) phaseNotch * (wet - 1.0));
    }

    if (model != FilterStage::ladder && model != FilterStage::diode && model != FilterStage::state)
        return 1.0f;

    // Four trapezoidal one-poles G (1 + z^-1) / (1 - (1 - 2G) z^-1); the resonance feeds back what
    // the poles put out from their states alone (all but G^4 of the input) or, for the state
    // model, the last pole's state.
    const auto g = std::tan (3.14159265358979323846 * hz / rate);
    const auto bigG = g / (1.0 + g);
    const auto pole = bigG * (1.0 + zInverse) / (1.0 - (1.0 - 2.0 * bigG) * zInverse);
    const auto poles = pole * pole * pole * pole;
    const auto fromStates = poles - bigG * bigG * bigG * bigG;

    switch (model)
    {
        case FilterStage::ladder:
        {
            const auto k = 3.95 * r;
            return (float) std::abs (poles * (1.0 + 0.5 * k) / (1.0 + k * fromStates));
        }

        case FilterStage::diode:
        {
            const auto k = 4.2 * r;
            const auto y = poles / (1.0 + k * fromStates);
            const auto c = std::clamp (2.0 * 3.14159265358979323846 * 30.0 / rate, 0.0, 1.0);
            const auto memory = c / (1.0 - (1.0 - c) * zInverse);
            return (float) std::abs (0.95 * y * (1.0 - 0.6 * memory));
        }

        default:
        {
            const auto k = 0.95 * r;
            const auto lastState = 2.0 * zInverse / (1.0 + zInverse);
            return (float) std::abs (0.85 * poles / (1.0 + k * lastState * poles));
        }
    }
}
} // namespace

TEST (StageCurves, filterResponseIsTheStagesLinearResponse)
{
    constexpr double rate = 96000.0;

    for (int model = FilterStage::ladder; model <= FilterStage::phase; ++model)
        for (const auto resonance : { 0.0f, 0.5f })
            for (const auto hz : { 110.0f, 700.0f, 2000.0f, 6000.0f })
            {
                const auto drawn = linearResponse (model, hz, 1500.0f, resonance, rate);
                const auto heard = measuredGain (model, hz, 1500.0f, resonance, rate);
                ASSERT_TRUE (std::isfinite (drawn));
                EXPECT_NEAR (20.0f * std::log10 (drawn), 20.0f * std::log10 (heard), 0.3f)
                    << model << " " << resonance << " " << hz;
            }

    // Well below the cutoff a plain ladder passes its input, and far above it cuts hard.
    EXPECT_NEAR (linearResponse (FilterStage::ladder, 50.0f, 5000.0f, 0.0f), 1.0f, 1.0e-3f);
    EXPECT_LT (linearResponse (FilterStage::ladder, 20000.0f, 500.0f, 0.0f), 1.0e-4f);

    for (int model = FilterStage::ladder; model <= FilterStage::numModels; ++model)
        for (const auto hz : { 0.0f, 20.0f, 48000.0f, 1.0e9f })
            EXPECT_TRUE (std::isfinite (linearResponse (model, hz, 20000.0f, 1.0f))) << model << " " << hz;
}
