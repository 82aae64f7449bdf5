// Process-wide notification centre: observers by name, posting on the caller's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace zplat {

struct Notification {
    std::string name;
    std::map<std::string, int64_t> userInfo;  // numbers only: all this program posts
};

class NotificationCenter {
public:
    using Observer = std::function<void(const Notification&)>;

    static NotificationCenter& Default();

    // An empty name observes every notification. Returns a token for RemoveObserver.
    int AddObserver(const std::string& name, Observer observer);
    void RemoveObserver(int token);
    // Calls the matching observers synchronously, in the order they were added.
    void Post(const Notification& note);

private:
    struct Entry {
        int token;
        std::string name;
        Observer observer;
    };
    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    int m_next = 1;
};

}  // namespace zplat
