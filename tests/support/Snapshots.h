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
