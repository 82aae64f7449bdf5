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

const char* XmlBodyWriter::CopyText(const char* text, size_t size) {
    return size == 0 ? "" : m_doc.allocate_string(text, size);
}

XmlBodyWriter::Node* XmlBodyWriter::Copy(const Node* source) {
    Node* node = m_doc.allocate_node(source->type(), CopyText(source->name(), source->name_size()),
                                     CopyText(source->value(), source->value_size()),
                                     source->name_size(), source->value_size());
    for (auto* attr = source->first_attribute(); attr; attr = attr->next_attribute()) {
        node->append_attribute(m_doc.allocate_attribute(
            CopyText(attr->name(), attr->name_size()), CopyText(attr->value(), attr->value_size()),
            attr->name_size(), attr->value_size()));
    }
    for (auto* child = source->first_node(); child; child = child->next_sibling()) {
        node->append_node(Copy(child));
    }
    return node;
}

XmlBodyWriter::Node* XmlBodyWriter::AddCopy(Node* parent, const Node* source) {
    Node* node = Copy(source);
    parent->append_node(node);
    return node;
}

void XmlBodyWriter::PrintTo(std::string* body) const {
    rapidxml::print(std::back_inserter(*body), m_doc, 0);
}

}  // namespace zuzezi_zid
