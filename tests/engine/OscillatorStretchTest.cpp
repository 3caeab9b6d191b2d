#include "engine/sources/PdOscillator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

using namespace quillon;

namespace
{
constexpr double rate = 96000.0;
constexpr int stretches = 100;
// A stretch renders exactly what the ticks do; a float rounding or two is all that may differ.
constexpr float tolerance = 1.0e-6f;

struct Random
{
    std::uint32_t state = 12345u;
    float next() noexcept // 0..1
    {
        state = state * 1664525u + 1013904223u;
        return (float) (state >> 8) / 16777216.0f;
    }
};

enum class Sync { off, sameTick, previousTick };

struct UnitCase
{
    int shape;
    float depth, attackSeconds;
    int morphKind; // 0 none, 1 fixed, 2 moving through 0
    Sync sync;
};

void prepareUnit (PdOscillator& unit, int shape, float attackSeconds)
{
    unit.prepare (rate);
    unit.dcwEnvelope.setParameters (attackSeconds, 0.03f, 0.4f, 0.02f);
    unit.dcwEnvelope.updateRates();
    unit.dcwEnvelope.trigger();
    unit.setWaveShape (shape);
}

void setFrame (PdOscillator& unit, const PdOscillator::StretchFrame& f)
{
    unit.setFrequency (f.frequency);
    unit.setDcwDepth (f.dcwDepth);
    unit.setPulseWidth (f.pulseWidth);
    unit.setMorphAmount (f.morph);
}

// Frequency, depth, width and morph move from frame to frame; some frames are silent.
PdOscillator::StretchFrame frameAt (const UnitCase& c, Random& random, float baseHz, int j)
{
    PdOscillator::StretchFrame f;
    f.frequency = baseHz * (1.0f + 0.4f * random.next());
    f.dcwDepth = c.depth * (0.8f + 0.2f * random.next());
    f.pulseWidth = 0.1f + 0.8f * random.next();
    f.morph = c.morphKind == 0 ? 0.0f : (c.morphKind == 1 ? 0.3f : 0.6f * random.next() - 0.1f);
    f.audible = j % 11 != 3;
    return f;
}

struct Result
{
    float worst = 0.0f;
    bool finite = true, sameState = true, sameWraps = true;
};

// Units a (free) and b (synced to a, or free) rendered both ways: the setters and ticks one by
// one, and renderStretch on every stretch but every fifth, which goes through the ticks so that
// the paths take turns. Along the way the envelope is released, phases reset with and without a
// fade, sync switched on and off, and one stretch is silent throughout.
Result runCase (const UnitCase& c)
{
    PdOscillator refA, refB, fastA, fastB;

    for (auto* u : { &refA, &fastA })
        prepareUnit (*u, c.shape, c.attackSeconds);
    for (auto* u : { &refB, &fastB })
        prepareUnit (*u, c.shape, c.attackSeconds * 0.5f);

    refB.setSyncPartner (&refA);
    fastB.setSyncPartner (&fastA);

    Random random;
    Result result;
    std::vector<PdOscillator::StretchFrame> framesA, framesB;
    std::vector<float> refOutA, refOutB, outA (80), outB (80), wrapsA (80), partnerWraps (80);

    for (int s = 0; s < stretches; ++s)
    {
        const auto count = s == 20 ? 40 : 1 + (int) (random.next() * 32.0f); // 40: longer than one pass
        framesA.clear();
        framesB.clear();

        for (int j = 0; j < count; ++j)
        {
            framesA.push_back (frameAt (c, random, 700.0f, j));
            framesB.push_back (frameAt (c, random, 240.0f, j + 5));

            if (s == 33)
                framesA.back().audible = framesB.back().audible = false;
        }

        const auto synced = c.sync != Sync::off && s >= 3 && s < 80;
        refB.setSyncEnabled (synced);
        fastB.setSyncEnabled (synced);

        if (s == 70)
            for (auto* u : { &refA, &refB, &fastA, &fastB })
                u->dcwEnvelope.release();

        if (s % 9 == 8)
            for (auto* u : { &refA, &refB, &fastA, &fastB })
                u->resetPhase (0.3f, s % 18 != 17);

        refOutA.clear();
        refOutB.clear();
        std::vector<float> refWraps;

        for (int j = 0; j < count; ++j)
        {
            const auto& fa = framesA[(size_t) j];
            const auto& fb = framesB[(size_t) j];
            setFrame (refA, fa);
            setFrame (refB, fb);

            for (int half = 0; half < 2; ++half)
            {
                if (c.sync == Sync::previousTick)
                    refOutB.push_back (refB.tick (fb.audible));

                refOutA.push_back (refA.tick (fa.audible));
                refWraps.push_back (refA.getWrapForSync());

                if (c.sync != Sync::previousTick)
                    refOutB.push_back (refB.tick (fb.audible));
            }
        }

        if (s % 5 == 4)
        {
            for (int j = 0; j < count; ++j)
            {
                const auto& fa = framesA[(size_t) j];
                const auto& fb = framesB[(size_t) j];
                setFrame (fastA, fa);
                setFrame (fastB, fb);

                for (int half = 0; half < 2; ++half)
                {
                    const auto i = (size_t) (2 * j + half);
                    if (c.sync == Sync::previousTick)
                        outB[i] = fastB.tick (fb.audible);
                    outA[i] = fastA.tick (fa.audible);
                    wrapsA[i] = fastA.getWrapForSync();
                    if (c.sync != Sync::previousTick)
                        outB[i] = fastB.tick (fb.audible);
                }
            }
        }
        else
        {
            // Ticked first, b would see a's wrap from the tick before.
            const auto before = fastA.getWrapForSync();
            fastA.renderStretch (framesA.data(), count, outA.data(), nullptr, wrapsA.data());

            for (int i = 0; i < 2 * count; ++i)
                partnerWraps[(size_t) i] = c.sync == Sync::previousTick ? (i == 0 ? before : wrapsA[(size_t) i - 1])
                                                                        : wrapsA[(size_t) i];

            fastB.renderStretch (framesB.data(), count, outB.data(), c.sync == Sync::off ? nullptr : partnerWraps.data());
        }

        for (int i = 0; i < 2 * count; ++i)
        {
            const auto k = (size_t) i;
            result.worst = std::max ({ result.worst, std::abs (outA[k] - refOutA[k]), std::abs (outB[k] - refOutB[k]) });
            result.finite = result.finite && std::isfinite (outA[k]) && std::isfinite (outB[k]);
            result.sameWraps = result.sameWraps && wrapsA[k] == refWraps[k];
        }

        result.sameState = result.sameState && fastA.hasSameStateAs (refA) && fastB.hasSameStateAs (refB);
    }

    return result;
}
} // namespace

