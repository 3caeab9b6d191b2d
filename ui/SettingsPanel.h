#pragma once

#include "widgets/Frames.h"
#include "widgets/ValueControls.h"

#include <array>
#include <functional>

namespace quillon::ui::widgets
{

/** The settings overlay: scale, tooltips, theme, folders and the about block. It decides nothing:
    every control reports through a callback, and the editor shows the outcome through the setters. */
class SettingsPanel : public juce::Component, public juce::FileDragAndDropTarget
{
public:
    SettingsPanel();
    ~SettingsPanel() override;

    std::function<void (float scale)> onScaleSelected;
    std::function<void (bool show)> onTooltipsChanged;
    std::function<void()> onRevealUserPresets;
    std::function<void (const juce::String& themeId)> onThemeSelected;
    std::function<void()> onImportTheme;
    std::function<void()> onRevealThemesFolder;
    std::function<void (const juce::String& filePath)> onThemeFileDropped;
    std::function<void()> onClose;

    void setDisplayScale (float scale);
    void setShowTooltips (bool show);
    void setSelectedTheme (const juce::String& themeId);
    /** Says why the window shows another scale than the one chosen; empty when it shows that one. */
    void setScaleNote (const juce::String& note);
    const juce::String& getScaleNote() const noexcept { return scaleNote; }
    juce::Rectangle<int> getScaleNoteArea() const;
    /** Says why the last theme file was refused, beside the "Theme" caption; empty clears it. */
    void setThemeNote (const juce::String& note);
    const juce::String& getThemeNote() const noexcept { return themeNote; }
    juce::Rectangle<int> getThemeNoteArea() const;

    bool isInterestedInFileDrag (const juce::StringArray& files) override;
    void filesDropped (const juce::StringArray& files, int x, int y) override;

    void paint (juce::Graphics&) override;
    void resized() override;

    static constexpr std::array<float, 4> scaleSteps { 0.75f, 1.0f, 1.25f, 1.5f };

    // The children, reachable for the editor's layout checks and for tests.
    larkspur::widgets::SectionHeader titleHeader;
    juce::Label subtitleLabel;
    juce::TextButton closeButton;
    larkspur::widgets::SectionHeader displayHeader;
    juce::Label scaleLabel, tooltipsLabel;
    std::array<larkspur::widgets::Tab, 4> scaleTabs { { larkspur::widgets::Tab { "75%" }, larkspur::widgets::Tab { "100%" },
                                                        larkspur::widgets::Tab { "125%" }, larkspur::widgets::Tab { "150%" } } };
    larkspur::widgets::Tab tooltipsOnTab { "ON" }, tooltipsOffTab { "OFF" };
    larkspur::widgets::SectionHeader appearanceHeader;
    juce::Label themeLabel;
    juce::ComboBox themeBox;
    juce::TextButton importThemeButton, themesFolderButton;
    larkspur::widgets::SectionHeader presetsHeader;
    juce::Label userPresetsLabel;
    juce::TextButton revealUserPresetsButton;
    larkspur::widgets::SectionHeader aboutHeader;
    juce::Label versionLabel, frameworkLabel, taglineLabel;

    /** Where the section dividers were drawn by the last layout. */
    int getDividerCount() const noexcept { return dividerCount; }
    int getDividerY (int index) const noexcept { return dividerYs[(size_t) juce::jlimit (0, 4, index)]; }

private:
    std::array<int, 5> dividerYs {};
    juce::String scaleNote, themeNote;
    int dividerCount = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SettingsPanel)
};

} // namespace quillon::ui::widgets
