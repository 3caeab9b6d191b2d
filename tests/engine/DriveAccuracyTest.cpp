#include "DspTestTools.h"
#include "engine/chain/DriveStage.h"
#include "engine/chain/FeedbackPath.h"
#include "engine/chain/OnePoleHighPass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

using namespace quillon;

namespace
{
// The curves as written down, in double.
double diodeExact (double g, double x)
{
    constexpr double thermal = 0.026;
    const auto u = 0.5 * g * x;
    auto y = u;

    for (int step = 0; step < 2; ++step)
    {
        const auto e = std::exp (std::clamp (y / thermal, -30.0, 30.0));
        const auto d = 0.7 / e;
        y -= ((e - d) * 0.1 + (y - u)) / ((e + d) * (0.1 / thermal) + 1.0);
    }

    return 2.0 / g * y * 0.9;
}

// The fold after a settled `previous` and then x (both as its input low-pass gives them): the step
// six back cut at its eighths by a sinc under a Blackman-Harris window over the twelve latest
// inputs (its weights at each eighth summing to 1), 0.7 sin (k u) under a triangle two eighths wide
// around each eighth's start, those weighted by four boxcars of eight, the latest eight by
// 120 84 56 35 20 10 4 1 / 4096 (the earlier ones all hold the settled value).
double foldExact (double g, double previous, double x)
{
    const auto k = 6.0 * (g - 1.0) + 1.0;
    // 0.7 sin (k u) for u going straight from `from` to `to`, weighted by s (0 at from, 1 at to)
    // when rising, else by 1 - s.
    const auto half = [k] (double from, double to, bool rising)
    {
        const auto a = k * from, d = k * (to - from);
        const auto narrow = std::abs (d) < 1.0e-3;
        const auto plain = narrow ? std::sin (a) * (1.0 - d * d / 6.0) + std::cos (a) * d / 2.0 : (std::cos (a) - std::cos (a + d)) / d;
        const auto weighted = narrow ? std::sin (a) * (0.5 - d * d / 8.0) + std::cos (a) * d / 3.0
                                     : (std::sin (a + d) - std::sin (a)) / (d * d) - std::cos (a + d) / d;
        return 0.7 * (rising ? weighted : plain - weighted);
    };
    // The windowed sinc through p (eleven times) and x at eighths 1..7 of the step from p to p:
    // x's weight there.
    const auto tapWeight = [] (double offset)
    {
        const auto pi = juce::MathConstants<double>::pi;
        const auto sinc = std::abs (offset) < 1.0e-12 ? 1.0 : std::sin (pi * offset) / (pi * offset);
        const auto t = 2.0 * pi * offset / 12.0;
        return sinc * (0.35875 + 0.48829 * std::cos (t) + 0.14128 * std::cos (2.0 * t) + 0.01168 * std::cos (3.0 * t));
    };
    double ends[9] = { previous, 0, 0, 0, 0, 0, 0, 0, previous };
    for (int j = 1; j < 8; ++j)
    {
        double total = 0.0;
        for (int i = -5; i <= 6; ++i)
            total += tapWeight (j / 8.0 - i);
        ends[j] = previous + tapWeight (j / 8.0 - 6.0) / total * (x - previous);
    }
    const double weights[] = { 120, 84, 56, 35, 20, 10, 4, 1 };
    double sum = (4096 - 330) * 0.7 * std::sin (k * previous);
    for (int j = 0; j < 8; ++j)
        sum += weights[j] * (half (ends[j], ends[j + 1], false) + (j == 0 ? 0.35 * std::sin (k * previous) : half (ends[j - 1], ends[j], true)));
    return sum / 4096.0;
}

float gainOf (double db) { return (float) std::pow (10.0, db / 20.0); }
} // namespace

