#pragma once

#include "engine/chain/ChainFrame.h"
#include "engine/chain/DriveStage.h"
#include "engine/chain/FeedbackPath.h"
#include "engine/chain/FilterStage.h"
#include "engine/chain/OnePoleHighPass.h"

// One 2x sample of the chain, written once over the lane type V: float for one side, Float4 for
// both sides side by side. What differs between the two is only where the states live, which a
// side adapter hides: `ChainSide` below for one side's stages (the per-sample path, and the
// stretch runner over its local copies), the lanes runner's own for both.
//
// A side adapter S over V offers:
//   blockDc (V)                      the mix's DC blocker
//   memory(), memoryDc()             the feedback memory and the DC it takes the output less
//   takeMemory (V), restMemory()     the memory's next value (limited there), or rest at 0
//   stages (V x, step, order)        drive and filter in the order (usually driveAndFilter)
//   curve (V), filter (V, step)      the drive's curve and the blended filter, for driveAndFilter
//   dryOfLatest (V x)                the drive mix's dry part that goes with curve (x)
//   mayLoop, loopsThroughDiode()     whether the diode may feed the phase stage straight, and does
//   diodeToTable(), diodeRawAt (x, t), diodeScale (step), phaseLine (base, scale, piece, step),
//   memorySlope (line, step), silence()   the pieces of that loop
namespace quillon::chain_sample
{

// One frame's values as the chain sample reads them.
template <typename V>
struct Step
{
    V send, direct, pre, post, mixAmount, postGain, blend, coefficient, remaining;
    bool preOn, postOn, captured;

    // postShare: the share of the feedback that goes in after the filter; send and direct: the
    // sub's shares through the chain and around it.
    QUILLON_ALWAYS_INLINE static Step of (float feedbackAmount, float postShare, float send, float direct, float driveMix,
                                          float drivePost, float filterBlend, float feedbackCoefficient) noexcept
    {
        const auto pre = feedbackAmount * (1.0f - postShare);
        const auto post = feedbackAmount * postShare;
        return Step { V (send),     V (direct),         V (pre),
                      V (post),     V (driveMix),       V (drivePost),
                      V (filterBlend), V (feedbackCoefficient), V (1.0f - feedbackCoefficient),
                      pre != 0.0f,  post != 0.0f,       feedbackAmount != 0.0f };
    }

