#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <fstream>
#include <sstream>

#include "ClientSettings.h"
#include "op/FileUploadTask.h"
#include "op/ObjectOpDetail.h"
#include "op/RollingWindow.h"
#include "op/UploadSource.h"
#include "request/BucketReq.h"
#include "response/BucketResp.h"
#include "util/AuthTool.h"
#include "util/FileUtil.h"
#include "util/LogUtil.h"
#include "util/Md5Digest.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

using namespace op_detail;

namespace {

const uint64_t kMaxParts = 10000;

// The part file stays open while workers read it and is closed on every way out.
class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

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
    // The service completes no upload without a part: an empty file is one empty part.
    if (file_size == 0) {
        p.count = 1;
        p.last_len = 0;
    }
    return p;
}

// The file an upload reads, measured and cut into parts; false with the failure in result when
// it did not open or needs more parts than one upload may have.
bool LayOutParts(const std::string& local_path, bool opened, PartLayout* layout,
                 ZidResult* result) {
    if (!opened) {
        ObjectOp::SetResultAndLogError(*result, "Failed to open file " + local_path);
        return false;
    }
    int64_t file_size = FileUtil::GetFileLength(local_path);
    *layout = ComputeLayout(file_size < 0 ? 0 : static_cast<uint64_t>(file_size),
                            ClientSettings::GetUploadPartSize());
    if (layout->count > kMaxParts) {
        ObjectOp::SetResultAndLogError(*result, "Upload failed, part number: " +
                                                    std::to_string(layout->count) +
                                                    " larger than 10000");
        return false;
    }
    return true;
}

}  // namespace

void ObjectOp::PrepareUploadPartTask(const std::string& upload_id, const std::string& host,
                                     const std::string& path, uint64_t len,
                                     uint64_t part_number, FileUploadTask* task,
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
    const ZidCredentials credentials = GetCredentials();
    std::string auth = AuthTool::SignFromNow(credentials.access_key, credentials.secret_key, "PUT", path,
                                             headers, params, not_signed);
    std::map<std::string, std::string> signed_headers;
    signed_headers["Authorization"] = auth;
    const std::string& token = credentials.security_token;
    if (!token.empty()) signed_headers["x-zid-security-token"] = token;
    task->AddHeaders(signed_headers);
}

std::string ObjectOp::FindResumeUploadId(const BaseReq& req, const std::string& bucket_name,
                                         const std::string& object_name, bool change_backup_domain) {
    std::vector<std::string> ids =
        ListResumeUploadIds(req, bucket_name, object_name, change_backup_domain);
    return ids.empty() ? std::string() : ids.front();
}

