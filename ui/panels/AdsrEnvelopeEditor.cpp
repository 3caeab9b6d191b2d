#include "AdsrEnvelopeEditor.h"

#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"

namespace quillon::ui::widgets
{

namespace
{
constexpr float defaultShownValues[4] = { 0.1f, 0.1f, 0.7f, 0.2f };
constexpr float handleHitRadius = 12.0f;
} // namespace

AdsrRow::AdsrRow (juce::AudioProcessorValueTreeState& state, const juce::String& attackId,
                  const juce::String& decayId, const juce::String& sustainId, const juce::String& releaseId)
{
    const juce::String ids[4] = { attackId, decayId, sustainId, releaseId };
    std::vector<juce::Component*> rowKnobs;

    for (size_t i = 0; i < 4; ++i)
    {
        parameters[i] = state.getParameter (ids[i]);
        knobs[i] = std::make_unique<larkspur::widgets::Knob> (0, false, false);
        knobs[i]->setLabelText (labels[i]);

        if (parameters[i] != nullptr)
            attachments[i] = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, ids[i], *knobs[i]);

        rowKnobs.push_back (knobs[i].get());
    }

    knobRow = std::make_unique<larkspur::widgets::KnobRow> (0);
    knobRow->setGap (1);
    knobRow->setKnobs (rowKnobs);
    addAndMakeVisible (*knobRow);

    setSize (280, 141);
    startTimerHz (20);
}

AdsrRow::~AdsrRow()
{
    stopTimer();
}

void AdsrRow::setGraphOnly (bool shouldBeGraphOnly)
{
    if (graphOnly == shouldBeGraphOnly)
        return;

    graphOnly = shouldBeGraphOnly;
    if (graphOnly)
        showGraph = true;

    resized();
    repaint();
}

void AdsrRow::setShowGraph (bool shouldShowGraph)
{
    if (showGraph == shouldShowGraph)
        return;

    showGraph = shouldShowGraph;
    if (! showGraph)
        graphOnly = false;

    resized();
    repaint();
}

void AdsrRow::setGraphHeightRange (int minimum, int maximum)
{
    minimumGraphHeight = juce::jmax (juce::jmin (minimum, maximum), 16);
    maximumGraphHeight = juce::jmax (minimumGraphHeight, maximum);
    resized();
    repaint();
}

void AdsrRow::setLabels (const juce::String& attack, const juce::String& decay, const juce::String& sustain,
                         const juce::String& release)
{
    labels = { attack, decay, sustain, release };

    for (size_t i = 0; i < 4; ++i)
        knobs[i]->setLabelText (labels[i]);

    repaint();
}

bool AdsrRow::graphFillsRow() const
{
    return showGraph && getHeight() >= minimumGraphHeight + 120;
}

juce::Rectangle<float> AdsrRow::getGraphArea() const
{
    const int w = getWidth(), h = getHeight();
    const int left = 8, width = juce::jmax (w - 16, 0);

    if (graphOnly)
        return juce::Rectangle<int> (left, 8, width, juce::jmax (h - 16, 0)).toFloat();

    if (h < 44)
        return juce::Rectangle<int> (left, 4, width, juce::jmax (h - 8, 0)).toFloat();

    if (graphFillsRow())
    {
        const int height = juce::jlimit (minimumGraphHeight, maximumGraphHeight, juce::jmax (h - 16, 0) - 104);
        return juce::Rectangle<int> (left, 8, width, height).toFloat();
    }

    return {};
}

float AdsrRow::shownValue (int index) const
{
    const auto v = shownValues[(size_t) index];
    return v < 0.0f ? defaultShownValues[index] : v;
}

std::array<juce::Point<float>, 4> AdsrRow::getHandlePositions() const
{
    std::array<juce::Point<float>, 4> points {};
    const auto area = getGraphArea();

    if (area.getWidth() <= 0.0f || area.getHeight() <= 0.0f)
        return points;

    const float a = shownValue (0), d = shownValue (1), s = shownValue (2), r = shownValue (3);
    const float total = a + d + 1.0f + r;
    const float gx = area.getX(), gy = area.getY(), gw = area.getWidth(), gh = area.getHeight();

    points[0] = { gx + gw * a / total, gy };
    points[1] = { points[0].x + gw * d / total, gy + (1.0f - s) * gh };
    points[2] = { points[1].x + gw / total, points[1].y };
    points[3] = { points[2].x + gw * r / total, gy + gh };
    return points;
}

