#include "plugin/PluginProcessor.h"

#include "plugin/Parameters.h"
#include "plugin/VoiceBinding.h"
#include "ui/Editor.h"

#include <cmath>
#include <cstring>
#include <limits>

QuillonAudioProcessor::QuillonAudioProcessor()
    : AudioProcessor (BusesProperties().withOutput ("Out", juce::AudioChannelSet::stereo(), true)),
      parameterState (*this, &undoManager, "PARAMS", quillon::createParameterLayout()),
      engine (quillon::bindVoiceParameters (parameterState))
{
    clearHeldNotes();

    for (auto& entry : midiLearnMap)
        entry.store (-1);

    const auto& parameters = getParameters();
    parameterList.reserve ((size_t) parameters.size());
    rawParameterValues.reserve ((size_t) parameters.size());

    for (auto* p : parameters)
    {
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (p);
        parameterList.push_back (ranged);
        rawParameterValues.push_back (ranged != nullptr ? parameterState.getRawParameterValue (ranged->paramID) : nullptr);
    }

    lfoSyncBpmValue = parameterState.getRawParameterValue (quillon::ids::lfoSyncBpm);
    legatoValue = parameterState.getRawParameterValue (quillon::ids::legato);

    pendingCount = parameterList.size();
    pendingValues = std::make_unique<std::atomic<float>[]> (pendingCount);
    pendingFlags = std::make_unique<std::atomic<std::uint8_t>[]> (pendingCount);
    pendingWrites = std::make_unique<std::atomic<std::uint32_t>[]> (pendingCount);
    announcedOverWrite.assign (pendingCount, std::numeric_limits<float>::quiet_NaN());

    for (size_t i = 0; i < pendingCount; ++i)
    {
        pendingValues[i].store (0.0f);
        pendingFlags[i].store (0);
        pendingWrites[i].store (0);
    }

    for (auto* p : parameterList)
        if (p != nullptr)
            parameterState.addParameterListener (p->paramID, &dirtyTracker);

    loadInitPreset();
    startTimerHz (30);
}

QuillonAudioProcessor::~QuillonAudioProcessor()
{
    // A host that deletes the processor with its editor still open: the editor goes first, while
    // everything it shows and listens to is still here.
    if (auto* editor = getActiveEditor())
        delete editor;

    stopTimer();

    for (auto* p : parameterList)
        if (p != nullptr)
            parameterState.removeParameterListener (p->paramID, &dirtyTracker);
}

// Hosts list the one program by name, and some refuse a nameless one.
const juce::String QuillonAudioProcessor::getProgramName (int index)
{
    return index == 0 ? juce::String ("Default") : juce::String();
}

juce::AudioProcessorEditor* QuillonAudioProcessor::createEditor()
{
    return new quillon::ui::Editor (*this);
}

bool QuillonAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto out = layouts.getMainOutputChannelSet();
    return out == juce::AudioChannelSet::stereo() || out == juce::AudioChannelSet::mono();
}

void QuillonAudioProcessor::prepareToPlay (double sampleRate, int samplesPerBlock)
{
    engine.prepare (sampleRate, samplesPerBlock);
    setLatencySamples (engine.getLatencySamples());
    clearHeldNotes();

    scopeWriteCounter.store (0);
    for (int i = 0; i < scopeSize; ++i)
    {
        scopeSamples[(size_t) i].store (0.0f);
        scopeStamps[(size_t) i].store (0);
    }
}

void QuillonAudioProcessor::clearHeldNotes() noexcept
{
    heldNoteCount = 0;
    topHeldNote = -1;
}

