#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace zuzezi_zid {

class TransferHandler;

// What a part worker sends each attempt with, and what its last attempt got back.
class PartExchange {
public:
    // Replaces the request headers, e.g. with a fresh signature.
    void SetHeaders(const std::map<std::string, std::string>& headers) { m_headers = headers; }
    void SetVerifyCert(bool verify_cert) { m_verify_cert = verify_cert; }
    void SetCaLocation(const std::string& ca_location) { m_ca_location = ca_location; }
    void SetSSLCtxCallback(const std::function<int(void*, void*)>& cb, void* data) {
        m_ssl_ctx_cb = cb;
        m_user_data = data;
    }

    // Called on the worker thread when a run ends, whatever its outcome.
    void SetDoneCallback(const std::function<void()>& cb) { m_done_cb = cb; }

    int GetHttpStatus() const { return m_http_status; }
    std::string GetErrMsg() const { return m_err_msg; }

protected:
    PartExchange(const std::string& full_url, const std::map<std::string, std::string>& headers,
                 const std::map<std::string, std::string>& params, uint64_t conn_timeout_in_ms,
                 uint64_t recv_timeout_in_ms, const std::shared_ptr<TransferHandler>& handler,
                 bool verify_cert, const std::string& ca_location,
                 const std::function<int(void*, void*)>& ssl_ctx_cb, void* user_data)
        : m_full_url(full_url),
          m_headers(headers),
          m_params(params),
          m_conn_timeout_in_ms(conn_timeout_in_ms),
          m_recv_timeout_in_ms(recv_timeout_in_ms),
          m_handler(handler),
          m_verify_cert(verify_cert),
          m_ca_location(ca_location),
          m_ssl_ctx_cb(ssl_ctx_cb),
          m_user_data(user_data) {}
    ~PartExchange() = default;

    // A pool thread must not die with an exception; the owner sees a failed part.
    void FailByException(const std::string& what) {
        m_is_task_success = false;
        m_http_status = -1;
        m_err_msg = "Exception:" + what;
    }

    void ReportDone() {
        if (m_done_cb) m_done_cb();
    }

    std::string m_full_url;
    std::map<std::string, std::string> m_headers;
    std::map<std::string, std::string> m_params;
    uint64_t m_conn_timeout_in_ms;
    uint64_t m_recv_timeout_in_ms;
    std::shared_ptr<TransferHandler> m_handler;
    bool m_verify_cert;
    std::string m_ca_location;
    std::function<int(void*, void*)> m_ssl_ctx_cb;
    void* m_user_data;

    std::string m_resp;
    bool m_is_task_success = false;
    int m_http_status = -1;
    std::map<std::string, std::string> m_resp_headers;
    std::string m_err_msg;
    std::function<void()> m_done_cb;
};

}  // namespace zuzezi_zid
