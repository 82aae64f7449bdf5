// Unpacking archives made at test time: names, folders, links, modes, dates, callbacks,
// errors, and archives that try to leave their destination.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ZipFacade.h"
#include "platform/FileManager.h"
#include "support/LocalServiceFixture.h"
#include "support/ScopedEnv.h"
#include "support/ZipFixture.h"

using zid_test::DirEntry;
using zid_test::DosEntry;
using zid_test::FileEntry;
using zid_test::LinkEntry;
using zid_test::ReadBytes;
using zid_test::WriteZip;

namespace {

class ZipFacadeUnzipTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = zid_test::MakeTempFolder("zid-unzip");
        dest_ = dir_ + "/out";
        tz_.Set("TZ", "UTC");
    }
    void TearDown() override { zplat::RemoveItem(dir_); }

    std::string Zip(const std::vector<zid_test::ZipEntrySpec>& entries) {
        std::string path = dir_ + "/a" + std::to_string(n_++) + ".zip";
        WriteZip(path, entries);
        return path;
    }

    std::string dir_, dest_;
    int n_ = 0;

private:
    zid_test::ScopedEnv tz_;
};

TEST_F(ZipFacadeUnzipTest, UnpacksNamesFoldersLinksModesAndDates) {
    zid_test::ZipEntrySpec dated = FileEntry("dated.txt", "d", 0640);
    dated.dosDate = zid_test::DosDate(2020, 5, 6, 7, 8, 10);
    zid_test::ZipEntrySpec setuid = FileEntry("bin/tool", "#!/bin/sh\n", 04755);
    zid_test::ZipEntrySpec link = LinkEntry("bin/alias", "tool");
    link.dosDate = zid_test::DosDate(2001, 2, 3, 4, 5, 6);
    std::string zip = Zip({FileEntry("目录/文件.txt", "utf8"), DosEntry("caf\x82.txt", "cp437"), DirEntry("empty/"),
                           dated, setuid, link, FileEntry("exec.sh", "x", 0700)});
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(zip, dest_));

    EXPECT_EQ(ReadBytes(dest_ + "/目录/文件.txt"), "utf8");
    EXPECT_EQ(ReadBytes(dest_ + "/café.txt"), "cp437");
    EXPECT_TRUE(zplat::IsDirectory(dest_ + "/empty"));
    std::string target;
    ASSERT_TRUE(zplat::ReadLink(dest_ + "/bin/alias", &target));
    EXPECT_EQ(target, "tool");

    const struct {
        const char* name;
        long mode;
    } modes[] = {{"dated.txt", 0640}, {"bin/tool", 0755}, {"exec.sh", 0700}, {"café.txt", 0600}};
    for (const auto& m : modes) {
        EXPECT_EQ(zplat::PosixMode(dest_ + "/" + m.name) & 07777, m.mode) << m.name;
    }
    time_t when = 0;
    ASSERT_TRUE(zplat::GetModificationDate(dest_ + "/dated.txt", &when));
    EXPECT_EQ(when, 1588748890);  // 2020-05-06 07:08:10 UTC
    // A link's date goes on the link itself, not on what it points to.
    ASSERT_TRUE(zplat::GetModificationDate(dest_ + "/bin/alias", &when));
    EXPECT_EQ(when, 981173106);  // 2001-02-03 04:05:06 UTC
    ASSERT_TRUE(zplat::GetModificationDate(dest_ + "/bin/tool", &when));
    EXPECT_NE(when, 981173106);
}

TEST_F(ZipFacadeUnzipTest, NoDateInTheArchiveLeavesTheDateOfWriting) {
    std::string zip = Zip({FileEntry("f.txt", "f"), DirEntry("d/")});
    zid_test::ZeroEntryDates(zip);
    unz_file_info64 seen = {};
    ZipFacadeDelegate d;
    d.willUnzipFile = [&](long, long, const std::string&, const unz_file_info64& info) { seen = info; };
    const time_t before = time(nullptr);
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(zip, dest_, &d));
    EXPECT_EQ(seen.dosDate, 0u);
    for (const char* item : {"f.txt", "d"}) {
        time_t when = 0;
        ASSERT_TRUE(zplat::GetModificationDate(dest_ + "/" + item, &when));
        EXPECT_GE(when, before - 2) << item;
    }
}

TEST_F(ZipFacadeUnzipTest, NameDecoding) {
    const struct {
        std::string raw;
        unsigned long version;
        unsigned long flag;
        std::string expect;
    } cases[] = {
        {"caf\x82", 20, 0, "café"},                          // MS-DOS made, no UTF-8 flag: CP437
        {"\xe5\xb2\x9a", 20, 0x800, "岚"},                   // UTF-8 flag wins
        {"\xe5\xb2\x9a", 0x314, 0, "岚"},                    // Unix made, valid UTF-8
        {"\xe1\xb0", 0x314, 0, "岚"},                        // not UTF-8: the guess finds GB18030
        {"plain", 0x314, 0, "plain"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZipFacade::FilenameStringWithCString(c.raw.c_str(), c.version, c.flag, c.raw.size()), c.expect)
            << c.raw;
    }
    EXPECT_EQ(ZipFacade::HexString(std::string("\x00\x1f\xab\xff", 4)), "001FABFF");
}

TEST_F(ZipFacadeUnzipTest, SanitisedNames) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"../evil.txt", "evil.txt"}, {"../../x", "x"},     {"/abs/x", "abs/x"},
                 {"a\\b", "a/b"},              {"a/./b/../c", "a/c"}, {"..", ""},
                 {"dir/", "dir"},              {"a//b", "a/b"},       {"%41 b", "%41 b"}};
    for (const auto& c : cases) EXPECT_EQ(ZipFacade::SanitizedPath(c.in), c.out) << c.in;
}

TEST_F(ZipFacadeUnzipTest, ClimbingNamesLandInside) {
    std::string zip = Zip({FileEntry("../evil.txt", "e"), FileEntry("/abs/x", "a")});
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(zip, dest_));
    EXPECT_EQ(ReadBytes(dest_ + "/evil.txt"), "e");
    EXPECT_EQ(ReadBytes(dest_ + "/abs/x"), "a");
    EXPECT_FALSE(zplat::ItemExists(dir_ + "/evil.txt"));
}

