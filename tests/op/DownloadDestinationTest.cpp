// What a download does to the file it writes: a failure leaves an existing file as it was
// and no stray file beside it; a success replaces it, as the caller named it.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>

#include "OpTestSupport.h"
#include "op/StagedDownload.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

class DownloadDestinationTest : public ObjectOpTest {
protected:
    void SetUp() override {
        ObjectOpTest::SetUp();
        ClientSettings::SetDownSliceSize(4096);
        ClientSettings::SetDownThreadPoolSize(3);
    }

    struct Way {
        const char* name;
        std::function<ZidResult(ObjectOp&, const std::string& key, const std::string& path,
                                const std::shared_ptr<TransferHandler>&)>
            run;
    };
    static std::vector<Way> Ways() {
        return {{"single GET",
                 [](ObjectOp& op, const std::string& key, const std::string& path,
                    const std::shared_ptr<TransferHandler>& h) {
                     GetObjectByFileReq req("bkt", key, path);
                     GetObjectByFileResp resp;
                     return op.GetObject(req, &resp, h, false);
                 }},
                {"multi-threaded",
                 [](ObjectOp& op, const std::string& key, const std::string& path,
                    const std::shared_ptr<TransferHandler>& h) {
                     GetObjectByFileReq req("bkt", key, path);
                     GetObjectByFileResp resp;
                     return op.MultiThreadDownload(req, &resp, h, false);
                 }}};
    }

    // The resumable download writes in place: only where a file's place is not in question.
    static std::vector<Way> WaysWithResumable() {
        auto ways = Ways();
        ways.push_back({"resumable", [](ObjectOp& op, const std::string& key, const std::string& path,
                                        const std::shared_ptr<TransferHandler>& h) {
                            GetObjectByFileReq req("bkt", key, path);
                            GetObjectByFileResp resp;
                            return op.ResumableGetObject(req, &resp, h, false);
                        }});
        return ways;
    }

    std::set<std::string> FolderEntries() const {
        std::set<std::string> names;
        DIR* dir = opendir(m_dir.c_str());
        if (!dir) return names;
        while (dirent* e = readdir(dir)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.insert(n);
        }
        closedir(dir);
        return names;
    }
};

TEST_F(DownloadDestinationTest, AFailedDownloadLeavesTheExistingFileAsItWas) {
    const std::string data = RandomBytes(5 * 4096 + 9);
    Fault forbidden;
    forbidden.kind = FaultKind::Status;
    forbidden.status = 403;
    forbidden.errorCode = "AccessDenied";
    forbidden.method = "GET";
    forbidden.times = -1;
    Fault gone = forbidden;
    gone.status = 404;
    gone.errorCode = "NoSuchKey";
    Fault refused;
    refused.kind = FaultKind::Refuse;
    refused.method = "GET";
    refused.times = -1;
    struct Case {
        const char* name;
        Fault fault;
        int status;
    } cases[] = {{"403", forbidden, 403},
                 {"404", gone, 404},
                 {"connection refused", refused, -1}};
    for (const auto& way : Ways()) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(way.name) + ", " + c.name);
            Service().ClearFaults();
            Service().PutObject(StoreBucket(), "obj", data);
            Service().AddFault(c.fault);
            const std::string path = Local("keep.txt");
            WriteFile(path, "the user's own file");
            auto handler = std::make_shared<TransferHandler>();
            ZidResult r = way.run(*m_op, "obj", path, handler);
            EXPECT_FALSE(r.IsSucc());
            EXPECT_EQ(r.GetHttpStatus(), c.status);
            EXPECT_EQ(handler->GetStatus(), FAILED);
            EXPECT_EQ(ReadFile(path), "the user's own file");
            EXPECT_EQ(FolderEntries(), std::set<std::string>{"keep.txt"});
        }
    }
}

