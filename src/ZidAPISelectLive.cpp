// The facade's select and live-channel methods.
#include "ZidAPI.h"

#include "FacadeForward.h"
#include "util/AuthTool.h"

namespace zuzezi_zid {

ZidResult ZidAPI::SelectObjectContent(const SelectObjectContentReq& req,
                                      SelectObjectContentResp* resp) {
    return ForwardWithRetry(m_object_op, &ObjectOp::SelectObjectContent, req, resp);
}

// The backup pass follows only a first pass that was not a 2xx answer, so the publish URL is
// signed at most once.
ZidResult ZidAPI::PutLiveChannel(const PutLiveChannelReq& req, PutLiveChannelResp* resp) {
    return ForwardWithRetry(m_object_op, &ObjectOp::PutLiveChannel, req, resp);
}

#define ZID_LIVE_CHANNEL_METHOD(N)                                                         \
    ZidResult ZidAPI::LiveChannelRequest##N(const ObjectReq& req, BaseResp* resp) {        \
        return ForwardWithRetry(m_object_op, &ObjectOp::LiveChannelRequest##N, req, resp); \
    }

ZID_LIVE_CHANNEL_METHOD(1)
ZID_LIVE_CHANNEL_METHOD(2)
ZID_LIVE_CHANNEL_METHOD(3)
ZID_LIVE_CHANNEL_METHOD(4)
ZID_LIVE_CHANNEL_METHOD(5)
ZID_LIVE_CHANNEL_METHOD(6)
ZID_LIVE_CHANNEL_METHOD(7)

#undef ZID_LIVE_CHANNEL_METHOD

std::string ZidAPI::BuildLivePushUrl(const std::string& bucket_name,
                                     const std::string& channel_name, int expire_seconds,
                                     const std::map<std::string, std::string>& url_params) {
    const ZidCredentials credentials = m_config->GetCredentials();
    return "rtmp://" + DefaultEndpointHost(bucket_name, m_config->GetRegion()) + "/live/" +
           channel_name + "?" +
           AuthTool::SignLivePushUrl(credentials.access_key, credentials.secret_key,
                                     credentials.security_token, bucket_name, channel_name,
                                     url_params, AuthTool::PushUrlLifetime(expire_seconds));
}

}  // namespace zuzezi_zid
