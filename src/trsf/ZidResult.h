/// @file
/// The outcome of every storage operation, ZidResult, and the test that decides whether a
/// failure is repeated on the backup domain.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "zid/ZidExport.h"

namespace zuzezi_zid {

/// Outcome of one storage operation, returned by value; failures are reported here, not
/// thrown.
///
/// A failure has IsSucc() false. When no answer arrived (no connection, time-out, a
/// cancelled transfer, a check the client made before sending) GetHttpStatus() stays -1
/// and the error message holds the client's own text, such as "Request canceled by user"
/// or "Invalid access_key secret_key or region, please check your configuration". When
/// the service answered with an error, the status is its HTTP status and the code,
/// message, resource, request id and trace id come from its "Error" document; a body that
/// is no such document becomes the message as it stands. The server time is not carried
/// by copies.
///
/// Which answer the status, the request id and the byte count come from depends on the
/// call, since a transfer of many exchanges returns the outcome of one of them, or none:
/// | Call | GetHttpStatus(), GetXZidRequestId() | GetRealByte() |
/// |---|---|---|
/// | a single-request call (head, put, delete, ACL, tagging, copy, the bucket methods, ...) | its answer's | 0 |
/// | GetObject() (file or stream), AsyncGetObject(), the processing downloads (DataProcessDownloadToFile(), DataProcessGetObject1(), DataProcessGetObject2()) | its answer's | the body's bytes as received: the object's size after a whole GET, the error body's size after a refusal (such as 253 for a 404 of the loopback service) |
/// | MultiGetObject(), AsyncMultiGetObject() | a ranged GET's answer, 206 | 0 |
/// | MultiUploadObject(), AsyncMultiPutObject() | the completing request's answer, 200 | 0 |
/// | ResumableGetObject(), AsyncResumableGetObject() | a success has -1 and no request id; a failure those of the exchange that failed, if it was answered | 0 |
/// | a failure before any answer | -1, no request id | 0 |
///
/// So test IsSucc() for the outcome, never the status, and count a transfer's bytes with
/// its progress callback or the handler's transferred size rather than GetRealByte().
class ZID_API ZidResult {
public:
    /// A failed result with HTTP status -1 and empty fields.
    ZidResult() = default;
    /// Copies every field but the server time.
    ZidResult(const ZidResult& other);
    /// Copies every field but the server time, which keeps its old value.
    ZidResult& operator=(const ZidResult& other);
    ~ZidResult() = default;

    /// True when the operation succeeded.
    bool IsSucc() const { return m_is_succ; }
    /// Marks the result as a success.
    void SetSucc() { m_is_succ = true; }
    /// Marks the result as a failure.
    void SetFail() { m_is_succ = false; }

    /// HTTP status of the answer the result stands for (see the table above); -1 when no
    /// answer arrived, and also after a successful resumable download.
    int GetHttpStatus() const { return m_http_status; }
    /// Sets the HTTP status (-1 for "no answer").
    void SetHttpStatus(int status) { m_http_status = status; }

    /// The service's error code (element "Code" of its "Error" document), or a code the
    /// client sets itself; "" when there is none.
    std::string GetErrorCode() const { return m_error_code; }
    /// Sets the error code.
    void SetErrorCode(const std::string& code) { m_error_code = code; }
    /// The service's error message (element "Message"), or the client's own text when no
    /// answer arrived or a local check failed.
    std::string GetErrorMsg() const { return m_error_msg; }
    /// Sets the error message.
    void SetErrorMsg(const std::string& msg) { m_error_msg = msg; }
    /// The resource the service names in its "Error" document (element "Resource").
    std::string GetResourceAddr() const { return m_resource_addr; }
    /// The request id: header "x-zid-request-id", or element "RequestId" of an error;
    /// "" when the answer carried none, when no answer arrived, and after a successful
    /// resumable download (see the table above).
    std::string GetXZidRequestId() const { return m_request_id; }
    /// Sets the request id.
    void SetXZidRequestId(const std::string& id) { m_request_id = id; }
    /// The trace id: header "x-zid-trace-id", or element "TraceId" of an error.
    std::string GetXZidTraceId() const { return m_trace_id; }
    /// The service's time from element "ServerTime" of an error; "" in copies.
    std::string GetXZidServerTime() const { return m_server_time; }
    /// Bytes of the answer's body as the client received them, counted only by the
    /// one-request downloads (GetObject(), AsyncGetObject() and the processing downloads):
    /// their object's bytes, or the error body's. 0 for every other call, multi-threaded and resumable downloads and
    /// uploads included (see the table above).
    uint64_t GetRealByte() const { return m_real_byte; }
    /// Sets the received byte count.
    void SetRealByte(uint64_t n) { m_real_byte = n; }

    /// Takes the ids from the headers, then the fields of an "Error" body.
    /// @param headers response headers
    /// @param body    response body
    /// @return false when the body is not XML or has no "Error" element; the ids from the
    ///         headers are kept either way.
    bool ParseFromHttpResponse(const std::map<std::string, std::string>& headers,
                               const std::string& body);

    /// The fields as one text for logs: "IsSucc=...", "HttpStatus=...", then the error
    /// code, message, resource, request id and trace id.
    std::string DumpText() const;

private:
    bool m_is_succ = false;
    int m_http_status = -1;
    std::string m_error_code;
    std::string m_error_msg;
    std::string m_resource_addr;
    std::string m_request_id;
    std::string m_trace_id;
    std::string m_server_time;
    uint64_t m_real_byte = 0;
};

/// Whether a failed exchange is to be repeated on the backup domain.
/// @param result the outcome on the default domain
/// @return true when the status is not 2xx, the result has no request id (the service
///         did not answer) and ClientSettings::IsRetryOnBackupDomain() is on.
ZID_API bool NeedsBackupDomainRetry(const ZidResult& result);

}  // namespace zuzezi_zid
