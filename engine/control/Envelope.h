#pragma once

namespace quillon
{

// Linear ADSR. Times in seconds, sustain as a level 0..1; ticked once per sample of its own rate.
class Envelope
{
public:
    enum Stage { idle, attackStage, decayStage, sustainStage, releaseStage };

    Envelope() noexcept { updateRates(); }

    void setSampleRate (double newRate) noexcept;
    void setParameters (float attackSeconds, float decaySeconds, float sustainLevel, float releaseSeconds) noexcept;

    // Recomputes the per-sample steps and moves the stage on where a step has become unusable.
    void updateRates() noexcept;

    // Starts a note from the current level (no reset to 0, so a retrigger never clicks).
    void trigger() noexcept;
    void release() noexcept;
    float tick() noexcept;
    // The values of n ticks. Returns how many ticks it took to end (the last of them gives 0), or
    // n if it is still running; an envelope idle from the start ends on its first tick.
    int render (float* out, int n) noexcept;
    void nextStage() noexcept;

    // Moves on by `samples` ticks at once, as far as the stages would have gone.
    void advance (long long samples) noexcept;

    bool isIdle() const noexcept    { return stage == idle; }
    bool isActive() const noexcept  { return stage != idle; }
    int getStage() const noexcept   { return stage; }
    float getLevel() const noexcept { return level; }

    bool hasSameStateAs (const Envelope& o) const noexcept
    {
        return stage == o.stage && attack == o.attack && decay == o.decay && sustain == o.sustain
            && release_ == o.release_ && sampleRate == o.sampleRate && level == o.level
            && attackRate == o.attackRate && decayRate == o.decayRate && releaseRate == o.releaseRate;
    }

private:
    void startReleaseFromCurrentLevel() noexcept;

    int stage = idle;
    float attack = 0.1f, decay = 0.1f, sustain = 1.0f, release_ = 0.1f;
    double sampleRate = 44100.0;
    float level = 0.0f;
    float attackRate = -1.0f, decayRate = -1.0f, releaseRate = -1.0f;
};

inline float Envelope::tick() noexcept
{
    switch (stage)
    {
        case attackStage:
            level += attackRate;
            if (level >= 1.0f)
            {
                level = 1.0f;
                nextStage();
            }
            break;
        case decayStage:
            level -= decayRate;
            if (sustain >= level)
            {
                level = sustain;
                nextStage();
            }
            break;
        case sustainStage:
            level = sustain;
            break;
        case releaseStage:
            level -= releaseRate;
            if (level <= 0.0f)
                nextStage();
            break;
        default:
            return 0.0f;
    }

    return level;
}

inline void Envelope::nextStage() noexcept
{
    switch (stage)
    {
        case attackStage:  stage = decayRate > 0.0f ? decayStage : sustainStage; break;
        case decayStage:   stage = sustainStage; break;
        case releaseStage: level = 0.0f; stage = idle; break;
        default: break;
    }
}

} // namespace quillon
