// Settings changed while a note sounds, measured on the whole voice at 48 kHz: mode switches and
// their fades, envelope settings, and envelopes that run on while the voice is silent. A step is
// the largest sample-to-sample difference; "steady" is the same measure on the same sound played
// with the old or with the new setting throughout.
#include "EngineTestRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace quillon;
using namespace quillon::test;

namespace
{
using Settings = std::vector<std::pair<const char*, float>>;

struct Change
{
    int at; // sample
    const char* id;
    float value;
};

struct Take
{
    std::vector<float> left, right;
};

constexpr int changeAt = 4800;  // 100 ms in: the amp envelope sits at its sustain level
constexpr int takeLength = 9600;
constexpr int window = 1440;    // 30 ms after a change: the fade and what the filters make of it

// One note played with `settings`, each change applied on its sample, rendered in host blocks.
Take play (const Settings& settings, const std::vector<Change>& changes, int note = 33, int block = 256,
           int length = takeLength)
{
    EngineRig rig;

    for (auto [id, value] : settings)
        rig.set (id, value);

    rig.engine.noteOn (note, 1.0f, false);
    juce::AudioBuffer<float> buffer (2, length);
    buffer.clear();
    size_t next = 0;

    for (int position = 0; position < length;)
    {
        for (; next < changes.size() && changes[next].at <= position; ++next)
            rig.set (changes[next].id, changes[next].value);

        auto end = std::min (length, position + block);

        if (next < changes.size())
            end = std::min (end, changes[next].at);

        rig.engine.render (buffer, position, end - position);
        position = end;
    }

    return { { buffer.getReadPointer (0), buffer.getReadPointer (0) + length },
             { buffer.getReadPointer (1), buffer.getReadPointer (1) + length } };
}

float largestStep (const Take& t, int from, int to)
{
    auto step = 0.0f;

    for (const auto* x : { &t.left, &t.right })
        for (auto i = (size_t) std::max (from, 1); i < (size_t) to; ++i)
            step = std::max (step, std::abs ((*x)[i] - (*x)[i - 1]));

    return step;
}

float largestPeak (const Take& t, int from, int to)
{
    return std::max (peak (t.left, (size_t) from, (size_t) to), peak (t.right, (size_t) from, (size_t) to));
}

double windowRms (const Take& t, int from, int length)
{
    double sum = 0.0;

    for (const auto* x : { &t.left, &t.right })
        for (int i = from; i < from + length; ++i)
            sum += (double) (*x)[(size_t) i] * (*x)[(size_t) i];

    return std::sqrt (sum / (2.0 * length));
}

// A switched take against the same sound steady on its old and on its new settings.
struct Verdict
{
    double stepRatio = 0.0;  // the switched take's largest step over the steady takes' largest
    double peakRatio = 0.0;  // its peak over the louder steady peak
    double rmsExcessDb = 0.0; // its loudest 1 ms window in the fade over the louder steady take's same window
};

Verdict judge (const Settings& before, const std::vector<Change>& changes, int note = 33)
{
    const auto from = changes.front().at, to = changes.back().at + window;
    const auto length = std::max (takeLength, to + 480);
    const auto switched = play (before, changes, note, 256, length);

    // Steady takes of the first setting and of each one the changes pass through.
    std::vector<Take> steady { play (before, {}, note, 256, length) };
    auto visited = before;

    for (const auto& c : changes)
    {
        visited.emplace_back (c.id, c.value);
        if (&c == &changes.back() || c.at != (&c + 1)->at)
            steady.push_back (play (visited, {}, note, 256, length));
    }

    const auto louder = [&steady] (auto measure)
    {
        double m = 0.0;
        for (const auto& take : steady)
            m = std::max (m, (double) measure (take));
        return m;
    };

    Verdict v;
    v.stepRatio = largestStep (switched, from, to) / louder ([&] (const Take& t) { return largestStep (t, from, to); });
    v.peakRatio = largestPeak (switched, from, to) / louder ([&] (const Take& t) { return largestPeak (t, from - window, to); });
    v.rmsExcessDb = -100.0;

    // During the fades: 5 ms from the last change, and a millisecond more.
    for (int start = from; start + 48 <= changes.back().at + 288; start += 48)
    {
        const auto reference = louder ([&] (const Take& t) { return windowRms (t, start, 48); });
        v.rmsExcessDb = std::max (v.rmsExcessDb, 20.0 * std::log10 (windowRms (switched, start, 48) / std::max (reference, 1.0e-9)));
    }

    for (const auto* x : { &switched.left, &switched.right })
        for (auto s : *x)
            EXPECT_TRUE (std::isfinite (s));

    // Kept in the test report (--gtest_output=xml), one entry per judged case.
    static int judged = 0;
    const auto key = "case" + std::to_string (++judged) + "_";
    ::testing::Test::RecordProperty (key + "step", std::to_string (v.stepRatio));
    ::testing::Test::RecordProperty (key + "peak", std::to_string (v.peakRatio));
    ::testing::Test::RecordProperty (key + "rmsDb", std::to_string (v.rmsExcessDb));
    return v;
}

std::string describe (const Settings& settings, const std::vector<Change>& changes)
{
    std::string s;
    for (auto [id, value] : settings)
        s += std::string (id) + "=" + std::to_string (value) + " ";
    s += "|";
    for (const auto& c : changes)
        s += " @" + std::to_string (c.at) + " " + c.id + "=" + std::to_string (c.value);
    return s;
}

// Both directions of a two-way switch.
std::vector<std::pair<Settings, std::vector<Change>>> bothWays (Settings base, const char* id, float a, float b)
{
    auto fromA = base, fromB = base;
    fromA.emplace_back (id, a);
    fromB.emplace_back (id, b);
    return { { fromA, { { changeAt, id, b } } }, { fromB, { { changeAt, id, a } } } };
}
} // namespace

