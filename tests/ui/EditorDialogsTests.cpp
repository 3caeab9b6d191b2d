// Dialogs and file choosers are windows of their own, so these need a display: CTest runs them under
// xvfb-run, and the headless run skips them.
#include "ScreenCapture.h"
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
        {
            GTEST_SKIP() << "needs a display";
        }
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

namespace
{
// A press and release of the left button where a user would click, through the window itself, so the
// framework's own focus handling runs as it does for a real click.
void clickInWindow (Editor& editor, juce::Point<float> designPoint, int button = juce::ModifierKeys::leftButtonModifier)
{
    auto* peer = editor.getPeer();
    ASSERT_NE (peer, nullptr);
    const auto p = peer->getComponent().getLocalPoint (&editor, designPoint * editor.getDisplayScale());
    const auto t = juce::Time::currentTimeMillis();
    const auto mouse = juce::MouseInputSource::InputSourceType::mouse;
    peer->handleMouseEvent (mouse, p, {}, juce::MouseInputSource::defaultPressure, 0.0f, t);
    peer->handleMouseEvent (mouse, p, juce::ModifierKeys (button), juce::MouseInputSource::defaultPressure, 0.0f, t + 10);
    peer->handleMouseEvent (mouse, p, {}, juce::MouseInputSource::defaultPressure, 0.0f, t + 60);
    pumpMessages();
}

void typeInWindow (Editor& editor, const juce::KeyPress& key)
{
    if (auto* peer = editor.getPeer())
        peer->handleKeyPress (key);
    pumpMessages();
}

juce::Component* desktopWindowNamed (const juce::String& name)
{
    auto& desktop = juce::Desktop::getInstance();
    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (auto* c = desktop.getComponent (i); c != nullptr && c->getName() == name && c->isVisible())
            return c;
    return nullptr;
}
} // namespace

TEST_F (EditorDialogs, ReturnAfterAClickOrAClosedDialogKeepsTheEditedSound)
{
    editor->addToDesktop (0);
    editor->setVisible (true);
    // The window system hands a new window the focus in its own time.
    for (int i = 0; i < 50 && ! editor->hasKeyboardFocus (false); ++i)
    {
        editor->grabKeyboardFocus();
        pumpMessages();
        juce::Thread::sleep (10);
    }

    editor->loadFactoryPreset (5);
    const auto name = processor.getPresetName();
    setParam (processor, "filterCutoff", 55.0f);
    ASSERT_TRUE (processor.presetDirty.load());

    const auto expectSoundKept = [&] (const char* after)
    {
        SCOPED_TRACE (after);
        EXPECT_EQ (editor->getCurrentPresetIndex(), 5);
        EXPECT_EQ (processor.getPresetName(), name);
        EXPECT_NEAR (paramValue (processor, "filterCutoff"), 55.0f, 0.01f);
        EXPECT_TRUE (processor.presetDirty.load());
        const auto* focused = juce::Component::getCurrentlyFocusedComponent();
        EXPECT_EQ (dynamic_cast<const juce::Button*> (focused), nullptr) << "a button holds the focus";
    };
    const auto pressReturn = [&] { typeInWindow (*editor, juce::KeyPress (juce::KeyPress::returnKey)); };

    // The tempo box, with a tempo typed as if it were a field; then the empty header left of it.
    clickInWindow (*editor, { 24.0f + 972.0f + 48.0f, 24.0f + 22.0f + 22.0f });
    for (auto c : juce::String ("120"))
        typeInWindow (*editor, juce::KeyPress (c, {}, c));
    pressReturn();
    expectSoundKept ("a click on the tempo box");
    clickInWindow (*editor, { 24.0f + 1087.0f, 24.0f + 44.0f }); // between the tempo box and the settings button
    pressReturn();
    expectSoundKept ("a click on the empty header");

    // A click on an arrow steps once, and leaves it without the focus.
    clickInWindow (*editor, { 24.0f + 216.0f + 22.0f, 24.0f + 22.0f + 22.0f });
    EXPECT_EQ (editor->getCurrentPresetIndex(), 4);
    EXPECT_EQ (juce::Component::getCurrentlyFocusedComponent(), editor.get());
    editor->loadFactoryPreset (5);
    setParam (processor, "filterCutoff", 55.0f);

    // Every dialog, cancelled: the focus is the editor's again, and Return does nothing.
    editor->saveCurrentPreset (true);
    answer (editor->getSaveAsDialog(), 0);
    pressReturn();
    expectSoundKept ("the cancelled save-as dialog");
    EXPECT_EQ (juce::Component::getCurrentlyFocusedComponent(), editor.get());

    ASSERT_TRUE (home.userPresetFolder().createDirectory());
    ASSERT_TRUE (home.userPresetFolder().getChildFile ("taken.xml").replaceWithText ("<PARAMS/>"));
    editor->saveCurrentPreset (true);
    editor->getSaveAsDialog()->getTextEditor ("name")->setText ("taken");
    answer (editor->getSaveAsDialog(), 1);
    answer (editor->getReplaceDialog(), 0);
    answer (editor->getSaveAsDialog(), 0);
    pressReturn();
    expectSoundKept ("a cancelled \"Replace preset?\"");
    EXPECT_EQ (juce::Component::getCurrentlyFocusedComponent(), editor.get());

    for (const auto* title : { "Load Quillon preset", "Import Quillon theme" })
    {
        if (juce::String (title).startsWith ("Load"))
            editor->loadPresetFromFile();
        else
            editor->chooseThemeJson();
        pumpMessages();
        auto* chooser = desktopWindowNamed (title);
        ASSERT_NE (chooser, nullptr) << title;
        chooser->exitModalState (0);
        pumpMessages();
        pressReturn();
        expectSoundKept (title);
        EXPECT_EQ (juce::Component::getCurrentlyFocusedComponent(), editor.get()) << title;
    }
    editor->removeFromDesktop();
}

