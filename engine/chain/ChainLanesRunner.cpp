#include "engine/chain/VoiceChain.h"
#include "engine/chain/FilterStageLanes.h"

#include <cstddef>
#include <type_traits>

// The chain's two sides side by side in lanes, wherever they differ only in their states and the
// phase stage's offset.
#if QUILLON_CHAIN_LANES
namespace quillon
{

namespace
{
// Whether any value of `a` but the cutoff and the drive's gains differs from `b`'s, bit for bit
// (a zero that changed its sign only costs a retake).
QUILLON_ALWAYS_INLINE inline bool movedBeyondCutoffAndGains (const ChainFrame& a, const ChainFrame& b) noexcept
{
    static_assert (offsetof (ChainFrame, drivePre) == 0 && offsetof (ChainFrame, drivePost) == 4
                   && offsetof (ChainFrame, cutoff) == 16 && offsetof (ChainFrame, subSend) == 44);
    const auto* pa = reinterpret_cast<const unsigned char*> (&a);
    const auto* pb = reinterpret_cast<const unsigned char*> (&b);
    const auto same = [pa, pb] (int i) { return dsp::sameBitsOf (pa + 16 * i, pb + 16 * i); };
    return ((same (0) & 0xC) | ((same (1) & 0xE) << 4) | (same (2) << 8)) != 0xFEC;
}
using dsp::Float4;

// True where both sides' drive and low-pass settings agree and neither fades: the lanes can run
// them, each with its own states.
bool sidesFitLanes (const DriveStage& drive0, const DriveStage& drive1, const FilterStage& filter0, const FilterStage& filter1) noexcept
{
    // The fold keeps quarters of its own from step to step, which only the stage runs.
    if (drive0.isFading() || drive0.getMode() == DriveStage::fold || ! drive0.hasSameSettingsAs (drive1)
        || filter0.isModelFading() || filter1.isModelFading() || filter0.getModel() != filter1.getModel())
        return false;

    return ! FilterStage::LowpassLanes::runs (filter0.getModel()) || filter0.hasSameLowpassAs (filter1);
}

// A frame's values in lanes, taken up anew only where the frames move.
struct FrameLanes
{
    Float4 send, direct, pre, post, mixAmount, postGain, blend, coefficient, remaining;
    bool preOn, postOn, captured;

    static FrameLanes of (const ChainFrame& frame, float postShare, bool subThrough) noexcept
    {
        const auto preFeedback = frame.feedbackAmount * (1.0f - postShare);
        const auto postFeedback = frame.feedbackAmount * postShare;
        return FrameLanes { Float4 (subThrough ? frame.subSend : 0.0f), Float4 (subThrough ? 1.0f - frame.subSend : 1.0f),
                            Float4 (preFeedback), Float4 (postFeedback), Float4 (frame.driveMix),
                            Float4 (frame.drivePost), Float4 (frame.filterBlend), Float4 (frame.feedbackCoefficient),
                            Float4 (1.0f - frame.feedbackCoefficient), preFeedback != 0.0f, postFeedback != 0.0f, frame.feedbackAmount != 0.0f };
    }
};

// chain_steps::diodePhaseLoop for both sides: x is the drive's input before the feedback, and
// what comes back the output before the sub's direct part; memoryDc is the loop's DC.
QUILLON_ALWAYS_INLINE inline Float4 diodePhaseLoopInLanes (Float4 x, DriveStage::Lanes& drive, PhaseStage::Lanes& phases,
                                                          const PhaseStage::Lanes::Slopes& phaseSlopes, Float4 memorySlope,
                                                          const FrameLanes& f, Float4& memory, Float4& memoryDc, Float4 silence,
                                                          Float4 memoryLimit) noexcept
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
    const auto loud = dsp::abs (raw) >= silence;
    const auto allLoud = (dsp::bitsOf (loud) & 3) == 3;
    auto y = allLoud ? raw : dsp::keep (loud, raw);

