#include "engine/PdOscillator.h"

#include "engine/PhaseDistortion.h"

#include <algorithm>
#include <cmath>

namespace quillon
{

namespace
{
constexpr float resonanceWindows = 16.0f;
constexpr int pwmShape = 8;
constexpr float twoPi = 6.283185307179586f;

inline float wrapPhase (float p) noexcept { return p - std::floor (p); }

inline int fadeLengthFor (double rate) noexcept
{
    return std::max (1, (int) std::lround (0.005 * rate));
}

inline float smoothStep (float x) noexcept { return x * x * (3.0f - 2.0f * x); }
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
    resetFadeLength = fadeLengthFor (newSampleRate);
}

void PdOscillator::setWaveShape (int shape) noexcept
{
    waveShape = shape;
    outputGain = shape >= 0 && shape < numWaveShapes ? waveGainTable()[shape] : 1.0f;
}

void PdOscillator::resetPhase (float newPhase) noexcept
{
    oldPhase = phase;
    oldDcw = currentDcw;
    resetFadeCountdown = resetFadeLength;
    phase = wrapPhase (newPhase);
}

float PdOscillator::rawWave (int shape, float atPhase, float dcw) const noexcept
{
    if (shape == pwmShape)
        return atPhase < pulseWidth ? 1.0f : -1.0f;

    return phaseDistortionShape (shape, atPhase, dcw, resonanceWindows);
}

float PdOscillator::tick() noexcept
{
    increment = frequency * inverseSampleRate;

    float syncStep = 0.0f;
    bool synced = false;

    if (syncEnabled && syncPartner != nullptr && syncPartner->wrapped)
    {
        const auto before = rawWave (waveShape, phase, currentDcw);
        phase = wrapPhase ((1.0f - std::clamp (syncPartner->wrapFraction, 0.0f, 1.0f)) * increment);
        syncStep = rawWave (waveShape, phase, currentDcw) - before;
        synced = true;
    }

    // The distortion fades out as the pitch rises and is gone from a sixtieth of the rate up;
    // a negative frequency is as high as its magnitude.
    const auto e = dcwEnvelope.tick() * dcwDepth;
    currentDcw = std::min (std::clamp (1.0f - 60.0f * std::abs (increment), 0.0f, 1.0f), std::clamp (e, 0.0f, 1.0f));

    float v;

    if (waveShape == pwmShape)
    {
        auto t = phase - pulseWidth;
        if (t < 0.0f)
            t += 1.0f;

        v = (phase < pulseWidth ? 1.0f : -1.0f) - (1.0f - 2.0f * pulseWidth)
            + 2.0f * polyBlep (phase, increment) - 2.0f * polyBlep (t, increment);
    }
    else
    {
        v = phaseDistortionShape (waveShape, phase, currentDcw, resonanceWindows);
    }

    v *= outputGain;

    if (morphAmount > 0.0f && waveShape != pwmShape)
    {
        const auto nextShape = (waveShape + 1) % numWaveShapes;
        const auto target = rawWave (nextShape, phase, currentDcw) * waveGainTable()[nextShape];
        v += (target - v) * morphAmount;
    }

    // The sync step is spread over this sample and the next.
    if (synced && std::abs (syncStep) > 1.0e-9f)
    {
        v += polyBlep (phase, increment) * syncStep;
        pendingSyncStep = -syncStep;
    }
    else if (pendingSyncStep != 0.0f)
    {
        v += polyBlep (phase + 1.0f - increment, increment) * pendingSyncStep;
        pendingSyncStep = 0.0f;
    }

    if (resetFadeCountdown > 0)
    {
        const auto old = rawWave (waveShape, oldPhase, oldDcw) * outputGain;
        oldPhase = wrapPhase (oldPhase + increment);
        const auto b = smoothStep (1.0f - (float) resetFadeCountdown / (float) resetFadeLength);
        v = (1.0f - b) * old + b * v;
        --resetFadeCountdown;
    }

    const auto t = phase + increment;

    if (t >= 1.0f)
    {
        wrapped = true;
        wrapFraction = increment > 0.0f ? std::clamp (1.0f - (t - 1.0f) / increment, 0.0f, 1.0f) : 0.0f;
        phase = wrapPhase (t);
    }
    else
    {
        // A negative frequency runs the phase downward: keep it inside 0..1 as well. Only the
        // upward wrap restarts a synced partner.
        wrapped = false;
        wrapFraction = 0.0f;
        phase = t < 0.0f ? wrapPhase (t) : t;
    }

    return v;
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

void SubOscillator::resetPhase (float newPhase) noexcept
{
    oldPhase = phase;
    resetFadeCountdown = resetFadeLength;
    phase = wrapPhase (newPhase);
}

float SubOscillator::valueAt (float atPhase) const noexcept
{
    if (mode == pdMode)
        return phaseDistortionShape (waveShape, atPhase, dcw, resonanceWindows) * outputGain;

    return std::sin (twoPi * atPhase);
}

float SubOscillator::tick() noexcept
{
    auto v = valueAt (phase);

    if (resetFadeCountdown > 0)
    {
        const auto old = valueAt (oldPhase);
        oldPhase = wrapPhase (oldPhase + increment);
        const auto b = smoothStep (1.0f - (float) resetFadeCountdown / (float) resetFadeLength);
        v = (1.0f - b) * old + b * v;
        --resetFadeCountdown;
    }

    phase = wrapPhase (phase + increment);
    return v;
}

} // namespace quillon
