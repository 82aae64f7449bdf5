// Archive writing read back with our own unzip and with Python's zipfile, plus the
// inspection methods.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "ZipFacade.h"
#include "platform/FileManager.h"
#include "support/LocalServiceFixture.h"
#include "support/ZipFixture.h"

using zid_test::ReadBytes;
using zid_test::WriteBytes;

namespace {

// Caps the size of any file this process writes; restored when it goes.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        struct rlimit cap = saved_;
        cap.rlim_cur = std::min(bytes, saved_.rlim_max);
        setrlimit(RLIMIT_FSIZE, &cap);
        saved_signal_ = signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeCap() {
        signal(SIGXFSZ, saved_signal_);
        setrlimit(RLIMIT_FSIZE, &saved_);
    }

private:
    struct rlimit saved_;
    void (*saved_signal_)(int);
};

class ZipFacadeWriteTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = zid_test::MakeTempFolder("zid-zipwrite"); }
    void TearDown() override { zplat::RemoveItem(dir_); }

    // Python's own reader: names (sorted) and a CRC test of every entry.
    std::string PythonListing(const std::string& zip) {
        std::string cmd = "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                          "bad=z.testzip(); print('bad' if bad else 'ok', *sorted(z.namelist()))\" '" + zip + "'";
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return "";
        char buf[4096] = {0};
        size_t n = fread(buf, 1, sizeof buf - 1, p);
        pclose(p);
        std::string out(buf, n);
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }

    std::string dir_;
};

TEST_F(ZipFacadeWriteTest, FolderArchiveRoundTrips) {
    const std::string src = dir_ + "/src";
    ASSERT_TRUE(zplat::CreateDirectory(src + "/sub/empty", true));
    WriteBytes(src + "/a.txt", std::string(100000, 'a'));
    WriteBytes(src + "/sub/名字.txt", "utf8");
    WriteBytes(src + "/run.sh", "#!/bin/sh\n");
    chmod((src + "/run.sh").c_str(), 0755);
    ASSERT_EQ(symlink("a.txt", (src + "/link").c_str()), 0);

    for (int level : {0, 1, 9, -1}) {
        SCOPED_TRACE(level);
        const std::string zip = dir_ + "/out" + std::to_string(level + 1) + ".zip";
        ASSERT_TRUE(ZipFacade::CreateZipFileAtPathWithContentsOfDirectory(zip, src, false, level, "", false, nullptr, true));
        EXPECT_EQ(PythonListing(zip), "ok a.txt link run.sh sub/empty/ sub/名字.txt");
        EXPECT_EQ(ZipFacade::PayloadSizeForArchiveAtPath(zip, nullptr), 100000u + 4 + 10 + 5);

        const std::string out = dir_ + "/back" + std::to_string(level + 1);
        ASSERT_TRUE(ZipFacade::UnzipFileAtPath(zip, out));
        EXPECT_EQ(ReadBytes(out + "/a.txt"), std::string(100000, 'a'));
        EXPECT_EQ(ReadBytes(out + "/sub/名字.txt"), "utf8");
        EXPECT_EQ(zplat::PosixMode(out + "/run.sh") & 0777, 0755);
        EXPECT_TRUE(zplat::IsDirectory(out + "/sub/empty"));
        std::string target;
        ASSERT_TRUE(zplat::ReadLink(out + "/link", &target));
        EXPECT_EQ(target, "a.txt");
    }
    // Stored data is larger than deflated data of a repetitive file.
    EXPECT_GT(zplat::FileSize(dir_ + "/out1.zip"), zplat::FileSize(dir_ + "/out10.zip"));
}

