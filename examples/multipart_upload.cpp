// Uploads a local file as one object with the multipart upload, printing its progress.
//
//   example_multipart_upload CONFIG.json BUCKET KEY LOCAL_FILE
//
// The parts' size and how many are sent at once come from the configuration
// ("UploadPartSize", "UploadThreadPoolSize"). Run again after an interrupted upload, it
// resumes: the parts the service already holds with the file's content are not sent again.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include <zid/ZidAPI.h>
#include <zid/ZidConfig.h>
#include <zid/trsf/AsyncContext.h>
#include <zid/trsf/TransferHandler.h>

#include "ExampleConfig.h"
#include "ExampleProgress.h"

using zuzezi_zid::AsyncContext;
using zuzezi_zid::ZidResult;

namespace {

int Upload(zuzezi_zid::ZidAPI& api, const std::string& bucket, const std::string& key,
           const std::string& local_file) {
    example::Progress progress;
    zuzezi_zid::AsyncMultiPutObjectReq req(bucket, key, local_file);
    req.SetTransferProgressCallback(example::OnProgress);
    req.SetUserData(&progress);

    std::shared_ptr<AsyncContext> ctx = api.AsyncMultiPutObject(req);
    ctx->WaitUntilFinish();

    const std::shared_ptr<zuzezi_zid::TransferHandler>& handler = ctx->GetTransferHandler();
    ZidResult result = ctx->GetResult();
    if (ctx->GetStatus() != zuzezi_zid::COMPLETED || !result.IsSucc()) {
        // http -1: no answer came (connection, TLS, timeout, or the local file); otherwise
        // the code and message are the service's own.
        std::fprintf(stderr, "upload of %s to %s/%s failed: status %s, http %d, code %s, %s\n",
                     local_file.c_str(), bucket.c_str(), key.c_str(), handler->GetStatusName().c_str(),
                     result.GetHttpStatus(), result.GetErrorCode().c_str(),
                     result.GetErrorMsg().c_str());
        return 1;
    }
    std::printf("uploaded %s to %s/%s (%llu bytes, upload id %s)\n", local_file.c_str(),
                bucket.c_str(), key.c_str(),
                static_cast<unsigned long long>(handler->GetTotalSize()),
                handler->GetUploadID().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s CONFIG.json BUCKET KEY LOCAL_FILE\n", argv[0]);
        return 2;
    }
    zuzezi_zid::ZidConfig config(argv[1]);
    if (!example::ConfigLoaded(config, argv[1])) {
        return 2;
    }
    try {
        // Throws for a region the configuration check refuses.
        zuzezi_zid::ZidAPI api(config);
        return Upload(api, argv[2], argv[3], argv[4]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
