#include "op/ObjectOp.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <mutex>
#include <cinttypes>
#include <cstring>
#include <fstream>
#include <new>
#include <unordered_set>
#include <sstream>

#include <Poco/DigestStream.h>
#include <Poco/Dynamic/Var.h>
#include <Poco/Exception.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/MD5Engine.h>
#include <Poco/StreamCopier.h>
#include <Poco/ThreadPool.h>
#include <Poco/URI.h>

#include "ClientSettings.h"
#include "op/FileCopyTask.h"
#include "op/FileDownTask.h"
#include "op/FileUploadTask.h"
#include "request/BucketReq.h"
#include "response/BucketResp.h"
#include "trsf/TransferHandler.h"
#include "util/AuthTool.h"
#include "util/CodecUtil.h"
#include "util/Crc64Util.h"
#include "util/FileUtil.h"
#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

namespace {

const unsigned kMaxPoolThreads = 16;

// Pool with min <= max and never more than the cap, whatever the settings say.
unsigned PoolSize(uint64_t wanted) {
    if (wanted < 1) return 1;
    if (wanted > kMaxPoolThreads) return kMaxPoolThreads;
    return static_cast<unsigned>(wanted);
}

// Sub-requests inherit the caller's TLS settings only when the caller uses HTTPS.
void CopyTlsSettings(const BaseReq& from, BaseReq* to) {
    if (!from.IsHttps()) return;
    to->SetHttps();
    to->SetVerifyCert(from.GetVerifyCert());
    to->SetCaLocation(from.GetCaLocation());
    to->SetSSLCtxCallback(from.GetSSLCtxCallback(), from.GetSSLCtxCbData());
}

std::string Md5HexOfStream(std::istream& is) {
    Poco::MD5Engine md5;
    Poco::DigestOutputStream dos(md5);
    Poco::StreamCopier::copyStream(is, dos, 8192);
    dos.close();
    return Poco::DigestEngine::digestToHex(md5.digest());
}

std::string Md5HexOfBytes(const unsigned char* data, uint64_t len) {
    Poco::MD5Engine md5;
    md5.update(data, static_cast<std::size_t>(len));
    return Poco::DigestEngine::digestToHex(md5.digest());
}

std::string QuotedEtag(const std::string& etag) { return "\"" + etag + "\""; }

// Completes the write: short writes and EINTR are resumed, anything else fails.
// Pieces of at most 256 KiB: a whole 4 MiB slice in one pwrite lets the kernel fill the page
// cache with large folios, which were several times slower to get here (on a virtual machine,
// ext4: 1.9 s per GiB in 4 MiB writes against 0.25 s in 256 KiB ones).
bool WriteFully(int fd, const unsigned char* buf, uint64_t len, uint64_t offset, int* err) {
    const uint64_t kPiece = 256 * 1024;
    uint64_t done = 0;
    while (done < len) {
        ssize_t n = ::pwrite(fd, buf + done, static_cast<size_t>(std::min(len - done, kPiece)),
                             static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            *err = errno;
            return false;
        }
        if (n == 0) {
            *err = EIO;
            return false;
        }
        done += static_cast<uint64_t>(n);
    }
    return true;
}

uint64_t FileSizeOfFd(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return UINT64_MAX;
    return static_cast<uint64_t>(st.st_size);
}

bool FailedResultFromTask(int status, const std::string& err_msg,
                          const std::map<std::string, std::string>& headers,
                          const std::string& body, ZidResult* result) {
    result->SetHttpStatus(status);
    if (status == -1) {
        result->SetErrorMsg(err_msg);
    } else if (!result->ParseFromHttpResponse(headers, body)) {
        result->SetErrorMsg(body);
    }
    result->SetFail();
    return false;
}

bool ShouldRetryOnBackup(const ObjectOp& op, bool change_backup_domain, const ZidResult& result) {
    return !change_backup_domain && op.IsDefaultDomainInUse() && NeedsBackupDomainRetry(result);
}

// A single-request transfer's last word to its handler: done, failed, or "try the backup domain".
void ReportFinalStatus(const ObjectOp& op, const std::shared_ptr<TransferHandler>& handler,
                       bool change_backup_domain, const ZidResult& result, const BaseResp& resp) {
    if (!handler) return;
    if (result.IsSucc()) {
        handler->ChangeStatusWithResponse(TransferStatus::COMPLETED, result, resp.GetHeaders(),
                                          resp.GetBody());
    } else {
        handler->ChangeStatusWithResult(ShouldRetryOnBackup(op, change_backup_domain, result)
                                            ? TransferStatus::RETRY_ON_BACKUP_DOMAIN
                                            : TransferStatus::FAILED,
                                        result);
    }
}

// A download's way out on an exception: the file is closed before the handler hears FAILED.
ZidResult FailDownload(int fd, const std::shared_ptr<TransferHandler>& handler,
                       const std::string& why, ZidResult* result) {
    if (fd >= 0) ::close(fd);
    ObjectOp::SetResultAndLogError(*result, why);
    if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, *result);
    return *result;
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

}  // namespace

// ---------------------------------------------------------------------------------
// shared pieces

void ObjectOp::SetResultAndLogError(ZidResult& result, const std::string& text) {
    ZID_LOG_ERR("%s", text.c_str());
    if (result.GetErrorMsg().empty()) result.SetErrorMsg(text);
    result.SetFail();
}

// ---------------------------------------------------------------------------------
// single requests

ZidResult ObjectOp::HeadObject(const HeadObjectReq& req, HeadObjectResp* resp,
                               bool change_backup_domain) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    ZidResult result = NormalAction(host, req.GetPath(), req, "", false, resp);
    if (result.GetHttpStatus() == 404) result.SetErrorCode("NoSuchKey");
    return result;
}

bool ObjectOp::ObjectExists(const std::string& bucket_name, const std::string& object_name) {
    HeadObjectReq req(bucket_name, object_name);
    HeadObjectResp resp;
    ZidResult result = HeadObject(req, &resp, false);
    if (result.IsSucc()) return true;
    if (IsDefaultDomainInUse() && NeedsBackupDomainRetry(result)) {
        HeadObjectResp resp2;
        return HeadObject(req, &resp2, true).IsSucc();
    }
    return false;
}

ZidResult ObjectOp::GetObject(const GetObjectByStreamReq& req, GetObjectResp* resp,
                              bool change_backup_domain) {
    ZidResult result;
    if (!StringUtil::IsObjectKeyLegal(req.GetPath())) {
        result.SetErrorCode("GetObjectKeyIllegal");
        result.SetErrorMsg("The Getobject Key is illegal");
        result.SetFail();
        return result;
    }
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    return DownloadAction(host, req.GetPath(), req, resp, req.GetStream());
}

