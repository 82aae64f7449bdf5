#include "request/SelectObjectContentReq.h"

#include <vector>

#include <rapidxml/rapidxml.hpp>

#include "request/XmlBodyWriter.h"
#include "util/LogUtil.h"

namespace zuzezi_zid {

namespace {

// A caller's XML fragment parsed from a private copy; the copy lives as long as the document,
// whose names and texts point into it.
struct Fragment {
    std::vector<char> buffer;
    rapidxml::xml_document<> doc;
    std::string error;  // the parser's message when it failed

    explicit Fragment(const std::string& text) : buffer(text.begin(), text.end()) {
        buffer.push_back('\0');
        try {
            doc.parse<0>(buffer.data());
        } catch (const rapidxml::parse_error& e) {
            error = e.what();
        }
    }

    const rapidxml::xml_node<>* FirstElement() const {
        for (auto* node = doc.first_node(); node; node = node->next_sibling()) {
            if (node->type() == rapidxml::node_element) return node;
        }
        return nullptr;
    }
};

}  // namespace

SelectObjectContentReq::SelectObjectContentReq(const std::string& bucket_name,
                                               const std::string& object_name)
    : ObjectReq(bucket_name, object_name, "POST", "select") {
    AddParam("select-type", "2");
}

bool SelectObjectContentReq::GenerateRequestBody(std::string* body) const {
    if (m_expression.empty() || m_input_serialization.empty() || m_output_serialization.empty() ||
        m_expression_type != "SQL") {
        ZID_LOG_ERR("Invalid request, please check again");
        return false;
    }
    const Fragment input(m_input_serialization);
    if (!input.error.empty()) {
        ZID_LOG_ERR("input_serialization parse error %s %s", input.error.c_str(),
                    m_input_serialization.c_str());
        return false;
    }
    const Fragment output(m_output_serialization);
    if (!output.error.empty()) {
        ZID_LOG_ERR("out serialization parse error %s %s", output.error.c_str(),
                    m_output_serialization.c_str());
        return false;
    }
    // Text that parses may still hold no element at all (blank, or a declaration only).
    const auto* input_element = input.FirstElement();
    const auto* output_element = output.FirstElement();
    if (!input_element || !output_element) {
        ZID_LOG_ERR("%s serialization holds no element", input_element ? "output" : "input");
        return false;
    }

    XmlBodyWriter writer;
    auto* root = writer.Root("SelectRequest");
    writer.Add(root, "Expression", m_expression);
    writer.Add(root, "ExpressionType", m_expression_type);
    writer.AddCopy(root, input_element);
    writer.AddCopy(root, output_element);
    auto* progress = writer.Add(root, "RequestProgress");
    writer.Add(progress, "Enabled", m_request_progress ? "TRUE" : "FALSE");
    writer.PrintTo(body);
    return true;
}

}  // namespace zuzezi_zid
