// Every factory preset played as a user would: a few notes through the processor, each held and
// released. The sound must be clean, audible, below full scale and gone after its release, and it
// must behave like its category: plucks and percussion decay, pads hold, reese basses beat.
#include "plugin/Catalogue.h"
#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quillon::presets;

namespace
{
constexpr double rate = 48000.0;
constexpr int block = 256;
constexpr int numPresets = 68;

struct Take
{
    std::vector<float> left, right;

    float peak() const
    {
        float p = 0.0f;
        for (size_t i = 0; i < left.size(); ++i)
            p = std::max ({ p, std::abs (left[i]), std::abs (right[i]) });
        return p;
    }

    // RMS of the mid signal between two times in seconds.
    double level (double from, double to) const
    {
        double sum = 0.0;
        const auto a = (size_t) (from * rate), b = std::min (left.size(), (size_t) (to * rate));
        for (size_t i = a; i < b; ++i)
            sum += std::pow (0.5 * (left[i] + right[i]), 2.0);
        return std::sqrt (sum / (double) std::max<size_t> (1, b - a));
    }
};

struct Preset
{
    juce::String file, category;
};

Preset presetAt (int index)
{
    const auto catalogue = Catalogue::loadEmbedded();
    int i = 0;
    for (const auto& category : catalogue.categories)
        for (const auto& entry : category.entries)
            if (i++ == index)
                return { entry.xml, category.id };
    return {};
}

// One note from a freshly loaded preset: held for `holdSeconds`, then released, over `seconds`.
Take play (const juce::String& file, int note, double holdSeconds, double seconds, int velocity = 127)
{
    QuillonAudioProcessor processor;
    processor.setRateAndBufferSizeDetails (rate, block);
    processor.prepareToPlay (rate, block);
    auto xml = loadFactoryPresetXml (file);
    EXPECT_NE (xml, nullptr);
    if (xml == nullptr)
        return {};
    processor.loadStateTree (*xml);

    const auto total = (int) (seconds * rate), hold = (int) (holdSeconds * rate);
    Take take;
    take.left.resize ((size_t) total);
    take.right.resize ((size_t) total);
    juce::AudioBuffer<float> buffer (2, block);

    for (int start = 0; start < total; start += block)
    {
        juce::MidiBuffer midi;
        if (start == 0)
            midi.addEvent (juce::MidiMessage::noteOn (1, note, (juce::uint8) velocity), 0);
        if (hold >= start && hold < start + block)
            midi.addEvent (juce::MidiMessage::noteOff (1, note), hold - start);

        processor.processBlock (buffer, midi);
        const auto n = std::min (block, total - start);
        std::copy_n (buffer.getReadPointer (0), n, take.left.begin() + start);
        std::copy_n (buffer.getReadPointer (1), n, take.right.begin() + start);
    }

    return take;
}

double decibels (double x) { return 20.0 * std::log10 (std::max (x, 1.0e-9)); }

struct FactoryPreset : ::testing::TestWithParam<int> {};
} // namespace

TEST_P (FactoryPreset, soundsCleanAudibleBelowFullScaleAndStopsAfterItsRelease)
{
    const auto preset = presetAt (GetParam());
    ASSERT_TRUE (preset.file.isNotEmpty());
    SCOPED_TRACE (preset.file);

    for (int note : { 24, 36, 48, 60 }) // C1 .. C4
    {
        SCOPED_TRACE (note);
        // Held for 2 s; the longest factory release is 3 s.
        const auto take = play (preset.file, note, 2.0, 5.5);

        for (size_t i = 0; i < take.left.size(); ++i)
            ASSERT_TRUE (std::isfinite (take.left[i]) && std::isfinite (take.right[i])) << "sample " << i;

        EXPECT_LT (take.peak(), 1.0f);
        EXPECT_GT (take.peak(), 0.05f);       // within 26 dB of full scale
        EXPECT_EQ (take.level (5.02, 5.5), 0.0); // the voice has stopped, and the output's short tail after it

        if (preset.category == "plucks" || preset.category == "percussion")
        {
            EXPECT_LT (decibels (take.level (1.5, 1.9)), decibels (take.level (0.0, 0.1)) - 12.0); // decays while held
        }

        if (preset.category == "percussion")
        {
            EXPECT_LT (take.level (1.0, 2.0), 1.0e-6); // short: over within a second though held
        }

        if (preset.category == "textures")
        {
            EXPECT_GT (decibels (take.level (1.6, 2.0)), decibels (take.level (0.0, 2.0)) - 3.0); // pads hold
        }
    }
}

INSTANTIATE_TEST_SUITE_P (All, FactoryPreset, ::testing::Range (0, numPresets));

TEST (FactoryPresets, reeseBassesBeat)
{
    int reeses = 0;

    for (int i = 0; i < numPresets; ++i)
    {
        const auto preset = presetAt (i);
        if (preset.category != "bass-reese")
            continue;

        // The loudness of a held note moves by several dB: the detuned pair beating.
        ++reeses;
        const auto take = play (preset.file, 36, 2.0, 2.0);
        double quietest = 1.0e9, loudest = 0.0;
        for (double t = 0.5; t < 1.9; t += 0.05)
        {
            const auto v = take.level (t, t + 0.05);
            quietest = std::min (quietest, v);
            loudest = std::max (loudest, v);
        }
        EXPECT_GT (decibels (loudest) - decibels (quietest), 3.0) << preset.file;
    }

    EXPECT_EQ (reeses, 3);
}

TEST (FactoryPresets, noTwoSoundTheSame)
{
    ASSERT_EQ (Catalogue::loadEmbedded().totalEntries(), numPresets);
    std::vector<std::pair<juce::String, std::vector<float>>> takes;

    for (int i = 0; i < numPresets; ++i)
    {
        const auto file = presetAt (i).file;
        auto take = play (file, 36, 0.4, 0.5, 100);
        take.left.insert (take.left.end(), take.right.begin(), take.right.end());
        takes.emplace_back (file, std::move (take.left));
    }

    for (size_t a = 0; a < takes.size(); ++a)
        for (size_t b = a + 1; b < takes.size(); ++b)
        {
            double difference = 0.0;
            for (size_t i = 0; i < takes[a].second.size(); ++i)
                difference += std::abs (takes[a].second[i] - takes[b].second[i]);
            EXPECT_GT (difference / (double) takes[a].second.size(), 1.0e-3) << takes[a].first << " and " << takes[b].first;
        }
}
