#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_dsp/juce_dsp.h>

#include "engine/chain/VoiceChain.h"
#include "engine/control/Envelope.h"
#include "engine/HalfBandDecimator.h"
#include "engine/control/Lfo.h"
#include "engine/control/ModMatrix.h"
#include "engine/control/Pitch.h"
#include "engine/control/StretchPlan.h"
#include "engine/sources/NoiseSource.h"
#include "engine/OutputStage.h"
#include "engine/sources/PdOscillator.h"
#include "engine/sources/PhaseDistortion.h"
#include "engine/sources/VoiceSources.h"
#include "engine/control/RandomSources.h"
#include "engine/core/SwitchFade.h"
#include "engine/RealtimeAnnotations.h"

#include <array>
#include <atomic>
#include <vector>

namespace quillon
{

// The instrument's single monophonic voice. A plain object owned by the processor:
// no base class, no virtual calls, and nothing allocated or locked while rendering.
// The voice runs at twice the host rate and is decimated back chunk by chunk.
class SynthEngine
{
public:
    using Envelope = quillon::Envelope;
    using Lfo = quillon::Lfo;
    using PdOscillator = quillon::PdOscillator;
    using SubOscillator = quillon::SubOscillator;
    using ModSlot = quillon::ModSlot;
    using DriveStage = quillon::DriveStage;
    using FilterStage = quillon::FilterStage;
    using PhaseStage = quillon::PhaseStage;
    using NoiseSource = quillon::NoiseSource;
    using OnePoleHighPass = quillon::OnePoleHighPass;

    explicit SynthEngine (juce::AudioProcessorValueTreeState& state);

    // Message thread, while audio is stopped.
    void prepare (double sampleRate, int maxBlockSize);
    int getLatencySamples() const;

    // Audio thread.
    void noteOn (int note, float velocity, bool legato) QUILLON_NONBLOCKING;
    void releaseAll() QUILLON_NONBLOCKING;
    // Adds the voice into [startSample, startSample + numSamples); never clears the buffer.
    void render (juce::AudioBuffer<float>& buffer, int startSample, int numSamples) QUILLON_NONBLOCKING;

    // Controller inputs written by the processor on the audio thread.
    std::atomic<float> modWheel { 0.0f };
    std::atomic<float> aftertouch { 0.0f };
    float pitchBend = 0.0f; // semitones
    float tempoBpm = 120.0f;

    // Raw MIDI note of the last noteOn, before the octave shift; -1 after releaseAll.
    int lastNote = -1;

    // Per-slot modulation output, polled by the editor for the knobs' rings.
    std::array<std::atomic<float>, numModSlots> liveSlotValues {};

    // Read-only views of the voice, for the editor's visualisers and for tests.
    // Sounding: the voice, or the output stage's tail after it.
    bool isActive() const noexcept                  { return ampEnvelope.isActive() || outputStage.isInTail(); }
    float getGlidingNote() const noexcept           { return (float) glidingNote; }
    float getTargetNote() const noexcept            { return targetNote; }
    const PdOscillator& getUnit (int index) const   { return voiceSources.unit (index); }
    const Envelope& getAmpEnvelope() const noexcept { return ampEnvelope; }
    const Envelope& getFilterEnvelope() const noexcept { return filterEnvelope; }
    const Lfo& getLfo() const noexcept              { return lfo; }
    // A source that no slot reads may not be computed and then reads 0.
    float getModSourceValue (ModSource source) const noexcept { return sourceValues[(size_t) source]; }
    float getCutoffHz() const noexcept              { return cutoffHz; }

