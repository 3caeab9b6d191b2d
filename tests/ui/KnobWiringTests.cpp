#include "MatrixTestSupport.h"
#include "ui/matrix/KnobWiring.h"

#include <gtest/gtest.h>

using namespace matrix_tests;
using namespace quillon::ui::matrix;
using larkspur::widgets::Knob;

namespace
{
class KnobWiring : public ::testing::Test
{
protected:
    void SetUp() override
    {
        compactKnobRegistry();
        clearMatrix (processor);
    }

    void TearDown() override
    {
        revealInMatrixHook = nullptr;
        matrixChangedHook = nullptr;
    }

    void setLive (int slot, float value) { processor.engine.liveSlotValues[(size_t) slot - 1].store (value); }

    QuillonAudioProcessor processor;
};

// Alpha of the painted knob at the live marker's centre for a live position (variant 0 geometry).
int alphaAtLivePosition (Knob& knob, double position)
{
    const auto image = widget_tests::paintToImage (knob);
    const auto g = knob.getGeometry();
    const auto angle = juce::MathConstants<double>::pi * (1.25 + position * 1.5) - juce::MathConstants<double>::halfPi;
    return image.getPixelAt (juce::roundToInt (g.cx + g.ringRadius * std::cos (angle) - 0.5),
                             juce::roundToInt (g.cy + g.ringRadius * std::sin (angle) - 0.5)).getAlpha();
}

int registeredEntriesFor (Knob& knob)
{
    int count = 0;
    for (auto& e : knobRegistry())
        count += e.knob.getComponent() == &knob ? 1 : 0;
    return count;
}
} // namespace

TEST_F (KnobWiring, AssignmentFillsFirstFreeSlotOrReusesTheSlotOnTheDestination)
{
    EXPECT_TRUE (assignModulationSource (processor, 1, 1));
    auto s = readSlot (processor, 1);
    EXPECT_EQ (s.source, 1);
    EXPECT_EQ (s.destination, 1);
    EXPECT_NEAR (s.amount, 0.35f, 1.0e-6f);

    // The default matrix holds velocity on amp in slot 1, so the same assignment lands in slot 2.
    QuillonAudioProcessor fresh;
    EXPECT_TRUE (assignModulationSource (fresh, 1, 1));
    EXPECT_EQ (readSlot (fresh, 1).destination, 3);
    EXPECT_EQ (readSlot (fresh, 2).source, 1);
    EXPECT_EQ (readSlot (fresh, 2).destination, 1);

    clearMatrix (processor);
    setSlot (processor, 3, 1, 1, -0.6f);
    EXPECT_TRUE (assignModulationSource (processor, 5, 1));
    EXPECT_EQ (readSlot (processor, 3).source, 5);
    EXPECT_NEAR (readSlot (processor, 3).amount, -0.6f, 1.0e-4f);
    EXPECT_EQ (readSlot (processor, 1).source, 0);

    setPlain (processor, slotId (3, "Amount"), 0.0004f);
    assignModulationSource (processor, 2, 1);
    EXPECT_NEAR (readSlot (processor, 3).amount, 0.35f, 1.0e-4f);

    setPlain (processor, slotId (3, "Amount"), -0.001f);
    assignModulationSource (processor, 2, 1);
    EXPECT_NEAR (readSlot (processor, 3).amount, -0.001f, 1.0e-5f);
}

TEST_F (KnobWiring, RemovedModulationKeepsItsDestinationAndIsReusedFirst)
{
    setSlot (processor, 2, 1, 1, 0.35f);
    setSlot (processor, 4, 3, 1, -0.2f);
    setSlot (processor, 3, 2, 2, 0.5f);

    removeModulationForDestination (processor, 1);
    for (int slot : { 2, 4 })
    {
        EXPECT_EQ (readSlot (processor, slot).source, 0);
        EXPECT_EQ (readSlot (processor, slot).destination, 1);
        EXPECT_NEAR (readSlot (processor, slot).amount, 0.0f, 1.0e-6f);
    }
    EXPECT_EQ (readSlot (processor, 3).source, 2);
    EXPECT_EQ (findSlotForDestination (processor, 1), 0);

    // Slot 1 is free, but slot 2 still points at cutoff and is taken first.
    EXPECT_TRUE (assignModulationSource (processor, 4, 1));
    EXPECT_EQ (readSlot (processor, 2).source, 4);
    EXPECT_NEAR (readSlot (processor, 2).amount, 0.35f, 1.0e-6f);
    EXPECT_EQ (readSlot (processor, 1).source, 0);
}

