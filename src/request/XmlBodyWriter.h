#pragma once

#include <string>

#include <rapidxml/rapidxml.hpp>

namespace zuzezi_zid {

// Builds one request document. Texts are copied into the document's pool with
// their sizes, so embedded NULs survive and nothing points into the caller's strings.
class XmlBodyWriter {
public:
    using Node = rapidxml::xml_node<>;

    Node* Root(const char* name);
    Node* Add(Node* parent, const char* name);
    Node* Add(Node* parent, const char* name, const std::string& text);
    void AddAttribute(Node* node, const char* name, const std::string& value);
    // Appends a deep copy of a node of another document (attributes and children of every
    // kind); names and texts are copied too, so the source may go away before printing.
    Node* AddCopy(Node* parent, const Node* source);
    // Appends the printed document: tab indentation, no declaration, entities escaped.
    void PrintTo(std::string* body) const;

private:
    const char* CopyText(const char* text, size_t size);
    Node* Copy(const Node* source);

    rapidxml::xml_document<> m_doc;
};

}  // namespace zuzezi_zid