ZidResult ObjectOp::GetObjectUnguarded(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                              const std::shared_ptr<TransferHandler>& handler,
                              bool change_backup_domain) {
    ZidResult result;
    if (!StringUtil::IsObjectKeyLegal(req.GetPath())) {
        result.SetErrorCode("GetObjectKeyIllegal");
        result.SetErrorMsg("The Getobject Key is illegal");
        result.SetFail();
        if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
        return result;
    }
    std::string local_path = req.GetLocalFilePath();
    std::ofstream ofs(local_path.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
    if (!ofs.is_open()) {
        result.SetErrorMsg("Open local file fail, local file=" + local_path);
        result.SetFail();
        if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
        return result;
    }
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    result = DownloadAction(host, req.GetPath(), req, resp, ofs, handler);
    ofs.close();
    if (result.IsSucc() && ofs.fail()) {
        SetResultAndLogError(result, "write local file fail, local file=" + local_path);
    }
    ReportFinalStatus(*this, handler, change_backup_domain, result, *resp);
    return result;
}

ZidResult ObjectOp::PutObjectUnguarded(const PutObjectByStreamReq& req, PutObjectByStreamResp* resp,
                              const std::shared_ptr<TransferHandler>& handler,
                              bool change_backup_domain) {
    ZidResult result;
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    std::istream& is = req.GetStream();
    bool check_etag = false;
    std::string md5_hex;
    if (req.GetHeader("Content-MD5").empty() && req.ShouldComputeContentMd5()) {
        std::streampos pos = is.tellg();
        md5_hex = Md5HexOfStream(is);
        is.clear();
        is.seekg(pos);
        additional_headers["Content-MD5"] = CodecUtil::Base64Encode(CodecUtil::HexDecode(md5_hex));
        check_etag = true;
    }
    if (!req.ShouldCheckETag()) check_etag = false;

    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    std::streampos pos = is.tellg();
    result = UploadAction(host, req.GetPath(), req, additional_headers, additional_params, is,
                          resp, handler);
    is.clear();
    is.seekg(pos);

    if (result.IsSucc() && check_etag) {
        std::string etag = resp->GetEtag();
        if (!StringUtil::IsNotMd5Etag(etag) && etag != md5_hex) {
            result.SetFail();
            result.SetErrorMsg("Response etag is not correct, Please try again.");
            ZID_LOG_ERR("Response etag is not correct, Please try again. Expect md5 is %s, but "
                        "return etag is %s. RequestId=%s",
                        md5_hex.c_str(), etag.c_str(), resp->GetXZidRequestId().c_str());
        }
    }
    ReportFinalStatus(*this, handler, change_backup_domain, result, *resp);
    return result;
}

ZidResult ObjectOp::PutObjectUnguarded(const PutObjectByFileReq& req, PutObjectByFileResp* resp,
                              const std::shared_ptr<TransferHandler>& handler,
                              bool change_backup_domain) {
    ZidResult result;
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    std::string local_path = req.GetLocalFilePath();
    std::ifstream ifs(local_path.c_str(), std::ios::in | std::ios::binary);
    if (!ifs.is_open()) {
        SetResultAndLogError(result, "Failed to open file " + local_path);
        if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
        return result;
    }
    bool check_etag = false;
    std::string md5_hex;
    if (req.GetHeader("Content-MD5").empty() && req.ShouldComputeContentMd5()) {
        md5_hex = Md5HexOfStream(ifs);
        ifs.clear();
        ifs.seekg(0, std::ios::beg);
        additional_headers["Content-MD5"] = CodecUtil::Base64Encode(CodecUtil::HexDecode(md5_hex));
        check_etag = true;
    }
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    result = UploadAction(host, req.GetPath(), req, additional_headers, additional_params, ifs,
                          resp, handler);
    if (result.IsSucc() && check_etag) {
        std::string etag = resp->GetEtag();
        if (!StringUtil::IsNotMd5Etag(etag) && etag != md5_hex) {
            result.SetFail();
            result.SetErrorMsg("Response etag is not correct, Please try again.");
            ZID_LOG_ERR("Response etag is not correct, Please try again. Expect md5 is %s,but "
                        "return etag is %s. RequestId=%s",
                        md5_hex.c_str(), etag.c_str(), resp->GetXZidRequestId().c_str());
        }
    }
    ifs.close();
    ReportFinalStatus(*this, handler, change_backup_domain, result, *resp);
    return result;
}

ZidResult ObjectOp::DeleteObject(const DeleteObjectReq& req, DeleteObjectResp* resp,
                                 bool change_backup_domain) {
    ZidResult result;
    if (req.GetObjectName().empty()) {
        result.SetErrorMsg("Delete object's name is empty.");
        result.SetFail();
        return result;
    }
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    return NormalAction(host, req.GetPath(), req, "", false, resp);
}

ZidResult ObjectOp::PostObjectRestore(const PostObjectRestoreReq& req, BaseResp* resp,
                                      bool change_backup_domain) {
    ZidResult result;
    std::string body;
    if (!req.GenerateRequestBody(&body)) {
        result.SetErrorMsg("Generate PostObjectRestore Request Body fail.");
        result.SetFail();
        return result;
    }
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    additional_headers["Content-MD5"] = CodecUtil::Base64Encode(CodecUtil::Md5Bytes(body));
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    return NormalAction(host, req.GetPath(), req, additional_headers, additional_params, body,
                        false, resp);
}

// ---------------------------------------------------------------------------------
// parallel slices

namespace {

// One run of ranged slices into an open file, shared by the plain and the resumable
// download. Workers only fill their own buffers; the calling thread signs each slice,
// writes every finished one and refills its worker at once, so no slice waits for the
// slowest of a batch.
struct SliceRun {
    // inputs
    const GetObjectByFileReq* req = nullptr;
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

bool RunSlices(const ObjectOp& op, SliceRun* run) {
    const GetObjectByFileReq& req = *run->req;
    const uint64_t slice = ClientSettings::GetDownSliceSize();
    const uint64_t remaining = run->total - run->start;
    const unsigned n = PoolSize(std::min<uint64_t>(ClientSettings::GetDownThreadPoolSize(),
                                                   remaining / slice + 1));
    const uint64_t slice_count = (remaining + slice - 1) / slice;
    run->downloaded = run->start;

    // Finished workers queue their slot here; the calling thread writes and refills it.
    std::mutex done_mutex;
    std::condition_variable done_cond;
    std::vector<unsigned> done_slots;

    std::vector<std::unique_ptr<unsigned char[]>> buffers;
    std::vector<std::unique_ptr<FileDownTask>> tasks;
    std::vector<uint64_t> slot_slice(n, 0);
    for (unsigned i = 0; i < n; ++i) {
        buffers.emplace_back(new unsigned char[slice]);
        tasks.emplace_back(new FileDownTask(run->url, run->headers, run->params,
                                            req.GetConnTimeoutInms(), req.GetRecvTimeoutInms(),
                                            run->handler));
        tasks.back()->SetObjectSize(run->total);
        tasks.back()->SetComputeCrc64(run->compute_crc);
        tasks.back()->SetDoneCallback([&done_mutex, &done_cond, &done_slots, i] {
            std::lock_guard<std::mutex> lock(done_mutex);
            done_slots.push_back(i);
            done_cond.notify_one();
        });
    }
    ZID_LOG_INFO("download data,url=%s, poolsize=%u, slice_size=%" PRIu64 ", file_size=%" PRIu64
                 ", last_offset=%" PRIu64,
                 run->url.c_str(), n, slice, run->total, run->start);

    // Slices finish in any order; the written prefix, its CRC and the checkpoint follow
    // the first slice not yet written.
    std::vector<char> written(slice_count, 0);
    std::vector<uint64_t> slice_crc(run->compute_crc ? slice_count : 0, 0);
    uint64_t prefix = 0;
    uint64_t next = 0;
    unsigned in_flight = 0;
    unsigned down_times = 0;
    bool failed = false;
    PoolGuard guard(n);
    std::vector<unsigned> free_slots;
    for (unsigned i = n; i > 0; --i) free_slots.push_back(i - 1);

    auto start_slice = [&](unsigned k) -> bool {
        uint64_t offset = run->start + next * slice;
        uint64_t len = std::min<uint64_t>(run->total - offset, slice);
        // Signed per slice: a long transfer must not outlive its signature window.
        std::map<std::string, std::string> headers = run->headers;
        std::string auth = AuthTool::SignFromNow(op.GetAccessKey(), op.GetSecretKey(),
                                                 req.GetMethod(), run->path, headers, run->params,
                                                 run->not_signed);
        if (auth.empty()) {
            ObjectOp::SetResultAndLogError(
                run->result, "generate auth str failed, check your access_key/secret_key.");
            return false;
        }
        headers["Authorization"] = auth;
        ZID_LOG_DBG("down data, task_index=%u, file_size=%" PRIu64 ", offset=%" PRIu64, k,
                    run->total, offset);
        FileDownTask* task = tasks[k].get();
        task->SetHeaders(headers);
        task->SetSlice(buffers[k].get(), len, offset);
        task->SetVerifyCert(req.GetVerifyCert());
        task->SetCaLocation(req.GetCaLocation());
        task->SetSSLCtxCallback(req.GetSSLCtxCallback(), req.GetSSLCtxCbData());
        slot_slice[k] = next;
        // A worker that has just reported is still leaving its thread for a moment.
        for (int tries = 0;; ++tries) {
            try {
                guard.pool.start(*task);
                break;
            } catch (const Poco::NoThreadAvailableException&) {
                if (tries >= 5000) throw;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        ++next;
        ++in_flight;
        ++down_times;
        return true;
    };

    while (true) {
        while (!failed && next < slice_count && !free_slots.empty()) {
            if (run->handler && !run->handler->IsNotCancelled()) {
                ObjectOp::SetResultAndLogError(run->result, "Request canceled by user");
                failed = true;
                break;
            }
            unsigned k = free_slots.back();
            if (!start_slice(k)) {
                failed = true;
                break;
            }
            free_slots.pop_back();
        }
        if (in_flight == 0) break;

        std::vector<unsigned> finished;
        {
            std::unique_lock<std::mutex> lock(done_mutex);
            done_cond.wait(lock, [&] { return !done_slots.empty(); });
            finished.swap(done_slots);
        }
        for (unsigned j : finished) {
            --in_flight;
            free_slots.push_back(j);
            if (failed) continue;  // only drain the slices still under way
            FileDownTask* task = tasks[j].get();
            if (!task->IsSucc()) {
                ZID_LOG_ERR("down data, down task fail, rsp:%s", task->GetBody().c_str());
                run->failed_headers = task->GetHeaders();
                FailedResultFromTask(task->GetHttpStatus(), task->GetErrMsg(), task->GetHeaders(),
                                     task->GetBody(), &run->result);
                failed = true;
                continue;
            }
            uint64_t len = task->GetDownloadedLength();
            int err = 0;
            if (!WriteFully(run->fd, buffers[j].get(), len, task->GetOffset(), &err)) {
                ObjectOp::SetResultAndLogError(
                    run->result, "down data, write failed, ret=" + std::to_string(err) +
                                     ", len=" + std::to_string(len) +
                                     ", offset=" + std::to_string(task->GetOffset()));
                failed = true;
                continue;
            }
            if (!run->headers_taken) {
                run->first_headers = task->GetHeaders();
                run->first_status = task->GetHttpStatus();
                run->headers_taken = true;
            }
            ZID_LOG_DBG("down data, down_times=%u, task_index=%u, file_size=%" PRIu64
                        ", offset=%" PRIu64 ", downlen:%" PRIu64,
                        down_times, j, run->total, task->GetOffset(), len);
            uint64_t idx = slot_slice[j];
            written[idx] = 1;
            if (run->compute_crc) slice_crc[idx] = task->GetCrc64();
        }
        uint64_t old_prefix = prefix;
        while (prefix < slice_count && written[prefix]) {
            uint64_t offset = run->start + prefix * slice;
            uint64_t len = std::min<uint64_t>(run->total - offset, slice);
            if (run->compute_crc) run->crc = Crc64Util::Combine(run->crc, slice_crc[prefix], len);
            run->downloaded = offset + len;
            ++prefix;
        }
        if (prefix != old_prefix && run->after_batch) run->after_batch(run->downloaded);
    }
    return !failed;
}

std::string HeaderValue(const std::map<std::string, std::string>& headers, const std::string& name) {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

}  // namespace

ZidResult ObjectOp::MultiGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp) {
    ZidResult result;
    if (!StringUtil::IsObjectKeyLegal(req.GetPath())) {
        result.SetErrorCode("GetObjectKeyIllegal");
        result.SetErrorMsg("The Getobject Key is illegal");
        result.SetFail();
        return result;
    }
    result = MultiThreadDownload(req, resp, nullptr, false);
    if (IsDefaultDomainInUse() && NeedsBackupDomainRetry(result)) {
        result = MultiThreadDownload(req, resp, nullptr, true);
    }
    return result;
}

namespace {

// The HEAD that measures the object the slices will fetch.
HeadObjectReq MakeMeasuringHead(const GetObjectByFileReq& req) {
    HeadObjectReq head_req(req.GetBucketName(), req.GetObjectName());
    CopyTlsSettings(req, &head_req);
    // Version parameters select the object the slices fetch; the HEAD must see the same one.
    for (const auto& kv : req.GetParams()) {
        if (kv.first == "versionId") head_req.AddParam(kv.first, kv.second);
    }
    return head_req;
}

}  // namespace

bool ObjectOp::CheckDownloadInput(const GetObjectByFileReq& req, const GetObjectByFileResp* resp,
                                  const std::shared_ptr<TransferHandler>& handler,
                                  ZidResult* result) {
    if (!StringUtil::IsObjectKeyLegal(req.GetPath())) {
        result->SetErrorCode("GetObjectKeyIllegal");
        result->SetErrorMsg("The Getobject Key is illegal");
        result->SetFail();
    } else if (!resp) {
        // The response carries the object's headers on success, so it is required.
        SetResultAndLogError(*result, "invalid input parameter");
    } else {
        return true;
    }
    if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, *result);
    return false;
}

// The slices are fetched against what this HEAD measured: its length, ETag and CRC-64.
bool ObjectOp::MeasureObject(const GetObjectByFileReq& req,
                             const std::shared_ptr<TransferHandler>& handler,
                             bool change_backup_domain, HeadObjectResp* head_resp,
                             ZidResult* result) {
    HeadObjectReq head_req = MakeMeasuringHead(req);
    *result = HeadObject(head_req, head_resp, change_backup_domain);
    if (result->IsSucc() && head_resp->HasNumericContentLength()) return true;
    const bool answered = result->IsSucc();
    result->SetFail();
    SetResultAndLogError(*result, "failed to get object length before downloading object.");
    if (handler) {
        handler->ChangeStatusWithResult(
            !answered && ShouldRetryOnBackup(*this, change_backup_domain, *result)
                ? TransferStatus::RETRY_ON_BACKUP_DOMAIN
                : TransferStatus::FAILED,
            *result);
    }
    return false;
}

ZidResult ObjectOp::MultiThreadDownload(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                                        const std::shared_ptr<TransferHandler>& handler,
                                        bool change_backup_domain) {
    ZidResult result;
    int fd = -1;
    try {
        if (!CheckDownloadInput(req, resp, handler, &result)) return result;

        HeadObjectResp head_resp;
        ZidResult head_result;
        if (!MeasureObject(req, handler, change_backup_domain, &head_resp, &head_result)) {
            return head_result;
        }

        SliceRun run;
        run.req = &req;
        run.handler = handler;
        run.path = req.GetPath();
        run.headers = req.GetHeaders();
        run.params = req.GetParams();
        std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                           req.GetBucketName(), change_backup_domain);
        run.headers["Host"] = IsDomainSameToHost() ? GetDestDomain() : host;
        std::string etag = head_resp.GetEtag();
        // An object replaced during the download must fail it, not mix two versions.
        if (!etag.empty()) run.headers["If-Match"] = QuotedEtag(etag);
        std::string token = GetSecurityToken();
        if (!token.empty()) run.headers["x-zid-security-token"] = token;
        if (!req.SignHeaderHost()) run.not_signed.insert("Host");
        run.url = GetRealUrl(host, req.GetPath(), req.IsHttps());

        std::string local_path = req.GetLocalFilePath();
        fd = ::open(local_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0755);
        if (fd < 0) {
            SetResultAndLogError(result, "open file(" + local_path + ") fail, errno=" +
                                             std::to_string(errno));
            if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
            return result;
        }

        run.fd = fd;
        run.total = head_resp.GetContentLength();
        std::string crc_text = head_resp.GetXZidHashCrc64Ecma();
        run.compute_crc = !crc_text.empty();
        if (handler) {
            handler->SetTotalSize(run.total);
            handler->ChangeStatus(TransferStatus::IN_PROGRESS);
        }

        bool ok = RunSlices(*this, &run);
        result = run.result;
        if (ok && run.headers_taken) result.SetHttpStatus(run.first_status);
        if (ok && FileSizeOfFd(fd) != run.total) {
            ok = false;
            SetResultAndLogError(result, "down data, local file size " +
                                             std::to_string(FileSizeOfFd(fd)) +
                                             " differs from object size " +
                                             std::to_string(run.total));
        }
        if (ok && run.compute_crc && run.crc != StringUtil::ParseUint64(crc_text)) {
            ok = false;
            SetResultAndLogError(result, "crc64 check failed, crc64_local: " + std::to_string(run.crc) +
                                             ", crc64_server_resp: " + crc_text);
        }
        ::close(fd);
        fd = -1;

        if (!ok) {
            if (!run.failed_headers.empty()) resp->ParseFromHeaders(run.failed_headers);
            SetResultAndLogError(result, "download data failed");
            if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
            return result;
        }
        ZID_LOG_INFO("down data succeed");
        if (run.headers_taken) {
            result.SetHttpStatus(run.first_status);
            result.SetXZidRequestId(HeaderValue(run.first_headers, "x-zid-request-id"));
        }
        resp->ParseFromHeaders(head_resp.GetHeaders());
        result.SetSucc();
        if (handler) {
            handler->ChangeStatusWithResponse(TransferStatus::COMPLETED, result, resp->GetHeaders(), "");
        }
        return result;
    } catch (const std::exception& e) {
        return FailDownload(fd, handler, std::string("download data failed, exception: ") + e.what(),
                            &result);
    } catch (...) {
        return FailDownload(fd, handler, "download data failed, unknown exception", &result);
    }
}

// ---------------------------------------------------------------------------------
// resumable download

namespace {

const char* const kTaskFileSuffix = ".zidresumabletask";

std::string JsonString(const Poco::JSON::Object::Ptr& obj, const std::string& name) {
    if (!obj->has(name)) return "";
    Poco::Dynamic::Var v = obj->get(name);
    if (!v.isString()) {
        ZID_LOG_WARN("member %s of the resumable task file is not a string", name.c_str());
        return "";
    }
    return v.convert<std::string>();
}

}  // namespace

bool ObjectOp::CheckResumableDownloadTask(const std::string& task_file_path,
                                          const std::map<std::string, std::string>& element_map,
                                          uint64_t* resume_offset) {
    std::ifstream ifs(task_file_path.c_str(), std::ios::in | std::ios::binary);
    if (!ifs.is_open()) {
        ZID_LOG_INFO("failed to open resumable task file: %s", task_file_path.c_str());
        return false;
    }
    ZID_LOG_INFO("resumable task file: %s exists, try to parse", task_file_path.c_str());
    Poco::Dynamic::Var parsed;
    try {
        Poco::JSON::Parser parser;
        parsed = parser.parse(ifs);
    } catch (const Poco::Exception& e) {
        ZID_LOG_ERR("failed to parse resumable task file, error msg: %s", e.displayText().c_str());
        return false;
    } catch (const std::exception& e) {
        ZID_LOG_ERR("failed to parse resumable task file, error msg: %s", e.what());
        return false;
    }
    Poco::JSON::Object::Ptr obj;
    try {
        obj = parsed.extract<Poco::JSON::Object::Ptr>();
    } catch (...) {
    }
    if (obj.isNull()) {
        ZID_LOG_ERR("failed to parse resumable task file:%s", task_file_path.c_str());
        return false;
    }
    for (const auto& kv : element_map) {
        std::string local = JsonString(obj, kv.first);
        if (local != kv.second) {
            ZID_LOG_ERR("%s check failed, local:%s, remote:%s", kv.first.c_str(), local.c_str(),
                        kv.second.c_str());
            return false;
        }
        ZID_LOG_DBG("%s check passed", kv.first.c_str());
    }
    uint64_t offset = StringUtil::ParseUint64(JsonString(obj, "resumeOffset"));
    auto it = element_map.find("contentLength");
    uint64_t length = it == element_map.end() ? 0 : StringUtil::ParseUint64(it->second);
    if (offset > 0 && offset <= length) {
        *resume_offset = offset;
        ZID_LOG_DBG("resume download task check passed, resume_offset: %" PRIu64, offset);
        return true;
    }
    ZID_LOG_ERR("invalid resume_offset: %" PRIu64, offset);
    return false;
}

void ObjectOp::UpdateResumableDownloadTaskFile(const std::string& task_file_path,
                                               const std::map<std::string, std::string>& element_map,
                                               uint64_t resume_offset) {
    ZID_LOG_INFO("update file: %s", task_file_path.c_str());
    Poco::JSON::Object obj;
    for (const auto& kv : element_map) obj.set(kv.first, kv.second);
    if (resume_offset > 0) obj.set("resumeOffset", std::to_string(resume_offset));
    // Written beside and renamed, so a process killed mid-write leaves the old checkpoint.
    std::string tmp_path = task_file_path + ".tmp";
    {
        std::ofstream ofs(tmp_path.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
        if (!ofs.is_open()) {
            ZID_LOG_ERR("failed to open file:%s", tmp_path.c_str());
            return;
        }
        obj.stringify(ofs, 0, -1);
        ofs.close();
        if (ofs.fail()) {
            ZID_LOG_ERR("failed to write file:%s", tmp_path.c_str());
            ::remove(tmp_path.c_str());
            return;
        }
    }
    if (::rename(tmp_path.c_str(), task_file_path.c_str()) != 0) {
        ZID_LOG_ERR("failed to rename %s, errno=%d", tmp_path.c_str(), errno);
        ::remove(tmp_path.c_str());
    }
}

ZidResult ObjectOp::ResumableGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                                       const std::shared_ptr<TransferHandler>& handler,
                                       bool change_backup_domain) {
    ZidResult result;
    int fd = -1;
    try {
        if (!CheckDownloadInput(req, resp, handler, &result)) return result;
        const std::string local_path = req.GetLocalFilePath();
        const std::string task_file_path = local_path + kTaskFileSuffix;

        // A second pass runs only after a resumed file failed its CRC: then from 0.
        for (int pass = 0; pass < 2; ++pass) {
            result = ZidResult();
            HeadObjectResp head_resp;
            ZidResult head_result;
            if (!MeasureObject(req, handler, change_backup_domain, &head_resp, &head_result)) {
                return head_result;
            }
            const uint64_t total = head_resp.GetContentLength();
            const std::string crc_text = head_resp.GetXZidHashCrc64Ecma();
            const std::string etag = head_resp.GetEtag();
            std::map<std::string, std::string> identity;
            identity["contentLength"] = std::to_string(total);
            identity["crc64ecma"] = crc_text;
            identity["eTag"] = etag;
            identity["lastModified"] = head_resp.GetLastModified();

            uint64_t resume_offset = 0;
            if (CheckResumableDownloadTask(task_file_path, identity, &resume_offset)) {
                ZID_LOG_INFO("resumable task file check passed, resume_offset: %" PRIu64, resume_offset);
                int64_t local_size = FileUtil::GetFileLength(local_path);
                if (local_size < 0 || static_cast<uint64_t>(local_size) != resume_offset) {
                    ZID_LOG_ERR("resume_offset: %" PRIu64 " != local_filesize: %" PRId64
                                ", don't use resume download",
                                resume_offset, local_size);
                    resume_offset = 0;
                }
            } else {
                ::remove(task_file_path.c_str());
            }

            SliceRun run;
            run.req = &req;
            run.handler = handler;
            run.path = req.GetPath();
            run.headers = req.GetHeaders();
            run.params = req.GetParams();
            std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                               req.GetBucketName(),
                                                               change_backup_domain);
            run.headers["Host"] = IsDomainSameToHost() ? GetDestDomain() : host;
            if (!etag.empty()) run.headers["If-Match"] = QuotedEtag(etag);
            std::string token = GetSecurityToken();
            if (!token.empty()) run.headers["x-zid-security-token"] = token;
            if (!req.SignHeaderHost()) run.not_signed.insert("Host");
            run.url = GetRealUrl(host, req.GetPath(), req.IsHttps());
            run.compute_crc = !crc_text.empty();

            if (resume_offset > 0) {
                bool read_ok = false;
                run.crc = FileUtil::GetFileCrc64(local_path, &read_ok);
                ZID_LOG_INFO("crc64_local: %" PRIu64, run.crc);
                if (!read_ok) {
                    resume_offset = 0;
                    run.crc = 0;
                }
            }
            if (resume_offset > 0) {
                fd = ::open(local_path.c_str(), O_WRONLY | O_CREAT, 0755);
            } else {
                fd = ::open(local_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0755);
            }
            if (fd < 0) {
                SetResultAndLogError(result, "open file(" + local_path + ") fail, errno=" +
                                                 std::to_string(errno));
                if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
                return result;
            }
            if (resume_offset > 0 && ::ftruncate(fd, static_cast<off_t>(resume_offset)) != 0) {
                resume_offset = 0;
                run.crc = 0;
                if (::ftruncate(fd, 0) != 0) {
                    SetResultAndLogError(result, "truncate file(" + local_path + ") fail, errno=" +
                                                     std::to_string(errno));
                    ::close(fd);
                    fd = -1;
                    if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
                    return result;
                }
            }

            run.fd = fd;
            run.start = resume_offset;
            run.total = total;
            // The checkpoint follows every completed batch, so a killed process resumes.
            run.after_batch = [&](uint64_t downloaded) {
                UpdateResumableDownloadTaskFile(task_file_path, identity, downloaded);
            };
            if (handler) {
                handler->SetTotalSize(total);
                handler->ChangeStatus(TransferStatus::IN_PROGRESS);
                if (pass == 0 && resume_offset > 0) handler->AdvanceProgress(resume_offset);
            }

            bool ok = RunSlices(*this, &run);
            result = run.result;
            if (!ok) {
                ZID_LOG_ERR("down data failed");
                ZID_LOG_INFO("truncate file to %" PRIu64, run.downloaded);
                if (::ftruncate(fd, static_cast<off_t>(run.downloaded)) != 0) {
                    ZID_LOG_ERR("truncate file failed, errno=%d", errno);
                }
                ::close(fd);
                fd = -1;
                UpdateResumableDownloadTaskFile(task_file_path, identity, run.downloaded);
                if (!run.failed_headers.empty()) resp->ParseFromHeaders(run.failed_headers);
                SetResultAndLogError(result, "download data failed");
                if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
                return result;
            }

            uint64_t local_size = FileSizeOfFd(fd);
            ::close(fd);
            fd = -1;
            if (local_size != total) {
                ::remove(task_file_path.c_str());
                SetResultAndLogError(result, "down data, local file size " +
                                                 std::to_string(local_size) +
                                                 " differs from object size " +
                                                 std::to_string(total));
                if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
                return result;
            }
            ZID_LOG_INFO("down data succeed, start to check crc64");
            if (crc_text.empty() || run.crc == StringUtil::ParseUint64(crc_text)) {
                if (crc_text.empty()) {
                    ZID_LOG_INFO("no crc64 from the service, check skipped");
                } else {
                    ZID_LOG_INFO("crc64 check passed");
                }
                ::remove(task_file_path.c_str());
                resp->ParseFromHeaders(head_resp.GetHeaders());
                resp->SetContentLength(total);
                resp->SetEtag(etag);
                result.SetSucc();
                if (handler) {
                    handler->ChangeStatusWithResponse(TransferStatus::COMPLETED, result,
                                                      resp->GetHeaders(), "");
                }
                return result;
            }
            ZID_LOG_ERR("crc64 check failed, crc64_local: %" PRIu64 ", crc64_server_resp: %s",
                        run.crc, crc_text.c_str());
            ::remove(task_file_path.c_str());
            if (resume_offset > 0 && pass == 0) {
                ZID_LOG_INFO("need to redownload, remove %s, %s", task_file_path.c_str(),
                             local_path.c_str());
                ::remove(local_path.c_str());
                continue;
            }
            SetResultAndLogError(result, "crc64 check failed, crc64_local: " +
                                             std::to_string(run.crc) +
                                             ", crc64_server_resp: " + crc_text);
            if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
            return result;
        }
        return result;
    } catch (const std::exception& e) {
        return FailDownload(fd, handler, std::string("download data failed, exception: ") + e.what(),
                            &result);
    } catch (...) {
        return FailDownload(fd, handler, "download data failed, unknown exception", &result);
    }
}

// ---------------------------------------------------------------------------------
// part-level requests

ZidResult ObjectOp::InitMultiUpload(const InitMultiUploadReq& req, InitMultiUploadResp* resp,
                                    bool change_backup_domain) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    additional_params["uploads"] = "";
    return DocumentAction(host, req.GetPath(), req, additional_headers, additional_params, "", false,
                          resp);
}

