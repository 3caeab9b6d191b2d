// The XML half of the reader: expat builds the JUCE tree.

#include "plugin/SafeInput.h"
#include "plugin/SafeInputDetail.h"

#include <expat.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace quillon::input
{

using detail::setError;
using detail::skipByteOrderMark;

namespace
{
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
    // The parser's errors that say more in words of our own; the rest give their line and name.
    static constexpr std::pair<XML_Error, const char*> plainly[] {
        { XML_ERROR_DUPLICATE_ATTRIBUTE, "an element repeats an attribute" },
        { XML_ERROR_UNDEFINED_ENTITY, "it uses an entity that is not one of XML's own" },
        { XML_ERROR_NO_ELEMENTS, "it holds no XML element" },
    };

    const auto error = XML_GetErrorCode (parser);

    for (const auto& [code, text] : plainly)
        if (error == code)
            return text;

    return "it is not well-formed XML (line " + juce::String ((juce::int64) XML_GetCurrentLineNumber (parser))
         + ": " + juce::String (XML_ErrorString (error)) + ")";
}
} // namespace

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

} // namespace quillon::input
