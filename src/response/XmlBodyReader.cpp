#include "response/XmlBodyReader.h"

#include <cstdlib>
#include <cstring>

#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

XmlBodyReader::XmlBodyReader(const std::string& body) : m_buffer(body.begin(), body.end()) {
    m_buffer.push_back('\0');
    m_parsed = StringUtil::ParseXmlDocument(m_buffer.data(), &m_doc);
}

XmlBodyReader::Node* XmlBodyReader::Root(const char* name) const {
    if (!m_parsed) {
        return nullptr;
    }
    return m_doc.first_node(name, std::strlen(name), true);
}

XmlBodyReader::Node* XmlBodyReader::FindRoot(const std::string& body, const char* root_name,
                                             const char* parse_fmt, const char* miss_fmt,
                                             const LogSite& site) const {
    if (!m_parsed) {
        Log(1, site, parse_fmt, body, body);
        return nullptr;
    }
    Node* root = Root(root_name);
    if (!root) {
        Log(1, site, miss_fmt, body, body);
    }
    return root;
}

void XmlBodyReader::Log(int level, const LogSite& site, const char* fmt, const std::string& arg,
                        const std::string& body) {
    if (ClientSettings::GetLogLevel() < level) {
        return;
    }
    const std::string text = LogUtil::Format(fmt, LogUtil::QuoteBody(arg).c_str(),
                                             LogUtil::QuoteBody(body).c_str());
    ZID_LOG_AT_SITE(level, site, "%s", text.c_str());
}

XmlBodyReader::Node* XmlBodyReader::Child(const Node* parent, const char* name) {
    ZID_FOR_EACH_CHILD(child, parent) {
        if (Is(child, name)) {
            return child;
        }
    }
    return nullptr;
}

std::string XmlBodyReader::Name(const Node* node) {
    return std::string(node->name(), node->name_size());
}

std::string XmlBodyReader::Text(const Node* node) {
    return std::string(node->value(), node->value_size());
}

bool XmlBodyReader::Is(const Node* node, const char* name) {
    const size_t len = std::strlen(name);
    return node->name_size() == len && std::memcmp(node->name(), name, len) == 0;
}

bool XmlBodyReader::AssignText(const Node* node,
                               std::initializer_list<std::pair<const char*, std::string*>> fields) {
    for (const auto& field : fields) {
        if (Is(node, field.first)) {
            *field.second = Text(node);
            return true;
        }
    }
    return false;
}

uint64_t XmlBodyReader::Number(const Node* node) { return StringUtil::ParseUint64(Text(node)); }

int XmlBodyReader::Int(const Node* node) { return StringUtil::ParseInt(Text(node)); }

bool XmlBodyReader::Flag(const Node* node) { return Text(node) == "true"; }

std::string XmlBodyReader::Unquoted(const Node* node) {
    return StringUtil::StripEnclosing(Text(node), "\"");
}

XmlBodyReader::Node* XmlBodyReader::FirstElement(const Node* parent) {
    Node* node = parent->first_node();
    while (node && node->type() != rapidxml::node_element) {
        node = node->next_sibling();
    }
    return node;
}

XmlBodyReader::Node* XmlBodyReader::NextElement(const Node* node) {
    Node* next = node->next_sibling();
    while (next && next->type() != rapidxml::node_element) {
        next = next->next_sibling();
    }
    return next;
}

}  // namespace zuzezi_zid
