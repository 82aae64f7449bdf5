// Paths below a folder that an archive may have filled with links. Every link on the way
// is read and followed here, one folder descriptor at a time, never by the kernel: a link
// (or a chain of them) that leads above the folder is refused, and a folder swapped for a
// link while we walk is never entered.
#pragma once

#include <string>
#include <sys/types.h>

#include "ErrorRecord.h"

namespace zplat {

// The physical path of `rel` below `root`: every link on the way, the last item's too,
// followed without leaving `root`. Missing folders are made (mode 0755) when
// `make_folders`; the last item need not exist. False, with the reason in `error`, when
// the path leads above `root` (EXDEV), links loop (ELOOP) or a folder is missing or is
// not one, or EINVAL when a name holds a NUL byte.
bool ResolveBeneath(const std::string& root, const std::string& rel, bool make_folders, std::string* resolved,
                    ErrorRecord* error = nullptr);

// The folder that holds the last item of `rel`, walked to as above but with the last item
// itself not followed, opened (O_DIRECTORY). `last` gets that item's name, empty when `rel`
// ends at a folder ("." or `root` itself); `resolved`, when given, the folder's physical
// path. For *at calls that must act on what the walk found, not on a path looked up
// again. -1, with errno and `error` set, on failure.
int OpenParentBeneath(const std::string& root, const std::string& rel, bool make_folders, std::string* last,
                      std::string* resolved = nullptr, ErrorRecord* error = nullptr);

// open(2) of `rel` below `root`, resolved as above; missing folders are made when `flags`
// holds O_CREAT. With O_NOFOLLOW a link as the last item is refused instead of followed.
// -1, with errno and `error` set, on failure.
int OpenBeneath(const std::string& root, const std::string& rel, int flags, mode_t mode,
                ErrorRecord* error = nullptr);

}  // namespace zplat
