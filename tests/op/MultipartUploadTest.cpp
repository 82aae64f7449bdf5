#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "OpTestSupport.h"
#include "support/LogCapture.h"
#include "op/FileUploadTask.h"
#include "trsf/TransferHandler.h"
#include "util/ConnectionPool.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

class MultipartUploadTest : public ObjectOpTest {
protected:
    static constexpr uint64_t kPart = 4096;
    void SetUp() override {
        ObjectOpTest::SetUp();
        ClientSettings::SetUploadPartSize(kPart);
        ClientSettings::SetUploadThreadPoolSize(1);
        m_path = Local("up.bin");
    }
    ZidResult Upload(std::shared_ptr<TransferHandler> handler = nullptr, bool crc = false) {
        PutObjectByFileReq req("bkt", "up", m_path);
        if (crc) req.SetCheckCRC64(true);
        MultiPutObjectResp resp;
        return m_op->MultiUploadObject(req, &resp, handler, false);
    }
    std::string Stored() const {
        auto o = Service().GetObject(StoreBucket(), "up");
        return o ? *o : std::string("<missing>");
    }
    size_t PartPuts() const { return CountRequests("PUT", "partNumber"); }
    static Fault OnPart(FaultKind kind, int skip, int times) {
        Fault f;
        f.kind = kind;
        f.method = "PUT";
        f.queryParam = "partNumber";
        f.skip = skip;
        f.times = times;
        return f;
    }
    static Fault OnComplete(FaultKind kind) {
        Fault f;
        f.kind = kind;
        f.method = "POST";
        f.queryParam = "uploadId";
        return f;
    }
    // The two multipart uploads of the key "up", each with the CRC-64 check on.
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
    bool PartSeen(const std::string& number) const {
        for (const auto& r : Service().Requests()) {
            auto it = r.params.find("partNumber");
            if (r.method == "PUT" && it != r.params.end() && it->second == number) return true;
        }
        return false;
    }
    std::string m_path;
};

// The per-part set-up: (upload id, host, path, length, part number, task, sign-host flag).
TEST_F(MultipartUploadTest, PreparedPartCarriesItsNumberUploadIdAndLength) {
    InitMultiUploadReq init("bkt", "up");
    InitMultiUploadResp init_resp;
    ASSERT_TRUE(m_op->InitMultiUpload(init, &init_resp).IsSucc());
    const std::string id = init_resp.GetUploadId();
    std::string part = RandomBytes(3000);
    const std::string host = ClientSettings::BuildBucketHost(kAppId, "ap-test", "bkt", false);
    FileUploadTask task(m_op->GetRealUrl(host, "/up", false), {}, {}, 5000, 5000, nullptr);
    m_op->PrepareUploadPartTask(id, host, "/up", part.size(), 7, &task, true);
    task.SetPartData(reinterpret_cast<unsigned char*>(&part[0]), part.size());
    Service().ClearRequests();
    task.run();
    ASSERT_TRUE(task.IsSucc()) << task.GetBody();
    ASSERT_EQ(Service().Requests().size(), 1u);
    const auto rec = Service().Requests()[0];
    EXPECT_EQ(rec.params.at("uploadId"), id);
    EXPECT_EQ(rec.params.at("partNumber"), "7");
    EXPECT_EQ(rec.Header("Content-Length"), "3000");
    EXPECT_TRUE(rec.signatureOk);
}

