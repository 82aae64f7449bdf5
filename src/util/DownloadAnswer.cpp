#include "util/DownloadAnswer.h"

#include <strings.h>

#include <algorithm>

namespace zuzezi_zid {

namespace {

// Exact spelling first, then any spelling.
const std::string* Find(const std::map<std::string, std::string>& headers, const std::string& name) {
    const auto it = headers.find(name);
    if (it != headers.end()) return &it->second;
    for (const auto& h : headers) {
        if (h.first.size() == name.size() && strcasecmp(h.first.c_str(), name.c_str()) == 0) {
            return &h.second;
        }
    }
    return nullptr;
}

// Looked up on every download: made once, and never destroyed, since a transfer thread may
// still read them while the process exits.
const std::string& kCrcName = *new std::string("x-zid-hash-crc64ecma");
const std::string& kRangeName = *new std::string("Range");
const std::string& kLengthName = *new std::string("Content-Length");
const std::string& kContentRangeName = *new std::string("Content-Range");

// Decimal digits only, no sign, and within 64 bits; advances *at past them.
bool Number(const std::string& text, size_t* at, uint64_t* value) {
    const size_t from = *at;
    uint64_t v = 0;
    while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') {
        const uint64_t digit = static_cast<uint64_t>(text[*at] - '0');
        if (v > (UINT64_MAX - digit) / 10) return false;
        v = v * 10 + digit;
        ++*at;
    }
    *value = v;
    return *at > from;
}

bool Whole(const std::string& text, uint64_t* value) {
    size_t at = 0;
    return Number(text, &at, value) && at == text.size();
}

bool Unit(const std::string& text, char after) {
    return text.size() > 6 && strncasecmp(text.c_str(), "bytes", 5) == 0 && text[5] == after;
}

// One range of a Range header: "bytes=F-L", "bytes=F-" or "bytes=-N".
struct Asked {
    bool has_first = false;
    uint64_t first = 0;
    bool has_last = false;
    uint64_t last = 0;  // the suffix length when there is no first byte
};

bool ParseAsked(const std::string& range, Asked* asked) {
    if (!Unit(range, '=')) return false;
    size_t at = 6;
    asked->has_first = Number(range, &at, &asked->first);
    if (at >= range.size() || range[at] != '-') return false;
    ++at;
    asked->has_last = Number(range, &at, &asked->last);
    if (at != range.size() || (!asked->has_first && !asked->has_last)) return false;
    return !asked->has_first || !asked->has_last || asked->first <= asked->last;
}

// "bytes F-L/N" or "bytes F-L/*".
bool ParseContentRange(const std::string& text, uint64_t* first, uint64_t* last, bool* sized,
                       uint64_t* size) {
    if (!Unit(text, ' ')) return false;
    size_t at = 6;
    if (!Number(text, &at, first) || at >= text.size() || text[at++] != '-' ||
        !Number(text, &at, last) || at >= text.size() || text[at++] != '/') {
        return false;
    }
    *sized = !(at + 1 == text.size() && text[at] == '*');
    if (*sized && (!Number(text, &at, size) || at != text.size() || *last >= *size)) return false;
    return *first <= *last;
}

std::string Shown(const std::string* text) { return text ? "[" + *text + "]" : "none"; }

}  // namespace

std::string RangeAsked(const std::map<std::string, std::string>& request_headers) {
    const std::string* range = Find(request_headers, kRangeName);
    return range ? *range : std::string();
}

std::string WhyNotTheBytesAsked(int status, const std::map<std::string, std::string>& answer,
                                const std::string& range, uint64_t object_size) {
    // Built only for a refusal: the common answer is taken.
    const auto refused = [&](const std::string& detail) {
        return "the answer is not the bytes asked for (" +
               (range.empty() ? std::string("the whole object") : range) +
               "): status " + std::to_string(status) + detail;
    };
    if (status == 200 && range.empty()) return "";
    Asked asked;
    const bool ranged = !range.empty() && ParseAsked(range, &asked);
    if (status == 200) {
        // A server that cannot read the range serves the whole object, which is then the answer.
        if (!ranged) return "";
        uint64_t size = object_size;
        const std::string* length = Find(answer, kLengthName);
        if (size == UINT64_MAX && !(length && Whole(*length, &size))) return refused("");
        const bool covers = asked.has_first
                                ? asked.first == 0 && (!asked.has_last || asked.last + 1 >= size)
                                : asked.last >= size;
        return covers ? "" : refused(", the whole object");
    }
    if (status != 206 || !ranged) return refused("");
    const std::string* content_range = Find(answer, kContentRangeName);
    uint64_t first = 0, last = 0, size = 0;
    bool sized = false;
    if (!content_range || !ParseContentRange(*content_range, &first, &last, &sized, &size) ||
        (sized && object_size != UINT64_MAX && size != object_size)) {
        return refused(", Content-Range " + Shown(content_range));
    }
    if (!sized) size = object_size;
    const bool known = size != UINT64_MAX;
    bool exact = false;
    if (!asked.has_first) {  // the last N bytes
        exact = known && last + 1 == size && first == size - std::min(asked.last, size);
    } else if (!asked.has_last) {
        exact = first == asked.first && (!known || last + 1 == size);
    } else {
        exact = first == asked.first && last == (known ? std::min(asked.last, size - 1) : asked.last);
    }
    return exact ? "" : refused(", Content-Range " + Shown(content_range));
}

ObjectCrc64 ReadObjectCrc64(const std::map<std::string, std::string>& answer, uint64_t* value,
                            std::string* text) {
    const std::string* found = Find(answer, kCrcName);
    *value = 0;
    text->clear();
    if (!found) return ObjectCrc64::kAbsent;
    *text = *found;
    return Whole(*found, value) ? ObjectCrc64::kValue : ObjectCrc64::kMalformed;
}

}  // namespace zuzezi_zid
