#pragma once

// Every parameter of the instrument, once, in the order hosts number them: its ID (also its key
// in saved states and presets), how its knob runs, its name, and its range and default in the
// units the voice reads. The plug-in builds its layout from this table (plugin/Parameters.cpp),
// the voice binds to it by the same names (engine/control/VoiceParameters.h), and the preset tool
// reads its defaults from it (tools/presets.py). Kinds:
//   lin (start, end, default)      a straight range
//   step (start, end, default)     whole steps
//   clog (start, end, default)     the geometric mean at the middle of the knob's travel
//   choice (items, default code)   a choice list; an item's index is the code it stores
//   toggle (default)               on or off
// An ID is never renamed: hosts' automation and saved states know it.

#define QUILLON_PARAMETERS(X) \
    X (osc1Wave, choice, "osc 1 wave", waves, 0) \
    X (osc1DcwDepth, lin, "osc 1 dcw", 0, 1, 0) \
    X (osc1DcwAttack, clog, "osc 1 dcw attack", 0.001f, 4, 0.005f) \
    X (osc1DcwDecay, clog, "osc 1 dcw decay", 0.001f, 4, 0.5f) \
    X (osc1DcwSustain, lin, "osc 1 dcw sustain", 0, 1, 0.8f) \
    X (osc1DcwRelease, clog, "osc 1 dcw release", 0.001f, 4, 0.3f) \
    X (osc1Level, lin, "osc 1 level", -60, 6, 0) \
    X (osc1PulseWidth, lin, "osc 1 pw", 0.05f, 0.95f, 0.5f) \
    X (osc1Semitone, step, "osc 1 semitone", -12, 12, 0) \
    X (osc1Fine, step, "osc 1 fine", -50, 50, 0) \
    X (syncOsc1, toggle, "osc 1 sync", false) \
    X (osc2Wave, choice, "osc 2 wave", waves, 0) \
    X (osc2DcwDepth, lin, "osc 2 dcw", 0, 1, 0) \
    X (osc2DcwAttack, clog, "osc 2 dcw attack", 0.001f, 4, 0.005f) \
    X (osc2DcwDecay, clog, "osc 2 dcw decay", 0.001f, 4, 0.5f) \
    X (osc2DcwSustain, lin, "osc 2 dcw sustain", 0, 1, 0.8f) \
    X (osc2DcwRelease, clog, "osc 2 dcw release", 0.001f, 4, 0.3f) \
    X (osc2Level, lin, "osc 2 level", -60, 6, -60) \
    X (osc2Detune, lin, "osc 2 detune", -100, 100, 0) \
    X (osc2DetuneHz, lin, "osc 2 detune hz", -20, 20, 0) \
    X (detuneMode, choice, "detune mode", detuneMode, 0) \
    X (osc2PhaseOffset, lin, "osc 2 phase", -180, 180, 0) \
    X (osc2PulseWidth, lin, "osc 2 pw", 0.05f, 0.95f, 0.5f) \
    X (osc2Semitone, step, "osc 2 semitone", -12, 12, 0) \
    X (osc2Fine, step, "osc 2 fine", -50, 50, 0) \
    X (syncOsc2, toggle, "osc 2 sync", false) \
    X (oscDrift, lin, "drift", 0, 1, 0) \
    X (subMode, choice, "sub mode", subMode, 0) \
    X (subWave, choice, "sub wave", waves, 0) \
    X (subOctave, choice, "sub octave", octave, 1) \
    X (subSemitone, step, "sub semitone", -12, 12, 0) \
    X (subFine, step, "sub fine", -50, 50, 0) \
    X (subDcwDepth, lin, "sub dcw", 0, 1, 0) \
    X (subLevel, lin, "sub", -120, 0, -90) \
    X (subDriveSend, lin, "sub drive send", 0, 1, 1) \
    X (subRouting, choice, "sub routing", routing, 0) \
    X (noiseLevel, lin, "noise level", -90, 0, -90) \
    X (noiseColour, choice, "noise colour", noiseColour, 0) \
    X (noiseRouting, lin, "noise routing", 0, 1, 0) \
    X (mode, choice, "mode", mode, 0) \
    X (driveMix, lin, "drive mix", 0, 1, 1) \
    X (drive, lin, "drive", 0, 24, 0) \
    X (velToDrive, lin, "vel\xe2\x86\x92" "drive", 0, 1, 0) \
    X (driveGain, lin, "drive makeup", -12, 24, 0) \
    X (driveAutoMakeup, toggle, "auto makeup", false) \
    X (driveMode, choice, "drive mode", driveMode, 0) \
    X (drivePosition, choice, "drive position", drivePosition, 0) \
    X (feedbackAmount, lin, "feedback", 0, 1, 0) \
    X (feedbackTone, clog, "feedback tone", 80, 12000, 2500) \
    X (feedbackPosition, choice, "feedback position", routing, 0) \
    X (filterEnabled, toggle, "filter enabled", true) \
    X (filterCutoff, clog, "cutoff", 20, 20000, 20000) \
    X (filterReso, lin, "resonance", 0, 1, 0) \
    X (filterEnvAmount, lin, "env amount", -48, 48, 0) \
    X (velToFilterEnv, lin, "vel\xe2\x86\x92" "filter", 0, 1, 0) \
    X (filterModel, choice, "filter model", filterModel, 0) \
    X (phaseMix, lin, "phase mix", 0, 1, 0.5f) \
    X (phaseStereo, lin, "phase stereo", 0, 1, 0) \
    X (phaseNotch, lin, "phase notch", 0, 1, 1) \
    X (filterAttack, clog, "filter attack", 0.001f, 4, 0.005f) \
    X (filterDecay, clog, "filter decay", 0.001f, 4, 0.5f) \
    X (filterSustain, lin, "filter sustain", 0, 1, 0.6f) \
    X (filterRelease, clog, "filter release", 0.001f, 4, 0.3f) \
    X (ampAttack, clog, "amp attack", 0.001f, 4, 0.005f) \
    X (ampDecay, clog, "amp decay", 0.001f, 4, 0.1f) \
    X (ampSustain, lin, "amp sustain", 0, 1, 1.0f) \
    X (ampRelease, clog, "amp release", 0.001f, 4, 0.2f) \
    X (glideTime, clog, "glide", 0, 2, 0) \
    X (legato, toggle, "legato", false) \
    X (phaseMode, choice, "phase", phaseMode, 2) \
    X (stereoMode, choice, "stereo", stereoMode, 1) \
    X (stereoWidth, lin, "stereo width", 0, 1, 0) \
    X (octave, choice, "octave", octave, 2) \
    X (reeseBeat, lin, "beat", 0, 20, 0) \
    X (reeseSpread, lin, "spread", 0, 1, 0) \
    X (reeseLock, toggle, "lock", false) \
    X (pdMorphAmount, lin, "pd morph", 0, 1, 0) \
    X (monoLowEnabled, toggle, "mono low", true) \
    X (monoLowFreq, clog, "mono low freq", 40, 300, 120) \
    X (outputGain, lin, "output", -60, 6, -6) \
    X (lfo1Rate, clog, "lfo 1 rate", 0.05f, 20, 1) \
    X (lfo1Depth, lin, "lfo 1 depth", 0, 1, 0) \
    X (lfo1Shape, choice, "lfo 1 shape", lfoShape, 0) \
    X (lfo1Sync, choice, "lfo 1 sync", lfoSync, 0) \
    X (lfoSyncBpm, lin, "sync bpm", 40, 240, 120) \
    X (lfo1Phase, lin, "lfo 1 phase", -180, 180, 0) \
    X (lfo1Retrig, choice, "lfo 1 retrig", lfoRetrigger, 0) \
    X (mod1Source, choice, "mod 1 src", modSources, ModSource::velocity) \
    X (mod1Dest, choice, "mod 1 dst", modDestinations, ModDestination::amp) \
    X (mod1Amount, lin, "mod 1 amt", -1, 1, 0.5f) \
    X (matrix1Curve, choice, "mod 1 curve", curves, 0) \
    X (mod2Source, choice, "mod 2 src", modSources, ModSource::off) \
    X (mod2Dest, choice, "mod 2 dst", modDestinations, ModDestination::off) \
    X (mod2Amount, lin, "mod 2 amt", -1, 1, 0) \
    X (matrix2Curve, choice, "mod 2 curve", curves, 0) \
    X (mod3Source, choice, "mod 3 src", modSources, ModSource::off) \
    X (mod3Dest, choice, "mod 3 dst", modDestinations, ModDestination::off) \
    X (mod3Amount, lin, "mod 3 amt", -1, 1, 0) \
    X (matrix3Curve, choice, "mod 3 curve", curves, 0) \
    X (mod4Source, choice, "mod 4 src", modSources, ModSource::off) \
    X (mod4Dest, choice, "mod 4 dst", modDestinations, ModDestination::off) \
    X (mod4Amount, lin, "mod 4 amt", -1, 1, 0) \
    X (matrix4Curve, choice, "mod 4 curve", curves, 0)
