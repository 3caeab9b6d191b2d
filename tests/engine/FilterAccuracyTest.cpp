// The filter's fast maths held to the exact maths, at the rates the voice runs at, and its states
// kept clean without a flush on every sample.
#include "DspTestTools.h"
#include "engine/chain/FilterStage.h"

#include <gtest/gtest.h>

#include <array>
#include <cfenv>
#include <cmath>
#include <limits>
#include <xmmintrin.h>

using namespace quillon;
using namespace quillon::test;

namespace
{
// The voice's 2x rates at 32, 44.1, 48 and 96 kHz. At 64 kHz the top of the cutoff range lies
// above a quarter of the rate, where the prewarping tangent is taken the other way round.
constexpr double rates[] = { 64000.0, 88200.0, 96000.0, 192000.0 };

// The stage's models in double with the library's tan and tanh.
struct ExactFilter
{
    double rate;
    int model;
    double resonance, mix = 0.7, offset = 0.0;
    double G = 0.0, h = 1.0;
    std::array<double, 4> s {};
    std::array<double, 6> c {}, z {};
    double memory = 0.0, last = 0.0;

    void setCutoff (double hz)
    {
        const auto top = 0.45 * rate;
        const auto g = std::tan (juce::MathConstants<double>::pi * std::clamp (hz, 20.0, top) / rate);
        G = g / (1.0 + g);
        h = 1.0 / (1.0 + g);
        auto f = std::clamp (hz, 20.0, top) * 0.5 * std::exp2 (offset);

        for (auto& k : c)
        {
            const auto t = std::tan (juce::MathConstants<double>::pi * std::clamp (f, 20.0, top) / rate);
            k = (1.0 - t) / (1.0 + t);
            f *= std::pow (4.0, 0.2);
        }
    }

    double poles (double u)
    {
        for (auto& pole : s)
        {
            const auto v = (u - pole) * G;
            const auto y = v + pole;
            pole = y + v;
            u = y;
        }
        return u;
    }

    double process (double x)
    {
        const auto e = (((G * s[0] + s[1]) * G + s[2]) * G + s[3]) * h;

        switch (model)
        {
            case FilterStage::ladder:
                return poles ((1.0 + 0.5 * 3.95 * resonance) * x - 3.95 * resonance * std::tanh (e));
            case FilterStage::diode:
            {
                const auto k = 4.2 * resonance;
                const auto y = poles (x - k * (e >= 0.0 ? std::tanh (e) : 0.85 * std::tanh (e / 0.85)));
                memory += (y - memory) * (juce::MathConstants<double>::twoPi * 30.0 / rate);
                return (y - 0.6 * memory) * 0.95;
            }
            case FilterStage::state:
                return 0.85 * poles (x - 0.95 * resonance * std::tanh (s[3]));
            default:
            {
                auto u = x - 0.95 * resonance * last;

                for (size_t i = 0; i < c.size(); ++i)
                {
                    const auto y = z[i] - c[i] * u;
                    z[i] = c[i] * y + u;
                    u = y;
                }

                last = u;
                return x + mix * (u - x);
            }
        }
    }
};

// A filter envelope that opens from 50 Hz to 18 kHz in 3 ms and falls back over a second, with an
// LFO on top: the cutoff moves on every base-rate sample, fastest where a lag would show most.
double sweptCutoff (int baseSample, double baseRate)
{
    const auto t = baseSample / baseRate;
    const auto envelope = t < 0.003 ? t / 0.003 : std::exp (-(t - 0.003) * 4.0);
    return 50.0 * std::pow (360.0, envelope) * std::exp2 (0.3 * std::sin (juce::MathConstants<double>::twoPi * 5.0 * t));
}

struct FtzOff
{
    unsigned int saved = _mm_getcsr();
    FtzOff() { _mm_setcsr (saved & ~(0x8000u | 0x0040u)); } // flush-to-zero and denormals-are-zero off
    ~FtzOff() { _mm_setcsr (saved); }
};
} // namespace

