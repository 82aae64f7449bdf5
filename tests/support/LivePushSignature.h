// The live push URL's signature computed from its definition, independently of the client's
// signer, and a way to pick the fields of a push URL apart.
#pragma once

#include <cctype>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <Poco/DigestEngine.h>
#include <Poco/HMACEngine.h>
#include <Poco/SHA1Engine.h>

namespace zid_test {

// param_text: the URL parameters as given (not encoded), "k=v&k=v", token included, sorted by
// name.
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

// The name=value fields of a URL's query, in order, each name and value percent-decoded the
// way a receiving server reads them ("+" is a space); an undecodable escape is kept as it is.
inline std::vector<std::pair<std::string, std::string>> QueryFields(const std::string& url) {
    auto decode = [](const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '+') {
                out += ' ';
            } else if (c == '%' && i + 2 < text.size() &&
                       std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                       std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
                out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += c;
            }
        }
        return out;
    };
    std::vector<std::pair<std::string, std::string>> fields;
    const size_t q = url.find('?');
    if (q == std::string::npos) return fields;
    size_t at = q + 1;
    while (at <= url.size()) {
        size_t end = url.find('&', at);
        if (end == std::string::npos) end = url.size();
        const std::string field = url.substr(at, end - at);
        const size_t eq = field.find('=');
        fields.emplace_back(decode(field.substr(0, eq)),
                            eq == std::string::npos ? "" : decode(field.substr(eq + 1)));
        at = end + 1;
    }
    return fields;
}

// What is wrong with a push URL's query, or empty when it is sound: the five signing fields,
// then exactly `params` (token included, as given) once each in name order, and a signature
// over those values as given.
inline std::string PushQueryProblem(const std::string& url, const std::string& secret_key,
                                    const std::string& bucket, const std::string& channel,
                                    const std::map<std::string, std::string>& params) {
    const auto fields = QueryFields(url);
    if (fields.size() != 5 + params.size()) {
        return std::to_string(fields.size()) + " query fields in " + url;
    }
    const char* const signing[] = {"q-sign-algorithm", "q-ak", "q-sign-time", "q-key-time",
                                   "q-signature"};
    for (size_t i = 0; i < 5; ++i) {
        if (fields[i].first != signing[i]) return "field " + fields[i].first + " in " + url;
    }
    if (fields[2].second != fields[3].second) return "key time differs in " + url;
    std::string param_text;
    size_t i = 5;
    for (const auto& kv : params) {
        if (fields[i].first != kv.first || fields[i].second != kv.second) {
            return "parameter [" + fields[i].first + "]=[" + fields[i].second + "] where [" +
                   kv.first + "]=[" + kv.second + "] belongs, in " + url;
        }
        param_text += (param_text.empty() ? "" : "&") + kv.first + "=" + kv.second;
        ++i;
    }
    if (fields[4].second !=
        ExpectedPushSignature(secret_key, fields[2].second, bucket, channel, param_text)) {
        return "signature is not over the parameters as given, in " + url;
    }
    return "";
}

// Length of a "start;end" signing window in seconds, or -1 when it is not one.
inline long long WindowLength(const std::string& sign_time) {
    const size_t semi = sign_time.find(';');
    if (semi == std::string::npos) return -1;
    return std::stoll(sign_time.substr(semi + 1)) - std::stoll(sign_time.substr(0, semi));
}

}  // namespace zid_test
