// A theme file, and the same text kept in the settings, is applied or refused with a reason.

#include "fuzz/FuzzSupport.h"
#include "plugin/Palette.h"
#include "ui/Themes.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    quillon::fuzz::startFramework();
    static const auto file = quillon::fuzz::scratchFolder ("theme").getChildFile ("fuzzed.json");

    quillon::fuzz::writeBytes (file, data, size);
    juce::String text, error;
    const bool applied = quillon::ui::loadThemeFile (file, &text, &error);
    QUILLON_FUZZ_CHECK (applied == error.isEmpty());

    // The stored copy reads back the same way on the next start.
    if (applied)
        QUILLON_FUZZ_CHECK (quillon::ui::applyStoredThemeJson (text));
    return 0;
}
