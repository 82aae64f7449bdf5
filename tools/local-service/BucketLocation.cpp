// GET ?location of a bucket: the region that the request's Host names.
#include <sstream>

#include "ServiceImpl.h"

namespace zid_local {

namespace {

// The label after the bucket's, or after the service's own "zid" label there:
// "b-1.zid.ap-x.objstore.example" -> "ap-x", "b-1.cn-east.objstore.example" -> "cn-east".
// "" for a plain address, which names no region.
std::string RegionOfHost(const std::string& hostHeader) {
    if (BucketOfHost(hostHeader).empty()) return std::string();
    std::istringstream labels(StripPort(hostHeader));
    std::string label;
    std::getline(labels, label, '.');  // the bucket
    if (!std::getline(labels, label, '.')) return std::string();
    if (label == "zid" && !std::getline(labels, label, '.')) return std::string();
    return label;
}

}  // namespace

std::optional<Answer> LocalService::Impl::LocationRoutes(Call& c) {
    if (!c.key.empty() || c.method != "GET" || !c.Has("location")) return std::nullopt;
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = Elem("LocationConstraint", RegionOfHost(c.host));
    return a;
}

}  // namespace zid_local
