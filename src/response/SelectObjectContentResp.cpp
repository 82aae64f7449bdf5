#include "response/SelectObjectContentResp.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>

#include <Poco/Checksum.h>

#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

namespace {

// Prelude (total length, header length, prelude CRC) and the trailing message CRC.
constexpr size_t kPreludeBytes = 12;
constexpr size_t kCrcBytes = 4;
constexpr uint32_t kMinHeaderBytes = 40;
constexpr uint32_t kMinTotalBytes = kPreludeBytes + kMinHeaderBytes + kCrcBytes;
constexpr unsigned kStringValueType = 7;

uint32_t Crc32(const unsigned char* data, size_t len) {
    Poco::Checksum crc(Poco::Checksum::TYPE_CRC32);
    crc.update(reinterpret_cast<const char*>(data), static_cast<unsigned int>(len));
    return crc.checksum();
}

struct Frame {
    uint32_t total = 0;
    std::map<std::string, std::string> headers;  // first value of a repeated name wins
    std::string payload;
};

// Checks one message that starts at msg, with `remaining` bytes of body from there, and
// takes it apart. Every length is checked against what it may span before a byte under it
// is read. On false *why holds the reason.
bool ReadFrame(const unsigned char* msg, size_t remaining, Frame* frame, std::string* why) {
    if (remaining < kPreludeBytes) {
        *why = LogUtil::Format("Incomplete message prelude, remaining bytes:%zu", remaining);
        return false;
    }
    const uint32_t prelude_crc = Crc32(msg, 8);
    const uint32_t total = StringUtil::BigEndianToUint32(msg);
    if (total < kMinTotalBytes) {
        *why = LogUtil::Format("Invalid total_byte_length:%u", total);
        return false;
    }
    ZID_LOG_DBG("total_byte_length:%u", total);
    if (total > remaining) {
        *why = LogUtil::Format("Incomplete message, total_byte_length:%u, remaining bytes:%zu",
                               total, remaining);
        return false;
    }
    const uint32_t message_crc = Crc32(msg, total - kCrcBytes);
    const uint32_t stored_message_crc = StringUtil::BigEndianToUint32(msg + total - kCrcBytes);
    if (message_crc != stored_message_crc) {
        *why = LogUtil::Format("Message data crc check faield, crc=%u, expected=%u", message_crc,
                               stored_message_crc);
        return false;
    }
    const uint32_t header_len = StringUtil::BigEndianToUint32(msg + 4);
    ZID_LOG_DBG("header_byte_length:%u", header_len);
    // The header block must leave room for the prelude and the message CRC.
    if (header_len < kMinHeaderBytes || header_len > total - kPreludeBytes - kCrcBytes) {
        *why = LogUtil::Format("Invalid header_byte_length:%u", header_len);
        return false;
    }
    const uint32_t stored_prelude_crc = StringUtil::BigEndianToUint32(msg + 8);
    if (prelude_crc != stored_prelude_crc) {
        *why = LogUtil::Format("Prelude crc check faield, crc=%u, expected=%u", prelude_crc,
                               stored_prelude_crc);
        return false;
    }

    const unsigned char* block = msg + kPreludeBytes;
    size_t at = 0;
    while (at < header_len) {
        const size_t name_len = block[at];
        ZID_LOG_DBG("header_name_len:%u", static_cast<unsigned>(name_len));
        // Name, value type and the two bytes of the value length.
        if (header_len - at - 1 < name_len + 3) {
            *why = LogUtil::Format("Header entry runs past the header block at offset %zu", at);
            return false;
        }
        std::string name(reinterpret_cast<const char*>(block + at + 1), name_len);
        ZID_LOG_DBG("header_name:%s", name.c_str());
        at += 1 + name_len;
        const unsigned value_type = block[at];
        ZID_LOG_DBG("header_value_type:%u", value_type);
        if (value_type != kStringValueType) {
            *why = LogUtil::Format("Invalid header value type:%u, expect 7", value_type);
            return false;
        }
        const size_t value_len = StringUtil::BigEndianToUint16(block + at + 1);
        ZID_LOG_DBG("header_value_len:%u", static_cast<unsigned>(value_len));
        at += 3;
        if (header_len - at < value_len) {
            *why = LogUtil::Format("Header entry runs past the header block at offset %zu", at);
            return false;
        }
        std::string value(reinterpret_cast<const char*>(block + at), value_len);
        ZID_LOG_DBG("header_value:%s", value.c_str());
        at += value_len;
        frame->headers.emplace(std::move(name), std::move(value));
    }
    frame->total = total;
    frame->payload.assign(reinterpret_cast<const char*>(block + header_len),
                          total - header_len - kPreludeBytes - kCrcBytes);
    return true;
}

std::string HeaderValue(const std::map<std::string, std::string>& headers, const char* name) {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

// Opens path truncated, lets write fill it, and checks the stream after writing and after
// closing: a full disk shows only at the last flush.
int WriteLocalFile(const std::string& path, const std::function<void(std::ostream&)>& write) {
    std::ofstream out(path, std::ios::binary | std::ios::out | std::ios::trunc);
    if (!out.is_open()) {
        ZID_LOG_ERR("Failed to open file:%s, error info:%s", path.c_str(), std::strerror(errno));
        return -1;
    }
    write(out);
    const bool written = static_cast<bool>(out);
    out.close();
    if (!written || out.fail()) {
        ZID_LOG_ERR("Failed to write file:%s, error info:%s", path.c_str(), std::strerror(errno));
        return -1;
    }
    return 0;
}

}  // namespace

bool SelectObjectContentResp::Stop(StreamState state, const std::string& why) {
    ZID_LOG_NAMED(1, "ParseFromXmlString", "%s", why.c_str());
    m_state = state;
    m_failure = why;
    return false;
}

bool SelectObjectContentResp::ParseFromXmlString(const std::string& body) {
    // A reused response must not carry an earlier answer's records or error into this one.
    m_messages.clear();
    m_error_msg.clear();
    m_error_code.clear();
    m_state = StreamState::NotDecoded;
    m_failure.clear();
    const unsigned char* data = reinterpret_cast<const unsigned char*>(body.data());
    const size_t size = body.size();
    ZID_LOG_DBG("body_length:%u", static_cast<unsigned>(size));
    size_t pos = 0;
    for (;;) {
        if (pos == size) {
            ZID_LOG_DBG("Succefully parse body");
            m_state = StreamState::NoEnd;
            m_failure = "The select answer ended without its End event";
            return true;
        }
        Frame frame;
        std::string why;
        if (!ReadFrame(data + pos, size - pos, &frame, &why)) {
            return Stop(StreamState::Malformed, why);
        }
        auto type = frame.headers.find(":message-type");
        if (type == frame.headers.end()) {
            return Stop(StreamState::Malformed, "No message type in header");
        }
        if (type->second == "event") {
            const std::string event = HeaderValue(frame.headers, ":event-type");
            const std::string content_type = HeaderValue(frame.headers, ":content-type");
            if (event == "End") {
                ZID_LOG_DBG("Get event End, finish parse body");
                m_state = StreamState::Complete;
                return true;
            }
            if (event == "Records" || event == "Progress" || event == "Stats") {
                ZID_LOG_DBG("Get event:%s, content_type:%s, payload:%s", event.c_str(),
                            content_type.c_str(), LogUtil::QuoteBody(frame.payload).c_str());
                m_messages.push_back(SelectMessage{event, content_type, std::move(frame.payload)});
            } else if (event == "Cont") {
                ZID_LOG_DBG("Get event Continue");
            } else {
                return Stop(StreamState::Malformed, "Invalid event:" + event);
            }
        } else if (type->second == "error") {
            auto message = frame.headers.find(":error-message");
            if (message != frame.headers.end()) m_error_msg = message->second;
            auto code = frame.headers.find(":error-code");
            if (code != frame.headers.end()) m_error_code = code->second;
            return Stop(StreamState::ErrorEvent, "Get error-message:" + m_error_msg +
                                                     ", error-code:" + m_error_code);
        } else {
            return Stop(StreamState::Malformed, "Unknown message type:" + type->second);
        }
        pos += frame.total;
    }
}

void SelectObjectContentResp::PrintResult() const {
    if (!m_error_msg.empty() || !m_error_code.empty()) {
        std::cout << "Error code:" << m_error_code << ", error message:" << m_error_msg
                  << std::endl;
        return;
    }
    for (const auto& message : m_messages) {
        if (message.m_event_type == "Records") {
            std::cout.write(message.m_payload.data(),
                            static_cast<std::streamsize>(message.m_payload.size()));
        }
    }
    std::cout.flush();
}

int SelectObjectContentResp::WriteResultToLocalFile(const std::string& path) const {
    if (!m_error_msg.empty() || !m_error_code.empty()) {
        return -1;
    }
    return WriteLocalFile(path, [this](std::ostream& out) {
        for (const auto& message : m_messages) {
            if (message.m_event_type == "Records") {
                out.write(message.m_payload.data(),
                          static_cast<std::streamsize>(message.m_payload.size()));
            }
        }
    });
}

int WriteResultToFile(const BaseResp& resp, const std::string& path) {
    const std::string& body = resp.GetBody();
    return WriteLocalFile(path, [&body](std::ostream& out) {
        out.write(body.data(), static_cast<std::streamsize>(body.size()));
    });
}

}  // namespace zuzezi_zid