TEST (OscillatorStretch, everyShapeRendersWhatItsTicksDo)
{
    for (int shape : { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12 })
        for (auto depth : { 0.0f, 0.37f, 1.0f })
            for (auto attack : { 0.0f, 0.005f })
                for (int morph : { 0, 1, 2 })
                {
                    const auto r = runCase ({ shape, depth, attack, morph, Sync::off });
                    const auto where = ::testing::Message() << "shape " << shape << " depth " << depth
                                                            << " attack " << attack << " morph " << morph;
                    EXPECT_LE (r.worst, tolerance) << where;
                    EXPECT_TRUE (r.finite) << where;
                    EXPECT_TRUE (r.sameState) << where;
                    EXPECT_TRUE (r.sameWraps) << where;
                }
}

TEST (OscillatorStretch, syncedUnitReadsItsPartnersRecordedWraps)
{
    // Both orders the voice ticks its units in: synced to a unit ticked before it (the same
    // tick's wrap) or after it (the tick before's).
    for (auto sync : { Sync::sameTick, Sync::previousTick })
        for (int shape : { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 })
            for (auto attack : { 0.0f, 0.005f })
                for (int morph : { 0, 2 })
                {
                    const auto r = runCase ({ shape, 0.8f, attack, morph, sync });
                    const auto where = ::testing::Message() << "shape " << shape << " attack " << attack << " morph "
                                                            << morph << " sync " << (int) sync;
                    EXPECT_LE (r.worst, tolerance) << where;
                    EXPECT_TRUE (r.finite) << where;
                    EXPECT_TRUE (r.sameState) << where;
                }
}

