#include "op/ServiceOp.h"

#include "ClientSettings.h"

namespace zuzezi_zid {

ZidResult ServiceOp::GetService(const BaseReq& req, BaseResp* resp) const {
    return FailOnException("Service request", [&] {
        return NormalAction(ClientSettings::kServiceHost, req.GetPath(), req, "", false, resp);
    });
}

}  // namespace zuzezi_zid
