#pragma once

// The editor's layout in design units, shared by the files that make up the editor.

#include <juce_graphics/juce_graphics.h>

#include <cmath>

namespace quillon::ui::editorLayout
{
inline const juce::Rectangle<int> headerBounds { 24, 24, 1284, 96 };
inline const juce::Rectangle<int> footerBounds { 24, 780, 1284, 96 };
inline const juce::Rectangle<int> canvasBounds { 24, 132, 1284, 636 };
inline const juce::Rectangle<int> browserBounds { 24, 0, 1284, 900 };
inline const juce::Rectangle<int> settingsBounds { 888, 132, 420, 636 };
inline const juce::Rectangle<int> matrixBounds { 24, 308, 1284, 460 };
inline const juce::Rectangle<int> gridBounds { 24, 24, 1284, 852 };

inline bool nearlyEqual (float a, float b) { return std::abs (a - b) < 1.0e-4f; }
} // namespace quillon::ui::editorLayout
