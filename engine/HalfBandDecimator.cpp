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
using dsp::Float4;

// One allpass stage in every lane: the output, and the state it leaves for the next sample.
QUILLON_ALWAYS_INLINE inline Float4 allpassStage (Float4 a, Float4& v, Float4 input) noexcept
{
    const auto output = a * input + v;
    v = input - a * output;
    return output;
}

// Lanes 0 and 1 of x: the left and the right.
QUILLON_ALWAYS_INLINE inline void storeSides (Float4 x, std::array<float, 2>& s) noexcept
{
    float lanes[4];
    x.store (lanes);
    s = { lanes[0], lanes[1] };
}
} // namespace

template <int stages>
void HalfBandDecimator::processLanes (const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                                      int numSamples) noexcept
{
    constexpr int direct = stages - stages / 2;
    const Float4 half = 0.5f;

    if constexpr (direct == stages - direct)
    {
        // The two paths are as long as each other: the direct path in lanes 0 and 1 (left and
        // right), the delayed one in lanes 2 and 3, each stage of one path beside the stage of the
        // other at the same depth. Half the operations of one path after the other, and the same
        // in each lane.
        constexpr int depth = direct;
        Float4 v[(size_t) depth], a[(size_t) depth];

        for (int n = 0; n < depth; ++n)
        {
            const auto& d = states[(size_t) n];
            const auto& e = states[(size_t) (direct + n)];
            const auto dc = coefficients[(size_t) n], ec = coefficients[(size_t) (direct + n)];
            v[n] = Float4::set (d[0], d[1], e[0], e[1]);
            a[n] = Float4::set (dc, dc, ec, ec);
        }

        // The delayed path's last output, in lanes 0 and 1.
        auto delay = Float4::set (delays[0], delays[1], 0.0f, 0.0f);

        for (int i = 0; i < numSamples; ++i)
        {
            // Left and right of the even sample, then of the odd one.
            auto input = dsp::interleavePairs (inLeft + 2 * i, inRight + 2 * i);

            for (int n = 0; n < depth; ++n)
                input = allpassStage (a[n], v[n], input);

            const auto out = (delay + input) * half;
            outLeft[i] = dsp::laneOf<0> (out);
            outRight[i] = dsp::laneOf<1> (out);
            delay = dsp::highHalves (input, input);
        }

        for (int n = 0; n < depth; ++n)
        {
            float lanes[4];
            v[n].store (lanes);
            states[(size_t) n] = { lanes[0], lanes[1] };
            states[(size_t) (direct + n)] = { lanes[2], lanes[3] };
        }

        storeSides (delay, delays);
        return;
    }

    // Lane 0 the left channel, lane 1 the right one; what lanes 2 and 3 carry is never read.
    Float4 v[(size_t) stages], a[(size_t) stages];

    for (int n = 0; n < stages; ++n)
    {
        v[n] = Float4::set (states[(size_t) n][0], states[(size_t) n][1], 0.0f, 0.0f);
        a[n] = coefficients[(size_t) n];
    }

    auto delay = Float4::set (delays[0], delays[1], 0.0f, 0.0f);

    for (int i = 0; i < numSamples; ++i)
    {
        // Left and right of the even sample in lanes 0 and 1, of the odd one in lanes 2 and 3.
        const auto pair = dsp::interleavePairs (inLeft + 2 * i, inRight + 2 * i);
        auto input = pair;

        for (int n = 0; n < direct; ++n)
            input = allpassStage (a[n], v[n], input);

        const auto directOut = input;
        input = dsp::highHalves (pair, pair);

        for (int n = direct; n < stages; ++n)
            input = allpassStage (a[n], v[n], input);

        const auto out = (delay + directOut) * half;
        outLeft[i] = dsp::laneOf<0> (out);
        outRight[i] = dsp::laneOf<1> (out);
        delay = input;
    }

    for (int n = 0; n < stages; ++n)
        storeSides (v[n], states[(size_t) n]);

    storeSides (delay, delays);
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
