#pragma once

#include "engine/chain/DriveStage.h"

#include <juce_dsp/juce_dsp.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace quillon::test
{

// A float's bits, for tests that hold two paths to the same result bit for bit.
inline std::uint32_t bitsOf (float x)
{
    std::uint32_t b;
    std::memcpy (&b, &x, sizeof (b));
    return b;
}

// A drive stage at the 2x rate of 48 kHz with its curve and gain set, not fading.
inline DriveStage makeDrive (int mode, float gain)
{
    DriveStage drive;
    drive.prepare (96000.0);
    drive.setMode (mode, false);
    drive.setGain (gain);
    return drive;
}

// Steady-state gain in dB of a per-sample process at one frequency: a quiet sine runs through it
// for a settling second, then the output's component at that frequency is measured over a whole
// number of cycles and compared with the input's amplitude.
inline double gainAtDb (const std::function<float (float)>& process, double frequency, double sampleRate,
                        float amplitude = 0.01f, double settleSeconds = 1.0)
{
    const auto w = juce::MathConstants<double>::twoPi * frequency / sampleRate;
    const auto settle = (int) (settleSeconds * sampleRate);
    const auto cycles = std::max (20, (int) std::ceil (frequency * 0.2));
    const auto length = (int) std::round (cycles * sampleRate / frequency);
    double re = 0.0, im = 0.0;

    for (int n = 0; n < settle + length; ++n)
    {
        const auto y = (double) process (amplitude * (float) std::sin (w * n));

        if (n >= settle)
        {
            re += y * std::cos (w * n);
            im += y * std::sin (w * n);
        }
    }

    const auto magnitude = 2.0 * std::sqrt (re * re + im * im) / length;
    return 20.0 * std::log10 (std::max (magnitude / amplitude, 1.0e-12));
}

// Averaged power spectrum (Hann window, 4096 points) of a generated signal; bin k is k x rate / 4096.
inline std::vector<double> averagePowerSpectrum (const std::function<float()>& next, int frames = 64)
{
    constexpr int order = 12, size = 1 << order;
    juce::dsp::FFT fft (order);
    std::vector<double> power (size / 2, 0.0);
    std::vector<float> data (2 * size);

    for (int frame = 0; frame < frames; ++frame)
    {
        std::fill (data.begin(), data.end(), 0.0f);

        for (int i = 0; i < size; ++i)
            data[(size_t) i] = next() * (float) (0.5 - 0.5 * std::cos (juce::MathConstants<double>::twoPi * i / size));

        fft.performFrequencyOnlyForwardTransform (data.data());

        for (int k = 0; k < size / 2; ++k)
            power[(size_t) k] += (double) data[(size_t) k] * data[(size_t) k];
    }

    return power;
}

// Mean power in dB of the bins between two frequencies.
inline double bandPowerDb (const std::vector<double>& power, double sampleRate, double from, double to)
{
    const auto binWidth = sampleRate / (2.0 * (double) power.size());
    double sum = 0.0;
    int count = 0;

    for (auto k = (size_t) std::ceil (from / binWidth); k <= (size_t) std::floor (to / binWidth) && k < power.size(); ++k, ++count)
        sum += power[k];

    return 10.0 * std::log10 (sum / std::max (count, 1));
}

inline bool isSubnormal (float x) { return std::fpclassify (x) == FP_SUBNORMAL; }

} // namespace quillon::test

namespace quillon::test
{

// Amplitude of the component at one frequency in x[from..], over a whole number of its cycles.
inline double amplitudeAt (const std::vector<float>& x, double frequency, double sampleRate, size_t from = 0)
{
    const auto w = juce::MathConstants<double>::twoPi * frequency / sampleRate;
    const auto cycles = std::floor ((double) (x.size() - from) * frequency / sampleRate);
    const auto length = (size_t) std::round (cycles * sampleRate / frequency);
    double re = 0.0, im = 0.0;

    for (size_t n = from; n < from + length; ++n)
    {
        re += x[n] * std::cos (w * (double) n);
        im += x[n] * std::sin (w * (double) n);
    }

    return 2.0 * std::sqrt (re * re + im * im) / (double) std::max<size_t> (length, 1);
}

inline double rms (const std::vector<float>& x, size_t from = 0)
{
    double sum = 0.0;
    for (size_t n = from; n < x.size(); ++n)
        sum += (double) x[n] * x[n];
    return std::sqrt (sum / (double) std::max<size_t> (1, x.size() - from));
}

} // namespace quillon::test