//==============================================================================
TEST (SwitchFades, everySwitchFlippedMidNoteStaysWithinTwiceTheSteadyStep)
{
    const Settings pd { { "osc1DcwDepth", 0.6f } };
    const Settings twoOscs { { "osc1DcwDepth", 0.6f }, { "osc2Level", 0.0f }, { "osc2Semitone", 7.0f }, { "osc2DcwDepth", 0.3f } };
    const Settings sub { { "osc1Level", -90.0f }, { "subLevel", 0.0f }, { "subDcwDepth", 0.7f }, { "subOctave", 2.0f } };
    const Settings noise { { "osc1Level", -12.0f }, { "noiseLevel", -18.0f } };
    const Settings feedback { { "osc1DcwDepth", 0.4f }, { "feedbackAmount", 1.0f }, { "filterCutoff", 1500.0f } };

    std::vector<std::pair<Settings, std::vector<Change>>> cases;

    for (const auto& c : bothWays (pd, "osc1Wave", 0.0f, 2.0f)) cases.push_back (c);
    for (const auto& c : bothWays (twoOscs, "osc2Wave", 0.0f, 3.0f)) cases.push_back (c);
    auto pdSub = sub;
    pdSub.emplace_back ("subMode", 1.0f);
    for (const auto& c : bothWays (pdSub, "subWave", 0.0f, 2.0f)) cases.push_back (c);
    for (const auto& c : bothWays (sub, "subMode", 0.0f, 1.0f)) cases.push_back (c);
    for (const auto& c : bothWays (twoOscs, "mode", 0.0f, 1.0f)) cases.push_back (c);
    for (const auto& c : bothWays (noise, "noiseColour", 2.0f, 1.0f)) cases.push_back (c);
    auto locking = twoOscs;
    locking.emplace_back ("osc2Wave", 5.0f);
    locking.emplace_back ("osc2PulseWidth", 0.2f);
    for (const auto& c : bothWays (locking, "reeseLock", 0.0f, 1.0f)) cases.push_back (c);
    for (const auto& c : bothWays (feedback, "feedbackPosition", 0.0f, 1.0f)) cases.push_back (c);

    for (const auto& [settings, changes] : cases)
    {
        SCOPED_TRACE (describe (settings, changes));
        const auto v = judge (settings, changes);
        EXPECT_LE (v.stepRatio, 2.0);
    }
}

TEST (SwitchFades, correlatedPathsFadeWithoutRaisingTheLevel)
{
    // Drive curve, filter model, drive position and sub routing each fade between two versions of
    // nearly the same signal: the fade must not be louder than the louder of the two.
    const Settings driven { { "osc1DcwDepth", 0.3f }, { "drive", 12.0f }, { "filterCutoff", 800.0f } };
    const Settings withSub { { "osc1Level", -6.0f }, { "subLevel", -6.0f }, { "filterCutoff", 1500.0f } };
    std::vector<std::pair<Settings, std::vector<Change>>> cases;

    for (const auto& c : bothWays (driven, "driveMode", 0.0f, 1.0f)) cases.push_back (c);
    for (const auto& c : bothWays (driven, "driveMode", 1.0f, 2.0f)) cases.push_back (c);
    for (const auto& c : bothWays (driven, "filterModel", 0.0f, 2.0f)) cases.push_back (c);
    for (const auto& c : bothWays (driven, "filterModel", 1.0f, 3.0f)) cases.push_back (c);
    for (const auto& c : bothWays (driven, "drivePosition", 0.0f, 1.0f)) cases.push_back (c);
    for (const auto& c : bothWays (withSub, "subRouting", 0.0f, 1.0f)) cases.push_back (c);

    for (const auto& [settings, changes] : cases)
    {
        SCOPED_TRACE (describe (settings, changes));
        const auto v = judge (settings, changes);
        EXPECT_LE (v.rmsExcessDb, 0.5);
        EXPECT_LE (v.stepRatio, 2.0);
    }
}

