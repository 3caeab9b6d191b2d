#include "engine/sources/PdOscillator.h"
#include "engine/sources/PhaseDistortion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

using namespace quillon;

namespace
{
constexpr double twoPi = 6.283185307179586;

// Built for AVX as the oscillators' loops are, so that the wide lanes are the ones tested where
// the machine has them.
QUILLON_HOT_CLONES void sinesTwoGroupsAtATime (const float* in, float* out, int n) noexcept
{
    for (int i = 0; i + 8 <= n; i += 8)
    {
        dsp::Float4 a, b;
        dsp::sinTurns (dsp::Float4::load (in + i), dsp::Float4::load (in + i + 4), a, b);
        a.store (out + i);
        b.store (out + i + 4);
    }
}
} // namespace

TEST (PhaseDistortionShape, withoutDistortionTheBasicShapesAreACosine)
{
    for (int i = 0; i < 100; ++i) // phases run 0 <= p < 1
    {
        const auto p = (float) i / 100.0f;

        for (int shape : { 0, 1, 2, 4 })
            EXPECT_NEAR (phaseDistortionShape (shape, p, 0.0f, 16.0f), std::cos (twoPi * p), 1.0e-5) << shape << " at " << p;

        EXPECT_NEAR (phaseDistortionShape (3, p, 0.0f, 16.0f), std::cos (2.0 * twoPi * p), 1.0e-5) << p;
    }
}

TEST (PhaseDistortionShape, twoGroupsOfSinesAreTheSinesOneByOne)
{
    // Every argument the shapes make, whole and half turns, signed zeros and both signs: the same
    // bits as the sine taken alone.
    std::vector<float> in;

    for (int i = -40000; i <= 40000; ++i)
        in.push_back ((float) i * 7.5e-5f);

    for (auto t : { 0.0f, -0.0f, 0.25f, -0.25f, 0.5f, -0.5f, 0.75f, 1.0f, 1.25f, 2.25f, 1.0e-30f, -1.0e-30f, 0.49999997f })
        in.push_back (t);

    in.resize ((in.size() + 7) & ~(size_t) 7, 0.3f);
    std::vector<float> out (in.size());
    sinesTwoGroupsAtATime (in.data(), out.data(), (int) in.size());
    auto same = 0;

    for (size_t i = 0; i < in.size(); ++i)
    {
        const auto alone = dsp::sinTurns (in[i]);
        same += std::memcmp (&alone, &out[i], sizeof (float)) == 0 ? 1 : 0;
    }

    EXPECT_EQ (same, (int) in.size());
}

TEST (PhaseDistortionShape, keyPhasesAtFullDepth)
{
    // The saw squeezes its whole first half-cycle into the first 1 % of the period.
    EXPECT_NEAR (phaseDistortionShape (0, 0.0f, 1.0f, 16.0f), 1.0f, 1.0e-6);
    EXPECT_NEAR (phaseDistortionShape (0, 0.01f, 1.0f, 16.0f), -1.0f, 1.0e-4);
    EXPECT_NEAR (phaseDistortionShape (0, 0.5f, 1.0f, 16.0f), std::cos (twoPi * (0.5 + 0.49 / 0.99 * 0.5)), 1.0e-4);
    // Half depth puts the saw's knee at a quarter period.
    EXPECT_NEAR (phaseDistortionShape (0, 0.25f, 0.5f, 16.0f), -1.0f, 1.0e-5);
    // Square at full depth holds near +1 in the first half and near -1 in the second.
    EXPECT_GT (phaseDistortionShape (1, 0.3f, 1.0f, 16.0f), 0.99f);
    EXPECT_LT (phaseDistortionShape (1, 0.8f, 1.0f, 16.0f), -0.99f);
    // The resonant saw starts at the top and dies away to 1 at the end of its window.
    EXPECT_NEAR (phaseDistortionShape (5, 0.0f, 1.0f, 16.0f), 1.0f, 1.0e-6);
    EXPECT_NEAR (phaseDistortionShape (5, 1.0f / 32.0f, 1.0f, 16.0f), 1.0f - 2.0f * (1.0f - 1.0f / 32.0f), 1.0e-4);
    EXPECT_NEAR (phaseDistortionShape (8, 0.25f, 0.3f, 16.0f), 1.0f, 0.0f);
    EXPECT_NEAR (phaseDistortionShape (8, 0.75f, 0.3f, 16.0f), -1.0f, 0.0f);
}

