/// @file
/// BaseReq, the base of every request (headers, query parameters, method, path, body,
/// time-outs, TLS switches), and the writer of an access-control document.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/model/AclRecords.h"

namespace zuzezi_zid {

/// Marks a request to the regional processing host, which names no bucket: its bucket
/// name may be empty (any other name is still checked).
struct RegionalProcessing {};

/// TLS context callback: (native TLS context, the caller's data) -> 0 to go on, anything
/// else aborts the exchange with "SSL_Ctx Callback Exception Code: " and the value. It
/// runs on the thread that opens the connection; a request that sets one gets a context
/// and a connection of its own, never shared.
using SSLCtxCallback = std::function<int(void*, void*)>;

/// Base of every request: headers, query parameters, method, path, body, time-outs and
/// the HTTPS and check switches. Copyable; an operation takes it by constant reference
/// and does not keep it.
class ZID_API BaseReq {
public:
    /// A request with the process-wide time-outs (ClientSettings::GetConnTimeoutInms(),
    /// ClientSettings::GetRecvTimeoutInms()) as read now, and the client's "User-Agent".
    BaseReq();
    /// Copies every field, callbacks and their data pointers included.
    BaseReq(const BaseReq&) = default;
    /// Copies every field, callbacks and their data pointers included.
    BaseReq& operator=(const BaseReq&) = default;
    virtual ~BaseReq() = default;

    /// Sets a header, replacing one of the same name (names compare exactly). "Host",
    /// "Authorization", "Content-Length" and the token header are the client's own and
    /// replace whatever is set here; a name or value holding CR, LF or NUL fails the
    /// request before anything is sent.
    void AddHeader(const std::string& name, const std::string& value);
    /// Sets each of the headers as AddHeader() does.
    void AddHeaders(const std::map<std::string, std::string>& headers);
    /// The header's value; "" when it is not set.
    std::string GetHeader(const std::string& name) const;
    /// Every header set.
    const std::map<std::string, std::string>& GetHeaders() const { return m_headers; }

    /// Sets a query parameter, replacing one of the same name; an empty value sends the
    /// name alone.
    void AddParam(const std::string& name, const std::string& value);
    /// Sets each of the parameters as AddParam() does.
    void AddParams(const std::map<std::string, std::string>& params);
    /// The parameter's value; "" when it is not set.
    std::string GetParam(const std::string& name) const;
    /// Every query parameter set.
    const std::map<std::string, std::string>& GetParams() const { return m_params; }

    /// Sets the HTTP method, stored in upper case ("get" becomes "GET").
    void SetMethod(const std::string& method);
    /// The HTTP method; "" until set (object requests set their own).
    std::string GetMethod() const { return m_method; }
    /// Sets the request path (an object request's is "/" and the object key).
    void SetPath(const std::string& path) { m_path = path; }
    /// The request path.
    std::string GetPath() const { return m_path; }
    /// Sets the body; operations that build their own body ignore it.
    void SetBody(const std::string& body) { m_body = body; }
    /// The body set by SetBody().
    std::string GetBody() const { return m_body; }

    /// Sets this request's connect time-out in milliseconds. It bounds the connect, the TLS
    /// handshake and each wait to send; like the receive time-out, each wait, never the
    /// request as a whole (a body trickled a byte a second is never cut).
    void SetConnTimeoutInms(uint64_t ms) { m_conn_timeout_in_ms = ms; }
    /// Connect time-out in milliseconds; the process-wide default at construction.
    uint64_t GetConnTimeoutInms() const { return m_conn_timeout_in_ms; }
    /// Sets this request's receive time-out in milliseconds. It bounds each wait for the
    /// server's bytes, the answer's head (interim answers included) and a chunked body's
    /// trailer as a whole. Every time-out fails the call with "TimeoutException:Timeout".
    void SetRecvTimeoutInms(uint64_t ms) { m_recv_timeout_in_ms = ms; }
    /// Receive time-out in milliseconds; the process-wide default at construction.
    uint64_t GetRecvTimeoutInms() const { return m_recv_timeout_in_ms; }

