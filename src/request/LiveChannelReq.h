/// @file
/// The live-channel requests: a channel's creation, and one ready-made request for each of
/// the seven plain live-channel calls (`ZidAPI::LiveChannelRequest1` to 7).

#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "zid/ZidExport.h"
#include "zid/model/LiveChannelRecords.h"
#include "zid/request/ObjectReq.h"

namespace zuzezi_zid {

/// Creation of a live channel: `PUT /<channel>?live` with a "LiveChannelConfiguration" body,
/// sent with `ZidAPI::PutLiveChannel`. The URL parameters and the expiry are not sent: they
/// go into the signed push URL that the creation completes in its response.
class ZID_API PutLiveChannelReq : public ObjectReq {
public:
    /// @param bucket_name the bucket, "NAME-APPID" or NAME alone
    /// @param channel_name the channel's name, used as the object key
    /// @throws std::invalid_argument "Invalid bucket_name argument :" + name for a bucket
    ///         name that fails the check
    PutLiveChannelReq(const std::string& bucket_name, const std::string& channel_name)
        : ObjectReq(bucket_name, channel_name, "PUT", "live") {}

    /// The settings sent in the body; its URLs are never sent.
    void SetLiveChannelConfiguration(const LiveChannelConfiguration& config) { m_config = config; }
    /// The settings sent in the body; empty strings and 0 by default.
    const LiveChannelConfiguration& GetLiveChannelConfiguration() const { return m_config; }
    /// Extra parameters signed into, and appended to, the push URL; none by default.
    void SetUrlParams(const std::map<std::string, std::string>& params) { m_url_params = params; }
    /// The push URL's extra parameters.
    const std::map<std::string, std::string>& GetUrlParams() const { return m_url_params; }
    /// Lifetime of the push URL's signature, in seconds; 3600 by default, a negative
    /// value counts as 0.
    void SetExpire(int seconds) { m_expire = seconds; }
    /// Lifetime of the push URL's signature, in seconds.
    int GetExpire() const { return m_expire; }

    /// Writes the "LiveChannelConfiguration" document; every element is written, also
    /// when empty.
    /// @param body the document is appended to it
    /// @return always true
    bool GenerateRequestBody(std::string* body) const;

private:
    LiveChannelConfiguration m_config;
    std::map<std::string, std::string> m_url_params;
    int m_expire = 3600;
};

// The requests of the seven plain live-channel operations (ObjectOp::LiveChannelRequest1..7);
// each is its method and query and nothing else.

/// Turns a channel on or off: PUT ?live&switch=enabled|disabled, for
/// `ZidAPI::LiveChannelRequest1`; the answer has no document.
class ZID_API PutLiveChannelSwitchReq : public ObjectReq {
public:
    /// @param bucket_name the bucket, "NAME-APPID" or NAME alone
    /// @param channel_name the channel's name
    /// @param enabled true to accept pushes, false to refuse them
    /// @throws std::invalid_argument for a bucket name that fails the check
    PutLiveChannelSwitchReq(const std::string& bucket_name, const std::string& channel_name,
                            bool enabled)
        : ObjectReq(bucket_name, channel_name, "PUT", "live") {
        AddParam("switch", enabled ? "enabled" : "disabled");
    }
};

/// Reads a channel's settings: GET ?live, for `ZidAPI::LiveChannelRequest2`, answered
/// by a GetLiveChannelResp.
class ZID_API GetLiveChannelReq : public ObjectReq {
public:
    /// @param bucket_name the bucket, "NAME-APPID" or NAME alone
    /// @param channel_name the channel's name
    /// @throws std::invalid_argument for a bucket name that fails the check
    GetLiveChannelReq(const std::string& bucket_name, const std::string& channel_name)
        : ObjectReq(bucket_name, channel_name, "GET", "live") {}
};

/// Reads a channel's push history: GET ?live&comp=history, for
/// `ZidAPI::LiveChannelRequest3`, answered by a GetLiveChannelHistoryResp.
class ZID_API GetLiveChannelHistoryReq : public ObjectReq {
public:
    /// @param bucket_name the bucket, "NAME-APPID" or NAME alone
    /// @param channel_name the channel's name
    /// @throws std::invalid_argument for a bucket name that fails the check
    GetLiveChannelHistoryReq(const std::string& bucket_name, const std::string& channel_name)
        : ObjectReq(bucket_name, channel_name, "GET", "live") {
        AddParam("comp", "history");
    }
};

/// Reads a channel's current state: GET ?live&comp=status, for
/// `ZidAPI::LiveChannelRequest4`, answered by a GetLiveChannelStatusResp.
class ZID_API GetLiveChannelStatusReq : public ObjectReq {
public:
    /// @param bucket_name the bucket, "NAME-APPID" or NAME alone
    /// @param channel_name the channel's name
    /// @throws std::invalid_argument for a bucket name that fails the check
    GetLiveChannelStatusReq(const std::string& bucket_name, const std::string& channel_name)
        : ObjectReq(bucket_name, channel_name, "GET", "live") {
        AddParam("comp", "status");
    }
};

/// Deletes a channel: DELETE ?live, for `ZidAPI::LiveChannelRequest5`; the answer has no
/// document.
class ZID_API DeleteLiveChannelReq : public ObjectReq {
public:
    /// @param bucket_name the bucket, "NAME-APPID" or NAME alone
    /// @param channel_name the channel's name
    /// @throws std::invalid_argument for a bucket name that fails the check
    DeleteLiveChannelReq(const std::string& bucket_name, const std::string& channel_name)
        : ObjectReq(bucket_name, channel_name, "DELETE", "live") {}
};

/// Asks for the playlist of what was pushed in a time window: GET ?vod&starttime&endtime,
/// for `ZidAPI::LiveChannelRequest6`; the playlist is the answer's body (BaseResp::GetBody()).
class ZID_API GetLiveChannelVodPlaylistReq : public ObjectReq {
public:
    /// @param bucket_name the bucket, "NAME-APPID" or NAME alone
    /// @param channel_name the channel's name
    /// @param start_time start of the window, seconds since the epoch
    /// @param end_time end of the window, seconds since the epoch
    /// @throws std::invalid_argument for a bucket name that fails the check
    GetLiveChannelVodPlaylistReq(const std::string& bucket_name, const std::string& channel_name,
                                 uint64_t start_time, uint64_t end_time);
};

/// Stores the playlist of a time window as an object: POST
/// `/<channel>/<playlist>?vod&starttime&endtime`, for `ZidAPI::LiveChannelRequest7`.
class ZID_API PostLiveChannelVodPlaylistReq : public ObjectReq {
public:
    /// @param bucket_name the bucket, "NAME-APPID" or NAME alone
    /// @param channel_name the channel's name
    /// @param playlist_name the playlist object's name, under the channel's
    /// @param start_time start of the window, seconds since the epoch
    /// @param end_time end of the window, seconds since the epoch
    /// @throws std::invalid_argument for a bucket name that fails the check
    PostLiveChannelVodPlaylistReq(const std::string& bucket_name, const std::string& channel_name,
                                  const std::string& playlist_name, uint64_t start_time,
                                  uint64_t end_time);
};

}  // namespace zuzezi_zid
