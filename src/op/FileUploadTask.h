#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <Poco/Runnable.h>

#include "op/PartExchange.h"

namespace zuzezi_zid {

class TransferHandler;

// Uploads one part of a multipart upload and checks that the returned ETag is the
// part's MD5. At most four attempts; the owner decides what a failure means. The part is
// either in the owner's buffer already or read by the worker from a file as it is sent.
class FileUploadTask : public Poco::Runnable, public PartExchange {
public:
    FileUploadTask(const std::string& full_url, uint64_t conn_timeout_in_ms,
                   uint64_t recv_timeout_in_ms, unsigned char* pbuf, uint64_t data_len,
                   bool verify_cert = true, const std::string& ca_location = "",
                   const std::function<int(void*, void*)>& ssl_ctx_cb = nullptr,
                   void* user_data = nullptr);
    FileUploadTask(const std::string& full_url, const std::map<std::string, std::string>& headers,
                   const std::map<std::string, std::string>& params, uint64_t conn_timeout_in_ms,
                   uint64_t recv_timeout_in_ms, const std::shared_ptr<TransferHandler>& handler,
                   bool verify_cert = true, const std::string& ca_location = "",
                   const std::function<int(void*, void*)>& ssl_ctx_cb = nullptr,
                   void* user_data = nullptr);
    FileUploadTask(const std::string& full_url, const std::map<std::string, std::string>& headers,
                   const std::map<std::string, std::string>& params, uint64_t conn_timeout_in_ms,
                   uint64_t recv_timeout_in_ms, unsigned char* pbuf, uint64_t data_len,
                   bool verify_cert = true, const std::string& ca_location = "",
                   const std::function<int(void*, void*)>& ssl_ctx_cb = nullptr,
                   void* user_data = nullptr);
    ~FileUploadTask() override = default;

    void run() override;
    void UploadTask();

    void AddParams(const std::map<std::string, std::string>& params);
    void AddHeaders(const std::map<std::string, std::string>& headers);
    void SetParams(const std::map<std::string, std::string>& params) { m_params = params; }
    void SetPartData(unsigned char* pbuf, uint64_t data_len) {
        m_fd = -1;
        m_data_buf_ptr = pbuf;
        m_data_len = data_len;
    }
    // The worker reads [offset, offset + data_len) of fd itself, piece by piece as it sends
    // it, hashing as it reads, in a buffer of one piece that it keeps for every part it runs.
    void SetFilePart(int fd, uint64_t offset, uint64_t data_len) {
        m_fd = fd;
        m_file_offset = offset;
        m_data_buf_ptr = nullptr;
        m_data_len = data_len;
    }
    // Bytes of the file part actually read; short when the file changed under us.
    uint64_t GetReadLength() const { return m_read_len; }
    bool ReadShort() const { return m_read_short; }
    void SetResume(bool is_resume) { m_is_resume = is_resume; }
    bool IsResume() const { return m_is_resume; }
    void SetResumeEtag(const std::string& etag) { m_resume_etag = etag; }
    std::string GetResumeEtag() const { return m_resume_etag; }
    void SetTaskSuccess() { m_is_task_success = true; }

    bool IsSucc() const { return m_is_task_success; }
    std::string GetBody() const { return m_resp; }
    std::map<std::string, std::string> GetHeaders() const { return m_resp_headers; }

private:
    // The file ended before the part did (it changed under us): the part fails, not retried.
    void FailShortRead(uint64_t read_len);

    int m_fd = -1;
    uint64_t m_file_offset = 0;
    uint64_t m_read_len = 0;
    bool m_read_short = false;
    std::vector<char> m_piece;
    unsigned char* m_data_buf_ptr = nullptr;
    uint64_t m_data_len = 0;
    bool m_is_resume = false;
    std::string m_resume_etag;
};

}  // namespace zuzezi_zid
