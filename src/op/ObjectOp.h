/// @file
/// ObjectOp, the object operations and transfers: single requests, multi-threaded and
/// resumable downloads, multipart upload, copy and move, directories, ACL and tagging,
/// presigned URLs, select, live channels and object processing.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/ZidConfig.h"
#include "zid/op/BaseOp.h"
#include "zid/request/LiveChannelReq.h"
#include "zid/request/ObjectReq.h"
#include "zid/request/ProcessReq.h"
#include "zid/request/SelectObjectContentReq.h"
#include "zid/response/LiveChannelResp.h"
#include "zid/response/ObjectResp.h"
#include "zid/response/ProcessResp.h"
#include "zid/response/SelectObjectContentResp.h"
#include "zid/trsf/ZidResult.h"

namespace zuzezi_zid {

class TransferHandler;
class FileUploadTask;
class UploadSource;

/// Object operations and transfers. Every operation takes its request by constant
/// reference and its response by pointer and reports failures in the result; the
/// backup-domain flag sends the exchange to the backup service domain. Unless noted an
/// operation makes one pass and never repeats itself: ZidAPI adds the repeat on the
/// backup domain. The facade's methods of the same name describe each operation; here
/// only what differs is noted.
///
/// A transfer given a TransferHandler reports its progress and its final status there
/// (RETRY_ON_BACKUP_DOMAIN when a second pass on the backup domain is due); without one
/// it reports nothing but its result.
class ZID_API ObjectOp : public BaseOp {
public:
    /// @param config shared with the facade and the other operation classes
    explicit ObjectOp(const std::shared_ptr<ZidConfig>& config) : BaseOp(config) {}
    virtual ~ObjectOp() = default;

    /// @name Single requests
    ///@{

    /// "HEAD" of an object; see ZidAPI::HeadObject().
    ZidResult HeadObject(const HeadObjectReq& req, HeadObjectResp* resp,
                         bool change_backup_domain = false);
    /// True when a "HEAD" of the object succeeds, on the default domain or, when that
    /// failure qualifies, on the backup domain. Any failure (a missing object, no answer)
    /// is false. Throws std::invalid_argument for a bad bucket name.
    bool ObjectExists(const std::string& bucket_name, const std::string& object_name);

    /// Download into the request's stream; see ZidAPI::GetObject().
    ZidResult GetObject(const GetObjectByStreamReq& req, GetObjectResp* resp,
                        bool change_backup_domain = false);
    /// Download into the request's local file; see ZidAPI::GetObject(). The handler, which
    /// may be null, counts progress and carries the cancel.
    ZidResult GetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                        const std::shared_ptr<TransferHandler>& handler = nullptr,
                        bool change_backup_domain = false);

    /// Upload of the request's stream in one request; see ZidAPI::PutObject(). The stream
    /// is put back where it stood when the pass ends. The handler, which may be null,
    /// counts progress and carries the cancel.
    ZidResult PutObject(const PutObjectByStreamReq& req, PutObjectByStreamResp* resp,
                        const std::shared_ptr<TransferHandler>& handler = nullptr,
                        bool change_backup_domain = false);
    /// Upload of the request's local file in one request; see ZidAPI::PutObject(). The
    /// handler, which may be null, counts progress and carries the cancel.
    ZidResult PutObject(const PutObjectByFileReq& req, PutObjectByFileResp* resp,
                        const std::shared_ptr<TransferHandler>& handler = nullptr,
                        bool change_backup_domain = false);

    /// "DELETE" of an object; see ZidAPI::DeleteObject().
    ZidResult DeleteObject(const DeleteObjectReq& req, DeleteObjectResp* resp,
                           bool change_backup_domain = false);
    /// Deletes several objects in one request; see ZidAPI::DeleteObjects().
    ZidResult DeleteObjects(const DeleteObjectsReq& req, DeleteObjectsResp* resp,
                            bool change_backup_domain = false);
    /// Restores an archived object; see ZidAPI::PostObjectRestore().
    ZidResult PostObjectRestore(const PostObjectRestoreReq& req, BaseResp* resp,
                                bool change_backup_domain = false);
    ///@}

