#include "plugin/SafeInput.h"

#include <expat.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#if ! JUCE_WINDOWS
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace quillon::input
{

namespace
{
void setError (juce::String* error, const juce::String& reason)
{
    if (error != nullptr)
        *error = reason;
}

// Skips a UTF-8 byte-order mark, as editors on some systems write one.
void skipByteOrderMark (const char*& text, size_t& size) noexcept
{
    if (size >= 3 && (unsigned char) text[0] == 0xef && (unsigned char) text[1] == 0xbb && (unsigned char) text[2] == 0xbf)
    {
        text += 3;
        size -= 3;
    }
}

//==============================================================================
// JUCE's writer puts any character into a reference, also those XML 1.0 does not allow (controls
// other than tab and line ends, U+FFFE and U+FFFF), so a preset name holding one would make a saved
// state unreadable. Such references are read as characters of a block of plane 16's private use
// area that the text does not use itself, which expat takes, and turned back afterwards.
bool isCharacterXmlRefuses (juce::uint64 code) noexcept
{
    return (code >= 1 && code < 0x20 && code != 9 && code != 10 && code != 13) || code == 0xfffe || code == 0xffff;
}

struct Placeholders
{
    juce::uint32 base = 0; // 0: none in use

    juce::uint32 encode (juce::uint32 code) const noexcept { return base + (code < 0x20 ? code : 0x80 + (code - 0xfffe)); }

    juce::juce_wchar decode (juce::juce_wchar c) const noexcept
    {
        const auto offset = (juce::uint32) c - base;
        if (offset < 0x20 && isCharacterXmlRefuses (offset))
            return (juce::juce_wchar) offset;
        if (offset == 0x80 || offset == 0x81)
            return (juce::juce_wchar) (0xfffe + offset - 0x80);
        return c;
    }
};

// Reads a numeric reference "&#...;" or "&#x...;" at text[i]; its end (after ';') or 0.
size_t readReference (const char* text, size_t size, size_t i, juce::uint64& code) noexcept
{
    if (i + 2 >= size || text[i] != '&' || text[i + 1] != '#')
        return 0;

    const bool hex = text[i + 2] == 'x';
    const size_t first = i + (hex ? 3 : 2);
    size_t j = first;
    code = 0;

    for (; j < size && j - i < 12 && text[j] != ';'; ++j)
    {
        const int digit = hex ? juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) (unsigned char) text[j])
                              : (text[j] >= '0' && text[j] <= '9' ? text[j] - '0' : -1);
        if (digit < 0)
            return 0;
        code = code * (hex ? 16u : 10u) + (juce::uint64) digit;
    }

    return j < size && text[j] == ';' && j > first ? j + 1 : 0;
}

// A copy of valid UTF-8 text with such references replaced; false when there are none (or no free
// block is left, in which case expat refuses the text as it is).
bool replaceRefusedReferences (const char* text, size_t size, std::string& out, Placeholders& placeholders)
{
    std::array<bool, 256> blockUsed {};
    bool anyRefused = false;

    for (size_t i = 0; i < size; ++i)
    {
        const auto c = (unsigned char) text[i];
        juce::uint64 code = 0;

        if (c == 0xf4 && i + 2 < size) // plane 16 as it stands
            blockUsed[(((unsigned) text[i + 1] & 0x0fu) << 4) | (((unsigned) text[i + 2] & 0x3cu) >> 2)] = true;
        else if (c == '&' && readReference (text, size, i, code) != 0)
        {
            if (code >= 0x100000 && code <= 0x10ffff)
                blockUsed[(code >> 8) & 0xff] = true;
            anyRefused = anyRefused || isCharacterXmlRefuses (code);
        }
    }

    if (! anyRefused)
        return false;

    for (int block = 255; block >= 0 && placeholders.base == 0; --block)
        if (! blockUsed[(size_t) block])
            placeholders.base = 0x100000u + ((juce::uint32) block << 8);

    if (placeholders.base == 0)
        return false;

    out.reserve (size + 64);

    for (size_t i = 0; i < size;)
    {
        juce::uint64 code = 0;

        if (const auto next = readReference (text, size, i, code); next != 0 && isCharacterXmlRefuses (code))
        {
            out += "&#x" + juce::String::toHexString ((int) placeholders.encode ((juce::uint32) code)).toStdString() + ";";
            i = next;
            continue;
        }

        out.push_back (text[i++]);
    }

    return true;
}

