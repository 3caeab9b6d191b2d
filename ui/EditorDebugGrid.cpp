// The layout debug grid, switched on by QUILLON_DEBUG_GRID or Ctrl+Shift+G.

#include "ui/Editor.h"

#include "plugin/Palette.h"
#include "plugin/SafeInput.h"
#include "ui/EditorLayout.h"

#include <cstdlib>

namespace quillon::ui
{

using namespace editorLayout;

bool readEnvFlag (const char* variableName)
{
    const auto* raw = std::getenv (variableName);
    // JUCE's String overflows its heap block on bytes that are not UTF-8.
    if (raw == nullptr || ! input::isValidUtf8 (raw))
        return false;

    const auto value = juce::String::fromUTF8 (raw).trim();
    for (const auto* accepted : { "1", "true", "yes", "on" })
        if (value.equalsIgnoreCase (accepted))
            return true;
    return false;
}

void Editor::paintDebugGrid (juce::Graphics& g)
{
    juce::Graphics::ScopedSaveState saved (g);
    g.addTransform (juce::AffineTransform::scale (displayScale));

    const auto a = palette::get (palette::debugGridModule).withMultipliedAlpha (0.54f);
    const auto b = palette::get (palette::debugGridCell).withMultipliedAlpha (0.36f);
    const auto c = palette::get (palette::debugGridFill).withMultipliedAlpha (0.12f);
    const auto d = palette::get (palette::debugGridLabel).withMultipliedAlpha (0.72f);

    g.setColour (c);
    g.fillRect (gridBounds);

    g.setFont (juce::Font (10.0f));

    for (int r = 0; r < 8; ++r)
    {
        const int y = 24 + 108 * r;

        for (int k = 0; k < 12; ++k)
        {
            const int x = 24 + 108 * k;

            g.setColour (b);
            for (int i = 0; i < 2; ++i)
                for (int j = 0; j < 2; ++j)
                    g.drawRect (x + 52 * i, y + 52 * j, 44, 44, 1);

            g.setColour (a);
            g.drawRect (x, y, 96, 96, 2);

            if (r == 0)
            {
                g.setColour (d);
                g.drawText (juce::String (k + 1), x, y, 96, 22, juce::Justification::centred, false);
            }
        }
    }

    g.setColour (palette::get (palette::debugGridModule).withAlpha (0.7f));
    g.drawRect (gridBounds, 2);
}

} // namespace quillon::ui
