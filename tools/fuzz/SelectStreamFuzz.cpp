// libFuzzer target: the select event-stream decoder on arbitrary bytes. Under AddressSanitizer
// any read outside the body shows; the checks below catch a decoder that lies about its end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ClientSettings.h"
#include "response/SelectObjectContentResp.h"

using zuzezi_zid::SelectObjectContentResp;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        zuzezi_zid::ClientSettings::SetLogLevel(0);
        return true;
    }();
    (void)quiet;

    SelectObjectContentResp resp;
    const bool ok = resp.ParseFromXmlString(std::string(reinterpret_cast<const char*>(data), size));
    using State = SelectObjectContentResp::StreamState;
    const State state = resp.GetStreamState();
    const bool whole = state == State::Complete || state == State::NoEnd;
    if (ok != whole || (state == State::Complete) != resp.GetStreamFailure().empty()) {
        __builtin_trap();
    }
    for (const auto& message : resp.GetMessages()) {
        if (message.m_event_type != "Records" && message.m_event_type != "Progress" &&
            message.m_event_type != "Stats") {
            __builtin_trap();
        }
        if (message.m_payload.size() > size) __builtin_trap();
    }
    return 0;
}
