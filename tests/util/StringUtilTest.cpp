#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ClientSettings.h"
#include "SettingsGuard.h"
#include "util/StringUtil.h"

using namespace zuzezi_zid;

TEST(StringUtilTest, TrimAndStrip) {
    struct Case {
        std::string in, out;
    };
    for (const Case& c : {Case{"  ab c  ", "ab c"}, Case{"    ", ""}, Case{"", ""},
                          Case{"\tx\t", "\tx\t"}, Case{" \nx ", "\nx"}}) {
        std::string s = c.in;
        EXPECT_EQ(StringUtil::TrimSpaces(s), c.out) << "[" << c.in << "]";
        EXPECT_EQ(s, c.out);
    }
    EXPECT_EQ(StringUtil::StripEnclosing("\"abc\"", "\""), "abc");
    EXPECT_EQ(StringUtil::StripEnclosing("\"", "\""), "");
    EXPECT_EQ(StringUtil::StripEnclosing("\"\"x\"\"", "\""), "\"x\"");
    EXPECT_EQ(StringUtil::StripPrefix("prefix-x", "prefix-"), "x");
    EXPECT_EQ(StringUtil::StripPrefix("Prefix-x", "prefix-"), "Prefix-x");
    EXPECT_EQ(StringUtil::StripSuffix("a.xml", ".xml"), "a");
    EXPECT_EQ(StringUtil::StripSuffix("xml", ".xml"), "xml");
}

TEST(StringUtilTest, CaseAndAffixTests) {
    std::string s = "MiXed-1";
    StringUtil::ToLowerInPlace(s);
    EXPECT_EQ(s, "mixed-1");
    EXPECT_EQ(StringUtil::ToUpperCopy(s), "MIXED-1");
    EXPECT_EQ(s, "mixed-1");

    EXPECT_TRUE(StringUtil::HasPrefix("abc", ""));
    EXPECT_TRUE(StringUtil::HasPrefix("abc", "ab"));
    EXPECT_FALSE(StringUtil::HasPrefix("ab", "abc"));
    EXPECT_FALSE(StringUtil::HasPrefix("Abc", "ab"));
    EXPECT_TRUE(StringUtil::HasPrefixIgnoreCase("HTTPS://x", "https"));
    EXPECT_FALSE(StringUtil::HasPrefixIgnoreCase("http://x", "https"));
    EXPECT_TRUE(StringUtil::HasSuffix("b-7", "-7"));
    EXPECT_FALSE(StringUtil::HasSuffix("7", "-7"));
    EXPECT_TRUE(StringUtil::HasSuffixIgnoreCase("file.XML", ".xml"));
    EXPECT_FALSE(StringUtil::HasSuffix("file.XML", ".xml"));

    EXPECT_FALSE(StringUtil::IsNotMd5Etag(std::string(32, 'a')));
    EXPECT_TRUE(StringUtil::IsNotMd5Etag(std::string(31, 'a')));
    EXPECT_TRUE(StringUtil::ContainsDash("abc-2"));
    EXPECT_FALSE(StringUtil::ContainsDash("abc"));
}

