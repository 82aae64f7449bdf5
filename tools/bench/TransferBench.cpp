// The client's side of run-transfer-bench.sh: one transfer per run, so the driver can measure
// each client process the same way. Prints "seconds MiB/s peak-RSS-KiB" on success.
//   zid-bench-transfer download DOMAIN KEY FILE [threads] [slice-bytes]
//   zid-bench-transfer resumable DOMAIN KEY FILE [threads] [slice-bytes]
//   zid-bench-transfer resumable-nosync DOMAIN KEY FILE [threads] [slice-bytes]
//       (the same with every fdatasync skipped: the difference is what durability costs)
//   zid-bench-transfer upload DOMAIN KEY FILE [threads] [part-bytes]
//   zid-bench-transfer get DOMAIN KEY FILE       (one plain GET to a file, no MD5 check)
//   zid-bench-transfer get-md5 DOMAIN KEY FILE   (the same, the body checked against its ETag)
//   zid-bench-transfer host         (the Host header a bucket request carries)
// DOMAIN is "127.0.0.1:PORT": the destination domain, so every request goes there.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "ClientSettings.h"
#include "ZidConfig.h"
#include "op/ObjectOp.h"
#include "trsf/TransferHandler.h"

using namespace zuzezi_zid;

namespace {

bool g_skip_sync = false;

}  // namespace

// Every fdatasync of this program passes here: the resumable download's, skipped on request.
extern "C" int fdatasync(int fd) {
    if (g_skip_sync) return 0;
    return static_cast<int>(syscall(SYS_fdatasync, fd));
}

namespace {

constexpr uint64_t kAppId = 1250000000;
constexpr const char* kRegion = "ap-test";
constexpr const char* kBucket = "bkt";

int Usage() {
    std::fprintf(stderr,
                 "usage: zid-bench-transfer download|resumable|resumable-nosync|upload|get|get-md5 DOMAIN KEY "
                 "FILE [threads] [bytes]\n"
                 "       zid-bench-transfer host\n");
    return 2;
}

long PeakRssKiB() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "host") {
        std::printf("%s\n", ClientSettings::BuildBucketHost(kAppId, kRegion, kBucket, false).c_str());
        return 0;
    }
    if (argc < 5) return Usage();
    const std::string mode = argv[1];
    const std::string key = argv[3];
    const std::string file = argv[4];
    const unsigned threads = argc > 5 ? static_cast<unsigned>(std::atoi(argv[5])) : 10;
    const uint64_t bytes = argc > 6 ? std::strtoull(argv[6], nullptr, 10) : 4u << 20;

    ClientSettings::SetDestDomain(argv[2]);
    ClientSettings::SetLogLevel(1);
    auto config = std::make_shared<ZidConfig>(kAppId, "AKID", "SK", kRegion);
    ObjectOp op(config);
    auto handler = std::make_shared<TransferHandler>();

    const auto start = std::chrono::steady_clock::now();
    ZidResult result;
    if (mode == "download" || mode == "resumable" || mode == "resumable-nosync") {
        ClientSettings::SetDownThreadPoolSize(threads);
        ClientSettings::SetDownSliceSize(static_cast<unsigned>(bytes));
        GetObjectByFileReq req(kBucket, key, file);
        GetObjectByFileResp resp;
        g_skip_sync = mode == "resumable-nosync";
        result = mode == "download" ? op.MultiThreadDownload(req, &resp, handler, false)
                                    : op.ResumableGetObject(req, &resp, handler, false);
    } else if (mode == "upload") {
        ClientSettings::SetUploadThreadPoolSize(threads);
        ClientSettings::SetUploadPartSize(bytes);
        PutObjectByFileReq req(kBucket, key, file);
        // The loopback service assembles a large object slowly on a busy machine; a completion
        // that times out would measure the machine, not the upload.
        req.SetRecvTimeoutInms(120000);
        MultiPutObjectResp resp;
        result = op.MultiUploadObject(req, &resp, handler, false);
    } else if (mode == "get" || mode == "get-md5") {
        GetObjectByFileReq req(kBucket, key, file);
        req.SetCheckMD5(mode == "get-md5");
        req.SetRecvTimeoutInms(120000);
        GetObjectByFileResp resp;
        result = op.GetObject(req, &resp, handler, false);
    } else {
        return Usage();
    }
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!result.IsSucc()) {
        std::fprintf(stderr, "%s failed: %s\n", mode.c_str(), result.GetErrorMsg().c_str());
        return 1;
    }
    struct stat st {};
    stat(file.c_str(), &st);
    std::printf("%.3f %.1f %ld\n", secs, static_cast<double>(st.st_size) / secs / (1 << 20),
                PeakRssKiB());
    return 0;
}
