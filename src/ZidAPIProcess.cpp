// The facade's data-processing methods: each forwards once, without the backup-domain retry.
#include "ZidAPI.h"

namespace zuzezi_zid {

#define ZID_OBJECT_PROCESS_METHOD(Name, Req, Resp)                          \
    ZidResult ZidAPI::Name(const Req& req, Resp* resp) {                    \
        return m_object_op.Name(req, resp);                                  \
    }

ZID_OBJECT_PROCESS_METHOD(DataProcessObjectRequest1, ObjectReq, PutObjectResp)
ZID_OBJECT_PROCESS_METHOD(DataProcessObjectRequest2, ObjectReq, BaseResp)
ZID_OBJECT_PROCESS_METHOD(DataProcessObjectRequest3, ObjectReq, BaseResp)
ZID_OBJECT_PROCESS_METHOD(DataProcessObjectRequest4, ObjectReq, BaseResp)
ZID_OBJECT_PROCESS_METHOD(DataProcessRegionRequest, ObjectReq, BaseResp)
ZID_OBJECT_PROCESS_METHOD(DataProcessDownloadToFile, ObjectReq, BaseResp)

#undef ZID_OBJECT_PROCESS_METHOD

ZidResult ZidAPI::DataProcessGetObject1(const GetObjectByFileReq& req, GetObjectByFileResp* resp) {
    return m_object_op.GetObject(GetObjectByFileReq(req), resp, nullptr, false);
}

ZidResult ZidAPI::DataProcessGetObject2(const GetObjectByFileReq& req, GetObjectByFileResp* resp) {
    return DataProcessGetObject1(req, resp);
}

ZidResult ZidAPI::PutObjectWithPicOperation(const PutObjectWithPicOperationReq& req,
                                            PutObjectWithPicOperationResp* resp) {
    PutObjectWithPicOperationReq checked(req);
    PicOperationTargetCheck(checked);
    return m_object_op.PutObjectWithPicOperation(checked, resp);
}

}  // namespace zuzezi_zid
