#include "SourceUtilityStrip.h"
#include "plugin/ParameterIds.h"

#include "plugin/PluginProcessor.h"
#include "ui/LookAndFeel.h"

namespace quillon::ui::widgets
{

namespace
{
juce::String levelText (double v, double silentAtOrBelow)
{
    if (v <= silentAtOrBelow)
        return juce::String (juce::CharPointer_UTF8 ("\xe2\x88\x92\xe2\x88\x9e dB"));
    return formatSignedNumber (v, 1, false, true, false) + " dB";
}

void writeChoiceIndex (juce::AudioProcessorValueTreeState& state, const juce::String& id, int index)
{
    auto* choice = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (id));

    if (choice == nullptr || choice->getIndex() == index)
        return;

    choice->beginChangeGesture();
    choice->setValueNotifyingHost (choice->convertTo0to1 ((float) index));
    choice->endChangeGesture();
}
} // namespace

SourceUtilityStrip::SourceUtilityStrip (QuillonAudioProcessor& processor)
    : state (processor.parameterState)
{
    using namespace larkspur::widgets;

    subFrame = std::make_unique<SectionFrame>();
    noiseFrame = std::make_unique<SectionFrame>();
    subTitle = std::make_unique<SectionTitle> ("SUB");
    noiseTitle = std::make_unique<SectionTitle> ("NOISE");
    for (juce::Component* c : { (juce::Component*) subFrame.get(), (juce::Component*) noiseFrame.get(),
                                (juce::Component*) subTitle.get(), (juce::Component*) noiseTitle.get() })
        addAndMakeVisible (c);

    subWave = std::make_unique<ChoiceDropdown> ("Sub wave");
    const char* const items[] = { "SINE", "SAW", "SQR", "PLS", "SPLS", "HALF", "RSAW", "RTRI", "RTRP", "PWM" };
    for (int i = 0; i < 10; ++i)
        subWave->addItem (items[i], i + 1);
    subWave->setJustification (juce::Justification::centredLeft);
    subWave->getComboBox().onChange = [this] { selectSubWave(); };
    subWaveBox = std::make_unique<FieldBox> ("WAVE");
    subWaveBox->setFlag (true);
    subWaveBox->setContent (subWave.get());
    addAndMakeVisible (*subWaveBox);

    if (auto* routing = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::subRouting)))
    {
        subRoute = std::make_unique<SegmentedControl> (*routing, juce::StringArray { "DRV", "CLN" });
        subRoute->setGap (1);
        subRoute->getCell (0)->setTooltip ("Before drive and filter.");
        subRoute->getCell (1)->setTooltip ("After drive and filter.");
        subRouteField = std::make_unique<SegmentField> ("ROUTE", *subRoute);
        subRouteField->setFlag (true);
        addAndMakeVisible (*subRouteField);
    }

    subLevel = std::make_unique<ValueChip> (state, ids::subLevel, "");
    subLevel->setValueFormatter ([] (double v) { return levelText (v, -120.0); });
    subLevel->setShowStepArrows (false);
    subLevel->setTooltip ("Sub oscillator level into the bass path.");
    subLevelBox = std::make_unique<FieldBox> ("LEVEL");
    subLevelBox->setFlag (true);
    subLevelBox->setContent (subLevel.get());
    addAndMakeVisible (*subLevelBox);

    subDriveSend = std::make_unique<ValueChip> (state, ids::subDriveSend, "");
    subDriveSend->setValueFormatter ([] (double v) { return juce::String (juce::roundToInt (v * 100.0)) + " %"; });
    subDriveSend->setShowStepArrows (false);
    subDriveSend->setTooltip ("Sub amount sent into drive; the remainder stays clean.");
    subDirtBox = std::make_unique<FieldBox> ("DIRT");
    subDirtBox->setFlag (true);
    subDirtBox->setContent (subDriveSend.get());
    addAndMakeVisible (*subDirtBox);

    if (auto* colour = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::noiseColour)))
    {
        noiseColour = std::make_unique<SegmentedControl> (*colour, juce::StringArray { "W", "P", "B" });
        noiseColour->setGap (1);
        const char* const tips[] = { "White noise.", "Pink noise.", "Brown noise." };
        for (int i = 0; i < noiseColour->getNumCells() && i < 3; ++i)
            noiseColour->getCell (i)->setTooltip (tips[i]);
        noiseColourField = std::make_unique<SegmentField> ("COLOUR", *noiseColour);
        noiseColourField->setFlag (true);
        addAndMakeVisible (*noiseColourField);
    }

    noiseRoute = std::make_unique<RouteSwitch> (state, ids::noiseRouting, RouteSwitch::blend,
                                                RouteOption { "PRE", "Noise before the filter." },
                                                RouteOption { "POST", "Noise after the filter." });
    noiseRouteBox = std::make_unique<FieldBox> ("ROUTE");
    noiseRouteBox->setFlag (true);
    noiseRouteBox->setContent (noiseRoute.get());
    addAndMakeVisible (*noiseRouteBox);

    noiseLevel = std::make_unique<ValueChip> (state, ids::noiseLevel, "");
    noiseLevel->setValueFormatter ([] (double v) { return levelText (v, -90.0); });
    noiseLevel->setShowStepArrows (false);
    noiseLevel->setTooltip ("Noise source level into the filter and amp envelope.");
    noiseLevelBox = std::make_unique<FieldBox> ("LEVEL");
    noiseLevelBox->setFlag (true);
    noiseLevelBox->setContent (noiseLevel.get());
    addAndMakeVisible (*noiseLevelBox);

    state.addParameterListener (ids::subMode, this);
    state.addParameterListener (ids::subWave, this);
    refreshSubWave();
}

