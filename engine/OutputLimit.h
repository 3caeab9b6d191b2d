#pragma once

#include "engine/core/Lanes.h"

#include <algorithm>
#include <cmath>

namespace quillon
{

// The last word on level. Up to +6 dBFS a sample passes untouched. A sound that goes beyond is
// turned down as a whole by a gain that falls within a millisecond and recovers over 300 ms, so
// that its waveform keeps its shape: a curve alone would flatten the louder side of a lopsided
// wave and hold the output off centre. What passes the knee before the gain has caught up bends
// with unit slope towards +12 dBFS, which no sample ever passes, however loud the settings.
class OutputLimit
{
public:
    static constexpr float knee = 2.0f, ceiling = 4.0f;

    static float bend (float x) noexcept
    {
        const auto magnitude = std::abs (x);

        if (! (magnitude > knee))
            return x;

        constexpr auto span = ceiling - knee;
        const auto y = ceiling - span * span / (magnitude - knee + span);
        return x < 0.0f ? -y : y;
    }

    void prepare (double rate) noexcept
    {
        attack = 1.0f - (float) std::exp (-1.0 / (attackSeconds * rate));
        decay = (float) std::exp (-1.0 / (releaseSeconds * rate));
        holdLength = (int) std::lround (holdSeconds * rate);
        reset();
    }

    void reset() noexcept { gain = 1.0f, envelope = 0.0f, holdCountdown = 0; }

    // While this holds, a frame at or below the knee passes exactly as it is.
    bool isAtRest() const noexcept { return gain == 1.0f && envelope == 0.0f; }

    // True when four samples may pass as they are: at rest and none beyond the knee.
    bool passesAsTheyAre (dsp::Float4 samples) const noexcept
    {
        return isAtRest() && ! dsp::anyOf (dsp::abs (samples) > dsp::Float4 (knee));
    }

    // One frame, both sides at one gain so that the image stays where it is.
    void process (float& left, float& right) noexcept
    {
        follow (std::max (std::abs (left), std::abs (right)));
        left = bend (left * gain);
        right = bend (right * gain);
    }

    float process (float mono) noexcept
    {
        follow (std::abs (mono));
        return bend (mono * gain);
    }

private:
    static constexpr double attackSeconds = 0.001, holdSeconds = 0.05, releaseSeconds = 0.3;

    void follow (float peak) noexcept
    {
        // The loudest recent sample, held through a cycle of the lowest notes and then let go
        // slowly: the gain stays put through each cycle of a sustained sound instead of dipping
        // at its peaks, which would bend them as the knee does.
        if (peak >= envelope)
        {
            envelope = peak;
            holdCountdown = holdLength;
        }
        else if (holdCountdown > 0)
        {
            --holdCountdown;
        }
        else
        {
            envelope *= decay;
        }

        if (envelope <= knee)
            envelope = 0.0f;

        const auto target = envelope > knee ? knee / envelope : 1.0f;
        gain = target < gain ? gain + (target - gain) * attack : target;
    }

    float gain = 1.0f, envelope = 0.0f, attack = 1.0f, decay = 0.0f;
    int holdLength = 0, holdCountdown = 0;
};

} // namespace quillon