// The lanes are the packed form of the tick: not near it but its very bits, synced or not,
// so that the voice sounds the same whichever path a stretch takes.
TEST (OscillatorStretch, lanesGiveTheTicksBitForBit)
{
    for (auto sync : { Sync::off, Sync::sameTick, Sync::previousTick })
        for (int shape : { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 })
            for (int morph : { 0, 2 })
            {
                const auto r = runCase ({ shape, 0.6f, 0.005f, morph, sync });
                EXPECT_EQ (r.worst, 0.0f) << "shape " << shape << " morph " << morph << " sync " << (int) sync;
                EXPECT_TRUE (r.sameState) << "shape " << shape << " morph " << morph << " sync " << (int) sync;
            }
}

TEST (OscillatorStretch, pitchAboveTheDistortionLimitAndOddInputsStayFinite)
{
    // High notes fade the distortion out, a negative frequency runs backwards: still the same
    // samples as the ticks, and nothing that is not a number.
    for (auto hz : { 3000.0f, 12000.0f, -300.0f, 0.0f })
    {
        PdOscillator ref, fast;
        for (auto* u : { &ref, &fast })
            prepareUnit (*u, 5, 0.002f);

        std::vector<PdOscillator::StretchFrame> frames (32);
        for (auto& f : frames)
            f = { hz, 1.0f, 0.5f, 0.4f, true };

        std::vector<float> out (64);
        auto worst = 0.0f;

        for (int s = 0; s < 20; ++s)
        {
            fast.renderStretch (frames.data(), 32, out.data());

            for (int i = 0; i < 64; ++i)
            {
                const auto& f = frames[(size_t) (i / 2)];
                setFrame (ref, f);
                const auto v = ref.tick();
                worst = std::max (worst, std::abs (v - out[(size_t) i]));
                EXPECT_TRUE (std::isfinite (out[(size_t) i])) << hz;
            }
        }

        EXPECT_LE (worst, tolerance) << hz;
        EXPECT_TRUE (fast.hasSameStateAs (ref)) << hz;
    }
}

TEST (OscillatorStretch, subRendersWhatItsTicksDo)
{
    for (int mode : { SubOscillator::sineMode, SubOscillator::pdMode })
        for (int shape : { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12 })
        {
            if (mode == SubOscillator::sineMode && shape > 0)
                break;

            SubOscillator ref, fast;
            for (auto* u : { &ref, &fast })
            {
                u->prepare (rate);
                u->setMode (mode);
                u->setWaveShape (shape);
            }

            Random random;
            auto worst = 0.0f;
            auto finite = true;
            float hz[40], dcw[40], gain[40], out[80];

            for (int s = 0; s < stretches; ++s)
            {
                const auto count = s == 20 ? 40 : 1 + (int) (random.next() * 32.0f);

                for (int j = 0; j < count; ++j)
                {
                    hz[j] = 55.0f * (1.0f + random.next());
                    dcw[j] = s < 30 ? 0.6f : random.next(); // held, then moving
                    gain[j] = j % 7 == 2 ? 0.0f : 0.2f + random.next();
                }

                if (s % 9 == 8)
                    for (auto* u : { &ref, &fast })
                        u->resetPhase (0.0f, s % 18 != 17);

                fast.renderStretch (hz, dcw, gain, count, out);

                for (int i = 0; i < 2 * count; ++i)
                {
                    const auto j = i / 2;
                    ref.setFrequency (hz[j]);
                    ref.setDcw (dcw[j]);
                    const auto v = ref.tick (gain[j] != 0.0f) * gain[j];
                    worst = std::max (worst, std::abs (v - out[i]));
                    finite = finite && std::isfinite (out[i]);
                }
            }

            // Same state: the two go on alike.
            for (int i = 0; i < 500; ++i)
                worst = std::max (worst, std::abs (ref.tick() - fast.tick()));

            EXPECT_LE (worst, tolerance) << "mode " << mode << " shape " << shape;
            EXPECT_TRUE (finite) << "mode " << mode << " shape " << shape;
        }
}