    QUILLON_ALWAYS_INLINE static Step of (const ChainFrame& frame, float postShare, bool subThrough) noexcept
    {
        return of (frame.feedbackAmount, postShare, subThrough ? frame.subSend : 0.0f, subThrough ? 1.0f - frame.subSend : 1.0f,
                   frame.driveMix, frame.drivePost, frame.filterBlend, frame.feedbackCoefficient);
    }
};

template <typename V> struct DiodeParts { V piece, beyond; };
template <typename V> struct PhaseLine { V fixed, slope; };

// Drive, mixed with the dry signal and made up, and filter, in either order.
template <typename S, typename V>
QUILLON_ALWAYS_INLINE inline V driveAndFilter (S& side, V x, const Step<V>& f, int order) noexcept
{
    const auto driven = [&] (V v) QUILLON_ALWAYS_INLINE
    {
        const auto wet = side.curve (v) * f.postGain;
        const auto dry = side.dryOfLatest (v);
        return dry + f.mixAmount * (wet - dry);
    };
    return order == 0 ? side.filter (driven (x), f) : driven (side.filter (x, f));
}

// The diode feeding the phase stage straight, with the feedback around it. The diode's output
// gain, the drive mix and the post gain go into the phase stage's own; the pre-feedback goes
// straight into the diode's table index; and the memory's next value follows the curve's output
// through one multiply-add, so that from one 2x sample to the next the loop waits on the table and
// little else. `x` is the drive's input before the feedback; what comes back is the output before
// the sub's direct part.
template <typename S, typename V>
QUILLON_ALWAYS_INLINE inline V diodePhaseLoop (S& side, V x, const Step<V>& f) noexcept
{
    const auto memory = side.memory();
    const auto toTable = side.diodeToTable();
    auto t = x * toTable + V (DiodeKnee::centre);

    if (f.preOn)
    {
        x = x + f.pre * memory;
        t = t + (f.pre * toTable) * memory;
    }

    const auto parts = side.diodeRawAt (x, t);
    const auto scale = side.diodeScale (f);
    const auto line = side.phaseLine ((x - f.mixAmount * x) + scale * parts.beyond, scale, parts.piece, f);
    const auto raw = line.slope * parts.piece + line.fixed;
    const auto loud = dsp::abs (raw) >= side.silence();
    const auto allLoud = dsp::bothSides (loud);
    auto y = allLoud ? raw : dsp::keep (loud, raw);
    auto fixed = line.fixed;

    if (f.postOn)
    {
        y = y + f.post * memory;
        fixed = fixed + f.post * memory;
    }

    if (! f.captured)
    {
        side.restMemory();
        return y;
    }

    // Loud, the memory follows the curve's output through its slope alone.
    auto next = FeedbackPath::lowpassStep (memory, side.memoryDc(), fixed, f.coefficient, f.remaining)
              + side.memorySlope (line, f) * parts.piece;

    if (! allLoud)
        next = dsp::select (loud, next, FeedbackPath::lowpassStep (memory, side.memoryDc(), y, f.coefficient, f.remaining));

    side.takeMemory (next);
    return y;
}

// The chain's 2x sample: mix DC block, sub send, feedback, drive and filter in `order` (0: drive
// first), the sub's direct part. Without feedback the memory stays out of the input, so that the
// samples do not wait on one another through it.
template <typename S, typename V>
QUILLON_ALWAYS_INLINE inline V chainSample (S& side, V mix, V sub, const Step<V>& f, int order) noexcept
{
    auto x = side.blockDc (mix) + sub * f.send;

    if constexpr (S::mayLoop)
        if (order == 0 && side.loopsThroughDiode())
            return dsp::flushTiny (diodePhaseLoop (side, x, f) + sub * f.direct);

    if (f.preOn)
        x = x + f.pre * side.memory();

    auto y = side.stages (x, f, order);

    if (f.postOn)
        y = y + f.post * side.memory();

    // The low-pass follows the output whether or not any of it is fed back; unheard, it rests.
    if (f.captured)
        side.takeMemory (FeedbackPath::lowpassStep (side.memory(), side.memoryDc(), y, f.coefficient, f.remaining));
    else
        side.restMemory();

    // The decimator's filters would keep a value that is not a number for good.
    return dsp::flushTiny (y + sub * f.direct);
}

// One side's stages, as the per-sample path holds them.
#define QUILLON_SIDE QUILLON_ALWAYS_INLINE
struct ChainSide
{
    using Step = chain_sample::Step<float>;
    static constexpr bool mayLoop = true;

    OnePoleHighPass& dc;
    FeedbackPath& feedback;
    DriveStage& drive;
    FilterStage& filterStage;

    QUILLON_SIDE float blockDc (float x) noexcept                { return dc.processUnflushed (x); }
    QUILLON_SIDE float memory() const noexcept                   { return feedback.getMemory(); }
    QUILLON_SIDE float memoryDc() const noexcept                 { return feedback.getDc(); }
    QUILLON_SIDE void takeMemory (float next) noexcept           { feedback.takeNext (next); }
    QUILLON_SIDE void restMemory() noexcept                      { feedback.reset(); }
    QUILLON_SIDE float curve (float x) noexcept                  { return drive.process (x); }
    QUILLON_SIDE float dryOfLatest (float) const noexcept        { return drive.dryOfLatest(); }
    QUILLON_SIDE float filter (float x, const Step& f) noexcept  { return filterStage.processBlended (x, f.blend); }
    QUILLON_SIDE float stages (float x, const Step& f, int order) noexcept { return driveAndFilter (*this, x, f, order); }

    QUILLON_SIDE bool loopsThroughDiode() const noexcept { return drive.actsAsWholeDiode() && filterStage.runsPhaseStageAlone(); }
    QUILLON_SIDE float diodeToTable() const noexcept     { return drive.getDiodeToTable(); }
    QUILLON_SIDE DiodeParts<float> diodeRawAt (float x, float t) noexcept
    {
        const auto parts = drive.diodeRawAt (x, t);
        return { parts.piece, parts.beyond };
    }
    QUILLON_SIDE float diodeScale (const Step& f) const noexcept { return f.mixAmount * (f.postGain * drive.getDiodeOut()); }
    QUILLON_SIDE PhaseLine<float> phaseLine (float base, float scale, float piece, const Step& f) noexcept
    {
        const auto line = filterStage.processBlendedLine (base, scale, piece, f.blend);
        return { line.fixed, line.slope };
    }
    QUILLON_SIDE float memorySlope (PhaseLine<float> line, const Step& f) const noexcept { return f.coefficient * line.slope; }
    QUILLON_SIDE float silence() const noexcept { return 1.0e-15f; }
};
#undef QUILLON_SIDE

} // namespace quillon::chain_sample