TEST_F(ZipFacadeUnzipTest, NamesOfNoItemBelowTheDestination) {
    // A folder entry naming the destination itself adds nothing and is passed over; a file
    // or link has nowhere to go and is refused.
    const struct {
        const char* name;
        zid_test::ZipEntrySpec entry;
        bool refused;
    } cases[] = {
        {"folder ./", DirEntry("./"), false},
        {"folder ../", DirEntry("../"), false},
        {"folder a/..", DirEntry("a/../"), false},
        {"file ..", FileEntry("..", "dots"), true},
        {"file .", FileEntry(".", "dot"), true},
        {"file a/..", FileEntry("a/..", "x"), true},
        {"link ..", LinkEntry("..", "after.txt"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zplat::RemoveItem(dest_);
        zplat::ErrorRecord err;
        const bool ok = ZipFacade::UnzipFileAtPath(Zip({c.entry, FileEntry("after.txt", "a")}), dest_, true, "", &err);
        if (c.refused) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(err.domain, kZipFacadeErrorDomain);
            EXPECT_EQ(err.code, -7) << err.description;
            EXPECT_EQ(zplat::DirectoryEntries(dest_), std::vector<std::string>{});
        } else {
            EXPECT_TRUE(ok) << err.description;
            EXPECT_EQ(zplat::DirectoryEntries(dest_), std::vector<std::string>{"after.txt"});
        }
    }
}

TEST_F(ZipFacadeUnzipTest, LinksThatLeaveTheDestinationOrLoopAreRefused) {
    const struct {
        const char* name;
        std::vector<zid_test::ZipEntrySpec> entries;
        const char* outside;
        const char* text = nullptr;
    } cases[] = {
        {"a link to itself", {LinkEntry("l", "l"), FileEntry("l/f", "x")}, nullptr,
         "entry path runs into a loop of symbolic links: l/f"},
        {"two links to each other", {LinkEntry("a", "b"), LinkEntry("b", "a"), FileEntry("a/f", "x")}, nullptr,
         "entry path runs into a loop of symbolic links: a/f"},
        {"absolute target", {LinkEntry("l", "/tmp")}, nullptr},
        {"climbing target", {LinkEntry("sub/l", "../../x")}, nullptr},
        {"file through an absolute link",
         {LinkEntry("l", "/nonexistent-zid-target"), FileEntry("l/f.txt", "x")}, nullptr},
        {"file through a link made by an earlier entry that points outside via a sibling",
         {LinkEntry("l", "."), LinkEntry("m", "l/../.."), FileEntry("m/escaped.txt", "x")}, "escaped.txt"},
        // Named two folders deep, "m" lies in the destination itself: its ".." is outside.
        {"link written through a link, climbing from where it lies",
         {LinkEntry("a/l", ".."), LinkEntry("a/l/m", "../outside"), FileEntry("a/l/m/f.txt", "x")}, "outside"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zplat::RemoveItem(dest_);
        zplat::ErrorRecord err;
        EXPECT_FALSE(ZipFacade::UnzipFileAtPath(Zip(c.entries), dest_, true, "", &err));
        EXPECT_EQ(err.domain, kZipFacadeErrorDomain);
        EXPECT_EQ(err.code, -7);
        if (c.outside) EXPECT_FALSE(zplat::ItemExists(dir_ + "/" + c.outside));
        if (c.text) EXPECT_EQ(err.description, c.text);
    }

    // A link that was there before the archive is followed no further than the destination.
    zplat::RemoveItem(dest_);
    ASSERT_TRUE(zplat::CreateDirectory(dest_, true));
    ASSERT_TRUE(zplat::CreateDirectory(dir_ + "/elsewhere", true));
    ASSERT_EQ(symlink("../elsewhere", (dest_ + "/ext").c_str()), 0);
    zplat::ErrorRecord err;
    EXPECT_FALSE(ZipFacade::UnzipFileAtPath(Zip({FileEntry("ext/f.txt", "x")}), dest_, true, "", &err));
    EXPECT_EQ(err.code, -7);
    EXPECT_EQ(err.domain, kZipFacadeErrorDomain);
    EXPECT_EQ(err.description, "entry path leads out of the destination through a symbolic link: ext/f.txt");
    EXPECT_EQ(zplat::DirectoryEntries(dir_ + "/elsewhere"), std::vector<std::string>{});
}

// The links below `folder` that lead out of it, as the kernel follows them.
std::vector<std::string> LinksLeadingOut(const std::string& folder) {
    std::vector<std::string> out;
    char* real_folder = realpath(folder.c_str(), nullptr);
    if (!real_folder) return {"(no folder)"};
    const std::string inside = std::string(real_folder) + "/";
    free(real_folder);
    for (const std::string& rel : zplat::Subpaths(folder)) {
        const std::string path = folder + "/" + rel;
        if (zplat::ItemTypeAt(path) != zplat::ItemType::Symlink) continue;
        std::error_code ec;
        std::string to = std::filesystem::weakly_canonical(path, ec).string();
        if (ec || (to + "/").compare(0, inside.size(), inside) != 0) out.push_back(rel + " -> " + to);
    }
    return out;
}

TEST_F(ZipFacadeUnzipTest, LinkChainsThatLeadOutAreRefused) {
    // Each link of the chain looks inside on its own; read through the ones before it,
    // "e" is four folders above the destination.
    const std::vector<zid_test::ZipEntrySpec> chain = {LinkEntry("b", "."), LinkEntry("c", "b/.."),
                                                       LinkEntry("d", "c/.."), LinkEntry("e", "d/..")};
    auto with = [&](std::vector<zid_test::ZipEntrySpec> tail) {
        std::vector<zid_test::ZipEntrySpec> all = chain;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };
    const struct {
        const char* name;
        std::vector<zid_test::ZipEntrySpec> entries;
    } cases[] = {
        {"a link at the chain's end", with({LinkEntry("config", "e/victim")})},
        {"a file written through the chain", with({FileEntry("e/victim", "x")})},
        {"a name made a link after a link climbed through it", {LinkEntry("c", "b/.."), LinkEntry("b", ".")}},
        {"a folder replaced by a link after a link climbed through it",
         {DirEntry("f/"), LinkEntry("q", "f/.."), LinkEntry("f", ".")}},
    };
    const std::string base = dir_ + "/x1/x2/x3/x4";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zplat::RemoveItem(dir_ + "/x1");
        const std::string dest = base + "/out";
        zplat::ErrorRecord err;
        EXPECT_FALSE(ZipFacade::UnzipFileAtPath(Zip(c.entries), dest, true, "", &err));
        EXPECT_EQ(err.code, -7) << err.description;
        EXPECT_EQ(LinksLeadingOut(dest), std::vector<std::string>{});
        // Above the destination, only the folders that lead to it.
        std::string above = dir_ + "/x1";
        for (const char* child : {"x2", "x3", "x4", "out"}) {
            EXPECT_EQ(zplat::DirectoryEntries(above), std::vector<std::string>{child}) << above;
            above += std::string("/") + child;
        }
    }
}

TEST_F(ZipFacadeUnzipTest, FrameworkLinksUnpackAndReadThrough) {
    const std::string fw = "Frameworks/Z.framework/";
    // Links before and after their targets, climbing at their start only.
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(
        Zip({LinkEntry(fw + "Headers", "Versions/Current/Headers"), FileEntry(fw + "Versions/A/Lib", "lib"),
             LinkEntry(fw + "Versions/Current", "A"), LinkEntry(fw + "Lib", "Versions/Current/Lib"),
             FileEntry(fw + "Versions/A/Headers/z.h", "h"), LinkEntry("MacOS/run", "../" + fw + "Lib"),
             LinkEntry("MacOS/self", "./../MacOS/.")}),
        dest_));
    EXPECT_EQ(ReadBytes(dest_ + "/" + fw + "Lib"), "lib");
    EXPECT_EQ(ReadBytes(dest_ + "/" + fw + "Headers/z.h"), "h");
    EXPECT_EQ(ReadBytes(dest_ + "/MacOS/run"), "lib");
    EXPECT_EQ(zplat::ItemTypeAt(dest_ + "/MacOS/self"), zplat::ItemType::Symlink);
    EXPECT_EQ(LinksLeadingOut(dest_), std::vector<std::string>{});
}

