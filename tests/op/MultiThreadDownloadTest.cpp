#include <atomic>
#include <chrono>
#include <thread>

#include "OpTestSupport.h"
#include "trsf/TransferHandler.h"
#include "util/ConnectionPool.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

class MultiThreadDownloadTest : public ObjectOpTest {
protected:
    void SetUp() override {
        ObjectOpTest::SetUp();
        ClientSettings::SetDownSliceSize(4096);
        ClientSettings::SetDownThreadPoolSize(3);
    }

    // Runs the download with a fresh handler and returns it after the final status.
    std::shared_ptr<TransferHandler> Download(const std::string& key, const std::string& path,
                                              ZidResult* result, uint64_t recv_timeout_ms = 0) {
        GetObjectByFileReq req("bkt", key, path);
        if (recv_timeout_ms) req.SetRecvTimeoutInms(recv_timeout_ms);
        GetObjectByFileResp resp;
        auto handler = std::make_shared<TransferHandler>();
        *result = m_op->MultiThreadDownload(req, &resp, handler, false);
        return handler;
    }
};

TEST_F(MultiThreadDownloadTest, WholeObjectArrivesForSizesAroundTheSlice) {
    struct Case {
        size_t size;
        size_t gets;  // slices fetched
    } cases[] = {{0, 0}, {1, 1}, {4095, 1}, {4096, 1}, {4097, 2}, {3 * 4096, 3}, {7 * 4096 + 5, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        Service().ClearRequests();
        std::string data = RandomBytes(c.size, static_cast<unsigned>(c.size));
        Service().PutObject(StoreBucket(), "obj", data);
        std::string path = Local("obj-" + std::to_string(c.size));
        ZidResult result;
        auto handler = Download("obj", path, &result);
        ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
        EXPECT_EQ(handler->GetStatus(), COMPLETED);
        EXPECT_EQ(handler->GetTotalSize(), c.size);
        EXPECT_EQ(handler->GetTransferred(), c.size);
        EXPECT_EQ(ReadFile(path), data);
        EXPECT_EQ(CountRequests("GET"), c.gets);
        // The object's headers, not a slice's, describe the result.
        auto stored = Service().GetStoredObject(StoreBucket(), "obj");
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(handler->GetRespHeaders().count("ETag"), 1u);
        EXPECT_NE(handler->GetRespHeaders().at("ETag").find(stored->etag), std::string::npos);
    }
}

// Slices larger than one write go to the file in several pieces; each piece must land at its offset.
TEST_F(MultiThreadDownloadTest, SlicesLargerThanOneWriteArriveWhole) {
    const size_t slice = 600 * 1024;
    ClientSettings::SetDownSliceSize(slice);
    ASSERT_EQ(ClientSettings::GetDownSliceSize(), slice);
    const std::string data = RandomBytes(3 * slice + 7, 77);
    Service().PutObject(StoreBucket(), "big", data);
    ZidResult result;
    auto handler = Download("big", Local("big"), &result);
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(handler->GetStatus(), COMPLETED);
    EXPECT_EQ(CountRequests("GET"), 4u);
    EXPECT_TRUE(ReadFile(Local("big")) == data);
}

// The measuring HEAD and the slices ride on the workers' kept connections.
TEST_F(MultiThreadDownloadTest, SlicesShareTheWorkersConnections) {
    ConnectionPool::Instance().CloseIdle();
    const int before = Service().AcceptedConnections();
    const std::string data = RandomBytes(10 * 4096 + 1, 10);
    Service().PutObject(StoreBucket(), "shared", data);
    ZidResult result;
    Download("shared", Local("shared"), &result);
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_TRUE(ReadFile(Local("shared")) == data);
    EXPECT_EQ(CountRequests("GET"), 11u);
    EXPECT_LE(Service().AcceptedConnections() - before, 3);
    ConnectionPool::Instance().CloseIdle();
}

TEST_F(MultiThreadDownloadTest, EverySliceIsConditionalOnTheMeasuredVersion) {
    Service().PutObject(StoreBucket(), "obj", RandomBytes(3 * 4096));
    ZidResult result;
    Download("obj", Local("f"), &result);
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    auto etag = Service().GetStoredObject(StoreBucket(), "obj")->etag;
    size_t gets = 0;
    for (const auto& r : Service().Requests()) {
        if (r.method != "GET") continue;
        ++gets;
        EXPECT_EQ(r.Header("If-Match"), "\"" + etag + "\"");
        EXPECT_TRUE(r.signatureOk);
    }
    EXPECT_EQ(gets, 3u);
}

TEST_F(MultiThreadDownloadTest, HeadMeasuresTheRequestedVersion) {
    Service().PutObject(StoreBucket(), "obj", "abc");
    GetObjectByFileReq req("bkt", "obj", Local("f"));
    req.AddParam("versionId", "v1");
    GetObjectByFileResp resp;
    m_op->MultiThreadDownload(req, &resp, nullptr, false);
    bool saw_head = false;
    for (const auto& r : Service().Requests()) {
        if (r.method == "HEAD") {
            saw_head = true;
            EXPECT_EQ(r.params.count("versionId"), 1u);
        }
    }
    EXPECT_TRUE(saw_head);
}

// Faults a worker's retries absorb: the right bytes arrive.
TEST_F(MultiThreadDownloadTest, TransientSliceFaultsAreRetried) {
    struct Case {
        const char* name;
        Fault fault;
    };
    Fault close_mid;
    close_mid.kind = FaultKind::CloseMidBody;
    close_mid.method = "GET";
    Fault reset;
    reset.kind = FaultKind::Reset;
    reset.afterBytes = 100;
    reset.method = "GET";
    Fault unavailable;
    unavailable.kind = FaultKind::Status;
    unavailable.status = 503;
    unavailable.method = "GET";
    unavailable.times = 3;
    Fault refuse;
    refuse.kind = FaultKind::Refuse;
    refuse.method = "GET";
    refuse.skip = 1;
    // Without a CRC header there is nothing to compare: the bytes are still checked by length.
    Fault no_crc;
    no_crc.kind = FaultKind::NoCrc;
    no_crc.method = "HEAD";
    Case cases[] = {{"close mid-body", close_mid}, {"reset", reset},
                    {"503 three times", unavailable}, {"refuse", refuse}, {"no crc header", no_crc}};
    std::string data = RandomBytes(5 * 4096 + 17);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().ClearFaults();
        Service().PutObject(StoreBucket(), "obj", data);
        Service().AddFault(c.fault);
        std::string path = Local(std::string("t-") + c.name);
        ZidResult result;
        auto handler = Download("obj", path, &result);
        EXPECT_TRUE(result.IsSucc()) << result.GetErrorMsg();
        EXPECT_EQ(handler->GetStatus(), COMPLETED);
        EXPECT_EQ(ReadFile(path), data);
        EXPECT_EQ(Service().PendingFaults(), 0u);
    }
}

