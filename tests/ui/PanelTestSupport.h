#pragma once

#include "support/Snapshots.h"
#include "plugin/PluginProcessor.h"
#include "widgets/WidgetTestSupport.h"

#include <vector>

namespace panel_tests
{
using namespace widget_tests;

inline void setPlain (QuillonAudioProcessor& p, const juce::String& id, float plainValue)
{
    auto* param = p.parameterState.getParameter (id);
    param->setValueNotifyingHost (param->convertTo0to1 (plainValue));
}

inline float plain (QuillonAudioProcessor& p, const juce::String& id)
{
    return p.parameterState.getRawParameterValue (id)->load();
}

inline float normalised (QuillonAudioProcessor& p, const juce::String& id)
{
    return p.parameterState.getParameter (id)->getValue();
}

using quillon::test::writePng;

/** The points of a path made of one sub-path of straight lines, as the panels' plots are. */
inline std::vector<juce::Point<float>> pathPoints (const juce::Path& path)
{
    std::vector<juce::Point<float>> points;
    for (juce::Path::Iterator it (path); it.next();)
        if (it.elementType == juce::Path::Iterator::startNewSubPath || it.elementType == juce::Path::Iterator::lineTo)
            points.emplace_back (it.x1, it.y1);
    return points;
}

/** A processor per test; panels are built on its parameter tree. */
class PanelTest : public ::testing::Test
{
protected:
    QuillonAudioProcessor processor;
    juce::AudioProcessorValueTreeState& state = processor.parameterState;
};

} // namespace panel_tests