TEST (DriveAccuracy, curvesFollowTheirFormulasOverTheWholeRange)
{
    // Every quarter decibel of drive, inputs over +-4 (the feedback memory's limit) and beyond.
    double diodeError = 0.0, softError = 0.0, foldError = 0.0, foldWideError = 0.0;

    for (double db = 0.25; db <= 24.0; db += 0.25)
    {
        const auto g = gainOf (db);
        auto stage = test::makeDrive (DriveStage::soft, g);

        for (double x = -4.0; x <= 4.0; x += 3.0e-4)
        {
            const auto xf = (float) x;
            diodeError = std::max (diodeError, std::abs (stage.fullCurve (DriveStage::diode, xf) - diodeExact (g, xf)));
            softError = std::max (softError, std::abs (stage.fullCurve (DriveStage::soft, xf) - std::tanh ((double) g * xf) / g));
        }

        for (float x : { -1000.0f, -37.0f, 12.5f, 900.0f })
            EXPECT_NEAR (stage.fullCurve (DriveStage::diode, x), diodeExact (g, x), 1.0e-6 * std::abs (x)) << db << " dB";

        // The fold averages the curve between the previous input and this one.
        for (double previous = -1.5; previous <= 1.5; previous += 0.0137)
            for (double step : { -0.3, -0.04, -0.002, -1.0e-4, 0.0, 3.0e-5, 6.0e-4, 0.01, 0.12 })
            {
                const auto pf = (float) previous, xf = (float) (previous + step);
                auto fold = test::makeDrive (DriveStage::fold, g);
                for (int n = 0; n < 200; ++n) // long enough for the input low-pass to settle
                    fold.process (pf);
                const auto error = std::abs (fold.fullCurve (DriveStage::fold, xf) - foldExact (g, pf, xf));
                foldError = std::max (foldError, error);

                if (std::abs (step) >= 0.01)
                    foldWideError = std::max (foldWideError, error);
            }
    }

    EXPECT_LT (diodeError, 1.0e-6);
    EXPECT_LT (softError, 1.0e-6);
    // Narrow steps at a hard fold lose digits in the difference of two large float phases; the
    // exact formula in float does the same. Wide ones carry the float phases of four quarters.
    EXPECT_LT (foldError, 1.0e-3);
    EXPECT_LT (foldWideError, 1.5e-4);
}

TEST (DriveAccuracy, gainsMatchTheirDecibelsAndRejectNonsense)
{
    for (float db = -30.0f; db <= 150.0f; db += 0.01f)
    {
        const auto applied = std::clamp ((double) db, 0.0, 24.0);
        const auto gains = computeDriveGains (db, DriveStage::diode, true, 0.5f);
        ASSERT_NEAR (gains.pre, std::pow (10.0, applied / 20.0), 4.0e-7 * gains.pre) << db;
        ASSERT_NEAR (gains.post, 0.5 * (db > 0.01f ? std::pow (10.0, 0.55 * applied / 20.0) : 1.0), 4.0e-7 * gains.post) << db;
    }

    // Each curve's own share of make-up; without it the output gain passes exactly.
    for (const auto& [mode, share] : { std::pair { DriveStage::soft, 0.5 }, std::pair { DriveStage::fold, 0.4 } })
        for (float db = 0.5f; db <= 24.0f; db += 0.37f)
            ASSERT_NEAR (computeDriveGains (db, mode, true, 1.0f).post, std::pow (10.0, share * db / 20.0),
                         4.0e-7 * std::pow (10.0, share * db / 20.0)) << db;

    for (const auto db : { 0.0f, 3.3f, 17.0f, 24.0f, 90.0f })
        EXPECT_EQ (computeDriveGains (db, DriveStage::diode, false, 0.7f).post, 0.7f) << db;

    const auto nan = computeDriveGains (std::numeric_limits<float>::quiet_NaN(), DriveStage::diode, true, 1.0f);
    EXPECT_EQ (nan.pre, 1.0f);
    EXPECT_EQ (nan.post, 1.0f);
}

