// The voice end to end: the reese pair, sub, noise routing, mix and ring modes, mono-low, and the
// drive/filter chain at its extremes.
#include "DspTestTools.h"
#include "EngineTestRig.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;

namespace
{
constexpr double rate = 48000.0;
constexpr float fullVelocity = 1.0f;

// Left and right of one rendered note.
struct Stereo
{
    std::vector<float> left, right;

    std::vector<float> side() const
    {
        std::vector<float> s (left.size());
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = 0.5f * (left[i] - right[i]);
        return s;
    }
};

Stereo play (EngineRig& rig, int note, int samples)
{
    Stereo out;
    rig.engine.noteOn (note, fullVelocity, false);
    out.left = rig.render (samples, 512, &out.right);
    return out;
}

// The rig plays osc 1 only; these put osc 2 alone at full level instead.
void osc2Alone (EngineRig& rig)
{
    rig.set ("osc1Level", -90.0f);
    rig.set ("osc2Level", 0.0f);
}
} // namespace

TEST (VoiceReese, pairBeatsAtTheBeatRateAndSpreadMirrorsIt)
{
    // Spread 0.5 puts the right unit on the note and the left one a beat above it.
    EngineRig rig;
    osc2Alone (rig);
    rig.set ("monoLowEnabled", 0.0f);
    rig.set ("reeseBeat", 3.0f);
    rig.set ("reeseSpread", 0.5f);
    const auto out = play (rig, 57, 96000);
    EXPECT_NEAR (estimateFrequency (out.left, rate, 4800) - estimateFrequency (out.right, rate, 4800), 3.0, 0.05);
    EXPECT_NEAR (estimateFrequency (out.right, rate, 4800), 220.0, 0.05);

    // The sum of the two beats: its loudness swells and falls three times a second.
    std::vector<float> envelope;
    for (size_t start = 4800; start + 480 <= out.left.size(); start += 480)
    {
        double sum = 0.0;
        for (size_t i = start; i < start + 480; ++i)
            sum += std::pow (out.left[i] + out.right[i], 2.0);
        envelope.push_back ((float) sum);
    }
    const auto meanEnvelope = std::accumulate (envelope.begin(), envelope.end(), 0.0f) / (float) envelope.size();
    for (auto& e : envelope)
        e -= meanEnvelope;
    EXPECT_NEAR (estimateFrequency (envelope, 100.0), 3.0, 0.1);

    // Spread 0 and no beat in cents mode: both units play the same.
    EngineRig still;
    osc2Alone (still);
    still.set ("monoLowEnabled", 0.0f);
    still.set ("osc2Detune", 25.0f);
    const auto same = play (still, 57, 9600);
    for (size_t i = 0; i < same.left.size(); ++i)
        ASSERT_EQ (same.left[i], same.right[i]);
    EXPECT_NEAR (estimateFrequency (same.left, rate, 2400), 220.0 * std::pow (2.0, 25.0 / 1200.0), 0.1);

    // Spread 1 mirrors the right unit's detune below the note.
    EngineRig wide;
    osc2Alone (wide);
    wide.set ("monoLowEnabled", 0.0f);
    wide.set ("osc2Detune", 50.0f);
    wide.set ("reeseSpread", 1.0f);
    const auto mirrored = play (wide, 57, 48000);
    EXPECT_NEAR (estimateFrequency (mirrored.left, rate, 4800), 220.0 * std::pow (2.0, 50.0 / 1200.0), 0.1);
    EXPECT_NEAR (estimateFrequency (mirrored.right, rate, 4800), 220.0 * std::pow (2.0, -50.0 / 1200.0), 0.1);
}

