#pragma once

#include "support/Snapshots.h"
#include "plugin/PluginProcessor.h"
#include "widgets/WidgetTestSupport.h"

namespace matrix_tests
{

inline juce::String slotId (int slot, const char* suffix) { return "mod" + juce::String (slot) + suffix; }

inline void setPlain (QuillonAudioProcessor& p, const juce::String& id, float plainValue)
{
    auto* param = p.parameterState.getParameter (id);
    param->setValueNotifyingHost (param->convertTo0to1 (plainValue));
}

inline float plain (QuillonAudioProcessor& p, const juce::String& id)
{
    return p.parameterState.getRawParameterValue (id)->load();
}

inline void setSlot (QuillonAudioProcessor& p, int slot, int source, int destination, float amount)
{
    setPlain (p, slotId (slot, "Source"), (float) source);
    setPlain (p, slotId (slot, "Dest"), (float) destination);
    setPlain (p, slotId (slot, "Amount"), amount);
}

inline void clearMatrix (QuillonAudioProcessor& p)
{
    for (int slot = 1; slot <= 4; ++slot)
        setSlot (p, slot, 0, 0, 0.0f);
}

struct Slot
{
    int source, destination;
    float amount;
};

inline Slot readSlot (QuillonAudioProcessor& p, int slot)
{
    return { juce::roundToInt (plain (p, slotId (slot, "Source"))), juce::roundToInt (plain (p, slotId (slot, "Dest"))),
             plain (p, slotId (slot, "Amount")) };
}

using quillon::test::testOutputFile;
using quillon::test::writePng;

} // namespace matrix_tests
