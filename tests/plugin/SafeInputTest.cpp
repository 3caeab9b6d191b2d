#include "plugin/SafeInput.h"

#include "BinaryData.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon::input;

namespace
{
std::unique_ptr<juce::XmlElement> xml (const std::string& text, juce::String* error = nullptr)
{
    return readXml (text.data(), text.size(), error);
}

juce::String refusalOf (const std::string& text)
{
    juce::String error;
    EXPECT_EQ (xml (text, &error), nullptr) << text.substr (0, 80);
    return error;
}

juce::String jsonRefusalOf (const std::string& text)
{
    juce::var result;
    juce::String error;
    EXPECT_FALSE (readJson (text.data(), text.size(), result, &error)) << text.substr (0, 80);
    return error;
}

std::string repeat (const std::string& piece, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}
} // namespace

TEST (SafeInput, Utf8IsStrict)
{
    EXPECT_TRUE (isValidUtf8 ("plain \xc3\xa4 \xe2\x82\xac \xf0\x9f\x8e\xb9"));
    for (const char* bad : { "\x80", "a\xc0\x80", "\xc1\x81", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80",
                             "\xf0\x9f\x8e", "x\xf0", "\xff" })
        EXPECT_FALSE (isValidUtf8 (bad)) << juce::String::toHexString (bad, (int) std::strlen (bad));

    // A NUL inside counted bytes is not text.
    EXPECT_FALSE (isValidUtf8 ("a\0b", 3));
    EXPECT_TRUE (stringFromUtf8 ("x\xf0", 2).isEmpty());
}

TEST (SafeInput, XmlThatBrokeTheFrameworkIsRefusedWithItsReason)
{
    // Looped for ever in JUCE's reader.
    EXPECT_EQ (refusalOf ("<PARAMS><?x?>a</PARAMS>"), "it holds a processing instruction");
    // Read the named file (here an endless one) to resolve the entity.
    EXPECT_EQ (refusalOf ("<!DOCTYPE PARAMS SYSTEM \"/dev/zero\"><PARAMS a=\"&x;\"/>"), "it declares a document type");
    EXPECT_EQ (refusalOf ("<PARAMS a=\"&boom;\"/>"), "it uses an entity that is not one of XML's own");
    // Read past the end of the text.
    EXPECT_EQ (refusalOf ("<PARAMS><PARAM id=\"drive\" value=\"1\"/>\xf0"), "it is not UTF-8 text");
    EXPECT_TRUE (refusalOf ("<PARAMS a=\"&#x4").startsWith ("it is not well-formed XML"));
    EXPECT_TRUE (refusalOf ("<PARAMS a=\"&#0;\"/>").startsWith ("it is not well-formed XML"));
    // Crashed the framework's writer when it turned the child into text.
    EXPECT_EQ (refusalOf ("<PROPERTIES><VALUE name=\"x\"><a>t<b><c/></b></a></VALUE></PROPERTIES>"),
               "an element holds both text and elements");
    EXPECT_EQ (refusalOf ("<a><b/>t</a>"), "an element holds both text and elements");
    // Loaded the first value and saved the last.
    EXPECT_EQ (refusalOf ("<PARAMS><PARAM id=\"drive\" value=\"1\" value=\"9\"/></PARAMS>"), "an element repeats an attribute");
    // Loaded as an empty preset.
    EXPECT_TRUE (refusalOf ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<PARAMS displayName=\"").startsWith ("it is not well-formed"));
    // Overflowed the stack.
    EXPECT_EQ (refusalOf (repeat ("<a>", 25000) + repeat ("</a>", 25000)), "it is nested more than 8 levels deep");
    EXPECT_EQ (refusalOf ("<r>" + repeat ("<a/>", maxXmlElements) + "</r>"), "it holds more than 20000 elements");
    EXPECT_EQ (refusalOf (std::string (maxXmlBytes + 1, ' ')), "it is larger than Quillon reads");
    EXPECT_EQ (refusalOf ("<?xml-stylesheet href=\"x\"?><a/>"), "it holds a processing instruction");
    EXPECT_EQ (refusalOf (""), "it is empty");
}

