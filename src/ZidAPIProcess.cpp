// The facade's data-processing methods: each forwards once, without the backup-domain retry.
#include "ZidAPI.h"

namespace zuzezi_zid {

#define ZID_BUCKET_PROCESS_METHOD(Name)                                     \
    ZidResult ZidAPI::Name(const BucketReq& req, BaseResp* resp) {          \
        return m_bucket_op.Name(req, resp);                                  \
    }

ZID_BUCKET_PROCESS_METHOD(DataProcessQuery1)
ZID_BUCKET_PROCESS_METHOD(DataProcessQuery2)
ZID_BUCKET_PROCESS_METHOD(DataProcessQuery3)
ZID_BUCKET_PROCESS_METHOD(DataProcessQuery4)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest01)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest02)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest03)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest04)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest05)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest06)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest07)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest08)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest09)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest10)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest11)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest12)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest13)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest14)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest15)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest16)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest17)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest18)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest19)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest20)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest21)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest22)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest23)
ZID_BUCKET_PROCESS_METHOD(DataProcessRequest24)

#undef ZID_BUCKET_PROCESS_METHOD

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
