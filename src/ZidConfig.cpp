#include "ZidConfig.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <limits>

#include <Poco/Exception.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>

#include "util/LogUtil.h"
#include "util/RequestHead.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

namespace {

using Poco::JSON::Object;

bool ReadString(const Object::Ptr& obj, const std::string& key, std::string* out) {
    if (!obj->has(key)) {
        return false;
    }
    const Poco::Dynamic::Var v = obj->get(key);
    if (!v.isString()) {
        std::cerr << "failed to parse config file, " << key << " should be interger" << std::endl;
        return false;
    }
    out->clear();
    *out = v.extract<std::string>();
    return true;
}

bool ReadUint(const Object::Ptr& obj, const std::string& key, uint64_t* out) {
    if (!obj->has(key)) {
        return false;
    }
    const Poco::Dynamic::Var v = obj->get(key);
    // A negative number is treated like a value of the wrong type.
    bool ok = v.isInteger() && !v.isBoolean();
    if (ok) {
        try {
            if (v.isSigned()) {
                const int64_t n = v.convert<int64_t>();
                ok = n >= 0;
                if (ok) {
                    *out = static_cast<uint64_t>(n);
                }
            } else {
                *out = v.convert<uint64_t>();
            }
        } catch (const Poco::Exception&) {
            ok = false;
        }
    }
    if (!ok) {
        std::cerr << "failed to parse config file, " << key << " should be unsigned interger"
                  << std::endl;
    }
    return ok;
}

bool ReadBool(const Object::Ptr& obj, const std::string& key, bool* out) {
    if (!obj->has(key)) {
        return false;
    }
    const Poco::Dynamic::Var v = obj->get(key);
    if (!v.isBoolean()) {
        std::cerr << "failed to parse config file, " << key << " should be boolean" << std::endl;
        return false;
    }
    *out = v.extract<bool>();
    return true;
}

// A configuration is a few hundred bytes; a path to an endless device must not fill the memory.
const size_t kMaxConfigSize = 4u << 20;

enum class ReadOutcome { kRead, kNotOpened, kFailed };

// The whole file, or the reason it cannot be read (a folder opens but does not read).
ReadOutcome ReadConfigText(const std::string& path, std::string* text, std::string* reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return ReadOutcome::kNotOpened;
    }
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *reason = std::strerror(errno);
            break;
        }
        if (n == 0) {
            break;
        }
        text->append(buffer, static_cast<size_t>(n));
        if (text->size() > kMaxConfigSize) {
            *reason = "larger than " + std::to_string(kMaxConfigSize) + " bytes";
            break;
        }
    }
    ::close(fd);
    return reason->empty() ? ReadOutcome::kRead : ReadOutcome::kFailed;
}

// Said when such credentials are taken; the requests that would carry them are refused later.
void LogCredentialFault(const char* where, const std::string& access_key,
                        const std::string& security_token) {
    const std::string fault = CredentialFault(access_key, security_token);
    if (!fault.empty()) {
        ZID_LOG_ERR("%s: %s", where, fault.c_str());
    }
}

}  // namespace

ZidConfig::ZidConfig(uint64_t app_id, const std::string& access_key, const std::string& secret_key,
                     const std::string& region)
    : m_app_id(app_id), m_access_key(access_key), m_secret_key(secret_key), m_region(region) {
    LogCredentialFault("ZidConfig", m_access_key, m_security_token);
}

ZidConfig::ZidConfig(const std::string& config_file) {
    if (LoadFromFile(config_file)) {
        m_loaded_from_file = true;
    }
}

ZidConfig::ZidConfig(const ZidConfig& other)
    : m_app_id(other.m_app_id),
      m_access_key(other.m_access_key),
      m_secret_key(other.m_secret_key),
      m_region(other.m_region),
      m_security_token(other.m_security_token),
      m_set_intranet_once(other.m_set_intranet_once),
      m_is_use_intranet(other.m_is_use_intranet),
      m_intranet_addr(other.m_intranet_addr),
      m_dest_domain(other.m_dest_domain),
      m_is_domain_same_to_host(other.m_is_domain_same_to_host),
      m_is_domain_same_to_host_set(other.m_is_domain_same_to_host_set),
      m_loaded_from_file(other.m_loaded_from_file) {}

bool ZidConfig::LoadFromFile(const std::string& config_file) {
    // Whatever a dependency throws is a failed load, never the end of the program.
    try {
        return LoadUnguarded(config_file);
    } catch (const std::exception& e) {
        std::cerr << "failed to parse config file " << config_file << ", " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "failed to parse config file " << config_file << std::endl;
    }
    return false;
}

