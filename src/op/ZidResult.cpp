#include "op/ZidResult.h"

#include <vector>

#include "ClientSettings.h"
#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

ZidResult::ZidResult(const ZidResult& other)
    : m_is_succ(other.m_is_succ),
      m_http_status(other.m_http_status),
      m_error_code(other.m_error_code),
      m_error_msg(other.m_error_msg),
      m_resource_addr(other.m_resource_addr),
      m_request_id(other.m_request_id),
      m_trace_id(other.m_trace_id),
      m_real_byte(other.m_real_byte) {}

ZidResult& ZidResult::operator=(const ZidResult& other) {
    if (this != &other) {
        m_is_succ = other.m_is_succ;
        m_http_status = other.m_http_status;
        m_error_code = other.m_error_code;
        m_error_msg = other.m_error_msg;
        m_resource_addr = other.m_resource_addr;
        m_request_id = other.m_request_id;
        m_trace_id = other.m_trace_id;
        m_real_byte = other.m_real_byte;
    }
    return *this;
}

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

std::string ZidResult::DumpText() const {
    return std::string("IsSucc=") + (m_is_succ ? "true" : "false") + "\n" +
           "HttpStatus=" + StringUtil::FormatInt(m_http_status) + "\n" +
           "\tErrorCode=" + m_error_code + "\tErrorMsg=" + m_error_msg +
           "\tResourceAddr=" + m_resource_addr + "\tXZidRequestId=" + m_request_id +
           "\tXZidTraceId=" + m_trace_id + "]";
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
