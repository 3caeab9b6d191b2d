// Knobs moved on a held note glide: every float parameter of the layout (the pitch controls
// apart), jumped in one block or ramped by the host over 50 ms, never makes a step between
// samples beyond twice the held sound's own, and an LFO's phase moved at once makes no blip.
#include "plugin/ParameterIds.h"
#include "support/VoiceMeasure.h"

using namespace quillon::test;

namespace
{
constexpr double rate = 48000.0;
constexpr int block = 32, moveAt = 14400, rampLength = 2400, length = 28800;

// A held C2 of the init tone with what makes `id` heard: its oscillator, some depth, drive,
// a lower cutoff for the filter's controls, and the free mod slots on velocity (osc 1 level,
// drive, cutoff) and LFO 1 on the cutoff.
void setUp (HostedVoice& voice, const juce::String& id)
{
    if (id.startsWith ("osc2") || id.startsWith ("reese") || id == "syncOsc1")
        voice.set ("osc2Level", -6.0f);
    if (id.startsWith ("sub"))
        voice.set ("subLevel", -12.0f);
    if (id.startsWith ("noise"))
        voice.set ("noiseLevel", -30.0f);
    if (id.startsWith ("osc1Dcw") || id == "pdMorphAmount" || id == "osc1PulseWidth")
        voice.set ("osc1DcwDepth", 1.0f);
    if (id.startsWith ("osc2Dcw"))
        voice.set ("osc2DcwDepth", 1.0f);
    if (id.startsWith ("drive") || id.startsWith ("feedback"))
        voice.set ("drive", 6.0f);
    if (id.startsWith ("feedbackTone"))
        voice.set ("feedbackAmount", 0.3f);
    if (id.startsWith ("filter") || id.startsWith ("phase") || id.startsWith ("lfo") || id == "mod4Amount")
        voice.set ("filterCutoff", id == "filterCutoff" ? 20000.0f : 2000.0f);
    if (id.startsWith ("lfo"))
    {
        voice.set ("lfo1Depth", 0.5f);
        voice.choose ("mod4Source", "lfo 1");
        voice.choose ("mod4Dest", "cutoff");
    }
    if (id == "mod2Amount")
    {
        voice.choose ("mod2Source", "velocity");
        voice.choose ("mod2Dest", "osc1 level");
    }
    if (id == "mod3Amount")
    {
        voice.choose ("mod3Source", "velocity");
        voice.choose ("mod3Dest", "drive");
    }
    if (id == "mod4Amount")
    {
        voice.choose ("mod4Source", "velocity");
        voice.choose ("mod4Dest", "cutoff");
    }
}

struct Move
{
    const char* id;
    float from, to;
};

// Largest step while and after the move, over the steady step before it and after it settles.
double zipper (const Move& move, bool ramp)
{
    HostedVoice voice (rate, block);
    setUp (voice, move.id);
    voice.set (move.id, move.from);
    voice.noteOn (36);
    const auto x = voice.render (length, [&] (int start)
                                 {
                                     if (! ramp && start == moveAt)
                                         voice.set (move.id, move.to);
                                     if (ramp && start >= moveAt && start < moveAt + rampLength)
                                         voice.set (move.id, move.from + (move.to - move.from) * (float) (start - moveAt + block) / (float) rampLength);
                                 });
    const auto steady = std::max (largestStep (x, moveAt - 4800, moveAt), largestStep (x, length - 4800, length));
    return largestStep (x, moveAt, length - 4800) / std::max (steady, 1.0e-6);
}

bool isPitchControl (const juce::String& id)
{
    return id.containsIgnoreCase ("semitone") || id.containsIgnoreCase ("fine") || id.containsIgnoreCase ("detune")
        || id == "glideTime" || id == "oscDrift" || id == "reeseBeat" || id == "lfoSyncBpm";
}
} // namespace

TEST (Zipper, everyFloatParameterGlidesOnAHeldNote)
{
    for (const auto* id : quillon::ids::all)
    {
        HostedVoice probe;
        auto* parameter = dynamic_cast<juce::AudioParameterFloat*> (probe.processor.parameterState.getParameter (id));
        if (parameter == nullptr || isPitchControl (id))
            continue;

        // From its default a third of the way towards the far end of its travel.
        const auto from = static_cast<juce::AudioProcessorParameter*> (parameter)->getValue();
        const auto to = from < 0.5f ? from + 0.35f : from - 0.35f;
        const Move move { id, parameter->convertFrom0to1 (from), parameter->convertFrom0to1 (to) };
        EXPECT_LE (zipper (move, false), 2.0) << id << " jumped";
        EXPECT_LE (zipper (move, true), 2.0) << id << " ramped";
    }
}

TEST (Zipper, modSlotAmountsAndDcwSustainsGlide)
{
    const Move moves[] = { { "mod2Amount", 0.0f, -0.3f }, // velocity -> osc 1 level
                           { "mod1Amount", 0.4f, 1.0f },  // velocity -> amp
                           { "mod3Amount", 0.0f, 0.5f },  // velocity -> drive
                           { "osc1DcwSustain", 0.8f, 0.3f },
                           { "osc2DcwSustain", 0.8f, 0.3f } };

    for (const auto& move : moves)
    {
        EXPECT_LE (zipper (move, false), 2.0) << move.id << " jumped";
        EXPECT_LE (zipper (move, true), 2.0) << move.id << " ramped";
    }
}

TEST (Zipper, lfoPhaseJumpMakesNoBlip)
{
    HostedVoice voice (rate, block);
    voice.choose ("mod2Source", "lfo 1");
    voice.choose ("mod2Dest", "amp");
    voice.set ("mod2Amount", 1.0f);
    voice.set ("lfo1Depth", 1.0f);
    voice.set ("lfo1Rate", 0.05f);
    voice.noteOn (36);
    const auto x = voice.render (length, [&] (int start) { if (start == moveAt) voice.set ("lfo1Phase", 180.0f); });

    // Loudness in 5 ms windows: none after the jump beyond the loudest the LFO reaches either way.
    const auto level = [&] (size_t from, size_t to)
    {
        double loudest = 0.0;
        for (auto i = from; i + 240 <= to; i += 240)
        {
            double sum = 0.0;
            for (auto k = i; k < i + 240; ++k)
                sum += (double) x[k] * x[k];
            loudest = std::max (loudest, std::sqrt (sum / 240.0));
        }
        return loudest;
    };

    const auto around = std::max (level (4800, (size_t) moveAt), level (length - 9600, length));
    EXPECT_LE (decibels (level ((size_t) moveAt, (size_t) moveAt + 4800)), decibels (around) + 1.0);
}
