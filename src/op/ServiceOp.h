/// @file
/// ServiceOp, the requests addressed to the storage service as a whole (the service
/// listing).
#pragma once

#include <memory>

#include "zid/ZidExport.h"
#include "zid/op/BaseOp.h"

namespace zuzezi_zid {

/// Requests addressed to the storage service as a whole rather than to a bucket.
class ZID_API ServiceOp : public BaseOp {
public:
    /// @param config shared with the facade and the other operation classes
    explicit ServiceOp(const std::shared_ptr<ZidConfig>& config) : BaseOp(config) {}
    virtual ~ServiceOp() = default;

    /// The service listing (the account's buckets), sent once to
    /// ClientSettings::kServiceHost whatever the region, never to the backup domain; the
    /// request says what is asked (method "GET", path "/") and the response's parser
    /// reads the answer.
    /// @param req  method, path, parameters and headers of the listing
    /// @param resp filled by its own parsers from a 2xx answer; may be null
    /// @return as ZidResult describes; an exception on the way fails with "Service request
    ///         failed, exception: " and its text.
    ZidResult GetService(const BaseReq& req, BaseResp* resp) const;
};

}  // namespace zuzezi_zid
