#pragma once

#include "engine/core/Build.h"

namespace quillon
{

// What the voice's state says at the start of a stretch, as far as the shortcuts care.
struct StretchState
{
    bool shortcutsAllowed = true;
    bool sourceFading = false;      // a source switch fades from the old sources
    bool mutualSync = false;        // both oscillators sync to each other
    bool smoothersRamping = false;  // any linear smoother still ramps
    bool slotAmountsGliding = false; // a slot's amount glides to a new setting
    bool gliding = false;           // the glide has not reached its note
    float driftKnob = 0.0f;         // the drift's smoothed knob
    bool cutoffRamping = false, driveVelocityRamping = false;
    bool slotsHoldStill = true;      // no active slot moves a voice setting
    bool chainSlotsHoldStill = true; // no active slot moves a chain setting
    bool slotsReadStillSources = true; // every active slot reads a source that holds
    bool modWheelRamping = false, aftertouchRamping = false;
    bool pitchSlotsMove = false;    // a slot from a moving source feeds a pitch destination
    bool beatPhaseRead = false;     // a slot reads the beat's phase
    bool filterEnvelopeHeard = false; // the filter envelope's amount, after velocity, is not 0
    bool envelopeSettingsMoving = false;
    bool lfoCanRender = false;      // no slot moves the LFO's rate or depth
    bool lfoRateOrDepthModulated = false;
};

// What holds in one stretch, and so which paths run it.
struct StretchPlan
{
    // Without sync both ways or a switch fading, each source runs its stretch in a loop of its own.
    bool sourcesInLoops = false;
    // Nothing that the voice's settings follow moves: no ramp, no glide, no drift, no moving slot.
    bool voiceSettled = false;
    // No smoother ramps, no glide runs and no switch fades: the settings move only with the drift
    // and with the destinations that slots from moving sources feed.
    bool voiceHeld = false;
    // A held voice whose pitch moves: its frequencies are worked out in a pass of their own after
    // the control pass.
    bool pitchDeferred = false;
    // The chain's frame holds along the stretch.
    bool chainSettled = false;
    // The envelopes' levels are taken for the whole stretch at once.
    bool envelopesRendered = false;
    // The matrix's sums hold along the stretch.
    bool matrixStill = false;
    // The LFO's values are taken for the whole stretch at once.
    bool lfoRendered = false;
    // Everything holds but the envelopes' levels: a sample past the first only takes those.
    bool stretchSettled = false;
    // A held voice, its envelopes and LFO taken at once, works out the samples after the first in
    // passes over the stretch.
    bool heldStretch = false;

    bool operator== (const StretchPlan& o) const noexcept
    {
        return sourcesInLoops == o.sourcesInLoops && voiceSettled == o.voiceSettled && voiceHeld == o.voiceHeld
            && pitchDeferred == o.pitchDeferred && chainSettled == o.chainSettled
            && envelopesRendered == o.envelopesRendered && matrixStill == o.matrixStill
            && lfoRendered == o.lfoRendered && stretchSettled == o.stretchSettled && heldStretch == o.heldStretch;
    }
};

// The one place that decides a stretch's paths. The exact build takes none of the shortcuts that
// are there for speed alone.
constexpr StretchPlan planStretch (const StretchState& s, bool exact = dsp::exactReference) noexcept
{
    const auto fast = ! exact && s.shortcutsAllowed;
    // A gliding amount moves the sums on every sample, whatever its slot reads.
    const auto ramping = s.smoothersRamping || s.slotAmountsGliding;
    StretchPlan plan;
    // The envelopes' settings are written into the oscillators' own envelopes per sample.
    plan.sourcesInLoops = s.shortcutsAllowed && ! s.sourceFading && ! s.mutualSync && ! s.envelopeSettingsMoving;
    plan.voiceSettled = fast && ! ramping && s.slotsHoldStill && ! s.gliding && s.driftKnob == 0.0f
                     && ! s.cutoffRamping && ! s.driveVelocityRamping;
    plan.voiceHeld = fast && ! ramping && ! s.gliding && ! s.sourceFading;
    plan.pitchDeferred = plan.voiceHeld && plan.sourcesInLoops && ! plan.voiceSettled && ! s.beatPhaseRead
                      && (s.pitchSlotsMove || s.driftKnob > 0.0f);
    plan.chainSettled = fast && ! ramping && s.chainSlotsHoldStill && ! s.cutoffRamping
                     && ! s.driveVelocityRamping && ! s.filterEnvelopeHeard;
    plan.envelopesRendered = s.shortcutsAllowed && ! s.envelopeSettingsMoving;
    plan.matrixStill = fast && s.slotsReadStillSources && ! s.modWheelRamping && ! s.aftertouchRamping
                    && ! s.slotAmountsGliding;
    plan.lfoRendered = s.lfoCanRender && ! ramping && ! s.lfoRateOrDepthModulated;
    plan.stretchSettled = plan.voiceSettled && plan.chainSettled && plan.matrixStill && plan.envelopesRendered
                       && plan.lfoRendered;
    plan.heldStretch = plan.voiceHeld && plan.envelopesRendered && plan.lfoRendered && plan.sourcesInLoops
                    && ! plan.stretchSettled && ! s.beatPhaseRead;
    return plan;
}

} // namespace quillon
