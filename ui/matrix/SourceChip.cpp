#include "SourceChip.h"

#include "KnobWiring.h"
#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"

namespace quillon::ui::widgets
{

namespace
{
    namespace pal = quillon::palette;

    constexpr int statusChipVariant = 8;

    struct SourceIdEntry
    {
        const char* id;
        ModSource code;
        int colourSlot;
    };

    constexpr std::array<SourceIdEntry, 12> sourceIds { {
        { "velocity", ModSource::velocity, pal::sourceVelocity },
        { "key", ModSource::key, pal::sourceKey },
        { "modwheel", ModSource::modWheel, pal::sourceModwheel },
        { "aftertouch", ModSource::aftertouch, pal::sourceAftertouch },
        { "lfo1", ModSource::lfo1, pal::sourceLfo1 },
        { "dcw1Env", ModSource::dcwEnvOsc1, pal::sourceDcw1 },
        { "dcw2Env", ModSource::dcwEnvOsc2, pal::sourceDcw2 },
        { "filterEnv", ModSource::filterEnv, pal::sourceKey },
        { "ampEnv", ModSource::ampEnv, pal::sourceVelocity },
        { "noteRandom", ModSource::noteRandom, pal::sourceAftertouch },
        { "smoothRandom", ModSource::smoothRandom, pal::sourceModwheel },
        { "beatPhase", ModSource::beatPhase, pal::sourceLfo1 },
    } };

    const SourceIdEntry* findSourceId (const juce::String& id)
    {
        for (auto& entry : sourceIds)
            if (id == entry.id)
                return &entry;

        return nullptr;
    }
} // namespace

const std::array<AssignMenuDestination, 20> assignMenuDestinations { {
    { 101, ModDestination::osc1Dcw, "OSC 1 DCW" }, { 102, ModDestination::osc2Dcw, "OSC 2 DCW" },
    { 103, ModDestination::osc2Detune, "OSC 2 detune" }, { 104, ModDestination::osc1Level, "OSC 1 level" },
    { 105, ModDestination::osc2Level, "OSC 2 level" }, { 106, ModDestination::cutoff, "Filter cutoff" },
    { 107, ModDestination::resonance, "Filter resonance" }, { 108, ModDestination::filterEnv, "Filter envelope" },
    { 109, ModDestination::drive, "Drive" }, { 110, ModDestination::subLevel, "Sub level" },
    { 111, ModDestination::noiseLevel, "Noise level" }, { 112, ModDestination::lfo1Rate, "LFO 1 rate" },
    { 113, ModDestination::lfo1Depth, "LFO 1 depth" }, { 114, ModDestination::output, "Output" },
    { 115, ModDestination::pdMorph, "PD morph" }, { 116, ModDestination::reeseBeat, "Reese beat" },
    { 117, ModDestination::reeseSpread, "Reese spread" }, { 118, ModDestination::phaseMix, "Phase mix" },
    { 119, ModDestination::phaseNotch, "Phase notch" }, { 120, ModDestination::feedback, "Feedback" },
} };

int sourceIndexForId (const juce::String& id)
{
    auto* entry = findSourceId (id);
    return entry != nullptr ? (int) entry->code : 0;
}

juce::Colour sourceColourForId (const juce::String& id)
{
    auto* entry = findSourceId (id);
    return pal::get (entry != nullptr ? entry->colourSlot : pal::accentPrimary);
}

int choiceIndexOf (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId)
{
    if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (parameterId)))
        return choice->getIndex();

    return -1;
}

void setChoiceIndex (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId, int index)
{
    quillon::ui::matrix::setChoiceIndex (state, parameterId, index);
}

bool assignSourceToDestination (juce::AudioProcessorValueTreeState& state, int source, int destination)
{
    if (source <= 0 || destination <= 0)
        return false;

    return quillon::ui::matrix::applyAssignmentRule (state, source, destination);
}

//==============================================================================
SourceChip::SourceChip (const juce::String& sourceId, const juce::String& displayName)
    : id (sourceId), name (displayName)
{
    setSize (156, 44);
    setWantsKeyboardFocus (true);
    setMouseCursor (juce::MouseCursor::DraggingHandCursor);
    setTitle (name);
    setHelpText ("Drag to a destination, or press Return to choose a modulation destination.");
}

