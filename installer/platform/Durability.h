// Flushing what was written to the disk, so that a rename made afterwards cannot reach the
// disk before the data it publishes (a power cut would leave empty files behind it).
#pragma once

#include <functional>
#include <string>

#include "ErrorRecord.h"

namespace zplat {

// Flushes one file or folder (not followed if a link). False, with the reason in `err`,
// when it cannot be opened or flushed.
bool SyncItem(const std::string& path, ErrorRecord* err = nullptr);
// Flushes every file and folder of the tree at `root`, each folder after what it holds and
// `root` last; links are not opened (their folder's flush carries them). Stops at the
// first failure.
bool SyncTree(const std::string& root, ErrorRecord* err = nullptr);

// Takes the place of fsync(2) for every flush of the process: called with the item's path
// and an open descriptor of it, it answers 0 or an errno value. An empty hook restores
// fsync. Set it only while no flush runs.
using SyncHook = std::function<int(const std::string& path, int fd)>;
void SetSyncHook(SyncHook hook);

}  // namespace zplat