ZidResult ObjectOp::CompleteMultiUpload(const CompleteMultiUploadReq& req,
                                        CompleteMultiUploadResp* resp, bool change_backup_domain) {
    ZidResult result;
    std::string body;
    if (!req.GenerateRequestBody(&body)) {
        result.SetErrorMsg(
            "GenerateCompleteMultiUploadReqBody fail, check your part_numbers and etags.");
        result.SetFail();
        return result;
    }
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    additional_params["uploadId"] = req.GetUploadId();
    result = DocumentAction(host, req.GetPath(), req, additional_headers, additional_params, body,
                            true, resp);
    if (result.IsSucc() && resp->GetEtag().empty()) {
        result.SetFail();
        result.SetErrorCode("ServerError");
        result.SetErrorMsg("Complete Fail");
    } else {
        resp->AddEtagToHeader();
    }
    return result;
}

ZidResult ObjectOp::AbortMultiUpload(const AbortMultiUploadReq& req, AbortMultiUploadResp* resp,
                                     bool change_backup_domain) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    additional_params["uploadId"] = req.GetUploadId();
    return NormalAction(host, req.GetPath(), req, additional_headers, additional_params, "", false,
                        resp);
}

ZidResult ObjectOp::ListParts(const ListPartsReq& req, ListPartsResp* resp,
                              bool change_backup_domain) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    return DocumentAction(host, req.GetPath(), req, {}, {}, "", false, resp);
}

