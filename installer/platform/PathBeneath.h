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
// not one.
bool ResolveBeneath(const std::string& root, const std::string& rel, bool make_folders, std::string* resolved,
                    ErrorRecord* error = nullptr);

// open(2) of `rel` below `root`, resolved as above; missing folders are made when `flags`
// holds O_CREAT. With O_NOFOLLOW a link as the last item is refused instead of followed.
// -1, with errno and `error` set, on failure.
int OpenBeneath(const std::string& root, const std::string& rel, int flags, mode_t mode,
                ErrorRecord* error = nullptr);

}  // namespace zplat
