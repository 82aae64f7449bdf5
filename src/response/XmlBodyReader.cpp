#include "response/XmlBodyReader.h"

#include <cstdlib>
#include <cstring>

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

uint64_t XmlBodyReader::Number(const Node* node) {
    return std::strtoull(Text(node).c_str(), nullptr, 10);
}

bool XmlBodyReader::Flag(const Node* node) { return Text(node) == "true"; }

std::string XmlBodyReader::Unquoted(const Node* node) {
    std::string text = Text(node);
    if (!text.empty() && text.front() == '"') {
        text.erase(0, 1);
    }
    if (!text.empty() && text.back() == '"') {
        text.pop_back();
    }
    return text;
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