TEST (FilterAccuracy, everyModelFollowsAMovingCutoffAsTheExactMathsDo)
{
    for (auto rate : rates)
        for (int model = 0; model < FilterStage::numModels; ++model)
            for (auto offset : { -0.5f, 0.5f })
            {
                SCOPED_TRACE (testing::Message() << "rate " << rate << " model " << model << " offset " << offset);
                // Below 0.5 the resonance cannot make rounding differences grow.
                constexpr float resonance = 0.45f;
                FilterStage fast;
                fast.prepare (rate);
                fast.setModel (model, false);
                fast.setResonance (resonance);
                fast.setPhaseMix (0.7f);
                fast.setPhaseNotch (1.0f);
                fast.setPhaseOffset (offset);
                ExactFilter exact { rate, model, resonance };
                exact.offset = offset;

                double signal = 0.0, error = 0.0, saw = 0.0;

                for (int n = 0; n < (int) rate; ++n)
                {
                    if (n % 2 == 0)
                    {
                        const auto hz = sweptCutoff (n / 2, rate / 2.0);
                        fast.setCutoff ((float) hz);
                        exact.setCutoff ((double) (float) hz);
                    }

                    saw += 110.0 / rate;
                    saw -= std::floor (saw);
                    const auto x = (float) (0.5 * (2.0 * saw - 1.0));
                    const auto reference = exact.process (x);
                    const auto y = fast.process (x);
                    signal += reference * reference;
                    error += (y - reference) * (y - reference);

                    // As the engine does, once a block: a flush must leave a sounding filter alone.
                    if (n % 256 == 255)
                        fast.flushStates();
                }

                EXPECT_LT (10.0 * std::log10 (error / signal), -80.0);
            }
}

TEST (FilterAccuracy, cutoffAndResonancePeakSitWhereTheyAreSetAtEveryRate)
{
    for (auto rate : rates)
        for (double cutoff : { 30.0, 1000.0, 12000.0, 20000.0 })
        {
            SCOPED_TRACE (testing::Message() << "rate " << rate << " cutoff " << cutoff);
            const auto gain = [rate] (double hz, float resonance, double frequency)
            {
                FilterStage filter;
                filter.prepare (rate);
                filter.setModel (FilterStage::ladder, false);
                filter.setCutoff ((float) hz);
                filter.setResonance (resonance);
                return gainAtDb ([&filter] (float x) { return filter.process (x); }, frequency, rate, 0.01f, 0.25);
            };

            // Four poles, 3 dB each at the cutoff, with the bilinear map prewarped onto it.
            const auto analogue = [rate, cutoff] (double f)
            {
                const auto r = std::tan (juce::MathConstants<double>::pi * f / rate)
                             / std::tan (juce::MathConstants<double>::pi * cutoff / rate);
                return -40.0 * std::log10 (1.0 + r * r);
            };

            for (auto f : { cutoff / 8.0, cutoff / 2.0, cutoff, cutoff * 1.4 })
            {
                if (f < 0.45 * rate)
                {
                    EXPECT_NEAR (gain (cutoff, 0.0f, f), analogue (f), 0.02) << f;
                }
            }

            // The resonance peak stands at the cutoff, not beside it.
            const auto peak = gain (cutoff, 0.9f, cutoff);
            EXPECT_GT (peak - gain (cutoff, 0.9f, cutoff / 8.0), 15.0);
            EXPECT_GT (peak, gain (cutoff, 0.9f, cutoff * 0.9));
            if (cutoff * 1.1 < 0.45 * rate)
            {
                EXPECT_GT (peak, gain (cutoff, 0.9f, cutoff * 1.1));
            }
        }
}

