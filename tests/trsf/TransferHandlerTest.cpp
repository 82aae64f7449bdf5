#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

#include "request/ObjectReq.h"
#include "support/RefusingBuf.h"
#include "trsf/AsyncContext.h"
#include "trsf/TransferHandler.h"

using namespace zuzezi_zid;

namespace {

std::shared_ptr<TransferHandler> MakeHandler() { return std::make_shared<TransferHandler>(); }

ZidResult ResultWithMessage(const std::string& msg) {
    ZidResult r;
    r.SetErrorMsg(msg);
    return r;
}

}  // namespace

TEST(TransferHandlerTest, StatusChangeRules) {
    struct Case {
        TransferStatus from, to, stored;
    };
    const Case cases[] = {
        {FAILED, COMPLETED, FAILED},
        {CANCELED, ABORTED, ABORTED},
        {COMPLETED, COMPLETED, COMPLETED},
        {FAILED, IN_PROGRESS, IN_PROGRESS},
        {ABORTED, CANCELED, ABORTED},
        {COMPLETED, FAILED, COMPLETED},
        {NOT_START, COMPLETED, COMPLETED},
        {RETRY_ON_BACKUP_DOMAIN, FAILED, FAILED},
        {COMPLETED, RETRY_ON_BACKUP_DOMAIN, RETRY_ON_BACKUP_DOMAIN},
    };
    for (const auto& c : cases) {
        auto h = MakeHandler();
        h->ChangeStatus(c.from);
        h->ChangeStatus(c.to);
        EXPECT_EQ(h->GetStatus(), c.stored) << c.from << "->" << c.to;
    }
    for (int s : {2, 3, 4, 6}) {
        EXPECT_TRUE(TransferHandler::IsFinalStatus(static_cast<TransferStatus>(s))) << s;
    }
    for (int s : {0, 1, 5, 7}) {
        EXPECT_FALSE(TransferHandler::IsFinalStatus(static_cast<TransferStatus>(s))) << s;
    }
}

TEST(TransferHandlerTest, StatusNames) {
    const char* names[] = {"NOT_START", "IN_PROGRESS", "CANCELED", "FAILED",
                           "COMPLETED", "UNKNOWN",     "ABORTED",  "UNKNOWN"};
    for (int s = 0; s < 8; ++s) {
        EXPECT_EQ(TransferHandler::StatusName(static_cast<TransferStatus>(s)), names[s]);
    }
    auto h = MakeHandler();
    EXPECT_EQ(h->GetStatusName(), "NOT_START");
}

TEST(TransferHandlerTest, RefusedChangeKeepsTheResult) {
    auto h = MakeHandler();
    h->ChangeStatusWithResponse(COMPLETED, ResultWithMessage("first"), {{"ETag", "e"}}, "body");
    h->ChangeStatusWithResult(FAILED, ResultWithMessage("late failure"));
    EXPECT_EQ(h->GetStatus(), COMPLETED);
    EXPECT_EQ(h->GetResult().GetErrorMsg(), "first");
    h->ChangeStatusWithResponse(FAILED, ResultWithMessage("x"), {}, "other");
    EXPECT_EQ(h->GetRespBody(), "body");
    EXPECT_EQ(h->GetRespHeaders().at("ETag"), "e");
    // An allowed change stores the result.
    h->ChangeStatusWithResult(IN_PROGRESS, ResultWithMessage("again"));
    EXPECT_EQ(h->GetResult().GetErrorMsg(), "again");
}

TEST(TransferHandlerTest, DoneCallbackRunsOnceAfterTheFinalStatusIsStored) {
    auto h = MakeHandler();
    int calls = 0;
    TransferStatus seen = NOT_START;
    int user = 0;
    void* seen_user = nullptr;
    std::shared_ptr<TransferHandler> seen_handler;
    h->SetUserData(&user);
    h->SetDoneCallback([&](const std::shared_ptr<AsyncContext>& ctx, void* data) {
        ++calls;
        seen = ctx->GetTransferHandler()->GetStatus();
        seen_handler = ctx->GetTransferHandler();
        seen_user = data;
    });
    h->ChangeStatus(IN_PROGRESS);
    h->ChangeStatus(RETRY_ON_BACKUP_DOMAIN);
    EXPECT_EQ(calls, 0);
    h->ChangeStatus(FAILED);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, FAILED);
    EXPECT_EQ(seen_handler, h);
    EXPECT_EQ(seen_user, &user);
    h->ChangeStatus(COMPLETED);  // refused
    h->ChangeStatus(FAILED);     // stored again
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(h->GetStatus(), FAILED);
}

