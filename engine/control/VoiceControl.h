#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include "engine/chain/ChainFrame.h"
#include "engine/chain/DriveStage.h"
#include "engine/control/Envelope.h"
#include "engine/control/Lfo.h"
#include "engine/control/ModMatrix.h"
#include "engine/control/Pitch.h"
#include "engine/control/RandomSources.h"
#include "engine/control/StretchPlan.h"
#include "engine/control/VoiceParameters.h"
#include "engine/sources/SourceFrame.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <iterator>
#include <type_traits>
#include <vector>

namespace quillon
{

// The control pass: smoothers, envelopes, LFO, glide, random sources and the matrix, worked out
// per base-rate sample into the frames the sources and the chain read. It knows nothing of the
// sources and the chain but what the voice hands it: their settings, and the units' own DCW
// envelopes, which take their oscillator's envelope settings whenever this pass writes them.
class VoiceControl
{
public:
    static constexpr int stretchLength = 32; // base-rate samples per control and chain pass at most

    // The controllers the processor writes, as the voice reads them per chunk and per note.
    struct Controllers
    {
        float modWheel = 0.0f, aftertouch = 0.0f, pitchBend = 0.0f; // pitch bend in semitones
    };

    // The units' DCW envelopes, in SourceUnit order.
    using UnitEnvelopes = std::array<Envelope*, numUnits>;

    // What the sources say on a sample: whether a switch fades, and the lock it fades from.
    struct SourcesFade
    {
        bool fading = false, oldLocked = false;
    };

    // What a sample has for the copies of a fading switch beside its frame: osc 2's depth and width
    // under the old lock, where it has them.
    struct OldSources
    {
        bool due = false;
        float depth2 = 0.0f, width2 = 0.0f;
    };

    // Where a note from silence, or any note in the phase mode that asks for it, restarts the units.
    struct NoteStart
    {
        bool resetPhases = false;
        float osc2Phase = 0.0f; // turns
    };

    explicit VoiceControl (const VoiceParameterBinding& binding) noexcept : parameters (binding) {}

    // The parameters as bound, for the voice's switches as well.
    float param (VoiceParameter::Id id, float fallback = 0.0f) const noexcept { return parameters.read (id, fallback); }
    int choice (VoiceParameter::Id id, int fallback = 0) const noexcept { return (int) param (id, (float) fallback); }

    // Message thread, while audio is stopped.
    void prepare (double sampleRate, int maxBlockSize, bool shortcuts, const Controllers& controllers,
                  const UnitEnvelopes& units) noexcept;

    // Per note. The units' DCW envelopes are left for the voice to trigger and release.
    bool isIdle() const noexcept { return ampEnvelope.isIdle(); }
    bool isActive() const noexcept { return ampEnvelope.isActive(); }
    void catchUpIdleEnvelopes (std::int64_t idleSamples) noexcept;
    NoteStart noteOn (int note, float velocity, bool legato, bool fromSilence, const Controllers& controllers,
                      const UnitEnvelopes& units) noexcept;
    void releaseAll() noexcept;

    // Per chunk: the settings before the sources and the chain take theirs, then those that
    // follow what they took.
    void beginChunk (int lastNote, const Controllers& controllers, const UnitEnvelopes& units) noexcept;
    void followChunkSettings (const SourceSettings& sources, int driveMode, float tempoBpm) noexcept;

    // Per stretch: the plan, and the envelopes' and LFO's runs where it takes them at once. The
    // amp envelope's run ends the stretch where the voice ends: returns its length.
    int beginStretch (bool sourcesFading, bool mutualSync, int length) noexcept;
    const StretchPlan& stretchPlan() const noexcept { return plan; }

    // One base-rate sample: its frames at `at` of the stretch, its gain at `index` of the chunk;
    // `old` is set where a fading switch's old sources are due. (Returned by value, the flag came
    // back packed with a float and the caller's unpacking through memory stalled every sample.)
    void computeSample (int index, int at, SourcesFade fade, const UnitEnvelopes& units, OldSources& old) noexcept
    {
        const auto j = (size_t) at;

        if (plan.stretchSettled && at > 0)
        {
            // What the full pass works out when nothing moves: the first sample's settings, the
            // beat's phase moving on and the amp envelope's level into the output gain.
            filterEnvValue = envelopeLevels[filterGroup][j];
            sourceFrames[j] = sourceFrames[j - 1];
            smoothRandom.next();
            advanceBeatPhase();
            sampleGains[(size_t) index] = settledOutputGain * envelopeLevels[ampGroup][j] * modulation.ampFactor;
            return;
        }

        computeBaseRateSample (index, at, chainFrames[j], sourceFrames[j], fade, units, old);
    }
    // A held stretch's samples after its first, `first` being the first's place in the chunk.
    void computeHeldStretch (int first, int count) noexcept;
    // After `count` samples of a stretch of `length`: what waits for the stretch's end.
    void endStretch (int count, int length) noexcept;

