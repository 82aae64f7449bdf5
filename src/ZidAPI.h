/// @file
/// ZidAPI, the one class a caller of the storage client holds, with its synchronous and
/// asynchronous object methods and its bucket, select, live-channel and processing
/// methods. Including it brings in the requests, responses, ZidConfig and ZidResult;
/// AsyncContext comes from trsf/AsyncContext.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "zid/ZidExport.h"
#include "zid/ZidConfig.h"
#include "zid/op/BucketOp.h"
#include "zid/op/ObjectOp.h"
#include "zid/op/ServiceOp.h"
#include "zid/request/BucketReq.h"
#include "zid/request/ObjectReq.h"
#include "zid/response/BucketConfigResp.h"
#include "zid/response/BucketOpResp.h"
#include "zid/response/BucketResp.h"
#include "zid/response/BucketRuleResp.h"
#include "zid/response/InventoryResp.h"
#include "zid/response/ObjectResp.h"
#include "zid/trsf/ZidResult.h"

namespace Poco {
class TaskManager;
}

namespace zuzezi_zid {

class AsyncContext;

/// The one object a caller of the storage client holds. Synchronous methods run an
/// operation on the default domain and, when that failure qualifies, once more on the
/// backup domain; asynchronous methods run on one process-wide task manager and return
/// at once with a context to wait on.
///
/// Every method takes its request by constant reference and its response by pointer and
/// returns a ZidResult: failures are reported there, never thrown (only the constructor
/// and request constructors throw). A failure that never reached the service has
/// GetHttpStatus() -1 and the client's own text in GetErrorMsg(); a service error carries
/// the service's status, code and message. The one retry on the backup domain happens
/// only when ClientSettings::SetRetryOnBackupDomain() is on, the default domain is in use
/// (no destination domain, no intranet address, region not "accelerate") and the first
/// pass failed without a request id, that is without an answer from the service itself.
///
/// Rules a caller meets:
/// - The synchronous methods call no progress or done callback, the synchronous multipart
///   upload MultiUploadObject() included; only the Async... methods do.
/// - Progress callbacks run on pool threads, several at once for AsyncMultiGetObject()
///   and AsyncMultiPutObject(): make them thread-safe.
/// - AsyncContext::WaitUntilFinish() returns only once the done callback has returned and
///   no progress callback runs, so the callbacks may use what lives on the waiter's stack.
///   The done callback may read its context's status and result; a wait on its own
///   context returns at once. A progress callback must not wait for its own transfer.
/// - The log callback (ClientSettings::SetLogCallback()) is a plain function pointer.
/// - Which bucket request a bucket method sends is the caller's BucketReq subclass, not
///   the method's name.
/// - GeneratePresignedUrlReq::SetExpiredTimeInSec() takes a lifetime, and counts only with
///   a start time set (alone it signs 3600 s); the four- and five-argument
///   GeneratePresignedUrl() take an end time and always give an "https://" URL.
/// - GeneratePresignedUrl() answers the text "ObjectName does not support empty, please
///   check!" for an empty key, not an empty string.
///
/// @code
/// #include <zid/ZidAPI.h>
/// #include <zid/trsf/AsyncContext.h>
///
/// #include <atomic>
/// #include <cstdint>
/// #include <iostream>
/// #include <memory>
///
/// int main() {
///     zuzezi_zid::ZidConfig config(1250000000, "AKID...", "secret", "cn-east");
///     config.SetDestDomain("127.0.0.1:8080");   // a local service; omit for the real one
///     zuzezi_zid::ZidAPI api(config);
///
///     zuzezi_zid::GetObjectByFileReq req("photos-1250000000", "2024/a.jpg", "/tmp/a.jpg");
///     zuzezi_zid::GetObjectByFileResp resp;
///     zuzezi_zid::ZidResult result = api.GetObject(req, &resp);
///     if (!result.IsSucc()) {
///         std::cerr << result.GetHttpStatus() << " " << result.GetErrorCode() << " "
///                   << result.GetErrorMsg() << "\n";
///     }
///
///     zuzezi_zid::AsyncMultiGetObjectReq big("photos-1250000000", "big.bin", "/tmp/big.bin");
///     std::atomic<uint64_t> done{0};  // progress comes from several threads at once
///     big.SetTransferProgressCallback([&done](uint64_t n, uint64_t, void*) { done = n; });
///     std::shared_ptr<zuzezi_zid::AsyncContext> ctx = api.AsyncMultiGetObject(big);
///     ctx->WaitUntilFinish();
///     return ctx->GetResult().IsSucc() ? 0 : 1;
/// }
/// @endcode
class ZID_API ZidAPI {
public:
    /// @name Construction and process-wide state
    ///@{

    /// A facade on a copy of config; the first facade of the process also registers the
    /// HTTP and HTTPS stream factories and initialises TLS.
    /// @param config the client configuration, copied: later changes to the caller's
    ///               object do not reach this facade
    /// @throws std::invalid_argument "Invalid region configuration in ZidConfig :" and the
    ///         region, for a region that fails ZidConfig::CheckRegion()
    explicit ZidAPI(const ZidConfig& config);
    /// Counts the facade out. Asynchronous calls it started keep running: each holds its
    /// own copy of the configuration and request.
    ~ZidAPI();

