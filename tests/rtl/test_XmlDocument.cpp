#include "TempFolder.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/XmlDocument.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using namespace rtl;
namespace fs = std::filesystem;

namespace {

TXmlDocument Parse(std::string_view bytes) {
    TXmlDocument doc;
    doc.LoadFromBytes(bytes);
    return doc;
}

UnicodeString RootText(std::string_view bytes) {
    return Parse(bytes).DocumentElement().Text();
}

} // namespace

TEST(XmlDocument, WalksNestedElementsInOrder) {
    TXmlDocument doc = Parse("<?xml version=\"1.0\"?>\n<!-- c --><v:VatReturn xmlns:v=\"urn:x\">\n"
                             "  <v:Box type=\"0\"><Adjustment><Value>100.00</Value></Adjustment></v:Box>\n"
                             "  <?pi x?><Box type=\"1\"/>\n  text between\n  <Other/>\n</v:VatReturn>");
    TXmlNode root = doc.DocumentElement();
    EXPECT_EQ(root.NodeName(), u"v:VatReturn");
    EXPECT_EQ(root.LocalName(), u"VatReturn");
    EXPECT_TRUE(root.NameIs("v:VatReturn"));
    EXPECT_FALSE(root.NameIs("VatReturn"));
    std::vector<TXmlNode> children = root.ChildElements();
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(children[0].Attribute("type"), u"0");
    EXPECT_EQ(children[1].LocalName(), u"Box");
    EXPECT_EQ(children[2].NodeName(), u"Other");
    EXPECT_TRUE(children[2].NextSiblingElement().IsNull());
    TXmlNode value = children[0].FirstChildElement().FirstChildElement();
    EXPECT_EQ(value.Text(), u"100.00");
    EXPECT_TRUE(value.HasText());
    EXPECT_FALSE(children[0].HasText());

    UnicodeString attr = u"unchanged";
    EXPECT_FALSE(children[1].TryGetAttribute("Type", attr)); // attribute names are case-sensitive
    EXPECT_EQ(attr, u"unchanged");
    EXPECT_EQ(children[1].Attribute("missing"), u"");
}

TEST(XmlDocument, TextOfAnElementWithChildrenRaises) {
    TXmlDocument doc = Parse("<VATRETURN><BOX1>1</BOX1></VATRETURN>");
    EXPECT_TRUE(doc.DocumentElement().HasChildElements());
    EXPECT_THROW(doc.DocumentElement().Text(), EXmlError);
}

TEST(XmlDocument, TextIsExact) {
    EXPECT_EQ(RootText("<a>  padded \n value </a>"), u"  padded \n value ");
    EXPECT_EQ(RootText("<a>   </a>"), u"   ");
    EXPECT_EQ(RootText("<a/>"), u"");
    EXPECT_FALSE(Parse("<a/>").DocumentElement().HasText());
    EXPECT_EQ(RootText("<a>x &amp; y&#163;<!--gone-->z</a>"), u"x & y£z");
    EXPECT_EQ(RootText("<a><![CDATA[<b>&amp;</b>]]> tail</a>"), u"<b>&amp;</b> tail");
    EXPECT_EQ(RootText("<a>line\r\nbreak</a>"), u"line\nbreak");
}

TEST(XmlDocument, NullHandlesAnswerEmpty) {
    TXmlDocument empty;
    TXmlNode none = empty.DocumentElement();
    EXPECT_TRUE(none.IsNull());
    EXPECT_EQ(none.Text(), u"");
    EXPECT_EQ(none.NodeName(), u"");
    EXPECT_FALSE(none.NameIs("a"));
    EXPECT_TRUE(none.ChildElements().empty());
}

