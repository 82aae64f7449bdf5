#pragma once

#include <sys/types.h>

#include <string>

namespace zuzezi_zid {

// Where a download writes its bytes. A regular file (or a name not yet taken) is written
// to a file of its own in the same folder, which takes the destination's place only when
// the download succeeded, so a failure leaves an existing file as it was; a destination
// that is a device or a pipe is written in place, never replaced. A link keeps pointing
// where it did: the file it names is the one replaced.
//
// Where the system can, that file has no name until it takes the destination's, so a
// process killed mid-download leaves nothing behind. Elsewhere it is named
// NAME.zidtmp.<pid>.<n>, and opening a download to NAME removes such files of processes
// that no longer run.
class StagedDownload {
public:
    explicit StagedDownload(const std::string& destination);
    ~StagedDownload();
    StagedDownload(const StagedDownload&) = delete;
    StagedDownload& operator=(const StagedDownload&) = delete;

    // A descriptor open for writing, or -1 with errno set. The caller closes it; the file
    // stays until Commit or the end of this object.
    int Open();
    // A name the bytes can be reopened under until Commit.
    const std::string& WritePath() const { return m_staged ? m_write_path : m_destination; }
    // True when the bytes go to a file of their own (so its size must be the object's).
    bool IsStaged() const { return m_staged; }
    // Puts the written file in the destination's place; false with errno set.
    bool Commit();

private:
    int OpenUnnamed();
    int OpenNamed();
    std::string NewTempName() const;
    bool LinkUnnamed();
    void RemoveLeftovers() const;

    std::string m_destination;
    std::string m_temp;        // the staged file's name, when it has one
    std::string m_write_path;
    int m_unnamed_fd = -1;     // keeps a file without a name alive until it is linked
    bool m_staged = true;
    bool m_committed = false;
    bool m_keep_mode = false;
    mode_t m_mode = 0;
};

}  // namespace zuzezi_zid