    // For tests: with false, the sources always take turns sample by sample and the chain runs
    // sample by sample on its members, the way a fading switch or mutual sync has them run; the
    // sound must be the same either way.
    void setStretchShortcutsAllowed (bool allowed) noexcept { shortcutsAllowed = allowed; }

private:
    // Parameters the voice binds by ID; a missing one reads as its fallback.
    #define QUILLON_ENGINE_PARAMETERS(X) \
        X (phaseMode) X (mode) X (detuneMode) X (stereoMode) X (stereoWidth) X (osc1Wave) X (osc2Wave) \
        X (subWave) X (subMode) X (subOctave) X (subSemitone) X (subFine) X (syncOsc1) X (syncOsc2) \
        X (driveMode) X (drivePosition) X (driveAutoMakeup) X (filterModel) X (noiseColour) X (subRouting) \
        X (velToFilterEnv) X (velToDrive) X (osc2PhaseOffset) X (lfo1Retrig) X (glideTime) X (octave) \
        X (osc1Level) X (osc2Level) X (subLevel) X (subDriveSend) X (drive) X (osc2Detune) X (osc2DetuneHz) \
        X (osc1DcwDepth) X (osc2DcwDepth) X (oscDrift) X (subDcwDepth) X (filterCutoff) X (filterReso) \
        X (filterEnvAmount) X (outputGain) X (lfo1Rate) X (lfo1Depth) X (lfo1Phase) X (noiseLevel) \
        X (noiseRouting) X (osc1PulseWidth) X (osc2PulseWidth) X (osc1Semitone) X (osc1Fine) \
        X (osc2Semitone) X (osc2Fine) X (driveGain) X (driveMix) X (filterEnabled) X (monoLowEnabled) \
        X (monoLowFreq) X (reeseBeat) X (reeseSpread) X (reeseLock) X (pdMorphAmount) X (phaseMix) \
        X (phaseStereo) X (phaseNotch) X (feedbackAmount) X (feedbackTone) X (feedbackPosition) \
        X (lfo1Shape) X (lfo1Sync)

    struct Param
    {
        #define QUILLON_ENUM_ENTRY(name) name,
        enum Id : int { QUILLON_ENGINE_PARAMETERS (QUILLON_ENUM_ENTRY) count };
        #undef QUILLON_ENUM_ENTRY
    };

    // The linearly smoothed values, in the order their targets are read.
    struct Smooth
    {
        enum Id : int
        {
            osc1Level, osc2Level, subLevel, drive, osc2Detune, osc2DetuneHz, stereoWidth, osc1DcwDepth,
            osc2DcwDepth, oscDrift, subDcwDepth, filterReso, filterEnvAmount, outputGain, modWheel,
            aftertouch, pitchBend, lfo1Rate, lfo1Depth, lfo1Phase, noiseLevel, noiseRouting,
            osc1PulseWidth, osc2PulseWidth, osc1Pitch, osc2Pitch, driveGain, driveMix, filterEnabled,
            subDriveSend, monoLowEnabled, monoLowFreq, reeseBeat, reeseSpread, pdMorphAmount, phaseMix,
            phaseStereo, phaseNotch, feedbackAmount, feedbackTone,
            count
        };
    };

    enum EnvelopeGroup { ampGroup, filterGroup, osc1DcwGroup, osc2DcwGroup, numEnvelopeGroups };

    float param (Param::Id id, float fallback = 0.0f) const noexcept
    {
        const auto* raw = rawParameters[(size_t) id];
        return raw != nullptr ? raw->load (std::memory_order_relaxed) : fallback;
    }

    int choice (Param::Id id, int fallback = 0) const noexcept { return (int) param (id, (float) fallback); }
    static float readRaw (const std::atomic<float>* raw, float fallback) noexcept
    {
        return raw != nullptr ? raw->load (std::memory_order_relaxed) : fallback;
    }

    juce::SmoothedValue<float>& smoother (Smooth::Id id) noexcept { return smoothers[(size_t) id]; }
    // This base-rate sample's value; only the smoothers still ramping are advanced.
    float next (Smooth::Id id) const noexcept { return smoothedNow[(size_t) id]; }
    void collectRampingSmoothers() noexcept;
    void advanceRampingSmoothers() noexcept;

    void bindParameters();
    void updateSmootherTargets() noexcept;
    void snapSmoothers() noexcept;
    void copyModSlots() noexcept;
    void applyVoiceSettings (bool fromSilence) noexcept;
    SourceSettings readSourceSettings() const noexcept;
    void refreshSourceSettings() noexcept { voiceSources.refreshSettings (readSourceSettings()); }
    void setEnvelopeTargets() noexcept;
    void writeEnvelopeGroup (int group) noexcept;
    void advanceEnvelopeSettings() noexcept;
    void catchUpIdleEnvelopes() noexcept;
    VoiceChain::Switches readChainSwitches() const noexcept;
    // Per chunk: shape, sync and rate; per sample only the rate and phase move.
    void updateLfoRate (float rateHz, float baseRateHz, float phaseDegrees) noexcept;
    void moveLfoRate (float rateHz, float baseRateHz, float phaseDegrees) noexcept;
    void clearSignalState() noexcept;
    void updateTargetNote() noexcept;
    void updateGlideCoefficient() noexcept;

