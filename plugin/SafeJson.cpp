// The JSON half of the reader: a strict RFC 8259 parser that builds a juce::var.

#include "plugin/SafeInput.h"
#include "plugin/SafeInputDetail.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace quillon::input
{

using detail::setError;
using detail::skipByteOrderMark;

namespace
{
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

} // namespace quillon::input
