#include "Palette.h"

#include <array>

namespace quillon::palette
{
namespace
{
    constexpr std::array<const char*, numSlots> slotNames {
        "bg.ground", "bg.surface", "bg.surface2", "bg.panel",
        "border.hair", "border.focus",
        "text.primary", "text.secondary", "text.tertiary", "text.disabled",
        "accent.primary", "accent.primaryText", "accent.hero", "accent.selection",
        "accent.modRing", "accent.ember", "accent.live",
        "overlay.hover", "overlay.selected", "overlay.pressed", "overlay.disabled",
        "semantic.warn", "semantic.error",
        "debugGrid.module", "debugGrid.cell", "debugGrid.fill", "debugGrid.label",
        "source.velocity", "source.key", "source.modwheel", "source.aftertouch",
        "source.lfo1", "source.dcw1", "source.dcw2",
        "control.fill", "control.fillActive", "control.border", "control.borderHover",
        "control.text", "control.value"
    };

    using Colours = std::array<juce::Colour, numSlots>;

    Colours makeDefaults()
    {
        Colours c;
        c[bgGround] = juce::Colour (11, 11, 10);
        c[bgSurface] = juce::Colour (19, 22, 23);
        c[bgSurface2] = juce::Colour (28, 33, 34);
        c[bgPanel] = juce::Colour (7, 8, 8);
        c[borderHair] = juce::Colour (85, 98, 102);
        c[borderFocus] = juce::Colour (215, 255, 55);
        c[textPrimary] = juce::Colour (242, 244, 232);
        c[textSecondary] = juce::Colour (197, 205, 211);
        c[textTertiary] = juce::Colour (151, 164, 173);
        c[textDisabled] = juce::Colour (88, 98, 100);
        c[accentPrimary] = juce::Colour (200, 245, 0);
        c[accentPrimaryText] = juce::Colour (237, 255, 119);
        c[accentHero] = juce::Colour (215, 255, 55);
        c[accentSelection] = juce::Colour (26, 39, 0);
        c[accentModRing] = juce::Colour (85, 185, 255);
        c[accentEmber] = juce::Colour (255, 122, 26);
        c[accentLive] = juce::Colour (255, 60, 119);
        c[overlayHover] = juce::Colour::fromFloatRGBA (1.0f, 1.0f, 1.0f, 0.07f);
        c[overlaySelected] = juce::Colour::fromFloatRGBA (0.78f, 0.96f, 0.0f, 0.12f);
        c[overlayPressed] = juce::Colour::fromFloatRGBA (0.0f, 0.0f, 0.0f, 0.24f);
        c[overlayDisabled] = juce::Colour::fromFloatRGBA (0.0f, 0.0f, 0.0f, 0.40f);
        c[semanticWarn] = juce::Colour (255, 178, 62);
        c[semanticError] = juce::Colour (255, 94, 108);
        c[debugGridModule] = juce::Colour (50, 230, 255);
        c[debugGridCell] = juce::Colour (255, 73, 154);
        c[debugGridFill] = juce::Colour (255, 210, 74);
        c[sourceVelocity] = juce::Colour (242, 244, 232);
        c[sourceKey] = juce::Colour (168, 178, 190);
        c[sourceModwheel] = juce::Colour (57, 212, 255);
        c[sourceAftertouch] = juce::Colour (255, 106, 193);
        c[sourceLfo1] = juce::Colour (200, 245, 0);
        c[sourceDcw1] = juce::Colour (122, 184, 255);
        c[sourceDcw2] = juce::Colour (185, 140, 255);

        // Copies are taken once from the defaults; later theme changes do not follow them.
        c[debugGridLabel] = c[textPrimary];
        c[controlFill] = c[bgSurface2];
        c[controlFillActive] = c[bgSurface2].brighter (0.08f);
        c[controlBorder] = c[borderHair];
        c[controlBorderHover] = c[accentPrimary];
        c[controlText] = c[textPrimary];
        c[controlValue] = c[accentPrimary];
        return c;
    }

    const Colours& defaults()
    {
        static const Colours d = makeDefaults();
        return d;
    }

    Colours& current()
    {
        static Colours c = defaults();
        return c;
    }

    bool inRange (int slot) { return slot >= 0 && slot < numSlots; }
} // namespace

juce::Colour get (int slot)
{
    return inRange (slot) ? current()[(size_t) slot] : juce::Colour();
}

void set (int slot, juce::Colour colour)
{
    if (inRange (slot))
        current()[(size_t) slot] = colour;
}

juce::Colour defaultColour (int slot)
{
    return inRange (slot) ? defaults()[(size_t) slot] : juce::Colour();
}

void resetToDefaults()
{
    current() = defaults();
}

juce::String nameOf (int slot)
{
    return inRange (slot) ? juce::String (slotNames[(size_t) slot]) : juce::String();
}

int slotNamed (const juce::String& name)
{
    for (int i = 0; i < numSlots; ++i)
        if (name == slotNames[(size_t) i])
            return i;
    return -1;
}

bool isThemeSlot (int slot)
{
    return inRange (slot) && ! (slot >= overlayHover && slot <= overlayDisabled)
           && ! (slot >= debugGridModule && slot <= debugGridLabel);
}

} // namespace quillon::palette