// Four base samples' gains at once, as the voice works out a stretch's, give each lane the bits
// of the scalar computation: every curve's make-up, with and without it, and nonsense amounts.
TEST (DriveAccuracy, gainsInLanesGiveTheScalarBits)
{
    constexpr auto inf = std::numeric_limits<float>::infinity();
    const auto bits = [] (float x) { return test::bitsOf (x); };

    std::vector<float> amounts { 0.0f, -0.0f, 0.01f, 0.0100001f, 23.999998f, 24.0f, 24.5f, -3.0f, inf, -inf,
                                 std::numeric_limits<float>::quiet_NaN(), 1.0e30f };

    for (auto db = -6.0f; db <= 30.0f; db += 0.0371f)
        amounts.push_back (db);

    while (amounts.size() % 4 != 0)
        amounts.push_back (12.0f);

    for (const auto mode : { DriveStage::soft, DriveStage::diode, DriveStage::fold })
        for (const auto makeup : { false, true })
            for (size_t i = 0; i < amounts.size(); i += 4)
            {
                const float levels[4] = { 1.0f, 0.5f, 0.0f, 1.9953f };
                dsp::Float4 pre, post;
                computeDriveGains (dsp::Float4::load (amounts.data() + i), mode, makeup, dsp::Float4::load (levels), pre, post);
                float pres[4], posts[4];
                pre.store (pres);
                post.store (posts);

                for (size_t lane = 0; lane < 4; ++lane)
                {
                    const auto scalar = computeDriveGains (amounts[i + lane], mode, makeup, levels[lane]);
                    ASSERT_EQ (bits (pres[lane]), bits (scalar.pre)) << amounts[i + lane] << " mode " << mode;
                    ASSERT_EQ (bits (posts[lane]), bits (scalar.post)) << amounts[i + lane] << " mode " << mode;
                }
            }
}

TEST (DriveAccuracy, extremeInputsComeOutFiniteAndLeaveNothingBehind)
{
    constexpr auto inf = std::numeric_limits<float>::infinity();

    for (int mode : { DriveStage::soft, DriveStage::diode, DriveStage::fold })
        for (float g : { 1.0f, 1.5f, gainOf (12.0), gainOf (24.0) })
        {
            // Mid-fade, so that every curve hears them.
            auto stage = test::makeDrive (mode, g), fresh = test::makeDrive (mode, g);
            stage.setMode ((mode + 1) % 3, true);
            fresh.setMode ((mode + 1) % 3, true);

            for (auto x : { 1.0e30f, -1.0e30f, inf, -inf, std::numeric_limits<float>::quiet_NaN(), 3.0e5f })
            {
                const auto y = stage.process (x);
                ASSERT_TRUE (std::isfinite (y) && std::abs (y) <= 1.0e4f) << mode << " " << g << " " << x;
                fresh.process (0.0f);
            }

            // Two ordinary samples later the stage is where a clean one is.
            stage.process (0.3f);
            fresh.process (0.3f);
            EXPECT_NEAR (stage.process (0.3f), fresh.process (0.3f), 1.0e-6f) << "mode " << mode << " gain " << g;
        }

    // Large but legitimate inputs still go through the curve.
    EXPECT_NEAR (test::makeDrive (DriveStage::diode, gainOf (12.0)).process (50.0f), diodeExact (gainOf (12.0), 50.0), 1.0e-4);
}

TEST (DriveAccuracy, unflushedFeedbackAndHighPassStayCleanWithTheirFlush)
{
    // Ordinary signals, beyond the memory limit at their peaks: the same values as with the flush.
    FeedbackPath flushed, unflushed;
    OnePoleHighPass highPass, highPassUnflushed;
    highPass.prepare (88200.0, 15.0f);
    highPassUnflushed.prepare (88200.0, 15.0f);
    const auto coefficient = FeedbackPath::coefficientFor (3000.0f, 96000.0);

    for (int n = 0; n < 4000; ++n)
    {
        const auto x = 6.0f * std::sin (0.01f * (float) n);
        flushed.capture (x, coefficient);
        unflushed.captureUnflushed (x, coefficient);
        ASSERT_EQ (unflushed.getMemory(), flushed.getMemory());
        ASSERT_EQ (highPassUnflushed.processUnflushed (x), highPass.process (x));
    }

    // Infinity is held at the limit; a value that is not a number goes at the next flush.
    unflushed.captureUnflushed (std::numeric_limits<float>::infinity(), coefficient);
    EXPECT_EQ (unflushed.getMemory(), FeedbackPath::memoryLimit);
    unflushed.captureUnflushed (std::numeric_limits<float>::quiet_NaN(), coefficient);
    highPassUnflushed.processUnflushed (std::numeric_limits<float>::quiet_NaN());
    unflushed.flushStates();
    highPassUnflushed.flushStates();
    EXPECT_EQ (unflushed.getMemory(), 0.0f);
    EXPECT_EQ (highPassUnflushed.processUnflushed (0.0f), 0.0f);

    // The fastest tone at the lowest rate decays quickest: from just above the flush level, 32
    // samples of silence stay out of the denormal range. A DC blocker flushed once per 4096-sample
    // chunk never gets there.
    const auto fastest = FeedbackPath::coefficientFor (12000.0f, 88200.0);
    FeedbackPath decaying;
    decaying.captureUnflushed (1.0f, 1.0f);
    while (decaying.getMemory() * (1.0f - fastest) >= 1.0e-20f)
        decaying.captureUnflushed (0.0f, fastest);

    for (int n = 0; n < 32; ++n)
    {
        decaying.captureUnflushed (0.0f, fastest);
        ASSERT_NE (std::fpclassify (decaying.getMemory()), FP_SUBNORMAL) << n;
    }

    for (int n = 0; n < 400000; ++n)
    {
        ASSERT_NE (std::fpclassify (highPass.processUnflushed (n == 0 ? 1.0f : 0.0f)), FP_SUBNORMAL) << n;

        if (n % 4096 == 4095)
            highPass.flushStates();
    }
}

