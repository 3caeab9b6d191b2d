#pragma once

// The codes the voice's choice parameters store. The engine, the processor, the editor and the
// factory presets all read them; a choice list's item index is its code.

namespace quillon
{

enum class ModSource
{
    off, velocity, key, modWheel, aftertouch, lfo1, dcwEnvOsc1, dcwEnvOsc2,
    filterEnv, ampEnv, noteRandom, smoothRandom, beatPhase, count
};

enum class ModDestination
{
    off, cutoff, drive, amp, osc1Dcw, osc2Dcw, subLevel, pitch, osc1Level, osc2Level,
    osc2Detune, osc2DetuneHz, osc2Phase, subDcw, resonance, filterEnv, drift, lfo1Rate,
    lfo1Depth, output, noiseLevel, osc1Pw, osc2Pw, pdMorph, reeseBeat, reeseSpread,
    phaseMix, phaseNotch, feedback, count
};

enum class ModCurve { lin, exp };

enum class WaveShape
{
    saw, square, pulse, sinepulse, halfsine, ressaw, restriangle, restrapezoid, pwm, respulse, count
};

enum class FilterModel { ladder, diode, state, phase, count };

enum class DriveMode { soft, diode, fold, count };

} // namespace quillon