TEST (PhaseDistortionShape, depthIsClampedOutputBoundedAndUnknownShapesSilent)
{
    for (int shape = 0; shape < numWaveShapes; ++shape)
        for (float p : { 0.0f, 0.1f, 0.37f, 0.5f, 0.77f, 0.999f })
        {
            EXPECT_EQ (phaseDistortionShape (shape, p, 3.0f, 16.0f), phaseDistortionShape (shape, p, 1.0f, 16.0f));
            EXPECT_EQ (phaseDistortionShape (shape, p, -2.0f, 16.0f), phaseDistortionShape (shape, p, 0.0f, 16.0f));
        }

    for (int shape = 0; shape < numWaveShapes; ++shape)
        for (int i = 0; i < 1000; ++i)
            for (float d : { 0.0f, 0.13f, 0.5f, 0.87f, 1.0f })
                ASSERT_LE (std::abs (phaseDistortionShape (shape, (float) i / 1000.0f, d, 16.0f)), 1.0f + 1.0e-6f) << shape;

    EXPECT_EQ (phaseDistortionShape (10, 0.3f, 0.5f, 16.0f), 0.0f);
    EXPECT_EQ (phaseDistortionShape (-1, 0.3f, 0.5f, 16.0f), 0.0f);
}

TEST (WaveGainTable, levelsShapesToTheSawAndIsBuiltOnceForAllThreads)
{
    std::vector<const float*> seen (8, nullptr);
    std::vector<std::thread> threads;

    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back ([&seen, i] { seen[i] = waveGainTable(); });

    for (auto& t : threads)
        t.join();

    for (auto* table : seen)
        EXPECT_EQ (table, seen.front());

    const auto* gains = waveGainTable();
    EXPECT_NEAR (gains[0], 1.0f, 1.0e-3f);

    for (int shape = 0; shape < numWaveShapes; ++shape)
    {
        EXPECT_TRUE (std::isfinite (gains[shape]));
        EXPECT_GT (gains[shape], 0.2f);
        EXPECT_LT (gains[shape], 5.0f);
    }
}

//==============================================================================
namespace
{
PdOscillator makeUnit (double rate, float hz, int shape, float dcwDepth)
{
    PdOscillator unit;
    unit.prepare (rate);
    unit.dcwEnvelope.setSampleRate (rate);
    unit.dcwEnvelope.setParameters (0.0f, 0.0f, 1.0f, 0.1f);
    unit.dcwEnvelope.updateRates();
    unit.dcwEnvelope.trigger();
    unit.setWaveShape (shape);
    unit.setDcwDepth (dcwDepth);
    unit.setFrequency (hz);
    return unit;
}
} // namespace

TEST (PdOscillator, distortionFadesOutTowardsTheTopOfTheRange)
{
    const double rate = 96000.0;
    auto low = makeUnit (rate, 100.0f, 0, 1.0f);
    low.tick();
    EXPECT_NEAR (low.getCurrentDcw(), 1.0f - 60.0f * 100.0f / 96000.0f, 1.0e-5f);

    auto high = makeUnit (rate, (float) rate / 59.0f, 0, 1.0f);

    for (int i = 0; i < 200; ++i)
    {
        const auto phase = high.getPhase();
        const auto v = high.tick();
        EXPECT_EQ (high.getCurrentDcw(), 0.0f);
        EXPECT_NEAR (v, std::cos (twoPi * phase) * waveGainTable()[0], 1.0e-4);
    }
}

TEST (PdOscillator, negativeFrequencyKeepsThePhaseInRange)
{
    for (int shape = 0; shape < numWaveShapes; ++shape)
    {
        auto unit = makeUnit (96000.0, -37.0f, shape, 1.0f);

        for (int i = 0; i < 96000; ++i)
        {
            const auto v = unit.tick();
            ASSERT_TRUE (std::isfinite (v));
            ASSERT_LE (std::abs (v), 4.0f) << "shape " << shape;
            ASSERT_GE (unit.getPhase(), 0.0f);
            ASSERT_LT (unit.getPhase(), 1.0f);
        }
    }
}

TEST (PdOscillator, hardSyncRestartsAtTheFractionAfterThePartnersWrap)
{
    const double rate = 1000.0;
    auto master = makeUnit (rate, 100.0f, 0, 0.0f); // 0.1 cycles per sample
    auto slave = makeUnit (rate, 230.0f, 0, 0.0f);  // 0.23 cycles per sample
    slave.setSyncPartner (&master);
    slave.setSyncEnabled (true);

    // From 0.95 the master wraps half-way through its next increment.
    master.resetPhase (0.95f);
    master.tick();
    ASSERT_TRUE (master.hasWrapped());
    EXPECT_NEAR (master.getWrapFraction(), 0.5f, 1.0e-4f);

    slave.tick();
    // Half of the slave's increment lay after the wrap; the tick then advanced one more increment.
    EXPECT_NEAR (slave.getPhase(), 0.5f * 0.23f + 0.23f, 1.0e-4f);
}

