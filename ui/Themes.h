#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>

namespace quillon::ui
{

/** A built-in colour theme: 32 opaque colours (0x00RRGGBB) in theme-slot order
    bg, border, text, accent, semantic, source, control. */
struct BuiltInTheme
{
    const char* id;
    const char* name;
    std::array<juce::uint32, 32> colours;
};

constexpr int numBuiltInThemes = 18;
extern const std::array<BuiltInTheme, numBuiltInThemes> builtInThemes;

/** The first record; also what every import starts from. */
const BuiltInTheme& darkTheme();

/** The record with exactly this id ("untitled" gives "velvetReactor"), or null. */
const BuiltInTheme* findBuiltInTheme (const juce::String& themeId);

/** 1-based position of the theme in the table ("untitled" counts as "velvetReactor"), 0 when unknown. */
int builtInThemeIndex (const juce::String& themeId);

/** The 32 palette slots a theme writes, in theme order. */
const std::array<int, 32>& themeSlots();

/** Writes a record's colours, opaque, into the theme slots of the palette. */
void applyThemeRecord (const BuiltInTheme& theme);

/** Applies the built-in theme with that id; false, with the palette untouched, for an unknown id. */
bool applyBuiltInTheme (const juce::String& themeId);

/** Applies a parsed theme file over the dark colours. A value that is not an object is refused with
    "Theme JSON must be an object." and leaves the palette as it was. */
bool parseThemeJson (const juce::var& json, juce::String* error = nullptr);

/** One "#RRGGBB" / "#AARRGGBB" member into a palette slot; anything unreadable leaves the slot alone. */
void readThemeColour (const juce::var& json, const juce::String& group, const juce::String& key, int slot);

/** Reads (quillon::input::readJsonFile), parses and applies a theme file. On success the file's text
    is returned through fileText; otherwise the palette is as it was and `error` says why. */
bool loadThemeFile (const juce::File& file, juce::String* fileText = nullptr, juce::String* error = nullptr);

/** Applies the theme text kept in the settings ("themeJson"); false, with the palette as it was,
    when it cannot be read or is not a theme. */
bool applyStoredThemeJson (const juce::String& text);

/** Brings already-built components up to date with the palette: colours given with setPaletteColour,
    labels, section frames, combo-box texts and the text already typed into text editors. */
void applyPaletteToTree (juce::Component& root);

/** Gives a framework component a colour from a palette slot and remembers the slot, so that
    applyPaletteToTree hands it the new theme's colour instead of leaving the old one behind. */
void setPaletteColour (juce::Component& component, int colourId, int slot, float alpha = 1.0f);

/** A colour id for setPaletteColour: the colour of a text editor's text shown when it is empty. */
inline constexpr int emptyTextColourId = 0x51a0001;

/** The starter file written into a new themes folder: the dark colours, LF line ends. */
juce::String themeTemplateText();
inline constexpr const char* themeTemplateFileName = "custom-theme-template.json";

/** <user application data>/Quillon/Themes */
juce::File defaultThemesFolder();

/** Creates the folder and writes the template into it, only when the folder does not exist yet.
    Returns the folder. */
juce::File prepareThemesFolder (const juce::File& folder = defaultThemesFolder());

} // namespace quillon::ui