TEST (OscillatorStretch, envelopeRunsAsItsTicksThroughEveryStage)
{
    // Short stages so that runs of every length cross attack, decay, sustain, release and idle;
    // zero times jump stages inside a run.
    for (auto times : { std::vector<float> { 0.0004f, 0.0003f, 0.5f, 0.0005f }, std::vector<float> { 0.0f, 0.0002f, 0.0f, 0.0001f },
                        std::vector<float> { 0.0002f, 0.0f, 0.7f, 0.0f } })
    {
        Envelope ref, fast;

        for (auto* e : { &ref, &fast })
        {
            e->setSampleRate (rate);
            e->setParameters (times[0], times[1], times[2], times[3]);
            e->updateRates();
            e->trigger();
        }

        float out[64];
        auto worst = 0.0f;

        for (int s = 0; s < 80; ++s)
        {
            const auto n = 1 + (s * 7) % 64;

            if (s == 30)
                ref.release(), fast.release();
            if (s == 60)
                ref.trigger(), fast.trigger();

            fast.render (out, n);

            for (int i = 0; i < n; ++i)
                worst = std::max (worst, std::abs (ref.tick() - out[i]));

            EXPECT_TRUE (fast.hasSameStateAs (ref)) << "run " << s;
        }

        EXPECT_EQ (worst, 0.0f);
    }
}

TEST (OscillatorStretch, morphsAtEveryDepthFollowTheShapeFormulas)
{
    // A morph between two resonant shapes takes their shared sine once; the others take two. Each
    // sample is the two shapes' formulas mixed (the resonant shapes with their band-limiting residuals), at
    // the phase the unit stood at.
    const auto* gains = waveGainTable();
    constexpr float hz = 30.0f;

    for (int shape : { 2, 4, 5, 6, 9 })
        for (auto depth : { 0.0f, 0.3f, 0.8f, 1.0f })
            for (auto morph : { 0.25f, 0.7f })
            {
                PdOscillator unit;
                unit.prepare (rate);
                unit.dcwEnvelope.setParameters (0.0f, 0.01f, 1.0f, 0.02f);
                unit.dcwEnvelope.updateRates();
                unit.dcwEnvelope.trigger();
                unit.setWaveShape (shape);

                std::vector<PdOscillator::StretchFrame> frames (32, { hz, depth, 0.5f, morph, true });
                std::vector<float> out (64);
                const auto increment = hz * (float) (1.0 / rate);
                unit.renderStretch (frames.data(), 32, out.data()); // the envelope settles
                auto p = unit.getPhase(), worst = 0.0f;
                const auto next = (shape + 1) % numWaveShapes;

                for (int s = 0; s < 40; ++s)
                {
                    unit.renderStretch (frames.data(), 32, out.data());
                    const auto d = unit.getCurrentDcw();

                    for (int i = 0; i < 64; ++i)
                    {
                        const auto residual = pd_kernel::edgeResidual (shape, p, increment, pd_kernel::shapeConstants (shape, d).a);
                        const auto a = (phaseDistortionShape (shape, p, d, 16.0f) + residual) * gains[shape];
                        const auto b = phaseDistortionShape (next, p, d, 16.0f) * gains[next];
                        worst = std::max (worst, std::abs (out[(size_t) i] - (a + (b - a) * morph)));
                        p = p + increment;
                        p = p < 1.0f ? p : p - std::floor (p);
                    }

                    ASSERT_EQ (p, unit.getPhase());
                }

                EXPECT_LE (worst, 2.0e-4f) << "shape " << shape << " depth " << depth << " morph " << morph;
            }
}

