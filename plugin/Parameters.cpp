#include "plugin/Parameters.h"

#include <cmath>

namespace quillon
{

namespace choices
{
#define QUILLON_CHOICE_LIST(fn, ...) \
    const juce::StringArray& fn() { static const juce::StringArray list { __VA_ARGS__ }; return list; }

QUILLON_CHOICE_LIST (waves, "saw", "square", "pulse", "sinepulse", "halfsine", "ressaw", "restriangle",
                     "restrapezoid", "pwm", "respulse")
QUILLON_CHOICE_LIST (detuneMode, "cents", "hz")
QUILLON_CHOICE_LIST (subMode, "sine", "pd")
QUILLON_CHOICE_LIST (octave, "-2", "-1", "0", "+1", "+2")
QUILLON_CHOICE_LIST (routing, "pre drive", "post filter")
QUILLON_CHOICE_LIST (noiseColour, "white", "pink", "brown")
QUILLON_CHOICE_LIST (mode, "mix", "ring")
QUILLON_CHOICE_LIST (driveMode, "soft", "diode", "fold")
QUILLON_CHOICE_LIST (drivePosition, "pre filter", "post filter")
QUILLON_CHOICE_LIST (filterModel, "ladder", "diode", "state", "phase")
QUILLON_CHOICE_LIST (phaseMode, "free", "first", "per")
QUILLON_CHOICE_LIST (stereoMode, "wide", "mono")
QUILLON_CHOICE_LIST (lfoShape, "sine", "tri", "sqr", "s&h")
QUILLON_CHOICE_LIST (lfoSync, "free", "sync")
QUILLON_CHOICE_LIST (lfoRetrigger, "free", "retrig")
QUILLON_CHOICE_LIST (curves, "lin", "exp")
QUILLON_CHOICE_LIST (modSources, "off", "velocity", "key", "mod wheel", "aftertouch", "lfo 1",
                     "dcw env osc 1", "dcw env osc 2", "filter env", "amp env", "note random",
                     "smooth random", "beat phase")
QUILLON_CHOICE_LIST (modDestinations, "off", "cutoff", "drive", "amp", "osc1 dcw", "osc2 dcw", "sub level",
                     "pitch", "osc1 level", "osc2 level", "osc2 detune", "osc2 detune hz", "osc2 phase",
                     "sub dcw", "resonance", "filter env", "drift", "lfo1 rate", "lfo1 depth", "output",
                     "noise level", "osc1 pw", "osc2 pw", "pd morph", "reese beat", "reese spread",
                     "phase mix", "phase notch", "feedback")

#undef QUILLON_CHOICE_LIST
} // namespace choices

juce::NormalisableRange<float> makeCentredLogRange (float start, float end)
{
    float skew = 0.4f;

    if (start > 0.0f && end > 0.0f)
    {
        const auto geometricMean = std::sqrt (start * end);
        skew = (float) (std::log (0.5) / std::log ((geometricMean - start) / (end - start)));
    }

    return { start, end, 0.0f, skew };
}

namespace
{
using Layout = juce::AudioProcessorValueTreeState::ParameterLayout;

enum class Kind { linear, stepped, centredLog, choice, toggle };

struct Row
{
    const char* id;
    const char* name; // UTF-8
    Kind kind;
    float start = 0.0f, end = 1.0f;
    float defaultValue = 0.0f;
    const juce::StringArray& (*items)() = nullptr;
};

juce::String utf8 (const char* text) { return juce::String (juce::CharPointer_UTF8 (text)); }

void add (Layout& layout, const Row& row)
{
    const juce::ParameterID id { row.id, 1 };
    const auto name = utf8 (row.name);

    switch (row.kind)
    {
        case Kind::linear:
            layout.add (std::make_unique<juce::AudioParameterFloat> (
                id, name, juce::NormalisableRange<float> (row.start, row.end, 0.0f, 1.0f), row.defaultValue));
            break;
        case Kind::stepped:
            layout.add (std::make_unique<juce::AudioParameterFloat> (
                id, name, juce::NormalisableRange<float> (row.start, row.end, 1.0f, 1.0f), row.defaultValue));
            break;
        case Kind::centredLog:
            layout.add (std::make_unique<juce::AudioParameterFloat> (
                id, name, makeCentredLogRange (row.start, row.end), row.defaultValue));
            break;
        case Kind::choice:
            layout.add (std::make_unique<juce::AudioParameterChoice> (id, name, row.items(), (int) row.defaultValue));
            break;
        case Kind::toggle:
            layout.add (std::make_unique<juce::AudioParameterBool> (id, name, row.defaultValue > 0.5f));
            break;
    }
}

void addAll (Layout& layout, std::initializer_list<Row> rows)
{
    for (const auto& row : rows)
        add (layout, row);
}

Row lin (const char* id, const char* name, float start, float end, float def) { return { id, name, Kind::linear, start, end, def }; }
Row step (const char* id, const char* name, float start, float end, float def) { return { id, name, Kind::stepped, start, end, def }; }
Row clog (const char* id, const char* name, float start, float end, float def) { return { id, name, Kind::centredLog, start, end, def }; }
Row choice (const char* id, const char* name, const juce::StringArray& (*items)(), int def) { return { id, name, Kind::choice, 0, 0, (float) def, items }; }
Row toggle (const char* id, const char* name, bool def) { return { id, name, Kind::toggle, 0, 1, def ? 1.0f : 0.0f }; }
} // namespace

void addEnvelopeParameters (Layout& layout, const ids::Envelope& envelope, const juce::String& namePrefix,
                            float attack, float decay, float sustain, float release)
{
    const auto time = [] { return makeCentredLogRange (0.001f, 4.0f); };
    layout.add (std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { envelope.attack, 1 }, namePrefix + " attack", time(), attack));
    layout.add (std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { envelope.decay, 1 }, namePrefix + " decay", time(), decay));
    layout.add (std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { envelope.sustain, 1 }, namePrefix + " sustain",
                                                             juce::NormalisableRange<float> (0.0f, 1.0f), sustain));
    layout.add (std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { envelope.release, 1 }, namePrefix + " release", time(), release));
}