TEST(XmlDocument, MalformedInputRaisesWithOffset) {
    for (std::string_view bad : std::initializer_list<std::string_view>{
             "", "   ", "<a>", "<a></b>", "<a><b></a>", "text only", "<!DOCTYPE a [<!ENTITY e \"x\">]><a/>",
             "<a/><b/>", std::string_view("\x00\x01\x02", 3)}) {
        TXmlDocument doc;
        EXPECT_THROW(doc.LoadFromBytes(bad), EXmlError) << bad;
        EXPECT_TRUE(doc.DocumentElement().IsNull());
    }
    try {
        Parse("<a>\n<b></a>");
        FAIL();
    } catch (const EXmlError& e) {
        EXPECT_NE(e.Message().find(u"at offset"), UnicodeString::npos);
    }
}

TEST(XmlDocument, NoEntityIsEverExpanded) {
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    for (int i = 1; i <= 9; ++i) {
        std::string prev = i == 1 ? "&lol;" : "&lol" + std::to_string(i - 1) + ";";
        laughs +=
            "<!ENTITY lol" + std::to_string(i) + " \"" + prev + prev + prev + prev + prev + prev + "\">";
    }
    laughs += "]><lolz>&lol9;</lolz>";
    EXPECT_THROW(Parse(laughs), EXmlError);

    // External entity pointing at a file: its content must never reach the text.
    const orvitest::TTempFolder temp;
    const std::string pattern = temp.Path().string();
    std::string secret = pattern + "/secret.txt";
    WriteFileAtomic(Utf8ToString(secret), "TOP-SECRET");
    std::string xxe =
        "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY xxe SYSTEM \"file://" + secret + "\">]><r>&xxe;</r>";
    try {
        UnicodeString text = RootText(xxe);
        EXPECT_EQ(text.find(u"TOP-SECRET"), UnicodeString::npos);
    } catch (const EXmlError&) {
        // refusing the document is equally safe
    }

    // Without declarations, an unknown reference stays literal text; nothing is fetched.
    EXPECT_EQ(RootText("<!DOCTYPE r SYSTEM \"http://example.invalid/r.dtd\"><r>&foo;</r>"), u"&foo;");
}

