#include "engine/chain/DriveStage.h"
#include "engine/chain/FilterStage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace quillon;

// The editor draws the drive's curve and the filter's response from the stages' own functions:
// what it draws must be what the voice does.
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
                    EXPECT_EQ (y, -DriveStage::transferCurve (mode, driveDb, -x)) << mode << " " << driveDb << " " << x;

                // The fold at rest: the same input over every step it reads.
                for (int n = 0; n < 5; ++n)
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

TEST (StageCurves, filterResponseIsTheStagesLinearResponse)
{
    constexpr double rate = 96000.0;

    for (int model = FilterStage::ladder; model <= FilterStage::phase; ++model)
        for (const auto resonance : { 0.0f, 0.5f })
            for (const auto hz : { 110.0f, 700.0f, 2000.0f, 6000.0f })
            {
                const auto drawn = FilterStage::responseMagnitude (model, hz, 1500.0f, resonance, rate);
                const auto heard = measuredGain (model, hz, 1500.0f, resonance, rate);
                ASSERT_TRUE (std::isfinite (drawn));
                EXPECT_NEAR (20.0f * std::log10 (drawn), 20.0f * std::log10 (heard), 0.3f)
                    << model << " " << resonance << " " << hz;
            }

    // Well below the cutoff a plain ladder passes its input, and far above it cuts hard.
    EXPECT_NEAR (FilterStage::responseMagnitude (FilterStage::ladder, 50.0f, 5000.0f, 0.0f), 1.0f, 1.0e-3f);
    EXPECT_LT (FilterStage::responseMagnitude (FilterStage::ladder, 20000.0f, 500.0f, 0.0f), 1.0e-4f);

    for (int model = FilterStage::ladder; model <= FilterStage::numModels; ++model)
        for (const auto hz : { 0.0f, 20.0f, 48000.0f, 1.0e9f })
            EXPECT_TRUE (std::isfinite (FilterStage::responseMagnitude (model, hz, 20000.0f, 1.0f))) << model << " " << hz;
}
