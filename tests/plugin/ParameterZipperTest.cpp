#include "HostDrive.h"
#include "plugin/ParameterIds.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

// A knob moved on a held note must not step the sound: neither moved at once within one block
// nor in a host's 50 ms ramp of it, block by block.
namespace
{
using quillon::test::HostDrive;
using quillon::test::maxStep;

constexpr int block = 64, moveAt = 9600, period = 734; // C2 at 48 kHz, in whole samples

struct Move
{
    std::string id;
    float from, to;
    std::vector<std::pair<std::string, float>> setup {}; // before the note
};

// Renders a held C2 with the move at 0.2 s, at once or ramped over 50 ms; returns the largest
// step after the move against twice the larger of the steady steps before and after it.
std::pair<float, float> stepsOf (const Move& m, bool ramp)
{
    HostDrive host (block);

    for (const auto& [id, value] : m.setup)
        host.set (id.c_str(), value);

    host.set (m.id.c_str(), m.from);
    host.render (moveAt, 36, true, 0);
    const auto rampBlocks = ramp ? 2400 / block : 1;

    for (int b = 1; b <= rampBlocks; ++b)
    {
        host.set (m.id.c_str(), m.from + (m.to - m.from) * (float) b / (float) rampBlocks);
        host.render (block);
    }

    host.render (12000 - rampBlocks * block);
    const auto& x = host.out;
    const auto settled = (size_t) moveAt + 9000;
    const auto steady = std::max (maxStep (x, moveAt - 2 * period, moveAt), maxStep (x, settled, settled + 2 * period));
    return { maxStep (x, moveAt, settled), steady };
}

void expectSmooth (const Move& m)
{
    for (const auto ramp : { false, true })
    {
        const auto [step, steady] = stepsOf (m, ramp);
        EXPECT_LE (step, 2.0f * steady) << m.id << " " << m.from << " to " << m.to << (ramp ? " in a ramp" : " at once")
                                        << ": step " << step << " against steady " << steady << " ("
                                        << step / steady << "x)";
    }
}

TEST (ParameterZipper, EveryKnobMovesWithoutSteppingTheSound)
{
    // Pitch: its change is the point. The rest of these act only from the next note.
    const std::set<std::string> apart { quillon::ids::osc1Semitone, quillon::ids::osc1Fine, quillon::ids::osc2Semitone,
                                        quillon::ids::osc2Fine, quillon::ids::osc2Detune, quillon::ids::osc2DetuneHz,
                                        quillon::ids::subSemitone, quillon::ids::subFine, quillon::ids::oscDrift,
                                        quillon::ids::reeseBeat, quillon::ids::reeseSpread, quillon::ids::stereoWidth };
    HostDrive layout;
    int moved = 0;

    for (auto* p : layout.processor->getParameters())
    {
        auto* f = dynamic_cast<juce::AudioParameterFloat*> (p);

        if (f == nullptr || apart.count (f->paramID.toStdString()) != 0)
            continue;

        const auto now = f->convertTo0to1 (f->get());
        const auto to = f->convertFrom0to1 (now < 0.5f ? 0.75f : 0.25f);
        expectSmooth ({ f->paramID.toStdString(), f->convertFrom0to1 (now), to });
        ++moved;
    }

    EXPECT_GT (moved, 50);
}

TEST (ParameterZipper, SlotAmountsGlideAsKnobsDo)
{
    expectSmooth ({ "mod2Amount", 0.0f, -0.3f, { { "mod2Source", 1.0f }, { "mod2Dest", 8.0f } } }); // velocity to osc 1 level
    expectSmooth ({ "mod1Amount", 0.4f, -0.6f });                                                  // the init slot: velocity to amp
    expectSmooth ({ "mod2Amount", 0.0f, 0.5f, { { "mod2Source", 1.0f }, { "mod2Dest", 2.0f } } });  // velocity to drive
}

} // namespace
