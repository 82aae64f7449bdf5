// What a ZidResult takes from an answer, and whether a failure goes to the backup domain:
// both need the XML reader and the settings, which sit above the transfer state that
// carries the result.
#include "trsf/ZidResult.h"

#include <vector>

#include "ClientSettings.h"
#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

bool ZidResult::ParseFromHttpResponse(const std::map<std::string, std::string>& headers,
                                      const std::string& body) {
    auto it = headers.find("x-zid-request-id");
    if (it != headers.end()) {
        m_request_id = it->second;
    }
    it = headers.find("x-zid-trace-id");
    if (it != headers.end()) {
        m_trace_id = it->second;
    }

    std::vector<char> copy(body.begin(), body.end());
    copy.push_back('\0');
    rapidxml::xml_document<> doc;
    if (!StringUtil::ParseXmlDocument(copy.data(), &doc)) {
        ZID_LOG_ERR("Parse string to xml doc error, xml_body=%s",
                    LogUtil::QuoteBody(body).c_str());
        return false;
    }
    rapidxml::xml_node<>* root = doc.first_node("Error");
    if (!root) {
        return false;
    }
    for (rapidxml::xml_node<>* node = root->first_node(); node; node = node->next_sibling()) {
        if (node->type() != rapidxml::node_element) {
            continue;
        }
        const std::string name(node->name(), node->name_size());
        const std::string value(node->value(), node->value_size());
        if (name == "Code") {
            m_error_code = value;
        } else if (name == "Message") {
            m_error_msg = value;
        } else if (name == "Resource") {
            m_resource_addr = value;
        } else if (name == "RequestId") {
            m_request_id = value;
        } else if (name == "TraceId") {
            m_trace_id = value;
        } else if (name == "ServerTime") {
            m_server_time = value;
        } else {
            ZID_LOG_WARN("Unknown field, field_name=%s, xml_body=%s", name.c_str(),
                         LogUtil::QuoteBody(body).c_str());
        }
    }
    return true;
}

bool NeedsBackupDomainRetry(const ZidResult& result) {
    if (result.GetHttpStatus() / 100 == 2) {
        return false;
    }
    if (!result.GetXZidRequestId().empty()) {
        return false;
    }
    return ClientSettings::IsRetryOnBackupDomain();
}

}  // namespace zuzezi_zid
