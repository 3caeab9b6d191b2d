#include "DspTestTools.h"
#include "engine/chain/DriveStage.h"
#include "engine/chain/FeedbackPath.h"
#include "engine/chain/FilterStage.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;

namespace
{
// The curve's response to a constant input (the fold reads the inputs of several steps).
// The stage's output once a held input has settled through the fold's low-pass as well.
float steady (int mode, float gain, float x)
{
    auto drive = makeDrive (mode, gain);
    for (int n = 0; n < 200; ++n)
        drive.process (x);
    return drive.process (x);
}

float decibels (float db) { return std::pow (10.0f, db / 20.0f); }
} // namespace

TEST (DriveCurves, passUnchangedWithoutDrive)
{
    for (int mode : { DriveStage::soft, DriveStage::diode, DriveStage::fold })
        for (float x : { -1.5f, -0.3f, 0.0f, 0.01f, 0.7f, 2.0f })
            EXPECT_EQ (steady (mode, 1.0f, x), x);

    // A gain below 1 is not a drive: the stage never attenuates by itself.
    EXPECT_EQ (makeDrive (DriveStage::soft, 0.5f).getGain(), 1.0f);
}

TEST (DriveCurves, levelMovesContinuouslyWithTheGain)
{
    // A full-scale sine through each curve at gains from 0 dB up: its RMS never jumps between two
    // neighbouring gains, least of all where the curve starts to act just above 0 dB.
    const auto levelAt = [] (int mode, float gain)
    {
        auto drive = makeDrive (mode, gain);
        double sum = 0.0;
        for (int n = 0; n < 1920; ++n) // ten cycles of 1 kHz after ten that the fold's delay may take
        {
            const auto y = drive.process (std::sin (juce::MathConstants<float>::twoPi * (float) n / 96.0f));
            sum += n >= 960 ? (double) y * y : 0.0;
        }
        return std::sqrt (sum / 960.0);
    };

    for (int mode : { DriveStage::soft, DriveStage::diode, DriveStage::fold })
    {
        auto previous = levelAt (mode, 1.0f);
        EXPECT_NEAR (previous, std::sqrt (0.5), 1.0e-3);

        for (float db = 0.005f; db <= 6.0f; db += 0.005f)
        {
            const auto level = levelAt (mode, decibels (db));
            ASSERT_NEAR (level, previous, 0.01) << "mode " << mode << " at " << db << " dB";
            previous = level;
        }
    }
}

TEST (DriveCurves, haveTheirShapes)
{
    const auto g = decibels (18.0f);

    // Soft: odd, monotonic, linear for small inputs and limited to 1 / g.
    float previous = -1.0e9f;
    for (float x = -2.0f; x <= 2.0f; x += 0.01f)
    {
        const auto y = steady (DriveStage::soft, g, x);
        EXPECT_GE (y, previous - 1.0e-7f);
        EXPECT_LE (std::abs (y), 1.0f / g + 1.0e-6f);
        EXPECT_NEAR (y, -steady (DriveStage::soft, g, -x), 1.0e-6f);
        previous = y;
    }
    EXPECT_NEAR (steady (DriveStage::soft, g, 1.0e-4f), 1.0e-4f, 1.0e-7f);

    // Diode: a lopsided knee around zero (the exponential pair is unbalanced), then close to
    // linear with the knee's offset, since two Newton steps from the input only reach so far.
    const auto dPlus = steady (DriveStage::diode, g, 0.004f), dMinus = steady (DriveStage::diode, g, -0.004f);
    EXPECT_GT (std::abs (dPlus + dMinus), 0.1f * std::abs (dPlus - dMinus));
    EXPECT_GT (steady (DriveStage::diode, g, 0.5f), 0.0f);
    EXPECT_LT (steady (DriveStage::diode, g, -0.5f), 0.0f);
    EXPECT_NEAR (steady (DriveStage::diode, g, 1.0f) - steady (DriveStage::diode, g, 0.5f), 0.45f, 0.05f);

    // Fold: 0.7 sin (k x) with k = 6 (g - 1) + 1, so a rising input folds over.
    const auto k = 6.0f * (g - 1.0f) + 1.0f;
    for (float x : { 0.05f, 0.2f, 0.5f, -0.8f })
        EXPECT_NEAR (steady (DriveStage::fold, g, x), 0.7f * std::sin (k * x), 2.0e-5f);

    int turns = 0;
    float last = 0.0f, lastSlope = 0.0f;
    auto folding = makeDrive (DriveStage::fold, g);
    for (int n = 0; n <= 1000; ++n)
    {
        const auto y = folding.process ((float) n / 1000.0f);
        const auto slope = y - last;
        if (n > 1 && slope * lastSlope < 0.0f)
            ++turns;
        last = y, lastSlope = slope;
    }
    EXPECT_GE (turns, 10);
}

