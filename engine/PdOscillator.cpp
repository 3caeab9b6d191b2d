#include "engine/PdOscillator.h"

#include "engine/PhaseDistortion.h"

#include <algorithm>
#include <cmath>
#include <iterator>

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
    updateIncrement();
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
    chooseTickFunctions (shape);
    constantsDcw = nextConstantsDcw = -1.0f;
    oldConstants = pd_kernel::shapeConstants (shape, oldDcw);
}

void PdOscillator::chooseTickFunctions (int shape) noexcept
{
    static constexpr TickFunction ticks[] = { &tickWith<0>, &tickWith<1>, &tickWith<2>, &tickWith<3>, &tickWith<4>,
                                              &tickWith<5>, &tickWith<6>, &tickWith<7>, &tickWith<8>, &tickWith<9> };
    static constexpr const GroupFunctions* groups[] = { &groupFunctionsFor<0>, &groupFunctionsFor<1>,
                                                        &groupFunctionsFor<2>, &groupFunctionsFor<3>,
                                                        &groupFunctionsFor<4>, &groupFunctionsFor<5>,
                                                        &groupFunctionsFor<6>, &groupFunctionsFor<7>,
                                                        &groupFunctionsFor<8>, &groupFunctionsFor<9> };
    static_assert (std::size (ticks) == numWaveShapes && std::size (groups) == numWaveShapes);

    const auto known = shape >= 0 && shape < numWaveShapes;
    tickFunction = known ? ticks[shape] : &tickWith<-1>;
    groupFunctions = known ? groups[shape] : &groupFunctionsFor<-1>;
}

void PdOscillator::resetPhase (float newPhase, bool fade) noexcept
{
    oldPhase = phase;
    oldDcw = currentDcw;
    oldConstants = pd_kernel::shapeConstants (waveShape, oldDcw);
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
    shapeFunction = pd_kernel::shapeFunction (shape);
    constants = pd_kernel::shapeConstants (shape, dcw);
}

void SubOscillator::resetPhase (float newPhase, bool fade) noexcept
{
    oldPhase = phase;
    resetFadeCountdown = fade ? resetFadeLength : 0;
    phase = wrapPhase (newPhase);
}

} // namespace quillon
