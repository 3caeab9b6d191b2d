// The fast voice against the same voice built exact (library functions, per-sample updates):
// every factory preset at C1..C4 and a set of stress settings, 2 s each. Where nothing feeds
// back, the difference must lie 80 dB under the signal. Where feedback or resonance lets tiny
// differences grow, the sound must still measure the same: level within 0.1 dB and every
// third-octave band that matters within 0.5 dB.
#include "bench/VoiceSettings.h"
#include "plugin/Catalogue.h"
#include "support/FactoryPresets.h"
#include "plugin/PluginProcessor.h"
#include "plugin/VoiceBinding.h"
#include "reference/ExactVoice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace
{
constexpr double rate = 48000.0;
constexpr int block = 256;
constexpr int numPresets = 68;
constexpr double seconds = 2.0, holdSeconds = 1.5;

struct Take
{
    std::vector<float> left, right;
};

double rms (const std::vector<float>& a, const std::vector<float>& b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += (double) a[i] * a[i] + (double) b[i] * b[i];
    return std::sqrt (sum / (double) std::max<size_t> (1, 2 * a.size()));
}

// Power in third-octave bands (centres 25 Hz .. 16 kHz) of a Hann-windowed channel pair.
std::vector<double> thirdOctaveBands (const Take& take)
{
    constexpr int order = 17;
    constexpr int size = 1 << order;
    juce::dsp::FFT fft (order);
    std::vector<double> power ((size_t) size / 2 + 1, 0.0);

    for (const auto* channel : { &take.left, &take.right })
    {
        std::vector<float> data (2 * (size_t) size, 0.0f);
        const auto n = std::min<size_t> (channel->size(), (size_t) size);
        for (size_t i = 0; i < n; ++i)
            data[i] = (*channel)[i] * (float) (0.5 - 0.5 * std::cos (2.0 * juce::MathConstants<double>::pi * (double) i / (double) n));
        fft.performFrequencyOnlyForwardTransform (data.data(), true);
        for (size_t k = 0; k < power.size(); ++k)
            power[k] += (double) data[k] * data[k];
    }

    std::vector<double> bands;
    for (int b = -16; b <= 12; ++b)
    {
        const auto centre = 1000.0 * std::pow (2.0, b / 3.0);
        const auto from = (size_t) std::ceil (centre * std::pow (2.0, -1.0 / 6.0) * size / rate);
        const auto to = (size_t) std::floor (centre * std::pow (2.0, 1.0 / 6.0) * size / rate);
        double sum = 0.0;
        for (auto k = from; k <= std::min (to, power.size() - 1); ++k)
            sum += power[k];
        bands.push_back (sum);
    }
    return bands;
}

using Setup = std::function<void (QuillonAudioProcessor&)>;

void setRaw (QuillonAudioProcessor& p, const char* id, float value)
{
    auto* raw = p.parameterState.getRawParameterValue (id);
    ASSERT_NE (raw, nullptr) << id;
    raw->store (value);
}

// Renders one note held for 1.5 s of 2 s through a voice.
template <typename Voice>
Take play (Voice& voice, int note)
{
    voice.prepare (rate, block);
    const auto total = (int) (seconds * rate), hold = (int) (holdSeconds * rate);
    Take take;
    take.left.resize ((size_t) total);
    take.right.resize ((size_t) total);
    juce::AudioBuffer<float> buffer (2, block);
    voice.noteOn (note, 0.8f, false);

    for (int start = 0; start < total; start += block)
    {
        const auto n = std::min (block, total - start);
        buffer.clear();

        if (start <= hold && hold < start + n)
        {
            voice.render (buffer, 0, hold - start);
            voice.releaseAll();
            voice.render (buffer, hold - start, n - (hold - start));
        }
        else
        {
            voice.render (buffer, 0, n);
        }

        std::copy (buffer.getReadPointer (0), buffer.getReadPointer (0) + n, take.left.begin() + start);
        std::copy (buffer.getReadPointer (1), buffer.getReadPointer (1) + n, take.right.begin() + start);
    }
    return take;
}

struct Engine
{
    explicit Engine (juce::AudioProcessorValueTreeState& s) : engine (quillon::bindVoiceParameters (s)) {}
    void prepare (double r, int b)           { engine.prepare (r, b); }
    void noteOn (int n, float v, bool l)     { engine.noteOn (n, v, l); }
    void releaseAll()                        { engine.releaseAll(); }
    void render (juce::AudioBuffer<float>& b, int s, int n) { engine.render (b, s, n); }
    quillon::SynthEngine engine;
};

// A sound whose loop can amplify a difference of one rounding step: audible feedback, a
// resonance high enough to ring or sing, or a phase stage feeding back into itself.
bool feedsBack (QuillonAudioProcessor& p)
{
    const auto value = [&p] (const char* id) { return p.parameterState.getRawParameterValue (id)->load(); };
    return value ("feedbackAmount") > 0.0f || value ("filterReso") >= 0.5f;
}

void compare (const juce::String& name, const Setup& setup)
{
    for (const auto note : { 24, 36, 48, 60 })
    {
        QuillonAudioProcessor processor;
        processor.setRateAndBufferSizeDetails (rate, block);
        processor.prepareToPlay (rate, block);
        setup (processor);

        Engine fast (processor.parameterState);
        auto exact = exact_reference::makeVoice (processor.parameterState);
        const auto a = play (fast, note);
        const auto b = play (*exact, note);

        const auto signal = rms (b.left, b.right);
        ASSERT_GT (signal, 1.0e-5) << name << " is silent at note " << note;

        for (auto v : a.left)
            ASSERT_TRUE (std::isfinite (v)) << name;

        if (! feedsBack (processor))
        {
            std::vector<float> dl (a.left.size()), dr (a.left.size());
            for (size_t i = 0; i < dl.size(); ++i)
            {
                dl[i] = a.left[i] - b.left[i];
                dr[i] = a.right[i] - b.right[i];
            }
            const auto differenceDb = 20.0 * std::log10 (std::max (rms (dl, dr), 1.0e-30) / signal);
            EXPECT_LT (differenceDb, -80.0) << name << " at note " << note;

            if (std::getenv ("QUILLON_SHOW_MARGINS") != nullptr) // how close each take comes to the limit
                std::printf ("difference %7.1f dB  note %d  %s\n", differenceDb, note, name.containsChar ('<') ? name.fromFirstOccurrenceOf ("name=\"", false, false).upToFirstOccurrenceOf ("\"", false, false).toRawUTF8() : name.toRawUTF8());

            continue;
        }

        const auto levelDb = 20.0 * std::log10 (rms (a.left, a.right) / signal);
        EXPECT_NEAR (levelDb, 0.0, 0.1) << name << " at note " << note;

        const auto fastBands = thirdOctaveBands (a), exactBands = thirdOctaveBands (b);
        double total = 0.0;
        for (auto band : exactBands)
            total += band;

        // Bands 60 dB or more below the whole sound hold nothing to hear.
        for (size_t i = 0; i < exactBands.size(); ++i)
        {
            if (exactBands[i] > total * 1.0e-6)
            {
                EXPECT_NEAR (10.0 * std::log10 (fastBands[i] / exactBands[i]), 0.0, 0.5)
                    << name << " at note " << note << ", band " << i;
            }
        }
    }
}

class ExactReferencePreset : public ::testing::TestWithParam<int> {};

TEST_P (ExactReferencePreset, soundsLikeTheExactVoiceAtC1ToC4)
{
    const auto file = quillon::test::factoryPresetFile (GetParam());
    ASSERT_TRUE (file.isNotEmpty());
    compare (file, [&file] (QuillonAudioProcessor& p)
    {
        auto xml = quillon::presets::loadFactoryPresetXml (file);
        ASSERT_NE (xml, nullptr);
        ASSERT_TRUE (p.loadStateTree (*xml));
    });
}

INSTANTIATE_TEST_SUITE_P (EveryFactoryPreset, ExactReferencePreset, ::testing::Range (0, numPresets));

class ExactReferenceStress : public ::testing::TestWithParam<int> {};

TEST_P (ExactReferenceStress, soundsLikeTheExactVoiceAtC1ToC4)
{
    const auto& stress = voice_settings::stressSettings()[(size_t) GetParam()];
    compare (stress.name, [&stress] (QuillonAudioProcessor& p)
    {
        for (const auto& [id, value] : stress.settings)
            setRaw (p, id, value);
    });
}

INSTANTIATE_TEST_SUITE_P (StressSettings, ExactReferenceStress,
                          ::testing::Range (0, (int) voice_settings::stressSettings().size()));

} // namespace
