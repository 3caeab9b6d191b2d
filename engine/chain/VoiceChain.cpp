#include "engine/chain/VoiceChain.h"
#include "engine/core/VoiceMath.h"
#include "engine/chain/ChainLanes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

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
        path.reset();
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

namespace
{
// The diode's output gain, the drive mix and the post gain go into the phase stage's own, and
// the curve's straight line past its table into the part that does not wait on the table.
QUILLON_ALWAYS_INLINE inline float diodeIntoPhaseStage (DriveStage& drive, FilterStage& filter, float x, float mixAmount,
                                                       float postGain, float blend) noexcept
{
    const auto parts = drive.diodeRaw (x);
    const auto scale = mixAmount * (postGain * drive.getDiodeOut());
    return filter.processBlended ((x - mixAmount * x) + scale * parts.beyond, scale, parts.piece, blend);
}

struct LoopSettings
{
    float pre, post, mixAmount, postGain, blend, coefficient;
    bool captured;
};

// The same with the feedback around it: the pre-feedback goes straight into the diode's table
// index and the memory's next value follows the curve's output through one multiply-add, so that
// from one 2x sample to the next the loop waits on the table and little else. `in` is the drive's
// input before the feedback; what comes back is the output before the sub's direct part.
QUILLON_ALWAYS_INLINE inline float diodePhaseLoop (DriveStage& drive, FilterStage& filter, FeedbackPath& fb, float in,
                                                  const LoopSettings& s) noexcept
{
    const auto memory = fb.getMemory();
    const auto toTable = drive.getDiodeToTable();
    auto x = in;
    auto t = in * toTable + DiodeKnee::centre;

    if (s.pre != 0.0f)
    {
        x = x + s.pre * memory;
        t = t + (s.pre * toTable) * memory;
    }

    const auto parts = drive.diodeRawAt (x, t);
    const auto scale = s.mixAmount * (s.postGain * drive.getDiodeOut());
    const auto line = filter.processBlendedLine ((x - s.mixAmount * x) + scale * parts.beyond, scale, parts.piece, s.blend);
    const auto raw = line.slope * parts.piece + line.fixed;
    const auto loud = std::abs (raw) >= 1.0e-15f;
    auto y = loud ? raw : 0.0f;
    auto fixed = line.fixed;

    if (s.post != 0.0f)
    {
        y = y + s.post * memory;
        fixed = fixed + s.post * memory;
    }

    if (! s.captured)
        fb.reset();
    else if (loud)
        fb.takeNext (((1.0f - s.coefficient) * memory + s.coefficient * fixed) + (s.coefficient * line.slope) * parts.piece);
    else
        fb.takeNext ((1.0f - s.coefficient) * memory + s.coefficient * y);

    return y;
}
} // namespace

float VoiceChain::runChain (DriveStage& driveStage, FilterStage& filterStage, int position, float x) noexcept
{
    if (position == 0 && driveStage.actsAsWholeDiode() && filterStage.runsPhaseStageAlone())
        return diodeIntoPhaseStage (driveStage, filterStage, x, driveMixAmount, drivePostGain, filterBlend);

    const auto drive = [this, &driveStage] (float v) { return v + driveMixAmount * (driveStage.process (v) * drivePostGain - v); };
    const auto filter = [this, &filterStage] (float v) { return filterStage.processBlended (v, filterBlend); };

    return position == 0 ? filter (drive (x)) : drive (filter (x));
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
    auto send = subSend, direct = 1.0f - subSend;

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
        send = subSend * share;
        direct = 1.0f - subSend * lagged;
        subRoutingLagging = subRoutingFade.isFading() || std::abs (lagged - share) > 1.0e-5f;
    }
    else if (subRoutingFade.getTarget() == 1)
    {
        send = 0.0f;
        direct = 1.0f;
    }

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

