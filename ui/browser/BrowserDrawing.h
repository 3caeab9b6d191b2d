#pragma once

// What the browser's parts share: palette colours, row metrics, its keys and its text drawing.

#include "ui/browser/BrowseView.h"

#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"

namespace quillon::ui::views
{

using quillon::presets::Entry;

inline juce::Colour colourOf (int slot) { return palette::get (slot); }

inline constexpr int rowPitch = 96;
inline constexpr int listTop = 84;
inline constexpr int sidebarRowPitch = 44;
inline constexpr int listBottomMargin = 44;
// One notch of a mouse wheel (50/256 in JUCE's units) scrolls about half a row.
inline constexpr float pixelsPerWheelUnit = 256.0f;

// The browser's own keys. Escape closes with any modifier; the others only when pressed alone.
inline bool isBrowserKey (const juce::KeyPress& key)
{
    if (key.isKeyCode (juce::KeyPress::escapeKey))
        return true;

    const auto mods = key.getModifiers();
    if (mods.isShiftDown() || mods.isCtrlDown() || mods.isAltDown())
        return false;

    return key.isKeyCode (juce::KeyPress::upKey) || key.isKeyCode (juce::KeyPress::downKey)
        || key.isKeyCode (juce::KeyPress::returnKey);
}

inline void drawText (juce::Graphics& g, int style, const juce::String& text, juce::Rectangle<int> area,
               juce::Colour colour, juce::Justification justification)
{
    g.setColour (colour);
    drawTextWithSymbols (g, text, getEditorFont (style), area.toFloat(), justification);
}

inline juce::String sortText (bool alphabetical)
{
    return juce::String::fromUTF8 (alphabetical ? "SORT \xc2\xb7 A\xe2\x86\x92Z" : "SORT \xc2\xb7 RECENT");
}

} // namespace quillon::ui::views