ZidResult ObjectOp::UploadPartData(const UploadPartDataReq& req, UploadPartDataResp* resp,
                                   bool change_backup_domain) {
    ZidResult result;
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    additional_params["uploadId"] = req.GetUploadId();
    additional_params["partNumber"] = std::to_string(req.GetPartNumber());

    std::istream& is = req.GetStream();
    if (is.peek() == std::char_traits<char>::eof()) {
        is.clear();
        result.SetErrorMsg("Input Stream is empty.");
        result.SetFail();
        return result;
    }
    std::string md5_hex;
    if (req.GetHeader("Content-MD5").empty()) {
        std::streampos pos = is.tellg();
        md5_hex = Md5HexOfStream(is);
        is.clear();
        is.seekg(pos);
        if (req.ShouldComputeContentMd5()) {
            additional_headers["Content-MD5"] =
                CodecUtil::Base64Encode(CodecUtil::HexDecode(md5_hex));
        }
    }
    std::streampos pos = is.tellg();
    result = UploadAction(host, req.GetPath(), req, additional_headers, additional_params, is, resp);
    is.clear();
    is.seekg(pos);
    if (result.IsSucc() && !md5_hex.empty()) {
        std::string etag = resp->GetEtag();
        if (etag.size() == 32 && etag != md5_hex) {
            result.SetFail();
            result.SetErrorMsg("Response etag is not correct, Please try again.");
            ZID_LOG_ERR("Response etag is not correct, Please try again. Expect md5 is: %s, but "
                        "return etag is: %s. RequestId: %s",
                        md5_hex.c_str(), etag.c_str(), resp->GetXZidRequestId().c_str());
        }
    }
    return result;
}

ZidResult ObjectOp::UploadPartCopyData(const UploadPartCopyDataReq& req,
                                       UploadPartCopyDataResp* resp, bool change_backup_domain) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    additional_params["uploadId"] = req.GetUploadId();
    additional_params["partNumber"] = std::to_string(req.GetPartNumber());
    return DocumentAction(host, req.GetPath(), req, additional_headers, additional_params, "", false,
                          resp);
}

ZidResult ObjectOp::DeleteObjects(const DeleteObjectsReq& req, DeleteObjectsResp* resp,
                                  bool change_backup_domain) {
    ZidResult result;
    std::string body;
    if (!req.GenerateRequestBody(&body)) {
        result.SetErrorMsg("Generate DeleteObjects Request Body fail.");
        result.SetFail();
        return result;
    }
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    additional_headers["Content-MD5"] = CodecUtil::Base64Encode(CodecUtil::Md5Bytes(body));
    return DocumentAction(host, req.GetPath(), req, additional_headers, additional_params, body,
                          false, resp);
}

ZidResult ObjectOp::GetObjectACL(const ObjectReq& req, GetObjectACLResp* resp,
                                 bool change_backup_domain) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    return DocumentAction(host, req.GetPath(), req, {}, {}, "", false, resp);
}

// ---------------------------------------------------------------------------------
// multipart upload

namespace {

const uint64_t kMaxParts = 10000;

struct PartLayout {
    uint64_t size = 0;
    uint64_t part_size = 0;
    uint64_t count = 0;
    uint64_t last_len = 0;
};

PartLayout ComputeLayout(uint64_t file_size, uint64_t part_size) {
    if (part_size == 0) part_size = 1;
    PartLayout p;
    p.size = file_size;
    p.part_size = part_size;
    p.count = file_size / part_size + (file_size % part_size ? 1 : 0);
    p.last_len = file_size % part_size ? file_size % part_size : part_size;
    return p;
}

}  // namespace

void ObjectOp::PrepareUploadPartTask(FileUploadTask* task, const std::string& upload_id,
                                     const std::string& host, const std::string& path,
                                     unsigned char* data, uint64_t len, uint64_t part_number,
                                     bool sign_header_host) {
    std::map<std::string, std::string> params;
    params["uploadId"] = upload_id;
    params["partNumber"] = std::to_string(part_number);
    std::map<std::string, std::string> headers;
    headers["Host"] = IsDomainSameToHost() ? GetDestDomain() : host;
    std::unordered_set<std::string> not_signed;
    if (!sign_header_host) not_signed.insert("Host");
    headers["Content-Length"] = std::to_string(len);
    task->AddParams(params);
    task->AddHeaders(headers);
    // Signed per part: the window starts when the part is sent.
    std::string auth = AuthTool::SignFromNow(GetAccessKey(), GetSecretKey(), "PUT", path,
                                             headers, params, not_signed);
    std::map<std::string, std::string> signed_headers;
    signed_headers["Authorization"] = auth;
    std::string token = GetSecurityToken();
    if (!token.empty()) signed_headers["x-zid-security-token"] = token;
    task->AddHeaders(signed_headers);
    task->SetPartData(data, len);
}

std::string ObjectOp::FindResumeUploadId(const BaseReq& req, const std::string& bucket_name,
                                         const std::string& object_name, bool change_backup_domain) {
    ListMultipartUploadReq list_req(bucket_name);
    list_req.SetPrefix(object_name);
    CopyTlsSettings(req, &list_req);
    ListMultipartUploadResp list_resp;
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(), bucket_name,
                                                       change_backup_domain);
    NormalAction(host, list_req.GetPath(), list_req, "", false, &list_resp);
    std::vector<Upload> uploads = list_resp.GetUpload();
    for (auto it = uploads.rbegin(); it != uploads.rend(); ++it) {
        if (it->m_key == object_name) return it->m_upload_id;
    }
    return "";
}

