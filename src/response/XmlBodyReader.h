#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <rapidxml/rapidxml.hpp>

#include "util/LogUtil.h"

namespace zuzezi_zid {

// Parses a private, NUL-terminated copy of a response body; the caller's string is never touched.
class XmlBodyReader {
public:
    using Node = rapidxml::xml_node<>;

    explicit XmlBodyReader(const std::string& body);
    XmlBodyReader(const XmlBodyReader&) = delete;
    XmlBodyReader& operator=(const XmlBodyReader&) = delete;

    bool Parsed() const { return m_parsed; }
    // First top-level element of that exact name, or null.
    Node* Root(const char* name) const;
    // The root, or null after an ERR line (parse_fmt or miss_fmt, given the body) logged
    // as the parser at site.
    Node* FindRoot(const std::string& body, const char* root_name, const char* parse_fmt,
                   const char* miss_fmt, const LogSite& site) const;
    // A log line of a text chosen at run time, logged as the statement at site: fmt takes
    // (arg, body), each cut to a bounded quote; texts that quote less ignore the rest.
    static void Log(int level, const LogSite& site, const char* fmt, const std::string& arg,
                    const std::string& body);

    static std::string Name(const Node* node);
    // First child element of that exact name, or null.
    static Node* Child(const Node* parent, const char* name);
    static std::string Text(const Node* node);
    static bool Is(const Node* node, const char* name);
    // Assigns the node's text to the field its name maps to; false when no name matches.
    static bool AssignText(const Node* node,
                           std::initializer_list<std::pair<const char*, std::string*>> fields);
    static uint64_t Number(const Node* node);
    static int Int(const Node* node);
    static bool Flag(const Node* node);
    static std::string Unquoted(const Node* node);
    // Element children only: text and comment nodes are not fields.
    static Node* FirstElement(const Node* parent);
    static Node* NextElement(const Node* node);

private:
    std::vector<char> m_buffer;
    rapidxml::xml_document<> m_doc;
    bool m_parsed = false;
};

// Child elements only, in document order.
#define ZID_FOR_EACH_CHILD(child, parent) \
    for (auto* child = XmlBodyReader::FirstElement(parent); child; \
         child = XmlBodyReader::NextElement(child))

}  // namespace zuzezi_zid

// Parses body into reader and finds root, or logs and returns false from the
// calling parser (a macro so the log line names that parser).
#define ZID_XML_ROOT_OR_FAIL(reader, root, body, root_name, parse_error_fmt, miss_root_fmt) \
    ::zuzezi_zid::XmlBodyReader reader(body);                                                \
    auto* root =                                                                             \
        reader.FindRoot(body, root_name, parse_error_fmt, miss_root_fmt, ZID_LOG_SITE);      \
    if (!root) {                                                                             \
        return false;                                                                        \
    }
