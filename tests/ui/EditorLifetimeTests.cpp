// The editor and the processor go away in whatever order a host chooses, also at the host's exit.
#include "WindowTestSupport.h"

#include <malloc.h>

using namespace window_tests;
using quillon::ui::Editor;

namespace
{
Editor* editorLeftOpen = nullptr;

// Runs after every static object constructed since it was registered has been destroyed: the editor's
// timer ticking there is what a host's message thread does while the host exits with the editor open.
void tickTheOpenEditor()
{
    editorLeftOpen->timerCallback();
    std::_Exit (0);
}
} // namespace

TEST (EditorLifetime, EditorFirstThenProcessor)
{
    ScopedUserHome home;
    auto processor = std::make_unique<QuillonAudioProcessor>();
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditorIfNeeded());
    ASSERT_NE (editor, nullptr);
    pumpMessages();
    dynamic_cast<Editor&> (*editor).timerCallback();

    editor.reset();
    EXPECT_EQ (processor->getActiveEditor(), nullptr);
    processor.reset();
    pumpMessages();
}

TEST (EditorLifetime, ProcessorFirstTakesItsOpenEditorWithIt)
{
    ScopedUserHome home;
    auto processor = std::make_unique<QuillonAudioProcessor>();
    juce::Component::SafePointer<juce::AudioProcessorEditor> editor (processor->createEditorIfNeeded());
    ASSERT_NE (editor, nullptr);
    juce::Component window;
    window.addAndMakeVisible (editor.getComponent());
    pumpMessages();

    processor.reset();
    EXPECT_EQ (editor.getComponent(), nullptr) << "the editor outlived the processor it shows";
    EXPECT_EQ (window.getNumChildComponents(), 0);
    pumpMessages(); // no timer of a dangling editor may run
}

TEST (EditorLifetime, AnEditorLeftOpenAtExitStillTicks)
{
    GTEST_FLAG_SET (death_test_style, "threadsafe");
    EXPECT_EXIT (
        {
            // Freed memory is overwritten, so anything destroyed at exit that the tick still reached
            // would crash it rather than be read as it was.
            mallopt (M_PERTURB, 0xa5);
            std::atexit (tickTheOpenEditor);
            static ScopedUserHome home;
            auto* processor = new QuillonAudioProcessor();
            editorLeftOpen = dynamic_cast<Editor*> (processor->createEditorIfNeeded());
            if (editorLeftOpen == nullptr)
                std::_Exit (2);
            editorLeftOpen->timerCallback();
            std::exit (1); // the host quits; only the tick at the end can turn this into 0
        },
        ::testing::ExitedWithCode (0), "");
}

TEST (EditorLifetime, MessagesStillQueuedWhenBothAreGoneFindNothing)
{
    ScopedUserHome home;
    auto processor = std::make_unique<QuillonAudioProcessor>();
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditorIfNeeded());
    pumpMessages();

    // Work the editor posts for later: a refit after being placed in a window, a snap after an
    // odd size, repaints after a host's automation.
    juce::Component window;
    window.addAndMakeVisible (*editor);
    editor->setSize (1000, 700);
    setParam (*processor, "lfoSyncBpm", 133.0f);
    setParam (*processor, "octave", 1.0f);

    editor.reset();
    processor.reset();
    pumpMessages();
}