// A worker given a file part reads it itself: the bytes sent are that range of the file, and a
// file shorter than the part sends nothing.
TEST_F(MultipartUploadTest, AWorkerReadsItsOwnPartFromTheFile) {
    InitMultiUploadReq init("bkt", "up");
    InitMultiUploadResp init_resp;
    ASSERT_TRUE(m_op->InitMultiUpload(init, &init_resp).IsSucc());
    const std::string id = init_resp.GetUploadId();
    const std::string data = RandomBytes(3 * kPart + 100);
    WriteFile(m_path, data);
    const int fd = ::open(m_path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    const std::string host = ClientSettings::BuildBucketHost(kAppId, "ap-test", "bkt", false);
    FileUploadTask task(m_op->GetRealUrl(host, "/up", false), {}, {}, 5000, 5000, nullptr);

    m_op->PrepareUploadPartTask(id, host, "/up", kPart, 2, &task, true);
    task.SetFilePart(fd, kPart, kPart);
    Service().ClearRequests();
    task.run();
    ASSERT_TRUE(task.IsSucc()) << task.GetBody();
    EXPECT_FALSE(task.ReadShort());
    ASSERT_EQ(Service().Requests().size(), 1u);
    EXPECT_EQ(Service().Requests()[0].body, data.substr(kPart, kPart));

    m_op->PrepareUploadPartTask(id, host, "/up", kPart, 4, &task, true);
    task.SetFilePart(fd, 3 * kPart, kPart);
    Service().ClearRequests();
    task.run();
    EXPECT_FALSE(task.IsSucc());
    EXPECT_TRUE(task.ReadShort());
    EXPECT_EQ(task.GetReadLength(), 100u);
    EXPECT_TRUE(Service().Requests().empty());
    ::close(fd);
}

TEST_F(MultipartUploadTest, FilesOfEverySizeArriveWholeInOrderedParts) {
    struct Case {
        uint64_t size;
        unsigned threads;
        size_t parts;
    } cases[] = {{1, 1, 1}, {kPart, 2, 1}, {2 * kPart + 1, 2, 3}, {12 * kPart, 5, 12}, {20 * kPart, 40, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        ClientSettings::SetUploadThreadPoolSize(c.threads);
        Service().ClearRequests();
        std::string data = RandomBytes(c.size, static_cast<unsigned>(c.size + 1));
        WriteFile(m_path, data);
        auto handler = std::make_shared<TransferHandler>();
        handler->SetTotalSize(c.size);
        ZidResult result = Upload(handler, true);
        ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
        EXPECT_EQ(handler->GetStatus(), COMPLETED);
        EXPECT_FALSE(handler->GetUploadID().empty());
        EXPECT_EQ(Stored(), data);
        EXPECT_EQ(PartPuts(), c.parts);
        EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 0u);
    }
}

// Once every part has been taken, the debug log says the file was read to its end, after the
// last part's line and only once.
TEST_F(MultipartUploadTest, TheLogSaysOnceWhenTheFileIsReadOver) {
    struct Case {
        uint64_t size;
        unsigned threads;
    } cases[] = {{3 * kPart, 1}, {2 * kPart + 1, 2}, {12 * kPart, 5}, {kPart, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        ClientSettings::SetUploadThreadPoolSize(c.threads);
        WriteFile(m_path, RandomBytes(c.size, 5));
        LogCapture log;
        ZidResult result = Upload();
        ASSERT_TRUE(result.IsSucc()) << result.DumpText();
        EXPECT_EQ(log.Count({"[DBG]", "read over, task_index: "}), 1u);
        const std::vector<std::string> lines = log.All();
        size_t last_part = 0, read_over = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].find("upload data, task_index=") != std::string::npos) last_part = i;
            if (lines[i].find("read over, task_index: ") != std::string::npos) read_over = i;
        }
        EXPECT_GT(read_over, last_part);
    }
}

// The parts ride on the workers' kept connections, and so do the requests around them.
TEST_F(MultipartUploadTest, PartsShareTheWorkersConnections) {
    ClientSettings::SetUploadThreadPoolSize(3);
    ConnectionPool::Instance().CloseIdle();
    const int before = Service().AcceptedConnections();
    const std::string data = RandomBytes(12 * kPart + 9, 12);
    WriteFile(m_path, data);
    ZidResult result = Upload();
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(Stored(), data);
    EXPECT_EQ(PartPuts(), 13u);
    EXPECT_LE(Service().AcceptedConnections() - before, 3);
    ConnectionPool::Instance().CloseIdle();
}

TEST_F(MultipartUploadTest, AFailedUploadIsResumedFromTheListedParts) {
    std::string data = RandomBytes(5 * kPart + 10);
    WriteFile(m_path, data);
    Service().AddFault(OnPart(FaultKind::Status, 2, 4));
    ZidResult result = Upload();
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(result.GetHttpStatus(), 503);
    EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 1u);
    EXPECT_FALSE(Service().GetObject(StoreBucket(), "up").has_value());

    Service().ClearRequests();
    result = Upload();
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(Stored(), data);
    EXPECT_EQ(CountRequests("POST", "uploads"), 0u);  // no new upload
    EXPECT_EQ(PartPuts(), 4u);                         // parts 3 to 6
}

