#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include <Poco/Runnable.h>

#include "op/PartExchange.h"

namespace zuzezi_zid {

// Copies one byte range of a source object into one part of a multipart upload on the
// service side, with at most four attempts; keeps the part's ETag for the completion.
class FileCopyTask : public Poco::Runnable, public PartExchange {
public:
    FileCopyTask(const std::string& full_url, uint64_t conn_timeout_in_ms,
                 uint64_t recv_timeout_in_ms);
    ~FileCopyTask() override = default;

    void run() override;
    void CopyTask();

    void SetParams(const std::map<std::string, std::string>& params) { m_params = params; }

    bool IsTaskSuccess() const { return m_is_task_success; }
    std::string GetEtag() const { return m_etag; }
    std::string GetLastModified() const { return m_last_modified; }
    std::string GetRespBody() const { return m_resp; }
    std::map<std::string, std::string> GetRespHeaders() const { return m_resp_headers; }

private:
    std::string m_etag;
    std::string m_last_modified;
};

}  // namespace zuzezi_zid