TEST (PdOscillator, phaseResetAndSyncNeverJumpHard)
{
    const double rate = 96000.0;
    auto unit = makeUnit (rate, 220.0f, 0, 0.0f);

    for (int i = 0; i < 137; ++i)
        unit.tick();

    float previous = unit.tick();
    unit.resetPhase (0.5f); // the worst case for a cosine: the opposite sign

    const auto maxStep = (float) (twoPi * 220.0 / rate) * waveGainTable()[0];

    for (int i = 0; i < 1000; ++i)
    {
        const auto v = unit.tick();
        EXPECT_LT (std::abs (v - previous), 4.0f * maxStep + 2.0f / 480.0f) << i;
        previous = v;
    }

    // Synced, a cosine restarts from wherever it was: a jump of up to 2, which the correction
    // spreads so that no single sample takes more than three quarters of it.
    auto master = makeUnit (rate, 310.0f, 0, 0.0f);
    auto slave = makeUnit (rate, 310.0f * 2.37f, 0, 0.0f);
    slave.setSyncPartner (&master);
    slave.setSyncEnabled (true);
    const auto slope = (float) (twoPi * 310.0 * 2.37 / rate) * waveGainTable()[0];
    float last = 0.0f;
    int syncs = 0;

    for (int i = 0; i < 9600; ++i)
    {
        master.tick();
        syncs += master.hasWrapped() ? 1 : 0;
        const auto v = slave.tick();
        if (i > 0)
        {
            ASSERT_LT (std::abs (v - last), 0.75f * 2.0f * waveGainTable()[0] + 2.0f * slope) << i;
        }
        last = v;
    }

    EXPECT_GT (syncs, 20);
}

TEST (PdOscillator, hardSyncNeverOvershootsTheUnsyncedWave)
{
    // Over a sweep of master pitches the synced slave's peak stays that of the free-running wave:
    // the correction is a residual of the step, never a multiple of it.
    // The pulse up to where its slave reaches 10 kHz: above, its own edges' residuals round it off.
    for (int shape : { 0, 8 })
        for (float master = 40.0f; master < (shape == 0 ? 8000.0f : 4000.0f); master *= 1.13f)
        {
            auto free = makeUnit (96000.0, master * 2.37f, shape, 0.0f);
            auto lead = makeUnit (96000.0, master, 0, 0.0f);
            auto slave = makeUnit (96000.0, master * 2.37f, shape, 0.0f);
            for (auto* unit : { &free, &slave })
                unit->setPulseWidth (0.3f);
            slave.setSyncPartner (&lead);
            slave.setSyncEnabled (true);
            float freePeak = 0.0f, syncedPeak = 0.0f;

            for (int i = 0; i < 9600; ++i)
            {
                lead.tick();
                freePeak = std::max (freePeak, std::abs (free.tick()));
                syncedPeak = std::max (syncedPeak, std::abs (slave.tick()));
            }

            ASSERT_LE (syncedPeak, 1.05f * freePeak) << "shape " << shape << ", master " << master << " Hz";
        }
}

TEST (PdOscillator, pulseHasNoOffsetAtAnyWidth)
{
    for (float width = 0.05f; width < 0.951f; width += 0.05f)
        for (float hz : { 55.0f, 1234.0f })
        {
            auto unit = makeUnit (96000.0, hz, 8, 0.0f);
            unit.setPulseWidth (width);
            const auto length = (int) std::lround (20.0 * 96000.0 / hz); // whole cycles
            double sum = 0.0;
            for (int i = 0; i < length; ++i)
                sum += unit.tick();
            EXPECT_NEAR (sum / length, 0.0, 0.01) << "width " << width << " at " << hz << " Hz";
        }
}

TEST (PdOscillator, pulseAtHalfWidthIsASymmetricSquareWithoutOffset)
{
    auto unit = makeUnit (96000.0, 1000.0f, 8, 0.0f);
    unit.setPulseWidth (0.5f);
    double sum = 0.0;
    float top = 0.0f, bottom = 0.0f;

    for (int i = 0; i < 96000; ++i)
    {
        const auto v = unit.tick() / waveGainTable()[8];
        sum += v;
        top = std::max (top, v);
        bottom = std::min (bottom, v);
    }

    EXPECT_NEAR (sum / 96000.0, 0.0, 1.0e-3);
    EXPECT_NEAR (top, -bottom, 1.0e-3f);
    EXPECT_LE (top, 1.0f + 1.0e-5f);
}
