#include "engine/chain/VoiceChain.h"
#include "engine/chain/ChainSample.h"

#include <algorithm>
#include <cstddef>

// The chain over a whole stretch: which runner takes it, the scalar runner on local copies of the
// stages, and the linear one a stage at a time over runs of samples.
namespace quillon
{


// The chain over a whole stretch while nothing in it fades: its stages run on local copies, whose
// states the compiler can keep in registers from sample to sample instead of storing and loading
// them again around every output it writes (so long as nothing reaches into them by an index
// that varies). False where the sample-by-sample path must run.
bool VoiceChain::runChainStretch (const Stretch& s, float* outLeft, float* outRight) noexcept
{
    if (dsp::exactReference || ! s.shortcuts || s.count <= 0 || drivePositionFade.isFading() || subRoutingLagging)
        return false;

    applyChainFrame (s.frames[0]);

    if (feedbackPositionFade.isFading())
        return false;

    if (chainTwins)
    {
        // Twins stay twins only while both sides hear the same: else the right side must be
        // brought up to date at the sample where they part.
        for (int i = 0; i < 2 * s.count; ++i)
            if (s.left[(size_t) i] != s.right[(size_t) i])
                return false;

        if (filterStages[0].isPhaseStageSounding())
            for (int k = 1; k < s.count; ++k)
                if (s.frames[(size_t) k].phaseSpread != 0.0f)
                    return false;

        if (! runLinearChainStretch<true> (s, outLeft, outRight))
            runChainStretchWith<true> (s, outLeft, outRight);
    }
    else if (! runLinearChainStretch<false> (s, outLeft, outRight))
    {
        runChainStretchWith<false> (s, outLeft, outRight);
    }

    // What the sample-by-sample path would hold after the stretch's last frame.
    const auto& last = s.last();
    drivePostGain = last.drivePost;
    driveMixAmount = last.driveMix;
    filterBlend = last.filterBlend;
    feedbackAmount = last.feedbackAmount;
    chainFeedbackCoefficient = last.feedbackCoefficient;
    subSend = last.subSend;
    return true;
}

template <bool twins>
void VoiceChain::runChainStretchWith (const Stretch& s, float* outLeft, float* outRight) noexcept
{
#if QUILLON_CHAIN_LANES
    // Sides that differ run side by side in lanes where they can.
    if constexpr (! twins)
        if (runSidesInLanes (s, outLeft, outRight))
            return;
#endif

    auto dc0 = mixDcBlockers[0], dc1 = mixDcBlockers[1];
    auto fb0 = feedbackPaths[0], fb1 = feedbackPaths[1];
    auto drive0 = driveStages[0], drive1 = driveStages[1];
    auto filter0 = filterStages[0], filter1 = filterStages[1];
    const auto order = mainOrder;
    const auto postShare = feedbackPositionFade.weight (1);
    const auto subThrough = subRoutingFade.getTarget() != 1;

    for (int k = 0; k < s.count; ++k)
    {
        const auto& frame = s.frame (k);

        if (k > 0 && ! s.settled)
        {
            applyChainSettings (drive0, filter0, frame, -frame.phaseSpread);

            if constexpr (! twins)
                applyChainSettings (drive1, filter1, frame, frame.phaseSpread);
        }

        const auto f = chain_sample::Step<float>::of (frame, postShare, subThrough);
        chain_sample::ChainSide side0 { dc0, fb0, drive0, filter0 }, side1 { dc1, fb1, drive1, filter1 };

        for (int i = 2 * k; i < 2 * k + 2; ++i)
        {
            const auto sub = s.sub[(size_t) i];
            outLeft[i] = chain_sample::chainSample (side0, s.left[(size_t) i], sub, f, order);
            outRight[i] = twins ? outLeft[i] : chain_sample::chainSample (side1, s.right[(size_t) i], sub, f, order);
        }

        if (--chainFlushCountdown <= 0)
        {
            for (auto* path : { &fb0, &fb1 })
                path->flushStates();

            for (auto* blocker : { &dc0, &dc1 })
                blocker->flushStates();

            filter0.flushStates();
            filter1.flushStates();

            for (auto& stage : spareFilterStages)
                stage.flushStates();

            chainFlushCountdown = chainFlushInterval;
        }
    }

    mixDcBlockers[0] = dc0;
    feedbackPaths[0] = fb0;
    driveStages[0] = drive0;
    filterStages[0] = filter0;

    // Twins leave the right side's signal as it was, for the catch-up at the chunk's end (its
    // flushes above change nothing that the catch-up keeps); its settings follow the last frame,
    // which is all that the settings keep of the frames before it.
    if constexpr (twins)
    {
        if (! s.settled)
        {
            const auto& last = s.last();
            applyChainSettings (driveStages[1], filterStages[1], last, last.phaseSpread);
        }
    }
    else
    {
        mixDcBlockers[1] = dc1;
        feedbackPaths[1] = fb1;
        driveStages[1] = drive1;
        filterStages[1] = filter1;
    }
}

// A settled chain without drive, feedback or resonance is a linear filter: each stage then runs
// over a run of samples at once, the filter four samples at a time, with the same bits as one by
// one. False where it is not.
template <bool twins>
bool VoiceChain::runLinearChainStretch (const Stretch& s, float* outLeft, float* outRight) noexcept
{
    const auto& frame = s.frames[0];
    constexpr auto sides = twins ? 1 : 2;

    if (! s.settled || frame.feedbackAmount != 0.0f)
        return false;

    for (int side = 0; side < sides; ++side)
        if (! driveStages[(size_t) side].passesStraight() || ! filterStages[(size_t) side].isLinear())
            return false;

    const auto subThrough = subRoutingFade.getTarget() != 1;
    const auto send = subThrough ? frame.subSend : 0.0f;
    const auto direct = subThrough ? 1.0f - frame.subSend : 1.0f;
    const auto mixAmount = frame.driveMix, postGain = frame.drivePost, blend = frame.filterBlend;
    alignas (16) float blocked[2][2 * maxStretch], filtered[2 * maxStretch];

    // In runs between the flushes, which fall where they fall sample by sample.
    for (int done = 0; done < s.count;)
    {
        const auto length = std::min (s.count - done, chainFlushCountdown);
        const auto from = 2 * done, n = 2 * length;
        const auto* sub = s.sub + from;

        // Both sides' DC blockers in one loop: each waits on its own last output, and side by
        // side the two recursions overlap instead of running one after the other.
        if constexpr (twins)
        {
            for (int i = 0; i < n; ++i)
                blocked[0][i] = mixDcBlockers[0].processUnflushed (s.left[(size_t) (from + i)]) + sub[i] * send;
        }
        else
        {
            auto dc0 = mixDcBlockers[0], dc1 = mixDcBlockers[1];

            for (int i = 0; i < n; ++i)
            {
                blocked[0][i] = dc0.processUnflushed (s.left[(size_t) (from + i)]) + sub[i] * send;
                blocked[1][i] = dc1.processUnflushed (s.right[(size_t) (from + i)]) + sub[i] * send;
            }

            mixDcBlockers[0] = dc0;
            mixDcBlockers[1] = dc1;
        }

        for (int side = 0; side < sides; ++side)
        {
            auto* x = blocked[side];
            auto* out = (side == 0 ? outLeft : outRight) + from;

            // The straight drive: the curve passes its input within the limit.
            const auto driven = [&]
            {
                for (int i = 0; i < n; ++i)
                    x[i] += mixAmount * (DriveStage::limitInput (x[i]) * postGain - x[i]);
            };

            if (mainOrder == 0)
                driven();

            filterStages[(size_t) side].processLinear (x, filtered, n);

            for (int i = 0; i < n; ++i)
                x[i] += blend * (filtered[i] - x[i]);

            if (mainOrder != 0)
                driven();

            feedbackPaths[(size_t) side].reset();

            for (int i = 0; i < n; ++i)
                out[i] = dsp::flushTiny (x[i] + sub[i] * direct);

            if constexpr (twins)
                std::copy (out, out + n, outRight + from);
        }

        done += length;

        if ((chainFlushCountdown -= length) <= 0)
        {
            flushChainMemories();
            chainFlushCountdown = chainFlushInterval;
        }
    }

    return true;
}

} // namespace quillon
