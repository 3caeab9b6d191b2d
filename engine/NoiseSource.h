#pragma once

#include "engine/DspMath.h"

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

    // n values from each of two generators of one colour as pairs, left's in out[2k] and right's
    // in out[2k + 1]: the values n calls of their next() would give, and both generators end where
    // those calls would leave them. The two run side by side in SSE2 lanes.
    static void drawPairs (NoiseSource& left, NoiseSource& right, float* out, int n) noexcept
    {
       #if QUILLON_SIN_LANES
        if constexpr (! dsp::exactReference)
        {
            if (left.colour == right.colour)
            {
                switch (left.colour)
                {
                    case white: drawLanes<white> (left, right, out, n); return;
                    case pink:  drawLanes<pink> (left, right, out, n); return;
                    case brown: drawLanes<brown> (left, right, out, n); return;
                    default: break;
                }
            }
        }
       #endif

        for (int k = 0; k < n; ++k)
        {
            out[2 * k] = left.next();
            out[2 * k + 1] = right.next();
        }
    }

private:
   #if QUILLON_SIN_LANES
    // next() in lanes 0 and 1, operation for operation, so that each lane keeps its generator's bits.
    template <int kind>
    static void drawLanes (NoiseSource& left, NoiseSource& right, float* out, int n) noexcept
    {
        const auto pair = [] (float a, float b) { return _mm_setr_ps (a, b, 0.0f, 0.0f); };

        auto state = _mm_setr_epi32 ((int) left.state, (int) right.state, 0, 0);
        auto b0 = pair (left.b0, right.b0), b1 = pair (left.b1, right.b1), b2 = pair (left.b2, right.b2);
        auto b3 = pair (left.b3, right.b3), b4 = pair (left.b4, right.b4), b5 = pair (left.b5, right.b5);
        auto b6 = pair (left.b6, right.b6), brownValue = pair (left.brownValue, right.brownValue);
        const auto brownCoefficient = pair (left.brownCoefficient, right.brownCoefficient);
        const auto k = [] (float x) { return _mm_set1_ps (x); };

        for (int i = 0; i < n; ++i)
        {
            state = _mm_xor_si128 (state, _mm_slli_epi32 (state, 13));
            state = _mm_xor_si128 (state, _mm_srli_epi32 (state, 17));
            state = _mm_xor_si128 (state, _mm_slli_epi32 (state, 5));
            const auto w = _mm_mul_ps (_mm_cvtepi32_ps (state), k (4.656612873077393e-10f));
            __m128 y;

            if constexpr (kind == white)
            {
                y = w;
            }
            else if constexpr (kind == pink)
            {
                b0 = _mm_add_ps (_mm_mul_ps (k (0.99886f), b0), _mm_mul_ps (k (0.0555179f), w));
                b1 = _mm_add_ps (_mm_mul_ps (k (0.99332f), b1), _mm_mul_ps (k (0.0750759f), w));
                b2 = _mm_add_ps (_mm_mul_ps (k (0.969f), b2), _mm_mul_ps (k (0.153852f), w));
                b3 = _mm_add_ps (_mm_mul_ps (k (0.8665f), b3), _mm_mul_ps (k (0.3104856f), w));
                b4 = _mm_add_ps (_mm_mul_ps (k (0.55f), b4), _mm_mul_ps (k (0.5329522f), w));
                b5 = _mm_sub_ps (_mm_mul_ps (k (-0.7616f), b5), _mm_mul_ps (k (0.016898f), w));
                auto sum = _mm_add_ps (_mm_add_ps (_mm_add_ps (b0, b1), b2), b3);
                sum = _mm_add_ps (_mm_add_ps (_mm_add_ps (sum, b4), b5), b6);
                y = _mm_mul_ps (_mm_add_ps (sum, _mm_mul_ps (k (0.5362f), w)), k (0.11f));
                b6 = _mm_mul_ps (k (0.115926f), w);
            }
            else
            {
                const auto moved = _mm_add_ps (_mm_add_ps (brownValue, _mm_mul_ps (_mm_sub_ps (w, brownValue), brownCoefficient)),
                                               _mm_mul_ps (k (0.02f), w));
                brownValue = _mm_max_ps (k (-1.0f), _mm_min_ps (k (1.0f), moved));
                y = brownValue;
            }

            _mm_storel_pi (reinterpret_cast<__m64*> (out + 2 * i), y);
        }

        left.state = (std::uint32_t) _mm_cvtsi128_si32 (state);
        right.state = (std::uint32_t) _mm_cvtsi128_si32 (_mm_shuffle_epi32 (state, _MM_SHUFFLE (1, 1, 1, 1)));

        const auto unpack = [] (__m128 x, float& a, float& b)
        {
            a = _mm_cvtss_f32 (x);
            b = _mm_cvtss_f32 (_mm_shuffle_ps (x, x, _MM_SHUFFLE (1, 1, 1, 1)));
        };

        unpack (b0, left.b0, right.b0);
        unpack (b1, left.b1, right.b1);
        unpack (b2, left.b2, right.b2);
        unpack (b3, left.b3, right.b3);
        unpack (b4, left.b4, right.b4);
        unpack (b5, left.b5, right.b5);
        unpack (b6, left.b6, right.b6);
        unpack (brownValue, left.brownValue, right.brownValue);
    }
   #endif

    double sampleRate = 44100.0;
    std::uint32_t state = constructionSeed;
    int colour = white;
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, b3 = 0.0f, b4 = 0.0f, b5 = 0.0f, b6 = 0.0f;
    float brownValue = 0.0f;
    float brownCoefficient = 0.0022796f; // 16 Hz at 44.1 kHz
};

} // namespace quillon
