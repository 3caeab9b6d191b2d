// Detune bar (unit switch with value conversion, choice submenus), source and utility strip (the
// folded sub wave list) and the amp envelope panel.
#include "PanelTestSupport.h"

#include "ui/panels/AmpEnvelopePanel.h"
#include "ui/panels/DetuneBar.h"
#include "ui/panels/SourceUtilityStrip.h"

using namespace panel_tests;
using namespace quillon::ui::widgets;

namespace
{
class DetuneBarTest : public PanelTest
{
protected:
    DetuneBar bar { state };
    void SetUp() override { bar.setSize (204, 312); }

    /** The user's click on a unit cell. */
    void switchUnit (int index)
    {
        bar.getUnitSwitch()->selectIndex (index);
        pumpMessages();
    }

    /** The mode and both detunes as a stored state or preset holds them. */
    std::unique_ptr<juce::XmlElement> stateWith (int mode, float cents, float hertz)
    {
        const auto before = processor.createStateXml();
        setPlain (processor, "detuneMode", (float) mode);
        setPlain (processor, "osc2Detune", cents);
        setPlain (processor, "osc2DetuneHz", hertz);
        auto xml = processor.createStateXml();
        processor.loadStateTree (*before);
        pumpMessages();
        return xml;
    }
};
} // namespace

TEST_F (DetuneBarTest, SwitchingUnitsCarriesTheDetuneOver)
{
    EXPECT_EQ (bar.getBoundDetuneId(), "osc2Detune");
    switchUnit (1);
    EXPECT_EQ (bar.getBoundDetuneId(), "osc2DetuneHz");
    EXPECT_FLOAT_EQ (plain (processor, "osc2DetuneHz"), 0.0f);
    EXPECT_EQ (bar.getDetuneKnob().getValueText(), "0.0 Hz");

    switchUnit (0);
    setPlain (processor, "osc2Detune", 50.0f);
    switchUnit (1);
    EXPECT_NEAR (plain (processor, "osc2DetuneHz"), 12.89f, 0.01f);
    EXPECT_EQ (bar.getDetuneKnob().getValueText(), "+12.9 Hz");

    // +100 ct is 26.16 Hz, beyond the hertz range: it lands on the range end.
    switchUnit (0);
    setPlain (processor, "osc2Detune", 100.0f);
    switchUnit (1);
    EXPECT_FLOAT_EQ (plain (processor, "osc2DetuneHz"), 20.0f);
    switchUnit (0);
    EXPECT_NEAR (plain (processor, "osc2Detune"), 76.96f, 0.02f);
    EXPECT_EQ (bar.getDetuneKnob().getValueText(), "+77 ct");
}

TEST_F (DetuneBarTest, LoadsAndRestoresKeepTheStoredDetuneAndStayUnmodified)
{
    // A +12 ct preset loaded while the bar shows hertz.
    switchUnit (1);
    const auto centsPreset = stateWith (0, 12.0f, 3.0f);
    processor.loadStateTree (*centsPreset);
    pumpMessages();
    EXPECT_EQ (bar.getBoundDetuneId(), "osc2Detune");
    EXPECT_FLOAT_EQ (plain (processor, "osc2Detune"), 12.0f);
    EXPECT_FLOAT_EQ (plain (processor, "osc2DetuneHz"), 3.0f);
    EXPECT_EQ (bar.getDetuneKnob().getValueText(), "+12 ct");
    EXPECT_FALSE (processor.presetDirty.load());

    // A host restoring a state saved in hertz while cents are shown.
    const auto hertzState = stateWith (1, -30.0f, 7.5f);
    juce::MemoryBlock block;
    juce::AudioProcessor::copyXmlToBinary (*hertzState, block);
    processor.setStateInformation (block.getData(), (int) block.getSize());
    pumpMessages();
    EXPECT_EQ (bar.getBoundDetuneId(), "osc2DetuneHz");
    EXPECT_FLOAT_EQ (plain (processor, "osc2DetuneHz"), 7.5f);
    EXPECT_FLOAT_EQ (plain (processor, "osc2Detune"), -30.0f);
    EXPECT_EQ (bar.getDetuneKnob().getValueText(), "+7.5 Hz");
    EXPECT_FALSE (processor.presetDirty.load());

    // Automation of the mode rebinds the knob but writes no detune.
    setPlain (processor, "detuneMode", 0.0f);
    pumpMessages();
    EXPECT_EQ (bar.getBoundDetuneId(), "osc2Detune");
    EXPECT_FLOAT_EQ (plain (processor, "osc2Detune"), -30.0f);
    EXPECT_FLOAT_EQ (plain (processor, "osc2DetuneHz"), 7.5f);
}

