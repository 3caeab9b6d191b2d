#pragma once

#include "plugin/Catalogue.h"
#include "ui/Header.h"
#include "ui/LookAndFeel.h"
#include "ui/browser/BrowseView.h"

#include "ui/SettingsPanel.h"
#include "ui/StatusFooter.h"
#include "ui/matrix/MatrixSlideOut.h"
#include "ui/matrix/ModulationOverview.h"
#include "ui/panels/SingleCanvasView.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <memory>
#include <optional>

class QuillonAudioProcessor;

namespace quillon::ui
{

/** True when an environment variable is set to "1", "true", "yes" or "on" (trimmed, any case). */
bool readEnvFlag (const char* variableName);

/** The plug-in's window: a 1332 x 900 design canvas drawn at one of four scales, holding the header,
    footer, main canvas, browser, settings panel and modulation matrix. Message thread only. */
class Editor : public juce::AudioProcessorEditor,
               public juce::DragAndDropContainer,
               private juce::Timer
{
public:
    static constexpr int designWidth = 1332, designHeight = 900;
    static constexpr std::array<float, 4> scaleSteps { 0.75f, 1.0f, 1.25f, 1.5f };

    /** The step nearest to a requested scale; ties go to the earlier step. */
    static float nearestScaleStep (double requested);
    /** The step nearest to the mean of a size's width and height ratios to the design canvas. */
    static float snapToScaleStep (int width, int height);
    static int scaledWidth (float scale) { return juce::roundToInt (designWidth * scale); }
    static int scaledHeight (float scale) { return juce::roundToInt (designHeight * scale); }

    /** The largest step up to the wanted one whose window, with the given frame around the editor,
        fits the area; the smallest step when none does. */
    static float largestFittingStep (float wanted, juce::Rectangle<int> area, juce::Point<int> frame);
    static bool stepFits (float step, juce::Rectangle<int> area, juce::Point<int> frame);

    class SnapScaleConstrainer : public juce::ComponentBoundsConstrainer
    {
    public:
        /** The largest step a drag may reach: the largest that fits the display. */
        float maxScale = 1.5f;

        void checkBounds (juce::Rectangle<int>& bounds, const juce::Rectangle<int>& previousBounds,
                          const juce::Rectangle<int>& limits, bool isStretchingTop, bool isStretchingLeft,
                          bool isStretchingBottom, bool isStretchingRight) override;
    };

    explicit Editor (QuillonAudioProcessor& synth);
    ~Editor() override;

    void showView (int view);
    int getActiveView() const noexcept { return activeView; }

    void setDisplayScale (double requestedScale);
    float getDisplayScale() const noexcept { return displayScale; }
    /** The step the user chose; the window shows a smaller one while that does not fit the display. */
    float getRequestedScale() const noexcept { return requestedScale; }

    /** The display area the window must stay on; by default the user area of the display that
        holds the window (the main display before it is shown). Tests set one. */
    void setDisplayAreaOverride (std::optional<juce::Rectangle<int>> area) { displayAreaOverride = area; }
    std::optional<juce::Rectangle<int>> getDisplayUserArea() const;
    /** Moves a window of our own (the standalone's) fully onto the display area when it is not. */
    void keepWindowOnDisplay();

    void loadFactoryPreset (int position);
    void selectPresetBySource (const juce::String& presetFileName);
    void refreshPresetTitle();
    int getCurrentPresetIndex() const noexcept { return currentPresetIndex; }

    void setShowTooltips (bool shouldShow);
    bool getShowTooltips() const noexcept { return showTooltips; }
    void storeDisplayScale();
    void storeTheme (const juce::String& name, const juce::String& themeJson);
    const juce::String& getThemeName() const noexcept { return themeName; }

    void saveCurrentPreset (bool askName);
    void loadPresetFromFile();
    /** What the load chooser does with the file picked: load it, or say why not. */
    void loadChosenPresetFile (const juce::File& file);
    void revealUserPresetFolder();
    /** What the save-as dialog's answer does: result 1 with a non-blank name saves, after asking
        when a file of that name exists already. */
    void handleSaveAsResult (int result, const juce::String& typedName);
    /** The answer to "replace the existing file?": 1 writes it, anything else goes back to naming. */
    void handleReplaceResult (int result, const juce::String& name);
    juce::AlertWindow* getSaveAsDialog() const noexcept { return saveAsDialog.getComponent(); }
    juce::AlertWindow* getReplaceDialog() const noexcept { return replaceDialog.getComponent(); }
    juce::FileChooser* getPresetChooser() const noexcept { return presetChooser.get(); }
    juce::FileChooser* getThemeChooser() const noexcept { return themeChooser.get(); }

    /** The one way the editor tells the user that something they did failed (a preset not saved or
        loaded, a theme refused, settings that could not be read or written): a small dialog with
        an OK button, opened as soon as the editor is on screen. */
    void showNotice (const juce::String& title, const juce::String& text);
    const juce::String& getNoticeTitle() const noexcept { return noticeTitle; }
    const juce::String& getNoticeText() const noexcept { return noticeText; }
    juce::AlertWindow* getNoticeDialog() const noexcept { return noticeDialog.getComponent(); }

    void chooseThemeJson();
    void applyImportedTheme (const juce::File& file);
    void writeThemeTemplate();

    bool isDebugGridOn() const noexcept { return debugGrid; }

    void paint (juce::Graphics&) override;
    void paintOverChildren (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void resized() override;
    void parentHierarchyChanged() override;
    void timerCallback() override;
    /** Where a click on something that takes no keyboard focus, or the hiding of a focused part,
        leaves the focus: with the editor, not with the nearest button. */
    std::unique_ptr<juce::ComponentTraverser> createKeyboardFocusTraverser() override;

    // The parts, for the window's own wiring and for tests.
    juce::Component& getDesignCanvas() noexcept { return designCanvas; }
    Header& getHeader() noexcept { return header; }
    views::BrowseView& getBrowseView() noexcept { return *browseView; }
    const quillon::presets::Catalogue& getCatalogue() const noexcept { return catalogue; }
    juce::PropertiesFile* getSettingsFile() noexcept { return settings.get(); }
    juce::TooltipWindow* getTooltipWindow() noexcept { return tooltipWindow.get(); }
    widgets::StatusFooter& getFooter() noexcept { return footer; }
    widgets::SettingsPanel& getSettingsPanel() noexcept { return settingsPanel; }
    widgets::MatrixSlideOut& getMatrixSlideOut() noexcept { return matrixSlideOut; }
    views::SingleCanvasView& getCanvasView() noexcept { return *canvasView; }

private:
    void paintDebugGrid (juce::Graphics&);
    void applyStartTheme();
    void applyChosenTheme (const juce::String& themeId);
    void layOutDesignCanvas();
    juce::Point<int> windowFrame() const;
    float fittedScale (float wanted);
    void wireCallbacks();
    juce::String catalogueNameAt (int position) const;
    void showSaveAsDialog (const juce::String& suggestedName);
    void askToReplace (const juce::String& name, const juce::File& existing);
    void writeNamedPreset (const juce::String& name);
    /** Gives the keyboard focus to the editor itself, so that no button holds it for a Return, nor
        gets it back when a dialog opened now closes. */
    void takeFocusBack();
    /** A dialog or file chooser has closed: the focus comes back to the editor. */
    void afterDialogClosed();
    /** Paints again what a window of this program (menu, dialog, chooser, tooltip) covered, once it
        has gone. */
    void repaintWhereWindowsClosed();
    void openPendingNotice();

    QuillonAudioProcessor& synth; // the base class's processor, as our own type
    // First in, last out: the panels register their knobs while they are built and leave it when destroyed.
    matrix::KnobRegistryHold knobRegistryHold;
    LookAndFeel lookAndFeel;
    quillon::presets::Catalogue catalogue;
    std::unique_ptr<juce::TooltipWindow> tooltipWindow;
    juce::Component designCanvas;
    Header header;
    widgets::StatusFooter footer;
    widgets::SettingsPanel settingsPanel;
    widgets::MatrixSlideOut matrixSlideOut;
    std::unique_ptr<views::SingleCanvasView> canvasView;
    std::unique_ptr<views::BrowseView> browseView;

    int activeView = 0;
    int currentPresetIndex = 1;
    bool lastSeenDirty = false;
    float displayScale = 1.0f;
    float requestedScale = 1.0f;
    std::optional<juce::Rectangle<int>> displayAreaOverride;
    bool refitPending = false;
    bool showTooltips = true;
    bool debugGrid = false;
    juce::String themeName { "dark" };
    std::unique_ptr<juce::PropertiesFile> settings;
    SnapScaleConstrainer constrainer;

    // One chooser each, so opening one never cancels the other. The dialogs delete themselves
    // when answered.
    std::unique_ptr<juce::FileChooser> presetChooser, themeChooser;
    juce::Component::SafePointer<juce::AlertWindow> saveAsDialog, replaceDialog, noticeDialog;
    juce::String noticeTitle, noticeText;
    bool noticePending = false;

    // The windows over the editor at the last tick, with their screen bounds, and what was uncovered
    // then, to be painted once more.
    std::vector<std::pair<juce::Component::SafePointer<juce::Component>, juce::Rectangle<int>>> windowsOver;
    juce::Rectangle<int> uncoveredLastTick;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Editor)
};

} // namespace quillon::ui
