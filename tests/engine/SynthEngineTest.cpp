#include "EngineTestRig.h"

#include <cmath>
#include <functional>
#include <random>

using namespace quillon;
using namespace quillon::test;

namespace
{
constexpr float fullVelocity = 1.0f;

bool isClean (float x) { return std::isfinite (x) && (x == 0.0f || std::abs (x) >= 1.17549435e-38f); }
} // namespace

//==============================================================================
TEST (SynthEngineFrame, idleVoiceLeavesTheBufferUntouched)
{
    EngineRig rig;
    juce::AudioBuffer<float> buffer (2, 256);

    const auto checkUntouched = [&]
    {
        for (int ch = 0; ch < 2; ++ch)
            juce::FloatVectorOperations::fill (buffer.getWritePointer (ch), 0.25f, 256);

        rig.engine.render (buffer, 0, 256);

        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ (buffer.getSample (ch, i), 0.25f);
    };

    checkUntouched();

    rig.set ("ampRelease", 0.01f);
    rig.engine.noteOn (60, fullVelocity, false);
    rig.render (4800);
    rig.engine.releaseAll();
    EXPECT_EQ (rig.engine.lastNote, -1);
    rig.render (4800);
    EXPECT_FALSE (rig.engine.isActive());
    checkUntouched();
}

TEST (SynthEngineFrame, latencyIsTheOversamplersTruncated)
{
    for (double rate : { 44100.0, 48000.0, 96000.0 })
    {
        EngineRig rig (rate);
        EXPECT_EQ (rig.engine.getLatencySamples(), 3) << rate;
    }
}

TEST (SynthEngineFrame, noteFromSilenceFadesInAndMonoGetsTheEqualPowerSum)
{
    EngineRig stereo, mono;
    stereo.set ("osc2Level", 0.0f);
    stereo.set ("osc2Detune", 30.0f);
    stereo.set ("reeseSpread", 1.0f); // the two sides differ
    mono.set ("osc2Level", 0.0f);
    mono.set ("osc2Detune", 30.0f);
    mono.set ("reeseSpread", 1.0f);
    // Below the output's bound, which two full-scale oscillators summed in mono would reach.
    stereo.set ("outputGain", -6.0f);
    mono.set ("outputGain", -6.0f);

    std::vector<float> right;
    stereo.engine.noteOn (45, fullVelocity, false);
    const auto left = stereo.render (4800, 256, &right);

    juce::AudioBuffer<float> monoBuffer (1, 4800);
    monoBuffer.clear();
    mono.engine.noteOn (45, fullVelocity, false);
    mono.engine.render (monoBuffer, 0, 4800);

    EXPECT_EQ (left[0], 0.0f);
    EXPECT_LT (peak (left, 0, 24), 0.1f); // first half millisecond of the 3 ms rise

    float sideEnergy = 0.0f;
    for (size_t i = 0; i < left.size(); ++i)
    {
        EXPECT_NEAR (monoBuffer.getSample (0, (int) i), 0.7071068f * (left[i] + right[i]), 1.0e-5f);
        sideEnergy += std::abs (left[i] - right[i]);
    }
    EXPECT_GT (sideEnergy, 10.0f);
}

//==============================================================================
TEST (SynthEnginePitch, noteOctaveSemitoneFineAndBend)
{
    struct Case { const char* what; int note; int octave; float semitone, fine, bend; double expectedNote; };
    const Case cases[] = {
        { "a4", 69, 2, 0.0f, 0.0f, 0.0f, 69.0 },
        { "octave up", 69, 3, 0.0f, 0.0f, 0.0f, 81.0 },
        { "two octaves down", 69, 0, 0.0f, 0.0f, 0.0f, 45.0 },
        { "fifth and a half", 57, 2, 7.0f, 50.0f, 0.0f, 64.5 },
        { "fine down", 60, 2, 0.0f, -25.0f, 0.0f, 59.75 },
        { "bend up", 69, 2, 0.0f, 0.0f, 2.0f, 71.0 },
        { "bend down", 40, 2, -12.0f, 0.0f, -2.0f, 26.0 },
    };

    for (const auto& c : cases)
    {
        EngineRig rig;
        rig.set ("octave", (float) c.octave);
        rig.set ("osc1Semitone", c.semitone);
        rig.set ("osc1Fine", c.fine);
        rig.engine.pitchBend = c.bend;
        rig.engine.noteOn (c.note, fullVelocity, false);
        const auto out = rig.render (24000);
        EXPECT_NEAR (estimateFrequency (out, 48000.0, 2400) / noteHz (c.expectedNote), 1.0, 1.0e-3) << c.what;
    }
}

TEST (SynthEnginePitch, octaveShiftClampsButLastNoteStaysRaw)
{
    EngineRig rig;
    rig.set ("octave", 0.0f);
    rig.engine.noteOn (10, fullVelocity, false);
    EXPECT_EQ (rig.engine.getTargetNote(), 0.0f);
    EXPECT_EQ (rig.engine.lastNote, 10);
}

TEST (SynthEnginePitch, glideOnlyBetweenSoundingNotes)
{
    EngineRig rig;
    rig.set ("glideTime", 0.1f);
    rig.engine.noteOn (57, fullVelocity, false);
    EXPECT_EQ (rig.engine.getGlidingNote(), 57.0f); // from silence: no glide
    rig.render (4800);

    rig.engine.noteOn (69, fullVelocity, true);
    rig.render (4800); // one time constant
    EXPECT_NEAR (rig.engine.getGlidingNote(), 69.0f - 12.0f * std::exp (-1.0f), 0.05f);

    rig.render (48000);
    const auto settled = rig.render (24000);
    EXPECT_NEAR (estimateFrequency (settled, 48000.0) / 440.0, 1.0, 1.0e-3);
}

//==============================================================================
TEST (SynthEngineNotes, legatoKeepsEnvelopesPhasesAndLfo)
{
    EngineRig rig;
    rig.set ("ampAttack", 0.05f);
    rig.set ("ampSustain", 0.7f);
    rig.set ("lfo1Rate", 0.5f);
    rig.engine.noteOn (48, fullVelocity, false);
    rig.render (24000);
    ASSERT_EQ (rig.engine.getAmpEnvelope().getStage(), Envelope::sustainStage);

    const auto phaseBefore = rig.engine.getUnit (0).getPhase();
    const auto lfoBefore = rig.engine.getLfo().getPhase();
    rig.engine.noteOn (55, fullVelocity, true);
    EXPECT_EQ (rig.engine.getAmpEnvelope().getStage(), Envelope::sustainStage);
    EXPECT_EQ (rig.engine.getUnit (0).getPhase(), phaseBefore);
    EXPECT_EQ (rig.engine.getLfo().getPhase(), lfoBefore);

    rig.engine.noteOn (60, fullVelocity, false);
    EXPECT_EQ (rig.engine.getAmpEnvelope().getStage(), Envelope::attackStage);
    EXPECT_EQ (rig.engine.getAmpEnvelope().getLevel(), 0.7f); // restarts from where it was
}

TEST (SynthEngineNotes, phaseResetModes)
{
    enum { freeMode, firstMode, perMode };

    for (int mode : { freeMode, firstMode, perMode })
    {
        EngineRig rig;
        rig.set ("phaseMode", (float) mode);
        rig.set ("osc2PhaseOffset", 90.0f);

        rig.engine.noteOn (50, fullVelocity, false); // from silence
        const auto firstPhase = rig.engine.getUnit (2).getPhase();
        rig.render (1000);

        const auto before = rig.engine.getUnit (2).getPhase();
        rig.engine.noteOn (52, fullVelocity, false); // while sounding
        const auto after = rig.engine.getUnit (2).getPhase();

        if (mode == freeMode)
        {
            EXPECT_EQ (firstPhase, 0.0f);
            EXPECT_EQ (after, before);
        }
        else if (mode == firstMode)
        {
            EXPECT_EQ (firstPhase, 0.25f);
            EXPECT_EQ (after, before);
        }
        else
        {
            EXPECT_EQ (firstPhase, 0.25f);
            EXPECT_EQ (after, 0.25f);
            EXPECT_EQ (rig.engine.getUnit (0).getPhase(), 0.0f);
        }
    }
}

