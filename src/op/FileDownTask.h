#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <Poco/Runnable.h>

#include "op/PartExchange.h"

namespace zuzezi_zid {

class TransferHandler;

// Fetches one slice of an object with a ranged GET straight into a buffer its owner
// provides. A slice counts only when the answer is exactly that slice (206 with the
// matching Content-Range, or 200 when the slice is the whole object) and the body has
// the slice's length; anything else is a failed attempt. At most four attempts.
class FileDownTask : public Poco::Runnable, public PartExchange {
public:
    FileDownTask(const std::string& full_url, const std::map<std::string, std::string>& headers,
                 const std::map<std::string, std::string>& params, uint64_t conn_timeout_in_ms,
                 uint64_t recv_timeout_in_ms, const std::shared_ptr<TransferHandler>& handler,
                 uint64_t offset = 0, unsigned char* pbuf = nullptr, uint64_t data_len = 0,
                 bool verify_cert = true, const std::string& ca_location = "",
                 const std::function<int(void*, void*)>& ssl_ctx_cb = nullptr,
                 void* user_data = nullptr);
    ~FileDownTask() override = default;

    void run() override;
    void DownTask();

    void SetSlice(unsigned char* pbuf, uint64_t data_len, uint64_t offset);
    // Size of the whole object, to accept a 200 for a slice that covers all of it.
    void SetObjectSize(uint64_t object_size) { m_object_size = object_size; }
    // Compute the CRC-64 of each good slice on the worker thread.
    void SetComputeCrc64(bool on) { m_compute_crc64 = on; }

    bool IsSucc() const { return m_is_task_success; }
    uint64_t GetDownloadedLength() const { return m_real_down_len; }
    uint64_t GetOffset() const { return m_offset; }
    uint64_t GetCrc64() const { return m_crc64; }
    std::string GetBody() const { return m_resp; }
    std::map<std::string, std::string> GetHeaders() const { return m_resp_headers; }

private:
    // Empty when the answer is the requested slice, else why it is not.
    std::string CheckAnswer(uint64_t body_len) const;

    uint64_t m_offset;
    unsigned char* m_data_buf_ptr;
    uint64_t m_data_len;
    uint64_t m_real_down_len = 0;
    uint64_t m_object_size = UINT64_MAX;
    bool m_compute_crc64 = false;
    uint64_t m_crc64 = 0;
};

}  // namespace zuzezi_zid
