#pragma once

// The settings the benchmarks measure, shared with the test that holds the fast voice to the exact
// one, so that what is timed is also what is checked.
#include <utility>
#include <vector>

namespace voice_settings
{

using Settings = std::vector<std::pair<const char*, float>>;

// Both oscillators with DCW envelopes, the LFO and all four matrix slots at work.
inline const Settings busy {
    { "osc1Wave", 5.0f }, { "osc1DcwDepth", 0.8f }, { "osc1DcwAttack", 0.3f }, { "osc1DcwDecay", 1.5f },
    { "osc2Wave", 2.0f }, { "osc2Level", -3.0f }, { "osc2Detune", 14.0f }, { "osc2DcwDepth", 0.7f },
    { "osc2DcwAttack", 0.4f }, { "osc2DcwDecay", 2.0f }, { "reeseSpread", 0.5f }, { "reeseBeat", 1.5f },
    { "pdMorphAmount", 0.25f }, { "oscDrift", 0.4f }, { "syncOsc2", 1.0f },
    { "subLevel", -6.0f }, { "subMode", 1.0f }, { "subDcwDepth", 0.4f },
    { "lfo1Depth", 0.8f }, { "lfo1Rate", 3.0f },
    { "mod1Source", 1.0f }, { "mod1Dest", 3.0f }, { "mod1Amount", 0.5f },   // velocity -> amp
    { "mod2Source", 5.0f }, { "mod2Dest", 7.0f }, { "mod2Amount", 0.01f },  // lfo -> pitch
    { "mod3Source", 5.0f }, { "mod3Dest", 4.0f }, { "mod3Amount", 0.3f },   // lfo -> osc1 dcw
    { "mod4Source", 11.0f }, { "mod4Dest", 22.0f }, { "mod4Amount", 0.4f }, // smooth random -> osc2 pw
};

// Everything at once, each part at its most expensive: the busy setting plus hard sync, morph and
// drift; noise both before and after the filter; the diode drive with feedback; the phase stage
// with stereo offset and resonance, its cutoff moved every sample by the filter envelope and the
// LFO; mono-low. Later entries override the busy setting's.
inline Settings busiest()
{
    auto settings = busy;
    settings.insert (settings.end(), {
        { "noiseLevel", -24.0f }, { "noiseColour", 1.0f }, { "noiseRouting", 0.5f },
        { "drive", 12.0f }, { "driveMode", 1.0f }, { "driveAutoMakeup", 1.0f }, { "driveMix", 0.8f },
        { "feedbackAmount", 0.5f }, { "feedbackTone", 3000.0f },
        { "filterModel", 3.0f }, { "filterCutoff", 800.0f }, { "filterReso", 0.6f }, { "filterEnvAmount", 24.0f },
        { "filterDecay", 3.0f }, { "filterSustain", 0.3f }, { "phaseStereo", 0.5f }, { "phaseMix", 0.7f },
        { "stereoWidth", 0.3f },
        { "mod1Source", 5.0f }, { "mod1Dest", 1.0f }, { "mod1Amount", 0.2f },   // lfo -> cutoff
        { "mod4Source", 11.0f }, { "mod4Dest", 2.0f }, { "mod4Amount", 0.3f },  // smooth random -> drive
    });
    return settings;
}

// The most expensive corners of the voice, each at work at once, named.
struct Stress
{
    const char* name;
    Settings settings;
};

inline const std::vector<Stress>& stressSettings()
{
    static const std::vector<Stress> list {
        { "busy", busy },
        { "busiest", busiest() },
        // A fast filter sweep and a moving phase stage without resonance: the coefficients must follow.
        { "sweeps", { { "osc1Wave", 0.0f }, { "osc1DcwDepth", 1.0f }, { "filterCutoff", 200.0f },
                      { "filterEnvAmount", 48.0f }, { "filterAttack", 0.0f }, { "filterDecay", 0.15f },
                      { "filterSustain", 0.0f }, { "mod1Source", 5.0f }, { "mod1Dest", 1.0f }, { "mod1Amount", 0.3f },
                      { "lfo1Rate", 8.0f }, { "lfo1Depth", 1.0f }, { "phaseStereo", 1.0f } } },
        { "phaseSweep", { { "osc1Wave", 3.0f }, { "filterModel", 3.0f }, { "filterCutoff", 300.0f },
                          { "filterEnvAmount", 36.0f }, { "filterDecay", 0.4f }, { "filterSustain", 0.2f },
                          { "phaseStereo", 0.7f }, { "phaseMix", 0.5f } } },
        // The fold and soft curves hard at work, ring mode, pulse-width and pitch modulation.
        { "foldRing", { { "drive", 24.0f }, { "driveMode", 2.0f }, { "mode", 1.0f }, { "osc2Level", 0.0f },
                        { "osc2Wave", 8.0f }, { "osc2Semitone", 7.0f }, { "osc2Fine", 13.0f },
                        { "mod2Source", 5.0f }, { "mod2Dest", 22.0f }, { "mod2Amount", 0.8f },
                        { "mod3Source", 5.0f }, { "mod3Dest", 7.0f }, { "mod3Amount", 0.05f }, { "lfo1Rate", 5.0f } } },
        { "softDrift", { { "drive", 18.0f }, { "driveMode", 0.0f }, { "oscDrift", 1.0f }, { "osc1Semitone", -12.0f },
                         { "osc2Level", -6.0f }, { "detuneMode", 1.0f }, { "osc2DetuneHz", 3.0f },
                         { "subLevel", 0.0f }, { "subOctave", 0.0f }, { "noiseLevel", -30.0f }, { "noiseColour", 2.0f } } },
        // A singing ladder and a diode with feedback: the loops that amplify small differences.
        { "selfOscillation", { { "filterModel", 0.0f }, { "filterCutoff", 400.0f }, { "filterReso", 1.0f },
                               { "filterEnvAmount", 24.0f }, { "filterDecay", 0.8f } } },
        { "diodeFeedback", { { "filterModel", 1.0f }, { "filterReso", 0.8f }, { "filterCutoff", 1200.0f },
                             { "drive", 20.0f }, { "driveMode", 1.0f }, { "feedbackAmount", 1.0f },
                             { "feedbackPosition", 1.0f }, { "glideTime", 0.3f } } },
    };
    return list;
}

} // namespace voice_settings
