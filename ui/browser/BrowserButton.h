#pragma once

// The browser's SORT, LOAD and favourite buttons.

#include "ui/browser/BrowseView.h"
#include "ui/browser/BrowserDrawing.h"

#include <cmath>

namespace quillon::ui::views
{

class BrowserButton : public juce::Button
{
public:
    enum Kind { sort = 0, load = 1, favourite = 2 };

    BrowserButton (int k, const juce::String& label)
        : juce::Button (k == favourite ? juce::String ("favourite") : label), kind (k)
    {
        setButtonText (label);
        setClickingTogglesState (kind == favourite);
        setWantsKeyboardFocus (true);
        setMouseCursor (juce::MouseCursor::PointingHandCursor);
        setTitle (kind == favourite ? juce::String ("Favourite preset") : label);
    }

    // Return works the button itself: LOAD loads, SORT and the star toggle. The arrows and Escape
    // belong to the browser.
    bool keyPressed (const juce::KeyPress& key) override
    {
        if (key.isKeyCode (juce::KeyPress::returnKey))
            return juce::Button::keyPressed (key) || ! key.getModifiers().isAnyModifierKeyDown();
        return isBrowserKey (key) ? false : juce::Button::keyPressed (key);
    }

    void paintButton (juce::Graphics& g, bool highlighted, bool down) override
    {
        const auto bounds = getLocalBounds().toFloat();
        const bool focused = hasKeyboardFocus (false);

        if (kind == sort)
        {
            paintSurface (g, bounds, highlighted, down, false, focused, isEnabled(), 0);
            const auto colour = ! isEnabled() ? colourOf (palette::textDisabled)
                                              : colourOf (highlighted ? palette::textPrimary : palette::textSecondary);
            // Kept clear of the outline, so a squeezed "SORT · RECENT" never touches it.
            drawText (g, 6, getButtonText().toUpperCase(), getLocalBounds().reduced (6, 0), colour,
                      juce::Justification::centred);
        }
        else if (kind == load)
        {
            auto fill = colourOf (palette::accentPrimary);
            if (down)
                fill = fill.darker (0.15f);
            else if (highlighted)
                fill = fill.brighter (0.05f);

            g.setColour (fill);
            g.fillRoundedRectangle (bounds, 2.0f);

            const juce::Rectangle<float> outline (bounds.getX() + 0.5f, bounds.getY() + 0.5f,
                                                  juce::jmax (0.0f, bounds.getWidth() - 1.0f),
                                                  juce::jmax (0.0f, bounds.getHeight() - 1.0f));
            g.setColour (colourOf (focused ? palette::borderFocus : palette::accentPrimary));
            g.drawRoundedRectangle (outline, 2.0f, focused ? 2.0f : 1.5f);

            drawText (g, 2, getButtonText().toUpperCase(), getLocalBounds(),
                      colourOf (isEnabled() ? palette::bgGround : palette::textDisabled), juce::Justification::centred);
        }
        else
        {
            const bool on = getToggleState();
            paintSurface (g, bounds, highlighted, down, on, focused, isEnabled(), 0);

            juce::Path star;
            const auto c = bounds.getCentre();
            for (int k = 0; k < 10; ++k)
            {
                const float radius = (k % 2 == 0) ? 10.0f : 4.0f;
                const float angle = (0.2f * (float) k - 0.5f) * juce::MathConstants<float>::pi;
                const juce::Point<float> p (c.x + radius * std::cos (angle), c.y + radius * std::sin (angle));
                if (k == 0)
                    star.startNewSubPath (p);
                else
                    star.lineTo (p);
            }
            star.closeSubPath();

            auto colour = on ? colourOf (palette::accentPrimary)
                             : colourOf (highlighted ? palette::textPrimary : palette::textSecondary);
            if (! isEnabled())
                colour = colourOf (palette::textDisabled);

            g.setColour (colour);
            if (on)
                g.fillPath (star);
            else
                g.strokePath (star, juce::PathStrokeType (1.0f));
        }
    }

private:
    int kind;
};

} // namespace quillon::ui::views
