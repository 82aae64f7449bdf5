#include "ServiceImpl.h"

namespace zid_local {

// A new family of routes is a member in ServiceImpl.h, its file, and a line here. Families
// that claim sub-resources of a bucket or an object come before the plain bucket and object
// routes.
Answer LocalService::Impl::Route(Call& c) {
    static const RouteFamily kFamilies[] = {
        &Impl::BucketExistence, &Impl::MultipartRoutes, &Impl::AclTaggingRoutes, &Impl::CopyRoutes,
        &Impl::SelectRoutes,    &Impl::LocationRoutes,   &Impl::BucketConfigRoutes,
        &Impl::BucketRoutes,    &Impl::ObjectRoutes,
    };
    for (RouteFamily family : kFamilies) {
        std::optional<Answer> a = (this->*family)(c);
        if (a) return std::move(*a);
    }
    return Error(c, 405, "MethodNotAllowed", "The specified method is not allowed against this resource.");
}

}  // namespace zid_local
