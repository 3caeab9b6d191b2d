// Filter response strip, enable dot and the voice filter panel: the drawn response, what the
// handle and envelope drags write, the bypass look and the phase-model knobs.
#include "PanelTestSupport.h"

#include "ui/panels/VoiceFilterPanel.h"

#include <cmath>

using namespace panel_tests;
using namespace quillon::ui::widgets;

namespace
{
float decibels (float magnitude) { return 20.0f * std::log10 (magnitude); }

class FilterStripTest : public PanelTest
{
protected:
    FilterResponseStrip strip { state };

    void SetUp() override
    {
        strip.setSize (580, 96 + 100);
        strip.refresh();
    }
};
} // namespace

TEST (FilterResponse, DefaultCurveIsFlatAndThreeDecibelsDownAtCutoff)
{
    EXPECT_NEAR (decibels (FilterResponseStrip::responseMagnitude (20.0f, 20000.0f, 0.0f, 0)), 0.0f, 0.01f);
    EXPECT_NEAR (decibels (FilterResponseStrip::responseMagnitude (20000.0f, 20000.0f, 0.0f, 0)), -3.01f, 0.01f);
}

TEST (FilterResponse, PhaseModelHasThreeNotchesThatDeepenWithResonance)
{
    const auto at = [] (float f, float r) { return FilterResponseStrip::responseMagnitude (f, 1000.0f, r, 3); };

    EXPECT_LT (at (1000.0f, 0.0f), at (20.0f, 0.0f));

    for (float centre : { 500.0f, 1000.0f, 2000.0f })
    {
        EXPECT_LT (at (centre, 1.0f), at (centre * 1.3f, 1.0f));
        EXPECT_LT (at (centre, 1.0f), at (centre / 1.3f, 1.0f));
        EXPECT_LT (at (centre, 1.0f), at (centre, 0.0f));
    }

    EXPECT_NEAR (at (1000.0f, 1.0f), 0.1f, 0.02f); // depth 0.9 at full resonance
    EXPECT_NEAR (at (20.0f, 1.0f), 1.0f, 1.0e-3f);
}

TEST_F (FilterStripTest, EnvelopeShiftClampsAndZeroAmountHidesIt)
{
    setPlain (processor, "filterCutoff", 1000.0f);
    setPlain (processor, "filterEnvAmount", 48.0f);
    strip.refresh();
    const auto shifted = strip.getEnvelopePath().getBounds();
    // +48 semitones from 1 kHz is beyond 20 kHz: the shifted curve is the 20 kHz curve, flat almost to the right edge.
    EXPECT_NEAR (shifted.getY(), strip.yForLevel (0.0f), 0.6f);

    const auto withShift = paintToImage (strip);
    setPlain (processor, "filterEnvAmount", 0.0f);
    strip.refresh();
    EXPECT_FALSE (imagesEqual (withShift, paintToImage (strip)));
}

TEST_F (FilterStripTest, HandleDragSetsCutoffAndResonanceInTheCutoffGesture)
{
    ParameterRecorder cutoff (*state.getParameter ("filterCutoff"));
    ParameterRecorder reso (*state.getParameter ("filterReso"));
    const auto handle = strip.getCutoffHandle();
    const auto plot = strip.getPlotArea().toFloat();

    drag (strip, handle, { handle + juce::Point<float> (-3.0f, -2.0f), handle + juce::Point<float> (-20.0f, -9.0f),
                           { plot.getX() - 50.0f, plot.getY() - 30.0f } });
    EXPECT_NEAR (plain (processor, "filterCutoff"), 20.0f, 0.01f);
    EXPECT_FLOAT_EQ (plain (processor, "filterReso"), 1.0f);

    // Both parameters the handle moves are recorded as one gesture each for the whole drag.
    for (auto* r : { &cutoff, &reso })
    {
        EXPECT_EQ (r->begins, 1);
        EXPECT_EQ (r->ends, 1);
        EXPECT_FALSE (r->valueOutsideGesture);
        EXPECT_GE (r->values.size(), 3u);
    }
    EXPECT_EQ (strip.getDragTarget(), 0);
}

