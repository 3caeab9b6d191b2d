// The voice's output bits, pinned. Every factory preset and every stress setting plays one phrase
// (a note, a legato step, controllers and knobs moved while it sounds, a release, a retrigger
// into the release) at three rates, at a block size of 64 and at an odd one, with the stretch
// shortcuts on and off. A hash of the output's float bits must match the one recorded in
// golden/voice_hashes.txt: a change to how the voice is written must not change what it plays.
//
// To record the hashes anew after a change that is meant to move sound, run
//   QUILLON_GOLDEN_WRITE=tests/engine/golden/voice_hashes.txt quillon_tests --gtest_filter='GoldenVoice*'
// and say in the commit which cases moved and why.
#include "bench/VoiceSettings.h"
#include "plugin/Catalogue.h"
#include "support/FactoryPresets.h"
#include "plugin/PluginProcessor.h"
#include "plugin/VoiceBinding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace
{
constexpr int numPresets = 68;
constexpr double rates[] = { 44100.0, 48000.0, 96000.0 };
constexpr int blockSizes[] = { 64, 263 };

struct Event
{
    double seconds;
    void (*apply) (quillon::SynthEngine&, juce::AudioProcessorValueTreeState&);
};

void scaleParameter (juce::AudioProcessorValueTreeState& state, const char* id, float factor, float offset)
{
    auto* parameter = state.getParameter (id);
    auto* raw = state.getRawParameterValue (id);
    const auto& range = parameter->getNormalisableRange();
    raw->store (range.snapToLegalValue (raw->load() * factor + offset));
}

// What a player does within a second and a half.
const Event phrase[] = {
    { 0.0, [] (quillon::SynthEngine& e, auto&) { e.noteOn (36, 0.8f, false); } },
    { 0.25, [] (quillon::SynthEngine& e, auto&) { e.noteOn (43, 0.6f, true); } },
    { 0.45, [] (quillon::SynthEngine& e, auto& s)
      {
          e.modWheel.store (0.7f);
          e.pitchBend = 0.5f;
          scaleParameter (s, "filterCutoff", 0.5f, 0.0f);
          scaleParameter (s, "outputGain", 1.0f, -2.0f);
          scaleParameter (s, "osc1DcwDepth", 0.5f, 0.0f);
      } },
    { 0.7, [] (quillon::SynthEngine& e, auto&) { e.releaseAll(); } },
    { 0.85, [] (quillon::SynthEngine& e, auto&) { e.noteOn (48, 1.0f, false); } },
    { 1.1, [] (quillon::SynthEngine& e, auto&) { e.releaseAll(); } },
};
constexpr double phraseSeconds = 1.4;

std::uint64_t hashBits (std::uint64_t hash, const float* data, int n)
{
    for (int i = 0; i < n; ++i)
    {
        std::uint32_t bits;
        std::memcpy (&bits, data + i, sizeof bits);
        for (int b = 0; b < 4; ++b)
        {
            hash ^= (bits >> (8 * b)) & 0xffu;
            hash *= 0x100000001b3ull;
        }
    }
    return hash;
}

using Setup = std::function<void (QuillonAudioProcessor&)>;

std::uint64_t play (const Setup& setup, double rate, int block, bool shortcuts)
{
    QuillonAudioProcessor processor;
    setup (processor);
    quillon::SynthEngine engine (quillon::bindVoiceParameters (processor.parameterState));
    engine.prepare (rate, block, { shortcuts });

    const auto total = (int) (phraseSeconds * rate);
    juce::AudioBuffer<float> buffer (2, block);
    std::uint64_t left = 0xcbf29ce484222325ull, right = left;
    size_t next = 0;

    for (int start = 0; start < total; start += block)
    {
        const auto n = std::min (block, total - start);
        buffer.clear();
        int done = 0;

        while (next < std::size (phrase) && (int) (phrase[next].seconds * rate) < start + n)
        {
            const auto at = (int) (phrase[next].seconds * rate) - start;
            engine.render (buffer, done, at - done);
            phrase[next++].apply (engine, processor.parameterState);
            done = at;
        }

        engine.render (buffer, done, n - done);
        left = hashBits (left, buffer.getReadPointer (0), n);
        right = hashBits (right, buffer.getReadPointer (1), n);
    }

    return left ^ (right * 31u);
}

std::string caseName (const std::string& name, double rate, int block, bool shortcuts)
{
    std::ostringstream out;
    out << name << ' ' << (int) rate << ' ' << block << ' ' << (shortcuts ? "shortcuts" : "plain");
    return out.str();
}

const std::map<std::string, std::string>& recorded()
{
    static const auto table = []
    {
        std::map<std::string, std::string> t;
        std::ifstream in (QUILLON_SOURCE_DIR "/tests/engine/golden/voice_hashes.txt");
        std::string line;
        while (std::getline (in, line))
        {
            const auto split = line.rfind (' ');
            if (! line.empty() && line[0] != '#' && split != std::string::npos)
                t[line.substr (0, split)] = line.substr (split + 1);
        }
        return t;
    }();
    return table;
}

void check (const std::string& name, const Setup& setup)
{
    const auto* writeTo = std::getenv ("QUILLON_GOLDEN_WRITE");
    std::ostringstream lines;

    for (const auto rate : rates)
        for (const auto block : blockSizes)
            for (const auto shortcuts : { true, false })
            {
                std::ostringstream hash;
                hash << std::hex << play (setup, rate, block, shortcuts);
                const auto key = caseName (name, rate, block, shortcuts);

                if (writeTo != nullptr)
                {
                    lines << key << ' ' << hash.str() << '\n';
                    continue;
                }

                const auto found = recorded().find (key);
                ASSERT_NE (found, recorded().end()) << "no recorded hash for " << key;
                EXPECT_EQ (hash.str(), found->second) << key << " no longer plays the same bits";
            }

    if (writeTo != nullptr)
        std::ofstream (writeTo, std::ios::app) << lines.str();
}

class GoldenVoicePreset : public ::testing::TestWithParam<int> {};

TEST_P (GoldenVoicePreset, playsTheRecordedBits)
{
    const auto file = quillon::test::factoryPresetFile (GetParam());
    ASSERT_TRUE (file.isNotEmpty());
    check (file.toStdString(), [&file] (QuillonAudioProcessor& p)
    {
        auto xml = quillon::presets::loadFactoryPresetXml (file);
        ASSERT_NE (xml, nullptr);
        ASSERT_TRUE (p.loadStateTree (*xml));
    });
}

INSTANTIATE_TEST_SUITE_P (EveryFactoryPreset, GoldenVoicePreset, ::testing::Range (0, numPresets));

class GoldenVoiceStress : public ::testing::TestWithParam<int> {};

TEST_P (GoldenVoiceStress, playsTheRecordedBits)
{
    const auto& stress = voice_settings::stressSettings()[(size_t) GetParam()];
    check (stress.name, [&stress] (QuillonAudioProcessor& p)
    {
        for (const auto& [id, value] : stress.settings)
        {
            auto* raw = p.parameterState.getRawParameterValue (id);
            ASSERT_NE (raw, nullptr) << id;
            raw->store (value);
        }
    });
}

INSTANTIATE_TEST_SUITE_P (StressSettings, GoldenVoiceStress,
                          ::testing::Range (0, (int) voice_settings::stressSettings().size()));

} // namespace
