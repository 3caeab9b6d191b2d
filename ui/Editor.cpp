#include "ui/Editor.h"

#include "plugin/Palette.h"
#include "plugin/PluginProcessor.h"
#include "plugin/SafeInput.h"
#include "ui/Settings.h"
#include "ui/UserPresets.h"

#include "ui/Themes.h"
#include "ui/matrix/ModulationOverview.h"

#include <cmath>
#include <cstdlib>

namespace quillon::ui
{

namespace
{
const juce::Rectangle<int> headerBounds { 24, 24, 1284, 96 };
const juce::Rectangle<int> footerBounds { 24, 780, 1284, 96 };
const juce::Rectangle<int> canvasBounds { 24, 132, 1284, 636 };
const juce::Rectangle<int> browserBounds { 24, 0, 1284, 900 };
const juce::Rectangle<int> settingsBounds { 888, 132, 420, 636 };
const juce::Rectangle<int> matrixBounds { 24, 308, 1284, 460 };
const juce::Rectangle<int> gridBounds { 24, 24, 1284, 852 };

bool nearlyEqual (float a, float b) { return std::abs (a - b) < 1.0e-4f; }

void writeSetting (juce::PropertiesFile* file, const juce::String& key, const juce::var& value)
{
    if (file == nullptr)
        return;
    file->setValue (key, value);
    file->saveIfNeeded();
}

// Dialogs are separate windows: they get the editor's look-and-feel and its palette colours.
void styleDialog (juce::AlertWindow& dialog, juce::LookAndFeel& lookAndFeel)
{
    dialog.setLookAndFeel (&lookAndFeel);
    dialog.setColour (juce::AlertWindow::backgroundColourId, palette::get (palette::bgPanel));
    dialog.setColour (juce::AlertWindow::textColourId, palette::get (palette::textPrimary));
    dialog.setColour (juce::AlertWindow::outlineColourId, palette::get (palette::borderHair));
}

void styleDialogFields (juce::AlertWindow& dialog)
{
    for (int i = 0; i < dialog.getNumChildComponents(); ++i)
        if (auto* field = dynamic_cast<juce::TextEditor*> (dialog.getChildComponent (i)))
        {
            field->setColour (juce::TextEditor::backgroundColourId, palette::get (palette::bgSurface));
            field->setColour (juce::TextEditor::textColourId, palette::get (palette::textPrimary));
            field->setColour (juce::TextEditor::outlineColourId, palette::get (palette::borderHair));
            field->setColour (juce::TextEditor::focusedOutlineColourId, palette::get (palette::accentPrimary));
            field->setColour (juce::TextEditor::highlightColourId, palette::get (palette::accentPrimary).withAlpha (0.3f));
            field->setColour (juce::TextEditor::highlightedTextColourId, palette::get (palette::textPrimary));
            field->setColour (juce::CaretComponent::caretColourId, palette::get (palette::accentPrimary));
            field->applyColourToAllText (palette::get (palette::textPrimary));
        }
}

// A reason ends a notice's sentence; some come with their own full stop.
juce::String asSentence (const juce::String& reason)
{
    return reason.endsWithChar ('.') ? reason : reason + ".";
}

// The hooks are process-wide; only the editor that installed them may empty them.
const Editor* hookOwner = nullptr;
const Editor* settingsProblemHandlerOwner = nullptr;
} // namespace

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

//==============================================================================
float Editor::nearestScaleStep (double requested)
{
    float best = scaleSteps[0];
    double bestDistance = std::abs (requested - (double) scaleSteps[0]);

    for (size_t i = 1; i < scaleSteps.size(); ++i)
    {
        const double distance = std::abs (requested - (double) scaleSteps[i]);
        if (distance < bestDistance)
        {
            best = scaleSteps[i];
            bestDistance = distance;
        }
    }

    return best;
}

float Editor::snapToScaleStep (int width, int height)
{
    return nearestScaleStep (((double) width / designWidth + (double) height / designHeight) / 2.0);
}

bool Editor::stepFits (float step, juce::Rectangle<int> area, juce::Point<int> frame)
{
    return scaledWidth (step) + frame.x <= area.getWidth() && scaledHeight (step) + frame.y <= area.getHeight();
}

float Editor::largestFittingStep (float wanted, juce::Rectangle<int> area, juce::Point<int> frame)
{
    for (auto it = scaleSteps.rbegin(); it != scaleSteps.rend(); ++it)
        if (*it <= wanted + 1.0e-4f && stepFits (*it, area, frame))
            return *it;

    return scaleSteps.front();
}

void Editor::SnapScaleConstrainer::checkBounds (juce::Rectangle<int>& bounds, const juce::Rectangle<int>& previous,
                                                const juce::Rectangle<int>& limits, bool isStretchingTop,
                                                bool isStretchingLeft, bool isStretchingBottom, bool isStretchingRight)
{
    juce::ComponentBoundsConstrainer::checkBounds (bounds, previous, limits, isStretchingTop, isStretchingLeft,
                                                   isStretchingBottom, isStretchingRight);

    const auto s = juce::jmin (snapToScaleStep (bounds.getWidth(), bounds.getHeight()), nearestScaleStep (maxScale));
    bounds.setSize (scaledWidth (s), scaledHeight (s));

    if (isStretchingLeft && ! isStretchingRight)
        bounds.setX (previous.getRight() - bounds.getWidth());
    if (isStretchingTop && ! isStretchingBottom)
        bounds.setY (previous.getBottom() - bounds.getHeight());
}

//==============================================================================
Editor::Editor (QuillonAudioProcessor& p)
    : juce::AudioProcessorEditor (p),
      processor (p),
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

