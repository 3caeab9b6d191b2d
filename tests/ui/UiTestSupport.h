#pragma once

#include "support/Snapshots.h"
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
    return quillon::test::writePng (image, fileName);
}

} // namespace ui_tests