Layout createParameterLayout()
{
    using namespace choices;
    Layout layout;

    addAll (layout, { choice (ids::osc1Wave, "osc 1 wave", waves, 0),
                      lin (ids::osc1DcwDepth, "osc 1 dcw", 0, 1, 0) });
    addEnvelopeParameters (layout, ids::osc1DcwEnvelope, "osc 1 dcw", 0.005f, 0.5f, 0.8f, 0.3f);
    addAll (layout, { lin (ids::osc1Level, "osc 1 level", -60, 6, 0),
                      lin (ids::osc1PulseWidth, "osc 1 pw", 0.05f, 0.95f, 0.5f),
                      step (ids::osc1Semitone, "osc 1 semitone", -12, 12, 0),
                      step (ids::osc1Fine, "osc 1 fine", -50, 50, 0),
                      toggle (ids::syncOsc1, "osc 1 sync", false),
                      choice (ids::osc2Wave, "osc 2 wave", waves, 0),
                      lin (ids::osc2DcwDepth, "osc 2 dcw", 0, 1, 0) });
    addEnvelopeParameters (layout, ids::osc2DcwEnvelope, "osc 2 dcw", 0.005f, 0.5f, 0.8f, 0.3f);
    addAll (layout, { lin (ids::osc2Level, "osc 2 level", -60, 6, -60),
                      lin (ids::osc2Detune, "osc 2 detune", -100, 100, 0),
                      lin (ids::osc2DetuneHz, "osc 2 detune hz", -20, 20, 0),
                      choice (ids::detuneMode, "detune mode", detuneMode, 0),
                      lin (ids::osc2PhaseOffset, "osc 2 phase", -180, 180, 0),
                      lin (ids::osc2PulseWidth, "osc 2 pw", 0.05f, 0.95f, 0.5f),
                      step (ids::osc2Semitone, "osc 2 semitone", -12, 12, 0),
                      step (ids::osc2Fine, "osc 2 fine", -50, 50, 0),
                      toggle (ids::syncOsc2, "osc 2 sync", false),
                      lin (ids::oscDrift, "drift", 0, 1, 0),
                      choice (ids::subMode, "sub mode", subMode, 0),
                      choice (ids::subWave, "sub wave", waves, 0),
                      choice (ids::subOctave, "sub octave", octave, 1),
                      step (ids::subSemitone, "sub semitone", -12, 12, 0),
                      step (ids::subFine, "sub fine", -50, 50, 0),
                      lin (ids::subDcwDepth, "sub dcw", 0, 1, 0),
                      lin (ids::subLevel, "sub", -120, 0, -90),
                      lin (ids::subDriveSend, "sub drive send", 0, 1, 1),
                      choice (ids::subRouting, "sub routing", routing, 0),
                      lin (ids::noiseLevel, "noise level", -90, 0, -90),
                      choice (ids::noiseColour, "noise colour", noiseColour, 0),
                      lin (ids::noiseRouting, "noise routing", 0, 1, 0),
                      choice (ids::mode, "mode", mode, 0),
                      lin (ids::driveMix, "drive mix", 0, 1, 1),
                      lin (ids::drive, "drive", 0, 24, 0),
                      lin (ids::velToDrive, "vel\xe2\x86\x92" "drive", 0, 1, 0),
                      lin (ids::driveGain, "drive makeup", -12, 24, 0),
                      toggle (ids::driveAutoMakeup, "auto makeup", false),
                      choice (ids::driveMode, "drive mode", driveMode, 0),
                      choice (ids::drivePosition, "drive position", drivePosition, 0),
                      lin (ids::feedbackAmount, "feedback", 0, 1, 0),
                      clog (ids::feedbackTone, "feedback tone", 80, 12000, 2500),
                      choice (ids::feedbackPosition, "feedback position", routing, 0),
                      toggle (ids::filterEnabled, "filter enabled", true),
                      clog (ids::filterCutoff, "cutoff", 20, 20000, 20000),
                      lin (ids::filterReso, "resonance", 0, 1, 0),
                      lin (ids::filterEnvAmount, "env amount", -48, 48, 0),
                      lin (ids::velToFilterEnv, "vel\xe2\x86\x92" "filter", 0, 1, 0),
                      choice (ids::filterModel, "filter model", filterModel, 0),
                      lin (ids::phaseMix, "phase mix", 0, 1, 0.5f),
                      lin (ids::phaseStereo, "phase stereo", 0, 1, 0),
                      lin (ids::phaseNotch, "phase notch", 0, 1, 1) });
    addEnvelopeParameters (layout, ids::filterEnvelope, "filter", 0.005f, 0.5f, 0.6f, 0.3f);
    addEnvelopeParameters (layout, ids::ampEnvelope, "amp", 0.005f, 0.1f, 1.0f, 0.2f);
    addAll (layout, { clog (ids::glideTime, "glide", 0, 2, 0),
                      toggle (ids::legato, "legato", false),
                      choice (ids::phaseMode, "phase", phaseMode, 2),
                      choice (ids::stereoMode, "stereo", stereoMode, 1),
                      lin (ids::stereoWidth, "stereo width", 0, 1, 0),
                      choice (ids::octave, "octave", octave, 2),
                      lin (ids::reeseBeat, "beat", 0, 20, 0),
                      lin (ids::reeseSpread, "spread", 0, 1, 0),
                      toggle (ids::reeseLock, "lock", false),
                      lin (ids::pdMorphAmount, "pd morph", 0, 1, 0),
                      toggle (ids::monoLowEnabled, "mono low", true),
                      clog (ids::monoLowFreq, "mono low freq", 40, 300, 120),
                      lin (ids::outputGain, "output", -60, 6, -6),
                      clog (ids::lfo1Rate, "lfo 1 rate", 0.05f, 20, 1),
                      lin (ids::lfo1Depth, "lfo 1 depth", 0, 1, 0),
                      choice (ids::lfo1Shape, "lfo 1 shape", lfoShape, 0),
                      choice (ids::lfo1Sync, "lfo 1 sync", lfoSync, 0),
                      lin (ids::lfoSyncBpm, "sync bpm", 40, 240, 120),
                      lin (ids::lfo1Phase, "lfo 1 phase", -180, 180, 0),
                      choice (ids::lfo1Retrig, "lfo 1 retrig", lfoRetrigger, 0) });

    for (int slot = 1; slot <= ids::numModSlots; ++slot)
    {
        const juce::String n (slot);
        const auto& slotIds = ids::modSlot (slot);
        const bool first = slot == 1;
        layout.add (std::make_unique<juce::AudioParameterChoice> (juce::ParameterID { slotIds.source, 1 }, "mod " + n + " src",
                                                                  modSources(), first ? (int) ModSource::velocity : 0));
        layout.add (std::make_unique<juce::AudioParameterChoice> (juce::ParameterID { slotIds.destination, 1 }, "mod " + n + " dst",
                                                                  modDestinations(), first ? (int) ModDestination::amp : 0));
        layout.add (std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { slotIds.amount, 1 }, "mod " + n + " amt",
                                                                 juce::NormalisableRange<float> (-1.0f, 1.0f), first ? 0.5f : 0.0f));
        layout.add (std::make_unique<juce::AudioParameterChoice> (juce::ParameterID { slotIds.curve, 1 }, "mod " + n + " curve",
                                                                  curves(), 0));
    }

    return layout;
}

} // namespace quillon
