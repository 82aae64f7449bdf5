/// @file
/// Answers of the data-processing operations.

#pragma once

#include "zid/response/ObjectResp.h"

namespace zuzezi_zid {

/// The answer to an upload with picture-processing rules: the upload's headers and outcome,
/// read as for an upload from a file.
class PutObjectWithPicOperationResp : public PutObjectByFileResp {};

}  // namespace zuzezi_zid
