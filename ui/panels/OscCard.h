#pragma once

#include "AdsrEnvelopeEditor.h"
#include "plugin/ParameterIds.h"

#include "widgets/Frames.h"
#include "widgets/Knob.h"
#include "widgets/ValueControls.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <memory>
#include <vector>

class QuillonAudioProcessor;

namespace quillon::ui::widgets
{

/** The shared outline of a wave shape in a 28 x 9 box; codes outside 1..9 give the saw. */
const juce::Path& getWaveGlyph (int waveShape);
/** The tooltip of a wave shape; "" for an unknown code. */
juce::String getWaveTooltip (int waveShape);

/** One selectable wave shape, drawn as its glyph. */
class WaveCell : public juce::Button // already a juce::SettableTooltipClient
{
public:
    explicit WaveCell (int waveShape);

    const int waveShape;

    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WaveCell)
};

/** One cycle of an oscillator's wave, plain and phase-distorted at the current DCW depth. */
class DcwVisualiser : public juce::Component,
                      private juce::Timer
{
public:
    DcwVisualiser (juce::AudioProcessorValueTreeState& state, int oscIndex);
    ~DcwVisualiser() override;

    /** Recomputes the curves when the wave or the depth moved. */
    void refresh();

    const std::vector<float>& getDryCurve() const noexcept { return dryCurve; }
    const std::vector<float>& getShapedCurve() const noexcept { return shapedCurve; }

    void paint (juce::Graphics&) override;

private:
    void timerCallback() override { refresh(); }

    juce::AudioProcessorValueTreeState* state;
    int oscIndex;
    int lastWave = -1;
    float lastDepth = -1.0f;
    std::vector<float> dryCurve, shapedCurve;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DcwVisualiser)
};

/** The panel of one phase-distortion oscillator. */
class OscCard : public larkspur::widgets::SectionFrame
{
public:
    OscCard (QuillonAudioProcessor& processor, int oscIndex);
    ~OscCard() override;

    /** Shows the wave parameter's current choice on the cells, without notifying anyone. */
    void refreshWaveSelection();

    WaveCell& getWaveCell (int index) { return *waveCells[(size_t) index]; }
    DcwVisualiser& getVisualiser() { return *visualiser; }
    AdsrEnvelopeEditor& getEnvelopeEditor() { return *envelopeEditor; }
    larkspur::widgets::SectionTitle& getTitle() { return *title; }
    larkspur::widgets::Knob& getDcwKnob() { return *dcwKnob; }
    larkspur::widgets::Knob& getLevelKnob() { return *levelKnob; }
    larkspur::widgets::Knob& getMorphKnob() { return *morphKnob; }
    larkspur::widgets::KnobRow& getKnobRow() { return *knobRow; }
    larkspur::widgets::ValueChip& getSemitoneChip() { return *semitoneChip; }
    larkspur::widgets::ValueChip& getFineChip() { return *fineChip; }
    int getRadioGroupId() const noexcept { return radioGroupId; }

    void paint (juce::Graphics&) override;
    void resized() override;

private:
    class WaveListener : public juce::AudioProcessorValueTreeState::Listener
    {
    public:
        explicit WaveListener (OscCard& c) : card (&c) {}
        void parameterChanged (const juce::String&, float) override;

    private:
        juce::Component::SafePointer<OscCard> card;
    };

    void selectWave (int index);

    juce::AudioProcessorValueTreeState& state;
    int oscIndex;
    const ids::Oscillator& oscIds;
    std::unique_ptr<DcwVisualiser> visualiser;
    std::unique_ptr<larkspur::widgets::SectionTitle> title;
    std::array<std::unique_ptr<WaveCell>, 10> waveCells;
    int radioGroupId = 0;
    std::unique_ptr<WaveListener> waveListener;
    std::unique_ptr<AdsrEnvelopeEditor> envelopeEditor;
    std::unique_ptr<larkspur::widgets::Knob> dcwKnob, levelKnob, morphKnob;
    std::unique_ptr<larkspur::widgets::KnobRow> knobRow;
    std::unique_ptr<larkspur::widgets::ValueChip> semitoneChip, fineChip;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> dcwAttachment, levelAttachment,
        morphAttachment;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OscCard)
};

} // namespace quillon::ui::widgets
