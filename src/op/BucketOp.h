/// @file
/// BucketOp, the operations addressed to a bucket: existence, location, listing, bucket
/// configurations, inventory and data processing.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "zid/ZidExport.h"
#include "zid/op/BaseOp.h"
#include "zid/request/BucketReq.h"
#include "zid/response/BucketOpResp.h"

namespace zuzezi_zid {

/// Operations addressed to a bucket. Every request operation takes a BucketReq (or a class
/// derived from it) whose method, path and query parameters say what is asked, fills the
/// caller's response through its own parsers, and sends to the backup service domain when
/// the flag says so. The members are one-line forwards to a handful of request shapes, so
/// a method's name does not choose the request: the caller's BucketReq subclass does.
///
/// Unless noted, each sends one request and never repeats it (ZidAPI adds the repeat on
/// the backup domain); the result is as ZidResult describes. A request whose body the
/// request writes fails, sending nothing, when BucketReq::GenerateRequestBody() refuses,
/// with "Generate NAME Request Body fail." for the operation's NAME (such as
/// "Generate PutBucketLifecycle Request Body fail.").
class ZID_API BucketOp : public BaseOp {
public:
    /// @param config shared with the facade and the other operation classes
    explicit BucketOp(const std::shared_ptr<ZidConfig>& config) : BaseOp(config) {}
    virtual ~BucketOp() = default;

    /// @name Existence and location
    /// Each repeats on the backup domain by itself.
    ///@{

    /// True when a "HEAD" of the bucket succeeds, on the default domain or, when that
    /// failure qualifies, on the backup domain.
    /// @throws std::invalid_argument for a bad bucket name, before anything is sent
    bool BucketExists(const std::string& bucket_name) const;
    /// The bucket's region (element "LocationConstraint"); "" when neither domain
    /// answered. A failure is always asked of the backup domain too, whatever the retry
    /// setting.
    /// @throws std::invalid_argument for a bad bucket name
    std::string GetBucketLocationByName(const std::string& bucket_name) const;
    ///@}

    /// @name Requests without a body
    /// Each sends the request's method, path and parameters with an empty body; resp is
    /// filled by its own parsers from a 2xx answer and may be null.
    ///@{

