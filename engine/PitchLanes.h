#pragma once

#include "engine/DspMath.h"

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
            const auto polynomial = [] (__m128d f)
            {
                const auto c = [] (double v) { return _mm_set1_pd (v); };
                const auto f2 = _mm_mul_pd (f, f);
                const auto low = _mm_add_pd (_mm_add_pd (c (1.0), _mm_mul_pd (f, c (0.69314718055994529))),
                                             _mm_mul_pd (f2, _mm_add_pd (c (0.24022650695910069), _mm_mul_pd (f, c (0.055504108664821576)))));
                const auto high = _mm_add_pd (_mm_add_pd (c (0.0096181291076284769), _mm_mul_pd (f, c (0.0013333558146428441))),
                                              _mm_mul_pd (f2, _mm_add_pd (c (0.00015403530393381606), _mm_mul_pd (f, c (1.5252733804059838e-05)))));
                return _mm_cvtpd_ps (_mm_add_pd (low, _mm_mul_pd (_mm_mul_pd (f2, f2), high)));
            };

            const auto first = polynomial (_mm_cvtps_pd (x));
            const auto second = polynomial (_mm_cvtps_pd (_mm_movehl_ps (x, x)));
            _mm_storeu_ps (output, _mm_movelh_ps (first, second));
            return;
        }
    }
#endif

    for (int i = 0; i < 4; ++i)
        output[i] = dsp::exp2Fast (input[i]);
}

} // namespace quillon