namespace
{
// The framework paints a window on its own timer: give it a few rounds.
void settle()
{
    for (int i = 0; i < 10; ++i)
    {
        pumpMessages();
        juce::Thread::sleep (30);
    }
    pumpMessages();
}

// Pixels of an area of the editor where the screen shows something other than what the editor paints.
int staleOnScreen (Editor& editor, juce::Rectangle<int> area)
{
    const auto painted = editor.createComponentSnapshot (area, true, 1.0f);
    return countDifferingPixels (painted, captureScreen (area + editor.getScreenPosition()));
}
} // namespace

TEST_F (EditorDialogs, WhatAClosedWindowCoveredIsPaintedAgain)
{
    // In a window with a title bar around the editor, as the standalone program has: there the
    // framework leaves a closed window's picture on the editor.
    juce::DocumentWindow window ("Quillon", juce::Colours::black, juce::DocumentWindow::allButtons);
    window.setUsingNativeTitleBar (false);
    window.setContentNonOwned (editor.get(), true);
    window.setTopLeftPosition (0, 0);
    window.setVisible (true);
    settle();

    const auto expectPaintedAgain = [this] (juce::Component* closing, const std::function<void()>& close)
    {
        ASSERT_NE (closing, nullptr);
        const auto covered = editor->getLocalArea (nullptr, closing->getScreenBounds()).getIntersection (editor->getLocalBounds());
        const int area = covered.getWidth() * covered.getHeight();
        ASSERT_GT (area, 2000);
        ASSERT_GT (staleOnScreen (*editor, covered), area / 4) << "it never showed";
        close();
        settle();
        EXPECT_LT (staleOnScreen (*editor, covered), area / 100) << "its picture stayed";
    };

    {
        SCOPED_TRACE ("the cancelled save-as dialog");
        editor->saveCurrentPreset (true);
        settle();
        expectPaintedAgain (editor->getSaveAsDialog(), [this] { answer (editor->getSaveAsDialog(), 0); });
    }
    {
        SCOPED_TRACE ("the cancelled theme chooser");
        editor->chooseThemeJson();
        settle();
        auto* chooser = desktopWindowNamed ("Import Quillon theme");
        expectPaintedAgain (chooser, [chooser] { chooser->exitModalState (0); });
    }
    {
        SCOPED_TRACE ("the preset menu, dismissed");
        clickInWindow (*editor, { 24.0f + 216.0f + 100.0f, 24.0f + 44.0f }, juce::ModifierKeys::rightButtonModifier);
        settle();
        juce::Component* menu = nullptr;
        auto& desktop = juce::Desktop::getInstance();
        for (int i = 0; i < desktop.getNumComponents(); ++i)
            if (auto* c = desktop.getComponent (i); c != &window && c->isVisible()
                                                    && c->getScreenBounds().intersects (editor->getScreenBounds()))
                menu = c;
        expectPaintedAgain (menu, [] { juce::PopupMenu::dismissAllActiveMenus(); });
    }

    window.clearContentComponent();
}

TEST_F (EditorDialogs, TheDepthBarsFocusOutlineGoesWithTheFocus)
{
    editor->addToDesktop (0);
    editor->setTopLeftPosition (0, 0);
    editor->setVisible (true);
    editor->showView (3);
    settle();

    auto& row = editor->getMatrixSlideOut().getRow (0);
    auto& bar = row.getAmountBar();
    // The window system hands a new window the focus in its own time.
    for (int i = 0; i < 20 && ! bar.hasKeyboardFocus (false); ++i)
    {
        bar.grabKeyboardFocus();
        settle();
    }
    bar.repaint(); // as a click on it does
    settle();
    ASSERT_TRUE (bar.hasKeyboardFocus (false));
    const auto around = editor->getLocalArea (&bar, bar.getLocalBounds().expanded (3)).getIntersection (editor->getLocalBounds());
    const auto withOutline = captureScreen (around + editor->getScreenPosition());

    // The destination's drop-down takes the focus, as it does while its list is open.
    row.getDestinationDropdown().getComboBox().grabKeyboardFocus();
    settle();
    ASSERT_FALSE (bar.hasKeyboardFocus (false));
    EXPECT_GT (countDifferingPixels (withOutline, captureScreen (around + editor->getScreenPosition())), 100);
    EXPECT_LT (staleOnScreen (*editor, around), 20) << "the bar's old focus outline is still on the screen";
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
