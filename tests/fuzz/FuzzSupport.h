#pragma once

// Shared by the fuzz targets: the framework's message loop (the processor starts a timer) and a
// scratch folder of their own.

#include <juce_events/juce_events.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

// The entry point each target defines, as libFuzzer calls it.
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size);

namespace quillon::fuzz
{

// Never shut down: at exit the framework's own statics are gone before a static of ours would be.
inline void startFramework()
{
    [[maybe_unused]] static auto* framework = new juce::ScopedJuceInitialiser_GUI();
}

// A processor that lives as long as the process, for the same reason.
template <typename Processor>
Processor& lastingProcessor()
{
    static auto* processor = new Processor();
    return *processor;
}

inline juce::File scratchFolder (const char* name)
{
    static const auto base = []
    {
        const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getChildFile ("quillon-fuzz-" + juce::String ((int) ::getpid()));
        static const auto path = folder.getFullPathName().toStdString();
        std::atexit ([] { std::error_code ignored; std::filesystem::remove_all (path, ignored); });
        return folder;
    }();
    auto folder = base.getChildFile (name);
    folder.createDirectory();
    return folder;
}

inline void writeBytes (const juce::File& file, const uint8_t* data, size_t size)
{
    juce::FileOutputStream out (file);
    out.setPosition (0);
    out.truncate();
    out.write (data, size);
}

// A fault the sanitizers cannot see, such as a non-finite sample, stops the run like a crash.
#define QUILLON_FUZZ_CHECK(condition) do { if (! (condition)) std::abort(); } while (false)

} // namespace quillon::fuzz
