#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "request/ObjectReq.h"
#include "response/LiveChannelResp.h"

namespace zuzezi_zid {

// Creation of a live channel: PUT /<channel>?live with a "LiveChannelConfiguration" body.
// The URL parameters and the expiry are not sent: they go into the signed push URL that the
// creation completes in its response.
class PutLiveChannelReq : public ObjectReq {
public:
    // Throws std::invalid_argument for an invalid bucket name.
    PutLiveChannelReq(const std::string& bucket_name, const std::string& channel_name)
        : ObjectReq(bucket_name, channel_name, "PUT", "live") {}

    void SetLiveChannelConfiguration(const LiveChannelConfiguration& config) { m_config = config; }
    const LiveChannelConfiguration& GetLiveChannelConfiguration() const { return m_config; }
    void SetUrlParams(const std::map<std::string, std::string>& params) { m_url_params = params; }
    const std::map<std::string, std::string>& GetUrlParams() const { return m_url_params; }
    // Lifetime of the push URL's signature, in seconds.
    void SetExpire(int seconds) { m_expire = seconds; }
    int GetExpire() const { return m_expire; }

    // Appends the body to *body; every element is written, also when empty.
    bool GenerateRequestBody(std::string* body) const;

private:
    LiveChannelConfiguration m_config;
    std::map<std::string, std::string> m_url_params;
    int m_expire = 3600;
};

// The requests of the seven plain live-channel operations (ObjectOp::LiveChannelRequest1..7);
// each is its method and query and nothing else.

// 1: PUT ?live&switch=enabled|disabled
class PutLiveChannelSwitchReq : public ObjectReq {
public:
    PutLiveChannelSwitchReq(const std::string& bucket_name, const std::string& channel_name,
                            bool enabled)
        : ObjectReq(bucket_name, channel_name, "PUT", "live") {
        AddParam("switch", enabled ? "enabled" : "disabled");
    }
};

// 2: GET ?live, answered by GetLiveChannelResp.
class GetLiveChannelReq : public ObjectReq {
public:
    GetLiveChannelReq(const std::string& bucket_name, const std::string& channel_name)
        : ObjectReq(bucket_name, channel_name, "GET", "live") {}
};

// 3: GET ?live&comp=history, answered by GetLiveChannelHistoryResp.
class GetLiveChannelHistoryReq : public ObjectReq {
public:
    GetLiveChannelHistoryReq(const std::string& bucket_name, const std::string& channel_name)
        : ObjectReq(bucket_name, channel_name, "GET", "live") {
        AddParam("comp", "history");
    }
};

// 4: GET ?live&comp=status, answered by GetLiveChannelStatusResp.
class GetLiveChannelStatusReq : public ObjectReq {
public:
    GetLiveChannelStatusReq(const std::string& bucket_name, const std::string& channel_name)
        : ObjectReq(bucket_name, channel_name, "GET", "live") {
        AddParam("comp", "status");
    }
};

// 5: DELETE ?live
class DeleteLiveChannelReq : public ObjectReq {
public:
    DeleteLiveChannelReq(const std::string& bucket_name, const std::string& channel_name)
        : ObjectReq(bucket_name, channel_name, "DELETE", "live") {}
};

// 6: GET ?vod&starttime&endtime: the playlist of what was pushed in that window (seconds
// since the epoch), as the answer's body.
class GetLiveChannelVodPlaylistReq : public ObjectReq {
public:
    GetLiveChannelVodPlaylistReq(const std::string& bucket_name, const std::string& channel_name,
                                 uint64_t start_time, uint64_t end_time);
};

// 7: POST /<channel>/<playlist>?vod&starttime&endtime: stores that playlist as an object.
class PostLiveChannelVodPlaylistReq : public ObjectReq {
public:
    PostLiveChannelVodPlaylistReq(const std::string& bucket_name, const std::string& channel_name,
                                  const std::string& playlist_name, uint64_t start_time,
                                  uint64_t end_time);
};

}  // namespace zuzezi_zid