//==============================================================================
// Builds a juce::XmlElement tree from expat's callbacks, refusing what the program never writes.
class XmlTreeBuilder
{
public:
    explicit XmlTreeBuilder (XML_Parser p) : parser (p)
    {
        XML_SetUserData (parser, this);
        XML_SetElementHandler (parser, startElement, endElement);
        XML_SetCharacterDataHandler (parser, characterData);
        XML_SetProcessingInstructionHandler (parser, processingInstruction);
        XML_SetStartDoctypeDeclHandler (parser, startDoctype);
        XML_SetEntityDeclHandler (parser, entityDeclaration);
        XML_SetParamEntityParsing (parser, XML_PARAM_ENTITY_PARSING_NEVER);
    }

    std::unique_ptr<juce::XmlElement> root;
    juce::String refusal;
    Placeholders placeholders;

private:
    juce::String fromExpat (const XML_Char* text, int length = -1) const
    {
        auto s = juce::String::fromUTF8 (text, length);

        if (placeholders.base == 0 || std::memchr (s.toRawUTF8(), 0xf4, s.getNumBytesAsUTF8()) == nullptr)
            return s;

        juce::String restored;
        for (auto p = s.getCharPointer(); ! p.isEmpty();)
            restored += placeholders.decode (p.getAndAdvance());
        return restored;
    }

    XML_Parser parser;
    std::vector<juce::XmlElement*> open;
    std::vector<bool> holdsText;
    std::string pendingText;
    int elementCount = 0;

    void refuse (const juce::String& reason)
    {
        if (refusal.isEmpty())
            refusal = reason;
        XML_StopParser (parser, XML_FALSE);
    }

    static XmlTreeBuilder& of (void* userData) { return *static_cast<XmlTreeBuilder*> (userData); }

    // Text between two tags becomes a text child, unless it is only white space. JUCE's writer
    // crashes on an element that holds text followed by an element, and nothing we read has both.
    bool flushText()
    {
        if (open.empty() || pendingText.empty())
        {
            pendingText.clear();
            return true;
        }

        const auto text = fromExpat (pendingText.data(), (int) pendingText.size());
        pendingText.clear();

        if (! text.containsNonWhitespaceChars())
            return true;

        auto* parent = open.back();

        if (parent->getNumChildElements() > 0 && ! holdsText.back())
        {
            refuse ("an element holds both text and elements");
            return false;
        }

        parent->addChildElement (juce::XmlElement::createTextElement (text));
        holdsText.back() = true;
        return true;
    }

    static void XMLCALL startElement (void* userData, const XML_Char* name, const XML_Char** attributes)
    {
        auto& self = of (userData);

        if (self.refusal.isNotEmpty() || ! self.flushText())
            return;

        if ((int) self.open.size() >= maxXmlDepth)
            return self.refuse ("it is nested more than " + juce::String (maxXmlDepth) + " levels deep");

        if (++self.elementCount > maxXmlElements)
            return self.refuse ("it holds more than " + juce::String (maxXmlElements) + " elements");

        if (! self.open.empty() && self.holdsText.back())
            return self.refuse ("an element holds both text and elements");

        auto element = std::make_unique<juce::XmlElement> (self.fromExpat (name));

        // expat has already refused a repeated attribute.
        for (auto** a = attributes; a[0] != nullptr && a[1] != nullptr; a += 2)
            element->setAttribute (juce::Identifier (self.fromExpat (a[0])), self.fromExpat (a[1]));

        auto* raw = element.get();

        if (self.open.empty())
            self.root = std::move (element);
        else
            self.open.back()->addChildElement (element.release());

        self.open.push_back (raw);
        self.holdsText.push_back (false);
    }