TEST (SynthEngineNotes, releaseChangeDuringReleaseNeitherCutsNorStretches)
{
    EngineRig rig;
    rig.set ("ampDecay", 2.0f);
    rig.set ("ampSustain", 0.0f);
    rig.set ("ampRelease", 0.5f);
    rig.engine.noteOn (45, fullVelocity, false);
    rig.render (4800);
    rig.engine.releaseAll();
    rig.render (2400);

    rig.set ("ampAttack", 0.02f); // any setting of the group
    const auto tail = rig.render (19200);
    EXPECT_TRUE (rig.engine.isActive());
    EXPECT_GT (peak (tail, 18000), 0.01f);

    rig.render (7200);
    EXPECT_FALSE (rig.engine.isActive());
}

//==============================================================================
TEST (SynthEngineLfo, freeAndTempoSyncedRates)
{
    const auto lfoFrequency = [] (bool synced, float rateKnob, float tempo)
    {
        EngineRig rig;
        rig.set ("lfo1Sync", synced ? 1.0f : 0.0f);
        rig.set ("lfo1Rate", rateKnob);
        rig.set ("lfo1Depth", 1.0f);
        rig.set ("mod2Source", (float) ModSource::lfo1);
        rig.set ("mod2Dest", (float) ModDestination::osc2Phase); // silent until a phase reset
        rig.set ("mod2Amount", 1.0f);
        rig.engine.tempoBpm = tempo;
        rig.engine.noteOn (40, fullVelocity, false);

        std::vector<float> trace;
        juce::AudioBuffer<float> buffer (2, 1);
        for (int i = 0; i < 4 * 48000; ++i)
        {
            rig.engine.render (buffer, 0, 1);
            trace.push_back (rig.engine.liveSlotValues[1].load());
        }
        return estimateFrequency (trace, 48000.0);
    };

    const auto range = makeCentredLogRange (0.05f, 20.0f);
    EXPECT_NEAR (lfoFrequency (false, 3.0f, 120.0f), 3.0, 0.01);
    EXPECT_NEAR (lfoFrequency (true, range.convertFrom0to1 (3.0f / 9.0f), 120.0f), 2.0, 0.01);     // "1/4"
    EXPECT_NEAR (lfoFrequency (true, range.convertFrom0to1 (3.0f / 9.0f), 0.0f), 2.0, 0.01);       // no tempo: 120
    EXPECT_NEAR (lfoFrequency (true, 0.05f, 240.0f), 1.0, 0.01);                                   // "1/1"
    EXPECT_NEAR (lfoFrequency (true, 20.0f, 120.0f), 16.0, 0.05);                                  // "1/32"
}

//==============================================================================
TEST (SynthEngineMatrix, everySourceKindReachesItsSlot)
{
    struct Case { ModSource source; float expected; float tolerance; };

    EngineRig rig;
    rig.set ("ampSustain", 0.9f);
    rig.set ("osc1DcwSustain", 0.8f);
    rig.set ("osc2DcwSustain", 0.3f);
    rig.set ("filterSustain", 0.6f);
    rig.engine.modWheel = 0.4f;
    rig.engine.aftertouch = 0.7f;
    rig.engine.noteOn (64, 0.5f, false);
    rig.render (48000); // all envelopes in sustain

    const Case cases[] = {
        { ModSource::velocity, 0.5f, 0.0f },        { ModSource::key, 64.0f / 127.0f, 1.0e-6f },
        { ModSource::modWheel, 0.4f, 1.0e-6f },     { ModSource::aftertouch, 0.7f, 1.0e-6f },
        { ModSource::dcwEnvOsc1, 0.8f, 1.0e-6f },   { ModSource::dcwEnvOsc2, 0.3f, 1.0e-6f },
        { ModSource::filterEnv, 0.6f, 1.0e-5f },    { ModSource::ampEnv, 0.9f, 1.0e-6f },
    };

    for (const auto& c : cases)
    {
        rig.set ("mod3Source", (float) c.source);
        rig.set ("mod3Dest", (float) ModDestination::osc2Phase);
        rig.set ("mod3Amount", -0.5f);
        rig.render (1024); // past the amount's glide
        EXPECT_NEAR (rig.engine.liveSlotValues[2].load(), -0.5f * c.expected, c.tolerance) << (int) c.source;
    }

    // The moving sources: each must move and stay within -1..1.
    rig.set ("lfo1Depth", 0.5f);
    rig.set ("reeseBeat", 3.0f);
    rig.set ("reeseSpread", 0.5f); // the right half of the pair on the note, the left one beat above

    for (auto source : { ModSource::lfo1, ModSource::smoothRandom, ModSource::beatPhase })
    {
        rig.set ("mod3Source", (float) source);
        rig.set ("mod3Amount", 1.0f);
        float lowest = 1.0f, highest = -1.0f;
        juce::AudioBuffer<float> buffer (2, 64);

        for (int i = 0; i < 1500; ++i)
        {
            rig.engine.render (buffer, 0, 64);
            const auto v = rig.engine.liveSlotValues[2].load();
            lowest = std::min (lowest, v);
            highest = std::max (highest, v);
        }

        EXPECT_GT (highest - lowest, 0.2f) << (int) source;
        EXPECT_LE (std::max (std::abs (lowest), std::abs (highest)), source == ModSource::lfo1 ? 0.5f : 1.0f);
    }
}

TEST (SynthEngineMatrix, noteRandomIsNewPerNoteAndReproducible)
{
    const auto draws = []
    {
        EngineRig rig;
        rig.set ("mod1Source", (float) ModSource::noteRandom);
        rig.set ("mod1Dest", (float) ModDestination::osc2Phase);
        rig.set ("mod1Amount", 1.0f);
        std::vector<float> values;

        for (int note = 40; note < 45; ++note)
        {
            rig.engine.noteOn (note, fullVelocity, false);
            rig.render (64);
            values.push_back (rig.engine.liveSlotValues[0].load());
        }
        return values;
    };

    const auto first = draws();
    EXPECT_EQ (first, draws());
    for (size_t i = 1; i < first.size(); ++i)
        EXPECT_NE (first[i], first[i - 1]);
}

TEST (SynthEngineMatrix, destinationsChangeTheSound)
{
    // Mod wheel a quarter up on pitch at full amount: 48 x 0.25 = an octave.
    {
        EngineRig rig;
        rig.set ("mod2Source", (float) ModSource::modWheel);
        rig.set ("mod2Dest", (float) ModDestination::pitch);
        rig.set ("mod2Amount", 1.0f);
        rig.engine.modWheel = 0.25f;
        rig.engine.noteOn (57, fullVelocity, false);
        EXPECT_NEAR (estimateFrequency (rig.render (24000), 48000.0, 2400) / 440.0, 1.0, 1.0e-3);
    }

    // Velocity on amp, and a level destination pushed to its floor.
    const auto level = [] (ModSource source, ModDestination destination, float amount, float velocity,
                           float secondAmount = 0.0f)
    {
        EngineRig rig;
        rig.set ("mod2Source", (float) source);
        rig.set ("mod2Dest", (float) destination);
        rig.set ("mod2Amount", amount);
        rig.set ("mod3Source", (float) source);
        rig.set ("mod3Dest", (float) destination);
        rig.set ("mod3Amount", secondAmount);
        rig.engine.noteOn (45, velocity, false);
        rig.render (48000); // long enough for the DC blockers to forget the attack
        return peak (rig.render (4800));
    };

    const auto reference = level (ModSource::off, ModDestination::off, 0.0f, 1.0f);
    EXPECT_NEAR (level (ModSource::velocity, ModDestination::amp, 1.0f, 0.5f) / reference, 0.5f, 0.01f);
    EXPECT_NEAR (level (ModSource::velocity, ModDestination::output, -0.5f, 1.0f) / reference, 0.25f, 0.01f); // -12 dB
    EXPECT_NEAR (level (ModSource::ampEnv, ModDestination::osc1Level, -1.0f, 1.0f) / reference, 0.001f, 1.0e-4f); // -60 dB
    EXPECT_EQ (level (ModSource::ampEnv, ModDestination::osc1Level, -1.0f, 1.0f, -0.5f), 0.0f); // -90 dB: silent
}

