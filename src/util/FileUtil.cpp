#include "util/FileUtil.h"

#include <sys/stat.h>

#include <exception>
#include <fstream>
#include <iterator>

#include "util/Crc64Util.h"
#include "util/LogUtil.h"
#include "util/Md5Digest.h"

namespace zuzezi_zid {

namespace {

// A directory opens as a stream here but has no bytes to give.
bool OpenRegular(const std::string& path, std::ifstream* is) {
    if (FileUtil::IsDirectory(path)) {
        return false;
    }
    is->open(path, std::ios::in | std::ios::binary);
    return static_cast<bool>(*is);
}

}  // namespace

int64_t FileUtil::GetFileLength(const std::string& path) {
    std::ifstream is;
    if (!OpenRegular(path, &is)) {
        return -1;
    }
    is.seekg(0, std::ios::end);
    const std::streamoff end = is.tellg();
    return end < 0 ? -1 : static_cast<int64_t>(end);
}

bool FileUtil::DirectoryExists(const std::string& path) { return IsDirectory(path); }

bool FileUtil::IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FileUtil::GetDirectoryPart(const std::string& path) {
    const size_t pos = path.find_last_of("/\\");
    return pos == std::string::npos ? path : path.substr(0, pos);
}

std::string FileUtil::ReadWholeFile(const std::string& path) {
    std::ifstream is;
    if (!OpenRegular(path, &is)) {
        return std::string();
    }
    return std::string(std::istreambuf_iterator<char>(is), std::istreambuf_iterator<char>());
}

uint64_t FileUtil::GetFileCrc64(const std::string& path) {
    bool ok = false;
    return GetFileCrc64(path, &ok);
}

uint64_t FileUtil::GetFileCrc64(const std::string& path, bool* ok) {
    *ok = false;
    std::ifstream is;
    if (!OpenRegular(path, &is)) {
        ZID_LOG_ERR("open file %s failed, no crc64", path.c_str());
        return 0;
    }
    uint64_t crc = 0;
    char buf[2048];
    while (is.good()) {
        is.read(buf, sizeof(buf));
        const std::streamsize n = is.gcount();
        if (n > 0) {
            crc = Crc64Util::Update(crc, buf, static_cast<size_t>(n));
        }
    }
    if (is.bad()) {
        ZID_LOG_ERR("read file %s failed, no crc64", path.c_str());
        return 0;
    }
    *ok = true;
    return crc;
}

std::string FileUtil::GetFileMd5Hex(const std::string& path) {
    std::ifstream is;
    if (!OpenRegular(path, &is)) {
        ZID_LOG_ERR("open file %s failed, no md5", path.c_str());
        return std::string();
    }
    std::string hex;
    try {
        hex = Md5Digest::HexOfStream(is);
    } catch (const std::exception& e) {
        ZID_LOG_ERR("md5 of file %s failed, %s", path.c_str(), e.what());
        return std::string();
    }
    if (is.bad()) {
        ZID_LOG_ERR("read file %s failed, no md5", path.c_str());
        return std::string();
    }
    return hex;
}

}  // namespace zuzezi_zid
