#include "trsf/TransferHandler.h"

#include <vector>

#include <Poco/Bugcheck.h>

#include "trsf/AsyncContext.h"

namespace zuzezi_zid {

void TransferHandler::BindRequest(const TransferSource& req) {
    m_bucket_name = req.GetBucketName();
    m_object_name = req.GetObjectName();
    m_local_file_path = req.GetLocalFilePath();
    m_progress_cb = req.GetTransferProgressCallback();
    m_done_cb = req.GetDoneCallback();
    m_user_data = req.GetUserData();
}

void TransferHandler::SetTotalSize(uint64_t total) {
    std::lock_guard<std::mutex> lock(m_progress_mutex);
    m_total_size = total;
}

uint64_t TransferHandler::GetTotalSize() const {
    std::lock_guard<std::mutex> lock(m_progress_mutex);
    return m_total_size;
}

void TransferHandler::AdvanceProgress(uint64_t n) {
    uint64_t transferred = 0;
    uint64_t total = 0;
    {
        std::lock_guard<std::mutex> lock(m_progress_mutex);
        m_transferred += n;
        if (m_transferred > m_total_size) {
            m_transferred = m_total_size;
        }
        transferred = m_transferred;
        total = m_total_size;
    }
    if (!m_progress_cb) {
        return;
    }
    {
        // Once a waiter may have woken, what the callback uses may be gone.
        std::lock_guard<std::mutex> lock(m_status_mutex);
        if (IsFinalStatus(m_status)) {
            return;
        }
        ++m_progress_running;
    }
    struct Leave {
        TransferHandler* h;
        ~Leave() {
            std::lock_guard<std::mutex> lock(h->m_status_mutex);
            if (--h->m_progress_running == 0) {
                h->m_status_cond.notify_all();
            }
        }
    } leave{this};
    m_progress_cb(transferred, total, m_user_data);
}

uint64_t TransferHandler::GetTransferred() const {
    std::lock_guard<std::mutex> lock(m_progress_mutex);
    return m_transferred;
}

bool TransferHandler::IsFinalStatus(TransferStatus status) {
    return status == CANCELED || status == FAILED || status == COMPLETED || status == ABORTED;
}

bool TransferHandler::IsAllowedChange(TransferStatus old_status, TransferStatus new_status) {
    if (old_status == new_status) {
        return true;
    }
    if (!IsFinalStatus(old_status) || !IsFinalStatus(new_status)) {
        return true;
    }
    return old_status == CANCELED && new_status == ABORTED;
}

void TransferHandler::ChangeStatus(TransferStatus status) {
    ChangeStatusStoring(status, nullptr, nullptr, nullptr);
}

void TransferHandler::ChangeStatusWithResult(TransferStatus status, const ZidResult& result) {
    ChangeStatusStoring(status, &result, nullptr, nullptr);
}

void TransferHandler::ChangeStatusWithResponse(TransferStatus status, const ZidResult& result,
                                               const std::map<std::string, std::string>& headers,
                                               const std::string& body) {
    ChangeStatusStoring(status, &result, &headers, &body);
}

void TransferHandler::ChangeStatusStoring(TransferStatus status, const ZidResult* result,
                                          const std::map<std::string, std::string>* headers,
                                          const std::string* body) {
    {
        std::lock_guard<std::mutex> lock(m_status_mutex);
        if (!IsAllowedChange(m_status, status)) {
            return;
        }
        if (result) m_result = *result;
        if (headers) m_resp_headers = *headers;
        if (body) m_resp_body = *body;
        m_status = status;
        if (!IsFinalStatus(status)) {
            return;
        }
        if (!m_done_cb || m_done_called) {
            m_status_cond.notify_all();
            return;
        }
        // Waiters stay asleep until the callback has returned: it may use their stack.
        m_done_called = true;
        m_done_running = true;
        m_done_thread = std::this_thread::get_id();
    }
    struct Settle {
        TransferHandler* h;
        ~Settle() {
            std::lock_guard<std::mutex> lock(h->m_status_mutex);
            h->m_done_running = false;
            h->m_status_cond.notify_all();
        }
    } settle{this};
    m_done_cb(std::make_shared<AsyncContext>(shared_from_this()), m_user_data);
}

bool TransferHandler::IsSettled() const {
    if (!IsFinalStatus(m_status) || m_progress_running > 0) {
        return false;
    }
    return !m_done_running || m_done_thread == std::this_thread::get_id();
}

ZidResult TransferHandler::GetResult() const {
    std::lock_guard<std::mutex> lock(m_status_mutex);
    return m_result;
}

std::map<std::string, std::string> TransferHandler::GetRespHeaders() const {
    std::lock_guard<std::mutex> lock(m_status_mutex);
    return m_resp_headers;
}

std::string TransferHandler::GetRespBody() const {
    std::lock_guard<std::mutex> lock(m_status_mutex);
    return m_resp_body;
}

TransferStatus TransferHandler::GetStatus() const {
    std::lock_guard<std::mutex> lock(m_status_mutex);
    return m_status;
}

std::string TransferHandler::GetStatusName() const { return StatusName(GetStatus()); }

std::string TransferHandler::StatusName(TransferStatus status) {
    switch (status) {
        case NOT_START: return "NOT_START";
        case IN_PROGRESS: return "IN_PROGRESS";
        case CANCELED: return "CANCELED";
        case FAILED: return "FAILED";
        case COMPLETED: return "COMPLETED";
        case ABORTED: return "ABORTED";
        default: return "UNKNOWN";
    }
}

void TransferHandler::Cancel() {
    std::lock_guard<std::mutex> lock(m_status_mutex);
    m_cancelled = true;
}

bool TransferHandler::IsNotCancelled() const {
    std::lock_guard<std::mutex> lock(m_status_mutex);
    return !m_cancelled;
}

void TransferHandler::WaitForFinalStatus() const {
    std::unique_lock<std::mutex> lock(m_status_mutex);
    m_status_cond.wait(lock, [this] { return IsSettled(); });
}

void WriteChecked(std::ostream& out, const char* data, size_t size, uint64_t written_before) {
    out.write(data, static_cast<std::streamsize>(size));
    if (!out) {
        // A short or failed write must not pass as a complete copy.
        throw std::ios_base::failure("write to output stream failed after " +
                                     std::to_string(written_before) + " bytes");
    }
}

uint64_t CopyStreamWithProgress(const std::shared_ptr<TransferHandler>& handler, std::istream& in,
                                std::ostream& out, size_t buffer_size,
                                const std::function<void(const char*, size_t)>& on_block) {
    poco_assert(buffer_size > 0);
    std::vector<char> buffer(buffer_size);
    in.read(buffer.data(), static_cast<std::streamsize>(buffer_size));
    std::streamsize n = in.gcount();
    uint64_t total = 0;
    while (n > 0) {
        if (handler && !handler->IsNotCancelled()) {
            throw UserCancelException();
        }
        WriteChecked(out, buffer.data(), static_cast<size_t>(n), total);
        total += static_cast<uint64_t>(n);
        if (on_block) {
            on_block(buffer.data(), static_cast<size_t>(n));
        }
        if (handler) {
            handler->AdvanceProgress(static_cast<uint64_t>(n));
        }
        if (in.good()) {
            in.read(buffer.data(), static_cast<std::streamsize>(buffer_size));
            n = in.gcount();
        } else {
            n = 0;
        }
    }
    return total;
}

}  // namespace zuzezi_zid
