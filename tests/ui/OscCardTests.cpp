// Oscillator card: wave cells and the wave parameter in both directions, the DCW plot, knob and
// chip texts, and the shared morph parameter.
#include "PanelTestSupport.h"

#include "engine/sources/PhaseDistortion.h"
#include "plugin/Palette.h"
#include "ui/panels/OscCard.h"

#include <thread>

using namespace panel_tests;
using namespace quillon::ui::widgets;

namespace
{
const juce::String minus = juce::String::fromUTF8 ("\xe2\x88\x92");

class OscCardTest : public PanelTest
{
protected:
    OscCard card1 { processor, 1 };
    OscCard card2 { processor, 2 };

    void SetUp() override
    {
        card1.setSize (420, 312);
        card2.setSize (420, 312);
    }
};
} // namespace

TEST_F (OscCardTest, GeometryAndRadioGroups)
{
    EXPECT_EQ (card1.getTitle().getText(), "OSC 1");
    EXPECT_EQ (card2.getTitle().getText(), "OSC 2");
    EXPECT_EQ (card2.getRadioGroupId(), card1.getRadioGroupId() + 1);
    EXPECT_GT (card1.getRadioGroupId(), 4000);

    EXPECT_EQ (card1.getWaveCell (0).getBounds(), juce::Rectangle<int> (16, 232, 28, 24));
    EXPECT_EQ (card1.getWaveCell (4).getBounds(), juce::Rectangle<int> (160, 232, 28, 24));
    EXPECT_EQ (card1.getWaveCell (9).getBounds(), juce::Rectangle<int> (160, 264, 28, 24));
    EXPECT_EQ (card1.getVisualiser().getBounds(), juce::Rectangle<int> (16, 62, 172, 126));
    EXPECT_EQ (card1.getEnvelopeEditor().getBounds(), juce::Rectangle<int> (232, 62, 172, 126));
    // The knobs take the room between the wave cells and the chips, wide enough for "−60.0 dB".
    EXPECT_EQ (card1.getKnobRow().getBounds(), juce::Rectangle<int> (196, 216, 120, 96));
    EXPECT_EQ (card1.getFineChip().getBounds(), juce::Rectangle<int> (324, 268, 96, 44));
    EXPECT_EQ (card1.getDcwKnob().getWidth(), 37);
    EXPECT_LE (card1.getKnobRow().getRight(), card1.getFineChip().getX() - 8);
}

TEST_F (OscCardTest, CellClickWritesTheWaveInOneGesture)
{
    auto& wave = *state.getParameter ("osc1Wave");
    ParameterRecorder recorder (wave);

    card1.getWaveCell (0).triggerClick(); // already selected: nothing written
    pumpMessages();
    EXPECT_TRUE (recorder.values.empty());

    card1.getWaveCell (6).triggerClick();
    pumpMessages();
    EXPECT_EQ (juce::roundToInt (plain (processor, "osc1Wave")), 6);
    EXPECT_EQ (recorder.begins, 1);
    EXPECT_EQ (recorder.ends, 1);
    EXPECT_FALSE (recorder.valueOutsideGesture);
    EXPECT_TRUE (card1.getWaveCell (6).getToggleState());
    EXPECT_FALSE (card1.getWaveCell (0).getToggleState());
    EXPECT_EQ (juce::roundToInt (plain (processor, "osc2Wave")), 0);
}

TEST_F (OscCardTest, CellsFollowTheParameterFromAnyThread)
{
    setPlain (processor, "osc2Wave", 8.0f);
    EXPECT_TRUE (card2.getWaveCell (8).getToggleState());

    std::thread ([this] { setPlain (processor, "osc2Wave", 3.0f); }).join();
    pumpMessages();
    EXPECT_TRUE (card2.getWaveCell (3).getToggleState());
    EXPECT_FALSE (card2.getWaveCell (8).getToggleState());
}