    /// The process-wide instance count follows constructions and destructions one to one.
    ZidAPI(const ZidAPI&) = delete;
    /// Not assignable.
    ZidAPI& operator=(const ZidAPI&) = delete;
    /// Not movable.
    ZidAPI(ZidAPI&&) = delete;
    /// Not movable.
    ZidAPI& operator=(ZidAPI&&) = delete;

    /// Replaces the credentials, under a lock, for the requests this facade signs from now
    /// on; the caller's ZidConfig is not touched. Each request reads the three together.
    /// An id or token holding a control byte (CR, LF, NUL, ...) is logged as an error here,
    /// and every request fails before sending while it stands.
    /// @param access_key access key id
    /// @param secret_key secret key
    /// @param token      temporary token, sent as "x-zid-security-token"; "" for none
    void SetCredentials(const std::string& access_key, const std::string& secret_key,
                        const std::string& token);

    /// The process-wide task manager every asynchronous call runs on, over the pool
    /// "aysnc_pool" (2 threads up to ClientSettings::GetAsynThreadPoolSize(), read once).
    /// Created on first use and never destroyed: pool threads may still run at exit.
    static Poco::TaskManager* AsyncTaskManager();
    /// Number of live facades in the process.
    static int GetInstanceCount();
    ///@}

    /// @name Asynchronous transfers
    /// Each returns at once with a context; the outcome arrives in the context's
    /// TransferHandler, which every call leaves in a final status. The request is copied,
    /// so it need not outlive the call; a stream or user data it points to must, until
    /// WaitUntilFinish() has returned. The request's progress and done callbacks run on
    /// pool threads, and none of them runs any more once a wait has returned. A call made while every
    /// pool thread runs a transfer is queued, in call order, and starts when one of them
    /// finishes, however long that takes: it never fails for want of a thread (a third
    /// AsyncGetObject() on the default two threads waits, then completes). Only tasks the
    /// caller starts on AsyncTaskManager() itself can keep the pool full from outside the
    /// queue: a call that then finds no thread within 10 s fails with "No thread of the
    /// asynchronous pool became free for the transfer". A failure that qualifies
    /// is run once more on the backup domain within the same call. The overloads with a
    /// task_manager argument also set it to AsyncTaskManager().
    ///@{

    /// Uploads the request's local file in one request; the total is the file's size.
    std::shared_ptr<AsyncContext> AsyncPutObject(const AsyncPutObjectReq& req);
    /// AsyncPutObject(), also handing back the task manager.
    std::shared_ptr<AsyncContext> AsyncPutObject(const AsyncPutObjectReq& req,
                                                 Poco::TaskManager*& task_manager);
    /// Uploads what the request's stream holds from its start, in one request; the total
    /// is the stream's length. The caller's stream must outlive the transfer.
    std::shared_ptr<AsyncContext> AsyncPutObject(const AsyncPutObjectByStreamReq& req);
    /// AsyncPutObject() of a stream, also handing back the task manager.
    std::shared_ptr<AsyncContext> AsyncPutObject(const AsyncPutObjectByStreamReq& req,
                                                 Poco::TaskManager*& task_manager);
    /// Multipart upload of the request's local file, as MultiUploadObject() but with
    /// progress (from several pool threads at once), cancel (the status then ends
    /// CANCELED) and the upload id in the handler.
    std::shared_ptr<AsyncContext> AsyncMultiPutObject(const AsyncMultiPutObjectReq& req);
    /// AsyncMultiPutObject(), also handing back the task manager.
    std::shared_ptr<AsyncContext> AsyncMultiPutObject(const AsyncMultiPutObjectReq& req,
                                                      Poco::TaskManager*& task_manager);
    /// Downloads the object into the request's local file in one request.
    std::shared_ptr<AsyncContext> AsyncGetObject(const AsyncGetObjectReq& req);
    /// AsyncGetObject(), also handing back the task manager.
    std::shared_ptr<AsyncContext> AsyncGetObject(const AsyncGetObjectReq& req,
                                                 Poco::TaskManager*& task_manager);
    /// Downloads the object as ResumableGetObject() does, on a pool thread. A resumed
    /// download's first progress value is the checkpoint's offset.
    std::shared_ptr<AsyncContext> AsyncResumableGetObject(const AsyncGetObjectReq& req);
    /// AsyncResumableGetObject(), also handing back the task manager.
    std::shared_ptr<AsyncContext> AsyncResumableGetObject(const AsyncGetObjectReq& req,
                                                          Poco::TaskManager*& task_manager);
    /// Multi-threaded download to a local file: ranged GETs of
    /// ClientSettings::GetDownSliceSize() bytes on ClientSettings::GetDownThreadPoolSize()
    /// threads; progress comes from several of them at once.
    std::shared_ptr<AsyncContext> AsyncMultiGetObject(const AsyncMultiGetObjectReq& req);
    /// AsyncMultiGetObject(), also handing back the task manager.
    std::shared_ptr<AsyncContext> AsyncMultiGetObject(const AsyncMultiGetObjectReq& req,
                                                      Poco::TaskManager*& task_manager);
    ///@}