//==============================================================================
TEST (SynthEngineSmoothing, levelChangesRampWithoutSteps)
{
    const auto run = [] (bool change)
    {
        // High enough that the DC blockers' phase shift cannot blur the ramp.
        EngineRig rig;
        rig.engine.noteOn (81, fullVelocity, false);
        rig.render (4800);
        if (change)
            rig.set ("osc1Level", -20.0f);
        return rig.render (1200);
    };

    const auto reference = run (false);
    const auto changed = run (true);
    float previousRatio = 1.0f, largestStep = 0.0f;
    int reachedAt = -1;
    size_t previousIndex = 0;

    for (size_t i = 0; i < reference.size(); ++i)
    {
        if (std::abs (reference[i]) < 0.25f) // ratios near zero crossings only measure noise
            continue;

        const auto ratio = changed[i] / reference[i];
        if (previousIndex + 1 == i)
            largestStep = std::max (largestStep, std::abs (ratio - previousRatio));
        previousRatio = ratio;
        previousIndex = i;

        if (reachedAt < 0 && ratio < 0.1f + 0.005f)
            reachedAt = (int) i;
    }

    EXPECT_LT (largestStep, 0.03f);                // no zipper step
    EXPECT_GT (reachedAt, 200);                    // a 5 ms ramp at 48 kHz is 240 samples
    EXPECT_LT (reachedAt, 320);
    EXPECT_NEAR (previousRatio, 0.1f, 1.0e-3f);
}

TEST (SynthEngineSmoothing, cutoffSweepsExponentially)
{
    EngineRig rig;
    rig.set ("filterCutoff", 100.0f);
    rig.engine.noteOn (45, fullVelocity, false);
    juce::AudioBuffer<float> buffer (2, 1);
    rig.engine.render (buffer, 0, 1);
    ASSERT_FLOAT_EQ (rig.engine.getCutoffHz(), 100.0f);

    rig.set ("filterCutoff", 10000.0f);
    std::vector<float> trace;
    for (int i = 0; i < 300; ++i)
    {
        rig.engine.render (buffer, 0, 1);
        trace.push_back (rig.engine.getCutoffHz());
    }

    const auto step = std::pow (100.0f, 1.0f / 240.0f);
    EXPECT_NEAR (trace[0] / 100.0f, step, 1.0e-4f);
    EXPECT_NEAR (trace[119], 1000.0f, 5.0f); // half-way in time is the geometric middle
    EXPECT_FLOAT_EQ (trace[239], 10000.0f);
    EXPECT_FLOAT_EQ (trace[299], 10000.0f);
}

//==============================================================================
namespace
{
// Renders [position, end) in blocks of the given size, as a host would.
void renderInBlocks (EngineRig& rig, juce::AudioBuffer<float>& buffer, int& position, int end, int blockSize)
{
    while (position < end)
    {
        const auto n = std::min (blockSize, end - position);
        rig.engine.render (buffer, position, n);
        position += n;
    }
}

// Bit for bit, reporting the first sample that differs.
void expectSameSamples (const juce::AudioBuffer<float>& other, const juce::AudioBuffer<float>& reference, int blockSize)
{
    for (int ch = 0; ch < reference.getNumChannels(); ++ch)
        for (int i = 0; i < reference.getNumSamples(); ++i)
            if (other.getSample (ch, i) != reference.getSample (ch, i))
            {
                ADD_FAILURE() << "block " << blockSize << " channel " << ch << " sample " << i << ": "
                              << other.getSample (ch, i) << " against " << reference.getSample (ch, i);
                return;
            }
}

void setBusy (EngineRig& rig)
{
    const std::pair<const char*, float> settings[] = {
        { "osc1Wave", 5.0f }, { "osc1DcwDepth", 0.8f }, { "osc2Wave", 8.0f }, { "osc2Level", -3.0f },
        { "osc2Detune", 12.0f }, { "osc2DcwDepth", 0.6f }, { "osc2DcwAttack", 0.2f }, { "reeseSpread", 0.4f },
        { "reeseBeat", 2.0f }, { "syncOsc1", 1.0f }, { "pdMorphAmount", 0.3f }, { "oscDrift", 0.5f },
        { "subLevel", -6.0f }, { "subMode", 1.0f }, { "subDcwDepth", 0.5f }, { "glideTime", 0.05f },
        { "lfo1Depth", 0.7f }, { "lfo1Rate", 5.0f }, { "lfo1Shape", 3.0f },
        { "mod1Source", (float) ModSource::velocity }, { "mod1Dest", (float) ModDestination::amp }, { "mod1Amount", 0.5f },
        { "mod2Source", (float) ModSource::lfo1 }, { "mod2Dest", (float) ModDestination::pitch }, { "mod2Amount", 0.02f },
        { "mod3Source", (float) ModSource::smoothRandom }, { "mod3Dest", (float) ModDestination::osc1Dcw }, { "mod3Amount", -0.4f },
        { "mod4Source", (float) ModSource::beatPhase }, { "mod4Dest", (float) ModDestination::osc2Pw }, { "mod4Amount", 0.5f },
        { "matrix4Curve", 1.0f },
    };

    for (auto [id, value] : settings)
        rig.set (id, value);
}
} // namespace

TEST (SynthEngineFrame, outputIsIdenticalForAnyBlockSize)
{
    const auto renderWith = [] (int blockSize)
    {
        EngineRig rig (48000.0, 4096);
        setBusy (rig);
        juce::AudioBuffer<float> buffer (2, 48000);
        buffer.clear();

        // Events at fixed positions; the block size only changes how the stretches are cut.
        const std::pair<int, int> events[] = { { 0, 40 }, { 7000, 47 }, { 20011, -1 }, { 26000, 43 }, { 40000, -1 } };
        int position = 0;

        for (size_t e = 0; e <= std::size (events); ++e)
        {
            const auto end = e < std::size (events) ? events[e].first : 48000;

            renderInBlocks (rig, buffer, position, end, blockSize);

            if (e < std::size (events))
            {
                if (events[e].second < 0)
                    rig.engine.releaseAll();
                else
                    rig.engine.noteOn (events[e].second, 0.8f, e == 1);
            }
        }

        return buffer;
    };

    const auto reference = renderWith (4096);
    EXPECT_GT (reference.getMagnitude (0, 48000), 0.1f);

    for (int blockSize : { 1, 3, 64, 500, 1024 })
    {
        expectSameSamples (renderWith (blockSize), reference, blockSize);
    }
}

