#pragma once

#include "support/Snapshots.h"
#include "support/InertProcessor.h"
#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <vector>

namespace juce
{
// JUCE's own message-queue step (Linux); with modal loops off it is the only way to run posted work in a test.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace widget_tests
{

/** Runs everything already posted to the message thread. */
inline void pumpMessages (int rounds = 20)
{
    for (int i = 0; i < rounds; ++i)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            break;
}

/** A processor with no audio, only a few parameters of every kind, for binding controls. */
class DummyProcessor : public quillon::test::InertProcessor
{
public:
    DummyProcessor()
        : state (*this, nullptr, "PARAMS", makeLayout())
    {
    }

    static juce::AudioProcessorValueTreeState::ParameterLayout makeLayout()
    {
        using namespace juce;
        AudioProcessorValueTreeState::ParameterLayout layout;
        layout.add (std::make_unique<AudioParameterFloat> (ParameterID { "amount", 1 }, "amount", NormalisableRange<float> (-1.0f, 1.0f), 0.25f));
        layout.add (std::make_unique<AudioParameterFloat> (ParameterID { "level", 1 }, "level", NormalisableRange<float> (-60.0f, 6.0f), 0.0f));
        layout.add (std::make_unique<AudioParameterFloat> (ParameterID { "blend", 1 }, "blend", NormalisableRange<float> (0.0f, 1.0f), 0.0f));
        layout.add (std::make_unique<AudioParameterFloat> (ParameterID { "semis", 1 }, "semis", NormalisableRange<float> (-12.0f, 12.0f, 1.0f), 0.0f));
        layout.add (std::make_unique<AudioParameterChoice> (ParameterID { "wave", 1 }, "wave", StringArray { "sine", "saw" }, 0));
        layout.add (std::make_unique<AudioParameterChoice> (ParameterID { "colour", 1 }, "colour", StringArray { "white", "pink", "brown" }, 0));
        layout.add (std::make_unique<AudioParameterChoice> (ParameterID { "shape", 1 }, "shape", StringArray { "sine", "tri", "sqr", "s&h" }, 1));
        layout.add (std::make_unique<AudioParameterBool> (ParameterID { "toggle", 1 }, "toggle", false));
        return layout;
    }

    juce::AudioParameterChoice& choice (const juce::String& id)
    {
        return *dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (id));
    }

    juce::RangedAudioParameter& param (const juce::String& id) { return *state.getParameter (id); }
    float raw (const juce::String& id) { return state.getRawParameterValue (id)->load(); }

    juce::AudioProcessorValueTreeState state;
};

/** Records what a control does to one parameter: values set and gesture begins/ends, in order. */
class ParameterRecorder : private juce::AudioProcessorParameter::Listener
{
public:
    explicit ParameterRecorder (juce::AudioProcessorParameter& p) : parameter (p) { parameter.addListener (this); }
    ~ParameterRecorder() override { parameter.removeListener (this); }

    int begins = 0, ends = 0;
    std::vector<float> values;
    bool valueOutsideGesture = false;

    void clear() { begins = ends = 0; values.clear(); valueOutsideGesture = false; }

private:
    void parameterValueChanged (int, float v) override
    {
        values.push_back (v);
        if (begins == ends)
            valueOutsideGesture = true;
    }

    void parameterGestureChanged (int, bool starting) override { (starting ? begins : ends)++; }

    juce::AudioProcessorParameter& parameter;
};

inline juce::MouseEvent mouseEvent (juce::Component& c, juce::Point<float> pos, juce::ModifierKeys mods = {},
                                    juce::Point<float> downPos = { -1.0f, -1.0f }, int clicks = 1, bool dragged = false)
{
    const auto now = juce::Time::getCurrentTime();
    return { juce::Desktop::getInstance().getMainMouseSource(), pos, mods, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
             &c, &c, now, downPos.x < 0 ? pos : downPos, now, clicks, dragged };
}

inline juce::ModifierKeys leftButton (int extra = 0)
{
    return juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier | extra);
}

/** Press at one point, drag through the others, release at the last. */
inline void drag (juce::Component& c, juce::Point<float> from, std::initializer_list<juce::Point<float>> through, int extraMods = 0)
{
    const auto mods = leftButton (extraMods);
    c.mouseDown (mouseEvent (c, from, mods));
    auto last = from;

    for (auto p : through)
    {
        c.mouseDrag (mouseEvent (c, p, mods, from, 1, true));
        last = p;
    }

    c.mouseUp (mouseEvent (c, last, mods, from, 1, true));
}

inline juce::MouseWheelDetails wheel (float deltaY, bool reversed = false)
{
    return { 0.0f, deltaY, reversed, false, false };
}

/** Colours compared channel by channel within a tolerance (anti-aliasing, premultiplication). */
inline ::testing::AssertionResult coloursClose (juce::Colour actual, juce::Colour expected, int tolerance = 2)
{
    const auto near = [tolerance] (int a, int b) { return std::abs (a - b) <= tolerance; };

    if (near (actual.getRed(), expected.getRed()) && near (actual.getGreen(), expected.getGreen())
        && near (actual.getBlue(), expected.getBlue()) && near (actual.getAlpha(), expected.getAlpha()))
        return ::testing::AssertionSuccess();

    return ::testing::AssertionFailure() << "got " << actual.toDisplayString (true) << ", expected "
                                         << expected.toDisplayString (true);
}

using quillon::test::imagesEqual;
using quillon::test::paintToImage;
using quillon::test::countRepaints;

} // namespace widget_tests