TEST (VoiceSub, playsItsOctaveAtItsLevel)
{
    const auto sub = [] (int octaveIndex, float levelDb, float semitone = 0.0f)
    {
        EngineRig rig;
        rig.set ("osc1Level", -90.0f);
        rig.set ("subLevel", levelDb);
        rig.set ("subOctave", (float) octaveIndex);
        rig.set ("subSemitone", semitone);
        return play (rig, 57, 48000).left;
    };

    // The octave choice is -2..+2 octaves around the note (index 2 is the note itself).
    EXPECT_NEAR (estimateFrequency (sub (1, 0.0f), rate, 4800), 110.0, 0.05);
    EXPECT_NEAR (estimateFrequency (sub (0, 0.0f), rate, 4800), 55.0, 0.05);
    EXPECT_NEAR (estimateFrequency (sub (3, 0.0f), rate, 4800), 440.0, 0.1);
    EXPECT_NEAR (estimateFrequency (sub (1, 0.0f, 7.0f), rate, 4800), 110.0 * std::pow (2.0, 7.0 / 12.0), 0.05);

    // A clean sine at its level: nothing but the fundamental.
    const auto clean = sub (1, -6.0f);
    EXPECT_NEAR (amplitudeAt (clean, 110.0, rate, 4800), 0.5012, 0.01);
    EXPECT_LT (amplitudeAt (clean, 220.0, rate, 4800), 1.0e-3);
    EXPECT_LT (amplitudeAt (clean, 330.0, rate, 4800), 1.0e-3);
    EXPECT_EQ (peak (sub (1, -110.0f)), 0.0f);
}

TEST (VoiceRouting, subAndNoiseGoAroundTheFilterWhenRoutedPost)
{
    const auto level = [] (const char* levelId, const char* routingId, float routing)
    {
        EngineRig rig;
        rig.set ("osc1Level", -90.0f);
        rig.set (levelId, -6.0f);
        rig.set (routingId, routing);
        rig.set ("filterCutoff", 20.0f);
        return rms (play (rig, 69, 24000).left, 4800);
    };

    // With the filter shut, only what goes around it is heard.
    EXPECT_LT (level ("subLevel", "subRouting", 0.0f), 1.0e-3);
    EXPECT_GT (level ("subLevel", "subRouting", 1.0f), 0.3);
    EXPECT_LT (level ("noiseLevel", "noiseRouting", 0.0f), 1.0e-3);
    EXPECT_GT (level ("noiseLevel", "noiseRouting", 1.0f), 0.2);

    // "post filter" sends nothing through, whatever the send amount says.
    EngineRig rig;
    rig.set ("osc1Level", -90.0f);
    rig.set ("subLevel", 0.0f);
    rig.set ("subRouting", 1.0f);
    rig.set ("subDriveSend", 1.0f);
    rig.set ("filterCutoff", 20.0f);
    rig.set ("filterEnabled", 1.0f);
    EXPECT_GT (rms (play (rig, 69, 24000).left, 4800), 0.6);
}

TEST (VoiceMix, ringModeMultipliesTheOscillators)
{
    const auto render = [] (int mode, float osc2Level)
    {
        EngineRig rig;
        rig.set ("mode", (float) mode);
        rig.set ("osc2Level", osc2Level);
        rig.set ("osc2Semitone", 12.0f); // 440 Hz against 220 Hz
        return play (rig, 57, 48000).left;
    };

    const auto mixed = render (0, 0.0f);
    EXPECT_NEAR (amplitudeAt (mixed, 220.0, rate, 4800), 1.0, 0.02);
    EXPECT_NEAR (amplitudeAt (mixed, 440.0, rate, 4800), 1.0, 0.02);
    EXPECT_LT (amplitudeAt (mixed, 660.0, rate, 4800), 1.0e-3);

    // cos a x cos b: half at the sum and half at the difference, nothing at either input.
    const auto ringed = render (1, 0.0f);
    EXPECT_NEAR (amplitudeAt (ringed, 220.0, rate, 4800), 0.5, 0.02);
    EXPECT_NEAR (amplitudeAt (ringed, 660.0, rate, 4800), 0.5, 0.02);
    EXPECT_LT (amplitudeAt (ringed, 440.0, rate, 4800), 1.0e-3);

    // Ring with one side silenced leaves nothing.
    EXPECT_EQ (peak (render (1, -90.0f)), 0.0f);
}

