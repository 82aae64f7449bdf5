// An archive opened for reading: minizip's walk of the central directory and its reading
// of entries, except for entries whose sizes or offset only zip64 fields give (which this
// minizip cannot see, see ZipFacadeCentral.h): those report their true sizes and are read
// by an EntryStream.
#pragma once

#include <unzip.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ZipFacadeCentral.h"
#include "ZipFacadeEntryStream.h"

namespace zipfacade {

class ZipReader {
public:
    explicit ZipReader(const std::string& path);
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // False when minizip cannot open the archive, or when it is refused (see Fault).
    bool IsOpen() const { return zip_ != nullptr; }
    // Why the archive was refused before minizip saw it, or empty.
    const std::string& Fault() const { return fault_; }

    // Closes the archive before the reader goes; nothing can be read after it.
    void Close();

    // Each returns what the minizip call of the same name does, except that the walk ends
    // after as many entries as the central directory holds and that data ending before its
    // declared size is a read error.
    int GetGlobalInfo(unz_global_info64* info);
    int GoToFirstFile();
    int GoToNextFile();
    // unzGetCurrentFileInfo64 with the entry's true sizes; `name` may be none.
    int GetCurrentFileInfo(unz_file_info64* info, char* name = nullptr, uLong nameSize = 0);
    // unzOpenCurrentFile, or unzOpenCurrentFilePassword when `password` is given.
    int OpenCurrentFile(const char* password = nullptr);
    int ReadCurrentFile(void* buffer, unsigned size);
    int CloseCurrentFile();

private:
    // The current entry's central record when it is read directly, else none.
    const CentralEntry* DirectEntry();

    std::string path_;
    unzFile zip_ = nullptr;
    std::vector<CentralEntry> central_;
    size_t current_ = 0;  // the entry minizip is at
    // The entry minizip reads: its declared size, and how much of it came so far.
    uint64_t declared_ = 0;
    uint64_t read_ = 0;
    std::string fault_;
    std::unique_ptr<EntryStream> stream_;
};

}  // namespace zipfacade
