#include "engine/control/Envelope.h"
#include "engine/control/Lfo.h"
#include "engine/control/RandomSources.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quillon;

namespace
{
// At 1 kHz one tick is one millisecond, which keeps stage times easy to read.
Envelope makeEnvelope (float a, float d, float s, float r, double rate = 1000.0)
{
    Envelope e;
    e.setSampleRate (rate);
    e.setParameters (a, d, s, r);
    e.updateRates();
    return e;
}

int ticksUntil (Envelope& e, int stage, int limit = 100000)
{
    for (int i = 1; i <= limit; ++i)
    {
        e.tick();
        if (e.getStage() == stage)
            return i;
    }
    return -1;
}
} // namespace

TEST (Envelope, stageTimesAndLevels)
{
    auto e = makeEnvelope (0.1f, 0.2f, 0.5f, 0.3f);
    e.trigger();
    EXPECT_EQ (e.getStage(), Envelope::attackStage);
    EXPECT_NEAR (ticksUntil (e, Envelope::decayStage), 100, 1);
    EXPECT_FLOAT_EQ (e.getLevel(), 1.0f);
    EXPECT_NEAR (ticksUntil (e, Envelope::sustainStage), 200, 1);
    EXPECT_FLOAT_EQ (e.getLevel(), 0.5f);

    for (int i = 0; i < 50; ++i)
        EXPECT_FLOAT_EQ (e.tick(), 0.5f);

    e.release();
    EXPECT_NEAR (ticksUntil (e, Envelope::idle), 300, 1);
    EXPECT_EQ (e.tick(), 0.0f);
}

TEST (Envelope, zeroTimesAndFullSustainSkipStages)
{
    auto jump = makeEnvelope (0.0f, 0.0f, 0.7f, 0.1f);
    jump.trigger();
    EXPECT_EQ (jump.getStage(), Envelope::sustainStage);
    EXPECT_FLOAT_EQ (jump.tick(), 0.7f);

    auto full = makeEnvelope (0.01f, 0.5f, 1.0f, 0.1f);
    full.trigger();
    EXPECT_NEAR (ticksUntil (full, Envelope::sustainStage), 10, 1);
    EXPECT_FLOAT_EQ (full.getLevel(), 1.0f);

    auto cut = makeEnvelope (0.01f, 0.1f, 0.5f, 0.0f);
    cut.trigger();
    cut.tick();
    cut.release();
    EXPECT_TRUE (cut.isIdle());
    EXPECT_EQ (cut.getLevel(), 0.0f);
}

TEST (Envelope, retriggerDuringReleaseRisesFromTheCurrentLevel)
{
    auto e = makeEnvelope (0.1f, 0.1f, 0.8f, 0.4f);
    e.trigger();
    ticksUntil (e, Envelope::sustainStage);
    e.release();

    for (int i = 0; i < 200; ++i)
        e.tick();

    const auto before = e.getLevel();
    ASSERT_NEAR (before, 0.4f, 0.01f);
    e.trigger();
    EXPECT_NEAR (e.tick(), before + 0.01f, 1.0e-4f);
}

TEST (Envelope, settingsChangeDuringReleaseCarriesOnFromTheCurrentLevel)
{
    // Sustain 0: the release must not be cut off when a setting moves.
    auto e = makeEnvelope (0.01f, 0.0f, 1.0f, 0.5f);
    e.trigger();
    ticksUntil (e, Envelope::sustainStage);
    e.release();

    for (int i = 0; i < 100; ++i)
        e.tick();

    ASSERT_NEAR (e.getLevel(), 0.8f, 1.0e-3f);
    e.setParameters (0.01f, 0.0f, 0.0f, 0.2f); // sustain to 0 and a shorter release, mid-release
    e.updateRates();
    EXPECT_EQ (e.getStage(), Envelope::releaseStage);
    EXPECT_NEAR (e.tick(), 0.8f - 0.8f / 200.0f, 1.0e-4f);
    EXPECT_NEAR (ticksUntil (e, Envelope::idle), 199, 1);

    // Released from full level with a low sustain: the tail must not stretch to many times the
    // new release time.
    auto low = makeEnvelope (0.001f, 1.0f, 0.01f, 0.1f);
    low.trigger();
    ticksUntil (low, Envelope::decayStage);
    low.release();
    low.setParameters (0.01f, 0.01f, 0.01f, 0.3f);
    low.updateRates();
    EXPECT_NEAR (ticksUntil (low, Envelope::idle), 300, 1);
}

//==============================================================================
TEST (Lfo, tempoSyncedIncrement)
{
    Lfo lfo;
    lfo.prepare (48000.0);
    lfo.setSynced (true);
    lfo.setTempo (120.0f);
    lfo.setSyncBeats (lfoSyncDivisions[3].beats); // "1/4"
    lfo.updateIncrement();
    EXPECT_NEAR (lfo.getIncrement() * 48000.0f, 2.0f, 1.0e-4f);

    lfo.setSyncBeats (lfoSyncDivisions[0].beats); // "1/1": a bar per cycle
    lfo.updateIncrement();
    EXPECT_NEAR (lfo.getIncrement() * 48000.0f, 0.5f, 1.0e-4f);
    EXPECT_STREQ (lfoSyncDivisions[9].label, "1/32");
}

