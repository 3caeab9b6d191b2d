#include "DspTestTools.h"
#include "engine/chain/DriveStage.h"
#include "engine/chain/FilterStageLanes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

// The stages' lanes forms against the stages themselves: a left and a right side fed different
// signals must each get, sample by sample, the bits its own stage gives, and the states the lanes
// hand back must carry on as the stage's own would have. The low-pass and the phase stage keep
// their states in another layout than the stage (two poles, or two sections, to a vector), where a
// lane mixed up with its neighbour would still sound plausible.
#if QUILLON_SIN_LANES
using namespace quillon;
using dsp::Float4;

namespace
{
constexpr double rate = 96000.0;

// Two different signals, loud enough to drive the curves and the resonance, with a burst past
// the drive's input limit and a not-a-number, and a stretch of silence for the output floor.
std::vector<float> sideSignal (int side, int n)
{
    std::vector<float> x ((size_t) n);
    auto noise = 12345u + 777u * (unsigned) side;

    for (int i = 0; i < n; ++i)
    {
        noise = noise * 1664525u + 1013904223u;
        const auto random = (float) (noise >> 8) / 16777216.0f - 0.5f;
        const auto tone = std::sin (0.013f * (float) (side + 1) * (float) i);
        x[(size_t) i] = i > n - 300 ? 0.0f : (float) (side + 1) * 0.8f * tone + 0.3f * random;
    }

    x[(size_t) n / 3] = 2.0e4f * (side == 0 ? 1.0f : -1.0f);

    if (side == 1)
        x[(size_t) n / 2] = std::numeric_limits<float>::quiet_NaN();

    return x;
}

FilterStage makeFilter (int model, float resonance, float offset)
{
    FilterStage filter;
    filter.prepare (rate);
    filter.setModel (model, false);
    filter.setCutoff (800.0f);
    filter.setResonance (resonance);
    filter.setPhaseMix (0.7f);
    filter.setPhaseNotch (0.9f);
    filter.setPhaseOffset (offset);
    return filter;
}

// A cutoff that sweeps up and down, and holds between.
float cutoffAt (int i) { return 300.0f * std::exp2 (4.0f * std::abs (std::sin (0.0021f * (float) (i / 3)))); }
} // namespace

TEST (StageLanes, driveGivesEachSideItsStageBits)
{
    for (const auto mode : { DriveStage::soft, DriveStage::diode, DriveStage::passThrough })
        for (const auto gain : { 1.0f, 1.1f, 2.0f, 15.8f })
        {
            const auto left = sideSignal (0, 2000), right = sideSignal (1, 2000);
            auto driveL = test::makeDrive (mode, gain), driveR = driveL;
            DriveStage::Lanes lanes;
            lanes.takeSettings (driveL);

            for (size_t i = 0; i < left.size(); ++i)
            {
                const auto y = lanes.process (dsp::pair (left[i], right[i]));
                ASSERT_EQ (test::bitsOf (dsp::leftOf (y)), test::bitsOf (driveL.process (left[i]))) << mode << " " << gain << " " << i;
                ASSERT_EQ (test::bitsOf (dsp::rightOf (y)), test::bitsOf (driveR.process (right[i]))) << mode << " " << gain << " " << i;
            }
        }
}

// The diode in its two parts, as the loop through the phase stage takes it.
TEST (StageLanes, diodePartsGiveEachSideItsStageBits)
{
    const auto left = sideSignal (0, 2000), right = sideSignal (1, 2000);
    auto driveL = test::makeDrive (DriveStage::diode, 6.0f), driveR = driveL;
    DriveStage::Lanes lanes;
    lanes.takeSettings (driveL);

    for (size_t i = 0; i < left.size(); ++i)
    {
        Float4 beyond;
        const auto x = dsp::pair (left[i], right[i]);
        const auto piece = i % 2 == 0 ? lanes.diodeRaw (x, beyond)
                                      : lanes.diodeRawAt (x, x * Float4 (driveL.getDiodeToTable()) + Float4 (DiodeKnee::centre), beyond);
        const auto partsL = i % 2 == 0 ? driveL.diodeRaw (left[i])
                                       : driveL.diodeRawAt (left[i], left[i] * driveL.getDiodeToTable() + DiodeKnee::centre);
        const auto partsR = i % 2 == 0 ? driveR.diodeRaw (right[i])
                                       : driveR.diodeRawAt (right[i], right[i] * driveR.getDiodeToTable() + DiodeKnee::centre);
        ASSERT_EQ (test::bitsOf (dsp::leftOf (piece)), test::bitsOf (partsL.piece)) << i;
        ASSERT_EQ (test::bitsOf (dsp::rightOf (piece)), test::bitsOf (partsR.piece)) << i;
        ASSERT_EQ (test::bitsOf (dsp::leftOf (beyond)), test::bitsOf (partsL.beyond)) << i;
        ASSERT_EQ (test::bitsOf (dsp::rightOf (beyond)), test::bitsOf (partsR.beyond)) << i;
    }
}

