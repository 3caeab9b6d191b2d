// State save and restore, preset trees and their migration.

#include "plugin/PluginProcessor.h"
#include "plugin/ParameterIds.h"

#include "plugin/Catalogue.h"
#include "plugin/SafeInput.h"

#include <cmath>

namespace
{
const juce::Identifier paramsType ("PARAMS");
const juce::Identifier paramType ("PARAM");
const juce::Identifier midiLearnType ("MIDILEARN");
const juce::Identifier mapType ("MAP");
const juce::Identifier uiStateType ("UISTATE");
const juce::Identifier idProperty ("id");
const juce::Identifier valueProperty ("value");

constexpr const char* initPresetFile = "init_clean.xml";

// Values arrive as text from XML: "inf", "nan" or an overflowing number all count as non-finite.
bool isFiniteNumber (const juce::var& value)
{
    if (value.isString())
    {
        const auto text = value.toString().trim().toLowerCase().trimCharactersAtStart ("+-");

        if (text.startsWith ("inf") || text.startsWith ("nan"))
            return false;
    }

    return std::isfinite ((double) value);
}

void removeChildrenOfType (juce::ValueTree& tree, const juce::Identifier& type)
{
    for (int i = tree.getNumChildren(); --i >= 0;)
        if (tree.getChild (i).hasType (type))
            tree.removeChild (i, nullptr);
}
} // namespace

juce::ValueTree QuillonAudioProcessor::findParamChild (const juce::ValueTree& tree, const juce::String& parameterId)
{
    for (const auto& child : tree)
        if (child.hasProperty (idProperty) && child.getProperty (idProperty).toString() == parameterId)
            return child;

    return {};
}

void QuillonAudioProcessor::migrateStateTree (juce::ValueTree& tree)
{
    const auto appendParam = [&tree] (const juce::String& id, double value)
    {
        juce::ValueTree child (paramType);
        child.setProperty (idProperty, id, nullptr);
        child.setProperty (valueProperty, value, nullptr);
        tree.appendChild (child, nullptr);
    };

    // Old states chose wide or mono; now the width is continuous.
    if (! findParamChild (tree, quillon::ids::stereoWidth).isValid())
        if (const auto stereoMode = findParamChild (tree, quillon::ids::stereoMode); stereoMode.isValid())
            appendParam (quillon::ids::stereoWidth, (double) stereoMode.getProperty (valueProperty) < 0.5 ? 1.0 : 0.0);

    // Old states switched drive on or off; now it blends.
    if (! findParamChild (tree, quillon::ids::driveMix).isValid())
        if (const auto driveEnabled = findParamChild (tree, "driveEnabled"); driveEnabled.isValid())
            appendParam (quillon::ids::driveMix, (double) driveEnabled.getProperty (valueProperty) >= 0.5 ? 1.0 : 0.0);

    for (auto child : tree)
    {
        if (! child.hasProperty (idProperty) || ! child.hasProperty (valueProperty))
            continue;

        if (isFiniteNumber (child.getProperty (valueProperty)))
            continue;

        if (auto* parameter = parameterState.getParameter (child.getProperty (idProperty).toString()))
            child.setProperty (valueProperty,
                               parameter->convertFrom0to1 (juce::jlimit (0.0f, 1.0f, parameter->getDefaultValue())),
                               nullptr);
    }
}

bool QuillonAudioProcessor::prepareParameterTree (juce::ValueTree& tree)
{
    removeChildrenOfType (tree, midiLearnType);
    removeChildrenOfType (tree, uiStateType);
    migrateStateTree (tree);

    // A tree of our own shape is ours even when it lists no parameter: those take their defaults.
    bool holdsOurs = tree.hasType (paramsType);

    for (const auto& child : tree)
        if (child.hasType (paramType) && indexOfParameter (child.getProperty (idProperty).toString()) >= 0)
            holdsOurs = true;

    if (! holdsOurs)
        return false;

    // The parameter state keeps one shape, whatever the root was called and whatever else the
    // tree carried; unknown PARAM children (old switches) are kept and written back.
    juce::ValueTree params (paramsType);

    for (const auto& child : tree)
        if (child.hasType (paramType))
            params.appendChild (child.createCopy(), nullptr);

    // A parameter without a value would otherwise be left without a "value" attribute, and a
    // saved state would then not say what it was.
    for (auto* parameter : parameterList)
    {
        if (parameter == nullptr)
            continue;

        const auto defaultValue = parameter->convertFrom0to1 (juce::jlimit (0.0f, 1.0f, parameter->getDefaultValue()));
        auto child = findParamChild (params, parameter->paramID);

        if (! child.isValid())
        {
            child = juce::ValueTree (paramType);
            child.setProperty (idProperty, parameter->paramID, nullptr);
            params.appendChild (child, nullptr);
        }

        if (! child.hasProperty (valueProperty))
            child.setProperty (valueProperty, defaultValue, nullptr);
    }

    tree = params;
    return true;
}

void QuillonAudioProcessor::replaceParameters (const juce::ValueTree& tree)
{
    loadingState.store (true);
    parameterState.replaceState (tree);
    loadingState.store (false);
    undoManager.clearUndoHistory();
}

