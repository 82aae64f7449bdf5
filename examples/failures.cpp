// The failures a caller handles, and what the ZidResult of each holds: a service that
// answers with an error, a transfer the caller cancels, and a host that does not answer.
//
//   example_failures CONFIG.json BUCKET BIG_KEY LOCAL_FILE UNREACHABLE_HOST:PORT
//
// CONFIG.json is the client's JSON configuration ("AppID", "SecretId", "SecretKey",
// "Region", optional "DestDomain", ...). BIG_KEY names an object of many download slices,
// so that the download is still running when it is cancelled; LOCAL_FILE is where it goes.
// Operations report failures in their result instead of throwing.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <sstream>
#include <string>

#include <zid/ZidAPI.h>
#include <zid/ZidConfig.h>
#include <zid/trsf/AsyncContext.h>
#include <zid/trsf/TransferHandler.h>

#include "ExampleConfig.h"

namespace {

void Describe(const char* what, const zuzezi_zid::ZidResult& result) {
    std::printf("%s:\n", what);
    if (result.IsSucc()) {
        std::printf("  succeeded\n");
        return;
    }
    // A cancelled download keeps the status of the last answer it took before the cancel,
    // so its message tells it. Otherwise -1 means no answer came (connection, time-out, or
    // refused before sending), and any other status is the service's, with its code.
    if (result.GetErrorMsg() == "Request canceled by user") {
        std::printf("  cancelled by the caller (http %d)\n", result.GetHttpStatus());
    } else if (result.GetHttpStatus() == -1) {
        std::printf("  no answer (http -1)\n");
    } else {
        std::printf("  the service answered http %d\n", result.GetHttpStatus());
    }
    std::printf("  error code: %s\n", result.GetErrorCode().c_str());
    std::printf("  error message: %s\n", result.GetErrorMsg().c_str());
    std::printf("  resource: %s\n", result.GetResourceAddr().c_str());
    // The request id names the exchange to the service's operators; a failure that has
    // one is never repeated on the backup domain.
    std::printf("  request id: %s\n", result.GetXZidRequestId().c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s CONFIG.json BUCKET BIG_KEY LOCAL_FILE UNREACHABLE_HOST:PORT\n",
                     argv[0]);
        return 2;
    }
    const std::string config_file = argv[1];
    const std::string bucket = argv[2];
    const std::string big_key = argv[3];
    const std::string local_file = argv[4];
    const std::string unreachable = argv[5];

    zuzezi_zid::ZidConfig config(config_file);
    if (!example::ConfigLoaded(config, config_file)) {
        return 2;
    }
    try {
        zuzezi_zid::ZidAPI api(config);
        bool as_expected = true;

        // A service error: the key does not exist.
        std::ostringstream sink;
        zuzezi_zid::GetObjectByStreamReq missing(bucket, "no/such/key", sink);
        zuzezi_zid::GetObjectResp missing_resp;
        const zuzezi_zid::ZidResult not_found = api.GetObject(missing, &missing_resp);
        Describe("missing key", not_found);
        as_expected &= !not_found.IsSucc() && not_found.GetHttpStatus() != -1;

        // A cancelled transfer. Progress comes from pool threads, so the context is handed
        // to the callback through an atomic; the first progress after it is there cancels.
        std::atomic<const zuzezi_zid::AsyncContext*> running{nullptr};
        std::atomic<uint64_t> transferred{0};
        zuzezi_zid::AsyncMultiGetObjectReq big(bucket, big_key, local_file);
        big.SetTransferProgressCallback([&](uint64_t done, uint64_t, void*) {
            transferred.store(done);
            if (const zuzezi_zid::AsyncContext* ctx = running.load()) ctx->Cancel();
        });
        std::shared_ptr<zuzezi_zid::AsyncContext> ctx = api.AsyncMultiGetObject(big);
        running.store(ctx.get());
        ctx->WaitUntilFinish();
        running.store(nullptr);
        const uint64_t total = ctx->GetTransferHandler()->GetTotalSize();
        Describe("cancelled download", ctx->GetResult());
        std::printf("  transfer status: %s, %s\n", ctx->GetTransferHandler()->GetStatusName().c_str(),
                    transferred.load() < total ? "stopped before the end" : "ran to the end");
        as_expected &= ctx->GetStatus() != zuzezi_zid::COMPLETED;

        // No answer: nothing listens there. A configuration's destination domain is also
        // the process-wide one, so this client comes last; every client keeps its own.
        zuzezi_zid::ZidConfig nowhere(config);
        nowhere.SetDestDomain(unreachable);
        zuzezi_zid::ZidAPI lost(nowhere);
        std::ostringstream lost_sink;
        zuzezi_zid::GetObjectByStreamReq get(bucket, big_key, lost_sink);
        zuzezi_zid::GetObjectResp get_resp;
        const zuzezi_zid::ZidResult no_answer = lost.GetObject(get, &get_resp);
        Describe("unreachable host", no_answer);
        as_expected &= !no_answer.IsSucc() && no_answer.GetHttpStatus() == -1;

        return as_expected ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
