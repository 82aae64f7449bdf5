/// @file
/// TransferHandler, the shared state of one transfer, its callback types, and the stream
/// copy that reports progress and notices a cancel (CopyStreamWithProgress). AsyncContext
/// lives in trsf/AsyncContext.h, UserCancelException in trsf/UserCancelException.h.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "zid/ZidExport.h"
#include "zid/trsf/PartState.h"
#include "zid/trsf/TransferStatus.h"
#include "zid/trsf/UserCancelException.h"
#include "zid/trsf/ZidResult.h"

namespace zuzezi_zid {

class AsyncContext;

/// Progress callback: (transferred bytes, total bytes, user data).
///
/// It runs on the thread that moved the bytes, with no lock held: a multi-threaded
/// download or a multipart upload calls it from several pool threads at once, so it must
/// be thread-safe and quick. The transferred count never exceeds the total. None runs once
/// the status is final, and a waiter wakes only after every running one has returned; so
/// a progress callback must not wait for its own transfer.
using TransferProgressCallback = std::function<void(uint64_t, uint64_t, void*)>;
/// Done callback: (context of the finished call, user data). Called once, on the thread
/// that set the first final status (a pool thread for an asynchronous call), after the
/// status and result are stored, with no lock held: it may read the status and result.
/// Waiters wake only once it has returned, so what it uses may live on the waiter's stack.
/// A wait on its own transfer from inside it returns at once.
using DoneCallback = std::function<void(const std::shared_ptr<AsyncContext>&, void*)>;

/// What a transfer takes from the request that starts it; every ObjectReq is one. The
/// transfer state sits below the requests, so it knows them only through this.
class ZID_API TransferSource {
public:
    virtual ~TransferSource() = default;
    /// The bucket the transfer reads or writes.
    virtual std::string GetBucketName() const = 0;
    /// The object key.
    virtual std::string GetObjectName() const = 0;
    /// The local file of a file transfer; "" for other requests.
    virtual std::string GetLocalFilePath() const = 0;
    /// The progress callback; empty for none.
    virtual TransferProgressCallback GetTransferProgressCallback() const = 0;
    /// The done callback; empty for none.
    virtual DoneCallback GetDoneCallback() const = 0;
    /// The pointer handed to both callbacks.
    virtual void* GetUserData() const = 0;
};

/// Shared state of one transfer: names, sizes, status, result, cancel flag, callbacks.
/// Always owned by a std::shared_ptr (the done callback needs shared_from_this()).
/// Progress is guarded by one mutex; status, cancel flag, result and the final answer by
/// another. Waiters wake on a final status once the callbacks of that change have returned.
class ZID_API TransferHandler : public std::enable_shared_from_this<TransferHandler> {
public:
    /// Status NOT_START, sizes 0, no callbacks.
    TransferHandler() = default;
    TransferHandler(const TransferHandler&) = delete;
    TransferHandler& operator=(const TransferHandler&) = delete;

    /// Takes names, local path, callbacks and user data from the request (an ObjectReq);
    /// later changes to the request do not reach the handler.
    void BindRequest(const TransferSource& req);

    /// Sets the transfer's total size in bytes.
    void SetTotalSize(uint64_t total);
    /// The transfer's total size in bytes; 0 until known.
    uint64_t GetTotalSize() const;
    /// Sets the multipart upload id.
    void SetUploadID(const std::string& upload_id) { m_upload_id = upload_id; }
    /// The multipart upload id, once the upload has one; "" otherwise.
    std::string GetUploadID() const { return m_upload_id; }

    /// Adds n bytes to the transferred count (capped at the total), then calls the
    /// progress callback on the calling thread.
    void AdvanceProgress(uint64_t n);
    /// Bytes transferred so far.
    uint64_t GetTransferred() const;

