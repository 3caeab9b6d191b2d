#pragma once

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
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
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

private:
    double sampleRate = 44100.0;
    std::uint32_t state = constructionSeed;
    int colour = white;
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, b3 = 0.0f, b4 = 0.0f, b5 = 0.0f, b6 = 0.0f;
    float brownValue = 0.0f;
    float brownCoefficient = 0.0022796f; // 16 Hz at 44.1 kHz
};

} // namespace quillon