// The sources run in loops of their own when nothing is synced, and a settled voice copies its
// settings along a stretch: stretches start at the chunk, so any state they carried wrongly across
// would show as a difference between block sizes. Changes come at fixed positions here: osc 2's
// twin halves parting, a wave switch (whose fade runs the sources interleaved), noise, a filter
// envelope, the LFO spreading the halves and a held, settled sound.
TEST (SynthEngineFrame, unsyncedAndSettledVoicesAreIdenticalForAnyBlockSize)
{
    const auto renderWith = [] (int blockSize)
    {
        EngineRig rig (48000.0, 4096);
        rig.set ("osc2Level", -6.0f);
        rig.set ("osc2Wave", 3.0f);
        rig.set ("osc1DcwDepth", 0.5f);
        rig.set ("subLevel", -12.0f);
        rig.set ("ampRelease", 0.02f); // silent again before the last note
        juce::AudioBuffer<float> buffer (2, 48000);
        buffer.clear();

        const std::function<void()> events[] = {
            [&] { rig.engine.noteOn (40, 0.8f, false); },
            [&] { rig.set ("reeseSpread", 0.5f); rig.set ("reeseBeat", 1.5f); },
            [&] { rig.set ("osc1Wave", 2.0f); rig.set ("noiseLevel", -30.0f); rig.set ("noiseRouting", 0.5f); },
            [&] { rig.set ("filterEnvAmount", 24.0f); rig.set ("filterCutoff", 400.0f); rig.engine.noteOn (45, 0.6f, false); },
            [&] { rig.engine.releaseAll(); rig.set ("reeseSpread", 0.0f); },
            [&] {
                // A note from silence after the filter envelope is turned off: the decimator's
                // first tiny states must not be zeroed at block-size-dependent places.
                rig.set ("filterEnvAmount", 0.0f);
                rig.set ("lfo1Depth", 1.0f);
                rig.set ("lfo1Rate", 4.0f);
                rig.set ("mod2Source", (float) ModSource::lfo1);
                rig.set ("mod2Dest", (float) ModDestination::reeseSpread);
                rig.set ("mod2Amount", 0.3f);
                rig.engine.noteOn (43, 0.9f, false);
            },
            [&] { rig.engine.releaseAll(); },
        };
        const int positions[] = { 0, 5003, 12000, 20011, 26000, 30001, 44000 };
        int position = 0;

        for (size_t e = 0; e <= std::size (events); ++e)
        {
            const auto end = e < std::size (events) ? positions[e] : 48000;

            renderInBlocks (rig, buffer, position, end, blockSize);

            if (e < std::size (events))
                events[e]();
        }

        return buffer;
    };

    const auto reference = renderWith (4096);
    EXPECT_GT (reference.getMagnitude (0, 48000), 0.1f);
    EXPECT_GT (reference.getMagnitude (1, 5003, 7000), 0.05f);

    for (int blockSize : { 1, 5, 64, 333, 1000 })
    {
        expectSameSamples (renderWith (blockSize), reference, blockSize);
    }
}

// Sources in loops draw a stretch's noise at once, both sides together: each generator must draw
// as many values, in the same order, as sample by sample, also where the noise fades in or out in
// mid-stretch (silent noise is not drawn), its routing moves and its colour changes, mixed and
// ring-modulated.
TEST (SynthEngineFrame, noiseOverStretchesSoundsAsSampleBySample)
{
    const auto renderWith = [] (bool shortcuts)
    {
        EngineRig rig (48000.0, 512, { shortcuts });
        rig.set ("osc1Level", -12.0f);
        rig.set ("osc2Level", -9.0f);
        rig.set ("osc2Wave", 3.0f);
        rig.set ("noiseColour", 1.0f);
        rig.set ("noiseLevel", -18.0f);
        rig.set ("noiseRouting", 0.5f);
        rig.set ("reeseSpread", 0.4f);
        rig.set ("filterCutoff", 2000.0f);
        juce::AudioBuffer<float> buffer (2, 42000);
        buffer.clear();

        const std::function<void()> events[] = {
            [&] { rig.engine.noteOn (40, 0.8f, false); },
            [&] { rig.set ("noiseRouting", 1.0f); },
            [&] { rig.set ("noiseRouting", 0.0f); rig.set ("noiseColour", 2.0f); },
            [&] { rig.set ("noiseLevel", -90.0f); },
            [&] { rig.set ("noiseLevel", -12.0f); rig.set ("noiseRouting", 0.7f); },
            [&] { rig.set ("noiseColour", 0.0f); },
            [&] { rig.set ("noiseColour", 1.0f); rig.set ("noiseRouting", 0.2f); },
            [&] { rig.set ("mode", 1.0f); },
        };
        const int positions[] = { 0, 5003, 11000, 17001, 23000, 29011, 35000, 38500 };
        int position = 0;

        for (size_t e = 0; e <= std::size (events); ++e)
        {
            renderInBlocks (rig, buffer, position, e < std::size (events) ? positions[e] : 42000, 256);

            if (e < std::size (events))
                events[e]();
        }

        return buffer;
    };

    const auto reference = renderWith (false);
    ASSERT_GT (reference.getMagnitude (0, 42000), 0.05f);
    expectSameSamples (renderWith (true), reference, 256);
}

TEST (SynthEngineFrame, randomLegalSettingsNeverLeaveNaNInfinityOrDenormals)
{
    std::mt19937 random (1234);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);

    for (double rate : { 44100.0, 48000.0, 96000.0 })
    {
        for (int round = 0; round < 12; ++round)
        {
            EngineRig rig (rate, 4096);

            for (auto* parameter : rig.host.getParameters())
                if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter))
                    rig.set (ranged->getParameterID().toRawUTF8(), ranged->convertFrom0to1 (unit (random)));

            rig.engine.prepare (rate, 4096); // takes the new settings as its starting point
            juce::AudioBuffer<float> buffer (2, 4096);

            for (int step = 0; step < 24; ++step)
            {
                const auto choice = unit (random);

                if (choice < 0.35f)
                    rig.engine.noteOn ((int) (unit (random) * 127.0f), unit (random), unit (random) < 0.5f);
                else if (choice < 0.45f)
                    rig.engine.releaseAll();

                rig.engine.pitchBend = unit (random) * 4.0f - 2.0f;
                rig.engine.modWheel = unit (random);
                rig.engine.aftertouch = unit (random);

                const auto n = 1 + (int) (unit (random) * 4095.0f);
                buffer.clear();
                rig.engine.render (buffer, 0, n);

                for (int ch = 0; ch < 2; ++ch)
                    for (int i = 0; i < n; ++i)
                        ASSERT_TRUE (isClean (buffer.getSample (ch, i)))
                            << "rate " << rate << " round " << round << " sample " << i << " = " << buffer.getSample (ch, i);
            }
        }
    }
}

TEST (SynthEngineFrame, negativeOscillatorFrequencyStaysBounded)
{
    EngineRig rig (96000.0);
    rig.set ("detuneMode", 1.0f);
    rig.set ("osc2DetuneHz", -20.0f);
    rig.set ("osc2Level", 0.0f);
    rig.set ("osc2Wave", 5.0f); // its shape has a (1 - p) factor
    rig.set ("osc2DcwDepth", 1.0f);
    rig.engine.noteOn (0, fullVelocity, false); // 8.2 Hz, so osc 2 runs at about -12 Hz

    const auto out = rig.render (96000 * 3, 4096);
    EXPECT_LT (peak (out), 3.0f);
    EXPECT_GE (rig.engine.getUnit (2).getPhase(), 0.0f);
    EXPECT_LT (rig.engine.getUnit (2).getPhase(), 1.0f);
}

