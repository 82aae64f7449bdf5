// A handler's binding to its request is defined with the requests, so that the transfer
// state needs none of their headers.
#include "request/ObjectReq.h"
#include "trsf/TransferHandler.h"

namespace zuzezi_zid {

void TransferHandler::BindRequest(const ObjectReq& req) {
    m_bucket_name = req.GetBucketName();
    m_object_name = req.GetObjectName();
    m_local_file_path = req.GetLocalFilePath();
    m_progress_cb = req.GetTransferProgressCallback();
    m_done_cb = req.GetDoneCallback();
    m_user_data = req.GetUserData();
}

}  // namespace zuzezi_zid
