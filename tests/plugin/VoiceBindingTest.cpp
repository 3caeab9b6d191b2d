#include "engine/SynthEngine.h"
#include "engine/EngineTestRig.h"
#include "plugin/VoiceBinding.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quillon;

// A parameter the voice reads that the layout lacks would silently stay at its fallback.
TEST (VoiceBinding, findsEveryParameterTheVoiceReads)
{
    test::ParameterHost host;
    const auto binding = bindVoiceParameters (host.state);

    for (int id = 0; id < VoiceParameter::count; ++id)
        EXPECT_NE (binding[(VoiceParameter::Id) id], nullptr) << "voice parameter " << id;

    // The sync divisions follow the rate knob's own mapping.
    const auto range = host.state.getParameter (ids::lfo1Rate)->getNormalisableRange();
    for (const auto hz : { 0.05f, 0.5f, 3.0f, 20.0f })
        EXPECT_EQ (binding.lfoRateRange.convertTo0to1 (hz), range.convertTo0to1 (hz));
}

// A voice given no parameters at all reads every one as its fallback: it plays, and nothing it
// puts out is NaN, infinite or denormal.
TEST (VoiceBinding, aVoiceBoundToNothingPlaysOnItsFallbacks)
{
    SynthEngine engine { VoiceParameterBinding {} };
    engine.prepare (48000.0, 256);
    engine.noteOn (48, 0.9f, false);

    juce::AudioBuffer<float> buffer (2, 4800);
    buffer.clear();

    for (int start = 0; start < buffer.getNumSamples(); start += 256)
        engine.render (buffer, start, std::min (256, buffer.getNumSamples() - start));

    engine.releaseAll();
    engine.render (buffer, 0, buffer.getNumSamples());

    for (int channel = 0; channel < 2; ++channel)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const auto x = buffer.getSample (channel, i);
            ASSERT_TRUE (std::isfinite (x)) << channel << " " << i;
            ASSERT_TRUE (x == 0.0f || std::abs (x) >= 1.0e-30f) << channel << " " << i;
        }
}
