// A host hands any bytes to setStateInformation; whatever they are, the processor stays usable and
// what it saves afterwards reads back.

#include "fuzz/FuzzSupport.h"
#include "plugin/PluginProcessor.h"
#include "plugin/SafeInput.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    quillon::fuzz::startFramework();
    auto& processor = quillon::fuzz::lastingProcessor<QuillonAudioProcessor>();

    processor.setStateInformation (data, (int) juce::jmin (size, (size_t) std::numeric_limits<int>::max()));

    juce::MemoryBlock saved;
    processor.getStateInformation (saved);
    QUILLON_FUZZ_CHECK (quillon::input::readStateBlob (saved.getData(), saved.getSize()) != nullptr);
    return 0;
}
