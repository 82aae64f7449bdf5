#include "request/XmlBodyWriter.h"

#include <iterator>

#include <rapidxml/rapidxml_print.hpp>

namespace zuzezi_zid {

XmlBodyWriter::Node* XmlBodyWriter::Root(const char* name) {
    Node* root = m_doc.allocate_node(rapidxml::node_element, name);
    m_doc.append_node(root);
    return root;
}

XmlBodyWriter::Node* XmlBodyWriter::Add(Node* parent, const char* name) {
    Node* node = m_doc.allocate_node(rapidxml::node_element, name);
    parent->append_node(node);
    return node;
}

XmlBodyWriter::Node* XmlBodyWriter::Add(Node* parent, const char* name, const std::string& text) {
    const char* value = text.empty() ? "" : m_doc.allocate_string(text.data(), text.size());
    Node* node = m_doc.allocate_node(rapidxml::node_element, name, value, 0, text.size());
    parent->append_node(node);
    return node;
}

void XmlBodyWriter::AddAttribute(Node* node, const char* name, const std::string& value) {
    const char* copy = value.empty() ? "" : m_doc.allocate_string(value.data(), value.size());
    node->append_attribute(m_doc.allocate_attribute(name, copy, 0, value.size()));
}

void XmlBodyWriter::PrintTo(std::string* body) const {
    rapidxml::print(std::back_inserter(*body), m_doc, 0);
}

}  // namespace zuzezi_zid
