#pragma once

// The codes the voice's choice parameters store. The engine, the processor, the editor and the
// factory presets all read them; a choice list's item index is its code.

namespace quillon
{

// Each code with the name its choice list shows.
#define QUILLON_MOD_SOURCES(X) \
    X (off, "off") X (velocity, "velocity") X (key, "key") X (modWheel, "mod wheel") X (aftertouch, "aftertouch") \
    X (lfo1, "lfo 1") X (dcwEnvOsc1, "dcw env osc 1") X (dcwEnvOsc2, "dcw env osc 2") X (filterEnv, "filter env") \
    X (ampEnv, "amp env") X (noteRandom, "note random") X (smoothRandom, "smooth random") X (beatPhase, "beat phase")

#define QUILLON_MOD_DESTINATIONS(X) \
    X (off, "off") X (cutoff, "cutoff") X (drive, "drive") X (amp, "amp") X (osc1Dcw, "osc1 dcw") \
    X (osc2Dcw, "osc2 dcw") X (subLevel, "sub level") X (pitch, "pitch") X (osc1Level, "osc1 level") \
    X (osc2Level, "osc2 level") X (osc2Detune, "osc2 detune") X (osc2DetuneHz, "osc2 detune hz") \
    X (osc2Phase, "osc2 phase") X (subDcw, "sub dcw") X (resonance, "resonance") X (filterEnv, "filter env") \
    X (drift, "drift") X (lfo1Rate, "lfo1 rate") X (lfo1Depth, "lfo1 depth") X (output, "output") \
    X (noiseLevel, "noise level") X (osc1Pw, "osc1 pw") X (osc2Pw, "osc2 pw") X (pdMorph, "pd morph") \
    X (reeseBeat, "reese beat") X (reeseSpread, "reese spread") X (phaseMix, "phase mix") \
    X (phaseNotch, "phase notch") X (feedback, "feedback")

#define QUILLON_MOD_CURVES(X) X (lin, "lin") X (exp, "exp")

#define QUILLON_WAVE_SHAPES(X) \
    X (saw, "saw") X (square, "square") X (pulse, "pulse") X (sinepulse, "sinepulse") X (halfsine, "halfsine") \
    X (ressaw, "ressaw") X (restriangle, "restriangle") X (restrapezoid, "restrapezoid") X (pwm, "pwm") \
    X (respulse, "respulse")

#define QUILLON_FILTER_MODELS(X) X (ladder, "ladder") X (diode, "diode") X (state, "state") X (phase, "phase")

#define QUILLON_DRIVE_MODES(X) X (soft, "soft") X (diode, "diode") X (fold, "fold")

#define QUILLON_CODE_ENTRY(code, name) code,
enum class ModSource { QUILLON_MOD_SOURCES (QUILLON_CODE_ENTRY) count };
enum class ModDestination { QUILLON_MOD_DESTINATIONS (QUILLON_CODE_ENTRY) count };
enum class ModCurve { QUILLON_MOD_CURVES (QUILLON_CODE_ENTRY) };
enum class WaveShape { QUILLON_WAVE_SHAPES (QUILLON_CODE_ENTRY) count };
enum class FilterModel { QUILLON_FILTER_MODELS (QUILLON_CODE_ENTRY) count };
enum class DriveMode { QUILLON_DRIVE_MODES (QUILLON_CODE_ENTRY) count };
#undef QUILLON_CODE_ENTRY

} // namespace quillon
