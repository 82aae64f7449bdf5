// Copying a folder tree into another, by descriptors on both sides.
#pragma once

#include <string>

namespace zplat {

// Copies the tree below the folder `src` into the existing folder `dst`: files replace
// what is there, links stay links, permission bits and dates travel (links their own,
// folders once filled, `dst` those of `src`, keeping its own mode); items only in `dst`
// stay. Every item is tried and each failure logged; false when any item was not copied.
bool CopyTreeInto(const std::string& src, const std::string& dst);

// Removes the item `name` of the open folder `dir`, a whole tree if it is a folder.
bool RemoveItemAt(int dir, const std::string& name);

}  // namespace zplat
