#include "MatrixTestSupport.h"
#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"
#include "ui/matrix/KnobWiring.h"
#include "ui/matrix/LfoCard.h"

#include <gtest/gtest.h>

using namespace matrix_tests;
using quillon::ui::widgets::LfoCard;
using quillon::ui::widgets::LfoPreviewStrip;
namespace pal = quillon::palette;

namespace
{
class LfoCardTest : public ::testing::Test
{
protected:
    void SetUp() override { clearMatrix (processor); }

    void setNormalised (const char* id, float v) { processor.parameterState.getParameter (id)->setValueNotifyingHost (v); }

    QuillonAudioProcessor processor;
};

// Pixels of the preview close to a colour (alpha ignored: strokes are anti-aliased over the panel).
int pixelsNear (const juce::Image& image, juce::Colour colour)
{
    int count = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const auto c = image.getPixelAt (x, y);
            if (std::abs (c.getRed() - colour.getRed()) < 30 && std::abs (c.getGreen() - colour.getGreen()) < 30
                && std::abs (c.getBlue() - colour.getBlue()) < 30)
                ++count;
        }
    return count;
}
} // namespace

TEST_F (LfoCardTest, RateAndDepthTexts)
{
    LfoCard card (processor.parameterState, processor);

    EXPECT_EQ (card.formatRate (1.5), "1.50 Hz");
    EXPECT_EQ (card.formatRate (9.99), "9.99 Hz");
    EXPECT_EQ (card.formatRate (10.0), "10.0 Hz");
    EXPECT_EQ (card.formatRate (12.5), "12.5 Hz");
    EXPECT_EQ (LfoCard::formatDepth (0.35), "35 %");
    EXPECT_EQ (LfoCard::formatDepth (0.0), "0 %");

    setPlain (processor, "lfo1Sync", 1.0f);
    EXPECT_EQ (card.formatRate (0.05), "1/1");
    EXPECT_EQ (card.formatRate (20.0), "1/32");

    // The knob shows what the formatter gives for the attached parameter.
    setNormalised ("lfo1Rate", 0.0f);
    EXPECT_EQ (card.getRateKnob().getValueText(), "1/1");
    setNormalised ("lfo1Depth", 0.5f);
    EXPECT_EQ (card.getDepthKnob().getValueText(), "50 %");
}

TEST_F (LfoCardTest, PreviewScrollsAtTheRateWithNoNoteAndRepaintsOnlyWhenItMoves)
{
    LfoPreviewStrip preview (processor.parameterState);
    preview.setSize (172, 126);
    preview.setVisible (true);

    // No note: the instrument is silent, and the preview still shows the rate.
    ASSERT_LT (processor.peakLevelDb.load(), -100.0f);
    setPlain (processor, "lfo1Rate", 2.0f);
    EXPECT_NEAR (preview.getCyclesPerSecond(), 2.0f, 1.0e-4f);
    const float before = preview.getDisplayPhase();
    EXPECT_GT (quillon::test::countRepaints (preview, [&] { preview.advance (0.25); }), 0);
    EXPECT_NEAR (preview.getDisplayPhase() - before, 0.5f, 1.0e-4f);

    // The slowest rate moves less than a pixel (two cycles over 156 px) in a tick: no repaint
    // until it has moved one.
    setNormalised ("lfo1Rate", 0.0f);
    preview.advance (0.05);
    EXPECT_EQ (quillon::test::countRepaints (preview, [&] { preview.advance (0.05); }), 0);
    EXPECT_EQ (quillon::test::countRepaints (preview, [&] { for (int i = 0; i < 6; ++i) preview.advance (0.05); }), 1);

    // A depth change shows at once, however slow the LFO.
    setNormalised ("lfo1Depth", 0.9f);
    EXPECT_EQ (quillon::test::countRepaints (preview, [&] { preview.advance (0.001); }), 1);

    // Inside a hidden view, it paints nothing but keeps time.
    juce::Component view;
    view.addChildComponent (preview);
    setPlain (processor, "lfo1Rate", 5.0f);
    const float hiddenBefore = preview.getDisplayPhase();
    EXPECT_EQ (quillon::test::countRepaints (preview, [&] { preview.advance (0.1); }), 0);
    EXPECT_NEAR (preview.getDisplayPhase() - hiddenBefore, 0.5f, 1.0e-4f);
    EXPECT_FALSE (preview.isOnScreen());
    view.removeChildComponent (&preview);

    setPlain (processor, "lfo1Sync", 1.0f);
    setPlain (processor, "lfoSyncBpm", 120.0f);
    setNormalised ("lfo1Rate", 0.0f);
    EXPECT_NEAR (preview.getCyclesPerSecond(), 120.0f / 60.0f / 4.0f, 1.0e-5f);
    setNormalised ("lfo1Rate", 1.0f);
    EXPECT_NEAR (preview.getCyclesPerSecond(), 120.0f / 60.0f / 0.125f, 1.0e-3f);

    // The phase stays within 0..16 however long it runs, and a tick never jumps by more than its share.
    for (int i = 0; i < 2000; ++i)
        preview.timerCallback();
    EXPECT_GE (preview.getDisplayPhase(), 0.0f);
    EXPECT_LE (preview.getDisplayPhase(), 16.0f);
    preview.advance (1.0e9);
    EXPECT_GE (preview.getDisplayPhase(), 0.0f);
    EXPECT_LE (preview.getDisplayPhase(), 16.0f);
}