    static void XMLCALL endElement (void* userData, const XML_Char*)
    {
        auto& self = of (userData);

        if (self.refusal.isNotEmpty() || self.open.empty() || ! self.flushText())
            return;

        self.open.pop_back();
        self.holdsText.pop_back();
    }

    static void XMLCALL characterData (void* userData, const XML_Char* text, int length)
    {
        auto& self = of (userData);

        if (self.refusal.isNotEmpty())
            return;

        if (self.pendingText.size() + (size_t) length > maxXmlBytes)
            return self.refuse ("it is larger than Quillon reads");

        self.pendingText.append (text, (size_t) length);
    }

    static void XMLCALL processingInstruction (void* userData, const XML_Char*, const XML_Char*)
    {
        of (userData).refuse ("it holds a processing instruction");
    }

    static void XMLCALL startDoctype (void* userData, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        of (userData).refuse ("it declares a document type");
    }

    static void XMLCALL entityDeclaration (void* userData, const XML_Char*, int, const XML_Char*, int,
                                           const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*)
    {
        of (userData).refuse ("it declares an entity");
    }
};

juce::String describeXmlError (XML_Parser parser)
{
    switch (XML_GetErrorCode (parser))
    {
        case XML_ERROR_DUPLICATE_ATTRIBUTE:   return "an element repeats an attribute";
        case XML_ERROR_UNDEFINED_ENTITY:      return "it uses an entity that is not one of XML's own";
        case XML_ERROR_INVALID_TOKEN:
        case XML_ERROR_BAD_CHAR_REF:          break;
        case XML_ERROR_NO_ELEMENTS:           return "it holds no XML element";
        default:                              break;
    }

    return "it is not well-formed XML (line " + juce::String ((juce::int64) XML_GetCurrentLineNumber (parser))
         + ": " + juce::String (XML_ErrorString (XML_GetErrorCode (parser))) + ")";
}

//==============================================================================
// RFC 8259 JSON into a juce::var, with the bounds above.
class JsonReader
{
public:
    JsonReader (const char* text, size_t size) : p (text), end (text + size) {}

    bool read (juce::var& result)
    {
        skipSpace();
        if (! readValue (result, 0))
            return false;
        skipSpace();
        return p == end || fail ("there is more text after the JSON value");
    }

    juce::String refusal;

private:
    const char* p;
    const char* const end;
    int line = 1;

    bool fail (const juce::String& reason)
    {
        if (refusal.isEmpty())
            refusal = reason;
        return false;
    }

    bool failSyntax() { return fail ("it is not valid JSON (line " + juce::String (line) + ")"); }

    void skipSpace() noexcept
    {
        for (; p < end; ++p)
        {
            if (*p == '\n')
                ++line;
            else if (*p != ' ' && *p != '\t' && *p != '\r')
                break;
        }
    }

    bool match (const char* word)
    {
        const auto length = std::strlen (word);
        if ((size_t) (end - p) < length || std::memcmp (p, word, length) != 0)
            return failSyntax();
        p += length;
        return true;
    }

    bool readValue (juce::var& result, int depth)
    {
        if (p == end)
            return fail ("the JSON text ends too early");

        switch (*p)
        {
            case '{':  return readObject (result, depth + 1);
            case '[':  return readArray (result, depth + 1);
            case '"':
            {
                juce::String text;
                if (! readString (text))
                    return false;
                result = text;
                return true;
            }
            case 't':  result = true;  return match ("true");
            case 'f':  result = false; return match ("false");
            case 'n':  result = juce::var(); return match ("null");
            default:   return readNumber (result);
        }
    }

