#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_set>

namespace zuzezi_zid {

// Builds the "Authorization" text of a request. Empty means the credentials were missing.
class AuthTool {
public:
    AuthTool() = delete;

    static std::string Sign(const std::string& secret_id, const std::string& secret_key,
                            const std::string& http_method, const std::string& in_path,
                            const std::map<std::string, std::string>& headers,
                            const std::map<std::string, std::string>& params, uint64_t start_time,
                            uint64_t end_time,
                            const std::unordered_set<std::string>& not_sign_headers =
                                std::unordered_set<std::string>());

    // Window from now (plus the configured offset) for the configured lifetime.
    static std::string SignFromNow(const std::string& secret_id, const std::string& secret_key,
                                   const std::string& http_method, const std::string& in_path,
                                   const std::map<std::string, std::string>& headers,
                                   const std::map<std::string, std::string>& params,
                                   const std::unordered_set<std::string>& not_sign_headers =
                                       std::unordered_set<std::string>());

    // Query text of a live-channel push URL; a non-empty token is signed and
    // appended as "x-zid-security-token". The parameters are signed as given and
    // appended percent-encoded.
    static std::string SignLivePushUrl(const std::string& secret_id, const std::string& secret_key,
                                       const std::string& token, const std::string& bucket,
                                       const std::string& channel,
                                       const std::map<std::string, std::string>& params,
                                       uint64_t expire_seconds);
    // A push URL's lifetime from a caller's int: a negative one would wrap to a window of
    // centuries, so it gives 0 (a URL that has already expired).
    static uint64_t PushUrlLifetime(int expire_seconds) {
        return expire_seconds < 0 ? 0 : static_cast<uint64_t>(expire_seconds);
    }

    static void FilterSignedHeaders(const std::map<std::string, std::string>& headers,
                                    std::map<std::string, std::string>* filtered,
                                    const std::unordered_set<std::string>& not_sign_headers);

    static void FormatMapForSign(const std::map<std::string, std::string>& in, bool encode_key,
                                 bool encode_value, bool lower_value, std::string* key_list,
                                 std::string* key_value_list);
};

}  // namespace zuzezi_zid
