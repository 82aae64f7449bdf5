#include "response/BaseResp.h"

#include "response/XmlBodyReader.h"
#include "trsf/TransferHandler.h"
#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

namespace {

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && StringUtil::HasPrefixIgnoreCase(a, b);
}

// Exact spelling first, then any spelling.
const std::string* FindHeader(const std::map<std::string, std::string>& headers,
                              const std::string& name) {
    auto it = headers.find(name);
    if (it != headers.end()) {
        return &it->second;
    }
    for (const auto& header : headers) {
        if (EqualsIgnoreCase(header.first, name)) {
            return &header.second;
        }
    }
    return nullptr;
}

}  // namespace

std::string BaseResp::DumpText() const {
    std::string text;
    for (const auto& header : m_headers) {
        text += header.first + " = " + header.second + "\n";
    }
    return text + m_body;
}

void BaseResp::ParseFromHeaders(const std::map<std::string, std::string>& headers) {
    m_headers = headers;
}

bool BaseResp::ParseFromXmlString(const std::string& body) {
    m_body = body;
    return true;
}

std::string BaseResp::GetHeader(const std::string& name) const {
    const std::string* value = FindHeader(m_headers, name);
    return value ? *value : std::string();
}

uint64_t BaseResp::GetContentLength() const {
    const std::string* value = FindHeader(m_headers, "Content-Length");
    return value ? StringUtil::ParseUint64(*value) : 0;
}

bool BaseResp::HasNumericContentLength() const {
    const std::string* value = FindHeader(m_headers, "Content-Length");
    return value && !value->empty() &&
           value->find_first_not_of("0123456789") == std::string::npos;
}

void BaseResp::SetContentLength(uint64_t length) {
    m_headers["Content-Length"] = StringUtil::FormatUint64(length);
}

std::string BaseResp::GetEtag() const {
    auto it = m_headers.find("ETag");
    if (it == m_headers.end()) {
        it = m_headers.find("Etag");
    }
    const std::string* value = it != m_headers.end() ? &it->second : FindHeader(m_headers, "ETag");
    return value ? StringUtil::StripEnclosing(*value, "\"") : std::string();
}

void BaseResp::AssignFrom(const BaseResp& other) {
    if (this == &other) {
        return;
    }
    m_headers = other.m_headers;
    m_body = other.m_body;
}

bool BaseResp::ParseFromACLXMLString(const std::string& body, std::string* owner_id,
                                     std::string* owner_display_name, std::vector<Grant>* acl) {
    XmlBodyReader xml(body);
    if (!xml.Parsed()) {
        ZID_LOG_ERR("Parse string to xml doc error, xml_body=%s",
                    LogUtil::QuoteBody(body).c_str());
        return false;
    }
    auto* root = xml.Root("AccessControlPolicy");
    if (!root) {
        ZID_LOG_ERR("Miss root node=AccessControlPolicy, xml_body=%s",
                    LogUtil::QuoteBody(body).c_str());
        return false;
    }
    ZID_FOR_EACH_CHILD(node, root) {
        const std::string name = XmlBodyReader::Name(node);
        if (name == "Owner") {
            ZID_FOR_EACH_CHILD(field, node) {
                if (!XmlBodyReader::AssignText(field, {{"ID", owner_id},
                                                       {"DisplayName", owner_display_name}})) {
                    ZID_LOG_WARN("Unknown field in owner node, field_name=%s",
                                 XmlBodyReader::Name(field).c_str());
                }
            }
        } else if (name == "AccessControlList") {
            ZID_FOR_EACH_CHILD(grant_node, node) {
                if (!XmlBodyReader::Is(grant_node, "Grant")) {
                    ZID_LOG_WARN("Unknown field in AccessControlList node, field_name=%s",
                                 XmlBodyReader::Name(grant_node).c_str());
                    continue;
                }
                Grant grant;
                ZID_FOR_EACH_CHILD(field, grant_node) {
                    if (XmlBodyReader::Is(field, "Grantee")) {
                        if (auto* type = field->first_attribute("xsi:type")) {
                            grant.m_type.assign(type->value(), type->value_size());
                        }
                        ZID_FOR_EACH_CHILD(grantee, field) {
                            if (!XmlBodyReader::AssignText(
                                    grantee, {{"ID", &grant.m_id},
                                              {"DisplayName", &grant.m_display_name},
                                              {"URI", &grant.m_uri}})) {
                                ZID_LOG_WARN("Unknown field in grantee node, field_name=%s",
                                             XmlBodyReader::Name(grantee).c_str());
                            }
                        }
                    } else if (!XmlBodyReader::AssignText(field, {{"Permission", &grant.m_perm}})) {
                        ZID_LOG_WARN("Unknown field in grant node, field_name=%s",
                                     XmlBodyReader::Name(field).c_str());
                    }
                }
                acl->push_back(grant);
            }
        } else {
            ZID_LOG_WARN("Unknown field in AccessControlPolicy node, field_name=%s", name.c_str());
        }
    }
    return true;
}

AsyncResp::AsyncResp(const std::shared_ptr<TransferHandler>& handler) {
    if (handler) {
        SetHeaders(handler->GetRespHeaders());
        SetBody(handler->GetRespBody());
    }
}

}  // namespace zuzezi_zid
