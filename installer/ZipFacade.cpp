#include "ZipFacade.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ZipFacadeReader.h"
#include "platform/CodePage.h"
#include "platform/DosDate.h"
#include "platform/FileManager.h"
#include "platform/Log.h"
#include "platform/PathBeneath.h"

using zplat::ErrorRecord;

namespace {

constexpr size_t kChunk = 4096;
// A zip with no entries is its end-of-central-directory record alone.
constexpr size_t kEmptyArchiveSize = 22;

ErrorRecord FacadeError(long code, const std::string& text) {
    return ErrorRecord{kZipFacadeErrorDomain, code, text};
}

// An entry's data that cannot be read to its end: cut short, corrupt, or not as long as
// its header says.
ErrorRecord ReadError() { return FacadeError(-4, "failed to read contents of file entry"); }

std::string ErrorText(const ErrorRecord& e) {
    return e.domain + " " + std::to_string(e.code) + (e.description.empty() ? "" : " " + e.description);
}

bool IsEmptyArchive(const std::string& path) {
    if (zplat::FileSize(path) != static_cast<int64_t>(kEmptyArchiveSize)) return false;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char b[kEmptyArchiveSize];
    size_t n = fread(b, 1, sizeof b, f);
    fclose(f);
    // Signature, then disk numbers and entry counts all zero; only the comment length
    // (bytes 20-21) may differ, and it must be 0 for the size to be 22.
    static const unsigned char sig[4] = {'P', 'K', 5, 6};
    if (n != sizeof b || memcmp(b, sig, 4) != 0) return false;
    for (size_t i = 4; i < kEmptyArchiveSize; ++i) {
        if (i >= 12 && i < 20) continue;  // central directory size and offset
        if (b[i] != 0) return false;
    }
    return true;
}

// Segments of a relative path with "." and ".." resolved. A ".." at the top is dropped
// when `clamp`, else it makes the answer false.
bool ResolveSegments(const std::string& rel, bool clamp, std::vector<std::string>* segs) {
    size_t pos = 0;
    while (pos <= rel.size()) {
        size_t slash = rel.find('/', pos);
        if (slash == std::string::npos) slash = rel.size();
        std::string seg = rel.substr(pos, slash - pos);
        pos = slash + 1;
        if (seg.empty() || seg == ".") continue;
        if (seg == "..") {
            if (!segs->empty()) segs->pop_back();
            else if (!clamp) return false;
            continue;
        }
        segs->push_back(seg);
    }
    return true;
}

bool ResolveInside(const std::string& rel, std::vector<std::string>* segs) {
    return ResolveSegments(rel, false, segs);
}

// `physical`, a folder that the walk below `destination` gave, relative to it.
std::string RelativeBelow(const std::string& destination, const std::string& physical) {
    std::string prefix = zplat::AppendPathComponent(destination, "x");
    prefix.pop_back();  // "destination/" as the path join writes it
    return physical.compare(0, prefix.size(), prefix) == 0 ? physical.substr(prefix.size()) : std::string();
}

// Walking below the destination failed because the path leads out of it.
bool LeadsOut(const ErrorRecord& e) {
    return e.domain == zplat::kPosixErrorDomain && (e.code == EXDEV || e.code == ELOOP);
}

// A link target is accepted when it is relative, climbs only at its start (through the
// real folders that hold the link, `folder_rel` below the destination) and not above the
// destination, then only descends. Climbing after a name is refused even where that name
// is a folder today: a later entry may make it a link, and ".." would then lead wherever
// that link does.
bool LinkTargetStaysInside(const std::string& folder_rel, const std::string& target) {
    if (target.empty() || target[0] == '/') return false;
    std::vector<std::string> folder;
    ResolveInside(folder_rel, &folder);
    size_t depth = folder.size();
    bool descended = false;
    size_t pos = 0;
    while (pos <= target.size()) {
        size_t slash = target.find('/', pos);
        if (slash == std::string::npos) slash = target.size();
        const std::string seg = target.substr(pos, slash - pos);
        pos = slash + 1;
        if (seg.empty() || seg == ".") continue;
        if (seg != "..") {
            descended = true;
        } else if (descended || depth == 0) {
            return false;
        } else {
            --depth;
        }
    }
    return true;
}

bool EndsWithZip(const std::string& path) {
    std::string last = zplat::LastPathComponent(path);
    size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    std::string ext = last.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return ext == "zip";
}

struct DateRecord {
    std::string rel;  // where the item lay, below the destination, links resolved
    time_t modDate;
    uint32_t dosDate;  // 0: the archive gave no date, the item keeps the one it got
    struct stat made = {};  // the item the run made or kept there; st_ino 0: none
};

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
};

