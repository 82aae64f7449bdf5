// Listings that misbehave on purpose: a part or object listing whose marker does not move,
// an object listing without its next marker, and an empty page that says more follow.
#include "ServiceImpl.h"

namespace zid_local {

namespace {

bool StartsWith(const std::string& body, const std::string& root) {
    return body.compare(0, root.size(), root) == 0;
}

// Replaces the text of the first element of that name, or adds the element before the
// root's end when there is none.
void SetElement(std::string* body, const std::string& name, const std::string& value,
                const std::string& root) {
    const std::string open = "<" + name + ">", close = "</" + name + ">";
    size_t p = body->find(open);
    size_t e = p == std::string::npos ? p : body->find(close, p);
    if (e != std::string::npos) {
        body->replace(p + open.size(), e - p - open.size(), value);
        return;
    }
    size_t end = body->rfind("</" + root + ">");
    if (end != std::string::npos) body->insert(end, open + value + close);
}

void RemoveElements(std::string* body, const std::string& name) {
    const std::string open = "<" + name + ">", close = "</" + name + ">";
    for (size_t p; (p = body->find(open)) != std::string::npos;) {
        size_t e = body->find(close, p);
        if (e == std::string::npos) return;
        body->erase(p, e + close.size() - p);
    }
}

}  // namespace

void LocalService::Impl::ApplyListingFaults(const ActiveFaults& faults, const Call& c, Answer* a) const {
    if (a->status != 200) return;
    std::string* body = &a->body;
    if (StartsWith(*body, "<ListPartsResult>")) {
        if (faults.stuckListing) {
            SetElement(body, "IsTruncated", "true", "ListPartsResult");
            SetElement(body, "NextPartNumberMarker",
                       Xml(c.Has("part-number-marker") ? c.Param("part-number-marker") : "0"),
                       "ListPartsResult");
        }
        return;
    }
    if (!StartsWith(*body, "<ListBucketResult>")) return;
    if (faults.emptyTruncatedListing) {
        RemoveElements(body, "Contents");
        SetElement(body, "IsTruncated", "true", "ListBucketResult");
    }
    if (faults.stuckListing) {
        SetElement(body, "IsTruncated", "true", "ListBucketResult");
        SetElement(body, "NextMarker", Xml(c.Param("marker")), "ListBucketResult");
    }
    if (faults.noNextMarker) RemoveElements(body, "NextMarker");
}

}  // namespace zid_local