TEST (VoiceOutput, monoLowCollapsesOnlyTheLowEndOfAWidePair)
{
    const auto sideLevel = [] (int note, bool monoLow)
    {
        EngineRig rig;
        osc2Alone (rig);
        rig.set ("osc2Detune", 40.0f);
        rig.set ("reeseSpread", 1.0f);
        rig.set ("monoLowEnabled", monoLow ? 1.0f : 0.0f);
        rig.set ("monoLowFreq", 150.0f);
        return rms (play (rig, note, 48000).side(), 9600);
    };

    // At 41 Hz the detuned pair is wide until mono-low takes its side away.
    EXPECT_GT (sideLevel (28, false), 0.2);
    EXPECT_LT (sideLevel (28, true), 0.3 * sideLevel (28, false));
    // At 880 Hz the width stays.
    EXPECT_GT (sideLevel (81, true), 0.95 * sideLevel (81, false));
}

TEST (VoiceChain, stackedDriveModulationKeepsTheLevelSane)
{
    // Drive at 24 dB with four mod-wheel slots adding another 96 dB, make-up on: the curve stops
    // at 24 dB and so does the make-up, so the output stays near full scale.
    const auto loudest = [] (int curve)
    {
        EngineRig rig;
        rig.set ("drive", 24.0f);
        rig.set ("driveAutoMakeup", 1.0f);
        rig.set ("driveMode", (float) curve);
        for (int slot = 1; slot <= 4; ++slot)
        {
            const auto digit = juce::String (slot);
            rig.set (("mod" + digit + "Source").toRawUTF8(), (float) ModSource::modWheel);
            rig.set (("mod" + digit + "Dest").toRawUTF8(), (float) ModDestination::drive);
            rig.set (("mod" + digit + "Amount").toRawUTF8(), 1.0f);
        }
        rig.engine.modWheel = 1.0f;
        return peak (play (rig, 45, 24000).left);
    };

    EXPECT_LT (loudest (0), 1.5f);
    EXPECT_LT (loudest (1), 6.0f); // the diode curve is close to linear beyond its knee
    EXPECT_LT (loudest (2), 2.2f); // 0.7 at most from the fold, plus its make-up
}

TEST (VoiceChain, extremeSettingsOfEveryModelCurveAndOrderStayClean)
{
    for (int model = 0; model < 4; ++model)
        for (int curve = 0; curve < 3; ++curve)
            for (int order = 0; order < 4; ++order)
            {
                SCOPED_TRACE (testing::Message() << "model " << model << " curve " << curve << " order " << order);
                EngineRig rig;
                rig.set ("osc2Level", 0.0f);
                rig.set ("osc2Detune", 30.0f);
                rig.set ("subLevel", 0.0f);
                rig.set ("noiseLevel", 0.0f);
                rig.set ("filterModel", (float) model);
                rig.set ("filterReso", 1.0f);
                rig.set ("filterCutoff", 300.0f);
                rig.set ("filterEnvAmount", 48.0f);
                rig.set ("driveMode", (float) curve);
                rig.set ("drive", 24.0f);
                rig.set ("driveGain", 24.0f);
                rig.set ("driveAutoMakeup", 1.0f);
                rig.set ("drivePosition", (float) (order & 1));
                rig.set ("feedbackPosition", (float) ((order >> 1) & 1));
                rig.set ("feedbackAmount", 1.0f);
                rig.set ("phaseMix", 1.0f);
                for (int slot = 1; slot <= 4; ++slot)
                {
                    const auto digit = juce::String (slot);
                    rig.set (("mod" + digit + "Source").toRawUTF8(), (float) ModSource::lfo1);
                    rig.set (("mod" + digit + "Dest").toRawUTF8(), (float) ModDestination::drive);
                    rig.set (("mod" + digit + "Amount").toRawUTF8(), 1.0f);
                }
                rig.set ("lfo1Depth", 1.0f);
                rig.set ("lfo1Rate", 20.0f);
                rig.engine.noteOn (40, fullVelocity, false);
                auto out = rig.render (24000);
                rig.engine.releaseAll();
                const auto tail = rig.render (24000);
                out.insert (out.end(), tail.begin(), tail.end());

                for (auto x : out)
                    ASSERT_TRUE (std::isfinite (x) && ! isSubnormal (x));
                EXPECT_LT (peak (out), 1000.0f);
                EXPECT_EQ (peak (tail, 20000), 0.0f); // released and gone
            }
}

