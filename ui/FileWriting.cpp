#include "ui/FileWriting.h"

#if JUCE_WINDOWS
namespace quillon::ui
{
juce::Result replaceFileContent (const juce::File& target, const void* data, size_t numBytes)
{
    juce::TemporaryFile replacement (target);
    if (! replacement.getFile().replaceWithData (data, numBytes) || ! replacement.overwriteTargetFileWithTemporary())
        return juce::Result::fail ("the file could not be written");
    return juce::Result::ok();
}
} // namespace quillon::ui
#else

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quillon::ui
{
namespace
{
juce::Result failure() { return juce::Result::fail (juce::String (std::strerror (errno))); }

// Another process writing into the same folder at the same moment (a second Quillon, a host
// scanning) may take a name first; a free name is claimed by the open itself, never by a look ahead.
int createPartner (const juce::File& target, juce::String& path)
{
    constexpr int attempts = 32;
    juce::Random random; // seeded from the clock and its own address, per call

    for (int i = 0; i < attempts; ++i)
    {
        // A short name, so that a target whose own name is as long as names get still has a partner.
        path = target.getSiblingFile (".quillon-write-" + juce::String::toHexString (random.nextInt()) + ".tmp")
                   .getFullPathName();
        const int fd = ::open (path.toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);

        if (fd >= 0 || errno != EEXIST)
            return fd;
    }

    return -1;
}
} // namespace

juce::Result replaceFileContent (const juce::File& target, const void* data, size_t numBytes)
{
    juce::String temporaryPath;
    const int fd = createPartner (target, temporaryPath);

    if (fd < 0)
        return failure();

    const auto discard = [&] (juce::Result result)
    {
        ::unlink (temporaryPath.toRawUTF8());
        return result;
    };

    for (size_t done = 0; done < numBytes;)
    {
        const auto written = ::write (fd, static_cast<const char*> (data) + done, numBytes - done);

        if (written < 0 && errno == EINTR)
            continue;

        if (written <= 0)
        {
            const auto result = written < 0 ? failure() : juce::Result::fail ("the disk took no more");
            ::close (fd);
            return discard (result);
        }

        done += (size_t) written;
    }

    if (::fsync (fd) != 0)
    {
        const auto result = failure();
        ::close (fd);
        return discard (result);
    }

    if (::close (fd) != 0)
        return discard (failure());

    if (::rename (temporaryPath.toRawUTF8(), target.getFullPathName().toRawUTF8()) != 0)
        return discard (failure());

    return juce::Result::ok();
}

} // namespace quillon::ui
#endif