// The diode curve in two parts, which the chain folds into its gains: their sum at the output
// gain follows the curve as written down, inside the table and far past it, and an input
// beyond the limit or not a number is silenced as process() silences it.
TEST (DriveAccuracy, diodeInPartsFollowsTheCurve)
{
    for (const auto db : { 6.5, 12.0, 24.0 })
    {
        const auto g = gainOf (db);
        auto parts = test::makeDrive (DriveStage::diode, g);
        auto whole = parts;
        ASSERT_TRUE (parts.actsAsWholeDiode());

        for (auto x = -3.0f; x <= 3.0f; x += 0.0137f)
        {
            const auto [piece, beyond] = parts.diodeRaw (x);
            const auto y = parts.getDiodeOut() * (piece + beyond);
            EXPECT_NEAR (y, diodeExact (g, x), 2.0e-5 * std::max (1.0, std::abs ((double) x))) << db << " dB at " << x;
            EXPECT_NEAR (y, whole.process (x), 1.0e-5f * std::max (1.0f, std::abs (x)));
        }

        for (auto x : { 40.0f, -40.0f, 9000.0f })
        {
            const auto [piece, beyond] = parts.diodeRaw (x);
            EXPECT_NEAR (parts.getDiodeOut() * (piece + beyond), diodeExact (g, x), 1.0e-4 * std::abs (x));
        }

        for (auto x : { 3.0e5f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN() })
        {
            const auto [piece, beyond] = parts.diodeRaw (x);
            EXPECT_EQ (parts.getDiodeOut() * (piece + beyond), whole.process (x));
        }
    }

    // Blended in just above 0 dB, the curve does not act whole.
    EXPECT_FALSE (test::makeDrive (DriveStage::diode, gainOf (0.5)).actsAsWholeDiode());
    EXPECT_FALSE (test::makeDrive (DriveStage::soft, gainOf (12.0)).actsAsWholeDiode());
}

// A few decibels above 0 the stage is its curve: full scale through each curve at 3 dB gives the
// curve's own value, not one blended towards the straight line.
TEST (DriveAccuracy, driveAtThreeDecibelsIsItsCurve)
{
    const auto g = gainOf (3.0);

    for (int mode : { DriveStage::soft, DriveStage::diode })
    {
        auto drive = test::makeDrive (mode, g);
        const auto curve = test::makeDrive (mode, g);
        float y = 0.0f;
        for (int n = 0; n < 8; ++n)
            y = drive.process (1.0f);
        EXPECT_EQ (y, curve.fullCurve (mode, 1.0f)) << mode;
    }

    auto soft = test::makeDrive (DriveStage::soft, g);
    EXPECT_NEAR (soft.process (1.0f), std::tanh (g) / g, 1.0e-6f);
    // The editor draws the same curve.
    EXPECT_NEAR (DriveStage::transferCurve (DriveStage::soft, 3.0f, 1.0f), std::tanh (g) / g, 1.0e-5f);
}
