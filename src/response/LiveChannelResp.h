#pragma once

#include <string>
#include <vector>

#include "response/BaseResp.h"

namespace zuzezi_zid {

// A live channel's settings: sent when the channel is created, returned when it is read.
// The URLs only ever come from an answer. No value is checked.
class LiveChannelConfiguration {
public:
    std::string GetDescription() const { return m_description; }
    void SetDescription(const std::string& value) { m_description = value; }
    std::string GetSwitch() const { return m_switch; }
    void SetSwitch(const std::string& value) { m_switch = value; }
    std::string GetType() const { return m_type; }
    void SetType(const std::string& value) { m_type = value; }
    int GetFragDuration() const { return m_frag_duration; }
    void SetFragDuration(int value) { m_frag_duration = value; }
    int GetFragCount() const { return m_frag_count; }
    void SetFragCount(int value) { m_frag_count = value; }
    std::string GetPlaylistName() const { return m_playlist_name; }
    void SetPlaylistName(const std::string& value) { m_playlist_name = value; }
    std::string GetPublishUrl() const { return m_publish_url; }
    void SetPublishUrl(const std::string& value) { m_publish_url = value; }
    std::string GetPlayUrl() const { return m_play_url; }
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

// Answer to a channel's creation: its first publish and play URLs.
class PutLiveChannelResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    // Modifiable: the creation appends the push signature to it.
    std::string& GetPublishUrl() { return m_publish_url; }
    const std::string& GetPublishUrl() const { return m_publish_url; }
    const std::string& GetPlayUrl() const { return m_play_url; }

private:
    std::string m_publish_url;
    std::string m_play_url;
};

class GetLiveChannelResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    const LiveChannelConfiguration& GetLiveChannelConfiguration() const { return m_config; }

private:
    LiveChannelConfiguration m_config;
};

// One push session of a channel.
struct LiveRecord {
    std::string m_start_time;
    std::string m_end_time;
    std::string m_remote_addr;
    std::string m_request_id;
};

class GetLiveChannelHistoryResp : public BaseResp {
public:
    // Appends to the records already held.
    bool ParseFromXmlString(const std::string& body) override;
    const std::vector<LiveRecord>& GetLiveRecords() const { return m_records; }

private:
    std::vector<LiveRecord> m_records;
};

// A channel's current state; the video and audio parts only while something is pushed.
class GetLiveChannelStatusResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;

    const std::string& GetStatus() const { return m_status; }  // "Idle" or "Live"
    const std::string& GetConnectedTime() const { return m_connected_time; }
    const std::string& GetRemoteAddr() const { return m_remote_addr; }
    const std::string& GetRequestId() const { return m_request_id; }

    bool HasVideo() const { return m_has_video; }
    const std::string& GetVideoWidth() const { return m_video_width; }
    const std::string& GetVideoHeight() const { return m_video_height; }
    const std::string& GetVideoFrameRate() const { return m_video_frame_rate; }
    const std::string& GetVideoBandwidth() const { return m_video_bandwidth; }
    const std::string& GetVideoCodec() const { return m_video_codec; }

    bool HasAudio() const { return m_has_audio; }
    const std::string& GetAudioBandwidth() const { return m_audio_bandwidth; }
    const std::string& GetAudioSampleRate() const { return m_audio_sample_rate; }
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
