#include "engine/chain/VoiceChain.h"
#include "engine/core/VoiceMath.h"
#include "engine/chain/ChainSteps.h"

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
    filterStage.setResonance (frame.resonance);
    filterStage.setPhaseMix (frame.phaseMix);
    filterStage.setPhaseNotch (frame.phaseNotch);
    filterStage.setPhaseOffset (phaseOffset);
}

using chain_steps::diodeIntoPhaseStage;
using chain_steps::diodePhaseLoop;
using chain_steps::LoopSettings;


float VoiceChain::runChain (DriveStage& driveStage, FilterStage& filterStage, int position, float x) noexcept
{
    if (position == 0 && driveStage.actsAsWholeDiode() && filterStage.runsPhaseStageAlone())
        return diodeIntoPhaseStage (driveStage, filterStage, x, driveMixAmount, drivePostGain, filterBlend);

    const auto drive = [this, &driveStage] (float v) { return v + driveMixAmount * (driveStage.process (v) * drivePostGain - v); };
    const auto filter = [this, &filterStage] (float v) { return filterStage.processBlended (v, filterBlend); };

    return position == 0 ? filter (drive (x)) : drive (filter (x));
}

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

void VoiceChain::renderChainSample (float mixL, float mixR, float subL, float& left, float& right) noexcept
{
    const auto subR = subL;

    // Sides that part bring the right one up to date; it then runs on its own to the chunk's end.
    if (chainTwins && mixL != mixR)
    {
        catchUpRightChain();
        chainTwins = false;
    }

    mixL = mixDcBlockers[0].processUnflushed (mixL);
    mixR = chainTwins ? mixL : mixDcBlockers[1].processUnflushed (mixR);

    // Sub routing: how much of the sub goes through drive and filter, how much around them.
    const auto [send, direct] = nextSubShares();

    // Feedback from the previous 2x sample goes in before the drive or after the filter.
    const auto postShare = feedbackPositionFade.weight (1);
    feedbackPositionFade.advance();
    const auto preFeedback = feedbackAmount * (1.0f - postShare);
    const auto postFeedback = feedbackAmount * postShare;
    // Without feedback the memory stays out of the input, so that the chain's samples do not wait
    // on one another through it.
    float inputs[] = { mixL + subL * send, mixR + subR * send };
    const float dryInputs[] = { inputs[0], inputs[1] };
    const LoopSettings loop { preFeedback, postFeedback, driveMixAmount, drivePostGain, filterBlend, chainFeedbackCoefficient,
                              feedbackAmount != 0.0f };
    const auto loops = [this] (size_t side)
    {
        return ! drivePositionFade.isFading() && mainOrder == 0 && driveStages[side].actsAsWholeDiode()
            && filterStages[side].runsPhaseStageAlone();
    };
    const bool looped[] = { loops (0), loops (1) };

    if (preFeedback != 0.0f)
    {
        inputs[0] += preFeedback * feedbackPaths[0].getMemory();
        inputs[1] += preFeedback * feedbackPaths[chainTwins ? 0 : 1].getMemory();
    }

    float outputs[2];

    if (drivePositionFade.isFading())
    {
        // Both orders run for the length of the fade: one on the main pair, one on the spare pair.
        const auto mainShare = drivePositionFade.weight (mainOrder);

        for (size_t side = 0; side < 2; ++side)
        {
            const auto fromMain = runChain (driveStages[side], filterStages[side], mainOrder, inputs[side]);
            const auto fromSpare = runChain (spareDriveStages[side], spareFilterStages[side], spareOrder, inputs[side]);
            outputs[side] = fromSpare + mainShare * (fromMain - fromSpare);
        }

        drivePositionFade.advance();

        if (! drivePositionFade.isFading() && drivePositionFade.getTarget() != mainOrder)
        {
            std::swap (driveStages, spareDriveStages);
            std::swap (filterStages, spareFilterStages);
            std::swap (mainOrder, spareOrder);
        }
    }
    else
    {
        if (chainTwins)
        {
            outputs[0] = looped[0] ? diodePhaseLoop (driveStages[0], filterStages[0], feedbackPaths[0], dryInputs[0], loop)
                                   : runChain (driveStages[0], filterStages[0], mainOrder, inputs[0]);
        }
        else
        {
            // Stage by stage across both sides rather than side by side: the two sides' long
            // dependency chains (the diode's Newton steps, the allpass sections) then overlap.
            const auto drive = [this] (DriveStage& stage, float v) { return v + driveMixAmount * (stage.process (v) * drivePostGain - v); };
            const auto filter = [this] (FilterStage& stage, float v) { return stage.processBlended (v, filterBlend); };

            if (mainOrder == 0 && driveStages[0].actsAsWholeDiode() && filterStages[0].runsPhaseStageAlone())
            {
                for (size_t side = 0; side < 2; ++side)
                    outputs[side] = looped[side] ? diodePhaseLoop (driveStages[side], filterStages[side], feedbackPaths[side],
                                                                   dryInputs[side], loop)
                                                 : runChain (driveStages[side], filterStages[side], 0, inputs[side]);
            }
            else if (mainOrder == 0)
            {
                const auto d0 = drive (driveStages[0], inputs[0]);
                const auto d1 = drive (driveStages[1], inputs[1]);
                outputs[0] = filter (filterStages[0], d0);
                outputs[1] = filter (filterStages[1], d1);
            }
            else
            {
                const auto f0 = filter (filterStages[0], inputs[0]);
                const auto f1 = filter (filterStages[1], inputs[1]);
                outputs[0] = drive (driveStages[0], f0);
                outputs[1] = drive (driveStages[1], f1);
            }
        }
    }

    for (size_t side = 0; side < (chainTwins ? 1u : 2u); ++side)
    {
        if (looped[side])
            continue;

        if (postFeedback != 0.0f)
            outputs[side] += postFeedback * feedbackPaths[side].getMemory();

        if (feedbackAmount != 0.0f)
            feedbackPaths[side].captureUnflushed (outputs[side], chainFeedbackCoefficient);
        else
            feedbackPaths[side].reset();
    }

    if (chainTwins)
        outputs[1] = outputs[0];

    // The decimator's filters would keep a value that is not a number for good.
    left = dsp::flushTiny (outputs[0] + subL * direct);
    right = dsp::flushTiny (outputs[1] + subR * direct);
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
