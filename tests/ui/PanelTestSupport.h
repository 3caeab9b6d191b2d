#pragma once

#include "support/Snapshots.h"
#include "plugin/PluginProcessor.h"
#include "widgets/WidgetTestSupport.h"

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

/** A processor per test; panels are built on its parameter tree. */
class PanelTest : public ::testing::Test
{
protected:
    QuillonAudioProcessor processor;
    juce::AudioProcessorValueTreeState& state = processor.parameterState;
};

} // namespace panel_tests
