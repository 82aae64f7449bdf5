// Folder chains, tree copies, package identity, runtime detection, the engine's set-up and
// the window-message channel.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "IClient.h"
#include "MacUtil.h"
#include "UiTheme.h"
#include "platform/Alert.h"
#include "platform/FileManager.h"
#include "platform/Machine.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "support/DeepFolders.h"
#include "support/LocalServiceFixture.h"
#include "support/ScopedEnv.h"
#include "support/ZipFixture.h"

namespace {

class MacUtilTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = zid_test::MakeTempFolder("zid-macutil");
        env_.Set("HOME", dir_ + "/home");
        env_.Set("ZID_INSTALLER_BUNDLE", dir_ + "/Installer.app");
        env_.Set("ZID_INSTALLER_ACCOUNT", dir_ + "/no-account.json");
    }
    void TearDown() override { zplat::RemoveItem(dir_); }

    void MakeConfig(const std::vector<std::string>& folders) {
        for (const std::string& f : folders) {
            ASSERT_TRUE(zplat::CreateDirectory(dir_ + "/Installer.app/Contents/Resources/Config/" + f, true));
        }
    }

    std::string dir_;
    zid_test::ScopedEnv env_;
};

TEST_F(MacUtilTest, MakeDirsForPathStopsBeforeTheLastComponent) {
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    EXPECT_TRUE(MacUtil::MakeDirsForPath("noslash"));
    EXPECT_FALSE(zplat::ItemExists(dir_ + "/noslash"));
    EXPECT_TRUE(MacUtil::MakeDirsForPath("a/b/c"));
    EXPECT_TRUE(zplat::IsDirectory(dir_ + "/a/b"));
    EXPECT_FALSE(zplat::ItemExists(dir_ + "/a/b/c"));
    ASSERT_EQ(chdir("/"), 0);

    // A file in the way fails, and the alert is shown with the folder that failed.
    zid_test::WriteBytes(dir_ + "/file", "x");
    std::string shown;
    zplat::SetAlertHook([&](const std::string& text, const std::string&) { shown = text; });
    zplat::MainQueueBindThisThread();
    EXPECT_FALSE(MacUtil::MakeDirsForPath((dir_ + "/file/sub/x").c_str()));
    zplat::SetAlertHook(nullptr);
    EXPECT_EQ(shown, dir_ + "/file/");
}

TEST_F(MacUtilTest, MakeDirsForPathFailingOnAWorkerAlertsOnTheMainThread) {
    zid_test::WriteBytes(dir_ + "/file", "x");
    zplat::MainQueueBindThisThread();
    const std::thread::id main_id = std::this_thread::get_id();
    std::optional<std::thread::id> shown_on;
    std::string shown;
    zplat::SetAlertHook([&](const std::string& text, const std::string&) {
        shown_on = std::this_thread::get_id();
        shown = text;
    });
    bool made = true;
    std::thread([&] { made = MacUtil::MakeDirsForPath((dir_ + "/file/sub/x").c_str()); }).join();
    EXPECT_FALSE(made);
    EXPECT_FALSE(shown_on.has_value());
    EXPECT_TRUE(zplat::MainQueueRunUntil([&] { return shown_on.has_value(); }, 5000));
    zplat::SetAlertHook(nullptr);
    EXPECT_EQ(*shown_on, main_id);
    EXPECT_EQ(shown, dir_ + "/file/");
}

TEST_F(MacUtilTest, MakeDirsCreatesTheWholePath) {
    EXPECT_TRUE(MacUtil::MakeDirs((dir_ + "/x/y/z").c_str()));
    EXPECT_TRUE(zplat::IsDirectory(dir_ + "/x/y/z"));
    EXPECT_TRUE(MacUtil::MakeDirs((dir_ + "/x/y/z/").c_str()));
    EXPECT_TRUE(MacUtil::MakeDirs("/"));
    zid_test::WriteBytes(dir_ + "/f", "x");
    EXPECT_FALSE(MacUtil::MakeDirs((dir_ + "/f/g").c_str()));
}

