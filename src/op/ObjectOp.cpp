#include "op/ObjectOp.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "ClientSettings.h"
#include "op/ObjectOpDetail.h"
#include "op/StagedDownload.h"
#include "op/UploadSource.h"
#include "trsf/TransferHandler.h"
#include "util/AuthTool.h"
#include "util/CodecUtil.h"
#include "util/LogUtil.h"
#include "util/Md5Digest.h"
#include "util/MemoryBody.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

using namespace op_detail;

namespace op_detail {

unsigned PoolSize(uint64_t wanted) {
    if (wanted < 1) return 1;
    if (wanted > kMaxPoolThreads) return kMaxPoolThreads;
    return static_cast<unsigned>(wanted);
}

void CopyTlsSettings(const BaseReq& from, BaseReq* to) {
    if (!from.IsHttps()) return;
    to->SetHttps();
    to->SetVerifyCert(from.GetVerifyCert());
    to->SetCaLocation(from.GetCaLocation());
    to->SetSSLCtxCallback(from.GetSSLCtxCallback(), from.GetSSLCtxCbData());
}

bool CheckGetKey(const std::string& path, ZidResult* result) {
    if (StringUtil::IsObjectKeyLegal(path)) return true;
    result->SetErrorCode("GetObjectKeyIllegal");
    result->SetErrorMsg("The Getobject Key is illegal");
    result->SetFail();
    return false;
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

ZidResult FailDownload(int fd, const std::shared_ptr<TransferHandler>& handler,
                       const std::string& why, ZidResult* result) {
    if (fd >= 0) ::close(fd);
    ObjectOp::SetResultAndLogError(*result, why);
    if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, *result);
    return *result;
}

}  // namespace op_detail

namespace {

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
    if (!CheckGetKey(req.GetPath(), &result)) return result;
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    return DownloadAction(host, req.GetPath(), req, resp, req.GetStream());
}

ZidResult ObjectOp::DownloadToLocalFile(const std::string& host, const ObjectReq& req,
                                        BaseResp* resp,
                                        const std::shared_ptr<TransferHandler>& handler,
                                        bool* opened) {
    ZidResult result;
    std::string local_path = req.GetLocalFilePath();
    // A failed download must leave the file it would have replaced as it was.
    StagedDownload target(local_path);
    int fd = target.Open();
    if (fd >= 0) ::close(fd);
    std::ofstream ofs;
    if (fd >= 0) ofs.open(target.WritePath().c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
    *opened = ofs.is_open();
    if (!*opened) {
        result.SetErrorMsg("Open local file fail, local file=" + local_path +
                           (target.Why().empty() ? "" : ", " + target.Why()));
        result.SetFail();
        return result;
    }
    result = DownloadAction(host, req.GetPath(), req, resp, ofs, handler);
    ofs.close();
    if (result.IsSucc() && ofs.fail()) {
        SetResultAndLogError(result, "write local file fail, local file=" + local_path);
    }
    if (result.IsSucc() && !target.Commit()) {
        SetResultAndLogError(result, "rename file(" + target.WritePath() + ") to (" + local_path +
                                         ") fail, errno=" + std::to_string(errno));
    }
    return result;
}

ZidResult ObjectOp::GetObjectUnguarded(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                              const std::shared_ptr<TransferHandler>& handler,
                              bool change_backup_domain) {
    ZidResult result;
    if (!CheckGetKey(req.GetPath(), &result)) {
        if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
        return result;
    }
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    bool opened = false;
    result = DownloadToLocalFile(host, req, resp, handler, &opened);
    if (!opened) {
        if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
        return result;
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
        md5_hex = Md5Digest::HexOfStream(is);
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
    const std::string& local_path = req.GetLocalFilePath();
    std::string why;
    // A small file is read once, whole: what is digested is then what is sent, and a small
    // upload is spared the stream, its seeks and a second read. A larger one streams.
    UploadSource::Bytes whole;
    std::unique_ptr<std::ifstream> file;
    const UploadSource::WholeRead read =
        UploadSource::ReadWhole(local_path, kWholeUploadLimit, &whole, &why);
    if (read == UploadSource::WholeRead::kTooLarge) {
        file.reset(new std::ifstream(local_path.c_str(), std::ios::in | std::ios::binary));
        if (!file->is_open()) why = "Failed to open file " + local_path;
    }
    if (!why.empty()) {
        SetResultAndLogError(result, why);
        if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
        return result;
    }
    MemoryBodyBuf memory(whole.data.get(), whole.size);
    std::istream body(file ? static_cast<std::streambuf*>(file->rdbuf()) : &memory);
    bool check_etag = false;
    std::string md5_hex;
    if (req.GetHeader("Content-MD5").empty() && req.ShouldComputeContentMd5()) {
        md5_hex = file ? Md5Digest::HexOfStream(body) : Md5Digest::HexOf(whole.data.get(), whole.size);
        body.clear();
        body.seekg(0, std::ios::beg);
        additional_headers["Content-MD5"] = CodecUtil::Base64Encode(CodecUtil::HexDecode(md5_hex));
        check_etag = true;
    }
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    result = UploadAction(host, req.GetPath(), req, additional_headers, additional_params, body,
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
    const ZidCredentials credentials = GetCredentials();
    const std::string& token = credentials.security_token;
    // A temporary credential is useless without its token; it travels as a signed parameter.
    if (!token.empty()) params["x-zid-security-token"] = token;

    std::string sign;
    if (req.GetStartTimeInSec() != 0 && req.GetExpiredTimeInSec() != 0) {
        sign = AuthTool::Sign(credentials.access_key, credentials.secret_key, req.GetMethod(), req.GetPath(),
                              sign_req.GetHeaders(), params, req.GetStartTimeInSec(),
                              req.GetStartTimeInSec() + req.GetExpiredTimeInSec(), not_signed);
    } else {
        sign = AuthTool::SignFromNow(credentials.access_key, credentials.secret_key, req.GetMethod(), req.GetPath(),
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

// The boundaries: exceptions end as failed results.
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