    if (const auto source = processor.getPresetSource(); source.startsWith ("factory:"))
        selectPresetBySource (source.substring (8));

    lastSeenDirty = processor.presetDirty.load();
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
    applyPaletteToTree (designCanvas);
    repaint();
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
        processor.setPresetName (name);
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
        processor.setPresetInfo (entry != nullptr ? entry->displayName : juce::String(), "factory:" + id);
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

//==============================================================================
void Editor::setDisplayScale (double wanted)
{
    requestedScale = nearestScaleStep (wanted);
    displayScale = fittedScale (requestedScale);
    storeDisplayScale();
    setSize (scaledWidth (displayScale), scaledHeight (displayScale));
    layOutDesignCanvas();
    settingsPanel.setDisplayScale (displayScale);
    keepWindowOnDisplay();
}

void Editor::storeDisplayScale()
{
    // The user's choice is kept: on a larger display the window opens at it again.
    writeSetting (settings.get(), "displayScale", (double) requestedScale);
}

std::optional<juce::Rectangle<int>> Editor::getDisplayUserArea() const
{
    if (displayAreaOverride.has_value())
        return displayAreaOverride;

    const auto& displays = juce::Desktop::getInstance().getDisplays();
    const juce::Displays::Display* display = nullptr;

    if (auto* top = getTopLevelComponent(); top != nullptr && top->isOnDesktop())
        display = displays.getDisplayForRect (top->getScreenBounds());

    if (display == nullptr)
        display = displays.getPrimaryDisplay();

    if (display == nullptr || display->userArea.isEmpty())
        return std::nullopt;

    return display->userArea;
}

juce::Point<int> Editor::windowFrame() const
{
    // Only a window of our own has a known frame (the standalone's title bar and borders);
    // a host's window around the editor is the host's to place.
    auto* window = dynamic_cast<juce::ResizableWindow*> (getTopLevelComponent());

    if (window == nullptr)
        return {};

    juce::Point<int> frame (window->getWidth() - getWidth(), window->getHeight() - getHeight());

    if (auto* peer = window->getPeer())
        if (const auto border = peer->getFrameSizeIfPresent())
            frame += { border->getLeftAndRight(), border->getTopAndBottom() };

    return { juce::jmax (0, frame.x), juce::jmax (0, frame.y) };
}

float Editor::fittedScale (float wanted)
{
    auto scale = nearestScaleStep (wanted);
    juce::String note;

    if (const auto area = getDisplayUserArea())
    {
        const auto frame = windowFrame();
        const auto largest = largestFittingStep (scaleSteps.back(), *area, frame);
        constrainer.maxScale = largest;
        constrainer.setSizeLimits (scaledWidth (scaleSteps.front()), scaledHeight (scaleSteps.front()),
                                   scaledWidth (largest), scaledHeight (largest));

        const auto percent = [] (float s) { return juce::String (juce::roundToInt (s * 100.0f)) + "%"; };

        if (! stepFits (scale, *area, frame))
        {
            const auto fitting = largestFittingStep (scale, *area, frame);
            note = stepFits (fitting, *area, frame)
                       ? percent (scale) + " does not fit this display: showing " + percent (fitting)
                       : "No scale fits this display: showing " + percent (fitting);
            scale = fitting;
        }
    }

    settingsPanel.setScaleNote (note);
    return scale;
}

void Editor::keepWindowOnDisplay()
{
    auto* window = dynamic_cast<juce::ResizableWindow*> (getTopLevelComponent());
    const auto area = getDisplayUserArea();

    if (window == nullptr || ! area.has_value())
        return;

    juce::BorderSize<int> border;
    if (auto* peer = window->getPeer())
        if (const auto b = peer->getFrameSizeIfPresent())
            border = *b;

    const auto outer = border.addedTo (window->getBounds());
    auto placed = outer;

    if (outer.getWidth() <= area->getWidth() && outer.getHeight() <= area->getHeight())
        placed = outer.constrainedWithin (*area);
    else
        placed.setPosition (area->getPosition()); // too big anyway: keep the title bar and close button reachable

    if (placed.getPosition() != outer.getPosition())
        window->setTopLeftPosition (window->getPosition() + (placed.getPosition() - outer.getPosition()));
}

void Editor::parentHierarchyChanged()
{
    // Placed into a window: fit that window's display and frame once it is settled.
    if (refitPending || getParentComponent() == nullptr)
        return;

    refitPending = true;
    juce::Component::SafePointer<Editor> safe (this);
    juce::MessageManager::callAsync ([safe]
    {
        if (safe == nullptr)
            return;

        safe->refitPending = false;
        const auto wanted = safe->requestedScale;
        const auto fitted = safe->fittedScale (wanted);

        if (! juce::approximatelyEqual (fitted, safe->displayScale))
        {
            safe->displayScale = fitted;
            safe->setSize (scaledWidth (fitted), scaledHeight (fitted));
            safe->layOutDesignCanvas();
            safe->settingsPanel.setDisplayScale (fitted);
        }

        safe->keepWindowOnDisplay();
    });
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

//==============================================================================
juce::String Editor::catalogueNameAt (int position) const
{
    const auto entries = catalogue.allEntries();
    if (position >= 1 && position <= (int) entries.size() && entries[(size_t) position - 1] != nullptr)
        return entries[(size_t) position - 1]->displayName;
    return {};
}

void Editor::loadFactoryPreset (int position)
{
    const auto entries = catalogue.allEntries();
    const int count = (int) entries.size();

    if (count < 1)
        return;

    position = juce::jlimit (1, count, position);
    const auto* entry = entries[(size_t) position - 1];
    currentPresetIndex = position;

    // A preset that cannot be loaded leaves the sound as it is and claims no name.
    std::unique_ptr<juce::XmlElement> xml;
    if (entry != nullptr && entry->available)
        xml = quillon::presets::loadFactoryPresetXml (entry->xml);

    if (xml == nullptr || ! processor.loadStateTree (*xml))
    {
        processor.setPresetInfo ({}, {});
        refreshPresetTitle();
        return;
    }

    processor.setPresetInfo (entry->displayName, "factory:" + entry->xml);
    refreshPresetTitle();
}

void Editor::selectPresetBySource (const juce::String& presetFileName)
{
    const auto entries = catalogue.allEntries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i] != nullptr && entries[i]->xml == presetFileName)
        {
            currentPresetIndex = (int) i + 1;
            return;
        }
}

