// Compiled with QUILLON_EXACT_REFERENCE=1 and the engine's namespace renamed (see CMakeLists.txt).
#include "engine/SynthEngine.h"
#include "plugin/VoiceBinding.h"
#include "reference/ExactVoice.h"

namespace exact_reference
{

namespace
{
class EngineVoice final : public Voice
{
public:
    explicit EngineVoice (juce::AudioProcessorValueTreeState& state) : engine (quillon::bindVoiceParameters (state)) {}

    void prepare (double sampleRate, int maxBlockSize) override { engine.prepare (sampleRate, maxBlockSize); }
    void noteOn (int note, float velocity, bool legato) override { engine.noteOn (note, velocity, legato); }
    void releaseAll() override                                   { engine.releaseAll(); }
    void render (juce::AudioBuffer<float>& buffer, int start, int n) override { engine.render (buffer, start, n); }

private:
    static_assert (quillon::dsp::exactReference, "the reference voice must be built exact");
    quillon::SynthEngine engine;
};
} // namespace

std::unique_ptr<Voice> makeVoice (juce::AudioProcessorValueTreeState& state)
{
    return std::make_unique<EngineVoice> (state);
}

} // namespace exact_reference
