#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZidConfig.h"
#include "op/BaseOp.h"
#include "op/ZidResult.h"
#include "request/LiveChannelReq.h"
#include "request/ObjectReq.h"
#include "request/ProcessReq.h"
#include "request/SelectObjectContentReq.h"
#include "response/LiveChannelResp.h"
#include "response/ObjectResp.h"
#include "response/ProcessResp.h"
#include "response/SelectObjectContentResp.h"

namespace zuzezi_zid {

class TransferHandler;
class FileUploadTask;

// Object operations and transfers. Every operation takes its request by constant
// reference and its response by pointer and reports failures in the result; the
// backup-domain flag sends the exchange to the backup service domain.
class ObjectOp : public BaseOp {
public:
    explicit ObjectOp(const std::shared_ptr<ZidConfig>& config) : BaseOp(config) {}
    virtual ~ObjectOp() = default;

    // ---- single requests --------------------------------------------------------
    ZidResult HeadObject(const HeadObjectReq& req, HeadObjectResp* resp,
                         bool change_backup_domain = false);
    bool ObjectExists(const std::string& bucket_name, const std::string& object_name);

    ZidResult GetObject(const GetObjectByStreamReq& req, GetObjectResp* resp,
                        bool change_backup_domain = false);
    ZidResult GetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                        const std::shared_ptr<TransferHandler>& handler = nullptr,
                        bool change_backup_domain = false);

    ZidResult PutObject(const PutObjectByStreamReq& req, PutObjectByStreamResp* resp,
                        const std::shared_ptr<TransferHandler>& handler = nullptr,
                        bool change_backup_domain = false);
    ZidResult PutObject(const PutObjectByFileReq& req, PutObjectByFileResp* resp,
                        const std::shared_ptr<TransferHandler>& handler = nullptr,
                        bool change_backup_domain = false);

    ZidResult DeleteObject(const DeleteObjectReq& req, DeleteObjectResp* resp,
                           bool change_backup_domain = false);
    ZidResult DeleteObjects(const DeleteObjectsReq& req, DeleteObjectsResp* resp,
                            bool change_backup_domain = false);
    ZidResult PostObjectRestore(const PostObjectRestoreReq& req, BaseResp* resp,
                                bool change_backup_domain = false);

