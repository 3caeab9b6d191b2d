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

float PhaseStage::process (float x) noexcept
{
    auto u = x - feedback * lastOutput;

    for (int i = 0; i < numSections; ++i)
    {
        const auto y = z[(size_t) i] - c[(size_t) i] * u;
        z[(size_t) i] = dsp::flushTiny (c[(size_t) i] * y + u);
        u = y;
    }

    u = dsp::flushTiny (u);
    lastOutput = u;
    return x + mix * notch * (u - x);
}

//==============================================================================
void FilterStage::prepare (double oversampledRate) noexcept
{
    sampleRate = oversampledRate;
    fadeLength = std::max (1, (int) std::lround (0.005 * oversampledRate));
    fadeCountdown = 0;
    previousModel = model;
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
    previousModel = fade ? model : newModel;
    fadeCountdown = fade ? fadeLength : 0;
    model = newModel;

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

void FilterStage::setCutoff (float hz) noexcept
{
    if (hz == cutoff)
        return;

    cutoff = hz;
    phaseStage.setCutoff (hz);
    lowpassStale = phaseStale = true;

    if (isSounding (phase))
    {
        phaseStage.updateCoefficients();
        phaseStale = false;
    }

    if (isSounding (ladder) || isSounding (diode) || isSounding (state))
        updateLowpassCoefficients();
}

void FilterStage::setResonance (float amount) noexcept
{
    ladderK = 3.95f * amount;
    diodeK = 4.2f * amount;
    stateK = 0.95f * amount;
    phaseStage.setFeedback (0.95f * amount);
}

void FilterStage::setPhaseOffset (float octaves) noexcept
{
    if (std::abs (octaves - phaseStage.getOffset()) < 1.0e-5f)
        return;

    phaseStage.setOffset (octaves);
    phaseStale = true;

    if (isSounding (phase))
    {
        phaseStage.updateCoefficients();
        phaseStale = false;
    }
}

// What the four poles will put out from their states alone, before this sample's input: the
// estimate the resonance feeds back, which keeps the loop free of a delay-free path.
float FilterStage::stateEstimate (const Poles& s) const noexcept
{
    const auto G = bigG;
    return (((G * s[0] + s[1]) * G + s[2]) * G + s[3]) * inverseOnePlusG;
}

// Four trapezoidal one-pole low-passes in series.
float FilterStage::runPoles (Poles& s, float input) noexcept
{
    auto u = input;

    for (auto& pole : s)
    {
        const auto v = (u - pole) * bigG;
        const auto y = v + pole;
        pole = dsp::flushTiny (y + v);
        u = y;
    }

    return u;
}

float FilterStage::processModel (int which, float x) noexcept
{
    switch (which)
    {
        case ladder:
        {
            if (ladderK == 0.0f) // no resonance: a plain four-pole low-pass
                return runPoles (ladderS, x);

            const auto e = stateEstimate (ladderS);
            return runPoles (ladderS, (1.0f + 0.5f * ladderK) * x - ladderK * dsp::tanhApprox (e));
        }

        case diode:
        {
            // Asymmetric clipping of the feedback, and a gentle cut below about 30 Hz.
            auto feedback = 0.0f;

            if (diodeK != 0.0f)
            {
                const auto e = stateEstimate (diodeS);
                feedback = diodeK * (e >= 0.0f ? dsp::tanhApprox (e) : 0.85f * dsp::tanhApprox (e / 0.85f));
            }

            const auto y = runPoles (diodeS, x - feedback);
            diodeMemory = dsp::flushTiny (diodeMemory + (y - diodeMemory) * diodeMemoryCoefficient);
            return (y - 0.6f * diodeMemory) * 0.95f;
        }

        case state:
        {
            const auto feedback = stateK != 0.0f ? stateK * dsp::tanhApprox (stateS[3]) : 0.0f;
            return 0.85f * runPoles (stateS, x - feedback);
        }

        case phase:
            return phaseStage.process (x);

        default:
            return x;
    }
}

float FilterStage::process (float x) noexcept
{
    if (fadeCountdown < 1)
        return processModel (model, x);

    const auto angle = (1.0f - (float) fadeCountdown / (float) fadeLength) * dsp::halfPi;
    const auto oldOutput = processModel (previousModel, x);
    const auto newOutput = processModel (model, x);
    --fadeCountdown;
    return std::cos (angle) * oldOutput + std::sin (angle) * newOutput;
}

} // namespace quillon
