#include "util/AuthTool.h"

#include <ctime>

#include "ClientSettings.h"
#include "util/CodecUtil.h"
#include "util/LogUtil.h"
#include "util/Sha1Digest.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

namespace {

// Built once and never destroyed: a transfer thread may still sign while the process exits.
const std::unordered_set<std::string>& SignableHeaders() {
    static const auto* kNames = new std::unordered_set<std::string>{"cache-control",
                                                           "content-disposition",
                                                           "content-encoding",
                                                           "content-length",
                                                           "content-md5",
                                                           "content-type",
                                                           "expect",
                                                           "expires",
                                                           "host",
                                                           "if-match",
                                                           "if-modified-since",
                                                           "if-none-match",
                                                           "if-unmodified-since",
                                                           "origin",
                                                           "range",
                                                           "transfer-encoding",
                                                           "pic-operations"};
    return *kNames;
}

std::string Sha1Hex(const std::string& text) {
    Sha1Digest sha1;
    sha1.Update(text.data(), static_cast<int>(text.size()));
    return sha1.HexDigest();
}

// The sign key depends only on the secret key and the window, which stays the same for a
// second: a thread's requests in that second reuse it, an HMAC less each.
const std::string& SignKeyFor(const std::string& secret_key, const std::string& sign_time) {
    struct Last {
        std::string secret_key;
        std::string sign_time;
        std::string sign_key;
    };
    thread_local Last last;
    if (last.sign_key.empty() || last.sign_time != sign_time || last.secret_key != secret_key) {
        last.sign_key = StringUtil::ToLowerCopy(CodecUtil::HexHmacSha1(sign_time, secret_key));
        last.secret_key = secret_key;
        last.sign_time = sign_time;
    }
    return last.sign_key;
}

}  // namespace

void AuthTool::FilterSignedHeaders(const std::map<std::string, std::string>& headers,
                                   std::map<std::string, std::string>* filtered,
                                   const std::unordered_set<std::string>& not_sign_headers) {
    for (const auto& h : headers) {
        if (not_sign_headers.count(h.first) > 0) {
            continue;
        }
        if (SignableHeaders().count(StringUtil::ToLowerCopy(h.first)) > 0 ||
            StringUtil::HasPrefix(h.first, "x-zid") || StringUtil::HasPrefix(h.first, "x-ci")) {
            (*filtered)[h.first] = h.second;
        }
    }
}

void AuthTool::FormatMapForSign(const std::map<std::string, std::string>& in, bool encode_key,
                                bool encode_value, bool lower_value, std::string* key_list,
                                std::string* key_value_list) {
    if (in.empty()) {
        return;
    }
    std::map<std::string, std::string> canonical;
    for (const auto& kv : in) {
        std::string key = encode_key ? CodecUtil::EncodeValue(kv.first) : kv.first;
        std::string value = encode_value ? CodecUtil::EncodeValue(kv.second) : kv.second;
        StringUtil::ToLowerInPlace(key);
        if (lower_value) {
            StringUtil::ToLowerInPlace(value);
        }
        canonical[key] = value;
    }
    bool first = true;
    for (const auto& kv : canonical) {
        if (!first) {
            *key_list += ";";
            *key_value_list += "&";
        }
        first = false;
        *key_list += kv.first;
        *key_value_list += kv.first + "=" + kv.second;
    }
}