TEST (VoiceChain, switchingModelPositionAndCurveMidNoteDoesNotClick)
{
    EngineRig rig;
    rig.set ("filterCutoff", 1500.0f);
    rig.set ("drive", 6.0f);
    rig.set ("subLevel", -6.0f);
    rig.engine.noteOn (45, fullVelocity, false);
    auto before = rig.render (4800);
    const std::pair<const char*, float> switches[] = { { "filterModel", 2.0f }, { "drivePosition", 1.0f },
                                                       { "filterModel", 3.0f }, { "subRouting", 1.0f },
                                                       { "filterModel", 1.0f }, { "driveMode", 2.0f } };

    const auto largestStep = [] (const std::vector<float>& x, size_t from, size_t to, float previous)
    {
        auto step = 0.0f;
        for (size_t i = from; i < to; ++i)
        {
            step = std::max (step, std::abs (x[i] - previous));
            previous = x[i];
        }
        return step;
    };

    for (auto [id, value] : switches)
    {
        SCOPED_TRACE (id);
        rig.set (id, value);
        const auto after = rig.render (4800);

        // Over the 5 ms fade no step is larger than the steps of the steady sound on either side.
        const auto steady = std::max (largestStep (before, 2400, 4800, before[2399]), largestStep (after, 2400, 4800, after[2399]));
        EXPECT_LT (largestStep (after, 0, 480, before.back()), 1.2f * steady + 0.005f);
        before = after;
    }
}

// While no feedback is heard its memory rests at zero; feedback turned up, or swung in and out
// of zero by the LFO through the matrix, must come in without a step.
TEST (VoiceChain, feedbackComingInFromZeroDoesNotClick)
{
    for (const auto fromLfo : { false, true })
    {
        SCOPED_TRACE (fromLfo ? "lfo" : "knob");
        EngineRig rig;
        rig.set ("filterCutoff", 1200.0f);
        rig.set ("drive", 6.0f);
        rig.set ("feedbackTone", 6000.0f);

        if (fromLfo)
        {
            rig.set ("lfo1Rate", 7.0f);
            rig.set ("lfo1Depth", 1.0f);
            rig.set ("mod2Source", (float) ModSource::lfo1);
            rig.set ("mod2Dest", (float) ModDestination::feedback);
            rig.set ("mod2Amount", 1.0f);
        }

        rig.engine.noteOn (40, fullVelocity, false);
        const auto before = rig.render (9600);

        if (! fromLfo)
            rig.set ("feedbackAmount", 1.0f);

        const auto after = rig.render (9600);
        std::vector<float> all (before);
        all.insert (all.end(), after.begin(), after.end());

        // No step anywhere larger than the steady sound's at full feedback, once it has settled.
        auto steady = 0.0f, worst = 0.0f;
        for (size_t i = 1; i < all.size(); ++i)
        {
            const auto step = std::abs (all[i] - all[i - 1]);
            (i >= all.size() - 4800 ? steady : worst) = std::max (i >= all.size() - 4800 ? steady : worst, step);
        }

        ASSERT_GT (steady, 1.0e-3f);
        EXPECT_LT (worst, 1.2f * steady + 0.005f);
    }
}
