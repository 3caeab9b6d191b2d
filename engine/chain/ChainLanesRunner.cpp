#include "engine/chain/VoiceChain.h"
#include "engine/chain/ChainSample.h"
#include "engine/chain/FilterStageLanes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// The chain's two sides side by side in lanes, wherever they differ only in their states and the
// phase stage's offset.
#if QUILLON_CHAIN_LANES
namespace quillon
{

namespace
{
// Whether any value of `a` but the cutoff and the drive's gains differs from `b`'s, bit for bit
// (a zero that changed its sign only costs a retake). The frame is read as 32-bit words, so a
// field added to it is compared without being named here.
QUILLON_ALWAYS_INLINE inline bool movedBeyondCutoffAndGains (const ChainFrame& a, const ChainFrame& b) noexcept
{
    constexpr int words = (int) (sizeof (ChainFrame) / 4);
    static_assert (sizeof (ChainFrame) % 4 == 0 && words >= 4 && words <= 32);
    constexpr auto word = [] (std::size_t offset) { return 1u << (offset / 4); };
    // The feedback's position is the chunk's, not the frame's: it holds through the lanes' stretches.
    constexpr auto compared = (words == 32 ? ~0u : (1u << words) - 1u)
                            & ~(word (offsetof (ChainFrame, cutoff)) | word (offsetof (ChainFrame, drivePre))
                                | word (offsetof (ChainFrame, drivePost)) | word (offsetof (ChainFrame, feedbackAfterFilter)));

    const auto* pa = reinterpret_cast<const unsigned char*> (&a);
    const auto* pb = reinterpret_cast<const unsigned char*> (&b);
    std::uint32_t same = 0;

    for (int w = 0; w + 4 <= words; w += 4)
        same |= (std::uint32_t) dsp::sameBitsOf (pa + 4 * w, pb + 4 * w) << w;

    if constexpr (words % 4 != 0) // the last four words, overlapping the ones before
        same |= (std::uint32_t) dsp::sameBitsOf (pa + 4 * (words - 4), pb + 4 * (words - 4)) << (words - 4);

    return (same & compared) != compared;
}
using dsp::Float4;

// True where both sides' drive and low-pass settings agree and neither fades: the lanes can run
// them, each with its own states.
bool sidesFitLanes (const DriveStage& drive0, const DriveStage& drive1, const FilterStage& filter0, const FilterStage& filter1) noexcept
{
    // The fold keeps state of its own from step to step, which only the stage runs.
    if (drive0.isFading() || drive0.getMode() == DriveStage::fold || ! drive0.hasSameSettingsAs (drive1)
        || filter0.isModelFading() || filter1.isModelFading() || filter0.getModel() != filter1.getModel())
        return false;

    return ! FilterStage::LowpassLanes::runs (filter0.getModel()) || filter0.hasSameLowpassAs (filter1);
}

using LanesStep = chain_sample::Step<Float4>;

// Both sides' chain states side by side in lanes, left in lane 0 and right in lane 1: the side
// adapter that chain_sample::chainSample runs on.
template <int model>
struct SidesInLanes
{
    static constexpr bool lowpass = FilterStage::LowpassLanes::runs (model);
    static constexpr bool mayLoop = model == FilterStage::phase;

    Float4 dcIn, dcOut, dcCoefficient, loopMemory, loopDc, dcRate;
    DriveStage::Lanes drive;
    FilterStage::LowpassLanes poles;
    PhaseStage::Lanes phases;
    // The phase stage's slopes while its coefficients and input scale hold, and the feedback
    // memory's slope with them where the diode feeds the stage.
    PhaseStage::Lanes::Slopes phaseSlopes {};
    Float4 loopSlope { 0.0f };
    Float4 floor = dsp::held (1.0e-15f), memoryLimit = dsp::held (FeedbackPath::memoryLimit);

