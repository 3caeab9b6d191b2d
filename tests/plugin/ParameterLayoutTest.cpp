#include "plugin/Parameters.h"
#include "support/InertProcessor.h"

#include <gtest/gtest.h>

#include <set>

namespace
{
// A bare processor holding only the layout, so the values checked are the layout's own defaults
// rather than the init preset's.
struct LayoutHolder : quillon::test::InertProcessor
{
    LayoutHolder() : state (*this, nullptr, "PARAMS", quillon::createParameterLayout()) {}

    juce::RangedAudioParameter& param (const char* id)
    {
        auto* p = state.getParameter (id);
        if (p == nullptr)
            throw std::runtime_error (std::string ("no parameter ") + id);
        return *p;
    }

    float defaultOf (const char* id) { auto& p = param (id); return p.convertFrom0to1 (p.getDefaultValue()); }

    juce::AudioProcessorValueTreeState state;
};

juce::String utf8 (const char* text) { return juce::String (juce::CharPointer_UTF8 (text)); }
} // namespace

TEST (ParameterLayout, HasEveryParameterInOrderWithVersionOneIds)
{
    LayoutHolder holder;
    const auto& params = holder.getParameters();
    ASSERT_EQ (params.size(), quillon::numParameters);

    const char* expectedIds[] = { "osc1Wave", "osc1DcwDepth", "osc1DcwAttack", "osc1DcwDecay", "osc1DcwSustain",
        "osc1DcwRelease", "osc1Level", "osc1PulseWidth", "osc1Semitone", "osc1Fine", "syncOsc1", "osc2Wave",
        "osc2DcwDepth", "osc2DcwAttack", "osc2DcwDecay", "osc2DcwSustain", "osc2DcwRelease", "osc2Level",
        "osc2Detune", "osc2DetuneHz", "detuneMode", "osc2PhaseOffset", "osc2PulseWidth", "osc2Semitone", "osc2Fine",
        "syncOsc2", "oscDrift", "subMode", "subWave", "subOctave", "subSemitone", "subFine", "subDcwDepth",
        "subLevel", "subDriveSend", "subRouting", "noiseLevel", "noiseColour", "noiseRouting", "mode", "driveMix",
        "drive", "velToDrive", "driveGain", "driveAutoMakeup", "driveMode", "drivePosition", "feedbackAmount",
        "feedbackTone", "feedbackPosition", "filterEnabled", "filterCutoff", "filterReso", "filterEnvAmount",
        "velToFilterEnv", "filterModel", "phaseMix", "phaseStereo", "phaseNotch", "filterAttack", "filterDecay",
        "filterSustain", "filterRelease", "ampAttack", "ampDecay", "ampSustain", "ampRelease", "glideTime", "legato",
        "phaseMode", "stereoMode", "stereoWidth", "octave", "reeseBeat", "reeseSpread", "reeseLock", "pdMorphAmount",
        "monoLowEnabled", "monoLowFreq", "outputGain", "lfo1Rate", "lfo1Depth", "lfo1Shape", "lfo1Sync", "lfoSyncBpm",
        "lfo1Phase", "lfo1Retrig", "mod1Source", "mod1Dest", "mod1Amount", "matrix1Curve", "mod2Source", "mod2Dest",
        "mod2Amount", "matrix2Curve", "mod3Source", "mod3Dest", "mod3Amount", "matrix3Curve", "mod4Source",
        "mod4Dest", "mod4Amount", "matrix4Curve" };

    for (int i = 0; i < quillon::numParameters; ++i)
    {
        auto* p = dynamic_cast<juce::RangedAudioParameter*> (params[i]);
        ASSERT_NE (p, nullptr);
        EXPECT_EQ (p->paramID, expectedIds[i]) << "at position " << i;
        EXPECT_EQ (p->getVersionHint(), 1) << p->paramID;
        EXPECT_TRUE (p->getLabel().isEmpty()) << p->paramID;
    }
}

