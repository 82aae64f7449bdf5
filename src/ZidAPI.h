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
#include "zid/op/ZidResult.h"
#include "zid/request/BucketReq.h"
#include "zid/request/ObjectReq.h"
#include "zid/response/BucketConfigResp.h"
#include "zid/response/BucketOpResp.h"
#include "zid/response/BucketResp.h"
#include "zid/response/BucketRuleResp.h"
#include "zid/response/InventoryResp.h"
#include "zid/response/ObjectResp.h"

namespace Poco {
class TaskManager;
}

namespace zuzezi_zid {

class AsyncContext;

// The one object a caller of the storage client holds. Synchronous methods run an
// operation on the default domain and, when that failure qualifies, once more on the
// backup domain; asynchronous methods run on one process-wide task manager and return
// at once with a context to wait on.
class ZID_API ZidAPI {
public:
    // Throws std::invalid_argument for a region that fails ZidConfig::CheckRegion.
    explicit ZidAPI(const ZidConfig& config);
    ~ZidAPI();

    // The process-wide instance count follows constructions and destructions one to one.
    ZidAPI(const ZidAPI&) = delete;
    ZidAPI& operator=(const ZidAPI&) = delete;
    ZidAPI(ZidAPI&&) = delete;
    ZidAPI& operator=(ZidAPI&&) = delete;

    // Seen by this facade's operations only; the caller's ZidConfig is not touched.
    void SetCredentials(const std::string& access_key, const std::string& secret_key,
                        const std::string& token);

    // Created on first use and never destroyed: pool threads may still run at exit.
    static Poco::TaskManager* AsyncTaskManager();
    // Number of live facades.
    static int GetInstanceCount();

    // ---- asynchronous transfers -------------------------------------------------
    // Each returns at once; the outcome arrives in the context's TransferHandler.
    std::shared_ptr<AsyncContext> AsyncPutObject(const AsyncPutObjectReq& req);
    std::shared_ptr<AsyncContext> AsyncPutObject(const AsyncPutObjectReq& req,
                                                 Poco::TaskManager*& task_manager);
    // The caller's stream must outlive the transfer.
    std::shared_ptr<AsyncContext> AsyncPutObject(const AsyncPutObjectByStreamReq& req);
    std::shared_ptr<AsyncContext> AsyncPutObject(const AsyncPutObjectByStreamReq& req,
                                                 Poco::TaskManager*& task_manager);
    std::shared_ptr<AsyncContext> AsyncMultiPutObject(const AsyncMultiPutObjectReq& req);
    std::shared_ptr<AsyncContext> AsyncMultiPutObject(const AsyncMultiPutObjectReq& req,
                                                      Poco::TaskManager*& task_manager);
    std::shared_ptr<AsyncContext> AsyncGetObject(const AsyncGetObjectReq& req);
    std::shared_ptr<AsyncContext> AsyncGetObject(const AsyncGetObjectReq& req,
                                                 Poco::TaskManager*& task_manager);
    std::shared_ptr<AsyncContext> AsyncResumableGetObject(const AsyncGetObjectReq& req);
    std::shared_ptr<AsyncContext> AsyncResumableGetObject(const AsyncGetObjectReq& req,
                                                          Poco::TaskManager*& task_manager);
    // Multi-threaded download to a local file.
    std::shared_ptr<AsyncContext> AsyncMultiGetObject(const AsyncMultiGetObjectReq& req);
    std::shared_ptr<AsyncContext> AsyncMultiGetObject(const AsyncMultiGetObjectReq& req,
                                                      Poco::TaskManager*& task_manager);