TEST (OscillatorStretch, partnerWrappingEveryFewTicksRestartsAtTheSameTicks)
{
    // Several restarts in one group of four ticks, and a partner whose phase lands on whole
    // turns exactly: the stretch restarts where the ticks do and notes the same wraps.
    for (auto partnerHz : { 24000.0f, 30000.0f, 7000.0f })
        for (int shape : { 2, 5, 8 })
        {
            PdOscillator refA, refB, fastA, fastB;

            for (auto* u : { &refA, &fastA })
                prepareUnit (*u, 0, 0.0f);
            for (auto* u : { &refB, &fastB })
                prepareUnit (*u, shape, 0.001f);

            refB.setSyncPartner (&refA);
            fastB.setSyncPartner (&fastA);
            refB.setSyncEnabled (true);
            fastB.setSyncEnabled (true);

            Random random;
            std::vector<float> outA (64), outB (64), wraps (64);
            auto worst = 0.0f;
            auto sameWraps = true;

            for (int s = 0; s < 30; ++s)
            {
                const auto count = s % 3 == 0 ? 32 : 1 + (int) (random.next() * 32.0f);
                std::vector<PdOscillator::StretchFrame> framesA, framesB;

                for (int j = 0; j < count; ++j)
                {
                    framesA.push_back ({ partnerHz, 0.0f, 0.5f, 0.0f, false });
                    framesB.push_back ({ 500.0f + 100.0f * random.next(), 0.7f, 0.3f, 0.3f, true });
                }

                fastA.renderStretch (framesA.data(), count, outA.data(), nullptr, wraps.data());
                fastB.renderStretch (framesB.data(), count, outB.data(), wraps.data());

                for (int j = 0; j < count; ++j)
                {
                    setFrame (refA, framesA[(size_t) j]);
                    setFrame (refB, framesB[(size_t) j]);

                    for (int half = 0; half < 2; ++half)
                    {
                        const auto i = (size_t) (2 * j + half);
                        refA.tick (false);
                        sameWraps = sameWraps && refA.getWrapForSync() == wraps[i];
                        worst = std::max (worst, std::abs (refB.tick() - outB[i]));
                    }
                }
            }

            const auto where = ::testing::Message() << "partner " << partnerHz << " shape " << shape;
            EXPECT_LE (worst, tolerance) << where;
            EXPECT_TRUE (sameWraps) << where;
            EXPECT_TRUE (fastA.hasSameStateAs (refA)) << where;
            EXPECT_TRUE (fastB.hasSameStateAs (refB)) << where;
        }
}

TEST (OscillatorStretch, subFadeOfOddLengthRendersWhatItsTicksDo)
{
    // At 44.1 kHz a reset fade is an odd number of ticks: the stretch goes one by one to the
    // end of the fade's last frame, then four at a time.
    SubOscillator ref, fast;

    for (auto* u : { &ref, &fast })
    {
        u->prepare (44100.0);
        u->setMode (SubOscillator::pdMode);
        u->setWaveShape (0);
    }

    Random random;
    float hz[32], dcw[32], gain[32], out[64];
    auto worst = 0.0f;

    for (int s = 0; s < 60; ++s)
    {
        const auto count = 1 + (int) (random.next() * 32.0f);

        for (int j = 0; j < count; ++j)
        {
            hz[j] = 41.0f + 400.0f * random.next();
            dcw[j] = 0.4f;
            gain[j] = 0.5f;
        }

        if (s % 7 == 3)
            for (auto* u : { &ref, &fast })
                u->resetPhase (0.25f);

        fast.renderStretch (hz, dcw, gain, count, out);

        for (int i = 0; i < 2 * count; ++i)
        {
            ref.setFrequency (hz[i / 2]);
            ref.setDcw (dcw[i / 2]);
            worst = std::max (worst, std::abs (ref.tick() * gain[i / 2] - out[i]));
        }
    }

    for (int i = 0; i < 300; ++i)
        worst = std::max (worst, std::abs (ref.tick() - fast.tick()));

    EXPECT_LE (worst, tolerance);
}