//==============================================================================
void QuillonAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    {
        const juce::ScopedLock lock (keptSoundLock);
        if (! keptSound.isEmpty())
        {
            destData = keptSound;
            return;
        }
    }

    try
    {
        auto state = parameterState.copyState();

        juce::ValueTree midiLearn (midiLearnType);

        for (int cc = 0; cc < 128; ++cc)
        {
            const int index = midiLearnMap[(size_t) cc].load();

            if (index >= 0 && index < (int) parameterList.size() && parameterList[(size_t) index] != nullptr)
            {
                juce::ValueTree map (mapType);
                map.setProperty ("cc", cc, nullptr);
                map.setProperty ("param", parameterList[(size_t) index]->paramID, nullptr);
                midiLearn.appendChild (map, nullptr);
            }
        }

        if (midiLearn.getNumChildren() > 0)
            state.appendChild (midiLearn, nullptr);

        juce::ValueTree ui (uiStateType);
        {
            const juce::ScopedLock lock (presetInfoLock);

            if (presetName.isNotEmpty())
                ui.setProperty ("presetName", presetName, nullptr);

            if (presetSource.isNotEmpty())
                ui.setProperty ("presetSource", presetSource, nullptr);
        }
        ui.setProperty ("presetDirty", presetDirty.load(), nullptr);
        ui.setProperty ("activeView", activeView.load(), nullptr);
        state.appendChild (ui, nullptr);

        if (auto xml = state.createXml())
            copyXmlToBinary (*xml, destData);
    }
    catch (...)
    {
        destData.reset();
    }
}

void QuillonAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    dropKeptSound();

    try
    {
        if (data == nullptr || sizeInBytes <= 0)
            return;

        // Not getXmlFromBinary: JUCE's reader trusts the host's bytes.
        const auto xml = quillon::input::readStateBlob (data, (size_t) sizeInBytes);

        if (xml == nullptr)
            return;

        auto tree = juce::ValueTree::fromXml (*xml);

        if (! tree.isValid())
            return;

        const auto midiLearn = tree.getChildWithName (midiLearnType).createCopy();
        const auto ui = tree.getChildWithName (uiStateType).createCopy();

        if (! prepareParameterTree (tree))
            return;

        replaceParameters (tree);

        for (auto& entry : midiLearnMap)
            entry.store (-1);

        for (const auto& map : midiLearn)
        {
            if (! map.hasType (mapType))
                continue;

            const int cc = map.getProperty ("cc", -1);
            const int index = indexOfParameter (map.getProperty ("param", juce::String()).toString());

            if (cc >= 0 && cc <= 127 && index >= 0)
                midiLearnMap[(size_t) cc].store (index);
        }

        {
            const juce::ScopedLock lock (presetInfoLock);
            presetName = ui.getProperty ("presetName", juce::String()).toString();
            presetSource = ui.getProperty ("presetSource", juce::String()).toString();
        }
        presetDirty.store ((bool) ui.getProperty ("presetDirty", false));
        activeView.store ((int) ui.getProperty ("activeView", 0));

        // A host's restore starts from silence; the user's own sound coming back after an audition
        // plays on under the held notes, as any change of its parameters would.
        if (! restoringKeptSound)
            stateRestored.store (true);
    }
    catch (...)
    {
        // A host must never see an exception from a state it handed us.
    }
}

//==============================================================================
bool QuillonAudioProcessor::loadStateTree (const juce::XmlElement& xml)
{
    auto tree = juce::ValueTree::fromXml (xml);

    if (! tree.isValid() || ! prepareParameterTree (tree))
        return false;

    replaceParameters (tree);
    presetDirty.store (false);
    return true;
}

std::unique_ptr<juce::XmlElement> QuillonAudioProcessor::createStateXml()
{
    return parameterState.copyState().createXml();
}

void QuillonAudioProcessor::loadInitPreset()
{
    const auto xml = quillon::presets::loadFactoryPresetXml (initPresetFile);

    if (xml == nullptr)
        return;

    if (auto tree = juce::ValueTree::fromXml (*xml); tree.isValid() && prepareParameterTree (tree))
    {
        replaceParameters (tree);
        presetDirty.store (false);
    }

    juce::String name ("init clean");
    const auto catalogue = quillon::presets::Catalogue::loadEmbedded();

    if (const auto* entry = catalogue.findByXml (initPresetFile))
        name = entry->displayName;

    {
        const juce::ScopedLock lock (presetInfoLock);
        presetName = name;
        presetSource = juce::String ("factory:") + initPresetFile;
    }
    presetDirty.store (false);
}

//==============================================================================
void QuillonAudioProcessor::keepSoundForAudition()
{
    if (hasKeptSound())
        return;

    juce::MemoryBlock state;
    getStateInformation (state);

    const juce::ScopedLock lock (keptSoundLock);
    keptSound = std::move (state);
}

bool QuillonAudioProcessor::restoreKeptSound()
{
    juce::MemoryBlock state;
    {
        const juce::ScopedLock lock (keptSoundLock);
        state.swapWith (keptSound);
    }

    if (state.isEmpty())
        return false;

    const juce::ScopedValueSetter<bool> keepNotes (restoringKeptSound, true);
    setStateInformation (state.getData(), (int) state.getSize());
    return true;
}

void QuillonAudioProcessor::dropKeptSound()
{
    const juce::ScopedLock lock (keptSoundLock);
    keptSound.reset();
}

bool QuillonAudioProcessor::hasKeptSound() const
{
    const juce::ScopedLock lock (keptSoundLock);
    return ! keptSound.isEmpty();
}