TEST_F(ZipFacadeWriteTest, FolderFormsKeepParentAndSkipTheArchiveItself) {
    const std::string empty = dir_ + "/lonely";
    ASSERT_TRUE(zplat::CreateDirectory(empty, true));
    ASSERT_TRUE(ZipFacade::CreateZipFileAtPathWithContentsOfDirectory(dir_ + "/kept.zip", empty, true));
    EXPECT_EQ(PythonListing(dir_ + "/kept.zip"), "ok lonely/");
    ASSERT_TRUE(ZipFacade::CreateZipFileAtPathWithContentsOfDirectory(dir_ + "/none.zip", empty, false));
    EXPECT_EQ(PythonListing(dir_ + "/none.zip"), "ok");

    // The archive inside the folder it zips is left out, also with links kept (read into
    // itself it would grow as fast as it is read). Every other item listed gets one
    // progress call, the non-empty folder without an entry of its own included.
    // Should the archive be read into itself after all, the cap ends its growth (writes
    // fail instead of filling the disk) and the checks below fail.
    FileSizeCap cap(16 << 20);
    for (bool keepSymlinks : {false, true}) {
        SCOPED_TRACE(keepSymlinks);
        const std::string src = dir_ + "/self" + std::to_string(keepSymlinks);
        ASSERT_TRUE(zplat::CreateDirectory(src + "/sub", true));
        WriteBytes(src + "/f.txt", std::string(300000, 'f'));
        WriteBytes(src + "/sub/g.txt", "g");
        ASSERT_EQ(symlink("f.txt", (src + "/ln").c_str()), 0);
        std::vector<std::pair<unsigned long, unsigned long>> calls;
        const std::string zip = src + "/self.zip";
        ASSERT_TRUE(ZipFacade::CreateZipFileAtPathWithContentsOfDirectory(
            zip, src, false, 0, "", true, [&](unsigned long d, unsigned long t) { calls.push_back({d, t}); },
            keepSymlinks));
        EXPECT_EQ(PythonListing(zip), "ok f.txt ln sub/g.txt");
        EXPECT_EQ(calls, (std::vector<std::pair<unsigned long, unsigned long>>{{1, 5}, {2, 5}, {3, 5}, {4, 5}}));
        EXPECT_LT(zplat::FileSize(zip), 3 * 300000);  // two copies of f.txt at most
        ASSERT_TRUE(ZipFacade::UnzipFileAtPath(zip, src + "-back"));
        EXPECT_EQ(zplat::ItemTypeAt(src + "-back/ln"),
                  keepSymlinks ? zplat::ItemType::Symlink : zplat::ItemType::File);
    }
}

TEST_F(ZipFacadeWriteTest, FileListDataAndFolderEntries) {
    WriteBytes(dir_ + "/one.txt", "1");
    WriteBytes(dir_ + "/two.txt", "22");
    ASSERT_EQ(symlink("one.txt", (dir_ + "/ln").c_str()), 0);
    std::vector<std::pair<unsigned long, unsigned long>> calls;
    ASSERT_TRUE(ZipFacade::CreateZipFileAtPath(dir_ + "/list.zip", {dir_ + "/one.txt", dir_ + "/two.txt"}, "",
                                               [&](unsigned long d, unsigned long t) { calls.push_back({d, t}); }));
    EXPECT_EQ(PythonListing(dir_ + "/list.zip"), "ok one.txt two.txt");
    EXPECT_EQ(calls, (std::vector<std::pair<unsigned long, unsigned long>>{{1, 2}, {2, 2}}));
    // A missing file makes the whole call false, the others are still written.
    EXPECT_FALSE(ZipFacade::CreateZipFileAtPath(dir_ + "/partial.zip", {dir_ + "/missing", dir_ + "/one.txt"}));
    EXPECT_EQ(PythonListing(dir_ + "/partial.zip"), "ok one.txt");

    ASSERT_TRUE(ZipFacade::CreateZipFileAtPath(dir_ + "/links.zip", {dir_ + "/ln"}, "", true));
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(dir_ + "/links.zip", dir_ + "/links"));
    EXPECT_EQ(zplat::ItemTypeAt(dir_ + "/links/ln"), zplat::ItemType::Symlink);

    ZipFacade zip(dir_ + "/inst.zip");
    EXPECT_FALSE(zip.WriteData("x", "early.txt", ""));  // not open yet
    ASSERT_TRUE(zip.Open());
    EXPECT_TRUE(zip.WriteData("payload", "data/p.txt", ""));
    EXPECT_TRUE(zip.WriteFolderAtPath(dir_, "folder", ""));
    EXPECT_TRUE(zip.WriteFileAtPath(dir_ + "/two.txt", "renamed.txt", ""));
    EXPECT_TRUE(zip.Close());
    EXPECT_EQ(PythonListing(dir_ + "/inst.zip"), "ok data/p.txt folder/ renamed.txt");

    ZipFacade more(dir_ + "/inst.zip");
    ASSERT_TRUE(more.OpenForAppending());
    EXPECT_TRUE(more.WriteData("m", "more.txt", ""));
    EXPECT_TRUE(more.Close());
    EXPECT_EQ(PythonListing(dir_ + "/inst.zip"), "ok data/p.txt folder/ more.txt renamed.txt");
}

