#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <initializer_list>
#include <vector>

namespace quillon::ui::widgets
{

/** The change gestures one mouse drag holds open, so a host records the drag as one edit of each
    parameter it moves. Ends whatever is still open when a new drag begins or the owner goes. */
class DragGestures
{
public:
    DragGestures() = default;
    ~DragGestures() { endAll(); }

    void begin (std::initializer_list<juce::AudioProcessorParameter*> parameters)
    {
        endAll();

        for (auto* p : parameters)
        {
            if (p != nullptr)
            {
                p->beginChangeGesture();
                open.push_back (p);
            }
        }
    }

    void endAll()
    {
        for (auto* p : open)
            p->endChangeGesture();

        open.clear();
    }

    bool isOpen() const noexcept { return ! open.empty(); }

private:
    std::vector<juce::AudioProcessorParameter*> open;

    JUCE_DECLARE_NON_COPYABLE (DragGestures)
};

} // namespace quillon::ui::widgets
