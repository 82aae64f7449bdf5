// The data-processing members of BucketOp: each is sent once, to the processing host of the
// request's bucket (the regional one for an empty name), never to the backup domain.
#include "ClientSettings.h"
#include "op/BucketOp.h"

namespace zuzezi_zid {

ZidResult BucketOp::DataProcessQuery(const BucketReq& req, BaseResp* resp) const {
    return Send(ClientSettings::BuildProcessingHost(req.GetBucketName(), GetRegion()), req, "",
                false, resp, false);
}

#define ZID_PROCESS_QUERY(Name)                                              \
    ZidResult BucketOp::Name(const BucketReq& req, BaseResp* resp) const {   \
        return DataProcessQuery(req, resp);                                  \
    }
#define ZID_PROCESS_REQUEST(Name)                                            \
    ZidResult BucketOp::Name(const BucketReq& req, BaseResp* resp) const {   \
        return ProcessBucketRequest(req, resp, true);                        \
    }

ZID_PROCESS_QUERY(DataProcessQuery1)
ZID_PROCESS_QUERY(DataProcessQuery2)
ZID_PROCESS_QUERY(DataProcessQuery3)
ZID_PROCESS_QUERY(DataProcessQuery4)
ZID_PROCESS_REQUEST(DataProcessRequest01)
ZID_PROCESS_REQUEST(DataProcessRequest02)
ZID_PROCESS_REQUEST(DataProcessRequest03)
ZID_PROCESS_REQUEST(DataProcessRequest04)
ZID_PROCESS_REQUEST(DataProcessRequest05)
ZID_PROCESS_REQUEST(DataProcessRequest06)
ZID_PROCESS_REQUEST(DataProcessRequest07)
ZID_PROCESS_REQUEST(DataProcessRequest08)
ZID_PROCESS_REQUEST(DataProcessRequest09)
ZID_PROCESS_REQUEST(DataProcessRequest10)
ZID_PROCESS_REQUEST(DataProcessRequest11)
ZID_PROCESS_REQUEST(DataProcessRequest12)
ZID_PROCESS_REQUEST(DataProcessRequest13)
ZID_PROCESS_REQUEST(DataProcessRequest14)
ZID_PROCESS_REQUEST(DataProcessRequest15)
ZID_PROCESS_REQUEST(DataProcessRequest16)
ZID_PROCESS_REQUEST(DataProcessRequest17)
ZID_PROCESS_REQUEST(DataProcessRequest18)
ZID_PROCESS_REQUEST(DataProcessRequest19)
ZID_PROCESS_REQUEST(DataProcessRequest20)
ZID_PROCESS_REQUEST(DataProcessRequest21)
ZID_PROCESS_REQUEST(DataProcessRequest22)
ZID_PROCESS_REQUEST(DataProcessRequest23)
ZID_PROCESS_REQUEST(DataProcessRequest24)

#undef ZID_PROCESS_QUERY
#undef ZID_PROCESS_REQUEST

}  // namespace zuzezi_zid
