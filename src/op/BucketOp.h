#pragma once

#include <map>
#include <memory>
#include <string>

#include "op/BaseOp.h"
#include "request/BucketReq.h"
#include "response/BucketOpResp.h"

namespace zuzezi_zid {

// Operations addressed to a bucket. Every request operation takes a BucketReq (or a class
// derived from it) whose method, path and query parameters say what is asked, fills the
// caller's response through its own parsers, and sends to the backup service domain when
// the flag says so. The members are one-line forwards to a handful of request shapes.
class BucketOp : public BaseOp {
public:
    explicit BucketOp(const std::shared_ptr<ZidConfig>& config) : BaseOp(config) {}
    virtual ~BucketOp() = default;

    // ---- existence and location: each repeats on the backup domain by itself ------------
    // Throws std::invalid_argument for a bad bucket name, before anything is sent.
    bool BucketExists(const std::string& bucket_name) const;
    // "" when neither domain answered; a failure is always asked of the backup domain too,
    // whatever the retry setting. Throws std::invalid_argument for a bad bucket name.
    std::string GetBucketLocationByName(const std::string& bucket_name) const;

    // ---- requests without a body ---------------------------------------------------------
    ZidResult HeadBucket(const HeadBucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult GetBucketLocation(const GetBucketLocationReq& req, BaseResp* resp,
                                bool backup = false) const;
    ZidResult GetBucket(const GetBucketReq& req, BaseResp* resp, bool backup = false) const;
    // GetBucket for a caller that pages on: a 2xx answer that is no listing fails, with
    // the body as the message.
    ZidResult GetBucketPage(const GetBucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult PlainBucketRequestA(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult PlainBucketRequestB(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult PlainBucketRequestC(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult PlainBucketRequestD(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult PlainBucketRequestE(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult PlainBucketRequestF(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    // ---- bodies sent as the request holds them -------------------------------------------
    ZidResult PutBucket(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult SendBucketBodyWithMd5(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    // ---- configurations: the put writes the request's generated body ----------------------
    ZidResult PutBucketVersioning(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult GetBucketVersioning(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    ZidResult PutBucketReplication(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult GetBucketReplication(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult DeleteBucketReplication(const BucketReq& req, BaseResp* resp,
                                      bool backup = false) const;

    ZidResult PutBucketLifecycle(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult GetBucketLifecycle(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult DeleteBucketLifecycle(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    // A grant in the request's "x-zid-acl" or "x-zid-grant-*" headers replaces the body.
    ZidResult PutBucketACL(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    ZidResult PutBucketCORS(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult GetBucketCORS(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult DeleteBucketCORS(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    ZidResult PutBucketLogging(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult GetBucketLogging(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    // The service may refuse in a 2xx "Error" document: the response holds its fields and
    // the result fails with its code and message.
    ZidResult PutBucketDomain(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult GetBucketDomain(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    // Sent without "Content-MD5".
    ZidResult PutBucketWebsite(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult GetBucketWebsite(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult DeleteBucketWebsite(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    ZidResult PutBucketTagging(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult GetBucketTagging(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ZidResult DeleteBucketTagging(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    // Each but the listing refuses a request without an id, before anything is sent.
    ZidResult PutBucketInventory(const PutBucketInventoryReq& req, BaseResp* resp,
                                 bool backup = false) const;
    ZidResult GetBucketInventory(const GetBucketInventoryReq& req, BaseResp* resp,
                                 bool backup = false) const;
    ZidResult ListBucketInventoryConfigurations(const BucketReq& req, BaseResp* resp,
                                                bool backup = false) const;
    ZidResult DeleteBucketInventory(const DeleteBucketInventoryReq& req, BaseResp* resp,
                                    bool backup = false) const;

    ZidResult ListLiveChannel(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    ZidResult PutBucketIntelligentTiering(const BucketReq& req, BaseResp* resp,
                                          bool backup = false) const;
    ZidResult GetBucketIntelligentTiering(const BucketReq& req, BaseResp* resp,
                                          bool backup = false) const;

    // ---- generic processor ---------------------------------------------------------------
    // Sends the request with its generated body ("Content-MD5" when it is not empty).
    // A bucket request repeats once on the backup domain when the first failure qualifies;
    // a data-processing request goes to the processing host, once, with its temporary token
    // as "x-ci-security-token".
    ZidResult ProcessBucketRequest(const BucketReq& req, BaseResp* resp,
                                   bool is_data_processing) const;
    ZidResult GenericBucketRequestA(const BucketReq& req, BaseResp* resp) const;
    ZidResult GenericBucketRequestB(const BucketReq& req, BaseResp* resp) const;

    // ---- data processing: to the processing host of the request's bucket (the regional one
    // for an empty name), sent once ----------------------------------------------------
    // No body; a temporary token travels as "x-zid-security-token".
    ZidResult DataProcessQuery1(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessQuery2(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessQuery3(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessQuery4(const BucketReq& req, BaseResp* resp) const;
    // The request's generated body, with "Content-MD5" when it is not empty; a temporary
    // token travels as "x-ci-security-token".
    ZidResult DataProcessRequest01(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest02(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest03(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest04(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest05(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest06(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest07(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest08(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest09(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest10(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest11(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest12(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest13(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest14(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest15(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest16(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest17(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest18(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest19(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest20(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest21(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest22(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest23(const BucketReq& req, BaseResp* resp) const;
    ZidResult DataProcessRequest24(const BucketReq& req, BaseResp* resp) const;

private:
    using HeaderMap = std::map<std::string, std::string>;

    // Not sent: not successful, no HTTP status, only the reason.
    static ZidResult Refused(const std::string& message);
    std::string BucketHost(const BucketReq& req, bool backup) const;
    // The one exchange every shape ends in; "Content-MD5" of the body when asked.
    ZidResult DataProcessQuery(const BucketReq& req, BaseResp* resp) const;
    ZidResult Send(const std::string& host, const BucketReq& req, const std::string& body,
                   bool with_md5, BaseResp* resp, bool is_data_processing) const;

    ZidResult Plain(const BucketReq& req, BaseResp* resp, bool backup) const;
    ZidResult RequestBody(const BucketReq& req, BaseResp* resp, bool backup, bool with_md5) const;
    // The request writes the body; a refusal fails with failure_text and sends nothing.
    ZidResult GeneratedBody(const BucketReq& req, BaseResp* resp, bool backup, bool with_md5,
                            const char* failure_text) const;
};

}  // namespace zuzezi_zid
