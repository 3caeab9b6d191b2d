#pragma once

#include <array>

namespace quillon
{

// An equal-gain fade between the N settings of a switch: the weights always add up to 1 and move
// linearly in time. A change while a fade runs starts the next one from the weights as they
// stand, so that a setting still half faded in or out goes on fading instead of vanishing.
// The paths faded here are versions of the same signal, which an equal-power law would make
// louder halfway through.
template <int N>
class SwitchFade
{
public:
    static constexpr int numSettings = N;

    void setLength (int samples) noexcept { length = samples > 0 ? samples : 1; countdown = 0; }
    int getLength() const noexcept         { return length; }

    void jumpTo (int setting) noexcept
    {
        from.fill (0.0f);
        from[(size_t) setting] = 1.0f;
        target = setting;
        countdown = 0;
    }

    void fadeTo (int setting) noexcept
    {
        if (setting == target)
            return;

        for (int i = 0; i < N; ++i)
            from[(size_t) i] = weight (i);

        target = setting;
        countdown = length;
    }

    int getTarget() const noexcept  { return target; }
    bool isFading() const noexcept  { return countdown > 0; }

    // The share of one setting at the current sample.
    float weight (int setting) const noexcept
    {
        if (countdown < 1)
            return setting == target ? 1.0f : 0.0f;

        const auto a = 1.0f - (float) countdown / (float) length;
        return from[(size_t) setting] * (1.0f - a) + (setting == target ? a : 0.0f);
    }

    // True while `setting` takes part, fading in or out.
    bool isSounding (int setting) const noexcept
    {
        return setting == target || (countdown > 0 && from[(size_t) setting] > 0.0f);
    }

    void advance() noexcept
    {
        if (countdown > 0)
            --countdown;
    }

    bool operator== (const SwitchFade& o) const noexcept
    {
        return from == o.from && target == o.target && length == o.length && countdown == o.countdown;
    }

private:
    std::array<float, (size_t) N> from { 1.0f };
    int target = 0;
    int length = 1;
    int countdown = 0;
};

} // namespace quillon
