#include "ScreenCapture.h"

// After every JUCE header: Xlib's macros (KeyPress, None, Bool) would clash with JUCE's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

namespace window_tests
{
juce::Image captureScreen (juce::Rectangle<int> area)
{
    if (std::getenv ("DISPLAY") == nullptr || area.isEmpty())
        return {};

    auto* display = XOpenDisplay (nullptr);
    if (display == nullptr)
        return {};

    XSync (display, False);
    const auto root = DefaultRootWindow (display);
    juce::Image result;

    if (auto* image = XGetImage (display, root, area.getX(), area.getY(), (unsigned) area.getWidth(),
                                 (unsigned) area.getHeight(), AllPlanes, ZPixmap))
    {
        result = juce::Image (juce::Image::RGB, area.getWidth(), area.getHeight(), false);
        for (int y = 0; y < area.getHeight(); ++y)
            for (int x = 0; x < area.getWidth(); ++x)
            {
                const auto p = XGetPixel (image, x, y);
                result.setPixelAt (x, y, juce::Colour ((juce::uint8) ((p >> 16) & 0xff), (juce::uint8) ((p >> 8) & 0xff),
                                                       (juce::uint8) (p & 0xff)));
            }
        XDestroyImage (image);
    }

    XCloseDisplay (display);
    return result;
}

int countDifferingPixels (const juce::Image& a, const juce::Image& b)
{
    int differing = 0;
    for (int y = 0; y < juce::jmin (a.getHeight(), b.getHeight()); ++y)
        for (int x = 0; x < juce::jmin (a.getWidth(), b.getWidth()); ++x)
        {
            const auto p = a.getPixelAt (x, y), q = b.getPixelAt (x, y);
            if (std::abs (p.getRed() - q.getRed()) > 8 || std::abs (p.getGreen() - q.getGreen()) > 8
                || std::abs (p.getBlue() - q.getBlue()) > 8)
                ++differing;
        }
    return differing;
}
} // namespace window_tests
