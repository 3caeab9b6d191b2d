// The standalone program's application object. It is the framework's own standalone window, handed
// the editor's settings file, so the window's keys ("audioSetup", "shouldMuteInput", "filterState",
// window position) and the editor's keys share one file without either side overwriting the other.
// Only the standalone program links this object file: nothing else refers to juce_CreateApplication.

#include <juce_core/system/juce_TargetPlatform.h>

#if JucePlugin_Build_Standalone && JUCE_USE_CUSTOM_PLUGIN_STANDALONE_APP

#include <juce_audio_plugin_client/juce_audio_plugin_client.h>
#include <juce_audio_utils/juce_audio_utils.h>
#include <juce_gui_extra/juce_gui_extra.h>
#include <juce_audio_plugin_client/Standalone/juce_StandaloneFilterWindow.h>

#include "ui/Settings.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quillon::ui
{

namespace
{
// A logout, shutdown or terminal hang-up asks the program to quit with a signal. The handler only
// writes a byte into a pipe; the message loop reads it and quits the way closing the window does,
// so the session is saved.
int quitSignalPipe[2] { -1, -1 };

void onQuitSignal (int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write (quitSignalPipe[1], &byte, 1);
    errno = savedErrno;
}

void installQuitSignals (std::function<void()> quitOnMessageThread)
{
    if (quitSignalPipe[0] >= 0 || ::pipe2 (quitSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;

    juce::LinuxEventLoop::registerFdCallback (quitSignalPipe[0], [quit = std::move (quitOnMessageThread)] (int fd)
    {
        char bytes[16];
        while (::read (fd, bytes, sizeof (bytes)) > 0) {}
        quit();
    });

    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset (&action.sa_mask);
    action.sa_flags = SA_RESTART;

    // SIGINT too: JUCE's own handler for it quits without saving.
    for (const int signal : { SIGTERM, SIGHUP, SIGINT })
        sigaction (signal, &action, nullptr);
}

void removeQuitSignals()
{
    if (quitSignalPipe[0] < 0)
        return;

    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset (&action.sa_mask);
    // The window is gone: a late signal during shutdown changes nothing.
    for (const int signal : { SIGTERM, SIGHUP, SIGINT })
        sigaction (signal, &action, nullptr);

    juce::LinuxEventLoop::unregisterFdCallback (quitSignalPipe[0]);
}
} // namespace

class StandaloneApp : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override { return juce::CharPointer_UTF8 (JucePlugin_Name); }
    const juce::String getApplicationVersion() override { return JucePlugin_VersionString; }
    bool moreThanOneInstanceAllowed() override { return true; }
    void anotherInstanceStarted (const juce::String&) override {}

    void initialise (const juce::String&) override
    {
        const auto background = juce::LookAndFeel::getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId);
        mainWindow = std::make_unique<juce::StandaloneFilterWindow> (getApplicationName(), background,
                                                                     new SettingsFile(), true);
        mainWindow->setVisible (true);

        installQuitSignals ([this] { systemRequestedQuit(); });
    }

    void shutdown() override
    {
        removeQuitSignals();
        mainWindow = nullptr;
    }

    void systemRequestedQuit() override
    {
        if (mainWindow != nullptr)
            mainWindow->pluginHolder->savePluginState();

        if (juce::ModalComponentManager::getInstance()->cancelAllModalComponents())
        {
            juce::Timer::callAfterDelay (100, []
            {
                if (auto* app = juce::JUCEApplicationBase::getInstance())
                    app->systemRequestedQuit();
            });
        }
        else
        {
            quit();
        }
    }

private:
    std::unique_ptr<juce::StandaloneFilterWindow> mainWindow;
};

} // namespace quillon::ui

juce::JUCEApplicationBase* juce_CreateApplication();
juce::JUCEApplicationBase* juce_CreateApplication()
{
    return new quillon::ui::StandaloneApp();
}

#endif
