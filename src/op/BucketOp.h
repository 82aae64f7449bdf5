#pragma once

#include <memory>

#include "op/BaseOp.h"

namespace zuzezi_zid {

// Bucket-level operations share the client's configuration with the other operation classes.
class BucketOp : public BaseOp {
public:
    explicit BucketOp(const std::shared_ptr<ZidConfig>& config) : BaseOp(config) {}
    virtual ~BucketOp() = default;
};

}  // namespace zuzezi_zid