TEST_F(ZipFacadeUnzipTest, LinksThatStayInsideAreCrossed) {
    // A framework as archivers write it: the version link first, then entries named
    // through it, a link among them.
    const std::string fw = "Frameworks/Z.framework/";
    zid_test::ZipEntrySpec info = FileEntry(fw + "Versions/Current/Info.txt", "info");
    info.dosDate = zid_test::DosDate(2001, 2, 3, 4, 5, 6);
    zid_test::ZipEntrySpec res = DirEntry(fw + "Versions/Current/Resources/");
    res.dosDate = zid_test::DosDate(2002, 3, 4, 5, 6, 8);
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(
        Zip({LinkEntry(fw + "Versions/Current", "A"), info, res,
             FileEntry(fw + "Versions/Current/Resources/r.txt", "r"),
             LinkEntry(fw + "Versions/Current/Lib", "../B/lib"), FileEntry(fw + "Versions/B/lib", "L"),
             LinkEntry(fw + "Info.txt", "Versions/Current/Info.txt")}),
        dest_));
    const std::string a = dest_ + "/" + fw + "Versions/A";
    EXPECT_EQ(zplat::ItemTypeAt(dest_ + "/" + fw + "Versions/Current"), zplat::ItemType::Symlink);
    EXPECT_EQ(ReadBytes(a + "/Info.txt"), "info");
    EXPECT_EQ(ReadBytes(a + "/Resources/r.txt"), "r");
    EXPECT_EQ(zplat::ItemTypeAt(a + "/Lib"), zplat::ItemType::Symlink);
    EXPECT_EQ(ReadBytes(a + "/Lib"), "L");
    EXPECT_EQ(ReadBytes(dest_ + "/" + fw + "Info.txt"), "info");
    // Dates land on what lies behind the link.
    time_t when = 0;
    ASSERT_TRUE(zplat::GetModificationDate(a + "/Info.txt", &when));
    EXPECT_EQ(when, 981173106);  // 2001-02-03 04:05:06 UTC
    ASSERT_TRUE(zplat::GetModificationDate(a + "/Resources", &when));
    EXPECT_EQ(when, 1015218368);  // 2002-03-04 05:06:08 UTC
    EXPECT_EQ(LinksLeadingOut(dest_), std::vector<std::string>{});
}

TEST_F(ZipFacadeUnzipTest, ExistingLinkInAFilesPlaceIsReplacedNotWrittenThrough) {
    const std::string victim = dir_ + "/victim.txt";
    zid_test::WriteBytes(victim, "untouched");
    ASSERT_TRUE(zplat::CreateDirectory(dest_, true));
    ASSERT_EQ(symlink(victim.c_str(), (dest_ + "/f.txt").c_str()), 0);
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(Zip({FileEntry("f.txt", "new")}), dest_));
    EXPECT_EQ(ReadBytes(victim), "untouched");
    EXPECT_EQ(zplat::ItemTypeAt(dest_ + "/f.txt"), zplat::ItemType::File);
    EXPECT_EQ(ReadBytes(dest_ + "/f.txt"), "new");
}

TEST_F(ZipFacadeUnzipTest, OverwriteRules) {
    ASSERT_TRUE(zplat::CreateDirectory(dest_ + "/keep", true));
    zid_test::WriteBytes(dest_ + "/a.txt", "old");
    zid_test::WriteBytes(dest_ + "/l", "a file where a link goes");
    std::string zip = Zip({FileEntry("a.txt", "new"), DirEntry("keep/"), FileEntry("keep/b.txt", "b")});
    std::vector<long> did;
    ZipFacadeDelegate d;
    d.didUnzipFileWithInfo = [&](long i, long, const std::string&, const unz_file_info64&) { did.push_back(i); };
    zplat::ErrorRecord err;
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(zip, dest_, false, "", &err, &d));
    EXPECT_EQ(ReadBytes(dest_ + "/a.txt"), "old");
    EXPECT_EQ(ReadBytes(dest_ + "/keep/b.txt"), "b");
    EXPECT_EQ(did, (std::vector<long>{1, 2}));

    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(Zip({FileEntry("a.txt", "new"), LinkEntry("l", "a.txt")}), dest_));
    EXPECT_EQ(ReadBytes(dest_ + "/a.txt"), "new");
    EXPECT_EQ(zplat::ItemTypeAt(dest_ + "/l"), zplat::ItemType::Symlink);
}

