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

} // namespace voice_settings
