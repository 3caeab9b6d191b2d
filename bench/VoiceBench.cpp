// Cost of the voice per output sample at 48 kHz. Not a test: run `quillon_bench` by hand.
//
// A voice at twice the sample rate can never cost less than its own 2x up/down-sampler, so the
// first benchmark is that bare oversampler pair, and after the table every setting is printed as
// a ratio to it from the same run: absolute figures move a lot on a shared machine, ratios less.
#include "bench/VoiceSettings.h"
#include "engine/chain/FilterStage.h"
#include "engine/sources/NoiseSource.h"
#include "engine/sources/PdOscillator.h"
#include "plugin/PluginProcessor.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <iostream>
#include <map>
#include <unistd.h>
#include <string>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 256;

void setRaw (QuillonAudioProcessor& processor, const char* id, float value)
{
    if (auto* raw = processor.parameterState.getRawParameterValue (id))
        raw->store (value);
}

void applySettings (QuillonAudioProcessor& p, const voice_settings::Settings& settings)
{
    for (const auto& [id, value] : settings)
        setRaw (p, id, value);
}

enum class Setting { init, busy, busiest, soft24, fold24 };

void perSampleCounter (benchmark::State& state)
{
    state.counters["per_sample"] = benchmark::Counter ((double) state.iterations() * blockSize,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The physical floor: the same oversampler the voice uses, up and down, and nothing between.
void oversamplerPair (benchmark::State& state)
{
    juce::dsp::Oversampling<float> oversampler { 2, 1, juce::dsp::Oversampling<float>::filterHalfBandPolyphaseIIR,
                                                 true, false };
    oversampler.initProcessing ((size_t) blockSize);
    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::ScopedNoDenormals noDenormals;

    for (auto _ : state)
    {
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < blockSize; ++i)
                buffer.setSample (ch, i, 0.25f * (float) ((i * 7 + ch * 3) % 17) / 17.0f - 0.125f);

        juce::dsp::AudioBlock<float> block (buffer);
        auto up = oversampler.processSamplesUp (block);
        benchmark::DoNotOptimize (up.getChannelPointer (0));
        oversampler.processSamplesDown (block);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }

    perSampleCounter (state);
}

void prepareSetting (QuillonAudioProcessor& processor, Setting setting)
{
    if (setting == Setting::busy)
        applySettings (processor, voice_settings::busy);
    else if (setting == Setting::busiest)
        applySettings (processor, voice_settings::busiest());
    else if (setting == Setting::soft24 || setting == Setting::fold24)
        applySettings (processor, { { "drive", 24.0f }, { "driveMode", setting == Setting::fold24 ? 2.0f : 0.0f } });

    processor.setRateAndBufferSizeDetails (sampleRate, blockSize);
    processor.prepareToPlay (sampleRate, blockSize);
}

void renderVoice (benchmark::State& state, Setting setting)
{
    QuillonAudioProcessor processor; // starts from the init preset
    prepareSetting (processor, setting);
    juce::ScopedNoDenormals noDenormals;
    juce::AudioBuffer<float> buffer (2, blockSize);
    processor.engine.noteOn (40, 0.8f, false);

    for (auto _ : state)
    {
        buffer.clear();
        processor.engine.render (buffer, 0, blockSize);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }

    perSampleCounter (state);
}

// The processor's whole block: MIDI, parameters, the voice and what the editor is handed.
void processBlocks (benchmark::State& state, Setting setting, bool holdNote)
{
    QuillonAudioProcessor processor;
    prepareSetting (processor, setting);
    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi, noMidi;

    if (holdNote)
    {
        midi.addEvent (juce::MidiMessage::noteOn (1, 40, (juce::uint8) 100), 0);
        processor.processBlock (buffer, midi);
    }

    for (auto _ : state)
    {
        processor.processBlock (buffer, noMidi);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }

    perSampleCounter (state);
}

void initPreset (benchmark::State& state)         { renderVoice (state, Setting::init); }
void busySetting (benchmark::State& state)        { renderVoice (state, Setting::busy); }
void busiestSetting (benchmark::State& state)     { renderVoice (state, Setting::busiest); }
// The init preset with a curve at full drive: the fold's cost against the soft curve's.
void softAt24 (benchmark::State& state)           { renderVoice (state, Setting::soft24); }
void foldAt24 (benchmark::State& state)           { renderVoice (state, Setting::fold24); }
void processorIdle (benchmark::State& state)      { processBlocks (state, Setting::init, false); }
void processorBusiest (benchmark::State& state)   { processBlocks (state, Setting::busiest, true); }

// The usual table, then each setting as a multiple of the oversampler pair, from the medians of
// the repetitions (or the single run when there is only one).
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter() : ConsoleReporter (isatty (STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns (const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns (runs);

        for (const auto& run : runs)
        {
            const auto isMedian = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const auto isSingle = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const auto counter = run.counters.find ("per_sample");

            if ((isMedian || isSingle) && ! run.error_occurred && counter != run.counters.end())
            {
                const auto name = run.run_name.function_name;

                if (perSample.find (name) == perSample.end())
                    order.push_back (name);

                perSample[name] = counter->second.value;
            }
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto floor = perSample.find ("oversamplerPair");

        if (floor == perSample.end() || floor->second <= 0.0)
            return;

        auto& out = GetOutputStream();
        out << "\nPer output sample, as a multiple of the bare 2x oversampler pair ("
            << floor->second * 1.0e9 << " ns) in this run:\n";

        for (const auto& name : order)
        {
            if (name == floor->first)
                continue;

            const auto seconds = perSample[name];
            char line[160];
            std::snprintf (line, sizeof (line), "  %-18s %7.2fx  (%.1f ns)\n", name.c_str(), seconds / floor->second,
                           seconds * 1.0e9);
            out << line;
        }
    }

private:
    std::map<std::string, double> perSample;
    std::vector<std::string> order;
};
// The filter stage alone, both sides, as the voice drives it: the cutoff moved on every base
// sample (a filter envelope and an LFO), two 2x samples each. Per base sample.
void filterStagePair (benchmark::State& state, int model, float resonance)
{
    std::array<quillon::FilterStage, 2> stages;

    for (auto& stage : stages)
    {
        stage.prepare (2.0 * sampleRate);
        stage.setModel (model, false);
        stage.setPhaseMix (0.7f);
        stage.setPhaseNotch (1.0f);
    }

    float phase = 0.0f, saw = 0.0f, sink = 0.0f;
    int n = 0;

    for (auto _ : state)
    {
        for (int i = 0; i < blockSize; ++i, ++n)
        {
            phase += 1.0f / 9000.0f;
            phase -= phase >= 1.0f ? 1.0f : 0.0f;
            const auto cutoff = 300.0f + 6000.0f * phase * phase;

            for (size_t side = 0; side < 2; ++side)
            {
                stages[side].setCutoff (cutoff);
                stages[side].setResonance (resonance);
                stages[side].setPhaseOffset (side == 0 ? -0.5f : 0.5f);
            }

            for (int k = 0; k < 2; ++k)
            {
                saw += 110.0f / 96000.0f;
                saw -= saw >= 1.0f ? 1.0f : 0.0f;
                const auto x = 0.5f * (2.0f * saw - 1.0f);
                sink += stages[0].process (x) + stages[1].process (x);
            }
        }

        for (auto& stage : stages)
            stage.flushStates();

        benchmark::DoNotOptimize (sink);
    }

    perSampleCounter (state);
}

void filterLadder (benchmark::State& state) { filterStagePair (state, quillon::FilterStage::ladder, 0.6f); }
void filterDiode (benchmark::State& state)  { filterStagePair (state, quillon::FilterStage::diode, 0.6f); }
void filterState (benchmark::State& state)  { filterStagePair (state, quillon::FilterStage::state, 0.6f); }
void filterPhase (benchmark::State& state)  { filterStagePair (state, quillon::FilterStage::phase, 0.6f); }
} // namespace

BENCHMARK (oversamplerPair);
BENCHMARK (initPreset);
BENCHMARK (busySetting);
BENCHMARK (busiestSetting);
BENCHMARK (softAt24);
BENCHMARK (foldAt24);
BENCHMARK (processorIdle);
BENCHMARK (processorBusiest);
BENCHMARK (filterLadder);
BENCHMARK (filterDiode);
BENCHMARK (filterState);
BENCHMARK (filterPhase);

// One drive stage at 12 dB inside a feedback loop, as the busiest setting runs it: each input
// waits for the previous output, so this is the stage's latency per 2x sample (0 soft, 1 diode,
// 2 fold), with the feedback capture, flushed per sample or per chunk of 32 (argument 2: 0 or 1).
namespace
{
void driveInFeedbackLoop (benchmark::State& state)
{
    constexpr int length = 1024;
    float input[length];
    for (int i = 0; i < length; ++i)
        input[i] = 0.6f * std::sin (0.05f * (float) i) + 0.2f * std::sin (0.31f * (float) i);

    quillon::DriveStage drive;
    drive.prepare (2.0 * sampleRate);
    drive.setMode ((int) state.range (0), false);
    drive.setGain (std::pow (10.0f, 12.0f / 20.0f));
    quillon::FeedbackPath path;
    const auto coefficient = quillon::FeedbackPath::coefficientFor (3000.0f, 2.0 * sampleRate);
    const auto perChunk = state.range (1) != 0;

    for (auto _ : state)
    {
        for (int i = 0; i < length; ++i)
        {
            const auto y = drive.process (input[i] + 0.175f * path.getMemory());

            if (perChunk)
            {
                path.captureUnflushed (y, coefficient);

                if ((i & 31) == 31)
                    path.flushStates();
            }
            else
            {
                path.capture (y, coefficient);
            }
        }

        benchmark::DoNotOptimize (path.getMemory());
    }

    state.counters["per_2x_sample"] = benchmark::Counter ((double) state.iterations() * length,
                                                          benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The drive gains with the amount moving every base sample, as a smooth-random slot moves it.
void driveGains (benchmark::State& state)
{
    float db = 0.0f, sum = 0.0f;

    for (auto _ : state)
    {
        for (int i = 0; i < blockSize; ++i)
        {
            db = db < 24.0f ? db + 0.0137f : 0.0f;
            const auto gains = quillon::computeDriveGains (db, quillon::DriveStage::diode, true, 0.9f);
            sum += gains.pre + gains.post;
        }

        benchmark::DoNotOptimize (sum);
    }

    state.counters["per_call"] = benchmark::Counter ((double) state.iterations() * blockSize,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
} // namespace

BENCHMARK (driveInFeedbackLoop)->ArgsProduct ({ { 0, 1, 2 }, { 0, 1 } });
BENCHMARK (driveGains);


// One oscillator unit's tick at the 2x rate (256 ticks per iteration, so per_sample is per tick):
// the init preset's flat saw, a moving depth, morph, and a synced unit with its partner.

namespace
{
void prepareUnit (quillon::PdOscillator& unit, int shape, float hz, float attackSeconds, float morph)
{
    unit.prepare (2.0 * sampleRate);
    unit.dcwEnvelope.setParameters (attackSeconds, 0.0f, 0.3f, 0.5f);
    unit.dcwEnvelope.updateRates();
    unit.dcwEnvelope.trigger();
    unit.setWaveShape (shape);
    unit.setDcwDepth (0.8f);
    unit.setFrequency (hz);
    unit.setMorphAmount (morph);
}

void oscUnit (benchmark::State& state, int shape, bool movingDepth, float morph, bool sync)
{
    quillon::PdOscillator partner, unit;
    prepareUnit (partner, 0, 82.0f, 0.0f, 0.0f);
    prepareUnit (unit, shape, 123.0f, movingDepth ? 1000.0f : 0.0f, morph);

    if (sync)
    {
        unit.setSyncPartner (&partner);
        unit.setSyncEnabled (true);
    }

    auto sum = 0.0f;

    for (auto _ : state)
    {
        for (int i = 0; i < blockSize; ++i)
        {
            if (sync)
                partner.tick (false);

            sum += unit.tick();
        }

        benchmark::DoNotOptimize (sum);
    }

    perSampleCounter (state);
}

void oscUnitSawFlat (benchmark::State& state)          { oscUnit (state, 0, false, 0.0f, false); }
void oscUnitSquareMoving (benchmark::State& state)     { oscUnit (state, 1, true, 0.0f, false); }
void oscUnitResMorph (benchmark::State& state)         { oscUnit (state, 5, true, 0.25f, false); }
void oscUnitPulseMorphSync (benchmark::State& state)   { oscUnit (state, 2, true, 0.25f, true); }

void subOscShape (benchmark::State& state)
{
    quillon::SubOscillator sub;
    sub.prepare (2.0 * sampleRate);
    sub.setMode (quillon::SubOscillator::pdMode);
    sub.setWaveShape (1);
    sub.setFrequency (41.0f);
    sub.setDcw (0.4f);
    auto sum = 0.0f;

    for (auto _ : state)
    {
        for (int i = 0; i < blockSize; ++i)
            sum += sub.tick();

        benchmark::DoNotOptimize (sum);
    }

    perSampleCounter (state);
}

void noisePink (benchmark::State& state)
{
    quillon::NoiseSource noise;
    noise.prepare (sampleRate, 1234u);
    noise.setColour (quillon::NoiseSource::pink);
    auto sum = 0.0f;

    for (auto _ : state)
    {
        for (int i = 0; i < blockSize; ++i)
            sum += noise.next();

        benchmark::DoNotOptimize (sum);
    }

    perSampleCounter (state);
}
} // namespace

BENCHMARK (oscUnitSawFlat);
BENCHMARK (oscUnitSquareMoving);
BENCHMARK (oscUnitResMorph);
BENCHMARK (oscUnitPulseMorphSync);
BENCHMARK (subOscShape);
BENCHMARK (noisePink);

BENCHMARK (filterLadder);
BENCHMARK (filterDiode);
BENCHMARK (filterState);
BENCHMARK (filterPhase);

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juceInit;

    // Five repetitions by default, so that the ratios come from medians.
    std::vector<char*> args (argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string aggregatesOnly = "--benchmark_report_aggregates_only=true";
    const auto given = [&] (const char* flag)
    {
        for (int i = 1; i < argc; ++i)
            if (std::strncmp (argv[i], flag, std::strlen (flag)) == 0)
                return true;
        return false;
    };

    if (! given ("--benchmark_repetitions"))
    {
        args.push_back (repetitions.data());

        if (! given ("--benchmark_report_aggregates_only"))
            args.push_back (aggregatesOnly.data());
    }

    auto count = (int) args.size();
    benchmark::Initialize (&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    benchmark::Shutdown();
    return 0;
}

// One unit's stretches at the 2x rate, the setters and ticks one by one against renderStretch
// (256 ticks per iteration, per_sample is per tick): a flat saw, a resonant shape whose depth
// moves, and a synced unit fed by its partner's wraps (the partner rendered in both).
namespace
{
enum class StretchKind { sawFlat, resonantMoving, synced };

void oscStretch (benchmark::State& state, StretchKind kind, bool lanes)
{
    constexpr int frames = quillon::PdOscillator::maxStretchFrames, ticks = 2 * frames;
    quillon::PdOscillator partner, unit;
    const auto moving = kind != StretchKind::sawFlat;
    prepareUnit (partner, 0, 82.0f, 0.0f, 0.0f);
    prepareUnit (unit, kind == StretchKind::sawFlat ? 0 : (kind == StretchKind::resonantMoving ? 5 : 2), 123.0f, moving ? 1000.0f : 0.0f, 0.0f);
    const auto sync = kind == StretchKind::synced;

    if (sync)
    {
        unit.setSyncPartner (&partner);
        unit.setSyncEnabled (true);
    }

    quillon::PdOscillator::StretchFrame unitFrames[frames], partnerFrames[frames];

    for (int j = 0; j < frames; ++j)
    {
        unitFrames[j] = { 123.0f + 0.01f * (float) j, kind == StretchKind::sawFlat ? 0.0f : 0.8f, 0.5f, 0.0f, true };
        partnerFrames[j] = { 82.0f, 0.0f, 0.5f, 0.0f, false };
    }

    float out[ticks], partnerOut[ticks], wraps[ticks];
    auto sum = 0.0f;

    for (auto _ : state)
    {
        for (int s = 0; s < blockSize / ticks; ++s)
        {
            if (lanes)
            {
                if (sync)
                    partner.renderStretch (partnerFrames, frames, partnerOut, nullptr, wraps);

                unit.renderStretch (unitFrames, frames, out, sync ? wraps : nullptr);
            }
            else
            {
                for (int j = 0; j < frames; ++j)
                {
                    const auto& f = unitFrames[j];
                    unit.setFrequency (f.frequency);
                    unit.setDcwDepth (f.dcwDepth);
                    unit.setPulseWidth (f.pulseWidth);
                    unit.setMorphAmount (f.morph);

                    for (int half = 0; half < 2; ++half)
                    {
                        if (sync)
                        {
                            partner.setFrequency (partnerFrames[j].frequency);
                            partnerOut[2 * j + half] = partner.tick (false);
                        }

                        out[2 * j + half] = unit.tick (f.audible);
                    }
                }
            }

            sum += out[ticks - 1] + partnerOut[0];
        }

        benchmark::DoNotOptimize (sum);
    }

    perSampleCounter (state);
}

void oscStretchSawTicks (benchmark::State& state)      { oscStretch (state, StretchKind::sawFlat, false); }
void oscStretchSawLanes (benchmark::State& state)      { oscStretch (state, StretchKind::sawFlat, true); }
void oscStretchResTicks (benchmark::State& state)      { oscStretch (state, StretchKind::resonantMoving, false); }
void oscStretchResLanes (benchmark::State& state)      { oscStretch (state, StretchKind::resonantMoving, true); }
void oscStretchSyncTicks (benchmark::State& state)     { oscStretch (state, StretchKind::synced, false); }
void oscStretchSyncLanes (benchmark::State& state)     { oscStretch (state, StretchKind::synced, true); }

// The sub's stretches: pd shape with its depth held, ticks against renderStretch.
void subStretch (benchmark::State& state, bool lanes)
{
    constexpr int frames = quillon::PdOscillator::maxStretchFrames, ticks = 2 * frames;
    quillon::SubOscillator sub;
    sub.prepare (2.0 * sampleRate);
    sub.setMode (quillon::SubOscillator::pdMode);
    sub.setWaveShape (1);
    float hz[frames], dcw[frames], gain[frames], out[ticks];

    for (int j = 0; j < frames; ++j)
    {
        hz[j] = 41.0f;
        dcw[j] = 0.4f;
        gain[j] = 0.5f;
    }

    auto sum = 0.0f;

    for (auto _ : state)
    {
        for (int s = 0; s < blockSize / ticks; ++s)
        {
            if (lanes)
                sub.renderStretch (hz, dcw, gain, frames, out);
            else
                for (int i = 0; i < ticks; ++i)
                {
                    sub.setFrequency (hz[i / 2]);
                    sub.setDcw (dcw[i / 2]);
                    out[i] = sub.tick (gain[i / 2] != 0.0f) * gain[i / 2];
                }

            sum += out[ticks - 1];
        }

        benchmark::DoNotOptimize (sum);
    }

    perSampleCounter (state);
}

void subStretchTicks (benchmark::State& state) { subStretch (state, false); }
void subStretchLanes (benchmark::State& state) { subStretch (state, true); }
} // namespace

BENCHMARK (oscStretchSawTicks);
BENCHMARK (oscStretchSawLanes);
BENCHMARK (oscStretchResTicks);
BENCHMARK (oscStretchResLanes);
BENCHMARK (oscStretchSyncTicks);
BENCHMARK (oscStretchSyncLanes);
BENCHMARK (subStretchTicks);
BENCHMARK (subStretchLanes);