TEST_F(ZipFacadeUnzipTest, DelegateAndHandlersSeeEveryStep) {
    std::string zip = Zip({FileEntry("a.txt", "aaaa"), FileEntry("__MACOSX/._a.txt", "meta"), FileEntry("b/../c.txt", "c")});
    const uint64_t size = static_cast<uint64_t>(zplat::FileSize(zip));
    std::vector<std::string> calls;
    std::vector<std::pair<uint64_t, uint64_t>> events;
    ZipFacadeDelegate d;
    d.willUnzipArchive = [&](const std::string& p, const unz_global_info64& g) {
        calls.push_back("willArchive " + std::to_string(g.number_entry) + (p == zip ? "" : " wrong path"));
    };
    d.progressEvent = [&](uint64_t pos, uint64_t total) { events.push_back({pos, total}); };
    d.shouldUnzipFile = [&](long i, long t, const std::string&, const unz_file_info64&) {
        calls.push_back("should " + std::to_string(i) + "/" + std::to_string(t));
        return true;
    };
    d.willUnzipFile = [&](long i, long, const std::string&, const unz_file_info64&) {
        calls.push_back("will " + std::to_string(i));
    };
    d.didUnzipFileAtPath = [&](long i, long, const std::string&, const std::string& out) {
        calls.push_back("did " + std::to_string(i) + " " + zplat::LastPathComponent(out));
    };
    d.didUnzipArchive = [&](const std::string&, const unz_global_info64&, const std::string& out) {
        calls.push_back(out == dest_ ? "didArchive" : "didArchive wrong");
    };
    std::vector<std::string> handled;
    bool completed = false;
    ZipProgressHandler progress = [&](const std::string& name, const unz_file_info64&, long i, long t) {
        handled.push_back(name + "@" + std::to_string(i) + "/" + std::to_string(t));
    };
    ZipCompletionHandler completion = [&](const std::optional<std::string>& p, bool ok,
                                          const std::optional<zplat::ErrorRecord>& e) {
        completed = ok && p && *p == zip && !e;
    };
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(zip, dest_, true, true, "", nullptr, &d, progress, completion));
    EXPECT_EQ(calls, (std::vector<std::string>{"willArchive 3", "should 0/3", "will 0", "did 0 a.txt", "should 1/3",
                                               "will 1", "should 2/3", "will 2", "did 2 c.txt", "didArchive"}));
    EXPECT_EQ(handled, (std::vector<std::string>{"a.txt@0/3", "c.txt@2/3"}));
    EXPECT_TRUE(completed);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events.front(), (std::pair<uint64_t, uint64_t>(0, size)));
    EXPECT_EQ(events.back(), std::make_pair(size, size));
    for (size_t i = 1; i + 1 < events.size(); ++i) EXPECT_LT(events[i - 1].first, events[i].first);
    EXPECT_FALSE(zplat::ItemExists(dest_ + "/__MACOSX"));
}

TEST_F(ZipFacadeUnzipTest, DelegateCanCancel) {
    std::string zip = Zip({FileEntry("a.txt", "a"), FileEntry("b.txt", "b")});
    ZipFacadeDelegate d;
    int events = 0;
    d.progressEvent = [&](uint64_t, uint64_t) { ++events; };
    d.shouldUnzipFile = [](long i, long, const std::string&, const unz_file_info64&) { return i == 0; };
    std::optional<bool> reported;
    ZipCompletionHandler completion = [&](const std::optional<std::string>&, bool ok,
                                          const std::optional<zplat::ErrorRecord>&) { reported = ok; };
    EXPECT_FALSE(ZipFacade::UnzipFileAtPath(zip, dest_, true, true, "", nullptr, &d, nullptr, completion));
    EXPECT_TRUE(zplat::ItemExists(dest_ + "/a.txt"));
    EXPECT_FALSE(zplat::ItemExists(dest_ + "/b.txt"));
    EXPECT_EQ(events, 2);  // the start and entry 0: no final event after a cancel
    ASSERT_TRUE(reported.has_value());
    EXPECT_FALSE(*reported);
}

