#include <gtest/gtest.h>

#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "ClientSettings.h"
#include "SettingsGuard.h"
#include "util/AuthTool.h"
#include "util/LogUtil.h"

using namespace zuzezi_zid;

namespace {

std::vector<std::string> g_lines;
void Capture(const std::string& line) { g_lines.push_back(line); }

// Sends every statement level through one function so the function name and
// line in the prefix are known.
void LogAll(const char* text) {
    ZID_LOG_ERR("err %s", text);
    ZID_LOG_WARN("warn %s", text);
    ZID_LOG_INFO("info %s", text);
    ZID_LOG_DBG("dbg %s", text);
}

// Redirects stdout into a file for the length of one block.
class StdoutCapture {
public:
    StdoutCapture() {
        fflush(stdout);
        file_ = tmpfile();
        saved_ = dup(fileno(stdout));
        dup2(fileno(file_), fileno(stdout));
    }
    std::string Stop() {
        fflush(stdout);
        dup2(saved_, fileno(stdout));
        close(saved_);
        std::string text;
        rewind(file_);
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), file_)) > 0) {
            text.append(buf, n);
        }
        fclose(file_);
        return text;
    }

private:
    FILE* file_;
    int saved_;
};

class LogUtilTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClientSettings::SetLogCallback(&Capture);
        g_lines.clear();
    }
    zid_util_test::SettingsGuard guard_;
};

}  // namespace

TEST_F(LogUtilTest, LevelGatesStdoutAndCallback) {
    struct Case {
        int level;
        size_t lines;
    };
    for (const Case& c :
         {Case{0, 0}, Case{-3, 0}, Case{1, 1}, Case{2, 2}, Case{3, 3}, Case{4, 4}, Case{9, 4}}) {
        ClientSettings::SetLogLevel(c.level);
        ClientSettings::SetLogOutType(1);
        g_lines.clear();
        StdoutCapture out;
        LogAll("x");
        const std::string printed = out.Stop();
        EXPECT_EQ(g_lines.size(), c.lines) << c.level;
        size_t newlines = 0;
        for (char ch : printed) {
            newlines += ch == '\n' ? 1 : 0;
        }
        EXPECT_EQ(newlines, c.lines) << c.level;
    }
}

TEST_F(LogUtilTest, StdoutLineShape) {
    ClientSettings::SetLogLevel(2);
    ClientSettings::SetLogOutType(1);
    StdoutCapture out;
    const int line = __LINE__ + 1;
    ZID_LOG_ERR("value=%d text=%s", 42, "t");
    ZID_LOG_INFO("not printed");
    const std::string printed = out.Stop();
    EXPECT_EQ(printed, "[ERR] :TestBody(" + std::to_string(line) + ") value=42 text=t\n");
}

TEST_F(LogUtilTest, CallbackLineCarriesTimeTagAndSourcePath) {
    ClientSettings::SetLogLevel(4);
    ClientSettings::SetLogOutType(3);  // no sink: only the callback
    StdoutCapture out;
    const int line = __LINE__ + 1;
    ZID_LOG_WARN("hello %s", "w");
    EXPECT_EQ(out.Stop(), "");
    ASSERT_EQ(g_lines.size(), 1u);
    const std::regex shape(
        "\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} \\[WARN\\] .*LogUtilTest\\.cpp:TestBody\\(" +
        std::to_string(line) + "\\) hello w\n");
    EXPECT_TRUE(std::regex_match(g_lines[0], shape)) << g_lines[0];
}

// The library's own lines name the file as it lies in the source tree, whatever folder the
// library was built in.
TEST_F(LogUtilTest, LibraryLinesNameTheirFileWithinTheSourceTree) {
    ClientSettings::SetLogLevel(4);
    ClientSettings::SetLogOutType(0);
    AuthTool::Sign("AKID", "SK", "GET", "/", {}, {}, 1700000000, 1700003600);
    ASSERT_FALSE(g_lines.empty());
    const std::regex shape("\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} \\[DBG\\] "
                           "src/util/AuthTool\\.cpp:\\w+\\(\\d+\\) [\\s\\S]*");
    for (const auto& line : g_lines) {
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
    }
}

