#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include <rapidxml/rapidxml.hpp>

#include "util/StringUtil.h"
#include "util/XmlNesting.h"

using namespace zuzezi_zid;

namespace {

std::string Nested(size_t depth, const std::string& inner = "") {
    std::string text;
    for (size_t i = 0; i < depth; ++i) {
        text += "<a>";
    }
    text += inner;
    for (size_t i = 0; i < depth; ++i) {
        text += "</a>";
    }
    return text;
}

// rapidxml's own verdict, for documents shallow enough to hand it directly.
bool RapidxmlAccepts(const std::string& text) {
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back('\0');
    rapidxml::xml_document<> doc;
    try {
        doc.parse<0>(buf.data());
    } catch (const rapidxml::parse_error&) {
        return false;
    }
    return true;
}

bool Parses(const std::string& text) {
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back('\0');
    rapidxml::xml_document<> doc;
    return StringUtil::ParseXmlDocument(buf.data(), &doc);
}

}  // namespace

TEST(XmlNestingTest, DepthBoundAndDeepDocumentsRefusedWithoutCrash) {
    EXPECT_TRUE(Parses(Nested(kMaxXmlDepth)));
    EXPECT_FALSE(Parses(Nested(kMaxXmlDepth + 1)));
    // Deep enough to overflow the stack inside rapidxml, closed or left open.
    EXPECT_FALSE(Parses(Nested(100000)));
    std::string open_only;
    for (int i = 0; i < 100000; ++i) {
        open_only += "<a x='1'>";
    }
    EXPECT_FALSE(Parses(open_only));
    // Siblings are not depth: a long flat list still parses.
    std::string flat = "<L>";
    for (int i = 0; i < 50000; ++i) {
        flat += "<K/><V>1</V>";
    }
    EXPECT_TRUE(Parses(flat + "</L>"));
}

// Whatever hides markup from a naive scan must not hide depth from this one.
TEST(XmlNestingTest, DepthHiddenBehindMarkupIsStillCounted) {
    const size_t over = kMaxXmlDepth + 1;
    const std::vector<std::string> wrappers = {
        "<a x=\"/>\">",        "<a x='</a>'>",       "<a><!-- </a></a> -->",
        "<a><![CDATA[</a>]]>", "<a><?pi </a> ?>",    "<a><!DOCTYPE d [ <!E ']>' > ]>",
        "<a><!weird </a>",     "<a\tb = \"1\"\n>",   "<a>text &amp; /&gt; more",
    };
    for (const auto& wrapper : wrappers) {
        std::string text;
        std::string close;
        for (size_t i = 0; i < over; ++i) {
            text += wrapper;
            close += "</a>";
        }
        // Still well-formed for rapidxml at a shallow depth, refused past the bound.
        ASSERT_TRUE(RapidxmlAccepts(wrapper + "</a>")) << wrapper;
        EXPECT_TRUE(XmlNestingWithin((wrapper + "</a>").c_str())) << wrapper;
        EXPECT_FALSE(XmlNestingWithin((text + close).c_str())) << wrapper;
    }
}

// The scan follows rapidxml's grammar: on every input both give the same verdict.
TEST(XmlNestingTest, AgreesWithRapidxmlOnWhatParses) {
    const std::vector<std::string> table = {
        "",
        "   ",
        "\xEF\xBB\xBF<a/>",
        "<?xml version=\"1.0\"?><r><k>v</k></r>",
        "<r a='1' b=\"2\"/>",
        "<r a = '1' >x</r >",
        "<r>unterminated",
        "<r></r></r>",
        "</r>",
        "<r a=1/>",
        "<r a/>",
        "<r a='1></r>",
        "<r><!-- c --></r>",
        "<r><!-- c -></r>",
        "<r><![CDATA[ <x> ]]></r>",
        "<r><![CDATA[ open </r>",
        "<!DOCTYPE r [ <!ELEMENT r ANY> ]><r/>",
        "<!DOCTYPE r [ [nested] ] ><r/>",
        "<!DOCTYPE r [ unclosed <r/>",
        "<!something><r/>",
        "<?pi?><r/>",
        "<?pi <r/>",
        "text<r/>",
        "<r/>tail",
        "<r/><s/>",
        "<r>&#x41;&lt;</r>",
        "< r/>",
        "<r/ >",
        "<r></ r>",
        "<r><s></x></r>",
    };
    for (const auto& text : table) {
        EXPECT_EQ(XmlNestingWithin(text.c_str(), 1000), RapidxmlAccepts(text)) << text;
    }
    // Random strings of markup pieces find the corners a table misses.
    const std::vector<std::string> pieces = {
        "<a>", "</a>", "<b x='1'>", "<c/>", "</b>", "<!--", "-->", "<![CDATA[", "]]>", "<?p",
        "?>", "<!DOCTYPE d ", "[", "]", ">", "<", "/", "'", "\"", "=", " ", "t", "&amp;", "<!x",
    };
    std::mt19937 rng(20261210);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int n = static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i) {
            text += pieces[rng() % pieces.size()];
        }
        ASSERT_EQ(XmlNestingWithin(text.c_str(), 1000), RapidxmlAccepts(text)) << text;
    }
}