TEST (SafeInput, XmlTheProgramWritesReadsAsTheFrameworkReadsIt)
{
    // Every embedded preset and the manifest.
    for (int i = 0; i < BinaryData::namedResourceListSize; ++i)
    {
        const juce::String name (BinaryData::namedResourceList[i]);
        if (! name.endsWith ("_xml"))
            continue;
        int size = 0;
        const auto* data = BinaryData::getNamedResource (name.toRawUTF8(), size);
        juce::String error;
        const auto mine = readXml (data, (size_t) size, &error);
        ASSERT_NE (mine, nullptr) << name << ": " << error;
        EXPECT_TRUE (mine->isEquivalentTo (juce::parseXML (juce::String::fromUTF8 (data, size)).get(), false)) << name;
    }

    // What the framework's writer makes of awkward values comes back unchanged.
    juce::XmlElement root ("PARAMS");
    const auto awkward = juce::String::fromUTF8 ("a<b>&\"c'\r\n\t\x01 \xc3\xa4 \xf0\x9f\x8e\xb9");
    root.setAttribute ("displayName", awkward);
    root.createNewChildElement ("PARAM")->setAttribute ("id", "drive");
    const auto back = readXml (root.toString());
    ASSERT_NE (back, nullptr);
    EXPECT_EQ (back->getStringAttribute ("displayName"), awkward);
    EXPECT_TRUE (back->isEquivalentTo (&root, false));

    // A byte-order mark, comments and CDATA are fine; white-space-only text is dropped, as JUCE does.
    const auto withExtras = xml ("\xef\xbb\xbf<?xml version=\"1.0\"?><!-- c --><a>\n  <b><![CDATA[x<y]]></b>\n</a>");
    ASSERT_NE (withExtras, nullptr);
    EXPECT_EQ (withExtras->getNumChildElements(), 1);
    EXPECT_EQ (withExtras->getChildByName ("b")->getAllSubText(), "x<y");
}

TEST (SafeInput, StateBlobIsUnwrappedAsTheFrameworkWrapsIt)
{
    juce::XmlElement state ("PARAMS");
    state.createNewChildElement ("UISTATE")->setAttribute ("presetName", "x");
    juce::MemoryBlock blob;
    juce::AudioProcessor::copyXmlToBinary (state, blob);
    const auto back = readStateBlob (blob.getData(), blob.getSize());
    ASSERT_NE (back, nullptr);
    EXPECT_TRUE (back->isEquivalentTo (&state, false));

    // A length beyond the data is cut to the data; a foreign blob is refused.
    static_cast<juce::uint32*> (blob.getData())[1] = 0x7fffffff;
    EXPECT_NE (readStateBlob (blob.getData(), blob.getSize()), nullptr);
    EXPECT_EQ (readStateBlob ("not a state", 11), nullptr);
    EXPECT_EQ (readStateBlob (blob.getData(), 8), nullptr);
}

TEST (SafeInput, JsonThatBrokeTheFrameworkIsRefusedWithItsReason)
{
    // Read past the end of the text.
    EXPECT_EQ (jsonRefusalOf ("{ \"name\": -"), "the JSON text ends too early");
    // Signed overflow in the framework's reader.
    EXPECT_EQ (jsonRefusalOf ("{ \"n\": 9999999999999999999 }"), "a number is out of range");
    EXPECT_EQ (jsonRefusalOf ("[1e999]"), "a number is out of range");
    // Overflowed the stack.
    EXPECT_EQ (jsonRefusalOf (repeat ("[", 30000) + repeat ("]", 30000)), "it is nested more than 16 levels deep");
    EXPECT_EQ (jsonRefusalOf ("{\"a\": \"\xf0\"}"), "it is not UTF-8 text");
    EXPECT_EQ (jsonRefusalOf ("[\"\\ud800\"]"), "a string holds half of a surrogate pair");
    EXPECT_EQ (jsonRefusalOf ("[\"\\u0000\"]"), "a string holds a NUL character");
    EXPECT_EQ (jsonRefusalOf ("{\"a\": 1} x"), "there is more text after the JSON value");
    for (const char* bad : { "{", "[1,]", "{\"a\" 1}", "01", "-", "1.", "tru", "'a'", "[\"a\nb\"]", "" })
        EXPECT_FALSE (jsonRefusalOf (bad).isEmpty()) << bad;
}

