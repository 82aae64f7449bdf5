// The ini reader's exact rules and the writer's byte-exact rewriting.
#include <gtest/gtest.h>

#include <string>

#include "WinCompat.h"
#include "platform/FileManager.h"
#include "support/LocalServiceFixture.h"
#include "support/ZipFixture.h"

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = zid_test::MakeTempFolder("zid-ini"); }
    void TearDown() override { zplat::RemoveItem(dir_); }

    std::string File(const std::string& content) {
        std::string path = dir_ + "/f" + std::to_string(n_++) + ".ini";
        zid_test::WriteBytes(path, content);
        return path;
    }

    std::string dir_;
    int n_ = 0;
};

TEST_F(IniFileTest, ReaderDecisions) {
    const struct {
        const char* file;
        const char* section;
        const char* key;
        const char* expect;
    } cases[] = {
        {"[Version]\ntime=5\n", "version", "time", "dflt"},          // section names are exact
        {"[v]\ntime = 5\n", "v", "time", "dflt"},                    // so are keys, blanks included
        {"[v]\ntime=5\n", "v", "time", "5"},
        {"[v]\ntime=\n", "v", "time", ""},                           // present but empty
        {"[v]\n;time=1\n#time=2\ntime=5;6\n", "v", "time", "5;6"},  // comments only at the start
        {"[a]\nk=1\n[b]\n[a]\nk=2\nj=3\n", "a", "k", "1"},
        {"[a]\nk=1\n[b]\n[a]\nk=2\nj=3\n", "a", "j", "dflt"},        // only the first [a] counts
        {"[a]\n[x\nk=7\n", "a", "k", "7"},                           // no closing bracket: not a header
        {"[a]\r\nk=crlf\r\n", "a", "k", "crlf"},
        {"[a]\nk\n\nk=v=w\n", "a", "k", "v=w"},
        {"[a]\n[b]\nk=1\n", "a", "k", "dflt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        char buf[101];
        memset(buf, 'X', sizeof buf);
        WinCompat::ReadIniString(c.section, c.key, "dflt", buf, sizeof buf, File(c.file).c_str());
        EXPECT_STREQ(buf, c.expect);
    }
}

TEST_F(IniFileTest, ReaderCutsLongValuesAndKeepsDefaultForMissingFiles) {
    char buf[6];
    memset(buf, 0, sizeof buf);
    WinCompat::ReadIniString("a", "k", "", buf, sizeof buf, File("[a]\nk=0123456789\n").c_str());
    EXPECT_STREQ(buf, "01234");

    char other[21] = {0};
    WinCompat::ReadIniString("a", "k", "fallback", other, sizeof other, (dir_ + "/none.ini").c_str());
    EXPECT_STREQ(other, "fallback");
    WinCompat::ReadIniString("a", "k", "fallback2", other, sizeof other, nullptr);
    EXPECT_STREQ(other, "fallback2");
    EXPECT_EQ(WinCompat::ReadIniInt("a", "n", File("[a]\nn=42\n").c_str()), 42);
}

TEST_F(IniFileTest, WriterDecisions) {
    const struct {
        const char* name;
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
    } cases[] = {
        {"new value keeps the key's spelling and the line ending", "[s]\r\nk = 1\r\n", "s", "k", "2",
         "[s]\r\nk =2\r\n"},
        {"case and blanks are ignored when matching", "[ S ]\nKey=old  \n", "s", "key", "new", "[ S ]\nKey=new  \n"},
        {"delete a key", "[s]\na=1\nb=2\n", "s", "a", nullptr, "[s]\nb=2\n"},
        {"delete a section", "[r]\nx=1\n[s]\na=1\n[t]\ny=2\n", "s", nullptr, nullptr, "[r]\nx=1\n[t]\ny=2\n"},
        {"add before blank lines", "[s]\na=1\n\n[t]\n", "s", "c", "3", "[s]\na=1\nc=3\n\n[t]\n"},
        {"add at an unterminated end", "[s]\na=1", "s", "c", "3", "[s]\na=1\nc=3\n"},
        {"add a section", "[s]\na=1", "t", "k", "v", "[s]\na=1\n[t]\nk=v\n"},
        {"leading blanks of the value go, trailing ones stay", "[s]\na=1\n", "s", "a", "  x ", "[s]\na=x \n"},
        {"a missing key with no value changes nothing", "[s]\na=1\n", "s", "b", nullptr, "[s]\na=1\n"},
        {"a missing section with no key changes nothing", "[s]\na=1\n", "t", nullptr, nullptr, "[s]\na=1\n"},
        {"comments mean nothing to the writer", "[s]\n;a=1\n", "s", ";a", "2", "[s]\n;a=2\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = File(c.before);
        WinCompat::WriteIniString(c.section, c.key, c.value, path.c_str());
        EXPECT_EQ(zid_test::ReadBytes(path), c.after);
    }
}

TEST_F(IniFileTest, WriterLeavesTheFileAloneWhenTheValueIsTheSame) {
    std::string path = File("[s]\nk = 1 \n");
    ASSERT_TRUE(zplat::SetModificationDate(path, 1000000000));
    WinCompat::WriteIniString("s", "k", "1", path.c_str());
    time_t when = 0;
    ASSERT_TRUE(zplat::GetModificationDate(path, &when));
    EXPECT_EQ(when, 1000000000);
    EXPECT_EQ(zid_test::ReadBytes(path), "[s]\nk = 1 \n");
}

TEST_F(IniFileTest, WriterBuildsTheInstallersFilesFromNothing) {
    std::string path = dir_ + "/update.ini";
    WinCompat::WriteIniString("cfgstamp", "time", "123", path.c_str());
    WinCompat::WriteIniString("version", "cur", "9.5.3", path.c_str());
    WinCompat::WriteIniString("version", "quant", "q1", path.c_str());
    EXPECT_EQ(zid_test::ReadBytes(path), "[cfgstamp]\ntime=123\n[version]\ncur=9.5.3\nquant=q1\n");

    // A missing file and a NULL value leave an empty file behind; a NULL section nothing.
    std::string empty = dir_ + "/empty.ini";
    WinCompat::WriteIniString("s", "k", nullptr, empty.c_str());
    EXPECT_TRUE(zplat::ItemExists(empty));
    EXPECT_EQ(zid_test::ReadBytes(empty), "");
    WinCompat::WriteIniString(nullptr, "k", "v", (dir_ + "/never.ini").c_str());
    EXPECT_FALSE(zplat::ItemExists(dir_ + "/never.ini"));
}

TEST_F(IniFileTest, WideTwinsReadAndWriteThroughTheNarrowOnes) {
    std::string path = dir_ + "/wide.ini";
    std::wstring wpath(path.begin(), path.end());
    WinCompat::WriteIniStringWide(L"s", L"name", L"岚帆", wpath.c_str());
    wchar_t buf[16];
    WinCompat::ReadIniStringWide(L"s", L"name", L"none", buf, 16, wpath.c_str());
    EXPECT_STREQ(buf, L"岚帆");
    WinCompat::ReadIniStringWide(L"s", L"other", L"none", buf, 16, wpath.c_str());
    EXPECT_STREQ(buf, L"none");
    WinCompat::WriteIniStringWide(L"s", L"n", L"17", wpath.c_str());
    EXPECT_EQ(WinCompat::ReadIniIntWide(L"s", L"n", wpath.c_str()), 17);
}

}  // namespace
