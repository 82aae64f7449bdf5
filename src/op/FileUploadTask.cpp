#include "op/FileUploadTask.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "trsf/TransferHandler.h"
#include "util/HttpSender.h"
#include "util/LogUtil.h"
#include "util/Md5Digest.h"
#include "util/MemoryBody.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

FileUploadTask::FileUploadTask(const std::string& full_url, uint64_t conn_timeout_in_ms,
                               uint64_t recv_timeout_in_ms, unsigned char* pbuf, uint64_t data_len,
                               bool verify_cert, const std::string& ca_location,
                               const std::function<int(void*, void*)>& ssl_ctx_cb, void* user_data)
    : PartExchange(full_url, {}, {}, conn_timeout_in_ms, recv_timeout_in_ms, nullptr, verify_cert,
                   ca_location, ssl_ctx_cb, user_data),
      m_data_buf_ptr(pbuf),
      m_data_len(data_len) {}

FileUploadTask::FileUploadTask(const std::string& full_url,
                               const std::map<std::string, std::string>& headers,
                               const std::map<std::string, std::string>& params,
                               uint64_t conn_timeout_in_ms, uint64_t recv_timeout_in_ms,
                               const std::shared_ptr<TransferHandler>& handler, bool verify_cert,
                               const std::string& ca_location,
                               const std::function<int(void*, void*)>& ssl_ctx_cb, void* user_data)
    : PartExchange(full_url, headers, params, conn_timeout_in_ms, recv_timeout_in_ms, handler,
                   verify_cert, ca_location, ssl_ctx_cb, user_data) {}

FileUploadTask::FileUploadTask(const std::string& full_url,
                               const std::map<std::string, std::string>& headers,
                               const std::map<std::string, std::string>& params,
                               uint64_t conn_timeout_in_ms, uint64_t recv_timeout_in_ms,
                               unsigned char* pbuf, uint64_t data_len, bool verify_cert,
                               const std::string& ca_location,
                               const std::function<int(void*, void*)>& ssl_ctx_cb, void* user_data)
    : PartExchange(full_url, headers, params, conn_timeout_in_ms, recv_timeout_in_ms, nullptr,
                   verify_cert, ca_location, ssl_ctx_cb, user_data),
      m_data_buf_ptr(pbuf),
      m_data_len(data_len) {}

void FileUploadTask::AddParams(const std::map<std::string, std::string>& params) {
    for (const auto& kv : params) m_params[kv.first] = kv.second;
}

void FileUploadTask::AddHeaders(const std::map<std::string, std::string>& headers) {
    for (const auto& kv : headers) m_headers[kv.first] = kv.second;
}

void FileUploadTask::run() {
    m_resp.clear();
    m_is_task_success = false;
    m_read_len = 0;
    try {
        UploadTask();
    } catch (const std::exception& e) {
        FailByException(e.what());
    } catch (...) {
        FailByException("unknown");
    }
    ReportDone();
}

bool FileUploadTask::LoadPart(std::string* md5_hex) {
    Md5Digest md5;
    if (m_fd < 0) {
        md5.Update(m_data_buf_ptr, static_cast<size_t>(m_data_len));
    } else {
        // Hashed piece by piece while the piece is still in the cache, not in a second pass.
        const uint64_t kPiece = 1024 * 1024;
        while (m_read_len < m_data_len) {
            ssize_t n = ::pread(m_fd, m_data_buf_ptr + m_read_len,
                                static_cast<size_t>(std::min(m_data_len - m_read_len, kPiece)),
                                static_cast<off_t>(m_file_offset + m_read_len));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            md5.Update(m_data_buf_ptr + m_read_len, static_cast<size_t>(n));
            m_read_len += static_cast<uint64_t>(n);
        }
        if (m_read_len != m_data_len) return false;
    }
    *md5_hex = md5.HexDigest();
    return true;
}

void FileUploadTask::UploadTask() {
    std::string md5_hex;
    if (!LoadPart(&md5_hex)) {
        m_http_status = -1;
        m_err_msg = "short read of the local file";
        return;
    }

    int loop = 0;
    do {
        loop += 1;
        m_resp_headers.clear();
        m_resp.clear();
        m_err_msg.clear();
        // The body is read straight from the owner's buffer, never copied.
        MemoryBodyBuf body_buf(reinterpret_cast<const char*>(m_data_buf_ptr),
                               static_cast<std::size_t>(m_data_len));
        std::istream body(&body_buf);
        std::ostringstream resp_body;
        m_http_status = HttpSender::SendRequest(m_handler, "PUT", m_full_url, m_params, m_headers,
                                                body, m_conn_timeout_in_ms, m_recv_timeout_in_ms,
                                                &m_resp_headers, resp_body, &m_err_msg, false,
                                                m_verify_cert, m_ca_location, m_ssl_ctx_cb,
                                                m_user_data);
        m_resp = resp_body.str();
        if (m_http_status == 200) {
            auto it = m_resp_headers.find("ETag");
            std::string etag = it == m_resp_headers.end() ? std::string()
                                                          : StringUtil::StripEnclosing(it->second, "\"");
            if (it != m_resp_headers.end() && etag == md5_hex) {
                m_is_task_success = true;
            } else {
                ZID_LOG_ERR("Response etag is not correct, try again. Expect md5 is %s, but return "
                            "etag is %s.",
                            md5_hex.c_str(), it == m_resp_headers.end() ? "(none)" : etag.c_str());
                m_is_task_success = false;
            }
        } else {
            ZID_LOG_ERR("FileUpload: url(%s) fail, httpcode:%d, resp: %s", m_full_url.c_str(),
                        m_http_status, m_resp.c_str());
            m_is_task_success = false;
        }
        if (!m_is_task_success && m_handler && !m_handler->IsNotCancelled()) break;
    } while (!m_is_task_success && loop <= 3);
}

}  // namespace zuzezi_zid
