#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <fstream>

#include <Poco/Dynamic/Var.h>
#include <Poco/Exception.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>

#include "ClientSettings.h"
#include "op/ObjectOpDetail.h"
#include "util/FileUtil.h"
#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

using namespace op_detail;

const op_detail::DownloadTexts op_detail::kResumableTexts = {
    "Generate auth str fail, check your access_key/secret_key.", "down data, lseek ret=",
    "down data, write ret=", true, false};

namespace {

const char* const kTaskFileSuffix = ".zidresumabletask";

// A checkpoint may name only bytes that are on disk: the file's data is made durable first,
// and a file that cannot be made so gets no new checkpoint.
bool MakeDurable(int fd) {
    while (::fdatasync(fd) != 0) {
        if (errno == EINTR) continue;
        ZID_LOG_ERR("fdatasync failed, errno=%d, checkpoint not updated", errno);
        return false;
    }
    return true;
}

std::string JsonString(const Poco::JSON::Object::Ptr& obj, const std::string& name) {
    if (!obj->has(name)) return "";
    Poco::Dynamic::Var v = obj->get(name);
    if (!v.isString()) {
        ZID_LOG_WARN("member %s of the resumable task file is not a string", name.c_str());
        return "";
    }
    return v.convert<std::string>();
}

// The destination's lock, held from before its checkpoint is read to the end of the call, so
// that two resumable downloads never write one file.
struct HeldFile {
    int fd = -1;
    bool regular = false;
    ~HeldFile() {
        if (fd >= 0) ::close(fd);
    }
};

// False with the reason in `error`.
bool HoldFile(const std::string& path, HeldFile* held, std::string* error) {
    held->fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (held->fd < 0) {
        *error = "open file(" + path + ") fail, errno=" + std::to_string(errno);
        return false;
    }
    struct stat st;
    held->regular = ::fstat(held->fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!held->regular) return true;
    int rc;
    while ((rc = ::flock(held->fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    // Where the file system has no locks, the download goes on as it always did.
    if (rc != 0 && errno == EWOULDBLOCK) {
        *error = "open file(" + path + ") fail, another resumable download is writing it";
        return false;
    }
    return true;
}

}  // namespace

bool ObjectOp::CheckResumableDownloadTask(const std::string& task_file_path,
                                          const std::map<std::string, std::string>& element_map,
                                          uint64_t* resume_offset) {
    std::ifstream ifs(task_file_path.c_str(), std::ios::in | std::ios::binary);
    if (!ifs.is_open()) {
        ZID_LOG_INFO("failed to open resumable task file: %s", task_file_path.c_str());
        return false;
    }
    ZID_LOG_INFO("resumable task file: %s exists, try to parse", task_file_path.c_str());
    Poco::Dynamic::Var parsed;
    try {
        Poco::JSON::Parser parser;
        parsed = parser.parse(ifs);
    } catch (const Poco::Exception& e) {
        ZID_LOG_ERR("failed to parse resumable task file, error msg: %s", e.displayText().c_str());
        return false;
    } catch (const std::exception& e) {
        ZID_LOG_ERR("failed to parse resumable task file, error msg: %s", e.what());
        return false;
    }
    Poco::JSON::Object::Ptr obj;
    try {
        obj = parsed.extract<Poco::JSON::Object::Ptr>();
    } catch (...) {
    }
    if (obj.isNull()) {
        ZID_LOG_ERR("failed to parse resumable task file:%s", task_file_path.c_str());
        return false;
    }
    for (const auto& kv : element_map) {
        std::string local = JsonString(obj, kv.first);
        if (local != kv.second) {
            ZID_LOG_ERR("%s check failed, local:%s, remote:%s", kv.first.c_str(), local.c_str(),
                        kv.second.c_str());
            return false;
        }
        ZID_LOG_DBG("%s check passed", kv.first.c_str());
    }
    uint64_t offset = StringUtil::ParseUint64(JsonString(obj, "resumeOffset"));
    auto it = element_map.find("contentLength");
    uint64_t length = it == element_map.end() ? 0 : StringUtil::ParseUint64(it->second);
    if (offset > 0 && offset <= length) {
        *resume_offset = offset;
        ZID_LOG_DBG("resume download task check passed, resume_offset: %" PRIu64, offset);
        return true;
    }
    ZID_LOG_ERR("invalid resume_offset: %" PRIu64, offset);
    return false;
}

void ObjectOp::UpdateResumableDownloadTaskFile(const std::string& task_file_path,
                                               const std::map<std::string, std::string>& element_map,
                                               uint64_t resume_offset) {
    ZID_LOG_INFO("update file: %s", task_file_path.c_str());
    Poco::JSON::Object obj;
    for (const auto& kv : element_map) obj.set(kv.first, kv.second);
    if (resume_offset > 0) obj.set("resumeOffset", std::to_string(resume_offset));
    // Written beside and renamed, so a process killed mid-write leaves the old checkpoint.
    std::string tmp_path = task_file_path + ".tmp";
    {
        std::ofstream ofs(tmp_path.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
        if (!ofs.is_open()) {
            ZID_LOG_ERR("failed to open file:%s", tmp_path.c_str());
            return;
        }
        obj.stringify(ofs, 0, -1);
        ofs.close();
        if (ofs.fail()) {
            ZID_LOG_ERR("failed to write file:%s", tmp_path.c_str());
            ::remove(tmp_path.c_str());
            return;
        }
    }
    if (::rename(tmp_path.c_str(), task_file_path.c_str()) != 0) {
        ZID_LOG_ERR("failed to rename %s, errno=%d", tmp_path.c_str(), errno);
        ::remove(tmp_path.c_str());
    }
}

ZidResult ObjectOp::ResumableGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                                       const std::shared_ptr<TransferHandler>& handler,
                                       bool change_backup_domain) {
    return GuardedDownload(handler, [&](int& fd, ZidResult& result) -> ZidResult {
        if (!CheckDownloadInput(req, resp, handler, &result)) return result;
        const std::string local_path = req.GetLocalFilePath();
        const std::string task_file_path = local_path + kTaskFileSuffix;
        HeldFile held;

        // A second pass runs only after a resumed file failed its CRC: then from 0.
        for (int pass = 0; pass < 2; ++pass) {
            if (pass > 0) ZID_LOG_INFO("non-resumable download object");
            result = ZidResult();
            HeadObjectResp head_resp;
            ZidResult head_result;
            if (!MeasureObject(req, handler, change_backup_domain, &head_resp, &head_result)) {
                return head_result;
            }
            const uint64_t total = head_resp.GetContentLength();
            const std::string crc_text = head_resp.GetXZidHashCrc64Ecma();
            const std::string etag = head_resp.GetEtag();
            std::map<std::string, std::string> identity;
            identity["contentLength"] = std::to_string(total);
            identity["crc64ecma"] = crc_text;
            identity["eTag"] = etag;
            identity["lastModified"] = head_resp.GetLastModified();

            std::string hold_error;
            if (held.fd < 0 && !HoldFile(local_path, &held, &hold_error)) {
                SetResultAndLogError(result, hold_error);
                if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
                return result;
            }

            uint64_t resume_offset = 0;
            if (CheckResumableDownloadTask(task_file_path, identity, &resume_offset)) {
                ZID_LOG_INFO("resumable task file check passed, resume_offset: %" PRIu64, resume_offset);
                int64_t local_size = FileUtil::GetFileLength(local_path);
                // Slices past the checkpoint may be on disk already (they are written as they
                // arrive); only the checkpointed prefix is trusted and the rest is cut off below.
                if (local_size < 0 || static_cast<uint64_t>(local_size) < resume_offset) {
                    ZID_LOG_ERR("resume_offset: %" PRIu64 " != local_filesize: %" PRId64
                                ", don't use resume download",
                                resume_offset, local_size);
                    resume_offset = 0;
                } else if (crc_text.empty()) {
                    // Nothing could tell a prefix changed on disk since the checkpoint.
                    ZID_LOG_INFO("no crc64 from the service, the local prefix cannot be checked, "
                                 "don't use resume download");
                    resume_offset = 0;
                }
            }

            SliceRun run;
            run.req = &req;
            run.texts = &kResumableTexts;
            run.handler = handler;
            run.path = req.GetPath();
            run.headers = req.GetHeaders();
            run.params = req.GetParams();
            std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                               req.GetBucketName(),
                                                               change_backup_domain);
            run.headers["Host"] = IsDomainSameToHost() ? GetDestDomain() : host;
            if (!etag.empty()) run.headers["If-Match"] = QuotedEtag(etag);
            if (!req.SignHeaderHost()) run.not_signed.insert("Host");
            run.url = GetRealUrl(host, req.GetPath(), req.IsHttps());
            run.compute_crc = !crc_text.empty();

            fd = ::fcntl(held.fd, F_DUPFD_CLOEXEC, 0);
            if (fd < 0) {
                SetResultAndLogError(result, "open file(" + local_path + ") fail, errno=" +
                                                 std::to_string(errno));
                if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
                return result;
            }
            // Cut to the checkpoint first, so that the CRC covers exactly the trusted prefix.
            bool prefix_ok =
                !held.regular || ::ftruncate(fd, static_cast<off_t>(resume_offset)) == 0;
            if (resume_offset > 0 && prefix_ok) {
                run.crc = FileUtil::GetFileCrc64(local_path, &prefix_ok);
                ZID_LOG_INFO("crc64_local: %" PRIu64, run.crc);
            }
            if (!prefix_ok) {
                resume_offset = 0;
                run.crc = 0;
                if (held.regular && ::ftruncate(fd, 0) != 0) {
                    SetResultAndLogError(result, "truncate file(" + local_path + ") fail, errno=" +
                                                     std::to_string(errno));
                    ::close(fd);
                    fd = -1;
                    if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
                    return result;
                }
            }

            run.fd = fd;
            run.start = resume_offset;
            run.total = total;
            // A checkpoint not describing this file goes, so none outlives the bytes it named.
            if (resume_offset == 0) ::remove(task_file_path.c_str());
            // The checkpoint follows the written prefix, so a killed process resumes; without
            // the service's CRC-64 no checkpoint could ever be used, so none is written.
            const bool checkpointed = !crc_text.empty();
            if (checkpointed) {
                run.after_batch = [&](uint64_t downloaded) {
                    if (MakeDurable(fd)) UpdateResumableDownloadTaskFile(task_file_path, identity, downloaded);
                };
            }
            if (handler) {
                handler->SetTotalSize(total);
                handler->ChangeStatus(TransferStatus::IN_PROGRESS);
                if (pass == 0 && resume_offset > 0) handler->AdvanceProgress(resume_offset);
            }

            bool ok = RunSlices(*this, &run);
            result = run.result;
            if (!ok) {
                ZID_LOG_ERR("down data failed");
                ZID_LOG_INFO("truncate file to %" PRIu64, run.downloaded);
                if (::ftruncate(fd, static_cast<off_t>(run.downloaded)) != 0) {
                    ZID_LOG_ERR("truncate file failed, errno=%d", errno);
                }
                if (checkpointed && MakeDurable(fd)) {
                    UpdateResumableDownloadTaskFile(task_file_path, identity, run.downloaded);
                }
                ::close(fd);
                fd = -1;
                if (!run.failed_headers.empty()) resp->ParseFromHeaders(run.failed_headers);
                SetResultAndLogError(result, "download data failed");
                if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
                return result;
            }

            uint64_t local_size = FileSizeOfFd(fd);
            ::close(fd);
            fd = -1;
            if (local_size != total) {
                ::remove(task_file_path.c_str());
                SetResultAndLogError(result, "down data, local file size " +
                                                 std::to_string(local_size) +
                                                 " differs from object size " +
                                                 std::to_string(total));
                if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
                return result;
            }
            ZID_LOG_INFO("down data succeed, start to check crc64");
            if (crc_text.empty() || run.crc == StringUtil::ParseUint64(crc_text)) {
                if (crc_text.empty()) {
                    ZID_LOG_INFO("no crc64 from the service, check skipped");
                } else {
                    ZID_LOG_INFO("crc64 check passed");
                }
                ::remove(task_file_path.c_str());
                resp->ParseFromHeaders(head_resp.GetHeaders());
                resp->SetContentLength(total);
                resp->SetEtag(etag);
                result.SetSucc();
                if (handler) {
                    handler->ChangeStatusWithResponse(TransferStatus::COMPLETED, result,
                                                      resp->GetHeaders(), "");
                }
                return result;
            }
            ZID_LOG_ERR("crc64 check failed, crc64_local: %" PRIu64 ", crc64_server_resp: %s",
                        run.crc, crc_text.c_str());
            ::remove(task_file_path.c_str());
            if (resume_offset > 0 && pass == 0) {
                ZID_LOG_INFO("need to redownload, remove %s, %s", task_file_path.c_str(),
                             local_path.c_str());
                continue;
            }
            ZID_LOG_ERR("we may encounter network error");
            SetResultAndLogError(result, "crc64 check failed, crc64_local: " +
                                             std::to_string(run.crc) +
                                             ", crc64_server_resp: " + crc_text);
            if (handler) handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
            return result;
        }
        return result;
    });
}

}  // namespace zuzezi_zid
