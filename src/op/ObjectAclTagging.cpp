#include "op/ObjectOp.h"

#include "ClientSettings.h"
#include "util/CodecUtil.h"

namespace zuzezi_zid {

ZidResult ObjectOp::GetObjectACL(const ObjectReq& req, GetObjectACLResp* resp,
                                 bool change_backup_domain) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    return DocumentAction(host, req.GetPath(), req, {}, {}, "", false, resp);
}

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

}  // namespace zuzezi_zid