TEST_F (KnobWiring, FourBusySlotsRefuseADropAndChangeNothing)
{
    for (int slot = 1; slot <= 4; ++slot)
        setSlot (processor, slot, slot, slot + 1, 0.1f * (float) slot);

    Knob knob (0, false, false);
    wireKnob (knob, processor, quillon::ids::filterCutoff, quillon::ModDestination::cutoff);

    juce::DragAndDropTarget::SourceDetails details (juce::var ("velocity"), nullptr, {});
    knob.itemDropped (details);

    EXPECT_FALSE (knob.isModulated());
    for (int slot = 1; slot <= 4; ++slot)
    {
        EXPECT_EQ (readSlot (processor, slot).source, slot);
        EXPECT_EQ (readSlot (processor, slot).destination, slot + 1);
    }
}

TEST_F (KnobWiring, WritesAreGesturesOnTheMessageThread)
{
    widget_tests::ParameterRecorder source (*processor.parameterState.getParameter ("mod1Source"));
    widget_tests::ParameterRecorder dest (*processor.parameterState.getParameter ("mod1Dest"));
    widget_tests::ParameterRecorder amount (*processor.parameterState.getParameter ("mod1Amount"));

    assignModulationSource (processor, 5, 28);
    for (auto* r : { &source, &dest, &amount })
    {
        EXPECT_EQ (r->begins, 1);
        EXPECT_EQ (r->ends, 1);
        EXPECT_FALSE (r->valueOutsideGesture);
    }
    EXPECT_EQ (readSlot (processor, 1).destination, 28);
}

TEST_F (KnobWiring, DescriptionTexts)
{
    const auto dot = juce::String (juce::CharPointer_UTF8 (" \xc2\xb7 "));
    EXPECT_EQ (modulationDescription (processor, 1), juce::String());

    setSlot (processor, 2, 1, 1, 0.35f);
    EXPECT_EQ (modulationDescription (processor, 1), "Modulating: Velocity" + dot + "+35 %");
    setPlain (processor, "mod2Amount", -0.5f);
    EXPECT_EQ (modulationDescription (processor, 1), "Modulating: Velocity" + dot + "-50 %");
    setPlain (processor, "mod2Amount", 0.0f);
    EXPECT_EQ (modulationDescription (processor, 1), "Modulating: Velocity" + dot + "+0 %");

    // Filter env (8) has no display name on the knob side; the slot is still the ring's.
    clearMatrix (processor);
    setSlot (processor, 1, 8, 14, 0.25f);
    EXPECT_EQ (modulationDescription (processor, 14), juce::String());

    Knob knob (0, false, false);
    wireKnob (knob, processor, quillon::ids::filterReso, quillon::ModDestination::resonance);
    EXPECT_TRUE (knob.isModulated());

    const auto menu = knob.buildContextMenu();
    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        EXPECT_NE (it.getItem().itemID, (int) Knob::removeModulationItem);
}

TEST_F (KnobWiring, RingDragWritesTheActiveSlotAmountClamped)
{
    setSlot (processor, 2, 8, 1, 0.25f);
    Knob knob (0, false, false);
    wireKnob (knob, processor, quillon::ids::filterCutoff, quillon::ModDestination::cutoff);
    knob.setBounds (0, 0, 44, 96);

    widget_tests::ParameterRecorder recorder (*processor.parameterState.getParameter ("mod2Amount"));

    // The ring of variant 0 has radius 21 around (22, 22): press on it at the top, drag far up.
    const juce::Point<float> onRing { 22.0f, 1.0f };
    widget_tests::drag (knob, onRing, { { 22.0f, -300.0f } });
    EXPECT_NEAR (plain (processor, "mod2Amount"), 1.0f, 1.0e-6f);
    EXPECT_EQ (recorder.begins, 1);
    EXPECT_EQ (recorder.ends, 1);
    EXPECT_FALSE (recorder.valueOutsideGesture);

    widget_tests::drag (knob, onRing, { { 22.0f, 800.0f } });
    EXPECT_NEAR (plain (processor, "mod2Amount"), -1.0f, 1.0e-6f);

    // Without an active slot the ring callbacks do nothing.
    clearMatrix (processor);
    Knob other (0, false, false);
    wireKnob (other, processor, quillon::ids::drive, quillon::ModDestination::drive);
    recorder.clear();
    other.setModulated (true);
    other.setBounds (0, 0, 44, 96);
    widget_tests::drag (other, onRing, { { 22.0f, -100.0f } });
    EXPECT_TRUE (recorder.values.empty());
}