// lstat of `name` in the folder `dir`, or of `dir` itself when `name` is empty.
bool StatAt(int dir, const std::string& name, struct stat* st) {
    if ((name.empty() ? fstat(dir, st) : fstatat(dir, name.c_str(), st, AT_SYMLINK_NOFOLLOW)) == 0) return true;
    *st = {};
    return false;
}

// Access and modification date of `name` in `dir` (a link itself, not what it points
// to), or of `dir` when `name` is empty.
bool SetDate(int dir, const std::string& name, time_t when) {
    const struct timespec ts[2] = {{when, 0}, {when, 0}};
    return (name.empty() ? futimens(dir, ts) : utimensat(dir, name.c_str(), ts, AT_SYMLINK_NOFOLLOW)) == 0;
}

// Removes `existing`, the item `name` in `dir` (at `path`).
bool RemoveAt(int dir, const std::string& name, const struct stat& existing, const std::string& path,
              ErrorRecord* error) {
    if (S_ISDIR(existing.st_mode)) return zplat::RemoveItem(path, error);
    if (unlinkat(dir, name.c_str(), 0) == 0) return true;
    *error = zplat::PosixError(errno, "unlink " + path + ": " + strerror(errno));
    return false;
}

// Dates a recorded item, found again by a walk that stays below the destination, and only
// while it is still the item the run made: a folder swapped for a link since is not
// followed to whatever lies behind it.
bool SetRecordedDate(const std::string& destination, const DateRecord& d, ErrorRecord* error) {
    if (d.made.st_ino == 0) return true;  // nothing was made there
    const std::string at = zplat::AppendPathComponent(destination, d.rel);
    std::string last;
    Descriptor parent;
    parent.fd = zplat::OpenParentBeneath(destination, d.rel, false, &last, nullptr, error);
    if (parent.fd < 0) return false;
    struct stat now;
    if (!StatAt(parent.fd, last, &now)) {
        *error = zplat::PosixError(errno, "stat " + at + ": " + strerror(errno));
        return false;
    }
    if (now.st_dev != d.made.st_dev || now.st_ino != d.made.st_ino) {
        *error = zplat::PosixError(ESTALE, at + " is no longer the item unpacked there");
        return false;
    }
    if (!SetDate(parent.fd, last, d.modDate)) {
        *error = zplat::PosixError(errno, "utimensat " + at + ": " + strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

// ---- forwarding forms ------------------------------------------------------------

bool ZipFacade::UnzipFileAtPath(const std::string& path, const std::string& destination) {
    return UnzipFileAtPath(path, destination, static_cast<ZipFacadeDelegate*>(nullptr));
}

bool ZipFacade::UnzipFileAtPath(const std::string& path, const std::string& destination,
                                ZipFacadeDelegate* delegate) {
    return UnzipFileAtPath(path, destination, true, true, 0, "", nullptr, delegate, nullptr, nullptr);
}

bool ZipFacade::UnzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                const std::string& password, ErrorRecord* error) {
    return UnzipFileAtPath(path, destination, true, overwrite, 0, password, error, nullptr, nullptr, nullptr);
}

bool ZipFacade::UnzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                const std::string& password, ErrorRecord* error,
                                ZipFacadeDelegate* delegate) {
    return UnzipFileAtPath(path, destination, true, overwrite, 0, password, error, delegate, nullptr, nullptr);
}

bool ZipFacade::UnzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                const std::string& password, ZipProgressHandler progress,
                                ZipCompletionHandler completion) {
    return UnzipFileAtPath(path, destination, true, overwrite, 0, password, nullptr, nullptr,
                           std::move(progress), std::move(completion));
}

bool ZipFacade::UnzipFileAtPath(const std::string& path, const std::string& destination,
                                ZipProgressHandler progress, ZipCompletionHandler completion) {
    return UnzipFileAtPath(path, destination, true, true, 0, "", nullptr, nullptr, std::move(progress),
                           std::move(completion));
}

bool ZipFacade::UnzipFileAtPath(const std::string& path, const std::string& destination,
                                bool preserveAttributes, bool overwrite, const std::string& password,
                                ErrorRecord* error, ZipFacadeDelegate* delegate) {
    return UnzipFileAtPath(path, destination, preserveAttributes, overwrite, 0, password, error, delegate,
                           nullptr, nullptr);
}