void Editor::refreshPresetTitle()
{
    header.setPresetPosition (currentPresetIndex, juce::jmax (catalogue.totalEntries(), 1));

    auto name = processor.getPresetName();
    if (name.isEmpty())
        name = catalogueNameAt (currentPresetIndex);
    header.setPresetName (name, processor.presetDirty.load() && name.isNotEmpty());
}

//==============================================================================
void Editor::saveCurrentPreset (bool askName)
{
    auto defaultName = processor.getPresetName();
    if (defaultName.isEmpty())
        defaultName = "untitled";

    if (! askName)
    {
        writeNamedPreset (defaultName);
        return;
    }

    showSaveAsDialog (defaultName);
}

void Editor::writeNamedPreset (const juce::String& name)
{
    juce::String error;
    if (writeUserPreset (processor, userPresetFolder(), name, &error) == juce::File())
        showNotice ("Preset not saved", "\"" + name + "\" was not saved: " + asSentence (error));
    refreshPresetTitle();
}

void Editor::showSaveAsDialog (const juce::String& suggestedName)
{
    // A second request while the user is still answering brings that dialog forward instead of
    // pulling it away from under the typing.
    for (auto* open : { saveAsDialog.getComponent(), replaceDialog.getComponent() })
        if (open != nullptr)
        {
            open->toFront (true);
            return;
        }

    auto* dialog = new juce::AlertWindow ("Save preset", "Name your preset", juce::MessageBoxIconType::NoIcon);
    styleDialog (*dialog, lookAndFeel);
    dialog->addTextEditor ("name", suggestedName, "Preset name:");
    dialog->addButton ("Save", 1, juce::KeyPress (juce::KeyPress::returnKey));
    dialog->addButton ("Cancel", 0, juce::KeyPress (juce::KeyPress::escapeKey));
    styleDialogFields (*dialog);
    saveAsDialog = dialog;

    juce::Component::SafePointer<Editor> safe (this);
    juce::Component::SafePointer<juce::AlertWindow> self (dialog);
    dialog->enterModalState (true, juce::ModalCallbackFunction::create ([safe, self] (int result)
    {
        if (safe == nullptr || self == nullptr)
            return;

        const auto typed = self->getTextEditorContents ("name");
        safe->saveAsDialog = nullptr; // it deletes itself once this returns
        safe->handleSaveAsResult (result, typed);
    }), true);

    // The name field takes the typing at once.
    if (auto* field = dialog->getTextEditor ("name"); field != nullptr && field->isShowing())
    {
        field->grabKeyboardFocus();
        field->selectAll();
    }
}

