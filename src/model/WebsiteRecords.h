/// @file
/// The routing rules of a bucket's static-website configuration, as its answer lists them.

#pragma once

#include <cstdint>
#include <string>

#include "zid/ZidExport.h"
#include "zid/model/SetMask.h"

namespace zuzezi_zid {

/// When a website routing rule applies (its "Condition" element). The mask tells which
/// fields the answer held.
class ZID_API Condition : public SetMask {
public:
    /// Mask bit of the HTTP error code.
    static constexpr uint64_t kHttpErrorCodeReturnedEquals = 0x1;
    /// Mask bit of the key prefix.
    static constexpr uint64_t kKeyPrefixEquals = 0x2;

    virtual ~Condition() = default;

    /// Sets "HttpErrorCodeReturnedEquals" and its mask bit.
    /// @param code the HTTP status the rule applies to.
    void SetHttpErrorCodeReturnedEquals(const int& code) {
        Store(m_http_error_code_returned_equals, code, kHttpErrorCodeReturnedEquals);
    }
    /// Sets "KeyPrefixEquals" and its mask bit.
    /// @param prefix the key prefix the rule applies to.
    void SetKeyPrefixEquals(const std::string& prefix) {
        Store(m_key_prefix_equals, prefix, kKeyPrefixEquals);
    }
    /// @return the HTTP status the rule applies to: 404 when not set, 0 when the answer's
    ///         text held no number.
    int GetHttpErrorCodeReturnedEquals() const { return m_http_error_code_returned_equals; }
    /// @return the key prefix the rule applies to; "" when not set.
    std::string GetKeyPrefixEquals() const { return m_key_prefix_equals; }

private:
    int m_http_error_code_returned_equals = 404;
    std::string m_key_prefix_equals;
};

/// Where a website routing rule sends the request (its "Redirect" element). The mask
/// tells which fields the answer held.
class ZID_API Redirect : public SetMask {
public:
    static constexpr uint64_t kProtocol = 0x1;              ///< Mask bit of the protocol.
    static constexpr uint64_t kReplaceKeyWith = 0x2;        ///< Mask bit of the key.
    static constexpr uint64_t kReplaceKeyPrefixWith = 0x4;  ///< Mask bit of the prefix.

    virtual ~Redirect() = default;

    /// Sets "Protocol" and its mask bit.
    /// @param protocol the scheme of the redirect, e.g. "https".
    void SetProtocol(std::string protocol) { Store(m_protocol, std::move(protocol), kProtocol); }
    /// Sets "ReplaceKeyWith" and its mask bit.
    /// @param key the key the whole request key is replaced with.
    void SetReplaceKeyWith(std::string key) {
        Store(m_replace_key_with, std::move(key), kReplaceKeyWith);
    }
    /// Sets "ReplaceKeyPrefixWith" and its mask bit.
    /// @param prefix what the matched key prefix is replaced with.
    void SetReplaceKeyPrefixWith(std::string prefix) {
        Store(m_replace_key_prefix_with, std::move(prefix), kReplaceKeyPrefixWith);
    }
    /// @return "Protocol"; "" when not set.
    std::string GetProtocol() const { return m_protocol; }
    /// @return "ReplaceKeyWith"; "" when not set.
    std::string GetReplaceKeyWith() const { return m_replace_key_with; }
    /// @return "ReplaceKeyPrefixWith"; "" when not set.
    std::string GetReplaceKeyPrefixWith() const { return m_replace_key_prefix_with; }

private:
    std::string m_protocol;
    std::string m_replace_key_with;
    std::string m_replace_key_prefix_with;
};

/// One "RoutingRule" of a bucket's website configuration: a condition and a redirect.
class ZID_API RoutingRule : public SetMask {
public:
    static constexpr uint64_t kCondition = 0x1;  ///< Mask bit of the condition.
    static constexpr uint64_t kRedirect = 0x2;   ///< Mask bit of the redirect.

    virtual ~RoutingRule() = default;

    /// Stores a copy of the condition and sets its mask bit.
    /// @param condition when the rule applies.
    void SetCondition(const Condition& condition) { Store(m_condition, condition, kCondition); }
    /// Stores a copy of the redirect and sets its mask bit.
    /// @param redirect where the rule sends the request.
    void SetRedirect(const Redirect& redirect) { Store(m_redirect, redirect, kRedirect); }
    /// @return the condition; a default one (code 404, mask 0) when the rule had none.
    ///         Valid while the rule lives.
    const Condition& GetCondition() const { return m_condition; }
    /// @return the redirect; an empty one (mask 0) when the rule had none. Valid while the
    ///         rule lives.
    const Redirect& GetRedirect() const { return m_redirect; }

private:
    Condition m_condition;
    Redirect m_redirect;
};

}  // namespace zuzezi_zid