// A replaced file keeps its permissions; a link keeps pointing where it did, at the new
// bytes; a device is written, never replaced.
TEST_F(DownloadDestinationTest, ASuccessReplacesWhatTheCallerNamed) {
    const std::string data = RandomBytes(3 * 4096 + 1, 5);
    Service().PutObject(StoreBucket(), "obj", data);
    for (const auto& way : Ways()) {
        SCOPED_TRACE(way.name);
        const std::string file = Local("file");
        WriteFile(file, "old");
        ASSERT_EQ(chmod(file.c_str(), 0640), 0);
        ZidResult r = way.run(*m_op, "obj", file, nullptr);
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        EXPECT_EQ(ReadFile(file), data);
        struct stat st;
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);

        const std::string target = Local("target");
        const std::string link = Local("link");
        WriteFile(target, "old");
        unlink(link.c_str());
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
        r = way.run(*m_op, "obj", link, nullptr);
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        ASSERT_EQ(lstat(link.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        EXPECT_EQ(ReadFile(target), data);

        r = way.run(*m_op, "obj", "/dev/null", nullptr);
        ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
        ASSERT_EQ(stat("/dev/null", &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));

        EXPECT_EQ(FolderEntries(), (std::set<std::string>{"file", "link", "target"}));
    }
}

// A new file gets what the umask leaves of 0666, on every way a file is downloaded.
TEST_F(DownloadDestinationTest, ANewFileTakesTheUmask) {
    Service().PutObject(StoreBucket(), "obj", RandomBytes(2 * 4096 + 3, 9));
    // Put back however the test ends.
    struct UmaskGuard {
        mode_t saved = umask(022);
        ~UmaskGuard() { umask(saved); }
    } guard;
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        umask(mask);
        for (const auto& way : WaysWithResumable()) {
            SCOPED_TRACE(std::string(way.name) + ", umask " + std::to_string(mask));
            const std::string path = Local("new");
            unlink(path.c_str());
            ZidResult r = way.run(*m_op, "obj", path, nullptr);
            ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
            struct stat st;
            ASSERT_EQ(stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask);
        }
    }
}

// A link is kept whatever it points to, a file that does not exist yet included: that file
// is created, as `curl -o` does.
TEST_F(DownloadDestinationTest, ALinkIsKeptAndTheFileItNamesWritten) {
    const std::string data = RandomBytes(2 * 4096 + 7, 11);
    Service().PutObject(StoreBucket(), "obj", data);
    ASSERT_EQ(mkdir(Local("sub").c_str(), 0755), 0);
    const struct {
        const char* name;
        std::string link_to;    // what the link holds
        std::string written;    // the file the bytes must reach
        bool target_exists;
    } cases[] = {
        {"dangling, absolute", Local("sub/absent"), Local("sub/absent"), false},
        {"dangling, relative", "sub/absent", Local("sub/absent"), false},
        {"existing, relative", "sub/there", Local("sub/there"), true},
        {"to a dangling link", "hop", Local("sub/end"), false},
    };
    for (const auto& way : Ways()) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(way.name) + ", " + c.name);
            unlink(Local("sub/absent").c_str());
            unlink(Local("sub/end").c_str());
            unlink(Local("hop").c_str());
            ASSERT_EQ(symlink("sub/end", Local("hop").c_str()), 0);
            if (c.target_exists) WriteFile(c.written, "old");
            const std::string link = Local("link");
            unlink(link.c_str());
            ASSERT_EQ(symlink(c.link_to.c_str(), link.c_str()), 0);

            ZidResult r = way.run(*m_op, "obj", link, nullptr);
            ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
            struct stat st;
            ASSERT_EQ(lstat(link.c_str(), &st), 0);
            EXPECT_TRUE(S_ISLNK(st.st_mode));
            ASSERT_EQ(lstat(c.written.c_str(), &st), 0);
            EXPECT_TRUE(S_ISREG(st.st_mode));
            EXPECT_TRUE(ReadFile(c.written) == data);
        }
    }
}

// Names up to the folder's limit can be downloaded to, new or replaced, staged with or
// without a name: the staged file's name is shortened to fit.
TEST_F(DownloadDestinationTest, AnyNameTheFolderTakesCanBeDownloadedTo) {
    const std::string data = RandomBytes(3 * 4096, 13);
    Service().PutObject(StoreBucket(), "obj", data);
    std::string accented;  // 254 bytes of two-byte characters, then one more byte
    while (accented.size() < 254) accented += "\xc3\xa9";
    accented += "x";
    const std::string names[] = {std::string(255, 'a'), std::string(245, 'b') + ".tar.gz",
                                 accented};
    for (const auto& name : names) {
        const std::string path = Local(name);
        for (const auto& way : WaysWithResumable()) {
            for (const bool existing : {false, true}) {
                SCOPED_TRACE(std::string(way.name) + ", " + std::to_string(name.size()) +
                             " bytes" + (existing ? ", existing" : ", new"));
                unlink(path.c_str());
                if (existing) WriteFile(path, "old");
                ZidResult r = way.run(*m_op, "obj", path, nullptr);
                ASSERT_TRUE(r.IsSucc()) << r.GetErrorMsg();
                EXPECT_TRUE(ReadFile(path) == data);
                EXPECT_EQ(FolderEntries(), std::set<std::string>{name});
            }
        }
        SCOPED_TRACE("named staging, " + std::to_string(name.size()) + " bytes");
        StagedDownload staged(path, false);
        const int fd = staged.Open();
        ASSERT_GE(fd, 0) << "errno " << errno;
        EXPECT_EQ(FolderEntries().size(), 2u);
        ASSERT_EQ(write(fd, "named", 5), 5);
        close(fd);
        ASSERT_TRUE(staged.Commit()) << "errno " << errno;
        EXPECT_EQ(ReadFile(path), "named");
        EXPECT_EQ(FolderEntries(), std::set<std::string>{name});
        unlink(path.c_str());
    }
}