    /// @name Synchronous object methods
    /// Each runs on the calling thread, calls no progress or done callback, and repeats
    /// once on the backup domain when the first failure qualifies, unless noted. resp is
    /// filled from a successful answer.
    ///@{

    /// Uploads the request's local file in one request, with its "Content-MD5"; an ETag
    /// that differs fails with "Response etag is not correct, Please try again.".
    ZidResult PutObject(const PutObjectByFileReq& req, PutObjectByFileResp* resp);
    /// Uploads what is left of the request's stream in one request. The stream is put back
    /// where it stood before a backup-domain pass.
    ZidResult PutObject(const PutObjectByStreamReq& req, PutObjectByStreamResp* resp);
    /// Downloads the object into the request's stream; before a backup-domain pass the
    /// stream is put back where it stood, so that pass writes over the first one's bytes.
    ZidResult GetObject(const GetObjectByStreamReq& req, GetObjectResp* resp);
    /// Downloads the object into the request's local file, which takes its place only
    /// after a whole download. A key that folds to nothing fails with "The Getobject Key
    /// is illegal" (see ClientSettings::IsObjectKeyCheck()).
    ZidResult GetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp);
    /// Multi-threaded download into the request's local file (see AsyncMultiGetObject()),
    /// without progress; the operation makes its own backup-domain pass.
    ZidResult MultiGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp);
    /// Deletes one object, its key taken exactly (see DeleteObjectReq).
    ZidResult DeleteObject(const DeleteObjectReq& req, DeleteObjectResp* resp);
    /// Deletes several objects in one request; resp lists the deleted and the failed keys.
    ZidResult DeleteObjects(const DeleteObjectsReq& req, DeleteObjectsResp* resp);
    /// The object's headers (length, ETag, type, metadata) without its body.
    ZidResult HeadObject(const HeadObjectReq& req, HeadObjectResp* resp);
    /// Starts a multipart upload; resp holds its upload id.
    ZidResult InitMultiUpload(const InitMultiUploadReq& req, InitMultiUploadResp* resp);
    /// Uploads one part from the request's stream; the stream is put back where it stood
    /// before a backup-domain pass. resp holds the part's ETag.
    ZidResult UploadPartData(const UploadPartDataReq& req, UploadPartDataResp* resp);
    /// Copies one part from another object (see UploadPartCopyDataReq).
    ZidResult UploadPartCopyData(const UploadPartCopyDataReq& req, UploadPartCopyDataResp* resp);
    /// Joins the parts (see CompleteMultiUploadReq for its failures).
    ZidResult CompleteMultiUpload(const CompleteMultiUploadReq& req, CompleteMultiUploadResp* resp);
    /// Multipart upload of the request's local file in parts of
    /// ClientSettings::GetUploadPartSize() bytes on ClientSettings::GetUploadThreadPoolSize()
    /// threads, resuming an unfinished upload of the key whose parts still match the file.
    /// A file of more than 10000 parts fails with "Upload failed, part number: N larger
    /// than 10000". Calls no progress callback, even one set on the request: use
    /// AsyncMultiPutObject() for progress.
    ZidResult MultiUploadObject(const PutObjectByFileReq& req, MultiPutObjectResp* resp);
    /// Multipart upload on the calling thread, part after part, resuming as
    /// MultiUploadObject() does; never repeated on the backup domain. A null resp fails
    /// with "Invalid input parameter".
    ZidResult UploadObjectResumableSingleThreadSync(const PutObjectByFileReq& req,
                                                    ResumableUploadResp* resp);
    /// Abandons a multipart upload and its parts.
    ZidResult AbortMultiUpload(const AbortMultiUploadReq& req, AbortMultiUploadResp* resp);
    /// One page of a multipart upload's parts.
    ZidResult ListParts(const ListPartsReq& req, ListPartsResp* resp);
    /// The object's access-control list.
    ZidResult GetObjectACL(const GetObjectACLReq& req, GetObjectACLResp* resp);
    /// Sets the object's access-control list (see PutObjectACLReq).
    ZidResult PutObjectACL(const PutObjectACLReq& req, BaseResp* resp);
    /// Replaces the object's tag set; sent once, never to the backup domain.
    ZidResult PutObjectTagging(const PutObjectTaggingReq& req, BaseResp* resp);
    /// The object's tag set; sent once, never to the backup domain.
    ZidResult GetObjectTagging(const GetObjectTaggingReq& req, GetObjectTaggingResp* resp);
    /// Removes the object's tag set; sent once, never to the backup domain.
    ZidResult DeleteObjectTagging(const DeleteObjectTaggingReq& req, BaseResp* resp);
    /// Server-side copy in one request (see PutObjectCopyReq); a 2xx "Error" document
    /// fails the call.
    ZidResult PutObjectCopy(const PutObjectCopyReq& req, PutObjectCopyResp* resp);
    /// Server-side copy of any size (see CopyReq): one request under 5 GiB, a multipart
    /// copy above.
    ZidResult Copy(const CopyReq& req, CopyResp* resp);
    /// Restores an archived object (see PostObjectRestoreReq).
    ZidResult PostObjectRestore(const PostObjectRestoreReq& req, BaseResp* resp);
    /// Sends whatever object request req describes (method, path, parameters, headers)
    /// with no body, into any response.
    ZidResult PlainObjectRequest(const ObjectReq& req, BaseResp* resp);
    /// A stream upload whose operation makes its own backup-domain pass, each pass from a
    /// fresh copy of the request.
    ZidResult RetryingPutObjectByStream(const PutObjectByStreamReq& req, PutObjectByStreamResp* resp);
    /// Download that can resume after a failure or a crash: progress is kept in a
    /// checkpoint beside the local file (its name plus ".zidresumabletask"), and a later
    /// call for the same object and file carries on from it while the object is unchanged
    /// and the service gives its CRC-64.
    ///
    /// Whether it resumed: the result does not say (a success has status -1 and no request
    /// id, see ZidResult). The asynchronous form's first progress value is then the
    /// checkpoint's offset rather than one piece of at most 256 KiB, and an INFO line
    /// (log level 3 or more) reads "resumable task file check passed, resume_offset: N".
    ///
    /// It writes in place, not beside the file as GetObject() does: a file already at that
    /// path without a checkpoint of this object is emptied once the object's size is
    /// known and filled as the download goes, and a failure (a full disk, a cancel, a lost connection) leaves a
    /// short file and its checkpoint, which the next call continues.
    ZidResult ResumableGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp);
    /// Uploads a local folder, file by file (see PutObjectsByDirectoryReq); ends at the
    /// first failure with its result.
    ZidResult PutObjects(const PutObjectsByDirectoryReq& req, PutObjectsByDirectoryResp* resp);
    /// Creates an empty object under the key (see PutDirectoryReq).
    ZidResult PutDirectory(const PutDirectoryReq& req, PutDirectoryResp* resp);
    /// Renames an object: copy, then delete of the source (see MoveObjectReq).
    ZidResult MoveObject(const MoveObjectReq& req);

    /// True when a "HEAD" of the object succeeds (on the backup domain too when that
    /// failure qualifies); any failure, a missing object or no answer alike, is false.
    /// Throws std::invalid_argument for a bad bucket name.
    bool ObjectExists(const std::string& bucket_name, const std::string& object_name);

    /// A presigned URL for the request, made without any exchange (see
    /// GeneratePresignedUrlReq: its SetExpiredTimeInSec() is a lifetime, not an end time).
    /// The host is the destination domain when one is set, else the bucket's default
    /// host.
    /// @return the URL; the text "ObjectName does not support empty, please check!" (not a
    ///         URL) for an empty key; "" when no signature could be made.
    std::string GeneratePresignedUrl(const GeneratePresignedUrlReq& req);
    /// A presigned URL valid from start_time_in_s to end_time_in_s, both in seconds since
    /// 1970: unlike GeneratePresignedUrlReq::SetExpiredTimeInSec(), the fourth argument is
    /// an end time, not a lifetime. A start of 0, or an end equal to the start, signs from
    /// now for ClientSettings::GetSignExpiredTime() seconds instead.
    ///
    /// The URL always begins with "https://". For "http://" (a service without TLS, such as
    /// a loopback one), build a GeneratePresignedUrlReq with SetStartTimeInSec(),
    /// SetExpiredTimeInSec() (end minus start) and SetUseHttps(false), and pass it to the
    /// one-argument GeneratePresignedUrl().
    /// @param bucket_name     the bucket; throws std::invalid_argument for a bad name
    /// @param object_name     the key; "" answers "ObjectName does not support empty,
    ///                        please check!"
    /// @param start_time_in_s start of the window, seconds since 1970
    /// @param end_time_in_s   end of the window, seconds since 1970
    /// @param http_method     0 HEAD, 1 GET, 2 PUT, 3 POST, 4 DELETE, 5 OPTIONS
    /// @return the URL; "" (with an error logged) for an end before the start.
    std::string GeneratePresignedUrl(const std::string& bucket_name, const std::string& object_name,
                                     uint64_t start_time_in_s, uint64_t end_time_in_s,
                                     int http_method);
    /// The five-argument GeneratePresignedUrl() for a "GET": the fourth argument is an end
    /// time in seconds since 1970, not a lifetime, and the URL always begins with
    /// "https://" (see the five-argument form for "http://").
    std::string GeneratePresignedUrl(const std::string& bucket_name, const std::string& object_name,
                                     uint64_t start_time_in_s, uint64_t end_time_in_s);

    /// Unsigned URL of an object: scheme, then the destination domain (the
    /// configuration's, else the process-wide one) or "BUCKET.zid.REGION" and the primary
    /// domain suffix, then "/" and the object name. Nothing is sent or checked.
    /// @param bucket the bucket name as the host carries it ("NAME-APPID")
    /// @param object the key, appended unchanged: encode it first where it holds
    ///               characters a URL cannot carry
    /// @param https  "https://" (default) or "http://"
    /// @param region the region; "" means the configuration's
    std::string GetObjectUrl(const std::string& bucket, const std::string& object,
                             bool https = true, const std::string& region = "");
    ///@}

    /// @name Bucket methods
    /// Which bucket request goes out is the caller's BucketReq subclass (its method, path,
    /// sub-resource parameter and GenerateRequestBody()), not the method's name: the
    /// method chooses only how it is sent (no body, the request's body, a generated body
    /// with "Content-MD5") and how often. See BucketReq for an example. Each repeats on the
    /// backup domain as the object methods do, unless noted; BucketOp gives each method's
    /// own refusals.
    ///@{

    /// True when a "HEAD" of the bucket succeeds (on the backup domain too when that
    /// failure qualifies). A bad bucket name is false; nothing is sent and nothing thrown.
    bool BucketExists(const std::string& bucket_name);
    /// The bucket's region; a failure is asked once more of the backup domain, whatever the
    /// retry setting, and "" means neither answered (or the name was bad, then nothing is
    /// sent).
    std::string GetBucketLocation(const std::string& bucket_name);
    /// Deletes, one request each, every object whose key begins with the prefix, page after
    /// page of the listing, and appends each deleted key to resp (may be null). Ends at the
    /// first failure with its result: a failed delete, a page that cannot be listed on
    /// either domain, a page that is no listing, a listing that does not advance ("The
    /// bucket listing did not advance past the marker ...") or strays from the prefix
    /// ("The bucket listing returned the key ..., which is outside the prefix ..."). Keys
    /// deleted before a failure stay deleted.
    ZidResult DeleteObjectsByPrefix(const DeleteObjectsByPrefixReq& req,
                                    DeleteObjectsByPrefixResp* resp);
    /// The service listing, sent once, to the service host (see ServiceOp::GetService()).
    ZidResult GetService(const BaseReq& req, BaseResp* resp);
    /// "HEAD" of the bucket.
    ZidResult HeadBucket(const HeadBucketReq& req, HeadBucketResp* resp);
    /// Sends req with the body given to BaseReq::SetBody(), such as a bucket creation.
    ZidResult PutBucket(const BucketReq& req, BaseResp* resp);
    /// Sends req without a body, into resp, for a bucket get or delete that has no method
    /// of its own: the request says what goes out (method, path, sub-resource parameter),
    /// the response class what is read from the answer. PlainBucketRequestA() to
    /// PlainBucketRequestF() are one and the same routine under six names; any of them
    /// serves any such request, such as "GET /?acl" into a GetBucketACLResp, "GET
    /// /?referer" into a GetBucketRefererResp, "GET /?versions" into a
    /// GetBucketObjectVersionsResp or "GET /?uploads" into a ListMultipartUploadResp. The
    /// README's bucket table lists the sub-resources.
    /// @code
    /// struct GetAclReq : zuzezi_zid::BucketReq {
    ///     explicit GetAclReq(const std::string& b) : BucketReq(b, "GET", "acl") {}
    /// };
    /// zuzezi_zid::GetBucketACLResp acl;
    /// zuzezi_zid::ZidResult r = api.PlainBucketRequestA(GetAclReq("example"), &acl);
    /// @endcode
    ZidResult PlainBucketRequestA(const BucketReq& req, BaseResp* resp);
    /// The same as PlainBucketRequestA(): any bodiless bucket request, into any response.
    ZidResult PlainBucketRequestB(const BucketReq& req, BaseResp* resp);
    /// The same as PlainBucketRequestA(): any bodiless bucket request, into any response.
    ZidResult PlainBucketRequestC(const BucketReq& req, BaseResp* resp);
    /// Puts the request's generated body (a versioning configuration).
    ZidResult PutBucketVersioning(const BucketReq& req, BaseResp* resp);
    /// Puts the request's generated body (a replication configuration).
    ZidResult PutBucketReplication(const BucketReq& req, BaseResp* resp);
    /// Sends req without a body (the replication configuration's deletion).
    ZidResult DeleteBucketReplication(const BucketReq& req, BaseResp* resp);
    /// Puts the request's generated body (a lifecycle configuration).
    ZidResult PutBucketLifecycle(const BucketReq& req, BaseResp* resp);
    /// Sends req without a body (the lifecycle configuration's deletion).
    ZidResult DeleteBucketLifecycle(const BucketReq& req, BaseResp* resp);
    /// Puts an access-control list: by the request's "x-zid-acl" or "x-zid-grant-*"
    /// headers when it has one, else by its generated body.
    ZidResult PutBucketACL(const BucketReq& req, BaseResp* resp);
    /// Sends req with the body given to BaseReq::SetBody() and that body's "Content-MD5".
    ZidResult SendBucketBodyWithMd5(const BucketReq& req, BaseResp* resp);
    /// The same as PlainBucketRequestA(): any bodiless bucket request, into any response.
    ZidResult PlainBucketRequestD(const BucketReq& req, BaseResp* resp);
    /// The same as PlainBucketRequestA(): any bodiless bucket request, into any response.
    ZidResult PlainBucketRequestE(const BucketReq& req, BaseResp* resp);
    /// The same as PlainBucketRequestA(): any bodiless bucket request, into any response.
    ZidResult PlainBucketRequestF(const BucketReq& req, BaseResp* resp);
    /// Puts the request's generated body (a CORS configuration).
    ZidResult PutBucketCORS(const BucketReq& req, BaseResp* resp);
    /// Sends req with the body its GenerateRequestBody() writes ("Content-MD5" when not
    /// empty; none and no body when it writes nothing), into resp: for a bucket request with
    /// a document and no method of its own, such as "PUT /?referer" with a
    /// "RefererConfiguration". It repeats on the backup domain by itself and the facade
    /// adds no repeat: one call sends at most two requests.
    /// GenericBucketRequestA() and GenericBucketRequestB() are one routine under two names.
    /// @code
    /// struct PutRefererReq : zuzezi_zid::BucketReq {
    ///     explicit PutRefererReq(const std::string& b) : BucketReq(b, "PUT", "referer") {}
    ///     bool GenerateRequestBody(std::string* body) const override {
    ///         *body = "<RefererConfiguration><Status>Enabled</Status>...</RefererConfiguration>";
    ///         return true;
    ///     }
    /// };
    /// zuzezi_zid::BaseResp resp;
    /// zuzezi_zid::ZidResult r = api.GenericBucketRequestA(PutRefererReq("example"), &resp);
    /// @endcode
    ZidResult GenericBucketRequestA(const BucketReq& req, BaseResp* resp);
    /// The same as GenericBucketRequestA(): any bucket request with a generated body.
    ZidResult GenericBucketRequestB(const BucketReq& req, BaseResp* resp);
    /// Puts the request's generated body (a logging configuration).
    ZidResult PutBucketLogging(const BucketReq& req, BaseResp* resp);
    /// Puts the request's generated body (a website configuration), without "Content-MD5".
    ZidResult PutBucketWebsite(const BucketReq& req, BaseResp* resp);
    /// Sends req without a body (the website configuration's deletion).
    ZidResult DeleteBucketWebsite(const BucketReq& req, BaseResp* resp);
    /// Puts the request's generated body (a tag set).
    ZidResult PutBucketTagging(const BucketReq& req, BaseResp* resp);
    /// Sends req without a body (the tag set's deletion).
    ZidResult DeleteBucketTagging(const BucketReq& req, BaseResp* resp);
    /// Puts one inventory configuration; the request's id is required ("PutBucketinventory
    /// need to set Id.").
    ZidResult PutBucketInventory(const PutBucketInventoryReq& req, BaseResp* resp);
    /// Deletes one inventory configuration; the request's id is required
    /// ("DeleteBucketinventory need to set Id.").
    ZidResult DeleteBucketInventory(const DeleteBucketInventoryReq& req, BaseResp* resp);
    /// Sends req without a body (the CORS configuration's deletion).
    ZidResult DeleteBucketCORS(const BucketReq& req, BaseResp* resp);
    /// Puts the request's generated body (an intelligent-tiering configuration).
    ZidResult PutBucketIntelligentTiering(const BucketReq& req, BaseResp* resp);
    /// One page of the object listing; a 2xx answer that is no listing fails.
    ZidResult GetBucket(const GetBucketReq& req, GetBucketResp* resp);
    /// Sends req without a body; the answer is read as a versioning configuration.
    ZidResult GetBucketVersioning(const BucketReq& req, GetBucketVersioningResp* resp);
    /// Sends req without a body; the answer is read as a replication configuration.
    ZidResult GetBucketReplication(const BucketReq& req, GetBucketReplicationResp* resp);
    /// Sends req without a body; the answer is read as a lifecycle configuration.
    ZidResult GetBucketLifecycle(const BucketReq& req, GetBucketLifecycleResp* resp);
    /// Sends req without a body; the answer is read as a CORS configuration.
    ZidResult GetBucketCORS(const BucketReq& req, GetBucketCORSResp* resp);
    /// Sends req without a body; the answer is read as a logging configuration.
    ZidResult GetBucketLogging(const BucketReq& req, GetBucketLoggingResp* resp);
    /// Puts the request's generated body (a domain configuration). A refusal in a 2xx
    /// "Error" document fills the response and fails the result with its code and message.
    ZidResult PutBucketDomain(const BucketReq& req, PutBucketDomainResp* resp);
    /// Sends req without a body; the answer is read as a domain configuration.
    ZidResult GetBucketDomain(const BucketReq& req, GetBucketDomainResp* resp);
    /// Sends req without a body; the answer is read as a website configuration.
    ZidResult GetBucketWebsite(const BucketReq& req, GetBucketWebsiteResp* resp);
    /// Sends req without a body; the answer is read as a tag set.
    ZidResult GetBucketTagging(const BucketReq& req, GetBucketTaggingResp* resp);
    /// Gets one inventory configuration; the request's id is required
    /// ("GetBucketinventory need to set Id.").
    ZidResult GetBucketInventory(const GetBucketInventoryReq& req, GetBucketInventoryResp* resp);
    /// Sends req without a body; the answer is read as a list of inventory configurations.
    ZidResult ListBucketInventoryConfigurations(const BucketReq& req,
                                                ListBucketInventoryConfigurationsResp* resp);
    /// Sends req without a body; the answer is read as a list of live channels.
    ZidResult ListLiveChannel(const BucketReq& req, ListLiveChannelResp* resp);
    /// Sends req without a body; the answer is read as an intelligent-tiering configuration.
    ZidResult GetBucketIntelligentTiering(const BucketReq& req,
                                          GetBucketIntelligentTieringResp* resp);
    ///@}

    /// @name Select and live channels
    /// Each repeats on the backup domain as the object methods do.
    ///@{

    /// A select query over one object. Fails also when its answer's event stream is not
    /// whole or carries an error event (see ObjectOp::SelectObjectContent()).
    ZidResult SelectObjectContent(const SelectObjectContentReq& req, SelectObjectContentResp* resp);
    /// Creates or replaces a live channel; on success the response's publish URL carries
    /// the push signature and the temporary token: keep it out of logs.
    ZidResult PutLiveChannel(const PutLiveChannelReq& req, PutLiveChannelResp* resp);
    /// Sends a live-channel request without a body, into resp. The seven are one routine
    /// under seven names, each named for the request class of request/LiveChannelReq.h
    /// that it is meant for; what goes out is the request's, what is read the response's:
    /// | Method | Request | Response |
    /// |---|---|---|
    /// | LiveChannelRequest1() | PutLiveChannelSwitchReq: PUT ?live&switch=enabled or disabled | BaseResp (no document) |
    /// | LiveChannelRequest2() | GetLiveChannelReq: GET ?live | GetLiveChannelResp |
    /// | LiveChannelRequest3() | GetLiveChannelHistoryReq: GET ?live&comp=history | GetLiveChannelHistoryResp |
    /// | LiveChannelRequest4() | GetLiveChannelStatusReq: GET ?live&comp=status | GetLiveChannelStatusResp |
    /// | LiveChannelRequest5() | DeleteLiveChannelReq: DELETE ?live | BaseResp (no document) |
    /// | LiveChannelRequest6() | GetLiveChannelVodPlaylistReq: GET ?vod&starttime&endtime | BaseResp: the playlist is GetBody() |
    /// | LiveChannelRequest7() | PostLiveChannelVodPlaylistReq: POST /CHANNEL/PLAYLIST?vod&starttime&endtime | BaseResp (no document) |
    /// @code
    /// zuzezi_zid::GetLiveChannelStatusReq req("example", "channel-1");
    /// zuzezi_zid::GetLiveChannelStatusResp status;
    /// zuzezi_zid::ZidResult r = api.LiveChannelRequest4(req, &status);
    /// @endcode
    ZidResult LiveChannelRequest1(const ObjectReq& req, BaseResp* resp);
    /// The same as LiveChannelRequest1(), meant for a GetLiveChannelReq into a GetLiveChannelResp.
    ZidResult LiveChannelRequest2(const ObjectReq& req, BaseResp* resp);
    /// The same as LiveChannelRequest1(), meant for a GetLiveChannelHistoryReq into a GetLiveChannelHistoryResp.
    ZidResult LiveChannelRequest3(const ObjectReq& req, BaseResp* resp);
    /// The same as LiveChannelRequest1(), meant for a GetLiveChannelStatusReq into a GetLiveChannelStatusResp.
    ZidResult LiveChannelRequest4(const ObjectReq& req, BaseResp* resp);
    /// The same as LiveChannelRequest1(), meant for a DeleteLiveChannelReq.
    ZidResult LiveChannelRequest5(const ObjectReq& req, BaseResp* resp);
    /// The same as LiveChannelRequest1(), meant for a GetLiveChannelVodPlaylistReq; the playlist is the answer's body.
    ZidResult LiveChannelRequest6(const ObjectReq& req, BaseResp* resp);
    /// The same as LiveChannelRequest1(), meant for a PostLiveChannelVodPlaylistReq.
    ZidResult LiveChannelRequest7(const ObjectReq& req, BaseResp* resp);
    /// "rtmp://" + the bucket's default endpoint + "/live/" + channel + "?" + signature,
    /// made without any exchange; destination domain, intranet and backup domain do not
    /// change it. It carries the temporary token: keep it out of logs.
    /// @param bucket_name    the bucket as the host carries it ("NAME-APPID")
    /// @param channel_name   the live channel
    /// @param expire_seconds the signature's lifetime in seconds; a negative value counts
    ///                       as 0
    /// @param url_params     extra query parameters, signed and percent-encoded
    std::string BuildLivePushUrl(const std::string& bucket_name, const std::string& channel_name,
                                 int expire_seconds,
                                 const std::map<std::string, std::string>& url_params);
    ///@}

    /// @name Data processing
    /// Each is sent once: a processing call is never repeated on the backup domain. What
    /// each does lies wholly in its request; see BucketOp and ObjectOp for the host and
    /// token header each uses.
    ///@{

    /// A bodiless query to the processing host (see BucketOp::DataProcessQuery1()).
    ZidResult DataProcessQuery1(const BucketReq& req, BaseResp* resp);
    /// As DataProcessQuery1().
    ZidResult DataProcessQuery2(const BucketReq& req, BaseResp* resp);
    /// As DataProcessQuery1().
    ZidResult DataProcessQuery3(const BucketReq& req, BaseResp* resp);
    /// As DataProcessQuery1().
    ZidResult DataProcessQuery4(const BucketReq& req, BaseResp* resp);
    /// Sends a processing request to the processing host of the request's bucket (the
    /// regional one for an empty bucket name), with the body its GenerateRequestBody()
    /// writes and that body's "Content-MD5" (neither when it writes nothing); a temporary
    /// token travels as "x-ci-security-token". The answer is read by resp: a BaseResp keeps
    /// it as GetBody(). DataProcessRequest01() to DataProcessRequest24() are one routine
    /// under 24 names; the request decides the call: CreateDataProcessJobsReq (POST /jobs),
    /// CreateDocProcessJobsReq (POST /doc_jobs), UpdateQueueReq (PUT /queue/ID), or a
    /// DataProcessReq with the caller's own method, path and parameters.
    /// @code
    /// zuzezi_zid::CreateDataProcessJobsReq job("example");
    /// job.Options().tag = "Transcode";
    /// job.Options().input.object = "video/in.mp4";
    /// job.Options().queue_id = "queue-1";
    /// zuzezi_zid::BaseResp resp;
    /// zuzezi_zid::ZidResult r = api.DataProcessRequest01(job, &resp);  // resp.GetBody(): the job
    /// @endcode
    ZidResult DataProcessRequest01(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest02(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest03(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest04(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest05(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest06(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest07(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest08(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest09(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest10(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest11(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest12(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest13(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest14(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest15(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest16(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest17(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest18(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest19(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest20(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest21(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest22(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest23(const BucketReq& req, BaseResp* resp);
    /// The same as DataProcessRequest01(): any processing request with a generated body.
    ZidResult DataProcessRequest24(const BucketReq& req, BaseResp* resp);
    /// A bodiless processing request to the bucket host (see
    /// ObjectOp::DataProcessObjectRequest1()).
    ZidResult DataProcessObjectRequest1(const ObjectReq& req, PutObjectResp* resp);
    /// As DataProcessObjectRequest1(), into any response.
    ZidResult DataProcessObjectRequest2(const ObjectReq& req, BaseResp* resp);
    /// As DataProcessObjectRequest1(), into any response.
    ZidResult DataProcessObjectRequest3(const ObjectReq& req, BaseResp* resp);
    /// As DataProcessObjectRequest1(), into any response.
    ZidResult DataProcessObjectRequest4(const ObjectReq& req, BaseResp* resp);
    /// A bodiless request to the regional processing host, which names no bucket.
    ZidResult DataProcessRegionRequest(const ObjectReq& req, BaseResp* resp);
    /// The processing output into the request's local file, which takes its place only
    /// after a whole download.
    ZidResult DataProcessDownloadToFile(const ObjectReq& req, BaseResp* resp);
    /// A download of the request's object into its local file, as GetObject() but on the
    /// default domain only.
    ZidResult DataProcessGetObject1(const GetObjectByFileReq& req, GetObjectByFileResp* resp);
    /// As DataProcessGetObject1().
    ZidResult DataProcessGetObject2(const GetObjectByFileReq& req, GetObjectByFileResp* resp);
    /// An upload of the request's local file with picture-processing rules. When a rule
    /// stores its result under the uploaded key, the upload is sent without "Content-MD5"
    /// and without the ETag check; the caller's request keeps its switches.
    ZidResult PutObjectWithPicOperation(const PutObjectWithPicOperationReq& req,
                                        PutObjectWithPicOperationResp* resp);
    ///@}

private:
    // "<bucket>.<service label>.<region><primary domain suffix>"
    static std::string DefaultEndpointHost(const std::string& bucket, const std::string& region);

    void InitNetwork();
    void ReleaseNetwork();

    std::shared_ptr<ZidConfig> m_config;
    ObjectOp m_object_op;
    BucketOp m_bucket_op;
    ServiceOp m_service_op;
};

}  // namespace zuzezi_zid