    if (f.postOn)
    {
        y = y + f.post * memory;
        fixed = fixed + f.post * memory;
    }

    if (f.captured)
    {
        auto next = (f.remaining * memory + f.coefficient * (fixed - memoryDc)) + memorySlope * piece;

        if (! allLoud)
            next = dsp::select (loud, next, f.remaining * memory + f.coefficient * (y - memoryDc));

        memory = dsp::limitRarely (next, memoryLimit);
    }
    else
    {
        memory = memoryDc = Float4 (0.0f);
    }

    return y;
}
// The phase stage's slopes, for the diode's scale where it feeds the stage straight, else for
// its whole input; and the feedback memory's slope with them.
template <int order>
QUILLON_ALWAYS_INLINE inline void takePhaseSlopes (const PhaseStage::Lanes& phases, const DriveStage::Lanes& drive,
                                                  const FrameLanes& f, PhaseStage::Lanes::Slopes& phaseSlopes,
                                                  Float4& memorySlope) noexcept
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
} // namespace

// Sides that differ run side by side in lanes wherever their drive and low-pass settings agree
// (the phase stage's offset is all that tells them apart) and nothing fades: a loop for each
// filter model and stage order, the states held in lanes from sample to sample. False where the
// lanes cannot take them.
bool VoiceChain::runSidesInLanes (const Stretch& s, float* outLeft, float* outRight) noexcept
{
    // A linear low-pass works in groups of four samples, which the lanes leave to it: they
    // take a ladder or state model only where its resonance holds it non-linear all along.
    const auto filterModel = filterStages[0].getModel();
    auto nonLinear = ! filterStages[0].isInGroup() && ! filterStages[1].isInGroup();

    if (filterModel == FilterStage::ladder || filterModel == FilterStage::state)
        for (int k = 0; k < (s.settled ? 1 : s.count) && nonLinear; ++k)
            nonLinear = s.frames[(size_t) k].resonance != 0.0f;


    if (! nonLinear || ! sidesFitLanes (driveStages[0], driveStages[1], filterStages[0], filterStages[1]))
        return false;

    const auto orderOf = [this] (auto run0, auto run1) { mainOrder == 0 ? run0() : run1(); };
    const auto run = [&] (auto modelTag)
    {
        constexpr int model = decltype (modelTag)::value;
        orderOf ([&] { runLanesStretch<model, 0> (s, outLeft, outRight); }, [&] { runLanesStretch<model, 1> (s, outLeft, outRight); });
    };

    switch (filterModel)
    {
        case FilterStage::ladder: run (std::integral_constant<int, FilterStage::ladder>()); break;
        case FilterStage::diode:  run (std::integral_constant<int, FilterStage::diode>()); break;
        case FilterStage::state:  run (std::integral_constant<int, FilterStage::state>()); break;
        case FilterStage::phase:  run (std::integral_constant<int, FilterStage::phase>()); break;
        default:                  run (std::integral_constant<int, FilterStage::numModels>()); break;
    }

    return true;
}

// Takes up a frame that follows `before` into the lanes' settings and the stages'; true where
// more than the cutoff and the drive's gains moved.
template <int model>
QUILLON_ALWAYS_INLINE inline bool VoiceChain::takeFrameInLanes (const ChainFrame& frame, const ChainFrame& before, DriveStage::Lanes& drive,
                                   FilterStage::LowpassLanes& poles, PhaseStage::Lanes& phases) noexcept
{
    constexpr bool lowpass = FilterStage::LowpassLanes::runs (model);
    auto& filter0 = filterStages[0];
    auto& filter1 = filterStages[1];
    auto& drive0 = driveStages[0];
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

    return othersMoved;
}