TEST_F (FilterStripTest, HandleWinsOverANearerEnvelopePoint)
{
    // Cutoff and resonance put the handle a few pixels from the sustain end of the envelope.
    const auto points = strip.getEnvelopePoints();
    const auto plot = strip.getPlotArea().toFloat();
    const float t = (points[2].x - plot.getX()) / plot.getWidth();
    setPlain (processor, "filterCutoff", std::pow (10.0f, std::log10 (20.0f) + t * 3.0f));
    state.getParameter ("filterReso")->setValueNotifyingHost ((plot.getBottom() - (points[2].y + 6.0f)) / plot.getHeight());

    const auto handle = strip.getCutoffHandle();
    ASSERT_LT (handle.getDistanceFrom (points[2]), 8.0f);
    const auto press = points[2] + (handle - points[2]) * 0.2f; // nearer to the envelope point
    strip.mouseDown (mouseEvent (strip, press, leftButton()));
    EXPECT_EQ (strip.getDragTarget(), 1);
    strip.mouseUp (mouseEvent (strip, press, leftButton()));
}

TEST_F (FilterStripTest, EnvelopePointDragSpansTheRangeIn200Pixels)
{
    setPlain (processor, "filterCutoff", 1000.0f); // the handle away from the release end
    state.getParameter ("filterRelease")->setValueNotifyingHost (0.0f);
    strip.refresh();
    const auto release = strip.getEnvelopePoints()[3];

    ParameterRecorder recorder (*state.getParameter ("filterRelease"));
    strip.mouseDown (mouseEvent (strip, release, leftButton()));
    ASSERT_EQ (strip.getDragTarget(), 5);
    strip.mouseDrag (mouseEvent (strip, release - juce::Point<float> (0.0f, 200.0f), leftButton(), release, 1, true));
    EXPECT_FLOAT_EQ (normalised (processor, "filterRelease"), 1.0f);
    strip.mouseDrag (mouseEvent (strip, release - juce::Point<float> (0.0f, 400.0f), leftButton(), release, 1, true));
    EXPECT_FLOAT_EQ (normalised (processor, "filterRelease"), 1.0f);
    strip.mouseUp (mouseEvent (strip, release, leftButton()));
    EXPECT_EQ (recorder.begins, 1);
    EXPECT_EQ (recorder.ends, 1);
    EXPECT_FALSE (recorder.valueOutsideGesture);

    // Without the envelope overlay the points are not draggable.
    strip.setShowEnvelope (false);
    strip.mouseDown (mouseEvent (strip, strip.getEnvelopePoints()[0], leftButton()));
    EXPECT_EQ (strip.getDragTarget(), 0);
}

TEST_F (FilterStripTest, ChangesFromAnotherThreadReachTheStrip)
{
    const auto before = strip.getResponsePath().getBounds();
    std::thread ([this] { setPlain (processor, "filterCutoff", 200.0f); }).join();
    pumpMessages();
    EXPECT_NE (strip.getResponsePath().getBounds(), before);
}

TEST_F (PanelTest, EnableDotTogglesItsParameterAndIgnoresUnknownIds)
{
    EnableDot dot (state, "filterEnabled", "Filter enable", "Enable filter.", 12);
    dot.setSize (28, 22);
    ParameterRecorder recorder (*state.getParameter ("filterEnabled"));

    dot.mouseDown (mouseEvent (dot, { 14.0f, 11.0f }, leftButton()));
    EXPECT_LT (plain (processor, "filterEnabled"), 0.5f);
    EXPECT_EQ (recorder.begins, 1);
    EXPECT_FALSE (recorder.valueOutsideGesture);
    EXPECT_TRUE (dot.keyPressed (juce::KeyPress (juce::KeyPress::spaceKey)));
    EXPECT_GE (plain (processor, "filterEnabled"), 0.5f);
    EXPECT_FALSE (dot.keyPressed (juce::KeyPress (juce::KeyPress::returnKey, juce::ModifierKeys::shiftModifier, 0)));
    EXPECT_EQ (dot.getTitle(), "Filter enable");

    EnableDot orphan (state, "noSuchParameter", "x", "y", 12);
    EXPECT_TRUE (orphan.isOn());
    orphan.mouseDown (mouseEvent (orphan, {}, leftButton()));
    EXPECT_TRUE (orphan.isOn());
}

