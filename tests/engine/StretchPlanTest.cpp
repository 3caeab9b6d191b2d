#include "engine/control/StretchPlan.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace
{
// A held note: nothing ramps, glides or fades, no slot moves anything.
StretchState heldNote()
{
    StretchState s;
    s.lfoCanRender = true;
    return s;
}

struct Expected
{
    bool loops, settled, held, deferred, chainSettled, envelopes, matrix, lfo, stretchSettled, heldStretch;
};

void expectPlan (const StretchPlan& p, const Expected& e, const char* what)
{
    SCOPED_TRACE (what);
    EXPECT_EQ (p.sourcesInLoops, e.loops);
    EXPECT_EQ (p.voiceSettled, e.settled);
    EXPECT_EQ (p.voiceHeld, e.held);
    EXPECT_EQ (p.pitchDeferred, e.deferred);
    EXPECT_EQ (p.chainSettled, e.chainSettled);
    EXPECT_EQ (p.envelopesRendered, e.envelopes);
    EXPECT_EQ (p.matrixStill, e.matrix);
    EXPECT_EQ (p.lfoRendered, e.lfo);
    EXPECT_EQ (p.stretchSettled, e.stretchSettled);
    EXPECT_EQ (p.heldStretch, e.heldStretch);
}
} // namespace

// A shortcut taken in the wrong state plays stale settings (a frozen drift, a cutoff that stops
// following its envelope); one missed only costs time. Each state here names what must hold.
TEST (StretchPlan, eachStateTakesTheShortcutsItsSettingsAllow)
{
    expectPlan (planStretch (heldNote(), false), { 1, 1, 1, 0, 1, 1, 1, 1, 1, 0 }, "a held note settles everything");

    auto drifting = heldNote();
    drifting.driftKnob = 0.3f;
    expectPlan (planStretch (drifting, false), { 1, 0, 1, 1, 1, 1, 1, 1, 0, 1 },
                "the drift moves pitch: held, its pitch in a pass of its own");

    auto beatRead = drifting;
    beatRead.beatPhaseRead = true;
    expectPlan (planStretch (beatRead, false), { 1, 0, 1, 0, 1, 1, 1, 1, 0, 0 },
                "a slot reading the beat's phase needs each sample's pitch in turn");

    auto envelopeOnCutoff = heldNote();
    envelopeOnCutoff.filterEnvelopeHeard = true;
    expectPlan (planStretch (envelopeOnCutoff, false), { 1, 1, 1, 0, 0, 1, 1, 1, 0, 1 },
                "the filter envelope moves the chain's frames");

    auto gliding = heldNote();
    gliding.gliding = true;
    expectPlan (planStretch (gliding, false), { 1, 0, 0, 0, 1, 1, 1, 1, 0, 0 }, "a glide moves every frame's pitch");

    auto ramping = heldNote();
    ramping.smoothersRamping = true;
    expectPlan (planStretch (ramping, false), { 1, 0, 0, 0, 0, 1, 1, 0, 0, 0 }, "a ramping knob moves everything");

    auto mutualSync = drifting;
    mutualSync.mutualSync = true;
    expectPlan (planStretch (mutualSync, false), { 0, 0, 1, 0, 1, 1, 1, 1, 0, 0 },
                "sync both ways makes the units take turns");

    auto fading = heldNote();
    fading.sourceFading = true;
    expectPlan (planStretch (fading, false), { 0, 1, 0, 0, 1, 1, 1, 1, 1, 0 }, "a switch fading runs the old sources along");

    auto wheel = heldNote();
    wheel.modWheelRamping = true;
    wheel.lfoRateOrDepthModulated = true;
    expectPlan (planStretch (wheel, false), { 1, 1, 1, 0, 1, 1, 0, 0, 0, 0 }, "a moving wheel and a modulated LFO");

    auto off = drifting;
    off.shortcutsAllowed = false;
    off.lfoCanRender = false;
    expectPlan (planStretch (off, false), { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 }, "shortcuts off: sample by sample");

    expectPlan (planStretch (heldNote(), true), { 1, 0, 0, 0, 0, 1, 0, 1, 0, 0 },
                "the exact build takes no shortcut that is there for speed alone");
}