// The chain over a whole stretch while nothing in it fades: its stages run on local copies, whose
// states the compiler can keep in registers from sample to sample instead of storing and loading
// them again around every output it writes. False where the sample-by-sample path must run.
bool VoiceChain::runChainStretch (const Stretch& s, float* outLeft, float* outRight) noexcept
{
    const auto count = s.count;
    const auto* chainFrames = s.frames;
    const auto* sourceLeft = s.left;
    const auto* sourceRight = s.right;

    if (dsp::exactReference || ! s.shortcuts || count <= 0 || drivePositionFade.isFading() || subRoutingLagging)
        return false;

    applyChainFrame (chainFrames[0]);

    if (feedbackPositionFade.isFading())
        return false;

    if (chainTwins)
    {
        // Twins stay twins only while both sides hear the same: else the right side must be
        // brought up to date at the sample where they part.
        for (int i = 0; i < 2 * count; ++i)
            if (sourceLeft[(size_t) i] != sourceRight[(size_t) i])
                return false;

        if (filterStages[0].isPhaseStageSounding())
            for (int k = 1; k < count; ++k)
                if (chainFrames[(size_t) k].phaseSpread != 0.0f)
                    return false;

        if (! runLinearChainStretch<true> (s, outLeft, outRight))
            runChainStretchWith<true> (s, outLeft, outRight);
    }
    else if (! runLinearChainStretch<false> (s, outLeft, outRight))
    {
        runChainStretchWith<false> (s, outLeft, outRight);
    }

    // What the sample-by-sample path would hold after the stretch's last frame.
    const auto& last = chainFrames[(size_t) (s.settled ? 0 : count - 1)];
    drivePostGain = last.drivePost;
    driveMixAmount = last.driveMix;
    filterBlend = last.filterBlend;
    feedbackAmount = last.feedbackAmount;
    chainFeedbackCoefficient = last.feedbackCoefficient;
    subSend = last.subSend;
    return true;
}

#if QUILLON_CHAIN_LANES
// Whether any value of `a` but the cutoff and the drive's gains differs from `b`'s, bit for bit
// (a zero that changed its sign only costs a retake).
QUILLON_ALWAYS_INLINE inline bool VoiceChain::movedBeyondCutoffAndGains (const ChainFrame& a, const ChainFrame& b) noexcept
{
    static_assert (offsetof (ChainFrame, drivePre) == 0 && offsetof (ChainFrame, drivePost) == 4
                   && offsetof (ChainFrame, cutoff) == 16 && offsetof (ChainFrame, subSend) == 44);
    const auto* pa = reinterpret_cast<const __m128i*> (&a);
    const auto* pb = reinterpret_cast<const __m128i*> (&b);
    const auto same = [pa, pb] (int i)
    {
        return _mm_movemask_ps (_mm_castsi128_ps (_mm_cmpeq_epi32 (_mm_loadu_si128 (pa + i), _mm_loadu_si128 (pb + i))));
    };
    return ((same (0) & 0xC) | ((same (1) & 0xE) << 4) | (same (2) << 8)) != 0xFEC;
}
#endif

