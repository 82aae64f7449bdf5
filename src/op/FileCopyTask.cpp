#include "op/FileCopyTask.h"

#include "response/ObjectResp.h"
#include "util/HttpSender.h"
#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

FileCopyTask::FileCopyTask(const std::string& full_url, uint64_t conn_timeout_in_ms,
                           uint64_t recv_timeout_in_ms)
    : PartExchange(full_url, {}, {}, conn_timeout_in_ms, recv_timeout_in_ms, nullptr, true, "",
                   nullptr, nullptr) {}

void FileCopyTask::run() {
    m_is_task_success = false;
    try {
        CopyTask();
    } catch (const std::exception& e) {
        FailByException(e.what());
    }
}

void FileCopyTask::CopyTask() {
    int loop = 0;
    do {
        loop += 1;
        m_resp_headers.clear();
        m_resp.clear();
        m_http_status = HttpSender::SendWithStringBody(
            nullptr, "PUT", m_full_url, m_params, m_headers, "", m_conn_timeout_in_ms,
            m_recv_timeout_in_ms, &m_resp_headers, &m_resp, &m_err_msg, false, m_verify_cert,
            m_ca_location, m_ssl_ctx_cb, m_user_data);
        if (m_http_status == 200) {
            UploadPartCopyDataResp resp;
            if (resp.ParseFromXmlString(m_resp) && !resp.GetEtag().empty()) {
                m_etag = StringUtil::StripEnclosing(resp.GetEtag(), "\"");
                m_last_modified = resp.GetLastModified();
                m_is_task_success = true;
            } else {
                ZID_LOG_ERR("FileUpload response string is illegal. try again.");
            }
        } else {
            ZID_LOG_ERR("FileUpload: url(%s) fail, httpcode:%d, resp: %s", m_full_url.c_str(),
                        m_http_status, m_resp.c_str());
        }
    } while (!m_is_task_success && loop <= 3);
}

}  // namespace zuzezi_zid
