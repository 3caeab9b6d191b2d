#include "KnobWiring.h"

#include "plugin/PluginProcessor.h"

#include <cmath>

namespace quillon::ui::matrix
{

namespace
{
    constexpr float defaultAmount = 0.35f;

    // Below this an amount counts as unset. The slack absorbs the normalised round trip, which
    // turns a stored -0.001 into -0.00099998.
    constexpr float unsetAmount = 0.001f - 1.0e-6f;


    int choiceIndex (juce::AudioProcessorValueTreeState& state, const juce::String& id)
    {
        if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (id)))
            return choice->getIndex();

        return -1;
    }

    float amountOf (juce::RangedAudioParameter* amount)
    {
        return amount != nullptr ? amount->convertFrom0to1 (amount->getValue()) : 0.0f;
    }

    void writeAmount (juce::RangedAudioParameter* amount, float value)
    {
        if (amount == nullptr)
            return;

        amount->beginChangeGesture();
        amount->setValueNotifyingHost (amount->convertTo0to1 (value));
        amount->endChangeGesture();
    }
} // namespace

juce::StringArray modulationSourceDisplayNames()
{
    return { "Velocity", "Key", "Mod wheel", "Aftertouch", "LFO 1", "DCW env osc 1", "DCW env osc 2" };
}

void setChoiceIndex (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId, int index)
{
    auto* choice = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (parameterId));

    if (choice == nullptr || choice->choices.size() < 2)
        return;

    const float normalised = juce::jlimit (0.0f, 1.0f, (float) index / (float) (choice->choices.size() - 1));
    choice->beginChangeGesture();
    choice->setValueNotifyingHost (normalised);
    choice->endChangeGesture();
}

bool applyAssignmentRule (juce::AudioProcessorValueTreeState& state, int source, int destination)
{
    for (int slot = 1; slot <= ids::numModSlots; ++slot)
    {
        if (choiceIndex (state, ids::modSlot (slot).destination) != destination)
            continue;

        setChoiceIndex (state, ids::modSlot (slot).source, source);

        auto* amount = state.getParameter (ids::modSlot (slot).amount);
        if (amount != nullptr && std::abs (amountOf (amount)) < unsetAmount)
            writeAmount (amount, defaultAmount);

        return true;
    }

    for (int slot = 1; slot <= ids::numModSlots; ++slot)
    {
        if (choiceIndex (state, ids::modSlot (slot).source) != 0)
            continue;

        setChoiceIndex (state, ids::modSlot (slot).source, source);
        setChoiceIndex (state, ids::modSlot (slot).destination, destination);
        writeAmount (state.getParameter (ids::modSlot (slot).amount), defaultAmount);
        return true;
    }

    return false;
}

bool assignModulationSource (QuillonAudioProcessor& processor, int source, int destination)
{
    return applyAssignmentRule (processor.parameterState, source, destination);
}

void removeModulationForDestination (QuillonAudioProcessor& processor, int destination)
{
    auto& state = processor.parameterState;

    for (int slot = 1; slot <= ids::numModSlots; ++slot)
    {
        if (choiceIndex (state, ids::modSlot (slot).destination) != destination)
            continue;

        setChoiceIndex (state, ids::modSlot (slot).source, 0);
        writeAmount (state.getParameter (ids::modSlot (slot).amount), 0.0f);
    }
}

juce::String modulationDescription (QuillonAudioProcessor& processor, int destination)
{
    auto& state = processor.parameterState;
    const auto names = modulationSourceDisplayNames();

    for (int slot = 1; slot <= ids::numModSlots; ++slot)
    {
        if (choiceIndex (state, ids::modSlot (slot).destination) != destination)
            continue;

        const int source = choiceIndex (state, ids::modSlot (slot).source);
        if (source < 1 || source > names.size())
            continue;

        auto* raw = state.getRawParameterValue (ids::modSlot (slot).amount);
        const int percent = juce::roundToInt ((raw != nullptr ? raw->load() : 0.0f) * 100.0f);

        return "Modulating: " + names[source - 1] + juce::String (juce::CharPointer_UTF8 (" \xc2\xb7 "))
               + (percent >= 0 ? "+" : "") + juce::String (percent) + " %";
    }

    return {};
}

juce::RangedAudioParameter* slotAmountParameter (QuillonAudioProcessor& processor, int slot)
{
    if (slot < 1)
        return nullptr;

    return processor.parameterState.getParameter (ids::modSlot (slot).amount);
}

void wireKnob (larkspur::widgets::Knob& knob, QuillonAudioProcessor& processor, const juce::String& paramId,
               ModDestination code)
{
    const int destination = (int) code;

    registerKnob (knob, destination, paramId, &processor);

    knob.setModulationTarget (true);
    knob.setModulated (findSlotForDestination (processor, destination) > 0);

    auto* p = &processor;

    knob.setSourceDropHandler ([p, destination] (int source) { return assignModulationSource (*p, source, destination); });

    knob.setModulationSources (modulationSourceDisplayNames(),
                               [p, destination] (int source) { assignModulationSource (*p, source, destination); });

    knob.setModulationSummaryAndRemover ([p, destination] { return modulationDescription (*p, destination); },
                                         [p, destination] { removeModulationForDestination (*p, destination); });

    // Each call looks the slot up again: the matrix may have changed since the last one.
    const auto activeAmount = [p, destination]
    { return slotAmountParameter (*p, findSlotForDestination (*p, destination)); };

    knob.setModulationRingCallbacks (
        [activeAmount]
        {
            auto* amount = activeAmount();
            return amount != nullptr ? amountOf (amount) : 0.0f;
        },
        [activeAmount]
        {
            if (auto* amount = activeAmount())
                amount->beginChangeGesture();
        },
        [activeAmount] (float value)
        {
            if (auto* amount = activeAmount())
                amount->setValueNotifyingHost (amount->convertTo0to1 (juce::jlimit (-1.0f, 1.0f, value)));
        },
        [activeAmount]
        {
            if (auto* amount = activeAmount())
                amount->endChangeGesture();
        });

    auto* knobPtr = &knob;
    knob.setMidiLearnHandler ([p, knobPtr, paramId]
    {
        if (p->isMidiLearnArmed (paramId))
        {
            p->cancelMidiLearn();
            knobPtr->setMidiLearnArmed (false);
        }
        else
        {
            p->armMidiLearn (paramId);
            knobPtr->setMidiLearnArmed (true);
        }
    });

    knob.setRevealInMatrixHandler ([destination]
    {
        if (revealInMatrixHook)
            revealInMatrixHook (destination);
    });
}

} // namespace quillon::ui::matrix