TEST_F (LfoCardTest, DraggingThePreviewSetsRateAndDepth)
{
    LfoPreviewStrip preview (processor.parameterState);
    preview.setSize (172, 126);
    setNormalised ("lfo1Rate", 0.5f);
    setNormalised ("lfo1Depth", 0.2f);

    widget_tests::ParameterRecorder rate (*processor.parameterState.getParameter ("lfo1Rate"));
    widget_tests::ParameterRecorder depth (*processor.parameterState.getParameter ("lfo1Depth"));

    widget_tests::drag (preview, { 20.0f, 100.0f }, { { 140.0f, 60.0f }, { 400.0f, 60.0f } });
    EXPECT_FLOAT_EQ (processor.parameterState.getParameter ("lfo1Rate")->getValue(), 1.0f);
    EXPECT_NEAR (processor.parameterState.getParameter ("lfo1Depth")->getValue(), 0.4f, 1.0e-5f);
    EXPECT_FALSE (preview.isDragging());
    for (auto* r : { &rate, &depth })
    {
        EXPECT_EQ (r->begins, 1);
        EXPECT_EQ (r->ends, 1);
        EXPECT_FALSE (r->valueOutsideGesture);
    }
}

TEST_F (LfoCardTest, PreviewDrawsFaintAtZeroDepthAndRepeatsSampleAndHoldSteps)
{
    LfoPreviewStrip preview (processor.parameterState);
    preview.setSize (172, 126);

    setNormalised ("lfo1Depth", 0.0f);
    EXPECT_EQ (pixelsNear (widget_tests::paintToImage (preview), pal::get (pal::sourceLfo1)), 0);

    setNormalised ("lfo1Depth", 0.02f);
    EXPECT_GT (pixelsNear (widget_tests::paintToImage (preview), pal::get (pal::sourceLfo1)), 100);

    EXPECT_EQ (LfoPreviewStrip::sampleAndHoldLevel (3.1), LfoPreviewStrip::sampleAndHoldLevel (3.9));
    bool differs = false;
    for (int n = 0; n < 16; ++n)
    {
        const float level = LfoPreviewStrip::sampleAndHoldLevel (n + 0.5);
        EXPECT_GE (level, -1.0f);
        EXPECT_LE (level, 1.0f);
        differs |= level != LfoPreviewStrip::sampleAndHoldLevel (0.5);
    }
    EXPECT_TRUE (differs);

    setPlain (processor, "lfo1Shape", 3.0f);
    setNormalised ("lfo1Depth", 0.8f);
    EXPECT_TRUE (widget_tests::imagesEqual (widget_tests::paintToImage (preview), widget_tests::paintToImage (preview)));
}

TEST_F (LfoCardTest, Snapshot)
{
    setPlain (processor, "lfo1Rate", 1.5f);
    setNormalised ("lfo1Depth", 0.6f);
    setPlain (processor, "lfo1Shape", 1.0f);
    setSlot (processor, 1, 1, 17, 0.4f);

    quillon::ui::LookAndFeel lookAndFeel;
    LfoCard card (processor.parameterState, processor);
    card.setLookAndFeel (&lookAndFeel);
    card.setSize (204, 312);
    quillon::ui::matrix::updateModulationRings (processor);
    card.getPreview().timerCallback();

    juce::Image image (juce::Image::ARGB, 204, 312, true);
    {
        juce::Graphics g (image);
        g.fillAll (pal::get (pal::bgGround));
        card.paintEntireComponent (g, true);
    }
    writePng (image, "lfo-card.png");
    card.setLookAndFeel (nullptr);

    // Slot 1 aims at the rate (17): only the rate knob is registered for it.
    EXPECT_TRUE (card.getRateKnob().isModulated());
    EXPECT_FALSE (card.getDepthKnob().isModulated());
    EXPECT_EQ (card.getSourceChip().getBounds(), juce::Rectangle<int> (108, 268, 96, 36)); // under the shape cells
    EXPECT_EQ (card.getPreview().getBounds(), juce::Rectangle<int> (16, 62, 172, 126));

    // The card's chip routes the LFO from its menu.
    card.getSourceChip().handleAssignMenuResult (113); // "LFO 1 depth"
    EXPECT_EQ (readSlot (processor, 2).source, 5);
    EXPECT_EQ (readSlot (processor, 2).destination, 18);
}
