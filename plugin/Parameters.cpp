#include "plugin/Parameters.h"

#include <cmath>

namespace quillon
{

namespace choices
{
#define QUILLON_CHOICE_LIST(fn, ...) \
    const juce::StringArray& fn() { static const juce::StringArray list { __VA_ARGS__ }; return list; }

QUILLON_CHOICE_LIST (detuneMode, "cents", "hz")
QUILLON_CHOICE_LIST (subMode, "sine", "pd")
QUILLON_CHOICE_LIST (octave, "-2", "-1", "0", "+1", "+2")
QUILLON_CHOICE_LIST (routing, "pre drive", "post filter")
QUILLON_CHOICE_LIST (noiseColour, "white", "pink", "brown")
QUILLON_CHOICE_LIST (mode, "mix", "ring")
QUILLON_CHOICE_LIST (drivePosition, "pre filter", "post filter")
QUILLON_CHOICE_LIST (phaseMode, "free", "first", "per")
QUILLON_CHOICE_LIST (stereoMode, "wide", "mono")
QUILLON_CHOICE_LIST (lfoShape, "sine", "tri", "sqr", "s&h")
QUILLON_CHOICE_LIST (lfoSync, "free", "sync")
QUILLON_CHOICE_LIST (lfoRetrigger, "free", "retrig")

// The lists whose codes are named in engine/VoiceCodes.h take their items from there.
#define QUILLON_CODE_NAME(code, name) name,
#define QUILLON_DESTINATION_NAME(code, name, scale) name,
QUILLON_CHOICE_LIST (waves, QUILLON_WAVE_SHAPES (QUILLON_CODE_NAME))
QUILLON_CHOICE_LIST (driveMode, QUILLON_DRIVE_MODES (QUILLON_CODE_NAME))
QUILLON_CHOICE_LIST (filterModel, QUILLON_FILTER_MODELS (QUILLON_CODE_NAME))
QUILLON_CHOICE_LIST (curves, QUILLON_MOD_CURVES (QUILLON_CODE_NAME))
QUILLON_CHOICE_LIST (modSources, QUILLON_MOD_SOURCES (QUILLON_CODE_NAME))
QUILLON_CHOICE_LIST (modDestinations, QUILLON_MOD_DESTINATIONS (QUILLON_DESTINATION_NAME))
#undef QUILLON_DESTINATION_NAME
#undef QUILLON_CODE_NAME

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

Row lin (const char* id, const char* name, float start, float end, float def) { return { id, name, Kind::linear, start, end, def }; }
Row step (const char* id, const char* name, float start, float end, float def) { return { id, name, Kind::stepped, start, end, def }; }
Row clog (const char* id, const char* name, float start, float end, float def) { return { id, name, Kind::centredLog, start, end, def }; }
Row choice (const char* id, const char* name, const juce::StringArray& (*items)(), int def) { return { id, name, Kind::choice, 0, 0, (float) def, items }; }
template <class Code>
Row choice (const char* id, const char* name, const juce::StringArray& (*items)(), Code def) { return choice (id, name, items, (int) def); }
Row toggle (const char* id, const char* name, bool def) { return { id, name, Kind::toggle, 0, 1, def ? 1.0f : 0.0f }; }
} // namespace

Layout createParameterLayout()
{
    using namespace choices;
    Layout layout;

   #define QUILLON_LAYOUT_ROW(id, kind, name, ...) add (layout, kind (ids::id, name, __VA_ARGS__));
    QUILLON_PARAMETERS (QUILLON_LAYOUT_ROW)
   #undef QUILLON_LAYOUT_ROW

    return layout;
}

} // namespace quillon
