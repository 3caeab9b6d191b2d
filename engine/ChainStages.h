#pragma once

#include <cstdint>

namespace quillon
{

// The noise source and the stages between the oscillator mix and the host buffer. For now the
// noise is silent and the stages pass the signal through unchanged. The voice already runs them
// per side at their rates, routes the noise, blends the drive by its mix and the filter by its
// enable switch, keeps a spare drive/filter pair for the drive-position fade and hands them
// their modes and cutoff, so their DSP can land here without touching the engine's frame.

inline int crossFadeLength (double rate) noexcept
{
    const auto samples = (int) (0.005 * rate + 0.5);
    return samples > 1 ? samples : 1;
}

// Saturation curve ("soft", "diode", "fold") with a fade when the curve changes.
struct DriveStage
{
    int mode = 0;
    int previousMode = 0;
    float gain = 1.0f;
    float previousInput = 0.0f;
    int fadeLength = 1;
    int fadeCountdown = 0;

    void prepare (double rate) noexcept { fadeLength = crossFadeLength (rate); fadeCountdown = 0; reset(); }
    void reset() noexcept               { previousInput = 0.0f; }

    void setMode (int newMode, bool fade) noexcept
    {
        previousMode = fade ? mode : newMode;
        fadeCountdown = fade ? fadeLength : 0;
        mode = newMode;
    }

    float process (float x) noexcept
    {
        previousInput = x;
        return x;
    }
};

// Filter with four models ("ladder", "diode", "state", "phase") and a fade when the model changes.
struct FilterStage
{
    int model = 0;
    int previousModel = 0;
    double sampleRate = 44100.0;
    int fadeLength = 1;
    int fadeCountdown = 0;

    void prepare (double rate) noexcept { sampleRate = rate; fadeLength = crossFadeLength (rate); fadeCountdown = 0; reset(); }
    void reset() noexcept {}

    void setModel (int newModel, bool fade) noexcept
    {
        previousModel = fade ? model : newModel;
        fadeCountdown = fade ? fadeLength : 0;
        model = newModel;
    }

    void setCutoff (float) noexcept {}
    float process (float x) noexcept { return x; }
};

// White, pink or brown noise from a seeded generator, one per side.
struct NoiseSource
{
    static constexpr std::uint32_t constructionSeed = 0xC0FFEE13u;

    double sampleRate = 44100.0;
    std::uint32_t state = constructionSeed;
    int colour = 0;

    void prepare (double baseRate, std::uint32_t seed) noexcept { sampleRate = baseRate; state = seed; }
    void setColour (int newColour) noexcept { colour = newColour; }
    float next() noexcept { return 0.0f; }
};

// DC blocker and mono-low side filter.
struct OnePoleHighPass
{
    double sampleRate = 44100.0;
    float frequency = 10.0f;

    void prepare (double rate, float hz) noexcept { sampleRate = rate; frequency = hz; reset(); }
    void setFrequency (float hz) noexcept { frequency = hz; }
    void reset() noexcept {}
    float process (float x) noexcept { return x; }
};

} // namespace quillon
