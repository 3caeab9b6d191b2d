#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace quillon::test
{

// A component painted headless, as a person would see it.
inline juce::Image paintToImage (juce::Component& c)
{
    juce::Image image (juce::Image::ARGB, juce::jmax (1, c.getWidth()), juce::jmax (1, c.getHeight()), true);
    juce::Graphics g (image);
    c.paintEntireComponent (g, true);
    return image;
}

inline bool imagesEqual (const juce::Image& a, const juce::Image& b)
{
    if (a.getBounds() != b.getBounds())
        return false;

    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
            if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                return false;

    return true;
}

/** Counts the repaints that reach a component from itself or any visible child: what a window
    holding it would have to paint. Installed as the component's cached image while it lives. */
class RepaintCounter
{
public:
    explicit RepaintCounter (juce::Component& c) : component (c)
    {
        component.setCachedComponentImage (new Probe (*this)); // the component owns the probe
        reset(); // installing it repaints once
    }

    void reset() { count = 0; areas.clear(); }

    ~RepaintCounter() { component.setCachedComponentImage (nullptr); }

    int count = 0;
    juce::RectangleList<int> areas;

private:
    struct Probe : juce::CachedComponentImage
    {
        explicit Probe (RepaintCounter& o) : owner (o) {}
        void paint (juce::Graphics&) override {}
        bool invalidateAll() override { ++owner.count; owner.areas.add (owner.component.getLocalBounds()); return false; }
        bool invalidate (const juce::Rectangle<int>& area) override { ++owner.count; owner.areas.add (area); return false; }
        void releaseResources() override {}
        RepaintCounter& owner;
    };

    juce::Component& component;
};

/** Repaints that an action causes on a component (shown for the count, as a window would show it). */
template <typename Action>
int countRepaints (juce::Component& c, Action&& action)
{
    const bool wasVisible = c.isVisible();
    c.setVisible (true);
    int n = 0;
    {
        RepaintCounter counter (c);
        action();
        n = counter.count;
    }
    c.setVisible (wasVisible);
    return n;
}

inline juce::File testOutputFile (const juce::String& name)
{
    const juce::File dir (QUILLON_TEST_OUTPUT_DIR);
    dir.createDirectory();
    return dir.getChildFile (name);
}

// Writes a picture into the build folder for a person to look at; returns where it went.
inline juce::File writePng (const juce::Image& image, const juce::String& name)
{
    const auto file = testOutputFile (name);
    file.deleteFile();
    juce::FileOutputStream out (file);
    if (out.openedOk())
        juce::PNGImageFormat().writeImageToStream (image, out);
    return file;
}

} // namespace quillon::test