TEST (FilterAccuracy, resonanceTanhIsCloseToTanhAndDoesNotUnderflowAboveTheStateFloor)
{
    FtzOff ftzOff;
    double largest = 0.0;
    auto underflows = false;

    for (double x = 1.0e-30; x < 30.0; x *= 1.0001)
        for (auto sign : { 1.0, -1.0 })
        {
            const auto v = (float) (sign * x);
            std::feclearexcept (FE_UNDERFLOW);
            const auto y = dsp::loopTanh (v);
            underflows |= x > 0.1 * filter_detail::stateFloor && std::fetestexcept (FE_UNDERFLOW);
            largest = std::max (largest, std::abs ((double) y - std::tanh ((double) v)) / std::min (1.0, std::abs ((double) v)));
            ASSERT_LE (std::abs (y), 1.0f);
            ASSERT_EQ (y, -dsp::loopTanh (-v));
        }

    // Relative below 1, absolute above: far below anything audible at -80 dB.
    EXPECT_LT (largest, 5.0e-7);
    EXPECT_FALSE (underflows);
    EXPECT_EQ (dsp::loopTanh (0.0f), 0.0f);
}

TEST (FilterAccuracy, decayingStatesDoNotSinkIntoDenormalsWithFlushToZeroOff)
{
    FtzOff ftzOff;

    for (auto rate : { 88200.0, 96000.0 })
        for (int model = 0; model < FilterStage::numModels; ++model)
            for (float cutoff : { 20000.0f, 2000.0f, 20.0f })
                for (float resonance : { 0.0f, 0.5f, 1.0f })
                {
                    SCOPED_TRACE (testing::Message() << "rate " << rate << " model " << model << " cutoff " << cutoff
                                                     << " resonance " << resonance);
                    FilterStage filter;
                    filter.prepare (rate);
                    filter.setModel (model, false);
                    filter.setCutoff (cutoff);
                    filter.setResonance (resonance);
                    filter.setPhaseMix (1.0f);

                    for (int n = 0; n < 1000; ++n)
                        filter.process (n % 100 < 50 ? 0.8f : -0.8f);

                    // Then silence, in the engine's blocks, flushed only at their ends: a 20 kHz
                    // pole falls from a flushable 1e-19 to below the smallest normal float within
                    // twenty samples, and would sit in denormals for the rest of the block.
                    int underflowingSamples = 0;
                    constexpr int blocks = 400;

                    for (int block = 0; block < blocks; ++block)
                    {
                        for (int n = 0; n < 256; ++n)
                        {
                            std::feclearexcept (FE_UNDERFLOW);
                            const auto y = filter.process (0.0f);
                            const auto underflowed = std::fetestexcept (FE_UNDERFLOW) != 0;
                            underflowingSamples += underflowed ? 1 : 0;
                            ASSERT_FALSE (isSubnormal (y));
                        }

                        filter.flushStates();
                    }

                    EXPECT_EQ (underflowingSamples, 0);
                }
}

TEST (FilterAccuracy, aSampleThatIsNotANumberIsGoneAfterItsBlock)
{
    for (float bad : { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                       -std::numeric_limits<float>::infinity() })
        for (int model = 0; model < FilterStage::numModels; ++model)
        {
            SCOPED_TRACE (testing::Message() << "input " << bad << " model " << model);
            const auto make = [model]
            {
                FilterStage filter;
                filter.prepare (96000.0);
                filter.setModel (model, false);
                filter.setCutoff (1500.0f);
                filter.setResonance (0.8f);
                filter.setPhaseMix (0.7f);
                filter.setPhaseNotch (1.0f);
                return filter;
            };
            const auto input = [] (int n) { return 0.5f * (float) std::sin (0.02 * n); };
            auto hit = make();

            for (int n = 0; n < 1024; ++n)
                hit.process (n == 700 ? bad : input (n));

            hit.flushStates();

            // From the next block on it runs as a fresh filter does.
            auto fresh = make();

            for (int n = 1024; n < 4096; ++n)
                ASSERT_EQ (hit.process (input (n)), fresh.process (input (n))) << n;
        }
}