TEST_F(MultipartUploadTest, ListedPartsThatNoLongerMatchStartANewUpload) {
    std::string data = RandomBytes(4 * kPart);
    WriteFile(m_path, data);
    Service().AddFault(OnPart(FaultKind::Status, 2, 4));
    EXPECT_FALSE(Upload().IsSucc());
    data[10] ^= 1;  // the first, already stored part changes
    WriteFile(m_path, data);
    Service().ClearRequests();
    ZidResult result = Upload();
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(Stored(), data);
    EXPECT_EQ(CountRequests("POST", "uploads"), 1u);
    EXPECT_EQ(PartPuts(), 4u);
}

// The upload whose parts no longer match is aborted once its replacement is complete, and
// only then: while the replacement is unfinished both stay open.
TEST_F(MultipartUploadTest, TheRejectedUploadIsAbortedOnceItsReplacementCompletes) {
    const struct {
        const char* name;
        std::function<ZidResult()> upload;
    } entries[] = {{"multi-threaded", [this] { return Upload(); }},
                   {"single thread", [this] {
                        PutObjectByFileReq req("bkt", "up", m_path);
                        ResumableUploadResp resp;
                        return m_op->UploadObjectResumableSingleThreadSync(req, &resp);
                    }}};
    for (const auto& entry : entries) {
        SCOPED_TRACE(entry.name);
        for (bool replacement_fails : {true, false}) {
            Service().Clear();
            std::string data = RandomBytes(4 * kPart);
            WriteFile(m_path, data);
            Service().AddFault(OnPart(FaultKind::Status, 2, 4));
            ASSERT_FALSE(entry.upload().IsSucc());
            Service().ClearFaults();
            ASSERT_EQ(Service().OpenUploadCount(StoreBucket()), 1u);

            data[10] ^= 1;  // the first, already stored part changes
            WriteFile(m_path, data);
            if (replacement_fails) Service().AddFault(OnPart(FaultKind::Status, 1, 4));
            Service().ClearRequests();
            ZidResult result = entry.upload();
            Service().ClearFaults();
            EXPECT_EQ(CountRequests("POST", "uploads"), 1u);
            if (replacement_fails) {
                EXPECT_FALSE(result.IsSucc());
                EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 2u);
                EXPECT_EQ(CountRequests("DELETE", "uploadId"), 0u);
            } else {
                ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
                EXPECT_EQ(Stored(), data);
                EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 0u);
                EXPECT_EQ(CountRequests("DELETE", "uploadId"), 1u);
            }
        }
    }
}

TEST_F(MultipartUploadTest, AListingWhoseMarkerDoesNotMoveIsNotResumed) {
    std::string data = RandomBytes(4 * kPart);
    WriteFile(m_path, data);
    Service().AddFault(OnPart(FaultKind::Status, 2, 4));
    EXPECT_FALSE(Upload().IsSucc());
    Fault stuck;
    stuck.kind = FaultKind::StuckListing;
    stuck.times = -1;
    Service().AddFault(stuck);
    Service().ClearRequests();
    ZidResult result = Upload();
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(Stored(), data);
    EXPECT_EQ(CountRequests("GET", "uploadId"), 1u);  // one page, then a new upload
    EXPECT_EQ(CountRequests("POST", "uploads"), 1u);
    EXPECT_EQ(PartPuts(), 4u);
}

TEST_F(MultipartUploadTest, StalledOrCancelledPartsEndTheUploadWithoutCompletion) {
    WriteFile(m_path, RandomBytes(3 * kPart));
    // An answer held past the receive time-out, on every attempt.
    Service().AddFault(HeldAnswers("PUT"));
    PutObjectByFileReq req("bkt", "up", m_path);
    req.SetRecvTimeoutInms(200);
    MultiPutObjectResp resp;
    auto handler = std::make_shared<TransferHandler>();
    ZidResult result = m_op->MultiUploadObject(req, &resp, handler, false);
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(handler->GetStatus(), FAILED);
    EXPECT_EQ(CountRequests("POST", "uploadId"), 0u);
    EXPECT_FALSE(Service().GetObject(StoreBucket(), "up").has_value());

    // A cancel while a part's answer is slow: no later part is sent, nothing is completed.
    Service().Clear();
    Service().AddFault(HeldAnswers("PUT"));
    auto cancelled = std::make_shared<TransferHandler>();
    std::thread canceller = CancelWhen(
        cancelled, [&] { return PartPuts() > 0; }, "the first part sent");
    result = Upload(cancelled);
    canceller.join();
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(cancelled->GetStatus(), CANCELED);
    EXPECT_LE(PartPuts(), 1u);
    EXPECT_EQ(CountRequests("POST", "uploadId"), 0u);
    EXPECT_FALSE(Service().GetObject(StoreBucket(), "up").has_value());
}