TEST (SafeInput, JsonReadsWhatAThemeFileHolds)
{
    juce::var value;
    ASSERT_TRUE (readJson (juce::String::fromUTF8 ("\xef\xbb\xbf{ \"bg\": { \"ground\": \"#102030\" }, \"n\": -12.5e1, \"big\": 9223372036854775807,"
                                         " \"list\": [true, false, null], \"esc\": \"\\u00e4\\ud83c\\udfb9\\n\", \"\": 1 }"),
                           value));
    EXPECT_EQ (value["bg"]["ground"].toString(), "#102030");
    EXPECT_DOUBLE_EQ ((double) value["n"], -125.0);
    EXPECT_EQ ((juce::int64) value["big"], std::numeric_limits<juce::int64>::max());
    EXPECT_EQ (value["list"].size(), 3);
    EXPECT_EQ (value["esc"].toString(), juce::String::fromUTF8 ("\xc3\xa4\xf0\x9f\x8e\xb9\n"));
    EXPECT_EQ (value.getDynamicObject()->getProperties().size(), 5); // the empty name is skipped
}

TEST (SafeInput, FilesAreReadOnlyWhenTheyAreRegularAndBounded)
{
    juce::TemporaryFile temp;
    juce::MemoryBlock bytes;
    juce::String error;

    // Would block for ever, or never end.
    const auto fifo = temp.getFile().getSiblingFile ("quillon-fifo-" + juce::String (juce::Random::getSystemRandom().nextInt()));
    ASSERT_EQ (mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0);
    EXPECT_FALSE (readFileBytes (fifo, 1024, bytes, &error));
    EXPECT_EQ (error, "it is not a regular file");
    fifo.deleteFile();
    EXPECT_FALSE (readFileBytes (juce::File ("/dev/zero"), 1024, bytes, &error));
    EXPECT_EQ (error, "it is not a regular file");

    ASSERT_TRUE (temp.getFile().replaceWithText ("12345"));
    EXPECT_FALSE (readFileBytes (temp.getFile(), 4, bytes, &error));
    EXPECT_EQ (error, "it is larger than Quillon reads");
    ASSERT_TRUE (readFileBytes (temp.getFile(), 5, bytes, &error));
    EXPECT_EQ (bytes.toString(), "12345");

    EXPECT_FALSE (readFileBytes (temp.getFile().getSiblingFile ("quillon-missing-file"), 5, bytes, &error));
    EXPECT_EQ (error, "no such file or directory");
}

TEST (SafeInput, FolderListingsSkipNamesThatAreNotUtf8)
{
    // The framework's listing once wrote past a heap block for such a name, in every file chooser.
    juce::TemporaryFile temp;
    const auto folder = temp.getFile();
    ASSERT_TRUE (folder.createDirectory());
    ASSERT_TRUE (folder.getChildFile ("good.xml").replaceWithText ("<PARAMS/>"));

    for (const char* bad : { "\x80.xml", "\xc0\x80x.xml", "\xe0x.xml" })
    {
        const auto path = folder.getFullPathName().toStdString() + "/" + bad;
        const int fd = ::open (path.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE (fd, 0);
        ::close (fd);
    }

    juce::StringArray names;
    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*"))
        names.add (entry.getFile().getFileName());

    EXPECT_EQ (names, juce::StringArray ("good.xml"));
    folder.deleteRecursively();
}
