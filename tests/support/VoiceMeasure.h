#pragma once

// The voice heard from outside: the plug-in's processor driven as a host drives it (parameters
// through its tree, notes as MIDI, blocks of a chosen size), and the measures the sound tests
// share: steps between samples, DC, harmonic levels and the power that lies off the harmonics.
#include "plugin/PluginProcessor.h"

#include <juce_dsp/juce_dsp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace quillon::test
{

inline double decibels (double x) { return 20.0 * std::log10 (std::max (x, 1.0e-12)); }
inline double midiHz (double note) { return 440.0 * std::pow (2.0, (note - 69.0) / 12.0); }

// The processor from its init settings at one rate and block size, velocity 127 unless told.
class HostedVoice
{
public:
    explicit HostedVoice (double rate = 48000.0, int block = 256) : sampleRate (rate), blockSize (block)
    {
        processor.setRateAndBufferSizeDetails (rate, block);
        processor.prepareToPlay (rate, block);
    }

    // A parameter in its own units, as a host sets it.
    void set (const juce::String& id, float value)
    {
        auto* parameter = processor.parameterState.getParameter (id);
        ASSERT_NE (parameter, nullptr) << id;
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
    }

    float get (const juce::String& id) const
    {
        auto* parameter = processor.parameterState.getParameter (id);
        return parameter != nullptr ? parameter->convertFrom0to1 (parameter->getValue()) : 0.0f;
    }

    // A choice by its item's text.
    void choose (const juce::String& id, const juce::String& item)
    {
        auto* parameter = dynamic_cast<juce::AudioParameterChoice*> (processor.parameterState.getParameter (id));
        ASSERT_NE (parameter, nullptr) << id;
        const auto index = parameter->choices.indexOf (item);
        ASSERT_GE (index, 0) << item.toStdString();
        parameter->setValueNotifyingHost (parameter->convertTo0to1 ((float) index));
    }

    void noteOn (int note, int velocity = 127, int offset = 0)
    {
        pending.addEvent (juce::MidiMessage::noteOn (1, note, (juce::uint8) velocity), offset);
    }
    void noteOff (int note, int offset = 0) { pending.addEvent (juce::MidiMessage::noteOff (1, note), offset); }

    // Renders `numSamples` (left channel; right into `right` if given). `beforeBlock` runs before
    // each block with the block's first sample index, to move knobs or send notes at its offsets.
    std::vector<float> render (int numSamples, const std::function<void (int)>& beforeBlock = {},
                               std::vector<float>* right = nullptr)
    {
        std::vector<float> left ((size_t) numSamples);
        if (right != nullptr)
            right->assign ((size_t) numSamples, 0.0f);
        juce::AudioBuffer<float> buffer (2, blockSize);

        for (int start = 0; start < numSamples; start += blockSize)
        {
            if (beforeBlock)
                beforeBlock (start);

            const auto n = std::min (blockSize, numSamples - start);
            buffer.setSize (2, n, false, false, true);
            processor.processBlock (buffer, pending);
            pending.clear();
            std::copy_n (buffer.getReadPointer (0), n, left.begin() + start);
            if (right != nullptr)
                std::copy_n (buffer.getReadPointer (1), n, right->begin() + start);
        }

        return left;
    }

    double sampleRate;
    int blockSize;
    QuillonAudioProcessor processor;
    juce::MidiBuffer pending;
};

// The largest step between neighbouring samples of x[from..to).
inline double largestStep (const std::vector<float>& x, size_t from = 1, size_t to = SIZE_MAX)
{
    double step = 0.0;
    for (auto i = std::max<size_t> (from, 1); i < std::min (to, x.size()); ++i)
        step = std::max (step, (double) std::abs (x[i] - x[i - 1]));
    return step;
}

// Where that step lies.
inline size_t largestStepAt (const std::vector<float>& x, size_t from = 1, size_t to = SIZE_MAX)
{
    double step = -1.0;
    size_t at = 0;
    for (auto i = std::max<size_t> (from, 1); i < std::min (to, x.size()); ++i)
        if (std::abs (x[i] - x[i - 1]) > step)
        {
            step = std::abs (x[i] - x[i - 1]);
            at = i;
        }
    return at;
}

inline double mean (const std::vector<float>& x, size_t from = 0, size_t to = SIZE_MAX)
{
    to = std::min (to, x.size());
    double sum = 0.0;
    for (auto i = from; i < to; ++i)
        sum += x[i];
    return sum / (double) std::max<size_t> (1, to - from);
}

inline float peakOf (const std::vector<float>& x, size_t from = 0, size_t to = SIZE_MAX)
{
    float p = 0.0f;
    for (auto i = from; i < std::min (to, x.size()); ++i)
        p = std::max (p, std::abs (x[i]));
    return p;
}

// Power spectrum of x[from .. from + 2^order) under a 4-term Blackman-Harris window (side lobes
// at -92 dB, main lobe 4 bins either side).
inline std::vector<double> blackmanHarrisPower (const std::vector<float>& x, size_t from, int order)
{
    const auto size = (size_t) 1 << order;
    juce::dsp::FFT fft (order);
    std::vector<float> data (2 * size, 0.0f);

    for (size_t i = 0; i < size && from + i < x.size(); ++i)
    {
        const auto t = juce::MathConstants<double>::twoPi * (double) i / (double) size;
        const auto w = 0.35875 - 0.48829 * std::cos (t) + 0.14128 * std::cos (2.0 * t) - 0.01168 * std::cos (3.0 * t);
        data[i] = (float) (x[from + i] * w);
    }

    fft.performFrequencyOnlyForwardTransform (data.data(), true);
    std::vector<double> power (size / 2);
    for (size_t k = 0; k < size / 2; ++k)
        power[k] = (double) data[k] * data[k];
    return power;
}

// Power more than six bins from every harmonic of f0 (and from DC), relative to the total, in dB.
inline double offHarmonicDb (const std::vector<float>& x, size_t from, double f0, double rate, int order = 15)
{
    const auto power = blackmanHarrisPower (x, from, order);
    const auto binHz = rate / (double) ((size_t) 1 << order);
    double off = 0.0, total = 0.0;

    for (size_t k = 1; k < power.size(); ++k)
    {
        total += power[k];
        const auto harmonic = std::round ((double) k * binHz / f0);
        if (std::abs ((double) k - harmonic * f0 / binHz) > 6.0 && (double) k > 6.0)
            off += power[k];
    }

    return 10.0 * std::log10 (std::max (off, 1.0e-30) / std::max (total, 1.0e-30));
}

// Levels in dB of harmonics 1..count of f0 in x[from..], each the window's peak near its bin.
inline std::vector<double> harmonicLevelsDb (const std::vector<float>& x, size_t from, double f0, double rate, int count, int order = 15)
{
    const auto power = blackmanHarrisPower (x, from, order);
    const auto binHz = rate / (double) ((size_t) 1 << order);
    std::vector<double> levels;

    for (int h = 1; h <= count; ++h)
    {
        const auto centre = (long) std::lround (h * f0 / binHz);
        double sum = 0.0;
        for (auto k = std::max (1L, centre - 4); k <= std::min ((long) power.size() - 1, centre + 4); ++k)
            sum += power[(size_t) k];
        levels.push_back (10.0 * std::log10 (std::max (sum, 1.0e-30)));
    }

    return levels;
}

} // namespace quillon::test
