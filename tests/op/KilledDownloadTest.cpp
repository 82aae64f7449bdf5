// A staged download killed before it could clean up leaves nothing beside its destination.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include "OpTestSupport.h"

using namespace zuzezi_zid;

namespace zid_test {
namespace {

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

    std::string m_data;
    std::string m_path;
};

TEST_F(KilledDownloadTest, AKilledDownloadLeavesOnlyTheEarlierFile) {
    if (!ForkedDownloadsRun()) GTEST_SKIP() << "fork under ThreadSanitizer";
    const struct {
        const char* name;
        std::function<ZidResult()> download;
    } cases[] = {{"single GET", [this] { return SingleGet(); }},
                 {"multi-threaded", [this] { return ThreadedGet(); }}};
    for (const auto& c : cases) {
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

// Staged files under the destination's name are removed when the process that wrote them no
// longer runs; those of a running process, and those of other names, stay.
TEST_F(KilledDownloadTest, LeftoversOfEndedProcessesAreRemoved) {
    const pid_t ended = fork();
    ASSERT_GE(ended, 0);
    if (ended == 0) _exit(0);
    int status = 0;
    ASSERT_EQ(waitpid(ended, &status, 0), ended);
    const std::string dead = "pkg.zip.zidtmp." + std::to_string(ended) + ".3";
    const std::string live = "pkg.zip.zidtmp." + std::to_string(getppid()) + ".0";
    const std::string other = "other.zip.zidtmp." + std::to_string(ended) + ".1";
    const std::string lookalike = "pkg.zip.zidtmp." + std::to_string(ended) + ".x";
    for (const auto& name : {dead, live, other, lookalike}) WriteFile(Local(name), "leftover");

    ZidResult r = SingleGet();
    ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
    EXPECT_EQ(ReadFile(m_path), m_data);
    EXPECT_EQ(FolderEntries(), (std::set<std::string>{"pkg.zip", live, other, lookalike}));
}

}  // namespace
}  // namespace zid_test
