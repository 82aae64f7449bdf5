#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>

#include "ClientSettings.h"
#include "op/FileDownTask.h"
#include "op/ObjectOpDetail.h"
#include "op/RollingWindow.h"
#include "util/AuthTool.h"
#include "util/Crc64Util.h"
#include "util/LogUtil.h"

namespace zuzezi_zid {

namespace op_detail {

namespace {

// Completes the write: short writes and EINTR are resumed, anything else fails.
// Pieces of at most 256 KiB: a whole 4 MiB slice in one pwrite lets the kernel fill the page
// cache with large folios, which were several times slower to get here (on a virtual machine,
// ext4: 1.9 s per GiB in 4 MiB writes against 0.25 s in 256 KiB ones).
bool WriteFully(int fd, const unsigned char* buf, uint64_t len, uint64_t offset, int* err) {
    const uint64_t kPiece = 256 * 1024;
    uint64_t done = 0;
    while (done < len) {
        ssize_t n = ::pwrite(fd, buf + done, static_cast<size_t>(std::min(len - done, kPiece)),
                             static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            *err = errno;
            return false;
        }
        if (n == 0) {
            *err = EIO;
            return false;
        }
        done += static_cast<uint64_t>(n);
    }
    return true;
}

// The failed write in the download's words: a file without positions fails as a seek would.
std::string WriteFailure(const DownloadTexts& texts, int err, uint64_t offset, uint64_t len) {
    if (err == ESPIPE) {
        return texts.seek_failed + std::to_string(err) + ", offset=" + std::to_string(offset);
    }
    return texts.write_failed + std::to_string(err) + ", len=" + std::to_string(len);
}

std::string HeaderValue(const std::map<std::string, std::string>& headers, const std::string& name) {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

}  // namespace

bool RunSlices(const ObjectOp& op, SliceRun* run) {
    const GetObjectByFileReq& req = *run->req;
    const DownloadTexts& texts = *run->texts;
    const uint64_t slice = ClientSettings::GetDownSliceSize();
    const uint64_t remaining = run->total - run->start;
    const unsigned n = PoolSize(std::min<uint64_t>(ClientSettings::GetDownThreadPoolSize(),
                                                   remaining / slice + 1));
    const uint64_t slice_count = (remaining + slice - 1) / slice;
    run->downloaded = run->start;

    DoneSlots done;
    std::vector<std::unique_ptr<unsigned char[]>> buffers;
    std::vector<std::unique_ptr<FileDownTask>> tasks;
    for (unsigned i = 0; i < n; ++i) {
        buffers.emplace_back(new unsigned char[slice]);
        tasks.emplace_back(new FileDownTask(run->url, run->headers, run->params,
                                            req.GetConnTimeoutInms(), req.GetRecvTimeoutInms(),
                                            run->handler));
        tasks.back()->SetObjectSize(run->total);
        tasks.back()->SetComputeCrc64(run->compute_crc);
        tasks.back()->SetDoneCallback([&done, i] { done.Report(i); });
    }
    if (texts.resumable_log) {
        ZID_LOG_INFO("download data,url=%s, poolsize=%u, slice_size=%" PRIu64
                     ", file_size=%" PRIu64 ", last_offset=%" PRIu64,
                     run->url.c_str(), n, slice, run->total, run->start);
    } else {
        ZID_LOG_INFO("download data,url=%s, poolsize=%u, slice_size=%" PRIu64
                     ", file_size=%" PRIu64,
                     run->url.c_str(), n, slice, run->total);
    }

    // Slices finish in any order; the written prefix, its CRC and the checkpoint follow
    // the first slice not yet written. Only the window ahead of it is tracked, in a ring.
    const uint64_t window = static_cast<uint64_t>(n) * kSliceWindowPerWorker;
    std::vector<uint64_t> slice_crc(run->compute_crc ? window : 0, 0);
    unsigned down_times = 0;
    PoolGuard guard(n);

    WindowSteps steps;
    steps.cancelled = [&] {
        if (!run->handler || run->handler->IsNotCancelled()) return false;
        ObjectOp::SetResultAndLogError(run->result, "Request canceled by user");
        return true;
    };
    steps.start = [&](unsigned k, uint64_t next) -> bool {
        uint64_t offset = run->start + next * slice;
        uint64_t len = std::min<uint64_t>(run->total - offset, slice);
        ZID_LOG_DBG("down data, offset=%" PRIu64 ", file_size=%" PRIu64, offset, run->total);
        // Signed per slice: a long transfer must not outlive its signature window.
        std::map<std::string, std::string> headers = run->headers;
        // The token goes with the keys it was read with, as they stand for this slice.
        const ZidCredentials credentials = op.GetCredentials();
        if (!credentials.security_token.empty()) {
            headers["x-zid-security-token"] = credentials.security_token;
        }
        std::string auth = AuthTool::SignFromNow(credentials.access_key, credentials.secret_key,
                                                 req.GetMethod(), run->path, headers, run->params,
                                                 run->not_signed);
        if (auth.empty()) {
            ObjectOp::SetResultAndLogError(run->result, texts.auth_failed);
            return false;
        }
        headers["Authorization"] = auth;
        ZID_LOG_DBG("down data, task_index=%u, file_size=%" PRIu64 ", offset=%" PRIu64, k,
                    run->total, offset);
        FileDownTask* task = tasks[k].get();
        task->SetHeaders(headers);
        task->SetSlice(buffers[k].get(), len, offset);
        task->SetVerifyCert(req.GetVerifyCert());
        task->SetCaLocation(req.GetCaLocation());
        task->SetSSLCtxCallback(req.GetSSLCtxCallback(), req.GetSSLCtxCbData());
        StartOnPool(guard.pool, *task);
        ++down_times;
        return true;
    };
    steps.finish = [&](unsigned j, uint64_t unit) -> bool {
        FileDownTask* task = tasks[j].get();
        if (!task->IsSucc()) {
            if (texts.resumable_log) {
                ZID_LOG_ERR("down data, down task fail, rsp: %s",
                            LogUtil::QuoteBody(task->GetBody()).c_str());
            } else {
                ZID_LOG_ERR("down data, down task fail, rsp:%s",
                            LogUtil::QuoteBody(task->GetBody()).c_str());
            }
            run->failed_headers = task->GetHeaders();
            FailedResultFromTask(task->GetHttpStatus(), task->GetErrMsg(), task->GetHeaders(),
                                 task->GetBody(), &run->result);
            return false;
        }
        uint64_t len = task->GetDownloadedLength();
        int err = 0;
        if (!WriteFully(run->fd, buffers[j].get(), len, task->GetOffset(), &err)) {
            ObjectOp::SetResultAndLogError(run->result,
                                           WriteFailure(texts, err, task->GetOffset(), len));
            return false;
        }
        if (!run->headers_taken) {
            run->first_headers = task->GetHeaders();
            run->first_status = task->GetHttpStatus();
            run->headers_taken = true;
            if (texts.status_of_first_slice) {
                run->result.SetHttpStatus(run->first_status);
                run->result.SetXZidRequestId(HeaderValue(run->first_headers, "x-zid-request-id"));
            }
        }
        if (texts.resumable_log) {
            ZID_LOG_DBG("down data, down_times=%u, task_index=%u, file_size=%" PRIu64
                        ", offset=%" PRIu64 ", downlen=%" PRIu64,
                        down_times, j, run->total, task->GetOffset(), len);
        } else {
            ZID_LOG_DBG("down data, down_times=%u, task_index=%u, file_size=%" PRIu64
                        ", offset=%" PRIu64 ", downlen:%" PRIu64 " ",
                        down_times, j, run->total, task->GetOffset(), len);
        }
        if (run->compute_crc) slice_crc[unit % window] = task->GetCrc64();
        return true;
    };
    steps.advance = [&](uint64_t first, uint64_t end) {
        for (uint64_t u = first; u < end; ++u) {
            uint64_t offset = run->start + u * slice;
            uint64_t len = std::min<uint64_t>(run->total - offset, slice);
            if (run->compute_crc) run->crc = Crc64Util::Combine(run->crc, slice_crc[u % window], len);
            run->downloaded = offset + len;
        }
        if (run->after_batch) run->after_batch(run->downloaded);
    };
    return RunWindow(n, slice_count, window, &done, steps);
}

}  // namespace op_detail

}  // namespace zuzezi_zid
