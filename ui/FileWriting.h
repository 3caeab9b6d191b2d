#pragma once

#include <juce_core/juce_core.h>

namespace quillon::ui
{

/** Replaces a file's content in one step: the bytes go to a hidden file beside it, are synced, and
    that file is then renamed over the target, so a write that fails (a full disk, a file size limit,
    a read-only folder) leaves the old file as it was and nothing half-written behind. The failure
    comes back with the system's reason ("No space left on device"). JUCE's FileOutputStream is not
    used: it drops the error of a write that stores only part of its bytes. */
juce::Result replaceFileContent (const juce::File& target, const void* data, size_t numBytes);

inline juce::Result replaceFileContent (const juce::File& target, const juce::String& text)
{
    return replaceFileContent (target, text.toRawUTF8(), text.getNumBytesAsUTF8());
}

} // namespace quillon::ui
