#include "SingleCanvasView.h"

#include "plugin/Palette.h"
#include "plugin/PluginProcessor.h"


namespace quillon::ui::views
{

SingleCanvasView::SingleCanvasView (QuillonAudioProcessor& processor)
{
    auto& state = processor.parameterState;

    osc1 = std::make_unique<widgets::OscCard> (processor, 1);
    osc2 = std::make_unique<widgets::OscCard> (processor, 2);
    detuneBar = std::make_unique<widgets::DetuneBar> (state);
    sourceStrip = std::make_unique<widgets::SourceUtilityStrip> (processor);
    filterPanel = std::make_unique<widgets::VoiceFilterPanel> (state, processor);
    ampPanel = std::make_unique<widgets::AmpEnvelopePanel> (state);
    driveCard = std::make_unique<widgets::DriveCard> (state, processor);
    lfoCard = std::make_unique<widgets::LfoCard> (state, processor);

    for (auto* panel : { (juce::Component*) osc1.get(), (juce::Component*) osc2.get(), (juce::Component*) detuneBar.get(),
                         (juce::Component*) sourceStrip.get(), (juce::Component*) filterPanel.get(),
                         (juce::Component*) ampPanel.get(), (juce::Component*) driveCard.get(), (juce::Component*) lfoCard.get() })
        addAndMakeVisible (panel);
}

SingleCanvasView::~SingleCanvasView()
{
    lfoCard.reset();
    driveCard.reset();
    ampPanel.reset();
    filterPanel.reset();
    sourceStrip.reset();
    detuneBar.reset();
    osc2.reset();
    osc1.reset();
}

void SingleCanvasView::setMatrixOpen (bool shouldBeOpen)
{
    matrixOpen = shouldBeOpen;
    repaint();
}

void SingleCanvasView::paint (juce::Graphics& g)
{
    g.fillAll (palette::get (palette::bgGround));
}

void SingleCanvasView::resized()
{
    const auto bounds = getLocalBounds();

    if ((bounds.getWidth() / 8) * 8 < 8 || (bounds.getHeight() / 8) * 8 < 8)
        return;

    // The grid starts at the top-left corner snapped down to the 8 px grid.
    const int x0 = (bounds.getX() / 8) * 8, y0 = (bounds.getY() / 8) * 8;
    const auto place = [x0, y0] (juce::Component* c, int x, int y, int w, int h)
    {
        if (c != nullptr)
            c->setBounds (x0 + x, y0 + y, w, h);
    };

    place (osc1.get(), 0, 0, 420, 312);
    place (detuneBar.get(), 432, 0, 204, 312);
    place (osc2.get(), 648, 0, 420, 312);
    place (sourceStrip.get(), 1080, 0, 204, 312);
    place (filterPanel.get(), 0, 324, 528, 312);
    place (ampPanel.get(), 540, 324, 312, 312);
    place (driveCard.get(), 864, 324, 204, 420);
    place (lfoCard.get(), 1080, 324, 204, 312);
}

} // namespace quillon::ui::views
