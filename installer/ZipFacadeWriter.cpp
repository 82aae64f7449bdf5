// The writing half of the zip facade and the archive inspection methods.
#include <sys/stat.h>
#include <unistd.h>

#include <Poco/Base64Encoder.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <vector>

#include "ZipFacade.h"
#include "ZipFacadeReader.h"
#include "platform/DosDate.h"
#include "platform/FileManager.h"
#include "platform/Log.h"

using zplat::ErrorRecord;

namespace {
constexpr int kPasswordError = -108;  // what minizip-ng answers for a wrong password
constexpr size_t kWriteChunk = 16384;

ErrorRecord FacadeError(long code, const std::string& text) {
    return ErrorRecord{kZipFacadeErrorDomain, code, text};
}

bool RefusePassword(const std::string& password) {
    if (password.empty()) return false;
    zplat::LogLine("[ZipFacade] encrypted entries cannot be written by this build; nothing written");
    return true;
}
}  // namespace

ZipFacade::ZipFacade(const std::string& path) : _path(path) {}

ZipFacade::~ZipFacade() {
    if (_zip) zipClose(_zip, nullptr);
}

bool ZipFacade::Open() {
    _zip = zipOpen64(_path.c_str(), APPEND_STATUS_CREATE);
    return _zip != nullptr;
}

bool ZipFacade::OpenForAppending() {
    _zip = zipOpen64(_path.c_str(), APPEND_STATUS_ADDINZIP);
    return _zip != nullptr;
}

bool ZipFacade::Close() {
    if (!_zip) return false;
    int r = zipClose(_zip, nullptr);
    _zip = nullptr;
    return r == ZIP_OK;
}

bool ZipFacade::OpenEntry(const std::string& name, zip_fileinfo* info, int level, const std::string& password,
                          bool, unsigned long versionMadeBy, unsigned long flag, int zip64) {
    if (!_zip || RefusePassword(password)) return false;
    int r = zipOpenNewFileInZip4_64(_zip, name.c_str(), info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, level, 0,
                                    -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, versionMadeBy, flag, zip64);
    return r == ZIP_OK;
}

bool ZipFacade::WriteFile(const std::string& path, const std::string& password) {
    return WriteFileAtPath(path, "", password);
}

bool ZipFacade::WriteFileAtPath(const std::string& path, const std::string& fileName, const std::string& password) {
    return WriteFileAtPath(path, fileName, Z_DEFAULT_COMPRESSION, password, true);
}

bool ZipFacade::WriteFileAtPath(const std::string& path, const std::string& fileName, int compressionLevel,
                                const std::string& password, bool aes) {
    FILE* in = fopen(path.c_str(), "r");
    if (!in) return false;
    std::string name = fileName.empty() ? zplat::LastPathComponent(path) : fileName;
    zip_fileinfo info = {};
    ZipInfoSetAttributesOfItemAtPath(&info, path);
    std::vector<char> buf(kWriteChunk);
    if (!OpenEntry(name, &info, compressionLevel, password, aes, 0x1300, 0x800, 1)) {
        fclose(in);
        return false;
    }
    while (!feof(in) && !ferror(in)) {
        size_t n = fread(buf.data(), 1, buf.size(), in);
        if (n > 0) zipWriteInFileInZip(_zip, buf.data(), static_cast<unsigned>(n));
    }
    zipCloseFileInZip(_zip);
    fclose(in);
    return true;
}

bool ZipFacade::WriteData(const std::string& data, const std::string& fileName, const std::string& password) {
    return WriteData(data, fileName, Z_DEFAULT_COMPRESSION, password, true);
}

bool ZipFacade::WriteData(const std::string& data, const std::string& fileName, int compressionLevel,
                          const std::string& password, bool aes) {
    if (!_zip) return false;
    zip_fileinfo info = {};
    ZipInfoSetDate(&info, time(nullptr));
    if (!OpenEntry(fileName, &info, compressionLevel, password, aes, 0x1300, 0x800, 1)) return false;
    zipWriteInFileInZip(_zip, data.data(), static_cast<unsigned>(data.size()));
    zipCloseFileInZip(_zip);
    return true;
}