TEST_F(MacUtilTest, CopyTreeKeepsLinksModesAndDestinationOnlyFiles) {
    const std::string src = dir_ + "/src", dst = dir_ + "/dst";
    ASSERT_TRUE(zplat::CreateDirectory(src + "/bin", true));
    zid_test::WriteBytes(src + "/bin/tool", "new tool");
    chmod((src + "/bin/tool").c_str(), 0755);
    ASSERT_EQ(symlink("tool", (src + "/bin/alias").c_str()), 0);
    ASSERT_TRUE(zplat::CreateDirectory(dst + "/bin", true));
    zid_test::WriteBytes(dst + "/bin/tool", "old tool");
    zid_test::WriteBytes(dst + "/only-here.txt", "kept");
    zid_test::WriteBytes(dst + "/bin/alias", "a file where the link goes");

    EXPECT_TRUE(MacUtil::CopyTree(src.c_str(), dst.c_str()));
    EXPECT_EQ(zid_test::ReadBytes(dst + "/bin/tool"), "new tool");
    EXPECT_EQ(zplat::PosixMode(dst + "/bin/tool") & 0777, 0755);
    std::string target;
    ASSERT_TRUE(zplat::ReadLink(dst + "/bin/alias", &target));
    EXPECT_EQ(target, "tool");
    EXPECT_EQ(zid_test::ReadBytes(dst + "/only-here.txt"), "kept");
    EXPECT_EQ(zplat::PosixMode(dst + "/bin") & 0777, 0755);

    // A read-only folder arrives read-only and filled.
    ASSERT_TRUE(zplat::CreateDirectory(src + "/ro", true));
    zid_test::WriteBytes(src + "/ro/inside.txt", "in");
    chmod((src + "/ro").c_str(), 0555);
    EXPECT_TRUE(MacUtil::CopyTree(src.c_str(), dst.c_str()));
    EXPECT_EQ(zplat::PosixMode(dst + "/ro") & 0777, 0555);
    EXPECT_EQ(zid_test::ReadBytes(dst + "/ro/inside.txt"), "in");
    chmod((src + "/ro").c_str(), 0755);
    chmod((dst + "/ro").c_str(), 0755);

    // An item that cannot be copied makes the copy report failure; the rest is copied.
    ASSERT_EQ(mkfifo((src + "/pipe").c_str(), 0600), 0);
    zid_test::WriteBytes(src + "/z-after.txt", "z");
    EXPECT_FALSE(MacUtil::CopyTree(src.c_str(), dst.c_str()));
    EXPECT_EQ(zid_test::ReadBytes(dst + "/z-after.txt"), "z");
    EXPECT_FALSE(MacUtil::CopyTree((dir_ + "/missing").c_str(), dst.c_str()));
}