    int renderChunk (juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept;
    void refreshChunkSettings() noexcept;

    static constexpr int stretchLength = VoiceChain::maxStretch; // base-rate samples per control and chain pass
    static_assert (stretchLength == VoiceSources::stretchLength);

    // `index` is the sample in the chunk, `at` the sample in the stretch.
    void computeBaseRateSample (int index, int at, ChainFrame& chain, SourceFrame& sources) noexcept;
    void computeVoiceSettings (SourceFrame& frame, int at) noexcept;
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

    void computeHeldStretch (int first, int count) noexcept;
    std::uint32_t computeHeldMatrix (size_t end, float lfoDepth) noexcept;
    const float* heldRow (ModDestination d, std::uint32_t summed) const noexcept;
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
    void writeOutput (juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept;
    void addOutputTail (juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept;

    juce::AudioProcessorValueTreeState& parameters;

    // The sources pass, and what the control pass reads of it: the switches' settings.
    VoiceSources voiceSources;
    const SourceSettings& sourceSettings = voiceSources.settings();
    OutputStage outputStage; // output DC blockers, mono-low side filter and note fade-in
    VoiceChain voiceChain;

    Envelope ampEnvelope, filterEnvelope, osc1DcwEnvelope, osc2DcwEnvelope;
    Lfo lfo;

    // The oversampler's filters, latency and 2x buffer; its way down runs as the decimator.
    HalfBandDecimator decimator;
    juce::dsp::Oversampling<float> oversampler {
        2, 1, juce::dsp::Oversampling<float>::filterHalfBandPolyphaseIIR, true, false
    };

    std::array<juce::SmoothedValue<float>, Smooth::count> smoothers;
    std::array<float, Smooth::count> smoothedNow {};
    std::array<std::uint8_t, Smooth::count> rampingSmoothers {};
    int numRampingSmoothers = 0;
    juce::SmoothedValue<float, juce::ValueSmoothingTypes::Multiplicative> cutoffSmoother { 20000.0f };

    std::array<std::atomic<float>*, Param::count> rawParameters {};
    std::array<std::array<std::atomic<float>*, 4>, numModSlots> slotParameters {};  // source, dest, amount, curve
    std::array<std::array<std::atomic<float>*, 4>, numEnvelopeGroups> envelopeParameters {};
    juce::NormalisableRange<float> lfoRateRange { 0.05f, 20.0f, 0.0f, 0.22767f };

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
    // Samples the voice has been silent, for the envelopes that carry on releasing meanwhile.
    std::int64_t idleSamples = 0;



    float reeseBeatPhase = 0.0f;

    // Settings read once per chunk.
    int detuneMode = 0;
    bool autoMakeup = false;
    float subPitchRatio = 0.5f;

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
    bool shortcutsAllowed = true;
    std::array<float, stretchLength> lfoValues {};
    bool lfoCanRender = false; // no slot moves the LFO's rate or depth
    // The envelopes' levels of a stretch taken at once, the same levels as tick by tick.
    std::array<std::array<float, stretchLength>, numEnvelopeGroups> envelopeLevels {};
    // What holds in this stretch, worked out once at its start.
    StretchPlan plan;
    StretchState stretchState() const noexcept;
    bool chainSettled = false; // plan.chainSettled, where the chain reads it
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
    // The chain's settings that a knob and the matrix set together, each held within 0..1 and
    // scaled: a row each, which every form of the chain's frames reads.
    struct ChainKnob
    {
        float ChainFrame::* field;
        Smooth::Id knob;
        ModDestination destination;
        float scale;

        float valueFrom (float knobValue, float sum) const noexcept
        {
            const auto value = std::clamp (knobValue + sum, 0.0f, 1.0f);
            return scale != 1.0f ? value * scale : value;
        }
    };
    static constexpr ChainKnob chainKnobs[] = {
        { &ChainFrame::resonance, Smooth::filterReso, ModDestination::resonance, 1.0f },
        { &ChainFrame::phaseMix, Smooth::phaseMix, ModDestination::phaseMix, 1.0f },
        { &ChainFrame::phaseNotch, Smooth::phaseNotch, ModDestination::phaseNotch, 1.0f },
        { &ChainFrame::feedbackAmount, Smooth::feedbackAmount, ModDestination::feedback, 0.35f },
    };
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
    std::array<float*, 2> oversampledChannels {}; // the oversampler's 2x buffer
    juce::AudioBuffer<float> decimated;
    int preparedBlockSize = 0, preparedChannels = 0;

    const float* waveGains = waveGainTable();

    JUCE_DECLARE_NON_COPYABLE (SynthEngine)
};

} // namespace quillon
