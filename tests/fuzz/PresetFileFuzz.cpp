// A user preset file is whatever lies in the folder: it loads as a preset or is refused with a reason.

#include "fuzz/FuzzSupport.h"
#include "plugin/PluginProcessor.h"
#include "ui/UserPresets.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    quillon::fuzz::startFramework();
    auto& processor = quillon::fuzz::lastingProcessor<QuillonAudioProcessor>();
    static const auto file = quillon::fuzz::scratchFolder ("preset").getChildFile ("fuzzed.xml");

    quillon::fuzz::writeBytes (file, data, size);
    juce::String error;
    const bool loaded = quillon::ui::loadUserPresetFile (processor, file, &error);
    QUILLON_FUZZ_CHECK (loaded == error.isEmpty());
    return 0;
}
