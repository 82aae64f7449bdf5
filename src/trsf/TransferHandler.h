#pragma once

// Also declares CopyStreamWithProgress; AsyncContext lives in trsf/AsyncContext.h,
// UserCancelException in trsf/UserCancelException.h.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include "op/ZidResult.h"
#include "trsf/PartState.h"
#include "trsf/TransferStatus.h"
#include "trsf/UserCancelException.h"

namespace zuzezi_zid {

class AsyncContext;
class ObjectReq;

// (transferred bytes, total bytes, user data)
using TransferProgressCallback = std::function<void(uint64_t, uint64_t, void*)>;
// (context of the finished call, user data)
using DoneCallback = std::function<void(const std::shared_ptr<AsyncContext>&, void*)>;

// Shared state of one transfer. Always owned by a std::shared_ptr.
class TransferHandler : public std::enable_shared_from_this<TransferHandler> {
public:
    TransferHandler() = default;
    TransferHandler(const TransferHandler&) = delete;
    TransferHandler& operator=(const TransferHandler&) = delete;

    // Takes names, local path, callbacks and user data from the request.
    void BindRequest(const ObjectReq& req);

    void SetTotalSize(uint64_t total);
    uint64_t GetTotalSize() const;
    void SetUploadID(const std::string& upload_id) { m_upload_id = upload_id; }
    std::string GetUploadID() const { return m_upload_id; }

    void AdvanceProgress(uint64_t n);
    uint64_t GetTransferred() const;

    static bool IsFinalStatus(TransferStatus status);
    static bool IsAllowedChange(TransferStatus old_status, TransferStatus new_status);
    void ChangeStatus(TransferStatus status);
    // The result is stored only when the status change is allowed.
    void ChangeStatusWithResult(TransferStatus status, const ZidResult& result);
    void ChangeStatusWithResponse(TransferStatus status, const ZidResult& result,
                                  const std::map<std::string, std::string>& headers,
                                  const std::string& body);
    TransferStatus GetStatus() const;
    std::string GetStatusName() const;
    static std::string StatusName(TransferStatus status);

    void Cancel();
    bool IsNotCancelled() const;
    void WaitForFinalStatus() const;

    // Read after WaitForFinalStatus has returned.
    ZidResult GetResult() const { return m_result; }
    const std::map<std::string, std::string>& GetRespHeaders() const { return m_resp_headers; }
    const std::string& GetRespBody() const { return m_resp_body; }
    std::string GetBucketName() const { return m_bucket_name; }
    std::string GetObjectName() const { return m_object_name; }
    std::string GetLocalFilePath() const { return m_local_file_path; }
    void* GetUserData() const { return m_user_data; }

    void SetTransferProgressCallback(const TransferProgressCallback& cb) { m_progress_cb = cb; }
    void SetDoneCallback(const DoneCallback& cb) { m_done_cb = cb; }
    void SetUserData(void* user_data) { m_user_data = user_data; }

    std::map<int, std::shared_ptr<PartState>>& GetPartStates() { return m_part_states; }

private:
    ZidResult m_result;
    std::map<std::string, std::string> m_resp_headers;
    std::string m_resp_body;
    std::string m_bucket_name;
    std::string m_object_name;
    std::string m_local_file_path;
    uint64_t m_total_size = 0;
    uint64_t m_transferred = 0;
    TransferStatus m_status = NOT_START;
    std::string m_upload_id;
    bool m_cancelled = false;
    bool m_done_called = false;
    std::map<int, std::shared_ptr<PartState>> m_part_states;
    mutable std::mutex m_progress_mutex;
    mutable std::mutex m_status_mutex;
    mutable std::condition_variable m_status_cond;
    TransferProgressCallback m_progress_cb;
    DoneCallback m_done_cb;
    void* m_user_data = nullptr;
};

// Copies in blocks of buffer_size, reporting each block to the handler (may be
// empty); throws UserCancelException when the handler is cancelled and
// std::ios_base::failure when the output refuses a write. on_block (may be empty)
// sees each block once it is written. Returns bytes written.
uint64_t CopyStreamWithProgress(const std::shared_ptr<TransferHandler>& handler, std::istream& in,
                                std::ostream& out, size_t buffer_size,
                                const std::function<void(const char*, size_t)>& on_block = nullptr);

// Writes size bytes to out; throws std::ios_base::failure when the output refuses them
// (written_before: what went out before, for the message).
void WriteChecked(std::ostream& out, const char* data, size_t size, uint64_t written_before);

}  // namespace zuzezi_zid