bool ZipFacade::UnzipFileAtPath(const std::string& path, const std::string& destination,
                                bool preserveAttributes, bool overwrite, const std::string& password,
                                ErrorRecord* error, ZipFacadeDelegate* delegate,
                                ZipProgressHandler progress, ZipCompletionHandler completion) {
    return UnzipFileAtPath(path, destination, preserveAttributes, overwrite, 0, password, error, delegate,
                           std::move(progress), std::move(completion));
}

// ---- the unzip -------------------------------------------------------------------

bool ZipFacade::UnzipFileAtPath(const std::string& path, const std::string& destination,
                                bool preserveAttributes, bool overwrite, int nestedZipLevel,
                                const std::string& password, ErrorRecord* error,
                                ZipFacadeDelegate* delegate, ZipProgressHandler progress,
                                ZipCompletionHandler completion) {
    auto fail_early = [&](const ErrorRecord& e) {
        if (error) *error = e;
        if (completion) completion(std::nullopt, false, e);
        return false;
    };
    if (path.empty() || destination.empty()) {
        return fail_early(FacadeError(-6, "received invalid argument(s)"));
    }
    zipfacade::ZipReader zip(path);
    // minizip refuses an archive with no entries; it is a valid, empty archive.
    const bool empty_archive = !zip.IsOpen() && IsEmptyArchive(path);
    if (!zip.IsOpen() && !empty_archive) {
        if (!zip.Fault().empty()) zplat::LogLine("[ZipFacade] Refused \"%s\": %s", path.c_str(), zip.Fault().c_str());
        return fail_early(FacadeError(-1, "failed to open zip file"));
    }
    int64_t size_or_fail = zplat::FileSize(path);
    const uint64_t archive_size = size_or_fail < 0 ? 0 : static_cast<uint64_t>(size_or_fail);

    unz_global_info64 global = {};
    int loop_result = UNZ_END_OF_LIST_OF_FILE;
    if (zip.IsOpen()) {
        zip.GetGlobalInfo(&global);
        loop_result = zip.GoToFirstFile();
        if (loop_result != UNZ_OK && loop_result != UNZ_END_OF_LIST_OF_FILE) {
            ErrorRecord e = FacadeError(-2, "failed to open first file in zip file");
            if (completion) completion(std::nullopt, false, e);
            if (error) *error = e;
            return false;
        }
    }

    bool success = true;
    bool canceled = false;
    std::optional<ErrorRecord> run_error;
    auto set_error = [&](const ErrorRecord& e) { run_error = e; };
    long index = -1;
    uint64_t position = 0;
    int close_result = UNZ_OK;
    std::vector<DateRecord> dates;
    std::vector<char> buffer(kChunk, 0);
    const long total = static_cast<long>(global.number_entry);

    if (delegate && delegate->willUnzipArchive) delegate->willUnzipArchive(path, global);
    if (delegate && delegate->progressEvent) delegate->progressEvent(0, archive_size);

    while (loop_result == UNZ_OK && success) {
        int ret = OpenCurrentEntry(zip, password);
        if (ret != UNZ_OK) {
            set_error(FacadeError(-2, "failed to open file in zip file"));
            success = false;
            break;
        }
        unz_file_info64 info = {};
        if (zip.GetCurrentFileInfo(&info) != UNZ_OK) {
            set_error(FacadeError(-3, "failed to retrieve info for file"));
            zip.CloseCurrentFile();
            success = false;
            break;
        }
        ++index;
        if (delegate && delegate->shouldUnzipFile &&
            !delegate->shouldUnzipFile(index, total, path, info)) {
            canceled = true;
            success = false;
            break;
        }
        if (delegate && delegate->willUnzipFile) delegate->willUnzipFile(index, total, path, info);
        position += info.compressed_size;
        if (delegate && delegate->progressEvent) delegate->progressEvent(position, archive_size);

        std::string raw(info.size_filename, '\0');
        unz_file_info64 again = {};  // minizip needs a record even for the name alone
        if (info.size_filename > 0 &&
            zip.GetCurrentFileInfo(&again, &raw[0], info.size_filename) != UNZ_OK) {
            set_error(FacadeError(-3, "failed to retrieve info for file"));
            zip.CloseCurrentFile();
            success = false;
            break;
        }
        // The system would read the name only up to its NUL ("..\0" as ".."): what we
        // checked would not be what we write.
        if (raw.find('\0') != std::string::npos) {
            const std::string msg = "Refused entry " + std::to_string(index) + ": its name holds a NUL byte (" +
                                    HexString(raw) + ")";
            zplat::LogLine("[ZipFacade] %s", msg.c_str());
            set_error(FacadeError(-7, msg));
            zip.CloseCurrentFile();
            success = false;
            break;
        }
        const bool made_on_unix = ((info.version >> 8) & 0xFF) == 3;
        const bool link_mode = (info.external_fa & 0xF0000000UL) == 0xA0000000UL;
        std::string name = FilenameStringWithCString(raw.c_str(), info.version, info.flag, raw.size());

        if (name.compare(0, 9, "__MACOSX/") == 0) {
            zip.CloseCurrentFile();
            loop_result = zip.GoToNextFile();
            continue;
        }
        // A folder is told by the decoded name, the one the item gets: the raw name's last
        // byte may be half of a character. A link is a link whatever its name ends with.
        const bool is_link = made_on_unix && link_mode;
        const bool is_dir = !is_link && !name.empty() && (name.back() == '/' || name.back() == '\\');
        const std::string rel = SanitizedPath(name);
        std::string refusal;
        if (rel.empty() && is_dir) {
            // "./" and the like: the destination is there already.
            zplat::LogLine("[ZipFacade] Skipped entry %ld: the folder \"%s\" is the destination itself", index,
                           name.c_str());
            zip.CloseCurrentFile();
            loop_result = zip.GoToNextFile();
            continue;
        } else if (rel.empty()) {
            refusal = "Refused entry " + std::to_string(index) + ": its name \"" + name +
                      "\" names the destination itself";
        } else if (is_dir && info.uncompressed_size > 0) {
            refusal = "Refused entry " + std::to_string(index) + ": the folder \"" + name +
                      "\" holds data that a folder cannot keep";
        }
        if (!refusal.empty()) {
            zplat::LogLine("[ZipFacade] %s", refusal.c_str());
            set_error(FacadeError(-7, refusal));
            zip.CloseCurrentFile();
            success = false;
            break;
        }
        const std::string full = zplat::AppendPathComponent(destination, rel);

        // Links written earlier are followed, as long as they stay below the destination;
        // from here on the entry is handled in the folder the walk opened (`folder_fd`),
        // never through a path looked up again.
        std::string folder;
        Descriptor folder_fd;
        {
            ErrorRecord mk;
            std::string unused;
            const std::string folder_rel = is_dir ? rel : zplat::DeletingLastPathComponent(rel);
            if (zplat::CreateDirectory(destination, true, &mk)) {
                folder_fd.fd = zplat::OpenParentBeneath(destination, folder_rel + "/.", true, &unused, &folder, &mk);
            }
            if (folder_fd.fd < 0) {
                if (LeadsOut(mk)) {
                    zplat::LogLine("[ZipFacade] Refused \"%s\": %s", full.c_str(), mk.description.c_str());
                    mk = FacadeError(-7, mk.code == ELOOP
                                             ? "entry path runs into a loop of symbolic links: " + rel
                                             : "entry path leads out of the destination through a symbolic link: " + rel);
                } else {
                    zplat::LogLine("[ZipFacade] Error: %s", mk.description.c_str());
                }
                set_error(mk);
                zip.CloseCurrentFile();
                success = false;
                break;
            }
        }
        // The entry's item in `folder_fd`; empty for a folder entry, which is that folder.
        const std::string item = is_dir ? std::string() : zplat::LastPathComponent(rel);
        const std::string place = is_dir ? folder : zplat::AppendPathComponent(folder, item);

        time_t mod_date = 0;
        if (preserveAttributes) {
            mod_date = DateWithMSDOSFormat(static_cast<uint32_t>(info.dosDate));
            DateRecord d{zplat::AppendPathComponent(RelativeBelow(destination, folder), item), mod_date,
                         static_cast<uint32_t>(info.dosDate)};
            StatAt(folder_fd.fd, item, &d.made);
            dates.push_back(d);
        }
        // Identity of what this entry made, for the date pass at the end.
        auto made = [&](const struct stat& st) {
            if (preserveAttributes) dates.back().made = st;
        };

        struct stat existing;
        const bool exists = !is_dir && StatAt(folder_fd.fd, item, &existing);
        if (!overwrite && exists) {
            zip.CloseCurrentFile();
            loop_result = zip.GoToNextFile();
            continue;
        }

        bool stop_after_entry = false;
        if (is_link) {
            // Read no more than the longest target the system takes: the data may inflate
            // to anything.
            std::string target;
            int n = 0;
            while (target.size() < static_cast<size_t>(PATH_MAX) &&
                   (n = zip.ReadCurrentFile(buffer.data(), kChunk)) > 0) {
                target.append(buffer.data(), static_cast<size_t>(n));
            }
            if (n < 0) {
                set_error(ReadError());
                success = false;
                break;
            }
            std::string refusal;
            if (target.size() >= static_cast<size_t>(PATH_MAX)) {
                refusal = "Refused symbolic link at \"" + full + "\": its target is longer than a path may be";
            } else if (target.find('\0') != std::string::npos) {
                refusal = "Refused symbolic link at \"" + full + "\" to \"" + HexString(target) +
                          "\" (hexadecimal): its target holds a NUL byte";
            } else if (!LinkTargetStaysInside(RelativeBelow(destination, folder), target)) {
                refusal = "Refused symbolic link at \"" + full + "\" to \"" + target + "\": it leaves the destination";
            }
            if (!refusal.empty()) {
                zplat::LogLine("[ZipFacade] %s", refusal.c_str());
                set_error(FacadeError(-7, refusal));
                stop_after_entry = true;
            } else {
                if (overwrite && exists) {
                    ErrorRecord rm;
                    if (!RemoveAt(folder_fd.fd, item, existing, place, &rm)) {
                        std::string msg = "Failed to delete existing symbolic link at \"" + full + "\"";
                        zplat::LogLine("[ZipFacade] %s", msg.c_str());
                        set_error(FacadeError(rm.code, msg));
                        stop_after_entry = true;
                    }
                }
                struct stat st;
                if (symlinkat(target.c_str(), folder_fd.fd, item.c_str()) != 0) {
                    int e = errno;
                    char msg[4096 + 1024];
                    snprintf(msg, sizeof msg,
                             "Failed to create symbolic link at \"%s\" to \"%s\" - symlink() error code: %d",
                             full.c_str(), target.c_str(), e);
                    zplat::LogLine("[ZipFacade] %s", msg);
                    set_error(zplat::PosixError(e, msg));
                    stop_after_entry = true;
                } else if (StatAt(folder_fd.fd, item, &st)) {
                    made(st);
                }
            }
        } else if (!is_dir) {
            int n = zip.ReadCurrentFile(buffer.data(), kChunk);
            if (n < 0) {
                set_error(ReadError());
                success = false;
                break;
            }
            // An existing link in the file's place is replaced, never written through.
            if (overwrite && exists && S_ISLNK(existing.st_mode)) unlinkat(folder_fd.fd, item.c_str(), 0);
            int fd = openat(folder_fd.fd, item.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
            FILE* out = fd >= 0 ? fdopen(fd, "wb") : nullptr;
            if (!out) {
                int e = errno;
                if (fd >= 0) close(fd);
                ErrorRecord oe = zplat::PosixError(e, "Failed to open \"" + full + "\": " + strerror(e));
                zplat::LogLine("[ZipFacade] Failed to open file on unzipping.(%s)", ErrorText(oe).c_str());
                if (LeadsOut(oe)) oe = FacadeError(-7, "entry path leads out of the destination: " + rel);
                set_error(oe);
                zip.CloseCurrentFile();
                success = false;
                break;
            }
            bool write_failed = false;
            while (n > 0) {
                if (fwrite(buffer.data(), 1, static_cast<size_t>(n), out) != static_cast<size_t>(n)) {
                    write_failed = true;
                    break;
                }
                n = zip.ReadCurrentFile(buffer.data(), kChunk);
                if (n < 0) {
                    set_error(ReadError());
                    stop_after_entry = true;
                    break;
                }
            }
            if (fflush(out) != 0) write_failed = true;
            if (preserveAttributes) {
                // On the file as opened: its folder may have been swapped for a link since.
                if (info.dosDate != 0 && !SetDate(fileno(out), "", mod_date)) {
                    zplat::LogLine("[ZipFacade] Failed to set attributes - whilst setting modification date");
                }
                // Owner read and write always; set-id and sticky bits never.
                mode_t mode = static_cast<mode_t>(((info.external_fa >> 16) & 0777) | 0600);
                if (fchmod(fileno(out), mode) != 0) {
                    zplat::LogLine("[ZipFacade] Failed to set attributes - whilst setting permissions");
                }
                struct stat st;
                if (fstat(fileno(out), &st) == 0) made(st);
            }
            if (fclose(out) != 0) write_failed = true;
            if (write_failed) {
                zplat::LogLine("[ZipFacade] %s", "Failed to write file (check your free space)");
                set_error(FacadeError(-5, "Failed to write file (check your free space)"));
                stop_after_entry = true;
            }
            if (!write_failed && nestedZipLevel != 0 && EndsWithZip(place)) {
                if (UnzipFileAtPath(place, folder, preserveAttributes, overwrite, nestedZipLevel - 1, password,
                                    nullptr, nullptr, nullptr, nullptr)) {
                    if (preserveAttributes && !dates.empty()) dates.pop_back();
                    unlinkat(folder_fd.fd, item.c_str(), 0);
                }
            }
        }

        close_result = zip.CloseCurrentFile();
        if (close_result == UNZ_CRCERROR) {
            success = false;
            break;
        }
        if (stop_after_entry) success = false;
        loop_result = zip.GoToNextFile();

        if (delegate && delegate->didUnzipFileWithInfo) {
            delegate->didUnzipFileWithInfo(index, total, path, info);
        } else if (delegate && delegate->didUnzipFileAtPath) {
            delegate->didUnzipFileAtPath(index, total, path, full);
        }
        if (progress) progress(rel, info, index, total);
    }
    // The walk ends at the end of the list, or at a header that did not read.
    if (success && loop_result != UNZ_END_OF_LIST_OF_FILE) {
        set_error(FacadeError(-3, "failed to retrieve info for file"));
        success = false;
    }
    zip.Close();

    std::optional<ErrorRecord> crc_error;
    if (preserveAttributes && success) {
        for (const DateRecord& d : dates) {
            if (d.dosDate == 0) continue;
            ErrorRecord de;
            if (!SetRecordedDate(destination, d, &de)) {
                const std::string at = zplat::AppendPathComponent(destination, d.rel);
                zplat::LogLine("[ZipFacade] Set attributes failed for directory: %s.", at.c_str());
                zplat::LogLine("[ZipFacade] Error setting directory file modification date attribute: %s",
                               de.description.c_str());
            }
        }
    }
    if (success && delegate && delegate->didUnzipArchive) delegate->didUnzipArchive(path, global, destination);
    if (!canceled && delegate && delegate->progressEvent) delegate->progressEvent(archive_size, archive_size);
    if (close_result == UNZ_CRCERROR) crc_error = FacadeError(-3, "crc check failed for file");

    std::optional<ErrorRecord> reported = run_error ? run_error : crc_error;
    if (error && reported) *error = *reported;
    if (completion) completion(path, success, reported);
    return success;
}

// ---- helpers ---------------------------------------------------------------------

std::string ZipFacade::FilenameStringWithCString(const char* name, unsigned long versionMadeBy,
                                                 unsigned long generalPurposeFlag, size_t size) {
    // The whole name, NUL bytes included: the caller refuses those, and must see them.
    if (versionMadeBy <= 0xFF && (generalPurposeFlag & 0x800) == 0) {
        return zplat::Cp437ToUtf8(name, size);
    }
    if (zplat::IsValidUtf8(name, size)) return std::string(name, size);
    static const char* const kGuesses[] = {"GB18030", "BIG5", "SHIFT_JIS", "EUC-KR"};
    std::string bytes(name, size);
    for (const char* cs : kGuesses) {
        std::string out;
        if (zplat::ConvertCharset(bytes, cs, "UTF-8", &out) && !out.empty()) return out;
    }
    return HexString(bytes);
}

int ZipFacade::OpenCurrentEntry(zipfacade::ZipReader& zip, const std::string& password) {
    // This build of minizip has no decryption: a password makes even a plain entry fail
    // to open, so it is passed only for entries that are encrypted.
    unz_file_info64 info = {};
    if (zip.GetCurrentFileInfo(&info) != UNZ_OK) return UNZ_ERRNO;
    if (password.empty() || (info.flag & 1) == 0) return zip.OpenCurrentFile();
    return zip.OpenCurrentFile(password.c_str());
}

time_t ZipFacade::DateWithMSDOSFormat(uint32_t msdos) { return zplat::DosDateToTime(msdos); }

std::string ZipFacade::SanitizedPath(const std::string& name) {
    std::string p = name;
    for (char& c : p) {
        if (c == '\\') c = '/';
    }
    std::vector<std::string> kept;
    ResolveSegments(p, true, &kept);
    std::string out;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i) out += '/';
        out += kept[i];
    }
    return out;
}

std::string ZipFacade::HexString(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 0xF];
    }
    return out;
}
