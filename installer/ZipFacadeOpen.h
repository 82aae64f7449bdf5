// Opening an archive for reading. This minizip reads the zip64 fields of central headers
// only when it compares them with an all-ones unsigned long, which on 64-bit systems they
// never are: an entry whose central header leaves its sizes or offset to those fields (as
// streaming writers do, also for entries under 4 GiB) is read past its end. The archive is
// read through a layer that shows such values, where they fit, in the classic fields;
// sizes and offsets of 4 GiB and more stay out of this minizip's reach.
#pragma once

#include <unzip.h>

#include <string>

namespace zipfacade {

// unzOpen64 of `path`, through the layer when the central directory needs it; none when
// minizip cannot open the archive.
unzFile OpenForReading(const std::string& path);

}  // namespace zipfacade