bool ObjectOp::CheckSinglePart(const PutObjectByFileReq& req, uint64_t offset,
                               uint64_t local_part_size, uint64_t size, const std::string& etag) {
    if (local_part_size != size) return false;
    std::ifstream ifs(req.GetLocalFilePath().c_str(), std::ios::in | std::ios::binary);
    if (!ifs.is_open()) {
        ZID_LOG_ERR("CheckSinglePart: failed to open file %s", req.GetLocalFilePath().c_str());
        return false;
    }
    std::unique_ptr<unsigned char[]> buf(new unsigned char[local_part_size ? local_part_size : 1]);
    ifs.seekg(static_cast<std::streamoff>(offset), std::ios::beg);
    ifs.read(reinterpret_cast<char*>(buf.get()), static_cast<std::streamsize>(local_part_size));
    if (static_cast<uint64_t>(ifs.gcount()) != local_part_size) return false;
    return Md5HexOfBytes(buf.get(), local_part_size) == etag;
}

bool ObjectOp::CheckUploadPart(const PutObjectByFileReq& req, const std::string& bucket_name,
                               const std::string& object_name, const std::string& upload_id,
                               std::vector<std::string>* already_exist_parts) {
    std::ifstream ifs(req.GetLocalFilePath().c_str(), std::ios::in | std::ios::binary);
    if (!ifs.is_open()) {
        ZID_LOG_ERR("CheckUploadPart: failed to open file %s", req.GetLocalFilePath().c_str());
        return false;
    }
    ifs.close();
    int64_t file_size = FileUtil::GetFileLength(req.GetLocalFilePath());
    if (file_size < 0) return false;
    PartLayout layout = ComputeLayout(static_cast<uint64_t>(file_size),
                                      ClientSettings::GetUploadPartSize());
    if (layout.count > kMaxParts) return false;

    std::vector<Part> parts;
    ListPartsReq list_req(bucket_name, object_name, upload_id);
    uint64_t marker = 0;
    // A service that keeps answering "truncated" without moving on must not loop forever.
    for (int page = 0; page < 10001; ++page) {
        list_req.SetPartNumberMarker(std::to_string(marker));
        CopyTlsSettings(req, &list_req);
        ListPartsResp list_resp;
        ListParts(list_req, &list_resp, false);
        std::vector<Part> page_parts = list_resp.GetParts();
        parts.insert(parts.end(), page_parts.begin(), page_parts.end());
        if (!list_resp.IsTruncated()) break;
        uint64_t next = list_resp.GetNextPartNumberMarker();
        if (next <= marker) return false;
        marker = next;
    }
    for (const Part& part : parts) {
        uint64_t n = part.m_part_num;
        if (n < 1 || n > layout.count) return false;
        uint64_t offset = (n - 1) * layout.part_size;
        uint64_t len = n == layout.count ? layout.last_len : layout.part_size;
        if (!CheckSinglePart(req, offset, len, part.m_size, part.m_etag)) {
            ZID_LOG_INFO("check single part failed");
            return false;
        }
        (*already_exist_parts)[n - 1] = part.m_etag;
    }
    return true;
}

ZidResult ObjectOp::MultiThreadUpload(const PutObjectByFileReq& req, const std::string& upload_id,
                                      const std::vector<std::string>& already_exist_parts,
                                      bool resume_flag, std::vector<std::string>* etags_ptr,
                                      std::vector<uint64_t>* part_numbers_ptr,
                                      const std::shared_ptr<TransferHandler>& handler,
                                      bool change_backup_domain) {
    // The handler's final status is the caller's to set, once, with the whole outcome.
    ZidResult result;
    std::string path = "/" + req.GetObjectName();
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    std::string local_path = req.GetLocalFilePath();
    std::ifstream ifs(local_path.c_str(), std::ios::in | std::ios::binary);
    if (!ifs.is_open()) {
        SetResultAndLogError(result, "Failed to open file " + local_path);
        return result;
    }
    int64_t file_size = FileUtil::GetFileLength(local_path);
    PartLayout layout = ComputeLayout(file_size < 0 ? 0 : static_cast<uint64_t>(file_size),
                                      ClientSettings::GetUploadPartSize());
    if (layout.count > kMaxParts) {
        SetResultAndLogError(result, "Upload failed, part number: " + std::to_string(layout.count) +
                                         " larger than 10000");
        return result;
    }
    // More slots than the pool can run would leave tasks waiting for no thread.
    unsigned slots = PoolSize(ClientSettings::GetUploadThreadPoolSize());
    uint64_t part_size = layout.part_size;

    std::vector<std::unique_ptr<unsigned char[]>> buffers;
    std::vector<std::unique_ptr<FileUploadTask>> tasks;
    std::string url = GetRealUrl(host, path, req.IsHttps());
    for (unsigned i = 0; i < slots; ++i) {
        buffers.emplace_back(new unsigned char[part_size]);
        tasks.emplace_back(new FileUploadTask(url, req.GetHeaders(), req.GetParams(),
                                              req.GetConnTimeoutInms(), req.GetRecvTimeoutInms(),
                                              handler, req.GetVerifyCert(), req.GetCaLocation(),
                                              req.GetSSLCtxCallback(), req.GetSSLCtxCbData()));
    }
    ZID_LOG_DBG("upload data, url=%s, poolsize=%u, part_size=%" PRIu64 ", file_size=%" PRIu64,
                url.c_str(), slots, part_size, layout.size);
    PoolGuard guard(slots);

    uint64_t offset = 0;
    uint64_t part_number = 1;
    bool failed = false;
    while (offset < layout.size && !failed) {
        if (handler && !handler->IsNotCancelled()) {
            SetResultAndLogError(result, "Request canceled by user");
            failed = true;
            break;
        }
        unsigned used = 0;
        for (unsigned k = 0; k < slots && offset < layout.size; ++k) {
            uint64_t want = std::min<uint64_t>(part_size, layout.size - offset);
            ifs.read(reinterpret_cast<char*>(buffers[k].get()), static_cast<std::streamsize>(want));
            uint64_t got = static_cast<uint64_t>(ifs.gcount());
            // A file that shrank under us must not be completed as a shorter object.
            if (got != want) {
                SetResultAndLogError(result, "Upload failed, read " + std::to_string(got) +
                                                 " bytes of part " + std::to_string(part_number) +
                                                 " instead of " + std::to_string(want) +
                                                 ", local file changed: " + local_path);
                failed = true;
                break;
            }
            ZID_LOG_DBG("upload data, task_index=%u, file_size=%" PRIu64 ", offset=%" PRIu64
                        ", len=%" PRIu64,
                        k, layout.size, offset, got);
            FileUploadTask* task = tasks[k].get();
            const std::string& stored = already_exist_parts[part_number - 1];
            if (!resume_flag || stored.empty()) {
                task->SetResume(false);
                PrepareUploadPartTask(task, upload_id, host, path, buffers[k].get(), got,
                                      part_number, req.SignHeaderHost());
                guard.pool.start(*task);
            } else {
                task->SetResume(true);
                task->SetResumeEtag(stored);
                task->SetTaskSuccess();
                ZID_LOG_INFO("part etag: %s", stored.c_str());
                ZID_LOG_INFO("upload data part:%" PRIu64 " has resumed", part_number);
                if (handler) handler->AdvanceProgress(got);
            }
            offset += got;
            part_numbers_ptr->push_back(part_number);
            ++part_number;
            ++used;
        }
        guard.pool.joinAll();
        if (failed) break;
        for (unsigned k = 0; k < used; ++k) {
            FileUploadTask* task = tasks[k].get();
            if (!task->IsSucc()) {
                ZID_LOG_ERR("upload data, upload task fail, rsp:%s", task->GetBody().c_str());
                FailedResultFromTask(task->GetHttpStatus(), task->GetErrMsg(), task->GetHeaders(),
                                     task->GetBody(), &result);
                failed = true;
                break;
            }
            if (task->IsResume()) {
                etags_ptr->push_back(task->GetResumeEtag());
                continue;
            }
            std::map<std::string, std::string> headers = task->GetHeaders();
            auto it = headers.find("ETag");
            if (it == headers.end()) {
                result.SetHttpStatus(task->GetHttpStatus());
                SetResultAndLogError(result, "upload failed response header missing etag");
                failed = true;
                break;
            }
            etags_ptr->push_back(it->second);
        }
    }
    if (!failed) result.SetSucc();
    return result;
}

ZidResult ObjectOp::OpenMultiUpload(const PutObjectByFileReq& req, bool change_backup_domain,
                                    std::string* upload_id, bool* resumed,
                                    std::vector<std::string>* resume_etags,
                                    InitMultiUploadResp* init_resp) {
    const std::string bucket = req.GetBucketName();
    const std::string object = req.GetObjectName();
    *upload_id = FindResumeUploadId(req, bucket, object, change_backup_domain);
    *resumed = !upload_id->empty() && CheckUploadPart(req, bucket, object, *upload_id, resume_etags);
    ZidResult result;
    if (*resumed) {
        result.SetSucc();
        return result;
    }
    std::fill(resume_etags->begin(), resume_etags->end(), std::string());
    upload_id->clear();
    InitMultiUploadReq init_req(bucket, object);
    CopyTlsSettings(req, &init_req);
    init_req.AddHeaders(req.GetHeaders());
    init_req.SetConnTimeoutInms(req.GetConnTimeoutInms());
    init_req.SetRecvTimeoutInms(req.GetRecvTimeoutInms());
    result = InitMultiUpload(init_req, init_resp, change_backup_domain);
    if (!result.IsSucc()) {
        SetResultAndLogError(result, "Init multipart upload failed");
        return result;
    }
    *upload_id = init_resp->GetUploadId();
    return result;
}

ZidResult ObjectOp::CompleteUploadedParts(const PutObjectByFileReq& req,
                                          const std::string& upload_id,
                                          const std::vector<std::string>& etags,
                                          const std::vector<uint64_t>& part_numbers,
                                          bool change_backup_domain,
                                          CompleteMultiUploadResp* comp_resp) {
    CompleteMultiUploadReq comp_req(req.GetBucketName(), req.GetObjectName(), upload_id);
    comp_req.SetConnTimeoutInms(req.GetConnTimeoutInms());
    // The service assembles the parts before it answers.
    comp_req.SetRecvTimeoutInms(req.GetRecvTimeoutInms() * 2);
    comp_req.SetEtags(etags);
    comp_req.SetPartNumbers(part_numbers);
    CopyTlsSettings(req, &comp_req);
    ZidResult result = CompleteMultiUpload(comp_req, comp_resp, change_backup_domain);
    std::string remote_crc = comp_resp->GetXZidHashCrc64Ecma();
    if (req.CheckCRC64() && result.IsSucc() && !remote_crc.empty()) {
        uint64_t local = FileUtil::GetFileCrc64(req.GetLocalFilePath());
        uint64_t remote = StringUtil::ParseUint64(remote_crc);
        ZID_LOG_DBG("crc64 check crc64_server_resp:[%" PRIu64 "], crc64_origin:[%" PRIu64
                    "], is same:[%s]",
                    remote, local, local == remote ? "true" : "false");
        if (local != remote) {
            SetResultAndLogError(result,
                                 "MultiUploadObject failed, crc64 check failed, crc64_origin: " +
                                     std::to_string(local) +
                                     ", crc64_server_resp: " + std::to_string(remote));
        }
    }
    return result;
}