    bool readObject (juce::var& result, int depth)
    {
        if (depth > maxJsonDepth)
            return fail ("it is nested more than " + juce::String (maxJsonDepth) + " levels deep");

        ++p;
        auto* object = new juce::DynamicObject();
        result = juce::var (object);
        skipSpace();

        if (p < end && *p == '}')
        {
            ++p;
            return true;
        }

        for (;;)
        {
            skipSpace();
            juce::String name;
            if (p == end || *p != '"' || ! readString (name))
                return refusal.isNotEmpty() ? false : failSyntax();

            skipSpace();
            if (p == end || *p++ != ':')
                return failSyntax();

            skipSpace();
            juce::var value;
            if (! readValue (value, depth))
                return false;

            if (name.isNotEmpty())
                object->setProperty (juce::Identifier (name), value);

            skipSpace();
            if (p == end)
                return fail ("the JSON text ends too early");
            if (*p == ',')
            {
                ++p;
                continue;
            }
            if (*p++ == '}')
                return true;
            return failSyntax();
        }
    }

    bool readArray (juce::var& result, int depth)
    {
        if (depth > maxJsonDepth)
            return fail ("it is nested more than " + juce::String (maxJsonDepth) + " levels deep");

        ++p;
        juce::Array<juce::var> items;
        skipSpace();

        if (p < end && *p == ']')
        {
            ++p;
            result = items;
            return true;
        }

        for (;;)
        {
            skipSpace();
            juce::var value;
            if (! readValue (value, depth))
                return false;
            items.add (value);

            skipSpace();
            if (p == end)
                return fail ("the JSON text ends too early");
            if (*p == ',')
            {
                ++p;
                continue;
            }
            if (*p++ == ']')
            {
                result = items;
                return true;
            }
            return failSyntax();
        }
    }

