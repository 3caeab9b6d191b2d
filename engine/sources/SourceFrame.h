#pragma once

#include <array>

namespace quillon
{

// The four oscillator units: each oscillator has a unit per side.
enum SourceUnit : int { osc1Left, osc1Right, osc2Left, osc2Right, numUnits };

// What the control pass works out for the sources on one base-rate sample.
struct SourceFrame
{
    std::array<float, numUnits> frequency {};
    float depth1 = 0.0f, depth2 = 0.0f, width1 = 0.5f, width2 = 0.5f, morph = 0.0f;
    float osc1Gain = 0.0f, osc2Gain = 0.0f, subGain = 0.0f, subFrequency = 0.0f, subDcw = 0.0f;
    float preNoise = 0.0f, postNoise = 0.0f;
    bool audible1 = false, audible2 = false;
};

// The switches of the sources (wave shapes, sub mode, mix or ring, noise colour, reese lock):
// a change fades from a copy of the sources as they were, which runs on with the old settings.
struct SourceSettings
{
    int wave1 = 0, wave2 = 0, subMode = 0, subWave = 0, noiseColour = 0, mixMode = 0;
    bool reeseLocked = false;

    bool isRing() const noexcept { return mixMode == 1; }

    bool operator!= (const SourceSettings& o) const noexcept
    {
        return wave1 != o.wave1 || wave2 != o.wave2 || subMode != o.subMode || subWave != o.subWave
            || noiseColour != o.noiseColour || mixMode != o.mixMode || reeseLocked != o.reeseLocked;
    }
};

} // namespace quillon
