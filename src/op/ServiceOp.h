#pragma once

#include <memory>

#include "op/BaseOp.h"

namespace zuzezi_zid {

// Requests addressed to the storage service as a whole rather than to a bucket.
class ServiceOp : public BaseOp {
public:
    explicit ServiceOp(const std::shared_ptr<ZidConfig>& config) : BaseOp(config) {}
    virtual ~ServiceOp() = default;

    // The service listing, sent once to the service host whatever the region; the request
    // says what is asked and the response's parser reads the answer.
    ZidResult GetService(const BaseReq& req, BaseResp* resp) const;
};

}  // namespace zuzezi_zid