std::string AuthTool::Sign(const std::string& secret_id, const std::string& secret_key,
                           const std::string& http_method, const std::string& in_path,
                           const std::map<std::string, std::string>& headers,
                           const std::map<std::string, std::string>& params, uint64_t start_time,
                           uint64_t end_time,
                           const std::unordered_set<std::string>& not_sign_headers) {
    if (secret_id.empty() || secret_key.empty()) {
        return std::string();
    }
    const std::string sign_time =
        StringUtil::FormatUint64(start_time) + ";" + StringUtil::FormatUint64(end_time);

    std::map<std::string, std::string> signed_headers;
    FilterSignedHeaders(headers, &signed_headers, not_sign_headers);
    std::string param_list;
    std::string param_str;
    FormatMapForSign(params, true, true, false, &param_list, &param_str);
    std::string header_list;
    std::string header_str;
    FormatMapForSign(signed_headers, false, true, false, &header_list, &header_str);

    const std::string path = in_path.empty() ? "/" : in_path;
    const std::string format_str = StringUtil::ToLowerCopy(http_method) + "\n" + path + "\n" +
                                   param_str + "\n" + header_str + "\n";
    if (ClientSettings::GetLogLevel() >= 4) {
        // The security token is signed but is a credential: the log shows it masked.
        std::map<std::string, std::string> shown = signed_headers;
        for (auto& h : shown) {
            const std::string lower = StringUtil::ToLowerCopy(h.first);
            if (lower == "x-zid-security-token" || lower == "x-ci-security-token") {
                h.second = "***";
            }
        }
        std::string shown_list;
        std::string shown_str;
        FormatMapForSign(shown, false, true, false, &shown_list, &shown_str);
        const std::string shown_format = StringUtil::ToLowerCopy(http_method) + "\n" + path + "\n" +
                                         param_str + "\n" + shown_str + "\n";
        ZID_LOG_DBG("format string :%s", shown_format.c_str());
    }

    const std::string string_to_sign = "sha1\n" + sign_time + "\n" + Sha1Hex(format_str) + "\n";
    ZID_LOG_DBG("string_to_sign :%s", string_to_sign.c_str());

    // The derived key is as good as the secret key for this window: never logged.
    const std::string signature =
        CodecUtil::HexHmacSha1(string_to_sign, SignKeyFor(secret_key, sign_time));

    return "q-sign-algorithm=sha1&q-ak=" + secret_id + "&q-sign-time=" + sign_time +
           "&q-key-time=" + sign_time + "&q-header-list=" + header_list +
           "&q-url-param-list=" + param_list + "&q-signature=" + signature;
}

std::string AuthTool::SignFromNow(const std::string& secret_id, const std::string& secret_key,
                                  const std::string& http_method, const std::string& in_path,
                                  const std::map<std::string, std::string>& headers,
                                  const std::map<std::string, std::string>& params,
                                  const std::unordered_set<std::string>& not_sign_headers) {
    const uint64_t start = static_cast<uint64_t>(static_cast<int64_t>(time(nullptr)) +
                                                 ClientSettings::GetSignTimeOffset());
    const uint64_t end = start + ClientSettings::GetSignExpiredTime();
    return Sign(secret_id, secret_key, http_method, in_path, headers, params, start, end,
                not_sign_headers);
}

std::string AuthTool::SignLivePushUrl(const std::string& secret_id, const std::string& secret_key,
                                      const std::string& token, const std::string& bucket,
                                      const std::string& channel,
                                      const std::map<std::string, std::string>& params,
                                      uint64_t expire_seconds) {
    std::map<std::string, std::string> all_params = params;
    if (!token.empty()) {
        all_params["x-zid-security-token"] = token;
    }
    // The signature covers the raw text; the URL carries each name and value percent-encoded,
    // so a token holding "+", "&" or "=" stays one parameter.
    std::string param_text;
    std::string query_text;
    for (const auto& kv : all_params) {
        param_text += kv.first + "=" + kv.second + "&";
        query_text +=
            CodecUtil::EncodeValue(kv.first) + "=" + CodecUtil::EncodeValue(kv.second) + "&";
    }
    param_text = StringUtil::StripSuffix(param_text, "&");
    query_text = StringUtil::StripSuffix(query_text, "&");

    std::string format_str = "/" + bucket + "/" + channel + "\n";
    if (!param_text.empty()) {
        format_str += param_text;
    }
    format_str += "\n";

    const uint64_t now = static_cast<uint64_t>(time(nullptr));
    const std::string sign_time =
        StringUtil::FormatUint64(now) + ";" + StringUtil::FormatUint64(now + expire_seconds);
    const std::string string_to_sign = "sha1\n" + sign_time + "\n" + Sha1Hex(format_str) + "\n";
    const std::string signature = CodecUtil::HexHmacSha1(string_to_sign, secret_key);

    std::string result = "q-sign-algorithm=sha1&q-ak=" + CodecUtil::EncodeValue(secret_id) +
                         "&q-sign-time=" + sign_time + "&q-key-time=" + sign_time +
                         "&q-signature=" + signature;
    if (!query_text.empty()) {
        result += "&" + query_text;
    }
    return result;
}

}  // namespace zuzezi_zid
