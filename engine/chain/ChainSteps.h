#pragma once

#include "engine/chain/DriveStage.h"
#include "engine/chain/FeedbackPath.h"
#include "engine/chain/FilterStage.h"

#include <cmath>

// The scalar steps the sample-by-sample path and the stretch runner share.
namespace quillon::chain_steps
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
        fb.takeNext (((1.0f - s.coefficient) * memory + s.coefficient * (fixed - fb.getDc())) + (s.coefficient * line.slope) * parts.piece);
    else
        fb.takeNext ((1.0f - s.coefficient) * memory + s.coefficient * (y - fb.getDc()));

    return y;
}
} // namespace quillon::chain_steps
