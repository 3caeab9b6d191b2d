#include "engine/HalfBandDecimator.h"

#include <juce_dsp/juce_dsp.h>

namespace quillon
{

void HalfBandDecimator::prepare()
{
    // What juce::dsp::Oversampling (2 channels, one 2x stage, half-band polyphase IIR, maximum
    // quality) designs for the way down.
    const auto structure = juce::dsp::FilterDesign<float>::designIIRLowpassHalfBandPolyphaseAllpassMethod (0.12f * 0.5f, -75.0f);
    numStages = 0;

    for (int i = 0; i < structure.directPath.size() && numStages < maxStages; ++i)
        coefficients[(size_t) numStages++] = structure.directPath.getObjectPointer (i)->coefficients[0];

    for (int i = 1; i < structure.delayedPath.size() && numStages < maxStages; ++i)
        coefficients[(size_t) numStages++] = structure.delayedPath.getObjectPointer (i)->coefficients[0];

    // JUCE splits the stages by count, not by path: the first half rounded up go on the direct path.
    directStages = numStages - numStages / 2;
    reset();
}

void HalfBandDecimator::reset() noexcept
{
    for (auto& s : states)
        s = { 0.0f, 0.0f };

    delays = { 0.0f, 0.0f };
}

#if QUILLON_SIN_LANES
namespace
{
// One allpass stage in every lane: the output, and the state it leaves for the next sample.
QUILLON_ALWAYS_INLINE inline __m128 allpassStage (__m128 a, __m128& v, __m128 input) noexcept
{
    const auto output = _mm_add_ps (_mm_mul_ps (a, input), v);
    v = _mm_sub_ps (input, _mm_mul_ps (a, output));
    return output;
}
} // namespace

template <int stages>
void HalfBandDecimator::processLanes (const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                                      int numSamples) noexcept
{
    constexpr int direct = stages - stages / 2;

    if constexpr (direct == stages - direct)
    {
        // The two paths are as long as each other: the direct path in lanes 0 and 1 (left and
        // right), the delayed one in lanes 2 and 3, each stage of one path beside the stage of the
        // other at the same depth. Half the operations of one path after the other, and the same
        // in each lane.
        constexpr int depth = direct;
        __m128 v[depth], a[depth];

        for (int n = 0; n < depth; ++n)
        {
            const auto& d = states[(size_t) n];
            const auto& e = states[(size_t) (direct + n)];
            v[n] = _mm_setr_ps (d[0], d[1], e[0], e[1]);
            a[n] = _mm_setr_ps (coefficients[(size_t) n], coefficients[(size_t) n],
                                coefficients[(size_t) (direct + n)], coefficients[(size_t) (direct + n)]);
        }

        // The delayed path's last output, in lanes 0 and 1.
        auto delay = _mm_setr_ps (delays[0], delays[1], 0.0f, 0.0f);
        const auto half = _mm_set1_ps (0.5f);

        for (int i = 0; i < numSamples; ++i)
        {
            // Left and right of the even sample, then of the odd one.
            const auto left = _mm_castpd_ps (_mm_load_sd (reinterpret_cast<const double*> (inLeft + 2 * i)));
            const auto right = _mm_castpd_ps (_mm_load_sd (reinterpret_cast<const double*> (inRight + 2 * i)));
            auto input = _mm_unpacklo_ps (left, right);

            for (int n = 0; n < depth; ++n)
                input = allpassStage (a[n], v[n], input);

            const auto out = _mm_mul_ps (_mm_add_ps (delay, input), half);
            _mm_store_ss (outLeft + i, out);
            _mm_store_ss (outRight + i, _mm_shuffle_ps (out, out, _MM_SHUFFLE (1, 1, 1, 1)));
            delay = _mm_movehl_ps (input, input);
        }

        alignas (16) float lanes[4];

        for (int n = 0; n < depth; ++n)
        {
            _mm_store_ps (lanes, v[n]);
            states[(size_t) n] = { lanes[0], lanes[1] };
            states[(size_t) (direct + n)] = { lanes[2], lanes[3] };
        }

        _mm_store_ps (lanes, delay);
        delays = { lanes[0], lanes[1] };
        return;
    }

    // Lane 0 the left channel, lane 1 the right one; lanes 2 and 3 carry zeros.
    const auto load = [] (const std::array<float, 2>& s) { return _mm_setr_ps (s[0], s[1], 0.0f, 0.0f); };
    __m128 v[stages], a[stages];

    for (int n = 0; n < stages; ++n)
    {
        v[n] = load (states[(size_t) n]);
        a[n] = _mm_set1_ps (coefficients[(size_t) n]);
    }

    auto delay = load (delays);
    const auto half = _mm_set1_ps (0.5f);

    for (int i = 0; i < numSamples; ++i)
    {
        auto input = _mm_unpacklo_ps (_mm_load_ss (inLeft + 2 * i), _mm_load_ss (inRight + 2 * i));

        for (int n = 0; n < direct; ++n)
            input = allpassStage (a[n], v[n], input);

        const auto directOut = input;
        input = _mm_unpacklo_ps (_mm_load_ss (inLeft + 2 * i + 1), _mm_load_ss (inRight + 2 * i + 1));

        for (int n = direct; n < stages; ++n)
            input = allpassStage (a[n], v[n], input);

        const auto out = _mm_mul_ps (_mm_add_ps (delay, directOut), half);
        _mm_store_ss (outLeft + i, out);
        _mm_store_ss (outRight + i, _mm_shuffle_ps (out, out, _MM_SHUFFLE (1, 1, 1, 1)));
        delay = input;
    }

    const auto store = [] (__m128 x, std::array<float, 2>& s)
    {
        alignas (16) float lanes[4];
        _mm_store_ps (lanes, x);
        s = { lanes[0], lanes[1] };
    };

    for (int n = 0; n < stages; ++n)
        store (v[n], states[(size_t) n]);

    store (delay, delays);
}
#endif

void HalfBandDecimator::process (const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                                 int numSamples) noexcept
{
#if QUILLON_SIN_LANES
    switch (numStages)
    {
        case 4:  return processLanes<4> (inLeft, inRight, outLeft, outRight, numSamples);
        case 5:  return processLanes<5> (inLeft, inRight, outLeft, outRight, numSamples);
        case 6:  return processLanes<6> (inLeft, inRight, outLeft, outRight, numSamples);
        case 7:  return processLanes<7> (inLeft, inRight, outLeft, outRight, numSamples);
        case 8:  return processLanes<8> (inLeft, inRight, outLeft, outRight, numSamples);
        default: break;
    }
#endif

    const float* inputs[] = { inLeft, inRight };
    float* outputs[] = { outLeft, outRight };

    for (int ch = 0; ch < 2; ++ch)
    {
        const auto* in = inputs[ch];
        auto* out = outputs[ch];
        auto delay = delays[(size_t) ch];

        for (int i = 0; i < numSamples; ++i)
        {
            auto input = in[2 * i];

            for (int n = 0; n < directStages; ++n)
            {
                auto& v = states[(size_t) n][(size_t) ch];
                const auto alpha = coefficients[(size_t) n];
                const auto output = alpha * input + v;
                v = input - alpha * output;
                input = output;
            }

            const auto directOut = input;
            input = in[2 * i + 1];

            for (int n = directStages; n < numStages; ++n)
            {
                auto& v = states[(size_t) n][(size_t) ch];
                const auto alpha = coefficients[(size_t) n];
                const auto output = alpha * input + v;
                v = input - alpha * output;
                input = output;
            }

            out[i] = (delay + directOut) * 0.5f;
            delay = input;
        }

        delays[(size_t) ch] = delay;
    }
}

} // namespace quillon
