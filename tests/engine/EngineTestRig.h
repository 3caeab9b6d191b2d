#pragma once

#include "engine/SynthEngine.h"
#include "plugin/Parameters.h"
#include "plugin/VoiceBinding.h"
#include "support/InertProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace quillon::test
{

// Holds the real parameter layout at its defaults, so the engine can run without the processor.
class ParameterHost : public InertProcessor
{
public:
    ParameterHost() : state (*this, nullptr, "PARAMS", createParameterLayout()) {}

    juce::AudioProcessorValueTreeState state;
};

struct EngineRig
{
    explicit EngineRig (double rate = 48000.0, int maxBlock = 512, RenderOptions options = {})
        : sampleRate (rate), maxBlockSize (maxBlock)
    {
        // A plain full-scale cosine unless a test asks for more: osc 2 and the sub silenced
        // outright, and velocity no longer scaling the level.
        set ("osc2Level", -90.0f);
        set ("subLevel", -120.0f);
        set ("mod1Amount", 0.0f);
        set ("outputGain", 0.0f);
        engine.prepare (rate, maxBlock, options);
    }

    void set (const char* id, float value)
    {
        auto* raw = host.state.getRawParameterValue (id);
        ASSERT_NE (raw, nullptr) << id;
        raw->store (value);
    }

    // Renders `numSamples` in blocks of `blockSize` into a fresh buffer and returns channel 0.
    std::vector<float> render (int numSamples, int blockSize = 256, std::vector<float>* right = nullptr)
    {
        juce::AudioBuffer<float> buffer (2, numSamples);
        buffer.clear();

        for (int start = 0; start < numSamples; start += blockSize)
            engine.render (buffer, start, std::min (blockSize, numSamples - start));

        if (right != nullptr)
            right->assign (buffer.getReadPointer (1), buffer.getReadPointer (1) + numSamples);

        return { buffer.getReadPointer (0), buffer.getReadPointer (0) + numSamples };
    }

    double sampleRate;
    int maxBlockSize;
    ParameterHost host;
    SynthEngine engine { bindVoiceParameters (host.state) };
};

// Frequency from the rising zero crossings, interpolated between samples.
inline double estimateFrequency (const std::vector<float>& x, double sampleRate, size_t skip = 0)
{
    double first = -1.0, last = -1.0;
    int crossings = 0;

    for (size_t i = std::max<size_t> (skip, 1); i < x.size(); ++i)
    {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f)
        {
            const auto t = (double) (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0.0)
                first = t;
            last = t;
            ++crossings;
        }
    }

    return crossings > 1 ? (crossings - 1) * sampleRate / (last - first) : 0.0;
}

inline double noteHz (double note) { return 440.0 * std::pow (2.0, (note - 69.0) / 12.0); }

inline float peak (const std::vector<float>& x, size_t from = 0, size_t to = SIZE_MAX)
{
    float p = 0.0f;
    for (size_t i = from; i < std::min (to, x.size()); ++i)
        p = std::max (p, std::abs (x[i]));
    return p;
}

} // namespace quillon::test