TEST (OscillatorStretch, rowsAreReadOnlyOverTheirStretch)
{
    // The voice hands its units rows a stretch long, from any base sample on (a twin parting
    // mid-stretch), with other settings before and after them. Not-a-number there must change
    // nothing: the samples, wraps and state are those of the setters and ticks one by one.
    for (int shape : { 2, 3, 5, 8 })
    {
        PdOscillator partner, refPartner, fast, ref;

        for (auto* u : { &partner, &refPartner })
            prepareUnit (*u, 0, 0.0f);

        for (auto* u : { &fast, &ref })
            prepareUnit (*u, shape, 0.002f);

        // At this rate a reset's fade ends early in the stretch after it.
        for (auto* u : { &partner, &refPartner, &fast, &ref })
            u->prepare (4000.0);

        fast.setSyncPartner (&partner);
        ref.setSyncPartner (&refPartner);
        Random random;
        constexpr int before = 7, size = 48;
        const auto nan = std::nanf ("");
        std::vector<float> partnerOut (64), wraps (64), out (64), ownWraps (64);
        auto worst = 0.0f;
        auto sameWraps = true, sameState = true;

        for (int s = 0; s < 60; ++s)
        {
            const auto count = s % 4 == 0 ? 32 : 1 + (int) (random.next() * 25.0f);
            std::vector<float> hz (size, nan), depth (size, nan), width (size, nan), morph (size, nan), audible (size, nan);
            std::vector<PdOscillator::StretchFrame> partnerFrames, frames;

            for (int j = 0; j < count; ++j)
            {
                partnerFrames.push_back ({ 310.0f + 40.0f * random.next(), 0.0f, 0.5f, 0.0f, false });
                frames.push_back ({ 700.0f * (1.0f + random.next()), random.next(), 0.2f + 0.6f * random.next(),
                                    s < 30 ? 0.4f : 0.6f * random.next() - 0.1f, j % 9 != 4 });
                const auto& f = frames.back();
                const auto k = (size_t) (before + j);
                hz[k] = f.frequency;
                depth[k] = f.dcwDepth;
                width[k] = f.pulseWidth;
                morph[k] = f.morph;
                audible[k] = f.audible ? 1.0f : 0.0f;
            }

            const auto synced = s >= 10 && s < 50;
            fast.setSyncEnabled (synced);
            ref.setSyncEnabled (synced);

            if (s % 5 == 2) // a fade runs the stretch's first ticks one by one
                for (auto* u : { &fast, &ref })
                    u->resetPhase (0.6f);

            partner.renderStretch (partnerFrames.data(), count, partnerOut.data(), nullptr, wraps.data());
            const PdOscillator::StretchRows rows { hz.data(), depth.data(), width.data(), morph.data(), audible.data() };
            fast.renderStretch (rows.from (before), count, out.data(), wraps.data(), ownWraps.data());

            for (int j = 0; j < count; ++j)
            {
                const auto& f = frames[(size_t) j];
                setFrame (refPartner, partnerFrames[(size_t) j]);
                setFrame (ref, f);

                for (int half = 0; half < 2; ++half)
                {
                    const auto k = (size_t) (2 * j + half);
                    refPartner.tick (false);
                    const auto v = ref.tick (f.audible);
                    worst = std::max (worst, std::isfinite (out[k]) ? std::abs (v - out[k]) : 1.0f);
                    sameWraps = sameWraps && ref.getWrapForSync() == ownWraps[k];
                }
            }

            sameState = sameState && fast.hasSameStateAs (ref);
        }

        EXPECT_LE (worst, tolerance) << "shape " << shape;
        EXPECT_TRUE (sameWraps) << "shape " << shape;
        EXPECT_TRUE (sameState) << "shape " << shape;
    }
}
