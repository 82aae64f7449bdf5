#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <sstream>

#include "ClientSettings.h"
#include "op/ObjectOpDetail.h"
#include "util/FileUtil.h"
#include "util/LogUtil.h"

namespace zuzezi_zid {

using namespace op_detail;

ZidResult ObjectOp::PutDirectory(const PutDirectoryReq& req, PutDirectoryResp* resp,
                                 bool change_backup_domain) {
    std::string host = ClientSettings::BuildBucketHost(GetAppId(), GetRegion(),
                                                       req.GetBucketName(), change_backup_domain);
    std::istringstream empty;
    std::map<std::string, std::string> additional_headers;
    std::map<std::string, std::string> additional_params;
    return UploadAction(host, req.GetPath(), req, additional_headers, additional_params, empty, resp);
}

namespace {

std::string JoinKey(const std::string& prefix, const std::string& rel) {
    std::string r = rel;
    while (!r.empty() && r[0] == '/') r.erase(0, 1);
    if (prefix.empty()) return r;
    std::string p = prefix;
    while (!p.empty() && p.back() == '/') p.pop_back();
    if (p.empty()) return r;
    return p + "/" + r;
}

}  // namespace

ZidResult ObjectOp::PutObjectsUnguarded(const PutObjectsByDirectoryReq& req,
                                        PutObjectsByDirectoryResp* resp, bool change_backup_domain) {
    ZidResult result;
    std::string directory = req.GetDirectoryName();
    if (directory.empty() || !FileUtil::DirectoryExists(directory)) {
        std::string msg = "directory :" + directory + " not exists";
        ZID_LOG_ERR("%s", msg.c_str());
        result.SetErrorMsg(msg);
        result.SetFail();
        return result;
    }
    std::string root = directory;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    const std::string bucket = req.GetBucketName();
    const std::string zid_path = req.GetZidPath();

    // Walked by hand so links are never followed: no loops, nothing outside the tree. Depth
    // first: a folder, then its whole contents, then its next sibling.
    std::vector<std::string> pending;  // relative paths, the next one to visit last
    auto push_children = [&](const std::string& rel_dir) -> bool {
        std::string abs_dir = rel_dir.empty() ? root : root + "/" + rel_dir;
        DIR* dir = ::opendir(abs_dir.c_str());
        if (!dir) {
            SetResultAndLogError(result, "failed to open directory: " + abs_dir);
            return false;
        }
        std::vector<std::string> names;
        while (struct dirent* ent = ::readdir(dir)) {
            std::string name = ent->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            pending.push_back(rel_dir.empty() ? *it : rel_dir + "/" + *it);
        }
        return true;
    };
    if (!push_children("")) return result;
    while (!pending.empty()) {
        std::string rel = pending.back();
        pending.pop_back();
        std::string local = root + "/" + rel;
        struct stat st;
        if (::lstat(local.c_str(), &st) != 0) continue;
        std::string key = JoinKey(zid_path, rel);
        PutObjectsByDirectoryResp::PutResp entry;
        entry.m_file_name = local;
        entry.m_object_name = key;
        if (S_ISDIR(st.st_mode)) {
            PutDirectoryReq dir_req(bucket, key);
            dir_req.AddHeaders(req.GetHeaders());
            PutDirectoryResp dir_resp;
            ZID_LOG_DBG("start to mkdir: %s", local.c_str());
            ZidResult r = PutDirectory(dir_req, &dir_resp, change_backup_domain);
            if (!r.IsSucc()) {
                ZID_LOG_ERR("failed to mkdir: %s", local.c_str());
                return r;
            }
            entry.m_resp.CopyFrom(dir_resp);
            resp->AddPutResp(entry);
            if (!push_children(rel)) return result;
        } else if (S_ISREG(st.st_mode)) {
            PutObjectByFileReq file_req(bucket, key, local);
            file_req.AddHeaders(req.GetHeaders());
            PutObjectByFileResp file_resp;
            ZID_LOG_DBG("start to upload %s to %s", local.c_str(), key.c_str());
            ZidResult r = PutObject(file_req, &file_resp, nullptr, change_backup_domain);
            if (!r.IsSucc()) {
                ZID_LOG_ERR("failed to upload file: %s to zid", local.c_str());
                return r;
            }
            entry.m_resp.CopyFrom(file_resp);
            resp->AddPutResp(entry);
        } else {
            // FIFOs block, sockets cannot be read, links may leave the tree.
            ZID_LOG_WARN("skip %s: not a regular file or folder", local.c_str());
        }
    }
    result.SetSucc();
    return result;
}

ZidResult ObjectOp::PutObjects(const PutObjectsByDirectoryReq& req, PutObjectsByDirectoryResp* resp,
                               bool change_backup_domain) {
    return Guarded("directory upload", nullptr,
                   [&] { return PutObjectsUnguarded(req, resp, change_backup_domain); });
}

}  // namespace zuzezi_zid
