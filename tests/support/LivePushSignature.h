// The live push URL's signature computed from its definition, independently of the client's
// signer, and a way to pick the fields of a push URL apart.
#pragma once

#include <string>

#include <Poco/DigestEngine.h>
#include <Poco/HMACEngine.h>
#include <Poco/SHA1Engine.h>

namespace zid_test {

// param_text: the URL parameters as "k=v&k=v", token included, sorted by name.
inline std::string ExpectedPushSignature(const std::string& secret_key, const std::string& sign_time,
                                         const std::string& bucket, const std::string& channel,
                                         const std::string& param_text) {
    Poco::SHA1Engine sha1;
    sha1.update("/" + bucket + "/" + channel + "\n" + param_text + "\n");
    const std::string string_to_sign =
        "sha1\n" + sign_time + "\n" + Poco::DigestEngine::digestToHex(sha1.digest()) + "\n";
    Poco::HMACEngine<Poco::SHA1Engine> hmac(secret_key);
    hmac.update(string_to_sign);
    return Poco::DigestEngine::digestToHex(hmac.digest());
}

// The text after `from` up to the next `to` (or the end); empty when `from` is absent.
inline std::string Between(const std::string& s, const std::string& from, const std::string& to) {
    const size_t a = s.find(from);
    if (a == std::string::npos) return "";
    const size_t b = s.find(to, a + from.size());
    return s.substr(a + from.size(), b == std::string::npos ? std::string::npos : b - a - from.size());
}

// Length of a "start;end" signing window in seconds, or -1 when it is not one.
inline long long WindowLength(const std::string& sign_time) {
    const size_t semi = sign_time.find(';');
    if (semi == std::string::npos) return -1;
    return std::stoll(sign_time.substr(semi + 1)) - std::stoll(sign_time.substr(0, semi));
}

}  // namespace zid_test
