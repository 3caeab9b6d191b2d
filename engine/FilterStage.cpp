#include "engine/FilterStage.h"

#include "engine/DspMath.h"

#include <algorithm>
#include <cmath>

namespace quillon
{

namespace
{
// 4^(1/5): six sections over two octaves.
constexpr float sectionRatio = 1.3195079f;
} // namespace

//==============================================================================
void PhaseStage::prepare (double oversampledRate) noexcept
{
    sampleRate = oversampledRate;
    reset();
    updateCoefficients();
}

void PhaseStage::reset() noexcept
{
    z.fill (0.0f);
    lastOutput = 0.0f;
}

void PhaseStage::setCutoff (float hz) noexcept
{
    cutoff = std::clamp (hz, 20.0f, 0.45f * (float) sampleRate);
}

void PhaseStage::updateCoefficients() noexcept
{
    const auto shift = offsetFactor;
    const auto lowest = cutoff * 0.5f * shift;
    const auto ratio = lowest >= 1.0f ? sectionRatio : std::pow (2.0f * cutoff * shift, 0.2f);
    const auto top = 0.45f * (float) sampleRate;
    const auto radiansPerHz = dsp::pi / (float) sampleRate;
    auto f = lowest;

    for (int i = 0; i < numSections; ++i)
    {
        // (1 - tan w) / (1 + tan w) is tan (pi/4 - w), and pi/4 - w stays within +-pi/4 here.
        const auto w = std::clamp (f, 20.0f, top) * radiansPerHz;
        c[(size_t) i] = dsp::tanQuarter (dsp::quarterPi - w);
        f *= ratio;
    }
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
    g = dsp::tanPrewarp (dsp::pi * hz / (float) sampleRate);
    inverseOnePlusG = 1.0f / (1.0f + g);
    bigG = g * inverseOnePlusG;
    lowpassStale = false;
}

} // namespace quillon
