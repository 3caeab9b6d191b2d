// The reader's plain parts: UTF-8, files and the host's state blob. XML is in SafeXml.cpp, JSON in
// SafeJson.cpp.

#include "plugin/SafeInput.h"
#include "plugin/SafeInputDetail.h"

#include <cstring>

#if ! JUCE_WINDOWS
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace quillon::input
{

using detail::setError;

//==============================================================================
bool isValidUtf8 (const void* data, size_t numBytes) noexcept
{
    const auto* s = static_cast<const unsigned char*> (data);
    const auto* const end = s + numBytes;

    while (s < end)
    {
        const unsigned char c = *s;

        if (c == 0)
            return false;

        if (c < 0x80)
        {
            ++s;
            continue;
        }

        int extra = 0;
        juce::uint32 code = 0, minimum = 0;

        if (c >= 0xc2 && c <= 0xdf)      { extra = 1; code = c & 0x1fu; minimum = 0x80; }
        else if (c >= 0xe0 && c <= 0xef) { extra = 2; code = c & 0x0fu; minimum = 0x800; }
        else if (c >= 0xf0 && c <= 0xf4) { extra = 3; code = c & 0x07u; minimum = 0x10000; }
        else return false;

        if (end - s <= extra)
            return false;

        for (int i = 1; i <= extra; ++i)
        {
            if ((s[i] & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (s[i] & 0x3fu);
        }

        if (code < minimum || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return false;

        s += extra + 1;
    }

    return true;
}

bool isValidUtf8 (const char* nulTerminated) noexcept
{
    return nulTerminated != nullptr && isValidUtf8 (nulTerminated, std::strlen (nulTerminated));
}

juce::String stringFromUtf8 (const void* data, size_t numBytes)
{
    if (numBytes == 0 || numBytes > (size_t) std::numeric_limits<int>::max() || ! isValidUtf8 (data, numBytes))
        return {};
    return juce::String::fromUTF8 (static_cast<const char*> (data), (int) numBytes);
}

//==============================================================================
bool readFileBytes (const juce::File& file, size_t maxBytes, juce::MemoryBlock& bytes, juce::String* error)
{
    bytes.reset();

   #if JUCE_WINDOWS
    if (! file.existsAsFile())
        return setError (error, "it is not a file"), false;
    if ((size_t) file.getSize() > maxBytes)
        return setError (error, "it is larger than Quillon reads"), false;
    if (! file.loadFileAsData (bytes))
        return setError (error, "it could not be read"), false;
    return bytes.getSize() <= maxBytes || (setError (error, "it is larger than Quillon reads"), false);
   #else
    const int fd = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);

    if (fd < 0)
        return setError (error, juce::String (std::strerror (errno)).toLowerCase()), false;

    struct FdCloser { int fd; ~FdCloser() { ::close (fd); } } closer { fd };
    struct stat info {};

    if (::fstat (fd, &info) != 0 || ! S_ISREG (info.st_mode))
        return setError (error, "it is not a regular file"), false;

    if ((size_t) info.st_size > maxBytes)
        return setError (error, "it is larger than Quillon reads"), false;

    // The file may grow while it is read: one byte more than allowed is enough to tell.
    bytes.setSize (maxBytes + 1, false);
    size_t total = 0;

    while (total < maxBytes + 1)
    {
        const auto got = ::read (fd, static_cast<char*> (bytes.getData()) + total, maxBytes + 1 - total);

        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return bytes.reset(), setError (error, juce::String (std::strerror (errno)).toLowerCase()), false;
        if (got == 0)
            break;
        total += (size_t) got;
    }

    if (total > maxBytes)
        return bytes.reset(), setError (error, "it is larger than Quillon reads"), false;

    bytes.setSize (total);
    return true;
   #endif
}

std::unique_ptr<juce::XmlElement> readXmlFile (const juce::File& file, juce::String* error)
{
    juce::MemoryBlock bytes;

    if (! readFileBytes (file, maxXmlBytes, bytes, error))
        return nullptr;

    return readXml (bytes.getData(), bytes.getSize(), error);
}

bool readJsonFile (const juce::File& file, juce::var& result, juce::String* text, juce::String* error)
{
    juce::MemoryBlock bytes;

    if (! readFileBytes (file, maxJsonBytes, bytes, error) || ! readJson (bytes.getData(), bytes.getSize(), result, error))
        return false;

    if (text != nullptr)
        *text = stringFromUtf8 (bytes.getData(), bytes.getSize());
    return true;
}

//==============================================================================
std::unique_ptr<juce::XmlElement> readStateBlob (const void* data, size_t numBytes, juce::String* error)
{
    // The framework's wrapper: a magic number, the text's length, the text and a NUL.
    constexpr juce::uint32 magicXmlNumber = 0x21324356;

    if (data == nullptr || numBytes <= 8 || juce::ByteOrder::littleEndianInt (data) != magicXmlNumber)
        return setError (error, "it is not a saved Quillon state"), nullptr;

    const auto stated = (size_t) juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4));
    const auto* text = static_cast<const char*> (data) + 8;
    const auto length = strnlen (text, juce::jmin (numBytes - 8, stated));

    return readXml (text, length, error);
}

} // namespace quillon::input