// Faults that must fail the download, never leave a wrong file reported as done.
TEST_F(MultiThreadDownloadTest, LastingFaultsFailTheDownload) {
    struct Case {
        const char* name;
        Fault fault;
        int status;
    };
    Fault unavailable;
    unavailable.kind = FaultKind::Status;
    unavailable.status = 503;
    unavailable.method = "GET";
    unavailable.times = 4;
    Fault ignore_range;
    ignore_range.kind = FaultKind::IgnoreRange;
    ignore_range.method = "GET";
    ignore_range.times = -1;
    Fault wrong_range;
    wrong_range.kind = FaultKind::WrongContentRange;
    wrong_range.method = "GET";
    wrong_range.times = -1;
    Fault short_body;
    short_body.kind = FaultKind::CloseMidBody;
    short_body.method = "GET";
    short_body.times = -1;
    Fault wrong_crc;
    wrong_crc.kind = FaultKind::WrongCrc;
    wrong_crc.method = "HEAD";
    Fault replaced;
    replaced.kind = FaultKind::ReplaceObject;
    replaced.method = "GET";
    replaced.skip = 3;
    replaced.data = RandomBytes(5 * 4096 + 17, 99);
    Case cases[] = {{"503 four times", unavailable, 503},
                    {"range ignored", ignore_range, 200},
                    {"wrong content range", wrong_range, 206},
                    {"body cut short", short_body, -1},
                    {"wrong crc", wrong_crc, 206},
                    {"replaced mid-download", replaced, 412}};
    // One worker, so a counted fault hits the same slice on every attempt.
    ClientSettings::SetDownThreadPoolSize(1);
    std::string data = RandomBytes(5 * 4096 + 17);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().ClearFaults();
        Service().PutObject(StoreBucket(), "obj", data);
        Service().AddFault(c.fault);
        ZidResult result;
        auto handler = Download("obj", Local("f"), &result);
        EXPECT_FALSE(result.IsSucc());
        EXPECT_FALSE(result.GetErrorMsg().empty());
        EXPECT_EQ(result.GetHttpStatus(), c.status);
        EXPECT_EQ(handler->GetStatus(), FAILED);
        EXPECT_FALSE(handler->GetResult().IsSucc());
        EXPECT_EQ(handler->GetResult().GetErrorMsg(), result.GetErrorMsg());
    }
}

