/// @file
/// The answer of a select query, decoded from its event stream, and a helper that stores
/// any response's body in a file.

#pragma once

#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/response/BaseResp.h"

namespace zuzezi_zid {

/// One kept event of a select answer: "Records", "Progress" or "Stats".
struct SelectMessage {
    std::string m_event_type;    ///< The ":event-type" header: "Records", "Progress" or "Stats".
    std::string m_content_type;  ///< The ":content-type" header of the event.
    std::string m_payload;       ///< The payload: raw bytes, zero bytes included.
};

/// The answer of a select query: a framed binary event stream, not XML. The call fails
/// unless the stream ends with its End event: on an error event with the service's code
/// and message, otherwise with GetStreamFailure()'s text (such as "The select answer ended
/// without its End event"); the messages decoded before stay readable.
class ZID_API SelectObjectContentResp : public BaseResp {
public:
    /// How the last decoding ended.
    enum class StreamState {
        NotDecoded,  ///< Nothing decoded yet.
        Complete,    ///< The End event arrived.
        NoEnd,       ///< Every message was sound but the End event never came.
        Malformed,   ///< A message failed its checks (length, CRC, headers, event type).
        ErrorEvent,  ///< The service sent an error message.
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

    /// The records on standard output, or the service's error in one line: "Error
    /// code:" + code + ", error message:" + message.
    void PrintResult() const;
    /// The records' payloads, in order, into a file (created or truncated).
    /// @param path the local file
    /// @return 0; -1, with an error logged, when the answer is an error or the file cannot
    ///         be opened or written
    int WriteResultToLocalFile(const std::string& path) const;

    /// The kept events in stream order; valid while this response lives.
    const std::vector<SelectMessage>& GetMessages() const { return m_messages; }
    /// The error event's ":error-code"; "" when there was none.
    const std::string& GetErrorCode() const { return m_error_code; }
    /// The error event's ":error-message"; "" when there was none.
    const std::string& GetErrorMsg() const { return m_error_msg; }

    /// How the last decoding ended; NotDecoded before the first.
    StreamState GetStreamState() const { return m_state; }
    /// Why the last decoding did not reach End; empty when it did.
    const std::string& GetStreamFailure() const { return m_failure; }

private:
    bool Stop(StreamState state, const std::string& why);

    std::vector<SelectMessage> m_messages;
    std::string m_error_msg;
    std::string m_error_code;
    StreamState m_state = StreamState::NotDecoded;
    std::string m_failure;
};

/// Stores any response's body in a local file (created or truncated).
/// @param resp the response whose GetBody() is written
/// @param path the local file
/// @return 0; -1, with an error logged, when the file cannot be opened or written
ZID_API int WriteResultToFile(const BaseResp& resp, const std::string& path);

}  // namespace zuzezi_zid