namespace
{
class FilterPanelTest : public PanelTest
{
protected:
    VoiceFilterPanel panel { state, processor };
    void SetUp() override { panel.setSize (528, 312); }
};
} // namespace

TEST_F (FilterPanelTest, PhaseModelShowsItsKnobs)
{
    EXPECT_FALSE (panel.getPhaseKnob().isVisible());
    EXPECT_EQ (panel.getCutoffKnob().getBounds(), juce::Rectangle<int> (56, 216, 44, 96));
    EXPECT_EQ (panel.getResonanceKnob().getX(), 104);

    setPlain (processor, "filterModel", 3.0f);
    panel.refreshFromParameters();
    EXPECT_TRUE (panel.getPhaseKnob().isVisible());
    EXPECT_TRUE (panel.getNotchKnob().isVisible());
    // The four knobs stay clear of the envelope editor and its amount knob.
    EXPECT_LE (panel.getNotchKnob().getRight(), panel.getEnvelopeEditor().getX());

    setPlain (processor, "filterModel", 1.0f);
    panel.refreshFromParameters();
    EXPECT_FALSE (panel.getNotchKnob().isVisible());
    EXPECT_EQ (panel.getCutoffKnob().getX(), 56);
}

TEST_F (FilterPanelTest, BypassDimsEverythingButTheDot)
{
    setPlain (processor, "filterEnabled", 0.0f);
    panel.refreshFromParameters();

    EXPECT_EQ (panel.getTitle().getStatusText(), "BYPASSED");
    for (juce::Component* c : { (juce::Component*) &panel.getResponseStrip(), (juce::Component*) &panel.getEnvelopeEditor(),
                                (juce::Component*) &panel.getModelChoice(), (juce::Component*) &panel.getCutoffKnob() })
        EXPECT_FLOAT_EQ (c->getAlpha(), 0.4f);
    EXPECT_FLOAT_EQ (panel.getEnableDot().getAlpha(), 1.0f);
    EXPECT_EQ (panel.getEnvelopeKnob().getParentComponent(), &panel.getEnvelopeEditor());

    setPlain (processor, "filterEnabled", 1.0f);
    panel.refreshFromParameters();
    EXPECT_FLOAT_EQ (panel.getCutoffKnob().getAlpha(), 1.0f);
}

TEST_F (FilterPanelTest, LayoutAndTexts)
{
    EXPECT_EQ (panel.getEnableDot().getBounds(), juce::Rectangle<int> (480, 8, 28, 22));
    EXPECT_EQ (panel.getResponseStrip().getBounds(), juce::Rectangle<int> (16, 62, 172, 126));
    EXPECT_FALSE (panel.getResponseStrip().isShowingEnvelope());
    EXPECT_LE (panel.getModelChoice().getRight(), 528 - 20 - 48);
    EXPECT_LE (panel.getTitle().getRight(), panel.getModelChoice().getX() - 8);

    setPlain (processor, "filterCutoff", 990.0f);
    EXPECT_EQ (panel.getCutoffKnob().getValueText(), "990 Hz");
    setPlain (processor, "filterCutoff", 1000.0f);
    EXPECT_EQ (panel.getCutoffKnob().getValueText(), "1.0 kHz");
    setPlain (processor, "filterEnvAmount", 12.0f);
    EXPECT_EQ (panel.getEnvelopeKnob().getValueText(), "+12.0 st");
    setPlain (processor, "filterReso", 0.35f);
    EXPECT_EQ (panel.getResonanceKnob().getValueText(), "35 %");
}