    void take (const std::array<OnePoleHighPass, 2>& blockers, const std::array<FeedbackPath, 2>& paths,
               const std::array<DriveStage, 2>& drives, const std::array<FilterStage, 2>& filters, float blend) noexcept
    {
        using dsp::pair;
        dcIn = pair (blockers[0].getPreviousInput(), blockers[1].getPreviousInput());
        dcOut = pair (blockers[0].getPreviousOutput(), blockers[1].getPreviousOutput());
        dcCoefficient = pair (blockers[0].getCoefficient(), blockers[1].getCoefficient());
        loopMemory = pair (paths[0].getMemory(), paths[1].getMemory());
        loopDc = pair (paths[0].getDc(), paths[1].getDc());
        dcRate = Float4 (paths[0].getDcRate());
        drive.takeSettings (drives[0]);

        if constexpr (lowpass)
        {
            poles.takeSettings (filters[0]);
            poles.takeStates (filters[0], filters[1]);
        }

        if constexpr (model == FilterStage::phase)
        {
            const auto& left = filters[0].getPhaseStage();
            const auto& right = filters[1].getPhaseStage();
            phases.takeSettings (left, right, blend);
            phases.takeStates (left, right);
            phases.takeAnchors (left, right);
        }
    }

    // The slopes for the diode's scale where it feeds the phase stage straight, else for the
    // stage's whole input.
    QUILLON_ALWAYS_INLINE void takeSlopes (const LanesStep& f, int order) noexcept
    {
        if (order == 0 && drive.actsAsWholeDiode())
        {
            phaseSlopes = phases.slopesAt (f.mixAmount * (f.postGain * drive.diodeOut));
            loopSlope = f.coefficient * phaseSlopes.output;
        }
        else
        {
            phaseSlopes = phases.slopesAt (Float4 (1.0f));
        }
    }

    // The recursions at a flush, as the stages' own flushStates have them.
    QUILLON_ALWAYS_INLINE void flush() noexcept
    {
        FeedbackPath::flushLoop (loopMemory, loopDc, dcRate);
        dcIn = dsp::flushTiny (dcIn);
        dcOut = dsp::flushTiny (dcOut);

        if constexpr (lowpass)
            poles.flushStates();

        if constexpr (model == FilterStage::phase)
            phases.flushStates();
    }

    QUILLON_ALWAYS_INLINE Float4 blockDc (Float4 x) noexcept { return OnePoleHighPass::step (x, dcIn, dcOut, dcCoefficient); }
    Float4 memory() const noexcept { return loopMemory; }
    Float4 memoryDc() const noexcept { return loopDc; }
    QUILLON_ALWAYS_INLINE void takeMemory (Float4 next) noexcept { loopMemory = dsp::limitRarely (next, memoryLimit); }
    void restMemory() noexcept { loopMemory = loopDc = Float4 (0.0f); }
    QUILLON_ALWAYS_INLINE Float4 curve (Float4 x) noexcept { return drive.process (x); }
    QUILLON_ALWAYS_INLINE static Float4 dryOfLatest (Float4 x) noexcept { return x; } // never the fold here

    QUILLON_ALWAYS_INLINE Float4 filter (Float4 x, const LanesStep& f) noexcept
    {
        if constexpr (model == FilterStage::phase)
        {
            return phases.process (x, phaseSlopes, floor);
        }
        else
        {
            Float4 y;

            if constexpr (lowpass)
                y = poles.template process<model> (x, floor);
            else
                y = dsp::silenceBelowFloor (x, floor);

            return x + f.blend * (y - x);
        }
    }

    QUILLON_ALWAYS_INLINE Float4 stages (Float4 x, const LanesStep& f, int order) noexcept
    {
        return chain_sample::driveAndFilter (*this, x, f, order);
    }

