#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include <Poco/Exception.h>

#include "ClientSettings.h"
#include "op/FileDownTask.h"
#include "op/ObjectOpDetail.h"
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

    // Finished workers queue their slot here; the calling thread writes and refills it.
    std::mutex done_mutex;
    std::condition_variable done_cond;
    std::vector<unsigned> done_slots;

    std::vector<std::unique_ptr<unsigned char[]>> buffers;
    std::vector<std::unique_ptr<FileDownTask>> tasks;
    std::vector<uint64_t> slot_slice(n, 0);
    for (unsigned i = 0; i < n; ++i) {
        buffers.emplace_back(new unsigned char[slice]);
        tasks.emplace_back(new FileDownTask(run->url, run->headers, run->params,
                                            req.GetConnTimeoutInms(), req.GetRecvTimeoutInms(),
                                            run->handler));
        tasks.back()->SetObjectSize(run->total);
        tasks.back()->SetComputeCrc64(run->compute_crc);
        tasks.back()->SetDoneCallback([&done_mutex, &done_cond, &done_slots, i] {
            std::lock_guard<std::mutex> lock(done_mutex);
            done_slots.push_back(i);
            done_cond.notify_one();
        });
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
    std::vector<char> written(window, 0);
    std::vector<uint64_t> slice_crc(run->compute_crc ? window : 0, 0);
    uint64_t prefix = 0;
    uint64_t next = 0;
    unsigned in_flight = 0;
    unsigned down_times = 0;
    bool failed = false;
    PoolGuard guard(n);
    std::vector<unsigned> free_slots;
    for (unsigned i = n; i > 0; --i) free_slots.push_back(i - 1);

    auto start_slice = [&](unsigned k) -> bool {
        uint64_t offset = run->start + next * slice;
        uint64_t len = std::min<uint64_t>(run->total - offset, slice);
        // Signed per slice: a long transfer must not outlive its signature window.
        std::map<std::string, std::string> headers = run->headers;
        std::string auth = AuthTool::SignFromNow(op.GetAccessKey(), op.GetSecretKey(),
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
        slot_slice[k] = next;
        // A worker that has just reported is still leaving its thread for a moment.
        for (int tries = 0;; ++tries) {
            try {
                guard.pool.start(*task);
                break;
            } catch (const Poco::NoThreadAvailableException&) {
                if (tries >= 5000) throw;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        ++next;
        ++in_flight;
        ++down_times;
        return true;
    };

    auto can_start = [&] {
        return !failed && next < slice_count && !free_slots.empty() && next < prefix + window;
    };
    while (true) {
        if (can_start()) {
            ZID_LOG_DBG("down data, offset=%" PRIu64 ", file_size=%" PRIu64, run->start + next * slice,
                        run->total);
        }
        while (can_start()) {
            if (run->handler && !run->handler->IsNotCancelled()) {
                ObjectOp::SetResultAndLogError(run->result, "Request canceled by user");
                failed = true;
                break;
            }
            unsigned k = free_slots.back();
            if (!start_slice(k)) {
                failed = true;
                break;
            }
            free_slots.pop_back();
        }
        if (in_flight == 0) break;

        std::vector<unsigned> finished;
        {
            std::unique_lock<std::mutex> lock(done_mutex);
            done_cond.wait(lock, [&] { return !done_slots.empty(); });
            finished.swap(done_slots);
        }
        for (unsigned j : finished) {
            --in_flight;
            free_slots.push_back(j);
            if (failed) continue;  // only drain the slices still under way
            FileDownTask* task = tasks[j].get();
            if (!task->IsSucc()) {
                if (texts.resumable_log) {
                    ZID_LOG_ERR("down data, down task fail, rsp: %s", task->GetBody().c_str());
                } else {
                    ZID_LOG_ERR("down data, down task fail, rsp:%s", task->GetBody().c_str());
                }
                run->failed_headers = task->GetHeaders();
                FailedResultFromTask(task->GetHttpStatus(), task->GetErrMsg(), task->GetHeaders(),
                                     task->GetBody(), &run->result);
                failed = true;
                continue;
            }
            uint64_t len = task->GetDownloadedLength();
            int err = 0;
            if (!WriteFully(run->fd, buffers[j].get(), len, task->GetOffset(), &err)) {
                ObjectOp::SetResultAndLogError(run->result,
                                               WriteFailure(texts, err, task->GetOffset(), len));
                failed = true;
                continue;
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
            uint64_t idx = slot_slice[j] % window;
            written[idx] = 1;
            if (run->compute_crc) slice_crc[idx] = task->GetCrc64();
        }
        uint64_t old_prefix = prefix;
        while (prefix < slice_count && written[prefix % window]) {
            uint64_t offset = run->start + prefix * slice;
            uint64_t len = std::min<uint64_t>(run->total - offset, slice);
            if (run->compute_crc) {
                run->crc = Crc64Util::Combine(run->crc, slice_crc[prefix % window], len);
            }
            written[prefix % window] = 0;
            run->downloaded = offset + len;
            ++prefix;
        }
        if (prefix != old_prefix && run->after_batch) run->after_batch(run->downloaded);
    }
    return !failed;
}

}  // namespace op_detail

}  // namespace zuzezi_zid
