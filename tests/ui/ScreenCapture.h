#pragma once

#include <juce_graphics/juce_graphics.h>

namespace window_tests
{
/** What the X server shows in an area of the screen right now, as an RGB image; a null image without
    a display. Closed windows leave their picture behind until the window below paints again, which a
    component's own snapshot never shows. */
juce::Image captureScreen (juce::Rectangle<int> screenArea);

/** How many pixels of the two images, compared at the same position, differ by more than a little in
    any channel. */
int countDifferingPixels (const juce::Image& a, const juce::Image& b);
} // namespace window_tests