TEST_F (KnobWiring, MenuAndDropRouteSources)
{
    Knob knob (0, false, false);
    wireKnob (knob, processor, quillon::ids::filterCutoff, quillon::ModDestination::cutoff);
    EXPECT_FALSE (knob.isModulated());

    // "Modulate from" > "LFO 1" is item 105.
    knob.handleMenuResult (Knob::sourceItemBase + 5);
    EXPECT_EQ (readSlot (processor, 1).source, 5);
    EXPECT_EQ (readSlot (processor, 1).destination, 1);
    EXPECT_TRUE (knob.isModulated());

    knob.handleMenuResult (Knob::removeModulationItem);
    EXPECT_EQ (readSlot (processor, 1).source, 0);
    EXPECT_FALSE (knob.isModulated());

    Knob drive (0, false, false);
    wireKnob (drive, processor, quillon::ids::drive, quillon::ModDestination::drive);
    juce::DragAndDropTarget::SourceDetails filterEnv (juce::var ("filterEnv"), nullptr, {});
    EXPECT_FALSE (drive.isInterestedInDragSource (filterEnv));
    juce::DragAndDropTarget::SourceDetails modWheel (juce::var ("modwheel"), nullptr, {});
    EXPECT_TRUE (drive.isInterestedInDragSource (modWheel));
    drive.itemDropped (modWheel);
    EXPECT_TRUE (drive.isModulated());
    // Slot 1 still points at cutoff with no source: it is free, so the drop takes it over.
    EXPECT_EQ (readSlot (processor, 1).source, 3);
    EXPECT_EQ (readSlot (processor, 1).destination, 2);

    drive.handleMenuResult (Knob::revealItem); // no hook installed: nothing happens
    int revealed = -1;
    revealInMatrixHook = [&] (int d) { revealed = d; };
    drive.handleMenuResult (Knob::revealItem);
    EXPECT_EQ (revealed, 2);
}

TEST_F (KnobWiring, MidiLearnTogglesAndFollowsTheProcessor)
{
    Knob cutoff (0, false, false), drive (0, false, false);
    wireKnob (cutoff, processor, quillon::ids::filterCutoff, quillon::ModDestination::cutoff);
    wireKnob (drive, processor, quillon::ids::drive, quillon::ModDestination::drive);

    cutoff.handleMenuResult (Knob::midiLearnItem);
    EXPECT_TRUE (processor.isMidiLearnArmed ("filterCutoff"));
    EXPECT_TRUE (cutoff.isMidiLearnArmed());

    cutoff.handleMenuResult (Knob::midiLearnItem);
    EXPECT_FALSE (processor.isMidiLearnArmed ("filterCutoff"));
    EXPECT_FALSE (cutoff.isMidiLearnArmed());

    // Arming another knob, or a learn completed by the processor, stops the first knob's blink.
    cutoff.handleMenuResult (Knob::midiLearnItem);
    drive.handleMenuResult (Knob::midiLearnItem);
    updateModulationRings (processor);
    EXPECT_FALSE (cutoff.isMidiLearnArmed());
    EXPECT_TRUE (drive.isMidiLearnArmed());

    processor.cancelMidiLearn();
    updateModulationRings (processor);
    EXPECT_FALSE (drive.isMidiLearnArmed());
}