TEST(StringUtilTest, Numbers) {
    EXPECT_EQ(StringUtil::FormatUint64(18446744073709551615ULL), "18446744073709551615");
    EXPECT_EQ(StringUtil::FormatUint64(0), "0");
    EXPECT_EQ(StringUtil::FormatInt(-42), "-42");
    EXPECT_EQ(StringUtil::FormatInt(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(StringUtil::FormatInt(2147483647), "2147483647");
    EXPECT_EQ(StringUtil::FormatFloat(1.5f), "1.500000");
    EXPECT_EQ(StringUtil::ParseUint64("12abc"), 12u);
    EXPECT_EQ(StringUtil::ParseUint64("abc"), 0u);
    EXPECT_EQ(StringUtil::ParseUint64("  18446744073709551615"), 18446744073709551615ULL);
    EXPECT_EQ(StringUtil::ParseUint32("4294967295"), 4294967295u);
    EXPECT_EQ(StringUtil::ParseInt("-17 rest"), -17);
    EXPECT_EQ(StringUtil::ParseInt("x1"), 0);
    EXPECT_FLOAT_EQ(StringUtil::ParseFloat("2.25"), 2.25f);
    EXPECT_FLOAT_EQ(StringUtil::ParseFloat("no"), 0.0f);
}

TEST(StringUtilTest, SplitAndJoin) {
    std::vector<std::string> out;
    StringUtil::SplitByChar("a/b//c/", '/', &out);
    EXPECT_EQ(out, (std::vector<std::string>{"a", "b", "c"}));
    out.clear();
    StringUtil::SplitByChar("", '/', &out);
    EXPECT_TRUE(out.empty());

    out.clear();
    StringUtil::SplitByString("a::b::::c::", "::", &out);
    EXPECT_EQ(out, (std::vector<std::string>{"a", "b", "c", ""}));
    out.clear();
    StringUtil::SplitByString("abc", "::", &out);
    EXPECT_EQ(out, (std::vector<std::string>{"abc"}));

    EXPECT_EQ(StringUtil::Join({"a", "b", "c"}, ", "), "a, b, c");
    EXPECT_EQ(StringUtil::Join({}, ","), "");
}

TEST(StringUtilTest, XmlParseAndPrint) {
    std::string good = "<Error><Code>NoSuchKey</Code></Error>";
    std::vector<char> buf(good.begin(), good.end());
    buf.push_back('\0');
    rapidxml::xml_document<> doc;
    ASSERT_TRUE(StringUtil::ParseXmlDocument(buf.data(), &doc));
    ASSERT_NE(doc.first_node("Error"), nullptr);
    EXPECT_EQ(std::string(doc.first_node("Error")->first_node("Code")->value()), "NoSuchKey");
    const std::string printed = StringUtil::PrintXmlNode(doc.first_node());
    EXPECT_NE(printed.find("<Code>NoSuchKey</Code>"), std::string::npos);

    std::string bad = "<Error><Code>x</Error>";
    std::vector<char> bad_buf(bad.begin(), bad.end());
    bad_buf.push_back('\0');
    rapidxml::xml_document<> bad_doc;
    EXPECT_FALSE(StringUtil::ParseXmlDocument(bad_buf.data(), &bad_doc));
}

TEST(StringUtilTest, MethodNamesAndBigEndian) {
    const char* names[] = {"HEAD", "GET", "PUT", "POST", "DELETE", "OPTIONS", "UNKNOWN"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(StringUtil::HttpMethodName(i), names[i]);
    }
    EXPECT_EQ(StringUtil::HttpMethodName(-1), "UNKNOWN");

    const unsigned char small[] = {0x00, 0x00, 0x01, 0x02};
    const unsigned char ones[] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(StringUtil::BigEndianToUint32(small), 258u);
    EXPECT_EQ(StringUtil::BigEndianToUint32(ones), 4294967295u);
    // Plain char buffers (signed on this platform) must not sign-extend.
    const char signed_bytes[] = {'\x80', '\x01', '\xFF', '\x7F'};
    EXPECT_EQ(StringUtil::BigEndianToUint32(signed_bytes), 0x8001FF7Fu);
    EXPECT_EQ(StringUtil::BigEndianToUint16(signed_bytes + 2), 0xFF7Fu);
    EXPECT_EQ(StringUtil::BigEndianToUint16(ones), 0xFFFFu);
}

TEST(StringUtilTest, StreamLengthCountsFromTheCurrentPosition) {
    std::istringstream is("0123456789");
    EXPECT_EQ(StringUtil::GetStreamLength(is), 10u);
    is.seekg(4);
    EXPECT_EQ(StringUtil::GetStreamLength(is), 6u);
    EXPECT_EQ(is.tellg(), std::streampos(4));
    char c = 0;
    is.get(c);
    EXPECT_EQ(c, '4');
    is.seekg(0, std::ios::end);
    EXPECT_EQ(StringUtil::GetStreamLength(is), 0u);
}

TEST(NameCheckTest, ObjectKeys) {
    zid_util_test::SettingsGuard guard;
    ClientSettings::SetObjectKeyCheck(true);
    for (const char* key : {"", "/", "//", ".", "..", "./..", "a/..", "a/b/../..", "/./a/../"}) {
        EXPECT_FALSE(StringUtil::IsObjectKeyLegal(key)) << key;
    }
    for (const char* key : {"a", "/a", "../a", "a/./b", "a/b/..", "a//b/", "...", ".a"}) {
        EXPECT_TRUE(StringUtil::IsObjectKeyLegal(key)) << key;
    }
    ClientSettings::SetObjectKeyCheck(false);
    EXPECT_TRUE(StringUtil::IsObjectKeyLegal(""));
    EXPECT_TRUE(StringUtil::IsObjectKeyLegal(".."));
}

TEST(NameCheckTest, BucketNamesAndCharacters) {
    for (const char* name : {"a", "7", "ab-1", "Ab", "a--b"}) {
        EXPECT_TRUE(StringUtil::IsValidBucketName(name)) << name;
    }
    for (const char* name : {"", "-a", "a-", "a.b", "a_b", "-", "a b", "\xC3\xA9"}) {
        EXPECT_FALSE(StringUtil::IsValidBucketName(name)) << name;
    }
    EXPECT_TRUE(StringUtil::IsAsciiAlnum('z'));
    EXPECT_FALSE(StringUtil::IsAsciiAlnum('-'));
    EXPECT_FALSE(StringUtil::IsAsciiAlnum('\xE9'));
}
