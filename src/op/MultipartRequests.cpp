#include "op/ObjectOp.h"

#include "ClientSettings.h"
#include "op/ObjectOpDetail.h"
#include "util/CodecUtil.h"
#include "util/LogUtil.h"
#include "util/Md5Digest.h"

namespace zuzezi_zid {

using namespace op_detail;

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
        md5_hex = Md5Digest::HexOfStream(is);
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

}  // namespace zuzezi_zid
