/// @file
/// AsyncContext, the caller's handle on one asynchronous call of ZidAPI.
#pragma once

#include <memory>

#include "zid/trsf/TransferHandler.h"

namespace zuzezi_zid {

/// The caller's handle on one asynchronous call: wait on it, cancel it, read its outcome.
/// It shares the call's TransferHandler with the task, so either may outlive the other.
class AsyncContext {
public:
    /// @param handler the transfer's shared state; must not be null
    explicit AsyncContext(const std::shared_ptr<TransferHandler>& handler) : m_handler(handler) {}

    /// The transfer's shared state: progress, response headers and body, upload id.
    const std::shared_ptr<TransferHandler>& GetTransferHandler() const { return m_handler; }

    /// The transfer's current status.
    TransferStatus GetStatus() const { return m_handler->GetStatus(); }
    /// Blocks until the transfer reaches a final status (CANCELED, FAILED, COMPLETED or
    /// ABORTED) and its done callback has returned; no progress callback runs after it
    /// returns, so what the callbacks use may then be freed. Every asynchronous call ends
    /// in a final status, also when it could not start. Inside the done callback a wait on
    /// the callback's own context returns at once; a progress callback must not wait.
    void WaitUntilFinish() const { m_handler->WaitForFinalStatus(); }
    /// Asks the transfer to stop; returns at once. The transfer stops at its next block
    /// and fails with "Request canceled by user" (a multipart upload ends CANCELED, other
    /// transfers FAILED); one that already ended keeps its outcome.
    void Cancel() const { m_handler->Cancel(); }
    /// The transfer's outcome; read it after WaitUntilFinish() has returned.
    ZidResult GetResult() const { return m_handler->GetResult(); }
    /// The request's bucket name.
    std::string GetBucketName() const { return m_handler->GetBucketName(); }
    /// The request's object key.
    std::string GetObjectName() const { return m_handler->GetObjectName(); }
    /// The request's local file path; "" for a stream transfer.
    std::string GetLocalFilePath() const { return m_handler->GetLocalFilePath(); }

private:
    std::shared_ptr<TransferHandler> m_handler;
};

}  // namespace zuzezi_zid
