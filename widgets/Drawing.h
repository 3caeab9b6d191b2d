#pragma once

#include <juce_graphics/juce_graphics.h>

#include <initializer_list>

namespace larkspur::widgets
{

/** An open path through the points in order, as the cards' small glyphs and previews are drawn. */
inline juce::Path polyline (std::initializer_list<juce::Point<float>> points)
{
    juce::Path p;
    bool first = true;

    for (auto point : points)
    {
        if (first)
            p.startNewSubPath (point);
        else
            p.lineTo (point);
        first = false;
    }

    return p;
}

} // namespace larkspur::widgets