// The named IDs the editor uses are exactly the layout's, so none can name a missing parameter and
// none of the layout's is reachable only through a spelt-out string.
TEST (ParameterLayout, NamedIdsAreExactlyTheLayoutsParameters)
{
    LayoutHolder holder;
    const auto& params = holder.getParameters();
    ASSERT_EQ (params.size(), quillon::ids::count);

    std::set<juce::String> named;
    for (int i = 0; i < quillon::ids::count; ++i)
    {
        EXPECT_TRUE (named.insert (quillon::ids::all[i]).second) << "named twice: " << quillon::ids::all[i];
        auto* p = dynamic_cast<juce::RangedAudioParameter*> (params[i]);
        ASSERT_NE (p, nullptr);
        EXPECT_EQ (p->paramID, quillon::ids::all[i]) << "at position " << i;
    }

    for (const auto* envelope : { &quillon::ids::osc1DcwEnvelope, &quillon::ids::osc2DcwEnvelope,
                                  &quillon::ids::filterEnvelope, &quillon::ids::ampEnvelope })
    {
        const juce::String attack (envelope->attack);
        ASSERT_TRUE (attack.endsWith ("Attack"));
        const auto prefix = attack.dropLastCharacters (6);
        EXPECT_EQ (juce::String (envelope->decay), prefix + "Decay");
        EXPECT_EQ (juce::String (envelope->sustain), prefix + "Sustain");
        EXPECT_EQ (juce::String (envelope->release), prefix + "Release");
    }

    for (int slot = 1; slot <= quillon::ids::numModSlots; ++slot)
    {
        const auto& ids = quillon::ids::modSlot (slot);
        const juce::String n (slot);
        EXPECT_EQ (juce::String (ids.source), "mod" + n + "Source");
        EXPECT_EQ (juce::String (ids.destination), "mod" + n + "Dest");
        EXPECT_EQ (juce::String (ids.amount), "mod" + n + "Amount");
        EXPECT_EQ (juce::String (ids.curve), "matrix" + n + "Curve");
    }
}

TEST (ParameterLayout, DisplayNamesIncludingUtf8Arrows)
{
    LayoutHolder holder;
    EXPECT_EQ (holder.param ("velToDrive").name, utf8 ("vel\xe2\x86\x92" "drive"));
    EXPECT_EQ (holder.param ("velToFilterEnv").name, utf8 ("vel\xe2\x86\x92" "filter"));
    EXPECT_EQ (holder.param ("subLevel").name, "sub");
    EXPECT_EQ (holder.param ("driveGain").name, "drive makeup");
    EXPECT_EQ (holder.param ("osc1DcwAttack").name, "osc 1 dcw attack");
    EXPECT_EQ (holder.param ("ampRelease").name, "amp release");
    EXPECT_EQ (holder.param ("phaseMode").name, "phase");
    EXPECT_EQ (holder.param ("mod3Source").name, "mod 3 src");
    EXPECT_EQ (holder.param ("mod3Dest").name, "mod 3 dst");
    EXPECT_EQ (holder.param ("mod3Amount").name, "mod 3 amt");
    EXPECT_EQ (holder.param ("matrix3Curve").name, "mod 3 curve");
}

TEST (ParameterLayout, CentredLogRangesPutTheGeometricMeanAtMidTravel)
{
    LayoutHolder holder;
    const auto mid = [&] (const char* id) { return holder.param (id).convertFrom0to1 (0.5f); };

    EXPECT_NEAR (mid ("filterCutoff"), 632.46f, 0.05f);
    EXPECT_NEAR (mid ("feedbackTone"), 979.80f, 0.05f);
    EXPECT_NEAR (mid ("monoLowFreq"), 109.54f, 0.01f);
    EXPECT_NEAR (mid ("lfo1Rate"), 1.0f, 1.0e-4f);
    EXPECT_NEAR (mid ("ampAttack"), 0.06325f, 1.0e-4f);
    EXPECT_NEAR (holder.param ("ampAttack").getNormalisableRange().skew, 0.16651f, 1.0e-4f);
    EXPECT_NEAR (holder.param ("filterCutoff").getNormalisableRange().skew, 0.19889f, 1.0e-4f);
    EXPECT_NEAR (holder.param ("feedbackTone").getNormalisableRange().skew, 0.26827f, 1.0e-4f);
    EXPECT_NEAR (holder.param ("monoLowFreq").getNormalisableRange().skew, 0.52562f, 1.0e-4f);
    EXPECT_NEAR (holder.param ("lfo1Rate").getNormalisableRange().skew, 0.22767f, 1.0e-4f);
    // A range from 0 has no geometric mean.
    EXPECT_FLOAT_EQ (holder.param ("glideTime").getNormalisableRange().skew, 0.4f);
    EXPECT_FLOAT_EQ (quillon::makeCentredLogRange (-1.0f, 1.0f).skew, 0.4f);
}

TEST (ParameterLayout, SteppedParametersSnapAndContinuousOnesDoNot)
{
    LayoutHolder holder;
    auto& semitone = holder.param ("osc1Semitone");
    semitone.setValueNotifyingHost (semitone.convertTo0to1 (3.4f));
    EXPECT_FLOAT_EQ (semitone.convertFrom0to1 (semitone.getValue()), 3.0f);

    auto& fine = holder.param ("osc1Fine");
    fine.setValueNotifyingHost (fine.convertTo0to1 (-12.6f));
    EXPECT_FLOAT_EQ (fine.convertFrom0to1 (fine.getValue()), -13.0f);

    auto& detune = holder.param ("osc2Detune");
    detune.setValueNotifyingHost (detune.convertTo0to1 (3.4f));
    EXPECT_NEAR (detune.convertFrom0to1 (detune.getValue()), 3.4f, 1.0e-4f);
}