    bool loopsThroughDiode() const noexcept { return drive.actsAsWholeDiode(); }
    Float4 diodeToTable() const noexcept { return drive.diodeToTable; }
    QUILLON_ALWAYS_INLINE chain_sample::DiodeParts<Float4> diodeRawAt (Float4 x, Float4 t) noexcept
    {
        Float4 beyond;
        const auto piece = drive.diodeRawAt (x, t, beyond);
        return { piece, beyond };
    }
    Float4 diodeScale (const LanesStep&) const noexcept { return phaseSlopes.scale; }
    QUILLON_ALWAYS_INLINE chain_sample::PhaseLine<Float4> phaseLine (Float4 base, Float4, Float4 piece, const LanesStep&) noexcept
    {
        chain_sample::PhaseLine<Float4> line;
        phases.line (base, phaseSlopes, piece, line.fixed, line.slope);
        return line;
    }
    Float4 memorySlope (const chain_sample::PhaseLine<Float4>&, const LanesStep&) const noexcept { return loopSlope; }
    Float4 silence() const noexcept { return floor; }
};
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

    if (FilterStage::isLinearWithoutResonance (filterModel))
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

    FilterStage::withModel (filterModel, run);
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
                    applyFilterShape (*filter, frame);

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
void VoiceChain::giveLanesBack (const Stretch& s, const FilterStage::LowpassLanes& poles,
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

    if constexpr (lowpass)
        poles.giveStates (filter0, filter1);

    if constexpr (model == FilterStage::phase)
    {
        phases.giveStates (filter0.getPhaseStage(), filter1.getPhaseStage());
        filter0.catchUpPhaseStage();
        filter1.catchUpPhaseStage();
    }
}

template <int model, int order>
void VoiceChain::runLanesStretch (const Stretch& s, float* outLeft, float* outRight) noexcept
{
    const auto postShare = feedbackPositionFade.weight (1);
    const auto subThrough = subRoutingFade.getTarget() != 1;
    SidesInLanes<model> lanes;
    lanes.take (mixDcBlockers, feedbackPaths, driveStages, filterStages, s.frames[0].filterBlend);
    auto f = LanesStep::of (s.frames[0], postShare, subThrough);
    auto restingStatesDue = false;

    for (int k = 0; k < s.count; ++k)
    {
        if (k > 0 && ! s.settled)
        {
            const auto& frame = s.frames[(size_t) k];

            if (takeFrameInLanes<model> (frame, s.frames[(size_t) k - 1], lanes.drive, lanes.poles, lanes.phases))
                f = LanesStep::of (frame, postShare, subThrough);
            else
                f.postGain = Float4 (frame.drivePost);
        }

        if constexpr (model == FilterStage::phase)
            if (k == 0 || ! s.settled)
                lanes.takeSlopes (f, order);

        // Left and right of both 2x samples, then each sample's two sides.
        const auto i = (size_t) (2 * k);
        const auto mixes = dsp::interleaveLow (dsp::loadLow (s.left + i), dsp::loadLow (s.right + i));
        const auto first = chain_sample::chainSample (lanes, mixes, Float4 (s.sub[i]), f, order);
        const auto second = chain_sample::chainSample (lanes, dsp::highHalves (mixes, mixes), Float4 (s.sub[i + 1]), f, order);
        const auto out = dsp::interleaveLow (first, second);
        dsp::storeLow (out, outLeft + i);
        dsp::storeHigh (out, outRight + i);

        filterStages[0].countSamplesOutsideGroups (2);
        filterStages[1].countSamplesOutsideGroups (2);

        if (--chainFlushCountdown <= 0)
        {
            lanes.flush();

            // The stages' own states rest while the lanes hold theirs: flushed once after the
            // loop, they end as they would have here.
            restingStatesDue = true;
            chainFlushCountdown = chainFlushInterval;
        }
    }

    giveLanesBack<model> (s, lanes.poles, lanes.phases, lanes.dcIn, lanes.dcOut, lanes.loopMemory, lanes.loopDc,
                          restingStatesDue);
}

} // namespace quillon
#endif