    /// @name Multi-threaded and resumable download
    ///@{

    /// MultiThreadDownload() without a handler, repeated once on the backup domain when
    /// the failure qualifies; see ZidAPI::MultiGetObject().
    ZidResult MultiGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp);
    /// Parallel download into the request's local file: a "HEAD" for the length, then
    /// ranged GETs of ClientSettings::GetDownSliceSize() bytes on
    /// ClientSettings::GetDownThreadPoolSize() threads, written in order at their offsets.
    /// The handler, which may be null, counts progress (from several pool threads at once)
    /// and carries the cancel.
    /// @return failure texts of its own include "failed to get object length before
    ///         downloading object.", "download data failed" and "crc64 check failed, ..."
    ///         (also for a "x-zid-hash-crc64ecma" of the HEAD that is not one decimal value).
    ZidResult MultiThreadDownload(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                                  const std::shared_ptr<TransferHandler>& handler = nullptr,
                                  bool change_backup_domain = false);
    /// Download that can resume: progress is kept in a checkpoint beside the local file
    /// (its name plus ".zidresumabletask"), and a later call for the same object and file
    /// carries on from it while the object is unchanged; see ZidAPI::ResumableGetObject().
    /// The handler, which may be null, counts progress and carries the cancel.
    ZidResult ResumableGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp,
                                 const std::shared_ptr<TransferHandler>& handler = nullptr,
                                 bool change_backup_domain = false);
    ///@}

    /// @name Multipart upload
    ///@{

    /// Starts a multipart upload; see ZidAPI::InitMultiUpload().
    ZidResult InitMultiUpload(const InitMultiUploadReq& req, InitMultiUploadResp* resp,
                              bool change_backup_domain = false);
    /// Uploads one part from the request's stream; see ZidAPI::UploadPartData().
    ZidResult UploadPartData(const UploadPartDataReq& req, UploadPartDataResp* resp,
                             bool change_backup_domain = false);
    /// Copies one part from another object; see ZidAPI::UploadPartCopyData().
    ZidResult UploadPartCopyData(const UploadPartCopyDataReq& req, UploadPartCopyDataResp* resp,
                                 bool change_backup_domain = false);
    /// Joins the parts; see ZidAPI::CompleteMultiUpload().
    ZidResult CompleteMultiUpload(const CompleteMultiUploadReq& req,
                                  CompleteMultiUploadResp* resp,
                                  bool change_backup_domain = false);
    /// Abandons an upload; see ZidAPI::AbortMultiUpload().
    ZidResult AbortMultiUpload(const AbortMultiUploadReq& req, AbortMultiUploadResp* resp,
                               bool change_backup_domain = false);
    /// Lists an upload's parts; see ZidAPI::ListParts().
    ZidResult ListParts(const ListPartsReq& req, ListPartsResp* resp,
                        bool change_backup_domain = false);

    /// Multipart upload of the request's local file on ClientSettings::GetUploadThreadPoolSize()
    /// threads, resuming an unfinished upload of the same key whose parts still match the
    /// file; see ZidAPI::MultiUploadObject(). resp receives the combined result and may be
    /// null only when a handler is given (both null fail with "Invalid input parameter").
    /// The handler counts progress (from several pool threads at once), carries the cancel
    /// (then the status ends CANCELED) and the upload id.
    ZidResult MultiUploadObject(const PutObjectByFileReq& req, MultiPutObjectResp* resp,
                                const std::shared_ptr<TransferHandler>& handler = nullptr,
                                bool change_backup_domain = false);
    /// Multipart upload of the request's local file on the calling thread, part after
    /// part, resuming as MultiUploadObject() does; see
    /// ZidAPI::UploadObjectResumableSingleThreadSync(). A null resp fails with "Invalid
    /// input parameter".
    ZidResult UploadObjectResumableSingleThreadSync(const PutObjectByFileReq& req,
                                                    ResumableUploadResp* resp);
    ///@}

    /// @name Copy and move
    ///@{

    /// Server-side copy in one request; see ZidAPI::PutObjectCopy().
    ZidResult PutObjectCopy(const PutObjectCopyReq& req, PutObjectCopyResp* resp,
                            bool change_backup_domain = false);
    /// Server-side copy of any size; see ZidAPI::Copy() and CopyReq.
    ZidResult Copy(const CopyReq& req, CopyResp* resp, bool change_backup_domain = false);
    /// Copy, then delete of the source; see MoveObjectReq.
    ZidResult MoveObject(const MoveObjectReq& req, bool change_backup_domain = false);
    ///@}

    /// @name Directories
    ///@{

    /// Uploads a local folder; see PutObjectsByDirectoryReq. Ends at the first failure
    /// with its result; resp lists what went up before.
    ZidResult PutObjects(const PutObjectsByDirectoryReq& req, PutObjectsByDirectoryResp* resp,
                         bool change_backup_domain = false);
    /// Creates an empty object under the key; see PutDirectoryReq.
    ZidResult PutDirectory(const PutDirectoryReq& req, PutDirectoryResp* resp,
                           bool change_backup_domain = false);
    ///@}

    /// @name Access control and tagging
    ///@{

    /// Gets the object's access-control list; any ObjectReq that asks "?acl" will do.
    ZidResult GetObjectACL(const ObjectReq& req, GetObjectACLResp* resp,
                           bool change_backup_domain = false);
    /// Sets the object's access-control list; see PutObjectACLReq.
    ZidResult PutObjectACL(const PutObjectACLReq& req, BaseResp* resp,
                           bool change_backup_domain = false);
    /// Replaces the object's tag set, with the body's "Content-MD5"; default domain only.
    ZidResult PutObjectTagging(const PutObjectTaggingReq& req, BaseResp* resp);
    /// Gets the object's tag set; default domain only.
    ZidResult GetObjectTagging(const GetObjectTaggingReq& req, GetObjectTaggingResp* resp);
    /// Removes the object's tag set; default domain only.
    ZidResult DeleteObjectTagging(const DeleteObjectTaggingReq& req, BaseResp* resp);
    ///@}

    /// @name Presigned URL and wrappers
    ///@{

    /// A signed URL for the request, made without any exchange; see
    /// GeneratePresignedUrlReq for its time window. The host is the destination domain
    /// when one is set, else the bucket's default host; a temporary token travels as the
    /// parameter "x-zid-security-token".
    /// @return the URL; the text "ObjectName does not support empty, please check!" (not a
    ///         URL) for an empty object name; "" when no signature could be made, never a
    ///         URL without one.
    std::string GeneratePresignedUrl(const GeneratePresignedUrlReq& req);
    /// Sends whatever object request req describes, with no body; see
    /// ZidAPI::PlainObjectRequest().
    ZidResult PlainObjectRequest(const ObjectReq& req, BaseResp* resp,
                                 bool change_backup_domain = false);
    /// A stream upload: one attempt, and one more on the backup domain when that failure
    /// qualifies, each from a fresh copy of the request.
    ZidResult RetryingPutObjectByStream(const PutObjectByStreamReq& req,
                                        PutObjectByStreamResp* resp);
    ///@}

    /// @name Select and live channels
    ///@{

    /// A select query over one object. Fails also on a 2xx answer whose event stream is
    /// broken, carries an error event (its code and message become the result's) or ends
    /// without its End event; the response keeps what was decoded.
    ZidResult SelectObjectContent(const SelectObjectContentReq& req, SelectObjectContentResp* resp,
                                  bool change_backup_domain = false);
    /// Creates or replaces a live channel. On success the response's publish URL carries
    /// the push signature (and the temporary token, so it is never logged). An answer
    /// without a publish URL fails the call.
    ZidResult PutLiveChannel(const PutLiveChannelReq& req, PutLiveChannelResp* resp,
                             bool change_backup_domain = false);
    /// One plain exchange, wholly defined by the request (method, path, parameters, no
    /// body); the requests of LiveChannelReq.h give the seven their meaning: 1 switch,
    /// 2 configuration, 3 history, 4 status, 5 deletion, 6 VOD playlist, 7 VOD playlist
    /// stored as an object.
    ZidResult LiveChannelRequest1(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    /// As LiveChannelRequest1(): a channel's configuration.
    ZidResult LiveChannelRequest2(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    /// As LiveChannelRequest1(): a channel's history.
    ZidResult LiveChannelRequest3(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    /// As LiveChannelRequest1(): a channel's status.
    ZidResult LiveChannelRequest4(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    /// As LiveChannelRequest1(): a channel's deletion.
    ZidResult LiveChannelRequest5(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    /// As LiveChannelRequest1(): a VOD playlist.
    ZidResult LiveChannelRequest6(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    /// As LiveChannelRequest1(): a VOD playlist stored as an object.
    ZidResult LiveChannelRequest7(const ObjectReq& req, BaseResp* resp, bool change_backup_domain = false);
    ///@}

    /// @name Data processing
    /// Each sent once, never to the backup domain; a temporary token travels as
    /// "x-zid-security-token".
    ///@{

    /// To the bucket host, with the caller's method, path and parameters and no body; the
    /// answer's headers fill a response of the PutObjectResp family.
    ZidResult DataProcessObjectRequest1(const ObjectReq& req, PutObjectResp* resp);
    /// As DataProcessObjectRequest1(), into any response.
    ZidResult DataProcessObjectRequest2(const ObjectReq& req, BaseResp* resp);
    /// As DataProcessObjectRequest1(), into any response.
    ZidResult DataProcessObjectRequest3(const ObjectReq& req, BaseResp* resp);
    /// As DataProcessObjectRequest1(), into any response.
    ZidResult DataProcessObjectRequest4(const ObjectReq& req, BaseResp* resp);
    /// To the regional processing host, which names no bucket.
    ZidResult DataProcessRegionRequest(const ObjectReq& req, BaseResp* resp);
    /// The processing output into the request's local file (GetLocalFilePath()), which
    /// takes its place only after a whole download.
    ZidResult DataProcessDownloadToFile(const ObjectReq& req, BaseResp* resp);
    /// An upload of the local file with the request's switches and processing rules;
    /// resp may be null.
    ZidResult PutObjectWithPicOperation(const PutObjectWithPicOperationReq& req,
                                        PutObjectWithPicOperationResp* resp);
    ///@}

    /// @name Pieces shared by the transfers
    /// Public for the part workers and tests; a caller has no need of them.
    ///@{

    /// Logs text at error level, keeps the first message a result got, marks it failed.
    static void SetResultAndLogError(ZidResult& result, const std::string& text);

    /// Upload id of the last unfinished upload listed for exactly this key, or "" (also
    /// when the listing fails).
    std::string FindResumeUploadId(const BaseReq& req, const std::string& bucket_name,
                                   const std::string& object_name, bool change_backup_domain);
    /// Ids of every unfinished upload listed for exactly this key, the last listed first.
    std::vector<std::string> ListResumeUploadIds(const BaseReq& req, const std::string& bucket_name,
                                                 const std::string& object_name,
                                                 bool change_backup_domain);
    /// True when every part the service holds for upload_id matches the local file (size
    /// and MD5); fills their ETags by part index.
    bool CheckUploadPart(const PutObjectByFileReq& req, const std::string& bucket_name,
                         const std::string& object_name, const std::string& upload_id,
                         std::vector<std::string>* already_exist_parts);
    /// True when the local file's bytes at offset (local_part_size long) have the given
    /// size and the ETag's MD5.
    bool CheckSinglePart(const PutObjectByFileReq& req, uint64_t offset, uint64_t local_part_size,
                         uint64_t size, const std::string& etag);
    /// Uploads the parts of the local file on a pool, skipping those already uploaded;
    /// fills the ETags and part numbers to complete with.
    ZidResult MultiThreadUpload(const PutObjectByFileReq& req, const std::string& upload_id,
                                const std::vector<std::string>& already_exist_parts, bool resume_flag,
                                std::vector<std::string>* etags_ptr,
                                std::vector<uint64_t>* part_numbers_ptr,
                                const std::shared_ptr<TransferHandler>& handler,
                                bool change_backup_domain);
    /// Uploads the parts of the local file one after another on the calling thread,
    /// skipping those already uploaded; resp holds the last part's answer.
    ZidResult SingleThreadUpload(const PutObjectByFileReq& req, const std::string& upload_id,
                                 const std::vector<std::string>& already_exist_parts,
                                 bool resume_flag, std::vector<std::string>* etags_ptr,
                                 std::vector<uint64_t>* part_numbers_ptr,
                                 UploadPartDataResp* resp);
    /// The unfinished upload of this key when the service still holds its parts as the
    /// local file has them (*resumed, with their ETags), else a new one started with the
    /// caller's headers. A failed start leaves *upload_id empty and the service's answer
    /// in *init_resp. *rejected_ids, when given, receives the unfinished uploads of the key
    /// that were looked at and whose parts no longer match.
    ZidResult OpenMultiUpload(const PutObjectByFileReq& req, bool change_backup_domain,
                              std::string* upload_id, bool* resumed,
                              std::vector<std::string>* resume_etags,
                              InitMultiUploadResp* init_resp,
                              std::vector<std::string>* rejected_ids = nullptr);
    /// Joins the parts; with BaseReq::CheckCRC64() on, a CRC-64 the service reports must
    /// match the local file's, else the call fails with "MultiUploadObject failed, crc64
    /// check failed, ...". Once joined, the uploads rejected_ids are aborted: nothing will
    /// resume them any more.
    ZidResult CompleteUploadedParts(const PutObjectByFileReq& req, const std::string& upload_id,
                                    const std::vector<std::string>& etags,
                                    const std::vector<uint64_t>& part_numbers,
                                    bool change_backup_domain, CompleteMultiUploadResp* comp_resp,
                                    const std::vector<std::string>& rejected_ids = {});
    /// Sets a part worker up for one part: parameters, headers, a fresh signature.
    void PrepareUploadPartTask(const std::string& upload_id, const std::string& host,
                               const std::string& path, uint64_t len,
                               uint64_t part_number, FileUploadTask* task, bool sign_header_host);

    /// Reads the resumable download's checkpoint.
    /// @param task_file_path the checkpoint file
    /// @param element_map    what identifies the download now (object, ETag, size, ...)
    /// @param resume_offset  receives the offset to go on from
    /// @return true when the checkpoint exists and matches element_map, so it may be used.
    bool CheckResumableDownloadTask(const std::string& task_file_path,
                                    const std::map<std::string, std::string>& element_map,
                                    uint64_t* resume_offset);
    /// Writes the resumable download's checkpoint (beside and renamed, so a process killed
    /// mid-write leaves the old one).
    void UpdateResumableDownloadTaskFile(const std::string& task_file_path,
                                         const std::map<std::string, std::string>& element_map,
                                         uint64_t resume_offset);
    ///@}

private:
    // A failed abort is only logged: the upload stays open, where nothing will resume it.
    void AbortLeftUpload(const PutObjectByFileReq& req, const std::string& upload_id,
                         bool change_backup_domain, const char* which);
    // When the file is no longer as source found it at the start, aborts upload_id and fails
    // *result saying the file changed while it was uploaded.
    bool AbortWhenChanged(const PutObjectByFileReq& req, const UploadSource& source,
                          const std::string& upload_id, bool change_backup_domain,
                          ZidResult* result);
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