// Sources with one oscillator synced to the other run unit by unit over a stretch, reading the
// master's recorded wraps; they must sound as when the units take turns tick by tick, also where
// osc 2's halves part in mid-stretch and where a sync is switched on or off mid-note.
TEST (SynthEngineFrame, syncedSourcesInLoopsSoundAsWhenTheyTakeTurns)
{
    struct Case { const char* synced; float osc1Wave, osc2Wave, morph; };
    const Case cases[] = { { "syncOsc2", 5.0f, 2.0f, 0.25f }, { "syncOsc1", 0.0f, 8.0f, 0.0f }, { "syncOsc2", 8.0f, 9.0f, 0.6f } };

    for (const auto& c : cases)
    {
        const auto renderWith = [&c] (bool loops)
        {
            EngineRig rig (48000.0, 512, { loops });
            rig.set (c.synced, 1.0f);
            rig.set ("osc1Wave", c.osc1Wave);
            rig.set ("osc2Wave", c.osc2Wave);
            rig.set ("pdMorphAmount", c.morph);
            rig.set ("osc2Level", -3.0f);
            rig.set ("osc2Semitone", 7.0f);
            rig.set ("osc1DcwDepth", 0.8f);
            rig.set ("osc1DcwAttack", 0.05f);
            rig.set ("osc2DcwDepth", 0.6f);
            rig.set ("subLevel", -12.0f);
            rig.set ("oscDrift", 0.3f);
            juce::AudioBuffer<float> buffer (2, 36000);
            buffer.clear();
            int position = 0;
            rig.engine.noteOn (36, 0.9f, false);
            renderInBlocks (rig, buffer, position, 9001, 256);
            rig.set ("reeseSpread", 0.4f); // osc 2's halves part
            rig.set ("reeseBeat", 2.0f);
            renderInBlocks (rig, buffer, position, 18000, 256);
            rig.set (c.synced, 0.0f);
            renderInBlocks (rig, buffer, position, 24007, 100);
            rig.set ("syncOsc1", 1.0f);
            rig.set ("syncOsc2", 1.0f); // mutual: turn by turn in both
            renderInBlocks (rig, buffer, position, 30000, 256);
            rig.set (c.synced, 0.0f);
            renderInBlocks (rig, buffer, position, 36000, 256);
            return buffer;
        };

        const auto reference = renderWith (false);
        const auto looped = renderWith (true);
        ASSERT_GT (reference.getMagnitude (0, 36000), 0.1f);

        for (int ch = 0; ch < 2; ++ch)
        {
            auto worst = 0.0f;
            int at = 0;

            for (int i = 0; i < 36000; ++i)
                if (const auto d = std::abs (looped.getSample (ch, i) - reference.getSample (ch, i)); d > worst)
                {
                    worst = d;
                    at = i;
                }

            EXPECT_LT (worst, 1.0e-5f) << c.synced << " wave " << c.osc1Wave << " channel " << ch << " at " << at;
        }
    }
}

// The chain runs a stretch at a time on copies of its stages while nothing in it fades, the two
// sides in lanes once they part; it must sound as sample by sample, through every drive curve
// (whole and blended in), filter model with and without resonance and feedback position, with
// the sides parting and the cutoff moving or holding still.
TEST (SynthEngineFrame, chainOverStretchesSoundsAsSampleBySample)
{
    struct Case { float driveMode, filterModel, feedbackPosition, drivePosition, drive = 9.0f, reso = 0.5f, envAmount = 18.0f; bool filterOn = true; };
    const Case cases[] = { { 0, 0, 0, 0 }, { 1, 1, 1, 1 }, { 2, 2, 0, 1 }, { 0, 3, 1, 0 }, { 1, 3, 0, 0 },
                           { 2, 0, 1, 0, 9.0f, 0.9f, 0.0f }, { 0, 1, 0, 1, 3.0f, 0.9f }, { 1, 2, 1, 0, 9.0f, 0.8f, 0.0f },
                           { 2, 1, 0, 0, 3.0f, 0.0f }, { 0, 0, 1, 1, 9.0f, 0.0f, 0.0f }, { 1, 2, 0, 1, 3.0f, 0.0f },
                           { 2, 0, 1, 0, 9.0f, 0.5f, 18.0f, false } };

    for (const auto& c : cases)
    {
        const auto renderWith = [&c] (bool shortcuts)
        {
            EngineRig rig (48000.0, 512, { shortcuts });
            rig.set ("driveMode", c.driveMode);
            rig.set ("filterModel", c.filterModel);
            rig.set ("filterEnabled", c.filterOn ? 1.0f : 0.0f);
            rig.set ("feedbackPosition", c.feedbackPosition);
            rig.set ("drivePosition", c.drivePosition);
            rig.set ("drive", c.drive);
            rig.set ("driveMix", 0.7f);
            rig.set ("feedbackAmount", 0.4f);
            rig.set ("filterCutoff", 900.0f);
            rig.set ("filterReso", c.reso);
            rig.set ("filterEnvAmount", c.envAmount);
            rig.set ("phaseStereo", 0.3f);
            rig.set ("osc2Level", -6.0f);
            rig.set ("subLevel", -9.0f);
            rig.set ("subDriveSend", 0.5f);
            // The LFO through the matrix, its values taken a stretch at a time; the voice ends in
            // mid-stretch before the last note.
            rig.set ("lfo1Depth", 0.7f);
            rig.set ("lfo1Rate", 5.0f);
            rig.set ("mod2Source", (float) ModSource::lfo1);
            rig.set ("mod2Dest", (float) ModDestination::pitch);
            rig.set ("mod2Amount", 0.05f);
            rig.set ("ampRelease", 0.0113f);
            rig.set ("phaseMode", 0.0f); // free-running: the next note hears where the LFO was left
            juce::AudioBuffer<float> buffer (2, 30000);
            buffer.clear();
            int position = 0;
            rig.engine.noteOn (33, 0.8f, false);
            renderInBlocks (rig, buffer, position, 7001, 256);
            rig.set ("reeseSpread", 0.5f); // the sides part
            rig.set ("reeseBeat", 1.5f);
            renderInBlocks (rig, buffer, position, 15000, 256);
            rig.set ("feedbackAmount", 0.0f);
            rig.set ("drive", 0.0f);
            renderInBlocks (rig, buffer, position, 22000, 100);
            rig.set ("reeseSpread", 0.0f);
            rig.engine.releaseAll();
            renderInBlocks (rig, buffer, position, 25000, 256);
            rig.engine.noteOn (40, 0.5f, false);
            renderInBlocks (rig, buffer, position, 30000, 256);
            return buffer;
        };

        const auto reference = renderWith (false);
        const auto stretched = renderWith (true);
        ASSERT_GT (reference.getMagnitude (0, 30000), 0.05f);

        SCOPED_TRACE (testing::Message() << "drive " << c.driveMode << " at " << c.drive << " dB, filter " << c.filterModel
                                         << " resonance " << c.reso << " feedback " << c.feedbackPosition);
        expectSameSamples (stretched, reference, 256);
    }
}

// The phase stage's two sides work out their coefficients together while the cutoff sweeps and
// the stereo spread glides, parts and closes again.
TEST (SynthEngineFrame, sweptPhaseStageOverStretchesSoundsAsSampleBySample)
{
    for (const auto feedback : { 0.0f, 0.4f })
    {
        const auto renderWith = [feedback] (bool shortcuts)
        {
            EngineRig rig (48000.0, 512, { shortcuts });
            rig.set ("filterModel", 3.0f);
            rig.set ("driveMode", 1.0f);
            rig.set ("drive", 6.0f);
            rig.set ("feedbackAmount", feedback);
            rig.set ("filterCutoff", 700.0f);
            rig.set ("filterReso", 0.6f);
            rig.set ("lfo1Depth", 1.0f);
            rig.set ("lfo1Rate", 9.0f);
            rig.set ("mod1Source", (float) ModSource::lfo1);
            rig.set ("mod1Dest", (float) ModDestination::cutoff);
            rig.set ("mod1Amount", 0.8f);
            juce::AudioBuffer<float> buffer (2, 24000);
            buffer.clear();
            int position = 0;
            rig.engine.noteOn (36, 0.8f, false);
            renderInBlocks (rig, buffer, position, 6000, 256);
            rig.set ("phaseStereo", 0.8f);
            renderInBlocks (rig, buffer, position, 14000, 100);
            rig.set ("phaseStereo", 0.2f);
            renderInBlocks (rig, buffer, position, 19000, 256);
            rig.set ("phaseStereo", 0.0f);
            renderInBlocks (rig, buffer, position, 24000, 256);
            return buffer;
        };

        const auto reference = renderWith (false);
        const auto stretched = renderWith (true);
        ASSERT_GT (reference.getMagnitude (0, 24000), 0.05f);
        SCOPED_TRACE (testing::Message() << "feedback " << feedback);
        expectSameSamples (stretched, reference, 256);
    }
}

