// Dialogs and file choosers are windows of their own, so these need a display: CTest runs them under
// xvfb-run, and the headless run skips them.
#include "WindowTestSupport.h"

#include "plugin/Palette.h"
#include "ui/Editor.h"
#include "ui/UserPresets.h"

#include <cstdlib>

using namespace window_tests;
using quillon::ui::Editor;

namespace
{
int desktopWindowsNamed (const juce::String& name)
{
    int count = 0;
    auto& desktop = juce::Desktop::getInstance();
    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (auto* c = desktop.getComponent (i); c != nullptr && c->getName() == name && c->isVisible())
            ++count;
    return count;
}
} // namespace

class EditorDialogs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (std::getenv ("DISPLAY") == nullptr)
            GTEST_SKIP() << "needs a display";
        editor = std::make_unique<Editor> (processor);
        pumpMessages();
    }

    void TearDown() override
    {
        editor.reset();
        pumpMessages();
    }

    static void answer (juce::AlertWindow* dialog, int result)
    {
        ASSERT_NE (dialog, nullptr);
        dialog->exitModalState (result);
        pumpMessages();
    }

    ScopedUserHome home;
    QuillonAudioProcessor processor;
    std::unique_ptr<Editor> editor;
};

TEST_F (EditorDialogs, SaveAsOntoAnExistingFileAsksFirstInTheEditorsLook)
{
    const auto existing = home.userPresetFolder().getChildFile ("Bass_Lead.xml");
    ASSERT_TRUE (existing.getParentDirectory().createDirectory());
    ASSERT_TRUE (existing.replaceWithText ("<PARAMS displayName=\"older\"/>"));

    editor->saveCurrentPreset (true);
    auto* naming = editor->getSaveAsDialog();
    ASSERT_NE (naming, nullptr);
    EXPECT_EQ (&naming->getLookAndFeel(), &editor->getLookAndFeel());
    EXPECT_EQ (naming->findColour (juce::AlertWindow::backgroundColourId), quillon::palette::get (quillon::palette::bgPanel));

    // A second "Save preset as..." leaves the first dialog, and what is typed in it, alone.
    naming->getTextEditor ("name")->setText ("Bass/Lead");
    editor->saveCurrentPreset (true);
    pumpMessages();
    ASSERT_EQ (editor->getSaveAsDialog(), naming);
    EXPECT_EQ (naming->getTextEditorContents ("name"), "Bass/Lead");
    EXPECT_EQ (desktopWindowsNamed ("Save preset"), 1);

    // Save onto an existing file: asked, nothing written yet.
    answer (naming, 1);
    auto* replace = editor->getReplaceDialog();
    ASSERT_NE (replace, nullptr);
    EXPECT_EQ (&replace->getLookAndFeel(), &editor->getLookAndFeel());
    EXPECT_TRUE (existing.loadFileAsString().contains ("older"));

    // Cancel goes back to naming, with the typed name.
    answer (replace, 0);
    naming = editor->getSaveAsDialog();
    ASSERT_NE (naming, nullptr);
    EXPECT_EQ (naming->getTextEditorContents ("name"), "Bass/Lead");
    EXPECT_TRUE (existing.loadFileAsString().contains ("older"));

    answer (naming, 1);
    answer (editor->getReplaceDialog(), 1);
    EXPECT_EQ (editor->getSaveAsDialog(), nullptr);
    EXPECT_EQ (editor->getReplaceDialog(), nullptr);
    const auto written = juce::XmlDocument::parse (existing);
    ASSERT_NE (written, nullptr);
    EXPECT_EQ (written->getStringAttribute ("displayName"), "Bass/Lead");
    EXPECT_EQ (processor.getPresetSource(), "user:" + existing.getFullPathName());

    // A new name saves at once, without a question.
    editor->saveCurrentPreset (true);
    editor->getSaveAsDialog()->getTextEditor ("name")->setText ("fresh");
    answer (editor->getSaveAsDialog(), 1);
    EXPECT_EQ (editor->getReplaceDialog(), nullptr);
    EXPECT_TRUE (home.userPresetFolder().getChildFile ("fresh.xml").existsAsFile());
}

TEST_F (EditorDialogs, PresetAndThemeChoosersDoNotCancelEachOther)
{
    editor->loadPresetFromFile();
    pumpMessages();
    editor->chooseThemeJson();
    pumpMessages();
    editor->loadPresetFromFile();
    pumpMessages();

    EXPECT_NE (editor->getPresetChooser(), nullptr);
    EXPECT_NE (editor->getThemeChooser(), nullptr);
    EXPECT_EQ (desktopWindowsNamed ("Load Quillon preset"), 1);
    EXPECT_EQ (desktopWindowsNamed ("Import Quillon theme"), 1);

    // Closing the editor takes its dialogs with it.
    editor->saveCurrentPreset (true);
    editor.reset();
    pumpMessages();
    EXPECT_EQ (desktopWindowsNamed ("Load Quillon preset"), 0);
    EXPECT_EQ (desktopWindowsNamed ("Save preset"), 0);
}

TEST_F (EditorDialogs, ClosingTheBrowserLeavesNoButtonFocusedForAReturnToPress)
{
    editor->addToDesktop (0);
    editor->setVisible (true);
    pumpMessages();

    processor.setPresetInfo ("mine", {});
    setParam (processor, "filterCutoff", 55.0f);

    editor->showView (1);
    ASSERT_TRUE (editor->getBrowseView().hasKeyboardFocus (true));
    auto* focused = juce::Component::getCurrentlyFocusedComponent();
    ASSERT_NE (focused, nullptr);
    EXPECT_TRUE (focused->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)));
    pumpMessages();
    EXPECT_EQ (editor->getActiveView(), 0);

    // Return now reaches nothing that loads a preset.
    focused = juce::Component::getCurrentlyFocusedComponent();
    EXPECT_EQ (focused, editor.get());
    if (focused != nullptr)
        focused->keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
    pumpMessages();
    EXPECT_EQ (processor.getPresetName(), "mine");
    EXPECT_NEAR (paramValue (processor, "filterCutoff"), 55.0f, 0.01f);
    editor->removeFromDesktop();
}

TEST_F (EditorDialogs, ANoticeWaitsForTheEditorToBeShownThenOpensInItsLook)
{
    editor->showNotice ("Preset not saved", "\"x\" was not saved: the disk is full.");
    pumpMessages();
    EXPECT_EQ (editor->getNoticeDialog(), nullptr); // not on screen yet: a host has not placed it

    editor->addToDesktop (juce::ComponentPeer::windowHasTitleBar);
    editor->setVisible (true);
    for (int i = 0; i < 100 && editor->getNoticeDialog() == nullptr; ++i)
    {
        pumpMessages();
        juce::Thread::sleep (10);
    }

    auto* notice = editor->getNoticeDialog();
    ASSERT_NE (notice, nullptr);
    EXPECT_EQ (desktopWindowsNamed ("Preset not saved"), 1);
    EXPECT_EQ (&notice->getLookAndFeel(), &editor->getLookAndFeel());
    EXPECT_EQ (notice->getNumButtons(), 1);

    // A newer notice takes its place rather than piling up.
    editor->showNotice ("Theme not imported", "\"t.json\" was not imported: it is empty.");
    pumpMessages();
    EXPECT_EQ (desktopWindowsNamed ("Preset not saved"), 0);
    EXPECT_EQ (desktopWindowsNamed ("Theme not imported"), 1);

    answer (editor->getNoticeDialog(), 0);
    EXPECT_EQ (editor->getNoticeDialog(), nullptr);
}
