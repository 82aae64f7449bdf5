#include "response/LiveChannelResp.h"

#include "response/XmlBodyReader.h"
#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

namespace {

using Node = XmlBodyReader::Node;

// A macro: the log macros join their format with string literals.
#define ZID_LIVE_PARSE_ERROR "Parse string to xml doc error, xml_body=%s"

// The first child element of a URL list when it is a "Url", else null.
const Node* FirstUrl(const Node* list) {
    const Node* url = list ? XmlBodyReader::FirstElement(list) : nullptr;
    return url && XmlBodyReader::Is(url, "Url") ? url : nullptr;
}

}  // namespace

bool PutLiveChannelResp::ParseFromXmlString(const std::string& body) {
    ZID_XML_ROOT_OR_FAIL(reader, root, body, "CreateLiveChannelResult", ZID_LIVE_PARSE_ERROR,
                         "Miss root node=CreateLiveChannelResult, xml_body=%s");
    const Node* publish = root->first_node("PublishUrls");
    if (!publish) {
        ZID_LOG_WARN("Miss node PublishUrls, xml_body=%s", LogUtil::QuoteBody(body).c_str());
        return false;
    }
    const Node* publish_url = FirstUrl(publish);
    if (!publish_url) {
        ZID_LOG_WARN("Miss node PublishUrls Url, xml_body=%s", LogUtil::QuoteBody(body).c_str());
        return false;
    }
    m_publish_url = XmlBodyReader::Text(publish_url);
    const Node* play_url = FirstUrl(root->first_node("PlayUrls"));
    if (!play_url) {
        ZID_LOG_WARN("Miss node PlayUrls, xml_body=%s", LogUtil::QuoteBody(body).c_str());
        return false;
    }
    m_play_url = XmlBodyReader::Text(play_url);
    return true;
}

bool GetLiveChannelResp::ParseFromXmlString(const std::string& body) {
    ZID_XML_ROOT_OR_FAIL(reader, root, body, "LiveChannelConfiguration", ZID_LIVE_PARSE_ERROR,
                         "Missing root node LiveChannelConfiguration, xml_body=%s");
    ZID_FOR_EACH_CHILD(node, root) {
        const std::string text = XmlBodyReader::Text(node);
        if (XmlBodyReader::Is(node, "Description")) {
            m_config.SetDescription(text);
        } else if (XmlBodyReader::Is(node, "Switch")) {
            m_config.SetSwitch(text);
        } else if (XmlBodyReader::Is(node, "Target")) {
            ZID_FOR_EACH_CHILD(field, node) {
                const std::string value = XmlBodyReader::Text(field);
                if (XmlBodyReader::Is(field, "Type")) {
                    m_config.SetType(value);
                } else if (XmlBodyReader::Is(field, "FragDuration")) {
                    m_config.SetFragDuration(StringUtil::ParseInt(value));
                } else if (XmlBodyReader::Is(field, "FragCount")) {
                    m_config.SetFragCount(StringUtil::ParseInt(value));
                } else if (XmlBodyReader::Is(field, "PlaylistName")) {
                    m_config.SetPlaylistName(value);
                } else if (XmlBodyReader::Is(field, "PublishUrls")) {
                    const Node* url = FirstUrl(field);
                    if (!url) {
                        ZID_LOG_WARN("Missing node PublishUrls Url, xml_body=%s",
                                     LogUtil::QuoteBody(body).c_str());
                        return false;
                    }
                    m_config.SetPublishUrl(XmlBodyReader::Text(url));
                } else if (XmlBodyReader::Is(field, "PlayUrls")) {
                    const Node* url = FirstUrl(field);
                    if (!url) {
                        ZID_LOG_WARN("Missing node PlayUrls Url, xml_body=%s",
                                     LogUtil::QuoteBody(body).c_str());
                        return false;
                    }
                    m_config.SetPlayUrl(XmlBodyReader::Text(url));
                } else {
                    ZID_LOG_WARN("Unknown field in Target, field_name=%s",
                                 XmlBodyReader::Name(field).c_str());
                    return false;
                }
            }
        } else {
            ZID_LOG_WARN("Unknown field in LiveChannelConfiguration, field_name=%s",
                         XmlBodyReader::Name(node).c_str());
            return false;
        }
    }
    return true;
}

