#pragma once

#include "engine/Envelope.h"

namespace quillon
{

// One phase-distortion oscillator unit with its own DCW envelope, pulse width, morph towards the
// next shape, hard sync to a partner unit and a click-free phase reset.
class PdOscillator
{
public:
    void prepare (double newSampleRate) noexcept;

    void setFrequency (float hz) noexcept       { frequency = hz; }
    void setDcwDepth (float depth) noexcept     { dcwDepth = depth; }
    void setWaveShape (int shape) noexcept;
    void setPulseWidth (float width) noexcept   { pulseWidth = width; }
    void setMorphAmount (float amount) noexcept { morphAmount = amount; }
    void setSyncPartner (const PdOscillator* partner) noexcept { syncPartner = partner; }
    void setSyncEnabled (bool enabled) noexcept { syncEnabled = enabled; }

    // Jumps to a new phase while the old waveform fades out over 5 ms.
    void resetPhase (float newPhase) noexcept;

    float tick() noexcept;

    Envelope dcwEnvelope;

    float getPhase() const noexcept       { return phase; }
    float getCurrentDcw() const noexcept  { return currentDcw; }
    bool hasWrapped() const noexcept      { return wrapped; }
    float getWrapFraction() const noexcept { return wrapFraction; }
    int getWaveShape() const noexcept     { return waveShape; }

private:
    // Shape value without the output gain; the pulse is drawn naive here (sync and fade paths).
    float rawWave (int shape, float atPhase, float dcw) const noexcept;

    double sampleRate = 44100.0;
    float inverseSampleRate = 1.0f / 44100.0f;
    float phase = 0.0f;
    float increment = 0.0f;
    float frequency = 0.0f;
    float dcwDepth = 1.0f;
    float outputGain = 1.0f;
    int waveShape = 0;
    float pulseWidth = 0.5f;
    float morphAmount = 0.0f;
    const PdOscillator* syncPartner = nullptr;
    bool syncEnabled = false;
    bool wrapped = false;
    float wrapFraction = 0.0f;
    float pendingSyncStep = 0.0f;
    int resetFadeLength = 1;
    int resetFadeCountdown = 0;
    float oldPhase = 0.0f;
    float oldDcw = 0.0f;
    float currentDcw = 0.0f;
};

// The sub oscillator: a sine, or a phase-distortion shape at a fixed depth.
class SubOscillator
{
public:
    enum Mode { sineMode, pdMode };

    void prepare (double newSampleRate) noexcept;

    void setFrequency (float hz) noexcept  { increment = hz * inverseSampleRate; }
    void setMode (int newMode) noexcept    { mode = newMode; }
    void setWaveShape (int shape) noexcept;
    void setDcw (float depth) noexcept     { dcw = depth; }

    void resetPhase (float newPhase) noexcept;
    float tick() noexcept;

private:
    float valueAt (float atPhase) const noexcept;

    double sampleRate = 44100.0;
    float inverseSampleRate = 1.0f / 44100.0f;
    float phase = 0.0f;
    float increment = 0.0f;
    int mode = sineMode;
    int waveShape = 0;
    float dcw = 0.0f;
    float outputGain = 1.0f;
    int resetFadeLength = 1;
    int resetFadeCountdown = 0;
    float oldPhase = 0.0f;
};

} // namespace quillon