//==============================================================================
void QuillonAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    juce::ScopedNoDenormals noDenormals;
    const auto startTime = juce::Time::getHighResolutionTicks();

    const int numSamples = buffer.getNumSamples();
    buffer.clear();

    if (stateRestored.exchange (false))
    {
        clearHeldNotes();
        engine.releaseAll();
    }

    float tempo = lfoSyncBpmValue != nullptr ? juce::jlimit (40.0f, 240.0f, lfoSyncBpmValue->load()) : 120.0f;

    float hostTempo = 0.0f;

    if (auto* host = getPlayHead())
        if (const auto position = host->getPosition())
            if (const auto bpm = position->getBpm())
                hostTempo = (float) *bpm;

    hostTempoBpm.store (hostTempo, std::memory_order_relaxed);

    if (hostTempo > 0.0f)
        tempo = hostTempo;

    engine.tempoBpm = tempo;

    int rendered = 0;

    for (const auto metadata : midi)
    {
        const int position = juce::jlimit (0, numSamples, metadata.samplePosition);

        if (position > rendered)
        {
            engine.render (buffer, rendered, position - rendered);
            rendered = position;
        }

        const auto message = metadata.getMessage();

        if (message.isNoteOn (false))
        {
            if (message.getNoteNumber() <= 127)
                handleNoteOn (message.getNoteNumber(), (float) message.getVelocity() / 127.0f);
        }
        else if (message.isNoteOff (true))
        {
            if (message.getNoteNumber() <= 127)
                handleNoteOff (message.getNoteNumber());
        }
        else if (message.isAllNotesOff() || message.isAllSoundOff())
        {
            clearHeldNotes();
            engine.releaseAll();
        }
        else if (message.isPitchWheel())
        {
            const int value = juce::jlimit (0, 16383, message.getPitchWheelValue());
            engine.pitchBend = (float) (value - 8192) / 8192.0f * 2.0f;
        }
        else if (message.isController())
        {
            if (message.getControllerNumber() <= 127)
                handleController (message.getControllerNumber(), message.getControllerValue());
        }
        else if (message.isChannelPressure())
        {
            engine.aftertouch.exchange (juce::jlimit (0.0f, 1.0f, (float) message.getChannelPressureValue() / 127.0f));
        }
    }

    if (rendered < numSamples)
        engine.render (buffer, rendered, numSamples - rendered);

    updateMeters (buffer);

    const double sampleRate = getSampleRate();

    if (sampleRate > 0.0 && numSamples > 0)
    {
        const double elapsed = juce::Time::highResolutionTicksToSeconds (juce::Time::getHighResolutionTicks() - startTime);
        const double blockSeconds = numSamples / sampleRate;
        const double load = elapsed / blockSeconds * 100.0;
        const double a = juce::jlimit (0.005, 0.5, blockSeconds);
        const float current = cpuLoad.load (std::memory_order_relaxed);
        cpuLoad.store (current + (float) ((load - current) * a), std::memory_order_relaxed);
    }
}

void QuillonAudioProcessor::removeHeldNote (int note) noexcept
{
    int kept = 0;

    for (int i = 0; i < heldNoteCount; ++i)
        if (heldNotes[(size_t) i].note != note)
            heldNotes[(size_t) kept++] = heldNotes[(size_t) i];

    heldNoteCount = kept;
}

void QuillonAudioProcessor::handleNoteOn (int note, float velocity)
{
    const int before = heldNoteCount;
    removeHeldNote (note);

    if (heldNoteCount >= (int) heldNotes.size())
        return;

    heldNotes[(size_t) heldNoteCount++] = { note, velocity };
    topHeldNote = note;

    const bool legato = legatoValue != nullptr && legatoValue->load() > 0.5f && before != 0;
    engine.noteOn (note, velocity, legato);
}

void QuillonAudioProcessor::handleNoteOff (int note)
{
    removeHeldNote (note);

    if (heldNoteCount == 0)
    {
        topHeldNote = -1;
        engine.releaseAll();
        return;
    }

    const auto& top = heldNotes[(size_t) heldNoteCount - 1];
    topHeldNote = top.note;

    // A returning held note always glides in legato, whatever the legato switch says.
    if (top.note != engine.lastNote)
        engine.noteOn (top.note, top.velocity, true);
}