TEST (DriveCurves, foldAntiderivativeAveragesTheCurveBetweenSamples)
{
    // The output is the curve averaged under a window centred 6.875 steps back: on a ramp through
    // zero there the average of the odd curve is 0, where sampling it would give anything.
    // The fold before its output low-pass, which only smooths what this window gives; its input
    // low-pass passes a settled ramp on as the same ramp later by its delay at DC.
    double delay = 0.0;
    for (int i = 0; i < 2; ++i)
    {
        const auto* b = FoldInputLowPass::b[i];
        const auto* a = FoldInputLowPass::a[i];
        delay += (b[1] + 2.0 * b[2]) / (b[0] + b[1] + b[2]) - (a[0] + 2.0 * a[1]) / (1.0 + a[0] + a[1]);
    }

    constexpr int steps = 120;
    constexpr double slope = 0.05;
    const auto zeroAt = steps - 6.875 - delay;
    auto drive = makeDrive (DriveStage::fold, decibels (12.0f));
    for (int n = 0; n < steps; ++n)
        drive.process ((float) (slope * (n - zeroAt)));
    EXPECT_NEAR (drive.fullCurve (DriveStage::fold, (float) (slope * 6.875)), 0.0f, 1.0e-4f);
}

// Twins and copies stand on hasSameStateAs: a difference that only the fold still remembers (its
// input low-pass, its inputs and its eighths) keeps two stages apart, and a copy goes on with the
// same bits as the stage it came from.
TEST (DriveCurves, foldStateTravelsWithCopiesAndKeepsStagesApart)
{
    const auto input = [] (int n) { return 0.6f * std::sin (0.05f * (float) n); };
    auto drive = makeDrive (DriveStage::fold, decibels (24.0f));
    for (int n = 0; n < 100; ++n)
        drive.process (input (n));

    auto nudged = drive;
    auto copy = drive;
    nudged.process (input (100) + 1.0e-3f);
    drive.process (input (100));
    copy.process (input (100));

    for (int n = 101; n < 104; ++n)
    {
        nudged.process (input (n));
        EXPECT_EQ (drive.process (input (n)), copy.process (input (n)));
    }

    EXPECT_FALSE (nudged.hasSameStateAs (drive));
    EXPECT_TRUE (copy.hasSameStateAs (drive));
    nudged.reset();
    drive.reset();
    EXPECT_TRUE (nudged.hasSameStateAs (drive));
}

// A drive mix below 1 adds the dry signal to the fold's: the dry part must come as late as the
// fold's, or the two comb. At 3 dB a quiet signal folds on a nearly straight line; with its gain
// made up to the dry part's, half of each sums to within a few dB of unity up to 18 kHz at the 2x
// rate of a 48 kHz host (a dry part not held back notches the sum out near 8 kHz), and in phase
// at low frequencies.
TEST (DriveCurves, foldSumsWithItsDryPartWithoutCombing)
{
    const auto g = decibels (3.0f);
    const auto makeUp = 1.0f / (0.7f * (6.0f * (g - 1.0f) + 1.0f)); // 1 / the fold's slope at 0
    auto drive = makeDrive (DriveStage::fold, g);
    const auto halfAndHalf = [&] (float x)
    {
        const auto wet = drive.process (x) * makeUp;
        const auto dry = drive.dryOfLatest();
        return dry + 0.5f * (wet - dry);
    };

    EXPECT_GT (gainAtDb (halfAndHalf, 500.0, 96000.0, 0.01f, 0.1), -0.02);

    for (double hz = 1000.0; hz <= 18000.0; hz += 1000.0)
        EXPECT_GT (gainAtDb (halfAndHalf, hz, 96000.0, 0.01f, 0.1), -6.0) << hz << " Hz";
}

