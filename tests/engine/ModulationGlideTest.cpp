#include "EngineTestRig.h"

#include <gtest/gtest.h>

// Moves that must glide on a held note: the LFO's phase offset and the DCW envelopes' sustain.
namespace
{
using quillon::ModSource;
using quillon::test::EngineRig;

// The LFO at 10 Hz read by a slot, sample by sample: a phase move at the wave's zero must not
// sweep it through a crest on the way, only cross from the one offset's value to the other's.
TEST (ModulationGlide, TheLfoPhaseCrossesOverInsteadOfSweeping)
{
    for (const auto& [from, to] : { std::pair { 0.0f, 180.0f }, std::pair { -90.0f, 90.0f } })
    {
        EngineRig rig;
        rig.set ("lfo1Rate", 10.0f);
        rig.set ("lfo1Depth", 1.0f);
        rig.set ("lfo1Retrig", 1.0f);
        rig.set ("lfo1Phase", from);
        rig.set ("mod2Source", (float) ModSource::lfo1);
        rig.set ("mod2Dest", 8.0f); // osc 1 level
        rig.set ("mod2Amount", 0.2f);
        rig.engine.noteOn (36, 1.0f, false);
        rig.render (9600); // two whole cycles: the LFO's phase is 0 again
        rig.set ("lfo1Phase", to);

        for (int i = 0; i < 480; ++i)
        {
            rig.render (1);
            const auto p = (float) (9600 + i) * 10.0f / 48000.0f;
            const auto before = std::sin (6.2831853f * (p + from / 360.0f));
            const auto after = std::sin (6.2831853f * (p + to / 360.0f));
            const auto value = rig.engine.getModSourceValue (ModSource::lfo1);
            ASSERT_LE (value, std::max (before, after) + 0.01f) << from << " to " << to << ", sample " << i;
            ASSERT_GE (value, std::min (before, after) - 0.01f) << from << " to " << to << ", sample " << i;
        }
    }
}

// The sustain's glide reaches the oscillators' own envelopes sample by sample on every path: the
// stretch shortcuts play the same bits as the voice sample by sample.
TEST (ModulationGlide, DcwSustainGlidesTheSameWithAndWithoutShortcuts)
{
    for (const auto* id : { "osc1DcwSustain", "osc2DcwSustain" })
    {
        std::vector<float> takes[2];

        for (const auto shortcuts : { true, false })
        {
            EngineRig rig (48000.0, 512, { shortcuts });
            rig.set ("osc1DcwDepth", 1.0f);
            rig.set ("osc2DcwDepth", 1.0f);
            rig.set ("osc2Level", 0.0f);
            rig.set (id, 1.0f);
            rig.engine.noteOn (36, 1.0f, false);
            rig.render (9600);
            rig.set (id, 0.2f);
            takes[shortcuts ? 0 : 1] = rig.render (2400, 64);
        }

        EXPECT_TRUE (takes[0] == takes[1]) << id;
    }
}
// Every form of the LFO takes the cross-fade alike: value by value, the stretch at once, and unheard.
TEST (ModulationGlide, TheLfoCrossFadesTheSameInEveryForm)
{
    for (const auto shape : { quillon::Lfo::sine, quillon::Lfo::triangle, quillon::Lfo::square })
    {
        quillon::Lfo forms[3];

        for (auto& lfo : forms)
        {
            lfo.prepare (48000.0);
            lfo.setShape (shape);
            lfo.setFreeRate (7.0f);
            lfo.updateIncrement();
            std::vector<float> skip (1000);
            lfo.render (skip.data(), 1000, true);
            lfo.setPhaseOffset (0.3f);
        }

        // A second move 100 samples on, while the first still fades, waits for it.
        std::vector<float> byValue (300), atOnce (300), unheard (300);
        for (int i = 0; i < 300; ++i)
        {
            if (i == 100)
                forms[0].setPhaseOffset (0.6f);
            byValue[(size_t) i] = forms[0].next();
        }
        forms[1].render (atOnce.data(), 100, true);
        forms[1].setPhaseOffset (0.6f);
        forms[1].render (atOnce.data() + 100, 200, true);
        forms[2].render (unheard.data(), 100, false);
        forms[2].setPhaseOffset (0.6f);
        forms[2].render (unheard.data() + 100, 200, false);
        ASSERT_TRUE (byValue == atOnce) << shape;

        for (int i = 0; i < 400; ++i)
        {
            const auto a = forms[0].next(), b = forms[1].next(), c = forms[2].next();
            ASSERT_EQ (a, b) << shape << " " << i;
            ASSERT_EQ (a, c) << shape << " " << i;
        }
    }
}
} // namespace
