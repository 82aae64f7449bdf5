// What a multipart upload does with its local file: a file that changes while it is sent,
// uploads left open by earlier runs, and sources that are empty, missing or not files at all.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "OpTestSupport.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

class UploadSourceTest : public ObjectOpTest {
protected:
    static constexpr uint64_t kPart = 4096;
    void SetUp() override {
        ObjectOpTest::SetUp();
        ClientSettings::SetUploadPartSize(kPart);
        ClientSettings::SetUploadThreadPoolSize(1);
        m_path = Local("up.bin");
    }
    using UploadFn = std::function<ZidResult(const std::string& path)>;
    struct Path {
        const char* name;
        UploadFn upload;
    };
    std::vector<Path> Paths() {
        return {{"multi-threaded",
                 [this](const std::string& path) {
                     PutObjectByFileReq req("bkt", "up", path);
                     req.SetCheckCRC64(true);
                     MultiPutObjectResp resp;
                     return m_op->MultiUploadObject(req, &resp, nullptr, false);
                 }},
                {"single thread", [this](const std::string& path) {
                     PutObjectByFileReq req("bkt", "up", path);
                     req.SetCheckCRC64(true);
                     ResumableUploadResp resp;
                     return m_op->UploadObjectResumableSingleThreadSync(req, &resp);
                 }}};
    }
    std::string Stored() const {
        auto o = Service().GetObject(StoreBucket(), "up");
        return o ? *o : std::string("<missing>");
    }
    bool PartSeen(const std::string& number) const {
        for (const auto& r : Service().Requests()) {
            auto it = r.params.find("partNumber");
            if (r.method == "PUT" && it != r.params.end() && it->second == number) return true;
        }
        return false;
    }
    static Fault FailingPart(int skip) {
        Fault f;
        f.kind = FaultKind::Status;
        f.method = "PUT";
        f.queryParam = "partNumber";
        f.skip = skip;
        f.times = 4;  // every attempt of that part
        return f;
    }
    std::string m_path;
};

// Rewrites two ranges at once, in place (same size, same inode), the way a program saving
// into the file does.
void RewriteInPlace(const std::string& path, uint64_t first, uint64_t second) {
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const std::string junk(1000, 'x');
    EXPECT_EQ(::pwrite(fd, junk.data(), junk.size(), static_cast<off_t>(first)), 1000);
    EXPECT_EQ(::pwrite(fd, junk.data(), junk.size(), static_cast<off_t>(second)), 1000);
    ::close(fd);
}

// The file is rewritten while the answer to one part is held back: the parts read before and
// after would make an object that never stood on disk. The stored version stays whole, the
// upload is aborted, the call says why. Also when the upload goes on from an earlier run's parts.
TEST_F(UploadSourceTest, AFileChangedWhileUploadingNeverReplacesTheStoredObject) {
    for (const auto& path : Paths()) {
        for (bool resumed : {false, true}) {
            SCOPED_TRACE(std::string(path.name) + (resumed ? ", resumed" : ""));
            Service().Clear();
            const std::string good = RandomBytes(5000, 3);
            Service().PutObject(StoreBucket(), "up", good);
            WriteFile(m_path, RandomBytes(6 * kPart));
            if (resumed) {
                Service().AddFault(FailingPart(2));
                ASSERT_FALSE(path.upload(m_path).IsSucc());
                Service().ClearFaults();
                ASSERT_EQ(Service().OpenUploadCount(StoreBucket()), 1u);
            }
            Service().ClearRequests();
            Fault held = HeldAnswers("PUT");
            held.queryParam = "partNumber";
            Service().AddFault(held);
            // A resumed run sends the third part first.
            const std::string watched = resumed ? "3" : "1";
            std::thread editor([&] {
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                while (!PartSeen(watched) && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                EXPECT_TRUE(PartSeen(watched)) << "part " << watched << " never came";
                RewriteInPlace(m_path, 100, 5 * kPart + 200);
                Service().ClearFaults();
            });
            ZidResult result = path.upload(m_path);
            editor.join();
            EXPECT_FALSE(result.IsSucc());
            EXPECT_NE(result.GetErrorMsg().find("changed while it was uploaded"), std::string::npos)
                << result.GetErrorMsg();
            EXPECT_TRUE(Stored() == good) << "stored " << Stored().size() << " bytes";
            EXPECT_EQ(CountRequests("POST", "uploadId"), 0u);  // never completed
            EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 0u);
        }
    }
}

