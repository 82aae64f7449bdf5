#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace zuzezi_zid {

// Outcome of one storage operation. The server time is not carried by copies.
class ZidResult {
public:
    ZidResult() = default;
    ZidResult(const ZidResult& other);
    ZidResult& operator=(const ZidResult& other);
    ~ZidResult() = default;

    bool IsSucc() const { return m_is_succ; }
    void SetSucc() { m_is_succ = true; }
    void SetFail() { m_is_succ = false; }

    int GetHttpStatus() const { return m_http_status; }
    void SetHttpStatus(int status) { m_http_status = status; }

    std::string GetErrorCode() const { return m_error_code; }
    void SetErrorCode(const std::string& code) { m_error_code = code; }
    std::string GetErrorMsg() const { return m_error_msg; }
    void SetErrorMsg(const std::string& msg) { m_error_msg = msg; }
    std::string GetResourceAddr() const { return m_resource_addr; }
    std::string GetXZidRequestId() const { return m_request_id; }
    void SetXZidRequestId(const std::string& id) { m_request_id = id; }
    std::string GetXZidTraceId() const { return m_trace_id; }
    std::string GetXZidServerTime() const { return m_server_time; }
    uint64_t GetRealByte() const { return m_real_byte; }
    void SetRealByte(uint64_t n) { m_real_byte = n; }

    // Takes the ids from the headers, then the fields of an "Error" body;
    // false when the body is not XML or has no "Error" element.
    bool ParseFromHttpResponse(const std::map<std::string, std::string>& headers,
                               const std::string& body);

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

// True when a failed exchange without a request id may be repeated on the
// backup domain (and the process-wide switch allows it).
bool NeedsBackupDomainRetry(const ZidResult& result);

}  // namespace zuzezi_zid
