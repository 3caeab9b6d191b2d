#pragma once

#include <juce_graphics/juce_graphics.h>

/** The program-wide colours the editor paints from. Theme code writes them; painting reads them
    each time it paints, so a theme change shows at the next repaint. Message thread only. */
namespace quillon::palette
{

/** Slot numbers, in their fixed order. The names follow the theme JSON (group.key). */
enum Slot : int
{
    bgGround = 0,
    bgSurface,
    bgSurface2,
    bgPanel,
    borderHair,
    borderFocus,
    textPrimary,
    textSecondary,
    textTertiary,
    textDisabled,
    accentPrimary,
    accentPrimaryText,
    accentHero,
    accentSelection,
    accentModRing,
    accentEmber,
    accentLive,
    overlayHover,
    overlaySelected,
    overlayPressed,
    overlayDisabled,
    semanticWarn,
    semanticError,
    debugGridModule,
    debugGridCell,
    debugGridFill,
    debugGridLabel,
    sourceVelocity,
    sourceKey,
    sourceModwheel,
    sourceAftertouch,
    sourceLfo1,
    sourceDcw1,
    sourceDcw2,
    controlFill,
    controlFillActive,
    controlBorder,
    controlBorderHover,
    controlText,
    controlValue,

    numSlots
};

/** The current colour of a slot; a slot out of range gives transparent black. */
juce::Colour get (int slot);

/** Sets a slot; out-of-range slots are ignored. */
void set (int slot, juce::Colour colour);

/** The colour a slot starts with. */
juce::Colour defaultColour (int slot);

/** Puts every slot back to its start-up colour. */
void resetToDefaults();

/** "bg.ground", "overlay.hover", "control.value"...; empty out of range. */
juce::String nameOf (int slot);

/** The slot with that name, or -1. */
int slotNamed (const juce::String& name);

/** The 32 slots themes write: all but the overlays (17-20) and the debug grid (23-26). */
bool isThemeSlot (int slot);

} // namespace quillon::palette
