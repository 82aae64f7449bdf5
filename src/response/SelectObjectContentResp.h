#pragma once

#include <string>
#include <vector>

#include "response/BaseResp.h"

namespace zuzezi_zid {

// One kept event of a select answer: "Records", "Progress" or "Stats".
struct SelectMessage {
    std::string m_event_type;
    std::string m_content_type;
    std::string m_payload;  // raw bytes, zero bytes included
};

// The answer of a select query: a framed binary event stream, not XML.
class SelectObjectContentResp : public BaseResp {
public:
    // How the last decoding ended.
    enum class StreamState {
        NotDecoded,  // nothing decoded yet
        Complete,    // the End event arrived
        NoEnd,       // every message was sound but the End event never came
        Malformed,   // a message failed its checks
        ErrorEvent,  // the service sent an error message
    };

    SelectObjectContentResp() = default;
    ~SelectObjectContentResp() override = default;

    /// Decodes a select answer's event stream into this response.
    /// Each call starts from an empty response: the messages, the error code and message and
    /// the stream state of an earlier decoding are dropped first.
    /// @param body the whole answer body, binary.
    /// @return true when every message was sound, also for a stream that stops before its End
    ///     event (GetStreamState() tells that apart); false on a malformed message or an error
    ///     event, keeping the messages decoded before it and, for an error event, the
    ///     service's code and message (GetErrorCode(), GetErrorMsg()).
    bool ParseFromXmlString(const std::string& body) override;

    // The records on standard output, or the service's error in one line.
    void PrintResult() const;
    // The records into path: 0, or -1 when the answer is an error or the file cannot be written.
    int WriteResultToLocalFile(const std::string& path) const;

    const std::vector<SelectMessage>& GetMessages() const { return m_messages; }
    const std::string& GetErrorCode() const { return m_error_code; }
    const std::string& GetErrorMsg() const { return m_error_msg; }

    StreamState GetStreamState() const { return m_state; }
    // Why the last decoding did not reach End; empty when it did.
    const std::string& GetStreamFailure() const { return m_failure; }

private:
    bool Stop(StreamState state, const std::string& why);

    std::vector<SelectMessage> m_messages;
    std::string m_error_msg;
    std::string m_error_code;
    StreamState m_state = StreamState::NotDecoded;
    std::string m_failure;
};

// Stores any response's body in a local file: 0, or -1 when it cannot be written.
int WriteResultToFile(const BaseResp& resp, const std::string& path);

}  // namespace zuzezi_zid