void Editor::handleSaveAsResult (int result, const juce::String& typedName)
{
    const auto name = typedName.trim();
    if (result != 1 || name.isEmpty())
        return;

    if (const auto file = userPresetFileFor (userPresetFolder(), name); file.existsAsFile())
    {
        // Not asked about: the answer could only be refused.
        if (isMarkedReadOnly (file))
            writeNamedPreset (name);
        else
            askToReplace (name, file);
        return;
    }

    writeNamedPreset (name);
}

void Editor::askToReplace (const juce::String& name, const juce::File& existing)
{
    if (replaceDialog != nullptr)
    {
        replaceDialog->toFront (true);
        return;
    }

    auto* dialog = new juce::AlertWindow ("Replace preset?",
                                          "A preset file named \"" + existing.getFileName()
                                              + "\" already exists in the user preset folder. Replace it?",
                                          juce::MessageBoxIconType::NoIcon);
    styleDialog (*dialog, lookAndFeel);
    dialog->addButton ("Replace", 1, juce::KeyPress (juce::KeyPress::returnKey));
    dialog->addButton ("Cancel", 0, juce::KeyPress (juce::KeyPress::escapeKey));
    replaceDialog = dialog;

    juce::Component::SafePointer<Editor> safe (this);
    dialog->enterModalState (true, juce::ModalCallbackFunction::create ([safe, name] (int result)
    {
        if (safe == nullptr)
            return;

        safe->replaceDialog = nullptr;
        safe->handleReplaceResult (result, name);
    }), true);
}

void Editor::handleReplaceResult (int result, const juce::String& name)
{
    if (result == 1)
        writeNamedPreset (name);
    else
        showSaveAsDialog (name); // another name, or Cancel there
}

void Editor::loadPresetFromFile()
{
    // Already open: a second chooser would cancel the first.
    if (presetChooser != nullptr)
        return;

    const auto folder = userPresetFolder();
    presetChooser = std::make_unique<juce::FileChooser> ("Load Quillon preset", folder, "*.xml", true);

    juce::Component::SafePointer<Editor> safe (this);
    presetChooser->launchAsync (juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles,
                                [safe] (const juce::FileChooser& chooser)
                                {
                                    if (safe == nullptr)
                                        return;
                                    if (const auto file = chooser.getResult(); file != juce::File())
                                        safe->loadChosenPresetFile (file);
                                    juce::MessageManager::callAsync ([safe]
                                    {
                                        if (safe != nullptr)
                                            safe->presetChooser.reset();
                                    });
                                });
}

