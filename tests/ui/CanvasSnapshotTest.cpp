// The main canvas: its grid at the design size, and a snapshot of every panel painted at once
// (test-output/canvas.png, and canvas-phase-bypassed.png with the phase filter model, the filter
// bypassed and other panels moved off their defaults).
#include "PanelTestSupport.h"

#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"
#include "ui/panels/SingleCanvasView.h"

using namespace panel_tests;
using quillon::ui::views::SingleCanvasView;

namespace
{
/** The editor installs its look-and-feel over the canvas; the snapshot does the same. */
struct CanvasHost : juce::Component
{
    explicit CanvasHost (QuillonAudioProcessor& p) : canvas (p)
    {
        setLookAndFeel (&lookAndFeel);
        addAndMakeVisible (canvas);
        setSize (1284 + 48, 636 + 48);
        canvas.setBounds (24, 24, 1284, 636);
    }

    ~CanvasHost() override { setLookAndFeel (nullptr); }

    void paint (juce::Graphics& g) override { g.fillAll (quillon::palette::get (quillon::palette::bgGround)); }

    quillon::ui::LookAndFeel lookAndFeel;
    SingleCanvasView canvas;
};
} // namespace

TEST_F (PanelTest, CanvasGridFillsTheDesignWidth)
{
    SingleCanvasView canvas (processor);
    canvas.setBounds (0, 0, 1284, 636);

    EXPECT_EQ (canvas.getOscCard (1).getBounds(), juce::Rectangle<int> (0, 0, 420, 312));
    EXPECT_EQ (canvas.getDetuneBar().getBounds(), juce::Rectangle<int> (432, 0, 204, 312));
    EXPECT_EQ (canvas.getOscCard (2).getBounds(), juce::Rectangle<int> (648, 0, 420, 312));
    EXPECT_EQ (canvas.getSourceStrip().getRight(), 1284);
    EXPECT_EQ (canvas.getFilterPanel().getBounds(), juce::Rectangle<int> (0, 324, 528, 312));
    EXPECT_EQ (canvas.getAmpPanel().getBounds(), juce::Rectangle<int> (540, 324, 312, 312));
    EXPECT_EQ (canvas.getDriveCard().getBounds(), juce::Rectangle<int> (864, 324, 204, 420));
    EXPECT_EQ (canvas.getLfoCard().getBounds(), juce::Rectangle<int> (1080, 324, 204, 312));

    // Too small to lay out: the panels stay where they were.
    canvas.setSize (7, 636);
    EXPECT_EQ (canvas.getOscCard (2).getBounds(), juce::Rectangle<int> (648, 0, 420, 312));

    canvas.setMatrixOpen (true);
    EXPECT_TRUE (canvas.isMatrixOpen());
}

TEST_F (PanelTest, CanvasSnapshot)
{
    CanvasHost host (processor);
    host.canvas.getFilterPanel().getResponseStrip().refresh();
    writePng (paintToImage (host), "canvas.png");

    // The canvas ground shows between the panels.
    const auto image = paintToImage (host.canvas);
    EXPECT_TRUE (coloursClose (image.getPixelAt (426, 100), quillon::palette::get (quillon::palette::bgGround)));
}

TEST_F (PanelTest, CanvasSnapshotWithPhaseModelAndBypass)
{
    setPlain (processor, "filterModel", 3.0f);
    setPlain (processor, "filterEnabled", 0.0f);
    setPlain (processor, "filterCutoff", 800.0f);
    setPlain (processor, "filterReso", 0.6f);
    setPlain (processor, "osc1Wave", 5.0f);
    setPlain (processor, "osc1DcwDepth", 0.7f);
    setPlain (processor, "osc2Wave", 2.0f);
    setPlain (processor, "osc2DcwDepth", 0.4f);
    setPlain (processor, "osc2Level", -6.0f);
    setPlain (processor, "drive", 12.0f);
    setPlain (processor, "driveMode", 2.0f);
    setPlain (processor, "detuneMode", 1.0f);
    setPlain (processor, "subMode", 1.0f);
    setPlain (processor, "subWave", 3.0f);

    CanvasHost host (processor);
    auto& canvas = host.canvas;
    canvas.getFilterPanel().refreshFromParameters();
    canvas.getFilterPanel().getResponseStrip().refresh();
    canvas.getOscCard (1).getVisualiser().refresh();
    canvas.getOscCard (2).getVisualiser().refresh();
    pumpMessages();
    writePng (paintToImage (host), "canvas-phase-bypassed.png");

    EXPECT_TRUE (canvas.getFilterPanel().getPhaseKnob().isVisible());
    EXPECT_FALSE (canvas.getFilterPanel().isPanelEnabled());
}
