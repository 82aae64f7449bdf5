#include "op/FileDownTask.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <istream>
#include <sstream>
#include <streambuf>

#include "trsf/TransferHandler.h"
#include "util/Crc64Util.h"
#include "util/DownloadAnswer.h"
#include "util/HttpSender.h"
#include "util/LogUtil.h"
#include "util/ResponseBody.h"

namespace zuzezi_zid {

namespace {

// Takes the body straight into the slice's buffer and counts what did not fit, so a body is
// never copied and an over-long one is still measured.
class SliceStreamBuf : public DirectSinkBuf {
public:
    SliceStreamBuf(unsigned char* buf, uint64_t cap) : m_buf(buf), m_cap(cap) {}
    uint64_t Total() const { return m_total; }
    uint64_t Stored() const { return m_total < m_cap ? m_total : m_cap; }

    size_t Room(char** at) override {
        if (m_total >= m_cap) return 0;
        *at = reinterpret_cast<char*>(m_buf + m_total);
        return static_cast<size_t>(m_cap - m_total);
    }
    void Commit(size_t n) override { m_total += n; }

protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        uint64_t un = static_cast<uint64_t>(n);
        if (m_total < m_cap) {
            uint64_t room = m_cap - m_total;
            uint64_t take = un < room ? un : room;
            std::memcpy(m_buf + m_total, s, take);
        }
        m_total += un;
        return n;
    }
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        char c = traits_type::to_char_type(ch);
        xsputn(&c, 1);
        return ch;
    }

private:
    unsigned char* m_buf;
    uint64_t m_cap;
    uint64_t m_total = 0;
};

}  // namespace

FileDownTask::FileDownTask(const std::string& full_url,
                           const std::map<std::string, std::string>& headers,
                           const std::map<std::string, std::string>& params,
                           uint64_t conn_timeout_in_ms, uint64_t recv_timeout_in_ms,
                           const std::shared_ptr<TransferHandler>& handler, uint64_t offset,
                           unsigned char* pbuf, uint64_t data_len, bool verify_cert,
                           const std::string& ca_location,
                           const std::function<int(void*, void*)>& ssl_ctx_cb, void* user_data)
    : PartExchange(full_url, headers, params, conn_timeout_in_ms, recv_timeout_in_ms, handler,
                   verify_cert, ca_location, ssl_ctx_cb, user_data),
      m_offset(offset),
      m_data_buf_ptr(pbuf),
      m_data_len(data_len) {}

void FileDownTask::SetSlice(unsigned char* pbuf, uint64_t data_len, uint64_t offset) {
    m_data_buf_ptr = pbuf;
    m_data_len = data_len;
    m_offset = offset;
}

void FileDownTask::run() {
    m_resp.clear();
    m_is_task_success = false;
    m_real_down_len = 0;
    m_crc64 = 0;
    try {
        DownTask();
    } catch (const std::exception& e) {
        FailByException(e.what());
    } catch (...) {
        FailByException("unknown");
    }
    ReportDone();
}

std::string FileDownTask::CheckAnswer(uint64_t body_len) const {
    const std::string why =
        WhyNotTheBytesAsked(m_http_status, m_resp_headers, RangeAsked(m_headers), m_object_size);
    if (!why.empty()) return why;
    if (body_len != m_data_len) {
        return "slice body has " + std::to_string(body_len) + " bytes, expected " +
               std::to_string(m_data_len);
    }
    return "";
}

void FileDownTask::DownTask() {
    char range_head[128];
    std::snprintf(range_head, sizeof(range_head), "bytes=%" PRIu64 "-%" PRIu64, m_offset,
                  m_offset + m_data_len - 1);
    m_headers["Range"] = range_head;

    int loop = 0;
    do {
        loop += 1;
        m_resp_headers.clear();
        m_err_msg.clear();
        m_resp.clear();

        SliceStreamBuf sbuf(m_data_buf_ptr, m_data_len);
        std::ostream os(&sbuf);
        std::istringstream empty_body;
        m_http_status = HttpSender::SendRequest(m_handler, "GET", m_full_url, m_params, m_headers,
                                                empty_body, m_conn_timeout_in_ms,
                                                m_recv_timeout_in_ms, &m_resp_headers, os,
                                                &m_err_msg, false, m_verify_cert, m_ca_location,
                                                m_ssl_ctx_cb, m_user_data);
        if (m_http_status == 200 || m_http_status == 206) {
            std::string why = m_err_msg.empty() ? CheckAnswer(sbuf.Total()) : m_err_msg;
            if (why.empty()) {
                m_real_down_len = m_data_len;
                if (m_compute_crc64) m_crc64 = Crc64Util::Update(0, m_data_buf_ptr, m_data_len);
                m_is_task_success = true;
                return;
            }
            m_resp = why;
        } else if (m_http_status != -1) {
            m_resp.assign(reinterpret_cast<const char*>(m_data_buf_ptr), sbuf.Stored());
        } else {
            m_resp = m_err_msg;
        }
        ZID_LOG_ERR("FileDownload: url(%s) fail, httpcode:%d, resp: %s, try_times:%d",
                    m_full_url.c_str(), m_http_status, m_resp.c_str(), loop);
        m_is_task_success = false;
        m_real_down_len = 0;
        // A cancelled transfer fails every attempt the same way.
        if (m_handler && !m_handler->IsNotCancelled()) break;
    } while (loop <= 3);
}

}  // namespace zuzezi_zid
