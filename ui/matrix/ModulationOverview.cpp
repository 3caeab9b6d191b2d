#include "ModulationOverview.h"

#include "engine/SynthEngine.h"
#include "plugin/PluginProcessor.h"

#include <array>
#include <cmath>

namespace quillon::ui::matrix
{

namespace
{
struct Registry
{
    std::vector<KnobRegistryEntry> entries;
    int holds = 0;
};

// A plain pointer, which static destruction leaves alone: the registry is its holds' to delete.
Registry* registry = nullptr;

Registry& theRegistry()
{
    if (registry == nullptr)
        registry = new Registry();
    return *registry;
}
} // namespace

KnobRegistryHold::KnobRegistryHold()
{
    ++theRegistry().holds;
}

KnobRegistryHold::~KnobRegistryHold()
{
    if (registry != nullptr && --registry->holds <= 0)
    {
        delete registry;
        registry = nullptr;
    }
}

std::vector<KnobRegistryEntry>& knobRegistry()
{
    return theRegistry().entries;
}

void compactKnobRegistry()
{
    auto& entries = knobRegistry();
    entries.erase (std::remove_if (entries.begin(), entries.end(),
                                   [] (const KnobRegistryEntry& e) { return e.knob == nullptr || e.destination < 1; }),
                   entries.end());
}

void registerKnob (larkspur::widgets::Knob& knob, int destination, const juce::String& parameterId,
                   const QuillonAudioProcessor* owner)
{
    compactKnobRegistry();

    for (auto& entry : knobRegistry())
    {
        if (entry.knob.getComponent() == &knob)
        {
            entry.destination = destination;
            entry.parameterId = parameterId;
            entry.owner = owner;
            return;
        }
    }

    knobRegistry().push_back ({ juce::Component::SafePointer<larkspur::widgets::Knob> (&knob), destination, parameterId, owner });
}

void flashKnobsForDestination (const QuillonAudioProcessor& processor, int destination)
{
    compactKnobRegistry();

    for (auto& entry : knobRegistry())
        if (entry.owner == &processor && entry.destination == destination)
            if (auto* knob = entry.knob.getComponent())
                knob->flashHighlight();
}

int slotChoiceIndex (QuillonAudioProcessor& processor, const char* parameterId)
{
    if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (processor.parameterState.getParameter (parameterId)))
        return choice->getIndex();

    return -1;
}

int findSlotForDestination (QuillonAudioProcessor& processor, int destination)
{
    for (int slot = 1; slot <= ids::numModSlots; ++slot)
        if (slotChoiceIndex (processor, ids::modSlot (slot).destination) == destination
            && slotChoiceIndex (processor, ids::modSlot (slot).source) > 0)
            return slot;

    return 0;
}

namespace
{
    // Destination of an active slot, or 0 when the slot is off or incomplete.
    int activeDestination (QuillonAudioProcessor& processor, int slot)
    {
        const int destination = slotChoiceIndex (processor, ids::modSlot (slot).destination);
        const int source = slotChoiceIndex (processor, ids::modSlot (slot).source);
        return destination > 0 && source > 0 ? destination : 0;
    }
} // namespace

juce::String modulationSummaryText (QuillonAudioProcessor& processor)
{
    int active = 0;

    for (int slot = 1; slot <= ids::numModSlots; ++slot)
        if (activeDestination (processor, slot) > 0)
            ++active;

    if (active == 0)
        return "No modulations active";

    if (active == 1)
        return "1 modulation active";

    return juce::String (active) + " modulations active";
}

void updateModulationRings (QuillonAudioProcessor& processor)
{
    compactKnobRegistry();

    constexpr int numSums = 32;
    std::array<float, numSums> sums {};
    std::array<bool, numSums> routed {};

    for (int slot = 1; slot <= ids::numModSlots; ++slot)
    {
        const int destination = activeDestination (processor, slot);

        if (destination < 1 || destination >= numSums)
            continue;

        const float live = processor.engine.liveSlotValues[(size_t) slot - 1].load (std::memory_order_relaxed);
        sums[(size_t) destination] += std::isfinite (live) ? live : 0.0f;
        routed[(size_t) destination] = true;
    }

    for (auto& entry : knobRegistry())
    {
        auto* knob = entry.knob.getComponent();

        if (knob == nullptr || entry.owner != &processor)
            continue;

        const int d = entry.destination;
        const bool inRange = d >= 1 && d < numSums;
        const float v = inRange ? sums[(size_t) d] : 0.0f;

        knob->setModulated (std::abs (v) > 0.001f || (inRange && routed[(size_t) d]));
        knob->setLiveValue (juce::jlimit (0.0, 1.0, (double) v * 0.5 + 0.5));

        // The processor goes back to idle by itself once a controller has been learned.
        if (knob->isMidiLearnArmed() && entry.parameterId.isNotEmpty() && ! processor.isMidiLearnArmed (entry.parameterId))
            knob->setMidiLearnArmed (false);
    }
}

} // namespace quillon::ui::matrix
