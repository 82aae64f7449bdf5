#pragma once

#include "response/ObjectResp.h"

namespace zuzezi_zid {

// The answer to an upload with picture-processing rules: the upload's headers and outcome.
class PutObjectWithPicOperationResp : public PutObjectByFileResp {};

}  // namespace zuzezi_zid