ZidResult ObjectOp::MultiUploadObject(const PutObjectByFileReq& req, MultiPutObjectResp* resp,
                                      const std::shared_ptr<TransferHandler>& handler,
                                      bool change_backup_domain) {
    ZidResult result;
    try {
        if (!handler && !resp) {
            SetResultAndLogError(result, "Invalid input parameter");
            return result;
        }
        std::string upload_id;
        bool resumed = false;
        std::vector<std::string> resume_etags(kMaxParts);
        InitMultiUploadResp init_resp;
        result = OpenMultiUpload(req, change_backup_domain, &upload_id, &resumed, &resume_etags,
                                 &init_resp);
        if (!result.IsSucc()) {
            if (resp) resp->CopyFromInit(init_resp);
            if (handler) {
                handler->ChangeStatusWithResult(ShouldRetryOnBackup(*this, change_backup_domain, result)
                                                    ? TransferStatus::RETRY_ON_BACKUP_DOMAIN
                                                    : TransferStatus::FAILED,
                                                result);
            }
            return result;
        }
        if (upload_id.empty()) {
            SetResultAndLogError(result, "upload id empty");
            if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
            return result;
        }
        ZID_LOG_INFO("Multi upload object, resume_uploadid:%s, resumed:%d", upload_id.c_str(),
                     resumed ? 1 : 0);
        if (handler) {
            handler->SetUploadID(upload_id);
            handler->ChangeStatus(TransferStatus::IN_PROGRESS);
        }
        std::vector<std::string> etags;
        std::vector<uint64_t> part_numbers;
        ZidResult r = MultiThreadUpload(req, upload_id, resume_etags, resumed, &etags, &part_numbers,
                                        handler, change_backup_domain);
        if (handler && !handler->IsNotCancelled()) {
            SetResultAndLogError(r, "Request canceled by user");
            handler->ChangeStatusWithResult(TransferStatus::CANCELED, r);
            return r;
        }
        if (!r.IsSucc()) {
            if (handler) {
                handler->ChangeStatusWithResult(ShouldRetryOnBackup(*this, change_backup_domain, r)
                                                    ? TransferStatus::RETRY_ON_BACKUP_DOMAIN
                                                    : TransferStatus::FAILED,
                                                r);
            }
            return r;
        }

        CompleteMultiUploadResp comp_resp;
        result = CompleteUploadedParts(req, upload_id, etags, part_numbers, change_backup_domain,
                                       &comp_resp);
        if (result.IsSucc()) {
            if (handler) {
                handler->ChangeStatusWithResponse(TransferStatus::COMPLETED, result,
                                                  comp_resp.GetHeaders(), comp_resp.GetBody());
            } else {
                resp->CopyFromComplete(comp_resp);
            }
        } else if (handler) {
            handler->ChangeStatusWithResult(ShouldRetryOnBackup(*this, change_backup_domain, result)
                                                ? TransferStatus::RETRY_ON_BACKUP_DOMAIN
                                                : TransferStatus::FAILED,
                                            result);
        }
        return result;
    } catch (const std::exception& e) {
        SetResultAndLogError(result, std::string("multipart upload failed, exception: ") + e.what());
        if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
        return result;
    }
}

ZidResult ObjectOp::SingleThreadUpload(const PutObjectByFileReq& req, const std::string& upload_id,
                                       const std::vector<std::string>& already_exist_parts,
                                       bool resume_flag, std::vector<std::string>* etags_ptr,
                                       std::vector<uint64_t>* part_numbers_ptr,
                                       UploadPartDataResp* resp) {
    ZidResult result;
    std::string local_path = req.GetLocalFilePath();
    std::ifstream ifs(local_path.c_str(), std::ios::in | std::ios::binary);
    if (!ifs.is_open()) {
        SetResultAndLogError(result, "Failed to open file " + local_path);
        return result;
    }
    int64_t file_size = FileUtil::GetFileLength(local_path);
    PartLayout layout = ComputeLayout(file_size < 0 ? 0 : static_cast<uint64_t>(file_size),
                                      ClientSettings::GetUploadPartSize());
    if (layout.count > kMaxParts) {
        SetResultAndLogError(result, "Upload failed, part number: " + std::to_string(layout.count) +
                                         " larger than 10000");
        return result;
    }
    std::unique_ptr<char[]> buf(new char[layout.part_size]);
    ZID_LOG_DBG("upload data, part_size=%" PRIu64 ", file_size=%" PRIu64, layout.part_size,
                layout.size);
    uint64_t offset = 0;
    uint64_t n = 1;
    std::string traffic_limit = req.GetHeader("x-zid-traffic-limit");
    while (offset < layout.size) {
        uint64_t want = std::min<uint64_t>(layout.part_size, layout.size - offset);
        ifs.read(buf.get(), static_cast<std::streamsize>(want));
        uint64_t got = static_cast<uint64_t>(ifs.gcount());
        // A file that shrank under us must not be completed as a shorter object.
        if (got != want) {
            SetResultAndLogError(result, "Upload failed, read " + std::to_string(got) +
                                             " bytes of part " + std::to_string(n) + " instead of " +
                                             std::to_string(want) +
                                             ", local file changed: " + local_path);
            return result;
        }
        ZID_LOG_DBG("upload data, part_number=%" PRIu64 ", file_size=%" PRIu64 ", offset=%" PRIu64
                    ", len=%" PRIu64,
                    n, layout.size, offset, got);
        if (!resume_flag || already_exist_parts[n - 1].empty()) {
            std::istringstream part_stream(std::string(buf.get(), got));
            UploadPartDataReq part_req(req.GetBucketName(), req.GetObjectName(), upload_id,
                                       part_stream);
            part_req.SetPartNumber(n);
            CopyTlsSettings(req, &part_req);
            if (!traffic_limit.empty()) part_req.SetTrafficLimit(traffic_limit);
            *resp = UploadPartDataResp();
            ZidResult part_result = UploadPartData(part_req, resp, false);
            if (part_result.IsSucc()) {
                std::string etag = resp->GetEtag();
                if (etag.empty()) {
                    result.SetHttpStatus(part_result.GetHttpStatus());
                    SetResultAndLogError(result, "upload failed response header missing etag");
                    return result;
                }
                etags_ptr->push_back(etag);
            } else {
                ZID_LOG_ERR("upload data, upload task fail, rsp:%s", resp->DumpText().c_str());
                result.SetHttpStatus(part_result.GetHttpStatus());
                if (part_result.GetHttpStatus() == -1) {
                    result.SetErrorMsg(part_result.GetErrorMsg());
                } else if (!result.ParseFromHttpResponse(resp->GetHeaders(), resp->GetBody())) {
                    result.SetErrorMsg(resp->GetBody().empty() ? part_result.GetErrorMsg()
                                                               : resp->GetBody());
                }
                result.SetFail();
                return result;
            }
        } else {
            ZID_LOG_INFO("part etag: %s", already_exist_parts[n - 1].c_str());
            ZID_LOG_INFO("upload data part:%" PRIu64 " has resumed", n);
            etags_ptr->push_back(already_exist_parts[n - 1]);
        }
        offset += got;
        part_numbers_ptr->push_back(n);
        ++n;
    }
    result.SetSucc();
    return result;
}

ZidResult ObjectOp::UploadObjectResumableSingleThreadSync(const PutObjectByFileReq& req,
                                                          ResumableUploadResp* resp) {
    ZidResult result;
    try {
        if (!resp) {
            SetResultAndLogError(result, "Invalid input parameter");
            return result;
        }
        std::string upload_id;
        bool resumed = false;
        std::vector<std::string> resume_etags(kMaxParts);
        InitMultiUploadResp init_resp;
        result = OpenMultiUpload(req, false, &upload_id, &resumed, &resume_etags, &init_resp);
        if (!result.IsSucc()) {
            resp->CopyFromInit(init_resp);
            return result;
        }
        if (upload_id.empty()) {
            SetResultAndLogError(result, "upload id empty");
            resp->CopyFromInit(init_resp);
            return result;
        }
        ZID_LOG_INFO("Multi upload object, resume_uploadid:%s, resumed:%d", upload_id.c_str(),
                     resumed ? 1 : 0);
        std::vector<std::string> etags;
        std::vector<uint64_t> part_numbers;
        UploadPartDataResp part_resp;
        ZidResult r = SingleThreadUpload(req, upload_id, resume_etags, resumed, &etags,
                                         &part_numbers, &part_resp);
        if (!r.IsSucc()) {
            resp->CopyFromUpload(part_resp);
            return r;
        }
        CompleteMultiUploadResp comp_resp;
        result = CompleteUploadedParts(req, upload_id, etags, part_numbers, false, &comp_resp);
        if (result.IsSucc()) resp->CopyFromComplete(comp_resp);
        return result;
    } catch (const std::exception& e) {
        SetResultAndLogError(result, std::string("resumable upload failed, exception: ") + e.what());
        return result;
    }
}


// ---------------------------------------------------------------------------------
// server-side copy and move

namespace {

const uint64_t kSingleCopyLimit = 5368709120ULL;  // 5 GiB

// Region of a bucket host: the host name has the bucket as its first label, then either
// the storage label and the region, or one of the short region names alone.
std::string RegionOfHost(const std::string& host) {
    std::string rest = host;
    for (const char* suffix : {ClientSettings::kPrimaryDomainSuffix, ClientSettings::kBackupDomainSuffix}) {
        if (StringUtil::HasSuffix(rest, suffix)) {
            rest = rest.substr(0, rest.size() - std::strlen(suffix));
            break;
        }
    }
    size_t dot = rest.find('.');
    if (dot == std::string::npos) return "";
    rest = rest.substr(dot + 1);
    std::string label = std::string(ClientSettings::kServiceLabel) + ".";
    if (StringUtil::HasPrefix(rest, label)) rest = rest.substr(label.size());
    // A foreign domain keeps more labels: the region is the next one.
    return rest.substr(0, rest.find('.'));
}

std::string NormalRegion(const std::string& region) {
    std::string label = std::string(ClientSettings::kServiceLabel) + ".";
    return StringUtil::HasPrefix(region, label) ? region.substr(label.size()) : region;
}

}  // namespace