TEST_F(MultiThreadDownloadTest, AFailingSliceAmongManyWorkersEndsTheDownload) {
    ClientSettings::SetDownThreadPoolSize(4);
    Service().PutObject(StoreBucket(), "obj", RandomBytes(12 * 4096));
    Fault bad;
    bad.kind = FaultKind::Status;
    bad.status = 500;
    bad.errorCode = "InternalError";
    bad.method = "GET";
    bad.skip = 5;
    bad.times = -1;
    Service().AddFault(bad);
    ZidResult result;
    auto handler = Download("obj", Local("f"), &result);
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(result.GetHttpStatus(), 500);
    EXPECT_EQ(result.GetErrorCode(), "InternalError");
    EXPECT_EQ(handler->GetStatus(), FAILED);
    // No slice is started once one has failed: at most the four under way retry.
    EXPECT_LE(CountRequests("GET"), 5u + 4u * 4u);
}

// A slice that takes long holds back how far the others run ahead of it, so what the download
// keeps track of is a window, whatever the object's size: four slices per worker.
TEST_F(MultiThreadDownloadTest, ASlowSliceBoundsHowFarTheOthersRunAhead) {
    const unsigned workers = 3;
    const uint64_t window = 4 * workers;
    ClientSettings::SetDownThreadPoolSize(workers);
    const std::string data = RandomBytes(64 * 4096, 13);
    Service().PutObject(StoreBucket(), "obj", data);
    // The first GET to arrive waits, then fails; its retry is the first request after the wait.
    Fault slow = SlowAnswers("GET", 1000);
    slow.times = 1;
    Fault fail;
    fail.kind = FaultKind::Status;
    fail.status = 503;
    fail.method = "GET";
    Service().AddFault(slow);
    Service().AddFault(fail);
    ZidResult result;
    Download("obj", Local("f"), &result);
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_TRUE(ReadFile(Local("f")) == data);

    std::vector<zid_local::RecordedRequest> gets;
    for (const auto& r : Service().Requests()) {
        if (r.method == "GET") gets.push_back(r);
    }
    // The held GET is the one answered 503: requests arriving together may be recorded in
    // another order than the one they took their faults in.
    size_t h = 0;
    while (h < gets.size() && gets[h].status != 503) ++h;
    ASSERT_LT(h, gets.size());
    const std::string held = gets[h].Header("Range");
    const uint64_t held_offset = std::stoull(held.substr(held.find('=') + 1));
    size_t during = 0;
    size_t i = h + 1;
    for (; i < gets.size() && gets[i].Header("Range") != held; ++i) {
        const std::string range = gets[i].Header("Range");
        const uint64_t offset = std::stoull(range.substr(range.find('=') + 1));
        EXPECT_LT(offset, held_offset + window * 4096) << range << " while " << held << " was held";
        ++during;
    }
    ASSERT_LT(i, gets.size()) << "the held slice was never retried";
    EXPECT_GT(during, 0u);
}