std::vector<std::string> ObjectOp::ListResumeUploadIds(const BaseReq& req,
                                                       const std::string& bucket_name,
                                                       const std::string& object_name,
                                                       bool change_backup_domain) {
    ListMultipartUploadReq list_req(bucket_name);
    list_req.SetPrefix(object_name);
    CopyTlsSettings(req, &list_req);
    ListMultipartUploadResp list_resp;
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(), bucket_name,
                                                       change_backup_domain);
    NormalAction(host, list_req.GetPath(), list_req, "", false, &list_resp);
    std::vector<Upload> uploads = list_resp.GetUpload();
    std::vector<std::string> ids;
    for (auto it = uploads.rbegin(); it != uploads.rend(); ++it) {
        if (it->m_key == object_name) ids.push_back(it->m_upload_id);
    }
    return ids;
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
    return Md5Digest::HexOf(buf.get(), static_cast<size_t>(local_part_size)) == etag;
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
    UniqueFd fd(::open(local_path.c_str(), O_RDONLY | O_CLOEXEC));
    PartLayout layout;
    if (!LayOutParts(local_path, fd.get() >= 0, &layout, &result)) return result;
    // More slots than the pool can run would leave tasks waiting for no thread.
    unsigned slots = PoolSize(ClientSettings::GetUploadThreadPoolSize());
    uint64_t part_size = layout.part_size;

    // Each worker reads, hashes and sends its own part, piece by piece, and takes the next part
    // as soon as it is free; this thread only signs parts and keeps their results in order.
    DoneSlots done;
    std::vector<std::unique_ptr<FileUploadTask>> tasks;
    std::string url = GetRealUrl(host, path, req.IsHttps());
    for (unsigned i = 0; i < slots; ++i) {
        tasks.emplace_back(new FileUploadTask(url, req.GetHeaders(), req.GetParams(),
                                              req.GetConnTimeoutInms(), req.GetRecvTimeoutInms(),
                                              handler, req.GetVerifyCert(), req.GetCaLocation(),
                                              req.GetSSLCtxCallback(), req.GetSSLCtxCbData()));
        tasks.back()->SetDoneCallback([&done, i] { done.Report(i); });
    }
    ZID_LOG_DBG("upload data, url=%s, poolsize=%u, part_size=%" PRIu64 ", file_size=%" PRIu64,
                url.c_str(), slots, part_size, layout.size);
    std::vector<std::string> part_etags(layout.count);
    PoolGuard guard(slots);

    WindowSteps steps;
    steps.cancelled = [&] {
        if (!handler || handler->IsNotCancelled()) return false;
        SetResultAndLogError(result, "Request canceled by user");
        return true;
    };
    steps.start = [&](unsigned k, uint64_t unit) -> bool {
        const uint64_t part_number = unit + 1;
        const uint64_t offset = unit * part_size;
        const uint64_t len = part_number == layout.count ? layout.last_len : part_size;
        ZID_LOG_DBG("upload data, task_index=%u, file_size=%" PRIu64 ", offset=%" PRIu64
                    ", len=%" PRIu64,
                    k, layout.size, offset, len);
        FileUploadTask* task = tasks[k].get();
        const std::string& stored = already_exist_parts[unit];
        if (resume_flag && !stored.empty()) {
            // Already checked against the file when the upload was resumed.
            task->SetResume(true);
            task->SetResumeEtag(stored);
            task->SetTaskSuccess();
            ZID_LOG_INFO("part etag: %s", stored.c_str());
            ZID_LOG_INFO("upload data part:%" PRIu64 " has resumed", part_number);
            if (handler) handler->AdvanceProgress(len);
            done.Report(k);
            return true;
        }
        task->SetResume(false);
        PrepareUploadPartTask(upload_id, host, path, len, part_number, task, req.SignHeaderHost());
        task->SetFilePart(fd.get(), offset, len);
        StartOnPool(guard.pool, *task);
        return true;
    };
    steps.finish = [&](unsigned k, uint64_t unit) -> bool {
        FileUploadTask* task = tasks[k].get();
        if (task->ReadShort()) {
            // A file that shrank under us must not be completed as a shorter object.
            SetResultAndLogError(result, "Upload failed, read " + std::to_string(task->GetReadLength()) +
                                             " bytes of part " + std::to_string(unit + 1) +
                                             " instead of " +
                                             std::to_string(unit + 1 == layout.count ? layout.last_len
                                                                                    : part_size) +
                                             ", local file changed: " + local_path);
            return false;
        }
        if (!task->IsSucc()) {
            ZID_LOG_ERR("upload data, upload task fail, rsp:%s",
                        LogUtil::QuoteBody(task->GetBody()).c_str());
            FailedResultFromTask(task->GetHttpStatus(), task->GetErrMsg(), task->GetHeaders(),
                                 task->GetBody(), &result);
            return false;
        }
        if (task->IsResume()) {
            part_etags[unit] = task->GetResumeEtag();
            return true;
        }
        std::map<std::string, std::string> headers = task->GetHeaders();
        auto it = headers.find("ETag");
        if (it == headers.end()) {
            result.SetHttpStatus(task->GetHttpStatus());
            SetResultAndLogError(result, "upload failed response header missing etag");
            return false;
        }
        part_etags[unit] = it->second;
        return true;
    };
    steps.exhausted = [](unsigned k) { ZID_LOG_DBG("read over, task_index: %d", static_cast<int>(k)); };
    if (!RunWindow(slots, layout.count, static_cast<uint64_t>(slots) * kSliceWindowPerWorker, &done,
                   steps)) {
        return result;
    }
    for (uint64_t i = 0; i < layout.count; ++i) {
        part_numbers_ptr->push_back(i + 1);
        etags_ptr->push_back(part_etags[i]);
    }
    result.SetSucc();
    return result;
}

