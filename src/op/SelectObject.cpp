#include "op/ObjectOp.h"

#include "op/ObjectOpDetail.h"

namespace zuzezi_zid {

namespace {

// A 2xx answer is only a success when its stream reached End.
void CheckSelectStream(const SelectObjectContentResp& resp, ZidResult* result) {
    using State = SelectObjectContentResp::StreamState;
    const State state = resp.GetStreamState();
    if (state == State::Complete) return;
    std::string message = resp.GetStreamFailure();
    if (state == State::ErrorEvent) {
        result->SetErrorCode(resp.GetErrorCode());
        if (!resp.GetErrorMsg().empty()) message = resp.GetErrorMsg();
    }
    ObjectOp::SetResultAndLogError(*result, message);
}

}  // namespace

ZidResult ObjectOp::SelectObjectContent(const SelectObjectContentReq& req,
                                        SelectObjectContentResp* resp, bool change_backup_domain) {
    return op_detail::Guarded("select", nullptr, [&] {
        return op_detail::SendGeneratedBody(*this, req, resp, change_backup_domain,
                                            "Generate SelectObjectContent Request Body fail.",
                                            CheckSelectStream);
    });
}

}  // namespace zuzezi_zid