TEST_F(LogUtilTest, LongMessageReachesCallbackWhole) {
    ClientSettings::SetLogLevel(4);
    ClientSettings::SetLogOutType(0);
    const std::string big(5000, 'z');
    ZID_LOG_DBG("%s|end", big.c_str());
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_NE(g_lines[0].find(big + "|end\n"), std::string::npos);
    EXPECT_EQ(LogUtil::FormatForCallback(1, "%s", big.c_str()).size(),
              LogUtil::MakeLinePrefix(1).size() + big.size());
}

TEST_F(LogUtilTest, TagsAndPrefix) {
    EXPECT_STREQ(LogUtil::Tag(1), "[ERR] ");
    EXPECT_STREQ(LogUtil::Tag(2), "[WARN] ");
    EXPECT_STREQ(LogUtil::Tag(3), "[INFO] ");
    EXPECT_STREQ(LogUtil::Tag(4), "[DBG] ");
    EXPECT_STREQ(LogUtil::Tag(0), "[CRIT]");
    EXPECT_STREQ(LogUtil::Tag(5), "[CRIT]");
    const std::string prefix = LogUtil::MakeLinePrefix(7);
    EXPECT_TRUE(std::regex_match(
        prefix, std::regex("\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} \\[CRIT\\]")))
        << prefix;
}

TEST_F(LogUtilTest, FormattingErrorEndsInsteadOfLooping) {
    // An invalid wide character makes vsnprintf fail; the old doubling loop never ended.
    const wchar_t bad[] = {static_cast<wchar_t>(0xD800), 0};
    const std::string text = LogUtil::Format("%ls", bad);
    EXPECT_EQ(text, "");
}

TEST_F(LogUtilTest, SystemLogSinkPrintsNothingAndKeepsPercentSigns) {
    ClientSettings::SetLogLevel(4);
    ClientSettings::SetLogOutType(2);
    StdoutCapture out;
    // A formatted line holding "%s" and "%n" must not be used as a format again.
    ZID_LOG_ERR("literal %s", "%s%n%s%n");
    EXPECT_EQ(out.Stop(), "");
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_NE(g_lines[0].find("literal %s%n%s%n\n"), std::string::npos);
}

TEST_F(LogUtilTest, SystemLogPrioritiesFollowTheLevels) {
    EXPECT_EQ(LogUtil::SystemLogPriority(1), LOG_ERR);
    EXPECT_EQ(LogUtil::SystemLogPriority(2), LOG_WARNING);
    EXPECT_EQ(LogUtil::SystemLogPriority(3), LOG_INFO);
    EXPECT_EQ(LogUtil::SystemLogPriority(4), LOG_DEBUG);
}

TEST_F(LogUtilTest, QuotedBodyIsCutToItsFirstKibibyteWithItsLength) {
    const std::string kib(1024, 'b');
    const std::string e_acute = "\xC3\xA9";  // two bytes
    struct Case {
        const char* name;
        std::string body;
        std::string quoted;
    };
    const Case cases[] = {
        {"empty", "", ""},
        {"short", "<a/>", "<a/>"},
        {"exactly the limit", kib, kib},
        {"one byte over", kib + "x", kib + "...(1025 bytes)"},
        {"much longer", kib + std::string(1 << 20, 'y'), kib + "...(1049600 bytes)"},
        // The limit falls inside a two-byte character: the cut goes before it.
        {"character across the limit", std::string(1023, 'c') + e_acute + "zz",
         std::string(1023, 'c') + "...(1027 bytes)"},
        {"character ending at the limit", std::string(1022, 'c') + e_acute + "zz",
         std::string(1022, 'c') + e_acute + "...(1026 bytes)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.quoted, LogUtil::QuoteBody(c.body)) << c.name;
    }
}

// A statement logged on behalf of another carries the other's file, function and line.
TEST_F(LogUtilTest, SiteLineNamesTheStatementItStandsFor) {
    ClientSettings::SetLogLevel(4);
    ClientSettings::SetLogOutType(1);
    const LogSite site{"/src/parser/Caller.cpp", "CallerFunc", 77};
    StdoutCapture out;
    ZID_LOG_AT_SITE(2, site, "text %d", 5);
    EXPECT_EQ(out.Stop(), "[WARN] :CallerFunc(77) text 5\n");
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_NE(g_lines[0].find("[WARN] /src/parser/Caller.cpp:CallerFunc(77) text 5\n"),
              std::string::npos)
        << g_lines[0];
}