    // The stretch's frames, and the first of its samples where osc 2's halves part (-1: none).
    const SourceFrame* stretchSourceFrames() const noexcept { return sourceFrames.data(); }
    const SourceFrame& sourceFrame (int at) const noexcept  { return sourceFrames[(size_t) at]; }
    const ChainFrame* stretchChainFrames() const noexcept   { return chainFrames.data(); }
    int osc2PartsAt() const noexcept { return osc2Parts; }
    // The chunk's per-sample output gains (amp envelope, output level and the matrix's amp).
    const float* chunkGains() const noexcept { return sampleGains.data(); }
    // The mono-low pair, which the output stage advances after decimation.
    juce::SmoothedValue<float>& monoLowAmount() noexcept { return smoother (Smooth::monoLowEnabled); }
    juce::SmoothedValue<float>& monoLowHz() noexcept     { return smoother (Smooth::monoLowFreq); }

    // Read-only views.
    const ModSums& modSums() const noexcept { return modulation; }
    float getGlidingNote() const noexcept { return (float) glidingNote; }
    float getTargetNote() const noexcept { return targetNote; }
    const Envelope& getAmpEnvelope() const noexcept { return ampEnvelope; }
    const Envelope& getFilterEnvelope() const noexcept { return filterEnvelope; }
    const Lfo& getLfo() const noexcept { return lfo; }
    float getModSourceValue (ModSource source) const noexcept { return sourceValues[(size_t) source]; }
    float getCutoffHz() const noexcept { return cutoffHz; }

private:
    using Param = VoiceParameter;

    // The chain's settings that a knob and the matrix set together, each held within 0..1 and
    // scaled: a row each, which the smoothers' targets and every form of the chain's frames read.
    struct ChainKnob
    {
        float ChainFrame::* field;
        Param::Id parameter;
        float fallback; // where the processor has no such parameter
        ModDestination destination;
        float scale;

        float valueFrom (float knobValue, float sum) const noexcept
        {
            const auto value = std::clamp (knobValue + sum, 0.0f, 1.0f);
            return scale != 1.0f ? value * scale : value;
        }
    };
    static constexpr ChainKnob chainKnobs[] = {
        { &ChainFrame::resonance, Param::filterReso, 0.0f, ModDestination::resonance, 1.0f },
        { &ChainFrame::phaseMix, Param::phaseMix, 0.5f, ModDestination::phaseMix, 1.0f },
        { &ChainFrame::phaseNotch, Param::phaseNotch, 1.0f, ModDestination::phaseNotch, 1.0f },
        { &ChainFrame::feedbackAmount, Param::feedbackAmount, 0.0f, ModDestination::feedback, 0.35f },
    };

    // The linearly smoothed values, in the order their targets are read; the chain knobs' come
    // last, a row's at its place in the rows.
    struct Smooth
    {
        enum Id : int
        {
            osc1Level, osc2Level, subLevel, drive, osc2Detune, osc2DetuneHz, stereoWidth, osc1DcwDepth,
            osc2DcwDepth, oscDrift, subDcwDepth, filterEnvAmount, outputGain, modWheel,
            aftertouch, pitchBend, lfo1Rate, lfo1Depth, lfo1Phase, noiseLevel, noiseRouting,
            osc1PulseWidth, osc2PulseWidth, osc1Pitch, osc2Pitch, driveGain, driveMix, filterEnabled,
            subDriveSend, monoLowEnabled, monoLowFreq, reeseBeat, reeseSpread, pdMorphAmount,
            phaseStereo, feedbackTone,
            firstChainKnob, count = firstChainKnob + (int) std::size (chainKnobs)
        };
    };

    static Smooth::Id smootherOf (const ChainKnob& c) noexcept { return (Smooth::Id) (Smooth::firstChainKnob + (&c - chainKnobs)); }

    enum EnvelopeGroup { ampGroup, filterGroup, osc1DcwGroup, osc2DcwGroup, numEnvelopeGroups };