TEST (SwitchFades, subRoutingAroundALowLadderHoldsStepAndPeak)
{
    // A 150 Hz ladder turns the sent sub far from the direct one; sine and phase-distortion sub,
    // straight and with the drive compressing what goes through the chain.
    for (auto subMode : { 0.0f, 1.0f })
        for (auto note : { 33, 45 })
            for (auto drive : { 0.0f, 6.0f })
        {
            const Settings base { { "osc1Level", -90.0f }, { "subLevel", 0.0f }, { "subMode", subMode },
                                  { "subDcwDepth", 0.5f }, { "filterCutoff", 150.0f }, { "drive", drive } };

            for (const auto& [settings, changes] : bothWays (base, "subRouting", 0.0f, 1.0f))
            {
                SCOPED_TRACE (describe (settings, changes) + " note " + std::to_string (note));
                const auto v = judge (settings, changes, note);
                EXPECT_LE (v.stepRatio, 2.0);
                EXPECT_LE (v.peakRatio, 1.05);
            }
        }
}

TEST (SwitchFades, changesInsideARunningFadeKeepTheHalfFadedPart)
{
    // Three changes 2 ms apart: each lands while the last fade is still running.
    const Settings driven { { "osc1DcwDepth", 0.3f }, { "drive", 12.0f }, { "filterCutoff", 800.0f } };
    const std::vector<std::vector<Change>> runs {
        { { changeAt, "driveMode", 1.0f }, { changeAt + 96, "driveMode", 2.0f }, { changeAt + 192, "driveMode", 0.0f } },
        { { changeAt, "filterModel", 1.0f }, { changeAt + 96, "filterModel", 2.0f }, { changeAt + 192, "filterModel", 3.0f } },
        { { changeAt, "drivePosition", 1.0f }, { changeAt + 96, "drivePosition", 0.0f }, { changeAt + 192, "drivePosition", 1.0f } },
        { { changeAt, "osc1Wave", 2.0f }, { changeAt + 96, "osc1Wave", 5.0f }, { changeAt + 192, "osc1Wave", 0.0f } },
        { { changeAt, "feedbackPosition", 1.0f }, { changeAt + 96, "feedbackPosition", 0.0f }, { changeAt + 192, "feedbackPosition", 1.0f } },
    };

    for (const auto& changes : runs)
    {
        auto settings = driven;
        if (std::string (changes[0].id) == "feedbackPosition")
            settings.emplace_back ("feedbackAmount", 1.0f);

        SCOPED_TRACE (describe (settings, changes));
        const auto v = judge (settings, changes);
        EXPECT_LE (v.stepRatio, 2.0);

        // Versions of one signal: never louder than the loudest setting passed through. (Two
        // different waves may be, for a moment, in a window where one of them is near zero.)
        // The feedback loop's DC follows a change of position over a few milliseconds: for that
        // long a loop at full feedback may run up to 1 dB above either steady take.
        if (std::string (changes[0].id) != "osc1Wave")
        {
            EXPECT_LE (v.rmsExcessDb, std::string (changes[0].id) == "feedbackPosition" ? 1.0 : 0.5);
        }
    }
}

//==============================================================================
TEST (EnvelopeSettings, movedWhileANoteIsHeldGiveNoStep)
{
    // A low cosine, so that a level or shape jump stands out of its small steady steps.
    const Settings cosine {};
    const Settings shaped { { "osc1DcwDepth", 1.0f }, { "osc1DcwAttack", 0.001f }, { "osc1DcwDecay", 0.001f },
                            { "osc1DcwSustain", 0.8f } };
    const std::vector<std::pair<Settings, std::vector<Change>>> jumps {
        { cosine, { { changeAt, "ampSustain", 0.5f } } },
        { { { "ampSustain", 0.3f } }, { { changeAt, "ampSustain", 1.0f } } },
        { { { "ampDecay", 0.5f }, { "ampSustain", 0.2f } }, { { changeAt, "ampSustain", 0.95f } } }, // above the decaying level
        { { { "ampDecay", 2.0f }, { "ampSustain", 0.2f } }, { { changeAt, "ampDecay", 0.1f } } },
        { { { "ampAttack", 2.0f } }, { { changeAt, "ampAttack", 0.1f } } },
        { { { "ampAttack", 2.0f } }, { { changeAt, "ampSustain", 0.4f } } },
        { shaped, { { changeAt, "osc1DcwSustain", 0.2f } } },
        { shaped, { { changeAt, "osc1DcwSustain", 0.2f }, { changeAt, "osc1DcwRelease", 0.01f }, { changeAt, "osc1DcwDecay", 0.5f } } },
    };

    for (const auto& [settings, changes] : jumps)
    {
        SCOPED_TRACE (describe (settings, changes));
        EXPECT_LE (judge (settings, changes).stepRatio, 2.0);
    }

    // A knob turned by automation, a new value every 64-sample block for 100 ms.
    for (auto [id, from, to] : { std::tuple { "ampSustain", 1.0f, 0.3f }, std::tuple { "osc1DcwSustain", 0.8f, 0.1f },
                                 std::tuple { "ampAttack", 4.0f, 0.05f }, std::tuple { "ampDecay", 4.0f, 0.02f } })
    {
        Settings settings = shaped;
        settings.emplace_back (id, from);
        if (std::string (id) == "ampDecay")
            settings.emplace_back ("ampSustain", 0.3f);
        std::vector<Change> sweep;
        for (int block = 0; block <= 75; ++block)
            sweep.push_back ({ changeAt + 64 * block, id, from + (to - from) * (float) block / 75.0f });

        SCOPED_TRACE (describe (settings, { sweep.back() }));
        EXPECT_LE (judge (settings, sweep).stepRatio, 2.0);
    }
}

