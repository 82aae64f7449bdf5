#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zuzezi_zid {

// Owner and grant of an access-control list.
struct Owner {
    std::string m_id;
    std::string m_display_name;
};

struct Grant {
    std::string m_type;  // value of the grantee's "xsi:type" attribute
    std::string m_id;
    std::string m_display_name;
    std::string m_uri;
    std::string m_perm;
};

// Marks a request to the regional processing host, which names no bucket: its bucket name
// may be empty (any other name is still checked).
struct RegionalProcessing {};

// (native TLS context, user data) -> 0 to go on, anything else aborts the exchange.
using SSLCtxCallback = std::function<int(void*, void*)>;

class BaseReq {
public:
    BaseReq();
    BaseReq(const BaseReq&) = default;
    BaseReq& operator=(const BaseReq&) = default;
    virtual ~BaseReq() = default;

    void AddHeader(const std::string& name, const std::string& value);
    void AddHeaders(const std::map<std::string, std::string>& headers);
    std::string GetHeader(const std::string& name) const;
    const std::map<std::string, std::string>& GetHeaders() const { return m_headers; }

    void AddParam(const std::string& name, const std::string& value);
    void AddParams(const std::map<std::string, std::string>& params);
    std::string GetParam(const std::string& name) const;
    const std::map<std::string, std::string>& GetParams() const { return m_params; }

    void SetMethod(const std::string& method);
    std::string GetMethod() const { return m_method; }
    void SetPath(const std::string& path) { m_path = path; }
    std::string GetPath() const { return m_path; }
    void SetBody(const std::string& body) { m_body = body; }
    std::string GetBody() const { return m_body; }

    void SetConnTimeoutInms(uint64_t ms) { m_conn_timeout_in_ms = ms; }
    uint64_t GetConnTimeoutInms() const { return m_conn_timeout_in_ms; }
    void SetRecvTimeoutInms(uint64_t ms) { m_recv_timeout_in_ms = ms; }
    uint64_t GetRecvTimeoutInms() const { return m_recv_timeout_in_ms; }

    void SetHttps() { m_is_https = true; }
    bool IsHttps() const { return m_is_https; }

    bool CheckMD5() const { return m_check_md5; }
    void SetCheckMD5(bool on) { m_check_md5 = on; }
    bool CheckCRC64() const { return m_check_crc64; }
    void SetCheckCRC64(bool on) { m_check_crc64 = on; }
    bool SignHeaderHost() const { return m_sign_header_host; }
    void SetSignHeaderHost(bool on) { m_sign_header_host = on; }

    void SetVerifyCert(bool on) { m_verify_cert = on; }
    bool GetVerifyCert() const { return m_verify_cert; }
    void SetCaLocation(const std::string& location) { m_ca_location = location; }
    const std::string& GetCaLocation() const { return m_ca_location; }
    void SetSSLCtxCallback(const SSLCtxCallback& cb, void* data) {
        m_ssl_ctx_cb = cb;
        m_ssl_ctx_cb_data = data;
    }
    const SSLCtxCallback& GetSSLCtxCallback() const { return m_ssl_ctx_cb; }
    void* GetSSLCtxCbData() const { return m_ssl_ctx_cb_data; }

    std::string DumpText() const;

protected:
    // The name itself; throws std::invalid_argument "Invalid bucket_name argument :" + name
    // for one that fails the name check.
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

// Appends the AccessControlPolicy document; refuses an owner without id or an empty list.
bool GenerateAclRequestBody(const Owner& owner, const std::vector<Grant>& acl, std::string* body);

}  // namespace zuzezi_zid
