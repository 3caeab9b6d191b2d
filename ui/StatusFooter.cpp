#include "StatusFooter.h"

#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"
#include "widgets/WidgetTheme.h"

#include <cmath>
#include <limits>

namespace quillon::ui::widgets
{
namespace
{
    namespace pal = quillon::palette;

    bool sameDouble (double a, double b)
    {
        if (! std::isfinite (a) || ! std::isfinite (b))
            return a == b;
        const auto diff = std::abs (a - b);
        return diff <= std::numeric_limits<double>::min()
               || diff <= std::numeric_limits<double>::epsilon() * std::max (std::abs (a), std::abs (b));
    }

    // Style 7 of the editor type table: the wide bold face at 9 px, tracked.
    juce::Font smallCapsFont() { return getEditorFont (7); }

    // Style 2: the semi-bold face at 13 px, lightly tracked.
    juce::Font valueFont() { return getEditorFont (2); }

    void drawSectionLabel (juce::Graphics& g, juce::Rectangle<int> section, const juce::String& text,
                           juce::Justification justification)
    {
        g.setFont (smallCapsFont());
        g.setColour (pal::get (pal::textTertiary));
        const auto band = juce::Rectangle<int> (section.getX(), section.getY() + 8, section.getWidth(),
                                                juce::jmax (0, juce::jmin (section.getHeight() - 8, 22)));
        larkspur::widgets::drawFittedLine (g, text.toUpperCase(), band.toFloat(), justification);
    }

    void drawValueBox (juce::Graphics& g, juce::Rectangle<int> section, const juce::String& text, juce::Colour colour,
                       juce::Justification justification)
    {
        const auto box = juce::Rectangle<int> (section.getX(), section.getY() + 30, section.getWidth(),
                                               juce::jlimit (0, 44, section.getHeight() - 30)).toFloat();
        g.setColour (pal::get (pal::bgSurface).withAlpha (0.72f));
        g.fillRoundedRectangle (box, 2.0f);
        g.setColour (pal::get (pal::borderHair));
        g.drawRoundedRectangle (box.getX() + 0.5f, box.getY() + 0.5f, juce::jmax (0.0f, box.getWidth() - 1.0f),
                                juce::jmax (0.0f, box.getHeight() - 1.0f), 2.0f, 1.0f);

        g.setFont (valueFont());
        g.setColour (colour);
        larkspur::widgets::drawFittedLine (g, text.toUpperCase(), box.toNearestInt().reduced (8, 0).toFloat(), justification);
    }
} // namespace

StatusFooter::FooterButton::FooterButton (const juce::String& name)
    : juce::Button (name)
{
    setWantsKeyboardFocus (true);
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    setClickingTogglesState (false);
}

void StatusFooter::FooterButton::paintButton (juce::Graphics& g, bool highlighted, bool down)
{
    const bool on = getToggleState();
    paintSurface (g, getLocalBounds().toFloat(), highlighted, down, on, hasKeyboardFocus (false), isEnabled(),
                  SurfaceVariant::statusChip);
    g.setFont (smallCapsFont());
    g.setColour (pal::get (on ? pal::accentPrimaryText : pal::textSecondary));
    larkspur::widgets::drawFittedLine (g, getButtonText().toUpperCase(), getLocalBounds().toFloat(), juce::Justification::centred);
}

StatusFooter::StatusFooter (juce::AudioProcessorValueTreeState&)
{
    matrixButton.onClick = [this]
    {
        matrixOpen = ! matrixOpen;
        matrixButton.setToggleState (matrixOpen, juce::dontSendNotification);
        repaint();
        if (onToggleMatrix)
            onToggleMatrix();
    };
    addAndMakeVisible (matrixButton);
}

void StatusFooter::setCpuLoad (float percent)
{
    if (larkspur::widgets::nearlyEqual (cpuLoad, percent))
        return;
    cpuLoad = percent;
    repaint();
}

void StatusFooter::setMatrixOpen (bool open)
{
    matrixButton.setToggleState (open, juce::dontSendNotification);
    if (matrixOpen == open)
        return;
    matrixOpen = open;
    repaint();
}

void StatusFooter::setRoutingSummary (const juce::String& summary)
{
    if (routingSummary == summary)
        return;
    routingSummary = summary;
    repaint();
}

void StatusFooter::setSampleRate (double hz)
{
    if (sameDouble (sampleRate, hz))
        return;
    sampleRate = hz;
    repaint();
}

void StatusFooter::setVoiceCount (int count)
{
    if (voiceCount == count)
        return;
    voiceCount = count;
    repaint();
}

juce::String StatusFooter::sampleRateText (double hz)
{
    const auto khz = hz / 1000.0;
    const auto whole = std::round (khz);
    if (std::abs (khz - whole) <= std::numeric_limits<double>::epsilon() * std::abs (khz))
        return juce::String ((juce::int64) whole) + " kHz";
    return juce::String (khz, 1) + " kHz";
}

juce::String StatusFooter::cpuText (float percent)
{
    return "CPU " + juce::String (percent, 1) + "%";
}

void StatusFooter::resized()
{
    const auto b = getLocalBounds();
    matrixButton.setBounds (b.getX() + 54, b.getY() + 30, 96, 44);
}

void StatusFooter::paint (juce::Graphics& g)
{
    const auto b = getLocalBounds();
    const int x = b.getX(), y = b.getY();
    const juce::Rectangle<int> a (x, y, 204, 96), routing (x + 216, y, 420, 96), voice (x + 648, y, 312, 96),
        system (x + 972, y, 204, 96), status (x + 1188, y, 96, 96);

    g.setColour (pal::get (pal::borderHair));
    g.fillRect (x, y, b.getWidth(), 1);

    drawSectionLabel (g, a, "MOD MATRIX", juce::Justification::centredLeft);
    drawSectionLabel (g, routing, "ROUTING", juce::Justification::centredLeft);
    drawValueBox (g, routing, routingSummary, pal::get (pal::textSecondary), juce::Justification::centredLeft);

    drawSectionLabel (g, voice, "VOICE", juce::Justification::centredLeft);
    drawValueBox (g, voice, juce::String (voiceCount), pal::get (voiceCount >= 1 ? pal::accentLive : pal::textDisabled),
                  juce::Justification::centredLeft);

    drawSectionLabel (g, system, "SYSTEM", juce::Justification::centredRight);
    drawValueBox (g, system, cpuText (cpuLoad), pal::get (cpuLoad >= 20.0f ? pal::semanticWarn : pal::textSecondary),
                  juce::Justification::centredRight);
    g.setFont (smallCapsFont());
    g.setColour (pal::get (pal::textTertiary));
    larkspur::widgets::drawFittedLine (g, sampleRateText (sampleRate).toUpperCase(), juce::Rectangle<int> (x + 972, y + 74, 204, 22).toFloat(), juce::Justification::centredRight);

    drawSectionLabel (g, status, "STATUS", juce::Justification::centredRight);
    drawValueBox (g, status, "READY", pal::get (pal::textTertiary), juce::Justification::centredRight);
}

} // namespace quillon::ui::widgets