// Killed or failed runs, the file changed between each, leave three uploads of the key; the
// clean run that follows aborts all three once its own upload is complete.
TEST_F(UploadSourceTest, EveryRejectedUploadIsAbortedOnceTheReplacementCompletes) {
    for (const auto& path : Paths()) {
        SCOPED_TRACE(path.name);
        Service().Clear();
        std::string data = RandomBytes(4 * kPart);
        for (size_t run = 1; run <= 3; ++run) {
            data[10] = static_cast<char>(run);  // the first, already stored part differs each time
            WriteFile(m_path, data);
            Service().AddFault(FailingPart(1));
            ASSERT_FALSE(path.upload(m_path).IsSucc());
            Service().ClearFaults();
            ASSERT_EQ(Service().OpenUploadCount(StoreBucket()), run);
        }
        data[10] = 'z';
        WriteFile(m_path, data);
        Service().ClearRequests();
        ZidResult result = path.upload(m_path);
        ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
        EXPECT_TRUE(Stored() == data) << "stored " << Stored().size() << " bytes";
        EXPECT_EQ(CountRequests("POST", "uploads"), 1u);
        EXPECT_EQ(CountRequests("DELETE", "uploadId"), 3u);
        EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 0u);
    }
}

// A matching upload among rejected ones is resumed, and only the rejected ones go.
TEST_F(UploadSourceTest, AMatchingUploadListedBeforeRejectedOnesIsResumed) {
    for (const auto& path : Paths()) {
        SCOPED_TRACE(path.name);
        Service().Clear();
        const std::string data = RandomBytes(4 * kPart);
        WriteFile(m_path, data);
        Service().AddFault(FailingPart(2));
        ASSERT_FALSE(path.upload(m_path).IsSucc());
        Service().ClearFaults();
        // A later upload of the same key by another version of the file, listed after it.
        std::string other = data;
        other[10] ^= 1;
        WriteFile(m_path, other);
        Service().AddFault(FailingPart(1));
        ASSERT_FALSE(path.upload(m_path).IsSucc());
        Service().ClearFaults();
        ASSERT_EQ(Service().OpenUploadCount(StoreBucket()), 2u);

        WriteFile(m_path, data);
        Service().ClearRequests();
        ZidResult result = path.upload(m_path);
        ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
        EXPECT_TRUE(Stored() == data) << "stored " << Stored().size() << " bytes";
        EXPECT_EQ(CountRequests("POST", "uploads"), 0u);
        EXPECT_EQ(CountRequests("PUT", "partNumber"), 2u);  // parts 3 and 4
        EXPECT_EQ(CountRequests("DELETE", "uploadId"), 1u);
        EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 0u);
    }
}

// An empty file becomes an empty object. A source whose length cannot be known before it is
// read (a FIFO, a device, a folder), or that is not there, is refused before anything is sent.
TEST_F(UploadSourceTest, EmptyFilesUploadAndSourcesOfUnknownLengthAreRefusedUpFront) {
    const std::string empty = Local("empty");
    WriteFile(empty, "");
    const std::string fifo = Local("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::string path;
        bool ok;
    } cases[] = {{"empty file", empty, true},
                 {"fifo", fifo, false},
                 {"device", "/dev/zero", false},
                 {"folder", m_dir, false},
                 {"missing", Local("absent"), false}};
    std::vector<Path> paths = Paths();
    paths.push_back({"single request", [this](const std::string& path) {
                         PutObjectByFileReq req("bkt", "up", path);
                         PutObjectByFileResp resp;
                         return m_op->PutObject(req, &resp, nullptr, false);
                     }});
    for (const auto& path : paths) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(path.name) + ": " + c.name);
            Service().Clear();
            Service().PutObject(StoreBucket(), "up", "old");
            ZidResult result = path.upload(c.path);
            if (c.ok) {
                ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
                auto stored = Service().GetStoredObject(StoreBucket(), "up");
                ASSERT_TRUE(stored.has_value());
                EXPECT_EQ(stored->data, "");
            } else {
                EXPECT_FALSE(result.IsSucc());
                EXPECT_NE(result.GetErrorMsg().find(c.path), std::string::npos) << result.GetErrorMsg();
                EXPECT_TRUE(Service().Requests().empty());
                EXPECT_EQ(Stored(), "old");
            }
            EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 0u);
        }
    }
}

}  // namespace
}  // namespace zid_test