// Below and at the fold's gain of 0 dB its straight line is the dry part, as late as the fold: a
// drive moved across 0 dB does not shift the signal in time, and the mix sums it with itself.
// Other curves pass the input as it comes.
TEST (DriveCurves, foldStraightLineComesAsLateAsTheFold)
{
    auto fold = makeDrive (DriveStage::fold, 1.0f);
    auto soft = makeDrive (DriveStage::soft, 1.0f);
    std::vector<float> inputs;

    for (int n = 0; n < 40; ++n)
    {
        const auto x = 0.3f * std::sin (0.4f * (float) n) + 0.01f * (float) n;
        inputs.push_back (x);
        const auto late = n >= FoldDryDelay::length ? inputs[(size_t) (n - FoldDryDelay::length)] : 0.0f;
        EXPECT_EQ (fold.process (x), late) << n;
        EXPECT_EQ (fold.dryOfLatest(), late) << n;
        EXPECT_EQ (soft.process (x), x) << n;
        EXPECT_EQ (soft.dryOfLatest(), x) << n;
    }
}

TEST (DriveCurves, modeChangeFadesWithEqualGain)
{
    auto drive = makeDrive (DriveStage::soft, decibels (12.0f));
    const auto fadeLength = (int) std::lround (0.005 * 96000.0);
    drive.setMode (DriveStage::fold, true);
    const auto x = 0.4f;
    const auto softValue = steady (DriveStage::soft, decibels (12.0f), x);
    const auto foldValue = steady (DriveStage::fold, decibels (12.0f), x);
    // The fold's first steps still read the inputs before the change, and its low-pass settles.
    constexpr int settling = 100;
    for (int n = 0; n < settling; ++n)
        drive.process (x);

    for (int c = fadeLength - settling; c > 0; --c)
    {
        // The two curves carry nearly the same signal: their gains add up to 1.
        const auto share = 1.0f - (float) c / (float) fadeLength;
        ASSERT_NEAR (drive.process (x), (1.0f - share) * softValue + share * foldValue, 1.0e-5f);
    }

    EXPECT_NEAR (drive.process (x), foldValue, 1.0e-6f);
}

TEST (DriveGainStaging, makeUpFollowsTheAppliedDrive)
{
    // No drive: unity, make-up or not.
    EXPECT_EQ (computeDriveGains (0.0f, DriveStage::soft, true, 1.0f).pre, 1.0f);
    EXPECT_EQ (computeDriveGains (0.0f, DriveStage::soft, true, 1.0f).post, 1.0f);
    EXPECT_EQ (computeDriveGains (-30.0f, DriveStage::soft, true, 1.0f).post, 1.0f);

    // Make-up in dB is a share of the drive: a half for soft, 0.55 for diode, 0.4 for fold.
    const std::pair<int, float> shares[] = { { DriveStage::soft, 0.5f }, { DriveStage::diode, 0.55f }, { DriveStage::fold, 0.4f } };
    for (auto [mode, share] : shares)
    {
        const auto gains = computeDriveGains (12.0f, mode, true, decibels (-6.0f));
        EXPECT_NEAR (gains.pre, decibels (12.0f), 1.0e-4f);
        EXPECT_NEAR (gains.post, decibels (share * 12.0f - 6.0f), 1.0e-4f);
        EXPECT_NEAR (computeDriveGains (12.0f, mode, false, decibels (-6.0f)).post, decibels (-6.0f), 1.0e-6f);
    }

    // Four slots stacking 96 dB of drive on a full knob: the curve stops at 24 dB, and so does the
    // make-up, which would otherwise add 48 dB or more on top of an already saturated signal.
    const auto stacked = computeDriveGains (24.0f + 4.0f * 24.0f, DriveStage::diode, true, 1.0f);
    EXPECT_NEAR (stacked.pre, decibels (24.0f), 1.0e-3f);
    EXPECT_NEAR (stacked.post, decibels (0.55f * 24.0f), 1.0e-3f);
}