TEST_F(MultipartUploadTest, CompletionWithoutCrcIsNotChecked) {
    std::string data = RandomBytes(2 * kPart + 3);
    WriteFile(m_path, data);
    Service().AddFault(OnComplete(FaultKind::NoCrc));
    ZidResult result = Upload(nullptr, true);
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(Service().PendingFaults(), 0u);
    EXPECT_EQ(Stored(), data);
}

TEST_F(MultipartUploadTest, WrongPartEtagIsRetriedThenFails) {
    std::string data = RandomBytes(2 * kPart);
    WriteFile(m_path, data);
    Service().AddFault(OnPart(FaultKind::UpperETag, 0, 1));
    ZidResult result = Upload();
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(Stored(), data);

    Service().Clear();
    Service().AddFault(OnPart(FaultKind::UpperETag, 0, 4));
    result = Upload();
    EXPECT_FALSE(result.IsSucc());
    EXPECT_FALSE(Service().GetObject(StoreBucket(), "up").has_value());
}

// A part is sent again from the file; when the file changed after the first attempt read it,
// the bytes stored do not match what was digested, and the upload is not completed with them.
TEST_F(MultipartUploadTest, APartSentAgainAfterItsFileChangedIsNotAccepted) {
    std::string data = RandomBytes(2 * kPart);
    WriteFile(m_path, data);
    Service().AddFault(OnPart(FaultKind::Status, 0, 1));
    auto handler = std::make_shared<TransferHandler>();
    std::atomic<bool> changed{false};
    std::string path = m_path;
    std::string edited = data;
    edited[7] ^= 1;
    handler->SetTransferProgressCallback([&changed, path, edited](uint64_t, uint64_t, void*) {
        if (!changed.exchange(true)) WriteFile(path, edited);
    });
    ZidResult result = Upload(handler);
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(handler->GetStatus(), FAILED);
    EXPECT_EQ(CountRequests("POST", "uploadId"), 0u);
    EXPECT_FALSE(Service().GetObject(StoreBucket(), "up").has_value());
    EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 0u);  // nothing left to resume
}

TEST_F(MultipartUploadTest, CompletionThatDoesNotConfirmFails) {
    struct Case {
        const char* name;
        Fault fault;
    } cases[] = {{"no etag", OnComplete(FaultKind::NoETag)},
                 {"error body with 200", OnComplete(FaultKind::ErrorBody200)},
                 {"wrong crc", OnComplete(FaultKind::WrongCrc)}};
    WriteFile(m_path, RandomBytes(kPart + 1));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().Clear();
        Service().AddFault(c.fault);
        auto handler = std::make_shared<TransferHandler>();
        ZidResult result = Upload(handler, true);
        EXPECT_FALSE(result.IsSucc());
        EXPECT_FALSE(result.GetErrorMsg().empty());
        EXPECT_EQ(handler->GetStatus(), FAILED);
        EXPECT_FALSE(handler->GetResult().IsSucc());
    }
}

// Cut after the first piece went out: before a later part is read, and inside the part being
// sent (a part of several pieces), where the request already under way must be dropped.
TEST_F(MultipartUploadTest, AFileThatShrinksWhileUploadingFails) {
    struct Case {
        const char* name;
        uint64_t part;
        uint64_t size;
        uint64_t cut_to;
    } cases[] = {{"before a later part", kPart, 4 * kPart, 2 * kPart + 5},
                 {"inside the part being sent", 1 << 20, (1 << 20) + 10, 300 * 1024}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().Clear();
        ClientSettings::SetUploadPartSize(c.part);
        std::string data = RandomBytes(c.size);
        WriteFile(m_path, data);
        auto handler = std::make_shared<TransferHandler>();
        handler->SetTotalSize(data.size());
        std::atomic<bool> cut{false};
        std::string path = m_path;
        const uint64_t cut_to = c.cut_to;
        handler->SetTransferProgressCallback([&cut, path, cut_to](uint64_t, uint64_t, void*) {
            if (!cut.exchange(true)) {
                if (truncate(path.c_str(), static_cast<off_t>(cut_to)) != 0) ADD_FAILURE() << "truncate";
            }
        });
        ZidResult result = Upload(handler);
        EXPECT_FALSE(result.IsSucc());
        EXPECT_NE(result.GetErrorMsg().find("local file changed"), std::string::npos)
            << result.GetErrorMsg();
        EXPECT_EQ(handler->GetStatus(), FAILED);
        EXPECT_FALSE(Service().GetObject(StoreBucket(), "up").has_value());
        EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 0u);
    }
}

