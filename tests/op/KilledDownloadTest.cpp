// A staged download killed before it could clean up leaves nothing beside its destination.
#include <dirent.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <signal.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include "OpTestSupport.h"
#include "op/StagedDownload.h"

using namespace zuzezi_zid;

namespace zid_test {
namespace {

// From here on, this process dies at its first rename of any kind.
bool KillAtRename() {
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
#ifdef __NR_rename
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_rename, 3, 0),
#else
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat, 3, 0),
#endif
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
    };
    struct sock_fprog program = {static_cast<unsigned short>(sizeof(filter) / sizeof(filter[0])),
                                 filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
}

class KilledDownloadTest : public ObjectOpTest {
protected:
    void SetUp() override {
        ObjectOpTest::SetUp();
        ClientSettings::SetDownSliceSize(64 * 1024);
        ClientSettings::SetDownThreadPoolSize(1);
        // Larger than what a single GET reads before it writes.
        m_data = RandomBytes(1024 * 1024, 5);
        Service().PutObject(StoreBucket(), "obj", m_data);
        m_path = Local("pkg.zip");
        WriteFile(m_path, "earlier");
    }

    std::set<std::string> FolderEntries() const {
        std::set<std::string> names;
        DIR* dir = opendir(m_dir.c_str());
        if (!dir) return names;
        while (const dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.insert(name);
        }
        closedir(dir);
        return names;
    }
    // True once the process holds a file of the test folder open with bytes in it: the
    // download is writing, named or not.
    bool WritesIntoFolder(pid_t pid) const {
        const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
        DIR* dir = opendir(fds.c_str());
        if (!dir) return false;
        bool writing = false;
        while (const dirent* e = readdir(dir)) {
            const std::string fd = fds + "/" + e->d_name;
            char target[4096];
            const ssize_t n = readlink(fd.c_str(), target, sizeof(target) - 1);
            if (n <= 0) continue;
            const std::string to(target, static_cast<size_t>(n));
            struct stat st;
            if (to.compare(0, m_dir.size() + 1, m_dir + "/") == 0 && to != m_path &&
                stat(fd.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
                writing = true;
            }
        }
        closedir(dir);
        return writing;
    }
    // Runs the download in a child and kills it while it writes.
    void KillWhileWriting(const std::function<ZidResult()>& download) {
        Service().AddFault(SlowAnswers("GET", 20, 64 * 1024));
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            download();
            _exit(0);
        }
        bool writing = false;
        for (int i = 0; i < 2000 && !(writing = WritesIntoFolder(pid)); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        Service().ClearFaults();
        ASSERT_TRUE(writing) << "the child never wrote into " << m_dir;
        ASSERT_TRUE(WIFSIGNALED(status)) << "the download ended before it was killed";
    }

    ZidResult SingleGet() const {
        GetObjectByFileReq req("bkt", "obj", m_path);
        GetObjectByFileResp resp;
        return m_op->GetObject(req, &resp, nullptr, false);
    }
    ZidResult ThreadedGet() const {
        GetObjectByFileReq req("bkt", "obj", m_path);
        GetObjectByFileResp resp;
        return m_op->MultiThreadDownload(req, &resp, nullptr, false);
    }

    struct Way {
        const char* name;
        std::function<ZidResult()> download;
    };
    std::vector<Way> Ways() {
        return {{"single GET", [this] { return SingleGet(); }},
                {"multi-threaded", [this] { return ThreadedGet(); }}};
    }

    std::string m_data;
    std::string m_path;
};

TEST_F(KilledDownloadTest, AKilledDownloadLeavesOnlyTheEarlierFile) {
    if (!ForkedDownloadsRun()) GTEST_SKIP() << "fork under ThreadSanitizer";
    for (const auto& c : Ways()) {
        SCOPED_TRACE(c.name);
        WriteFile(m_path, "earlier");
        KillWhileWriting(c.download);
        EXPECT_EQ(FolderEntries(), std::set<std::string>{"pkg.zip"});
        EXPECT_EQ(ReadFile(m_path), "earlier");

        ZidResult r = c.download();
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        EXPECT_EQ(ReadFile(m_path), m_data);
        EXPECT_EQ(FolderEntries(), std::set<std::string>{"pkg.zip"});
    }
}

// A child that stages NAME under a name, writes, tells the parent and waits to be killed.
struct StagingChild {
    pid_t pid = -1;
    bool writing = false;

