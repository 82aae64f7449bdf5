// Collects the client's log lines (every level) while it lives, and puts the log level, the
// sink and the callback back afterwards. Lines go to the capture only, not to standard output.
// Workers log from their own threads, so the lines are kept under a lock.
#pragma once

#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "ClientSettings.h"

namespace zid_test {

class LogCapture {
public:
    LogCapture()
        : m_saved_cb(zuzezi_zid::ClientSettings::GetLogCallback()),
          m_saved_level(zuzezi_zid::ClientSettings::GetLogLevel()),
          m_saved_out(zuzezi_zid::ClientSettings::GetLogOutType()) {
        {
            std::lock_guard<std::mutex> lock(Mutex());
            Lines() = &m_lines;
        }
        zuzezi_zid::ClientSettings::SetLogCallback(&Collect);
        zuzezi_zid::ClientSettings::SetLogLevel(4);
        zuzezi_zid::ClientSettings::SetLogOutType(0);
    }
    ~LogCapture() {
        zuzezi_zid::ClientSettings::SetLogCallback(m_saved_cb);
        zuzezi_zid::ClientSettings::SetLogLevel(m_saved_level);
        zuzezi_zid::ClientSettings::SetLogOutType(m_saved_out);
        std::lock_guard<std::mutex> lock(Mutex());
        Lines() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    bool Contains(const std::string& text) const {
        for (const auto& line : All()) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }
    // Lines holding every one of the pieces.
    size_t Count(std::initializer_list<std::string> pieces) const {
        size_t n = 0;
        for (const auto& line : All()) {
            bool all = true;
            for (const auto& piece : pieces) all = all && line.find(piece) != std::string::npos;
            n += all ? 1 : 0;
        }
        return n;
    }
    std::vector<std::string> All() const {
        std::lock_guard<std::mutex> lock(Mutex());
        return m_lines;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(Mutex());
        m_lines.clear();
    }

private:
    static std::vector<std::string>*& Lines() {
        static std::vector<std::string>* lines = nullptr;
        return lines;
    }
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    static void Collect(const std::string& line) {
        std::lock_guard<std::mutex> lock(Mutex());
        if (Lines()) Lines()->push_back(line);
    }

    std::vector<std::string> m_lines;
    zuzezi_zid::LogCallback m_saved_cb;
    int m_saved_level;
    int m_saved_out;
};

}  // namespace zid_test
