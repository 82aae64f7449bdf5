#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <Poco/TaskManager.h>

#include "ApiTestSupport.h"

using namespace zuzezi_zid;
using zid_local::Fault;
using zid_local::FaultKind;

namespace zid_test {
namespace {

// What the callbacks of one transfer saw; reached through the request's user data.
struct Seen {
    std::mutex mu;
    uint64_t max_transferred = 0;
    uint64_t total = 0;
    int progress_calls = 0;
    int done_calls = 0;
    std::set<std::thread::id> done_threads;
};

// A waiter wakes only once the done callback has returned, so its count is read at once.
int DoneCalls(Seen& seen) {
    std::lock_guard<std::mutex> lock(seen.mu);
    return seen.done_calls;
}

template <typename Req>
void Watch(Req& req, Seen* seen) {
    req.SetUserData(seen);
    req.SetTransferProgressCallback([](uint64_t transferred, uint64_t total, void* data) {
        auto* s = static_cast<Seen*>(data);
        std::lock_guard<std::mutex> lock(s->mu);
        s->max_transferred = std::max(s->max_transferred, transferred);
        s->total = total;
        ++s->progress_calls;
    });
    req.SetDoneCallback([](const std::shared_ptr<AsyncContext>&, void* data) {
        auto* s = static_cast<Seen*>(data);
        std::lock_guard<std::mutex> lock(s->mu);
        ++s->done_calls;
        s->done_threads.insert(std::this_thread::get_id());
    });
}

class ZidAPIAsync : public ApiFixture {
protected:
    // Whether the service has had a ranged GET, as a slice is asked for.
    static bool SliceAskedFor() {
        for (const auto& r : Service().Requests()) {
            if (r.method == "GET" && r.HasHeader("Range")) return true;
        }
        return false;
    }
};

enum class Download { Get, Resumable, Multi };

TEST_F(ZidAPIAsync, DownloadsArriveWithProgressAndOneDoneCall) {
    ClientSettings::SetDownSliceSize(64 * 1024);
    const std::string data = Pattern(300 * 1024 + 17);
    Seed("dir/obj.bin", data);
    ZidAPI api(LoopbackConfig());
    const std::vector<std::pair<Download, std::string>> cases = {
        {Download::Get, "AsyncGetObject"},
        {Download::Resumable, "AsyncResumableGetObject"},
        {Download::Multi, "AsyncMultiGetObject"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        Seen seen;
        const std::string local = Path(c.second + ".bin");
        std::shared_ptr<AsyncContext> ctx;
        if (c.first == Download::Multi) {
            AsyncMultiGetObjectReq req(kBucketName, "dir/obj.bin", local);
            Watch(req, &seen);
            ctx = api.AsyncMultiGetObject(req);
        } else {
            AsyncGetObjectReq req(kBucketName, "dir/obj.bin", local);
            Watch(req, &seen);
            ctx = c.first == Download::Get ? api.AsyncGetObject(req) : api.AsyncResumableGetObject(req);
        }
        ASSERT_TRUE(WaitFinal(ctx));
        EXPECT_EQ(COMPLETED, ctx->GetStatus());
        EXPECT_TRUE(ctx->GetResult().IsSucc()) << ctx->GetResult().GetErrorMsg();
        EXPECT_EQ(data, ReadFile(local));
        EXPECT_EQ(local, ctx->GetLocalFilePath());
        EXPECT_EQ(1, DoneCalls(seen));
        std::lock_guard<std::mutex> lock(seen.mu);
        EXPECT_GT(seen.progress_calls, 0);
        EXPECT_EQ(data.size(), seen.max_transferred);
        EXPECT_EQ(data.size(), seen.total);
    }
}

// What the done callbacks use lives on this test's stack and is gone once it returns; a
// callback still running after its wait would count too late (or write freed memory).
TEST_F(ZidAPIAsync, EveryDoneCallbackHasReturnedWhenItsWaitReturns) {
    Seed("small.txt", "hello");
    ZidAPI api(LoopbackConfig());
    struct Counter {
        std::atomic<int> calls{0};
    } counter;
    std::vector<std::shared_ptr<AsyncContext>> contexts;
    for (int i = 0; i < 50; ++i) {
        AsyncGetObjectReq req(kBucketName, "small.txt", Path("small-" + std::to_string(i)));
        req.SetUserData(&counter);
        req.SetDoneCallback([](const std::shared_ptr<AsyncContext>&, void* data) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ++static_cast<Counter*>(data)->calls;
        });
        contexts.push_back(api.AsyncGetObject(req));
    }
    for (const auto& ctx : contexts) ctx->WaitUntilFinish();
    EXPECT_EQ(50, counter.calls.load());
    for (const auto& ctx : contexts) EXPECT_TRUE(ctx->GetResult().IsSucc());
}

TEST_F(ZidAPIAsync, FileUploadsStoreTheWholeFile) {
    ClientSettings::SetUploadPartSize(1024 * 1024);
    const std::string small = Pattern(200 * 1024, 3);
    const std::string large = Pattern(2 * 1024 * 1024 + 512 * 1024, 4);
    WriteFile(Path("small"), small);
    WriteFile(Path("large"), large);
    ZidAPI api(LoopbackConfig());

    Seen put_seen;
    AsyncPutObjectReq put(kBucketName, "up/small", Path("small"));
    Watch(put, &put_seen);
    auto put_ctx = api.AsyncPutObject(put);
    // Known before the task starts, so a progress bar has its end from the first call.
    EXPECT_EQ(small.size(), put_ctx->GetTransferHandler()->GetTotalSize());

    Seen multi_seen;
    AsyncMultiPutObjectReq multi(kBucketName, "up/large", Path("large"));
    Watch(multi, &multi_seen);
    auto multi_ctx = api.AsyncMultiPutObject(multi);
    EXPECT_EQ(large.size(), multi_ctx->GetTransferHandler()->GetTotalSize());

    ASSERT_TRUE(WaitFinal(put_ctx));
    ASSERT_TRUE(WaitFinal(multi_ctx));
    EXPECT_EQ(COMPLETED, put_ctx->GetStatus()) << put_ctx->GetResult().GetErrorMsg();
    EXPECT_EQ(COMPLETED, multi_ctx->GetStatus()) << multi_ctx->GetResult().GetErrorMsg();
    EXPECT_EQ(small, Service().GetObject(StoreBucket(), "up/small").value_or(""));
    EXPECT_EQ(large, Service().GetObject(StoreBucket(), "up/large").value_or(""));
    EXPECT_EQ(small.size(), put_seen.max_transferred);
    EXPECT_EQ(large.size(), multi_seen.max_transferred);
    EXPECT_EQ(1, DoneCalls(put_seen));
    EXPECT_EQ(1, DoneCalls(multi_seen));
}

TEST_F(ZidAPIAsync, StreamUploadStartsAtTheFirstByteWhereverTheStreamStood) {
    const std::string data = Pattern(70000, 5);
    std::istringstream in(data);
    in.seekg(1234);
    ZidAPI api(LoopbackConfig());
    AsyncPutObjectByStreamReq req(kBucketName, "up/stream", in);
    Seen seen;
    Watch(req, &seen);
    auto ctx = api.AsyncPutObject(req);
    EXPECT_EQ(data.size(), ctx->GetTransferHandler()->GetTotalSize());
    ASSERT_TRUE(WaitFinal(ctx));
    EXPECT_EQ(COMPLETED, ctx->GetStatus()) << ctx->GetResult().GetErrorMsg();
    EXPECT_EQ(data, Service().GetObject(StoreBucket(), "up/stream").value_or(""));
    EXPECT_EQ(data.size(), seen.max_transferred);
    EXPECT_EQ(1, DoneCalls(seen));
}

TEST_F(ZidAPIAsync, MissingLocalFileFailsWithoutAHugeTotal) {
    ZidAPI api(LoopbackConfig());
    AsyncPutObjectReq req(kBucketName, "up/none", Path("does-not-exist"));
    auto ctx = api.AsyncPutObject(req);
    EXPECT_EQ(0u, ctx->GetTransferHandler()->GetTotalSize());
    ASSERT_TRUE(WaitFinal(ctx));
    EXPECT_EQ(FAILED, ctx->GetStatus());
    EXPECT_FALSE(ctx->GetResult().IsSucc());
}

TEST_F(ZidAPIAsync, FailedDownloadEndsFailedWithTheServiceAnswer) {
    ZidAPI api(LoopbackConfig());
    AsyncMultiGetObjectReq req(kBucketName, "no/such/key", Path("none"));
    auto ctx = api.AsyncMultiGetObject(req);
    ASSERT_TRUE(WaitFinal(ctx));
    EXPECT_EQ(FAILED, ctx->GetStatus());
    EXPECT_FALSE(ctx->GetResult().IsSucc());
    EXPECT_FALSE(ctx->GetResult().GetErrorMsg().empty());
}

TEST_F(ZidAPIAsync, TaskManagerFormHandsOutTheOneProcessWideManager) {
    Seed("a", "1");
    ZidAPI api(LoopbackConfig());
    Poco::TaskManager* first = nullptr;
    Poco::TaskManager* second = nullptr;
    AsyncGetObjectReq get(kBucketName, "a", Path("a1"));
    AsyncMultiGetObjectReq multi(kBucketName, "a", Path("a2"));
    auto c1 = api.AsyncGetObject(get, first);
    auto c2 = api.AsyncMultiGetObject(multi, second);
    EXPECT_NE(nullptr, first);
    EXPECT_EQ(first, second);
    EXPECT_EQ(ZidAPI::AsyncTaskManager(), first);
    ASSERT_TRUE(WaitFinal(c1));
    ASSERT_TRUE(WaitFinal(c2));
    EXPECT_EQ("1", ReadFile(Path("a1")));
    EXPECT_EQ("1", ReadFile(Path("a2")));
}

TEST_F(ZidAPIAsync, CancelStopsASlowDownload) {
    ClientSettings::SetDownSliceSize(1024 * 1024);
    Seed("slow.bin", Pattern(4 * 1024 * 1024));
    StallGets(200, 16 * 1024);

    ZidAPI api(LoopbackConfig());
    AsyncMultiGetObjectReq req(kBucketName, "slow.bin", Path("slow.bin"));
    auto ctx = api.AsyncMultiGetObject(req);
    // Cancelled while the slices are under way.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!SliceAskedFor() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(SliceAskedFor()) << "no slice was asked for";
    const auto start = std::chrono::steady_clock::now();
    ctx->Cancel();
    // The rest of the object now comes at once, so only the cancel keeps it from completing.
    Service().ClearFaults();
    ASSERT_TRUE(WaitFinal(ctx, std::chrono::seconds(30)));
    const auto waited = std::chrono::steady_clock::now() - start;
    // Unstopped, every slice would take about 13 s.
    EXPECT_LT(waited, std::chrono::seconds(6));
    EXPECT_NE(COMPLETED, ctx->GetStatus());
    EXPECT_FALSE(ctx->GetResult().IsSucc());
}

TEST_F(ZidAPIAsync, MoreCallsThanPoolThreadsAllRunAndNeverMoreThanThePoolAtOnce) {
    const int kCalls = 6;
    for (int i = 0; i < kCalls; ++i) Seed("c" + std::to_string(i), Pattern(5000, i));
    StallGets(300);

    ZidAPI api(LoopbackConfig());
    // The pool exists after the first call; a later size setting must not widen it.
    Seed("warm", "w");
    AsyncGetObjectReq warm(kBucketName, "warm", Path("warm"));
    ASSERT_TRUE(WaitFinal(api.AsyncGetObject(warm)));
    ClientSettings::SetAsynThreadPoolSize(6);

    std::vector<Seen> seen(kCalls);
    std::vector<std::shared_ptr<AsyncContext>> ctxs;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCalls; ++i) {
        AsyncMultiGetObjectReq req(kBucketName, "c" + std::to_string(i), Path("c" + std::to_string(i)));
        Watch(req, &seen[i]);
        ASSERT_NO_THROW(ctxs.push_back(api.AsyncMultiGetObject(req)));
    }
    std::set<std::thread::id> threads;
    for (int i = 0; i < kCalls; ++i) {
        ASSERT_TRUE(WaitFinal(ctxs[i]));
        EXPECT_EQ(COMPLETED, ctxs[i]->GetStatus()) << ctxs[i]->GetResult().GetErrorMsg();
        EXPECT_EQ(Pattern(5000, i), ReadFile(Path("c" + std::to_string(i))));
        // The final status wakes the waiter before the done callback has run.
        ASSERT_EQ(1, DoneCalls(seen[i]));
        std::lock_guard<std::mutex> lock(seen[i].mu);
        ASSERT_EQ(1u, seen[i].done_threads.size());
        threads.insert(seen[i].done_threads.begin(), seen[i].done_threads.end());
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // The default pool holds two threads: six stalled calls need at least three rounds.
    EXPECT_LE(threads.size(), 2u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(850));
}

TEST_F(ZidAPIAsync, TransferOutlivesTheFacadeAndTheRequest) {
    const std::string data = Pattern(50000, 9);
    Seed("outlive", data);
    StallGets(300);
    std::shared_ptr<AsyncContext> ctx;
    {
        ZidAPI api(LoopbackConfig());
        AsyncMultiGetObjectReq req(kBucketName, "outlive", Path("outlive"));
        ctx = api.AsyncMultiGetObject(req);
    }
    ASSERT_TRUE(WaitFinal(ctx));
    EXPECT_EQ(COMPLETED, ctx->GetStatus()) << ctx->GetResult().GetErrorMsg();
    EXPECT_EQ(data, ReadFile(Path("outlive")));
}

TEST_F(ZidAPIAsync, ExceptionInsideTheTaskStillEndsTheTransfer) {
    Seed("throws", Pattern(20000));
    ZidAPI api(LoopbackConfig());
    AsyncMultiGetObjectReq req(kBucketName, "throws", Path("throws"));
    req.SetTransferProgressCallback(
        [](uint64_t, uint64_t, void*) { throw std::runtime_error("progress callback failed"); });
    auto ctx = api.AsyncMultiGetObject(req);
    ASSERT_TRUE(WaitFinal(ctx, std::chrono::seconds(20))) << "no final status: a waiter would hang";
    EXPECT_EQ(FAILED, ctx->GetStatus());
    EXPECT_FALSE(ctx->GetResult().GetErrorMsg().empty());
}

TEST_F(ZidAPIAsync, ProcessMayExitWhileATransferRuns) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Seed("exit.bin", Pattern(200000));
    StallGets(100, 8192);
    const std::string local = Path("exit.bin");
    EXPECT_EXIT(
        {
            auto* api = new ZidAPI(LoopbackConfig());
            AsyncMultiGetObjectReq req(kBucketName, "exit.bin", local);
            auto ctx = api->AsyncMultiGetObject(req);
            for (int i = 0; i < 200 && ctx->GetStatus() != IN_PROGRESS; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            // The window closes mid-download: the process exits with the pool still busy.
            ExitChild(ctx->GetStatus() == IN_PROGRESS ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

// The first pass goes to the primary domain, a second one (when the rule allows it) to
// the backup domain.
class ZidAPIAsyncBackup : public RelayedApiFixture {
protected:
    void SetUp() override {
        RelayedApiFixture::SetUp();
        zuzezi_zid::ClientSettings::SetRetryOnBackupDomain(true);
    }
    static void FailPrimaryHead() {
        Fault f = OnPrimary();
        f.method = "HEAD";
        Service().AddFault(f);
    }
};

TEST_F(ZidAPIAsyncBackup, FailedFirstPassOnTheDefaultDomainIsRepeatedOnTheBackupDomain) {
    const std::string data = Pattern(40000, 11);
    Seed("b.bin", data);
    FailPrimaryHead();
    ZidAPI api(LoopbackConfig());
    AsyncMultiGetObjectReq req(kBucketName, "b.bin", Path("b.bin"));
    auto ctx = api.AsyncMultiGetObject(req);
    ASSERT_TRUE(WaitFinal(ctx));
    EXPECT_EQ(COMPLETED, ctx->GetStatus()) << ctx->GetResult().GetErrorMsg();
    EXPECT_EQ(data, ReadFile(Path("b.bin")));
    EXPECT_EQ(1, Primary());
    EXPECT_GE(Backup(), 2);  // HEAD and the slice
}

TEST_F(ZidAPIAsyncBackup, StreamUploadSendsTheWholeStreamAgainOnTheBackupPass) {
    const std::string data = Pattern(50000, 12);
    Fault f = OnPrimary();
    f.method = "PUT";
    Service().AddFault(f);
    std::istringstream in(data);
    ZidAPI api(LoopbackConfig());
    AsyncPutObjectByStreamReq req(kBucketName, "b.up", in);
    auto ctx = api.AsyncPutObject(req);
    ASSERT_TRUE(WaitFinal(ctx));
    EXPECT_EQ(COMPLETED, ctx->GetStatus()) << ctx->GetResult().GetErrorMsg();
    EXPECT_EQ(1, Primary());
    EXPECT_EQ(1, Backup());
    EXPECT_EQ(data, Service().GetObject(StoreBucket(), "b.up").value_or("<none>"));
}

TEST_F(ZidAPIAsyncBackup, AccelerateEndpointFailsAfterOnePass) {
    Seed("b.bin", "x");
    FailPrimaryHead();
    ZidAPI api(LoopbackConfig("accelerate"));
    AsyncMultiGetObjectReq req(kBucketName, "b.bin", Path("b.bin"));
    auto ctx = api.AsyncMultiGetObject(req);
    ASSERT_TRUE(WaitFinal(ctx));
    EXPECT_EQ(FAILED, ctx->GetStatus());
    EXPECT_EQ(503, ctx->GetResult().GetHttpStatus());
    EXPECT_EQ(1, static_cast<int>(Service().Requests().size()));
    EXPECT_EQ(0, Backup());
}

}  // namespace
}  // namespace zid_test
