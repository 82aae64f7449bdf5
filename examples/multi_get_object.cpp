// Downloads one object to a local file with the multi-threaded asynchronous download.
//
//   example_multi_get_object CONFIG.json BUCKET KEY LOCAL_FILE
//
// CONFIG.json is the client's JSON configuration ("AppID", "SecretId", "SecretKey",
// "Region", optional "DestDomain", "DownloadThreadPoolSize", "DownloadSliceSize", ...).
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

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s CONFIG.json BUCKET KEY LOCAL_FILE\n", argv[0]);
        return 2;
    }
    const std::string config_file = argv[1];
    const std::string bucket = argv[2];
    const std::string key = argv[3];
    const std::string local_file = argv[4];

    zuzezi_zid::ZidConfig config(config_file);
    if (!example::ConfigLoaded(config, config_file)) {
        return 2;
    }
    try {
        zuzezi_zid::ZidAPI api(config);
        example::Progress progress;
        zuzezi_zid::AsyncMultiGetObjectReq req(bucket, key, local_file);
        req.SetTransferProgressCallback(example::OnProgress);
        req.SetUserData(&progress);

        std::shared_ptr<zuzezi_zid::AsyncContext> ctx = api.AsyncMultiGetObject(req);
        ctx->GetTransferHandler()->WaitForFinalStatus();

        zuzezi_zid::ZidResult result = ctx->GetResult();
        if (ctx->GetStatus() != zuzezi_zid::COMPLETED || !result.IsSucc()) {
            std::fprintf(stderr, "download of %s/%s failed: status %s, http %d, %s\n", bucket.c_str(),
                         key.c_str(), ctx->GetTransferHandler()->GetStatusName().c_str(),
                         result.GetHttpStatus(), result.GetErrorMsg().c_str());
            return 1;
        }
        std::printf("downloaded %s/%s to %s (%llu bytes)\n", bucket.c_str(), key.c_str(),
                    local_file.c_str(),
                    static_cast<unsigned long long>(ctx->GetTransferHandler()->GetTotalSize()));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
