#include "AmpEnvelopePanel.h"
#include "plugin/ParameterIds.h"

namespace quillon::ui::widgets
{

AmpEnvelopePanel::AmpEnvelopePanel (juce::AudioProcessorValueTreeState& state)
{
    title = std::make_unique<larkspur::widgets::SectionTitle> ("AMP ENV");
    addAndMakeVisible (*title);

    envelopeEditor = std::make_unique<AdsrEnvelopeEditor> (state, ids::ampAttack, ids::ampDecay, ids::ampSustain, ids::ampRelease);
    envelopeEditor->setRowLabels ("A", "D", "S", "R");
    envelopeEditor->setGraphHeightRange (44, 158);
    addAndMakeVisible (*envelopeEditor);
}

AmpEnvelopePanel::~AmpEnvelopePanel()
{
    envelopeEditor.reset();
    title.reset();
}

void AmpEnvelopePanel::resized()
{
    SectionFrame::resized();

    if (title != nullptr)
        title->setBounds (20, 8, 272, 22);
    if (envelopeEditor != nullptr)
        envelopeEditor->setBounds (16, 62, 280, 234);
}

} // namespace quillon::ui::widgets
