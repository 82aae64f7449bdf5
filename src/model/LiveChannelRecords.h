/// @file
/// LiveChannelConfiguration, a live channel's settings, which a channel's creation sends
/// and its reading returns.

#pragma once

#include <string>

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

}  // namespace zuzezi_zid