bool ZipFacade::WriteFolderAtPath(const std::string& path, const std::string& folderName,
                                  const std::string& password) {
    if (!_zip) return false;
    zip_fileinfo info = {};
    ZipInfoSetAttributesOfItemAtPath(&info, path);
    if (!OpenEntry(folderName + "/", &info, 0, password, false, 0x1300, 0x800, 1)) return false;
    zipCloseFileInZip(_zip);
    return true;
}

bool ZipFacade::WriteSymlinkFileAtPath(const std::string& path, const std::string& fileName, int compressionLevel,
                                       const std::string& password, bool aes) {
    std::string target;
    if (!zplat::ReadLink(path, &target) || target.size() > 1024) {
        zplat::LogLine("[ZipFacade] Failed to read sylink");
        return false;
    }
    std::string name = fileName.empty() ? zplat::LastPathComponent(path) : fileName;
    zip_fileinfo info = {};
    ZipInfoSetAttributesOfItemAtPath(&info, path);
    long mode = zplat::PosixMode(path);
    if (mode >= 0) {
        unsigned long dos = (mode & S_IWUSR) ? 0 : 0x01;  // read-only
        info.external_fa = (static_cast<unsigned long>(mode) << 16) | dos;
    }
    if (!OpenEntry(name, &info, compressionLevel, password, aes, 0x300, 0, 0)) return false;
    zipWriteInFileInZip(_zip, target.data(), static_cast<unsigned>(target.size()));
    zipCloseFileInZip(_zip);
    return true;
}

void ZipFacade::ZipInfoSetAttributesOfItemAtPath(zip_fileinfo* info, const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    ZipInfoSetDate(info, st.st_mtime);
    // Every item is marked a regular file, folders included.
    info->external_fa = static_cast<unsigned long>(static_cast<uint16_t>(0x8000 + (st.st_mode & 07777))) << 16;
}

void ZipFacade::ZipInfoSetDate(zip_fileinfo* info, time_t date) {
    info->dosDate = zplat::TimeToDosDate(date);
}

std::string ZipFacade::Base64RFC4648(const std::string& bytes) {
    std::ostringstream os;
    {
        Poco::Base64Encoder enc(os);
        enc.rdbuf()->setLineLength(0);
        enc << bytes;
        enc.close();
    }
    std::string s = os.str();
    for (char& c : s) {
        if (c == '+') c = '-';
        else if (c == '/') c = '_';
    }
    return s;
}

// ---- creation ----------------------------------------------------------------

bool ZipFacade::CreateZipFileAtPath(const std::string& path, const std::vector<std::string>& files) {
    return CreateZipFileAtPath(path, files, std::string());
}

bool ZipFacade::CreateZipFileAtPath(const std::string& path, const std::vector<std::string>& files,
                                    const std::string& password) {
    return CreateZipFileAtPath(path, files, password, ZipCreationProgressHandler());
}

bool ZipFacade::CreateZipFileAtPath(const std::string& path, const std::vector<std::string>& files,
                                    const std::string& password, ZipCreationProgressHandler progress) {
    ZipFacade zip(path);
    bool ok = zip.Open();
    if (!ok) return false;
    unsigned long done = 0;
    for (const std::string& f : files) {
        ok = zip.WriteFile(f, password) && ok;
        ++done;
        if (progress) progress(done, files.size());
    }
    return zip.Close() && ok;
}

