#pragma once

#include "AdsrEnvelopeEditor.h"

#include "widgets/Frames.h"

#include <memory>

namespace quillon::ui::widgets
{

/** The amplitude envelope panel. */
class AmpEnvelopePanel : public larkspur::widgets::SectionFrame
{
public:
    explicit AmpEnvelopePanel (juce::AudioProcessorValueTreeState& state);
    ~AmpEnvelopePanel() override;

    larkspur::widgets::SectionTitle& getTitle() { return *title; }
    AdsrEnvelopeEditor& getEnvelopeEditor() { return *envelopeEditor; }

    void resized() override;

private:
    std::unique_ptr<larkspur::widgets::SectionTitle> title;
    std::unique_ptr<AdsrEnvelopeEditor> envelopeEditor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AmpEnvelopePanel)
};

} // namespace quillon::ui::widgets
