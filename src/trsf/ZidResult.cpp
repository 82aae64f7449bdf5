#include "trsf/ZidResult.h"

#include <string>

namespace zuzezi_zid {

ZidResult::ZidResult(const ZidResult& other)
    : m_is_succ(other.m_is_succ),
      m_http_status(other.m_http_status),
      m_error_code(other.m_error_code),
      m_error_msg(other.m_error_msg),
      m_resource_addr(other.m_resource_addr),
      m_request_id(other.m_request_id),
      m_trace_id(other.m_trace_id),
      m_real_byte(other.m_real_byte) {}

ZidResult& ZidResult::operator=(const ZidResult& other) {
    if (this != &other) {
        m_is_succ = other.m_is_succ;
        m_http_status = other.m_http_status;
        m_error_code = other.m_error_code;
        m_error_msg = other.m_error_msg;
        m_resource_addr = other.m_resource_addr;
        m_request_id = other.m_request_id;
        m_trace_id = other.m_trace_id;
        m_real_byte = other.m_real_byte;
    }
    return *this;
}

std::string ZidResult::DumpText() const {
    return std::string("IsSucc=") + (m_is_succ ? "true" : "false") + "\n" +
           "HttpStatus=" + std::to_string(m_http_status) + "\n" +
           "\tErrorCode=" + m_error_code + "\tErrorMsg=" + m_error_msg +
           "\tResourceAddr=" + m_resource_addr + "\tXZidRequestId=" + m_request_id +
           "\tXZidTraceId=" + m_trace_id + "]";
}

}  // namespace zuzezi_zid
