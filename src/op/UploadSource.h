#pragma once

// The local file an upload sends, internal to the library.

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace zuzezi_zid {

// Held open from before anything is sent until the upload is joined, so that the object made
// is known to be the file as it stood: one whose size, times or identity moved meanwhile may
// have been read half before and half after a change.
class UploadSource {
public:
    UploadSource() = default;
    ~UploadSource();
    UploadSource(const UploadSource&) = delete;
    UploadSource& operator=(const UploadSource&) = delete;

    // False, with the message in *why, when the path cannot be opened or is no regular file:
    // a FIFO or a device has no length to send before it is read, and may never end.
    bool Open(const std::string& path, std::string* why);
    // The same refusal for a caller that reads the file on its own, at the cost of one stat.
    static bool IsRegularFile(const std::string& path, std::string* why);
    // Waits, when the file changed in the clock's current tick, until a later change would
    // give it other times; what Changed() compares with is taken then.
    void SettleTimes();
    int Fd() const { return m_fd; }
    uint64_t Size() const { return static_cast<uint64_t>(m_stat.st_size); }
    // Whether the file held open, or the one the path names now, differs from when it was opened.
    bool Changed() const;
    std::string ChangedMessage() const;

private:
    int m_fd = -1;
    std::string m_path;
    struct stat m_stat {};
};

}  // namespace zuzezi_zid
