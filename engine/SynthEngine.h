#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_dsp/juce_dsp.h>

#include "engine/chain/VoiceChain.h"
#include "engine/control/VoiceControl.h"
#include "engine/control/VoiceParameters.h"
#include "engine/HalfBandDecimator.h"
#include "engine/OutputStage.h"
#include "engine/sources/VoiceSources.h"
#include "engine/RealtimeAnnotations.h"

#include <array>
#include <atomic>

namespace quillon
{

// How the voice renders, chosen when it is prepared.
struct RenderOptions
{
    // With false, the sources always take turns sample by sample and the chain runs sample by
    // sample on its members, the way a fading switch or mutual sync has them run; the sound must
    // be the same either way. For tests.
    bool stretchShortcuts = true;
};

// The instrument's single monophonic voice. A plain object owned by the processor:
// no base class, no virtual calls, and nothing allocated or locked while rendering.
// The voice runs at twice the host rate and is decimated back chunk by chunk: per stretch the
// control pass writes frames, the sources turn them into 2x signals and the chain into the 2x
// output; then the decimator and the output stage.
class SynthEngine
{
public:
    explicit SynthEngine (const VoiceParameterBinding& parameters);

    // Message thread, while audio is stopped.
    void prepare (double sampleRate, int maxBlockSize, RenderOptions options = {});
    int getLatencySamples() const;

    // Audio thread.
    void noteOn (int note, float velocity, bool legato) QUILLON_NONBLOCKING;
    void releaseAll() QUILLON_NONBLOCKING;
    // Adds the voice into [startSample, startSample + numSamples); never clears the buffer.
    void render (juce::AudioBuffer<float>& buffer, int startSample, int numSamples) QUILLON_NONBLOCKING;

    // Controller inputs written by the processor on the audio thread.
    std::atomic<float> modWheel { 0.0f };
    std::atomic<float> aftertouch { 0.0f };
    float pitchBend = 0.0f; // semitones
    float tempoBpm = 120.0f;

    // Raw MIDI note of the last noteOn, before the octave shift; -1 after releaseAll.
    int lastNote = -1;

    // Per-slot modulation output, polled by the editor for the knobs' rings.
    std::array<std::atomic<float>, numModSlots> liveSlotValues {};

    // Read-only views of the voice, for the editor's visualisers and for tests.
    // Sounding: the voice, or the output stage's tail after it.
    bool isActive() const noexcept                  { return control.isActive() || outputStage.isInTail(); }
    float getGlidingNote() const noexcept           { return control.getGlidingNote(); }
    float getTargetNote() const noexcept            { return control.getTargetNote(); }
    const PdOscillator& getUnit (int index) const   { return voiceSources.unit (index); }
    const Envelope& getAmpEnvelope() const noexcept { return control.getAmpEnvelope(); }
    const Envelope& getFilterEnvelope() const noexcept { return control.getFilterEnvelope(); }
    const Lfo& getLfo() const noexcept              { return control.getLfo(); }
    // A source that no slot reads may not be computed and then reads 0.
    float getModSourceValue (ModSource source) const noexcept { return control.getModSourceValue (source); }
    float getCutoffHz() const noexcept              { return control.getCutoffHz(); }

private:
    static constexpr int stretchLength = VoiceControl::stretchLength;
    static_assert (stretchLength == VoiceChain::maxStretch && stretchLength == VoiceSources::stretchLength);

    VoiceControl::Controllers controllers() const noexcept
    {
        return { modWheel.load (std::memory_order_relaxed), aftertouch.load (std::memory_order_relaxed), pitchBend };
    }
    SourceSettings readSourceSettings() const noexcept;
    VoiceChain::Switches readChainSwitches() const noexcept;
    void applySwitches (bool fromSilence) noexcept;
    void catchUpIdleEnvelopes() noexcept;
    void clearSignalState() noexcept;
    int renderChunk (juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept;
    int renderStretch (int rendered, int length, bool& ended) noexcept;
    void writeOutput (juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept;
    void addOutputTail (juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept;

    // The three passes: control writes frames, the sources turn them into 2x signals, the chain
    // into the 2x output.
    VoiceControl control;
    VoiceSources voiceSources;
    VoiceChain voiceChain;
    const VoiceControl::UnitEnvelopes unitEnvelopes { &voiceSources.dcwEnvelope (osc1Left),
        &voiceSources.dcwEnvelope (osc1Right), &voiceSources.dcwEnvelope (osc2Left), &voiceSources.dcwEnvelope (osc2Right) };
    OutputStage outputStage; // output DC blockers, mono-low side filter and note fade-in
    bool shortcutsAllowed = true;

    // The oversampler's filters, latency and 2x buffer; its way down runs as the decimator.
    HalfBandDecimator decimator;
    juce::dsp::Oversampling<float> oversampler {
        2, 1, juce::dsp::Oversampling<float>::filterHalfBandPolyphaseIIR, true, false
    };

    // Samples the voice has been silent, for the envelopes that carry on releasing meanwhile.
    std::int64_t idleSamples = 0;

    std::array<float*, 2> oversampledChannels {}; // the oversampler's 2x buffer
    juce::AudioBuffer<float> decimated;
    int preparedBlockSize = 0, preparedChannels = 0;

    JUCE_DECLARE_NON_COPYABLE (SynthEngine)
};

} // namespace quillon
