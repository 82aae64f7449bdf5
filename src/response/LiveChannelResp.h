/// @file
/// Live channels: a channel's settings, and the answers to its creation, its reading, its
/// push history and its current state.

#pragma once

#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/response/BaseResp.h"

namespace zuzezi_zid {

/// A live channel's settings (a "LiveChannelConfiguration" element): sent when the channel
/// is created, returned when it is read. The URLs only ever come from an answer. No value
/// is checked.
class LiveChannelConfiguration {
public:
    /// @return "Description"; "" when not set.
    std::string GetDescription() const { return m_description; }
    /// Sets "Description": free text about the channel.
    void SetDescription(const std::string& value) { m_description = value; }
    /// @return "Switch"; "" when not set.
    std::string GetSwitch() const { return m_switch; }
    /// Sets "Switch": whether the channel takes pushes, sent as given.
    void SetSwitch(const std::string& value) { m_switch = value; }
    /// @return "Target/Type"; "" when not set.
    std::string GetType() const { return m_type; }
    /// Sets "Target/Type": the target's type, sent as given.
    void SetType(const std::string& value) { m_type = value; }
    /// @return "Target/FragDuration"; 0 when not set or not a number.
    int GetFragDuration() const { return m_frag_duration; }
    /// Sets "Target/FragDuration": the length of one fragment, sent in decimal.
    void SetFragDuration(int value) { m_frag_duration = value; }
    /// @return "Target/FragCount"; 0 when not set or not a number.
    int GetFragCount() const { return m_frag_count; }
    /// Sets "Target/FragCount": how many fragments the playlist lists.
    void SetFragCount(int value) { m_frag_count = value; }
    /// @return "Target/PlaylistName"; "" when not set.
    std::string GetPlaylistName() const { return m_playlist_name; }
    /// Sets "Target/PlaylistName": the name of the playlist object.
    void SetPlaylistName(const std::string& value) { m_playlist_name = value; }
    /// @return the first "Target/PublishUrls/Url" of an answer; "" otherwise.
    std::string GetPublishUrl() const { return m_publish_url; }
    /// Sets the publish URL; only the parser has a use for it.
    void SetPublishUrl(const std::string& value) { m_publish_url = value; }
    /// @return the first "Target/PlayUrls/Url" of an answer; "" otherwise.
    std::string GetPlayUrl() const { return m_play_url; }
    /// Sets the play URL; only the parser has a use for it.
    void SetPlayUrl(const std::string& value) { m_play_url = value; }

private:
    std::string m_description;
    std::string m_switch;
    std::string m_type;
    int m_frag_duration = 0;
    int m_frag_count = 0;
    std::string m_playlist_name;
    std::string m_publish_url;
    std::string m_play_url;
};

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