void AdsrRow::resized()
{
    const int w = getWidth(), h = getHeight();

    if (graphOnly || h < 44)
    {
        knobRow->setVisible (false);
        return;
    }

    knobRow->setVisible (true);
    int top = 0;

    if (graphFillsRow())
    {
        top = 8 + (int) getGraphArea().getHeight() + 8;
        knobRow->setGap (6);
    }
    else
    {
        knobRow->setGap (1);
    }

    knobRow->setBounds (8, top, juce::jmax (w - 16, 0), juce::jmax (0, juce::jmin (h - top, 96)));
}

void AdsrRow::paint (juce::Graphics& g)
{
    const auto bounds = getLocalBounds().toFloat();

    if (graphOnly || showGraph)
    {
        g.setColour (palette::get (palette::bgPanel));
        g.fillRoundedRectangle (bounds, 4.0f);
        g.setColour (palette::get (palette::borderHair));
        g.drawRoundedRectangle (bounds.reduced (0.5f), 4.0f, 1.0f);
    }

    const auto area = getGraphArea();

    if (area.getWidth() <= 0.0f || area.getHeight() <= 0.0f)
        return;

    const auto handles = getHandlePositions();
    juce::Path shape;
    shape.startNewSubPath (area.getX(), area.getBottom());

    for (auto p : handles)
        shape.lineTo (p);

    g.setColour (palette::get (palette::accentPrimary));
    g.strokePath (shape, juce::PathStrokeType (1.5f));

    g.setColour (palette::get (palette::accentModRing));
    for (auto p : handles)
        g.fillEllipse (p.x - 4.0f, p.y - 4.0f, 8.0f, 8.0f);
}

void AdsrRow::mouseDown (const juce::MouseEvent& e)
{
    const auto handles = getHandlePositions();
    const auto press = e.position;
    int nearest = 0;
    float nearestDistance = handleHitRadius;

    for (int i = 0; i < 4; ++i)
    {
        const auto distance = press.getDistanceFrom (handles[(size_t) i]);

        // A later handle wins a tie: handles collapse onto each other when values are 0.
        if (distance <= nearestDistance)
        {
            nearest = i + 1;
            nearestDistance = distance;
        }
    }

    if (nearest == 0)
        return;

    dragHandle = nearest;
    dragStartX = press.x;
    dragStartY = press.y;

    for (size_t i = 0; i < 4; ++i)
    {
        if (shownValues[i] >= 0.0f)
            dragStartValues[i] = shownValues[i];
        else
            dragStartValues[i] = parameters[i] != nullptr ? parameters[i]->getValue() : 0.0f;
    }

    // The decay handle moves decay and sustain at once.
    if (dragHandle == 2)
        gestures.begin ({ parameters[1], parameters[2] });
    else
        gestures.begin ({ parameters[(size_t) (dragHandle == 1 ? 0 : dragHandle == 3 ? 2 : 3)] });
}

void AdsrRow::mouseDrag (const juce::MouseEvent& e)
{
    const auto area = getGraphArea();

    if (dragHandle == 0 || area.getWidth() <= 0.0f || area.getHeight() <= 0.0f)
        return;

    const float dx = (e.position.x - dragStartX) / juce::jmax (area.getWidth(), 1.0f);
    const float dy = (dragStartY - e.position.y) / juce::jmax (area.getHeight(), 1.0f);

    const auto write = [this] (size_t index, float value)
    {
        if (auto* p = parameters[index])
            p->setValueNotifyingHost (juce::jlimit (0.0f, 1.0f, value));
    };

    switch (dragHandle)
    {
        case 1: write (0, dragStartValues[0] + dx); break;
        case 2: write (1, dragStartValues[1] + dx); write (2, dragStartValues[2] + dy); break;
        case 3: write (2, dragStartValues[2] + dy); break;
        case 4: write (3, dragStartValues[3] + dx); break;
        default: break;
    }
}

void AdsrRow::mouseUp (const juce::MouseEvent&)
{
    gestures.endAll();
    dragHandle = 0;
}

