#pragma once

#include <memory>

#include "op/BaseOp.h"

namespace zuzezi_zid {

// Service-level operations share the client's configuration with the other operation classes.
class ServiceOp : public BaseOp {
public:
    explicit ServiceOp(const std::shared_ptr<ZidConfig>& config) : BaseOp(config) {}
    virtual ~ServiceOp() = default;
};

}  // namespace zuzezi_zid
