#pragma once

#include <string>

#include "request/ObjectReq.h"

namespace zuzezi_zid {

// A select query over one stored object: POST ?select&select-type=2 with a "SelectRequest"
// body. The serializations are single XML elements in text form, copied into the body whole.
class SelectObjectContentReq : public ObjectReq {
public:
    // Throws std::invalid_argument for an invalid bucket name.
    SelectObjectContentReq(const std::string& bucket_name, const std::string& object_name);

    void SetExpression(const std::string& expression) { m_expression = expression; }
    const std::string& GetExpression() const { return m_expression; }
    // Only "SQL" makes a body.
    void SetExpressionType(const std::string& type) { m_expression_type = type; }
    const std::string& GetExpressionType() const { return m_expression_type; }
    void SetInputSerialization(const std::string& xml) { m_input_serialization = xml; }
    const std::string& GetInputSerialization() const { return m_input_serialization; }
    void SetOutputSerialization(const std::string& xml) { m_output_serialization = xml; }
    const std::string& GetOutputSerialization() const { return m_output_serialization; }
    void SetRequestProgress(bool on) { m_request_progress = on; }
    bool GetRequestProgress() const { return m_request_progress; }

    // Appends the body to *body; false, with *body untouched, when a field is missing, the
    // expression type is not "SQL" or a serialization is not one XML element.
    bool GenerateRequestBody(std::string* body) const;

private:
    std::string m_expression;
    std::string m_expression_type;
    std::string m_input_serialization;
    std::string m_output_serialization;
    bool m_request_progress = false;
};

}  // namespace zuzezi_zid
