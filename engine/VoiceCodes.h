#pragma once

// The codes the voice's choice parameters store. The engine, the processor, the editor and the
// factory presets all read them; a choice list's item index is its code.

namespace quillon
{

// Each code with the name its choice list shows; a destination also with how far one unit of a
// slot's amount times its source moves it, in the destination's own unit.
#define QUILLON_MOD_SOURCES(X) \
    X (off, "off") X (velocity, "velocity") X (key, "key") X (modWheel, "mod wheel") X (aftertouch, "aftertouch") \
    X (lfo1, "lfo 1") X (dcwEnvOsc1, "dcw env osc 1") X (dcwEnvOsc2, "dcw env osc 2") X (filterEnv, "filter env") \
    X (ampEnv, "amp env") X (noteRandom, "note random") X (smoothRandom, "smooth random") X (beatPhase, "beat phase")

#define QUILLON_MOD_DESTINATIONS(X) \
    X (off, "off", 0.0f) \
    X (cutoff, "cutoff", 48.0f) /* semitones */ \
    X (drive, "drive", 24.0f) /* dB */ \
    X (amp, "amp", 1.0f) /* applied as a factor, not a sum */ \
    X (osc1Dcw, "osc1 dcw", 1.0f) \
    X (osc2Dcw, "osc2 dcw", 1.0f) \
    X (subLevel, "sub level", 60.0f) /* dB */ \
    X (pitch, "pitch", 48.0f) /* semitones */ \
    X (osc1Level, "osc1 level", 60.0f) /* dB */ \
    X (osc2Level, "osc2 level", 60.0f) /* dB */ \
    X (osc2Detune, "osc2 detune", 100.0f) /* cents */ \
    X (osc2DetuneHz, "osc2 detune hz", 20.0f) /* Hz */ \
    X (osc2Phase, "osc2 phase", 180.0f) /* degrees */ \
    X (subDcw, "sub dcw", 1.0f) \
    X (resonance, "resonance", 1.0f) \
    X (filterEnv, "filter env", 48.0f) /* semitones */ \
    X (drift, "drift", 1.0f) \
    X (lfo1Rate, "lfo1 rate", 20.0f) /* Hz */ \
    X (lfo1Depth, "lfo1 depth", 1.0f) \
    X (output, "output", 24.0f) /* dB */ \
    X (noiseLevel, "noise level", 60.0f) /* dB */ \
    X (osc1Pw, "osc1 pw", 0.45f) \
    X (osc2Pw, "osc2 pw", 0.45f) \
    X (pdMorph, "pd morph", 1.0f) \
    X (reeseBeat, "reese beat", 20.0f) /* Hz */ \
    X (reeseSpread, "reese spread", 1.0f) \
    X (phaseMix, "phase mix", 1.0f) \
    X (phaseNotch, "phase notch", 1.0f) \
    X (feedback, "feedback", 1.0f)

#define QUILLON_MOD_CURVES(X) X (lin, "lin") X (exp, "exp")

#define QUILLON_WAVE_SHAPES(X) \
    X (saw, "saw") X (square, "square") X (pulse, "pulse") X (sinepulse, "sinepulse") X (halfsine, "halfsine") \
    X (ressaw, "ressaw") X (restriangle, "restriangle") X (restrapezoid, "restrapezoid") X (pwm, "pwm") \
    X (respulse, "respulse")

#define QUILLON_FILTER_MODELS(X) X (ladder, "ladder") X (diode, "diode") X (state, "state") X (phase, "phase")

#define QUILLON_DRIVE_MODES(X) X (soft, "soft") X (diode, "diode") X (fold, "fold")

#define QUILLON_CODE_ENTRY(code, ...) code,
enum class ModSource { QUILLON_MOD_SOURCES (QUILLON_CODE_ENTRY) count };
enum class ModDestination { QUILLON_MOD_DESTINATIONS (QUILLON_CODE_ENTRY) count };
enum class ModCurve { QUILLON_MOD_CURVES (QUILLON_CODE_ENTRY) };
enum class WaveShape { QUILLON_WAVE_SHAPES (QUILLON_CODE_ENTRY) count };
enum class FilterModel { QUILLON_FILTER_MODELS (QUILLON_CODE_ENTRY) count };
enum class DriveMode { QUILLON_DRIVE_MODES (QUILLON_CODE_ENTRY) count };
#undef QUILLON_CODE_ENTRY

} // namespace quillon