TEST_F(MacUtilTest, CopyTreeKeepsTheDatesOfFilesLinksAndFolders) {
    const std::string src = dir_ + "/src", dst = dir_ + "/dst";
    ASSERT_TRUE(zplat::CreateDirectory(src + "/Contents/MacOS", true));
    ASSERT_TRUE(zplat::CreateDirectory(src + "/Contents/Resources/empty", true));
    zid_test::WriteBytes(src + "/Contents/Info.plist", "info");
    zid_test::WriteBytes(src + "/Contents/MacOS/Tamberlyn", "#!/bin/sh\n");
    zid_test::WriteBytes(src + "/Contents/Resources/data.bin", "data");
    ASSERT_EQ(symlink("Tamberlyn", (src + "/Contents/MacOS/run").c_str()), 0);
    // A file that is already there is replaced, and takes the new one's dates too.
    ASSERT_TRUE(zplat::CreateDirectory(dst + "/Contents", true));
    zid_test::WriteBytes(dst + "/Contents/Info.plist", "old");

    // Old dates, every item its own, access time apart from modification time, set
    // deepest first so that no later write dates a folder anew.
    struct Dates {
        struct timespec atime, mtime;
    };
    std::map<std::string, Dates> want;
    std::vector<std::string> items = zplat::Subpaths(src);
    items.insert(items.begin(), "");
    long second = 981173106;  // 2001-02-03 04:05:06 UTC
    for (auto it = items.rbegin(); it != items.rend(); ++it, second += 3600) {
        const Dates d{{second - 86400, 250000000}, {second, 125000000}};
        const struct timespec times[2] = {d.atime, d.mtime};
        ASSERT_EQ(utimensat(AT_FDCWD, (src + "/" + *it).c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << *it;
        want[*it] = d;
    }

    EXPECT_TRUE(MacUtil::CopyTree(src.c_str(), dst.c_str()));
    for (const auto& [rel, d] : want) {
        struct stat st;
        ASSERT_EQ(lstat((dst + "/" + rel).c_str(), &st), 0) << rel;
        EXPECT_EQ(st.st_mtim.tv_sec, d.mtime.tv_sec) << rel;
        EXPECT_EQ(st.st_mtim.tv_nsec, d.mtime.tv_nsec) << rel;
        EXPECT_EQ(st.st_atim.tv_sec, d.atime.tv_sec) << rel;
    }
    EXPECT_EQ(zid_test::ReadBytes(dst + "/Contents/Info.plist"), "info");
    EXPECT_EQ(zplat::Subpaths(dst), zplat::Subpaths(src));  // reading dates them: last
}

// A bundle may hold items whose path is longer than the system takes: they are copied
// like the others, and one that cannot be copied fails the copy.
TEST_F(MacUtilTest, CopyTreeCopiesItemsDeeperThanAPathCanName) {
    const std::string src = dir_ + "/src", dst = dir_ + "/dst";
    ASSERT_TRUE(zplat::CreateDirectory(src, true));
    zid_test::WriteBytes(src + "/top.txt", "top");
    zid_test::WriteBytes(src + "/zz.txt", "after the deep folders");
    {
        const int bottom = zid_test::OpenDeepBottom(src, true);
        ASSERT_GE(bottom, 0);
        ASSERT_TRUE(zid_test::WriteAt(bottom, "deep.txt", "deep", 0640));
        ASSERT_EQ(symlinkat("deep.txt", bottom, "run"), 0);
        const struct timespec times[2] = {{981173106, 0}, {981173106, 500}};
        ASSERT_EQ(utimensat(bottom, "deep.txt", times, 0), 0);
        close(bottom);
    }
    EXPECT_TRUE(MacUtil::CopyTree(src.c_str(), dst.c_str()));
    EXPECT_EQ(zid_test::ReadBytes(dst + "/top.txt"), "top");
    EXPECT_EQ(zid_test::ReadBytes(dst + "/zz.txt"), "after the deep folders");
    const int bottom = zid_test::OpenDeepBottom(dst, false);
    ASSERT_GE(bottom, 0) << "the deep folders were not copied";
    EXPECT_EQ(zid_test::ReadAt(bottom, "deep.txt"), "deep");
    struct stat st;
    ASSERT_EQ(fstatat(bottom, "deep.txt", &st, AT_SYMLINK_NOFOLLOW), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 981173106);
    EXPECT_EQ(st.st_mtim.tv_nsec, 500);
    char target[64] = {0};
    EXPECT_EQ(readlinkat(bottom, "run", target, sizeof target - 1), 8);
    EXPECT_STREQ(target, "deep.txt");
    close(bottom);

    // The listing reaches them too, each with its own lstat.
    std::vector<zplat::TreeItem> items;
    ASSERT_TRUE(zplat::ListTree(src, &items));
    ASSERT_EQ(items.size(), zid_test::kDeepLevels + 4u);
    std::string deep_rel;
    for (int level = 0; level < zid_test::kDeepLevels; ++level) deep_rel += zid_test::DeepName(level) + "/";
    EXPECT_EQ(items[zid_test::kDeepLevels].rel, deep_rel + "deep.txt");
    EXPECT_EQ(items[zid_test::kDeepLevels].st.st_mtim.tv_nsec, 500);
    EXPECT_TRUE(S_ISLNK(items[zid_test::kDeepLevels + 1].st.st_mode));

    const int src_bottom = zid_test::OpenDeepBottom(src, false);
    ASSERT_GE(src_bottom, 0);
    ASSERT_EQ(mkfifoat(src_bottom, "pipe", 0600), 0);
    close(src_bottom);
    EXPECT_FALSE(MacUtil::CopyTree(src.c_str(), (dir_ + "/dst2").c_str()));
}

TEST_F(MacUtilTest, RemovePathAndFirstSubpath) {
    ASSERT_TRUE(zplat::CreateDirectory(dir_ + "/t/b", true));
    ASSERT_TRUE(zplat::CreateDirectory(dir_ + "/t/a", true));
    EXPECT_EQ(MacUtil::FirstSubpath(dir_ + "/t"), "a");
    EXPECT_EQ(MacUtil::FirstSubpath(dir_ + "/none"), "");
    EXPECT_TRUE(MacUtil::RemovePath((dir_ + "/t").c_str()));
    EXPECT_FALSE(zplat::ItemExists(dir_ + "/t"));
    EXPECT_TRUE(MacUtil::RemovePath((dir_ + "/t").c_str()));  // nothing there is fine
}

TEST_F(MacUtilTest, PackageIdentityFromTheBundle) {
    const std::string long_name(120, 'n');
    MakeConfig({"PkgName/" + long_name, "PkgNo/8001", "SerDir/mac8001", "Other/x"});
    MacConfig cfg = {};
    MacUtil::ReadPackageConfig(cfg);
    EXPECT_EQ(std::string(cfg.szPkgName), long_name.substr(0, 100));
    EXPECT_STREQ(cfg.szPkgNo, "8001");
    EXPECT_STREQ(cfg.szSerDir, "mac8001");
    EXPECT_FALSE(cfg.bQuant);

    IClient plain;
    EXPECT_EQ(plain.TotalDownLoad(), 3);
    MakeConfig({"PkgQuant"});
    IClient quant;
    EXPECT_EQ(quant.TotalDownLoad(), 4);
    EXPECT_TRUE(quant.PackageConfig().bQuant);

    // No Config folder: empty identity, no option.
    env_.Set("ZID_INSTALLER_BUNDLE", dir_ + "/Elsewhere.app");
    MacConfig none = {};
    MacUtil::ReadPackageConfig(none);
    EXPECT_STREQ(none.szPkgName, "");
    EXPECT_FALSE(none.bQuant);
}

TEST_F(MacUtilTest, EngineSetUpFillsTheSettingsRecord) {
    MakeConfig({"PkgName/Tamberlyn", "PkgNo/8001", "SerDir/mac8001"});
    env_.Set("ZID_INSTALLER_APPLICATIONS", dir_ + "/Apps");
    IClient first;
    const InstallSettings& s = UiTheme::Settings();
    EXPECT_EQ(s.m_szAppName, "Tamberlyn.app");
    EXPECT_EQ(s.m_szAppDir, dir_ + "/Apps");
    EXPECT_EQ(s.m_szBackupDir, dir_ + "/home/Library/tamberlyn9.5/_Applications_Tamberlyn.app_Contents/");
    const std::string work = dir_ + "/home/Library/tamberlyn9.5/";
    ASSERT_EQ(s.m_szTempDir.compare(0, work.size(), work), 0);
    const std::string stamp = s.m_szTempDir.substr(work.size());
    EXPECT_EQ(stamp.size(), 17u);
    EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(first.QuantPath(), dir_ + "/home/Library/tamberlyn9.5_quant/");

    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    IClient second;
    EXPECT_NE(UiTheme::Settings().m_szTempDir, work + stamp);

    // Without an account file the compiled-in account and the region "accelerate" are used.
    second.InitOssAccount();
    EXPECT_EQ(second.Bucket(), "tamberlyn");
    env_.Unset("ZID_INSTALLER_APPLICATIONS");
    IClient defaults;
    EXPECT_EQ(UiTheme::Settings().m_szAppDir, "/Applications");
}

TEST_F(MacUtilTest, QuantRuntimeNeededUnlessItsFolderIsThere) {
    EXPECT_TRUE(MacUtil::IsQuantNeeded("q1"));  // no folder at all
    const std::string quant = MacUtil::GetQuantPath();
    EXPECT_EQ(quant, dir_ + "/home/Library/tamberlyn9.5_quant/");
    ASSERT_TRUE(zplat::CreateDirectory(quant + "q1/inner/q2", true));
    EXPECT_FALSE(MacUtil::IsQuantNeeded("q1"));
    EXPECT_TRUE(MacUtil::IsQuantNeeded("q2"));  // deeper entries are paths, not names
    EXPECT_TRUE(MacUtil::IsQuantNeeded(""));
}

TEST_F(MacUtilTest, MachineTypeFromTheKernelOrTheOverride) {
    const struct {
        const char* value;
        bool arm;
    } cases[] = {{"arm64", true}, {"x86_64", false}, {"arm64e", false}};
    for (const auto& c : cases) {
        env_.Set("ZID_INSTALLER_MACHINE", c.value);
        EXPECT_EQ(MacUtil::IsArm64(), c.arm) << c.value;
    }
    env_.Unset("ZID_INSTALLER_MACHINE");
    EXPECT_FALSE(zplat::MachineType().empty());
    EXPECT_NE(zplat::MachineType(), "aarch64");
}

TEST(WindowMessages, ArriveOnTheMainThreadInPostingOrder) {
    zplat::MainQueueBindThisThread();
    const std::thread::id main_id = std::this_thread::get_id();
    std::vector<std::pair<int64_t, int64_t>> got;
    bool off_main = false;
    int token = zplat::NotificationCenter::Default().AddObserver(
        "OnFrameUserMsg", [&](const zplat::Notification& n) {
            if (std::this_thread::get_id() != main_id) off_main = true;
            got.push_back({n.userInfo.at("msg"), n.userInfo.at("l")});
            EXPECT_EQ(n.userInfo.at("frm"), 0);
        });
    std::thread worker([] {
        for (int i = 0; i < 500; ++i) MacUtil::PostUserMsg(1131, 0, 0, i);
        MacUtil::PostUserMsg(1132, 0, 0, 0);
    });
    EXPECT_TRUE(zplat::MainQueueRunUntil([&] { return !got.empty() && got.back().first == 1132; }, 10000));
    worker.join();
    zplat::NotificationCenter::Default().RemoveObserver(token);
    ASSERT_EQ(got.size(), 501u);
    for (int i = 0; i < 500; ++i) EXPECT_EQ(got[i], std::make_pair(int64_t{1131}, int64_t{i}));
    EXPECT_FALSE(off_main);
}

TEST(WindowMessages, AlertFromAWorkerIsShownOnTheMainThread) {
    zplat::MainQueueBindThisThread();
    const std::thread::id main_id = std::this_thread::get_id();
    std::optional<std::thread::id> shown_on;
    zplat::SetAlertHook([&](const std::string&, const std::string& button) {
        shown_on = std::this_thread::get_id();
        EXPECT_EQ(button, "确定");
    });
    std::thread([] { MacUtil::ShowAlert("from the worker"); }).join();
    EXPECT_FALSE(shown_on.has_value());
    EXPECT_TRUE(zplat::MainQueueRunUntil([&] { return shown_on.has_value(); }, 5000));
    zplat::SetAlertHook(nullptr);
    EXPECT_EQ(*shown_on, main_id);
}

}  // namespace

namespace {

TEST(MacUtilHelpers, ReencodingLanguageAndSmallMappings) {
    char utf8[16] = "\xe5\xb2\x9a\xe5\xb8\x86";  // 岚帆
    ASSERT_TRUE(MacUtil::ReencodeTo936(utf8, sizeof utf8, 65001));
    EXPECT_STREQ(utf8, "\xe1\xb0\xb7\xab");
    char tight[5] = "\xb4\x50";  // 嵐 in BIG5: taken as 950 when the language is 1028
    const int saved = UiTheme::Settings().m_nLanguage;
    UiTheme::Settings().m_nLanguage = 1028;
    bool ok = MacUtil::ReencodeTo936(tight, sizeof tight, 936);
    UiTheme::Settings().m_nLanguage = saved;
    ASSERT_TRUE(ok);
    EXPECT_EQ(MacUtil::CodePageToWide(tight), L"嵐");
    char small[3] = "ab";
    EXPECT_TRUE(MacUtil::ReencodeTo936(small, sizeof small, 65001));
    char bad[4] = "\xff\xfe";
    EXPECT_FALSE(MacUtil::ReencodeTo936(bad, sizeof bad, 65001));
    EXPECT_EQ(MacUtil::WideToCodePage(L"岚帆"), "\xe1\xb0\xb7\xab");

    const struct {
        const char* lang;
        int id;
    } langs[] = {{"zh_TW.UTF-8", 1028}, {"zh-Hant:en", 1028}, {"en_US.UTF-8", 1033}, {"zh_CN.UTF-8", 0}, {"C", 0}};
    zid_test::ScopedEnv env;
    env.Set("LANG", "C");
    for (const auto& l : langs) {
        env.Set("LANGUAGE", l.lang);
        EXPECT_EQ(MacUtil::LanguageFromEnvironment(), l.id) << l.lang;
    }
    EXPECT_EQ(MacUtil::ThreeWayMap(0), 0);
    EXPECT_EQ(MacUtil::ThreeWayMap(1), 2);
    EXPECT_EQ(MacUtil::ThreeWayMap(7), 1);

    char buf[32] = {0};
    EXPECT_EQ(MacUtil::GbkToUtf8("\xe1\xb0", buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "\xe5\xb2\x9a");
    EXPECT_EQ(MacUtil::Utf8ToGbk("\xe5\xb2\x9a", buf, 2), -1);  // no room

    const std::string mac = MacUtil::HardwareAddress();
    if (!mac.empty()) {
        EXPECT_EQ(mac.size(), 12u);
        EXPECT_EQ(mac.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_TRUE(MacUtil::IsHardwareAddress(mac.c_str()));
    }
    EXPECT_FALSE(MacUtil::IsHardwareAddress("000000000000"));
}

TEST(MacUtilHelpers, LogLineCarriesTheTimeAndEndsWithCrLf) {
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    MacUtil::WriteLogLine(f, "hello");
    rewind(f);
    char buf[64] = {0};
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    std::string line(buf, n);
    ASSERT_EQ(line.size(), std::string("[hh:mm:ss mmm]\t\thello\r\n").size());
    EXPECT_EQ(line[0], '[');
    EXPECT_EQ(line.substr(13), "]\t\thello\r\n");
}

}  // namespace

namespace {

TEST(InstallProgress, PercentNeverGoesBackwardsAndSurvivesAZeroTotal) {
    zplat::MainQueueBindThisThread();
    std::vector<int64_t> posted;
    int token = zplat::NotificationCenter::Default().AddObserver(
        "OnFrameUserMsg", [&](const zplat::Notification& n) {
            if (n.userInfo.at("msg") == kMsgProgress) posted.push_back(n.userInfo.at("l"));
        });
    IClient engine;  // no package: three downloads share 80 percent
    engine.OnProgress(50, 100);
    EXPECT_EQ(engine.ProcessRate(), 13);
    engine.OnProgress(10, 100);  // a slower thread reporting late
    engine.OnProgress(0, 0);     // nothing known yet
    EXPECT_EQ(engine.ProcessRate(), 13);
    engine.OnProgress(100, 100);
    EXPECT_EQ(engine.ProcessRate(), 26);

    // Several download threads climbing together, as the slices of one download do:
    // what the window receives only rises, also where threads cross a percent at once.
    zplat::MainQueueDrain();
    EXPECT_EQ(posted, (std::vector<int64_t>{13, 13, 13, 26}));
    IClient racing;
    posted.clear();
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; ++t) {
        threads.emplace_back([&racing] {
            for (uint64_t i = 0; i <= 20000; ++i) racing.OnProgress(i, 20000);
        });
    }
    for (auto& th : threads) th.join();
    zplat::MainQueueDrain();
    zplat::NotificationCenter::Default().RemoveObserver(token);
    ASSERT_GT(posted.size(), 16u * 20000u);
    for (size_t i = 1; i < posted.size(); ++i) ASSERT_LE(posted[i - 1], posted[i]) << "at " << i;
    EXPECT_EQ(posted.back(), 26);
}

}  // namespace
