#pragma once

// The local file an upload sends, internal to the library.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zuzezi_zid {

// A single upload from a file no larger than this is read into memory once.
constexpr size_t kWholeUploadLimit = 64 * 1024;

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
    enum class WholeRead { kWhole, kTooLarge, kRefused };
    struct Bytes {
        std::unique_ptr<char[]> data;
        size_t size = 0;
    };
    // Reads a regular file of at most `limit` bytes whole into *bytes. kTooLarge leaves the
    // file to be streamed; kRefused sets *why as Open() would, or when a read fails.
    static WholeRead ReadWhole(const std::string& path, size_t limit, Bytes* bytes,
                               std::string* why);
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