void AdsrRow::timerCallback()
{
    bool changed = false;

    for (size_t i = 0; i < 4; ++i)
    {
        const float value = parameters[i] != nullptr ? parameters[i]->getValue() : 0.0f;

        if (std::abs (value - shownValues[i]) > 0.00001f)
        {
            shownValues[i] = value;
            changed = true;
        }
    }

    if (! changed)
        return;

    // A graph-only row may be taller than its height range: the whole row is graph then.
    if (graphOnly)
        repaint();
    else
        repaint (0, 0, getWidth(), maximumGraphHeight + 8);
}

//==============================================================================
AdsrEnvelopeEditor::AdsrEnvelopeEditor (juce::AudioProcessorValueTreeState& state, const juce::String& attackId,
                                        const juce::String& decayId, const juce::String& sustainId,
                                        const juce::String& releaseId)
{
    graphRow = std::make_unique<AdsrRow> (state, attackId, decayId, sustainId, releaseId);
    graphRow->setGraphOnly (true);
    graphRow->setGraphHeightRange (44, 204);
    addAndMakeVisible (*graphRow);

    // The second row attaches the same parameters again; only its knobs are visible.
    knobRow = std::make_unique<AdsrRow> (state, attackId, decayId, sustainId, releaseId);
    knobRow->setShowGraph (false);
    knobRow->setLabels ("A", "D", "S", "R");
    addAndMakeVisible (*knobRow);

    accessoryGap = 8;
    setDefaultAdsrFormatters();
}

AdsrEnvelopeEditor::~AdsrEnvelopeEditor()
{
    if (accessory != nullptr)
        removeChildComponent (accessory);

    knobRow.reset();
    graphRow.reset();
}

void AdsrEnvelopeEditor::setGraphHeightRange (int minimum, int maximum)
{
    graphRow->setGraphHeightRange (minimum, maximum);
}

void AdsrEnvelopeEditor::setRowLabels (const juce::String& attack, const juce::String& decay,
                                       const juce::String& sustain, const juce::String& release)
{
    knobRow->setLabels (attack, decay, sustain, release);
}

void AdsrEnvelopeEditor::setAccessory (juce::Component* newAccessory)
{
    if (newAccessory == accessory)
        return;

    if (accessory != nullptr)
        removeChildComponent (accessory);

    accessory = newAccessory;

    if (accessory != nullptr)
        addAndMakeVisible (accessory);

    resized();
}

void AdsrEnvelopeEditor::setAccessoryGap (int gap)
{
    accessoryGap = juce::jmax (gap, 0);
    resized();
}

void AdsrEnvelopeEditor::setDefaultAdsrFormatters()
{
    const auto time = [] (double seconds) { return formatTime (seconds, 1, 0, {}); };

    knobRow->getKnob (0).setValueFormatter (time);
    knobRow->getKnob (1).setValueFormatter (time);
    knobRow->getKnob (2).setValueFormatter ([] (double v) { return juce::String (juce::roundToInt (v * 100.0)) + " %"; });
    knobRow->getKnob (3).setValueFormatter (time);
}

void AdsrEnvelopeEditor::resized()
{
    const auto bounds = getLocalBounds();
    const int x = bounds.getX(), y = bounds.getY(), w = bounds.getWidth(), h = bounds.getHeight();

    if (w <= 0 || h <= 0)
        return;

    const int graphHeight = juce::jmax (h - 96, 0);
    graphRow->setBounds (x, y, w, graphHeight);

    int top = y + graphHeight;
    if (graphHeight > 0)
        top += juce::jmin (h - graphHeight, 8);

    auto bottom = juce::Rectangle<int> (x, top, w, y + h - top);

    if (accessory != nullptr)
    {
        auto cell = bottom.removeFromLeft (juce::jmin (bottom.getWidth(), 44));
        accessory->setBounds (cell.withSizeKeepingCentre (juce::jmin (cell.getWidth(), 44),
                                                          juce::jmin (cell.getHeight(), 96)));
        bottom.removeFromLeft (juce::jmin (accessoryGap, bottom.getWidth()));
    }

    knobRow->setBounds (bottom);
}

} // namespace quillon::ui::widgets