TEST_F(ZipFacadeWriteTest, PasswordsAreRefusedAndInspectionAnswers) {
    ZipFacade zip(dir_ + "/pw.zip");
    ASSERT_TRUE(zip.Open());
    EXPECT_FALSE(zip.WriteData("secret", "s.txt", "pw"));
    EXPECT_TRUE(zip.WriteData("open", "o.txt", ""));
    EXPECT_TRUE(zip.Close());
    EXPECT_EQ(PythonListing(dir_ + "/pw.zip"), "ok o.txt");

    EXPECT_FALSE(ZipFacade::IsFilePasswordProtectedAtPath(dir_ + "/pw.zip"));
    zplat::ErrorRecord err;
    EXPECT_TRUE(ZipFacade::IsPasswordValidForArchiveAtPath(dir_ + "/pw.zip", "anything", &err));
    EXPECT_FALSE(ZipFacade::IsPasswordValidForArchiveAtPath(dir_ + "/missing.zip", "", &err));
    EXPECT_EQ(err.code, -1);
    EXPECT_EQ(err.description, "failed to open zip file");
    EXPECT_EQ(ZipFacade::PayloadSizeForArchiveAtPath(dir_ + "/missing.zip", &err), 0u);
    EXPECT_EQ(err.code, -1);
    EXPECT_EQ(ZipFacade::PayloadSizeForArchiveAtPath(dir_ + "/pw.zip", &err), 4u);
    EXPECT_EQ(err.code, 0);
}

TEST_F(ZipFacadeWriteTest, EncryptedEntriesAreRecognisedButNotOpened) {
    zid_test::ZipEntrySpec locked = zid_test::FileEntry("locked.bin", "0123456789ABCDEF");
    locked.flag |= 1;  // marked encrypted (this minizip cannot decrypt it anyway)
    locked.stored = true;
    const std::string zip = dir_ + "/locked.zip";
    zid_test::WriteZip(zip, {zid_test::FileEntry("open.txt", "o"), locked});
    EXPECT_TRUE(ZipFacade::IsFilePasswordProtectedAtPath(zip));
    zplat::ErrorRecord err;
    EXPECT_FALSE(ZipFacade::IsPasswordValidForArchiveAtPath(zip, "pw", &err));
    EXPECT_FALSE(ZipFacade::UnzipFileAtPath(zip, dir_ + "/out", true, "pw", &err));
    EXPECT_EQ(err.code, -2);
    EXPECT_EQ(err.description, "failed to open file in zip file");
    EXPECT_EQ(ReadBytes(dir_ + "/out/open.txt"), "o");
}

TEST_F(ZipFacadeWriteTest, UrlSafeBase64) {
    const struct {
        std::string in;
        const char* out;
    } cases[] = {{"\xfb\xff\xbf", "-_-_"}, {"", ""}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}};
    for (const auto& c : cases) EXPECT_EQ(ZipFacade::Base64RFC4648(c.in), c.out);
}

}  // namespace
