// Staging folders of earlier runs: a run removes those whose run no longer lives, never
// its own nor a living one's. Other processes are forked children holding a folder.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "IClient.h"
#include "UiTheme.h"
#include "platform/FileManager.h"
#include "platform/FolderClaim.h"
#include "support/LocalServiceFixture.h"
#include "support/ScopedEnv.h"
#include "support/ZipFixture.h"

namespace {

bool Touch(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd >= 0 && write(fd, "x", 1) == 1 && close(fd) == 0;
}

// A forked process that claims a folder as a run does and keeps it until Stop, or (with
// `exit_at_once`) ends as soon as it holds it, as a killed run does.
class Holder {
public:
    Holder(const std::string& folder, bool exit_at_once) {
        int ready[2], stop[2];
        if (pipe(ready) != 0 || pipe(stop) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(stop[1]);
            zplat::FolderClaim claim;
            const char ok = claim.Claim(folder) && Touch(folder + "/summary.ini") ? 'y' : 'n';
            if (write(ready[1], &ok, 1) != 1 || exit_at_once) _exit(0);
            char c;
            while (read(stop[0], &c, 1) < 0 && errno == EINTR) {
            }
            _exit(0);
        }
        close(ready[1]);
        close(stop[0]);
        stop_ = stop[1];
        char c = 'n';
        while (read(ready[0], &c, 1) < 0 && errno == EINTR) {
        }
        close(ready[0]);
        claimed_ = c == 'y';
        if (exit_at_once) Stop();
    }
    ~Holder() { Stop(); }

    bool claimed() const { return claimed_; }

    // Ends the process and waits until it is gone.
    void Stop() {
        if (stop_ >= 0) close(stop_);
        stop_ = -1;
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int stop_ = -1;
    bool claimed_ = false;
};

class StagingFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = UiTheme::Settings();
        dir_ = zid_test::MakeTempFolder("zid-staging");
        env_.Set("HOME", dir_ + "/home");
        env_.Set("ZID_INSTALLER_BUNDLE", dir_ + "/Installer.app");
        env_.Set("ZID_INSTALLER_ACCOUNT", dir_ + "/no-account.json");
        env_.Set("ZID_INSTALLER_APPLICATIONS", dir_ + "/Apps");
        work_ = dir_ + "/home/Library/tamberlyn9.5";
        quant_ = dir_ + "/home/Library/tamberlyn9.5_quant";
        ASSERT_TRUE(zplat::CreateDirectory(work_, true));
        ASSERT_TRUE(zplat::CreateDirectory(quant_, true));
    }
    void TearDown() override {
        zplat::RemoveItem(dir_);
        UiTheme::Settings() = saved_;
    }

    std::vector<std::string> Work() const { return zplat::DirectoryEntries(work_); }

    std::string dir_, work_, quant_;
    zid_test::ScopedEnv env_;
    InstallSettings saved_;
};

TEST_F(StagingFoldersTest, RunRemovesTheStagingOfDeadRunsOnly) {
    const std::string dead = "20261101090000001", living = "20261101090000002", old_style = "20261101090000003";
    Holder killed(work_ + "/" + dead, true);
    ASSERT_TRUE(killed.claimed());
    Holder running(work_ + "/" + living, false);
    ASSERT_TRUE(running.claimed());
    // Left by an installer that held no lock, and things that are no staging folder.
    ASSERT_TRUE(zplat::CreateDirectory(work_ + "/" + old_style + "/Tamberlyn.app/Contents", true));
    ASSERT_TRUE(zplat::CreateDirectory(work_ + "/_Applications_Tamberlyn.app_Contents", true));
    ASSERT_TRUE(zplat::CreateDirectory(work_ + "/2026110109000000", true));  // 16 digits
    zid_test::WriteBytes(work_ + "/notes.txt", "kept");
    for (const std::string& stamp : {dead, living}) {
        ASSERT_TRUE(zplat::CreateDirectory(quant_ + "/.unpacking-" + stamp + "/q1", true));
    }

    IClient first;
    const std::string own = zplat::LastPathComponent(UiTheme::Settings().m_szTempDir);
    ASSERT_TRUE(first.ClaimStaging());
    std::vector<std::string> want = {living, "2026110109000000", own, "_Applications_Tamberlyn.app_Contents",
                                     "notes.txt"};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(Work(), want);
    EXPECT_EQ(zplat::DirectoryEntries(quant_), std::vector<std::string>{".unpacking-" + living});

    // The stamp carries milliseconds: a run made in the same one would name a held folder.
    const auto wait_for_next_stamp = [] {
        const std::string last = zplat::LastPathComponent(UiTheme::Settings().m_szTempDir);
        while (zplat::LastPathComponent(UiTheme::Settings().m_szTempDir) == last) {
            IClient probe;
        }
    };
    // A later run in this same process leaves the first one's folder, which it still holds.
    wait_for_next_stamp();
    IClient second;
    ASSERT_TRUE(second.ClaimStaging());
    EXPECT_TRUE(zplat::IsDirectory(work_ + "/" + own));
    EXPECT_TRUE(zplat::IsDirectory(work_ + "/" + living));

    // Once the living run has ended, its folder is a leftover like any other.
    running.Stop();
    wait_for_next_stamp();
    IClient third;
    ASSERT_TRUE(third.ClaimStaging());
    EXPECT_FALSE(zplat::ItemExists(work_ + "/" + living));
    EXPECT_EQ(zplat::DirectoryEntries(quant_), std::vector<std::string>{});
    EXPECT_TRUE(zplat::IsDirectory(work_ + "/" + own));
}

// Two runs started in the same millisecond name the same folder.
TEST_F(StagingFoldersTest, FolderOfTheSameNameIsTakenOnlyFromADeadRun) {
    IClient engine;
    const std::string staging = UiTheme::Settings().m_szTempDir;
    {
        Holder running(staging, false);
        ASSERT_TRUE(running.claimed());
        zplat::ErrorRecord err;
        zplat::FolderClaim claim;
        EXPECT_FALSE(claim.Claim(staging, &err));
        EXPECT_EQ(err.code, EBUSY);
        EXPECT_FALSE(engine.ClaimStaging());
        EXPECT_EQ(zid_test::ReadBytes(staging + "/summary.ini"), "x");
    }
    // Its holder gone, the folder is taken as it is.
    ASSERT_TRUE(engine.ClaimStaging());
    EXPECT_EQ(zid_test::ReadBytes(staging + "/summary.ini"), "x");
    Holder after(staging, true);
    EXPECT_FALSE(after.claimed());
}

}  // namespace
