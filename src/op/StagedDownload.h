#pragma once

#include <sys/types.h>

#include <string>

namespace zuzezi_zid {

// Where a download writes its bytes. A regular file (or a name not yet taken) is written
// under a temporary name in the same folder and renamed over the destination only when
// the download succeeded, so a failure leaves an existing file as it was; a destination
// that is a device or a pipe is written in place, never replaced. A link keeps pointing
// where it did: the file it names is the one replaced.
class StagedDownload {
public:
    explicit StagedDownload(const std::string& destination);
    ~StagedDownload();
    StagedDownload(const StagedDownload&) = delete;
    StagedDownload& operator=(const StagedDownload&) = delete;

    // A descriptor open for writing, or -1 with errno set.
    int Open();
    // The name the bytes go to until Commit.
    const std::string& WritePath() const { return m_staged ? m_temp : m_destination; }
    // True when the bytes go to a file of their own (so its size must be the object's).
    bool IsStaged() const { return m_staged; }
    // Puts the written file in the destination's place; false with errno set.
    bool Commit();

private:
    std::string m_destination;
    std::string m_temp;
    bool m_staged = true;
    bool m_committed = false;
    bool m_keep_mode = false;
    mode_t m_mode = 0;
};

}  // namespace zuzezi_zid