TEST(TransferHandlerTest, WaiterWakesOnlyOnAFinalStatus) {
    auto h = MakeHandler();
    h->ChangeStatus(RETRY_ON_BACKUP_DOMAIN);
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        h->WaitForFinalStatus();
        woke = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    h->ChangeStatus(IN_PROGRESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(woke.load());
    h->ChangeStatusWithResult(COMPLETED, ResultWithMessage("done"));
    waiter.join();
    EXPECT_TRUE(woke.load());
    EXPECT_EQ(h->GetResult().GetErrorMsg(), "done");
    h->WaitForFinalStatus();  // already final: returns at once
}

// The callbacks dawdle so that a waiter woken too early would see them unfinished.
TEST(TransferHandlerTest, WaitersWakeOnlyAfterTheDoneCallbackReturned) {
    auto h = MakeHandler();
    std::atomic<bool> callback_returned{false};
    std::atomic<int> calls{0};
    TransferStatus status_inside = NOT_START;
    std::string result_inside;
    h->SetDoneCallback([&](const std::shared_ptr<AsyncContext>& ctx, void*) {
        ++calls;
        // Its own getters and a wait on its own transfer must not block it.
        status_inside = ctx->GetStatus();
        ctx->WaitUntilFinish();
        result_inside = ctx->GetResult().GetErrorMsg();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        callback_returned = true;
    });
    std::atomic<int> waiting{0};
    std::vector<int> saw_callback_returned(4, -1);
    std::vector<std::thread> waiters;
    for (size_t i = 0; i < saw_callback_returned.size(); ++i) {
        waiters.emplace_back([&, i] {
            ++waiting;
            h->WaitForFinalStatus();
            saw_callback_returned[i] = callback_returned.load() ? 1 : 0;
        });
    }
    while (waiting.load() < 4) std::this_thread::yield();
    std::thread finisher([&] { h->ChangeStatusWithResult(COMPLETED, ResultWithMessage("done")); });
    for (auto& w : waiters) w.join();
    finisher.join();
    EXPECT_EQ(saw_callback_returned, std::vector<int>(4, 1));
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(status_inside, COMPLETED);
    EXPECT_EQ(result_inside, "done");
}

TEST(TransferHandlerTest, NoProgressCallbackRunsOnceAWaiterWoke) {
    auto h = MakeHandler();
    h->SetTotalSize(100);
    std::atomic<bool> entered{false};
    std::atomic<bool> progress_returned{false};
    std::atomic<int> progress_calls{0};
    h->SetTransferProgressCallback([&](uint64_t, uint64_t, void*) {
        ++progress_calls;
        entered = true;
        while (h->GetStatus() != COMPLETED) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        progress_returned = true;
    });
    std::thread mover([&] { h->AdvanceProgress(10); });
    while (!entered.load()) std::this_thread::yield();
    h->ChangeStatus(COMPLETED);
    h->WaitForFinalStatus();
    EXPECT_TRUE(progress_returned.load());
    mover.join();
    h->AdvanceProgress(10);  // counted, but no callback once final
    EXPECT_EQ(h->GetTransferred(), 20u);
    EXPECT_EQ(progress_calls.load(), 1);
}

TEST(TransferHandlerTest, ProgressIsCappedAtTheTotal) {
    auto h = MakeHandler();
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    h->SetTransferProgressCallback(
        [&](uint64_t done, uint64_t total, void*) { calls.emplace_back(done, total); });
    h->AdvanceProgress(10);
    h->SetTotalSize(100);
    h->AdvanceProgress(60);
    h->AdvanceProgress(60);
    EXPECT_EQ(h->GetTransferred(), 100u);
    const std::vector<std::pair<uint64_t, uint64_t>> expected = {{0, 0}, {60, 100}, {100, 100}};
    EXPECT_EQ(calls, expected);
}

TEST(TransferHandlerTest, ConcurrentProgressCountsEveryByte) {
    auto h = MakeHandler();
    h->SetTotalSize(1ULL << 40);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                h->AdvanceProgress(3);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(h->GetTransferred(), 8u * 10000u * 3u);
}

TEST(TransferHandlerTest, BindRequestCopiesNamesAndCallbacks) {
    GetObjectByFileReq req("bucket-1", "dir/obj", "/tmp/local.bin");
    int user = 0;
    int progress_calls = 0;
    req.SetUserData(&user);
    req.SetTransferProgressCallback([&](uint64_t, uint64_t, void*) { ++progress_calls; });
    auto h = MakeHandler();
    h->BindRequest(req);
    EXPECT_EQ(h->GetBucketName(), "bucket-1");
    EXPECT_EQ(h->GetObjectName(), req.GetObjectName());
    EXPECT_EQ(h->GetLocalFilePath(), "/tmp/local.bin");
    EXPECT_EQ(h->GetUserData(), &user);
    h->AdvanceProgress(1);
    EXPECT_EQ(progress_calls, 1);
    req.SetUserData(nullptr);  // later changes do not reach the handler
    EXPECT_EQ(h->GetUserData(), &user);
}

TEST(CopyStreamTest, BlocksProgressAndTotal) {
    const std::string data(20000, 'q');
    auto h = MakeHandler();
    h->SetTotalSize(data.size());
    std::vector<uint64_t> seen;
    h->SetTransferProgressCallback([&](uint64_t done, uint64_t, void*) { seen.push_back(done); });
    std::istringstream in(data);
    std::ostringstream out;
    EXPECT_EQ(CopyStreamWithProgress(h, in, out, 8192), 20000u);
    EXPECT_EQ(out.str(), data);
    EXPECT_EQ(seen, (std::vector<uint64_t>{8192, 16384, 20000}));

    std::istringstream in2(data);
    std::ostringstream out2;
    EXPECT_EQ(CopyStreamWithProgress(nullptr, in2, out2, 7), 20000u);
    EXPECT_EQ(out2.str(), data);
}

TEST(CopyStreamTest, CancelledCopyWritesNothing) {
    auto h = MakeHandler();
    h->Cancel();
    EXPECT_FALSE(h->IsNotCancelled());
    EXPECT_EQ(h->GetStatus(), NOT_START);  // cancel only sets the flag
    std::istringstream in("some bytes");
    std::ostringstream out;
    EXPECT_THROW(CopyStreamWithProgress(h, in, out, 4), UserCancelException);
    EXPECT_EQ(out.str(), "");

    std::istringstream empty("");
    EXPECT_EQ(CopyStreamWithProgress(h, empty, out, 4), 0u);
}

TEST(CopyStreamTest, ShortOrFailedWriteFails) {
    const std::string data(100, 'w');
    for (size_t limit : {size_t(0), size_t(10), size_t(64)}) {
        zid_test::RefusingBuf buf(limit);
        std::ostream out(&buf);
        std::istringstream in(data);
        EXPECT_THROW(CopyStreamWithProgress(nullptr, in, out, 32), std::ios_base::failure) << limit;
    }
}

TEST(CopyStreamTest, ZeroBufferSizeIsRefused) {
    std::istringstream in("x");
    std::ostringstream out;
    EXPECT_ANY_THROW(CopyStreamWithProgress(nullptr, in, out, 0));
    EXPECT_EQ(out.str(), "");
}

TEST(AsyncContextTest, ForwardsToItsHandler) {
    auto h = MakeHandler();
    AsyncContext ctx(h);
    EXPECT_EQ(ctx.GetTransferHandler(), h);
    EXPECT_EQ(ctx.GetStatus(), NOT_START);
    ctx.Cancel();
    EXPECT_FALSE(h->IsNotCancelled());
    h->ChangeStatusWithResult(CANCELED, ResultWithMessage("Request canceled by user"));
    ctx.WaitUntilFinish();
    EXPECT_EQ(ctx.GetResult().GetErrorMsg(), "Request canceled by user");
}
