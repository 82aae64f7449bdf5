// Chinese script conversion and pinyin initials into a caller's buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "MacUtil.h"

namespace {

std::string Convert(int (*fn)(const char*, char*, size_t), const char* in, int* length = nullptr) {
    char buf[256];
    memset(buf, 'x', sizeof buf);
    int n = fn(in, buf, sizeof buf);
    if (length) *length = n;
    return buf;
}

TEST(ChineseScript, TraditionalAndSimplifiedConvertBothWays) {
    const struct {
        const char* traditional;
        const char* simplified;
    } pairs[] = {
        {"嵐帆", "岚帆"},
        {"張三", "张三"},
        {"銀行", "银行"},
        {"後來", "后来"},
        {"體驗", "体验"},
        {"頭髮", "头发"},  // one simplified character, two traditional ones by context
        {"國際", "国际"},
        {"Mac嵐帆安裝 v9.5, 2026年", "Mac岚帆安装 v9.5, 2026年"},
        {"plain ASCII 123", "plain ASCII 123"},
        {"", ""},
    };
    for (const auto& p : pairs) {
        SCOPED_TRACE(p.traditional);
        int n = 0;
        EXPECT_EQ(Convert(MacUtil::TraditionalToSimplified, p.traditional, &n), p.simplified);
        EXPECT_EQ(n, static_cast<int>(strlen(p.simplified)));
        EXPECT_EQ(Convert(MacUtil::SimplifiedToTraditional, p.simplified, &n), p.traditional);
        EXPECT_EQ(n, static_cast<int>(strlen(p.traditional)));
    }
}

TEST(ChineseScript, PinyinInitialsOfEachWord) {
    const struct {
        const char* text;
        const char* initials;
    } cases[] = {
        {"张三", "ZS"},
        {"李小龙", "LXL"},
        {"嵐帆", "LF"},                   // traditional characters read the same
        {"王小明，李四", "WXMLS"},
        {"Mac 岚帆 9.5", "MLF9"},         // Latin and digits keep their own first letter
        {"欧阳修", "\xc5\x8cYX"},         // a syllable that starts with a toned vowel: "Ō"
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Convert(MacUtil::PinyinInitials, c.text), c.initials);
    }
}

TEST(ChineseScript, BufferBoundsAndBadInput) {
    // "张三" takes 6 bytes: 7 with its NUL fit, 6 do not.
    char exact[7];
    EXPECT_EQ(MacUtil::TraditionalToSimplified("張三", exact, sizeof exact), 6);
    EXPECT_STREQ(exact, "张三");
    char tight[6] = "xxxxx";
    EXPECT_EQ(MacUtil::TraditionalToSimplified("張三", tight, sizeof tight), -1);
    EXPECT_STREQ(tight, "");
    char two[2] = "x";
    EXPECT_EQ(MacUtil::PinyinInitials("张三", two, sizeof two), -1);
    EXPECT_STREQ(two, "");
    char three[3];
    EXPECT_EQ(MacUtil::PinyinInitials("张三", three, sizeof three), 2);
    EXPECT_STREQ(three, "ZS");

    char buf[16] = "untouched";
    for (auto fn : {MacUtil::TraditionalToSimplified, MacUtil::SimplifiedToTraditional, MacUtil::PinyinInitials}) {
        EXPECT_EQ(fn("\xe5\xb2", buf, sizeof buf), -1);  // a cut UTF-8 sequence
        EXPECT_STREQ(buf, "");
        EXPECT_EQ(fn(nullptr, buf, sizeof buf), -1);
        EXPECT_EQ(fn("a", nullptr, 0), -1);
        EXPECT_EQ(fn("a", buf, 0), -1);
    }
}

}  // namespace
