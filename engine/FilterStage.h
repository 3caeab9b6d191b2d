#pragma once

#include <array>
#include <cmath>

namespace quillon
{

// Six first-order allpass sections in series with feedback around them, spread geometrically
// over two octaves upward from half the cutoff. Mixed with the dry signal it notches the
// spectrum where the chain's phase turns through odd multiples of 180 degrees.
class PhaseStage
{
public:
    static constexpr int numSections = 6;

    void prepare (double oversampledRate) noexcept;
    void reset() noexcept;

    void setCutoff (float hz) noexcept;          // limited to 20 Hz .. 0.45 x the rate
    void setOffset (float octaves) noexcept      { offset = octaves; offsetFactor = std::exp2 (octaves); }
    void setFeedback (float amount) noexcept     { feedback = amount; }
    void setMix (float amount) noexcept          { mix = amount; }
    void setNotch (float amount) noexcept        { notch = amount; }

    float getCutoff() const noexcept { return cutoff; }
    float getOffset() const noexcept { return offset; }

    void updateCoefficients() noexcept;
    float process (float x) noexcept;

private:
    double sampleRate = 44100.0;
    float cutoff = 1000.0f;
    float feedback = 0.0f;
    float mix = 0.5f;
    float notch = 1.0f;
    float offset = 0.0f;
    float offsetFactor = 1.0f; // 2^offset
    float lastOutput = 0.0f;
    std::array<float, numSections> c {};
    std::array<float, numSections> z {};
};

// One side's filter: a four-pole "ladder", "diode" and "state" low-pass and the phase stage,
// with an equal-power fade when the model changes. Every model keeps its own state, so a model
// switched away from and back resumes where it was.
class FilterStage
{
public:
    enum Model { ladder, diode, state, phase, numModels };

    void prepare (double oversampledRate) noexcept;
    void reset() noexcept;

    void setModel (int newModel, bool fade) noexcept;
    int getModel() const noexcept { return model; }

    // Per base-rate sample. Coefficients are recomputed only for the models that are sounding
    // and only when the value moved; a silent model catches up when it is switched in.
    void setCutoff (float hz) noexcept;
    void setResonance (float amount) noexcept;    // 0..1
    void setPhaseMix (float amount) noexcept      { phaseStage.setMix (amount); }
    void setPhaseNotch (float amount) noexcept    { phaseStage.setNotch (amount); }
    void setPhaseOffset (float octaves) noexcept; // -1..1, recomputed from a 1e-5 change

    float processModel (int which, float x) noexcept;
    float process (float x) noexcept;

private:
    using Poles = std::array<float, 4>;

    bool isSounding (int which) const noexcept { return which == model || (fadeCountdown > 0 && which == previousModel); }
    void updateLowpassCoefficients() noexcept;
    float runPoles (Poles& s, float input) noexcept;
    float stateEstimate (const Poles& s) const noexcept;

    int model = ladder;
    int previousModel = ladder;
    double sampleRate = 44100.0;
    float cutoff = 20000.0f;

    // Shared by the three low-pass models, which run at the same rate.
    float g = 0.0f, bigG = 0.0f, inverseOnePlusG = 1.0f;
    bool lowpassStale = true, phaseStale = true;

    float ladderK = 0.0f, diodeK = 0.0f, stateK = 0.0f;
    Poles ladderS {}, diodeS {}, stateS {};
    float diodeMemory = 0.0f, diodeMemoryCoefficient = 0.0f;

    PhaseStage phaseStage;

    int fadeLength = 1;
    int fadeCountdown = 0;
};

} // namespace quillon
