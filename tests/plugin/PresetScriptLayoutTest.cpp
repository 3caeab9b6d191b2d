// tools/presets.py writes the factory presets from the defaults it reads out of the parameter table
// and from its own value codes; these tests hold what it reads and its codes to the layout the
// program builds, so a preset can never store a value the instrument reads differently or clamps.
#include "plugin/Parameters.h"
#include "support/InertProcessor.h"

#include <gtest/gtest.h>

#include <map>

namespace
{
struct LayoutHolder : quillon::test::InertProcessor
{
    LayoutHolder() : state (*this, nullptr, "PARAMS", quillon::createParameterLayout()) {}
    juce::AudioProcessorValueTreeState state;
};

// Runs the script as a module (its main() stays unrun) and prints what it knows as JSON.
const char* const dumpScript = R"(
import json, runpy, sys
m = runpy.run_path(sys.argv[1], run_name="layout_dump")
codes = {k: v for k, v in m.items() if k.isupper() and isinstance(v, int) and not isinstance(v, bool)}
presets = [[f, values] for _, _, ps in m["CATEGORIES"] for f, _, _, _, values in ps]
print(json.dumps({"layout": m["LAYOUT"], "codes": codes, "presets": presets, "outputGain": m["OUTPUT_GAIN"]}))
)";

juce::var dumpPresetScript()
{
    const auto script = juce::File (QUILLON_SOURCE_DIR).getChildFile ("tools/presets.py");
    juce::ChildProcess python;

    if (! python.start (juce::StringArray { "python3", "-c", dumpScript, script.getFullPathName() }))
        return {};

    const auto output = python.readAllProcessOutput();
    python.waitForProcessToFinish (30000);
    return juce::JSON::parse (output);
}

class PresetScript : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { dump = new juce::var (dumpPresetScript()); }
    static void TearDownTestSuite() { delete dump; dump = nullptr; }

    void SetUp() override { ASSERT_TRUE (dump->isObject()) << "tools/presets.py could not be read with python3"; }

    juce::RangedAudioParameter* param (const juce::String& id) { return holder.state.getParameter (id); }

    static juce::var* dump;
    LayoutHolder holder;
};

juce::var* PresetScript::dump = nullptr;

// The value the script writes for a parameter, in the parameter's own units.
float defaultOf (juce::RangedAudioParameter& p) { return p.convertFrom0to1 (p.getDefaultValue()); }
} // namespace

TEST_F (PresetScript, LayoutHasTheProgramsIdsInOrderWithItsDefaults)
{
    const auto* layout = (*dump)["layout"].getArray();
    ASSERT_NE (layout, nullptr);
    ASSERT_EQ (layout->size(), quillon::ids::count);

    for (int i = 0; i < quillon::ids::count; ++i)
    {
        const auto id = (*layout)[i][0].toString();
        const auto scriptDefault = (float) (double) (*layout)[i][1];
        EXPECT_EQ (id, quillon::ids::all[i]) << "at position " << i;

        if (auto* p = param (id); p != nullptr)
        {
            EXPECT_NEAR (scriptDefault, defaultOf (*p), 1.0e-4f * juce::jmax (1.0f, std::abs (defaultOf (*p)))) << id;
        }
    }
}