    // ---- multi-threaded and resumable download ---------------------------------
    ZidResult MultiGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp);
    ZidResult MultiThreadDownload(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                                  const std::shared_ptr<TransferHandler>& handler = nullptr,
                                  bool change_backup_domain = false);
    ZidResult ResumableGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                                 const std::shared_ptr<TransferHandler>& handler = nullptr,
                                 bool change_backup_domain = false);

    // ---- multipart upload --------------------------------------------------------
    ZidResult InitMultiUpload(const InitMultiUploadReq& req, InitMultiUploadResp* resp,
                              bool change_backup_domain = false);
    ZidResult UploadPartData(const UploadPartDataReq& req, UploadPartDataResp* resp,
                             bool change_backup_domain = false);
    ZidResult UploadPartCopyData(const UploadPartCopyDataReq& req, UploadPartCopyDataResp* resp,
                                 bool change_backup_domain = false);
    ZidResult CompleteMultiUpload(const CompleteMultiUploadReq& req,
                                  CompleteMultiUploadResp* resp,
                                  bool change_backup_domain = false);
    ZidResult AbortMultiUpload(const AbortMultiUploadReq& req, AbortMultiUploadResp* resp,
                               bool change_backup_domain = false);
    ZidResult ListParts(const ListPartsReq& req, ListPartsResp* resp,
                        bool change_backup_domain = false);

    ZidResult MultiUploadObject(const PutObjectByFileReq& req, MultiPutObjectResp* resp,
                                const std::shared_ptr<TransferHandler>& handler = nullptr,
                                bool change_backup_domain = false);
    ZidResult UploadObjectResumableSingleThreadSync(const PutObjectByFileReq& req,
                                                    ResumableUploadResp* resp);

    // ---- copy and move -------------------------------------------------------------
    ZidResult PutObjectCopy(const PutObjectCopyReq& req, PutObjectCopyResp* resp,
                            bool change_backup_domain = false);
    ZidResult Copy(const CopyReq& req, CopyResp* resp, bool change_backup_domain = false);
    ZidResult MoveObject(const MoveObjectReq& req, bool change_backup_domain = false);

    // ---- directories ---------------------------------------------------------------
    ZidResult PutObjects(const PutObjectsByDirectoryReq& req, PutObjectsByDirectoryResp* resp,
                         bool change_backup_domain = false);
    ZidResult PutDirectory(const PutDirectoryReq& req, PutDirectoryResp* resp,
                           bool change_backup_domain = false);

    // ---- access control and tagging ------------------------------------------------
    ZidResult GetObjectACL(const ObjectReq& req, GetObjectACLResp* resp,
                           bool change_backup_domain = false);
    ZidResult PutObjectACL(const PutObjectACLReq& req, BaseResp* resp,
                           bool change_backup_domain = false);
    ZidResult PutObjectTagging(const PutObjectTaggingReq& req, BaseResp* resp);
    ZidResult GetObjectTagging(const GetObjectTaggingReq& req, GetObjectTaggingResp* resp);
    ZidResult DeleteObjectTagging(const DeleteObjectTaggingReq& req, BaseResp* resp);

    // ---- presigned URL and wrappers ------------------------------------------------
    // The URL; "ObjectName does not support empty, please check!" for an empty object
    // name; an empty string when no signature could be made, never a URL without one.
    std::string GeneratePresignedUrl(const GeneratePresignedUrlReq& req);
    ZidResult PlainObjectRequest(const ObjectReq& req, BaseResp* resp,
                                 bool change_backup_domain = false);
    // One attempt, and one more on the backup domain when that failure qualifies.
    ZidResult RetryingPutObjectByStream(const PutObjectByStreamReq& req,
                                        PutObjectByStreamResp* resp);

    // ---- select and live channels --------------------------------------------------
    // Fails also on a 2xx answer whose event stream is broken, carries an error event (its
    // code and message become the result's) or ends without its End event; the response
    // keeps what was decoded.
    ZidResult SelectObjectContent(const SelectObjectContentReq& req, SelectObjectContentResp* resp,
                                  bool change_backup_domain = false);
    // On success the response's publish URL carries the push signature (and the temporary
    // token, so it is never logged). An answer without a publish URL fails the call.
    ZidResult PutLiveChannel(const PutLiveChannelReq& req, PutLiveChannelResp* resp,
                             bool change_backup_domain = false);
    // One plain exchange each, wholly defined by the request; the requests of LiveChannelReq.h
    // give them their meaning: 1 switch, 2 configuration, 3 history, 4 status, 5 deletion,
    // 6 VOD playlist, 7 VOD playlist stored as an object.
    ZidResult LiveChannelRequest1(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    ZidResult LiveChannelRequest2(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    ZidResult LiveChannelRequest3(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    ZidResult LiveChannelRequest4(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    ZidResult LiveChannelRequest5(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    ZidResult LiveChannelRequest6(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    ZidResult LiveChannelRequest7(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);

    // ---- data processing: each sent once, never to the backup domain -----------------
    // To the bucket host, with the caller's method, path and parameters and no body.
    ZidResult DataProcessObjectRequest1(const ObjectReq& req, PutObjectResp* resp);
    ZidResult DataProcessObjectRequest2(const ObjectReq& req, BaseResp* resp);
    ZidResult DataProcessObjectRequest3(const ObjectReq& req, BaseResp* resp);
    ZidResult DataProcessObjectRequest4(const ObjectReq& req, BaseResp* resp);
    // To the regional processing host, which names no bucket.
    ZidResult DataProcessRegionRequest(const ObjectReq& req, BaseResp* resp);
    // The processing output into the request's local file (GetLocalFilePath).
    ZidResult DataProcessDownloadToFile(const ObjectReq& req, BaseResp* resp);
    // An upload of the local file with the request's switches; resp may be null.
    ZidResult PutObjectWithPicOperation(const PutObjectWithPicOperationReq& req,
                                        PutObjectWithPicOperationResp* resp);

    // ---- pieces shared by the transfers --------------------------------------------
    // Logs text, keeps the first message a result got, marks it failed.
    static void SetResultAndLogError(ZidResult& result, const std::string& text);

    // Upload id of the last unfinished upload listed for exactly this key, or "".
    std::string FindResumeUploadId(const BaseReq& req, const std::string& bucket_name,
                                   const std::string& object_name, bool change_backup_domain);
    // True when every part the service holds matches the local file; fills their ETags.
    bool CheckUploadPart(const PutObjectByFileReq& req, const std::string& bucket_name,
                         const std::string& object_name, const std::string& upload_id,
                         std::vector<std::string>* already_exist_parts);
    bool CheckSinglePart(const PutObjectByFileReq& req, uint64_t offset, uint64_t local_part_size,
                         uint64_t size, const std::string& etag);
    ZidResult MultiThreadUpload(const PutObjectByFileReq& req, const std::string& upload_id,
                                const std::vector<std::string>& already_exist_parts, bool resume_flag,
                                std::vector<std::string>* etags_ptr,
                                std::vector<uint64_t>* part_numbers_ptr,
                                const std::shared_ptr<TransferHandler>& handler,
                                bool change_backup_domain);
    ZidResult SingleThreadUpload(const PutObjectByFileReq& req, const std::string& upload_id,
                                 const std::vector<std::string>& already_exist_parts,
                                 bool resume_flag, std::vector<std::string>* etags_ptr,
                                 std::vector<uint64_t>* part_numbers_ptr,
                                 UploadPartDataResp* resp);
    // The unfinished upload of this key when the service still holds its parts as the local
    // file has them (*resumed, with their ETags), else a new one started with the caller's
    // headers. A failed start leaves *upload_id empty and the service's answer in *init_resp.
    ZidResult OpenMultiUpload(const PutObjectByFileReq& req, bool change_backup_domain,
                              std::string* upload_id, bool* resumed,
                              std::vector<std::string>* resume_etags,
                              InitMultiUploadResp* init_resp);
    // Joins the parts; a CRC-64 the service reports must match the local file's.
    ZidResult CompleteUploadedParts(const PutObjectByFileReq& req, const std::string& upload_id,
                                    const std::vector<std::string>& etags,
                                    const std::vector<uint64_t>& part_numbers,
                                    bool change_backup_domain, CompleteMultiUploadResp* comp_resp);
    // Sets a part worker up for one part: parameters, headers, a fresh signature.
    void PrepareUploadPartTask(const std::string& upload_id, const std::string& host,
                               const std::string& path, uint64_t len,
                               uint64_t part_number, FileUploadTask* task, bool sign_header_host);

    // Checkpoint of the resumable download: true when it may be used (sets *resume_offset).
    bool CheckResumableDownloadTask(const std::string& task_file_path,
                                    const std::map<std::string, std::string>& element_map,
                                    uint64_t* resume_offset);
    void UpdateResumableDownloadTaskFile(const std::string& task_file_path,
                                         const std::map<std::string, std::string>& element_map,
                                         uint64_t resume_offset);

private:
    // Streams the answer into the request's local file, which takes its place only after a
    // download that was written and closed without error. *opened false: nothing was sent.
    ZidResult DownloadToLocalFile(const std::string& host, const ObjectReq& req, BaseResp* resp,
                                  const std::shared_ptr<TransferHandler>& handler, bool* opened);
    ZidResult DataProcessPlain(const std::string& host, const ObjectReq& req, BaseResp* resp);
    ZidResult GetObjectUnguarded(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                                 const std::shared_ptr<TransferHandler>& handler,
                                 bool change_backup_domain);
    ZidResult PutObjectUnguarded(const PutObjectByStreamReq& req, PutObjectByStreamResp* resp,
                                 const std::shared_ptr<TransferHandler>& handler,
                                 bool change_backup_domain);
    ZidResult PutObjectUnguarded(const PutObjectByFileReq& req, PutObjectByFileResp* resp,
                                 const std::shared_ptr<TransferHandler>& handler,
                                 bool change_backup_domain);
    ZidResult CopyUnguarded(const CopyReq& req, CopyResp* resp, bool change_backup_domain);
    ZidResult MoveObjectUnguarded(const MoveObjectReq& req, bool change_backup_domain);
    ZidResult PutObjectsUnguarded(const PutObjectsByDirectoryReq& req,
                                  PutObjectsByDirectoryResp* resp, bool change_backup_domain);

    // What both downloads start with. On false the handler holds its final status and
    // *result says why.
    bool CheckDownloadInput(const GetObjectByFileReq& req, const GetObjectByFileResp* resp,
                            const std::shared_ptr<TransferHandler>& handler, ZidResult* result);
    bool MeasureObject(const GetObjectByFileReq& req,
                       const std::shared_ptr<TransferHandler>& handler, bool change_backup_domain,
                       HeadObjectResp* head_resp, ZidResult* result);
};

}  // namespace zuzezi_zid
