#pragma once

#include "engine/core/DspMath.h"

#include <algorithm>

namespace quillon
{

// Two second-order sections in transposed direct form II, with unity gain at DC: designed in
// fractions of the rate, they need no preparing (tools/fold_lowpass.py). Flushed here, so that no
// caller has to remember it: the fold runs on its own path.
template <typename Design>
struct FoldSections
{
    static constexpr auto& b = Design::b;
    static constexpr auto& a = Design::a;

    alignas (16) float states[2][2] {};

    QUILLON_ALWAYS_INLINE float process (float x) noexcept
    {
        for (int i = 0; i < 2; ++i)
        {
            const auto y = b[i][0] * x + states[i][0];
            states[i][0] = b[i][1] * x - a[i][0] * y + states[i][1];
            states[i][1] = b[i][2] * x - a[i][1] * y;
            x = y;
        }

        dsp::flushTinyFour (&states[0][0]);
        return x;
    }

    void reset() noexcept { *this = {}; }
    bool operator== (const FoldSections& o) const noexcept { return std::equal (&states[0][0], &states[0][0] + 4, &o.states[0][0]); }
};

// The fold's partials just above the base rate's Nyquist frequency are true ones at the 2x rate,
// but the oversampler's decimator passes them some 3-30 dB down, into the top octave as aliases.
// This 4th-order elliptic low-pass takes them out of the fold alone: flat within 0.05 dB to 0.195
// of the rate (18.7 kHz at a 48 kHz base rate), 20 dB down at 0.25 and at least 25 dB down from
// there to 0.3, where the decimator takes over; 1.2 samples of delay at low frequencies.
struct FoldOutputDesign
{
    static constexpr float b[2][3] { { 0.157711429f, 0.220447497f, 0.157711429f }, { 1.0f, 0.178884465f, 1.0f } };
    static constexpr float a[2][2] { { -0.317949087f, 0.156454061f }, { -0.340817089f, 0.733294927f } };
};
using FoldLowPass = FoldSections<FoldOutputDesign>;

// What the source has above the base rate's Nyquist frequency (partials the decimator would take
// out, and the source's own aliases) the fold's gain would spread across the band; this 4th-order
// Butterworth low-pass on the fold's input takes most of it out first. Smooth in phase, so that a
// pulse's edge does not ring into the fold: 0.6 dB down at 0.156 of the rate (15 kHz at a 48 kHz
// base rate), 3 dB at 0.19, 13.6 dB at 0.25 and 44 dB at 0.375; 1.9 samples of delay.
struct FoldInputDesign
{
    static constexpr float b[2][3] { { 0.0396026627f, 0.0792053253f, 0.0396026627f }, { 1.0f, 2.0f, 1.0f } };
    static constexpr float a[2][2] { { -0.396045468f, 0.0758463818f }, { -0.543032633f, 0.475132884f } };
};
using FoldInputLowPass = FoldSections<FoldInputDesign>;

// The fold's input at the eighths of a step, from the twelve inputs around it (oldest first, the
// step from the sixth to the seventh): a sinc under a Blackman-Harris window twelve inputs wide,
// each eighth's weights summing to 1. The fold's gain lifts what an interpolator gets wrong some
// 35 dB: eight inputs left images of the top octave that the fold turned into aliases on the
// sharp-edged waves (the pwm and the resonant pulse most). Row t holds input t's weight at
// eighths 1..8.
struct FoldEighthTaps
{
    static constexpr int inputs = 12;
    alignas (16) static constexpr float weights[inputs][8] {
        { -0.000107982686f, -0.000131152548f, -0.000107749332f, -6.89360625e-05f, -3.43216473e-05f, -1.22315736e-05f, -2.51345424e-06f, 0.0f },
        { 0.00132474079f, 0.00189186417f, 0.00188672554f, 0.00153748244f, 0.00105320765f, 0.000587533684f, 0.000227278791f, 0.0f },
        { -0.00736801688f, -0.0112898469f, -0.0121510899f, -0.0107567957f, -0.00806551063f, -0.00496854259f, -0.00214497459f, 0.0f },
        { 0.0273576979f, 0.0435070161f, 0.0487746903f, 0.0451381955f, 0.0355129206f, 0.0230437964f, 0.0105218099f, 0.0f },
        { -0.0884120568f, -0.140130403f, -0.157800488f, -0.147644443f, -0.118092487f, -0.0782814913f, -0.0366739922f, 0.0f },
        { 0.972078531f, 0.891416191f, 0.766872177f, 0.611794497f, 0.442151924f, 0.274367267f, 0.123199478f, 0.0f },
        { 0.123199478f, 0.274367267f, 0.442151924f, 0.611794497f, 0.766872177f, 0.891416191f, 0.972078531f, 1.0f },
        { -0.0366739922f, -0.0782814913f, -0.118092487f, -0.147644443f, -0.157800488f, -0.140130403f, -0.0884120568f, 0.0f },
        { 0.0105218099f, 0.0230437964f, 0.0355129206f, 0.0451381955f, 0.0487746903f, 0.0435070161f, 0.0273576979f, 0.0f },
        { -0.00214497459f, -0.00496854259f, -0.00806551063f, -0.0107567957f, -0.0121510899f, -0.0112898469f, -0.00736801688f, 0.0f },
        { 0.000227278791f, 0.000587533684f, 0.00105320765f, 0.00153748244f, 0.00188672554f, 0.00189186417f, 0.00132474079f, 0.0f },
        { -2.51345424e-06f, -1.22315736e-05f, -3.43216473e-05f, -6.89360625e-05f, -0.000107749332f, -0.000131152548f, -0.000107982686f, 0.0f },
    };
};

// The fold's path (input low-pass, eighths, kernel, lift, output low-pass) is 9.9 samples late at
// low frequencies and later towards the top. The dry part a drive mix adds to it is held back ten
// whole samples, so that the two sum rather than comb: the first notch of their sum lies at 0.23
// of the rate (22 kHz at a 48 kHz base rate) instead of 0.05 (5 kHz).
struct FoldDryDelay
{
    static constexpr int length = 10;
    static constexpr unsigned mask = 15; // a ring longer than the delay, a power of 2
    static_assert (length <= (int) mask && ((mask + 1) & mask) == 0);

    float inputs[mask + 1] {};
    unsigned latest = 0;

    // x in, the input `length` calls before out.
    QUILLON_ALWAYS_INLINE float process (float x) noexcept
    {
        latest = (latest + 1) & mask;
        inputs[latest] = x;
        return inputs[(latest - length) & mask];
    }

    void reset() noexcept { *this = {}; }
    bool operator== (const FoldDryDelay& o) const noexcept
    {
        for (unsigned i = 0; i < length; ++i)
            if (inputs[(latest - i) & mask] != o.inputs[(o.latest - i) & mask])
                return false;

        return true;
    }
};

} // namespace quillon