    bool readHex4 (juce::uint32& value)
    {
        if (end - p < 4)
            return fail ("the JSON text ends too early");

        value = 0;
        for (int i = 0; i < 4; ++i)
        {
            const int digit = juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) (unsigned char) *p++);
            if (digit < 0)
                return failSyntax();
            value = (value << 4) | (juce::uint32) digit;
        }
        return true;
    }

    bool readString (juce::String& result)
    {
        ++p; // the opening quote
        juce::MemoryOutputStream text;

        for (;;)
        {
            if (p == end)
                return fail ("the JSON text ends inside a string");

            const auto c = (unsigned char) *p++;

            if (c == '"')
                break;

            if (c < 0x20)
                return failSyntax();

            if (c != '\\')
            {
                text.writeByte ((char) c); // the whole text is already known to be UTF-8
                continue;
            }

            if (p == end)
                return fail ("the JSON text ends inside a string");

            switch (*p++)
            {
                case '"':  text.writeByte ('"'); break;
                case '\\': text.writeByte ('\\'); break;
                case '/':  text.writeByte ('/'); break;
                case 'b':  text.writeByte ('\b'); break;
                case 'f':  text.writeByte ('\f'); break;
                case 'n':  text.writeByte ('\n'); break;
                case 'r':  text.writeByte ('\r'); break;
                case 't':  text.writeByte ('\t'); break;
                case 'u':
                {
                    juce::uint32 code = 0;
                    if (! readHex4 (code))
                        return false;

                    if (code >= 0xdc00 && code <= 0xdfff)
                        return fail ("a string holds half of a surrogate pair");

                    if (code >= 0xd800 && code <= 0xdbff)
                    {
                        juce::uint32 low = 0;
                        if (end - p < 2 || p[0] != '\\' || p[1] != 'u')
                            return fail ("a string holds half of a surrogate pair");
                        p += 2;
                        if (! readHex4 (low))
                            return false;
                        if (low < 0xdc00 || low > 0xdfff)
                            return fail ("a string holds half of a surrogate pair");
                        code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
                    }

                    if (code == 0)
                        return fail ("a string holds a NUL character");

                    text.appendUTF8Char ((juce::juce_wchar) code);
                    break;
                }
                default:
                    return failSyntax();
            }
        }

        result = text.toUTF8();
        return true;
    }

    bool readNumber (juce::var& result)
    {
        const auto* start = p;
        bool integral = true;

        if (p < end && *p == '-')
            ++p;

        const auto digits = [this]
        {
            const auto* first = p;
            while (p < end && *p >= '0' && *p <= '9')
                ++p;
            return (int) (p - first);
        };

        const auto* intStart = p;
        const int intDigits = digits();
        if (intDigits == 0 || (intDigits > 1 && *intStart == '0'))
            return p == end ? fail ("the JSON text ends too early") : failSyntax();

        if (p < end && *p == '.')
        {
            ++p;
            integral = false;
            if (digits() == 0)
                return p == end ? fail ("the JSON text ends too early") : failSyntax();
        }

        if (p < end && (*p == 'e' || *p == 'E'))
        {
            ++p;
            integral = false;
            if (p < end && (*p == '+' || *p == '-'))
                ++p;
            if (digits() == 0)
                return p == end ? fail ("the JSON text ends too early") : failSyntax();
        }

        if (integral)
        {
            juce::int64 value = 0;
            const auto [last, status] = std::from_chars (start, p, value);
            if (status != std::errc() || last != p)
                return fail ("a number is out of range");
            result = (value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max())
                         ? juce::var ((int) value) : juce::var (value);
            return true;
        }

        double value = 0.0;
        const auto [last, status] = std::from_chars (start, p, value);
        if (status != std::errc() || last != p || ! std::isfinite (value))
            return fail ("a number is out of range");
        result = value;
        return true;
    }
};
} // namespace

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
std::unique_ptr<juce::XmlElement> readXml (const void* data, size_t numBytes, juce::String* error)
{
    auto text = static_cast<const char*> (data);

    if (text == nullptr || numBytes == 0)
        return setError (error, "it is empty"), nullptr;

    if (numBytes > maxXmlBytes)
        return setError (error, "it is larger than Quillon reads"), nullptr;

    skipByteOrderMark (text, numBytes);

    if (! isValidUtf8 (text, numBytes))
        return setError (error, "it is not UTF-8 text"), nullptr;

    // The encoding is given here, so a declaration naming another one is not followed.
    const std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype (&XML_ParserFree)>
        parser (XML_ParserCreate ("UTF-8"), &XML_ParserFree);

    if (parser == nullptr)
        return setError (error, "there is not enough memory to read it"), nullptr;

    XmlTreeBuilder builder (parser.get());
    std::string replaced;

    if (replaceRefusedReferences (text, numBytes, replaced, builder.placeholders))
    {
        text = replaced.data();
        numBytes = replaced.size();
    }

    const auto status = XML_Parse (parser.get(), text, (int) numBytes, XML_TRUE);

    if (builder.refusal.isNotEmpty())
        return setError (error, builder.refusal), nullptr;

    if (status != XML_STATUS_OK || builder.root == nullptr)
        return setError (error, describeXmlError (parser.get())), nullptr;

    return std::move (builder.root);
}

std::unique_ptr<juce::XmlElement> readXml (const juce::String& text, juce::String* error)
{
    return readXml (text.toRawUTF8(), text.getNumBytesAsUTF8(), error);
}

bool looksLikeXml (const juce::String& text)
{
    return text.trimStart().startsWithChar ('<');
}

//==============================================================================
bool readJson (const void* data, size_t numBytes, juce::var& result, juce::String* error)
{
    auto text = static_cast<const char*> (data);

    if (text == nullptr || numBytes == 0)
        return setError (error, "it is empty"), false;

    if (numBytes > maxJsonBytes)
        return setError (error, "it is larger than Quillon reads"), false;

    skipByteOrderMark (text, numBytes);

    if (! isValidUtf8 (text, numBytes))
        return setError (error, "it is not UTF-8 text"), false;

    JsonReader reader (text, numBytes);
    juce::var value;

    if (! reader.read (value))
        return setError (error, reader.refusal), false;

    result = value;
    return true;
}

bool readJson (const juce::String& text, juce::var& result, juce::String* error)
{
    return readJson (text.toRawUTF8(), text.getNumBytesAsUTF8(), result, error);
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
