// Code pages, bounded copies, formatting, folders and local time of the Windows-style layer.
#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "WinCompat.h"
#include "platform/CodePage.h"
#include "platform/DosDate.h"
#include "support/ScopedEnv.h"

namespace {

TEST(WinCompatCodePages, RoundTripsAndLengths) {
    const struct {
        int code_page;
        const char* bytes;
        const wchar_t* wide;
    } cases[] = {
        {65001, "\xe5\xb2\x9a\xe5\xb8\x86", L"岚帆"},
        {936, "\xe1\xb0\xb7\xab", L"岚帆"},             // GBK bytes of the same two characters
        {950, "\xb4\x50", L"嵐"},
        {1252, "caf\xe9", L"café"},
        {12345, "plain", L"plain"},                    // unknown numbers read UTF-8
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code_page);
        wchar_t wide[16];
        EXPECT_EQ(WinCompat::MultiByteToWide(c.bytes, wide, 16, c.code_page), static_cast<long>(wcslen(c.wide)));
        EXPECT_STREQ(wide, c.wide);
        char back[16];
        EXPECT_EQ(WinCompat::WideToMultiByte(c.wide, back, 16, c.code_page), static_cast<long>(strlen(c.bytes)));
        EXPECT_STREQ(back, c.bytes);
    }
    // A NULL destination asks for the length plus one; NULL sources give 0.
    EXPECT_EQ(WinCompat::MultiByteToWide("\xe5\xb2\x9a\xe5\xb8\x86", nullptr, 0, 65001), 3);
    EXPECT_EQ(WinCompat::WideToMultiByte(L"岚帆", nullptr, 0, 936), 5);
    wchar_t w[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(WinCompat::MultiByteToWide(nullptr, w, 4, 936), 0);
    EXPECT_EQ(w[0], 0);
    // Too small a destination keeps a terminator.
    EXPECT_EQ(WinCompat::MultiByteToWide("abcdef", w, 4, 65001), 3);
    EXPECT_STREQ(w, L"abc");
    // Invalid input converts to nothing.
    EXPECT_EQ(WinCompat::MultiByteToWide("\xff\xfe", w, 4, 65001), 0);
}

TEST(WinCompatCodePages, LeaveTheProcessLocaleAlone) {
    std::string before = setlocale(LC_ALL, nullptr);
    char buf[16];
    WinCompat::WideToMultiByte(L"岚帆", buf, 16, 936);
    wchar_t wide[16];
    WinCompat::MultiByteToWide(buf, wide, 16, 950);
    EXPECT_EQ(before, setlocale(LC_ALL, nullptr));
}

TEST(WinCompatCodePages, OwnCp437TableAgreesWithIconv) {
    for (int b = 0x20; b < 0x100; ++b) {
        if (b == 0x7f) continue;
        char byte = static_cast<char>(b);
        std::string ours = zplat::Cp437ToUtf8(&byte, 1);
        std::string theirs;
        ASSERT_TRUE(zplat::ConvertCharset(std::string(1, byte), "CP437", "UTF-8", &theirs));
        EXPECT_EQ(ours, theirs) << "byte " << b;
    }
}

TEST(WinCompatCopies, BoundedCopies) {
    const struct {
        int size;
        int count;
        const char* expect;
    } cases[] = {{1, 5, ""}, {4, 10, "abc"}, {10, 2, "ab"}, {0, 3, ""}};
    for (const auto& c : cases) {
        char dst[16] = {0};
        WinCompat::SafeStrCopy(dst, c.size, "abcdef", c.count);
        EXPECT_STREQ(dst, c.expect) << c.size << "/" << c.count;
    }
    // Like strncpy: no terminator of its own when the source is long enough.
    char raw[4] = {'x', 'x', 'x', 'x'};
    WinCompat::SafeStrCopy(raw, 4, "abcdef", 10);
    EXPECT_EQ(std::string(raw, 4), "abcx");

    wchar_t wdst[8] = {0};
    WinCompat::SafeWideCopy(wdst, 3, L"wxyz", 10);
    EXPECT_STREQ(wdst, L"wx");
    char cat[16] = "ab";
    WinCompat::SafeStrAppend(cat, 16, "cdef", 2);
    EXPECT_STREQ(cat, "abcd");

    char upper[] = "abZ9\xc3\xa9x";
    WinCompat::UpperCaseInPlace(upper);
    EXPECT_STREQ(upper, "ABZ9\xc3\xa9X");
    WinCompat::UpperCaseInPlace(nullptr);
}

TEST(WinCompatFormatting, WideFormatTakesWideStringsAtPercentS) {
    wchar_t buf[64];
    WinCompat::FormatWideString(buf, 64, L"%s=%d%%s", L"岚帆", 7);
    EXPECT_STREQ(buf, L"岚帆=7%s");
    char nbuf[16];
    EXPECT_EQ(WinCompat::FormatString(nbuf, sizeof nbuf, "%05d", 42), 5);
    EXPECT_STREQ(nbuf, "00042");
    EXPECT_EQ(WinCompat::WideToLong(L"123abc"), 123);
    EXPECT_FLOAT_EQ(WinCompat::WideToFloat(L"2.5"), 2.5f);
}

TEST(WinCompatFiles, OpenFileRefusesNullArguments) {
    FILE* f = reinterpret_cast<FILE*>(1);
    EXPECT_EQ(WinCompat::OpenFile(&f, nullptr, "r"), -1);
    EXPECT_EQ(WinCompat::OpenFile(&f, "/nonexistent/zid/file", "r"), -1);
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(WinCompat::OpenFileWide(&f, L"/proc/self/status", nullptr), -1);
    ASSERT_EQ(WinCompat::OpenFileWide(&f, L"/proc/self/status", L"r"), 0);
    char buf[4];
    EXPECT_EQ(WinCompat::ReadFile(buf, 1, 4, f), 4u);
    EXPECT_EQ(WinCompat::ReadFile(nullptr, 1, 4, f), 0u);
    fclose(f);
}

TEST(WinCompatFolders, PathsFollowTheBundleAndTheHome) {
    zid_test::ScopedEnv env("HOME", "/tmp/zid-home");
    env.Set("ZID_INSTALLER_BUNDLE", "/Applications/A.app");
    char buf[256] = {0};
    WinCompat::GetUserWorkDir(buf, sizeof buf);
    EXPECT_STREQ(buf, "/tmp/zid-home/Library/tamberlyn9.5/");
    memset(buf, 0, sizeof buf);
    WinCompat::GetResourcePath(buf, sizeof buf);
    EXPECT_STREQ(buf, "/Applications/A.app/Contents/Resources");
    memset(buf, 0, sizeof buf);
    WinCompat::GetInstallDataDir(buf, sizeof buf, false);
    EXPECT_STREQ(buf, "/Applications/A.app/Contents/");
    memset(buf, 0, sizeof buf);
    WinCompat::GetInstallDataDir(buf, sizeof buf, true);
    EXPECT_STREQ(buf, "/tmp/zid-home/Library/tamberlyn9.5/_Applications");
    memset(buf, 0, sizeof buf);
    WinCompat::GetUserWorkDir(buf, 8);  // at most size - 1 bytes
    EXPECT_STREQ(buf, "/tmp/zi");
    wchar_t wide[64] = {0};
    WinCompat::GetUserWorkDirWide(wide, 64);
    EXPECT_STREQ(wide, L"/tmp/zid-home/Library/tamberlyn9.5/");
}

TEST(WinCompatTime, LocalTimeRecordFromOneClockReading) {
    zid_test::ScopedEnv tz("TZ", "UTC");
    struct tm t = {};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 1;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 7;
    struct timespec ts = {timegm(&t), 250999999};
    LocalTimeRecord r;
    memset(&r, 0xAB, sizeof r);
    WinCompat::ReadLocalTimeAt(&r, ts);
    EXPECT_EQ(r.wYear, 2026);
    EXPECT_EQ(r.wMonth, 3);
    EXPECT_EQ(r.wDay, 1);
    EXPECT_EQ(r.wHour, 9);
    EXPECT_EQ(r.wMinute, 5);
    EXPECT_EQ(r.wSecond, 7);
    EXPECT_EQ(r.wMilliseconds, 250);
    EXPECT_EQ(r.wDayOfWeek, 0xABAB);  // not written

    tz.Set("TZ", "Asia/Shanghai");
    WinCompat::ReadLocalTimeAt(&r, ts);
    EXPECT_EQ(r.wHour, 17);
}

TEST(WinCompatTime, MsDosDatesInTheLocalZone) {
    zid_test::ScopedEnv tz("TZ", "Europe/Berlin");
    const uint32_t d = (46u << 25) | (7u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 15u;  // 2026-07-15 13:45:30
    time_t t = zplat::DosDateToTime(d);
    struct tm tm = {};
    localtime_r(&t, &tm);
    EXPECT_EQ(tm.tm_year + 1900, 2026);
    EXPECT_EQ(tm.tm_mon + 1, 7);
    EXPECT_EQ(tm.tm_mday, 15);
    EXPECT_EQ(tm.tm_hour, 13);
    EXPECT_EQ(tm.tm_min, 45);
    EXPECT_EQ(tm.tm_sec, 30);
    EXPECT_EQ(zplat::TimeToDosDate(t), d);
}

}  // namespace
