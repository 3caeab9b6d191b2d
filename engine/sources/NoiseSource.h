#pragma once

#include "engine/core/DspMath.h"

#include <cstdint>

namespace quillon
{

// White, pink or brown noise from a seeded xorshift generator, one per side. Seeded, so a
// render is the same every time.
class NoiseSource
{
public:
    enum Colour { white, pink, brown };

    static constexpr std::uint32_t constructionSeed = 0xC0FFEE13u;

    void prepare (double baseRate, std::uint32_t seed) noexcept
    {
        sampleRate = baseRate;
        const auto c = 2.0 * 3.14159265358979323846 * 16.0 / (baseRate > 1.0 ? baseRate : 1.0);
        brownCoefficient = (float) (c < 0.0 ? 0.0 : (c > 1.0 ? 1.0 : c));
        b0 = b1 = b2 = b3 = b4 = b5 = b6 = 0.0f;
        brownValue = 0.0f;
        state = seed;
    }

    void setColour (int newColour) noexcept { colour = newColour; }
    int getColour() const noexcept          { return colour; }

    float next() noexcept
    {
        state = step (state);
        const auto w = (float) (std::int32_t) state * 4.656612873077393e-10f; // 2^-31

        switch (colour)
        {
            case white: return w;

            case pink: // seven-pole approximation of a -3 dB per octave slope
            {
                b0 = 0.99886f * b0 + 0.0555179f * w;
                b1 = 0.99332f * b1 + 0.0750759f * w;
                b2 = 0.969f * b2 + 0.153852f * w;
                b3 = 0.8665f * b3 + 0.3104856f * w;
                b4 = 0.55f * b4 + 0.5329522f * w;
                b5 = -0.7616f * b5 - 0.016898f * w;
                const auto out = (b0 + b1 + b2 + b3 + b4 + b5 + b6 + 0.5362f * w) * 0.11f;
                b6 = 0.115926f * w;
                return out;
            }

            case brown: // leaky integration, -6 dB per octave above 16 Hz
            {
                const auto y = brownValue + (w - brownValue) * brownCoefficient + 0.02f * w;
                brownValue = y < -1.0f ? -1.0f : (y > 1.0f ? 1.0f : y);
                return brownValue;
            }

            default: return 0.0f;
        }
    }

    // n values from each of two generators of one colour as pairs, left's in out[2k] and right's
    // in out[2k + 1]: the values n calls of their next() would give, and both generators end where
    // those calls would leave them. The two run side by side in SSE2 lanes.
    static void drawPairs (NoiseSource& left, NoiseSource& right, float* out, int n) noexcept
    {
        if (! dsp::exactReference && left.colour == right.colour)
        {
            switch (left.colour)
            {
                case white: drawLanes<white> (left, right, out, n); return;
                case pink:  drawLanes<pink> (left, right, out, n); return;
                case brown: drawLanes<brown> (left, right, out, n); return;
                default: break;
            }
        }

        for (int k = 0; k < n; ++k)
        {
            out[2 * k] = left.next();
            out[2 * k + 1] = right.next();
        }
    }

private:
    static std::uint32_t step (std::uint32_t x) noexcept
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    }