ZidResult ObjectOp::PutObjectCopy(const PutObjectCopyReq& req, PutObjectCopyResp* resp,
                                  bool change_backup_domain) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    ZidResult result = DocumentAction(host, req.GetPath(), req, {}, {}, "", true, resp);
    if (result.IsSucc() && resp->GetEtag().empty()) {
        result.SetFail();
        result.SetErrorCode("ServerError");
        result.SetErrorMsg("Complete Fail");
    }
    return result;
}

ZidResult ObjectOp::CopyUnguarded(const CopyReq& req, CopyResp* resp, bool change_backup_domain) {
    ZID_LOG_DBG("Copy request=%s", req.DumpText().c_str());
    ZidResult result;
    std::string source = req.GetHeader("x-zid-copy-source");
    if (source.empty()) {
        ZID_LOG_ERR("You must SetXZidCopySource before call Copy.");
        result.SetErrorMsg("You must SetXZidCopySource before call Copy.");
        result.SetFail();
        return result;
    }
    std::vector<std::string> dot_pieces;
    StringUtil::SplitByChar(source, '.', &dot_pieces);
    if (dot_pieces.size() <= 2) {
        ZID_LOG_ERR("x-zid-copy-source is illegal, source = %s", source.c_str());
        result.SetErrorMsg("Check XZidCopySource.");
        result.SetFail();
        return result;
    }
    size_t slash = source.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 >= source.size()) {
        ZID_LOG_ERR("x-zid-copy-source is illegal, source = %s", source.c_str());
        result.SetErrorMsg("Copy fail, please check XZidCopySource.");
        result.SetFail();
        return result;
    }
    std::string src_host = source.substr(0, slash);
    std::string src_path = source.substr(slash);
    // The copy source carries the key percent-encoded; the HEAD wants the key itself.
    std::string src_key;
    Poco::URI::decode(src_path, src_key);
    std::string src_bucket = src_host.substr(0, src_host.find('.'));
    std::string src_region = RegionOfHost(src_host);

    // Size decides, in every region: one request cannot copy 5 GiB or more.
    HeadObjectReq head_req(src_bucket, src_key);
    head_req.SetConnTimeoutInms(req.GetConnTimeoutInms());
    head_req.SetRecvTimeoutInms(req.GetRecvTimeoutInms());
    std::string head_host = src_host;
    if (change_backup_domain && IsDefaultHost(src_host)) head_host = ChangeHostSuffix(src_host);
    HeadObjectResp head_resp;
    ZidResult head_result = NormalAction(head_host, head_req.GetPath(), head_req, "", false, &head_resp);
    if (!head_result.IsSucc()) {
        ZID_LOG_ERR("Get object length before download object fail, req=[%s]", req.DumpText().c_str());
        head_result.SetErrorMsg("Copy fail, can't get source object length.");
        return head_result;
    }
    uint64_t length = head_resp.GetContentLength();
    if (length < kSingleCopyLimit) {
        if (src_region == NormalRegion(GetRegion())) {
            ZID_LOG_INFO("Same region[%s], use put object copy.", src_region.c_str());
        } else {
            ZID_LOG_INFO("File Size=%" PRIu64 "less than 5G, use put object copy.", length);
        }
        PutObjectCopyReq copy_req(req.GetBucketName(), req.GetObjectName());
        copy_req.AddHeaders(req.GetHeaders());
        CopyTlsSettings(req, &copy_req);
        copy_req.SetConnTimeoutInms(req.GetConnTimeoutInms());
        copy_req.SetRecvTimeoutInms(req.GetRecvTimeoutInms());
        PutObjectCopyResp copy_resp;
        result = PutObjectCopy(copy_req, &copy_resp, change_backup_domain);
        if (result.IsSucc()) resp->CopyFromPutObjectCopy(copy_resp);
        return result;
    }

    uint64_t part_size = req.GetPartSize();
    if (part_size == 0 || length >= part_size * 10000) {
        ZID_LOG_ERR("Source Object is too large or your upload copy part size in configis too "
                    "small, src obj size=%" PRIu64 ", copy_part_size=%" PRIu64,
                    length, part_size);
        result = head_result;
        result.SetFail();
        result.SetErrorMsg(
            "Could not copy object, because of object size is too large or part size is too small.");
        return result;
    }

    InitMultiUploadReq init_req(req.GetBucketName(), req.GetObjectName());
    init_req.SetConnTimeoutInms(req.GetConnTimeoutInms());
    init_req.SetRecvTimeoutInms(req.GetRecvTimeoutInms());
    init_req.AddHeaders(req.GetInitHeader());
    CopyTlsSettings(req, &init_req);
    InitMultiUploadResp init_resp;
    result = InitMultiUpload(init_req, &init_resp, change_backup_domain);
    if (!result.IsSucc()) {
        ZID_LOG_ERR("InitMultiUpload in Copy fail, req=[%s], result=[%s]",
                    init_req.DumpText().c_str(), result.DumpText().c_str());
        return result;
    }
    std::string upload_id = init_resp.GetUploadId();
    std::map<std::string, std::string> part_headers = req.GetPartCopyHeader();
    unsigned pool_size = PoolSize(std::min<uint64_t>(req.GetThreadPoolSize(), length / part_size + 1));
    std::string path = "/" + req.GetObjectName();
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    std::string url = GetRealUrl(host, path, req.IsHttps());
    std::vector<std::unique_ptr<FileCopyTask>> tasks;
    for (unsigned i = 0; i < pool_size; ++i) {
        tasks.emplace_back(new FileCopyTask(url, req.GetConnTimeoutInms(), req.GetRecvTimeoutInms()));
    }
    std::unordered_set<std::string> not_signed;
    if (!req.SignHeaderHost()) not_signed.insert("Host");

    std::vector<uint64_t> part_numbers;
    std::vector<std::string> etags;
    FileCopyTask* failed_task = nullptr;
    {
        PoolGuard guard(pool_size);
        uint64_t offset = 0;
        uint64_t part_number = 1;
        while (offset < length && !failed_task) {
            unsigned started = 0;
            for (unsigned k = 0; k < pool_size && offset < length; ++k) {
                // The range is inclusive: every part but the last covers part_size + 1 bytes.
                uint64_t end = offset + part_size;
                if (end >= length) end = length - 1;
                std::string range = "bytes=" + std::to_string(offset) + "-" + std::to_string(end);
                ZID_LOG_DBG("copy data, task_index=%u, file_size=%" PRIu64 ", offset=%" PRIu64
                            ", end=%" PRIu64,
                            k, length, offset, end);
                std::map<std::string, std::string> params = req.GetParams();
                params.insert({"uploadId", upload_id});
                params.insert({"partNumber", std::to_string(part_number)});
                std::map<std::string, std::string> headers = part_headers;
                headers["Host"] = IsDomainSameToHost() ? GetDestDomain() : host;
                headers["x-zid-copy-source-range"] = range;
                headers["Content-Length"] = "0";
                headers["Authorization"] = AuthTool::SignFromNow(GetAccessKey(), GetSecretKey(), "PUT",
                                                                 path, headers, params, not_signed);
                std::string token = GetSecurityToken();
                if (!token.empty()) headers["x-zid-security-token"] = token;
                FileCopyTask* task = tasks[k].get();
                task->SetParams(params);
                task->SetHeaders(headers);
                task->SetVerifyCert(req.GetVerifyCert());
                task->SetCaLocation(req.GetCaLocation());
                task->SetSSLCtxCallback(req.GetSSLCtxCallback(), req.GetSSLCtxCbData());
                guard.pool.start(*task);
                part_numbers.push_back(part_number);
                ++part_number;
                offset = end + 1;
                ++started;
            }
            guard.pool.joinAll();
            for (unsigned k = 0; k < started; ++k) {
                if (!tasks[k]->IsTaskSuccess()) {
                    failed_task = tasks[k].get();
                    break;
                }
                ZID_LOG_DBG("Copy succ");
                etags.push_back(tasks[k]->GetEtag());
            }
        }
    }

    if (failed_task) {
        ZID_LOG_ERR("Copy failed , upload_id=%s, task_resp=%s", upload_id.c_str(),
                    failed_task->GetRespBody().c_str());
        AbortMultiUploadReq abort_req(req.GetBucketName(), req.GetObjectName(), upload_id);
        CopyTlsSettings(req, &abort_req);
        AbortMultiUploadResp abort_resp;
        ZidResult abort_result = AbortMultiUpload(abort_req, &abort_resp, change_backup_domain);
        if (!abort_result.IsSucc()) {
            ZID_LOG_ERR("Copy failed, and abort muliti upload also failed, upload_id=%s",
                        upload_id.c_str());
            return abort_result;
        }
        ZID_LOG_ERR("Copy failed, abort upload part copy, upload_id=%s", upload_id.c_str());
        ZidResult part_result;
        FailedResultFromTask(failed_task->GetHttpStatus(), failed_task->GetErrMsg(),
                             failed_task->GetRespHeaders(), failed_task->GetRespBody(), &part_result);
        return part_result;
    }

    CompleteMultiUploadReq comp_req(req.GetBucketName(), req.GetObjectName(), upload_id);
    comp_req.SetConnTimeoutInms(req.GetConnTimeoutInms());
    comp_req.SetRecvTimeoutInms(req.GetRecvTimeoutInms() * 2);
    comp_req.SetEtags(etags);
    comp_req.SetPartNumbers(part_numbers);
    CopyTlsSettings(req, &comp_req);
    CompleteMultiUploadResp comp_resp;
    result = CompleteMultiUpload(comp_req, &comp_resp, change_backup_domain);
    if (result.IsSucc()) resp->CopyFromComplete(comp_resp);
    return result;
}

ZidResult ObjectOp::MoveObjectUnguarded(const MoveObjectReq& req, bool change_backup_domain) {
    ZidResult result;
    const std::string src = req.GetSrcObjectName();
    const std::string dst = req.GetDstObjectName();
    auto strip = [](const std::string& k) { return !k.empty() && k[0] == '/' ? k.substr(1) : k; };
    // Copying an object onto itself and deleting the source would lose it.
    if (strip(src) == strip(dst)) {
        SetResultAndLogError(result, "Move failed, source and destination are the same object: " + src);
        return result;
    }
    CopyReq copy_req(req.GetBucketName(), dst);
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    copy_req.SetXZidCopySource(host + "/" + CodecUtil::EncodePath(strip(src)));
    CopyTlsSettings(req, &copy_req);
    CopyResp copy_resp;
    result = Copy(copy_req, &copy_resp, change_backup_domain);
    if (!result.IsSucc()) {
        ZID_LOG_ERR("failed to copy object from: %s to :%s", src.c_str(), dst.c_str());
        return result;
    }
    DeleteObjectReq del_req(req.GetBucketName(), src);
    CopyTlsSettings(req, &del_req);
    DeleteObjectResp del_resp;
    ZidResult del_result = DeleteObject(del_req, &del_resp, change_backup_domain);
    if (!del_result.IsSucc()) {
        ZID_LOG_ERR("failed to delete src object: %s", src.c_str());
        return del_result;
    }
    return result;
}