// A voice whose settings hold still reuses them along a stretch; a slot from a source that holds
// still (velocity) into the filter envelope's amount still makes the cutoff follow the envelope.
TEST (SynthEngineFrame, settledVoicesSoundAsWhenEverySampleIsWorkedOut)
{
    const auto renderWith = [] (bool shortcuts)
    {
        EngineRig rig (48000.0, 512, { shortcuts });
        rig.set ("filterCutoff", 300.0f);
        rig.set ("filterEnvAmount", 0.0f);
        rig.set ("filterDecay", 0.2f);
        rig.set ("filterSustain", 0.0f);
        rig.set ("mod1Source", (float) ModSource::velocity);
        rig.set ("mod1Dest", (float) ModDestination::filterEnv);
        rig.set ("mod1Amount", 0.8f);
        rig.set ("osc1Wave", 0.0f);
        rig.set ("osc1DcwDepth", 0.9f);
        rig.engine.noteOn (36, 1.0f, false);
        return rig.render (24000, 256);
    };

    const auto reference = renderWith (false);
    const auto settled = renderWith (true);

    for (size_t i = 0; i < reference.size(); ++i)
        if (settled[i] != reference[i])
        {
            ADD_FAILURE() << "differs first at " << i;
            break;
        }
}

// The control pass takes the envelopes a stretch at a time, holds the matrix's sums where its
// slots read held sources, and a voice where nothing moves but the envelopes takes only their
// levels: bit for bit as sample by sample, with the amp
// envelope ending inside a stretch, an envelope setting ramping mid-note, and the beat's phase and
// the smooth random source (moved on while nothing reads them) taken up by slots later.
TEST (SynthEngineFrame, controlPassOverStretchesSoundsAsSampleBySample)
{
    struct Case { float drift, randomToWidth, mod2Source; };
    const Case cases[] = { { 0.0f, 0.0f, 0.0f }, { 0.4f, 0.0f, 0.0f }, { 0.0f, 0.5f, 0.0f },
                           { 0.3f, 0.4f, (float) ModSource::modWheel }, { 0.0f, 0.3f, (float) ModSource::dcwEnvOsc1 } };

    for (const auto& c : cases)
    {
        const auto renderWith = [&c] (bool shortcuts)
        {
            EngineRig rig (48000.0, 512, { shortcuts });
            rig.set ("mod1Source", (float) ModSource::velocity);
            rig.set ("mod1Dest", (float) ModDestination::amp);
            rig.set ("mod1Amount", 0.5f);
            rig.set ("osc1Wave", 2.0f);
            rig.set ("osc1DcwDepth", 0.7f);
            rig.set ("osc2Level", -6.0f);
            rig.set ("osc2Wave", 8.0f); // pwm, which the smooth random's slot moves
            rig.set ("osc2DcwDepth", 0.8f);
            rig.set ("osc2Detune", 9.0f);
            rig.set ("reeseBeat", 1.7f);
            rig.set ("reeseSpread", 0.3f);
            rig.set ("oscDrift", c.drift);
            rig.set ("ampAttack", 0.01f);
            rig.set ("ampDecay", 0.2f);
            rig.set ("ampSustain", 0.6f);
            rig.set ("ampRelease", 0.0113f);
            rig.set ("osc1DcwAttack", 0.03f);
            rig.set ("osc1DcwDecay", 0.4f);
            rig.set ("osc1DcwSustain", 0.2f);
            rig.set ("mod3Source", (float) ModSource::smoothRandom);
            rig.set ("mod3Dest", (float) ModDestination::osc2Pw);
            rig.set ("mod3Amount", c.randomToWidth);
            rig.set ("mod2Source", c.mod2Source);
            rig.set ("mod2Dest", (float) ModDestination::osc1Dcw);
            rig.set ("mod2Amount", 0.3f);
            rig.set ("phaseMode", 0.0f);
            juce::AudioBuffer<float> buffer (2, 40000);
            buffer.clear();
            int position = 0;
            rig.engine.modWheel = 0.4f;
            rig.engine.noteOn (38, 0.7f, false);
            renderInBlocks (rig, buffer, position, 12001, 256);
            rig.set ("ampSustain", 0.9f); // ramps over 5 ms
            rig.engine.modWheel = 0.8f;
            renderInBlocks (rig, buffer, position, 20000, 100);
            rig.set ("mod4Source", (float) ModSource::beatPhase);
            rig.set ("mod4Dest", (float) ModDestination::osc1Dcw);
            rig.set ("mod4Amount", 0.4f);
            rig.set ("mod3Amount", 0.35f); // the smooth random too, from where it got to
            renderInBlocks (rig, buffer, position, 26000, 256);
            rig.engine.releaseAll();
            renderInBlocks (rig, buffer, position, 30000, 333);
            rig.engine.noteOn (45, 0.9f, false);
            renderInBlocks (rig, buffer, position, 40000, 256);
            return buffer;
        };

        const auto reference = renderWith (false);
        const auto stretched = renderWith (true);
        ASSERT_GT (reference.getMagnitude (0, 40000), 0.05f);
        SCOPED_TRACE (testing::Message() << "drift " << c.drift << " random " << c.randomToWidth);
        expectSameSamples (stretched, reference, 256);
    }
}

