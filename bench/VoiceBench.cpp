// Cost of the voice per output sample at 48 kHz. Not a test: run `quillon_bench` by hand.
#include "plugin/PluginProcessor.h"

#include <benchmark/benchmark.h>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 256;

void setRaw (QuillonAudioProcessor& processor, const char* id, float value)
{
    if (auto* raw = processor.parameterState.getRawParameterValue (id))
        raw->store (value);
}

// Both oscillators with DCW envelopes, the LFO and all four matrix slots at work.
void makeBusy (QuillonAudioProcessor& p)
{
    const std::pair<const char*, float> settings[] = {
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

    for (auto [id, value] : settings)
        setRaw (p, id, value);
}

// Everything at once, each part at its most expensive: both oscillators with DCW envelopes, hard
// sync, morph and drift; the reese pair detuned, beating and spread; the sub in phase-distortion
// mode; noise both before and after the filter; the diode drive with feedback; the phase stage with
// stereo offset and resonance, its cutoff moved every sample by the filter envelope and the LFO;
// mono-low; and four matrix slots.
void makeBusiest (QuillonAudioProcessor& p)
{
    makeBusy (p);
    const std::pair<const char*, float> settings[] = {
        { "noiseLevel", -24.0f }, { "noiseColour", 1.0f }, { "noiseRouting", 0.5f },
        { "drive", 12.0f }, { "driveMode", 1.0f }, { "driveAutoMakeup", 1.0f }, { "driveMix", 0.8f },
        { "feedbackAmount", 0.5f }, { "feedbackTone", 3000.0f },
        { "filterModel", 3.0f }, { "filterCutoff", 800.0f }, { "filterReso", 0.6f }, { "filterEnvAmount", 24.0f },
        { "filterDecay", 3.0f }, { "filterSustain", 0.3f }, { "phaseStereo", 0.5f }, { "phaseMix", 0.7f },
        { "stereoWidth", 0.3f },
        { "mod1Source", 5.0f }, { "mod1Dest", 1.0f }, { "mod1Amount", 0.2f },   // lfo -> cutoff
        { "mod4Source", 11.0f }, { "mod4Dest", 2.0f }, { "mod4Amount", 0.3f },  // smooth random -> drive
    };

    for (auto [id, value] : settings)
        setRaw (p, id, value);
}

enum class Setting { init, busy, busiest };

void renderVoice (benchmark::State& state, Setting setting)
{
    QuillonAudioProcessor processor; // starts from the init preset
    if (setting == Setting::busy)
        makeBusy (processor);
    else if (setting == Setting::busiest)
        makeBusiest (processor);

    processor.prepareToPlay (sampleRate, blockSize);
    juce::ScopedNoDenormals noDenormals;
    juce::AudioBuffer<float> buffer (2, blockSize);
    processor.engine.noteOn (40, 0.8f, false);

    for (auto _ : state)
    {
        buffer.clear();
        processor.engine.render (buffer, 0, blockSize);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }

    state.counters["per_sample"] = benchmark::Counter ((double) state.iterations() * blockSize,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void initPreset (benchmark::State& state) { renderVoice (state, Setting::init); }
void busySetting (benchmark::State& state) { renderVoice (state, Setting::busy); }
void busiestSetting (benchmark::State& state) { renderVoice (state, Setting::busiest); }
} // namespace

BENCHMARK (initPreset);
BENCHMARK (busySetting);
BENCHMARK (busiestSetting);

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juceInit;
    benchmark::Initialize (&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
