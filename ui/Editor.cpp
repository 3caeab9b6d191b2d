#include "ui/Editor.h"

#include "plugin/Palette.h"
#include "plugin/PluginProcessor.h"
#include "ui/EditorLayout.h"
#include "ui/Settings.h"

#include "ui/Themes.h"
#include "ui/matrix/ModulationOverview.h"

namespace quillon::ui
{

using namespace editorLayout;

namespace
{
// The hooks are process-wide; only the editor that installed them may empty them.
const Editor* hookOwner = nullptr;
const Editor* settingsProblemHandlerOwner = nullptr;

// The framework gives the focus that a click on a part without focus (the empty header, the tempo
// box, a panel's background) or a hidden focused view lets go of to the first focusable child it
// finds nearby: the previous-preset arrow or BROWSE, where Return changes the sound. Here no part
// picks a child, so the focus climbs to the editor; only the two panels that are opened to be worked
// from the keyboard hand it on to their first control.
class EditorFocusTraverser : public juce::KeyboardFocusTraverser
{
public:
    explicit EditorFocusTraverser (std::initializer_list<const juce::Component*> panels) : keyboardPanels (panels) {}

    juce::Component* getDefaultComponent (juce::Component* parent) override
    {
        for (const auto* panel : keyboardPanels)
            if (parent == panel)
                return juce::KeyboardFocusTraverser::getDefaultComponent (parent);
        return nullptr;
    }

private:
    std::vector<const juce::Component*> keyboardPanels;
};
} // namespace

std::unique_ptr<juce::ComponentTraverser> Editor::createKeyboardFocusTraverser()
{
    return std::make_unique<EditorFocusTraverser> (std::initializer_list<const juce::Component*> { &settingsPanel, &matrixSlideOut });
}

void Editor::takeFocusBack()
{
    if (isShowing())
        grabKeyboardFocus();
}

void Editor::afterDialogClosed()
{
    takeFocusBack();

    // The closing window may still hold the system's focus until the window system has taken it
    // away: once it has, the focus is taken again.
    juce::Component::SafePointer<Editor> safe (this);
    juce::MessageManager::callAsync ([safe]
    {
        if (safe != nullptr && safe->isShowing() && ! safe->isCurrentlyBlockedByAnotherModalComponent())
            safe->grabKeyboardFocus();
    });
}

void Editor::repaintWhereWindowsClosed()
{
    // On X11 the framework does not always paint what a closed menu or dialog uncovered in a window
    // with other content around the editor; its picture stays until the pointer passes. So the editor
    // paints that area itself when the window goes, and once more a tick later, by when the window
    // system has surely taken the window away.
    if (! uncoveredLastTick.isEmpty())
    {
        repaint (uncoveredLastTick);
        uncoveredLastTick = {};
    }

    juce::Rectangle<int> uncovered;
    for (const auto& [window, screenBounds] : windowsOver)
        if (window == nullptr || ! window->isVisible() || ! window->isOnDesktop())
            uncovered = uncovered.getUnion (screenBounds);

    windowsOver.clear();

    if (isShowing())
    {
        const auto* ownWindow = getTopLevelComponent();
        const auto editorOnScreen = getScreenBounds();
        auto& desktop = juce::Desktop::getInstance();

        for (int i = 0; i < desktop.getNumComponents(); ++i)
            if (auto* window = desktop.getComponent (i); window != nullptr && window != ownWindow && window->isVisible())
                if (const auto bounds = window->getScreenBounds(); bounds.intersects (editorOnScreen))
                    windowsOver.emplace_back (window, bounds);
    }

    if (! uncovered.isEmpty())
    {
        uncoveredLastTick = getLocalArea (nullptr, uncovered).getIntersection (getLocalBounds());
        repaint (uncoveredLastTick);
    }
}

//==============================================================================
Editor::Editor (QuillonAudioProcessor& p)
    : juce::AudioProcessorEditor (p),
      synth (p),
      catalogue (quillon::presets::Catalogue::loadEmbedded()),
      header (p)
      , footer (p.parameterState)
      , matrixSlideOut (p)
{
    setLookAndFeel (&lookAndFeel);
    setWantsKeyboardFocus (true);
    addAndMakeVisible (designCanvas);
    designCanvas.addAndMakeVisible (header);
    designCanvas.addAndMakeVisible (footer);

    canvasView = std::make_unique<views::SingleCanvasView> (p);
    designCanvas.addAndMakeVisible (*canvasView);
    browseView = std::make_unique<views::BrowseView> (p, catalogue);
    designCanvas.addChildComponent (*browseView);
    designCanvas.addChildComponent (matrixSlideOut);
    designCanvas.addChildComponent (settingsPanel);

    setSettingsProblemHandler ([this] (const juce::String& title, const juce::String& text) { showNotice (title, text); });
    settingsProblemHandlerOwner = this;
    settings = openSettingsFile();
    requestedScale = nearestScaleStep (settings->getDoubleValue ("displayScale", 1.0));
    showTooltips = settings->getBoolValue ("showTooltips", true);
    themeName = settings->getValue ("themeName", "dark");

    applyStartTheme();
    applyPaletteToTree (designCanvas);
    wireCallbacks();
    setShowTooltips (showTooltips);
    debugGrid = readEnvFlag ("QUILLON_DEBUG_GRID");

    constrainer.setSizeLimits (scaledWidth (scaleSteps.front()), scaledHeight (scaleSteps.front()),
                               scaledWidth (scaleSteps.back()), scaledHeight (scaleSteps.back()));
    constrainer.setFixedAspectRatio (1.48);
    setConstrainer (&constrainer);
    setResizable (true, true);

    // Before the window exists only the main display is known; once shown, the window's own
    // display and frame decide again (parentHierarchyChanged).
    displayScale = fittedScale (requestedScale);
    setSize (scaledWidth (displayScale), scaledHeight (displayScale));
    layOutDesignCanvas();

    if (const auto source = synth.getPresetSource(); source.startsWith ("factory:"))
        selectPresetBySource (source.substring (8));

    lastSeenDirty = synth.presetDirty.load();
    refreshPresetTitle();

    settingsPanel.setShowTooltips (showTooltips);
    settingsPanel.setSelectedTheme (themeName);

    showView (0);
    startTimerHz (20);
}

Editor::~Editor()
{
    stopTimer();
    saveAsDialog.deleteAndZero();
    replaceDialog.deleteAndZero();
    presetChooser.reset();
    themeChooser.reset();
    setLookAndFeel (nullptr);

    noticeDialog.deleteAndZero();
    if (settingsProblemHandlerOwner == this)
    {
        setSettingsProblemHandler (nullptr);
        settingsProblemHandlerOwner = nullptr;
    }

    if (hookOwner == this)
    {
        matrix::revealInMatrixHook = nullptr;
        matrix::matrixChangedHook = nullptr;
        hookOwner = nullptr;
    }
}


void Editor::wireCallbacks()
{
    juce::Component::SafePointer<Editor> safe (this);

    matrixSlideOut.onClose = [this] { showView (0); };
    settingsPanel.onClose = [this] { showView (0); };
    settingsPanel.onScaleSelected = [this] (float scale)
    {
        setDisplayScale (scale);
        settingsPanel.setDisplayScale (displayScale);
    };
    settingsPanel.onTooltipsChanged = [this] (bool show) { setShowTooltips (show); };
    settingsPanel.onRevealUserPresets = [this] { revealUserPresetFolder(); };
    settingsPanel.onThemeSelected = [this] (const juce::String& id) { applyChosenTheme (id); };
    settingsPanel.onImportTheme = [this] { chooseThemeJson(); };
    settingsPanel.onRevealThemesFolder = [this] { writeThemeTemplate(); };
    settingsPanel.onThemeFileDropped = [this] (const juce::String& path) { applyImportedTheme (juce::File (path)); };

    header.onBrowse = [this] { showView (1); };
    header.onSettings = [this] { showView (activeView == 2 ? 0 : 2); };
    header.onPreviousPreset = [this] { loadFactoryPreset (currentPresetIndex - 1); };
    header.onNextPreset = [this] { loadFactoryPreset (currentPresetIndex + 1); };

    auto& strip = header.presetStrip;
    strip.onRename = [this] (const juce::String& name)
    {
        synth.setPresetName (name);
        refreshPresetTitle();
    };
    strip.onSavePreset = [this] { saveCurrentPreset (false); };
    strip.onSavePresetAs = [this] { saveCurrentPreset (true); };
    strip.onLoadPresetFromFile = [this] { loadPresetFromFile(); };
    strip.onRevealUserPresetFolder = [this] { revealUserPresetFolder(); };

    browseView->onClose = [this] { showView (0); };
    browseView->onSoundChanged = [this] { refreshPresetTitle(); };
    browseView->onLoadPreset = [this] (const juce::String& id)
    {
        selectPresetBySource (id);
        const auto* entry = catalogue.findByXml (id);
        synth.setPresetInfo (entry != nullptr ? entry->displayName : juce::String(), "factory:" + id);
        refreshPresetTitle();
    };

    footer.onToggleMatrix = [this] { showView (activeView == 3 ? 0 : 3); };

    matrix::revealInMatrixHook = [safe] (int)
    {
        if (safe != nullptr)
            safe->showView (3);
    };
    matrix::matrixChangedHook = [safe] (int)
    {
        if (safe != nullptr && safe->activeView != 3)
            safe->repaint();
    };
    hookOwner = this;
}

//==============================================================================
void Editor::showView (int view)
{
    const bool matrixOpen = view == 3;
    // Hiding a focused view lets the framework hand the focus to the first button it finds (the
    // previous-preset arrow), where a Return would throw the sound away. The editor keeps it instead.
    const bool focusInClosingView = (view != 1 && browseView->hasKeyboardFocus (true))
                                 || (view != 2 && settingsPanel.hasKeyboardFocus (true))
                                 || (view != 3 && matrixSlideOut.hasKeyboardFocus (true));

    canvasView->setVisible (view != 1);
    canvasView->setMatrixOpen (matrixOpen);
    browseView->setVisible (view == 1);
    settingsPanel.setVisible (view == 2);
    matrixSlideOut.setVisible (matrixOpen);
    footer.setVisible (view != 1);
    footer.setMatrixOpen (matrixOpen);

    activeView = juce::jlimit (0, 3, view);
    settingsPanel.setBounds (settingsBounds);

    if (view == 1)
    {
        if (browseView->isShowing())
            browseView->grabKeyboardFocus();
    }
    else if (view == 2)
    {
        settingsPanel.toFront (false);
        settingsPanel.setDisplayScale (displayScale);
        settingsPanel.setShowTooltips (showTooltips);
        settingsPanel.setSelectedTheme (themeName);
        if (settingsPanel.isShowing())
            settingsPanel.grabKeyboardFocus();
    }
    else if (view == 3)
    {
        matrixSlideOut.toFront (false);
        if (matrixSlideOut.isShowing())
            matrixSlideOut.grabKeyboardFocus();
    }
    else if (focusInClosingView && isShowing())
    {
        grabKeyboardFocus();
    }

    repaint();
}

bool Editor::keyPressed (const juce::KeyPress& key)
{
    if (key.isKeyCode (juce::KeyPress::escapeKey))
    {
        if (activeView == 0)
            return false;
        showView (0);
        return true;
    }

    const auto mods = key.getModifiers();
    if (! mods.isCtrlDown())
        return false;

    const auto code = key.getKeyCode();
    const auto character = key.getTextCharacter();
    const auto is = [code, character] (juce::juce_wchar c) { return code == (int) c || character == c; };

    const auto stepIndex = [this]() -> int
    {
        for (size_t i = 0; i < scaleSteps.size(); ++i)
            if (nearlyEqual (displayScale, scaleSteps[i]))
                return (int) i;
        return -1;
    };

    if (is ('+') || is ('='))
    {
        const int i = stepIndex();
        if (i >= 0 && i < (int) scaleSteps.size() - 1)
            setDisplayScale (scaleSteps[(size_t) i + 1]);
        return true;
    }
    if (is ('-') || is ('_'))
    {
        const int i = stepIndex();
        if (i > 0)
            setDisplayScale (scaleSteps[(size_t) i - 1]);
        return true;
    }
    if (is ('0'))
    {
        setDisplayScale (1.0);
        return true;
    }
    if (mods.isShiftDown() && (is ('G') || is ('g')))
    {
        debugGrid = ! debugGrid;
        repaint();
        return true;
    }
    return false;
}

void Editor::timerCallback()
{
    openPendingNotice();
    repaintWhereWindowsClosed();
    header.refreshTempo();

    matrix::updateModulationRings (synth);

    footer.setSampleRate (synth.getSampleRate());
    footer.setVoiceCount (1);
    footer.setCpuLoad (synth.cpuLoad.load());
    footer.setRoutingSummary (matrix::modulationSummaryText (synth));

    if (const bool dirty = synth.presetDirty.load(); dirty != lastSeenDirty)
    {
        lastSeenDirty = dirty;
        refreshPresetTitle();
    }
}

//==============================================================================
void Editor::paint (juce::Graphics& g)
{
    g.fillAll (palette::get (palette::bgGround));
}

void Editor::paintOverChildren (juce::Graphics& g)
{
    if (debugGrid)
        paintDebugGrid (g);
}

} // namespace quillon::ui
