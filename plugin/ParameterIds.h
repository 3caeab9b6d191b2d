#pragma once

// Every parameter ID as a name the code can use, from the parameter table in the layout's order,
// so a misspelt ID fails to compile instead of finding no parameter.

#include "engine/ParameterTable.h"

namespace quillon::ids
{

#define QUILLON_DECLARE_ID(name, ...) inline constexpr char name[] = #name;
QUILLON_PARAMETERS (QUILLON_DECLARE_ID)
#undef QUILLON_DECLARE_ID

#define QUILLON_LIST_ID(name, ...) name,
inline constexpr const char* all[] = { QUILLON_PARAMETERS (QUILLON_LIST_ID) };
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
