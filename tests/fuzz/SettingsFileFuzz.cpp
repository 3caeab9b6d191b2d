// The settings file as found at start: read, or set aside with the defaults used, and then written.

#include "fuzz/FuzzSupport.h"
#include "ui/Settings.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    quillon::fuzz::startFramework();
    static const auto folder = quillon::fuzz::scratchFolder ("settings");
    const auto file = folder.getChildFile ("Quillon.settings");

    quillon::fuzz::writeBytes (file, data, size);
    {
        quillon::ui::SettingsFile settings (file, quillon::ui::settingsFileOptions());
        // The values the standalone window reads as XML reach the framework's parser.
        const auto audioSetup = settings.getXmlValue ("audioSetup");
        settings.setValue (quillon::ui::settingsKeys::displayScale, 1.25);
    }

    // What was written reads back.
    juce::StringPairArray values;
    QUILLON_FUZZ_CHECK (quillon::ui::readSettingsValues (file, values));
    QUILLON_FUZZ_CHECK (values[quillon::ui::settingsKeys::displayScale] == "1.25");

    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*.unreadable-*"))
        entry.getFile().deleteFile();
    return 0;
}