    explicit StagingChild(const std::string& path) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            StagedDownload staged(path, false);
            const int fd = staged.Open();
            if (fd < 0 || write(fd, "partial", 7) != 7 || write(fds[1], "w", 1) != 1) _exit(1);
            for (;;) pause();
        }
        close(fds[1]);
        char c = 0;
        writing = pid > 0 && read(fds[0], &c, 1) == 1;
        close(fds[0]);
    }
    void Kill() {
        if (pid <= 0) return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    ~StagingChild() { Kill(); }
};

// The sweep removes only what this library staged and no live writer holds, whatever pid a
// name carries: files merely named like staged ones stay, and so does the staged file of a
// download still running elsewhere, until it ends.
TEST_F(KilledDownloadTest, OnlyStagedFilesNoWriterHoldsAreSwept) {
    if (!ForkedDownloadsRun()) GTEST_SKIP() << "fork under ThreadSanitizer";
    const pid_t ended = fork();
    ASSERT_GE(ended, 0);
    if (ended == 0) _exit(0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    for (const std::string& name : {std::string("pkg.zip"), std::string(255, 'n')}) {
        SCOPED_TRACE(name.size());
        const std::string path = Local(name);
        WriteFile(path, "earlier");
        const std::set<std::string> users = {
            name + ".zidtmp." + std::to_string(ended) + ".3",
            name + ".zidtmp." + std::to_string(getppid()) + ".0",
            name + ".zidtmp.0123456789abcdef0123456789abcdef",
        };
        for (const auto& user : users) {
            if (user.size() <= 255) WriteFile(Local(user), "the user's own");
        }
        const std::set<std::string> before = FolderEntries();
        GetObjectByFileReq req("bkt", "obj", path);
        GetObjectByFileResp resp;
        ZidResult r = m_op->GetObject(req, &resp, nullptr, false);
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        EXPECT_EQ(FolderEntries(), before);

        StagingChild live(path);
        ASSERT_TRUE(live.writing);
        StagingChild killed(path);
        ASSERT_TRUE(killed.writing);
        killed.Kill();
        std::set<std::string> staged = FolderEntries();
        for (const auto& n : before) staged.erase(n);
        ASSERT_EQ(staged.size(), 2u) << "each child stages a file with a name";

        WriteFile(path, "earlier");
        r = m_op->GetObject(req, &resp, nullptr, false);
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        EXPECT_TRUE(ReadFile(path) == m_data);
        std::set<std::string> left = FolderEntries();
        for (const auto& n : before) EXPECT_EQ(left.erase(n), 1u) << n;
        ASSERT_EQ(left.size(), 1u) << "the killed child's file goes, the live one's stays";
        EXPECT_EQ(ReadFile(Local(*left.begin())), "partial");

        live.Kill();
        r = m_op->GetObject(req, &resp, nullptr, false);
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        EXPECT_EQ(FolderEntries(), before);
        for (const auto& n : before) {
            if (n != name) unlink(Local(n).c_str());
        }
    }
}

// Replacing an existing file takes a link then a rename; a process killed between the two
// leaves the whole object under a staged name, which the next download to NAME removes, even
// when the killed one ran in another pid namespace, where its pid means nothing here.
TEST_F(KilledDownloadTest, AKillBetweenLinkAndRenameIsSweptFromAnyNamespace) {
    if (!ForkedDownloadsRun()) GTEST_SKIP() << "fork under ThreadSanitizer";
    for (const auto& c : Ways()) {
        SCOPED_TRACE(c.name);
        WriteFile(m_path, "earlier");
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (unshare(CLONE_NEWPID) != 0) _exit(77);
            const pid_t inner = fork();
            if (inner == 0) {
                if (!KillAtRename()) _exit(78);
                c.download();
                _exit(0);
            }
            int status = 0;
            waitpid(inner, &status, 0);
            if (WIFEXITED(status) && WEXITSTATUS(status) == 78) _exit(78);
            _exit(WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no new pid namespace here";
        if (WEXITSTATUS(status) == 78) GTEST_SKIP() << "no seccomp filter here";
        ASSERT_EQ(WEXITSTATUS(status), 0) << "the download was not killed at its rename";
        std::set<std::string> left = FolderEntries();
        ASSERT_EQ(left.size(), 2u);
        left.erase("pkg.zip");
        EXPECT_EQ(ReadFile(m_path), "earlier");
        EXPECT_TRUE(ReadFile(Local(*left.begin())) == m_data) << "a complete copy";

        ZidResult r = c.download();
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        EXPECT_TRUE(ReadFile(m_path) == m_data);
        EXPECT_EQ(FolderEntries(), std::set<std::string>{"pkg.zip"});
    }
}

}  // namespace
}  // namespace zid_test
