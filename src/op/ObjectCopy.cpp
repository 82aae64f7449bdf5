#include <algorithm>
#include <cinttypes>
#include <cstring>

#include <Poco/URI.h>

#include "ClientSettings.h"
#include "op/FileCopyTask.h"
#include "op/ObjectOpDetail.h"
#include "util/AuthTool.h"
#include "util/CodecUtil.h"
#include "util/LogUtil.h"
#include "util/RequestHead.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

using namespace op_detail;

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
    // The copy source carries the key percent-encoded, and a version after "?"; the HEAD
    // wants the key itself and the version as its parameter.
    std::string src_query;
    size_t question = src_path.find('?');
    if (question != std::string::npos) {
        src_query = src_path.substr(question + 1);
        src_path.erase(question);
    }
    std::string src_key;
    Poco::URI::decode(src_path, src_key);
    std::string src_bucket = src_host.substr(0, src_host.find('.'));
    std::string src_region = RegionOfHost(src_host);

    // Size decides, in every region: one request cannot copy 5 GiB or more.
    HeadObjectReq head_req(src_bucket, src_key);
    head_req.SetConnTimeoutInms(req.GetConnTimeoutInms());
    head_req.SetRecvTimeoutInms(req.GetRecvTimeoutInms());
    CopyTlsSettings(req, &head_req);
    std::vector<std::string> query_pieces;
    StringUtil::SplitByChar(src_query, '&', &query_pieces);
    for (const std::string& piece : query_pieces) {
        size_t eq = piece.find('=');
        std::string name;
        std::string value;
        Poco::URI::decode(piece.substr(0, eq), name);
        if (eq != std::string::npos) Poco::URI::decode(piece.substr(eq + 1), value);
        if (name == "versionId") head_req.AddParam(name, value);
    }
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

    // The part copies carry these headers: one they could never send fails the copy before an
    // upload is opened for it.
    std::map<std::string, std::string> part_headers = req.GetPartCopyHeader();
    const std::string part_fault = RequestFieldFault("PUT", part_headers, nullptr);
    if (!part_fault.empty()) {
        SetResultAndLogError(result, part_fault);
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
                const ZidCredentials credentials = GetCredentials();
                headers["Authorization"] = AuthTool::SignFromNow(credentials.access_key, credentials.secret_key, "PUT",
                                                                 path, headers, params, not_signed);
                const std::string& token = credentials.security_token;
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
    DeleteObjectReq del_req(req.GetBucketName(), strip(src));
    CopyTlsSettings(req, &del_req);
    DeleteObjectResp del_resp;
    ZidResult del_result = DeleteObject(del_req, &del_resp, change_backup_domain);
    if (!del_result.IsSucc()) {
        ZID_LOG_ERR("failed to delete src object: %s", src.c_str());
        return del_result;
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

}  // namespace zuzezi_zid
