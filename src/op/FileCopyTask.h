#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include <Poco/Runnable.h>

namespace zuzezi_zid {

// Copies one byte range of a source object into one part of a multipart upload on the
// service side, with at most four attempts; keeps the part's ETag for the completion.
class FileCopyTask : public Poco::Runnable {
public:
    FileCopyTask(const std::string& full_url, uint64_t conn_timeout_in_ms,
                 uint64_t recv_timeout_in_ms);
    ~FileCopyTask() override = default;

    void run() override;
    void CopyTask();

    void SetParams(const std::map<std::string, std::string>& params) { m_params = params; }
    void SetHeaders(const std::map<std::string, std::string>& headers) { m_headers = headers; }
    void SetVerifyCert(bool verify_cert) { m_verify_cert = verify_cert; }
    void SetCaLocation(const std::string& ca_location) { m_ca_location = ca_location; }
    void SetSSLCtxCallback(const std::function<int(void*, void*)>& cb, void* data) {
        m_ssl_ctx_cb = cb;
        m_user_data = data;
    }

    bool IsTaskSuccess() const { return m_is_task_success; }
    std::string GetEtag() const { return m_etag; }
    std::string GetLastModified() const { return m_last_modified; }
    int GetHttpStatus() const { return m_http_status; }
    std::string GetErrMsg() const { return m_err_msg; }
    std::string GetRespBody() const { return m_resp; }
    std::map<std::string, std::string> GetRespHeaders() const { return m_resp_headers; }

private:
    std::string m_full_url;
    std::map<std::string, std::string> m_headers;
    std::map<std::string, std::string> m_params;
    uint64_t m_conn_timeout_in_ms;
    uint64_t m_recv_timeout_in_ms;
    std::string m_resp;
    bool m_is_task_success = false;
    int m_http_status = -1;
    std::map<std::string, std::string> m_resp_headers;
    std::string m_err_msg;
    std::string m_etag;
    std::string m_last_modified;
    bool m_verify_cert = true;
    std::string m_ca_location;
    std::function<int(void*, void*)> m_ssl_ctx_cb;
    void* m_user_data = nullptr;
};

}  // namespace zuzezi_zid