TEST_F (OscCardTest, VisualiserDrawsTheEngineShapeAndIgnoresTinyDepthMoves)
{
    setPlain (processor, "osc1Wave", 5.0f);
    setPlain (processor, "osc1DcwDepth", 0.6f);
    auto& vis = card1.getVisualiser();
    vis.refresh();

    for (int i : { 0, 17, 64, 127 })
    {
        const float phase = (float) i / 128.0f;
        EXPECT_FLOAT_EQ (vis.getShapedCurve()[(size_t) i], quillon::phaseDistortionShape (5, phase, 0.6f, 16.0f));
        EXPECT_FLOAT_EQ (vis.getDryCurve()[(size_t) i], quillon::phaseDistortionShape (5, phase, 0.0f, 16.0f));
    }

    const auto before = vis.getShapedCurve();
    setPlain (processor, "osc1DcwDepth", 0.604f);
    vis.refresh();
    EXPECT_EQ (vis.getShapedCurve(), before);

    setPlain (processor, "osc1DcwDepth", 0.61f);
    vis.refresh();
    EXPECT_NE (vis.getShapedCurve(), before);
}

TEST_F (OscCardTest, NarrowVisualiserDrawsOnlyItsFrame)
{
    auto& vis = card1.getVisualiser();
    vis.setSize (11, 40);
    const auto image = paintToImage (vis);

    for (int y = 2; y < 38; ++y)
        EXPECT_TRUE (coloursClose (image.getPixelAt (5, y), quillon::palette::get (quillon::palette::bgPanel)));
}

TEST_F (OscCardTest, KnobAndChipTexts)
{
    setPlain (processor, "osc1DcwDepth", 0.35f);
    EXPECT_EQ (card1.getDcwKnob().getValueText(), "35%");
    setPlain (processor, "osc1Level", -6.0f);
    EXPECT_EQ (card1.getLevelKnob().getValueText(), minus + "6.0 dB");
    setPlain (processor, "osc1Level", 0.0f);
    EXPECT_EQ (card1.getLevelKnob().getValueText(), "0.0 dB");

    setPlain (processor, "osc1Semitone", 5.0f);
    EXPECT_EQ (card1.getSemitoneChip().getValueText(), "+5 st");
    setPlain (processor, "osc1Semitone", -3.0f);
    EXPECT_EQ (card1.getSemitoneChip().getValueText(), "-3 st");
    setPlain (processor, "osc1Semitone", 0.0f);
    EXPECT_EQ (card1.getSemitoneChip().getValueText(), "0 st");
    setPlain (processor, "osc1Fine", -3.0f);
    EXPECT_EQ (card1.getFineChip().getValueText(), minus + "3.0 c");
    setPlain (processor, "osc1Fine", 12.0f);
    EXPECT_EQ (card1.getFineChip().getValueText(), "12.0 c");
    EXPECT_EQ (card1.getFineChip().getTooltip(), "OSC 1 fine pitch in cents.");
}

TEST_F (OscCardTest, MorphKnobsShareOneParameter)
{
    card1.getMorphKnob().setValue (0.4, juce::sendNotificationSync);
    EXPECT_NEAR (plain (processor, "pdMorphAmount"), 0.4f, 1.0e-4f);
    EXPECT_NEAR (card2.getMorphKnob().getValue(), 0.4, 1.0e-4);
}

TEST (WaveGlyphs, TooltipsAndFallbacks)
{
    EXPECT_EQ (getWaveTooltip (0), juce::String::fromUTF8 ("Sawtooth \xe2\x80\x94 bright, classic"));
    EXPECT_EQ (getWaveTooltip (10), "");
    EXPECT_EQ (&getWaveGlyph (42), &getWaveGlyph (0));

    for (int code = 0; code < 10; ++code)
    {
        const auto box = getWaveGlyph (code).getBounds();
        EXPECT_GE (box.getX(), -0.01f) << code;
        EXPECT_LE (box.getRight(), 28.01f) << code;
        EXPECT_GE (box.getY(), 0.49f) << code;
        EXPECT_LE (box.getBottom(), 8.51f) << code;
    }
}
