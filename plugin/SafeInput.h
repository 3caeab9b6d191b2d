#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/** The one reader for everything that comes from outside the program: the host's state blob,
    preset, theme and settings files, and names the system hands over. JUCE 7's own XML and JSON
    readers trust their input (they read past the end of damaged text, loop on some documents,
    open any file a DOCTYPE names and recurse without bound), so nothing from outside reaches them:
    XML is read with expat and JSON by the small strict parser here, each building the JUCE tree
    itself, with bounds on size, nesting and element count.

    What is refused, and why, is said in a short phrase ("it is not UTF-8 text") that a caller puts
    into its message to the user. */
namespace quillon::input
{

/** Largest XML text read: a state is about 10 KB, a settings file with an imported theme and the
    standalone's audio setup some tens of KB. */
inline constexpr size_t maxXmlBytes = 2 * 1024 * 1024;
/** Largest theme file read; the template is under 1 KB. */
inline constexpr size_t maxJsonBytes = 256 * 1024;
/** Deepest element nesting read. A state needs 3 levels (PARAMS / MIDILEARN / MAP), a settings file
    with the standalone's audio setup 4 (PROPERTIES / VALUE / DEVICESETUP / MIDIINPUT). */
inline constexpr int maxXmlDepth = 8;
/** Most elements in one document: a state has about 110. */
inline constexpr int maxXmlElements = 20000;
/** Deepest nesting of JSON objects and arrays; a theme needs 2. */
inline constexpr int maxJsonDepth = 16;

/** Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no NUL byte. */
bool isValidUtf8 (const void* data, size_t numBytes) noexcept;
/** The same for a NUL-terminated name from the system (a file name, an environment variable). */
bool isValidUtf8 (const char* nulTerminated) noexcept;

/** A String of these bytes, or an empty String when they are not strict UTF-8. */
juce::String stringFromUtf8 (const void* data, size_t numBytes);

/** An XML document read from UTF-8 bytes (a leading byte-order mark is allowed). Refused, with
    nullptr and the reason in `error`: text that is not UTF-8 or over maxXmlBytes, a DOCTYPE,
    processing instructions other than the XML declaration, entities other than the five predefined
    ones and complete character references, nesting deeper than maxXmlDepth or more than
    maxXmlElements elements, a repeated attribute, an element holding both text and elements, and
    anything that is not well-formed. Text that is only white space is dropped, as JUCE does. */
std::unique_ptr<juce::XmlElement> readXml (const void* data, size_t numBytes, juce::String* error = nullptr);
std::unique_ptr<juce::XmlElement> readXml (const juce::String& text, juce::String* error = nullptr);

/** True when JUCE's own XML reader would take this string as XML (its first character after white
    space is '<'); such a string must pass readXml before anything hands it to JUCE. */
bool looksLikeXml (const juce::String& text);

/** A JSON value (RFC 8259) read from UTF-8 bytes (a leading byte-order mark is allowed). Refused,
    with false and the reason in `error`: text that is not UTF-8 or over maxJsonBytes, nesting deeper
    than maxJsonDepth, a number that does not fit (an integer beyond 64 bits, a float beyond double),
    a lone surrogate or NUL escape, and anything that is not complete JSON. Members with an empty
    name are skipped (a JUCE object cannot hold them); of repeated names the last counts. */
bool readJson (const void* data, size_t numBytes, juce::var& result, juce::String* error = nullptr);
bool readJson (const juce::String& text, juce::var& result, juce::String* error = nullptr);

/** Reads a whole file of at most maxBytes. Refuses what is not a regular file (a FIFO would block,
    a device would never end) without waiting on it. */
bool readFileBytes (const juce::File& file, size_t maxBytes, juce::MemoryBlock& bytes, juce::String* error = nullptr);

/** readFileBytes + readXml. */
std::unique_ptr<juce::XmlElement> readXmlFile (const juce::File& file, juce::String* error = nullptr);

/** readFileBytes + readJson; the file's text is handed back through `text` when it is read. */
bool readJsonFile (const juce::File& file, juce::var& result, juce::String* text = nullptr, juce::String* error = nullptr);

/** The XML inside the framework's binary state wrapper (AudioProcessor::copyXmlToBinary), read with
    readXml; nullptr when the blob is not such a wrapper or its XML is refused. */
std::unique_ptr<juce::XmlElement> readStateBlob (const void* data, size_t numBytes, juce::String* error = nullptr);

} // namespace quillon::input
