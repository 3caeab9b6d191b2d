// Whatever the settings, the voice never leaves the processor beyond 4 (+12 dBFS): the loudest
// make-up on the init tone, a matrix slot that drives an oscillator's level far up, and settings
// at their ends, on both the stereo and the mono output.
#include "engine/OutputLimit.h"
#include "plugin/ParameterIds.h"
#include "support/VoiceMeasure.h"

#include <random>

using namespace quillon::test;

namespace
{
constexpr float bound = 4.0f;

float loudestOf (HostedVoice& voice, int note = 36, double seconds = 1.0)
{
    std::vector<float> right;
    voice.noteOn (note);
    const auto left = voice.render ((int) (seconds * voice.sampleRate), [&] (int start)
                                    {
                                        if (start == (int) (0.7 * voice.sampleRate) / voice.blockSize * voice.blockSize)
                                            voice.noteOff (note);
                                    },
                                    &right);
    for (size_t i = 0; i < left.size(); ++i)
        if (! std::isfinite (left[i]) || ! std::isfinite (right[i]))
            return std::numeric_limits<float>::infinity();
    return std::max (peakOf (left), peakOf (right));
}
} // namespace

TEST (OutputBound, loudMakeUpAndMatrixStayWithinBound)
{
    {
        HostedVoice voice;
        voice.set ("driveGain", 24.0f);
        EXPECT_LE (loudestOf (voice), bound) << "make-up +24 dB";
    }
    {
        HostedVoice voice;
        voice.choose ("mod2Source", "amp env");
        voice.choose ("mod2Dest", "osc2 level");
        voice.set ("mod2Amount", 0.98f);
        voice.choose ("matrix2Curve", "exp");
        EXPECT_LE (loudestOf (voice), bound) << "amp env -> osc 2 level";
    }
}

TEST (OutputBound, settingsAtTheirEndsStayWithinBound)
{
    std::mt19937 random (7);
    const auto& ids = quillon::ids::all;

    for (int round = 0; round < 6; ++round)
    {
        HostedVoice voice (48000.0, 256);

        for (const auto* id : ids)
        {
            auto* parameter = voice.processor.parameterState.getParameter (id);
            if (parameter == nullptr)
                continue;
            // Every setting at one end or the other, loud ones at their loud end.
            const auto pick = std::uniform_int_distribution<int> (0, 1) (random);
            parameter->setValueNotifyingHost ((float) pick);
        }

        for (const auto* loud : { "outputGain", "osc1Level", "osc2Level", "driveGain", "subLevel", "noiseLevel", "ampSustain" })
            voice.set (loud, 1000.0f);
        voice.set ("ampRelease", 0.05f);
        voice.set ("ampAttack", 0.001f);

        SCOPED_TRACE (round);
        EXPECT_LE (loudestOf (voice, 36 + 12 * (round % 3), 0.8), bound);
    }
}

TEST (OutputBound, monoOutputStaysWithinBound)
{
    HostedVoice voice;
    voice.set ("driveGain", 24.0f);
    voice.set ("outputGain", 6.0f);
    voice.set ("osc2Level", 6.0f);
    voice.set ("osc1Level", 6.0f);
    juce::AudioProcessor::BusesLayout mono;
    mono.outputBuses.add (juce::AudioChannelSet::mono());
    if (! voice.processor.setBusesLayout (mono))
    {
        GTEST_SKIP() << "no mono layout";
    }
    voice.processor.prepareToPlay (voice.sampleRate, voice.blockSize);
    juce::AudioBuffer<float> buffer (1, voice.blockSize);
    float loudest = 0.0f;

    for (int i = 0; i < 100; ++i)
    {
        juce::MidiBuffer midi;
        if (i == 0)
            midi.addEvent (juce::MidiMessage::noteOn (1, 36, (juce::uint8) 127), 0);
        voice.processor.processBlock (buffer, midi);
        loudest = std::max (loudest, buffer.getMagnitude (0, 0, voice.blockSize));
    }

    EXPECT_LE (loudest, bound);
}

// A sustained sound beyond +6 dBFS is turned down as a whole, not flattened on its louder side:
// its peaks settle at the knee and keep the ratio of the positive to the negative ones that the
// same sound has 24 dB quieter, and it holds no offset.
TEST (OutputBound, aLoudSoundIsTurnedDownWholeAndStaysCentred)
{
    const auto render = [] (float outputGain, std::vector<float>& right)
    {
        HostedVoice voice;
        voice.choose ("driveMode", "diode");
        voice.set ("driveGain", 24.0f);
        voice.set ("outputGain", outputGain);
        voice.noteOn (36);
        return voice.render ((int) voice.sampleRate, {}, &right);
    };
    std::vector<float> loudRight, quietRight;
    const auto loud = render (0.0f, loudRight);
    const auto quiet = render (-24.0f, quietRight);
    constexpr auto from = (size_t) (0.5 * 48000.0);
    const auto peaks = [] (const std::vector<float>& x)
    {
        return std::make_pair (*std::max_element (x.begin() + (long) from, x.end()),
                               -*std::min_element (x.begin() + (long) from, x.end()));
    };

    const auto [loudUp, loudDown] = peaks (loud);
    const auto [quietUp, quietDown] = peaks (quiet);
    ASSERT_GT (std::max (quietUp, quietDown) * 16.0f, 2.5f) << "not loud enough to be limited";
    EXPECT_NEAR (std::max (loudUp, loudDown), 2.0f, 0.05f);
    EXPECT_NEAR (loudUp / loudDown, quietUp / quietDown, 0.02f * quietUp / quietDown);
    // Over whole cycles of the note.
    const auto to = from + (size_t) (std::floor (0.5 * midiHz (36)) * 48000.0 / midiHz (36));
    EXPECT_LT (decibels (std::abs (mean (loud, from, to))), -50.0);
    EXPECT_LT (decibels (std::abs (mean (loudRight, from, to))), -50.0);
}

// Once a loud passage is over the limit lets go entirely: a quiet sound after it passes bit for
// bit, as it would had nothing been loud, rather than a hair quieter for good.
TEST (OutputBound, theLimitComesBackToRestAfterALoudPassage)
{
    quillon::OutputLimit limit;
    limit.prepare (48000.0);
    const auto sine = [] (int n, float amplitude) { return amplitude * std::sin (0.02f * (float) n); };

    for (int n = 0; n < 48000; ++n)
    {
        auto left = sine (n, 8.0f), right = -left;
        limit.process (left, right);
        ASSERT_LE (std::max (std::abs (left), std::abs (right)), quillon::OutputLimit::ceiling);
    }

    for (int n = 0; n < 4 * 48000; ++n)
    {
        auto left = sine (n, 0.5f), right = -left;
        limit.process (left, right);
        if (n >= 2 * 48000)
        {
            ASSERT_EQ (left, sine (n, 0.5f)) << n;
        }
    }
    EXPECT_TRUE (limit.isAtRest());
}