TEST_F(ZipFacadeUnzipTest, ErrorsAndTheirTexts) {
    zid_test::WriteBytes(dir_ + "/garbage.zip", "PK\x03\x04 nothing like an archive");
    const struct {
        std::string path;
        std::string dest;
        long code;
        const char* text;
        bool opened;
    } cases[] = {
        {"", dest_, -6, "received invalid argument(s)", false},
        {dir_ + "/x.zip", "", -6, "received invalid argument(s)", false},
        {dir_ + "/missing.zip", dest_, -1, "failed to open zip file", false},
        {dir_ + "/garbage.zip", dest_, -1, "failed to open zip file", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        zplat::ErrorRecord err;
        std::optional<std::string> path = std::string("unset");
        ZipCompletionHandler completion = [&](const std::optional<std::string>& p, bool ok,
                                              const std::optional<zplat::ErrorRecord>& e) {
            path = p;
            EXPECT_FALSE(ok);
            ASSERT_TRUE(e.has_value());
            EXPECT_EQ(e->code, c.code);
        };
        EXPECT_FALSE(ZipFacade::UnzipFileAtPath(c.path, c.dest, true, true, "", &err, nullptr, nullptr, completion));
        EXPECT_EQ(err.domain, kZipFacadeErrorDomain);
        EXPECT_EQ(err.code, c.code);
        EXPECT_EQ(err.description, c.text);
        EXPECT_FALSE(path.has_value());  // no archive path when it was never opened
    }
}

TEST_F(ZipFacadeUnzipTest, CrcMismatchFailsAfterWritingTheFile) {
    zid_test::ZipEntrySpec e = FileEntry("data.bin", "UNIQUE-PAYLOAD-abcdef");
    e.stored = true;
    std::string zip = Zip({e, FileEntry("later.txt", "l")});
    zid_test::CorruptStoredData(zip, "UNIQUE-PAYLOAD-abcdef");
    zplat::ErrorRecord err;
    EXPECT_FALSE(ZipFacade::UnzipFileAtPath(zip, dest_, true, "", &err));
    EXPECT_EQ(err.code, -3);
    EXPECT_EQ(err.description, "crc check failed for file");
    EXPECT_TRUE(zplat::ItemExists(dest_ + "/data.bin"));
    EXPECT_FALSE(zplat::ItemExists(dest_ + "/later.txt"));
}

TEST_F(ZipFacadeUnzipTest, FileThatCannotBeCreatedFailsTheRun) {
    ASSERT_TRUE(zplat::CreateDirectory(dest_ + "/a.txt", true));  // a folder where the file goes
    zplat::ErrorRecord err;
    EXPECT_FALSE(ZipFacade::UnzipFileAtPath(Zip({FileEntry("a.txt", "x"), FileEntry("b.txt", "y")}), dest_, true, "",
                                            &err));
    EXPECT_EQ(err.domain, zplat::kPosixErrorDomain);
    EXPECT_EQ(err.code, EISDIR);
    EXPECT_FALSE(zplat::ItemExists(dest_ + "/b.txt"));

    zplat::RemoveItem(dest_);
    zid_test::WriteBytes(dir_ + "/blocker", "a file where a folder goes");
    EXPECT_FALSE(ZipFacade::UnzipFileAtPath(Zip({FileEntry("sub/f.txt", "x")}), dir_ + "/blocker", true, "", &err));
}

// Makes `file` impossible to delete for this process; false when that cannot be done here.
bool MakeUndeletable(const std::string& file, bool on) {
    if (geteuid() != 0) {  // without privileges, a read-only folder does it
        return chmod(zplat::DeletingLastPathComponent(file).c_str(), on ? 0555 : 0755) == 0;
    }
    int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    close(fd);
    return ok;
}

TEST_F(ZipFacadeUnzipTest, TheLastErrorOfARunIsTheOneReported) {
    // A link whose place holds a folder that cannot be removed: the removal fails, then
    // the link itself; the second failure is reported.
    const std::string blocker = dest_ + "/l/keep.txt";
    ASSERT_TRUE(zplat::CreateDirectory(dest_ + "/l", true));
    zid_test::WriteBytes(blocker, "k");
    if (!MakeUndeletable(blocker, true)) GTEST_SKIP() << "no way to make a file undeletable here";
    zplat::ErrorRecord err;
    const bool ok = ZipFacade::UnzipFileAtPath(Zip({LinkEntry("l", "target"), FileEntry("after.txt", "a")}), dest_,
                                               true, "", &err);
    MakeUndeletable(blocker, false);
    EXPECT_FALSE(ok);
    EXPECT_EQ(err.domain, zplat::kPosixErrorDomain);
    EXPECT_EQ(err.code, EEXIST);
    EXPECT_EQ(err.description.rfind("Failed to create symbolic link at \"" + dest_ + "/l\" to \"target\"", 0), 0u)
        << err.description;
    EXPECT_FALSE(zplat::ItemExists(dest_ + "/after.txt"));
}

TEST_F(ZipFacadeUnzipTest, Zip64ArchivesUnpack) {
    // Zip64 end records and zip64 fields in the local headers, with small entries; the
    // central headers give their sizes and offsets in zip64 fields only where needed, or
    // always (as streaming writers do; minizip cannot see those, so the entries are read
    // past it).
    zid_test::Zip64EntrySpec packed{"dir/c.txt", std::string(3000, 'c')};
    packed.deflated = true;
    for (bool always : {false, true}) {
        SCOPED_TRACE(always ? "central sizes and offsets in zip64 fields" : "central zip64 fields where needed");
        zplat::RemoveItem(dest_);
        const std::string zip = dir_ + "/small64-" + std::to_string(always) + ".zip";
        zid_test::WriteZip64(zip, {{"a.txt", "alpha"}, {"dir/b.bin", std::string(70000, 'b')}, packed}, always);
        std::vector<std::pair<uint64_t, uint64_t>> sizes;
        std::vector<uint64_t> positions;
        uint64_t entries = 0;
        ZipFacadeDelegate d;
        d.willUnzipArchive = [&](const std::string&, const unz_global_info64& g) { entries = g.number_entry; };
        d.willUnzipFile = [&](long, long, const std::string&, const unz_file_info64& i) {
            sizes.push_back({i.uncompressed_size, i.compressed_size});
        };
        d.progressEvent = [&](uint64_t pos, uint64_t) { positions.push_back(pos); };
        zplat::ErrorRecord err;
        ASSERT_TRUE(ZipFacade::UnzipFileAtPath(zip, dest_, true, "", &err, &d)) << err.description;
        EXPECT_EQ(entries, 3u);
        ASSERT_EQ(sizes.size(), 3u);
        EXPECT_EQ(sizes[0], std::make_pair(uint64_t{5}, uint64_t{5}));
        EXPECT_EQ(sizes[1], std::make_pair(uint64_t{70000}, uint64_t{70000}));
        EXPECT_EQ(sizes[2].first, 3000u);
        EXPECT_LT(sizes[2].second, 100u);
        EXPECT_EQ(positions, (std::vector<uint64_t>{0, 5, 70005, 70005 + sizes[2].second,
                                                    static_cast<uint64_t>(zplat::FileSize(zip))}));
        EXPECT_EQ(ReadBytes(dest_ + "/a.txt"), "alpha");
        EXPECT_EQ(ReadBytes(dest_ + "/dir/b.bin"), std::string(70000, 'b'));
        EXPECT_EQ(ReadBytes(dest_ + "/dir/c.txt"), std::string(3000, 'c'));
        time_t when = 0;
        ASSERT_TRUE(zplat::GetModificationDate(dest_ + "/dir/c.txt", &when));
        EXPECT_EQ(when, 1049522828);  // 2003-04-05 06:07:08 UTC
        EXPECT_EQ(ZipFacade::PayloadSizeForArchiveAtPath(zip, &err), 73005u);
        // Python's reader agrees on the archive.
        const std::string check = "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                                  "sys.exit(z.testzip() is not None or len(z.read('dir/c.txt')) != 3000)\" '" +
                                  zip + "'";
        EXPECT_EQ(system(check.c_str()), 0);
    }
}

// Sets the uncompressed size of the first central header's zip64 field, in an archive
// whose central headers give every size and offset there.
void SetCentralZip64Size(const std::string& zip, uint64_t size) {
    std::string bytes = ReadBytes(zip);
    const size_t central = bytes.find(std::string("PK\x01\x02", 4));
    const size_t field = bytes.find(std::string("\x01\x00\x18\x00", 4), central);
    ASSERT_NE(field, std::string::npos);
    for (int i = 0; i < 8; ++i) bytes[field + 4 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    zid_test::WriteBytes(zip, bytes);
}

TEST_F(ZipFacadeUnzipTest, EntriesReadPastMinizipAreChecked) {
    // Entries whose central header leaves everything to zip64 fields, with data that does
    // not match those headers: the run fails at that entry (also where this minizip would
    // take data shorter than its size, or an encrypted entry's bytes, as they are).
    const std::string payload = "UNIQUE-DIRECT-PAYLOAD-" + std::string(5000, 'p');
    const struct {
        const char* name;
        bool deflated;
        unsigned flag;
        int64_t size_skew;     // added to the size the central header gives
        bool corrupt;          // one data byte flipped
        long code;
        const char* text;
        bool written;
    } cases[] = {
        {"stored data failing its CRC", false, 0x800, 0, true, -3, "crc check failed for file", true},
        {"deflated data shorter than its size", true, 0x800, 1, false, -4, "failed to read contents of file entry", true},
        {"deflated data longer than its size", true, 0x800, -1, false, -4, "failed to read contents of file entry", true},
        {"encrypted entry", true, 0x801, 0, false, -2, "failed to open file in zip file", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zplat::RemoveItem(dest_);
        zid_test::Zip64EntrySpec e{"data.bin", payload};
        e.deflated = c.deflated;
        e.flag = c.flag;
        const std::string zip = dir_ + "/checked.zip";
        zid_test::WriteZip64(zip, {e, {"later.txt", "l"}}, true);
        if (c.size_skew != 0) SetCentralZip64Size(zip, payload.size() + c.size_skew);
        if (c.corrupt) zid_test::CorruptStoredData(zip, "UNIQUE-DIRECT-PAYLOAD");
        zplat::ErrorRecord err;
        EXPECT_FALSE(ZipFacade::UnzipFileAtPath(zip, dest_, true, "", &err));
        EXPECT_EQ(err.code, c.code);
        EXPECT_EQ(err.description, c.text);
        EXPECT_EQ(zplat::ItemExists(dest_ + "/data.bin"), c.written);
        EXPECT_FALSE(zplat::ItemExists(dest_ + "/later.txt"));
    }
}

// CRC-32 of a file's bytes.
uLong FileCrc(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::vector<Bytef> chunk(1u << 20);
    uLong crc = crc32(0L, Z_NULL, 0);
    for (size_t n; (n = fread(chunk.data(), 1, chunk.size(), f)) > 0;) crc = crc32(crc, chunk.data(), static_cast<uInt>(n));
    fclose(f);
    return crc;
}

// Multi-GiB archives: run with ZID_TEST_LARGE_ZIP=1. It takes a minute or so, and for a
// while 5 GiB of disk and archives that are holes where the file system allows.
TEST_F(ZipFacadeUnzipTest, MultiGiBEntriesAndArchives) {
    if (!getenv("ZID_TEST_LARGE_ZIP")) GTEST_SKIP() << "set ZID_TEST_LARGE_ZIP=1 to run";
    const uint64_t GiB = 1ull << 30;
    {
        // An entry of 2.5 GiB written by minizip, deflated to a few MiB.
        const std::string zip = dir_ + "/big-entry.zip";
        zipFile zf = zipOpen64(zip.c_str(), APPEND_STATUS_CREATE);
        ASSERT_NE(zf, nullptr);
        zip_fileinfo zi = {};
        zi.external_fa = 0100644UL << 16;
        ASSERT_EQ(zipOpenNewFileInZip4_64(zf, "zeros.bin", &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 1, 0,
                                          -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0x0314, 0x800, 1),
                  ZIP_OK);
        const std::string chunk(1 << 20, '\0');
        for (uint64_t done = 0; done < 5 * GiB / 2; done += chunk.size()) {
            ASSERT_EQ(zipWriteInFileInZip(zf, chunk.data(), static_cast<unsigned>(chunk.size())), ZIP_OK);
        }
        ASSERT_EQ(zipCloseFileInZip(zf), ZIP_OK);
        ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);
        zplat::ErrorRecord err;
        EXPECT_TRUE(ZipFacade::UnzipFileAtPath(zip, dest_, true, "", &err)) << err.description;
        EXPECT_EQ(zplat::FileSize(dest_ + "/zeros.bin"), static_cast<int64_t>(5 * GiB / 2));
        zplat::RemoveItem(dest_);
        zplat::RemoveItem(zip);
    }
    // Entries of 4.5 GiB, their sizes only in zip64 fields: stored (a hole in the archive
    // file) and deflated.
    for (bool deflated : {false, true}) {
        SCOPED_TRACE(deflated ? "deflated" : "stored");
        const std::string zip = dir_ + "/huge.zip";
        zid_test::Zip64EntrySpec huge{"zeros.bin", "head", 9 * GiB / 2};
        huge.deflated = deflated;
        zid_test::WriteZip64(zip, {huge, {"after.txt", "after"}});
        std::vector<uint64_t> positions;
        ZipFacadeDelegate d;
        d.progressEvent = [&](uint64_t pos, uint64_t) { positions.push_back(pos); };
        zplat::ErrorRecord err;
        EXPECT_TRUE(ZipFacade::UnzipFileAtPath(zip, dest_, true, "", &err, &d)) << err.description;
        EXPECT_EQ(zplat::FileSize(dest_ + "/zeros.bin"), static_cast<int64_t>(9 * GiB / 2 + 4));
        EXPECT_EQ(FileCrc(dest_ + "/zeros.bin"), zid_test::detail::Crc(huge));
        EXPECT_EQ(ReadBytes(dest_ + "/after.txt"), "after");
        ASSERT_EQ(positions.size(), 4u);
        if (!deflated) EXPECT_EQ(positions[1], 9 * GiB / 2 + 4);
        zplat::RemoveItem(dest_);
        zplat::RemoveItem(zip);
    }
    {
        // An archive of 6 GiB: its last entries start beyond 4 GiB, and so does its central
        // directory. The two large entries are holes in the archive file and are not
        // written out: files in their places are kept.
        const std::string zip = dir_ + "/big-archive.zip";
        zid_test::Zip64EntrySpec far_packed{"far.txt", std::string(5000, 'f')};
        far_packed.deflated = true;
        zid_test::WriteZip64(zip, {{"first.txt", "first"}, {"hole1.bin", "", 3 * GiB}, {"hole2.bin", "", 3 * GiB},
                                   {"far-stored.txt", "far"}, far_packed});
        ASSERT_TRUE(zplat::CreateDirectory(dest_, true));
        zid_test::WriteBytes(dest_ + "/hole1.bin", "kept");
        zid_test::WriteBytes(dest_ + "/hole2.bin", "kept");
        std::vector<uint64_t> positions;
        ZipFacadeDelegate d;
        d.progressEvent = [&](uint64_t pos, uint64_t) { positions.push_back(pos); };
        zplat::ErrorRecord err;
        EXPECT_TRUE(ZipFacade::UnzipFileAtPath(zip, dest_, false, "", &err, &d)) << err.description;
        EXPECT_EQ(ReadBytes(dest_ + "/first.txt"), "first");
        EXPECT_EQ(ReadBytes(dest_ + "/hole2.bin"), "kept");
        EXPECT_EQ(ReadBytes(dest_ + "/far-stored.txt"), "far");
        EXPECT_EQ(ReadBytes(dest_ + "/far.txt"), std::string(5000, 'f'));
        const uint64_t size = static_cast<uint64_t>(zplat::FileSize(zip));
        ASSERT_EQ(positions.size(), 7u);
        EXPECT_EQ(std::vector<uint64_t>(positions.begin(), positions.begin() + 5),
                  (std::vector<uint64_t>{0, 5, 5 + 3 * GiB, 5 + 6 * GiB, 8 + 6 * GiB}));
        EXPECT_EQ(positions.back(), size);
        zplat::RemoveItem(zip);
    }
}

TEST_F(ZipFacadeUnzipTest, EmptyArchiveIsASuccessWithTwoProgressEvents) {
    const std::string zip = dir_ + "/empty.zip";
    WriteZip(zip, {});
    ASSERT_EQ(zplat::FileSize(zip), 22);
    std::vector<std::pair<uint64_t, uint64_t>> events;
    ZipFacadeDelegate d;
    d.progressEvent = [&](uint64_t pos, uint64_t total) { events.push_back({pos, total}); };
    EXPECT_TRUE(ZipFacade::UnzipFileAtPath(zip, dest_, &d));
    EXPECT_EQ(events, (std::vector<std::pair<uint64_t, uint64_t>>{{0, 22}, {22, 22}}));
}

TEST_F(ZipFacadeUnzipTest, NestedArchivesByLevel) {
    const std::string inner = dir_ + "/inner.zip";
    WriteZip(inner, {FileEntry("deep.txt", "deep")});
    std::string outer = Zip({FileEntry("sub/x.ZIP", ReadBytes(inner))});
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(outer, dest_, true, true, 0, "", nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(zplat::ItemExists(dest_ + "/sub/x.ZIP"));
    EXPECT_FALSE(zplat::ItemExists(dest_ + "/sub/deep.txt"));

    zplat::RemoveItem(dest_);
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(outer, dest_, true, true, 1, "", nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(zplat::ItemExists(dest_ + "/sub/x.ZIP"));
    EXPECT_EQ(ReadBytes(dest_ + "/sub/deep.txt"), "deep");
}

// ---- names and link targets the system would read otherwise -------------------------

using zid_test::Raw;
using zid_test::RawZipEntry;

// A literal's bytes, NUL bytes included.
template <size_t N>
std::string Bytes(const char (&s)[N]) {
    return std::string(s, N - 1);
}

RawZipEntry RawFile(const std::string& name, const std::string& data) { return Raw(FileEntry(name, data)); }
RawZipEntry RawLink(const std::string& name, const std::string& target) { return Raw(LinkEntry(name, target)); }

TEST_F(ZipFacadeUnzipTest, NamesHoldingANulByteAreRefused) {
    // Up to the first NUL of each segment the system would read "\xb0\xa1/../../..": three
    // folders above the destination.
    const std::string climb = Bytes("\xb0\xa1\0/..\0/..\0/..\0/");
    RawZipEntry dos_utf8 = RawFile(climb + "escaped.txt", "x");
    dos_utf8.versionMadeBy = 20;
    RawZipEntry dos_cp437 = dos_utf8;
    dos_cp437.flag = 0;
    RawZipEntry unix_unflagged = RawFile(climb + "escaped.txt", "x");
    unix_unflagged.flag = 0;
    const RawZipEntry folder = Raw(DirEntry(climb + "made/"));
    const struct {
        const char* name;
        RawZipEntry entry;
    } cases[] = {
        {"Unix-made, UTF-8 flag", RawFile(climb + "escaped.txt", "x")},
        {"Unix-made, no flag", unix_unflagged},
        {"MS-DOS-made, UTF-8 flag", dos_utf8},
        {"MS-DOS-made, code page 437", dos_cp437},
        {"folder entry", folder},
        {"valid UTF-8 before the NUL", RawFile(Bytes("a\0/..\0/..\0/..\0/escaped.txt"), "x")},
        {"a NUL inside the last name", RawFile(Bytes("escaped.txt\0.app"), "x")},
    };
    const std::string base = dir_ + "/p1/p2/p3";
    const std::string dest = base + "/out";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zplat::RemoveItem(dir_ + "/p1");
        ASSERT_TRUE(zplat::CreateDirectory(dest, true));
        for (const std::string& level : {dir_ + "/p1", dir_ + "/p1/p2", base}) {
            zid_test::WriteBytes(level + "/escaped.txt", "untouched");
        }
        const std::string zip = dir_ + "/nul.zip";
        zid_test::WriteRawZip(zip, {c.entry, RawFile("after.txt", "a")});
        zplat::ErrorRecord err;
        EXPECT_FALSE(ZipFacade::UnzipFileAtPath(zip, dest, true, "", &err));
        EXPECT_EQ(err.domain, kZipFacadeErrorDomain);
        EXPECT_EQ(err.code, -7) << err.description;
        EXPECT_FALSE(zplat::ItemExists(dest + "/after.txt"));
        EXPECT_EQ(zplat::DirectoryEntries(dest), std::vector<std::string>{});
        const struct {
            std::string folder;
            const char* child;
        } levels[] = {{dir_ + "/p1", "p2"}, {dir_ + "/p1/p2", "p3"}, {base, "out"}};
        for (const auto& l : levels) {
            EXPECT_EQ(zplat::DirectoryEntries(l.folder), (std::vector<std::string>{"escaped.txt", l.child}))
                << l.folder;
            EXPECT_EQ(ReadBytes(l.folder + "/escaped.txt"), "untouched") << l.folder;
        }
    }
}

TEST_F(ZipFacadeUnzipTest, FolderEntriesAreToldByTheDecodedName) {
    // Not UTF-8 despite the flag, these bytes decode as "x昞": the backslash is half of a
    // character, not the end of a folder's name.
    const std::string half_backslash = "x\x95\\";
    ASSERT_EQ(ZipFacade::FilenameStringWithCString(half_backslash.c_str(), 0x314, 0x800, 3), "x昞");
    zplat::ErrorRecord err;
    // A link stays a link whatever its name ends with.
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(
        Zip({FileEntry(half_backslash, "content"), DirEntry("dos\\"), LinkEntry("l/", "x昞")}), dest_, true, "", &err))
        << err.description;
    EXPECT_EQ(zplat::ItemTypeAt(dest_ + "/x昞"), zplat::ItemType::File);
    EXPECT_EQ(ReadBytes(dest_ + "/x昞"), "content");
    EXPECT_TRUE(zplat::IsDirectory(dest_ + "/dos"));
    EXPECT_EQ(ReadBytes(dest_ + "/l"), "content");
    EXPECT_EQ(zplat::ItemTypeAt(dest_ + "/l"), zplat::ItemType::Symlink);

    // A folder entry whose data would be dropped is refused.
    zplat::RemoveItem(dest_);
    EXPECT_FALSE(ZipFacade::UnzipFileAtPath(Zip({FileEntry("d/", "content"), FileEntry("after.txt", "a")}), dest_,
                                            true, "", &err));
    EXPECT_EQ(err.domain, kZipFacadeErrorDomain);
    EXPECT_EQ(err.code, -7) << err.description;
    EXPECT_EQ(zplat::DirectoryEntries(dest_), std::vector<std::string>{});
}

TEST_F(ZipFacadeUnzipTest, NameDecodingTakesTheWholeName) {
    // Valid UTF-8 and a guessed charset alike: nothing after a NUL is dropped, so the
    // caller sees the NUL it has to refuse.
    for (const std::string& raw : {Bytes("ok\0/.."), Bytes("\xb0\xa1\0/..")}) {
        const std::string name = ZipFacade::FilenameStringWithCString(raw.data(), 0x31E, 0, raw.size());
        EXPECT_NE(name.find('\0'), std::string::npos) << raw;
        EXPECT_EQ(name.substr(name.size() - 3), "/..") << raw;
    }
}

TEST_F(ZipFacadeUnzipTest, LinkTargetsHoldingANulOrLongerThanAPathAreRefused) {
    // The body breaks after 1 MiB: a run that reads the target whole fails there instead.
    RawZipEntry endless = RawLink("big", std::string(1 << 20, 'a'));
    endless.rawBody = zid_test::DeflatedThenBroken(endless.data);
    endless.declaredSize = 1u << 30;
    const struct {
        const char* name;
        std::vector<RawZipEntry> entries;
        const char* refused;
    } cases[] = {
        {"a NUL after a climb", {RawLink("up", Bytes("..\0x"))}, "up"},
        {"a NUL ending the target", {RawLink("a", Bytes("..\0")), RawLink("b", Bytes("a/..\0"))}, "a"},
        {"a NUL inside a folder", {RawFile("d/f.txt", "f"), RawLink("d/l", Bytes("f.txt\0/../.."))}, "d/l"},
        {"one byte longer than a path", {RawLink("long", std::string(PATH_MAX + 1, 'a'))}, "long"},
        {"a body that never ends", {endless}, "big"},
    };
    const std::string dest = dir_ + "/p1/out";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zplat::RemoveItem(dir_ + "/p1");
        const std::string zip = dir_ + "/link.zip";
        std::vector<RawZipEntry> entries = c.entries;
        entries.push_back(RawFile("after.txt", "a"));
        zid_test::WriteRawZip(zip, entries);
        zplat::ErrorRecord err;
        EXPECT_FALSE(ZipFacade::UnzipFileAtPath(zip, dest, true, "", &err));
        EXPECT_EQ(err.domain, kZipFacadeErrorDomain);
        EXPECT_EQ(err.code, -7) << err.description;
        EXPECT_EQ(zplat::ItemTypeAt(dest + "/" + c.refused), zplat::ItemType::None);
        EXPECT_FALSE(zplat::ItemExists(dest + "/after.txt"));
        EXPECT_EQ(LinksLeadingOut(dest), std::vector<std::string>{});
        EXPECT_EQ(zplat::DirectoryEntries(dir_ + "/p1"), std::vector<std::string>{"out"});
    }
    // The longest target the system stores is still a link.
    zplat::RemoveItem(dest);
    const std::string longest(PATH_MAX - 1, 'a');
    zid_test::WriteRawZip(dir_ + "/longest.zip", {RawLink("l", longest)});
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(dir_ + "/longest.zip", dest));
    std::string target;
    ASSERT_TRUE(zplat::ReadLink(dest + "/l", &target));
    EXPECT_EQ(target, longest);
}

