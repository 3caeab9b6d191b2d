#include "engine/control/ModMatrix.h"

#include <gtest/gtest.h>

#include <random>

using namespace quillon;

namespace
{
std::array<float, numModSources> sourcesWith (ModSource source, float value)
{
    std::array<float, numModSources> sources {};
    sources[(size_t) source] = value;
    return sources;
}

ModSlot slot (ModSource s, ModDestination d, float amount, ModCurve c = ModCurve::lin)
{
    return { (int) s, (int) d, amount, (int) c };
}

// The matrix written plainly, slot by slot over all four: what the voice's matrix must give.
// One active slot's share of the sums.
void addModSlot (const ModSlot& slot, size_t i, const std::array<float, numModSources>& sources, ModSums& out) noexcept
{
    {
        auto v = slot.source > 0 && slot.source < numModSources ? sources[(size_t) slot.source] : 0.0f;

        if (slot.curve == (int) ModCurve::exp)
            v = v < 0.0f ? -v * v : v * v;

        out.live[i] = v * slot.amount;

        if (slot.destination == (int) ModDestination::amp)
        {
            const auto a = std::abs (slot.amount);
            out.ampFactor *= 1.0f - a + a * (slot.amount >= 0.0f ? v : 1.0f - v);
        }
        else if (slot.destination > 0 && slot.destination < numModDestinations)
        {
            out.sums[(size_t) slot.destination] += slot.amount * v * modDestinationScale (slot.destination);
        }
    }
}

void evaluateModMatrix (const std::array<ModSlot, numModSlots>& slots,
                        const std::array<float, numModSources>& sources,
                        ModSums& out) noexcept
{
    out.sums.fill (0.0f);
    out.ampFactor = 1.0f;
    out.live.fill (0.0f);

    for (size_t i = 0; i < slots.size(); ++i)
        if (isModSlotActive (slots[i]))
            addModSlot (slots[i], i, sources, out);
}
} // namespace

TEST (ModMatrix, inactiveSlotsHaveNoEffect)
{
    const auto sources = sourcesWith (ModSource::modWheel, 1.0f);
    ModSums out;

    evaluateModMatrix ({ slot (ModSource::modWheel, ModDestination::pitch, 0.0f),
                         slot (ModSource::off, ModDestination::pitch, 1.0f),
                         slot (ModSource::modWheel, ModDestination::off, 1.0f),
                         slot (ModSource::modWheel, ModDestination::amp, 0.0f) },
                       sources, out);

    for (auto v : out.sums)
        EXPECT_EQ (v, 0.0f);
    for (auto v : out.live)
        EXPECT_EQ (v, 0.0f);
    EXPECT_EQ (out.ampFactor, 1.0f);
}

TEST (ModMatrix, ampScalesBySourceOrItsComplement)
{
    const auto sources = sourcesWith (ModSource::velocity, 0.25f);
    ModSums out;

    evaluateModMatrix ({ slot (ModSource::velocity, ModDestination::amp, 1.0f) }, sources, out);
    EXPECT_FLOAT_EQ (out.ampFactor, 0.25f);
    evaluateModMatrix ({ slot (ModSource::velocity, ModDestination::amp, -1.0f) }, sources, out);
    EXPECT_FLOAT_EQ (out.ampFactor, 0.75f);
    evaluateModMatrix ({ slot (ModSource::velocity, ModDestination::amp, 0.5f) }, sourcesWith (ModSource::velocity, 0.0f), out);
    EXPECT_FLOAT_EQ (out.ampFactor, 0.5f);

    // Two amp slots multiply.
    evaluateModMatrix ({ slot (ModSource::velocity, ModDestination::amp, 1.0f),
                         slot (ModSource::velocity, ModDestination::amp, 1.0f) }, sources, out);
    EXPECT_FLOAT_EQ (out.ampFactor, 0.0625f);
}

TEST (ModMatrix, curvesScalesAndSharedDestinations)
{
    ModSums out;
    evaluateModMatrix ({ slot (ModSource::lfo1, ModDestination::cutoff, 1.0f, ModCurve::exp) },
                       sourcesWith (ModSource::lfo1, -0.5f), out);
    EXPECT_FLOAT_EQ (out.live[0], -0.25f);
    EXPECT_FLOAT_EQ (out[ModDestination::cutoff], -0.25f * 48.0f);

    evaluateModMatrix ({ slot (ModSource::modWheel, ModDestination::pitch, 0.5f),
                         slot (ModSource::modWheel, ModDestination::pitch, -0.5f) },
                       sourcesWith (ModSource::modWheel, 0.8f), out);
    EXPECT_FLOAT_EQ (out[ModDestination::pitch], 0.0f);
    EXPECT_FLOAT_EQ (out.live[0], 0.4f);
    EXPECT_FLOAT_EQ (out.live[1], -0.4f);

    // An unknown source counts as 0; an unknown destination still shows its live value.
    evaluateModMatrix ({ slot ((ModSource) 13, ModDestination::pitch, 1.0f) }, sourcesWith (ModSource::velocity, 1.0f), out);
    EXPECT_EQ (out[ModDestination::pitch], 0.0f);
    evaluateModMatrix ({ ModSlot { 1, 29, 1.0f, 0 } }, sourcesWith (ModSource::velocity, 0.7f), out);
    EXPECT_FLOAT_EQ (out.live[0], 0.7f);
}

TEST (ModMatrix, decibelSumsAsGain)
{
    EXPECT_EQ (modDecibelsToGain (0.0f), 1.0f);
    EXPECT_NEAR (modDecibelsToGain (-6.0f), 0.501187f, 1.0e-5f);
    EXPECT_EQ (modDecibelsToGain (-90.0f), 0.0f);
    EXPECT_EQ (modDecibelsToGain (-200.0f), 0.0f);
}

// The voice runs its slots through the active-slot form, set up once per block: every sample's
// sums, live values and amp factor must be those of the plain form bit for bit, with slots that
// share a destination, unknown sources and destinations, and sources that change from sample to sample.
TEST (ModMatrix, activeSlotsSumAsThePlainMatrix)
{
    std::mt19937 random (7);
    std::uniform_real_distribution<float> unit (-1.0f, 1.0f);
    std::uniform_int_distribution<int> anySource (-1, numModSources), anyDestination (-1, numModDestinations);

    for (int round = 0; round < 300; ++round)
    {
        std::array<ModSlot, numModSlots> slots {};

        for (auto& s : slots)
        {
            const auto shared = round % 3 == 0;
            s = { anySource (random), shared ? (int) ModDestination::pitch : anyDestination (random),
                  round % 5 == 0 ? 0.0f : unit (random), (int) (unit (random) > 0.0f) };

            if (round % 4 == 0)
                s.destination = (int) ModDestination::amp;
        }

        ActiveModSlots active;
        ModSums fast, plain;
        active.find (slots, fast);

        for (int sample = 0; sample < 4; ++sample)
        {
            std::array<float, numModSources> sources {};

            for (size_t i = 1; i < sources.size(); ++i)
                sources[i] = unit (random);

            active.evaluate (sources, fast);
            evaluateModMatrix (slots, sources, plain);

            for (size_t d = 0; d < plain.sums.size(); ++d)
                ASSERT_EQ (fast.sums[d], plain.sums[d]) << "round " << round << " destination " << d;

            for (size_t i = 0; i < plain.live.size(); ++i)
                ASSERT_EQ (fast.live[i], plain.live[i]) << "round " << round << " slot " << i;

            ASSERT_EQ (fast.ampFactor, plain.ampFactor) << "round " << round;
        }
    }
}