TEST (Feedback, lowPassFollowsTheOutputAndLoopsStaySettled)
{
    // The low-pass memory follows the chain output at the tone frequency.
    FeedbackPath path;
    const auto coefficient = FeedbackPath::coefficientFor (2500.0f, 96000.0);
    EXPECT_NEAR (coefficient, 1.0f - std::exp (-juce::MathConstants<float>::twoPi * 2500.0f / 96000.0f), 1.0e-6f);
    for (int n = 0; n < 2000; ++n)
        path.capture (0.5f, coefficient);
    EXPECT_NEAR (path.getMemory(), 0.5f, 1.0e-5f);

    const auto lowGain = gainAtDb ([&] (float x) { path.capture (x, coefficient); return path.getMemory(); }, 200.0, 96000.0);
    const auto highGain = gainAtDb ([&] (float x) { path.capture (x, coefficient); return path.getMemory(); }, 20000.0, 96000.0);
    EXPECT_GT (lowGain, -0.1);
    EXPECT_LT (highGain, -15.0);

    // A full feedback amount around a plain soft drive and an unresonant ladder settles: a step
    // into the loop comes to rest instead of ringing on or growing.
    auto drive = makeDrive (DriveStage::soft, decibels (6.0f));
    FilterStage filter;
    filter.prepare (96000.0);
    filter.setCutoff (2000.0f);
    filter.setResonance (0.0f);
    FeedbackPath loop;
    float y = 0.0f, previous = 0.0f;

    for (int n = 0; n < 48000; ++n)
    {
        previous = y;
        y = filter.process (drive.process (0.3f + 0.35f * loop.getMemory()));
        loop.capture (y, coefficient);
    }

    EXPECT_NEAR (y, previous, 1.0e-6f);
    EXPECT_LT (std::abs (y), 1.0f);
}

// The fold's audible partials are the curve's own: a 1 kHz sine folded at 24 dB against the
// series of 0.7 sin (k A sin wt), whose odd harmonics are 1.4 J_n (k A), within 1 dB to 13 kHz
// (the averaging that keeps the fold from aliasing takes 1 dB at 15 kHz, its low-pass nothing).
TEST (DriveCurves, foldKeepsItsPartialsBelowTheTopOctave)
{
    constexpr double rate = 96000.0, hz = 1000.0;
    constexpr int period = 96, periods = 64;
    const auto g = decibels (24.0f);
    const auto k = 6.0 * (g - 1.0) + 1.0;
    constexpr double amplitude = 0.25;
    auto drive = makeDrive (DriveStage::fold, g);

    std::vector<double> y;
    for (int n = 0; n < period * (periods + 8); ++n)
    {
        const auto out = drive.process ((float) (amplitude * std::sin (juce::MathConstants<double>::twoPi * hz * n / rate)));
        if (n >= period * 8)
            y.push_back (out);
    }

    const auto heard = [&] (int harmonic)
    {
        double re = 0.0, im = 0.0;
        for (size_t i = 0; i < y.size(); ++i)
        {
            const auto phase = juce::MathConstants<double>::twoPi * harmonic * (double) i / period;
            re += y[i] * std::cos (phase);
            im += y[i] * std::sin (phase);
        }
        return 2.0 * std::hypot (re, im) / (double) y.size();
    };

    double loudest = 0.0;
    for (int n = 1; n <= 13; n += 2)
        loudest = std::max (loudest, std::abs (1.4 * std::cyl_bessel_j ((double) n, k * amplitude)));

    for (int n = 1; n <= 13; n += 2)
    {
        const auto expected = std::abs (1.4 * std::cyl_bessel_j ((double) n, k * amplitude));
        if (expected > 0.05 * loudest)
        {
            EXPECT_NEAR (20.0 * std::log10 (heard (n) / expected), 0.0, 1.0) << "harmonic " << n;
        }
    }
}
