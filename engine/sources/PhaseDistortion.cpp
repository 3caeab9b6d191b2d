#include "engine/sources/PhaseDistortion.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quillon
{

namespace
{
constexpr float twoPi = 2.0f * 3.14159265358979323846f;

std::array<float, numWaveShapes> buildGainTable() noexcept
{
    constexpr int points = 4096;
    double referenceSum = 0.0;

    for (int i = 0; i < points; ++i)
    {
        const auto p = (float) i / (float) points;
        const auto v = std::cos (twoPi * (std::min ((1.0f - p) * 0.4949495f, 49.000004f * p) + p));
        referenceSum += (double) v * (double) v;
    }

    const auto reference = std::sqrt (referenceSum / points);
    std::array<float, numWaveShapes> gains {};

    for (int shape = 0; shape < numWaveShapes; ++shape)
    {
        double sum = 0.0;

        for (int i = 0; i < points; ++i)
        {
            const auto v = (double) phaseDistortionShape (shape, (float) i / (float) points, 1.0f, 16.0f);
            sum += v * v;
        }

        const auto rms = std::sqrt (sum / points);
        gains[(size_t) shape] = rms > 1.0e-6 ? (float) (reference / rms) : 1.0f;
    }

    return gains;
}
} // namespace

const float* waveGainTable() noexcept
{
    static const std::array<float, numWaveShapes> table = buildGainTable();
    return table.data();
}

} // namespace quillon
