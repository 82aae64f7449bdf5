#include <cerrno>
#include <cstdlib>
#include <set>

#include "ServiceImpl.h"

namespace zid_local {

namespace {

// Matching by the slice asked for, not by the order requests arrive in, keeps a fault on the
// same bytes however the client's threads interleave.
bool RangeStartsIn(const Call& c, int64_t from, int64_t to) {
    const std::string range = c.Header("Range");
    const std::string unit = "bytes=";
    if (range.compare(0, unit.size(), unit) != 0) return false;
    const char* digits = range.c_str() + unit.size();
    if (*digits < '0' || *digits > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long first = std::strtoull(digits, &end, 10);
    return errno == 0 && *end == '-' && (from < 0 || first >= static_cast<uint64_t>(from)) &&
           (to < 0 || first <= static_cast<uint64_t>(to));
}

}  // namespace

ActiveFaults LocalService::Impl::TakeFaults(const Call& c) {
    ActiveFaults out;
    std::lock_guard<std::mutex> lock(faultMu);
    {
        std::lock_guard<std::mutex> active(activeMu);
        out.clearings = faultClearings;
    }
    out.kept.reserve(faults.size());
    // One fault per kind and request: faults of one kind queue up in the order they were added.
    std::set<FaultKind> taken;
    for (auto& slot : faults) {
        const Fault& f = slot.fault;
        if (f.times >= 0 && slot.hits >= f.times) continue;
        if (taken.count(f.kind)) continue;
        if (!f.method.empty() && f.method != c.method) continue;
        if (!f.keySubstring.empty() && c.key.find(f.keySubstring) == std::string::npos) continue;
        if (!f.host.empty() && c.host.find(f.host) == std::string::npos) continue;
        if (!f.queryParam.empty() && !c.Has(f.queryParam)) continue;
        if ((f.rangeFrom >= 0 || f.rangeTo >= 0) && !RangeStartsIn(c, f.rangeFrom, f.rangeTo)) continue;
        if (slot.seen++ < f.skip) continue;
        ++slot.hits;
        taken.insert(f.kind);
        out.kept.push_back(f);
    }
    for (const Fault& f : out.kept) {
        switch (f.kind) {
            case FaultKind::Refuse: out.refuse = true; break;
            case FaultKind::Status: if (!out.status) out.status = &f; break;
            case FaultKind::ErrorBody200: if (!out.errorBody200) out.errorBody200 = &f; break;
            case FaultKind::CloseMidBody: if (!out.closeMidBody) out.closeMidBody = &f; break;
            case FaultKind::Reset: if (!out.reset) out.reset = &f; break;
            case FaultKind::Stall: if (!out.stall) out.stall = &f; break;
            case FaultKind::WrongCrc: out.wrongCrc = true; break;
            case FaultKind::NoCrc: out.noCrc = true; break;
            case FaultKind::IgnoreRange: out.ignoreRange = true; break;
            case FaultKind::WrongContentRange: out.wrongContentRange = true; break;
            case FaultKind::NoETag: out.noETag = true; break;
            case FaultKind::UpperETag: out.upperETag = true; break;
            case FaultKind::ReplaceObject: out.replacements.push_back(f); break;
            case FaultKind::TextBody200: if (!out.textBody200) out.textBody200 = &f; break;
            case FaultKind::StuckListing: out.stuckListing = true; break;
            case FaultKind::CloseConnection: out.closeConnection = true; break;
            case FaultKind::CloseAfterAnswer: out.closeAfterAnswer = true; break;
            case FaultKind::NoNextMarker: out.noNextMarker = true; break;
            case FaultKind::EmptyTruncatedListing: out.emptyTruncatedListing = true; break;
            case FaultKind::ShortLength: if (!out.shortLength) out.shortLength = &f; break;
            case FaultKind::ErrorBodyObject200: out.errorBodyObject200 = true; break;
        }
    }
    return out;
}

}  // namespace zid_local
