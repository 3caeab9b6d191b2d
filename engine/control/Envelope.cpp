#include "engine/control/Envelope.h"

#include <algorithm>
#include <cmath>

namespace quillon
{

void Envelope::setSampleRate (double newRate) noexcept
{
    sampleRate = newRate;
    updateRates();
}

void Envelope::setParameters (float a, float d, float s, float r) noexcept
{
    attack = a;
    decay = d;
    sustain = s;
    release_ = r;
}

void Envelope::updateRates() noexcept
{
    const auto perSample = [this] (float seconds) { return (float) (seconds * sampleRate); };

    attackRate = attack > 0.0f ? 1.0f / perSample (attack) : -1.0f;
    decayRate = decay > 0.0f ? (1.0f - sustain) / perSample (decay) : -1.0f;

    // A change while releasing carries the release on from where it is, over the new release
    // time. Deriving the step from the sustain level instead would cut a note whose sustain is 0
    // and stretch a low-sustain tail far beyond its release time.
    if (stage == releaseStage)
        startReleaseFromCurrentLevel();
    else
        releaseRate = release_ > 0.0f ? sustain / perSample (release_) : -1.0f;

    switch (stage)
    {
        case attackStage:
            if (attackRate <= 0.0f)
                stage = decayRate > 0.0f ? decayStage : sustainStage;
            break;
        case decayStage:
            if (decayRate <= 0.0f || sustain >= level)
                stage = sustainStage;
            break;
        case releaseStage:
            if (releaseRate <= 0.0f)
            {
                level = 0.0f;
                stage = idle;
            }
            break;
        default:
            break;
    }
}

void Envelope::trigger() noexcept
{
    if (attackRate > 0.0f)
    {
        stage = attackStage;
    }
    else if (decayRate > 0.0f)
    {
        level = 1.0f;
        stage = decayStage;
    }
    else
    {
        level = sustain;
        stage = sustainStage;
    }
}

int Envelope::render (float* out, int n) noexcept
{
    // tick() over and over, with the level in a register while a stage runs.
    auto i = 0;

    while (i < n)
    {
        auto v = level;

        switch (stage)
        {
            case attackStage:
            {
                const auto rate = attackRate;
                for (; i < n; ++i)
                {
                    v += rate;
                    if (v >= 1.0f)
                        break;
                    out[i] = v;
                }

                if (i == n)
                {
                    level = v;
                    return n;
                }

                level = 1.0f;
                out[i++] = level;
                nextStage();
                break;
            }
            case decayStage:
            {
                const auto rate = decayRate, floor = sustain;
                for (; i < n; ++i)
                {
                    v -= rate;
                    if (floor >= v)
                        break;
                    out[i] = v;
                }

                if (i == n)
                {
                    level = v;
                    return n;
                }

                level = sustain;
                out[i++] = level;
                nextStage();
                break;
            }
            case sustainStage:
                level = sustain;
                std::fill (out + i, out + n, level);
                return n;
            case releaseStage:
            {
                const auto rate = releaseRate;
                for (; i < n; ++i)
                {
                    v -= rate;
                    if (v <= 0.0f)
                        break;
                    out[i] = v;
                }

                level = v;

                if (i == n)
                    return n;

                nextStage();
                out[i++] = level;
                break;
            }
            default:
                std::fill (out + i, out + n, 0.0f);
                return std::min (n, std::max (i, 1));
        }
    }

    return n;
}

void Envelope::advance (long long samples) noexcept
{
    // Ticks until the stage would end, for each stage the run passes through.
    const auto ticksTo = [] (float distance, float rate)
    {
        if (distance <= 0.0f)
            return 1LL;

        return (long long) std::min (std::ceil ((double) distance / (double) rate), 4.0e18);
    };

    // A stage without a usable step does not move (a release without one has nothing left).
    const auto rate = stage == attackStage ? attackRate : (stage == decayStage ? decayRate : releaseRate);

    if (stage != idle && stage != sustainStage && ! (rate > 0.0f))
    {
        if (stage == releaseStage)
            nextStage();

        return;
    }

    while (samples > 0)
    {
        switch (stage)
        {
            case attackStage:
            {
                const auto k = std::max (1LL, ticksTo (1.0f - level, attackRate));
                if (samples < k) { level += (float) ((double) attackRate * (double) samples); return; }
                level = 1.0f;
                samples -= k;
                nextStage();
                break;
            }
            case decayStage:
            {
                const auto k = std::max (1LL, ticksTo (level - sustain, decayRate));
                if (samples < k) { level -= (float) ((double) decayRate * (double) samples); return; }
                level = sustain;
                samples -= k;
                nextStage();
                break;
            }
            case sustainStage:
                level = sustain;
                return;
            case releaseStage:
            {
                const auto k = std::max (1LL, ticksTo (level, releaseRate));
                if (samples < k) { level -= (float) ((double) releaseRate * (double) samples); return; }
                nextStage();
                return;
            }
            default:
                return;
        }
    }
}

void Envelope::startReleaseFromCurrentLevel() noexcept
{
    releaseRate = release_ > 0.0f ? level / (float) (release_ * sampleRate) : -1.0f;
}

void Envelope::release() noexcept
{
    if (stage == idle)
        return;

    if (release_ > 0.0f)
    {
        stage = releaseStage;
        startReleaseFromCurrentLevel();
    }
    else
    {
        level = 0.0f;
        stage = idle;
    }
}

} // namespace quillon