TEST_F (DetuneBarTest, TheKnobMenusUnitChoiceConvertsLikeTheSwitch)
{
    setPlain (processor, "osc2Detune", 50.0f);
    const auto menu = bar.getDetuneKnob().buildContextMenu();
    juce::PopupMenu::MenuItemIterator items (menu, true);
    bool chosen = false;

    while (items.next())
        if (items.getItem().text == "hz" && items.getItem().action)
        {
            items.getItem().action();
            chosen = true;
        }

    ASSERT_TRUE (chosen);
    EXPECT_EQ (bar.getBoundDetuneId(), "osc2DetuneHz");
    EXPECT_NEAR (plain (processor, "osc2DetuneHz"), 12.89f, 0.01f);
    EXPECT_FLOAT_EQ (plain (processor, "osc2Detune"), 50.0f); // the unit left behind keeps its value
}

TEST_F (DetuneBarTest, TheKnobDrivesWhicheverParameterIsBound)
{
    switchUnit (1);
    bar.getDetuneKnob().setValue (5.0, juce::sendNotificationSync);
    EXPECT_NEAR (plain (processor, "osc2DetuneHz"), 5.0f, 1.0e-3f);
    EXPECT_FLOAT_EQ (plain (processor, "osc2Detune"), 0.0f);
}

TEST_F (DetuneBarTest, LayoutTextsAndSubmenu)
{
    EXPECT_EQ (bar.getUnitField()->getBounds(), juce::Rectangle<int> (8, 8, 88, 88));
    EXPECT_EQ (bar.getPhaseModeBox().getBounds(), juce::Rectangle<int> (108, 8, 88, 88));
    EXPECT_EQ (bar.getStereoKnob().getBounds(), juce::Rectangle<int> (108, 216, 96, 96));

    setPlain (processor, "osc2PhaseOffset", 90.0f);
    EXPECT_EQ (bar.getPhaseKnob().getValueText(), juce::String::fromUTF8 ("+90\xc2\xb0"));
    setPlain (processor, "osc2PhaseOffset", -45.0f);
    EXPECT_EQ (bar.getPhaseKnob().getValueText(), juce::String::fromUTF8 ("-45\xc2\xb0"));
    setPlain (processor, "oscDrift", 0.25f);
    EXPECT_EQ (bar.getDriftKnob().getValueText(), "25%");

    juce::PopupMenu menu;
    quillon::ui::hidden::addChoiceSubmenu (menu, state, "detuneMode", "Detune mode");
    juce::PopupMenu::MenuItemIterator items (menu);
    ASSERT_TRUE (items.next());
    EXPECT_EQ (items.getItem().text, juce::String::fromUTF8 ("Detune mode  \xc2\xb7  cents"));

    // Choosing the second item switches the unit, as one gesture.
    ASSERT_NE (items.getItem().subMenu, nullptr);
    juce::PopupMenu::MenuItemIterator sub (*items.getItem().subMenu);
    ASSERT_TRUE (sub.next());
    EXPECT_TRUE (sub.getItem().isTicked);
    ASSERT_TRUE (sub.next());
    sub.getItem().action();
    EXPECT_EQ (juce::roundToInt (plain (processor, "detuneMode")), 1);

    juce::PopupMenu none;
    quillon::ui::hidden::addChoiceSubmenu (none, state, "noSuchChoice", "x");
    EXPECT_EQ (none.getNumItems(), 0);
}

namespace
{
class SourceStripTest : public PanelTest
{
protected:
    SourceUtilityStrip strip { processor };
    void SetUp() override { strip.setSize (204, 312); }