TEST_F(MultiThreadDownloadTest, StallPastTheReceiveTimeoutFails) {
    Service().PutObject(StoreBucket(), "obj", RandomBytes(2 * 4096));
    Service().AddFault(HeldAnswers("GET"));
    ZidResult result;
    auto handler = Download("obj", Local("f"), &result, 200);
    Service().ClearFaults();
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(result.GetHttpStatus(), -1);
    EXPECT_NE(result.GetErrorMsg().find("Timeout"), std::string::npos) << result.GetErrorMsg();
    EXPECT_EQ(handler->GetStatus(), FAILED);
}

TEST_F(MultiThreadDownloadTest, CancelDuringASlowBodyStopsFurtherBatches) {
    ClientSettings::SetDownThreadPoolSize(1);
    Service().PutObject(StoreBucket(), "obj", RandomBytes(6 * 4096));
    Service().AddFault(HeldAnswers("GET", 1024));
    GetObjectByFileReq req("bkt", "obj", Local("f"));
    GetObjectByFileResp resp;
    auto handler = std::make_shared<TransferHandler>();
    std::thread canceller = CancelWhen(
        handler, [&] { return CountRequests("GET") > 0; }, "the first slice asked for");
    ZidResult result = m_op->MultiThreadDownload(req, &resp, handler, false);
    canceller.join();
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(result.GetErrorMsg(), "Request canceled by user");
    EXPECT_EQ(handler->GetStatus(), FAILED);
    // The slice under way when the cancel came is the last one asked for.
    EXPECT_LE(CountRequests("GET"), 2u);
}

TEST_F(MultiThreadDownloadTest, MissingObjectAndBadArgumentsFailWithTheirResult) {
    ZidResult result;
    auto handler = Download("nothing-here", Local("f"), &result);
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(result.GetHttpStatus(), 404);
    EXPECT_EQ(result.GetErrorCode(), "NoSuchKey");
    EXPECT_EQ(handler->GetStatus(), FAILED);
    EXPECT_EQ(handler->GetResult().GetHttpStatus(), 404);

    // A handler without a response is refused before anything is sent.
    Service().ClearRequests();
    GetObjectByFileReq req("bkt", "obj", Local("g"));
    auto handler2 = std::make_shared<TransferHandler>();
    result = m_op->MultiThreadDownload(req, nullptr, handler2, false);
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(handler2->GetStatus(), FAILED);
    EXPECT_EQ(handler2->GetResult().GetErrorMsg(), "invalid input parameter");
    EXPECT_TRUE(Service().Requests().empty());

    // A local file that cannot be created fails with its result in the handler.
    Service().PutObject(StoreBucket(), "obj", "abc");
    auto handler3 = Download("obj", Local("no-such-dir/f"), &result);
    EXPECT_FALSE(result.IsSucc());
    EXPECT_EQ(handler3->GetStatus(), FAILED);
    EXPECT_NE(handler3->GetResult().GetErrorMsg().find("open file("), std::string::npos);
}

TEST_F(MultiThreadDownloadTest, ALongDownloadOutlivesItsFirstSignature) {
    ClientSettings::SetDownThreadPoolSize(1);
    uint64_t expiry = ClientSettings::GetSignExpiredTime();
    ClientSettings::SetSignExpiredTime(1);
    std::string data = RandomBytes(4 * 4096);
    Service().PutObject(StoreBucket(), "obj", data);
    Service().AddFault(SlowAnswers("GET", 700));
    ZidResult result;
    auto handler = Download("obj", Local("f"), &result);
    ClientSettings::SetSignExpiredTime(expiry);
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(ReadFile(Local("f")), data);
}

TEST_F(MultiThreadDownloadTest, MultiGetObjectDownloadsWithoutAHandler) {
    std::string data = RandomBytes(4 * 4096 + 3);
    Service().PutObject(StoreBucket(), "dir/obj", data);
    GetObjectByFileReq req("bkt", "dir/obj", Local("m"));
    GetObjectByFileResp resp;
    ZidResult result = m_op->MultiGetObject(req, &resp);
    ASSERT_TRUE(result.IsSucc()) << result.GetErrorMsg();
    EXPECT_EQ(ReadFile(Local("m")), data);
    EXPECT_EQ(resp.GetContentLength(), data.size());
}

}  // namespace
}  // namespace zid_test
