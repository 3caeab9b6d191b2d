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
    struct Functions { TickFunction tick; BeginFunction begin; FinishFunction finish; };
    #define QUILLON_SHAPE_FUNCTIONS(n) Functions { &PdOscillator::tickShape<n>, &PdOscillator::beginTick<n>, \
                                                   &PdOscillator::finishTick<n> }
    static constexpr Functions table[] = { QUILLON_SHAPE_FUNCTIONS (0), QUILLON_SHAPE_FUNCTIONS (1),
                                           QUILLON_SHAPE_FUNCTIONS (2), QUILLON_SHAPE_FUNCTIONS (3),
                                           QUILLON_SHAPE_FUNCTIONS (4), QUILLON_SHAPE_FUNCTIONS (5),
                                           QUILLON_SHAPE_FUNCTIONS (6), QUILLON_SHAPE_FUNCTIONS (7),
                                           QUILLON_SHAPE_FUNCTIONS (8), QUILLON_SHAPE_FUNCTIONS (9) };
    static constexpr Functions other = QUILLON_SHAPE_FUNCTIONS (-1);
    #undef QUILLON_SHAPE_FUNCTIONS
    static_assert (std::size (table) == numWaveShapes);

    const auto& f = shape >= 0 && shape < numWaveShapes ? table[shape] : other;
    tickFunction = f.tick;
    beginFunction = f.begin;
    finishFunction = f.finish;
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
