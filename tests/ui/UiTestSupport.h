#pragma once

#include "widgets/WidgetTestSupport.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace ui_tests
{

/** Counts repaint requests that reach a component (it must be visible and non-empty). */
class RepaintCounter : public juce::CachedComponentImage
{
public:
    explicit RepaintCounter (int& counter) : count (counter) {}
    void paint (juce::Graphics&) override {}
    bool invalidateAll() override { ++count; return false; }
    bool invalidate (const juce::Rectangle<int>&) override { ++count; return false; }
    void releaseResources() override {}

private:
    int& count;
};

inline juce::File writeSnapshot (const juce::Image& image, const juce::String& fileName)
{
    const juce::File outDir (QUILLON_TEST_OUTPUT_DIR);
    outDir.createDirectory();
    const auto file = outDir.getChildFile (fileName);
    file.deleteFile();
    juce::FileOutputStream out (file);
    if (out.openedOk())
        juce::PNGImageFormat().writeImageToStream (image, out);
    return file;
}

} // namespace ui_tests