    juce::SmoothedValue<float>& smoother (Smooth::Id id) noexcept { return smoothers[(size_t) id]; }
    // This base-rate sample's value; only the smoothers still ramping are advanced.
    float next (Smooth::Id id) const noexcept { return smoothedNow[(size_t) id]; }
    void collectRampingSmoothers() noexcept;
    void advanceRampingSmoothers() noexcept;

    void updateSmootherTargets (const Controllers& controllers) noexcept;
    void snapSmoothers() noexcept;
    void copyModSlots() noexcept;
    void setEnvelopeTargets (const UnitEnvelopes& units) noexcept;
    void writeEnvelopeGroup (int group, const UnitEnvelopes& units) noexcept;
    void advanceEnvelopeSettings (const UnitEnvelopes& units) noexcept;
    // Per chunk: shape, sync and rate; per sample only the rate and phase move.
    void updateLfoRate (float rateHz, float baseRateHz, float phaseDegrees) noexcept;
    void moveLfoRate (float rateHz, float baseRateHz, float phaseDegrees) noexcept;
    void updateTargetNote (int lastNote) noexcept;
    void updateGlideCoefficient() noexcept;

    // `index` is the sample in the chunk, `at` the sample in the stretch.
    void computeBaseRateSample (int index, int at, ChainFrame& chain, SourceFrame& sources, SourcesFade fade,
                                const UnitEnvelopes& units, OldSources& old) noexcept;
    void computeVoiceSettings (SourceFrame& frame, int at, SourcesFade fade, OldSources& old) noexcept;
    // The matrix's sums that the oscillators' frequencies follow.
    struct PitchMods
    {
        float pitch = 0.0f, drift = 0.0f, spread = 0.0f, beat = 0.0f, detuneHz = 0.0f, detuneCents = 0.0f;
        float driftOctaves = 0.0f; // the walk's step times the amount
        bool drifting = false;
    };

    // This sample's sums, and the drift walk's next step where the drift is on.
    PitchMods nextPitchMods() noexcept
    {
        const auto& m = modulation;
        PitchMods mods { m[ModDestination::pitch], m[ModDestination::drift], m[ModDestination::reeseSpread],
                         m[ModDestination::reeseBeat], m[ModDestination::osc2DetuneHz], m[ModDestination::osc2Detune] };
        const auto driftAmount = std::clamp (next (Smooth::oscDrift) + mods.drift, 0.0f, 1.0f);
        mods.drifting = driftAmount > 0.0f;

        // Up to 60 cents; the fast build multiplies where the exact one divides.
        if (mods.drifting)
            mods.driftOctaves = dsp::exactReference ? driftWalk.next() * driftAmount * 60.0f / 1200.0f
                                                    : driftWalk.next() * driftAmount * (60.0f / 1200.0f);

        return mods;
    }

    // `mods` with the drift walk's step where they drift, as nextPitchMods takes it; the step is
    // either given or drawn from the walk only then.
    template <typename Step>
    PitchMods withDriftStep (PitchMods mods, Step&& step) noexcept
    {
        const auto driftAmount = std::clamp (next (Smooth::oscDrift) + mods.drift, 0.0f, 1.0f);
        mods.drifting = driftAmount > 0.0f;

        if (mods.drifting)
        {
            if constexpr (std::is_same_v<std::decay_t<Step>, RandomWalk>)
                mods.driftOctaves = step.next() * driftAmount * (60.0f / 1200.0f);
            else
                mods.driftOctaves = step * driftAmount * (60.0f / 1200.0f);
        }

        return mods;
    }

    StretchState stretchState (bool sourcesFading, bool mutualSync) const noexcept;
    std::uint32_t computeHeldMatrix (size_t end, float lfoDepth) noexcept;
    const float* heldRow (ModDestination d, std::uint32_t summed) const noexcept;

    // The pitch destinations' rows over a held stretch.
    struct PitchRows
    {
        const float *pitch, *drift, *spread, *beat, *detuneHz, *detuneCents;
        PitchMods at (size_t j) const noexcept { return { pitch[j], drift[j], spread[j], beat[j], detuneHz[j], detuneCents[j] }; }
    };
    PitchRows heldPitchRows (std::uint32_t summed) const noexcept;
    void computeHeldShapes (std::uint32_t summed) noexcept;
    void prepareDeferredPitch (std::uint32_t summed, bool walkAlong, size_t end) noexcept;
    void computeHeldChain (int count, std::uint32_t summed) noexcept;
    void finishHeldStretch (size_t last, float lfoDepth) noexcept;
    void computePitchSettings (SourceFrame& frame, const PitchMods& mods, int at) noexcept;
    void updateNoteOffset() noexcept;
    pitch::PairSettings pairSettings (float detuneCents, float k) noexcept;
    void computeDeferredPitch (int count) noexcept;
    void computePitchLanes (int count) noexcept;
    void computeShapeSettings (SourceFrame& frame) noexcept;
    void computeLevelSettings (SourceFrame& frame) noexcept;
    void computeChainFrame (ChainFrame& frame, int at) noexcept;
    void computeHeldChainFrames (int count, std::uint32_t summed) noexcept;
    void finishChainFrames (int count) noexcept;
    // Once the pair's halves part, the right unit runs on its own until the next chunk.
    void noteOsc2Parts (int at) noexcept
    {
        if (osc2Parts < 0)
            osc2Parts = at;
    }