    void choose (int itemId)
    {
        strip.getSubWaveDropdown().setSelectedId (itemId, juce::dontSendNotification);
        strip.selectSubWave();
        pumpMessages();
    }
};
} // namespace

TEST_F (SourceStripTest, SubWaveListFoldsModeAndWave)
{
    setPlain (processor, "subMode", 0.0f);
    setPlain (processor, "subWave", 4.0f);
    pumpMessages();
    EXPECT_EQ (strip.getSubWaveDropdown().getSelectedId(), 1);
    EXPECT_EQ (strip.getSubWaveDropdown().getComboBox().getText(), "SINE");

    choose (2);
    EXPECT_EQ (juce::roundToInt (plain (processor, "subMode")), 1);
    EXPECT_EQ (juce::roundToInt (plain (processor, "subWave")), 0);

    choose (10);
    EXPECT_EQ (juce::roundToInt (plain (processor, "subWave")), 8);
    EXPECT_EQ (strip.getSubWaveDropdown().getComboBox().getText(), "PWM");

    // The tenth wave has no item: nothing is shown.
    setPlain (processor, "subWave", 9.0f);
    pumpMessages();
    EXPECT_EQ (strip.getSubWaveDropdown().getComboBox().getText(), "");
}

TEST_F (SourceStripTest, ChoosingTheShownItemWritesNothing)
{
    choose (4);
    ParameterRecorder mode (*state.getParameter ("subMode"));
    ParameterRecorder wave (*state.getParameter ("subWave"));
    choose (4);
    EXPECT_TRUE (mode.values.empty());
    EXPECT_TRUE (wave.values.empty());
}

TEST_F (SourceStripTest, ColumnsAndTexts)
{
    EXPECT_EQ (strip.getSubWaveBox().getBounds(), juce::Rectangle<int> (8, 38, 80, 52));
    EXPECT_EQ (strip.getSubRouteField()->getBounds(), juce::Rectangle<int> (8, 98, 80, 52));
    EXPECT_EQ (strip.getSubDirtBox().getBounds(), juce::Rectangle<int> (8, 218, 80, 52));
    EXPECT_EQ (strip.getNoiseColourField()->getBounds(), juce::Rectangle<int> (116, 38, 80, 52));
    EXPECT_EQ (strip.getNoiseLevelBox().getBounds(), juce::Rectangle<int> (116, 158, 80, 52));
    EXPECT_TRUE (strip.getSubWaveBox().isInline());

    const auto minusInfinity = juce::String::fromUTF8 ("\xe2\x88\x92\xe2\x88\x9e dB");
    setPlain (processor, "subLevel", -120.0f);
    EXPECT_EQ (strip.getSubLevelChip().getValueText(), minusInfinity);
    setPlain (processor, "subLevel", -12.5f);
    EXPECT_EQ (strip.getSubLevelChip().getValueText(), juce::String::fromUTF8 ("\xe2\x88\x92" "12.5 dB"));
    setPlain (processor, "noiseLevel", -90.0f);
    EXPECT_EQ (strip.getNoiseLevelChip().getValueText(), minusInfinity);
    setPlain (processor, "subDriveSend", 0.35f);
    EXPECT_EQ (strip.getSubDriveSendChip().getValueText(), "35 %");
}

TEST_F (PanelTest, AmpEnvelopePanelLayout)
{
    AmpEnvelopePanel panel (state);
    panel.setSize (312, 312);
    EXPECT_EQ (panel.getTitle().getText(), "AMP ENV");
    EXPECT_EQ (panel.getTitle().getBounds(), juce::Rectangle<int> (20, 8, 272, 22));
    EXPECT_EQ (panel.getEnvelopeEditor().getBounds(), juce::Rectangle<int> (16, 62, 280, 234));
    EXPECT_EQ (panel.getEnvelopeEditor().getGraphRow().getMaximumGraphHeight(), 158);

    // The knobs drive the amp envelope.
    panel.getEnvelopeEditor().getKnobRow().getKnob (2).setValue (0.5, juce::sendNotificationSync);
    EXPECT_NEAR (plain (processor, "ampSustain"), 0.5f, 1.0e-4f);
}
