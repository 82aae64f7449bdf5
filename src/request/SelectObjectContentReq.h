/// @file
/// The select query over one stored object.

#pragma once

#include <string>

#include "zid/ZidExport.h"
#include "zid/request/ObjectReq.h"

namespace zuzezi_zid {

/// A select query over one stored object: POST ?select&select-type=2 with a
/// "SelectRequest" body, sent with `ZidAPI::SelectObjectContent`. The serializations are
/// single XML elements in text form, copied into the body whole. A request the body
/// cannot be written from fails the call, without sending, with "Generate
/// SelectObjectContent Request Body fail.".
class ZID_API SelectObjectContentReq : public ObjectReq {
public:
    /// @param bucket_name the bucket, "NAME-APPID" or NAME alone
    /// @param object_name the key of the object queried
    /// @throws std::invalid_argument "Invalid bucket_name argument :" + name for a bucket
    ///         name that fails the check
    SelectObjectContentReq(const std::string& bucket_name, const std::string& object_name);

    /// Sets "Expression": the query; required.
    void SetExpression(const std::string& expression) { m_expression = expression; }
    /// "Expression"; "" by default.
    const std::string& GetExpression() const { return m_expression; }
    /// Sets "ExpressionType"; only "SQL" makes a body.
    void SetExpressionType(const std::string& type) { m_expression_type = type; }
    /// "ExpressionType"; "" by default.
    const std::string& GetExpressionType() const { return m_expression_type; }
    /// Sets the input's format: one "InputSerialization" element as XML text; required.
    void SetInputSerialization(const std::string& xml) { m_input_serialization = xml; }
    /// The input serialization text; "" by default.
    const std::string& GetInputSerialization() const { return m_input_serialization; }
    /// Sets the records' format: one "OutputSerialization" element as XML text; required.
    void SetOutputSerialization(const std::string& xml) { m_output_serialization = xml; }
    /// The output serialization text; "" by default.
    const std::string& GetOutputSerialization() const { return m_output_serialization; }
    /// Whether the service sends "Progress" events ("RequestProgress/Enabled" "TRUE");
    /// false by default.
    void SetRequestProgress(bool on) { m_request_progress = on; }
    /// Whether "Progress" events are asked for.
    bool GetRequestProgress() const { return m_request_progress; }

    /// Writes the "SelectRequest" document.
    /// @param body the document is appended to it
    /// @return false, with body untouched and an error logged, when the expression or a
    ///         serialization is empty, the expression type is not "SQL", or a
    ///         serialization is not XML or holds no element
    bool GenerateRequestBody(std::string* body) const;

private:
    std::string m_expression;
    std::string m_expression_type;
    std::string m_input_serialization;
    std::string m_output_serialization;
    bool m_request_progress = false;
};

}  // namespace zuzezi_zid