    /// Sends the request over HTTPS; there is no way back to HTTP.
    void SetHttps() { m_is_https = true; }
    /// True after SetHttps(); false (HTTP) by default.
    bool IsHttps() const { return m_is_https; }

    /// Whether a download checks its body's MD5 against the answer's ETag (skipped for a
    /// ranged request and an ETag that is no plain MD5, as a multipart object's); default
    /// true. A mismatch fails the call with "Md5 of response body is not equal to the etag
    /// in the header. Body Md5= " and both values.
    bool CheckMD5() const { return m_check_md5; }
    /// Sets the MD5 check.
    void SetCheckMD5(bool on) { m_check_md5 = on; }
    /// Whether a multipart upload compares the CRC-64 the service reports with the local
    /// file's; default false. A mismatch fails the call.
    bool CheckCRC64() const { return m_check_crc64; }
    /// Sets the CRC-64 check.
    void SetCheckCRC64(bool on) { m_check_crc64 = on; }
    /// Whether the "Host" header is part of the signature; default true.
    bool SignHeaderHost() const { return m_sign_header_host; }
    /// Sets whether "Host" is signed; false for a proxy that rewrites it.
    void SetSignHeaderHost(bool on) { m_sign_header_host = on; }

    /// Sets whether an HTTPS peer's certificate is checked; default true.
    void SetVerifyCert(bool on) { m_verify_cert = on; }
    /// Whether an HTTPS peer's certificate is checked.
    bool GetVerifyCert() const { return m_verify_cert; }
    /// Sets a file or folder of CA certificates for HTTPS; "" (default) uses the system's.
    void SetCaLocation(const std::string& location) { m_ca_location = location; }
    /// The CA location; "" for the system's certificates.
    const std::string& GetCaLocation() const { return m_ca_location; }
    /// Sets a callback that sees the native TLS context of each HTTPS connection before
    /// it is used (see SSLCtxCallback).
    /// @param cb   the callback; empty for none
    /// @param data handed to cb; the caller keeps it alive while the request is in use
    void SetSSLCtxCallback(const SSLCtxCallback& cb, void* data) {
        m_ssl_ctx_cb = cb;
        m_ssl_ctx_cb_data = data;
    }
    /// The TLS context callback; empty for none.
    const SSLCtxCallback& GetSSLCtxCallback() const { return m_ssl_ctx_cb; }
    /// The data handed to the TLS context callback.
    void* GetSSLCtxCbData() const { return m_ssl_ctx_cb_data; }

    /// Method, path, headers and parameters as text for logs (credentials are not part of
    /// a request, but header values are printed as they stand).
    std::string DumpText() const;

protected:
    /// The name itself, checked for a request's constructor.
    /// @param name         bucket name: ASCII letters, digits and "-", not beginning or
    ///                     ending with "-"
    /// @param may_be_empty accept "" (regional processing requests)
    /// @throws std::invalid_argument "Invalid bucket_name argument :" + name for a name
    ///         that fails the check
    static const std::string& CheckedBucketName(const std::string& name, bool may_be_empty = false);

private:
    std::map<std::string, std::string> m_headers;
    std::map<std::string, std::string> m_params;
    std::string m_path;
    std::string m_method;
    std::string m_body;
    uint64_t m_conn_timeout_in_ms;
    uint64_t m_recv_timeout_in_ms;
    bool m_is_https = false;
    bool m_check_md5 = true;
    bool m_check_crc64 = false;
    bool m_verify_cert = true;
    bool m_sign_header_host = true;
    std::string m_ca_location;
    SSLCtxCallback m_ssl_ctx_cb;
    void* m_ssl_ctx_cb_data = nullptr;
};

/// Appends the "AccessControlPolicy" document of an access-control list.
/// @param owner the owner; its id is required
/// @param acl   the grants; at least one
/// @param body  the document is appended to it
/// @return false, with an error logged and body untouched, for an owner without id or an
///         empty list.
ZID_API bool GenerateAclRequestBody(const Owner& owner, const std::vector<Grant>& acl, std::string* body);

}  // namespace zuzezi_zid