void Editor::loadChosenPresetFile (const juce::File& file)
{
    juce::String error;
    if (loadUserPresetFile (processor, file, &error))
        refreshPresetTitle();
    else
        showNotice ("Preset not loaded", "\"" + file.getFileName() + "\" was not loaded: " + asSentence (error));
}

void Editor::revealUserPresetFolder()
{
    userPresetFolder().revealToUser();
}

//==============================================================================
void Editor::chooseThemeJson()
{
    if (themeChooser != nullptr)
        return;

    const auto folder = prepareThemesFolder();
    themeChooser = std::make_unique<juce::FileChooser> ("Import Quillon theme", folder, "*.json", true);

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
                                       if (safe != nullptr)
                                           safe->themeChooser.reset();
                                   });
                               });
}

void Editor::applyImportedTheme (const juce::File& file)
{
    juce::String text, error;
    if (! loadThemeFile (file, &text, &error))
    {
        showNotice ("Theme not imported", "\"" + file.getFileName() + "\" was not imported: " + asSentence (error));
        return;
    }

    storeTheme ("custom", text);
    applyPaletteToTree (designCanvas);
    repaint();
}

void Editor::writeThemeTemplate()
{
    prepareThemesFolder().revealToUser();
}

//==============================================================================
void Editor::layOutDesignCanvas()
{
    designCanvas.setBounds (0, 0, designWidth, designHeight);
    designCanvas.setTransform (juce::AffineTransform::scale (displayScale));

    header.setBounds (headerBounds);
    footer.setBounds (footerBounds);
    canvasView->setBounds (canvasBounds);
    browseView->setBounds (browserBounds);
    settingsPanel.setBounds (settingsBounds);
    matrixSlideOut.setBounds (matrixBounds);
}

void Editor::resized()
{
    const auto snapped = snapToScaleStep (getWidth(), getHeight());

    if (! nearlyEqual (snapped, displayScale))
    {
        // A host or a corner drag asked for this size: it becomes the choice, within the display.
        requestedScale = snapped;
        displayScale = fittedScale (snapped);
        storeDisplayScale();
        settingsPanel.setDisplayScale (displayScale);
    }

    if (getWidth() != scaledWidth (displayScale) || getHeight() != scaledHeight (displayScale))
    {
        juce::Component::SafePointer<Editor> safe (this);
        juce::MessageManager::callAsync ([safe]
                                         {
                                             if (safe != nullptr)
                                                 safe->setDisplayScale (safe->requestedScale);
                                         });
    }

    layOutDesignCanvas();
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

void Editor::showNotice (const juce::String& title, const juce::String& text)
{
    noticeTitle = title;
    noticeText = text;
    noticePending = true;
    openPendingNotice();
}

void Editor::openPendingNotice()
{
    // A notice raised before the window is on screen (a settings file set aside at start) waits
    // for it; a newer one replaces an open one.
    if (! noticePending || ! isShowing())
        return;

    noticePending = false;
    noticeDialog.deleteAndZero();

    auto* dialog = new juce::AlertWindow (noticeTitle, noticeText, juce::MessageBoxIconType::NoIcon);
    styleDialog (*dialog, lookAndFeel);
    dialog->addButton ("OK", 0, juce::KeyPress (juce::KeyPress::returnKey), juce::KeyPress (juce::KeyPress::escapeKey));
    noticeDialog = dialog;
    dialog->enterModalState (true, nullptr, true);
}

void Editor::timerCallback()
{
    openPendingNotice();

    header.refreshTempo();

    matrix::updateModulationRings (processor);

    footer.setSampleRate (processor.getSampleRate());
    footer.setVoiceCount (1);
    footer.setCpuLoad (processor.cpuLoad.load());
    footer.setRoutingSummary (matrix::modulationSummaryText (processor));

    if (const bool dirty = processor.presetDirty.load(); dirty != lastSeenDirty)
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