template <int model>
void checkLowpassLanes (float resonance)
{
    const auto left = sideSignal (0, 3000), right = sideSignal (1, 3000);
    auto filterL = makeFilter (model, resonance, 0.0f), filterR = filterL;
    auto lanesL = filterL, lanesR = filterR;
    FilterStage::LowpassLanes lanes;
    lanes.takeSettings (lanesL);
    lanes.takeStates (lanesL, lanesR);
    const auto silence = dsp::held (1.0e-15f);

    for (int i = 0; i < (int) left.size(); ++i)
    {
        // The lanes read the coefficients from the left stage, set as the sides' own are.
        const auto hz = cutoffAt (i);
        filterL.setCutoff (hz);
        filterR.setCutoff (hz);
        lanesL.setCutoff (hz);
        lanesR.setCutoff (hz);
        lanes.takeSettings (lanesL);

        // The runner keeps NaN out of the filter; here it only tests the drive.
        const auto l = std::isnan (left[(size_t) i]) ? 0.0f : left[(size_t) i];
        const auto r = std::isnan (right[(size_t) i]) ? 0.0f : right[(size_t) i];
        const auto y = lanes.template process<model> (dsp::pair (l, r), silence);
        ASSERT_EQ (test::bitsOf (dsp::leftOf (y)), test::bitsOf (filterL.process (l))) << model << " " << resonance << " " << i;
        ASSERT_EQ (test::bitsOf (dsp::rightOf (y)), test::bitsOf (filterR.process (r))) << model << " " << resonance << " " << i;
        lanesL.countSamplesOutsideGroups (1);
        lanesR.countSamplesOutsideGroups (1);

        if (i % 500 == 499)
        {
            lanes.flushStates();
            filterL.flushStates();
            filterR.flushStates();
        }
    }

    // Handed back, the states go on as the sides' own.
    lanes.giveStates (lanesL, lanesR);
    EXPECT_TRUE (lanesL.hasSameStateAs (filterL));
    EXPECT_TRUE (lanesR.hasSameStateAs (filterR));

    for (int i = 0; i < 200; ++i)
    {
        const auto x = 0.5f * std::sin (0.05f * (float) i);
        ASSERT_EQ (test::bitsOf (lanesL.process (x)), test::bitsOf (filterL.process (x))) << model << " " << i;
        ASSERT_EQ (test::bitsOf (lanesR.process (-x)), test::bitsOf (filterR.process (-x))) << model << " " << i;
    }
}

TEST (StageLanes, lowPassesGiveEachSideItsStageBits)
{
    // The lanes take a ladder or state model only while resonance keeps it non-linear.
    for (const auto resonance : { 0.2f, 0.97f })
    {
        checkLowpassLanes<FilterStage::ladder> (resonance);
        checkLowpassLanes<FilterStage::state> (resonance);
        checkLowpassLanes<FilterStage::diode> (resonance);
    }

    checkLowpassLanes<FilterStage::diode> (0.0f);
}

// Each side at its own offset, so with its own coefficients; the cutoff sweeps, and the lanes work
// out the coefficients from their expansions wherever the cutoff stays in its cell, as the runner
// has them.
TEST (StageLanes, phaseStageGivesEachSideItsStageBits)
{
    const auto left = sideSignal (0, 4000), right = sideSignal (1, 4000);

    for (const auto resonance : { 0.0f, 0.9f })
    {
        const auto blend = 0.8f;
        auto filterL = makeFilter (FilterStage::phase, resonance, -0.3f), filterR = makeFilter (FilterStage::phase, resonance, 0.3f);
        auto lanesL = filterL, lanesR = filterR;
        PhaseStage::Lanes lanes;
        lanes.takeSettings (lanesL.getPhaseStage(), lanesR.getPhaseStage(), blend);
        lanes.takeStates (lanesL.getPhaseStage(), lanesR.getPhaseStage());
        lanes.takeAnchors (lanesL.getPhaseStage(), lanesR.getPhaseStage());
        const auto silence = dsp::held (1.0e-15f);
        auto expansions = 0;

        for (int i = 0; i < (int) left.size(); ++i)
        {
            const auto hz = cutoffAt (i);
            filterL.setCutoff (hz);
            filterR.setCutoff (hz);

            if (lanes.expandsAt (hz))
            {
                lanes.takeExpandedSettings (hz, lanesL.getPhaseStage(), lanesR.getPhaseStage(), blend, false);
                ++expansions;
            }
            else
            {
                lanesL.setCutoff (hz);
                lanesR.setCutoff (hz);
                lanes.takeSettings (lanesL.getPhaseStage(), lanesR.getPhaseStage(), blend);
                lanes.takeAnchors (lanesL.getPhaseStage(), lanesR.getPhaseStage());
            }

            const auto l = std::isnan (left[(size_t) i]) ? 0.0f : left[(size_t) i];
            const auto r = std::isnan (right[(size_t) i]) ? 0.0f : right[(size_t) i];
            const auto y = lanes.process (dsp::pair (l, r), lanes.slopesAt (Float4 (1.0f)), silence);
            ASSERT_EQ (test::bitsOf (dsp::leftOf (y)), test::bitsOf (filterL.getPhaseStage().processBlended (l, blend))) << i;
            ASSERT_EQ (test::bitsOf (dsp::rightOf (y)), test::bitsOf (filterR.getPhaseStage().processBlended (r, blend))) << i;
        }

        // Most samples took the expansions.
        EXPECT_GT (expansions, (int) left.size() / 2);

        lanesL.setCutoff (cutoffAt ((int) left.size() - 1));
        lanesR.setCutoff (cutoffAt ((int) left.size() - 1));
        lanes.giveStates (lanesL.getPhaseStage(), lanesR.getPhaseStage());
        EXPECT_TRUE (lanesL.getPhaseStage().hasSameSignalStateAs (filterL.getPhaseStage()));
        EXPECT_TRUE (lanesR.getPhaseStage().hasSameSignalStateAs (filterR.getPhaseStage()));
        EXPECT_TRUE (lanesL.getPhaseStage().hasSameSettingsAs (filterL.getPhaseStage()));
    }
}
#endif
