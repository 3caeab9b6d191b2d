#include "WindowTestSupport.h"

#include "ui/Editor.h"
#include "ui/matrix/LfoCard.h"
#include "widgets/Knob.h"

#include <functional>

using namespace window_tests;
using quillon::ui::Editor;

namespace
{
/** Runs the message loop (timers included) for a while, as an open window would. */
void runMessageLoopFor (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;

    while ((juce::int32) (end - juce::Time::getMillisecondCounter()) > 0)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (2);
}

/** Every component of a tree, depth first, for naming the ones that repaint. */
void collect (juce::Component& c, std::vector<juce::Component*>& out)
{
    out.push_back (&c);
    for (auto* child : c.getChildren())
        collect (*child, out);
}

juce::String describe (juce::Component& c)
{
    auto name = juce::String (typeid (c).name());
    if (c.getName().isNotEmpty())
        name << " '" << c.getName() << "'";
    return name;
}

template <typename Predicate>
larkspur::widgets::Knob* findKnob (juce::Component& root, Predicate&& accept)
{
    std::vector<juce::Component*> all;
    collect (root, all);
    for (auto* c : all)
        if (auto* knob = dynamic_cast<larkspur::widgets::Knob*> (c); knob != nullptr && accept (*knob))
            return knob;
    return nullptr;
}

class EditorRestTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        editor = std::make_unique<Editor> (processor);
        editor->setVisible (true);
        runMessageLoopFor (400); // the first ticks pick up the processor's state
    }

    /** Repaints that reach the editor's window during the given time, naming where they came from. */
    int repaintsDuring (int milliseconds, juce::StringArray& sources)
    {
        std::vector<juce::Component*> all;
        collect (*editor, all);
        std::vector<std::unique_ptr<quillon::test::RepaintCounter>> counters;
        for (auto* c : all)
            counters.push_back (std::make_unique<quillon::test::RepaintCounter> (*c));

        runMessageLoopFor (milliseconds);

        // Each counter keeps its repaints from its parents, so the sum is what the window sees.
        int total = 0;
        for (size_t i = 0; i < all.size(); ++i)
        {
            total += counters[i]->count;
            if (counters[i]->count > 0)
                sources.add (describe (*all[i]) + " x" + juce::String (counters[i]->count));
        }
        return total;
    }

    ScopedUserHome home;
    QuillonAudioProcessor processor;
    std::unique_ptr<Editor> editor;
};
} // namespace

TEST_F (EditorRestTest, AtRestOnlyTheLfoPreviewMovesAndNoFasterThanItsPollRate)
{
    // No note plays; the LFO preview scrolls at its rate all the same, and is the only thing that moves.
    std::vector<juce::Component*> all;
    collect (*editor, all);
    quillon::ui::widgets::LfoPreviewStrip* preview = nullptr;
    for (auto* c : all)
        if (auto* p = dynamic_cast<quillon::ui::widgets::LfoPreviewStrip*> (c))
            preview = p;
    ASSERT_NE (preview, nullptr);
    ASSERT_TRUE (preview->isOnScreen());

    juce::StringArray sources;
    const int repaints = repaintsDuring (2000, sources);
    EXPECT_EQ (sources.size(), 1) << sources.joinIntoString (", ");
    EXPECT_TRUE (sources.joinIntoString (", ").contains ("LfoPreviewStrip")) << sources.joinIntoString (", ");
    EXPECT_GT (repaints, 0);
    EXPECT_LE (repaints, 2 * quillon::ui::widgets::LfoPreviewStrip::pollHz + 2);

    // With the LFO at its slowest, the preview moves a pixel at a time and repaints far less often.
    processor.parameterState.getParameter ("lfo1Rate")->setValueNotifyingHost (0.0f);
    runMessageLoopFor (200);
    sources.clear();
    EXPECT_LE (repaintsDuring (2000, sources), 12) << sources.joinIntoString (", "); // about 8 pixels
}

TEST_F (EditorRestTest, AHiddenEditorPaintsNothing)
{
    editor->setVisible (false);
    runMessageLoopFor (200);
    juce::StringArray sources;
    EXPECT_EQ (repaintsDuring (1000, sources), 0) << sources.joinIntoString (", ");
}

TEST_F (EditorRestTest, AFlashedKnobGoesBackToRest)
{
    // A matrix row hover flashes the knobs of its destination; a second later all is still again.
    auto* knob = findKnob (*editor, [] (auto& k) { return k.isVisible() && k.getWidth() > 0; });
    ASSERT_NE (knob, nullptr);
    knob->flashHighlight();
    runMessageLoopFor (1200);
    EXPECT_FALSE (knob->isFlashActive());
    EXPECT_FALSE (knob->isTimerRunning());

    juce::StringArray sources;
    repaintsDuring (1000, sources);
    EXPECT_FALSE (sources.joinIntoString (", ").contains ("Knob")) << sources.joinIntoString (", ");
}

TEST_F (EditorRestTest, MidiLearnBlinksUntilAControllerIsLearned)
{
    // The drive knob's menu arms learn: it blinks, and only it, until the processor maps a controller.
    auto* drive = findKnob (*editor, [] (auto& k)
    {
        const auto menu = k.buildContextMenu();
        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
            if (it.getItem().itemID == larkspur::widgets::Knob::midiLearnItem)
                return true;
        return false;
    });
    ASSERT_NE (drive, nullptr);
    drive->handleMenuResult (larkspur::widgets::Knob::midiLearnItem);
    ASSERT_TRUE (drive->isMidiLearnArmed());

    juce::StringArray sources;
    repaintsDuring (500, sources);
    for (int i = sources.size(); --i >= 0;)
        if (sources[i].contains ("LfoPreviewStrip")) // the preview scrolls on its own
            sources.remove (i);
    ASSERT_EQ (sources.size(), 1) << sources.joinIntoString (", ");
    EXPECT_TRUE (sources[0].contains ("Knob"));

    // A controller arrives: learn ends in the processor, and the editor's tick stops the blink.
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::controllerEvent (1, 21, 64), 0);
    juce::AudioBuffer<float> buffer (2, 64);
    processor.prepareToPlay (48000.0, 64);
    processor.processBlock (buffer, midi);
    EXPECT_EQ (processor.getMidiLearnTarget(), -1);
    runMessageLoopFor (200);
    EXPECT_FALSE (drive->isMidiLearnArmed());
    EXPECT_FALSE (drive->isTimerRunning());
    processor.releaseResources();
}
