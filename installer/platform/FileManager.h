// File manager over std::filesystem and POSIX. Paths are UTF-8 byte strings. Nothing here
// follows a symbolic link unless it says so.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

#include "ErrorRecord.h"

namespace zplat {

enum class ItemType { None, File, Directory, Symlink, Other };

// lstat: a link is reported as Symlink, not as what it points to.
ItemType ItemTypeAt(const std::string& path);
bool ItemExists(const std::string& path);          // without following links
bool FileExistsFollowing(const std::string& path); // like access(F_OK)
bool IsDirectory(const std::string& path);         // a real folder, not a link to one
int64_t FileSize(const std::string& path);         // -1 when it cannot be read

// Deep listing relative to `folder`, a folder before its contents, entries of one folder
// sorted by name; links are listed but not entered. Empty when the folder is unreadable.
std::vector<std::string> Subpaths(const std::string& folder);
// Every item below `folder` with its lstat, taken before the item is read (listing a
// folder may change its access time); each folder comes before what it holds. Walked by
// descriptors, so `rel` may be longer than a path the system takes. False, with the
// reason, when any item could not be read: the listing is then incomplete.
struct TreeItem {
    std::string rel;
    struct stat st;
};
bool ListTree(const std::string& folder, std::vector<TreeItem>* out, ErrorRecord* err = nullptr);
// The names directly inside `folder`, sorted.
std::vector<std::string> DirectoryEntries(const std::string& folder);

// Creates `path` (and, with `intermediates`, its missing parents) with mode 0755.
// An existing folder is success. On failure fills `err` when given.
bool CreateDirectory(const std::string& path, bool intermediates, ErrorRecord* err = nullptr);
// Removes a file, a link (not its target) or a whole tree. A missing item is a failure.
bool RemoveItem(const std::string& path, ErrorRecord* err = nullptr);
// Copies one item: a regular file with its permission bits (set-id bits dropped) and its
// access and modification times, a link as a link with its own times, a folder as a new
// empty folder (its times are the caller's, once the folder is filled). The destination
// must not exist.
bool CopyItem(const std::string& from, const std::string& to, ErrorRecord* err = nullptr);
// The same for the item `from` of the open folder `from_dir`, whose lstat is `st`, into
// `to` of the open folder `to_dir` (either may be AT_FDCWD).
bool CopyItemAt(int from_dir, const std::string& from, const struct stat& st, int to_dir, const std::string& to,
                ErrorRecord* err = nullptr);
// rename(2); replaces an existing file or empty folder at `to`.
bool MoveItem(const std::string& from, const std::string& to, ErrorRecord* err = nullptr);
// Swaps the two items' names in one step: at no moment is either name missing. Fails with
// EINVAL, ENOSYS or ENOTSUP (IsExchangeUnsupported) where the system or the filesystem
// does not offer it.
bool ExchangeItems(const std::string& a, const std::string& b, ErrorRecord* err = nullptr);
bool IsExchangeUnsupported(const ErrorRecord& err);
// Called before every MoveItem and ExchangeItems of the process with their two paths: 0
// lets the call go on, an errno value fails it with that error, untouched. An empty hook
// removes it. Set it only while no move runs.
using MoveHook = std::function<int(const std::string& from, const std::string& to, bool exchange)>;
void SetMoveHook(MoveHook hook);

// Modification (and access) time, without following a link at `path`.
bool SetModificationDate(const std::string& path, time_t when, ErrorRecord* err = nullptr);
bool GetModificationDate(const std::string& path, time_t* when);
// Gives `path` (not followed if a link) the access and modification times of `st`; a link
// the system cannot date keeps its own.
bool SetDates(const std::string& path, const struct stat& st, ErrorRecord* err = nullptr);
bool SetDatesAt(int dir, const std::string& name, const struct stat& st, ErrorRecord* err = nullptr);
// chmod of the item itself; refuses links (Linux cannot change a link's mode).
bool SetPosixPermissions(const std::string& path, mode_t mode, ErrorRecord* err = nullptr);
// Full st_mode from lstat (type bits included); -1 when it cannot be read.
long PosixMode(const std::string& path);

// Reads a link's target; false when `path` is not a link.
bool ReadLink(const std::string& path, std::string* target);
bool ReadLinkAt(int dir, const std::string& name, std::string* target);

// Last path component and the rest, by '/' only (no normalisation).
std::string LastPathComponent(const std::string& path);
std::string DeletingLastPathComponent(const std::string& path);
// a + "/" + b with exactly one slash between them.
std::string AppendPathComponent(const std::string& a, const std::string& b);

}  // namespace zplat
