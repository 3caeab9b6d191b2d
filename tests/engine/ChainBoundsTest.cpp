// One bounds test for every filter model, drive curve and the feedback path at their extremes:
// whatever goes in, nothing non-finite or denormal comes out and nothing grows without limit.
#include "DspTestTools.h"
#include "engine/chain/DriveStage.h"
#include "engine/chain/FeedbackPath.h"
#include "engine/chain/FilterStage.h"

#include <gtest/gtest.h>

#include <random>

using namespace quillon;
using namespace quillon::test;

namespace
{
constexpr double rate = 96000.0;

// One side of the voice's chain: drive and filter in either order, feedback before the drive or
// after the filter, as the engine runs them.
struct Chain
{
    DriveStage drive;
    FilterStage filter;
    FeedbackPath feedback;
    DriveGains gains;
    bool filterFirst = false, feedbackAfter = false;
    float feedbackAmount = 0.35f, feedbackCoefficient = 1.0f, mix = 1.0f;

    float process (float x) noexcept
    {
        const auto driven = [this] (float v) { return v + mix * (drive.process (v) * gains.post - v); };
        x += feedbackAfter ? 0.0f : feedbackAmount * feedback.getMemory();
        auto out = filterFirst ? driven (filter.process (x)) : filter.process (driven (x));
        out += feedbackAfter ? feedbackAmount * feedback.getMemory() : 0.0f;
        feedback.capture (out, feedbackCoefficient);
        return out;
    }
};

struct Outcome
{
    float peak = 0.0f, lastSecondPeak = 0.0f;
    bool finite = true, denormal = false;
};

template <typename Input>
Outcome run (Chain& chain, Input input, int seconds, const std::function<void (int)>& modulate = {})
{
    Outcome outcome;
    const auto length = seconds * (int) rate;

    for (int n = 0; n < length; ++n)
    {
        if (modulate && n % 2 == 0)
            modulate (n);

        const auto y = chain.process (input (n));
        outcome.finite &= std::isfinite (y);
        outcome.denormal |= isSubnormal (y) || isSubnormal (chain.feedback.getMemory());
        outcome.peak = std::max (outcome.peak, std::abs (y));
        if (n >= length - (int) rate)
            outcome.lastSecondPeak = std::max (outcome.lastSecondPeak, std::abs (y));
    }

    return outcome;
}
} // namespace

TEST (ChainBounds, everyModelCurveAndFeedbackPathStaysFiniteAndBounded)
{
    std::mt19937 random (11);
    std::uniform_real_distribution<float> uniform (-1.0f, 1.0f);

    const std::function<float (int)> inputs[] = {
        [] (int n) { return (n / 480) % 2 == 0 ? 1.0f : -1.0f; },                      // full-scale 100 Hz square
        [&] (int) { return 1000.0f * uniform (random); },                              // absurdly loud noise
        [] (int n) { return n % 9600 == 0 ? 1.0e4f : 0.0f; },                          // huge clicks
        [] (int) { return 8.0f; },                                                     // DC far above full scale
    };

    for (int model = 0; model < FilterStage::numModels; ++model)
        for (int curve : { DriveStage::soft, DriveStage::diode, DriveStage::fold })
            for (int order = 0; order < 4; ++order)
                for (float driveDb : { 0.0f, 24.0f + 4.0f * 24.0f })
                {
                    SCOPED_TRACE (testing::Message() << "model " << model << " curve " << curve << " order " << order
                                                     << " drive " << driveDb);
                    Chain chain;
                    chain.drive.prepare (rate);
                    chain.drive.setMode (curve, false);
                    chain.filter.prepare (rate);
                    chain.filter.setModel (model, false);
                    chain.filter.setResonance (1.0f);
                    chain.filter.setPhaseMix (1.0f);
                    chain.filterFirst = (order & 1) != 0;
                    chain.feedbackAfter = (order & 2) != 0;
                    chain.feedbackCoefficient = FeedbackPath::coefficientFor (order < 2 ? 80.0f : 12000.0f, rate);
                    // The loudest legal staging: +24 dB output gain on top of the make-up.
                    chain.gains = computeDriveGains (driveDb, curve, true, std::pow (10.0f, 24.0f / 20.0f));
                    chain.drive.setGain (chain.gains.pre);

                    for (size_t i = 0; i < std::size (inputs); ++i)
                    {
                        // The cutoff swept across its whole range while the input plays.
                        const auto outcome = run (chain, inputs[i], 1, [&chain] (int n)
                        {
                            chain.filter.setCutoff (20.0f * std::pow (1000.0f, 0.5f + 0.5f * std::sin ((float) n * 1.0e-4f)));
                        });
                        ASSERT_TRUE (outcome.finite) << "input " << i;
                        ASSERT_FALSE (outcome.denormal) << "input " << i;
                        ASSERT_LT (outcome.peak, 1.0e7f) << "input " << i;
                    }

                    // Then silence: whatever rings on (a self-oscillating filter, the loop) stays
                    // bounded and never decays into denormals.
                    chain.filter.setCutoff (1000.0f);
                    const auto tail = run (chain, [] (int) { return 0.0f; }, 3);
                    ASSERT_TRUE (tail.finite);
                    ASSERT_FALSE (tail.denormal);
                    EXPECT_LT (tail.lastSecondPeak, 1.0e4f);
                }
}
