// What a download does to the file it writes: a failure leaves an existing file as it was
// and no stray file beside it; a success replaces it, as the caller named it.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <set>

#include "OpTestSupport.h"

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

}  // namespace
}  // namespace zid_test