ZidResult ObjectOp::OpenMultiUpload(const PutObjectByFileReq& req, bool change_backup_domain,
                                    std::string* upload_id, bool* resumed,
                                    std::vector<std::string>* resume_etags,
                                    InitMultiUploadResp* init_resp,
                                    std::vector<std::string>* rejected_ids) {
    const std::string bucket = req.GetBucketName();
    const std::string object = req.GetObjectName();
    // Every upload of the key that earlier runs left is looked at: the one that matches goes on,
    // and those that do not are the replacement's to abort.
    *resumed = false;
    upload_id->clear();
    for (const std::string& id : ListResumeUploadIds(req, bucket, object, change_backup_domain)) {
        std::fill(resume_etags->begin(), resume_etags->end(), std::string());
        if (CheckUploadPart(req, bucket, object, id, resume_etags)) {
            *resumed = true;
            *upload_id = id;
            break;
        }
        if (rejected_ids) rejected_ids->push_back(id);
    }
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
                                          CompleteMultiUploadResp* comp_resp,
                                          const std::vector<std::string>& rejected_ids) {
    CompleteMultiUploadReq comp_req(req.GetBucketName(), req.GetObjectName(), upload_id);
    comp_req.SetConnTimeoutInms(req.GetConnTimeoutInms());
    // The service assembles the parts before it answers.
    comp_req.SetRecvTimeoutInms(req.GetRecvTimeoutInms() * 2);
    comp_req.SetEtags(etags);
    comp_req.SetPartNumbers(part_numbers);
    CopyTlsSettings(req, &comp_req);
    ZidResult result = CompleteMultiUpload(comp_req, comp_resp, change_backup_domain);
    // Left open, the service would keep the rejected upload's parts (and bill them) for ever.
    for (const std::string& rejected_id : rejected_ids) {
        if (!result.IsSucc()) break;
        AbortLeftUpload(req, rejected_id, change_backup_domain, "replaced");
    }
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

void ObjectOp::AbortLeftUpload(const PutObjectByFileReq& req, const std::string& upload_id,
                               bool change_backup_domain, const char* which) {
    AbortMultiUploadReq abort_req(req.GetBucketName(), req.GetObjectName(), upload_id);
    abort_req.SetConnTimeoutInms(req.GetConnTimeoutInms());
    abort_req.SetRecvTimeoutInms(req.GetRecvTimeoutInms());
    CopyTlsSettings(req, &abort_req);
    AbortMultiUploadResp abort_resp;
    ZidResult aborted = AbortMultiUpload(abort_req, &abort_resp, change_backup_domain);
    if (!aborted.IsSucc()) {
        ZID_LOG_WARN("abort of the %s upload %s failed, status=%d, msg=%s", which,
                     upload_id.c_str(), aborted.GetHttpStatus(), aborted.GetErrorMsg().c_str());
    }
}

bool ObjectOp::AbortWhenChanged(const PutObjectByFileReq& req, const UploadSource& source,
                                const std::string& upload_id, bool change_backup_domain,
                                ZidResult* result) {
    if (!source.Changed()) return false;
    // Its parts were read from more than one version of the file: nothing may resume it.
    AbortLeftUpload(req, upload_id, change_backup_domain, "changed file's");
    *result = ZidResult();
    SetResultAndLogError(*result, source.ChangedMessage());
    return true;
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
        UploadSource source;
        std::string why;
        if (!source.Open(req.GetLocalFilePath(), &why)) {
            SetResultAndLogError(result, why);
            if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
            return result;
        }
        source.SettleTimes();
        std::string upload_id;
        bool resumed = false;
        std::vector<std::string> resume_etags(kMaxParts);
        InitMultiUploadResp init_resp;
        std::vector<std::string> rejected_ids;
        result = OpenMultiUpload(req, change_backup_domain, &upload_id, &resumed, &resume_etags,
                                 &init_resp, &rejected_ids);
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
        if (AbortWhenChanged(req, source, upload_id, change_backup_domain, &r)) {
            if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, r);
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
                                       &comp_resp, rejected_ids);
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
    PartLayout layout;
    if (!LayOutParts(local_path, ifs.is_open(), &layout, &result)) return result;
    std::unique_ptr<char[]> buf(new char[layout.part_size]);
    ZID_LOG_DBG("upload data, part_size=%" PRIu64 ", file_size=%" PRIu64, layout.part_size,
                layout.size);
    uint64_t offset = 0;
    uint64_t n = 1;
    std::string traffic_limit = req.GetHeader("x-zid-traffic-limit");
    // By part, not by offset: an empty file still has its one empty part.
    while (n <= layout.count) {
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
            ZidResult part_result;
            if (got == 0) {
                // UploadPartData refuses an empty stream, and only an empty file's part is one.
                std::map<std::string, std::string> params{{"uploadId", upload_id},
                                                          {"partNumber", std::to_string(n)}};
                std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                                   req.GetBucketName(), false);
                part_result = UploadAction(host, part_req.GetPath(), part_req, {}, params,
                                           part_stream, resp);
            } else {
                part_result = UploadPartData(part_req, resp, false);
            }
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
        UploadSource source;
        std::string why;
        if (!source.Open(req.GetLocalFilePath(), &why)) {
            SetResultAndLogError(result, why);
            return result;
        }
        source.SettleTimes();
        std::string upload_id;
        bool resumed = false;
        std::vector<std::string> resume_etags(kMaxParts);
        InitMultiUploadResp init_resp;
        std::vector<std::string> rejected_ids;
        result = OpenMultiUpload(req, false, &upload_id, &resumed, &resume_etags, &init_resp,
                                 &rejected_ids);
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
        if (AbortWhenChanged(req, source, upload_id, false, &r)) return r;
        if (!r.IsSucc()) {
            resp->CopyFromUpload(part_resp);
            return r;
        }
        CompleteMultiUploadResp comp_resp;
        result = CompleteUploadedParts(req, upload_id, etags, part_numbers, false, &comp_resp,
                                       rejected_ids);
        if (result.IsSucc()) resp->CopyFromComplete(comp_resp);
        return result;
    } catch (const std::exception& e) {
        SetResultAndLogError(result, std::string("resumable upload failed, exception: ") + e.what());
        return result;
    }
}

}  // namespace zuzezi_zid