    // ---- synchronous object methods ---------------------------------------------
    ZidResult PutObject(const PutObjectByFileReq& req, PutObjectByFileResp* resp);
    // The stream is rewound to where it stood before a backup-domain pass.
    ZidResult PutObject(const PutObjectByStreamReq& req, PutObjectByStreamResp* resp);
    ZidResult GetObject(const GetObjectByStreamReq& req, GetObjectResp* resp);
    ZidResult GetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp);
    ZidResult MultiGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp);
    ZidResult DeleteObject(const DeleteObjectReq& req, DeleteObjectResp* resp);
    ZidResult DeleteObjects(const DeleteObjectsReq& req, DeleteObjectsResp* resp);
    ZidResult HeadObject(const HeadObjectReq& req, HeadObjectResp* resp);
    ZidResult InitMultiUpload(const InitMultiUploadReq& req, InitMultiUploadResp* resp);
    ZidResult UploadPartData(const UploadPartDataReq& req, UploadPartDataResp* resp);
    ZidResult UploadPartCopyData(const UploadPartCopyDataReq& req, UploadPartCopyDataResp* resp);
    ZidResult CompleteMultiUpload(const CompleteMultiUploadReq& req, CompleteMultiUploadResp* resp);
    ZidResult MultiUploadObject(const PutObjectByFileReq& req, MultiPutObjectResp* resp);
    ZidResult UploadObjectResumableSingleThreadSync(const PutObjectByFileReq& req,
                                                    ResumableUploadResp* resp);
    ZidResult AbortMultiUpload(const AbortMultiUploadReq& req, AbortMultiUploadResp* resp);
    ZidResult ListParts(const ListPartsReq& req, ListPartsResp* resp);
    ZidResult GetObjectACL(const GetObjectACLReq& req, GetObjectACLResp* resp);
    ZidResult PutObjectACL(const PutObjectACLReq& req, BaseResp* resp);
    ZidResult PutObjectTagging(const PutObjectTaggingReq& req, BaseResp* resp);
    ZidResult GetObjectTagging(const GetObjectTaggingReq& req, GetObjectTaggingResp* resp);
    ZidResult DeleteObjectTagging(const DeleteObjectTaggingReq& req, BaseResp* resp);
    ZidResult PutObjectCopy(const PutObjectCopyReq& req, PutObjectCopyResp* resp);
    ZidResult Copy(const CopyReq& req, CopyResp* resp);
    ZidResult PostObjectRestore(const PostObjectRestoreReq& req, BaseResp* resp);
    ZidResult PlainObjectRequest(const ObjectReq& req, BaseResp* resp);
    ZidResult RetryingPutObjectByStream(const PutObjectByStreamReq& req, PutObjectByStreamResp* resp);
    ZidResult ResumableGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp);
    ZidResult PutObjects(const PutObjectsByDirectoryReq& req, PutObjectsByDirectoryResp* resp);
    ZidResult PutDirectory(const PutDirectoryReq& req, PutDirectoryResp* resp);
    ZidResult MoveObject(const MoveObjectReq& req);

    bool ObjectExists(const std::string& bucket_name, const std::string& object_name);

    std::string GeneratePresignedUrl(const GeneratePresignedUrlReq& req);
    // Times in seconds; an end before the start yields an empty string.
    // http_method: 0 HEAD, 1 GET, 2 PUT, 3 POST, 4 DELETE, 5 OPTIONS.
    std::string GeneratePresignedUrl(const std::string& bucket_name, const std::string& object_name,
                                     uint64_t start_time_in_s, uint64_t end_time_in_s,
                                     int http_method);
    std::string GeneratePresignedUrl(const std::string& bucket_name, const std::string& object_name,
                                     uint64_t start_time_in_s, uint64_t end_time_in_s);

    // Unsigned URL of an object; an empty region means the configuration's. The object name
    // is appended unchanged: encode it first where it holds characters a URL cannot carry.
    std::string GetObjectUrl(const std::string& bucket, const std::string& object,
                             bool https = true, const std::string& region = "");

    // ---- bucket methods -------------------------------------------------------------
    // A bad bucket name makes these report false, an empty location or a failed result;
    // nothing is sent and nothing is thrown.
    bool BucketExists(const std::string& bucket_name);
    // The bucket's region; a failure is asked once more of the backup domain, whatever the
    // retry setting, and "" means neither answered.
    std::string GetBucketLocation(const std::string& bucket_name);
    // Deletes, one request each, every object whose key begins with the prefix, page after
    // page of the listing, and appends each deleted key to resp. Ends at the first failure
    // with its result: a failed delete, a page that cannot be listed on either domain, a
    // page that is no listing, a listing that does not advance or strays from the prefix.
    ZidResult DeleteObjectsByPrefix(const DeleteObjectsByPrefixReq& req,
                                    DeleteObjectsByPrefixResp* resp);
    // Sent once, to the service host.
    ZidResult GetService(const BaseReq& req, BaseResp* resp);
    // Each repeats on the backup domain as the object methods do, unless noted.
    ZidResult HeadBucket(const HeadBucketReq& req, HeadBucketResp* resp);
    ZidResult PutBucket(const BucketReq& req, BaseResp* resp);
    ZidResult PlainBucketRequestA(const BucketReq& req, BaseResp* resp);
    ZidResult PlainBucketRequestB(const BucketReq& req, BaseResp* resp);
    ZidResult PlainBucketRequestC(const BucketReq& req, BaseResp* resp);
    ZidResult PutBucketVersioning(const BucketReq& req, BaseResp* resp);
    ZidResult PutBucketReplication(const BucketReq& req, BaseResp* resp);
    ZidResult DeleteBucketReplication(const BucketReq& req, BaseResp* resp);
    ZidResult PutBucketLifecycle(const BucketReq& req, BaseResp* resp);
    ZidResult DeleteBucketLifecycle(const BucketReq& req, BaseResp* resp);
    ZidResult PutBucketACL(const BucketReq& req, BaseResp* resp);
    ZidResult SendBucketBodyWithMd5(const BucketReq& req, BaseResp* resp);
    ZidResult PlainBucketRequestD(const BucketReq& req, BaseResp* resp);
    ZidResult PlainBucketRequestE(const BucketReq& req, BaseResp* resp);
    ZidResult PlainBucketRequestF(const BucketReq& req, BaseResp* resp);
    ZidResult PutBucketCORS(const BucketReq& req, BaseResp* resp);
    // The generic processor repeats on the backup domain by itself: sent at most twice.
    ZidResult GenericBucketRequestA(const BucketReq& req, BaseResp* resp);
    ZidResult GenericBucketRequestB(const BucketReq& req, BaseResp* resp);
    ZidResult PutBucketLogging(const BucketReq& req, BaseResp* resp);
    ZidResult PutBucketWebsite(const BucketReq& req, BaseResp* resp);
    ZidResult DeleteBucketWebsite(const BucketReq& req, BaseResp* resp);
    ZidResult PutBucketTagging(const BucketReq& req, BaseResp* resp);
    ZidResult DeleteBucketTagging(const BucketReq& req, BaseResp* resp);
    ZidResult PutBucketInventory(const PutBucketInventoryReq& req, BaseResp* resp);
    ZidResult DeleteBucketInventory(const DeleteBucketInventoryReq& req, BaseResp* resp);
    ZidResult DeleteBucketCORS(const BucketReq& req, BaseResp* resp);
    ZidResult PutBucketIntelligentTiering(const BucketReq& req, BaseResp* resp);
    // Answers read into their own response classes.
    ZidResult GetBucket(const GetBucketReq& req, GetBucketResp* resp);
    ZidResult GetBucketVersioning(const BucketReq& req, GetBucketVersioningResp* resp);
    ZidResult GetBucketReplication(const BucketReq& req, GetBucketReplicationResp* resp);
    ZidResult GetBucketLifecycle(const BucketReq& req, GetBucketLifecycleResp* resp);
    ZidResult GetBucketCORS(const BucketReq& req, GetBucketCORSResp* resp);
    ZidResult GetBucketLogging(const BucketReq& req, GetBucketLoggingResp* resp);
    // A refusal in a 2xx "Error" document fills the response and fails the result with its
    // code and message.
    ZidResult PutBucketDomain(const BucketReq& req, PutBucketDomainResp* resp);
    ZidResult GetBucketDomain(const BucketReq& req, GetBucketDomainResp* resp);
    ZidResult GetBucketWebsite(const BucketReq& req, GetBucketWebsiteResp* resp);
    ZidResult GetBucketTagging(const BucketReq& req, GetBucketTaggingResp* resp);
    ZidResult GetBucketInventory(const GetBucketInventoryReq& req, GetBucketInventoryResp* resp);
    ZidResult ListBucketInventoryConfigurations(const BucketReq& req,
                                                ListBucketInventoryConfigurationsResp* resp);
    ZidResult ListLiveChannel(const BucketReq& req, ListLiveChannelResp* resp);
    ZidResult GetBucketIntelligentTiering(const BucketReq& req,
                                          GetBucketIntelligentTieringResp* resp);

    // ---- select and live channels ----------------------------------------------------
    // Each repeats on the backup domain as the object methods do. A select fails also when
    // its answer's event stream is not whole (ObjectOp::SelectObjectContent).
    ZidResult SelectObjectContent(const SelectObjectContentReq& req, SelectObjectContentResp* resp);
    ZidResult PutLiveChannel(const PutLiveChannelReq& req, PutLiveChannelResp* resp);
    // What each stands for lies in its request (request/LiveChannelReq.h).
    ZidResult LiveChannelRequest1(const ObjectReq& req, BaseResp* resp);
    ZidResult LiveChannelRequest2(const ObjectReq& req, BaseResp* resp);
    ZidResult LiveChannelRequest3(const ObjectReq& req, BaseResp* resp);
    ZidResult LiveChannelRequest4(const ObjectReq& req, BaseResp* resp);
    ZidResult LiveChannelRequest5(const ObjectReq& req, BaseResp* resp);
    ZidResult LiveChannelRequest6(const ObjectReq& req, BaseResp* resp);
    ZidResult LiveChannelRequest7(const ObjectReq& req, BaseResp* resp);
    // "rtmp://" + the bucket's default endpoint + "/live/" + channel + "?" + signature, made
    // without any exchange; destination domain, intranet and backup domain do not change it.
    // It carries the temporary token: keep it out of logs.
    std::string BuildLivePushUrl(const std::string& bucket_name, const std::string& channel_name,
                                 int expire_seconds,
                                 const std::map<std::string, std::string>& url_params);

    // ---- data processing ----------------------------------------------------------
    // Each is sent once: a processing call is never repeated on the backup domain.
    ZidResult DataProcessQuery1(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessQuery2(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessQuery3(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessQuery4(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest01(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest02(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest03(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest04(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest05(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest06(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest07(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest08(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest09(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest10(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest11(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest12(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest13(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest14(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest15(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest16(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest17(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest18(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest19(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest20(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest21(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest22(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest23(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessRequest24(const BucketReq& req, BaseResp* resp);
    ZidResult DataProcessObjectRequest1(const ObjectReq& req, PutObjectResp* resp);
    ZidResult DataProcessObjectRequest2(const ObjectReq& req, BaseResp* resp);
    ZidResult DataProcessObjectRequest3(const ObjectReq& req, BaseResp* resp);
    ZidResult DataProcessObjectRequest4(const ObjectReq& req, BaseResp* resp);
    ZidResult DataProcessRegionRequest(const ObjectReq& req, BaseResp* resp);
    ZidResult DataProcessDownloadToFile(const ObjectReq& req, BaseResp* resp);
    // A download of the request's object into its local file.
    ZidResult DataProcessGetObject1(const GetObjectByFileReq& req, GetObjectByFileResp* resp);
    ZidResult DataProcessGetObject2(const GetObjectByFileReq& req, GetObjectByFileResp* resp);
    // When a rule stores its result under the uploaded key, the upload is sent without
    // "Content-MD5" and without the ETag check; the caller's request keeps its switches.
    ZidResult PutObjectWithPicOperation(const PutObjectWithPicOperationReq& req,
                                        PutObjectWithPicOperationResp* resp);

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