bool GetLiveChannelHistoryResp::ParseFromXmlString(const std::string& body) {
    ZID_XML_ROOT_OR_FAIL(reader, root, body, "LiveChannelHistory", ZID_LIVE_PARSE_ERROR,
                         "Missing root node LiveChannelHistory, xml_body=%s");
    ZID_FOR_EACH_CHILD(node, root) {
        if (!XmlBodyReader::Is(node, "LiveRecord")) {
            ZID_LOG_WARN("Unknown field in LiveChannelHistory, field_name=%s",
                         XmlBodyReader::Name(node).c_str());
            return false;
        }
        LiveRecord record;
        ZID_FOR_EACH_CHILD(field, node) {
            if (!XmlBodyReader::AssignText(field, {{"StartTime", &record.m_start_time},
                                                   {"EndTime", &record.m_end_time},
                                                   {"RemoteAddr", &record.m_remote_addr},
                                                   {"RequestId", &record.m_request_id}})) {
                ZID_LOG_WARN("Unknown field in LiveRecord, field_name=%s",
                             XmlBodyReader::Name(field).c_str());
                return false;
            }
        }
        m_records.push_back(record);
    }
    return true;
}

bool GetLiveChannelStatusResp::ParseFromXmlString(const std::string& body) {
    ZID_XML_ROOT_OR_FAIL(reader, root, body, "LiveChannelStatus", ZID_LIVE_PARSE_ERROR,
                         "Miss root node LiveChannelStatus, xml_body=%s");
    ZID_FOR_EACH_CHILD(node, root) {
        if (XmlBodyReader::Is(node, "Status")) {
            const std::string status = XmlBodyReader::Text(node);
            if (status != "Idle" && status != "Live") {
                ZID_LOG_WARN("Unknown Status in LiveChannelStatus, Status:%s", status.c_str());
                return false;
            }
            m_status = status;
        } else if (XmlBodyReader::AssignText(node, {{"ConnectedTime", &m_connected_time},
                                                    {"RemoteAddr", &m_remote_addr},
                                                    {"RequestId", &m_request_id}})) {
        } else if (XmlBodyReader::Is(node, "Video")) {
            m_has_video = true;
            ZID_FOR_EACH_CHILD(field, node) {
                if (!XmlBodyReader::AssignText(field, {{"Width", &m_video_width},
                                                       {"Height", &m_video_height},
                                                       {"FrameRate", &m_video_frame_rate},
                                                       {"Bandwidth", &m_video_bandwidth},
                                                       {"Codec", &m_video_codec}})) {
                    ZID_LOG_WARN("Unknown field in Video, field_name=%s",
                                 XmlBodyReader::Name(field).c_str());
                    return false;
                }
            }
        } else if (XmlBodyReader::Is(node, "Audio")) {
            m_has_audio = true;
            ZID_FOR_EACH_CHILD(field, node) {
                if (!XmlBodyReader::AssignText(field, {{"Bandwidth", &m_audio_bandwidth},
                                                       {"SampleRate", &m_audio_sample_rate},
                                                       {"Codec", &m_audio_codec}})) {
                    ZID_LOG_WARN("Unknown field in Audio, field_name=%s",
                                 XmlBodyReader::Name(field).c_str());
                    return false;
                }
            }
        } else {
            ZID_LOG_WARN("Unknown field in LiveChannelStatus, field_name=%s",
                         XmlBodyReader::Name(node).c_str());
            return false;
        }
    }
    return true;
}

}  // namespace zuzezi_zid
