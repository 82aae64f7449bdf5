#pragma once

// Pieces the ObjectOp transfer files share; internal to the library.

#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>

#include <Poco/ThreadPool.h>

#include "ClientSettings.h"
#include "op/ObjectOp.h"
#include "trsf/TransferHandler.h"
#include "util/CodecUtil.h"

namespace zuzezi_zid {
namespace op_detail {

const unsigned kMaxPoolThreads = 16;

// Pool with min <= max and never more than the cap, whatever the settings say.
unsigned PoolSize(uint64_t wanted);

// Sub-requests inherit the caller's TLS settings only when the caller uses HTTPS.
void CopyTlsSettings(const BaseReq& from, BaseReq* to);

inline std::string QuotedEtag(const std::string& etag) { return "\"" + etag + "\""; }

uint64_t FileSizeOfFd(int fd);

bool FailedResultFromTask(int status, const std::string& err_msg,
                          const std::map<std::string, std::string>& headers,
                          const std::string& body, ZidResult* result);

// A download's key must be one the service can name; false fills result with the refusal.
bool CheckGetKey(const std::string& path, ZidResult* result);

bool ShouldRetryOnBackup(const ObjectOp& op, bool change_backup_domain, const ZidResult& result);

// A download's way out on an exception: the file is closed before the handler hears FAILED.
ZidResult FailDownload(int fd, const std::shared_ptr<TransferHandler>& handler,
                       const std::string& why, ZidResult* result);

// A download's boundary: body(fd, result) keeps the file it opens in fd, so that whatever it
// throws closes that file and ends as a failed result the handler hears.
template <typename Fn>
ZidResult GuardedDownload(const std::shared_ptr<TransferHandler>& handler, Fn&& body) {
    ZidResult result;
    int fd = -1;
    try {
        return body(fd, result);
    } catch (const std::exception& e) {
        return FailDownload(fd, handler, std::string("download data failed, exception: ") + e.what(),
                            &result);
    } catch (...) {
        return FailDownload(fd, handler, "download data failed, unknown exception", &result);
    }
}

// Every exception ends at the operation boundary as a failed result, and a waiter on the
// handler always sees a final status.
template <typename Fn>
ZidResult Guarded(const char* what, const std::shared_ptr<TransferHandler>& handler, Fn&& fn) {
    try {
        return fn();
    } catch (const std::exception& e) {
        ZidResult result;
        ObjectOp::SetResultAndLogError(result, std::string(what) + " failed, exception: " + e.what());
        if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
        return result;
    }
}

// One exchange carrying the XML body the request generates, with its Content-MD5. Without a
// caller's response a local one takes the answer, so that after_success(answer, result) can
// still judge it.
template <typename Req, typename Resp, typename AfterSuccess>
ZidResult SendGeneratedBody(const ObjectOp& op, const Req& req, Resp* resp,
                            bool change_backup_domain, const char* body_failure,
                            AfterSuccess after_success) {
    ZidResult result;
    std::string body;
    if (!req.GenerateRequestBody(&body)) {
        result.SetErrorMsg(body_failure);
        return result;
    }
    const std::string host = ClientSettings::BuildBucketHost(op.GetAppId(), op.GetRegion(),
                                                             req.GetBucketName(), change_backup_domain);
    const std::map<std::string, std::string> headers{
        {"Content-MD5", CodecUtil::Base64Encode(CodecUtil::Md5Bytes(body))}};
    Resp local;
    Resp* target = resp ? resp : &local;
    result = op.NormalAction(host, req.GetPath(), req, headers, {}, body, false, target);
    if (result.IsSucc()) after_success(*target, &result);
    return result;
}

// Tasks and buffers outlive the pool, and the pool is joined on every way out.
struct PoolGuard {
    explicit PoolGuard(unsigned n) : pool(static_cast<int>(n), static_cast<int>(kMaxPoolThreads), 60, 0) {}
    ~PoolGuard() {
        try {
            pool.joinAll();
        } catch (...) {
        }
    }
    Poco::ThreadPool pool;
};

// What a download reports in its own words: the multi-threaded and the resumable download
// share their slice code, not their texts.
struct DownloadTexts {
    const char* auth_failed;
    const char* seek_failed;   // then errno, ", offset=" and the offset
    const char* write_failed;  // then errno, ", len=" and the length
    bool resumable_log;        // the resumable's own log lines (its start line names the offset)
    bool status_of_first_slice;  // the result carries the first written slice's status and id
};
extern const DownloadTexts kMultiThreadTexts;
extern const DownloadTexts kResumableTexts;

// Slices a download runs ahead of its first unwritten one, per worker: only these are
// tracked, so what a download keeps is bounded by its workers, not by the object.
const unsigned kSliceWindowPerWorker = 4;

// One run of ranged slices into an open file, shared by the plain and the resumable
// download. Workers only fill their own buffers; the calling thread signs each slice,
// writes every finished one and refills its worker at once, so no slice waits for the
// slowest of a batch.
struct SliceRun {
    // inputs
    const GetObjectByFileReq* req = nullptr;
    const DownloadTexts* texts = &kMultiThreadTexts;
    std::string url;
    std::string path;
    std::map<std::string, std::string> headers;  // without Authorization
    std::map<std::string, std::string> params;
    std::unordered_set<std::string> not_signed;
    std::shared_ptr<TransferHandler> handler;
    int fd = -1;
    uint64_t start = 0;
    uint64_t total = 0;
    bool compute_crc = false;
    std::function<void(uint64_t)> after_batch;  // end of the written prefix
    // outputs
    uint64_t downloaded = 0;
    uint64_t crc = 0;  // running CRC-64 of [0, downloaded), seeded by the caller
    bool headers_taken = false;
    std::map<std::string, std::string> first_headers;
    int first_status = -1;
    std::map<std::string, std::string> failed_headers;
    ZidResult result;
};

bool RunSlices(const ObjectOp& op, SliceRun* run);

}  // namespace op_detail
}  // namespace zuzezi_zid
