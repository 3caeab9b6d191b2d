#pragma once

// Small pieces shared by the reader's own files (SafeInput.cpp, SafeXml.cpp, SafeJson.cpp).

#include <juce_core/juce_core.h>

namespace quillon::input::detail
{
inline void setError (juce::String* error, const juce::String& reason)
{
    if (error != nullptr)
        *error = reason;
}

// Skips a UTF-8 byte-order mark, as editors on some systems write one.
inline void skipByteOrderMark (const char*& text, size_t& size) noexcept
{
    if (size >= 3 && (unsigned char) text[0] == 0xef && (unsigned char) text[1] == 0xbb && (unsigned char) text[2] == 0xbf)
    {
        text += 3;
        size -= 3;
    }
}

} // namespace quillon::input::detail