SourceUtilityStrip::~SourceUtilityStrip()
{
    state.removeParameterListener (ids::subMode, this);
    state.removeParameterListener (ids::subWave, this);
}

void SourceUtilityStrip::parameterChanged (const juce::String& parameterId, float)
{
    if (parameterId != ids::subMode && parameterId != ids::subWave)
        return;

    juce::MessageManager::callAsync ([self = safeThis]
    {
        if (self != nullptr)
            self->refreshSubWave();
    });
}

void SourceUtilityStrip::refreshSubWave()
{
    auto* mode = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::subMode));
    auto* wave = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::subWave));
    const int itemId = (mode != nullptr && mode->getIndex() == 0) ? 1 : (wave != nullptr ? wave->getIndex() : 0) + 2;

    const bool wasUpdating = updatingWaveList;
    updatingWaveList = true;
    subWave->setSelectedId (itemId, juce::dontSendNotification);
    updatingWaveList = wasUpdating;
    repaint();
}

void SourceUtilityStrip::selectSubWave()
{
    const int itemId = subWave->getSelectedId();

    if (updatingWaveList || itemId < 1)
        return;

    if (itemId == 1)
    {
        writeChoiceIndex (state, ids::subMode, 0);
    }
    else
    {
        writeChoiceIndex (state, ids::subMode, 1);
        writeChoiceIndex (state, ids::subWave, itemId - 2);
    }

    refreshSubWave();
}

void SourceUtilityStrip::resized()
{
    if (getWidth() < 1 || getHeight() < 1)
        return;

    subFrame->setBounds (0, 0, 96, 312);
    noiseFrame->setBounds (108, 0, 96, 312);
    subTitle->setBounds (20, 8, 56, 22);
    noiseTitle->setBounds (128, 8, 56, 22);

    const auto placeColumn = [] (int x, std::initializer_list<juce::Component*> items)
    {
        int y = 38, remaining = 274;

        for (auto* item : items)
        {
            if (item == nullptr)
                continue;

            const int h = juce::jmin (52, remaining);
            item->setBounds (x, y, 80, h);
            const int step = juce::jmin (h + 8, remaining);
            y += step;
            remaining -= step;
        }
    };

    placeColumn (8, { subWaveBox.get(), subRouteField.get(), subLevelBox.get(), subDirtBox.get() });
    placeColumn (116, { noiseColourField.get(), noiseRouteBox.get(), noiseLevelBox.get() });
}

} // namespace quillon::ui::widgets
