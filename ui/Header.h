#pragma once

#include "ui/browser/PresetStrip.h"
#include "widgets/ValueControls.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>
#include <memory>

class QuillonAudioProcessor;

namespace quillon::ui
{

/** "0 ms", "250 ms", "1.25 s". */
juce::String formatGlideTime (double seconds);

/** "−∞ dB" at the floor, else one decimal with an ASCII minus: "-12.5 dB", "0.0 dB". */
juce::String formatLevelDb (double decibels);

/** The bar across the top of the editor: icon and title, the preset strip, octave steps, glide,
    legato, tempo, settings and master level. The editor's timer drives refreshTempo. */
class Header : public juce::Component
{
public:
    explicit Header (QuillonAudioProcessor& processor);
    ~Header() override;

    std::function<void()> onPreviousPreset, onNextPreset, onBrowse, onSettings;

    void setPresetPosition (int index, int count);
    void setPresetName (const juce::String& name, bool modified = false);
    void refreshTempo();

    /** Moves "octave" one choice up or down inside a change gesture; never wraps. */
    void stepOctave (int delta);
    juce::String getOctaveText() const;
    juce::String getTempoLabel() const;

    void paint (juce::Graphics&) override;
    void resized() override;

    class StepChip : public juce::Button
    {
    public:
        explicit StepChip (const juce::String& name);
        void paintButton (juce::Graphics&, bool highlighted, bool down) override;
    };

    class SettingsButton : public juce::Button
    {
    public:
        SettingsButton();
        void paintButton (juce::Graphics&, bool highlighted, bool down) override;
    };

    class TransportBpmDisplay : public juce::Component,
                                public juce::SettableTooltipClient,
                                private juce::TextEditor::Listener
    {
    public:
        explicit TransportBpmDisplay (juce::AudioProcessorValueTreeState& state);
        ~TransportBpmDisplay() override;

        bool editable = false;
        double bpm = 120.0;

        juce::String getDisplayText() const;
        juce::TextEditor* getInlineEditor() const noexcept { return inlineEditor.get(); }
        void beginEdit();
        void finishEdit (bool apply);

        void mouseDoubleClick (const juce::MouseEvent&) override;
        void paint (juce::Graphics&) override;
        void resized() override;

    private:
        void textEditorReturnKeyPressed (juce::TextEditor&) override { finishEdit (true); }
        void textEditorEscapeKeyPressed (juce::TextEditor&) override { finishEdit (false); }
        void textEditorFocusLost (juce::TextEditor&) override { finishEdit (true); }

        juce::AudioProcessorValueTreeState& state;
        std::unique_ptr<juce::TextEditor> inlineEditor;
    };

private:
    class OctaveListener : public juce::AudioProcessorValueTreeState::Listener
    {
    public:
        OctaveListener (Header& header, juce::AudioProcessorValueTreeState& state);
        ~OctaveListener() override;
        void parameterChanged (const juce::String&, float) override;

    private:
        // Made with the listener, on the message thread; the listener itself may run on the audio thread.
        juce::Component::SafePointer<Header> header;
        juce::AudioProcessorValueTreeState* state;
    };

    class SyncListener : public juce::AudioProcessorValueTreeState::Listener
    {
    public:
        SyncListener (Header& header, juce::AudioProcessorValueTreeState& state);
        ~SyncListener() override;
        void parameterChanged (const juce::String&, float) override;

    private:
        // Made with the listener, on the message thread; the listener itself may run on the audio thread.
        juce::Component::SafePointer<Header> header;
        juce::AudioProcessorValueTreeState* state;
    };

    QuillonAudioProcessor& processor;
    juce::AudioProcessorValueTreeState& state;

public:
    widgets::PresetNavStrip presetStrip;
    StepChip octaveDown { "-1" }, octaveUp { "+1" };
    larkspur::widgets::ValueChip glideChip;
    larkspur::widgets::Tab legatoButton { "LEGATO" };
    TransportBpmDisplay tempoDisplay { state };
    larkspur::widgets::ValueChip masterChip;
    SettingsButton settingsButton;

private:
    std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment> legatoAttachment;
    std::unique_ptr<OctaveListener> octaveListener;
    std::unique_ptr<SyncListener> syncListener;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Header)
};

} // namespace quillon::ui
