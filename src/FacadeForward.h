// The facade's two ways of handing a call to one of its operation objects.
#pragma once

#include "op/BaseOp.h"
#include "trsf/ZidResult.h"

namespace zuzezi_zid {

// With the backup-domain retry of the synchronous methods: the operation member takes the
// caller's arguments and then the backup-domain flag.
template <typename Op, typename Member, typename... Args>
ZidResult ForwardWithRetry(Op& op, Member member, const Args&... args) {
    return WithBackupDomainRetry(op, [&](bool backup) { return (op.*member)(args..., backup); });
}

// Once, for operations that repeat on the backup domain by themselves or never.
template <typename Op, typename Member, typename... Args>
ZidResult ForwardOnce(Op& op, Member member, const Args&... args) {
    return (op.*member)(args...);
}

}  // namespace zuzezi_zid
