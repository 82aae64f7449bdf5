#include "request/LiveChannelReq.h"

#include "request/XmlBodyWriter.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

namespace {

void AddTimeWindow(ObjectReq* req, uint64_t start_time, uint64_t end_time) {
    req->AddParam("starttime", StringUtil::FormatUint64(start_time));
    req->AddParam("endtime", StringUtil::FormatUint64(end_time));
}

}  // namespace

bool PutLiveChannelReq::GenerateRequestBody(std::string* body) const {
    XmlBodyWriter writer;
    auto* root = writer.Root("LiveChannelConfiguration");
    writer.Add(root, "Description", m_config.GetDescription());
    writer.Add(root, "Switch", m_config.GetSwitch());
    auto* target = writer.Add(root, "Target");
    writer.Add(target, "Type", m_config.GetType());
    writer.Add(target, "FragDuration", StringUtil::FormatInt(m_config.GetFragDuration()));
    writer.Add(target, "FragCount", StringUtil::FormatInt(m_config.GetFragCount()));
    writer.Add(target, "PlaylistName", m_config.GetPlaylistName());
    writer.PrintTo(body);
    return true;
}

GetLiveChannelVodPlaylistReq::GetLiveChannelVodPlaylistReq(const std::string& bucket_name,
                                                           const std::string& channel_name,
                                                           uint64_t start_time, uint64_t end_time)
    : ObjectReq(bucket_name, channel_name, "GET", "vod") {
    AddTimeWindow(this, start_time, end_time);
}

PostLiveChannelVodPlaylistReq::PostLiveChannelVodPlaylistReq(const std::string& bucket_name,
                                                             const std::string& channel_name,
                                                             const std::string& playlist_name,
                                                             uint64_t start_time, uint64_t end_time)
    : ObjectReq(bucket_name, channel_name + "/" + playlist_name, "POST", "vod") {
    AddTimeWindow(this, start_time, end_time);
}

}  // namespace zuzezi_zid
