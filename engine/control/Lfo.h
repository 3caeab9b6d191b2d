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
    void setPhaseOffset (float cycles) noexcept   { phaseOffset = cycles; }
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

private:
    float drawHeldValue() noexcept { return 2.0f * random.nextFloat() - 1.0f; }

    double sampleRate = 44100.0;
    float inverseSampleRate = 1.0f / 44100.0f;
    float phase = 0.0f;
    float increment = 0.0f;
    float freeRate = 1.0f;
    float tempo = 120.0f;
    float phaseOffset = 0.0f;
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

inline float Lfo::next (bool wanted) noexcept
{
    auto p = phase + phaseOffset;

    if (! (p >= 0.0f && p < 1.0f))
        p -= std::floor (p);

    auto value = 0.0f;

    if (wanted)
    {
        switch (shape)
        {
            case sine:          value = dsp::sinTurns (p); break;
            case triangle:      value = p < 0.5f ? 4.0f * p - 1.0f : 3.0f - 4.0f * p; break;
            case square:        value = p < 0.5f ? 1.0f : -1.0f; break;
            default:            value = heldValue; break;
        }
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

        for (int i = 0; i < n; ++i)
        {
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

    if (shape != sine || dsp::exactReference)
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
