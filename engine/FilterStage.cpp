#include "engine/FilterStage.h"

#include "engine/DspMath.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__) || defined(_M_X64)
 #include <emmintrin.h>
 #define QUILLON_FILTER_SSE2 1
#else
 #define QUILLON_FILTER_SSE2 0
#endif

namespace quillon
{

namespace
{
// 4^(1/5): six sections over two octaves.
constexpr float sectionRatio = 1.3195079f;

// tan x = n / d for x in -pi/4..pi/4: the numerator and denominator of dsp::tanQuarter's
// approximant, kept apart so that a caller can fold its own division into this one.
struct TanParts
{
    float n, d;
};

inline TanParts tanQuarterParts (float x) noexcept
{
    const auto x2 = x * x;
    return { x * (135135.0f - x2 * (17325.0f - x2 * (378.0f - x2))),
             135135.0f - x2 * (62370.0f - x2 * (3150.0f - 28.0f * x2)) };
}
} // namespace

//==============================================================================
void PhaseStage::prepare (double oversampledRate) noexcept
{
    sampleRate = oversampledRate;
    topHz = 0.45f * (float) sampleRate;
    reset();
    updateCoefficients();
}

void PhaseStage::reset() noexcept
{
    z.fill (0.0f);
    lastOutput = 0.0f;
}

void PhaseStage::updateCoefficients() noexcept
{
    const auto shift = offsetFactor;
    const auto lowest = cutoff * 0.5f * shift;
    const auto ratio = lowest >= 1.0f ? sectionRatio : std::pow (2.0f * cutoff * shift, 0.2f);
    const auto top = 0.45f * (float) sampleRate;
    const auto radiansPerHz = dsp::pi / (float) sampleRate;

    // The section frequencies, padded to two groups of four: from a table of the ratio's powers,
    // so that they do not wait for one another, unless the spread is squeezed below 1 Hz.
    static constexpr float powers[8] = { 1.0f, sectionRatio, sectionRatio * sectionRatio,
                                         sectionRatio * sectionRatio * sectionRatio, 3.0314331f, 4.0f, 4.0f, 4.0f };
    alignas (16) float f[8];

    if (lowest >= 1.0f)
    {
        for (int i = 0; i < 8; ++i)
            f[i] = lowest * powers[i];
    }
    else
    {
        f[0] = lowest;

        for (int i = 1; i < 8; ++i)
            f[i] = i < numSections ? f[i - 1] * ratio : f[numSections - 1];
    }

    // (1 - tan w) / (1 + tan w) is tan (pi/4 - w), and pi/4 - w stays within +-pi/4 here.
    if constexpr (dsp::exactReference || ! QUILLON_FILTER_SSE2)
    {
        for (int i = 0; i < numSections; ++i)
            c[(size_t) i] = dsp::tanQuarter (dsp::quarterPi - std::clamp (f[i], 20.0f, top) * radiansPerHz);
    }
#if QUILLON_FILTER_SSE2
    else
    {
        // The six approximants side by side: the same operations as dsp::tanQuarter in each lane,
        // two divisions instead of six. A frequency that is not a number ends at the top.
        alignas (16) float out[8];
        const auto low = _mm_set1_ps (20.0f), high = _mm_set1_ps (top), scale = _mm_set1_ps (radiansPerHz);
        const auto quarter = _mm_set1_ps (dsp::quarterPi);
        const auto k = [] (float v) { return _mm_set1_ps (v); };

        for (int group = 0; group < 2; ++group)
        {
            const auto hz = _mm_max_ps (_mm_min_ps (_mm_load_ps (f + 4 * group), high), low);
            const auto x = _mm_sub_ps (quarter, _mm_mul_ps (hz, scale));
            const auto x2 = _mm_mul_ps (x, x);
            const auto n = _mm_mul_ps (x, _mm_sub_ps (k (135135.0f), _mm_mul_ps (x2, _mm_sub_ps (k (17325.0f),
                                                      _mm_mul_ps (x2, _mm_sub_ps (k (378.0f), x2))))));
            const auto d = _mm_sub_ps (k (135135.0f), _mm_mul_ps (x2, _mm_sub_ps (k (62370.0f),
                                       _mm_mul_ps (x2, _mm_sub_ps (k (3150.0f), _mm_mul_ps (k (28.0f), x2))))));
            _mm_store_ps (out + 4 * group, _mm_div_ps (n, d));
        }

        std::copy (out, out + numSections, c.begin());
    }
#endif
}

void PhaseStage::flushStates() noexcept
{
    for (auto& state : z)
        state = dsp::flushTiny (state);

    lastOutput = dsp::flushTiny (lastOutput);
}

//==============================================================================
void FilterStage::prepare (double oversampledRate) noexcept
{
    sampleRate = oversampledRate;
    modelFade.setLength (std::max (1, (int) std::lround (0.005 * oversampledRate)));
    modelFade.jumpTo (modelFade.getTarget());
    diodeMemoryCoefficient = std::clamp ((float) (dsp::twoPi * 30.0 / oversampledRate), 0.0f, 1.0f);
    phaseStage.prepare (oversampledRate);
    reset();
    lowpassStale = phaseStale = true;
    const auto hz = cutoff;
    cutoff = -1.0f;
    setCutoff (hz);
}

void FilterStage::reset() noexcept
{
    ladderS.fill (0.0f);
    diodeS.fill (0.0f);
    stateS.fill (0.0f);
    diodeMemory = 0.0f;
    phaseStage.reset();
}

void FilterStage::flushStates() noexcept
{
    for (auto* poles : { &ladderS, &diodeS, &stateS })
        for (auto& state : *poles)
            state = dsp::flushTiny (state);

    diodeMemory = dsp::flushTiny (diodeMemory);
    phaseStage.flushStates();
}

void FilterStage::setModel (int newModel, bool fade) noexcept
{
    if (newModel < 0 || newModel > numModels)
        newModel = numModels;

    if (fade)
        modelFade.fadeTo (newModel);
    else
        modelFade.jumpTo (newModel);

    if (newModel == phase && phaseStale)
    {
        phaseStage.updateCoefficients();
        phaseStale = false;
    }
    else if (newModel != phase && lowpassStale)
    {
        updateLowpassCoefficients();
    }
}

void FilterStage::updateLowpassCoefficients() noexcept
{
    const auto hz = std::clamp (cutoff, 20.0f, 0.45f * (float) sampleRate);
    const auto w = dsp::pi * hz / (float) sampleRate;

    if constexpr (dsp::exactReference)
    {
        const auto g = std::tan (w);
        inverseOnePlusG = 1.0f / (1.0f + g);
        bigG = g * inverseOnePlusG;
    }
    else
    {
        // With tan w = n / d, G = g / (1 + g) = n / (n + d) and 1 / (1 + g) = d / (n + d): one
        // division for both. Above pi/4 the tangent is the reciprocal of its complement's.
        auto parts = tanQuarterParts (w <= dsp::quarterPi ? w : dsp::halfPi - w);

        if (w > dsp::quarterPi)
            std::swap (parts.n, parts.d);

        const auto r = 1.0f / (parts.n + parts.d);
        bigG = parts.n * r;
        inverseOnePlusG = parts.d * r;
    }

    const auto G = bigG, h = inverseOnePlusG;
    gainPowers = { G, G * G, G * G * G, G * G * G * G };
    estimateWeights = { h * gainPowers[2], h * gainPowers[1], h * G, h };
    stateInputWeights = { 2.0f * gainPowers[0], 2.0f * gainPowers[1], 2.0f * gainPowers[2], 2.0f * gainPowers[3] };
    stateCrossWeights = { 2.0f * G * h, 2.0f * gainPowers[1] * h, 2.0f * gainPowers[2] * h };
    stateSelfWeight = h - G;
    lowpassStale = false;
}

} // namespace quillon