    /// "HEAD" of the bucket.
    ZidResult HeadBucket(const HeadBucketReq& req, BaseResp* resp, bool backup = false) const;
    /// "GET /?location"; read the answer with a GetBucketLocationResp.
    ZidResult GetBucketLocation(const GetBucketLocationReq& req, BaseResp* resp,
                                bool backup = false) const;
    /// One page of the object listing. A 2xx answer that the response does not read as a
    /// listing fails: an Error document with its code and message, anything else with the
    /// body as the message.
    ZidResult GetBucket(const GetBucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Whatever bucket request req describes (first of six such slots).
    ZidResult PlainBucketRequestA(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Whatever bucket request req describes.
    ZidResult PlainBucketRequestB(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Whatever bucket request req describes.
    ZidResult PlainBucketRequestC(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Whatever bucket request req describes.
    ZidResult PlainBucketRequestD(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Whatever bucket request req describes.
    ZidResult PlainBucketRequestE(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Whatever bucket request req describes.
    ZidResult PlainBucketRequestF(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ///@}

    /// @name Bodies sent as the request holds them
    /// The body is the one given to BaseReq::SetBody(), not a generated one.
    ///@{

    /// Sends req with its body, such as a bucket creation ("PUT /").
    ZidResult PutBucket(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Sends req with its body and the body's "Content-MD5".
    ZidResult SendBucketBodyWithMd5(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    ///@}

    /// @name Configurations
    /// A put sends the request's generated body with its "Content-MD5" (unless noted); a
    /// get or delete sends no body. Which sub-resource is addressed is the request's.
    ///@{

    /// Puts the versioning configuration.
    ZidResult PutBucketVersioning(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Gets the versioning configuration; read it with a GetBucketVersioningResp.
    ZidResult GetBucketVersioning(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    /// Puts the replication configuration.
    ZidResult PutBucketReplication(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Gets the replication configuration; read it with a GetBucketReplicationResp.
    ZidResult GetBucketReplication(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Deletes the replication configuration.
    ZidResult DeleteBucketReplication(const BucketReq& req, BaseResp* resp,
                                      bool backup = false) const;

    /// Puts the lifecycle configuration.
    ZidResult PutBucketLifecycle(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Gets the lifecycle configuration; read it with a GetBucketLifecycleResp.
    ZidResult GetBucketLifecycle(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Deletes the lifecycle configuration.
    ZidResult DeleteBucketLifecycle(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    /// Puts the access-control list. A grant in the request's "x-zid-acl" or
    /// "x-zid-grant-*" headers (lower case) replaces the body: then none is sent.
    ZidResult PutBucketACL(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    /// Puts the CORS configuration.
    ZidResult PutBucketCORS(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Gets the CORS configuration; read it with a GetBucketCORSResp.
    ZidResult GetBucketCORS(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Deletes the CORS configuration.
    ZidResult DeleteBucketCORS(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    /// Puts the logging configuration.
    ZidResult PutBucketLogging(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Gets the logging configuration; read it with a GetBucketLoggingResp.
    ZidResult GetBucketLogging(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    /// Puts the custom domain configuration. The service may refuse in a 2xx "Error"
    /// document: the response holds its fields and the result fails with its code and
    /// message.
    ZidResult PutBucketDomain(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Gets the custom domain configuration; read it with a GetBucketDomainResp.
    ZidResult GetBucketDomain(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    /// Puts the static website configuration; sent without "Content-MD5".
    ZidResult PutBucketWebsite(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Gets the static website configuration; read it with a GetBucketWebsiteResp.
    ZidResult GetBucketWebsite(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Deletes the static website configuration.
    ZidResult DeleteBucketWebsite(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    /// Puts the bucket's tag set.
    ZidResult PutBucketTagging(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Gets the bucket's tag set; read it with a GetBucketTaggingResp.
    ZidResult GetBucketTagging(const BucketReq& req, BaseResp* resp, bool backup = false) const;
    /// Deletes the bucket's tag set.
    ZidResult DeleteBucketTagging(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    /// Puts one inventory configuration. Refuses a request without an id, before anything
    /// is sent: "PutBucketinventory need to set Id.".
    ZidResult PutBucketInventory(const PutBucketInventoryReq& req, BaseResp* resp,
                                 bool backup = false) const;
    /// Gets one inventory configuration; read it with a GetBucketInventoryResp. Refuses a
    /// request without an id: "GetBucketinventory need to set Id.".
    ZidResult GetBucketInventory(const GetBucketInventoryReq& req, BaseResp* resp,
                                 bool backup = false) const;
    /// Lists the inventory configurations; read them with a
    /// ListBucketInventoryConfigurationsResp.
    ZidResult ListBucketInventoryConfigurations(const BucketReq& req, BaseResp* resp,
                                                bool backup = false) const;
    /// Deletes one inventory configuration. Refuses a request without an id:
    /// "DeleteBucketinventory need to set Id.".
    ZidResult DeleteBucketInventory(const DeleteBucketInventoryReq& req, BaseResp* resp,
                                    bool backup = false) const;

    /// Lists the bucket's live channels; read them with a ListLiveChannelResp.
    ZidResult ListLiveChannel(const BucketReq& req, BaseResp* resp, bool backup = false) const;

    /// Puts the intelligent-tiering configuration.
    ZidResult PutBucketIntelligentTiering(const BucketReq& req, BaseResp* resp,
                                          bool backup = false) const;
    /// Gets the intelligent-tiering configuration; read it with a
    /// GetBucketIntelligentTieringResp.
    ZidResult GetBucketIntelligentTiering(const BucketReq& req, BaseResp* resp,
                                          bool backup = false) const;
    ///@}

    /// @name Generic processor
    ///@{

    /// Sends the request with its generated body ("Content-MD5" when it is not empty); a
    /// refused body fails with "Generate request body fail.". A bucket request repeats
    /// once on the backup domain when the first failure qualifies; a data-processing
    /// request goes to the processing host, once, with its temporary token as
    /// "x-ci-security-token".
    /// @param req                the request and its body generator
    /// @param resp               filled from a 2xx answer; may be null
    /// @param is_data_processing send to the processing host instead of the bucket host
    ZidResult ProcessBucketRequest(const BucketReq& req, BaseResp* resp,
                                   bool is_data_processing) const;
    /// ProcessBucketRequest() for a bucket request: sent at most twice.
    ZidResult GenericBucketRequestA(const BucketReq& req, BaseResp* resp) const;
    /// ProcessBucketRequest() for a bucket request: sent at most twice.
    ZidResult GenericBucketRequestB(const BucketReq& req, BaseResp* resp) const;
    ///@}

    /// @name Data processing
    /// To the processing host of the request's bucket (the regional one for an empty
    /// name), sent once, never to the backup domain. What each does lies wholly in its
    /// request (method, path, parameters, body).
    ///@{

    /// A processing query with no body; a temporary token travels as
    /// "x-zid-security-token".
    ZidResult DataProcessQuery1(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessQuery1().
    ZidResult DataProcessQuery2(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessQuery1().
    ZidResult DataProcessQuery3(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessQuery1().
    ZidResult DataProcessQuery4(const BucketReq& req, BaseResp* resp) const;
    /// A processing request with the request's generated body, with "Content-MD5" when it
    /// is not empty; a temporary token travels as "x-ci-security-token". A refused body
    /// fails with "Generate request body fail.".
    ZidResult DataProcessRequest01(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest02(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest03(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest04(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest05(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest06(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest07(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest08(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest09(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest10(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest11(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest12(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest13(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest14(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest15(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest16(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest17(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest18(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest19(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest20(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest21(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest22(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest23(const BucketReq& req, BaseResp* resp) const;
    /// As DataProcessRequest01().
    ZidResult DataProcessRequest24(const BucketReq& req, BaseResp* resp) const;
    ///@}

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
