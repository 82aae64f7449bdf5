// Environment variables set for one test and put back afterwards (TZ changes re-read the
// time zone both ways).
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zid_test {

class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const char* name, const std::string& value) { Set(name, value); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void Set(const char* name, const std::string& value) {
        Remember(name);
        setenv(name, value.c_str(), 1);
        if (std::string(name) == "TZ") tzset();
    }
    void Unset(const char* name) {
        Remember(name);
        unsetenv(name);
        if (std::string(name) == "TZ") tzset();
    }

    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) setenv(it->first.c_str(), it->second->c_str(), 1);
            else unsetenv(it->first.c_str());
            if (it->first == "TZ") tzset();
        }
    }

private:
    void Remember(const char* name) {
        const char* old = getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace zid_test
