#pragma once

#include <cstdint>
#include <string>

namespace zuzezi_zid {

class FileUtil {
public:
    FileUtil() = delete;

    // -1 when the file cannot be opened.
    static int64_t GetFileLength(const std::string& path);
    static bool DirectoryExists(const std::string& path);
    static bool IsDirectory(const std::string& path);
    // Up to the last "/" or "\"; the whole path when it has neither.
    static std::string GetDirectoryPart(const std::string& path);
    // Empty when the file cannot be opened.
    static std::string ReadWholeFile(const std::string& path);

    // 0 for an empty file. A file that cannot be read also gives 0 here; use the
    // overload with ok to tell the two apart.
    static uint64_t GetFileCrc64(const std::string& path);
    static uint64_t GetFileCrc64(const std::string& path, bool* ok);
    // Lower-case hex; empty when the file cannot be read.
    static std::string GetFileMd5Hex(const std::string& path);
};

}  // namespace zuzezi_zid
