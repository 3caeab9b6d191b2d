#pragma once

// Shared by the fuzz targets: the framework's message loop (the processor starts a timer) and a
// scratch folder of their own.

#include <juce_events/juce_events.h>

#include <cstdlib>

namespace quillon::fuzz
{

inline void startFramework()
{
    static juce::ScopedJuceInitialiser_GUI framework;
}

inline juce::File scratchFolder (const char* name)
{
    static const auto base = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                 .getChildFile ("quillon-fuzz-" + juce::String (juce::Process::getCurrentProcessId()));
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