template <bool twins>
void VoiceChain::runChainStretchWith (const Stretch& s, float* outLeft, float* outRight) noexcept
{
    const auto count = s.count;
    const auto* chainFrames = s.frames;
    const auto chainSettled = s.settled;
    const auto* sourceLeft = s.left;
    const auto* sourceRight = s.right;
    const auto* sourceSub = s.sub;
#if QUILLON_CHAIN_LANES
    // Sides that differ run side by side in lanes wherever their drive and low-pass settings agree
    // (the phase stage's offset is all that tells them apart) and nothing fades: a loop for each
    // filter model and stage order, the states held in lanes from sample to sample.
    if constexpr (! twins)
    {
        // A linear low-pass works in groups of four samples, which the lanes leave to it: they
        // take a ladder or state model only where its resonance holds it non-linear all along.
        const auto filterModel = filterStages[0].getModel();
        auto nonLinear = ! filterStages[0].isInGroup() && ! filterStages[1].isInGroup();

        if (filterModel == FilterStage::ladder || filterModel == FilterStage::state)
            for (int k = 0; k < (chainSettled ? 1 : count) && nonLinear; ++k)
                nonLinear = chainFrames[(size_t) k].resonance != 0.0f;

        if (nonLinear && chain_lanes::sidesFitLanes (driveStages[0], driveStages[1], filterStages[0], filterStages[1]))
        {
            const auto run = [this, count, outLeft, outRight, chainFrames, chainSettled, sourceLeft, sourceRight, sourceSub] (
                                 auto modelTag, auto orderTag) QUILLON_HOT_CLONES
            {
                using chain_lanes::Float4;
                using chain_lanes::leftOf;
                using chain_lanes::pair;
                using chain_lanes::rightOf;
                constexpr int model = decltype (modelTag)::value;
                constexpr int order = decltype (orderTag)::value;
                constexpr bool lowpass = chain_lanes::LowpassLanes::runs (model);

                auto& filter0 = filterStages[0];
                auto& filter1 = filterStages[1];
                auto& drive0 = driveStages[0];
                auto& drive1 = driveStages[1];
                const auto settled = chainSettled;
                const auto postShare = feedbackPositionFade.weight (1);
                const auto subThrough = subRoutingFade.getTarget() != 1;

                auto dcIn = pair (mixDcBlockers[0].getPreviousInput(), mixDcBlockers[1].getPreviousInput());
                auto dcOut = pair (mixDcBlockers[0].getPreviousOutput(), mixDcBlockers[1].getPreviousOutput());
                const auto dcCoefficient = pair (mixDcBlockers[0].getCoefficient(), mixDcBlockers[1].getCoefficient());
                auto memory = pair (feedbackPaths[0].getMemory(), feedbackPaths[1].getMemory());
                chain_lanes::DriveLanes drive;
                drive.takeSettings (drive0);
                drive.previous = pair (drive0.getPreviousInput(), drive1.getPreviousInput());
                chain_lanes::LowpassLanes poles;

                if constexpr (lowpass)
                {
                    poles.takeSettings (filter0);
                    poles.takeStates (filter0, filter1);
                }

                chain_lanes::PhaseLanes phases;

                if constexpr (model == FilterStage::phase)
                {
                    phases.takeSettings (filter0.getPhaseStage(), filter1.getPhaseStage(), chainFrames[0].filterBlend);
                    phases.takeStates (filter0.getPhaseStage(), filter1.getPhaseStage());
                    phases.takeAnchors (filter0.getPhaseStage(), filter1.getPhaseStage());
                }

                // A frame's values in lanes, taken up anew only where the frames move.
                struct FrameLanes
                {
                    Float4 send, direct, pre, post, mixAmount, postGain, blend, coefficient, remaining;
                    bool preOn, postOn, captured;
                };

                const auto lanesFor = [postShare, subThrough] (const ChainFrame& frame)
                {
                    const auto preFeedback = frame.feedbackAmount * (1.0f - postShare);
                    const auto postFeedback = frame.feedbackAmount * postShare;
                    return FrameLanes { Float4 (subThrough ? frame.subSend : 0.0f), Float4 (subThrough ? 1.0f - frame.subSend : 1.0f),
                                        Float4 (preFeedback), Float4 (postFeedback), Float4 (frame.driveMix),
                                        Float4 (frame.drivePost), Float4 (frame.filterBlend), Float4 (frame.feedbackCoefficient),
                                        Float4 (1.0f - frame.feedbackCoefficient), preFeedback != 0.0f, postFeedback != 0.0f, frame.feedbackAmount != 0.0f };
                };

                auto f = lanesFor (chainFrames[0]);
                const auto memoryLimit = chain_lanes::held (FeedbackPath::memoryLimit);
                const auto silence = chain_lanes::held (1.0e-15f);

                // The phase stage's slopes while its coefficients and input scale hold, and the
                // feedback memory's slope with them where the diode feeds the stage.
                chain_lanes::PhaseLanes::Slopes phaseSlopes {};
                Float4 memorySlope (0.0f);
                auto restingStatesDue = false;

                const auto driven = [&] (Float4 v) QUILLON_ALWAYS_INLINE { return v + f.mixAmount * (drive.process (v) * f.postGain - v); };
                const auto filtered = [&] (Float4 v) QUILLON_ALWAYS_INLINE
                {
                    Float4 y;

                    if constexpr (model == FilterStage::phase)
                        return phases.process (v, phaseSlopes, silence);
                    else if constexpr (lowpass)
                        y = poles.template process<model> (v, silence);
                    else
                        y = chain_lanes::silenceBelowFloor (v, silence);

                    return v + f.blend * (y - v);
                };

                const auto side = [&] (Float4 mix, Float4 sub) QUILLON_ALWAYS_INLINE
                {
                    auto x = (mix + dcOut - dcIn) * dcCoefficient;
                    dcIn = mix;
                    dcOut = x;
                    x = x + sub * f.send;

                    if constexpr (model == FilterStage::phase && order == 0)
                    {
                        // As diodePhaseLoop has it.
                        if (drive.actsAsWholeDiode())
                        {
                            auto t = x * drive.diodeToTable + Float4 (DiodeKnee::centre);

                            if (f.preOn)
                            {
                                x = x + f.pre * memory;
                                t = t + (f.pre * drive.diodeToTable) * memory;
                            }

                            Float4 beyond, fixed, slope;
                            const auto piece = drive.diodeRawAt (x, t, beyond);
                            const auto scale = phaseSlopes.scale;
                            phases.line ((x - f.mixAmount * x) + scale * beyond, phaseSlopes, piece, fixed, slope);
                            const auto raw = slope * piece + fixed;
                            const auto loud = chain_lanes::magnitude (raw) >= silence;
                            const auto allLoud = (_mm_movemask_ps (loud.v) & 3) == 3;
                            auto y = allLoud ? raw : dsp::keep (loud, raw);

                            if (f.postOn)
                            {
                                y = y + f.post * memory;
                                fixed = fixed + f.post * memory;
                            }

                            if (f.captured)
                            {
                                auto next = (f.remaining * memory + f.coefficient * fixed) + memorySlope * piece;

                                if (! allLoud)
                                    next = dsp::select (loud, next, f.remaining * memory + f.coefficient * y);

                                memory = chain_lanes::limitRarely (next, memoryLimit);
                            }
                            else
                            {
                                memory = Float4 (0.0f);
                            }

                            return chain_lanes::flushTiny (y + sub * f.direct);
                        }
                    }

                    if (f.preOn)
                        x = x + f.pre * memory;

                    auto y = order == 0 ? filtered (driven (x)) : driven (filtered (x));

                    if (f.postOn)
                        y = y + f.post * memory;

                    // Unheard, the memory rests at zero.
                    memory = f.captured ? chain_lanes::limitRarely (f.remaining * memory + f.coefficient * y, memoryLimit)
                                        : Float4 (0.0f);
                    return chain_lanes::flushTiny (y + sub * f.direct);
                };

                for (int k = 0; k < count; ++k)
                {
                    if (k > 0 && ! settled)
                    {
                        const auto& frame = chainFrames[(size_t) k];
                        const auto& before = chainFrames[(size_t) k - 1];
                        auto expanded = false;

                        // Mostly only the cutoff and the drive's gains move from frame to frame;
                        // what did not move is not taken up again.
                        const auto othersMoved = movedBeyondCutoffAndGains (frame, before);

                        if constexpr (model == FilterStage::phase)
                        {
                            // Within the cell the lanes' expansions were taken at, and with the
                            // offsets where they were, the stages' own cutoffs, coefficients and
                            // the drive's gain wait for the stretch's end.
                            const auto& left = filter0.getPhaseStage();
                            const auto& right = filter1.getPhaseStage();
                            // The offsets were taken within 1e-5 of the frame before's spread.
                            const auto hz = left.clampCutoff (frame.cutoff);
                            expanded = phases.expandsAt (hz)
                                    && (! othersMoved || (std::abs (-frame.phaseSpread - left.getOffset()) < 1.0e-5f
                                                          && std::abs (frame.phaseSpread - right.getOffset()) < 1.0e-5f));

                            if (expanded)
                            {
                                if (othersMoved)
                                    for (auto* filter : { &filter0, &filter1 })
                                    {
                                        filter->setResonance (frame.resonance);
                                        filter->setPhaseMix (frame.phaseMix);
                                        filter->setPhaseNotch (frame.phaseNotch);
                                    }

                                phases.takeExpandedSettings (hz, left, right, frame.filterBlend, othersMoved);

                                if (frame.drivePre != before.drivePre)
                                    drive.takeGain (frame.drivePre);
                            }
                            else
                            {
                                filter0.setCutoffLeavingPhaseStage (frame.cutoff);
                                filter1.setCutoffLeavingPhaseStage (frame.cutoff);
                                filter0.catchUpPhaseStage();
                                filter1.catchUpPhaseStage();
                            }
                        }

                        if (! expanded)
                        {
                            // The right drive takes the left one's settings at the end.
                            applyChainSettings (drive0, filter0, frame, -frame.phaseSpread);
                            applyFilterSettings (filter1, frame, frame.phaseSpread);

                            if constexpr (lowpass)
                                poles.takeSettings (filter0);

                            if constexpr (model == FilterStage::phase)
                            {
                                phases.takeSettings (filter0.getPhaseStage(), filter1.getPhaseStage(), frame.filterBlend);
                                phases.takeAnchors (filter0.getPhaseStage(), filter1.getPhaseStage());
                            }
                        }

                        if (! expanded)
                            drive.takeSettings (drive0);

                        if (othersMoved)
                            f = lanesFor (frame);
                        else
                            f.postGain = Float4 (frame.drivePost);
                    }

                    // The phase stage's slopes, for the diode's scale where it feeds the stage
                    // straight, else for its whole input.
                    if constexpr (model == FilterStage::phase)
                        if (k == 0 || ! settled)
                        {
                            if (order == 0 && drive.actsAsWholeDiode())
                            {
                                phaseSlopes = phases.slopesAt (f.mixAmount * (f.postGain * drive.diodeOut));
                                memorySlope = f.coefficient * phaseSlopes.output;
                            }
                            else
                            {
                                phaseSlopes = phases.slopesAt (Float4 (1.0f));
                            }
                        }

                    // Left and right of both 2x samples, then each sample's two sides.
                    const auto i = (size_t) (2 * k);
                    const auto lefts = _mm_castpd_ps (_mm_load_sd (reinterpret_cast<const double*> (sourceLeft + i)));
                    const auto rights = _mm_castpd_ps (_mm_load_sd (reinterpret_cast<const double*> (sourceRight + i)));
                    const auto mixes = _mm_unpacklo_ps (lefts, rights);
                    const auto first = side (Float4 (mixes), Float4 (sourceSub[i]));
                    const auto second = side (Float4 (_mm_movehl_ps (mixes, mixes)), Float4 (sourceSub[i + 1]));
                    const auto out = _mm_unpacklo_ps (first.v, second.v);
                    _mm_storel_pi (reinterpret_cast<__m64*> (outLeft + i), out);
                    _mm_storeh_pi (reinterpret_cast<__m64*> (outRight + i), out);

                    filter0.countSamplesOutsideGroups (2);
                    filter1.countSamplesOutsideGroups (2);

                    if (--chainFlushCountdown <= 0)
                    {
                        memory = chain_lanes::flushTiny (memory);
                        dcIn = chain_lanes::flushTiny (dcIn);
                        dcOut = chain_lanes::flushTiny (dcOut);

                        if constexpr (lowpass)
                            poles.flushStates();

                        if constexpr (model == FilterStage::phase)
                            phases.flushStates();

                        // The stages' own states rest while the lanes hold theirs: flushed
                        // once after the loop, they end as they would have here.
                        restingStatesDue = true;
                        chainFlushCountdown = chainFlushInterval;
                    }
                }

                if (restingStatesDue)
                {
                    filter0.flushStates();
                    filter1.flushStates();

                    for (auto& stage : spareFilterStages)
                        stage.flushStates();
                }

                if (! settled)
                {
                    const auto& last = chainFrames[(size_t) count - 1];
                    drive0.setGain (last.drivePre);

                    if constexpr (model == FilterStage::phase)
                    {
                        filter0.setCutoffLeavingPhaseStage (last.cutoff);
                        filter1.setCutoffLeavingPhaseStage (last.cutoff);
                    }
                }

                mixDcBlockers[0].setStates (leftOf (dcIn), leftOf (dcOut));
                mixDcBlockers[1].setStates (rightOf (dcIn), rightOf (dcOut));
                feedbackPaths[0].setMemory (leftOf (memory));
                feedbackPaths[1].setMemory (rightOf (memory));
                drive1 = drive0;
                drive0.setPreviousInput (leftOf (drive.previous));
                drive1.setPreviousInput (rightOf (drive.previous));

                if constexpr (lowpass)
                    poles.giveStates (filter0, filter1);

                if constexpr (model == FilterStage::phase)
                {
                    phases.giveStates (filter0.getPhaseStage(), filter1.getPhaseStage());
                    filter0.catchUpPhaseStage();
                    filter1.catchUpPhaseStage();
                }
            };

            const auto runOrder = [this, &run] (auto modelTag)
            {
                if (mainOrder == 0)
                    run (modelTag, std::integral_constant<int, 0>());
                else
                    run (modelTag, std::integral_constant<int, 1>());
            };

            switch (filterModel)
            {
                case FilterStage::ladder: runOrder (std::integral_constant<int, FilterStage::ladder>()); break;
                case FilterStage::diode:  runOrder (std::integral_constant<int, FilterStage::diode>()); break;
                case FilterStage::state:  runOrder (std::integral_constant<int, FilterStage::state>()); break;
                case FilterStage::phase:  runOrder (std::integral_constant<int, FilterStage::phase>()); break;
                default:                  runOrder (std::integral_constant<int, FilterStage::numModels>()); break;
            }

            return;
        }
    }
#endif

    auto dc0 = mixDcBlockers[0], dc1 = mixDcBlockers[1];
    auto fb0 = feedbackPaths[0], fb1 = feedbackPaths[1];
    auto drive0 = driveStages[0], drive1 = driveStages[1];
    auto filter0 = filterStages[0], filter1 = filterStages[1];
    const auto order = mainOrder;
    const auto postShare = feedbackPositionFade.weight (1);
    const auto subThrough = subRoutingFade.getTarget() != 1;

    for (int k = 0; k < count; ++k)
    {
        const auto& frame = chainFrames[(size_t) (chainSettled ? 0 : k)];

        if (k > 0 && ! chainSettled)
        {
            applyChainSettings (drive0, filter0, frame, -frame.phaseSpread);

            if constexpr (! twins)
                applyChainSettings (drive1, filter1, frame, frame.phaseSpread);
        }

        const auto send = subThrough ? frame.subSend : 0.0f;
        const auto direct = subThrough ? 1.0f - frame.subSend : 1.0f;
        const auto preFeedback = frame.feedbackAmount * (1.0f - postShare);
        const auto postFeedback = frame.feedbackAmount * postShare;
        const auto mixAmount = frame.driveMix, postGain = frame.drivePost, blend = frame.filterBlend;
        const auto coefficient = frame.feedbackCoefficient;

        const LoopSettings loop { preFeedback, postFeedback, mixAmount, postGain, blend, coefficient, frame.feedbackAmount != 0.0f };

        const auto side = [&] (OnePoleHighPass& dc, FeedbackPath& fb, DriveStage& drive, FilterStage& filter,
                               float mix, float sub) QUILLON_ALWAYS_INLINE
        {
            auto x = dc.processUnflushed (mix) + sub * send;

            if (order == 0 && drive.actsAsWholeDiode() && filter.runsPhaseStageAlone())
                return dsp::flushTiny (diodePhaseLoop (drive, filter, fb, x, loop) + sub * direct);

            if (preFeedback != 0.0f)
                x += preFeedback * fb.getMemory();

            const auto driven = [&] (float v) QUILLON_ALWAYS_INLINE { return v + mixAmount * (drive.process (v) * postGain - v); };
            const auto filtered = [&] (float v) QUILLON_ALWAYS_INLINE { return filter.processBlended (v, blend); };
            auto y = order == 0 ? filtered (driven (x)) : driven (filtered (x));

            if (postFeedback != 0.0f)
                y += postFeedback * fb.getMemory();

            if (frame.feedbackAmount != 0.0f)
                fb.captureUnflushed (y, coefficient);
            else
                fb.reset();

            return dsp::flushTiny (y + sub * direct);
        };

        for (int i = 2 * k; i < 2 * k + 2; ++i)
        {
            const auto sub = sourceSub[(size_t) i];
            outLeft[i] = side (dc0, fb0, drive0, filter0, sourceLeft[(size_t) i], sub);
            outRight[i] = twins ? outLeft[i] : side (dc1, fb1, drive1, filter1, sourceRight[(size_t) i], sub);
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
        if (! chainSettled)
        {
            const auto& last = chainFrames[(size_t) count - 1];
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
    const auto count = s.count;
    const auto* chainFrames = s.frames;
    const auto chainSettled = s.settled;
    const auto* sourceLeft = s.left;
    const auto* sourceRight = s.right;
    const auto* sourceSub = s.sub;
    const auto& frame = chainFrames[0];
    constexpr auto sides = twins ? 1 : 2;

    if (! chainSettled || frame.feedbackAmount != 0.0f)
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
    for (int done = 0; done < count;)
    {
        const auto length = std::min (count - done, chainFlushCountdown);
        const auto from = 2 * done, n = 2 * length;
        const auto* sub = sourceSub + from;

        // Both sides' DC blockers in one loop: each waits on its own last output, and side by
        // side the two recursions overlap instead of running one after the other.
        if constexpr (twins)
        {
            for (int i = 0; i < n; ++i)
                blocked[0][i] = mixDcBlockers[0].processUnflushed (sourceLeft[(size_t) (from + i)]) + sub[i] * send;
        }
        else
        {
            auto dc0 = mixDcBlockers[0], dc1 = mixDcBlockers[1];

            for (int i = 0; i < n; ++i)
            {
                blocked[0][i] = dc0.processUnflushed (sourceLeft[(size_t) (from + i)]) + sub[i] * send;
                blocked[1][i] = dc1.processUnflushed (sourceRight[(size_t) (from + i)]) + sub[i] * send;
            }

            mixDcBlockers[0] = dc0;
            mixDcBlockers[1] = dc1;
        }

        for (int side = 0; side < sides; ++side)
        {
            auto* x = blocked[side];
            auto& drive = driveStages[(size_t) side];
            auto* out = (side == 0 ? outLeft : outRight) + from;

            // The straight drive: the curve passes its input within the limit.
            const auto driven = [&]
            {
                drive.setPreviousInput (DriveStage::limitInput (x[n - 1]));

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