bool ZipFacade::CreateZipFileAtPath(const std::string& path, const std::vector<std::string>& files,
                                    const std::string& password, bool keepSymlinks) {
    if (!keepSymlinks) return CreateZipFileAtPath(path, files, password);
    ZipFacade zip(path);
    bool ok = zip.Open();
    if (!ok) return false;
    for (const std::string& f : files) {
        if (zplat::ItemTypeAt(f) == zplat::ItemType::Symlink) {
            ok = zip.WriteSymlinkFileAtPath(f, "", Z_DEFAULT_COMPRESSION, password, true) && ok;
        } else {
            ok = zip.WriteFile(f, password) && ok;
        }
    }
    return zip.Close() && ok;
}

bool ZipFacade::CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder) {
    return CreateZipFileAtPathWithContentsOfDirectory(path, folder, std::string());
}

bool ZipFacade::CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder,
                                                           const std::string& password) {
    return CreateZipFileAtPathWithContentsOfDirectory(path, folder, false, password);
}

bool ZipFacade::CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder,
                                                           bool keepParentDirectory) {
    return CreateZipFileAtPathWithContentsOfDirectory(path, folder, keepParentDirectory, std::string());
}

bool ZipFacade::CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder,
                                                           bool keepParentDirectory, const std::string& password) {
    return CreateZipFileAtPathWithContentsOfDirectory(path, folder, keepParentDirectory, password,
                                                      ZipCreationProgressHandler());
}

bool ZipFacade::CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder,
                                                           bool keepParentDirectory, const std::string& password,
                                                           ZipCreationProgressHandler progress) {
    return CreateZipFileAtPathWithContentsOfDirectory(path, folder, keepParentDirectory, Z_DEFAULT_COMPRESSION,
                                                      password, true, std::move(progress));
}

namespace {
bool WriteTree(ZipFacade& zip, const std::string& archive, const std::string& folder, bool keepParent, int level,
               const std::string& password, bool aes, const ZipCreationProgressHandler& progress, bool keepSymlinks) {
    std::vector<std::string> items = zplat::Subpaths(folder);
    if (keepParent && items.empty()) items.push_back("");
    const unsigned long total = items.size();
    const std::string parent = zplat::LastPathComponent(folder);
    bool ok = true;
    unsigned long done = 0;
    for (const std::string& rel : items) {
        std::string full = rel.empty() ? folder : zplat::AppendPathComponent(folder, rel);
        // Also with links kept: an archive read into itself grows as fast as it is read.
        if (full == archive) {
            zplat::LogLine("[ZipFacade] the archive path and the file path: %s are the same, which is forbidden.",
                           full.c_str());
            continue;
        }
        std::string name = keepParent ? (rel.empty() ? parent : parent + "/" + rel) : rel;
        zplat::ItemType type = zplat::ItemTypeAt(full);
        if (keepSymlinks && type == zplat::ItemType::Symlink) {
            ok = zip.WriteSymlinkFileAtPath(full, name, level, password, aes) && ok;
        } else if (type == zplat::ItemType::Directory) {
            if (zplat::DirectoryEntries(full).empty()) ok = zip.WriteFolderAtPath(full, name, password) && ok;
        } else {
            ok = zip.WriteFileAtPath(full, name, level, password, aes) && ok;
        }
        ++done;
        if (progress) progress(done, total);
    }
    return ok;
}
}  // namespace

bool ZipFacade::CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder,
                                                           bool keepParentDirectory, int compressionLevel,
                                                           const std::string& password, bool aes,
                                                           ZipCreationProgressHandler progress) {
    ZipFacade zip(path);
    if (!zip.Open()) return false;
    bool ok = WriteTree(zip, path, folder, keepParentDirectory, compressionLevel, password, aes, progress, false);
    return zip.Close() && ok;
}

bool ZipFacade::CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder,
                                                           bool keepParentDirectory, int compressionLevel,
                                                           const std::string& password, bool aes,
                                                           ZipCreationProgressHandler progress, bool keepSymlinks) {
    if (!keepSymlinks) {
        return CreateZipFileAtPathWithContentsOfDirectory(path, folder, keepParentDirectory, compressionLevel, password,
                                                          aes, std::move(progress));
    }
    ZipFacade zip(path);
    if (!zip.Open()) return false;
    bool ok = WriteTree(zip, path, folder, keepParentDirectory, compressionLevel, password, aes, progress, true);
    return zip.Close() && ok;
}