TEST_F (KnobWiring, EachInstanceTicksOnlyItsOwnKnobs)
{
    // Two plug-in instances, each with a cutoff knob; only the first arms MIDI learn.
    QuillonAudioProcessor other;
    clearMatrix (other);
    Knob mine (0, false, false), theirs (0, false, false);
    wireKnob (mine, processor, quillon::ids::filterCutoff, quillon::ModDestination::cutoff);
    wireKnob (theirs, other, quillon::ids::filterCutoff, quillon::ModDestination::cutoff);

    mine.handleMenuResult (Knob::midiLearnItem);
    ASSERT_TRUE (processor.isMidiLearnArmed ("filterCutoff"));
    updateModulationRings (other);
    EXPECT_TRUE (mine.isMidiLearnArmed()) << "the other instance's tick leaves this knob armed";
    updateModulationRings (processor);
    EXPECT_TRUE (mine.isMidiLearnArmed());

    // Live modulation of one instance never shows on the other's knob.
    setSlot (processor, 1, 1, 1, 0.5f);
    setLive (1, 0.6f);
    updateModulationRings (other);
    EXPECT_FALSE (mine.isModulated());
    EXPECT_FALSE (theirs.isModulated());
    updateModulationRings (processor);
    EXPECT_TRUE (mine.isModulated());
    EXPECT_FALSE (theirs.isModulated());

    // A matrix row's hover flashes its own instance's knobs only.
    flashKnobsForDestination (other, 1);
    EXPECT_FALSE (mine.isFlashActive());
    EXPECT_TRUE (theirs.isFlashActive());
}

TEST_F (KnobWiring, RegistryKeepsOneEntryPerKnobAndDropsDeletedKnobs)
{
    auto knob = std::make_unique<Knob> (0, false, false);
    wireKnob (*knob, processor, quillon::ids::drive, quillon::ModDestination::drive);
    wireKnob (*knob, processor, quillon::ids::drive, quillon::ModDestination::feedback);
    EXPECT_EQ (registeredEntriesFor (*knob), 1);

    for (auto& e : knobRegistry())
    {
        if (e.knob.getComponent() == knob.get())
        {
            EXPECT_EQ (e.destination, 28);
        }
    }

    const auto before = knobRegistry().size();
    knob.reset();
    setSlot (processor, 1, 5, 28, 0.5f);
    setLive (1, 0.5f);
    updateModulationRings (processor);
    EXPECT_EQ (knobRegistry().size(), before - 1);
}

TEST_F (KnobWiring, RingsSumLiveValuesPerDestination)
{
    Knob cutoff (0, false, false), drive (0, false, false);
    wireKnob (cutoff, processor, quillon::ids::filterCutoff, quillon::ModDestination::cutoff);
    wireKnob (drive, processor, quillon::ids::drive, quillon::ModDestination::drive);

    updateModulationRings (processor);
    EXPECT_EQ (modulationSummaryText (processor), "No modulations active");
    EXPECT_FALSE (cutoff.isModulated());
    EXPECT_FALSE (drive.isModulated());

    setSlot (processor, 1, 1, 1, 0.5f);
    setSlot (processor, 3, 5, 1, 0.5f);
    setSlot (processor, 2, 0, 2, 0.5f); // aimed at drive but off: not counted, no ring
    setLive (1, 0.4f);
    setLive (3, 0.5f);
    setLive (2, 0.9f);
    updateModulationRings (processor);

    EXPECT_EQ (modulationSummaryText (processor), "2 modulations active");
    EXPECT_TRUE (cutoff.isModulated());
    EXPECT_FALSE (drive.isModulated());

    // The live marker sits at 0.5 + sum / 2: 0.95 here, clamped to 1 for 0.8 + 0.8.
    cutoff.setBounds (0, 0, 44, 96);
    EXPECT_GT (alphaAtLivePosition (cutoff, 0.95), 240);
    EXPECT_LT (alphaAtLivePosition (cutoff, 1.0), 200);
    setLive (1, 0.8f);
    setLive (3, 0.8f);
    updateModulationRings (processor);
    EXPECT_GT (alphaAtLivePosition (cutoff, 1.0), 240);
    EXPECT_LT (alphaAtLivePosition (cutoff, 0.95), 200);

    // A routed destination whose source is momentarily silent keeps its ring.
    setLive (1, 0.0f);
    setLive (3, 0.0f);
    updateModulationRings (processor);
    EXPECT_TRUE (cutoff.isModulated());

    setSlot (processor, 2, 4, 2, 0.5f);
    EXPECT_EQ (modulationSummaryText (processor), "3 modulations active");
    clearMatrix (processor);
    setSlot (processor, 4, 4, 2, 0.5f);
    EXPECT_EQ (modulationSummaryText (processor), "1 modulation active");
}
