#pragma once

#include "engine/SynthEngine.h"
#include "engine/RealtimeAnnotations.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <memory>
#include <vector>

class QuillonAudioProcessor : public juce::AudioProcessor,
                              private juce::Timer
{
public:
    QuillonAudioProcessor();
    ~QuillonAudioProcessor() override;

    //==============================================================================
    const juce::String getName() const override { return "Quillon"; }
    bool acceptsMidi() const override { return true; }
    bool producesMidi() const override { return false; }
    bool isMidiEffect() const override { return false; }
    double getTailLengthSeconds() const override { return 0.0; }

    bool hasEditor() const override { return true; }
    juce::AudioProcessorEditor* createEditor() override;

    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    const juce::String getProgramName (int index) override;
    void changeProgramName (int, const juce::String&) override {}

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;
    void prepareToPlay (double sampleRate, int samplesPerBlock) override;
    void releaseResources() override {}

    using AudioProcessor::processBlock;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) QUILLON_NONBLOCKING override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    //==============================================================================
    // For the editor, on the message thread.
    juce::String getPresetName() const;
    juce::String getPresetSource() const;
    void setPresetName (const juce::String& name);
    void setPresetInfo (const juce::String& name, const juce::String& source);

    void armMidiLearn (const juce::String& parameterId);
    bool isMidiLearnArmed (const juce::String& parameterId) const;
    void cancelMidiLearn();
    int indexOfParameter (const juce::String& parameterId) const;

    // Replaces the parameters with a preset tree; parameters it does not list take their defaults.
    // False, with nothing changed, when the XML is neither rooted in "PARAMS" nor holds a
    // parameter of this instrument.
    bool loadStateTree (const juce::XmlElement& xml);
    std::unique_ptr<juce::XmlElement> createStateXml();

    // Audition: the browser plays presets for a while and then puts the user's sound back. While a
    // sound is kept, a saved state is that sound (parameters, MIDI-learn map, preset name, source and
    // dirty flag), not the one being auditioned. A state restored by the host drops it.
    void keepSoundForAudition();
    bool restoreKeptSound();
    void dropKeptSound();
    bool hasKeptSound() const;
    void loadInitPreset();
    void migrateStateTree (juce::ValueTree& tree);
    static juce::ValueTree findParamChild (const juce::ValueTree& tree, const juce::String& parameterId);

    //==============================================================================
    juce::UndoManager undoManager { 30000, 30 };
    juce::AudioProcessorValueTreeState parameterState;
    quillon::SynthEngine engine;

    // Polled by the editor without a lock.
    std::atomic<float> cpuLoad { 0.0f };
    std::atomic<float> peakLevelDb { -120.0f };
    std::atomic<bool> presetDirty { false };
    std::atomic<int> activeView { 0 };
    // The host's tempo as of the last block, 0 when the host gives none. The play head itself is
    // only valid inside processBlock, so the editor reads this instead.
    std::atomic<float> hostTempoBpm { 0.0f };

    static constexpr int scopeSize = 4096;
    // Scope ring: a reader discards a slot whose stamp is 0 or changes while it reads.
    std::array<std::atomic<float>, scopeSize> scopeSamples {};
    std::array<std::atomic<std::uint64_t>, scopeSize> scopeStamps {};
    std::atomic<std::uint64_t> scopeWriteCounter { 0 };

    int getHeldNoteCount() const noexcept { return heldNoteCount; }
    int getTopHeldNote() const noexcept { return topHeldNote; }
    int getMidiLearnTarget() const noexcept { return midiLearnTarget.load(); }
    int getMidiLearnMapping (int controller) const noexcept;

    // The 30 Hz hand-over of learned controller values to the host; public for tests.
    void timerCallback() override;

private:
    struct HeldNote
    {
        int note = 0;
        float velocity = 0.0f;
    };

    class DirtyTracker : public juce::AudioProcessorValueTreeState::Listener
    {
    public:
        explicit DirtyTracker (QuillonAudioProcessor& p) : owner (p) {}
        void parameterChanged (const juce::String&, float) override;

    private:
        QuillonAudioProcessor& owner;
    };

    void handleNoteOn (int note, float velocity);
    void handleNoteOff (int note);
    void handleController (int controller, int value);
    void clearHeldNotes() noexcept;
    void removeHeldNote (int note) noexcept;
    void updateMeters (const juce::AudioBuffer<float>& buffer);

    // Brings a tree into the shape the parameter state keeps; false when it holds nothing of ours.
    bool prepareParameterTree (juce::ValueTree& tree);
    void replaceParameters (const juce::ValueTree& tree);

    std::array<HeldNote, 128> heldNotes {};
    int heldNoteCount = 0;
    int topHeldNote = -1;

    std::vector<juce::RangedAudioParameter*> parameterList;
    std::vector<std::atomic<float>*> rawParameterValues;
    std::atomic<float>* lfoSyncBpmValue = nullptr;
    std::atomic<float>* legatoValue = nullptr;

    std::array<std::atomic<int>, 128> midiLearnMap;
    std::atomic<int> midiLearnTarget { -1 };

    // A learned controller's plain value as the audio thread stored it into the raw value, its
    // flag, and a count the audio thread makes odd while it writes and even again when done.
    std::unique_ptr<std::atomic<float>[]> pendingValues;
    std::unique_ptr<std::atomic<std::uint8_t>[]> pendingFlags;
    std::unique_ptr<std::atomic<std::uint32_t>[]> pendingWrites;
    // Message thread only: the raw value an announcement left behind while a controller write
    // overlapped it, so the next tick knows that value as its own and not as a newer edit.
    std::vector<float> announcedOverWrite;
    size_t pendingCount = 0;

    juce::CriticalSection presetInfoLock;
    juce::String presetName, presetSource;

    juce::CriticalSection keptSoundLock;
    juce::MemoryBlock keptSound;
    bool restoringKeptSound = false; // message thread only

    std::atomic<bool> loadingState { false };
    std::atomic<bool> stateRestored { false };
    DirtyTracker dirtyTracker { *this };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuillonAudioProcessor)
};
