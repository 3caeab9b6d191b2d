#pragma once

// Every parameter ID, named once. The layout in Parameters.cpp is built from these names and a
// test holds the two together, so a misspelt ID fails to compile instead of finding no parameter.

namespace quillon::ids
{

// In the layout's order.
#define QUILLON_PARAMETER_IDS(X) \
    X (osc1Wave) X (osc1DcwDepth) X (osc1DcwAttack) X (osc1DcwDecay) X (osc1DcwSustain) X (osc1DcwRelease) \
    X (osc1Level) X (osc1PulseWidth) X (osc1Semitone) X (osc1Fine) X (syncOsc1) \
    X (osc2Wave) X (osc2DcwDepth) X (osc2DcwAttack) X (osc2DcwDecay) X (osc2DcwSustain) X (osc2DcwRelease) \
    X (osc2Level) X (osc2Detune) X (osc2DetuneHz) X (detuneMode) X (osc2PhaseOffset) X (osc2PulseWidth) \
    X (osc2Semitone) X (osc2Fine) X (syncOsc2) X (oscDrift) \
    X (subMode) X (subWave) X (subOctave) X (subSemitone) X (subFine) X (subDcwDepth) X (subLevel) \
    X (subDriveSend) X (subRouting) \
    X (noiseLevel) X (noiseColour) X (noiseRouting) X (mode) \
    X (driveMix) X (drive) X (velToDrive) X (driveGain) X (driveAutoMakeup) X (driveMode) X (drivePosition) \
    X (feedbackAmount) X (feedbackTone) X (feedbackPosition) \
    X (filterEnabled) X (filterCutoff) X (filterReso) X (filterEnvAmount) X (velToFilterEnv) X (filterModel) \
    X (phaseMix) X (phaseStereo) X (phaseNotch) \
    X (filterAttack) X (filterDecay) X (filterSustain) X (filterRelease) \
    X (ampAttack) X (ampDecay) X (ampSustain) X (ampRelease) \
    X (glideTime) X (legato) X (phaseMode) X (stereoMode) X (stereoWidth) X (octave) \
    X (reeseBeat) X (reeseSpread) X (reeseLock) X (pdMorphAmount) X (monoLowEnabled) X (monoLowFreq) \
    X (outputGain) \
    X (lfo1Rate) X (lfo1Depth) X (lfo1Shape) X (lfo1Sync) X (lfoSyncBpm) X (lfo1Phase) X (lfo1Retrig) \
    X (mod1Source) X (mod1Dest) X (mod1Amount) X (matrix1Curve) \
    X (mod2Source) X (mod2Dest) X (mod2Amount) X (matrix2Curve) \
    X (mod3Source) X (mod3Dest) X (mod3Amount) X (matrix3Curve) \
    X (mod4Source) X (mod4Dest) X (mod4Amount) X (matrix4Curve)

#define QUILLON_DECLARE_ID(name) inline constexpr char name[] = #name;
QUILLON_PARAMETER_IDS (QUILLON_DECLARE_ID)
#undef QUILLON_DECLARE_ID

#define QUILLON_LIST_ID(name) name,
inline constexpr const char* all[] = { QUILLON_PARAMETER_IDS (QUILLON_LIST_ID) };
#undef QUILLON_LIST_ID

inline constexpr int count = (int) (sizeof (all) / sizeof (all[0]));

struct Envelope
{
    const char* attack;
    const char* decay;
    const char* sustain;
    const char* release;
};

inline constexpr Envelope osc1DcwEnvelope { osc1DcwAttack, osc1DcwDecay, osc1DcwSustain, osc1DcwRelease };
inline constexpr Envelope osc2DcwEnvelope { osc2DcwAttack, osc2DcwDecay, osc2DcwSustain, osc2DcwRelease };
inline constexpr Envelope filterEnvelope { filterAttack, filterDecay, filterSustain, filterRelease };
inline constexpr Envelope ampEnvelope { ampAttack, ampDecay, ampSustain, ampRelease };

struct Oscillator
{
    const char* wave;
    const char* dcwDepth;
    Envelope dcwEnvelope;
    const char* level;
    const char* pulseWidth;
    const char* semitone;
    const char* fine;
};

inline constexpr Oscillator oscillators[2] {
    { osc1Wave, osc1DcwDepth, osc1DcwEnvelope, osc1Level, osc1PulseWidth, osc1Semitone, osc1Fine },
    { osc2Wave, osc2DcwDepth, osc2DcwEnvelope, osc2Level, osc2PulseWidth, osc2Semitone, osc2Fine },
};

/** Oscillators are numbered from 1, as the cards show them; anything but 2 means oscillator 1. */
constexpr const Oscillator& oscillator (int index) { return oscillators[index == 2 ? 1 : 0]; }

struct ModSlot
{
    const char* source;
    const char* destination;
    const char* amount;
    const char* curve;
};

inline constexpr int numModSlots = 4;

inline constexpr ModSlot modSlots[numModSlots] {
    { mod1Source, mod1Dest, mod1Amount, matrix1Curve },
    { mod2Source, mod2Dest, mod2Amount, matrix2Curve },
    { mod3Source, mod3Dest, mod3Amount, matrix3Curve },
    { mod4Source, mod4Dest, mod4Amount, matrix4Curve },
};

/** Slots are numbered from 1, as the matrix shows them; out-of-range numbers are clamped. */
constexpr const ModSlot& modSlot (int slot)
{
    return modSlots[slot < 1 ? 0 : (slot > numModSlots ? numModSlots - 1 : slot - 1)];
}

} // namespace quillon::ids
