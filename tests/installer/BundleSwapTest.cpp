// The swap of the installed bundle: the copied bundle reaches the disk before the old one
// steps aside, the renames before the old one goes, and a failed flush keeps the old one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "IClient.h"
#include "UiTheme.h"
#include "platform/Durability.h"
#include "platform/FileManager.h"
#include "platform/MainQueue.h"
#include "support/DeepFolders.h"
#include "support/LocalServiceFixture.h"
#include "support/ScopedEnv.h"
#include "support/ZipFixture.h"

namespace {

// Puts rename back however the test ends.
struct ScopedMoveHook {
    explicit ScopedMoveHook(zplat::MoveHook hook) { zplat::SetMoveHook(std::move(hook)); }
    ~ScopedMoveHook() { zplat::SetMoveHook(nullptr); }
};

// Puts fsync back however the test ends.
struct ScopedSyncHook {
    explicit ScopedSyncHook(zplat::SyncHook hook) { zplat::SetSyncHook(std::move(hook)); }
    ~ScopedSyncHook() { zplat::SetSyncHook(nullptr); }
};

// One flush as the hook saw it, with what the applications folder held at that moment.
struct Flush {
    std::string path;
    std::string installed_info;  // Contents/Info.plist of the installed bundle
    std::vector<std::string> apps;
};

class BundleSwapTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = UiTheme::Settings();
        dir_ = zid_test::MakeTempFolder("zid-swap");
        apps_ = dir_ + "/Apps";
        env_.Set("HOME", dir_ + "/home");
        env_.Set("ZID_INSTALLER_BUNDLE", dir_ + "/Installer.app");
        env_.Set("ZID_INSTALLER_ACCOUNT", dir_ + "/no-account.json");
        env_.Set("ZID_INSTALLER_APPLICATIONS", apps_);
        ASSERT_TRUE(zplat::CreateDirectory(dir_ + "/Installer.app/Contents/Resources/Config/PkgName/Tamberlyn", true));
        zplat::MainQueueBindThisThread();
    }
    void TearDown() override {
        zplat::MainQueueDrain();  // the swap's progress posts go nowhere else
        zplat::RemoveItem(dir_);
        UiTheme::Settings() = saved_;  // the engines wrote their folders into it
    }

    // A staged bundle of the engine's run: two folders deep, a file in each, and a link.
    std::string Stage() {
        const std::string staged = UiTheme::Settings().m_szTempDir + "/Tamberlyn.app";
        zplat::RemoveItem(staged);
        EXPECT_TRUE(zplat::CreateDirectory(staged + "/Contents/MacOS", true));
        zid_test::WriteBytes(staged + "/Contents/Info.plist", "new");
        zid_test::WriteBytes(staged + "/Contents/MacOS/Tamberlyn", "#!/bin/sh\n");
        EXPECT_EQ(symlink("Tamberlyn", (staged + "/Contents/MacOS/run").c_str()), 0);
        return staged;
    }

    void InstallOld() {
        ASSERT_TRUE(zplat::CreateDirectory(Installed() + "/Contents", true));
        zid_test::WriteBytes(Installed() + "/Contents/Info.plist", "old");
    }

    // A staged bundle and, in place of whatever is installed, the old one.
    void StageOverOld() {
        Stage();
        zplat::RemoveItem(Installed());
        InstallOld();
    }

    std::string Installed() const { return apps_ + "/Tamberlyn.app"; }

    std::string dir_, apps_;
    zid_test::ScopedEnv env_;
    InstallSettings saved_;
};