// A held stretch works out its samples after the first pass by pass over the stretch: bit for bit
// as sample by sample, for every kind of source a slot reads (squared or not) and every group of
// settings it feeds, the chain's too, a falling amp slot, a still source feeding the drift, and
// the slots' live values and their sources' values, as the views find them after each block.
TEST (SynthEngineFrame, heldStretchesWithEveryKindOfSlotSoundAsSampleBySample)
{
    using S = ModSource;
    using D = ModDestination;
    struct Slot { S source; D destination; float amount; float curve; };
    struct Case { float drift; Slot slots[4]; float filterEnv = 0.0f; };
    const Case cases[] = {
        { 0.3f, { { S::ampEnv, D::amp, -0.6f, 0.0f }, { S::filterEnv, D::osc2Level, 0.4f, 1.0f },
                  { S::lfo1, D::noiseLevel, 0.5f, 1.0f }, { S::smoothRandom, D::subDcw, 0.7f, 0.0f } } },
        { 0.0f, { { S::velocity, D::drift, 0.6f, 0.0f }, { S::dcwEnvOsc2, D::osc2Dcw, -0.5f, 1.0f },
                  { S::lfo1, D::output, 0.3f, 0.0f }, { S::lfo1, D::osc1Dcw, 0.4f, 0.0f } } },
        { 0.5f, { { S::lfo1, D::drift, 0.3f, 0.0f }, { S::dcwEnvOsc1, D::subLevel, -0.3f, 0.0f },
                  { S::smoothRandom, D::amp, 0.5f, 1.0f }, { S::lfo1, D::osc1Dcw, 0.2f, 1.0f } } },
        { 0.2f, { { S::modWheel, D::pdMorph, 0.5f, 0.0f }, { S::key, D::osc1Pw, 0.3f, 0.0f },
                  { S::aftertouch, D::pitch, 0.1f, 0.0f }, { S::noteRandom, D::osc2Pw, 0.4f, 1.0f } } },
        { 0.4f, { { S::lfo1, D::cutoff, 0.2f, 0.0f }, { S::smoothRandom, D::drive, 0.5f, 0.0f },
                  { S::dcwEnvOsc2, D::resonance, 0.4f, 1.0f }, { S::lfo1, D::feedback, -0.3f, 0.0f } }, 18.0f },
    };

    for (const auto& c : cases)
    {
        const auto renderWith = [&c] (bool shortcuts, std::vector<float>& views)
        {
            EngineRig rig (48000.0, 512, { shortcuts });
            rig.set ("osc1Wave", 5.0f);
            rig.set ("osc1DcwDepth", 0.6f);
            rig.set ("osc2Wave", 8.0f);
            rig.set ("osc2Level", -3.0f);
            rig.set ("osc2Detune", 7.0f);
            rig.set ("osc2DcwDepth", 0.5f);
            rig.set ("subLevel", -9.0f);
            rig.set ("subDcwDepth", 0.3f);
            rig.set ("noiseLevel", -30.0f);
            rig.set ("noiseRouting", 0.5f);
            rig.set ("oscDrift", c.drift);
            rig.set ("lfo1Depth", 0.9f);
            rig.set ("lfo1Rate", 6.0f);
            rig.set ("filterDecay", 0.3f);
            rig.set ("filterSustain", 0.2f);
            rig.set ("filterEnvAmount", c.filterEnv);
            rig.set ("filterCutoff", 900.0f);
            rig.set ("feedbackAmount", 0.3f);
            rig.set ("osc2DcwDecay", 0.25f);
            rig.set ("osc2DcwSustain", 0.4f);
            rig.set ("phaseMode", 0.0f);

            for (int i = 0; i < 4; ++i)
            {
                const auto n = juce::String (i + 1);
                rig.set (("mod" + n + "Source").toRawUTF8(), (float) c.slots[i].source);
                rig.set (("mod" + n + "Dest").toRawUTF8(), (float) c.slots[i].destination);
                rig.set (("mod" + n + "Amount").toRawUTF8(), c.slots[i].amount);
                rig.set (("matrix" + n + "Curve").toRawUTF8(), c.slots[i].curve);
            }

            rig.engine.modWheel = 0.6f;
            rig.engine.aftertouch = 0.3f;
            juce::AudioBuffer<float> buffer (2, 24000);
            buffer.clear();
            int position = 0;
            rig.engine.noteOn (40, 0.8f, false);

            while (position < 24000)
            {
                renderInBlocks (rig, buffer, position, std::min (24000, position + 1000), position < 12000 ? 256 : 77);

                for (const auto& value : rig.engine.liveSlotValues)
                    views.push_back (value.load());

                for (const auto& slot : c.slots)
                    views.push_back (rig.engine.getModSourceValue (slot.source));
            }

            return buffer;
        };

        std::vector<float> referenceViews, stretchedViews;
        const auto reference = renderWith (false, referenceViews);
        const auto stretched = renderWith (true, stretchedViews);
        ASSERT_GT (reference.getMagnitude (0, 24000), 0.05f);
        SCOPED_TRACE (testing::Message() << "case " << (&c - cases));
        expectSameSamples (stretched, reference, 256);
        EXPECT_EQ (stretchedViews, referenceViews);
    }
}

// A voice where no smoother ramps takes its settings over from sample to sample and works out
// only what moving slots and the drift feed, its frequencies in a pass of their own four samples
// at a time: bit for bit as sample by sample, in both detune modes, with the pitch, the spread
// and the detune moving, vibrato too wide for the short exponential, and the beat's phase read
// by a slot part of the way.
TEST (SynthEngineFrame, heldVoicesWithMovingPitchSoundAsSampleBySample)
{
    struct Case { float detuneMode, pitchAmount, drift; ModDestination second; float secondAmount; };
    const Case cases[] = { { 0.0f, 0.02f, 0.4f, ModDestination::osc2Dcw, 0.3f },
                           { 1.0f, 0.02f, 0.3f, ModDestination::reeseSpread, 0.4f },
                           { 0.0f, 0.01f, 0.0f, ModDestination::reeseSpread, 0.3f },
                           { 0.0f, 0.5f, 0.2f, ModDestination::osc2Detune, 0.5f },
                           { 1.0f, 0.0f, 0.5f, ModDestination::osc1Level, -0.4f },
                           { 0.0f, 0.0f, 0.0f, ModDestination::pdMorph, 0.5f } };

    for (const auto& c : cases)
    {
        const auto renderWith = [&c] (bool shortcuts)
        {
            EngineRig rig (48000.0, 512, { shortcuts });
            rig.set ("detuneMode", c.detuneMode);
            rig.set ("osc2DetuneHz", 3.0f);
            rig.set ("osc1Wave", 5.0f);
            rig.set ("osc1DcwDepth", 0.6f);
            rig.set ("osc2Wave", 2.0f);
            rig.set ("osc2Level", -3.0f);
            rig.set ("osc2Detune", 11.0f);
            rig.set ("osc2DcwDepth", 0.5f);
            rig.set ("pdMorphAmount", 0.2f);
            rig.set ("subLevel", -9.0f);
            rig.set ("oscDrift", c.drift);
            rig.set ("lfo1Depth", 0.8f);
            rig.set ("lfo1Rate", 4.0f);
            rig.set ("mod1Source", (float) ModSource::lfo1);
            rig.set ("mod1Dest", (float) ModDestination::pitch);
            rig.set ("mod1Amount", c.pitchAmount);
            rig.set ("mod2Source", (float) ModSource::smoothRandom);
            rig.set ("mod2Dest", (float) c.second);
            rig.set ("mod2Amount", c.secondAmount);
            rig.set ("mod3Source", (float) ModSource::velocity);
            rig.set ("mod3Dest", (float) ModDestination::osc1Pw);
            rig.set ("mod3Amount", 0.2f);
            rig.set ("phaseMode", 0.0f);
            juce::AudioBuffer<float> buffer (2, 36000);
            buffer.clear();
            int position = 0;
            rig.engine.noteOn (40, 0.8f, false);
            renderInBlocks (rig, buffer, position, 9001, 256);
            rig.set ("reeseSpread", 0.4f); // osc 2's halves part, after a ramp
            rig.set ("reeseBeat", 1.5f);
            renderInBlocks (rig, buffer, position, 18000, 100);
            rig.set ("mod4Source", (float) ModSource::beatPhase);
            rig.set ("mod4Dest", (float) ModDestination::osc2Pw);
            rig.set ("mod4Amount", 0.3f);
            renderInBlocks (rig, buffer, position, 24000, 256);
            rig.set ("mod4Amount", 0.0f);
            rig.engine.noteOn (47, 0.6f, true);
            renderInBlocks (rig, buffer, position, 36000, 333);
            return buffer;
        };

        const auto reference = renderWith (false);
        const auto stretched = renderWith (true);
        ASSERT_GT (reference.getMagnitude (0, 36000), 0.05f);
        SCOPED_TRACE (testing::Message() << "detune mode " << c.detuneMode << " pitch " << c.pitchAmount << " drift "
                                         << c.drift << " second " << (int) c.second);
        expectSameSamples (stretched, reference, 256);
    }
}