TEST_F(ZipFacadeUnzipTest, DatesAndModesGoOnlyOnWhatTheRunWrote) {
    // `outside` stands where the destination's parent is, with a file named as an entry.
    const std::string outside = dir_ + "/p1";
    const std::string dest = outside + "/out";
    const std::string sentinel = outside + "/sentinel.txt";
    RawZipEntry file = Raw(FileEntry("d/sentinel.txt", "s", 0777));
    file.dosDate = zid_test::DosDate(2004, 5, 6, 7, 8, 10);
    const struct {
        const char* name;
        std::vector<RawZipEntry> entries;
        bool swap_after_first;  // between the entries, "d" becomes a link to `outside`
    } cases[] = {
        {"a later link in the folder's place", {file, RawLink("d", Bytes("..\0"))}, false},
        {"the folder swapped for a link while the run goes on", {file, RawFile("later.txt", "l")}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zplat::RemoveItem(outside);
        ASSERT_TRUE(zplat::CreateDirectory(outside, true));
        zid_test::WriteBytes(sentinel, "outside");
        ASSERT_EQ(chmod(sentinel.c_str(), 0640), 0);
        ASSERT_TRUE(zplat::SetModificationDate(sentinel, 1234567890));
        ZipFacadeDelegate d;
        d.didUnzipFileWithInfo = [&](long index, long, const std::string&, const unz_file_info64&) {
            if (!c.swap_after_first || index != 0) return;
            ASSERT_EQ(rename((dest + "/d").c_str(), (dest + "/d-moved").c_str()), 0);
            ASSERT_EQ(symlink(outside.c_str(), (dest + "/d").c_str()), 0);
        };
        const std::string zip = dir_ + "/dates.zip";
        zid_test::WriteRawZip(zip, c.entries);
        zplat::ErrorRecord err;
        ZipFacade::UnzipFileAtPath(zip, dest, true, true, "", &err, &d);
        time_t when = 0;
        ASSERT_TRUE(zplat::GetModificationDate(sentinel, &when));
        EXPECT_EQ(when, 1234567890);
        EXPECT_EQ(zplat::PosixMode(sentinel) & 07777, 0640);
        EXPECT_EQ(ReadBytes(sentinel), "outside");
        if (c.swap_after_first) {
            // What the run wrote has its date and mode, wherever it lies now.
            const std::string written = dest + "/d-moved/sentinel.txt";
            ASSERT_TRUE(zplat::GetModificationDate(written, &when));
            EXPECT_EQ(when, 1083827290);  // 2004-05-06 07:08:10 UTC
            EXPECT_EQ(zplat::PosixMode(written) & 07777, 0777);
        }
    }
}

TEST_F(ZipFacadeUnzipTest, DeepNamesWithoutFolderEntriesUnpack) {
    std::string name;
    for (int i = 0; i < 40; ++i) name += "level" + std::to_string(i) + "/";
    name += "deep.txt";
    zplat::ErrorRecord err;
    ASSERT_TRUE(ZipFacade::UnzipFileAtPath(Zip({FileEntry(name, "deep")}), dest_, true, "", &err))
        << err.description;
    EXPECT_EQ(ReadBytes(dest_ + "/" + name), "deep");
}

}  // namespace