void QuillonAudioProcessor::handleController (int controller, int value)
{
    const int parameterCount = (int) parameterList.size();
    int target = midiLearnTarget.load();

    // Only the arm that was read is consumed: if the editor arms another parameter meanwhile,
    // that arm stays for the next controller.
    if (target >= 0 && target < parameterCount && midiLearnTarget.compare_exchange_strong (target, -1))
        midiLearnMap[(size_t) controller].store (target);

    const int index = midiLearnMap[(size_t) controller].load();

    if (index >= 0 && index < parameterCount)
    {
        auto* parameter = parameterList[(size_t) index];
        auto* raw = rawParameterValues[(size_t) index];

        if (parameter != nullptr && raw != nullptr)
        {
            const float x = juce::jlimit (0.0f, 1.0f, (float) value / 127.0f);
            const float y = parameter->convertFrom0to1 (x);
            const bool announce = pendingValues != nullptr && (size_t) index < pendingCount;

            if (announce)
                pendingWrites[(size_t) index].fetch_add (1);

            raw->store (y);

            if (announce)
            {
                pendingValues[(size_t) index].store (y);
                pendingWrites[(size_t) index].fetch_add (1);
                pendingFlags[(size_t) index].store (1);
            }
        }
    }

    if (controller == 1)
        engine.modWheel.exchange (juce::jlimit (0.0f, 1.0f, (float) value / 127.0f));
}

void QuillonAudioProcessor::updateMeters (const juce::AudioBuffer<float>& buffer)
{
    const int numSamples = buffer.getNumSamples();
    const int numChannels = buffer.getNumChannels();

    if (numSamples > 0 && numChannels > 0)
    {
        const float* left = buffer.getReadPointer (0);
        const float* right = buffer.getReadPointer (numChannels > 1 ? 1 : 0);
        const int m = juce::jmin (numSamples, scopeSize);
        const auto counter = scopeWriteCounter.load (std::memory_order_relaxed);

        for (int k = 0; k < m; ++k)
        {
            const int s = numSamples - m + k;
            const std::uint64_t seq = counter + (std::uint64_t) s;
            const auto slot = (size_t) (seq % (std::uint64_t) scopeSize);
            scopeStamps[slot].store (0, std::memory_order_release);
            scopeSamples[slot].store ((left[s] + right[s]) * 0.5f, std::memory_order_release);
            scopeStamps[slot].store (seq + 1, std::memory_order_release);
        }

        scopeWriteCounter.store (counter + (std::uint64_t) numSamples, std::memory_order_release);
    }

    float peak = 0.0f;

    if (! buffer.hasBeenCleared())
        for (int ch = 0; ch < numChannels; ++ch)
            peak = juce::jmax (peak, buffer.getMagnitude (ch, 0, numSamples));

    const float db = peak > 0.0f ? juce::jmax (20.0f * std::log10 (peak), -120.0f) : -120.0f;
    const double sampleRate = getSampleRate();
    const float fall = sampleRate > 0.0 ? (float) (numSamples * 24.0 / sampleRate) : 1.0f;
    const float previous = peakLevelDb.load (std::memory_order_relaxed);
    peakLevelDb.store (juce::jmax (previous - fall, db, -120.0f), std::memory_order_relaxed);
}

//==============================================================================
namespace
{
bool sameBits (float a, float b) noexcept { return std::memcmp (&a, &b, sizeof (float)) == 0; }

// A plain value one step away from the given one, inaudibly close, never denormal, and away from
// zero so that a choice index or a switch keeps its meaning.
float besideValue (float v) noexcept
{
    if (v == 0.0f)
        return std::numeric_limits<float>::min();

    return std::nextafter (v, v > 0.0f ? std::numeric_limits<float>::max() : -std::numeric_limits<float>::max());
}
} // namespace