    /// True for CANCELED, FAILED, COMPLETED and ABORTED.
    static bool IsFinalStatus(TransferStatus status);
    /// Whether a status may replace another: any change that leaves or enters a non-final
    /// status, a status to itself, and CANCELED to ABORTED; no other change between final
    /// statuses.
    static bool IsAllowedChange(TransferStatus old_status, TransferStatus new_status);
    /// Sets the status when the change is allowed (else does nothing); the first final
    /// status calls the done callback, on this thread, then wakes the waiters.
    void ChangeStatus(TransferStatus status);
    /// ChangeStatus() that also stores the result; the result is stored only when the
    /// status change is allowed.
    void ChangeStatusWithResult(TransferStatus status, const ZidResult& result);
    /// ChangeStatusWithResult() that also stores the response's headers and body.
    void ChangeStatusWithResponse(TransferStatus status, const ZidResult& result,
                                  const std::map<std::string, std::string>& headers,
                                  const std::string& body);
    /// The current status.
    TransferStatus GetStatus() const;
    /// The current status's name, as StatusName().
    std::string GetStatusName() const;
    /// "NOT_START", "IN_PROGRESS", "CANCELED", "FAILED", "COMPLETED", "ABORTED"; "UNKNOWN"
    /// for any other value (RETRY_ON_BACKUP_DOMAIN among them).
    static std::string StatusName(TransferStatus status);

    /// Raises the cancel flag; the transfer notices it at its next block.
    void Cancel();
    /// False once Cancel() was called.
    bool IsNotCancelled() const;
    /// Blocks until the status is final, the done callback has returned and no progress
    /// callback runs. Called from inside the done callback, on its thread, it returns at
    /// once (the status is already final there).
    void WaitForFinalStatus() const;

    /// The stored outcome; read after WaitForFinalStatus() has returned.
    ZidResult GetResult() const;
    /// Headers of the final answer, stored on completion; read after WaitForFinalStatus().
    std::map<std::string, std::string> GetRespHeaders() const;
    /// Body of the final answer, when the transfer stores one; read after
    /// WaitForFinalStatus().
    std::string GetRespBody() const;
    /// The bound request's bucket name.
    std::string GetBucketName() const { return m_bucket_name; }
    /// The bound request's object key.
    std::string GetObjectName() const { return m_object_name; }
    /// The bound request's local file path; "" for a stream transfer.
    std::string GetLocalFilePath() const { return m_local_file_path; }
    /// The caller's pointer handed to both callbacks; the caller keeps what it points to
    /// alive until the transfer has ended.
    void* GetUserData() const { return m_user_data; }

    /// Replaces the progress callback; set it before the transfer starts.
    void SetTransferProgressCallback(const TransferProgressCallback& cb) { m_progress_cb = cb; }
    /// Replaces the done callback; set it before the transfer starts.
    void SetDoneCallback(const DoneCallback& cb) { m_done_cb = cb; }
    /// Replaces the user data; set it before the transfer starts.
    void SetUserData(void* user_data) { m_user_data = user_data; }

    /// Part records for the caller's own use; no operation of the library fills them.
    /// Not guarded.
    std::map<int, std::shared_ptr<PartState>>& GetPartStates() { return m_part_states; }

private:
    // Stores the status, and the outcome when given, in one step under the status mutex.
    void ChangeStatusStoring(TransferStatus status, const ZidResult* result,
                             const std::map<std::string, std::string>* headers,
                             const std::string* body);
    // Waiters' condition; the status mutex is held.
    bool IsSettled() const;

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
    bool m_done_running = false;
    std::thread::id m_done_thread;
    int m_progress_running = 0;
    std::map<int, std::shared_ptr<PartState>> m_part_states;
    mutable std::mutex m_progress_mutex;
    mutable std::mutex m_status_mutex;
    mutable std::condition_variable m_status_cond;
    TransferProgressCallback m_progress_cb;
    DoneCallback m_done_cb;
    void* m_user_data = nullptr;
};

/// Copies in to out in blocks, reporting each block to the handler.
/// @param handler     counts progress and carries the cancel flag; may be null
/// @param in          read to its end
/// @param out         receives every block
/// @param buffer_size block size in bytes; must be above 0
/// @param on_block    sees each block once it is written; may be empty
/// @return bytes written.
/// @throws UserCancelException when the handler is cancelled
/// @throws std::ios_base::failure when the output refuses a write
ZID_API uint64_t CopyStreamWithProgress(const std::shared_ptr<TransferHandler>& handler, std::istream& in,
                                std::ostream& out, size_t buffer_size,
                                const std::function<void(const char*, size_t)>& on_block = nullptr);

/// Writes size bytes of data to out.
/// @param out            the output
/// @param data, size     what to write
/// @param written_before bytes that went out before, named in the failure's message
/// @throws std::ios_base::failure ("write to output stream failed after N bytes") when the
///         output refuses them
ZID_API void WriteChecked(std::ostream& out, const char* data, size_t size, uint64_t written_before);

}  // namespace zuzezi_zid