// The lanes' states back into the stages at the stretch's end, and the stages' settings as the
// sample-by-sample path would leave them after the last frame.
template <int model>
void VoiceChain::giveLanesBack (const Stretch& s, const DriveStage::Lanes& drive, const FilterStage::LowpassLanes& poles,
                                const PhaseStage::Lanes& phases, Float4 dcIn, Float4 dcOut, Float4 memory, Float4 memoryDc,
                                bool restingStatesDue) noexcept
{
    using dsp::leftOf;
    using dsp::rightOf;
    constexpr bool lowpass = FilterStage::LowpassLanes::runs (model);
    auto& filter0 = filterStages[0];
    auto& filter1 = filterStages[1];
    auto& drive0 = driveStages[0];
    auto& drive1 = driveStages[1];

    if (restingStatesDue)
    {
        filter0.flushStates();
        filter1.flushStates();

        for (auto& stage : spareFilterStages)
            stage.flushStates();
    }

    if (! s.settled)
    {
        const auto& last = s.last();
        drive0.setGain (last.drivePre);

        if constexpr (model == FilterStage::phase)
        {
            filter0.setCutoffLeavingPhaseStage (last.cutoff);
            filter1.setCutoffLeavingPhaseStage (last.cutoff);
        }
    }

    mixDcBlockers[0].setStates (leftOf (dcIn), leftOf (dcOut));
    mixDcBlockers[1].setStates (rightOf (dcIn), rightOf (dcOut));
    feedbackPaths[0].setMemory (leftOf (memory), leftOf (memoryDc));
    feedbackPaths[1].setMemory (rightOf (memory), rightOf (memoryDc));
    drive1 = drive0;
    drive.giveStates (drive0, drive1);

    if constexpr (lowpass)
        poles.giveStates (filter0, filter1);

    if constexpr (model == FilterStage::phase)
    {
        phases.giveStates (filter0.getPhaseStage(), filter1.getPhaseStage());
        filter0.catchUpPhaseStage();
        filter1.catchUpPhaseStage();
    }
}

// The lanes' recursions at a flush: the feedback memory hands what it holds at DC on to its
// blocker, as FeedbackPath::flushStates does.
template <int model>
QUILLON_ALWAYS_INLINE inline void flushLaneStates (Float4& memory, Float4& memoryDc, Float4 dcRate, Float4& dcIn, Float4& dcOut,
                                                   FilterStage::LowpassLanes& poles, PhaseStage::Lanes& phases) noexcept
{
    memory = dsp::flushTiny (memory);
    FeedbackPath::followDc (memory, memoryDc, dcRate);
    memoryDc = dsp::flushTiny (memoryDc);
    dcIn = dsp::flushTiny (dcIn);
    dcOut = dsp::flushTiny (dcOut);

    if constexpr (FilterStage::LowpassLanes::runs (model))
        poles.flushStates();

    if constexpr (model == FilterStage::phase)
        phases.flushStates();
}

