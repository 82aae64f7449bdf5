#include "op/ObjectOp.h"

#include "op/ObjectOpDetail.h"
#include "util/AuthTool.h"

namespace zuzezi_zid {

ZidResult ObjectOp::PutLiveChannel(const PutLiveChannelReq& req, PutLiveChannelResp* resp,
                                   bool change_backup_domain) {
    return op_detail::Guarded("put live channel", nullptr, [&] {
        return op_detail::SendGeneratedBody(
            *this, req, resp, change_backup_domain, "Generate PutLiveChannel Request Body fail.",
            [&](PutLiveChannelResp& answer, ZidResult* result) {
                // A signature alone is no URL to push to.
                if (answer.GetPublishUrl().empty()) {
                    SetResultAndLogError(*result, "The live channel answer held no publish URL");
                    return;
                }
                const ZidCredentials credentials = GetCredentials();
                answer.GetPublishUrl() +=
                    "?" + AuthTool::SignLivePushUrl(credentials.access_key, credentials.secret_key,
                                                    credentials.security_token, req.GetBucketName(),
                                                    req.GetObjectName(), req.GetUrlParams(),
                                                    AuthTool::PushUrlLifetime(req.GetExpire()));
            });
    });
}

#define ZID_LIVE_CHANNEL_REQUEST(N)                                                  \
    ZidResult ObjectOp::LiveChannelRequest##N(const ObjectReq& req, BaseResp* resp,  \
                                              bool change_backup_domain) {          \
        return PlainObjectRequest(req, resp, change_backup_domain);                  \
    }

ZID_LIVE_CHANNEL_REQUEST(1)
ZID_LIVE_CHANNEL_REQUEST(2)
ZID_LIVE_CHANNEL_REQUEST(3)
ZID_LIVE_CHANNEL_REQUEST(4)
ZID_LIVE_CHANNEL_REQUEST(5)
ZID_LIVE_CHANNEL_REQUEST(6)
ZID_LIVE_CHANNEL_REQUEST(7)

#undef ZID_LIVE_CHANNEL_REQUEST

}  // namespace zuzezi_zid
