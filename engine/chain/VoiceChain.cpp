#include "engine/chain/VoiceChain.h"
#include "engine/core/VoiceMath.h"
#include "engine/chain/ChainSample.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace quillon
{

void VoiceChain::prepare (double oversampledRate) noexcept
{
    const auto switchFadeLength = crossFadeLength (oversampledRate);

    for (auto* fade : { &drivePositionFade, &subRoutingFade, &feedbackPositionFade })
    {
        fade->setLength (switchFadeLength);
        fade->jumpTo (fade->getTarget());
    }

    // The sub's routing fades over 10 ms: the part of the sub that leaves the chain lingers in a
    // low filter for a few milliseconds, which a shorter fade would hear as a swell.
    subRoutingFade.setLength (2 * switchFadeLength);

    mainOrder = spareOrder = drivePositionFade.getTarget();
    subRoutingLagging = false;

    for (auto* stages : { &driveStages, &spareDriveStages })
        for (auto& stage : *stages)
            stage.prepare (oversampledRate);

    for (auto* stages : { &filterStages, &spareFilterStages })
        for (auto& stage : *stages)
            stage.prepare (oversampledRate);

    for (auto& blocker : mixDcBlockers)
        blocker.prepare (oversampledRate, 15.0f);

    for (auto& path : feedbackPaths)
        path.prepare (oversampledRate, 2 * chainFlushInterval);
}

void VoiceChain::jumpSwitches (const Switches& switches, bool feedbackAfterFilter) noexcept
{
    for (auto* stages : { &driveStages, &spareDriveStages })
        for (auto& stage : *stages)
            stage.setMode (switches.driveMode, false);

    for (auto* stages : { &filterStages, &spareFilterStages })
        for (auto& stage : *stages)
            stage.setModel (switches.filterModel, false);

    mainOrder = spareOrder = std::clamp (switches.drivePosition, 0, 1);
    drivePositionFade.jumpTo (mainOrder);
    subRoutingFade.jumpTo (std::clamp (switches.subRouting, 0, 1));
    subRoutingLagging = false;
    feedbackPositionFade.jumpTo (feedbackAfterFilter ? 1 : 0);
}

void VoiceChain::clearSignalState() noexcept
{
    // Nothing of an earlier note is heard any more, but its signal still sits in the chain's
    // memories: cleared, every note from silence starts the same way.
    for (auto& blocker : mixDcBlockers)
        blocker.reset();

    for (auto* stages : { &driveStages, &spareDriveStages })
        for (auto& stage : *stages)
            stage.reset();

    for (auto* stages : { &filterStages, &spareFilterStages })
        for (auto& stage : *stages)
            stage.reset();

    for (auto& path : feedbackPaths)
        path.reset();

    chainFlushCountdown = chainFlushInterval;
}

void VoiceChain::beginChunk() noexcept
{
    // The two sides are twins as long as their inputs stay equal. Not while the drive position
    // fades: the spare pair runs then.
    chainTwins = ! drivePositionFade.isFading() && mixDcBlockers[1].hasSameStateAs (mixDcBlockers[0])
              && feedbackPaths[1].hasSameStateAs (feedbackPaths[0]) && driveStages[1].hasSameStateAs (driveStages[0])
              && filterStages[1].hasSameStateAs (filterStages[0]);
}

void VoiceChain::endChunk() noexcept
{
    if (chainTwins)
        catchUpRightChain();
}

void VoiceChain::render (const Stretch& stretch, float* outLeft, float* outRight) noexcept
{
    if (runChainStretch (stretch, outLeft, outRight))
        return;

    for (int k = 0; k < stretch.count; ++k)
    {
        // A settled chain hears the same frame all along the stretch.
        if (k == 0 || ! stretch.settled)
            applyChainFrame (stretch.frames[k]);

        for (int i = 2 * k; i < 2 * k + 2; ++i)
            renderChainSample (stretch.left[i], stretch.right[i], stretch.sub[i], outLeft[i], outRight[i]);

        // The chain's memories are flushed every 16 base-rate samples rather than on every
        // sample: often enough that a decaying one never reaches the denormals and a bad
        // value never stays. Counted across chunks, so that the host's block size never moves it.
        if (--chainFlushCountdown <= 0)
        {
            flushChainMemories();
            chainFlushCountdown = chainFlushInterval;
        }
    }
}

void VoiceChain::refreshSwitches (const Switches& switches) noexcept
{
    const auto driveMode = switches.driveMode;

    if (driveMode != driveStages[0].getMode())
        for (auto* stages : { &driveStages, &spareDriveStages })
            for (auto& stage : *stages)
                stage.setMode (driveMode, true);

    const auto filterModel = switches.filterModel;

    if (filterModel != filterStages[0].getModel())
        for (auto* stages : { &filterStages, &spareFilterStages })
            for (auto& stage : *stages)
                stage.setModel (filterModel, true);

    const auto position = std::clamp (switches.drivePosition, 0, 1);

    if (position != drivePositionFade.getTarget())
        startDrivePositionFade (position);

    const auto routing = std::clamp (switches.subRouting, 0, 1);

    if (routing != subRoutingFade.getTarget())
    {
        if (! subRoutingLagging)
            subRoutingLag.fill (subRoutingFade.weight (0));

        subRoutingLagging = true;
        subRoutingFade.fadeTo (routing);
    }
}

void VoiceChain::startDrivePositionFade (int position) noexcept
{
    // From rest the spare pair takes the main pair's curves and models (and any fade between
    // them) with cleared signal states. A copy of the main pair's states would be wrong for the
    // new order, whose filter hears the signal before or after the drive's gain.
    if (! drivePositionFade.isFading())
    {
        spareDriveStages = driveStages;
        spareFilterStages = filterStages;

        for (auto& stage : spareDriveStages)
            stage.reset();

        for (auto& stage : spareFilterStages)
            stage.reset();

        spareOrder = position;
    }

    drivePositionFade.fadeTo (position);
}

void VoiceChain::applyChainFrame (const ChainFrame& frame) noexcept
{
    drivePostGain = frame.drivePost;
    driveMixAmount = frame.driveMix;
    filterBlend = frame.filterBlend;
    feedbackAmount = frame.feedbackAmount;
    chainFeedbackCoefficient = frame.feedbackCoefficient;
    subSend = frame.subSend;

    // A sounding phase stage spread apart hears different settings on each side.
    if (chainTwins && frame.phaseSpread != 0.0f && filterStages[0].isPhaseStageSounding())
    {
        catchUpRightChain();
        chainTwins = false;
    }

    // The left phase stage sits up to an octave lower, the right one up to an octave higher.
    for (size_t side = 0; side < 2; ++side)
    {
        const auto offset = side == 0 ? -frame.phaseSpread : frame.phaseSpread;
        applyChainSettings (driveStages[side], filterStages[side], frame, offset);

        // The pair fading in with the new drive position hears the same settings, so the new
        // order does not start from the values it had when it was last swapped out.
        if (drivePositionFade.isFading())
            applyChainSettings (spareDriveStages[side], spareFilterStages[side], frame, offset);
    }

    feedbackPositionFade.fadeTo (frame.feedbackAfterFilter ? 1 : 0);
}

void VoiceChain::applyChainSettings (DriveStage& driveStage, FilterStage& filterStage, const ChainFrame& frame,
                                      float phaseOffset) noexcept
{
    driveStage.setGain (frame.drivePre);
    applyFilterSettings (filterStage, frame, phaseOffset);
}

void VoiceChain::applyFilterSettings (FilterStage& filterStage, const ChainFrame& frame, float phaseOffset) noexcept
{
    filterStage.setCutoff (frame.cutoff);
    applyFilterShape (filterStage, frame);
    filterStage.setPhaseOffset (phaseOffset);
}

using chain_sample::ChainSide;
using chain_sample::chainSample;
using Step = chain_sample::Step<float>;

namespace
{
// One side while the drive position fades: both orders run, one on the main pair and one on the
// spare pair, around the one feedback memory.
struct FadingSide : ChainSide
{
    static constexpr bool mayLoop = false;

    DriveStage& spareDrive;
    FilterStage& spareFilter;
    int mainOrder, spareOrder;
    float mainShare;

    float stages (float x, const Step& f, int) noexcept
    {
        const auto fromMain = chain_sample::driveAndFilter (*this, x, f, mainOrder);
        ChainSide spare { dc, feedback, spareDrive, spareFilter };
        const auto fromSpare = chain_sample::driveAndFilter (spare, x, f, spareOrder);
        return fromSpare + mainShare * (fromMain - fromSpare);
    }
};
} // namespace

// The sub's share sent through drive and filter and its share around them, for the next sample.
QUILLON_ALWAYS_INLINE inline VoiceChain::SubShares VoiceChain::nextSubShares() noexcept
{
    if (subRoutingLagging)
    {
        // While the routing fades, the part of the sub that still comes out of the filter lags
        // the send by the filter's delay; the direct part follows that lag, not the send itself,
        // or the two would add up to more than the sub for a few milliseconds.
        const auto share = subRoutingFade.weight (0);
        subRoutingFade.advance();
        const auto g = filterStages[0].getModel() == FilterStage::phase ? 1.0f : filterStages[0].getPoleGain();
        auto lagged = share;

        for (auto& pole : subRoutingLag)
        {
            const auto v = (lagged - pole) * g;
            lagged = v + pole;
            pole = lagged + v;
        }

        lagged = share + filterBlend * (lagged - share);
        subRoutingLagging = subRoutingFade.isFading() || std::abs (lagged - share) > 1.0e-5f;
        return { subSend * share, 1.0f - subSend * lagged };
    }

    if (subRoutingFade.getTarget() == 1)
        return { 0.0f, 1.0f };

    return { subSend, 1.0f - subSend };
}

void VoiceChain::renderChainSample (float mixL, float mixR, float sub, float& left, float& right) noexcept
{
    // Sides that part bring the right one up to date; it then runs on its own to the chunk's end.
    if (chainTwins && mixL != mixR)
    {
        catchUpRightChain();
        chainTwins = false;
    }

    // Sub routing: how much of the sub goes through drive and filter, how much around them.
    const auto [send, direct] = nextSubShares();
    // Feedback from the previous 2x sample goes in before the drive or after the filter.
    const auto postShare = feedbackPositionFade.weight (1);
    feedbackPositionFade.advance();
    const auto f = Step::of (feedbackAmount, postShare, send, direct, driveMixAmount, drivePostGain, filterBlend,
                             chainFeedbackCoefficient);

    if (drivePositionFade.isFading())
    {
        const auto mainShare = drivePositionFade.weight (mainOrder);
        const auto fading = [&] (size_t side)
        {
            return FadingSide { { mixDcBlockers[side], feedbackPaths[side], driveStages[side], filterStages[side] },
                                spareDriveStages[side], spareFilterStages[side], mainOrder, spareOrder, mainShare };
        };
        auto leftSide = fading (0), rightSide = fading (1);
        left = chainSample (leftSide, mixL, sub, f, mainOrder);
        right = chainSample (rightSide, mixR, sub, f, mainOrder);
        drivePositionFade.advance();

        if (! drivePositionFade.isFading() && drivePositionFade.getTarget() != mainOrder)
        {
            std::swap (driveStages, spareDriveStages);
            std::swap (filterStages, spareFilterStages);
            std::swap (mainOrder, spareOrder);
        }

        return;
    }

    ChainSide leftSide { mixDcBlockers[0], feedbackPaths[0], driveStages[0], filterStages[0] };
    left = chainSample (leftSide, mixL, sub, f, mainOrder);

    if (chainTwins)
    {
        right = left;
        return;
    }

    ChainSide rightSide { mixDcBlockers[1], feedbackPaths[1], driveStages[1], filterStages[1] };
    right = chainSample (rightSide, mixR, sub, f, mainOrder);
}

void VoiceChain::flushChainMemories() noexcept
{
    for (auto& path : feedbackPaths)
        path.flushStates();

    for (auto& blocker : mixDcBlockers)
        blocker.flushStates();

    for (auto* stages : { &filterStages, &spareFilterStages })
        for (auto& stage : *stages)
            stage.flushStates();
}

void VoiceChain::catchUpRightChain() noexcept
{
    mixDcBlockers[1] = mixDcBlockers[0];
    feedbackPaths[1] = feedbackPaths[0];
    driveStages[1] = driveStages[0];
    filterStages[1].copySignalStateFrom (filterStages[0]);
}

} // namespace quillon