    // next() operation for operation, so that each lane keeps its generator's bits. Lanes 0 and 1
    // hold the left and the right generator and lanes 2 and 3 again, where the pink poles keep a
    // second pole of each side: (b0, b0, b1, b1), (b2, b2, b3, b3) and (b4, b4, b5, b5).
    template <int kind>
    static void drawLanes (NoiseSource& left, NoiseSource& right, float* out, int n) noexcept
    {
        using dsp::Float4;
        const auto k = [] (float x, float y) { return Float4::set (x, x, y, y); };
        const auto poles = [&left, &right] (float NoiseSource::* first, float NoiseSource::* second)
        {
            return Float4::set (left.*first, right.*first, left.*second, right.*second);
        };

        auto stateLeft = left.state, stateRight = right.state;
        auto b01 = poles (&NoiseSource::b0, &NoiseSource::b1), b23 = poles (&NoiseSource::b2, &NoiseSource::b3);
        auto b45 = poles (&NoiseSource::b4, &NoiseSource::b5), b6 = poles (&NoiseSource::b6, &NoiseSource::b6);
        auto brownValue = poles (&NoiseSource::brownValue, &NoiseSource::brownValue);
        const auto brownCoefficient = poles (&NoiseSource::brownCoefficient, &NoiseSource::brownCoefficient);

        // Scaling by a power of two is exact, so pink's products may take the raw integer times
        // the scaled coefficient.
        constexpr auto scale = 4.656612873077393e-10f; // 2^-31
        const auto scaled = [] (float x, float y) { return Float4::set (x * scale, x * scale, y * scale, y * scale); };

        auto i = 0;

        if constexpr (kind == pink)
        {
            // Two draws at a time: once the poles have moved on twice, both draws' sums run in one
            // vector, lanes (left, right) of the first draw then of the second, in next()'s order.
            const auto pole = [] (Float4 b, Float4 c, Float4 d, Float4 x) { return c * b + d * x; };

            for (; i + 2 <= n; i += 2)
            {
                stateLeft = step (stateLeft);
                stateRight = step (stateRight);
                const auto first = (std::uint64_t) stateLeft | (std::uint64_t) stateRight << 32;
                stateLeft = step (stateLeft);
                stateRight = step (stateRight);
                const auto second = (std::uint64_t) stateLeft | (std::uint64_t) stateRight << 32;
                const auto x = dsp::fromIntPairs (first, second);
                const auto x1 = dsp::lowHalves (x, x), x2 = dsp::highHalves (x, x);

                const auto b01First = pole (b01, k (0.99886f, 0.99332f), scaled (0.0555179f, 0.0750759f), x1);
                const auto b23First = pole (b23, k (0.969f, 0.8665f), scaled (0.153852f, 0.3104856f), x1);
                const auto b45First = pole (b45, k (0.55f, -0.7616f), scaled (0.5329522f, -0.016898f), x1);
                b01 = pole (b01First, k (0.99886f, 0.99332f), scaled (0.0555179f, 0.0750759f), x2);
                b23 = pole (b23First, k (0.969f, 0.8665f), scaled (0.153852f, 0.3104856f), x2);
                b45 = pole (b45First, k (0.55f, -0.7616f), scaled (0.5329522f, -0.016898f), x2);

                // Pole j of both draws in one vector; b6 holds the draw before's input.
                const auto inputs = scaled (0.115926f, 0.115926f) * x;
                auto sum = dsp::lowHalves (b01First, b01) + dsp::highHalves (b01First, b01);
                sum = (sum + dsp::lowHalves (b23First, b23)) + dsp::highHalves (b23First, b23);
                sum = (sum + dsp::lowHalves (b45First, b45)) + dsp::highHalves (b45First, b45);
                sum = sum + dsp::lowHalves (b6, inputs);
                b6 = dsp::highHalves (inputs, inputs);
                ((sum + scaled (0.5362f, 0.5362f) * x) * k (0.11f, 0.11f)).store (out + 2 * i);
            }
        }

        for (; i < n; ++i)
        {
            // The generators step in general registers, where shifts and xors are quicker than in
            // vector ones, and go over as one 64-bit move.
            stateLeft = step (stateLeft);
            stateRight = step (stateRight);
            const auto states = (std::uint64_t) stateLeft | (std::uint64_t) stateRight << 32;
            const auto x = dsp::fromIntPairs (states, states);
            Float4 y;

            if constexpr (kind == white)
            {
                y = x * k (scale, scale);
            }
            else if constexpr (kind == pink)
            {
                // b5's term added negated: the same bits as subtracted.
                b01 = k (0.99886f, 0.99332f) * b01 + scaled (0.0555179f, 0.0750759f) * x;
                b23 = k (0.969f, 0.8665f) * b23 + scaled (0.153852f, 0.3104856f) * x;
                b45 = k (0.55f, -0.7616f) * b45 + scaled (0.5329522f, -0.016898f) * x;
                auto sum = b01 + dsp::highHalves (b01, b01);
                sum = (sum + b23) + dsp::highHalves (b23, b23);
                sum = (sum + b45) + dsp::highHalves (b45, b45);
                sum = sum + b6;
                y = (sum + scaled (0.5362f, 0.5362f) * x) * k (0.11f, 0.11f);
                b6 = scaled (0.115926f, 0.115926f) * x;
            }
            else
            {
                const auto w = x * k (scale, scale);
                const auto moved = (brownValue + (w - brownValue) * brownCoefficient) + k (0.02f, 0.02f) * w;
                brownValue = dsp::clamp (moved, k (-1.0f, -1.0f), k (1.0f, 1.0f));
                y = brownValue;
            }

            dsp::storeLow (y, out + 2 * i);
        }

        left.state = stateLeft;
        right.state = stateRight;

        const auto unpack = [&left, &right] (Float4 lanes, float NoiseSource::* first, float NoiseSource::* second)
        {
            float v[4];
            lanes.store (v);
            left.*first = v[0];
            right.*first = v[1];
            left.*second = v[2];
            right.*second = v[3];
        };

        unpack (b01, &NoiseSource::b0, &NoiseSource::b1);
        unpack (b23, &NoiseSource::b2, &NoiseSource::b3);
        unpack (b45, &NoiseSource::b4, &NoiseSource::b5);
        unpack (b6, &NoiseSource::b6, &NoiseSource::b6);
        unpack (brownValue, &NoiseSource::brownValue, &NoiseSource::brownValue);
    }

    double sampleRate = 44100.0;
    std::uint32_t state = constructionSeed;
    int colour = white;
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, b3 = 0.0f, b4 = 0.0f, b5 = 0.0f, b6 = 0.0f;
    float brownValue = 0.0f;
    float brownCoefficient = 0.0022796f; // 16 Hz at 44.1 kHz
};

} // namespace quillon
