#pragma once

#include "engine/core/FastMath.h"

#include <array>

namespace quillon
{

// The 2x-to-base-rate half of the voice's oversampler: the same polyphase allpass half-band
// filter as JUCE's maximum-quality IIR stage, with the same operations in the same order, but
// both channels at once in the lanes of one register and the allpass states held in registers
// through a block. The samples are those of juce::dsp::Oversampling's processSamplesDown.
class HalfBandDecimator
{
public:
    static constexpr int maxStages = 16;

    // Message thread: designs the filter.
    void prepare();
    void reset() noexcept;

    // 2 x numSamples samples of each channel in, numSamples out.
    void process (const float* inLeft, const float* inRight, float* outLeft, float* outRight, int numSamples) noexcept;

    int getNumStages() const noexcept { return numStages; }

private:
    template <int stages>
    QUILLON_HOT_CLONES void processLanes (const float* inLeft, const float* inRight, float* outLeft, float* outRight, int numSamples) noexcept;

    std::array<float, maxStages> coefficients {};
    int numStages = 0, directStages = 0;
    // Per stage, the left and right state; and the delayed path's last output per side.
    std::array<std::array<float, 2>, maxStages> states {};
    std::array<float, 2> delays {};
};

} // namespace quillon