// The beat's phase moves on in the frequencies' pass unheard, wrapping again and again at a fast
// beat, until a slot reads it: then it must stand where sample by sample leaves it.
TEST (SynthEngineFrame, beatPhaseWrappingInTheFrequencyPassLandsAsSampleBySample)
{
    for (const auto detuneMode : { 0.0f, 1.0f })
    {
        const auto renderWith = [detuneMode] (bool shortcuts)
        {
            EngineRig rig (48000.0, 512, { shortcuts });
            rig.set ("detuneMode", detuneMode);
            rig.set ("osc2DetuneHz", 7.0f);
            rig.set ("osc1Wave", 5.0f);
            rig.set ("osc2Wave", 2.0f);
            rig.set ("osc2Level", -3.0f);
            rig.set ("osc2Detune", 9.0f);
            rig.set ("osc2DcwDepth", 0.5f);
            rig.set ("oscDrift", 0.3f);
            rig.set ("reeseSpread", 0.5f);
            rig.set ("reeseBeat", 37.3f);
            rig.set ("lfo1Depth", 0.8f);
            rig.set ("lfo1Rate", 5.0f);
            rig.set ("mod1Source", (float) ModSource::lfo1);
            rig.set ("mod1Dest", (float) ModDestination::pitch);
            rig.set ("mod1Amount", 0.02f);
            juce::AudioBuffer<float> buffer (2, 30000);
            buffer.clear();
            int position = 0;
            rig.engine.noteOn (40, 0.8f, false);
            renderInBlocks (rig, buffer, position, 24000, 256);
            rig.set ("mod2Source", (float) ModSource::beatPhase);
            rig.set ("mod2Dest", (float) ModDestination::osc2Dcw);
            rig.set ("mod2Amount", 0.4f);
            renderInBlocks (rig, buffer, position, 30000, 256);
            return buffer;
        };

        const auto reference = renderWith (false);
        const auto stretched = renderWith (true);
        ASSERT_GT (reference.getMagnitude (0, 30000), 0.05f);
        SCOPED_TRACE (testing::Message() << "detune mode " << detuneMode);
        expectSameSamples (stretched, reference, 256);
    }
}

// A held stretch works out its chain frames four samples at a time: bit for bit as sample by
// sample with moving slots on every input of the cutoff and drive (the filter envelope's amount
// too), sums far enough past their ranges to clamp both ways, and the cutoff's and the drive's
// own smoothers ramping inside held stretches, after a knob move and a legato retrigger.
TEST (SynthEngineFrame, heldChainFramesInLanesSoundAsSampleBySample)
{
    struct Case { float driveAmount, resonanceAmount, blockSize; };
    const Case cases[] = { { 0.5f, 0.4f, 256.0f }, { 40.0f, 3.0f, 100.0f }, { -40.0f, -3.0f, 333.0f } };

    for (const auto& c : cases)
    {
        const auto renderWith = [&c] (bool shortcuts)
        {
            EngineRig rig (48000.0, 512, { shortcuts });
            rig.set ("osc1Wave", 2.0f);
            rig.set ("osc1DcwDepth", 0.7f);
            rig.set ("filterModel", 3.0f);
            rig.set ("filterCutoff", 700.0f);
            rig.set ("filterReso", 0.5f);
            rig.set ("filterEnvAmount", 20.0f);
            rig.set ("filterDecay", 0.2f);
            rig.set ("filterSustain", 0.4f);
            rig.set ("driveMode", 1.0f);
            rig.set ("drive", 10.0f);
            rig.set ("driveAutoMakeup", 1.0f);
            rig.set ("velToDrive", 0.8f);
            rig.set ("feedbackAmount", 0.3f);
            rig.set ("lfo1Depth", 0.9f);
            rig.set ("lfo1Rate", 7.0f);
            rig.set ("mod1Source", (float) ModSource::lfo1);
            rig.set ("mod1Dest", (float) ModDestination::filterEnv);
            rig.set ("mod1Amount", 0.5f);
            rig.set ("mod2Source", (float) ModSource::smoothRandom);
            rig.set ("mod2Dest", (float) ModDestination::drive);
            rig.set ("mod2Amount", c.driveAmount);
            rig.set ("mod3Source", (float) ModSource::lfo1);
            rig.set ("mod3Dest", (float) ModDestination::resonance);
            rig.set ("mod3Amount", c.resonanceAmount);
            rig.set ("mod4Source", (float) ModSource::smoothRandom);
            rig.set ("mod4Dest", (float) ModDestination::cutoff);
            rig.set ("mod4Amount", 0.6f);
            const auto blockSize = (int) c.blockSize;
            juce::AudioBuffer<float> buffer (2, 30000);
            buffer.clear();
            int position = 0;
            rig.engine.noteOn (38, 0.9f, false);
            renderInBlocks (rig, buffer, position, 12000, blockSize);
            rig.set ("filterCutoff", 1500.0f); // the cutoff's own smoother glides
            renderInBlocks (rig, buffer, position, 18000, blockSize);
            rig.engine.noteOn (45, 0.3f, true); // and the drive's velocity factor
            renderInBlocks (rig, buffer, position, 30000, blockSize);
            return buffer;
        };

        const auto reference = renderWith (false);
        const auto stretched = renderWith (true);
        ASSERT_GT (reference.getMagnitude (0, 30000), 0.05f);
        SCOPED_TRACE (testing::Message() << "drive " << c.driveAmount << " resonance " << c.resonanceAmount);
        expectSameSamples (stretched, reference, (int) c.blockSize);
    }
}

// Where no smoother ramps, the chain's frames take over what no moving slot feeds from the sample
// before: bit for bit as sample by sample with each of those destinations moved by a slot, a held
// slot on another, and the chain's smoothers ending their ramps inside stretches.
TEST (SynthEngineFrame, heldChainFramesSoundAsSampleBySample)
{
    const ModDestination moved[] = { ModDestination::resonance, ModDestination::phaseMix, ModDestination::phaseNotch,
                                     ModDestination::feedback };

    for (const auto destination : moved)
    {
        const auto held = destination == ModDestination::resonance ? ModDestination::phaseNotch : ModDestination::resonance;
        const auto renderWith = [destination, held] (bool shortcuts)
        {
            EngineRig rig (48000.0, 512, { shortcuts });
            rig.set ("osc1Wave", 2.0f);
            rig.set ("osc1DcwDepth", 0.7f);
            rig.set ("filterModel", 3.0f);
            rig.set ("filterCutoff", 900.0f);
            rig.set ("filterReso", 0.4f);
            rig.set ("phaseMix", 0.6f);
            rig.set ("phaseNotch", 0.7f);
            rig.set ("driveMode", 1.0f);
            rig.set ("drive", 9.0f);
            rig.set ("feedbackAmount", 0.3f);
            rig.set ("mod1Source", (float) ModSource::smoothRandom);
            rig.set ("mod1Dest", (float) destination);
            rig.set ("mod1Amount", 0.4f);
            rig.set ("mod2Source", (float) ModSource::velocity);
            rig.set ("mod2Dest", (float) held);
            rig.set ("mod2Amount", 0.3f);
            rig.set ("mod3Source", (float) ModSource::lfo1);
            rig.set ("mod3Dest", (float) ModDestination::cutoff);
            rig.set ("mod3Amount", 0.3f);
            rig.set ("lfo1Depth", 0.8f);
            rig.set ("lfo1Rate", 6.0f);
            juce::AudioBuffer<float> buffer (2, 24000);
            buffer.clear();
            int position = 0;
            rig.engine.noteOn (36, 0.8f, false);
            renderInBlocks (rig, buffer, position, 6001, 256);
            rig.set ("driveMix", 0.5f); // each ramps over 5 ms, ending inside a stretch
            rig.set ("phaseStereo", 0.6f);
            rig.set ("feedbackTone", 1500.0f);
            renderInBlocks (rig, buffer, position, 12000, 100);
            rig.set ("filterEnabled", 0.0f);
            rig.set ("filterReso", 0.7f);
            rig.set ("phaseNotch", 0.3f);
            renderInBlocks (rig, buffer, position, 18000, 256);
            rig.set ("filterEnabled", 1.0f);
            rig.set ("feedbackAmount", 0.5f);
            rig.set ("phaseMix", 0.2f);
            renderInBlocks (rig, buffer, position, 24000, 333);
            return buffer;
        };

        const auto reference = renderWith (false);
        const auto stretched = renderWith (true);
        ASSERT_GT (reference.getMagnitude (0, 24000), 0.05f);
        SCOPED_TRACE (testing::Message() << "moved " << (int) destination);
        expectSameSamples (stretched, reference, 256);
    }
}
