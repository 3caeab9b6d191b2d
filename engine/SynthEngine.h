#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_dsp/juce_dsp.h>

#include <array>
#include <atomic>
#include <memory>

namespace quillon
{

// The instrument's single monophonic voice. A plain object owned by the processor:
// no base class, no virtual calls, and nothing allocated or locked while rendering.
class SynthEngine
{
public:
    explicit SynthEngine (juce::AudioProcessorValueTreeState& state);

    // Message thread, while audio is stopped.
    void prepare (double sampleRate, int maxBlockSize);
    int getLatencySamples() const;

    // Audio thread.
    void noteOn (int note, float velocity, bool legato);
    void releaseAll();
    // Adds the voice into [startSample, startSample + numSamples); never clears the buffer.
    void render (juce::AudioBuffer<float>& buffer, int startSample, int numSamples);

    // Controller inputs written by the processor on the audio thread.
    std::atomic<float> modWheel { 0.0f };
    std::atomic<float> aftertouch { 0.0f };
    float pitchBend = 0.0f; // semitones
    float tempoBpm = 120.0f;

    // Raw MIDI note of the last noteOn, before the octave shift; -1 after releaseAll.
    int lastNote = -1;

    // Per-slot modulation output, polled by the editor for the knobs' rings.
    std::array<std::atomic<float>, 4> liveSlotValues {};

private:
    juce::AudioProcessorValueTreeState& parameters;
    std::unique_ptr<juce::dsp::Oversampling<float>> oversampler;
    double sampleRate = 44100.0;

    // Neutral stand-in voice until the phase-distortion voice lands.
    std::atomic<float>* outputGain = nullptr;
    double phase = 0.0, phaseIncrement = 0.0;
    float level = 0.0f, targetLevel = 0.0f, levelStep = 0.0f;
    float velocity = 0.0f;
    bool active = false;

    JUCE_DECLARE_NON_COPYABLE (SynthEngine)
};

} // namespace quillon