bool ZidConfig::LoadUnguarded(const std::string& config_file) {
    std::string text;
    std::string reason;
    const ReadOutcome read = ReadConfigText(config_file, &text, &reason);
    if (read == ReadOutcome::kNotOpened) {
        std::cerr << "failed to open config file " << config_file << std::endl;
        return false;
    }
    if (read == ReadOutcome::kFailed) {
        std::cerr << "failed to read config file " << config_file << ", " << reason << std::endl;
        return false;
    }
    Poco::Dynamic::Var root;
    try {
        Poco::JSON::Parser parser;
        root = parser.parse(text);
    } catch (const Poco::Exception& e) {
        std::cerr << "failed to parse config file, " << e.displayText() << std::endl;
        return false;
    }
    if (root.type() != typeid(Object::Ptr)) {
        std::cerr << "failed to parse config file " << config_file << std::endl;
        return false;
    }
    const Object::Ptr obj = root.extract<Object::Ptr>();

    uint64_t n = 0;
    bool b = false;
    std::string s;
    if (ReadUint(obj, "AppID", &n)) {
        m_app_id = n;
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ReadString(obj, "AccessKey", &m_access_key);
        ReadString(obj, "SecretId", &m_access_key);
        ReadString(obj, "SecretKey", &m_secret_key);
        if (m_access_key.empty() || m_secret_key.empty()) {
            std::cerr << "warnning, access_key or serete_key not exists" << std::endl;
        }
        StringUtil::TrimSpaces(m_access_key);
        StringUtil::TrimSpaces(m_secret_key);
        LogCredentialFault("LoadFromFile", m_access_key, m_security_token);
    }
    if (ReadString(obj, "Region", &m_region)) {
        StringUtil::TrimSpaces(m_region);
    }
    if (ReadUint(obj, "SignExpiredTime", &n))
        ClientSettings::SetSignExpiredTime(n);
    if (ReadUint(obj, "ConnectTimeoutInms", &n))
        ClientSettings::SetConnTimeoutInms(n);
    if (ReadUint(obj, "ReceiveTimeoutInms", &n))
        ClientSettings::SetRecvTimeoutInms(n);
    if (ReadUint(obj, "UploadPartSize", &n))
        ClientSettings::SetUploadPartSize(n);
    if (ReadUint(obj, "UploadThreadPoolSize", &n)) {
        ClientSettings::SetUploadThreadPoolSize(static_cast<uint32_t>(n));
    }
    if (ReadUint(obj, "AsynThreadPoolSize", &n)) {
        ClientSettings::SetAsynThreadPoolSize(static_cast<uint32_t>(n));
    }
    if (ReadUint(obj, "LogoutType", &n)) {
        ClientSettings::SetLogOutType(static_cast<int>(static_cast<uint32_t>(n)));
    }
    if (ReadUint(obj, "LogLevel", &n)) {
        ClientSettings::SetLogLevel(static_cast<int>(static_cast<uint32_t>(n)));
    }
    if (ReadUint(obj, "DownloadThreadPoolSize", &n)) {
        ClientSettings::SetDownThreadPoolSize(static_cast<uint32_t>(n));
    }
    if (ReadUint(obj, "DownloadSliceSize", &n)) {
        ClientSettings::SetDownSliceSize(static_cast<uint32_t>(n));
    }
    if (ReadBool(obj, "IsCheckMd5", &b))
        ClientSettings::SetIsCheckMd5(b);
    if (ReadString(obj, "DestDomain", &s)) {
        ClientSettings::SetDestDomain(s);
        m_dest_domain = s;
    }
    if (ReadBool(obj, "IsDomainSameToHost", &b))
        ClientSettings::SetIsDomainSameToHost(b);
    if (ReadBool(obj, "IsUseIntranet", &b)) {
        ClientSettings::SetIsUseIntranet(b);
        m_is_use_intranet = b;
        m_set_intranet_once = true;
    }
    if (ReadString(obj, "IntranetAddr", &s)) {
        ClientSettings::SetIntranetAddr(s);
        m_intranet_addr = s;
        m_set_intranet_once = true;
    }
    ClientSettings::PrintSettings();
    return true;
}

std::string ZidConfig::GetAccessKey() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_access_key;
}

std::string ZidConfig::GetSecretKey() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_secret_key;
}

std::string ZidConfig::GetSecurityToken() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_security_token;
}

ZidCredentials ZidConfig::GetCredentials() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return ZidCredentials{m_access_key, m_secret_key, m_security_token};
}

void ZidConfig::SetCredentials(const std::string& access_key, const std::string& secret_key,
                               const std::string& security_token) {
    LogCredentialFault("SetCredentials", access_key, security_token);
    std::lock_guard<std::mutex> lock(m_lock);
    m_access_key = access_key;
    m_secret_key = secret_key;
    m_security_token = security_token;
}

void ZidConfig::SetIsUseIntranet(bool is_use_intranet) {
    ClientSettings::SetIsUseIntranet(is_use_intranet);
    m_is_use_intranet = is_use_intranet;
    m_set_intranet_once = true;
}

void ZidConfig::SetIntranetAddr(const std::string& addr) {
    ClientSettings::SetIntranetAddr(addr);
    m_intranet_addr = addr;
    m_set_intranet_once = true;
}

void ZidConfig::SetDestDomain(const std::string& domain) {
    ClientSettings::SetDestDomain(domain);
    m_dest_domain = domain;
}

void ZidConfig::SetIsDomainSameToHost(bool is_domain_same_to_host) {
    m_is_domain_same_to_host = is_domain_same_to_host;
    m_is_domain_same_to_host_set = true;
}

void ZidConfig::SetLogCallback(LogCallback callback) { ClientSettings::SetLogCallback(callback); }

bool ZidConfig::CheckRegion() const {
    if (m_region.empty()) {
        return false;
    }
    if (!StringUtil::IsAsciiAlnum(m_region.front()) || !StringUtil::IsAsciiAlnum(m_region.back())) {
        return false;
    }
    for (size_t i = 1; i + 1 < m_region.size(); ++i) {
        const char c = m_region[i];
        if (!StringUtil::IsAsciiAlnum(c) && c != '.' && c != '-') {
            return false;
        }
    }
    return true;
}

}  // namespace zuzezi_zid
