#include "ZipFacadeReader.h"

namespace zipfacade {

ZipReader::ZipReader(const std::string& path) : path_(path) {
    // minizip is given only archives that every reader takes the same way.
    CentralDirectory cd = ReadCentralDirectory(path);
    fault_ = std::move(cd.fault);
    if (!fault_.empty()) return;
    central_ = std::move(cd.entries);
    zip_ = unzOpen64(path.c_str());
}

ZipReader::~ZipReader() { Close(); }

void ZipReader::Close() {
    stream_.reset();
    if (zip_) unzClose(zip_);
    zip_ = nullptr;
}

int ZipReader::GetGlobalInfo(unz_global_info64* info) { return unzGetGlobalInfo64(zip_, info); }

int ZipReader::GoToFirstFile() {
    stream_.reset();
    current_ = 0;
    return unzGoToFirstFile(zip_);
}

int ZipReader::GoToNextFile() {
    stream_.reset();
    // minizip takes a classic count of 0xFFFF for "more than that" and steps past the last
    // header into the end record; the headers were counted exactly when the archive opened.
    if (current_ + 1 >= central_.size()) return UNZ_END_OF_LIST_OF_FILE;
    const int r = unzGoToNextFile(zip_);
    if (r == UNZ_OK) ++current_;
    return r;
}

const CentralEntry* ZipReader::DirectEntry() {
    unz64_file_pos pos = {};
    if (unzGetFilePos64(zip_, &pos) != UNZ_OK || pos.num_of_file >= central_.size()) return nullptr;
    const CentralEntry& entry = central_[pos.num_of_file];
    // Both walks must have reached the same header, or our values belong to another entry.
    return entry.zip64Only && entry.directoryAt == pos.pos_in_zip_directory ? &entry : nullptr;
}

int ZipReader::GetCurrentFileInfo(unz_file_info64* info, char* name, uLong nameSize) {
    const int r = unzGetCurrentFileInfo64(zip_, info, name, nameSize, nullptr, 0, nullptr, 0);
    if (r != UNZ_OK) return r;
    if (const CentralEntry* entry = DirectEntry()) {
        info->compressed_size = entry->compressedSize;
        info->uncompressed_size = entry->uncompressedSize;
    }
    return r;
}

int ZipReader::OpenCurrentFile(const char* password) {
    stream_.reset();
    unz_file_info64 info = {};
    int r = GetCurrentFileInfo(&info);
    if (r != UNZ_OK) return r;
    const CentralEntry* entry = DirectEntry();
    if (!entry) {
        declared_ = info.uncompressed_size;
        read_ = 0;
        return password ? unzOpenCurrentFilePassword(zip_, password) : unzOpenCurrentFile(zip_);
    }
    stream_ = std::make_unique<EntryStream>();
    r = stream_->Open(path_, entry->localHeaderAt, info);
    if (r != UNZ_OK) stream_.reset();
    return r;
}

int ZipReader::ReadCurrentFile(void* buffer, unsigned size) {
    if (stream_) return stream_->Read(buffer, size);
    const int n = unzReadCurrentFile(zip_, buffer, size);
    if (n > 0) read_ += static_cast<uint64_t>(n);
    // minizip ends an entry where its data ends, short of the declared size or not, and
    // then leaves the CRC unchecked: a file cut short would pass for whole.
    if (n == 0 && size > 0 && read_ < declared_) return UNZ_BADZIPFILE;
    return n;
}

int ZipReader::CloseCurrentFile() {
    if (!stream_) return unzCloseCurrentFile(zip_);
    const int r = stream_->Close();
    stream_.reset();
    return r;
}

}  // namespace zipfacade
