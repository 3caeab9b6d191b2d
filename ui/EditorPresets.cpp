// Presets from the editor: stepping through the factory presets, the title, and user preset files
// with their dialogs.

#include "ui/Editor.h"

#include "plugin/Palette.h"
#include "plugin/PluginProcessor.h"
#include "ui/UserPresets.h"

namespace quillon::ui
{

namespace
{
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

} // namespace

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

    if (xml == nullptr || ! synth.loadStateTree (*xml))
    {
        synth.setPresetInfo ({}, {});
        refreshPresetTitle();
        return;
    }

    synth.setPresetInfo (entry->displayName, "factory:" + entry->xml);
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

    auto name = synth.getPresetName();
    if (name.isEmpty())
        name = catalogueNameAt (currentPresetIndex);
    header.setPresetName (name, synth.presetDirty.load() && name.isNotEmpty());
}

//==============================================================================
void Editor::saveCurrentPreset (bool askName)
{
    auto defaultName = synth.getPresetName();
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
    if (writeUserPreset (synth, userPresetFolder(), name, &error) == juce::File())
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

    // Whatever held the focus before (a button of the header) must not get it back when this closes.
    takeFocusBack();

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
        if (safe != nullptr && safe->saveAsDialog == nullptr && safe->replaceDialog == nullptr)
            safe->afterDialogClosed();
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
        if (safe != nullptr && safe->saveAsDialog == nullptr && safe->replaceDialog == nullptr)
            safe->afterDialogClosed();
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
    takeFocusBack();

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
                                        if (safe == nullptr)
                                            return;
                                        safe->presetChooser.reset();
                                        safe->afterDialogClosed();
                                    });
                                });
}

void Editor::loadChosenPresetFile (const juce::File& file)
{
    juce::String error;
    if (loadUserPresetFile (synth, file, &error))
        refreshPresetTitle();
    else
        showNotice ("Preset not loaded", "\"" + file.getFileName() + "\" was not loaded: " + asSentence (error));
}

//==============================================================================
// The one way the editor tells the user that something they did failed.
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
    takeFocusBack();

    auto* dialog = new juce::AlertWindow (noticeTitle, noticeText, juce::MessageBoxIconType::NoIcon);
    styleDialog (*dialog, lookAndFeel);
    dialog->addButton ("OK", 0, juce::KeyPress (juce::KeyPress::returnKey), juce::KeyPress (juce::KeyPress::escapeKey));
    noticeDialog = dialog;

    juce::Component::SafePointer<Editor> safe (this);
    dialog->enterModalState (true, juce::ModalCallbackFunction::create ([safe] (int)
    {
        if (safe != nullptr)
            safe->afterDialogClosed();
    }), true);
}

void Editor::revealUserPresetFolder()
{
    userPresetFolder().revealToUser();
}

} // namespace quillon::ui
