// The facade's bucket methods.
#include "ZidAPI.h"

#include <stdexcept>

#include "FacadeForward.h"

namespace zuzezi_zid {

bool ZidAPI::BucketExists(const std::string& bucket_name) {
    try {
        return m_bucket_op.BucketExists(bucket_name);
    } catch (const std::invalid_argument&) {
        return false;
    }
}

std::string ZidAPI::GetBucketLocation(const std::string& bucket_name) {
    try {
        return m_bucket_op.GetBucketLocationByName(bucket_name);
    } catch (const std::invalid_argument&) {
        return "";
    }
}

ZidResult ZidAPI::GetService(const BaseReq& req, BaseResp* resp) {
    return ForwardOnce(m_service_op, &ServiceOp::GetService, req, resp);
}

#define ZID_BUCKET_METHOD_WITH_RETRY(Name, Req, Resp)                 \
    ZidResult ZidAPI::Name(const Req& req, Resp* resp) {              \
        return ForwardWithRetry(m_bucket_op, &BucketOp::Name, req, resp); \
    }

ZID_BUCKET_METHOD_WITH_RETRY(HeadBucket, HeadBucketReq, HeadBucketResp)
ZID_BUCKET_METHOD_WITH_RETRY(PutBucket, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PlainBucketRequestA, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PlainBucketRequestB, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PlainBucketRequestC, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PutBucketVersioning, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PutBucketReplication, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(DeleteBucketReplication, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PutBucketLifecycle, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(DeleteBucketLifecycle, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PutBucketACL, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(SendBucketBodyWithMd5, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PlainBucketRequestD, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PlainBucketRequestE, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PlainBucketRequestF, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PutBucketCORS, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PutBucketLogging, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PutBucketWebsite, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(DeleteBucketWebsite, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PutBucketTagging, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(DeleteBucketTagging, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PutBucketInventory, PutBucketInventoryReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(DeleteBucketInventory, DeleteBucketInventoryReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(DeleteBucketCORS, BucketReq, BaseResp)
ZID_BUCKET_METHOD_WITH_RETRY(PutBucketIntelligentTiering, BucketReq, BaseResp)

ZID_BUCKET_METHOD_WITH_RETRY(GetBucket, GetBucketReq, GetBucketResp)
ZID_BUCKET_METHOD_WITH_RETRY(GetBucketVersioning, BucketReq, GetBucketVersioningResp)
ZID_BUCKET_METHOD_WITH_RETRY(GetBucketReplication, BucketReq, GetBucketReplicationResp)
ZID_BUCKET_METHOD_WITH_RETRY(GetBucketLifecycle, BucketReq, GetBucketLifecycleResp)
ZID_BUCKET_METHOD_WITH_RETRY(GetBucketCORS, BucketReq, GetBucketCORSResp)
ZID_BUCKET_METHOD_WITH_RETRY(GetBucketLogging, BucketReq, GetBucketLoggingResp)
ZID_BUCKET_METHOD_WITH_RETRY(PutBucketDomain, BucketReq, PutBucketDomainResp)
ZID_BUCKET_METHOD_WITH_RETRY(GetBucketDomain, BucketReq, GetBucketDomainResp)
ZID_BUCKET_METHOD_WITH_RETRY(GetBucketWebsite, BucketReq, GetBucketWebsiteResp)
ZID_BUCKET_METHOD_WITH_RETRY(GetBucketTagging, BucketReq, GetBucketTaggingResp)
ZID_BUCKET_METHOD_WITH_RETRY(GetBucketInventory, GetBucketInventoryReq, GetBucketInventoryResp)
ZID_BUCKET_METHOD_WITH_RETRY(ListBucketInventoryConfigurations, BucketReq,
                             ListBucketInventoryConfigurationsResp)
ZID_BUCKET_METHOD_WITH_RETRY(ListLiveChannel, BucketReq, ListLiveChannelResp)
ZID_BUCKET_METHOD_WITH_RETRY(GetBucketIntelligentTiering, BucketReq,
                             GetBucketIntelligentTieringResp)

#undef ZID_BUCKET_METHOD_WITH_RETRY

// The processor's own backup-domain pass is the only repeat: a request that may not be
// idempotent is never sent more than twice.
ZidResult ZidAPI::GenericBucketRequestA(const BucketReq& req, BaseResp* resp) {
    return ForwardOnce(m_bucket_op, &BucketOp::GenericBucketRequestA, req, resp);
}

ZidResult ZidAPI::GenericBucketRequestB(const BucketReq& req, BaseResp* resp) {
    return ForwardOnce(m_bucket_op, &BucketOp::GenericBucketRequestB, req, resp);
}

}  // namespace zuzezi_zid
