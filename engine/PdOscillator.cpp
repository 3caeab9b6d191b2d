#include "engine/PdOscillator.h"

#include "engine/PhaseDistortion.h"

#include <algorithm>
#include <cmath>

namespace quillon
{

using namespace osc_detail;

namespace
{
inline int fadeLengthFor (double rate) noexcept
{
    return std::max (1, (int) std::lround (0.005 * rate));
}
} // namespace

//==============================================================================
void PdOscillator::prepare (double newSampleRate) noexcept
{
    sampleRate = newSampleRate;
    inverseSampleRate = newSampleRate > 0.0 ? (float) (1.0 / newSampleRate) : 0.0f;
    phase = 0.0f;
    increment = 0.0f;
    dcwEnvelope.setSampleRate (newSampleRate);
    wrapped = false;
    wrapFraction = 0.0f;
    resetFadeCountdown = 0;
    oldPhase = 0.0f;
    oldDcw = 0.0f;
    heldOutput = 0.0f;
    delayFresh = true;
    resetFadeLength = fadeLengthFor (newSampleRate);
}

void PdOscillator::setWaveShape (int shape) noexcept
{
    waveShape = shape;
    outputGain = shape >= 0 && shape < numWaveShapes ? waveGainTable()[shape] : 1.0f;
    nextShapeGain = shape >= 0 && shape < numWaveShapes ? waveGainTable()[(shape + 1) % numWaveShapes] : 1.0f;
}

void PdOscillator::resetPhase (float newPhase, bool fade) noexcept
{
    oldPhase = phase;
    oldDcw = currentDcw;
    resetFadeCountdown = fade ? resetFadeLength : 0;
    phase = wrapPhase (newPhase);
}

bool PdOscillator::hasSameStateAs (const PdOscillator& o) const noexcept
{
    return dcwEnvelope.hasSameStateAs (o.dcwEnvelope)
        && sampleRate == o.sampleRate && inverseSampleRate == o.inverseSampleRate && phase == o.phase
        && increment == o.increment && frequency == o.frequency && dcwDepth == o.dcwDepth
        && outputGain == o.outputGain && nextShapeGain == o.nextShapeGain && waveShape == o.waveShape
        && pulseWidth == o.pulseWidth && morphAmount == o.morphAmount && syncEnabled == o.syncEnabled
        && wrapped == o.wrapped && wrapFraction == o.wrapFraction && heldOutput == o.heldOutput && delayFresh == o.delayFresh
        && resetFadeLength == o.resetFadeLength && resetFadeCountdown == o.resetFadeCountdown
        && oldPhase == o.oldPhase && oldDcw == o.oldDcw && currentDcw == o.currentDcw;
}

//==============================================================================
void SubOscillator::prepare (double newSampleRate) noexcept
{
    sampleRate = newSampleRate;
    inverseSampleRate = newSampleRate > 0.0 ? (float) (1.0 / newSampleRate) : 0.0f;
    phase = 0.0f;
    resetFadeCountdown = 0;
    resetFadeLength = fadeLengthFor (newSampleRate);
}

void SubOscillator::setWaveShape (int shape) noexcept
{
    waveShape = shape;
    outputGain = shape >= 0 && shape < numWaveShapes ? waveGainTable()[shape] : 1.0f;
}

void SubOscillator::resetPhase (float newPhase, bool fade) noexcept
{
    oldPhase = phase;
    resetFadeCountdown = fade ? resetFadeLength : 0;
    phase = wrapPhase (newPhase);
}

} // namespace quillon
