// Zip facade: unpacks archives into folders (class methods) and writes archives
// (instances), over zlib's minizip. Failures come back as a boolean plus an error record
// in the domain "ZipFacadeErrorDomain" (or the POSIX / Cocoa domains for file errors).
#pragma once

#include <unzip.h>
#include <zip.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ErrorRecord.h"

namespace zipfacade {
class ZipReader;
}

constexpr const char* kZipFacadeErrorDomain = "ZipFacadeErrorDomain";

// Every callback is optional: an empty one is not called.
struct ZipFacadeDelegate {
    std::function<void(const std::string& archive, const unz_global_info64& info)> willUnzipArchive;
    std::function<void(uint64_t position, uint64_t total)> progressEvent;
    // false cancels the run.
    std::function<bool(long index, long total, const std::string& archive, const unz_file_info64& info)>
        shouldUnzipFile;
    std::function<void(long index, long total, const std::string& archive, const unz_file_info64& info)>
        willUnzipFile;
    std::function<void(long index, long total, const std::string& archive, const unz_file_info64& info)>
        didUnzipFileWithInfo;
    // Called instead of the previous one when that one is empty.
    std::function<void(long index, long total, const std::string& archive, const std::string& unzipped)>
        didUnzipFileAtPath;
    std::function<void(const std::string& archive, const unz_global_info64& info, const std::string& unzipped)>
        didUnzipArchive;
};

using ZipProgressHandler =
    std::function<void(const std::string& entry, const unz_file_info64& info, long index, long total)>;
// (archive path, or none when the archive was never opened; succeeded; error or none)
using ZipCompletionHandler = std::function<void(const std::optional<std::string>& path, bool succeeded,
                                                const std::optional<zplat::ErrorRecord>& error)>;
// (entries done, total entries)
using ZipCreationProgressHandler = std::function<void(unsigned long done, unsigned long total)>;

class ZipFacade {
public:
    // ---- archive writing (instances) -------------------------------------------
    // Entries carry UTF-8 names and modification dates. Passwords are refused: this
    // build cannot write encrypted entries that other tools open.
    explicit ZipFacade(const std::string& path);
    ~ZipFacade();
    ZipFacade(const ZipFacade&) = delete;
    ZipFacade& operator=(const ZipFacade&) = delete;

    bool Open();
    bool OpenForAppending();
    bool WriteFile(const std::string& path, const std::string& password);
    // An empty file name means the file's last path component.
    bool WriteFileAtPath(const std::string& path, const std::string& fileName, const std::string& password);
    bool WriteFileAtPath(const std::string& path, const std::string& fileName, int compressionLevel,
                         const std::string& password, bool aes);
    bool WriteData(const std::string& data, const std::string& fileName, const std::string& password);
    bool WriteData(const std::string& data, const std::string& fileName, int compressionLevel,
                   const std::string& password, bool aes);
    bool WriteFolderAtPath(const std::string& path, const std::string& folderName, const std::string& password);
    bool WriteSymlinkFileAtPath(const std::string& path, const std::string& fileName, int compressionLevel,
                                const std::string& password, bool aes);
    bool Close();