void QuillonAudioProcessor::timerCallback()
{
    if (pendingValues == nullptr || pendingFlags == nullptr || pendingWrites == nullptr)
        return;

    for (size_t i = 0; i < pendingCount; ++i)
    {
        const auto writesBefore = pendingWrites[i].load();

        if (pendingFlags[i].exchange (0) == 0 || i >= parameterList.size() || parameterList[i] == nullptr)
            continue;

        auto* parameter = parameterList[i];
        auto* raw = rawParameterValues[i];
        const float played = pendingValues[i].load();
        const float normalised = juce::jlimit (0.0f, 1.0f, parameter->convertTo0to1 (played));

        if (raw != nullptr)
        {
            // The raw value must still be the controller's (or what the last announcement left
            // there while a controller write overlapped it); anything else is a newer edit from
            // the host, the editor or a preset, and that one stays.
            float current = raw->load();

            const bool ours = sameBits (current, played) || sameBits (current, announcedOverWrite[i]);
            announcedOverWrite[i] = std::numeric_limits<float>::quiet_NaN();

            if (! ours)
                continue;

            // The parameter state tells its listeners and its tree only about a value that differs
            // from the raw one, which the audio thread has already set. The value it will compare is
            // the one the parameter gives back after taking `normalised`; for these parameter types
            // that is this round trip. Park the raw value one step beside it for the moment.
            const float announced = parameter->convertFrom0to1 (parameter->convertTo0to1 (parameter->convertFrom0to1 (normalised)));

            if (! raw->compare_exchange_strong (current, besideValue (announced)))
                continue; // written again just now; its flag is up for the next tick
        }

        parameter->beginChangeGesture();
        parameter->setValueNotifyingHost (normalised);
        parameter->endChangeGesture();

        // A controller write that began before the announcement finished may have been replaced
        // by the announced value; remember that value so the next tick still hands the newer one over.
        const auto writesAfter = pendingWrites[i].load();
        const bool overlapped = (writesBefore & 1u) != 0 || writesAfter != writesBefore;
        announcedOverWrite[i] = overlapped && raw != nullptr ? raw->load() : std::numeric_limits<float>::quiet_NaN();
    }
}

void QuillonAudioProcessor::DirtyTracker::parameterChanged (const juce::String&, float)
{
    if (! owner.loadingState.load())
        owner.presetDirty.store (true);
}

//==============================================================================
juce::String QuillonAudioProcessor::getPresetName() const
{
    const juce::ScopedLock lock (presetInfoLock);
    return presetName;
}

juce::String QuillonAudioProcessor::getPresetSource() const
{
    const juce::ScopedLock lock (presetInfoLock);
    return presetSource;
}

void QuillonAudioProcessor::setPresetName (const juce::String& name)
{
    const juce::ScopedLock lock (presetInfoLock);
    presetName = name;
}

void QuillonAudioProcessor::setPresetInfo (const juce::String& name, const juce::String& source)
{
    {
        const juce::ScopedLock lock (presetInfoLock);
        presetName = name;
        presetSource = source;
    }
    presetDirty.store (false);
}

int QuillonAudioProcessor::indexOfParameter (const juce::String& parameterId) const
{
    for (size_t i = 0; i < parameterList.size(); ++i)
        if (parameterList[i] != nullptr && parameterList[i]->paramID == parameterId)
            return (int) i;

    return -1;
}

void QuillonAudioProcessor::armMidiLearn (const juce::String& parameterId)
{
    midiLearnTarget.store (indexOfParameter (parameterId));
}

bool QuillonAudioProcessor::isMidiLearnArmed (const juce::String& parameterId) const
{
    const int index = indexOfParameter (parameterId);
    return index >= 0 && index == midiLearnTarget.load();
}

void QuillonAudioProcessor::cancelMidiLearn()
{
    midiLearnTarget.store (-1);
}

int QuillonAudioProcessor::getMidiLearnMapping (int controller) const noexcept
{
    return juce::isPositiveAndBelow (controller, 128) ? midiLearnMap[(size_t) controller].load() : -1;
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new QuillonAudioProcessor();
}