// ---- inspection ----------------------------------------------------------------

bool ZipFacade::IsFilePasswordProtectedAtPath(const std::string& path) {
    zipfacade::ZipReader zip(path);
    if (!zip.IsOpen()) return false;
    bool answer = false;
    int r = zip.GoToFirstFile();
    while (r == UNZ_OK) {
        // The flag answers on its own: without decryption the opening below cannot tell.
        unz_file_info64 head = {};
        if (zip.GetCurrentFileInfo(&head) == UNZ_OK && (head.flag & 1)) {
            answer = true;
            break;
        }
        if (zip.OpenCurrentFile() != UNZ_OK) {
            int second = zip.OpenCurrentFile("");
            zip.CloseCurrentFile();
            answer = second == UNZ_OK || second == kPasswordError;
            break;
        }
        unz_file_info64 info = {};
        int ir = zip.GetCurrentFileInfo(&info);
        zip.CloseCurrentFile();
        if (ir != UNZ_OK) break;
        if (info.flag & 1) {
            answer = true;
            break;
        }
        r = zip.GoToNextFile();
    }
    return answer;
}

bool ZipFacade::IsPasswordValidForArchiveAtPath(const std::string& path, const std::string& password,
                                                ErrorRecord* error) {
    if (error) *error = ErrorRecord();
    zipfacade::ZipReader zip(path);
    if (!zip.IsOpen()) {
        if (error) *error = FacadeError(-1, "failed to open zip file");
        return false;
    }
    bool answer = true;
    int r = zip.GoToFirstFile();
    while (r == UNZ_OK) {
        int o = OpenCurrentEntry(zip, password);
        if (o != UNZ_OK) {
            if (o != kPasswordError && error) *error = FacadeError(-2, "failed to open file in zip archive");
            answer = false;
            break;
        }
        unz_file_info64 info = {};
        if (zip.GetCurrentFileInfo(&info) != UNZ_OK) {
            if (error) *error = FacadeError(-3, "failed to retrieve info for file");
            zip.CloseCurrentFile();
            answer = false;
            break;
        }
        if (info.flag & 1) {
            char buf[10];
            unsigned n = static_cast<unsigned>(std::min<unsigned long>(10, info.uncompressed_size));
            int rd = zip.ReadCurrentFile(buf, n);
            zip.CloseCurrentFile();
            if (rd < 0) {
                if (rd != Z_DATA_ERROR && error) *error = FacadeError(-4, "failed to read contents of file entry");
                answer = false;
            }
            break;
        }
        zip.CloseCurrentFile();
        r = zip.GoToNextFile();
    }
    return answer;
}

uint64_t ZipFacade::PayloadSizeForArchiveAtPath(const std::string& path, ErrorRecord* error) {
    if (error) *error = ErrorRecord();
    zipfacade::ZipReader zip(path);
    if (!zip.IsOpen()) {
        if (error) *error = FacadeError(-1, "failed to open zip file");
        return 0;
    }
    uint64_t sum = 0;
    int r = zip.GoToFirstFile();
    while (r == UNZ_OK) {
        if (zip.OpenCurrentFile() != UNZ_OK) {
            if (error) *error = FacadeError(-2, "failed to open file in zip archive");
            break;
        }
        unz_file_info64 info = {};
        if (zip.GetCurrentFileInfo(&info) != UNZ_OK) {
            if (error) *error = FacadeError(-3, "failed to retrieve info for file");
            zip.CloseCurrentFile();
            break;
        }
        sum += info.uncompressed_size;
        zip.CloseCurrentFile();
        r = zip.GoToNextFile();
    }
    return sum;
}