TEST (ParameterLayout, DefaultsAndRanges)
{
    LayoutHolder holder;
    EXPECT_FLOAT_EQ (holder.defaultOf ("osc2Level"), -60.0f);
    EXPECT_FLOAT_EQ (holder.defaultOf ("subLevel"), -90.0f);
    EXPECT_FLOAT_EQ (holder.defaultOf ("filterCutoff"), 20000.0f);
    EXPECT_NEAR (holder.defaultOf ("feedbackTone"), 2500.0f, 0.01f);
    EXPECT_FLOAT_EQ (holder.defaultOf ("outputGain"), -6.0f);
    EXPECT_FLOAT_EQ (holder.defaultOf ("phaseMode"), 2.0f);
    EXPECT_FLOAT_EQ (holder.defaultOf ("stereoMode"), 1.0f);
    EXPECT_FLOAT_EQ (holder.defaultOf ("octave"), 2.0f);
    EXPECT_FLOAT_EQ (holder.defaultOf ("subOctave"), 1.0f);
    EXPECT_FLOAT_EQ (holder.defaultOf ("filterEnabled"), 1.0f);
    EXPECT_FLOAT_EQ (holder.defaultOf ("monoLowEnabled"), 1.0f);
    EXPECT_FLOAT_EQ (holder.defaultOf ("filterSustain"), 0.6f);
    EXPECT_FLOAT_EQ (holder.defaultOf ("ampDecay"), 0.1f);
    EXPECT_FLOAT_EQ (holder.defaultOf ("ampSustain"), 1.0f);

    // A fresh layout routes velocity to amp in slot 1; the other slots are off.
    EXPECT_FLOAT_EQ (holder.defaultOf ("mod1Source"), (float) quillon::ModSource::velocity);
    EXPECT_FLOAT_EQ (holder.defaultOf ("mod1Dest"), (float) quillon::ModDestination::amp);
    EXPECT_FLOAT_EQ (holder.defaultOf ("mod1Amount"), 0.5f);
    for (const char* id : { "mod2Source", "mod2Dest", "mod2Amount", "mod4Source", "mod4Dest", "mod4Amount", "matrix4Curve" })
        EXPECT_FLOAT_EQ (holder.defaultOf (id), 0.0f) << id;

    const auto range = [&] (const char* id) { return holder.param (id).getNormalisableRange().getRange(); };
    EXPECT_EQ (range ("driveGain"), juce::Range<float> (-12.0f, 24.0f));
    EXPECT_EQ (range ("subLevel"), juce::Range<float> (-120.0f, 0.0f));
    EXPECT_EQ (range ("filterEnvAmount"), juce::Range<float> (-48.0f, 48.0f));
    EXPECT_EQ (range ("lfoSyncBpm"), juce::Range<float> (40.0f, 240.0f));
    EXPECT_EQ (range ("osc2PhaseOffset"), juce::Range<float> (-180.0f, 180.0f));
    EXPECT_EQ (range ("mod2Amount"), juce::Range<float> (-1.0f, 1.0f));
}

TEST (ParameterLayout, ChoiceListsKeepEveryItemIncludingShortOnes)
{
    using namespace quillon::choices;
    EXPECT_EQ (waves().joinIntoString (","), "saw,square,pulse,sinepulse,halfsine,ressaw,restriangle,restrapezoid,pwm,respulse");
    EXPECT_EQ (octave().joinIntoString (","), "-2,-1,0,+1,+2");
    EXPECT_EQ (lfoShape().joinIntoString (","), "sine,tri,sqr,s&h");
    EXPECT_EQ (curves().joinIntoString (","), "lin,exp");
    EXPECT_EQ (detuneMode().joinIntoString (","), "cents,hz");
    EXPECT_EQ (subMode().joinIntoString (","), "sine,pd");
    EXPECT_EQ (phaseMode().joinIntoString (","), "free,first,per");
    EXPECT_EQ (filterModel().joinIntoString (","), "ladder,diode,state,phase");
    EXPECT_EQ (routing().joinIntoString (","), "pre drive,post filter");
    EXPECT_EQ (modSources().size(), (int) quillon::ModSource::count);
    EXPECT_EQ (modSources()[12], "beat phase");
    EXPECT_EQ (modDestinations().size(), (int) quillon::ModDestination::count);
    EXPECT_EQ (modDestinations()[11], "osc2 detune hz");
    EXPECT_EQ (modDestinations()[28], "feedback");

    LayoutHolder holder;
    auto* shape = dynamic_cast<juce::AudioParameterChoice*> (&holder.param ("lfo1Shape"));
    ASSERT_NE (shape, nullptr);
    EXPECT_EQ (shape->choices, lfoShape());
    EXPECT_NE (dynamic_cast<juce::AudioParameterBool*> (&holder.param ("reeseLock")), nullptr);
}
