#include "SettingsPanel.h"

#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"
#include "ui/Themes.h"
#include "widgets/WidgetTheme.h"

#ifndef JucePlugin_VersionString
 #define JucePlugin_VersionString "0.2.41"
#endif

namespace quillon::ui::widgets
{
namespace
{
    namespace pal = quillon::palette;

    void setUpLabel (juce::Label& label, const juce::String& text, int style, int colourSlot)
    {
        label.setText (text, juce::dontSendNotification);
        label.setFont (getEditorFont (style));
        setPaletteColour (label, juce::Label::textColourId, colourSlot);
        label.setJustificationType (juce::Justification::topLeft);
        label.setInterceptsMouseClicks (false, false);
    }

    void setUpCommandButton (juce::TextButton& button, const juce::String& text, const juce::String& title)
    {
        button.setButtonText (text);
        button.setTitle (title);
        button.setTooltip (title);
        button.getProperties().set (surfaceVariantProperty, "commandButton");
        button.setWantsKeyboardFocus (true);
        button.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    }

    bool isJsonPath (const juce::String& path)
    {
        return juce::File::createFileWithoutCheckingPath (path).hasFileExtension (".json");
    }
} // namespace

SettingsPanel::SettingsPanel()
{
    titleHeader.setText ("SETTINGS");
    addAndMakeVisible (titleHeader);
    setUpLabel (subtitleLabel, "Editor preferences and local files.", 4, pal::textTertiary);
    addAndMakeVisible (subtitleLabel);

    closeButton.setButtonText (juce::String::fromUTF8 ("\xe2\x9c\x95"));
    closeButton.getProperties().set (surfaceVariantProperty, "commandButton");
    closeButton.setWantsKeyboardFocus (true);
    closeButton.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    closeButton.setTitle ("Close settings");
    closeButton.setTooltip ("Close settings");
    closeButton.setHelpText ("Close the settings panel.");
    closeButton.onClick = [this] { if (onClose) onClose(); };
    addAndMakeVisible (closeButton);

    displayHeader.setText ("DISPLAY");
    addAndMakeVisible (displayHeader);
    setUpLabel (scaleLabel, "Scale", 4, pal::textSecondary);
    setUpLabel (tooltipsLabel, "Tooltips", 4, pal::textSecondary);
    addAndMakeVisible (scaleLabel);
    addAndMakeVisible (tooltipsLabel);

    for (size_t i = 0; i < scaleTabs.size(); ++i)
    {
        auto& tab = scaleTabs[i];
        const auto text = juce::String (juce::roundToInt (scaleSteps[i] * 100.0f)) + "% editor scale";
        tab.setRadioGroupId (7331);
        tab.setClickingTogglesState (false);
        tab.setTitle (text);
        tab.setTooltip (text);
        tab.onClick = [this, i] { if (onScaleSelected) onScaleSelected (scaleSteps[i]); };
        addAndMakeVisible (tab);
    }

    tooltipsOnTab.setButtonText ("On");
    tooltipsOnTab.setTitle ("Show tooltips");
    tooltipsOffTab.setButtonText ("Off");
    tooltipsOffTab.setTitle ("Hide tooltips");
    for (auto* tab : { &tooltipsOnTab, &tooltipsOffTab })
    {
        tab->setRadioGroupId (7332);
        tab->setClickingTogglesState (false);
        addAndMakeVisible (*tab);
    }
    tooltipsOnTab.onClick = [this] { if (onTooltipsChanged) onTooltipsChanged (true); };
    tooltipsOffTab.onClick = [this] { if (onTooltipsChanged) onTooltipsChanged (false); };

    appearanceHeader.setText ("APPEARANCE");
    addAndMakeVisible (appearanceHeader);
    setUpLabel (themeLabel, "Theme", 4, pal::textSecondary);
    addAndMakeVisible (themeLabel);

    themeBox.setTitle ("Theme");
    themeBox.setTextWhenNothingSelected ("Theme");
    themeBox.setTooltip ("Editor colour theme");
    for (int i = 0; i < numBuiltInThemes; ++i)
        themeBox.addItem (builtInThemes[(size_t) i].name, i + 1);
    themeBox.onChange = [this]
    {
        if (! onThemeSelected)
            return;
        const auto id = themeBox.getSelectedId();
        onThemeSelected (id >= 1 && id <= numBuiltInThemes ? juce::String (builtInThemes[(size_t) id - 1].id)
                                                            : juce::String());
    };
    addAndMakeVisible (themeBox);

    setUpCommandButton (importThemeButton, "Import theme", "Import JSON theme");
    importThemeButton.onClick = [this] { if (onImportTheme) onImportTheme(); };
    addAndMakeVisible (importThemeButton);
    setUpCommandButton (themesFolderButton, "Folder", "Reveal themes folder");
    themesFolderButton.onClick = [this] { if (onRevealThemesFolder) onRevealThemesFolder(); };
    addAndMakeVisible (themesFolderButton);

    presetsHeader.setText ("PRESETS");
    addAndMakeVisible (presetsHeader);
    setUpLabel (userPresetsLabel, "User presets", 4, pal::textSecondary);
    addAndMakeVisible (userPresetsLabel);
    setUpCommandButton (revealUserPresetsButton, "Reveal user preset folder", "Reveal user preset folder");
    revealUserPresetsButton.setHelpText ("Open the folder used for user presets.");
    revealUserPresetsButton.onClick = [this] { if (onRevealUserPresets) onRevealUserPresets(); };
    addAndMakeVisible (revealUserPresetsButton);

    aboutHeader.setText ("ABOUT");
    addAndMakeVisible (aboutHeader);

    // The headers sit on the panel's themed ground, not on the toolkit's dark one.
    for (auto* header : { &titleHeader, &displayHeader, &appearanceHeader, &presetsHeader, &aboutHeader })
        setPaletteColour (*header, larkspur::widgets::SectionHeader::titleColourId, pal::textTertiary);
    setUpLabel (versionLabel, juce::String ("Quillon ") + JucePlugin_VersionString, 4, pal::textTertiary);
    setUpLabel (frameworkLabel, juce::SystemStats::getJUCEVersion(), 4, pal::textTertiary);
    setUpLabel (taglineLabel, "Phase distortion bass synth.", 4, pal::textTertiary);
    addAndMakeVisible (versionLabel);
    addAndMakeVisible (frameworkLabel);
    addAndMakeVisible (taglineLabel);

    setOpaque (true);
}

SettingsPanel::~SettingsPanel()
{
    // Callbacks may capture the editor; drop them before the children go.
    onScaleSelected = nullptr;
    onTooltipsChanged = nullptr;
    onRevealUserPresets = nullptr;
    onThemeSelected = nullptr;
    onImportTheme = nullptr;
    onRevealThemesFolder = nullptr;
    onThemeFileDropped = nullptr;
    onClose = nullptr;
}

void SettingsPanel::setDisplayScale (float scale)
{
    for (size_t i = 0; i < scaleTabs.size(); ++i)
        scaleTabs[i].setToggleState (larkspur::widgets::nearlyEqual (scale, scaleSteps[i]), juce::dontSendNotification);
}

void SettingsPanel::setShowTooltips (bool show)
{
    tooltipsOnTab.setToggleState (show, juce::dontSendNotification);
    tooltipsOffTab.setToggleState (! show, juce::dontSendNotification);
}

void SettingsPanel::setSelectedTheme (const juce::String& themeId)
{
    themeBox.setSelectedId (builtInThemeIndex (themeId), juce::dontSendNotification);
    if (themeId == "custom")
        themeBox.setText ("Custom", juce::dontSendNotification);
}

bool SettingsPanel::isInterestedInFileDrag (const juce::StringArray& files)
{
    for (const auto& path : files)
        if (isJsonPath (path))
            return true;
    return false;
}

void SettingsPanel::filesDropped (const juce::StringArray& files, int, int)
{
    for (const auto& path : files)
    {
        if (isJsonPath (path))
        {
            if (onThemeFileDropped)
                onThemeFileDropped (path);
            return;
        }
    }
}

void SettingsPanel::resized()
{
    const auto b = getLocalBounds();
    const int cx = b.getX() + 16;
    const int cw = juce::jmax (0, b.getWidth() - 32);
    const int top = b.getY() + 16;
    const int bottom = top + juce::jmax (0, b.getHeight() - 32);

    // Rows that do not fit are squeezed to what is left above the bottom margin, down to nothing.
    const auto place = [bottom] (juce::Component& c, int x, int y, int w, int h)
    {
        c.setBounds (x, y, juce::jmax (0, w), juce::jlimit (0, juce::jmax (0, h), bottom - y));
    };

    dividerCount = 0;
    const auto addDivider = [this] (int y)
    {
        if (dividerCount < (int) dividerYs.size())
            dividerYs[(size_t) dividerCount++] = y;
    };

    place (closeButton, cx + cw - 44, top, 44, 44);
    place (titleHeader, cx, top, cw - 44, 44);

    int rowY = b.getY() + 60;
    place (subtitleLabel, cx, rowY, cw, 22);
    rowY += 22 + 16;

    const auto section = [&] (larkspur::widgets::SectionHeader& header, int contentHeight,
                              const std::function<void (int x, int y, int w)>& layoutContent)
    {
        addDivider (rowY - 8);
        place (header, cx, rowY, cw, 22);
        rowY += 22 + 8;
        layoutContent (cx, rowY, cw);
        rowY += contentHeight + 16;
    };

    section (displayHeader, 148, [&] (int x, int y, int w)
    {
        place (scaleLabel, x, y, w, 22);
        const int tabWidth = juce::jmax (0, (w - 12) / 4);
        int tx = x;
        for (size_t i = 0; i < scaleTabs.size(); ++i)
        {
            const int widthLeft = juce::jmax (0, x + w - tx);
            const int width = i + 1 < scaleTabs.size() ? juce::jmin (widthLeft, tabWidth) : widthLeft;
            place (scaleTabs[i], tx, y + 22, width, 44);
            tx += width + 4;
        }
        place (tooltipsLabel, x, y + 74, w, 22);
        const int a = juce::jmin (w, (w - 4) / 2);
        place (tooltipsOnTab, x, y + 96, a, 44);
        place (tooltipsOffTab, x + a + 4, y + 96, w - a - 4, 44);
    });

    section (appearanceHeader, 118, [&] (int x, int y, int w)
    {
        place (themeLabel, x, y, w, 22);
        place (themeBox, x, y + 22, w, 44);
        const int f = juce::jmin (w, (2 * w - 8) / 3);
        place (importThemeButton, x, y + 74, f, 44);
        place (themesFolderButton, x + f + 4, y + 74, w - f - 4, 44);
    });

    section (presetsHeader, 66, [&] (int x, int y, int w)
    {
        place (userPresetsLabel, x, y, w, 22);
        place (revealUserPresetsButton, x, y + 22, w, 44);
    });

    addDivider (rowY - 8);
    place (aboutHeader, cx, rowY, cw, 22);
    rowY += 22 + 8;
    const int half = juce::jmin (cw, (cw - 8) / 2);
    place (versionLabel, cx, rowY, half, 22);
    place (frameworkLabel, cx + half + 8, rowY, cw - half - 8, 22);
    taglineLabel.setBounds (0, 0, 0, 0);
}

void SettingsPanel::paint (juce::Graphics& g)
{
    const auto b = getLocalBounds();
    g.fillAll (pal::get (pal::bgPanel));

    g.setColour (pal::get (pal::accentModRing));
    g.fillRect (b.getX(), b.getY(), 2, b.getHeight());

    g.setColour (pal::get (pal::borderHair));
    g.fillRect (b.getRight() - 1, b.getY(), 1, b.getHeight());

    g.setColour (pal::get (pal::borderHair).withAlpha (0.55f));
    for (int i = 0; i < dividerCount; ++i)
        g.fillRect (16, dividerYs[(size_t) i], juce::jmax (0, b.getWidth() - 32), 1);

    // Read from the palette at paint time, so a theme switch recolours it like everything else.
    if (scaleNote.isNotEmpty())
    {
        g.setFont (getEditorFont (4));
        g.setColour (pal::get (pal::semanticWarn));
        g.drawFittedText (scaleNote, getScaleNoteArea(), juce::Justification::topRight, 1, 0.8f);
    }

    if (themeNote.isNotEmpty())
    {
        g.setFont (getEditorFont (4));
        g.setColour (pal::get (pal::semanticError));
        g.drawFittedText (themeNote, getThemeNoteArea(), juce::Justification::topRight, 2, 0.8f);
    }
}

void SettingsPanel::setScaleNote (const juce::String& note)
{
    if (note == scaleNote)
        return;

    scaleNote = note;
    repaint (getScaleNoteArea());
}

void SettingsPanel::setThemeNote (const juce::String& note)
{
    if (note == themeNote)
        return;

    themeNote = note;
    repaint (getThemeNoteArea());
}

juce::Rectangle<int> SettingsPanel::getThemeNoteArea() const
{
    // Beside the "Theme" caption, on its row.
    const auto row = themeLabel.getBounds();
    const int captionWidth = 48;
    return row.withTrimmedLeft (juce::jmin (row.getWidth(), captionWidth));
}

juce::Rectangle<int> SettingsPanel::getScaleNoteArea() const
{
    // Beside the "Scale" caption, on its row.
    const auto row = scaleLabel.getBounds();
    const int captionWidth = 48;
    return row.withTrimmedLeft (juce::jmin (row.getWidth(), captionWidth));
}

} // namespace quillon::ui::widgets
