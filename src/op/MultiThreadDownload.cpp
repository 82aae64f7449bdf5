#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ClientSettings.h"
#include "op/ObjectOpDetail.h"
#include "op/StagedDownload.h"
#include "util/DownloadAnswer.h"
#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

using namespace op_detail;

const op_detail::DownloadTexts op_detail::kMultiThreadTexts = {
    "generate auth str failed, check your access_key/secret_key.", "down data, lseek failed, ret=",
    "down data, write failed, ret=", false, true};

ZidResult ObjectOp::MultiGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp) {
    ZidResult result;
    if (!CheckGetKey(req.GetPath(), &result)) return result;
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
    if (CheckGetKey(req.GetPath(), result)) {
        if (resp) return true;
        // The response carries the object's headers on success, so it is required.
        SetResultAndLogError(*result, "invalid input parameter");
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
    uint64_t crc = 0;
    std::string crc_text;
    if (result->IsSucc() && head_resp->HasNumericContentLength() &&
        ReadObjectCrc64(head_resp->GetHeaders(), &crc, &crc_text) == ObjectCrc64::kMalformed) {
        // The slices could never be checked against it.
        result->SetFail();
        SetResultAndLogError(*result, "crc64 check failed, malformed crc64_server_resp: [" +
                                          crc_text + "]");
        if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, *result);
        return false;
    }
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
    return GuardedDownload(handler, [&](int& fd, ZidResult& result) -> ZidResult {
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
        if (!req.SignHeaderHost()) run.not_signed.insert("Host");
        run.url = GetRealUrl(host, req.GetPath(), req.IsHttps());

        std::string local_path = req.GetLocalFilePath();
        // A failed download must leave the file it would have replaced as it was.
        StagedDownload target(local_path);
        fd = target.Open();
        if (fd < 0) {
            SetResultAndLogError(result, "open file(" + local_path + ") fail, errno=" +
                                             std::to_string(errno) +
                                             (target.Why().empty() ? "" : ", " + target.Why()));
            if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
            return result;
        }

        run.fd = fd;
        run.total = head_resp.GetContentLength();
        uint64_t crc = 0;
        std::string crc_text;
        run.compute_crc = ReadObjectCrc64(head_resp.GetHeaders(), &crc, &crc_text) ==
                          ObjectCrc64::kValue;
        if (handler) {
            handler->SetTotalSize(run.total);
            handler->ChangeStatus(TransferStatus::IN_PROGRESS);
        }

        bool ok = RunSlices(*this, &run);
        result = run.result;
        if (ok && target.IsStaged() && FileSizeOfFd(fd) != run.total) {
            ok = false;
            SetResultAndLogError(result, "down data, local file size " +
                                             std::to_string(FileSizeOfFd(fd)) +
                                             " differs from object size " +
                                             std::to_string(run.total));
        }
        if (ok && run.compute_crc && run.crc != crc) {
            ok = false;
            SetResultAndLogError(result, "crc64 check failed, crc64_local: " + std::to_string(run.crc) +
                                             ", crc64_server_resp: " + crc_text);
        }
        if (::close(fd) != 0 && ok) {
            ok = false;
            SetResultAndLogError(result, "close file(" + local_path + ") fail, errno=" +
                                             std::to_string(errno));
        }
        fd = -1;
        if (ok && !target.Commit()) {
            ok = false;
            SetResultAndLogError(result, "rename file(" + target.WritePath() + ") to (" + local_path +
                                             ") fail, errno=" + std::to_string(errno));
        }

        if (!ok) {
            if (!run.failed_headers.empty()) resp->ParseFromHeaders(run.failed_headers);
            SetResultAndLogError(result, "download data failed");
            if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
            return result;
        }
        ZID_LOG_INFO("down data succeed");
        resp->ParseFromHeaders(head_resp.GetHeaders());
        result.SetSucc();
        if (handler) {
            handler->ChangeStatusWithResponse(TransferStatus::COMPLETED, result, resp->GetHeaders(), "");
        }
        return result;
    });
}

}  // namespace zuzezi_zid
