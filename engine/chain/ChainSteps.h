#pragma once

#include "engine/chain/DriveStage.h"
#include "engine/chain/FeedbackPath.h"
#include "engine/chain/FilterStage.h"

#include <cmath>

// The diode loop of chain_sample::diodePhaseLoop over one side's stages passed one by one, for
// the scalar stretch runner (see ChainRunners.cpp); the golden test holds the two to the same bits.
namespace quillon::chain_steps
{
struct LoopSettings
{
    float pre, post, mixAmount, postGain, blend, coefficient;
    bool captured;
};

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
