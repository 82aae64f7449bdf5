#include "op/FileUploadTask.h"

#include <sys/stat.h>

#include <memory>
#include <sstream>
#include <stdexcept>

#include "trsf/TransferHandler.h"
#include "util/FilePartBody.h"
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
    m_read_short = false;
    try {
        UploadTask();
    } catch (const std::exception& e) {
        FailByException(e.what());
    } catch (...) {
        FailByException("unknown");
    }
    ReportDone();
}

void FileUploadTask::FailShortRead(uint64_t read_len) {
    m_read_len = read_len;
    m_read_short = true;
    m_http_status = -1;
    m_err_msg = "short read of the local file";
    m_is_task_success = false;
}

void FileUploadTask::UploadTask() {
    std::unique_ptr<MemoryBodyBuf> body_buf;
    FilePartBodyBuf* file_part = nullptr;
    std::string md5_hex;
    if (m_fd < 0) {
        md5_hex = Md5Digest::HexOf(m_data_buf_ptr, static_cast<size_t>(m_data_len));
        body_buf.reset(new MemoryBodyBuf(reinterpret_cast<const char*>(m_data_buf_ptr),
                                         static_cast<std::size_t>(m_data_len)));
    } else {
        // A file already shorter than the part sends nothing; one that shrinks while the part
        // is sent ends the exchange when the read falls short.
        struct stat st {};
        if (::fstat(m_fd, &st) == 0 &&
            static_cast<uint64_t>(st.st_size) < m_file_offset + m_data_len) {
            const uint64_t size = static_cast<uint64_t>(st.st_size);
            FailShortRead(size > m_file_offset ? size - m_file_offset : 0);
            return;
        }
        m_piece.resize(FilePartBodyBuf::kPieceBytes);
        file_part = new FilePartBodyBuf(m_fd, m_file_offset, m_data_len, m_piece.data());
        body_buf.reset(file_part);
    }

    int loop = 0;
    do {
        loop += 1;
        m_resp_headers.clear();
        m_resp.clear();
        m_err_msg.clear();
        // Sent straight from the buffer, never copied.
        body_buf->pubseekpos(0, std::ios_base::in);
        std::istream body(body_buf.get());
        std::ostringstream resp_body;
        m_http_status = HttpSender::SendRequest(m_handler, "PUT", m_full_url, m_params, m_headers,
                                                body, m_conn_timeout_in_ms, m_recv_timeout_in_ms,
                                                &m_resp_headers, resp_body, &m_err_msg, false,
                                                m_verify_cert, m_ca_location, m_ssl_ctx_cb,
                                                m_user_data);
        m_resp = resp_body.str();
        if (file_part) {
            m_read_len = file_part->Loaded();
            if (file_part->Short()) {
                FailShortRead(m_read_len);
                return;
            }
            md5_hex = file_part->Md5Hex();
        }
        if (m_http_status == 200 && !md5_hex.empty()) {
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