TEST(SyncTree, FlushesEveryFileAndFolderEachFolderAfterItsContents) {
    const std::string root = zid_test::MakeTempFolder("zid-sync");
    ASSERT_TRUE(zplat::CreateDirectory(root + "/a/b", true));
    zid_test::WriteBytes(root + "/a/b/f", "f");
    zid_test::WriteBytes(root + "/a/g", "g");
    zid_test::WriteBytes(root + "/top", "t");
    ASSERT_EQ(symlink("top", (root + "/ln").c_str()), 0);
    std::vector<std::string> seen;
    {
        ScopedSyncHook hook([&](const std::string& path, int fd) {
            struct stat by_fd, by_path;
            // The descriptor is the item itself, not something a link leads to.
            if (fstat(fd, &by_fd) != 0 || lstat(path.c_str(), &by_path) != 0 || by_fd.st_ino != by_path.st_ino) {
                return EBADF;
            }
            seen.push_back(path.substr(root.size()));
            return 0;
        });
        EXPECT_TRUE(zplat::SyncTree(root));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"/top", "/a/g", "/a/b/f", "/a/b", "/a", ""}));

    // The first failure ends the walk with its reason.
    seen.clear();
    {
        ScopedSyncHook hook([&](const std::string& path, int) {
            seen.push_back(path.substr(root.size()));
            return path == root + "/a/g" ? EIO : 0;
        });
        zplat::ErrorRecord err;
        EXPECT_FALSE(zplat::SyncTree(root, &err));
        EXPECT_EQ(err.code, EIO);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"/top", "/a/g"}));
    zplat::RemoveItem(root);
}

TEST_F(BundleSwapTest, CopyIsFlushedBeforeTheOldBundleStepsAsideAndTheSwapBeforeItGoes) {
    IClient engine;
    const std::string staged = Stage();
    InstallOld();
    std::vector<Flush> flushes;
    {
        ScopedSyncHook hook([&](const std::string& path, int) {
            flushes.push_back({path, zid_test::ReadBytes(Installed() + "/Contents/Info.plist"),
                               zplat::DirectoryEntries(apps_)});
            return 0;
        });
        ASSERT_TRUE(engine.ReplaceInstalledBundle());
    }
    EXPECT_EQ(zid_test::ReadBytes(Installed() + "/Contents/Info.plist"), "new");
    EXPECT_EQ(zplat::DirectoryEntries(apps_), std::vector<std::string>{"Tamberlyn.app"});
    EXPECT_FALSE(zplat::ItemExists(UiTheme::Settings().m_szTempDir));

    // Every file and folder of the copy, while the old bundle is still in place, then the
    // applications folder once the new one has its name and the old one is still there.
    ASSERT_EQ(flushes.size(), 6u);
    std::vector<std::string> copied;
    for (size_t i = 0; i + 1 < flushes.size(); ++i) {
        const std::string& p = flushes[i].path;
        const size_t name_end = p.find('/', apps_.size() + 1);
        copied.push_back(name_end == std::string::npos ? "" : p.substr(name_end));
        EXPECT_EQ(flushes[i].installed_info, "old") << p;
    }
    EXPECT_EQ(copied, (std::vector<std::string>{"/Contents/MacOS/Tamberlyn", "/Contents/MacOS", "/Contents/Info.plist",
                                                "/Contents", ""}));
    Flush last = flushes.back();
    EXPECT_EQ(last.path, apps_);
    EXPECT_EQ(last.installed_info, "new");
    // The run's lock on the bundle is held until it has removed the old one.
    const auto lock = std::find(last.apps.begin(), last.apps.end(), ".Tamberlyn.app.lock");
    ASSERT_NE(lock, last.apps.end());
    last.apps.erase(lock);
    ASSERT_EQ(last.apps.size(), 2u);  // the new bundle and, still, the old one beside it
    EXPECT_EQ(last.apps[1], "Tamberlyn.app");
    EXPECT_EQ(last.apps[0].rfind(".Tamberlyn.app.old-", 0), 0u) << last.apps[0];
}