TEST (EnvelopeSettings, envelopesRunOnWhileTheVoiceIsSilent)
{
    // The amp envelope ends quickly; the filter and DCW envelopes release slowly. The next note
    // starts them from wherever their releases have got to, for any split of the silence into blocks.
    const auto levelsAtNextNote = [] (int block, int silence)
    {
        EngineRig rig;
        rig.set ("ampRelease", 0.02f);
        rig.set ("filterRelease", 1.0f);
        rig.set ("filterSustain", 1.0f);
        rig.set ("osc1DcwRelease", 2.0f);
        rig.set ("osc1DcwSustain", 1.0f);
        rig.set ("filterAttack", 0.001f);
        rig.set ("osc1DcwAttack", 0.001f);
        rig.engine.noteOn (40, 1.0f, false);
        rig.render (9600, block);
        rig.engine.releaseAll();
        rig.render (silence, block);
        EXPECT_FALSE (rig.engine.isActive());

        // A slow attack, so that one sample into the next note they still read where they started.
        rig.set ("filterAttack", 4.0f);
        rig.set ("osc1DcwAttack", 4.0f);
        rig.engine.noteOn (40, 1.0f, false);
        rig.render (1, 1);
        return std::pair { rig.engine.getFilterEnvelope().getLevel(), rig.engine.getUnit (0).dcwEnvelope.getLevel() };
    };

    // 0.3 s after the release: 0.7 of the filter's way down, 0.15 of the DCW envelope's.
    for (int block : { 1, 64, 333, 512 })
    {
        SCOPED_TRACE (block);
        const auto [filter, dcw] = levelsAtNextNote (block, 14400);
        EXPECT_NEAR (filter, 0.7f, 0.01f);
        EXPECT_NEAR (dcw, 0.85f, 0.01f);
        const auto [filterLater, dcwLater] = levelsAtNextNote (block, 72000); // 1.5 s: the filter's release is over
        EXPECT_NEAR (filterLater, 0.0f, 0.001f);
        EXPECT_NEAR (dcwLater, 0.25f, 0.01f);
    }

    const auto reference = levelsAtNextNote (512, 14400);
    for (int block : { 1, 64, 333 })
        EXPECT_EQ (levelsAtNextNote (block, 14400), reference) << block;
}

TEST (SwitchFades, aNoteIntoASoundingVoiceFadesTheSwitchesChangedWithIt)
{
    // A host block that starts with a new wave, curve and position and a note on its first sample.
    const Settings changed { { "osc1Wave", 2.0f }, { "driveMode", 2.0f }, { "drivePosition", 1.0f } };
    const auto retrigger = [&changed] (bool change, bool changedFromTheStart)
    {
        EngineRig rig;
        for (auto [id, value] : Settings { { "osc1DcwDepth", 0.6f }, { "phaseMode", 0.0f }, { "drive", 12.0f },
                                           { "filterCutoff", 800.0f } })
            rig.set (id, value);

        if (changedFromTheStart)
            for (auto [id, value] : changed)
                rig.set (id, value);

        rig.engine.noteOn (33, 1.0f, false);
        auto first = rig.render (changeAt);

        if (change)
            for (auto [id, value] : changed)
                rig.set (id, value);

        rig.engine.noteOn (33, 1.0f, false);
        const auto second = rig.render (window);
        first.insert (first.end(), second.begin(), second.end());
        return Take { first, first };
    };

    const auto switched = retrigger (true, false);
    const auto steady = std::max (largestStep (retrigger (false, false), changeAt, changeAt + window),
                                  largestStep (retrigger (false, true), changeAt, changeAt + window));
    EXPECT_LE (largestStep (switched, changeAt, changeAt + window), 2.0f * steady);
}
