#pragma once

#include "engine/core/DspMath.h"

namespace quillon
{

// dsp::exp2Fast of four inputs at once. Within a sixteenth of an octave, where drift and vibrato
// stay, its short polynomial runs in double lanes with the same operations in the same order, so
// the results are the same; four inputs that are not all that small each go through exp2Fast.
inline void exp2Fast4 (const float* input, float* output) noexcept
{
#if QUILLON_SIN_LANES
    if constexpr (! dsp::exactReference)
    {
        const auto x = _mm_loadu_ps (input);
        const auto magnitude = _mm_andnot_ps (_mm_set1_ps (-0.0f), x);

        if (_mm_movemask_ps (_mm_cmplt_ps (magnitude, _mm_set1_ps (0.0625f))) == 0xF)
        {
            const auto first = dsp::exp2SmallLanes (_mm_cvtps_pd (x));
            const auto second = dsp::exp2SmallLanes (_mm_cvtps_pd (_mm_movehl_ps (x, x)));
            _mm_storeu_ps (output, _mm_movelh_ps (first, second));
            return;
        }
    }
#endif

    for (int i = 0; i < 4; ++i)
        output[i] = dsp::exp2Fast (input[i]);
}

} // namespace quillon
