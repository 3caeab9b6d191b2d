#pragma once

#include "engine/OutputLimit.h"
#include "engine/chain/OnePoleHighPass.h"
#include "engine/core/VoiceMath.h"

#include <cmath>

namespace quillon
{

// The base-rate end of the voice: level, a smoothstep fade-in on notes that start from silence,
// 10 Hz DC blocking and the mono-low section, which high-passes the side signal so that the low
// end of a detuned or spread sound collapses to mono while its highs keep their width.
class OutputStage
{
public:
    static constexpr float monoSumGain = 0.7071068f;

    struct Frame
    {
        float left = 0.0f, right = 0.0f;
        float monoSum() const noexcept { return (left + right) * monoSumGain; }
    };

    // Adds a frame into sample i of the outputs (the mono sum where outRight is null), and puts
    // what the sample then holds through the limit.
    void addLimited (Frame frame, float* outLeft, float* outRight, int i) noexcept
    {
        if (outRight != nullptr)
        {
            outLeft[i] += frame.left;
            outRight[i] += frame.right;
            limit.process (outLeft[i], outRight[i]);
        }
        else
        {
            outLeft[i] = limit.process (outLeft[i] + frame.monoSum());
        }
    }

    void prepare (double baseRate) noexcept;
    // A note from silence: the blockers start clean as well, so that every such note begins alike.
    void startFadeIn() noexcept
    {
        fadeCountdown = fadeLength;
        dcBlockerLeft.reset();
        dcBlockerRight.reset();
        sideFilter.reset();
        limit.reset();
    }
    bool isFadingIn() const noexcept { return fadeCountdown > 0; }

    // The voice has ended: what the blockers and the side filter still hold would stop there as a
    // step. It goes on through copies of them, fading out over a short smoothstep, apart from the
    // stage itself, so that a note starting meanwhile begins as every note from silence does.
    void beginTail (float monoLowAmount, float monoLowHz) noexcept;
    bool isInTail() const noexcept { return tailCountdown > 0; }
    // Adds the tail's next samples into outLeft and outRight, or as the mono sum into outLeft
    // where outRight is null; nothing once it has ended.
    void addTail (float* outLeft, float* outRight, int numSamples) noexcept;

    // One sample: `gain` is output level x amp envelope x amp modulation; `monoLowAmount` blends
    // the side high-pass in (0..1) and `monoLowHz` sets it. Not yet limited: see addLimited().
    Frame process (float left, float right, float gain, float monoLowAmount, float monoLowHz) noexcept;

    // A run of samples with the mono-low settings holding still: (left + addLeft) and (right +
    // addRight) at their gains, added into outLeft and outRight, or as the mono sum into outLeft
    // where outRight is null, each sum limited. The same samples as process() and addLimited()
    // one by one.
    void processBlock (const float* left, const float* right, const float* addLeft, const float* addRight,
                       const float* gains, int numSamples, float monoLowAmount, float monoLowHz,
                       float* outLeft, float* outRight) noexcept;

    static constexpr double tailSeconds = 0.01;
    static constexpr float silenceLevel = 1.0e-6f;

private:
    // The blockers and the side filter on one sample, after the gain.
    static Frame filter (OnePoleHighPass& blockerLeft, OnePoleHighPass& blockerRight, OnePoleHighPass& side,
                         float left, float right, float monoLowAmount) noexcept
    {
        left = blockerLeft.process (left);
        right = blockerRight.process (right);

        const auto mid = 0.5f * (left + right);
        auto s = 0.5f * (left - right);
        s += monoLowAmount * (side.process (s) - s);

        return { mid + s, mid - s };
    }

    double sampleRate = 44100.0;
    OnePoleHighPass dcBlockerLeft, dcBlockerRight, sideFilter;
    OutputLimit limit;
    int fadeLength = 1;
    int fadeCountdown = 0;
    OnePoleHighPass tailLeft, tailRight, tailSide;
    float tailMonoLowAmount = 0.0f;
    int tailLength = 1;
    int tailCountdown = 0;
    static constexpr int flushInterval = 1024;
    int flushCountdown = flushInterval;
};

inline OutputStage::Frame OutputStage::process (float left, float right, float gain, float monoLowAmount, float monoLowHz) noexcept
{
    if (fadeCountdown > 0)
    {
        gain *= smoothStep (1.0f - (float) fadeCountdown / (float) fadeLength);
        --fadeCountdown;
    }

    sideFilter.setFrequency (monoLowHz);
    return filter (dcBlockerLeft, dcBlockerRight, sideFilter, left * gain, right * gain, monoLowAmount);
}

} // namespace quillon
