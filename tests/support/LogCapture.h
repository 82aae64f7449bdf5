// Collects the client's log lines (every level) while it lives, and puts the log level, the
// sink and the callback back afterwards. Lines go to the capture only, not to standard output.
#pragma once

#include <initializer_list>
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
        Lines() = &m_lines;
        zuzezi_zid::ClientSettings::SetLogCallback(&Collect);
        zuzezi_zid::ClientSettings::SetLogLevel(4);
        zuzezi_zid::ClientSettings::SetLogOutType(0);
    }
    ~LogCapture() {
        zuzezi_zid::ClientSettings::SetLogCallback(m_saved_cb);
        zuzezi_zid::ClientSettings::SetLogLevel(m_saved_level);
        zuzezi_zid::ClientSettings::SetLogOutType(m_saved_out);
        Lines() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    bool Contains(const std::string& text) const {
        for (const auto& line : m_lines) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }
    // Lines holding every one of the pieces.
    size_t Count(std::initializer_list<std::string> pieces) const {
        size_t n = 0;
        for (const auto& line : m_lines) {
            bool all = true;
            for (const auto& piece : pieces) all = all && line.find(piece) != std::string::npos;
            n += all ? 1 : 0;
        }
        return n;
    }
    const std::vector<std::string>& All() const { return m_lines; }
    void Clear() { m_lines.clear(); }

private:
    static std::vector<std::string>*& Lines() {
        static std::vector<std::string>* lines = nullptr;
        return lines;
    }
    static void Collect(const std::string& line) {
        if (Lines()) Lines()->push_back(line);
    }

    std::vector<std::string> m_lines;
    zuzezi_zid::LogCallback m_saved_cb;
    int m_saved_level;
    int m_saved_out;
};

}  // namespace zid_test