TEST_F(MultipartUploadTest, CancelEndsAsCanceledWithoutCompletion) {
    WriteFile(m_path, RandomBytes(4 * kPart));
    auto handler = std::make_shared<TransferHandler>();
    handler->Cancel();
    ZidResult result = Upload(handler);
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(result.GetErrorMsg(), "Request canceled by user");
    EXPECT_EQ(handler->GetStatus(), CANCELED);
    EXPECT_EQ(CountRequests("POST", "uploadId"), 0u);
}

TEST_F(MultipartUploadTest, SingleThreadUploadResumesAndReportsTheDecidingStep) {
    std::string data = RandomBytes(3 * kPart + 7);
    WriteFile(m_path, data);
    Service().AddFault(OnPart(FaultKind::Status, 1, 1));
    PutObjectByFileReq req("bkt", "up", m_path);
    ResumableUploadResp resp;
    ZidResult result = m_op->UploadObjectResumableSingleThreadSync(req, &resp);
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(resp.GetRespKind(), "Upload");

    Service().ClearRequests();
    ResumableUploadResp resp2;
    result = m_op->UploadObjectResumableSingleThreadSync(req, &resp2);
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(resp2.GetRespKind(), "Complete");
    EXPECT_EQ(Stored(), data);
    EXPECT_EQ(PartPuts(), 3u);
}

TEST_F(MultipartUploadTest, AnUploadOfALongerKeyIsNotResumed) {
    InitMultiUploadReq init("bkt", "up-longer");
    InitMultiUploadResp init_resp;
    ASSERT_TRUE(m_op->InitMultiUpload(init, &init_resp).IsSucc());
    std::string data = RandomBytes(kPart + 3);
    WriteFile(m_path, data);
    Service().ClearRequests();
    ZidResult result = Upload();
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(CountRequests("POST", "uploads"), 1u);
    EXPECT_EQ(Stored(), data);
    EXPECT_EQ(Service().OpenUploadCount(StoreBucket()), 1u);  // the other key's upload stays
}

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
TEST_F(MultipartUploadTest, AFileChangedWhileUploadingNeverReplacesTheStoredObject) {
    for (const auto& path : Paths()) {
        for (bool resumed : {false, true}) {
            SCOPED_TRACE(std::string(path.name) + (resumed ? ", resumed" : ""));
            Service().Clear();
            const std::string good = RandomBytes(5000, 3);
            Service().PutObject(StoreBucket(), "up", good);
            WriteFile(m_path, RandomBytes(6 * kPart));
            if (resumed) {
                Service().AddFault(OnPart(FaultKind::Status, 2, 4));
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
TEST_F(MultipartUploadTest, EveryRejectedUploadIsAbortedOnceTheReplacementCompletes) {
    for (const auto& path : Paths()) {
        SCOPED_TRACE(path.name);
        Service().Clear();
        std::string data = RandomBytes(4 * kPart);
        for (size_t run = 1; run <= 3; ++run) {
            data[10] = static_cast<char>(run);  // the first, already stored part differs each time
            WriteFile(m_path, data);
            Service().AddFault(OnPart(FaultKind::Status, 1, 4));
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
TEST_F(MultipartUploadTest, AMatchingUploadListedBeforeRejectedOnesIsResumed) {
    for (const auto& path : Paths()) {
        SCOPED_TRACE(path.name);
        Service().Clear();
        const std::string data = RandomBytes(4 * kPart);
        WriteFile(m_path, data);
        Service().AddFault(OnPart(FaultKind::Status, 2, 4));
        ASSERT_FALSE(path.upload(m_path).IsSucc());
        Service().ClearFaults();
        // A later upload of the same key by another version of the file, listed after it.
        std::string other = data;
        other[10] ^= 1;
        WriteFile(m_path, other);
        Service().AddFault(OnPart(FaultKind::Status, 1, 4));
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
TEST_F(MultipartUploadTest, EmptyFilesUploadAndSourcesOfUnknownLengthAreRefusedUpFront) {
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