    VoiceParameterBinding parameters;
    bool shortcutsAllowed = true;

    Envelope ampEnvelope, filterEnvelope, osc1DcwEnvelope, osc2DcwEnvelope;
    Lfo lfo;
    Lfo lfoBefore; // the LFO where a stretch taken at once started

    std::array<juce::SmoothedValue<float>, Smooth::count> smoothers;
    std::array<float, Smooth::count> smoothedNow {};
    std::array<std::uint8_t, Smooth::count> rampingSmoothers {};
    int numRampingSmoothers = 0;
    juce::SmoothedValue<float, juce::ValueSmoothingTypes::Multiplicative> cutoffSmoother { 20000.0f };

    double sampleRate = 44100.0;
    float inverseSampleRate = 1.0f / 44100.0f;

    // Note state. The glide runs in double: in float a slow glide stalls short of its target,
    // where the step falls below the note number's precision, and the note stays flat.
    double glidingNote = 60.0, glideCoefficient = 1.0;
    float targetNote = 60.0f;
    float velocity = 0.0f, key = 0.0f;
    float filterEnvVelocityFactor = 1.0f, driveVelocityFactor = 1.0f;
    // The drive's velocity factor glides to a retriggered note's value instead of jumping.
    juce::SmoothedValue<float> driveVelocitySmoother { 1.0f };

    // Random sources.
    RandomWalk driftWalk { 0x5A0D1234, 0.22f, 0.035f };
    NoteRandom noteRandom;
    RandomWalk smoothRandom { 0x5A771CE, 0.125f, 0.05f };

    // Matrix.
    std::array<ModSlot, numModSlots> slots {};
    std::array<float, numModSources> sourceValues {};
    ModSums modulation;
    ActiveModSlots activeSlots;
    float filterEnvValue = 0.0f;
    std::uint32_t sourcesInUse = 0; // bit per ModSource a slot reads
    bool isSourceInUse (ModSource source) const noexcept { return (sourcesInUse >> (int) source) & 1u; }
    bool lfoSynced = false;
    float lfoSyncKnobHz = -1.0f; // the rate knob the sync division was last looked up for
    float osc2PhaseMod = 0.0f;         // degrees, taken by the next phase reset
    float lfoRateMod = 0.0f, lfoDepthMod = 0.0f; // applied one sample late

    // Envelope settings: attack, decay, sustain and release of each group, ramped over 5 ms and
    // written into the envelopes on every sample while any of them moves.
    std::array<std::array<juce::SmoothedValue<float>, 4>, numEnvelopeGroups> envelopeSmoothers;
    bool envelopeSettingsMoving = false;

    float reeseBeatPhase = 0.0f;

    // Settings read once per chunk, and what the sources and the chain took.
    int detuneMode = 0;
    bool autoMakeup = false;
    float subPitchRatio = 0.5f;
    SourceSettings sourceSettings;
    int chainDriveMode = 0;

    // Settings computed per base-rate sample for the two 2x samples that follow it.
    float cutoffHz = 20000.0f;
    DriveGains driveGains;

    // The last inputs and results of the per-sample exponentials, which mostly stand still.
    struct { double note = 69.0; float output = 1.0f; } noteOffsetCache;
    struct { float cents = 0.0f, k = 1.0f, ratio = 1.0f, mirrored = 1.0f; } detuneCache;
    struct { float db = 0.0f; int mode = -1; bool autoMakeup = false; float level = 1.0f; } driveCache;
    float feedbackCoefficient = 1.0f, feedbackToneHz = -1.0f;
    float controlSubSend = 1.0f;
    bool feedbackAfterFilter = false;

