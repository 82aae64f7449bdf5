#include "request/BaseReq.h"

#include <stdexcept>

#include "ClientSettings.h"
#include "request/XmlBodyWriter.h"
#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

namespace {

void AppendMapLines(const std::map<std::string, std::string>& entries, std::string* out) {
    for (const auto& entry : entries) {
        *out += "\tkey=[" + entry.first + "], value=[" + entry.second + "]\n";
    }
}

std::string ValueOrEmpty(const std::map<std::string, std::string>& entries, const std::string& name) {
    auto it = entries.find(name);
    return it == entries.end() ? std::string() : it->second;
}

}  // namespace

BaseReq::BaseReq()
    : m_conn_timeout_in_ms(ClientSettings::GetConnTimeoutInms()),
      m_recv_timeout_in_ms(ClientSettings::GetRecvTimeoutInms()) {
    AddHeader("User-Agent", "rir-ira-dov-v5.5.18");
}

void BaseReq::AddHeader(const std::string& name, const std::string& value) {
    m_headers[name] = value;
}

void BaseReq::AddHeaders(const std::map<std::string, std::string>& headers) {
    for (const auto& header : headers) m_headers[header.first] = header.second;
}

std::string BaseReq::GetHeader(const std::string& name) const {
    return ValueOrEmpty(m_headers, name);
}

void BaseReq::AddParam(const std::string& name, const std::string& value) {
    m_params[name] = value;
}

void BaseReq::AddParams(const std::map<std::string, std::string>& params) {
    for (const auto& param : params) m_params[param.first] = param.second;
}

std::string BaseReq::GetParam(const std::string& name) const {
    return ValueOrEmpty(m_params, name);
}

void BaseReq::SetMethod(const std::string& method) { m_method = StringUtil::ToUpperCopy(method); }

std::string BaseReq::DumpText() const {
    std::string text = "\nMethod=" + m_method + ", Path=" + m_path + "\n";
    text += "Headers={\n";
    AppendMapLines(m_headers, &text);
    text += "}\nParams={\n";
    AppendMapLines(m_params, &text);
    text += "}\n";
    return text;
}

bool GenerateAclRequestBody(const Owner& owner, const std::vector<Grant>& acl, std::string* body) {
    if (owner.m_id.empty() || acl.empty()) {
        ZID_LOG_ERR("Owner id or access control list is empty.");
        return false;
    }
    XmlBodyWriter xml;
    auto* root = xml.Root("AccessControlPolicy");
    auto* owner_node = xml.Add(root, "Owner");
    xml.Add(owner_node, "ID", owner.m_id);
    if (!owner.m_display_name.empty()) {
        xml.Add(owner_node, "DisplayName", owner.m_display_name);
    }
    auto* list = xml.Add(root, "AccessControlList");
    for (const Grant& grant : acl) {
        auto* grant_node = xml.Add(list, "Grant");
        auto* grantee = xml.Add(grant_node, "Grantee");
        xml.AddAttribute(grantee, "xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance");
        xml.AddAttribute(grantee, "xsi:type", grant.m_type);
        if (!grant.m_id.empty()) {
            xml.Add(grantee, "ID", grant.m_id);
        }
        if (!grant.m_display_name.empty()) {
            xml.Add(grantee, "DisplayName", grant.m_display_name);
        }
        if (!grant.m_uri.empty()) {
            xml.Add(grantee, "URI", grant.m_uri);
        }
        xml.Add(grant_node, "Permission", grant.m_perm);
    }
    xml.PrintTo(body);
    return true;
}

const std::string& BaseReq::CheckedBucketName(const std::string& name, bool may_be_empty) {
    if (!(may_be_empty && name.empty()) && !StringUtil::IsValidBucketName(name)) {
        throw std::invalid_argument("Invalid bucket_name argument :" + name);
    }
    return name;
}

}  // namespace zuzezi_zid