// ---------------------------------------------------------------------------------
// directories

ZidResult ObjectOp::PutDirectory(const PutDirectoryReq& req, PutDirectoryResp* resp,
                                 bool change_backup_domain) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    std::istringstream empty;
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    return UploadAction(host, req.GetPath(), req, additional_headers, additional_params, empty, resp);
}

namespace {

std::string JoinKey(const std::string& prefix, const std::string& rel) {
    std::string r = rel;
    while (!r.empty() && r[0] == '/') r.erase(0, 1);
    if (prefix.empty()) return r;
    std::string p = prefix;
    while (!p.empty() && p.back() == '/') p.pop_back();
    if (p.empty()) return r;
    return p + "/" + r;
}

}  // namespace

ZidResult ObjectOp::PutObjectsUnguarded(const PutObjectsByDirectoryReq& req,
                                        PutObjectsByDirectoryResp* resp, bool change_backup_domain) {
    ZidResult result;
    std::string directory = req.GetDirectoryName();
    if (directory.empty() || !FileUtil::DirectoryExists(directory)) {
        std::string msg = "directory :" + directory + " not exists";
        ZID_LOG_ERR("%s", msg.c_str());
        result.SetErrorMsg(msg);
        result.SetFail();
        return result;
    }
    std::string root = directory;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    const std::string bucket = req.GetBucketName();
    const std::string zid_path = req.GetZidPath();

    // Walked by hand so links are never followed: no loops, nothing outside the tree.
    std::vector<std::string> stack{""};
    while (!stack.empty()) {
        std::string rel_dir = stack.back();
        stack.pop_back();
        std::string abs_dir = rel_dir.empty() ? root : root + "/" + rel_dir;
        DIR* dir = ::opendir(abs_dir.c_str());
        if (!dir) {
            SetResultAndLogError(result, "failed to open directory: " + abs_dir);
            return result;
        }
        std::vector<std::string> names;
        while (struct dirent* ent = ::readdir(dir)) {
            std::string name = ent->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        std::vector<std::string> subdirs;
        for (const std::string& name : names) {
            std::string rel = rel_dir.empty() ? name : rel_dir + "/" + name;
            std::string local = root + "/" + rel;
            struct stat st;
            if (::lstat(local.c_str(), &st) != 0) continue;
            std::string key = JoinKey(zid_path, rel);
            PutObjectsByDirectoryResp::PutResp entry;
            entry.m_file_name = local;
            entry.m_object_name = key;
            if (S_ISDIR(st.st_mode)) {
                PutDirectoryReq dir_req(bucket, key);
                dir_req.AddHeaders(req.GetHeaders());
                PutDirectoryResp dir_resp;
                ZID_LOG_DBG("start to mkdir: %s", local.c_str());
                ZidResult r = PutDirectory(dir_req, &dir_resp, change_backup_domain);
                if (!r.IsSucc()) {
                    ZID_LOG_ERR("failed to mkdir: %s", local.c_str());
                    return r;
                }
                entry.m_resp.CopyFrom(dir_resp);
                resp->AddPutResp(entry);
                subdirs.push_back(rel);
            } else if (S_ISREG(st.st_mode)) {
                PutObjectByFileReq file_req(bucket, key, local);
                file_req.AddHeaders(req.GetHeaders());
                PutObjectByFileResp file_resp;
                ZID_LOG_DBG("start to upload %s to %s", local.c_str(), key.c_str());
                ZidResult r = PutObject(file_req, &file_resp, nullptr, change_backup_domain);
                if (!r.IsSucc()) {
                    ZID_LOG_ERR("failed to upload file: %s to zid", local.c_str());
                    return r;
                }
                entry.m_resp.CopyFrom(file_resp);
                resp->AddPutResp(entry);
            } else {
                // FIFOs block, sockets cannot be read, links may leave the tree.
                ZID_LOG_WARN("skip %s: not a regular file or folder", local.c_str());
            }
        }
        // Depth first, a folder's contents before its next sibling.
        for (auto it = subdirs.rbegin(); it != subdirs.rend(); ++it) stack.push_back(*it);
    }
    result.SetSucc();
    return result;
}

// ---------------------------------------------------------------------------------
// access control and tagging

ZidResult ObjectOp::PutObjectACL(const PutObjectACLReq& req, BaseResp* resp,
                                 bool change_backup_domain) {
    ZidResult result;
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    std::string body;
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    const auto& headers = req.GetHeaders();
    bool in_headers = headers.count("x-zid-acl") || headers.count("x-zid-grant-read") ||
                      headers.count("x-zid-grant-write") || headers.count("x-zid-grant-full-control");
    if (!in_headers) {
        if (!req.GenerateRequestBody(&body)) {
            result.SetErrorMsg("Generate PutObjectACL Request Body fail.");
            result.SetFail();
            return result;
        }
        additional_headers["Content-MD5"] = CodecUtil::Base64Encode(CodecUtil::Md5Bytes(body));
    }
    return NormalAction(host, req.GetPath(), req, additional_headers, additional_params, body, false,
                        resp);
}

ZidResult ObjectOp::PutObjectTagging(const PutObjectTaggingReq& req, BaseResp* resp) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), false);
    std::string body;
    req.GenerateRequestBody(&body);
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    additional_headers["Content-MD5"] = CodecUtil::Base64Encode(CodecUtil::Md5Bytes(body));
    return NormalAction(host, req.GetPath(), req, additional_headers, additional_params, body, false,
                        resp);
}

ZidResult ObjectOp::GetObjectTagging(const GetObjectTaggingReq& req, GetObjectTaggingResp* resp) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), false);
    return DocumentAction(host, req.GetPath(), req, {}, {}, "", false, resp);
}

ZidResult ObjectOp::DeleteObjectTagging(const DeleteObjectTaggingReq& req, BaseResp* resp) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), false);
    return NormalAction(host, req.GetPath(), req, "", false, resp);
}

// ---------------------------------------------------------------------------------
// presigned URL and wrappers

std::string ObjectOp::GeneratePresignedUrl(const GeneratePresignedUrlReq& req) {
    if (req.GetObjectName().empty()) return "ObjectName does not support empty, please check!";
    std::string host;
    if (!GetDestDomain().empty()) {
        host = GetDestDomain();
    } else {
        host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(), req.GetBucketName(), false);
    }
    BaseReq sign_req;
    sign_req.AddHeaders(req.GetHeaders());
    sign_req.AddHeader("Host", host);
    std::unordered_set<std::string> not_signed;
    if (!req.SignHeaderHost()) not_signed.insert("Host");

    std::map<std::string, std::string> params = req.GetParams();
    std::string token = GetSecurityToken();
    // A temporary credential is useless without its token; it travels as a signed parameter.
    if (!token.empty()) params["x-zid-security-token"] = token;

    std::string sign;
    if (req.GetStartTimeInSec() != 0 && req.GetExpiredTimeInSec() != 0) {
        sign = AuthTool::Sign(GetAccessKey(), GetSecretKey(), req.GetMethod(), req.GetPath(),
                              sign_req.GetHeaders(), params, req.GetStartTimeInSec(),
                              req.GetStartTimeInSec() + req.GetExpiredTimeInSec(), not_signed);
    } else {
        sign = AuthTool::SignFromNow(GetAccessKey(), GetSecretKey(), req.GetMethod(), req.GetPath(),
                                     sign_req.GetHeaders(), params, not_signed);
    }
    if (sign.empty()) return "";
    std::string url = GetRealUrl(host, req.GetPath(), req.UseHttps(), true) +
                      "?sign=" + CodecUtil::EncodeValue(sign);
    // Encoded as they were signed, so the service sees the same bytes.
    for (const auto& kv : params) {
        url += "&" + CodecUtil::EncodeValue(kv.first);
        if (!kv.second.empty()) url += "=" + CodecUtil::EncodeValue(kv.second);
    }
    return url;
}

ZidResult ObjectOp::PlainObjectRequest(const ObjectReq& req, BaseResp* resp,
                                       bool change_backup_domain) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    return NormalAction(host, req.GetPath(), req, "", false, resp);
}

ZidResult ObjectOp::RetryingPutObjectByStream(const PutObjectByStreamReq& req,
                                              PutObjectByStreamResp* resp) {
    PutObjectByStreamReq first(req);
    ZidResult result = PutObject(first, resp, nullptr, false);
    ZidResult copy = result;
    if (IsDefaultDomainInUse() && NeedsBackupDomainRetry(copy)) {
        PutObjectByStreamReq second(req);
        result = PutObject(second, resp, nullptr, true);
    }
    return result;
}

// The boundaries: a request constructor refuses a bad bucket name by throwing; callers get a result.
ZidResult ObjectOp::Copy(const CopyReq& req, CopyResp* resp, bool change_backup_domain) {
    return Guarded("copy", nullptr, [&] { return CopyUnguarded(req, resp, change_backup_domain); });
}

ZidResult ObjectOp::MoveObject(const MoveObjectReq& req, bool change_backup_domain) {
    return Guarded("move", nullptr, [&] { return MoveObjectUnguarded(req, change_backup_domain); });
}

ZidResult ObjectOp::PutObjects(const PutObjectsByDirectoryReq& req, PutObjectsByDirectoryResp* resp,
                               bool change_backup_domain) {
    return Guarded("directory upload", nullptr,
                   [&] { return PutObjectsUnguarded(req, resp, change_backup_domain); });
}

ZidResult ObjectOp::GetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                              const std::shared_ptr<TransferHandler>& handler,
                              bool change_backup_domain) {
    return Guarded("download", handler,
                   [&] { return GetObjectUnguarded(req, resp, handler, change_backup_domain); });
}

ZidResult ObjectOp::PutObject(const PutObjectByStreamReq& req, PutObjectByStreamResp* resp,
                              const std::shared_ptr<TransferHandler>& handler,
                              bool change_backup_domain) {
    return Guarded("upload", handler,
                   [&] { return PutObjectUnguarded(req, resp, handler, change_backup_domain); });
}

ZidResult ObjectOp::PutObject(const PutObjectByFileReq& req, PutObjectByFileResp* resp,
                              const std::shared_ptr<TransferHandler>& handler,
                              bool change_backup_domain) {
    return Guarded("upload", handler,
                   [&] { return PutObjectUnguarded(req, resp, handler, change_backup_domain); });
}

}  // namespace zuzezi_zid
