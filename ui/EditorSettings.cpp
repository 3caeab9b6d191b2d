// What the user chose for the editor, kept in the settings file: scale, tooltips and theme, with
// importing a theme from a file.

#include "ui/Editor.h"

#include "ui/Settings.h"
#include "ui/Themes.h"

namespace quillon::ui
{

namespace
{
void writeSetting (juce::PropertiesFile* file, const juce::String& key, const juce::var& value)
{
    if (file == nullptr)
        return;
    file->setValue (key, value);
    file->saveIfNeeded();
}

} // namespace

void Editor::storeDisplayScale()
{
    // The user's choice is kept: on a larger display the window opens at it again.
    writeSetting (settings.get(), "displayScale", (double) requestedScale);
}


void Editor::setShowTooltips (bool shouldShow)
{
    showTooltips = shouldShow;

    if (showTooltips)
    {
        if (tooltipWindow == nullptr)
            tooltipWindow = std::make_unique<juce::TooltipWindow> (this, 500);
    }
    else
    {
        tooltipWindow.reset();
    }

    writeSetting (settings.get(), "showTooltips", showTooltips);
    settingsPanel.setShowTooltips (showTooltips);
}

void Editor::storeTheme (const juce::String& name, const juce::String& themeJson)
{
    themeName = name;

    if (settings != nullptr)
    {
        settings->setValue ("themeName", name);
        if (themeJson.isNotEmpty())
            settings->setValue ("themeJson", themeJson);
        settings->saveIfNeeded();
    }

    settingsPanel.setSelectedTheme (name);
}


void Editor::applyStartTheme()
{
    if (applyBuiltInTheme (themeName))
    {
        if (themeName == "untitled")
            themeName = "velvetReactor";
        return;
    }

    if (themeName == "custom" && settings != nullptr)
        if (applyStoredThemeJson (settings->getValue ("themeJson")))
            return;

    applyThemeRecord (darkTheme());
    themeName = "dark";
}

void Editor::applyChosenTheme (const juce::String& themeId)
{
    auto name = themeId;
    if (! applyBuiltInTheme (themeId))
    {
        applyThemeRecord (darkTheme());
        name = "dark";
    }
    storeTheme (name, {});
    settingsPanel.setThemeNote ({});
    applyPaletteToTree (designCanvas);
    repaint();
}


//==============================================================================
void Editor::chooseThemeJson()
{
    if (themeChooser != nullptr)
        return;

    const auto folder = prepareThemesFolder();
    themeChooser = std::make_unique<juce::FileChooser> ("Import Quillon theme", folder, "*.json", true);
    takeFocusBack();

    juce::Component::SafePointer<Editor> safe (this);
    themeChooser->launchAsync (juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles,
                               [safe] (const juce::FileChooser& chooser)
                               {
                                   if (safe == nullptr)
                                       return;
                                   if (const auto file = chooser.getResult(); file != juce::File())
                                       safe->applyImportedTheme (file);
                                   juce::MessageManager::callAsync ([safe]
                                   {
                                       if (safe == nullptr)
                                           return;
                                       safe->themeChooser.reset();
                                       safe->afterDialogClosed();
                                   });
                               });
}

void Editor::applyImportedTheme (const juce::File& file)
{
    // A refused file leaves the theme as it was and says why where the import was asked for.
    juce::String text, error;
    if (! loadThemeFile (file, &text, &error))
    {
        // The reader's reasons are clauses ("the JSON text ends too early"); the note is a sentence.
        const auto sentence = error.substring (0, 1).toUpperCase() + error.substring (1);
        settingsPanel.setThemeNote (sentence.endsWithChar ('.') ? sentence : sentence + ".");
        return;
    }

    settingsPanel.setThemeNote ({});
    storeTheme ("custom", text);
    applyPaletteToTree (designCanvas);
    repaint();
}

void Editor::writeThemeTemplate()
{
    prepareThemesFolder().revealToUser();
}

} // namespace quillon::ui
