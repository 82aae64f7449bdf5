// The tests' own writer of select event-stream messages, independent of the client's decoder:
// big-endian framing by hand and zlib's crc32. Fields can be falsified to build bad frames.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zid_test {

struct EsHeader {
    std::string name;
    std::string value;
    uint8_t type = 7;
};

// Overrides for malformed frames. The CRCs are computed over the bytes as written (with the
// overridden length fields), then optionally spoiled.
struct EsFrameOptions {
    std::optional<uint32_t> total;
    std::optional<uint32_t> header_len;
    bool bad_prelude_crc = false;
    bool bad_message_crc = false;
};

inline std::string EsBe32(uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
}

inline std::string EsBe16(uint16_t v) {
    return std::string{static_cast<char>(v >> 8), static_cast<char>(v)};
}

inline uint32_t EsCrc32(const std::string& bytes) {
    return static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

inline std::string EsHeaderBlock(const std::vector<EsHeader>& headers) {
    std::string block;
    for (const auto& h : headers) {
        block += static_cast<char>(h.name.size());
        block += h.name;
        block += static_cast<char>(h.type);
        block += EsBe16(static_cast<uint16_t>(h.value.size()));
        block += h.value;
    }
    return block;
}

inline std::string EsMessage(const std::string& header_block, const std::string& payload,
                             const EsFrameOptions& opt = EsFrameOptions()) {
    const uint32_t real_total = static_cast<uint32_t>(12 + header_block.size() + payload.size() + 4);
    std::string prelude = EsBe32(opt.total.value_or(real_total)) +
                          EsBe32(opt.header_len.value_or(static_cast<uint32_t>(header_block.size())));
    uint32_t prelude_crc = EsCrc32(prelude);
    if (opt.bad_prelude_crc) prelude_crc ^= 1;
    std::string msg = prelude + EsBe32(prelude_crc) + header_block + payload;
    uint32_t message_crc = EsCrc32(msg);
    if (opt.bad_message_crc) message_crc ^= 1;
    return msg + EsBe32(message_crc);
}

inline std::string EsEvent(const std::string& event, const std::string& payload = "",
                           const std::string& content_type = "") {
    std::vector<EsHeader> headers{{":message-type", "event"}, {":event-type", event}};
    if (!content_type.empty()) headers.push_back({":content-type", content_type});
    return EsMessage(EsHeaderBlock(headers), payload);
}

// An error message; a null code or message leaves that header out.
inline std::string EsError(const char* code, const char* message) {
    std::vector<EsHeader> headers{{":message-type", "error"}};
    if (code) headers.push_back({":error-code", code});
    if (message) headers.push_back({":error-message", message});
    // Pad the block to the minimum header length with a header the decoder ignores.
    std::string block = EsHeaderBlock(headers);
    if (block.size() < 40) {
        const size_t fill = block.size() + 5 < 40 ? 40 - block.size() - 5 : 0;
        block += EsHeaderBlock({{"x", std::string(fill, 'p')}});
    }
    return EsMessage(block, "");
}

}  // namespace zid_test
