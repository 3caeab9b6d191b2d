#include "FilterResponseStrip.h"
#include "plugin/ParameterIds.h"

#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"

#include <cmath>

namespace quillon::ui::widgets
{

namespace
{
const float logLow = std::log10 (20.0f);
const float logSpan = std::log10 (20000.0f) - std::log10 (20.0f);
constexpr int responsePoints = 96;

const char* const parameterIds[] = { ids::filterCutoff, ids::filterReso, ids::filterEnvAmount, ids::filterModel,
                                     ids::filterAttack, ids::filterDecay, ids::filterSustain, ids::filterRelease };
} // namespace

void FilterResponseStrip::ParamListener::parameterChanged (const juce::String&, float)
{
    // Any thread: only hop to the message thread; a strip deleted meanwhile is skipped.
    juce::MessageManager::callAsync ([target = strip]
    {
        if (auto* s = target.getComponent())
            s->refresh();
    });
}

FilterResponseStrip::FilterResponseStrip (juce::AudioProcessorValueTreeState& s)
    : state (s)
{
    cached.fill (-1.0f);
    listener = std::make_unique<ParamListener> (*this);

    for (int i = 0; i < numParameters; ++i)
        parameters[(size_t) i] = state.getParameter (parameterIds[i]);

    for (auto* id : parameterIds)
        state.addParameterListener (id, listener.get());

    setSize (580, 96);
    startTimerHz (15);
}

FilterResponseStrip::~FilterResponseStrip()
{
    for (auto* id : parameterIds)
        state.removeParameterListener (id, listener.get());
    stopTimer();
}

void FilterResponseStrip::setShowEnvelope (bool shouldShow)
{
    if (showEnvelope == shouldShow)
        return;

    showEnvelope = shouldShow;
    repaint();
}

float FilterResponseStrip::normalised (int index) const
{
    auto* p = parameters[(size_t) index];
    return p != nullptr ? p->getValue() : 0.0f;
}

float FilterResponseStrip::plainValue (int index) const
{
    auto* p = parameters[(size_t) index];
    return p != nullptr ? p->convertFrom0to1 (p->getValue()) : 0.0f;
}

float FilterResponseStrip::xForFrequency (float frequency) const
{
    const float t = juce::jlimit (0.0f, 1.0f, (std::log10 (juce::jmax (frequency, 1.0e-6f)) - logLow) / logSpan);
    return (float) plotArea.getX() + (float) plotArea.getWidth() * t;
}

float FilterResponseStrip::yForLevel (float decibels) const
{
    const float u = juce::jlimit (0.0f, 1.0f, (decibels + 36.0f) / 48.0f);
    return (float) plotArea.getBottom() - (float) plotArea.getHeight() * u;
}

float FilterResponseStrip::responseMagnitude (float f, float cutoffHz, float r, int filterModel)
{
    const float q = f / juce::jmax (cutoffHz, 1.0f);
    const auto model = static_cast<FilterModel> (filterModel);

    if (model == FilterModel::phase)
    {
        float m = 1.0f;

        for (float centre : { 0.5f, 1.0f, 2.0f })
        {
            const float l = std::log (juce::jmax (q / centre, 0.0001f));
            const float g = std::exp (-l * l * (3.5f + 6.5f * r));
            m *= 1.0f - g * (0.25f + 0.65f * r);
        }

        return m;
    }

    const float l = std::log (juce::jmax (q, 0.0001f));
    const float bump = std::exp (-6.0f * l * l);
    const float k = model == FilterModel::diode ? 5.0f : (model == FilterModel::state ? 3.25f : 4.0f);
    return 1.0f / std::sqrt (1.0f + std::pow (q, 8.0f)) + bump * r * k;
}

juce::Path FilterResponseStrip::buildResponse (float cutoffHz, float resonance, int filterModel) const
{
    juce::Path p;

    if (plotArea.isEmpty())
        return p;

    for (int i = 0; i < responsePoints; ++i)
    {
        const float f = std::pow (10.0f, logLow + (float) i / (float) (responsePoints - 1) * logSpan);
        const float m = responseMagnitude (f, cutoffHz, resonance, filterModel);
        const juce::Point<float> point (xForFrequency (f), yForLevel (20.0f * std::log10 (juce::jmax (m, 0.0001f))));

        if (i == 0)
            p.startNewSubPath (point);
        else
            p.lineTo (point);
    }

    return p;
}

void FilterResponseStrip::refresh()
{
    std::array<float, numParameters> now;
    for (int i = 0; i < numParameters; ++i)
        now[(size_t) i] = normalised (i);

    const auto moved = [&] (int i) { return std::abs (now[(size_t) i] - cached[(size_t) i]) >= 1.0e-5f; };
    const bool responseChanged = moved (cutoffIndex) || moved (resoIndex) || moved (amountIndex) || moved (modelIndex)
                                 || responsePath.isEmpty() || envelopePath.isEmpty();
    const bool envelopeChanged = moved (attackIndex) || moved (decayIndex) || moved (sustainIndex) || moved (releaseIndex);

    if (! responseChanged && ! envelopeChanged)
        return;

    cached = now;

    if (! plotArea.isEmpty() && responseChanged)
    {
        const float cutoffHz = plainValue (cutoffIndex);
        const float resonance = plainValue (resoIndex);
        const float amount = plainValue (amountIndex);
        const int filterModel = juce::roundToInt (plainValue (modelIndex));
        const float shifted = juce::jlimit (20.0f, 20000.0f, cutoffHz * std::pow (2.0f, amount / 12.0f));

        responsePath = buildResponse (cutoffHz, resonance, filterModel);
        envelopePath = buildResponse (shifted, resonance, filterModel);
    }

    repaint();
}

void FilterResponseStrip::resized()
{
    auto area = getLocalBounds().reduced (8);
    area.setWidth (juce::jmax (0, area.getWidth()));
    area.setHeight (juce::jmax (0, area.getHeight() - 16));
    plotArea = area;
    responsePath.clear();
    envelopePath.clear();
}

juce::Point<float> FilterResponseStrip::getCutoffHandle() const
{
    if (parameters[cutoffIndex] == nullptr || plotArea.isEmpty())
        return {};

    return { xForFrequency (plainValue (cutoffIndex)), (float) plotArea.getBottom() - (float) plotArea.getHeight() * normalised (resoIndex) };
}

std::array<juce::Point<float>, 4> FilterResponseStrip::getEnvelopePoints() const
{
    std::array<juce::Point<float>, 4> points {};

    if (plotArea.isEmpty())
        return points;

    const auto valueOr = [this] (int index, float fallback)
    {
        return parameters[(size_t) index] != nullptr ? normalised (index) : fallback;
    };

    const float a = valueOr (attackIndex, 0.1f), d = valueOr (decayIndex, 0.2f), s = valueOr (sustainIndex, 0.6f),
                r = valueOr (releaseIndex, 0.3f);
    const float total = a + d + 1.0f + r;
    const auto area = plotArea.toFloat();
    const float w = area.getWidth();

    points[0] = { area.getX() + a / total * w, area.getY() };
    points[1] = { points[0].x + d / total * w, area.getY() + area.getHeight() * (1.0f - s) };
    points[2] = { points[1].x + w / total, points[1].y };
    points[3] = { points[2].x + r / total * w, area.getBottom() };
    return points;
}

void FilterResponseStrip::paint (juce::Graphics& g)
{
    const auto bounds = getLocalBounds().toFloat();
    g.setColour (palette::get (palette::bgPanel));
    g.fillRoundedRectangle (bounds, 4.0f);
    g.setColour (palette::get (palette::borderHair));
    g.drawRoundedRectangle (bounds.reduced (0.5f), 4.0f, 1.0f);

    if (plotArea.isEmpty())
        return;

    const auto hair = palette::get (palette::borderHair);
    const auto area = plotArea.toFloat();

    {
        juce::Graphics::ScopedSaveState saved (g);
        g.reduceClipRegion (plotArea);

        g.setColour (hair.withAlpha (0.14f));
        for (float level : { -24.0f, -12.0f, 0.0f, 12.0f })
            g.fillRect (area.getX(), yForLevel (level), area.getWidth(), 1.0f);

        for (float decade = 10.0f; decade <= 10000.0f; decade *= 10.0f)
        {
            for (int i = 1; i <= 9; ++i)
            {
                const float f = decade * (float) i;

                if (f < 20.0f - 0.01f || f > 20000.0f + 0.01f)
                    continue;

                const bool edge = std::abs (f - 20.0f) < 0.01f || std::abs (f - 20000.0f) < 0.01f;
                const float alpha = (i == 1 || edge) ? 0.28f : ((i == 2 || i == 5) ? 0.18f : 0.10f);
                g.setColour (hair.withAlpha (alpha));
                g.fillRect (std::round (xForFrequency (f)), area.getY(), 1.0f, area.getHeight());
            }
        }
    }

    // The frequency labels sit in a 12 px band under the plot.
    g.setFont (getEditorFont (6));
    g.setColour (palette::get (palette::textTertiary));
    const int labelTop = plotArea.getBottom() + 2;
    const struct { float hz; const char* text; } labels[] = { { 20, "20" }, { 100, "100" }, { 1000, "1k" },
                                                             { 10000, "10k" }, { 20000, "20k" } };

    // On a narrow plot neighbouring labels would print over each other: an inner label that would
    // touch its left neighbour or the "20k" at the end is left out; the two ends are always drawn.
    float lastRight = -1.0e6f;
    const auto labelFont = g.getCurrentFont();
    const float endLeft = xForFrequency (20000.0f) - labelFont.getStringWidthFloat ("20k");

    for (const auto& label : labels)
    {
        const int x = juce::roundToInt (xForFrequency (label.hz));
        const auto justification = label.hz == 20.0f      ? juce::Justification::centredLeft
                                   : label.hz == 20000.0f ? juce::Justification::centredRight
                                                          : juce::Justification::centred;
        const int cellX = label.hz == 20.0f ? x : (label.hz == 20000.0f ? x - 32 : x - 16);
        const float textWidth = labelFont.getStringWidthFloat (label.text);
        const float textLeft = label.hz == 20.0f      ? (float) cellX
                               : label.hz == 20000.0f ? (float) cellX + 32.0f - textWidth
                                                      : (float) cellX + 16.0f - textWidth / 2.0f;

        const bool end = label.hz == 20000.0f;
        if (! end && (textLeft < lastRight + 2.0f || (label.hz > 20.0f && textLeft + textWidth > endLeft - 2.0f)))
            continue;

        g.drawText (label.text, cellX, labelTop, 32, 12, justification, false);
        lastRight = textLeft + textWidth;
    }

    if (showEnvelope && std::abs (plainValue (amountIndex)) > 0.01f)
    {
        g.setColour (palette::get (palette::accentModRing).withAlpha (0.45f));
        g.strokePath (envelopePath, juce::PathStrokeType (1.0f));
    }

    g.setColour (palette::get (palette::accentPrimary));
    g.strokePath (responsePath, juce::PathStrokeType (1.5f));

    if (showEnvelope)
    {
        const auto points = getEnvelopePoints();
        juce::Path shape;
        shape.startNewSubPath (area.getX(), area.getBottom());
        for (auto p : points)
            shape.lineTo (p);

        juce::Path dashed;
        const float dashes[] = { 4.0f, 3.0f };
        juce::PathStrokeType (1.0f).createDashedStroke (dashed, shape, dashes, 2);
        g.setColour (palette::get (palette::accentModRing).withAlpha (0.85f));
        g.fillPath (dashed);

        g.setColour (palette::get (palette::accentModRing));
        for (auto p : points)
            g.fillEllipse (p.x - 4.0f, p.y - 4.0f, 8.0f, 8.0f);
    }

    const auto handle = getCutoffHandle();
    const juce::Rectangle<float> knob (handle.x - 6.0f, handle.y - 6.0f, 12.0f, 12.0f);
    g.setColour (palette::get (palette::accentPrimary));
    g.fillEllipse (knob);
    g.setColour (palette::get (palette::bgSurface));
    g.drawEllipse (knob, 2.0f);
}

void FilterResponseStrip::mouseDown (const juce::MouseEvent& e)
{
    dragTarget = 0;
    dragStart = e.getPosition();

    if (parameters[cutoffIndex] != nullptr && ! plotArea.isEmpty() && e.position.getDistanceFrom (getCutoffHandle()) <= 8.0f)
    {
        dragTarget = 1;
        gestures.begin ({ parameters[cutoffIndex], parameters[resoIndex] });
        return;
    }

    if (! showEnvelope)
        return;

    const auto points = getEnvelopePoints();
    float nearest = 12.0f;

    for (int i = 0; i < 4; ++i)
    {
        const float distance = e.position.getDistanceFrom (points[(size_t) i]);

        // Strictly nearer only: on equal distances the earlier point keeps the press.
        if (distance <= 12.0f && (dragTarget == 0 || distance < nearest))
        {
            dragTarget = i + 2;
            nearest = distance;
        }
    }

    if (dragTarget >= 2)
    {
        dragStartValue = normalised (attackIndex + dragTarget - 2);
        gestures.begin ({ parameters[(size_t) (attackIndex + dragTarget - 2)] });
    }
}

void FilterResponseStrip::mouseDrag (const juce::MouseEvent& e)
{
    if (dragTarget == 1)
    {
        const float width = plotArea.getWidth() < 2 ? 1.0f : (float) plotArea.getWidth();
        const float t = juce::jlimit (0.0f, 1.0f, (e.position.x - (float) plotArea.getX()) / width);
        auto* cutoffParameter = parameters[cutoffIndex];
        const auto& range = cutoffParameter->getNormalisableRange();
        const float f = juce::jlimit (range.start, range.end, std::pow (10.0f, logLow + t * logSpan));
        cutoffParameter->setValueNotifyingHost (range.convertTo0to1 (f));

        if (auto* resonance = parameters[resoIndex])
        {
            const float height = juce::jmax (1.0f, (float) plotArea.getHeight());
            resonance->setValueNotifyingHost (
                juce::jlimit (0.0f, 1.0f, 1.0f - (e.position.y - (float) plotArea.getY()) / height));
        }
        return;
    }

    if (dragTarget >= 2 && dragTarget <= 5)
        if (auto* p = parameters[(size_t) (attackIndex + dragTarget - 2)])
            p->setValueNotifyingHost (juce::jlimit (0.0f, 1.0f, dragStartValue + ((float) dragStart.y - e.position.y) / 200.0f));
}

void FilterResponseStrip::mouseUp (const juce::MouseEvent&)
{
    gestures.endAll();
    dragTarget = 0;
}

//==============================================================================
EnableDot::EnableDot (juce::AudioProcessorValueTreeState& state, const juce::String& parameterId,
                      const juce::String& accessibleTitle, const juce::String& helpText, int refreshHz)
    : parameter (dynamic_cast<juce::AudioParameterBool*> (state.getParameter (parameterId)))
{
    setWantsKeyboardFocus (true);
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    setTitle (accessibleTitle);
    setHelpText (helpText);
    startTimerHz (refreshHz);
}

EnableDot::~EnableDot()
{
    stopTimer();
}

bool EnableDot::isOn() const
{
    return parameter == nullptr || static_cast<juce::AudioProcessorParameter*> (parameter)->getValue() >= 0.5f;
}

void EnableDot::paint (juce::Graphics& g)
{
    const bool on = isOn();
    const auto centre = getLocalBounds().toFloat().getCentre();
    const auto dot = juce::Rectangle<float> (13.0f, 13.0f).withCentre (centre);
    const auto halo = dot.expanded (4.0f);
    const auto accent = palette::get (palette::accentPrimary);

    g.setColour (on ? accent.withAlpha (0.18f) : palette::get (palette::bgSurface2));
    g.fillEllipse (halo);
    g.setColour (on ? accent : palette::get (palette::textDisabled));
    g.fillEllipse (dot);
    g.setColour (on ? accent : palette::get (palette::borderHair));
    g.drawEllipse (halo, 1.0f);
}

void EnableDot::toggle()
{
    if (parameter == nullptr)
        return;

    parameter->beginChangeGesture();
    parameter->setValueNotifyingHost (isOn() ? 0.0f : 1.0f);
    parameter->endChangeGesture();
    repaint();
}

void EnableDot::mouseDown (const juce::MouseEvent&)
{
    toggle();
}

bool EnableDot::keyPressed (const juce::KeyPress& key)
{
    if (key.getModifiers().isAnyModifierKeyDown())
        return false;

    if (key.getKeyCode() == juce::KeyPress::spaceKey || key.getKeyCode() == juce::KeyPress::returnKey)
    {
        toggle();
        return true;
    }

    return false;
}

void EnableDot::timerCallback()
{
    const bool on = isOn();

    if (on != lastOn)
    {
        lastOn = on;
        repaint();
    }
}

} // namespace quillon::ui::widgets