// What a commit needs is known before any byte is fetched. A forked child runs the download
// as `nobody`; the outcome comes back through a pipe.
class CommitCheckTest : public DownloadDestinationTest {
protected:
    static constexpr uid_t kNobody = 65534;
    static constexpr uid_t kSomeoneElse = 1;

    struct Outcome {
        bool ran = false;
        bool succ = false;
        std::string message;
    };
    Outcome RunAsNobody(const Way& way, const std::string& path) {
        int fds[2];
        if (pipe(fds) != 0) return {};
        const pid_t pid = fork();
        if (pid < 0) return {};
        if (pid == 0) {
            close(fds[0]);
            if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
            ZidResult r = way.run(*m_op, "obj", path, nullptr);
            const std::string text = (r.IsSucc() ? "1" : "0") + r.GetErrorMsg();
            _exit(write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 3);
        }
        close(fds[1]);
        std::string text;
        char buf[512];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof(buf))) > 0) text.append(buf, static_cast<size_t>(n));
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        Outcome out;
        out.ran = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !text.empty();
        if (out.ran) {
            out.succ = text[0] == '1';
            out.message = text.substr(1);
        }
        return out;
    }
    static bool Place(const std::string& path, const std::string& text, uid_t owner, mode_t mode) {
        WriteFile(path, text);
        return chown(path.c_str(), owner, owner) == 0 && chmod(path.c_str(), mode) == 0;
    }
    void SetUp() override {
        DownloadDestinationTest::SetUp();
        if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
        if (!ForkedDownloadsRun()) GTEST_SKIP() << "fork under ThreadSanitizer";
        ASSERT_EQ(chmod(m_dir.c_str(), 0755), 0);
        m_data = RandomBytes(4 * 4096 + 5, 17);
        Service().PutObject(StoreBucket(), "obj", m_data);
    }
    std::string m_data;
};

// Another user's file, writable by all, in a sticky folder: rename could never replace it,
// so the call fails before the transfer, saying why, and the file stays as it was.
TEST_F(CommitCheckTest, AFileThatCannotBeReplacedFailsBeforeTheTransfer) {
    const std::string folder = Local("sticky");
    ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
    ASSERT_EQ(chmod(folder.c_str(), 01777), 0);
    const std::string path = folder + "/theirs";
    for (const auto& way : Ways()) {
        SCOPED_TRACE(way.name);
        ASSERT_TRUE(Place(path, "their file", kSomeoneElse, 0666));
        Service().ClearRequests();
        const Outcome out = RunAsNobody(way, path);
        ASSERT_TRUE(out.ran);
        EXPECT_FALSE(out.succ);
        EXPECT_NE(out.message.find("sticky"), std::string::npos) << out.message;
        EXPECT_EQ(CountRequests("GET"), 0u);
        EXPECT_EQ(ReadFile(path), "their file");
    }
}

// A file the caller may write, in a folder it may not: written in place, as downloads did
// before they were staged.
TEST_F(CommitCheckTest, AWritableFileInAFolderThatTakesNoNewFileIsWrittenInPlace) {
    const std::string folder = Local("closed");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const std::string path = folder + "/mine";
    for (const auto& way : Ways()) {
        SCOPED_TRACE(way.name);
        ASSERT_TRUE(Place(path, "my old file", kNobody, 0640));
        const Outcome out = RunAsNobody(way, path);
        ASSERT_TRUE(out.ran);
        EXPECT_TRUE(out.succ) << out.message;
        EXPECT_TRUE(ReadFile(path) == m_data);
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, kNobody);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
    }
}

}  // namespace
}  // namespace zid_test
