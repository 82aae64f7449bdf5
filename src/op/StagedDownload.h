#pragma once

#include <sys/types.h>

#include <string>

namespace zuzezi_zid {

// Where a download writes its bytes. A regular file (or a name not yet taken) is written
// to a file of its own in the same folder, which takes the destination's place only when
// the download succeeded, so a failure leaves an existing file as it was; a destination
// that is a device or a pipe is written in place, never replaced. A link is kept: the file
// it points to is the one replaced, or created when it does not exist. A new file gets
// 0666 less the umask; a replaced one keeps its mode.
//
// Where the system can, that file has no name until it takes the destination's, so a
// process killed mid-download leaves nothing behind. Elsewhere, and for the moment between
// naming it and putting it over an existing file, it is named NAME.zidtmp.<tag> (NAME
// shortened where the whole would be too long). The writer holds a lock on it for its
// whole life, and the tag carries a check of NAME, so opening a download to NAME removes
// exactly those such files that no live writer holds, from any process or machine.
class StagedDownload {
public:
    // `unnamed` false stages under a name even where the system offers a file without one.
    explicit StagedDownload(const std::string& destination, bool unnamed = true);
    ~StagedDownload();
    StagedDownload(const StagedDownload&) = delete;
    StagedDownload& operator=(const StagedDownload&) = delete;

    // A descriptor open for writing, or -1 with errno set (and Why() saying why, where the
    // errno alone would not). The caller closes it; the file stays until Commit or the end of
    // this object. A destination that could be written but never replaced fails here, before
    // any byte is fetched; a writable file in a folder that takes no new file is written in
    // place.
    int Open();
    const std::string& Why() const { return m_why; }
    // A name the bytes can be reopened under until Commit.
    const std::string& WritePath() const { return m_staged ? m_write_path : m_destination; }
    // True when the bytes go to a file of their own (so its size must be the object's).
    bool IsStaged() const { return m_staged; }
    // Puts the written file in the destination's place; false with errno set.
    bool Commit();

private:
    bool CanBeReplaced();
    int OpenUnnamed();
    int OpenNamed();
    int OpenInPlace(int flags);
    std::string NewTempName() const;
    bool LinkUnnamed();
    void RemoveLeftovers() const;

    std::string m_destination;
    std::string m_temp;        // the staged file's name, when it has one
    std::string m_write_path;
    std::string m_why;
    // Holds the staged file's lock for its whole life, and keeps a file without a name alive
    // until it is linked.
    int m_keep_fd = -1;
    bool m_nameless = false;
    bool m_unnamed = true;
    bool m_staged = true;
    bool m_committed = false;
    bool m_keep_mode = false;
    mode_t m_mode = 0;
    uid_t m_owner = 0;
};

}  // namespace zuzezi_zid