TEST_F (PresetScript, ValueCodesNameTheSameChoiceItems)
{
    using namespace quillon::choices;
    struct Code { const char* list; const juce::StringArray& items; const char* item; };
    const std::map<juce::String, Code> expected {
        { "SAW", { "waves", waves(), "saw" } }, { "SQUARE", { "waves", waves(), "square" } },
        { "PULSE", { "waves", waves(), "pulse" } }, { "SINEPULSE", { "waves", waves(), "sinepulse" } },
        { "HALFSINE", { "waves", waves(), "halfsine" } }, { "RESSAW", { "waves", waves(), "ressaw" } },
        { "RESTRI", { "waves", waves(), "restriangle" } }, { "RESTRAP", { "waves", waves(), "restrapezoid" } },
        { "PWM", { "waves", waves(), "pwm" } }, { "RESPULSE", { "waves", waves(), "respulse" } },
        { "LADDER", { "filter models", filterModel(), "ladder" } }, { "DIODE", { "filter models", filterModel(), "diode" } },
        { "STATE", { "filter models", filterModel(), "state" } }, { "PHASE", { "filter models", filterModel(), "phase" } },
        { "SOFT", { "drive modes", driveMode(), "soft" } }, { "DIODE_DRIVE", { "drive modes", driveMode(), "diode" } },
        { "FOLD", { "drive modes", driveMode(), "fold" } },
        { "WHITE", { "noise colours", noiseColour(), "white" } }, { "PINK", { "noise colours", noiseColour(), "pink" } },
        { "BROWN", { "noise colours", noiseColour(), "brown" } },
        { "SINE_LFO", { "lfo shapes", lfoShape(), "sine" } }, { "TRI", { "lfo shapes", lfoShape(), "tri" } },
        { "SQR", { "lfo shapes", lfoShape(), "sqr" } }, { "SH", { "lfo shapes", lfoShape(), "s&h" } },
        { "VEL", { "sources", modSources(), "velocity" } }, { "KEY", { "sources", modSources(), "key" } },
        { "MODWHEEL", { "sources", modSources(), "mod wheel" } }, { "AFTERTOUCH", { "sources", modSources(), "aftertouch" } },
        { "LFO", { "sources", modSources(), "lfo 1" } }, { "DCW1", { "sources", modSources(), "dcw env osc 1" } },
        { "DCW2", { "sources", modSources(), "dcw env osc 2" } }, { "FENV", { "sources", modSources(), "filter env" } },
        { "AENV", { "sources", modSources(), "amp env" } }, { "NRAND", { "sources", modSources(), "note random" } },
        { "SRAND", { "sources", modSources(), "smooth random" } }, { "BEAT", { "sources", modSources(), "beat phase" } },
        { "D_CUTOFF", { "destinations", modDestinations(), "cutoff" } }, { "D_DRIVE", { "destinations", modDestinations(), "drive" } },
        { "D_AMP", { "destinations", modDestinations(), "amp" } }, { "D_DCW1", { "destinations", modDestinations(), "osc1 dcw" } },
        { "D_DCW2", { "destinations", modDestinations(), "osc2 dcw" } }, { "D_SUB", { "destinations", modDestinations(), "sub level" } },
        { "D_PITCH", { "destinations", modDestinations(), "pitch" } }, { "D_DETUNE", { "destinations", modDestinations(), "osc2 detune" } },
        { "D_PHASE2", { "destinations", modDestinations(), "osc2 phase" } }, { "D_RESO", { "destinations", modDestinations(), "resonance" } },
        { "D_DRIFT", { "destinations", modDestinations(), "drift" } }, { "D_LFORATE", { "destinations", modDestinations(), "lfo1 rate" } },
        { "D_NOISE", { "destinations", modDestinations(), "noise level" } }, { "D_PW1", { "destinations", modDestinations(), "osc1 pw" } },
        { "D_PW2", { "destinations", modDestinations(), "osc2 pw" } }, { "D_MORPH", { "destinations", modDestinations(), "pd morph" } },
        { "D_BEAT", { "destinations", modDestinations(), "reese beat" } }, { "D_SPREAD", { "destinations", modDestinations(), "reese spread" } },
        { "D_PHASEMIX", { "destinations", modDestinations(), "phase mix" } }, { "D_NOTCH", { "destinations", modDestinations(), "phase notch" } },
        { "D_FEEDBACK", { "destinations", modDestinations(), "feedback" } },
    };

    auto* codes = (*dump)["codes"].getDynamicObject();
    ASSERT_NE (codes, nullptr);

    for (const auto& property : codes->getProperties())
    {
        const auto name = property.name.toString();
        const auto found = expected.find (name);
        if (found == expected.end())
        {
            ADD_FAILURE() << "the script's code " << name << " is not checked here";
            continue;
        }

        const auto& code = found->second;
        EXPECT_EQ ((int) property.value, code.items.indexOf (code.item))
            << name << " should be \"" << code.item << "\" of the " << code.list;
    }

    EXPECT_EQ (codes->getProperties().size(), (int) expected.size());
}

TEST_F (PresetScript, EveryPresetValueIsInsideItsParametersRange)
{
    const auto* presets = (*dump)["presets"].getArray();
    ASSERT_NE (presets, nullptr);
    EXPECT_GT (presets->size(), 60);

    const auto check = [this] (const juce::String& file, const juce::String& id, const juce::var& value)
    {
        auto* p = param (id);
        ASSERT_NE (p, nullptr) << file << ": " << id << " is no parameter";
        const auto v = (float) (double) value;
        const auto& range = p->getNormalisableRange();
        EXPECT_TRUE (v >= range.start && v <= range.end) << file << ": " << id << " = " << v << " lies outside "
                                                          << range.start << ".." << range.end;

        if (dynamic_cast<juce::AudioParameterChoice*> (p) != nullptr || dynamic_cast<juce::AudioParameterBool*> (p) != nullptr)
        {
            EXPECT_EQ (v, std::round (v)) << file << ": " << id << " takes whole codes";
        }
    };

    for (const auto& preset : *presets)
    {
        const auto file = preset[0].toString();
        if (auto* values = preset[1].getDynamicObject())
            for (const auto& property : values->getProperties())
                check (file, property.name.toString(), property.value);
    }

    if (auto* gains = (*dump)["outputGain"].getDynamicObject())
        for (const auto& property : gains->getProperties())
            check (property.name.toString(), quillon::ids::outputGain, property.value);
}
