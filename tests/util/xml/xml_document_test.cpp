// The nesting guard against TinyXML itself: what TinyXML builds from a document (its partial
// tree too, when it stops at an error) is as deep as the guard says, on generated documents
// full of the constructs whose lexing decides what is an element.
#include "util/xml/xml_document.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/fatal.h"
#include "test_support.h"

namespace {

size_t tree_depth(const TiXmlNode& root) {
    size_t deepest = 0;
    std::vector<std::pair<const TiXmlNode*, size_t>> pending{{&root, 0}};
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
            const size_t d = depth + (child->ToElement() ? 1 : 0);
            deepest = std::max(deepest, d);
            pending.push_back({child, d});
        }
    }
    return deepest;
}

std::string repeat(const std::string& s, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += s;
    return out;
}

TEST(XmlNesting, AgreesWithTinyXmlOnGeneratedDocuments) {
    // Pieces that open, close or hide markup: quotes, comments, CDATA, declarations (one that
    // switches TinyXML to UTF-8, whose lead bytes swallow what follows), numeric entities that
    // run to the next ';', byte order marks, line ends.
    const std::vector<std::string> pieces = {
        "<a>", "</a>", "<b>", "</b>", "<a/>", "<a x=\"", "<a x='", "\"", "'", "=", " ", ">", "/>", "/", "<", "</",
        "<!--", "-->", "<![CDATA[", "]]>", "<?xml version=\"1.0\"?>", "<?xml encoding=\"latin1\"?>", "<?XML ",
        "<?xml version='", "<?php ", "?>", "<!DOCTYPE a [", "<!ENTITY e \"", "]>", "\xc2", "\xe0", "\xf0",
        "\xef\xbb\xbf", "&#x", "&#", ";", "x", "#", "41", "&amp;", "&", "y=", "\r", "\n", "< a>", "<_>", "</a >",
        "</ab>", "\xff", "<\xc3\xa9>", "</\xc3\xa9>"};
    std::mt19937 random(29);
    for (int i = 0; i < 20000; ++i) {
        std::string text = random() % 3 == 0 ? "<?xml version=\"1.0\"?>" : "";
        for (int n = 1 + random() % 40; n > 0; --n) text += pieces[random() % pieces.size()];
        TiXmlDocument document;
        document.Parse((text + std::string(4, '\0')).c_str());
        ASSERT_EQ(xml_nesting_depth(text, 100), tree_depth(document)) << printable_bytes(text.data(), text.size());
    }
}

TEST(XmlNesting, ClosesThatTinyXmlDoesNotReadAsClosesHideNoDepth) {
    // Each "</a>" here is text or part of a declaration to TinyXML: the elements never close.
    const char* utf8 = "<?xml version=\"1.0\"?>";
    const std::pair<std::string, std::string> tricks[] = {
        {utf8, "<a>\xc2</a>"},          // a UTF-8 lead byte takes the '<' along
        {"", "<a>&#</a>#65;"},           // the entity runs to the ';' and checks digits back to the '#'
        {"", "<a><?php x=\"</a>\"?>"},  // an unknown ends at its first '>', quotes or not
        {"", "<a x=\"</a>\"><!-- </a> -->"},
    };
    for (const auto& [prefix, step] : tricks) {
        TiXmlDocument document;
        document.Parse((prefix + repeat(step, 50)).c_str());
        EXPECT_EQ(tree_depth(document), 50u) << step;
        EXPECT_EQ(xml_nesting_depth(prefix + repeat(step, 50)), 50u) << step;
        EXPECT_GT(xml_nesting_depth(prefix + repeat(step, 5000)), MAX_XML_NESTING) << step;
    }
}

TEST(XmlDocument, DeepDocumentsAreRefusedBeforeTinyXmlRecursesIntoThem) {
    TiXmlDocument document;
    const std::string at_limit = repeat("<a>", 999) + "<a/>" + repeat("</a>", 999);
    EXPECT_TRUE(parse_xml_document(document, at_limit, "deep.xml"));
    EXPECT_NE(fatal_message_of([&] { parse_xml_document(document, "<a>" + at_limit + "</a>", "deep.xml"); }), "");
    // Deep enough to overflow TinyXML's recursion, were it parsed.
    const std::string deep = "<?xml version=\"1.0\"?>\r\n" + repeat("<a>\xc2</a>", 100000);
    EXPECT_EQ(fatal_message_of([&] { parse_xml_document(document, deep, "data/deep.xml"); }),
              "Could not load data/deep.xml. Error='Elements nested deeper than 1000 levels'. Exiting.\n");
}

TEST(XmlDocument, Utf16AndTheUtf8MarkAreReadAsUtf8) {
    // "<a n="é𝄞"/>": a two-byte and a four-byte character (a surrogate pair in UTF-16).
    const std::string expected = "\xC3\xA9\xF0\x9D\x84\x9E";
    std::u16string text = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a n=\"\u00e9\U0001D11E\"/>";
    auto bytes_of = [&](bool big_endian, bool mark) {
        std::string bytes = mark ? (big_endian ? "\xFE\xFF" : "\xFF\xFE") : "";
        for (char16_t c : text) {
            const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
            bytes += big_endian ? std::string{high, low} : std::string{low, high};
        }
        return bytes;
    };
    for (const std::string& bytes : {bytes_of(false, true), bytes_of(true, true), bytes_of(false, false),
                                     bytes_of(true, false), "\xEF\xBB\xBF<a n=\"" + expected + "\"/>"}) {
        TiXmlDocument document;
        ASSERT_TRUE(parse_xml_document(document, bytes, "scene.dae")) << document.ErrorDesc();
        ASSERT_NE(document.RootElement(), nullptr);
        EXPECT_EQ(std::string(document.RootElement()->Attribute("n")), expected);
    }
    bool recoded = true;
    EXPECT_EQ(xml_bytes_as_utf8("<a/>", recoded), "<a/>");
    EXPECT_FALSE(recoded);
    // Half a surrogate pair, and an odd last byte.
    EXPECT_EQ(xml_bytes_as_utf8(std::string("\xFF\xFE<\0\x00\xD8>\0x", 9), recoded), "<\xEF\xBF\xBD>");
    EXPECT_TRUE(recoded);
}

}  // namespace
