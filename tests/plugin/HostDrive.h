#pragma once

#include "plugin/PluginProcessor.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace quillon::test
{

// The processor as a host drives it: init preset, 48 kHz, fixed blocks, parameters set between
// blocks through the host's path. Records channel 0.
struct HostDrive
{
    explicit HostDrive (int block = 256, double rate = 48000.0) : blockSize (block)
    {
        processor->setRateAndBufferSizeDetails (rate, block);
        processor->prepareToPlay (rate, block);
    }

    void set (const char* id, float plainValue)
    {
        auto* p = processor->parameterState.getParameter (id);
        p->setValueNotifyingHost (p->convertTo0to1 (plainValue));
    }

    float get (const char* id) { return processor->parameterState.getRawParameterValue (id)->load(); }

    // Renders `samples` more, with a note-on or note-off (velocity 127) at `eventAt` samples in.
    void render (int samples, int note = -1, bool on = true, int eventAt = 0)
    {
        for (int done = 0; done < samples;)
        {
            const auto n = std::min (blockSize, samples - done);
            juce::AudioBuffer<float> buffer (2, n);
            juce::MidiBuffer midi;

            if (note >= 0 && eventAt >= done && eventAt < done + n)
                midi.addEvent (on ? juce::MidiMessage::noteOn (1, note, (juce::uint8) 127) : juce::MidiMessage::noteOff (1, note),
                               eventAt - done);

            processor->processBlock (buffer, midi);
            out.insert (out.end(), buffer.getReadPointer (0), buffer.getReadPointer (0) + n);
            done += n;
        }
    }

    int blockSize;
    std::unique_ptr<QuillonAudioProcessor> processor = std::make_unique<QuillonAudioProcessor>();
    std::vector<float> out;
};

// The largest sample-to-sample step in [from, to).
inline float maxStep (const std::vector<float>& x, size_t from, size_t to)
{
    float m = 0.0f;

    for (auto i = std::max<size_t> (from, 1); i < std::min (to, x.size()); ++i)
        m = std::max (m, std::abs (x[i] - x[i - 1]));

    return m;
}

} // namespace quillon::test
