#pragma once

#include "engine/core/FastMath.h"

#include <juce_core/juce_core.h>

#include <array>
#include <algorithm>
#include <cmath>

namespace quillon
{

struct LfoSyncDivision
{
    const char* label;
    float beats; // beats per LFO cycle
};

// Tempo-sync divisions, slowest first; the LFO card shows the same table.
inline constexpr std::array<LfoSyncDivision, 10> lfoSyncDivisions { {
    { "1/1", 4.0f }, { "1/2", 2.0f }, { "1/3", 1.3333334f }, { "1/4", 1.0f }, { "1/6", 0.6666667f },
    { "1/8", 0.5f }, { "1/12", 0.33333334f }, { "1/16", 0.25f }, { "1/24", 0.16666667f }, { "1/32", 0.125f },
} };

class Lfo
{
public:
    enum Shape { sine, triangle, square, sampleAndHold };

    static constexpr juce::int64 constructionSeed = 0xC0FFEE;
    static constexpr juce::int64 preparedSeed = 0x10F010F;

    // Phase 0, held value 0, fresh random stream.
    void prepare (double newSampleRate) noexcept;

    void setFreeRate (float hz) noexcept          { freeRate = hz; }
    void setTempo (float bpm) noexcept            { tempo = bpm; }
    void setSyncBeats (float beatsPerCycle) noexcept { syncBeats = beatsPerCycle; }
    void setSynced (bool shouldSync) noexcept     { synced = shouldSync; }
    // A moved offset cross-fades from the wave at the old offset to the wave at the new one over
    // a short ramp: swept through the phases between, the wave would race through its crests. A
    // move that comes while a fade runs waits for it to end.
    void setPhaseOffset (float cycles) noexcept   { wantedOffset = cycles; }
    // Takes the offset at once, for a note from silence.
    void jumpPhaseOffset (float cycles) noexcept
    {
        wantedOffset = phaseOffset = cycles;
        fadeCountdown = 0;
    }
    void setShape (int newShape) noexcept;
    void updateIncrement() noexcept;

    void restart() noexcept;

    // Value of this sample in -1..1, then advances by one sample. Unless `wanted`, only advances
    // and returns 0.
    float next (bool wanted = true) noexcept;

    // n values of next (wanted) at once, the same values and state; the sines four at a time.
    void render (float* out, int n, bool wanted) noexcept;

    int getShape() const noexcept       { return shape; }
    float getPhase() const noexcept     { return phase; }
    float getIncrement() const noexcept { return increment; }

    static constexpr double offsetFadeSeconds = 0.005;

private:
    float drawHeldValue() noexcept { return 2.0f * random.nextFloat() - 1.0f; }
    float waveAt (float phaseWithOffset) const noexcept;
    bool offsetMoving() const noexcept { return fadeCountdown > 0 || wantedOffset != phaseOffset; }

    // This sample's weight of the wave at the old offset (0 once none fades), moving the fade on.
    float stepOffsetFade() noexcept
    {
        if (fadeCountdown == 0)
        {
            if (wantedOffset == phaseOffset)
                return 0.0f;

            fadeFrom = phaseOffset;
            phaseOffset = wantedOffset;
            fadeCountdown = fadeLength;
        }

        return (float) --fadeCountdown / (float) fadeLength;
    }

    double sampleRate = 44100.0;
    float inverseSampleRate = 1.0f / 44100.0f;
    float phase = 0.0f;
    float increment = 0.0f;
    float freeRate = 1.0f;
    float tempo = 120.0f;
    float phaseOffset = 0.0f, wantedOffset = 0.0f, fadeFrom = 0.0f;
    int fadeLength = 1, fadeCountdown = 0;
    float heldValue = 0.0f;
    int shape = sine;
    float syncBeats = 0.5f;
    bool synced = false;
    juce::Random random { constructionSeed };
};

inline void Lfo::updateIncrement() noexcept
{
    const auto hz = synced ? (syncBeats > 0.0f ? tempo / 60.0f / syncBeats : 0.0f) : freeRate;
    increment = hz * inverseSampleRate;
}

inline float Lfo::waveAt (float p) const noexcept
{
    if (! (p >= 0.0f && p < 1.0f))
        p -= std::floor (p);

    switch (shape)
    {
        case sine:          return dsp::sinTurns (p);
        case triangle:      return p < 0.5f ? 4.0f * p - 1.0f : 3.0f - 4.0f * p;
        case square:        return p < 0.5f ? 1.0f : -1.0f;
        default:            return heldValue;
    }
}

inline float Lfo::next (bool wanted) noexcept
{
    const auto oldWeight = stepOffsetFade();
    auto value = 0.0f;

    if (wanted)
    {
        value = waveAt (phase + phaseOffset);

        if (oldWeight > 0.0f)
            value += oldWeight * (waveAt (phase + fadeFrom) - value);
    }

    phase += increment;

    if (! (phase < 1.0f))
    {
        // A phase that is not a number (or beyond float's cycles) starts again at 0.
        phase = phase < 1.0e6f ? phase - std::floor (phase) : 0.0f;

        if (shape == sampleAndHold)
            heldValue = drawHeldValue();
    }

    return value;
}

inline void Lfo::render (float* out, int n, bool wanted) noexcept
{
    if (! wanted)
    {
        // Unheard, only the phase (and a held value at its wraps) moves on, as next() moves it.
        std::fill (out, out + n, 0.0f);
        auto p = phase;
        const auto fading = offsetMoving(); // a step does nothing once the fade is over

        for (int i = 0; i < n; ++i)
        {
            if (fading)
                stepOffsetFade();

            p += increment;

            if (! (p < 1.0f))
            {
                p = p < 1.0e6f ? p - std::floor (p) : 0.0f;

                if (shape == sampleAndHold)
                    heldValue = drawHeldValue();
            }
        }

        phase = p;
        return;
    }

    if (shape != sine || dsp::exactReference || offsetMoving())
    {
        for (int i = 0; i < n; ++i)
            out[i] = next (wanted);

        return;
    }

    // The phases one by one, as next() moves them; then their sines. The phase stays in a
    // register: through `out` it would go to memory and back on every sample.
    auto moving = phase;
    const auto step = increment, offset = phaseOffset;

    for (int i = 0; i < n; ++i)
    {
        auto p = moving + offset;

        if (! (p >= 0.0f && p < 1.0f))
            p -= std::floor (p);

        out[i] = p;
        moving += step;

        if (! (moving < 1.0f))
            moving = moving < 1.0e6f ? moving - std::floor (moving) : 0.0f;
    }

    phase = moving;

    int i = 0;

    for (; i + 4 <= n; i += 4)
        dsp::sinTurns (dsp::Float4::load (out + i)).store (out + i);

    for (; i < n; ++i)
        out[i] = dsp::sinTurns (out[i]);
}

} // namespace quillon