    // ---- archive creation (class methods) ----------------------------------------
    static bool CreateZipFileAtPath(const std::string& path, const std::vector<std::string>& files);
    static bool CreateZipFileAtPath(const std::string& path, const std::vector<std::string>& files,
                                    const std::string& password);
    static bool CreateZipFileAtPath(const std::string& path, const std::vector<std::string>& files,
                                    const std::string& password, ZipCreationProgressHandler progress);
    static bool CreateZipFileAtPath(const std::string& path, const std::vector<std::string>& files,
                                    const std::string& password, bool keepSymlinks);
    static bool CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder);
    static bool CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder,
                                                           const std::string& password);
    static bool CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder,
                                                           bool keepParentDirectory);
    static bool CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder,
                                                           bool keepParentDirectory, const std::string& password);
    static bool CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder,
                                                           bool keepParentDirectory, const std::string& password,
                                                           ZipCreationProgressHandler progress);
    static bool CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder,
                                                           bool keepParentDirectory, int compressionLevel,
                                                           const std::string& password, bool aes,
                                                           ZipCreationProgressHandler progress);
    static bool CreateZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& folder,
                                                           bool keepParentDirectory, int compressionLevel,
                                                           const std::string& password, bool aes,
                                                           ZipCreationProgressHandler progress, bool keepSymlinks);

    // ---- inspection ----------------------------------------------------------
    static bool IsFilePasswordProtectedAtPath(const std::string& path);
    static bool IsPasswordValidForArchiveAtPath(const std::string& path, const std::string& password,
                                                zplat::ErrorRecord* error);
    static uint64_t PayloadSizeForArchiveAtPath(const std::string& path, zplat::ErrorRecord* error);

    // ---- entry records ---------------------------------------------------------
    static void ZipInfoSetAttributesOfItemAtPath(zip_fileinfo* info, const std::string& path);
    static void ZipInfoSetDate(zip_fileinfo* info, time_t date);
    // Base64 with "-" and "_" for "+" and "/".
    static std::string Base64RFC4648(const std::string& bytes);

    // ---- unzip ---------------------------------------------------------------
    // An empty password means none. `error`, when given, receives the reported error
    // (untouched when there is none).
    static bool UnzipFileAtPath(const std::string& path, const std::string& destination);
    static bool UnzipFileAtPath(const std::string& path, const std::string& destination,
                                ZipFacadeDelegate* delegate);
    static bool UnzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                const std::string& password, zplat::ErrorRecord* error);
    static bool UnzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                const std::string& password, zplat::ErrorRecord* error,
                                ZipFacadeDelegate* delegate);
    static bool UnzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                const std::string& password, ZipProgressHandler progress,
                                ZipCompletionHandler completion);
    static bool UnzipFileAtPath(const std::string& path, const std::string& destination,
                                ZipProgressHandler progress, ZipCompletionHandler completion);
    static bool UnzipFileAtPath(const std::string& path, const std::string& destination,
                                bool preserveAttributes, bool overwrite, const std::string& password,
                                zplat::ErrorRecord* error, ZipFacadeDelegate* delegate);
    static bool UnzipFileAtPath(const std::string& path, const std::string& destination,
                                bool preserveAttributes, bool overwrite, const std::string& password,
                                zplat::ErrorRecord* error, ZipFacadeDelegate* delegate,
                                ZipProgressHandler progress, ZipCompletionHandler completion);
    // The full form; nestedZipLevel > 0 also unpacks archives found inside (and deletes them).
    static bool UnzipFileAtPath(const std::string& path, const std::string& destination,
                                bool preserveAttributes, bool overwrite, int nestedZipLevel,
                                const std::string& password, zplat::ErrorRecord* error,
                                ZipFacadeDelegate* delegate, ZipProgressHandler progress,
                                ZipCompletionHandler completion);

    // ---- helpers of the unzip (public for their own tests) -----------------------
    static std::string FilenameStringWithCString(const char* name, unsigned long versionMadeBy,
                                                 unsigned long generalPurposeFlag, size_t size);
    static time_t DateWithMSDOSFormat(uint32_t msdos);
    // Backslashes become "/", "." and ".." are resolved inside the name (a ".." at the top
    // is dropped), leading and repeated slashes go: the result never leaves its folder.
    static std::string SanitizedPath(const std::string& name);
    static std::string HexString(const std::string& bytes);

private:
    // Opens the current entry's data, with the password only where the entry needs one.
    static int OpenCurrentEntry(zipfacade::ZipReader& zip, const std::string& password);
    bool OpenEntry(const std::string& name, zip_fileinfo* info, int level, const std::string& password, bool aes,
                   unsigned long versionMadeBy, unsigned long flag, int zip64);

    std::string _path;
    zipFile _zip = nullptr;
};
