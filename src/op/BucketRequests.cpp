// Every bucket request, each as the shape it is sent in.
#include "op/BucketOp.h"

namespace zuzezi_zid {

#define ZID_PLAIN_BUCKET_REQUEST(Name, Req)                                              \
    ZidResult BucketOp::Name(const Req& req, BaseResp* resp, bool backup) const {        \
        return Plain(req, resp, backup);                                                 \
    }

ZID_PLAIN_BUCKET_REQUEST(HeadBucket, HeadBucketReq)
ZID_PLAIN_BUCKET_REQUEST(GetBucketLocation, GetBucketLocationReq)
ZID_PLAIN_BUCKET_REQUEST(PlainBucketRequestA, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(PlainBucketRequestB, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(PlainBucketRequestC, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(PlainBucketRequestD, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(PlainBucketRequestE, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(PlainBucketRequestF, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(GetBucketVersioning, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(GetBucketReplication, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(DeleteBucketReplication, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(GetBucketLifecycle, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(DeleteBucketLifecycle, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(GetBucketCORS, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(DeleteBucketCORS, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(GetBucketLogging, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(GetBucketDomain, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(GetBucketWebsite, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(DeleteBucketWebsite, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(GetBucketTagging, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(DeleteBucketTagging, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(ListBucketInventoryConfigurations, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(ListLiveChannel, BucketReq)
ZID_PLAIN_BUCKET_REQUEST(GetBucketIntelligentTiering, BucketReq)

#undef ZID_PLAIN_BUCKET_REQUEST

// Puts whose body the request writes: operation, "Content-MD5" sent, refusal text.
#define ZID_GENERATED_BODY_PUT(Name, with_md5, failure_text)                               \
    ZidResult BucketOp::Name(const BucketReq& req, BaseResp* resp, bool backup) const {    \
        return GeneratedBody(req, resp, backup, with_md5, failure_text);                   \
    }

ZID_GENERATED_BODY_PUT(PutBucketVersioning, true, "Generate PutBucketVersioning Request Body fail.")
ZID_GENERATED_BODY_PUT(PutBucketReplication, true, "Generate PutBucketReplication Request Body fail.")
ZID_GENERATED_BODY_PUT(PutBucketLifecycle, true, "Generate PutBucketLifecycle Request Body fail.")
ZID_GENERATED_BODY_PUT(PutBucketCORS, true, "Generate PutBucketCORS Request Body fail.")
ZID_GENERATED_BODY_PUT(PutBucketLogging, true, "Generate PutBucketLogging Request Body fail.")
ZID_GENERATED_BODY_PUT(PutBucketWebsite, false, "Generate PutBucketWebsite Request Body fail.")
ZID_GENERATED_BODY_PUT(PutBucketTagging, true, "Generate PutBucketTagging Request Body fail.")
ZID_GENERATED_BODY_PUT(PutBucketIntelligentTiering, true,
                       "Generate PutBucketIntelligentTiering Request Body fail.")

#undef ZID_GENERATED_BODY_PUT

// A listing is paged on by what it says: a 2xx answer that is no listing is a failure.
ZidResult BucketOp::GetBucket(const GetBucketReq& req, BaseResp* resp, bool backup) const {
    return FailOnException("Bucket listing", [&] {
        return DocumentAction(BucketHost(req, backup), req.GetPath(), req, HeaderMap(),
                              HeaderMap(), "", false, resp);
    });
}

ZidResult BucketOp::PutBucket(const BucketReq& req, BaseResp* resp, bool backup) const {
    return RequestBody(req, resp, backup, false);
}

ZidResult BucketOp::SendBucketBodyWithMd5(const BucketReq& req, BaseResp* resp,
                                          bool backup) const {
    return RequestBody(req, resp, backup, true);
}

ZidResult BucketOp::PutBucketInventory(const PutBucketInventoryReq& req, BaseResp* resp,
                                       bool backup) const {
    return req.HasId() ? GeneratedBody(req, resp, backup, true,
                                       "Generate PutBucketInventory Request Body fail.")
                       : Refused("PutBucketinventory need to set Id.");
}

ZidResult BucketOp::GetBucketInventory(const GetBucketInventoryReq& req, BaseResp* resp,
                                       bool backup) const {
    return req.HasId() ? Plain(req, resp, backup) : Refused("GetBucketinventory need to set Id.");
}

ZidResult BucketOp::DeleteBucketInventory(const DeleteBucketInventoryReq& req, BaseResp* resp,
                                          bool backup) const {
    return req.HasId() ? Plain(req, resp, backup)
                       : Refused("DeleteBucketinventory need to set Id.");
}

ZidResult BucketOp::GenericBucketRequestA(const BucketReq& req, BaseResp* resp) const {
    return ProcessBucketRequest(req, resp, false);
}

ZidResult BucketOp::GenericBucketRequestB(const BucketReq& req, BaseResp* resp) const {
    return ProcessBucketRequest(req, resp, false);
}

}  // namespace zuzezi_zid
