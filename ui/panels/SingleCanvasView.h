#pragma once

#include "AmpEnvelopePanel.h"
#include "DetuneBar.h"
#include "DriveCard.h"
#include "OscCard.h"
#include "SourceUtilityStrip.h"
#include "VoiceFilterPanel.h"

#include "ui/matrix/LfoCard.h"

#include <memory>

class QuillonAudioProcessor;

namespace quillon::ui::views
{

/** The editor's default view: the synthesis panels on a fixed grid. */
class SingleCanvasView : public juce::Component
{
public:
    explicit SingleCanvasView (QuillonAudioProcessor& processor);
    ~SingleCanvasView() override;

    /** The modulation matrix slid over the canvas (or closed); the canvas draws the same either way. */
    void setMatrixOpen (bool shouldBeOpen);
    bool isMatrixOpen() const noexcept { return matrixOpen; }

    widgets::OscCard& getOscCard (int index) { return index == 1 ? *osc1 : *osc2; }
    widgets::DetuneBar& getDetuneBar() { return *detuneBar; }
    widgets::SourceUtilityStrip& getSourceStrip() { return *sourceStrip; }
    widgets::VoiceFilterPanel& getFilterPanel() { return *filterPanel; }
    widgets::AmpEnvelopePanel& getAmpPanel() { return *ampPanel; }
    widgets::DriveCard& getDriveCard() { return *driveCard; }
    widgets::LfoCard& getLfoCard() { return *lfoCard; }

    void paint (juce::Graphics&) override;
    void resized() override;

private:
    std::unique_ptr<widgets::OscCard> osc1, osc2;
    std::unique_ptr<widgets::DetuneBar> detuneBar;
    std::unique_ptr<widgets::SourceUtilityStrip> sourceStrip;
    std::unique_ptr<widgets::VoiceFilterPanel> filterPanel;
    std::unique_ptr<widgets::AmpEnvelopePanel> ampPanel;
    std::unique_ptr<widgets::DriveCard> driveCard;
    std::unique_ptr<widgets::LfoCard> lfoCard;
    bool matrixOpen = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SingleCanvasView)
};

} // namespace quillon::ui::views