TEST(XmlDocument, HonoursDeclaredEncodings) {
    // UTF-16 LE with a byte-order mark.
    std::string utf16("\xFF\xFE", 2);
    for (char16_t c :
         UnicodeString(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><n a=\"\u00e9\">\u20ac5</n>")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    TXmlDocument doc = Parse(utf16);
    EXPECT_EQ(doc.DocumentElement().Text(), u"€5");
    EXPECT_EQ(doc.DocumentElement().Attribute("a"), u"é");

    EXPECT_EQ(RootText("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><n>\xA3\x80\xE9</n>"), u"£\u0080é");
    EXPECT_EQ(RootText("<?xml version='1.0' encoding='windows-1252'?><n>\x80\xA3\x93q\x94</n>"), u"€£“q”");
    EXPECT_EQ(RootText("<?xml version=\"1.0\" encoding=\"cp1252\"?><n a=\"\x80\"/>"), u"");
    EXPECT_EQ(
        Parse("<?xml version=\"1.0\" encoding=\"CP1252\"?><n a=\"\x9F\"/>").DocumentElement().Attribute("a"),
        u"Ÿ");
    EXPECT_EQ(RootText("\xEF\xBB\xBF<n>\xC2\xA3</n>"), u"£");
    EXPECT_EQ(RootText("<?xml version=\"1.0\" encoding=\"utf-8\"?><n>\xE2\x82\xAC</n>"), u"€");
    EXPECT_THROW(Parse("<?xml version=\"1.0\" encoding=\"EBCDIC-XYZ\"?><n/>"), EXmlError);
}

TEST(XmlDocument, LoadsFilesAndReportsMissingOnes) {
    const orvitest::TTempFolder temp;
    const std::string pattern = temp.Path().string();
    UnicodeString folder = Utf8ToString(pattern);
    WriteFileAtomic(folder + u"/r.xml", "<VATRETURN><BOX1>12.50</BOX1></VATRETURN>");
    TXmlDocument doc;
    doc.LoadFromFile(folder + u"/r.xml");
    EXPECT_EQ(doc.DocumentElement().FirstChildElement().Text(), u"12.50");
    TXmlDocument moved = std::move(doc);
    EXPECT_TRUE(moved.DocumentElement().NameIs("VATRETURN"));
    EXPECT_THROW(moved.LoadFromFile(folder + u"/absent.xml"), EFOpenError);
    WriteFileAtomic(folder + u"/bad.xml", "<VATRETURN>");
    EXPECT_THROW(moved.LoadFromFile(folder + u"/bad.xml"), EXmlError);
    const TOpenFolder open(folder);
    moved.LoadFromFile(open, u"r.xml");
    EXPECT_EQ(moved.DocumentElement().FirstChildElement().Text(), u"12.50");
    EXPECT_THROW(moved.LoadFromFile(open, u"absent.xml"), EFOpenError);
    EXPECT_TRUE(moved.DocumentElement().IsNull()) << "a failed load leaves no document";
    try {
        moved.LoadFromFile(open, u"bad.xml");
        FAIL() << "no exception";
    } catch (const EXmlError& e) {
        EXPECT_TRUE(e.Message().starts_with(folder + PathDelim + u"bad.xml: ")) << StringToUtf8(e.Message());
    }
    EXPECT_TRUE(moved.LoadFromFileIfExists(open, u"r.xml"));
    EXPECT_TRUE(moved.DocumentElement().NameIs("VATRETURN"));
    EXPECT_FALSE(moved.LoadFromFileIfExists(open, u"absent.xml"));
    EXPECT_TRUE(moved.DocumentElement().IsNull());
    EXPECT_THROW(moved.LoadFromFileIfExists(open, u"bad.xml"), EXmlError) << "present but broken";
}

std::string Nested(int depth, std::string_view attributes = "") {
    std::string xml;
    for (int i = 0; i < depth; ++i) {
        xml += "<a" + std::string(attributes) + ">";
    }
    xml += "x";
    for (int i = 0; i < depth; ++i) {
        xml += "</a>";
    }
    return xml;
}

TEST(XmlDocument, DocumentsDeeperThan256LevelsAreRefusedBeforeTheyAreBuilt) {
    EXPECT_TRUE(Parse(Nested(256)).DocumentElement().HasChildElements());
    EXPECT_THROW(Parse(Nested(257)), EXmlError);
    EXPECT_THROW(Parse(Nested(200000)), EXmlError);
    // Markup inside quotes, comments and CDATA neither opens nor closes anything.
    EXPECT_THROW(Parse(Nested(257, " v='/>' w=\"</a>\"")), EXmlError);
    EXPECT_NO_THROW(Parse("<r><!-- <a><a> --><![CDATA[<a><a>]]><?pi <a>?><b/></r>"));
}

TEST(XmlDocument, DocumentsOfMoreThanAMillionNodesAreRefused) {
    std::string many = "<r>";
    for (int i = 0; i < 999'998; ++i) {
        many += "<a/>";
    }
    EXPECT_NO_THROW(Parse(many + "<a/></r>"));
    EXPECT_THROW(Parse(many + "<a b='1'/></r>"), EXmlError) << "attributes count as nodes";
}

TEST(XmlDocument, NulCharactersRawOrReferencedAreNotXml) {
    EXPECT_THROW(Parse("<n>a&#0;b</n>"), EXmlError);
    EXPECT_THROW(Parse("<n>a&#x0000;b</n>"), EXmlError);
    EXPECT_THROW(Parse(std::string("<n>a\0b</n>", 9)), EXmlError);
    EXPECT_EQ(RootText("<n>a&#10;&#x30;&#100;</n>"), u"a\n0d");
}

TEST(XmlDocument, Utf16WithoutByteOrderMarkIsCheckedAndRead) {
    std::string be;
    for (char16_t c : UnicodeString(u"<n>\u20ac&#0;</n>")) {
        be += static_cast<char>(c >> 8);
        be += static_cast<char>(c & 0xFF);
    }
    EXPECT_THROW(Parse(be), EXmlError) << "the NUL reference is found in UTF-16 text too";
    be.clear();
    for (char16_t c : UnicodeString(u"<n>\u20ac</n>")) {
        be += static_cast<char>(c >> 8);
        be += static_cast<char>(c & 0xFF);
    }
    EXPECT_EQ(Parse(be).DocumentElement().Text(), u"\u20ac");
}

TEST(XmlDocument, CharacterReferencesOutsideXmlAreMalformed) {
    for (const char* bad : {"<n>1&#4294967296;00.00</n>", "<n>A&#x100000000;B Ltd</n>", "<n>&#x110000;</n>",
                            "<n>&#1114112;</n>", "<n>&#xD800;</n>", "<n>&#57343;</n>", "<n>&#1;</n>",
                            "<n>&#x1F;</n>", "<n>&#xFFFE;</n>", "<n a='&#x100000041;'/>", "<n>&#;</n>",
                            "<n>&#x;</n>", "<n>&#12a;</n>", "<n>&#X41;</n>", "<n>&#65</n>",
                            "<n>&#99999999999999999999999999999999999999990065;</n>"}) {
        EXPECT_THROW(Parse(bad), EXmlError) << bad;
    }
    EXPECT_EQ(RootText("<n>&#9;&#xA;&#13;&#x20;&#xD7FF;&#xE000;&#xFFFD;&#x10000;&#x10FFFF;&#0065;</n>"),
              u"\t\n\r \uD7FF\uE000\uFFFD\U00010000\U0010FFFFA");
    // Outside text and tags there is no reference to check.
    EXPECT_EQ(RootText("<n><!-- &#1; --><![CDATA[&#x110000;]]><?pi &#0;?></n>"), u"&#x110000;");
}

TEST(XmlDocument, EveryReferenceIsReadWhereverItStandsInTextOrTag) {
    // After entities and good references, behind quoted '>' and "/>", across several attributes.
    for (const char* bad : {"<n>a &amp; b &#65; c &#1;</n>", "<n a='>' b=\"/>\" c='&#0;'/>",
                            "<n a='&#65;' b='&lt;&#xFFFF;'>x</n>", "<r><n a='x'>&#65;</n><n>&#x7;</n></r>",
                            "<r a='&#65;&#66'/>", "<r>&#65;&#66&#67;</r>", "<r>&#x41<x/></r>"}) {
        EXPECT_THROW(Parse(bad), EXmlError) << bad;
    }
    const TXmlDocument doc = Parse("<n a='&#62;' b=\"/&#x3E;\">&amp;&#65;<m c='&#x3C;'/></n>");
    EXPECT_EQ(doc.DocumentElement().Attribute("a"), u">");
    EXPECT_EQ(doc.DocumentElement().Attribute("b"), u"/>");
    EXPECT_EQ(doc.DocumentElement().FirstChildElement().Attribute("c"), u"<");
}

TEST(XmlDocument, DoctypeInternalSubsetsAreRefusedAndCannotHideNesting) {
    for (const char* hide : {"<!DOCTYPE r [<!-- [ -->]>", "<!DOCTYPE r [<?pi [?>]>", "<!DOCTYPE r [<!ATTLIST r a CDATA '['>]>",
                             "<!DOCTYPE r []>", "<!DOCTYPE r SYSTEM 'x' [ ]>"}) {
        EXPECT_THROW(Parse(std::string(hide) + Nested(500000)), EXmlError) << hide;
        EXPECT_THROW(Parse(std::string(hide) + "<r/>"), EXmlError) << hide;
    }
    // A "[" or ">" in a literal of the external identifier ends nothing; the nesting is still counted.
    EXPECT_THROW(Parse("<!DOCTYPE r SYSTEM \"[>\">" + Nested(500000)), EXmlError);
    EXPECT_THROW(Parse("<!DOCTYPE r SYSTEM \"a><!--\">" + Nested(500000)), EXmlError);
    EXPECT_NO_THROW(Parse("<!DOCTYPE r PUBLIC \"-//x//[y]//EN\" 'r.dtd'><r/>"));
}