template <int model, int order>
void VoiceChain::runLanesStretch (const Stretch& s, float* outLeft, float* outRight) noexcept
{
    using dsp::pair;
    constexpr bool lowpass = FilterStage::LowpassLanes::runs (model);

    auto& filter0 = filterStages[0];
    auto& filter1 = filterStages[1];
    auto& drive0 = driveStages[0];
    auto& drive1 = driveStages[1];
    const auto postShare = feedbackPositionFade.weight (1);
    const auto subThrough = subRoutingFade.getTarget() != 1;

    auto dcIn = pair (mixDcBlockers[0].getPreviousInput(), mixDcBlockers[1].getPreviousInput());
    auto dcOut = pair (mixDcBlockers[0].getPreviousOutput(), mixDcBlockers[1].getPreviousOutput());
    const auto dcCoefficient = pair (mixDcBlockers[0].getCoefficient(), mixDcBlockers[1].getCoefficient());
    auto memory = pair (feedbackPaths[0].getMemory(), feedbackPaths[1].getMemory());
    auto memoryDc = pair (feedbackPaths[0].getDc(), feedbackPaths[1].getDc());
    const auto dcRate = Float4 (feedbackPaths[0].getDcRate());
    DriveStage::Lanes drive;
    drive.takeSettings (drive0);
    drive.takeStates (drive0, drive1);
    FilterStage::LowpassLanes poles;

    if constexpr (lowpass)
    {
        poles.takeSettings (filter0);
        poles.takeStates (filter0, filter1);
    }

    PhaseStage::Lanes phases;

    if constexpr (model == FilterStage::phase)
    {
        phases.takeSettings (filter0.getPhaseStage(), filter1.getPhaseStage(), s.frames[0].filterBlend);
        phases.takeStates (filter0.getPhaseStage(), filter1.getPhaseStage());
        phases.takeAnchors (filter0.getPhaseStage(), filter1.getPhaseStage());
    }

    auto f = FrameLanes::of (s.frames[0], postShare, subThrough);
    const auto memoryLimit = dsp::held (FeedbackPath::memoryLimit);
    const auto silence = dsp::held (1.0e-15f);

    // The phase stage's slopes while its coefficients and input scale hold, and the
    // feedback memory's slope with them where the diode feeds the stage.
    PhaseStage::Lanes::Slopes phaseSlopes {};
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
            y = dsp::silenceBelowFloor (v, silence);

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
                return dsp::flushTiny (diodePhaseLoopInLanes (x, drive, phases, phaseSlopes, memorySlope, f, memory, memoryDc, silence,
                                                                      memoryLimit)
                                               + sub * f.direct);
        }

        if (f.preOn)
            x = x + f.pre * memory;

        auto y = order == 0 ? filtered (driven (x)) : driven (filtered (x));

        if (f.postOn)
            y = y + f.post * memory;

        // Unheard, the memory rests at zero.
        memory = f.captured ? dsp::limitRarely (f.remaining * memory + f.coefficient * (y - memoryDc), memoryLimit)
                            : Float4 (0.0f);
        memoryDc = f.captured ? memoryDc : Float4 (0.0f);
        return dsp::flushTiny (y + sub * f.direct);
    };

    for (int k = 0; k < s.count; ++k)
    {
        if (k > 0 && ! s.settled)
        {
            const auto& frame = s.frames[(size_t) k];
            const auto othersMoved = takeFrameInLanes<model> (frame, s.frames[(size_t) k - 1], drive, poles, phases);

            if (othersMoved)
                f = FrameLanes::of (frame, postShare, subThrough);
            else
                f.postGain = Float4 (frame.drivePost);
        }

        if constexpr (model == FilterStage::phase)
            if (k == 0 || ! s.settled)
                takePhaseSlopes<order> (phases, drive, f, phaseSlopes, memorySlope);

        // Left and right of both 2x samples, then each sample's two sides.
        const auto i = (size_t) (2 * k);
        const auto mixes = dsp::interleaveLow (dsp::loadLow (s.left + i), dsp::loadLow (s.right + i));
        const auto first = side (mixes, Float4 (s.sub[i]));
        const auto second = side (dsp::highHalves (mixes, mixes), Float4 (s.sub[i + 1]));
        const auto out = dsp::interleaveLow (first, second);
        dsp::storeLow (out, outLeft + i);
        dsp::storeHigh (out, outRight + i);

        filter0.countSamplesOutsideGroups (2);
        filter1.countSamplesOutsideGroups (2);

        if (--chainFlushCountdown <= 0)
        {
            flushLaneStates<model> (memory, memoryDc, dcRate, dcIn, dcOut, poles, phases);

            // The stages' own states rest while the lanes hold theirs: flushed
            // once after the loop, they end as they would have here.
            restingStatesDue = true;
            chainFlushCountdown = chainFlushInterval;
        }
    }

    giveLanesBack<model> (s, drive, poles, phases, dcIn, dcOut, memory, memoryDc, restingStatesDue);
}

} // namespace quillon
#endif
