// Addressing and the request shapes every BucketOp member forwards to.
#include "op/BucketOp.h"

#include <exception>

#include "ClientSettings.h"
#include "response/BucketConfigResp.h"
#include "util/CodecUtil.h"

namespace zuzezi_zid {

namespace {

// A generator that throws has failed to write its body like one that says so.
bool Generate(const BucketReq& req, std::string* body) {
    try {
        return req.GenerateRequestBody(body);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

ZidResult BucketOp::Refused(const std::string& message) {
    ZidResult result;
    result.SetErrorMsg(message);
    return result;
}

std::string BucketOp::BucketHost(const BucketReq& req, bool backup) const {
    return ClientSettings::BuildBucketHost(GetAppId(), GetRegion(), req.GetBucketName(), backup);
}

ZidResult BucketOp::Send(const std::string& host, const BucketReq& req, const std::string& body,
                         bool with_md5, BaseResp* resp, bool is_data_processing) const {
    HeaderMap headers;
    if (with_md5) {
        headers["Content-MD5"] = CodecUtil::Base64Encode(CodecUtil::Md5Bytes(body));
    }
    return FailOnException("Bucket request", [&] {
        return NormalAction(host, req.GetPath(), req, headers, HeaderMap(), body, false, resp,
                            is_data_processing);
    });
}

ZidResult BucketOp::Plain(const BucketReq& req, BaseResp* resp, bool backup) const {
    return Send(BucketHost(req, backup), req, "", false, resp, false);
}

ZidResult BucketOp::RequestBody(const BucketReq& req, BaseResp* resp, bool backup,
                                bool with_md5) const {
    return Send(BucketHost(req, backup), req, req.GetBody(), with_md5, resp, false);
}

ZidResult BucketOp::GeneratedBody(const BucketReq& req, BaseResp* resp, bool backup,
                                  bool with_md5, const char* failure_text) const {
    std::string body;
    if (!Generate(req, &body)) {
        return Refused(failure_text);
    }
    return Send(BucketHost(req, backup), req, body, with_md5, resp, false);
}

// ---- existence and location ---------------------------------------------------------------

bool BucketOp::BucketExists(const std::string& bucket_name) const {
    const HeadBucketReq req(bucket_name);
    HeadBucketResp resp;
    return WithBackupDomainRetry(*this, [&](bool backup) {
        return HeadBucket(req, &resp, backup);
    }).IsSucc();
}

std::string BucketOp::GetBucketLocationByName(const std::string& bucket_name) const {
    const GetBucketLocationReq req(bucket_name);
    for (const bool backup : {false, true}) {
        GetBucketLocationResp resp;
        if (GetBucketLocation(req, &resp, backup).IsSucc()) {
            return resp.GetLocation();
        }
    }
    return "";
}

// ---- ACL, domain and the generic processor --------------------------------------------------

ZidResult BucketOp::PutBucketACL(const BucketReq& req, BaseResp* resp, bool backup) const {
    const auto& headers = req.GetHeaders();
    for (const char* grant : {"x-zid-acl", "x-zid-grant-read", "x-zid-grant-write",
                              "x-zid-grant-full-control"}) {
        if (headers.count(grant)) {
            return Send(BucketHost(req, backup), req, "", false, resp, false);
        }
    }
    return GeneratedBody(req, resp, backup, true, "Generate PutBucketACL Request Body fail.");
}

ZidResult BucketOp::PutBucketDomain(const BucketReq& req, BaseResp* resp, bool backup) const {
    BaseResp unread;
    BaseResp* answer = resp ? resp : &unread;
    ZidResult result = GeneratedBody(req, answer, backup, true,
                                     "Generate PutBucketDomain Request Body fail.");
    // The response keeps the refusal's fields; the caller must not read it as a success.
    if (result.IsSucc() && !answer->GetBody().empty() &&
        result.ParseFromHttpResponse(answer->GetHeaders(), answer->GetBody())) {
        result.SetFail();
    }
    return result;
}

ZidResult BucketOp::ProcessBucketRequest(const BucketReq& req, BaseResp* resp,
                                         bool is_data_processing) const {
    std::string body;
    if (!Generate(req, &body)) {
        return Refused("Generate request body fail.");
    }
    if (is_data_processing) {
        return Send(ClientSettings::BuildProcessingHost(req.GetBucketName(), GetRegion()), req,
                    body, !body.empty(), resp, true);
    }
    return WithBackupDomainRetry(*this, [&](bool backup) {
        return Send(BucketHost(req, backup), req, body, !body.empty(), resp, false);
    });
}

}  // namespace zuzezi_zid
