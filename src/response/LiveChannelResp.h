/// @file
/// Live channels: the answers to a channel's creation, its reading, its push history and
/// its current state.

#pragma once

#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/model/LiveChannelRecords.h"
#include "zid/response/BaseResp.h"

namespace zuzezi_zid {

// The parsers below stop at the first element they do not know and return false, keeping
// what they filled before it.

/// Answer to a channel's creation (a "CreateLiveChannelResult" document): its first
/// publish and play URLs. A 2xx answer without a publish URL fails the call with "The live
/// channel answer held no publish URL".
class ZID_API PutLiveChannelResp : public BaseResp {
public:
    /// Reads the first "PublishUrls/Url" and the first "PlayUrls/Url".
    /// @param body the "CreateLiveChannelResult" document.
    /// @return false when the body is not XML, has another root, or lacks either URL list
    ///         or its "Url" (the publish URL, read first, may then be kept).
    bool ParseFromXmlString(const std::string& body) override;
    /// Modifiable: the creation appends the push signature to it.
    /// @return the publish URL, after a successful creation with "?" and the signed push
    ///         parameters appended, ready for an RTMP client.
    std::string& GetPublishUrl() { return m_publish_url; }
    /// @return the publish URL, signed as above; "" before an answer.
    const std::string& GetPublishUrl() const { return m_publish_url; }
    /// @return the play URL as the service gave it; "" before an answer.
    const std::string& GetPlayUrl() const { return m_play_url; }

private:
    std::string m_publish_url;
    std::string m_play_url;
};

/// A channel's settings as the service holds them (a "LiveChannelConfiguration" document).
class ZID_API GetLiveChannelResp : public BaseResp {
public:
    /// Reads the settings; stops at the first unknown element (logged as a warning).
    /// @param body the "LiveChannelConfiguration" document.
    /// @return false when the body is not XML, has another root, holds an unknown element
    ///         or a URL list without a "Url"; what was read before is kept.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return the settings; valid while this response lives.
    const LiveChannelConfiguration& GetLiveChannelConfiguration() const { return m_config; }

private:
    LiveChannelConfiguration m_config;
};

/// One push session of a channel (a "LiveRecord" element). Every field is the element's
/// text as the service wrote it.
struct LiveRecord {
    std::string m_start_time;   ///< "StartTime": when the push began.
    std::string m_end_time;     ///< "EndTime": when it ended.
    std::string m_remote_addr;  ///< "RemoteAddr": the pushing client's address.
    std::string m_request_id;   ///< "RequestId" of the push.
};

/// A channel's recent push sessions (a "LiveChannelHistory" document).
class ZID_API GetLiveChannelHistoryResp : public BaseResp {
public:
    /// Appends to the records already held. Stops at the first unknown element (logged as
    /// a warning).
    /// @param body the "LiveChannelHistory" document.
    /// @return false when the body is not XML, has another root or holds an unknown
    ///         element; the records read before it are kept.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return the sessions in document order; valid while this response lives.
    const std::vector<LiveRecord>& GetLiveRecords() const { return m_records; }

private:
    std::vector<LiveRecord> m_records;
};

/// A channel's current state (a "LiveChannelStatus" document); the video and audio parts
/// only while something is pushed. All values are the service's text as written; the
/// references stay valid while this response lives.
class ZID_API GetLiveChannelStatusResp : public BaseResp {
public:
    /// Reads the state. Stops at the first unknown element or at a "Status" other than
    /// "Idle" and "Live" (logged as a warning).
    /// @param body the "LiveChannelStatus" document.
    /// @return false when the body is not XML, has another root, holds an unknown element
    ///         or an unknown status; what was read before is kept.
    bool ParseFromXmlString(const std::string& body) override;

    /// @return "Status": "Idle" or "Live"; "" before an answer.
    const std::string& GetStatus() const { return m_status; }
    /// @return "ConnectedTime": when the current push began.
    const std::string& GetConnectedTime() const { return m_connected_time; }
    /// @return "RemoteAddr": the pushing client's address.
    const std::string& GetRemoteAddr() const { return m_remote_addr; }
    /// @return "RequestId" of the current push.
    const std::string& GetRequestId() const { return m_request_id; }

    /// @return true when the answer had a "Video" element.
    bool HasVideo() const { return m_has_video; }
    /// @return "Video/Width".
    const std::string& GetVideoWidth() const { return m_video_width; }
    /// @return "Video/Height".
    const std::string& GetVideoHeight() const { return m_video_height; }
    /// @return "Video/FrameRate".
    const std::string& GetVideoFrameRate() const { return m_video_frame_rate; }
    /// @return "Video/Bandwidth".
    const std::string& GetVideoBandwidth() const { return m_video_bandwidth; }
    /// @return "Video/Codec".
    const std::string& GetVideoCodec() const { return m_video_codec; }

    /// @return true when the answer had an "Audio" element.
    bool HasAudio() const { return m_has_audio; }
    /// @return "Audio/Bandwidth".
    const std::string& GetAudioBandwidth() const { return m_audio_bandwidth; }
    /// @return "Audio/SampleRate".
    const std::string& GetAudioSampleRate() const { return m_audio_sample_rate; }
    /// @return "Audio/Codec".
    const std::string& GetAudioCodec() const { return m_audio_codec; }

private:
    std::string m_status;
    std::string m_connected_time;
    std::string m_remote_addr;
    std::string m_request_id;
    bool m_has_video = false;
    std::string m_video_width;
    std::string m_video_height;
    std::string m_video_frame_rate;
    std::string m_video_bandwidth;
    std::string m_video_codec;
    bool m_has_audio = false;
    std::string m_audio_bandwidth;
    std::string m_audio_sample_rate;
    std::string m_audio_codec;
};

}  // namespace zuzezi_zid
