#include "NotificationCenter.h"

namespace zplat {

NotificationCenter& NotificationCenter::Default() {
    static NotificationCenter* center = new NotificationCenter;
    return *center;
}

int NotificationCenter::AddObserver(const std::string& name, Observer observer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    int token = m_next++;
    m_entries.push_back({token, name, std::move(observer)});
    return token;
}

void NotificationCenter::RemoveObserver(int token) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->token == token) {
            m_entries.erase(it);
            return;
        }
    }
}

void NotificationCenter::Post(const Notification& note) {
    std::vector<Observer> targets;
    {
        // Observers run unlocked so that they may post or subscribe themselves.
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& e : m_entries) {
            if (e.name.empty() || e.name == note.name) targets.push_back(e.observer);
        }
    }
    for (auto& o : targets) o(note);
}

}  // namespace zplat
