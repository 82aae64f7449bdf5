// The data-processing members of ObjectOp.
#include "ClientSettings.h"
#include "op/ObjectOp.h"
#include "op/ObjectOpDetail.h"

namespace zuzezi_zid {

ZidResult ObjectOp::DataProcessPlain(const std::string& host, const ObjectReq& req,
                                     BaseResp* resp) {
    return op_detail::Guarded("data process request", nullptr, [&] {
        return NormalAction(host, req.GetPath(), req, "", false, resp);
    });
}

#define ZID_OBJECT_PROCESS_REQUEST(Name, Resp)                                                \
    ZidResult ObjectOp::Name(const ObjectReq& req, Resp* resp) {                              \
        return DataProcessPlain(                                                              \
            ClientSettings::BuildBucketHost(GetAppId(), GetRegion(), req.GetBucketName(), false), \
            req, resp);                                                                       \
    }

ZID_OBJECT_PROCESS_REQUEST(DataProcessObjectRequest1, PutObjectResp)
ZID_OBJECT_PROCESS_REQUEST(DataProcessObjectRequest2, BaseResp)
ZID_OBJECT_PROCESS_REQUEST(DataProcessObjectRequest3, BaseResp)
ZID_OBJECT_PROCESS_REQUEST(DataProcessObjectRequest4, BaseResp)

#undef ZID_OBJECT_PROCESS_REQUEST

ZidResult ObjectOp::DataProcessRegionRequest(const ObjectReq& req, BaseResp* resp) {
    return DataProcessPlain(ClientSettings::BuildProcessingHost("", GetRegion()), req, resp);
}

ZidResult ObjectOp::DataProcessDownloadToFile(const ObjectReq& req, BaseResp* resp) {
    return op_detail::Guarded("data process download", nullptr, [&] {
        BaseResp unread;
        const std::string host =
            ClientSettings::BuildBucketHost(GetAppId(), GetRegion(), req.GetBucketName(), false);
        bool opened = false;
        return DownloadToLocalFile(host, req, resp ? resp : &unread, nullptr, &opened);
    });
}

ZidResult ObjectOp::PutObjectWithPicOperation(const PutObjectWithPicOperationReq& req,
                                              PutObjectWithPicOperationResp* resp) {
    // The upload fills its response whether or not the caller wants it.
    PutObjectByFileResp local;
    const PutObjectByFileReq upload(req);
    return PutObject(upload, resp ? resp : &local, nullptr, false);
}

}  // namespace zuzezi_zid