TEST (Lfo, sampleAndHoldDrawsOnSwitchAndChangesOnlyAtWraps)
{
    Lfo lfo;
    lfo.prepare (1000.0);
    lfo.setFreeRate (10.0f); // a new value every 100 ticks
    lfo.updateIncrement();
    lfo.setShape (Lfo::sampleAndHold);
    const auto held = lfo.next();
    EXPECT_NE (held, 0.0f);

    int changes = 0;
    float previous = held;

    for (int i = 1; i < 1000; ++i)
    {
        const auto v = lfo.next();
        ASSERT_LE (std::abs (v), 1.0f);
        if (v != previous)
            ++changes;
        previous = v;
    }

    EXPECT_NEAR (changes, 10, 1);

    // Same seed after prepare: the same stream.
    Lfo again;
    again.prepare (1000.0);
    again.setFreeRate (10.0f);
    again.updateIncrement();
    again.setShape (Lfo::sampleAndHold);
    EXPECT_EQ (again.next(), held);
}

TEST (Envelope, advancingAtOnceLandsWhereTickingWould)
{
    // Through attack and decay into sustain, part way into a release, and past its end.
    for (int n : { 1, 37, 100, 101, 250, 299, 301, 5000 })
    {
        auto ticked = makeEnvelope (0.1f, 0.2f, 0.5f, 0.3f), jumped = ticked;
        ticked.trigger();
        jumped.trigger();
        for (int i = 0; i < n; ++i)
            ticked.tick();
        jumped.advance (n);
        EXPECT_EQ (jumped.getStage(), ticked.getStage()) << n;
        EXPECT_NEAR (jumped.getLevel(), ticked.getLevel(), 1.0e-4f) << n;

        ticked.release();
        jumped.release();
        for (int i = 0; i < n; ++i)
            ticked.tick();
        jumped.advance (n);
        EXPECT_EQ (jumped.getStage(), ticked.getStage()) << "release " << n;
        EXPECT_NEAR (jumped.getLevel(), ticked.getLevel(), 1.0e-4f) << "release " << n;
    }
}

// The voice takes a stretch of LFO values at once where nothing moves its rate: the same values
// and the same state as sample by sample, through wraps, offsets and every shape.
TEST (Lfo, renderingARunMatchesItsSamplesOneByOne)
{
    for (int shape = 0; shape < 4; ++shape)
        for (float rate : { 0.3f, 7.0f, 180.0f })
            for (float offset : { 0.0f, 0.25f, 0.999f })
            {
                Lfo a, b;
                a.prepare (48000.0);
                b.prepare (48000.0);

                for (auto* lfo : { &a, &b })
                {
                    lfo->setShape (shape);
                    lfo->setFreeRate (rate);
                    lfo->setPhaseOffset (offset);
                    lfo->updateIncrement();
                }

                float run[32];

                for (int block = 0; block < 300; ++block)
                {
                    const auto n = 1 + block % 32;
                    const auto wanted = block % 7 != 3;
                    a.render (run, n, wanted);

                    for (int i = 0; i < n; ++i)
                        ASSERT_EQ (run[i], b.next (wanted)) << "shape " << shape << " rate " << rate << " block " << block;
                }

                EXPECT_EQ (a.getPhase(), b.getPhase());
            }
}

// The voice takes its envelopes a stretch at a time and ends where the amp envelope's run says:
// the same levels and states as tick by tick, and the tick the envelope ended on.
TEST (Envelope, renderingARunMatchesItsTicksAndSaysWhereItEnded)
{
    for (int n : { 1, 7, 32 })
    {
        auto ticked = makeEnvelope (0.011f, 0.023f, 0.4f, 0.017f), rendered = ticked;
        ticked.trigger();
        rendered.trigger();

        for (int block = 0; block < 200 && ticked.isActive(); ++block)
        {
            if (block == 2 * n) // a release from wherever the run got to
            {
                ticked.release();
                rendered.release();
            }

            float run[32];
            const auto ran = rendered.render (run, n);
            auto expected = n;

            for (int i = 0; i < n; ++i)
            {
                const auto v = ticked.tick();
                ASSERT_EQ (run[i], v) << n << " block " << block << " tick " << i;

                if (ticked.isIdle() && expected == n)
                    expected = i + 1;
            }

            ASSERT_EQ (ran, expected) << n << " block " << block;
            ASSERT_EQ (rendered.getStage(), ticked.getStage());
            ASSERT_EQ (rendered.getLevel(), ticked.getLevel());
        }

        EXPECT_TRUE (rendered.isIdle());
        float run[4];
        EXPECT_EQ (rendered.render (run, 4), 1); // idle from the start: it ends on the first tick
    }
}

// The random walks' runs, alone and two at once, give the values of their samples one by one
// across several fresh targets, and leave the walks where those left them.
TEST (RandomWalk, renderingARunMatchesItsSamplesOneByOne)
{
    RandomWalk single { 11, 0.01f, 0.004f }, first { 12, 0.013f, 0.002f }, second { 13, 0.007f, 0.005f };
    auto singleRef = single, firstRef = first, secondRef = second;

    for (auto* walk : { &single, &first, &second, &singleRef, &firstRef, &secondRef })
        walk->prepare (1000.0);

    for (const auto n : { 1, 5, 31, 17 })
    {
        std::vector<float> a ((size_t) n), b ((size_t) n), c ((size_t) n);
        single.render (a.data(), n);
        RandomWalk::render (first, b.data(), second, c.data(), n);

        for (size_t i = 0; i < (size_t) n; ++i)
        {
            ASSERT_EQ (a[i], singleRef.next());
            ASSERT_EQ (b[i], firstRef.next());
            ASSERT_EQ (c[i], secondRef.next());
        }
    }

    EXPECT_EQ (single.next(), singleRef.next());
    EXPECT_EQ (first.next(), firstRef.next());
    EXPECT_EQ (second.next(), secondRef.next());
}
