#pragma once

#include <cstdint>
#include <string>

#include "request/SetMask.h"

namespace zuzezi_zid {

// When a website routing rule applies.
class Condition : public SetMask {
public:
    static constexpr uint64_t kHttpErrorCodeReturnedEquals = 0x1;
    static constexpr uint64_t kKeyPrefixEquals = 0x2;

    virtual ~Condition() = default;

    void SetHttpErrorCodeReturnedEquals(const int& code) {
        Store(m_http_error_code_returned_equals, code, kHttpErrorCodeReturnedEquals);
    }
    void SetKeyPrefixEquals(const std::string& prefix) {
        Store(m_key_prefix_equals, prefix, kKeyPrefixEquals);
    }
    int GetHttpErrorCodeReturnedEquals() const { return m_http_error_code_returned_equals; }
    std::string GetKeyPrefixEquals() const { return m_key_prefix_equals; }

private:
    int m_http_error_code_returned_equals = 404;
    std::string m_key_prefix_equals;
};

// Where a website routing rule sends the request.
class Redirect : public SetMask {
public:
    static constexpr uint64_t kProtocol = 0x1;
    static constexpr uint64_t kReplaceKeyWith = 0x2;
    static constexpr uint64_t kReplaceKeyPrefixWith = 0x4;

    virtual ~Redirect() = default;

    void SetProtocol(std::string protocol) { Store(m_protocol, std::move(protocol), kProtocol); }
    void SetReplaceKeyWith(std::string key) {
        Store(m_replace_key_with, std::move(key), kReplaceKeyWith);
    }
    void SetReplaceKeyPrefixWith(std::string prefix) {
        Store(m_replace_key_prefix_with, std::move(prefix), kReplaceKeyPrefixWith);
    }
    std::string GetProtocol() const { return m_protocol; }
    std::string GetReplaceKeyWith() const { return m_replace_key_with; }
    std::string GetReplaceKeyPrefixWith() const { return m_replace_key_prefix_with; }

private:
    std::string m_protocol;
    std::string m_replace_key_with;
    std::string m_replace_key_prefix_with;
};

class RoutingRule : public SetMask {
public:
    static constexpr uint64_t kCondition = 0x1;
    static constexpr uint64_t kRedirect = 0x2;

    virtual ~RoutingRule() = default;

    void SetCondition(const Condition& condition) { Store(m_condition, condition, kCondition); }
    void SetRedirect(const Redirect& redirect) { Store(m_redirect, redirect, kRedirect); }
    const Condition& GetCondition() const { return m_condition; }
    const Redirect& GetRedirect() const { return m_redirect; }

private:
    Condition m_condition;
    Redirect m_redirect;
};

}  // namespace zuzezi_zid