    std::array<ChainFrame, stretchLength> chainFrames {};
    bool smoothersHeldBefore = false; // no smoother was left ramping after the last frame's sample
    // The frames' cutoffs and drive gains wait behind a table and a polynomial each. Nothing reads
    // them before the control loop ends, so where there are lanes the loop notes what they come
    // from and the pass after it works them out four base samples at a time.
    static constexpr bool chainFramesInLanes = QUILLON_SIN_LANES && ! dsp::exactReference;
    struct
    {
        alignas (16) std::array<float, stretchLength> semitones {}, knob {}, driveDb {}, driveLevel {};
    } chainInputs;
    std::array<SourceFrame, stretchLength> sourceFrames {};
    int osc2Parts = -1;
    std::array<float, stretchLength> lfoValues {};
    bool lfoCanRender = false; // no slot moves the LFO's rate or depth
    // The envelopes' levels of a stretch taken at once, the same levels as tick by tick.
    std::array<std::array<float, stretchLength>, numEnvelopeGroups> envelopeLevels {};
    // What holds in this stretch, worked out once at its start.
    StretchPlan plan;
    bool slotsHoldStill = true, chainSlotsHoldStill = true;
    bool slotsReadStillSources = true;
    // A held voice whose pitch moves has its frequencies worked out in a pass of their own after
    // the control pass, where the samples' long chains of exponentials and products overlap.
    // Their sums field by field, each a row over the stretch that lanes load four at a time.
    struct DeferredPitch
    {
        alignas (16) std::array<float, stretchLength> pitch {}, drift {}, spread {}, beat {}, detuneHz {}, detuneCents {},
                                                      driftOctaves {};
        std::array<bool, stretchLength> drifting {};

        void set (size_t j, const PitchMods& m) noexcept
        {
            pitch[j] = m.pitch;
            drift[j] = m.drift;
            spread[j] = m.spread;
            beat[j] = m.beat;
            detuneHz[j] = m.detuneHz;
            detuneCents[j] = m.detuneCents;
            driftOctaves[j] = m.driftOctaves;
            drifting[j] = m.drifting;
        }

        PitchMods at (size_t j) const noexcept
        {
            return { pitch[j], drift[j], spread[j], beat[j], detuneHz[j], detuneCents[j], driftOctaves[j], drifting[j] };
        }
    } deferredPitch;
    // A held stretch's samples past the first, worked out pass by pass over the stretch: the
    // matrix's sums per destination (rows no slot feeds stay 0), the amp factors, the smooth
    // random source and the drift walk's steps.
    struct HeldRows
    {
        alignas (16) std::array<std::array<float, stretchLength>, numModDestinations> sums {};
        alignas (16) std::array<float, stretchLength> ampFactor {}, slotValues {}, random {}, walk {}, zeros {};
        alignas (16) std::array<float, stretchLength> depth1 {}, depth2 {}, width1 {}, width2 {}, morph {};
    } heldRows;
    std::uint32_t movingDestinations = 0;
    static constexpr auto pitchDestinations = modDestinationBits ({ ModDestination::pitch, ModDestination::drift,
        ModDestination::reeseSpread, ModDestination::reeseBeat, ModDestination::osc2DetuneHz, ModDestination::osc2Detune });
    // The destinations that move the chain's frames: the filter envelope's amount, the cutoff and
    // the drive, and the knobs above.
    static constexpr std::uint32_t chainDestinations = []
    {
        auto bits = modDestinationBits ({ ModDestination::filterEnv, ModDestination::cutoff, ModDestination::drive });

        for (const auto& c : chainKnobs)
            bits |= 1u << (int) c.destination;

        return bits;
    }();
    static constexpr auto shapeDestinations = modDestinationBits ({ ModDestination::osc1Dcw, ModDestination::osc2Dcw,
        ModDestination::pdMorph, ModDestination::osc1Pw, ModDestination::osc2Pw });
    static constexpr auto levelDestinations = modDestinationBits ({ ModDestination::osc1Level, ModDestination::osc2Level,
        ModDestination::subLevel, ModDestination::subDcw });
    float settledOutputGain = 1.0f;
    float beatIncrement = 0.0f;
    void advanceBeatPhase() noexcept
    {
        // The floor only where the phase wraps: the next sample waits on this one's phase.
        const auto p = reeseBeatPhase + beatIncrement;
        reeseBeatPhase = p < 1.0f ? p : p - std::floor (p);
        reeseBeatPhase = reeseBeatPhase >= 0.0f && reeseBeatPhase < 1.0f ? reeseBeatPhase : 0.0f; // not a number
    }
    std::vector<float> sampleGains;
};

} // namespace quillon
