// Feedback around a folding drive must not hold the output off centre: a held note's DC stays
// 40 dB under full scale, for the setting known to lean furthest and for settings at random.
#include "support/VoiceMeasure.h"

#include <random>

using namespace quillon::test;

namespace
{
constexpr double limitDb = -40.0;

// The DC of a held note over whole cycles, once the output's blocker has caught up with its
// start (0.25 .. 1.25 s): a chaotic loop's slow swings average out over a second, a held
// offset does not.
double heldDcDb (HostedVoice& voice, int note)
{
    voice.noteOn (note);
    const auto rate = voice.sampleRate;
    const auto x = voice.render ((int) (1.25 * rate));
    const auto period = rate / midiHz (note);
    const auto start = (size_t) (0.25 * rate);
    return decibels (std::abs (mean (x, start, start + (size_t) (std::floor (rate / period) * period))));
}

// The mean of x[from..] under a Blackman-Harris window, whose side lobes keep the note's partial
// cycles and the blockers' slow settling out of it.
double windowedMean (const std::vector<float>& x, size_t from)
{
    double sum = 0.0, weights = 0.0;
    const auto length = x.size() - from;
    for (size_t i = 0; i < length; ++i)
    {
        const auto t = juce::MathConstants<double>::twoPi * (double) i / (double) (length - 1);
        const auto w = 0.35875 - 0.48829 * std::cos (t) + 0.14128 * std::cos (2 * t) - 0.01168 * std::cos (3 * t);
        sum += w * x[from + i];
        weights += w;
    }
    return sum / weights;
}
} // namespace

TEST (FeedbackDc, foldingFeedbackHoldsNoDc)
{
    for (const auto note : { 24, 36 })
    {
        HostedVoice voice;
        voice.choose ("feedbackPosition", "pre drive");
        voice.set ("feedbackAmount", 0.61f);
        voice.choose ("driveMode", "fold");
        voice.set ("driveGain", 18.8f);
        voice.set ("driveMix", 0.86f);
        EXPECT_LT (heldDcDb (voice, note), limitDb) << "pre-drive feedback into fold, note " << note;
    }

    std::mt19937 random (11);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);

    for (int round = 0; round < 300; ++round)
    {
        HostedVoice voice;
        voice.set ("feedbackAmount", round < 2 ? 1.0f : unit (random));
        voice.set ("drive", round == 0 ? 24.0f : 24.0f * unit (random));
        voice.set ("driveGain", round < 2 ? 24.0f : 36.0f * unit (random) - 12.0f);
        voice.set ("driveMix", round == 1 ? 1.0f : unit (random));
        voice.set ("feedbackTone", round == 0 ? 80.0f : 80.0f + 11920.0f * unit (random));
        voice.choose ("driveMode", round % 3 == 0 ? "fold" : (round % 3 == 1 ? "diode" : "soft"));
        voice.choose ("feedbackPosition", round % 2 == 0 ? "pre drive" : "post filter");
        voice.set ("osc1DcwDepth", unit (random));
        EXPECT_LT (heldDcDb (voice, 24 + 12 * (round % 3)), limitDb) << "round " << round;
    }
}

// A loop whose gain at DC exceeds 1 must not latch onto an offset: once the note has settled the
// loop holds no DC, for the setting known to latch, at random settings of the chain on top of it,
// and at each chain parameter's ends with full feedback.
TEST (FeedbackDc, loopHoldsNoOffsetOnceSettled)
{
    using Settings = std::vector<std::pair<const char*, float>>;
    const auto settledDcDb = [] (const Settings& settings)
    {
        HostedVoice voice;
        for (const auto& [id, value] : settings)
            voice.set (id, value);
        voice.noteOn (60);
        std::vector<float> right;
        const auto left = voice.render ((int) (1.5 * voice.sampleRate), {}, &right);
        const auto start = (size_t) (0.5 * voice.sampleRate);
        return decibels (std::max (std::abs (windowedMean (left, start)), std::abs (windowedMean (right, start))));
    };
    const Settings latching { { "feedbackAmount", 0.61f }, { "driveMode", 2.0f }, { "driveGain", 18.8f }, { "driveMix", 0.86f } };
    EXPECT_LT (settledDcDb (latching), limitDb);

    const std::vector<std::pair<const char*, std::pair<float, float>>> ranges {
        { "feedbackAmount", { 0.0f, 1.0f } }, { "feedbackTone", { 80.0f, 12000.0f } }, { "feedbackPosition", { 0.0f, 1.0f } },
        { "drive", { 0.0f, 24.0f } }, { "driveMode", { 0.0f, 2.0f } }, { "driveGain", { -12.0f, 24.0f } },
        { "driveMix", { 0.0f, 1.0f } }, { "drivePosition", { 0.0f, 1.0f } }, { "filterModel", { 0.0f, 3.0f } },
        { "filterCutoff", { 20.0f, 20000.0f } }, { "filterReso", { 0.0f, 1.0f } }, { "driveAutoMakeup", { 0.0f, 1.0f } },
    };
    const auto stepped = [] (const std::string& id)
    {
        return id == "driveMode" || id == "filterModel" || id == "feedbackPosition" || id == "drivePosition" || id == "driveAutoMakeup";
    };
    std::mt19937 random (7);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);

    for (int trial = 0; trial < 40; ++trial)
    {
        auto settings = latching;
        for (const auto& [id, range] : ranges)
        {
            const auto value = range.first + unit (random) * (range.second - range.first);
            settings.push_back ({ id, stepped (id) ? std::round (value) : value });
        }
        SCOPED_TRACE (trial);
        EXPECT_LT (settledDcDb (settings), limitDb);
    }

    for (const auto& [id, range] : ranges)
        for (const auto end : { range.first, range.second })
        {
            auto settings = latching;
            settings.push_back ({ "feedbackAmount", 1.0f });
            settings.push_back ({ id, end });
            SCOPED_TRACE (std::string (id) + " at " + std::to_string (end));
            EXPECT_LT (settledDcDb (settings), limitDb);
        }
}
