#pragma once

#include <cstddef>

namespace zuzezi_zid {

// rapidxml descends one stack frame per open element, so a hostile body of
// deeply nested elements would overflow the stack. Deeper than this is refused.
constexpr size_t kMaxXmlDepth = 256;

// True when the NUL-terminated text is well-formed as far as rapidxml's own
// grammar goes and no element is nested deeper than max_depth. Scans without
// recursion; anything rapidxml would refuse is refused here too.
bool XmlNestingWithin(const char* text, size_t max_depth = kMaxXmlDepth);

}  // namespace zuzezi_zid