TEST_F(BundleSwapTest, ItemsDeeperThanAPathCanNameAreInstalledAndFlushed) {
    IClient engine;
    const std::string staged = Stage();
    InstallOld();
    {
        const int bottom = zid_test::OpenDeepBottom(staged + "/Contents", true);
        ASSERT_GE(bottom, 0);
        ASSERT_TRUE(zid_test::WriteAt(bottom, "deep.txt", "deep"));
        close(bottom);
    }
    std::vector<std::string> flushed;
    {
        ScopedSyncHook hook([&](const std::string& path, int) {
            flushed.push_back(zplat::LastPathComponent(path));
            return 0;
        });
        ASSERT_TRUE(engine.ReplaceInstalledBundle());
    }
    const int bottom = zid_test::OpenDeepBottom(Installed() + "/Contents", false);
    ASSERT_GE(bottom, 0) << "the deep folders were not installed";
    EXPECT_EQ(zid_test::ReadAt(bottom, "deep.txt"), "deep");
    close(bottom);
    EXPECT_NE(std::find(flushed.begin(), flushed.end(), "deep.txt"), flushed.end());
    EXPECT_EQ(zplat::DirectoryEntries(apps_), std::vector<std::string>{"Tamberlyn.app"});
}

TEST_F(BundleSwapTest, FailedFlushKeepsTheInstalledBundle) {
    const struct {
        const char* name;
        std::string failing;  // below the applications folder; "" is the folder itself
        bool old_replaced;
    } cases[] = {
        {"a file of the copy", "/Contents/Info.plist", false},
        {"the copy's top folder", "", false},
        {"the applications folder after the renames", "apps", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IClient engine;
        StageOverOld();
        {
            ScopedSyncHook hook([&](const std::string& path, int) {
                if (c.failing == "apps") return path == apps_ ? EIO : 0;
                const bool in_copy = path.rfind(apps_ + "/.Tamberlyn.app.new-", 0) == 0;
                const size_t name_end = path.find('/', apps_.size() + 1);
                const std::string below = name_end == std::string::npos ? "" : path.substr(name_end);
                return in_copy && below == c.failing ? EIO : 0;
            });
            EXPECT_FALSE(engine.ReplaceInstalledBundle());
        }
        EXPECT_EQ(zid_test::ReadBytes(Installed() + "/Contents/Info.plist"), c.old_replaced ? "new" : "old");
        const std::vector<std::string> apps = zplat::DirectoryEntries(apps_);
        if (c.old_replaced) {
            // Renamed but not known to be on the disk: the previous bundle is kept beside it.
            ASSERT_EQ(apps.size(), 2u);
            EXPECT_EQ(apps[0].rfind(".Tamberlyn.app.old-", 0), 0u) << apps[0];
            zplat::RemoveItem(apps_ + "/" + apps[0]);
        } else {
            EXPECT_EQ(apps, std::vector<std::string>{"Tamberlyn.app"});
        }
    }
}

// Each step of the swap is seen before it is taken: the installed bundle must be there
// under its name at every one of them.
TEST_F(BundleSwapTest, InstalledBundleKeepsItsNameAtEveryStepOfTheSwap) {
    const struct {
        const char* name;
        int exchange_error;  // what the system answers to the exchange; 0 when it takes it
        bool succeeds;
    } cases[] = {
        {"exchange offered", 0, true},
        {"filesystem without exchange", EINVAL, true},
        {"kernel without exchange", ENOSYS, true},
        {"exchange refused", EACCES, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IClient engine;
        StageOverOld();
        std::vector<std::string> steps, missing;
        {
            ScopedMoveHook hook([&](const std::string& from, const std::string& to, bool exchange) {
                const std::string step = (exchange ? "exchange " : "rename ") + zplat::LastPathComponent(from) + " " +
                                         zplat::LastPathComponent(to);
                steps.push_back(step);
                if (!zplat::ItemExists(Installed() + "/Contents/Info.plist")) missing.push_back(step);
                return exchange ? c.exchange_error : 0;
            });
            EXPECT_EQ(engine.ReplaceInstalledBundle(), c.succeeds);
        }
        ASSERT_FALSE(steps.empty());
        EXPECT_EQ(steps[0].rfind("exchange .Tamberlyn.app.new-", 0), 0u) << steps[0];
        if (c.exchange_error == 0) EXPECT_EQ(missing, std::vector<std::string>{});
        EXPECT_EQ(zid_test::ReadBytes(Installed() + "/Contents/Info.plist"), c.succeeds ? "new" : "old");
        EXPECT_EQ(zplat::DirectoryEntries(apps_), std::vector<std::string>{"Tamberlyn.app"});
    }
}

// What a run killed in the middle of a swap left: the previous bundle is put back under
// its name when the next run starts; nothing else is touched.
TEST_F(BundleSwapTest, RunStartingAfterAKilledSwapPutsThePreviousBundleBack) {
    const std::string old_s = ".Tamberlyn.app.old-20261101090000000", new_s = ".Tamberlyn.app.new-20261101090000000";
    const std::string older = ".Tamberlyn.app.old-20261001090000000";
    const struct {
        const char* name;
        std::vector<std::string> left;  // bundles beside the applications folder's name
        bool installed;
        std::string restored;  // the leftover put back, "" when none
    } cases[] = {
        {"killed between the two renames", {new_s, old_s}, false, old_s},
        {"two earlier previous bundles", {older, old_s}, false, old_s},
        {"a copy never finished, no previous bundle", {new_s}, false, ""},
        {"bundle in place", {new_s, old_s}, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zplat::RemoveItem(apps_);
        ASSERT_TRUE(zplat::CreateDirectory(apps_, true));
        for (const std::string& name : c.left) {
            ASSERT_TRUE(zplat::CreateDirectory(apps_ + "/" + name + "/Contents", true));
            zid_test::WriteBytes(apps_ + "/" + name + "/Contents/Info.plist", name);
        }
        if (c.installed) InstallOld();
        IClient engine;
        engine.RestoreInterruptedSwap();
        std::vector<std::string> want = c.left;
        if (!c.restored.empty()) want.erase(std::find(want.begin(), want.end(), c.restored));
        if (c.installed || !c.restored.empty()) want.push_back("Tamberlyn.app");
        std::sort(want.begin(), want.end());
        EXPECT_EQ(zplat::DirectoryEntries(apps_), want);
        const std::string info = zid_test::ReadBytes(Installed() + "/Contents/Info.plist");
        EXPECT_EQ(info, c.installed ? "old" : c.restored);
    }

    // The next swap replaces the restored bundle and clears what is left.
    IClient engine;
    Stage();
    ASSERT_TRUE(engine.ReplaceInstalledBundle());
    EXPECT_EQ(zid_test::ReadBytes(Installed() + "/Contents/Info.plist"), "new");
    EXPECT_EQ(zplat::DirectoryEntries(apps_), std::vector<std::string>{"Tamberlyn.app"});
}

// Bundles that earlier runs left beside the installed one (killed mid-swap, or a swap that
// could not be made durable) go once a swap has succeeded, never before: until then one of
// them may be the only copy of the application.
TEST_F(BundleSwapTest, LeftoversOfEarlierSwapsGoOnlyAfterASuccessfulOne) {
    const std::vector<std::string> leftovers = {".Tamberlyn.app.new-1111", ".Tamberlyn.app.old-2222"};
    const std::string unrelated = ".Other.app.old-3333";
    std::string first_staging;
    for (bool succeeds : {false, true}) {
        SCOPED_TRACE(succeeds ? "successful swap" : "failed swap");
        IClient engine;
        // Both runs take one stamp, as two runs started in the same millisecond would: the
        // failed one's own leftover then lies where the next one moves the old bundle.
        if (first_staging.empty()) first_staging = UiTheme::Settings().m_szTempDir;
        UiTheme::Settings().m_szTempDir = first_staging;
        StageOverOld();
        for (const std::string& name : leftovers) {
            ASSERT_TRUE(zplat::CreateDirectory(apps_ + "/" + name + "/Contents", true));
            zid_test::WriteBytes(apps_ + "/" + name + "/Contents/Info.plist", name);
        }
        ASSERT_TRUE(zplat::CreateDirectory(apps_ + "/" + unrelated, true));
        {
            ScopedSyncHook hook([&](const std::string& path, int) { return !succeeds && path == apps_ ? EIO : 0; });
            EXPECT_EQ(engine.ReplaceInstalledBundle(), succeeds);
        }
        EXPECT_EQ(zid_test::ReadBytes(Installed() + "/Contents/Info.plist"), "new");
        for (const std::string& name : leftovers) {
            EXPECT_EQ(zplat::ItemExists(apps_ + "/" + name), !succeeds) << name;
        }
        EXPECT_TRUE(zplat::ItemExists(apps_ + "/" + unrelated));
    }
    std::vector<std::string> apps = zplat::DirectoryEntries(apps_);
    std::sort(apps.begin(), apps.end());
    EXPECT_EQ(apps, (std::vector<std::string>{unrelated, "Tamberlyn.app"}));
}

// Two runs installing one bundle at once: the one that comes second, while the first is
// held at its exchange, must neither take the first's copy for a leftover nor swap in its
// own; the first then installs its whole bundle, and the bundle is free again after it.
TEST_F(BundleSwapTest, SecondRunAtOnceLeavesTheFirstRunsSwapAlone) {
    IClient engine;  // sets the folders of the runs
    const std::string work = zplat::DeletingLastPathComponent(UiTheme::Settings().m_szTempDir);
    ASSERT_EQ(work.rfind(dir_ + "/", 0), 0u) << work;
    const std::string first = work + "/20261211100000001", second = work + "/20261211100000002";
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) files.push_back("/Contents/Resources/f" + std::to_string(i));
    for (const std::string& staging : {first, second}) {
        UiTheme::Settings().m_szTempDir = staging;
        const std::string staged = Stage();
        ASSERT_TRUE(zplat::CreateDirectory(staged + "/Contents/Resources", true));
        zid_test::WriteBytes(staged + "/Contents/Info.plist", staging);
        for (const std::string& f : files) zid_test::WriteBytes(staged + f, staging + f);
    }
    InstallOld();

    // Each run is a process of its own, as two started installers are.
    auto run = [](const std::string& staging, int at_exchange, int go) {
        const pid_t pid = fork();
        if (pid != 0) return pid;
        IClient engine;
        UiTheme::Settings().m_szTempDir = staging;
        bool held = false;
        zplat::SetMoveHook([&](const std::string&, const std::string&, bool exchange) {
            if (exchange && at_exchange >= 0 && !held) {
                held = true;
                char c = 'x';
                if (write(at_exchange, &c, 1) != 1) _exit(3);
                while (read(go, &c, 1) < 0 && errno == EINTR) {
                }
            }
            return 0;
        });
        _exit(engine.ReplaceInstalledBundle() ? 0 : 1);
    };
    auto exit_code = [](pid_t pid) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    int at_exchange[2], go[2];
    ASSERT_EQ(pipe(at_exchange), 0);
    ASSERT_EQ(pipe(go), 0);
    const pid_t x = run(first, at_exchange[1], go[0]);
    ASSERT_GT(x, 0);
    char c = 0;
    ASSERT_EQ(read(at_exchange[0], &c, 1), 1) << "the first run never reached its exchange";
    const pid_t y = run(second, -1, -1);
    ASSERT_GT(y, 0);
    EXPECT_EQ(exit_code(y), 1) << "the second run reported success while the first was swapping";
    ASSERT_EQ(write(go[1], &c, 1), 1);
    EXPECT_EQ(exit_code(x), 0);
    for (int fd : {at_exchange[0], at_exchange[1], go[0], go[1]}) close(fd);

    EXPECT_EQ(zid_test::ReadBytes(Installed() + "/Contents/Info.plist"), first);
    for (const std::string& f : files) EXPECT_EQ(zid_test::ReadBytes(Installed() + f), first + f) << f;
    EXPECT_EQ(zplat::DirectoryEntries(apps_), std::vector<std::string>{"Tamberlyn.app"});

    // The first run let go: the second one, tried again, installs, over the lock file a
    // killed run would have left.
    zid_test::WriteBytes(apps_ + "/.Tamberlyn.app.lock", "");
    UiTheme::Settings().m_szTempDir = second;
    EXPECT_TRUE(engine.ReplaceInstalledBundle());
    EXPECT_EQ(zid_test::ReadBytes(Installed() + "/Contents/Info.plist"), second);
    EXPECT_EQ(zplat::DirectoryEntries(apps_), std::vector<std::string>{"Tamberlyn.app"});
}

}  // namespace
