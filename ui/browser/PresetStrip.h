#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

namespace quillon::ui::widgets
{

/** The compact preset control in the header: position line, name (click to rename), arrows, BROWSE
    and a right-click menu for user preset files. It decides nothing; its owner wires the callbacks. */
class PresetNavStrip : public juce::Component,
                       public juce::SettableTooltipClient,
                       private juce::TextEditor::Listener
{
public:
    PresetNavStrip();
    ~PresetNavStrip() override;

    std::function<void()> onPrevious, onNext, onBrowse;
    std::function<void (const juce::String&)> onRename;
    std::function<void()> onSavePreset, onSavePresetAs, onLoadPresetFromFile, onRevealUserPresetFolder;

    int presetIndex = 1;
    int presetCount = 1;

    /** The name drawn; while modified, " *" is drawn after it, but a rename starts from the bare name. */
    void setPresetName (const juce::String& name, bool modified = false);

    /** "PRESET 03 / 68". */
    juce::String getPositionText() const;
    const juce::String& getPresetName() const noexcept { return presetName; }

    /** Item ids of the user preset menu. */
    enum MenuItem { saveItem = 1, saveAsItem, loadItem, revealItem };
    static juce::PopupMenu buildUserPresetMenu();
    void handleMenuResult (int result);

    juce::Rectangle<int> getNameCell() const;
    juce::Rectangle<int> getPositionLineArea() const;
    juce::TextEditor* getRenameEditor() const noexcept { return renameEditor.get(); }
    void commitRename();
    void cancelRename();

    void mouseDown (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    void resized() override;

    class ArrowButton : public juce::Button
    {
    public:
        explicit ArrowButton (int direction);
        void paintButton (juce::Graphics&, bool highlighted, bool down) override;

    private:
        int direction;
    };

    class BrowseButton : public juce::Button
    {
    public:
        BrowseButton();
        void paintButton (juce::Graphics&, bool highlighted, bool down) override;
    };

private:
    void beginRename();
    // Through the listener rather than the editor's std::function callbacks: JUCE checks for the
    // editor being deleted after a listener call, and both commit and cancel delete it.
    void textEditorReturnKeyPressed (juce::TextEditor&) override { commitRename(); }
    void textEditorEscapeKeyPressed (juce::TextEditor&) override { cancelRename(); }
    void textEditorFocusLost (juce::TextEditor&) override { commitRename(); }
    int rowTop() const noexcept;
    int rowHeight() const noexcept;

    juce::String presetName, editableName;

public:
    ArrowButton previousButton { 0 }, nextButton { 1 };
    BrowseButton browseButton;

private:
    std::unique_ptr<juce::TextEditor> renameEditor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetNavStrip)
};

} // namespace quillon::ui::widgets