SourceChip::~SourceChip() = default;

void SourceChip::setParameterState (juce::AudioProcessorValueTreeState* newState)
{
    state = newState;
}

void SourceChip::mouseEnter (const juce::MouseEvent&)
{
    hover = true;
    repaint();
}

void SourceChip::mouseExit (const juce::MouseEvent&)
{
    hover = false;
    pressed = false;
    repaint();
}

void SourceChip::mouseDown (const juce::MouseEvent&)
{
    grabKeyboardFocus();
    dragStarted = false;
    pressed = true;
    repaint();
}

void SourceChip::mouseDrag (const juce::MouseEvent&)
{
    auto* container = juce::DragAndDropContainer::findParentDragContainerFor (this);

    if (container == nullptr || container->isDragAndDropActive())
        return;

    dragStarted = true;
    container->startDragging (juce::var (id), this, juce::ScaledImage(), false);
}

void SourceChip::mouseUp (const juce::MouseEvent& e)
{
    if (! dragStarted && ! e.mouseWasDraggedSinceMouseDown())
        showAssignMenu();

    dragStarted = false;
    pressed = false;
    repaint();
}

bool SourceChip::keyPressed (const juce::KeyPress& key)
{
    if (key == juce::KeyPress::returnKey || key == juce::KeyPress::spaceKey)
    {
        showAssignMenu();
        return true;
    }

    return false;
}

juce::PopupMenu SourceChip::buildAssignMenu() const
{
    juce::PopupMenu menu;
    menu.addSectionHeader ("Assign " + name);

    for (auto& entry : assignMenuDestinations)
        menu.addItem (entry.itemId, entry.label);

    return menu;
}

void SourceChip::handleAssignMenuResult (int itemId)
{
    if (state == nullptr || itemId == 0)
        return;

    int destination = 0;
    for (auto& entry : assignMenuDestinations)
        if (entry.itemId == itemId)
            destination = (int) entry.destination;

    assignSourceToDestination (*state, sourceIndexForId (id), destination);
}

void SourceChip::showAssignMenu()
{
    if (state == nullptr)
        return;

    juce::WeakReference<SourceChip> weakThis (this);
    buildAssignMenu().showMenuAsync (juce::PopupMenu::Options().withTargetComponent (this),
                                     [weakThis] (int result)
                                     {
                                         if (auto* chip = weakThis.get())
                                             chip->handleAssignMenuResult (result);
                                     });
}

void SourceChip::paint (juce::Graphics& g)
{
    const auto bounds = getLocalBounds().toFloat();
    const float x = bounds.getX(), y = bounds.getY(), w = bounds.getWidth(), h = bounds.getHeight();
    const float cy = y + h / 2.0f;

    paintSurface (g, bounds, hover, pressed, false, hasKeyboardFocus (false), isEnabled(), statusChipVariant);

    const auto colour = getColour();
    // Below 100 px the name would get no room between the dot and the grip: both move to the edges.
    const bool small = w < 100.0f;
    const float dotX = small ? 6.0f : 8.0f, gripX = small ? w - 14.0f : w - 24.0f;
    const float nameX = small ? 20.0f : 26.0f, nameRight = small ? w - 18.0f : w - 32.0f;

    g.setColour (colour);
    g.fillEllipse (x + dotX, cy - 5.0f, 10.0f, 10.0f);

    g.setColour (hover || pressed ? colour : pal::get (pal::textSecondary));
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            g.fillEllipse (x + gripX + 5.0f * (float) j, cy - 4.0f + 5.0f * (float) i, 3.0f, 3.0f);

    g.setFont (getEditorFont (8));
    g.setColour (pal::get (pal::textPrimary));
    larkspur::widgets::drawFittedLine (g, name.toUpperCase(), juce::Rectangle<float> (x + nameX, y, juce::jmax (0.0f, nameRight - nameX), h), juce::Justification::centredLeft);
}

} // namespace quillon::ui::widgets
