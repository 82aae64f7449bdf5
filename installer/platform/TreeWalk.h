// Walking a folder tree by descriptors: every item is reached relative to its own open
// folder, so a tree may be deeper than any path the system takes. Links are met, never
// followed or entered.
#pragma once

#include <string>
#include <sys/stat.h>
#include <vector>

#include "ErrorRecord.h"

namespace zplat {

// One item of the walk. `rel` is its path below the root, for messages and callers' own
// bookkeeping only: it may be too long to hand to the system.
struct WalkItem {
    int dir_fd = -1;  // the folder that holds it (AT_FDCWD for the root)
    std::string name;  // its name in that folder (the root's path for the root)
    std::string rel;   // "" for the root
    struct stat st;    // its lstat, taken before it is opened or listed
    int fd = -1;       // a folder, opened; -1 for anything else
};

enum class Walk { Next, Enter, Stop };

class TreeVisitor {
public:
    virtual ~TreeVisitor() = default;
    // Every item below the root, a folder before what it holds; a folder is walked into
    // when this answers Enter.
    virtual Walk Item(const WalkItem& item) = 0;
    // A folder walked into, the root last, once every item in it was met.
    virtual Walk Leave(const WalkItem& folder) { return Walk::Next; }
    // An item that could not be looked at, opened or listed ("" for the root); the walk
    // goes on.
    virtual void Unreadable(const std::string& rel, const ErrorRecord& err) {}
};

// Walks the tree at `root` (a folder, not a link to one); entries of one folder in name
// order, or in reverse with `reverse`. False, with the first reason in `err`, when any
// item could not be read or the visitor stopped the walk.
bool WalkTree(const std::string& root, TreeVisitor& visitor, bool reverse = false, ErrorRecord* err = nullptr);

// The names in the open folder `fd`, sorted, without "." and ".."; `fd` stays open.
bool ReadFolderNames(int fd, std::vector<std::string>* names);

}  // namespace zplat
