#include "util/Crc64StreamBuf.h"

#include "util/Crc64Util.h"

namespace zuzezi_zid {

std::streamsize Crc64StreamBuf::xsputn(const char* s, std::streamsize n) {
    const std::streamsize put = m_target ? m_target->sputn(s, n) : 0;
    if (put > 0) m_crc = Crc64Util::Update(m_crc, s, static_cast<size_t>(put));
    return put;
}

Crc64StreamBuf::int_type Crc64StreamBuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
}

int Crc64StreamBuf::sync() { return m_target ? m_target->pubsync() : -1; }

}  // namespace zuzezi_zid
