#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>

namespace zuzezi_zid {

class TransferHandler;

// (native TLS context handle, user data) -> 0 to go on, anything else aborts the exchange.
using SSLCtxCallback = std::function<int(void*, void*)>;

// One HTTP or HTTPS exchange, over a kept connection when the pool has one (see
// util/ConnectionPool.h). Returns the HTTP status, or -1 with *err_msg set; never throws.
class HttpSender {
public:
    using StringMap = std::map<std::string, std::string>;

    HttpSender() = delete;

    static int SendRequest(const std::shared_ptr<TransferHandler>& handler,
                           const std::string& http_method, const std::string& url_str,
                           const StringMap& req_params, const StringMap& req_headers,
                           std::istream& is, uint64_t conn_timeout_in_ms,
                           uint64_t recv_timeout_in_ms, StringMap* resp_headers,
                           std::ostream& resp_stream, std::string* err_msg,
                           bool is_check_md5 = false, bool is_verify_cert = true,
                           const std::string& ca_location = "",
                           const SSLCtxCallback& ssl_ctx_cb = nullptr, void* user_data = nullptr);

    // Download form: the body goes to resp_stream when the answer is the bytes asked for (see
    // util/DownloadAnswer.h), to err_body otherwise.
    static int SendRequest(const std::shared_ptr<TransferHandler>& handler,
                           const std::string& http_method, const std::string& url_str,
                           const StringMap& req_params, const StringMap& req_headers,
                           const std::string& req_body, uint64_t conn_timeout_in_ms,
                           uint64_t recv_timeout_in_ms, StringMap* resp_headers,
                           std::string* err_body, std::ostream& resp_stream, std::string* err_msg,
                           uint64_t* real_byte, bool is_check_md5 = false,
                           bool is_verify_cert = true, const std::string& ca_location = "",
                           const SSLCtxCallback& ssl_ctx_cb = nullptr, void* user_data = nullptr);

    static int SendWithStringBody(
        const std::shared_ptr<TransferHandler>& handler, const std::string& http_method,
        const std::string& url_str, const StringMap& req_params, const StringMap& req_headers,
        const std::string& req_body, uint64_t conn_timeout_in_ms, uint64_t recv_timeout_in_ms,
        StringMap* resp_headers, std::string* resp_body, std::string* err_msg,
        bool is_check_md5 = false, bool is_verify_cert = true, const std::string& ca_location = "",
        const SSLCtxCallback& ssl_ctx_cb = nullptr, void* user_data = nullptr);

    static int SendWithStreamBody(
        const std::shared_ptr<TransferHandler>& handler, const std::string& http_method,
        const std::string& url_str, const StringMap& req_params, const StringMap& req_headers,
        std::istream& is, uint64_t conn_timeout_in_ms, uint64_t recv_timeout_in_ms,
        StringMap* resp_headers, std::string* resp_body, std::string* err_msg,
        bool is_check_md5 = false, bool is_verify_cert = true, const std::string& ca_location = "",
        const SSLCtxCallback& ssl_ctx_cb = nullptr, void* user_data = nullptr);

    static int SendWithStringBodyToStream(
        const std::shared_ptr<TransferHandler>& handler, const std::string& http_method,
        const std::string& url_str, const StringMap& req_params, const StringMap& req_headers,
        const std::string& req_body, uint64_t conn_timeout_in_ms, uint64_t recv_timeout_in_ms,
        StringMap* resp_headers, std::ostream& resp_stream, std::string* err_msg,
        bool is_check_md5 = false, bool is_verify_cert = true, const std::string& ca_location = "",
        const SSLCtxCallback& ssl_ctx_cb = nullptr, void* user_data = nullptr);
};

}  // namespace zuzezi_zid
