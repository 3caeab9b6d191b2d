#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace quillon::ui::widgets
{

/** The bar along the bottom of the editor: matrix toggle, routing summary, voice count, CPU and
    sample rate, status. It holds no processor; the editor pushes values in through the setters. */
class StatusFooter : public juce::Component
{
public:
    /** The chip that opens the modulation matrix; its toggle state is set only by the footer. */
    class FooterButton : public juce::Button
    {
    public:
        explicit FooterButton (const juce::String& name);
        void paintButton (juce::Graphics&, bool highlighted, bool down) override;
    };

    /** The parameter state is not used; the footer only shows what it is given. */
    explicit StatusFooter (juce::AudioProcessorValueTreeState& state);

    std::function<void()> onToggleMatrix;

    void setCpuLoad (float percent);
    void setMatrixOpen (bool open);
    void setRoutingSummary (const juce::String& summary);
    void setSampleRate (double hz);
    void setVoiceCount (int count);

    bool isMatrixOpen() const noexcept { return matrixOpen; }
    FooterButton& getMatrixButton() noexcept { return matrixButton; }

    /** "48 kHz", "44.1 kHz". */
    static juce::String sampleRateText (double hz);
    /** "CPU 12.5%". */
    static juce::String cpuText (float percent);

    void paint (juce::Graphics&) override;
    void resized() override;

private:
    double sampleRate = 48000.0;
    int voiceCount = 1;
    float cpuLoad = 0.0f;
    bool matrixOpen = false;
    juce::String routingSummary { "LFO ready" };
    FooterButton matrixButton { "MATRIX" };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (StatusFooter)
};

} // namespace quillon::ui::widgets
