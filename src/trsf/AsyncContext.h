#pragma once

#include <memory>

#include "trsf/TransferHandler.h"

namespace zuzezi_zid {

// The caller's handle on one asynchronous call.
class AsyncContext {
public:
    explicit AsyncContext(const std::shared_ptr<TransferHandler>& handler) : m_handler(handler) {}

    const std::shared_ptr<TransferHandler>& GetTransferHandler() const { return m_handler; }

    TransferStatus GetStatus() const { return m_handler->GetStatus(); }
    void WaitUntilFinish() const { m_handler->WaitForFinalStatus(); }
    void Cancel() const { m_handler->Cancel(); }
    ZidResult GetResult() const { return m_handler->GetResult(); }
    std::string GetBucketName() const { return m_handler->GetBucketName(); }
    std::string GetObjectName() const { return m_handler->GetObjectName(); }
    std::string GetLocalFilePath() const { return m_handler->GetLocalFilePath(); }

private:
    std::shared_ptr<TransferHandler> m_handler;
};

}  // namespace zuzezi_zid
