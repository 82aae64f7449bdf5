#include "ZidAPI.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include <Poco/Exception.h>
#include <Poco/Net/HTTPSStreamFactory.h>
#include <Poco/Net/HTTPStreamFactory.h>
#include <Poco/Net/NetSSL.h>
#include <Poco/TaskManager.h>
#include <Poco/ThreadPool.h>
#include <Poco/URIStreamOpener.h>

#include "AsyncTask.h"
#include "ClientSettings.h"
#include "trsf/AsyncContext.h"
#include "trsf/TransferHandler.h"
#include "util/LogUtil.h"

namespace zuzezi_zid {

namespace {

// Plain globals with trivial destructors: facades may be destroyed during static teardown.
std::mutex g_setup_mutex;
int g_instance_count = 0;
bool g_initialized = false;
bool g_registered = false;

// A host program may have registered a scheme itself; registering it again would throw.
void RegisterStreamFactories() {
    Poco::URIStreamOpener& opener = Poco::URIStreamOpener::defaultOpener();
    try {
        if (!opener.supportsScheme("http")) {
            Poco::Net::HTTPStreamFactory::registerFactory();
        }
    } catch (const Poco::ExistsException&) {
    }
    try {
        if (!opener.supportsScheme("https")) {
            Poco::Net::HTTPSStreamFactory::registerFactory();
        }
    } catch (const Poco::ExistsException&) {
    }
}

// Never destroyed: a transfer may still run on a pool thread while the process exits.
Poco::ThreadPool& AsyncPool() {
    static Poco::ThreadPool* pool = [] {
        uint32_t size = ClientSettings::GetAsynThreadPoolSize();
        // The pool keeps two threads; a smaller maximum trips Poco's min <= max check.
        int max_capacity = static_cast<int>(std::min<uint32_t>(std::max<uint32_t>(size, 2), INT_MAX));
        return new Poco::ThreadPool("aysnc_pool", 2, max_capacity, 60, 0);
    }();
    return *pool;
}

// Work that found every pool thread busy waits here; a finishing worker picks it up, so a
// caller is never refused and no more than the pool's capacity runs at once.
struct PendingWork {
    std::mutex mutex;
    std::deque<std::function<void()>> queue;
    int running = 0;
};

PendingWork& Pending() {
    static PendingWork* pending = new PendingWork();
    return *pending;
}

void RunQueued(std::function<void()> job) {
    PendingWork& pending = Pending();
    for (;;) {
        try {
            job();
        } catch (...) {
            // Each job reports its own failure to its handler; nothing may stop the queue.
        }
        std::lock_guard<std::mutex> lock(pending.mutex);
        if (pending.queue.empty()) {
            --pending.running;
            return;
        }
        job = std::move(pending.queue.front());
        pending.queue.pop_front();
    }
}

void FailHandler(const std::shared_ptr<TransferHandler>& handler, const std::string& message) {
    ZID_LOG_ERR("%s", message.c_str());
    ZidResult result;
    result.SetFail();
    result.SetErrorMsg(message);
    handler->ChangeStatusWithResult(TransferStatus::FAILED, result);
}

// Returns false when the work could not be handed to a thread.
bool Dispatch(const std::function<void()>& job) {
    Poco::TaskManager* manager = ZidAPI::AsyncTaskManager();
    PendingWork& pending = Pending();
    {
        std::lock_guard<std::mutex> lock(pending.mutex);
        if (pending.running >= AsyncPool().capacity()) {
            pending.queue.push_back(job);
            return true;
        }
        ++pending.running;
    }
    // A worker that just gave up its slot may not be back in the pool yet: wait for it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        try {
            manager->start(new AsyncTask([job] { RunQueued(job); }));
            return true;
        } catch (const Poco::NoThreadAvailableException&) {
            if (std::chrono::steady_clock::now() > deadline) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } catch (...) {
            break;
        }
    }
    std::lock_guard<std::mutex> lock(pending.mutex);
    --pending.running;
    return false;
}

// One transfer on a pool thread. The closure owns everything it touches (configuration,
// request copy, handler), so the facade may be gone by the time it runs.
template <typename Req, typename Resp>
using AsyncPass = std::function<ZidResult(ObjectOp&, const Req&, Resp*,
                                          const std::shared_ptr<TransferHandler>&, bool)>;

template <typename Req, typename Resp>
std::shared_ptr<AsyncContext> StartAsync(const std::shared_ptr<ZidConfig>& config, const Req& req,
                                         const std::shared_ptr<TransferHandler>& handler,
                                         AsyncPass<Req, Resp> pass,
                                         std::function<void(const Req&)> before_backup_pass) {
    auto job = [config, req_copy = Req(req), handler, pass, before_backup_pass]() {
        try {
            ObjectOp op(config);
            Resp resp;
            pass(op, req_copy, &resp, handler, false);
            if (handler->GetStatus() == TransferStatus::RETRY_ON_BACKUP_DOMAIN) {
                if (before_backup_pass) {
                    before_backup_pass(req_copy);
                }
                pass(op, req_copy, &resp, handler, true);
            }
        } catch (const std::exception& e) {
            FailHandler(handler, std::string("Asynchronous transfer stopped by an exception: ") + e.what());
        } catch (...) {
            FailHandler(handler, "Asynchronous transfer stopped by an unknown exception");
        }
        // A waiter must always wake up.
        if (!TransferHandler::IsFinalStatus(handler->GetStatus())) {
            FailHandler(handler, "Asynchronous transfer ended without a final status");
        }
    };
    if (!Dispatch(job)) {
        FailHandler(handler, "No thread of the asynchronous pool became free for the transfer");
    }
    return std::make_shared<AsyncContext>(handler);
}

std::shared_ptr<TransferHandler> NewHandler(const ObjectReq& req) {
    auto handler = std::make_shared<TransferHandler>();
    handler->BindRequest(req);
    return handler;
}

// A file that cannot be opened reports -1: it must not become a total of 2^64-1.
uint64_t FileTotal(const PutObjectByFileReq& req) {
    int64_t size = req.GetLocalFileSize();
    return size > 0 ? static_cast<uint64_t>(size) : 0;
}

void RewindInput(std::istream& is, std::streampos start) {
    is.clear();
    is.seekg(start);
    // A stream that cannot seek is sent from where it stands rather than not at all.
    if (is.fail()) {
        is.clear();
    }
}

}  // namespace

ZidAPI::ZidAPI(const ZidConfig& config)
    : m_config(std::make_shared<ZidConfig>(config)),
      m_object_op(m_config),
      m_bucket_op(m_config),
      m_service_op(m_config) {
    if (!m_config->CheckRegion()) {
        throw std::invalid_argument("Invalid region configuration in ZidConfig :" + m_config->GetRegion());
    }
    InitNetwork();
}

ZidAPI::~ZidAPI() { ReleaseNetwork(); }

void ZidAPI::InitNetwork() {
    std::lock_guard<std::mutex> lock(g_setup_mutex);
    if (!g_initialized) {
        if (!g_registered) {
            RegisterStreamFactories();
            Poco::Net::initializeSSL();
            g_registered = true;
        }
        g_initialized = true;
    }
    // Counted only once the set-up has succeeded, so the destructor's decrement matches.
    ++g_instance_count;
}

void ZidAPI::ReleaseNetwork() {
    std::lock_guard<std::mutex> lock(g_setup_mutex);
    --g_instance_count;
    if (g_initialized && g_instance_count == 0) {
        g_initialized = false;
    }
}

int ZidAPI::GetInstanceCount() {
    std::lock_guard<std::mutex> lock(g_setup_mutex);
    return g_instance_count;
}

void ZidAPI::SetCredentials(const std::string& access_key, const std::string& secret_key,
                            const std::string& token) {
    m_config->SetCredentials(access_key, secret_key, token);
}

Poco::TaskManager* ZidAPI::AsyncTaskManager() {
    static Poco::TaskManager* manager = new Poco::TaskManager(AsyncPool());
    return manager;
}

// ---- asynchronous transfers -------------------------------------------------------

std::shared_ptr<AsyncContext> ZidAPI::AsyncPutObject(const AsyncPutObjectReq& req) {
    auto handler = NewHandler(req);
    handler->SetTotalSize(FileTotal(req));
    return StartAsync<AsyncPutObjectReq, PutObjectByFileResp>(
        m_config, req, handler,
        [](ObjectOp& op, const AsyncPutObjectReq& r, PutObjectByFileResp* resp,
           const std::shared_ptr<TransferHandler>& h, bool backup) {
            return op.PutObject(r, resp, h, backup);
        },
        nullptr);
}

std::shared_ptr<AsyncContext> ZidAPI::AsyncPutObject(const AsyncPutObjectReq& req,
                                                     Poco::TaskManager*& task_manager) {
    task_manager = AsyncTaskManager();
    return AsyncPutObject(req);
}

std::shared_ptr<AsyncContext> ZidAPI::AsyncPutObject(const AsyncPutObjectByStreamReq& req) {
    auto handler = NewHandler(req);
    std::istream& is = req.GetStream();
    is.clear();
    is.seekg(0, std::ios::end);
    std::streamoff end = is.tellg();
    handler->SetTotalSize(end > 0 ? static_cast<uint64_t>(end) : 0);
    RewindInput(is, 0);
    return StartAsync<AsyncPutObjectByStreamReq, PutObjectByStreamResp>(
        m_config, req, handler,
        [](ObjectOp& op, const AsyncPutObjectByStreamReq& r, PutObjectByStreamResp* resp,
           const std::shared_ptr<TransferHandler>& h, bool backup) {
            return op.PutObject(r, resp, h, backup);
        },
        [](const AsyncPutObjectByStreamReq& r) { RewindInput(r.GetStream(), 0); });
}

std::shared_ptr<AsyncContext> ZidAPI::AsyncPutObject(const AsyncPutObjectByStreamReq& req,
                                                     Poco::TaskManager*& task_manager) {
    task_manager = AsyncTaskManager();
    return AsyncPutObject(req);
}

std::shared_ptr<AsyncContext> ZidAPI::AsyncMultiPutObject(const AsyncMultiPutObjectReq& req) {
    auto handler = NewHandler(req);
    handler->SetTotalSize(FileTotal(req));
    return StartAsync<AsyncMultiPutObjectReq, MultiPutObjectResp>(
        m_config, req, handler,
        [](ObjectOp& op, const AsyncMultiPutObjectReq& r, MultiPutObjectResp* resp,
           const std::shared_ptr<TransferHandler>& h, bool backup) {
            return op.MultiUploadObject(r, resp, h, backup);
        },
        nullptr);
}

std::shared_ptr<AsyncContext> ZidAPI::AsyncMultiPutObject(const AsyncMultiPutObjectReq& req,
                                                          Poco::TaskManager*& task_manager) {
    task_manager = AsyncTaskManager();
    return AsyncMultiPutObject(req);
}

std::shared_ptr<AsyncContext> ZidAPI::AsyncGetObject(const AsyncGetObjectReq& req) {
    return StartAsync<AsyncGetObjectReq, GetObjectByFileResp>(
        m_config, req, NewHandler(req),
        [](ObjectOp& op, const AsyncGetObjectReq& r, GetObjectByFileResp* resp,
           const std::shared_ptr<TransferHandler>& h, bool backup) {
            return op.GetObject(r, resp, h, backup);
        },
        nullptr);
}

std::shared_ptr<AsyncContext> ZidAPI::AsyncGetObject(const AsyncGetObjectReq& req,
                                                     Poco::TaskManager*& task_manager) {
    task_manager = AsyncTaskManager();
    return AsyncGetObject(req);
}

std::shared_ptr<AsyncContext> ZidAPI::AsyncResumableGetObject(const AsyncGetObjectReq& req) {
    return StartAsync<AsyncGetObjectReq, GetObjectByFileResp>(
        m_config, req, NewHandler(req),
        [](ObjectOp& op, const AsyncGetObjectReq& r, GetObjectByFileResp* resp,
           const std::shared_ptr<TransferHandler>& h, bool backup) {
            return op.ResumableGetObject(r, resp, h, backup);
        },
        nullptr);
}

std::shared_ptr<AsyncContext> ZidAPI::AsyncResumableGetObject(const AsyncGetObjectReq& req,
                                                              Poco::TaskManager*& task_manager) {
    task_manager = AsyncTaskManager();
    return AsyncResumableGetObject(req);
}

std::shared_ptr<AsyncContext> ZidAPI::AsyncMultiGetObject(const AsyncMultiGetObjectReq& req) {
    return StartAsync<AsyncMultiGetObjectReq, GetObjectByFileResp>(
        m_config, req, NewHandler(req),
        [](ObjectOp& op, const AsyncMultiGetObjectReq& r, GetObjectByFileResp* resp,
           const std::shared_ptr<TransferHandler>& h, bool backup) {
            return op.MultiThreadDownload(r, resp, h, backup);
        },
        nullptr);
}

std::shared_ptr<AsyncContext> ZidAPI::AsyncMultiGetObject(const AsyncMultiGetObjectReq& req,
                                                          Poco::TaskManager*& task_manager) {
    task_manager = AsyncTaskManager();
    return AsyncMultiGetObject(req);
}

// ---- synchronous object methods -----------------------------------------------------

ZidResult ZidAPI::PutObject(const PutObjectByFileReq& req, PutObjectByFileResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.PutObject(req, resp, nullptr, backup);
    });
}

ZidResult ZidAPI::PutObject(const PutObjectByStreamReq& req, PutObjectByStreamResp* resp) {
    std::istream& is = req.GetStream();
    const std::streampos start = is.tellg();
    return WithBackupDomainRetry(
        m_object_op,
        [&](bool backup) { return m_object_op.PutObject(req, resp, nullptr, backup); },
        [&] { RewindInput(is, start == std::streampos(-1) ? std::streampos(0) : start); });
}

ZidResult ZidAPI::GetObject(const GetObjectByStreamReq& req, GetObjectResp* resp) {
    std::ostream& os = req.GetStream();
    const std::streampos start = os.tellp();
    return WithBackupDomainRetry(
        m_object_op, [&](bool backup) { return m_object_op.GetObject(req, resp, backup); },
        [&] {
            // The failed pass may have written part of the body: write over it.
            os.clear();
            os.seekp(start == std::streampos(-1) ? std::streampos(0) : start);
        });
}

ZidResult ZidAPI::GetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.GetObject(req, resp, nullptr, backup);
    });
}

ZidResult ZidAPI::MultiGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp) {
    // The operation makes its own backup-domain pass.
    GetObjectByFileReq plain(req);
    return m_object_op.MultiGetObject(plain, resp);
}

ZidResult ZidAPI::DeleteObject(const DeleteObjectReq& req, DeleteObjectResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.DeleteObject(req, resp, backup);
    });
}

ZidResult ZidAPI::DeleteObjects(const DeleteObjectsReq& req, DeleteObjectsResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.DeleteObjects(req, resp, backup);
    });
}

ZidResult ZidAPI::HeadObject(const HeadObjectReq& req, HeadObjectResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.HeadObject(req, resp, backup);
    });
}

ZidResult ZidAPI::InitMultiUpload(const InitMultiUploadReq& req, InitMultiUploadResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.InitMultiUpload(req, resp, backup);
    });
}

ZidResult ZidAPI::UploadPartData(const UploadPartDataReq& req, UploadPartDataResp* resp) {
    std::istream& is = req.GetStream();
    const std::streampos start = is.tellg();
    return WithBackupDomainRetry(
        m_object_op,
        [&](bool backup) { return m_object_op.UploadPartData(req, resp, backup); },
        [&] { RewindInput(is, start == std::streampos(-1) ? std::streampos(0) : start); });
}

ZidResult ZidAPI::UploadPartCopyData(const UploadPartCopyDataReq& req, UploadPartCopyDataResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.UploadPartCopyData(req, resp, backup);
    });
}

ZidResult ZidAPI::CompleteMultiUpload(const CompleteMultiUploadReq& req,
                                      CompleteMultiUploadResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.CompleteMultiUpload(req, resp, backup);
    });
}

ZidResult ZidAPI::MultiUploadObject(const PutObjectByFileReq& req, MultiPutObjectResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        PutObjectByFileReq plain(req);
        return m_object_op.MultiUploadObject(plain, resp, nullptr, backup);
    });
}

ZidResult ZidAPI::UploadObjectResumableSingleThreadSync(const PutObjectByFileReq& req,
                                                        ResumableUploadResp* resp) {
    PutObjectByFileReq plain(req);
    return m_object_op.UploadObjectResumableSingleThreadSync(plain, resp);
}

ZidResult ZidAPI::AbortMultiUpload(const AbortMultiUploadReq& req, AbortMultiUploadResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.AbortMultiUpload(req, resp, backup);
    });
}

ZidResult ZidAPI::ListParts(const ListPartsReq& req, ListPartsResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.ListParts(req, resp, backup);
    });
}

ZidResult ZidAPI::GetObjectACL(const GetObjectACLReq& req, GetObjectACLResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.GetObjectACL(req, resp, backup);
    });
}

ZidResult ZidAPI::PutObjectACL(const PutObjectACLReq& req, BaseResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.PutObjectACL(req, resp, backup);
    });
}

ZidResult ZidAPI::PutObjectTagging(const PutObjectTaggingReq& req, BaseResp* resp) {
    return m_object_op.PutObjectTagging(req, resp);
}

ZidResult ZidAPI::GetObjectTagging(const GetObjectTaggingReq& req, GetObjectTaggingResp* resp) {
    return m_object_op.GetObjectTagging(req, resp);
}

ZidResult ZidAPI::DeleteObjectTagging(const DeleteObjectTaggingReq& req, BaseResp* resp) {
    return m_object_op.DeleteObjectTagging(req, resp);
}

ZidResult ZidAPI::PutObjectCopy(const PutObjectCopyReq& req, PutObjectCopyResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.PutObjectCopy(req, resp, backup);
    });
}

ZidResult ZidAPI::Copy(const CopyReq& req, CopyResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.Copy(req, resp, backup);
    });
}

ZidResult ZidAPI::PostObjectRestore(const PostObjectRestoreReq& req, BaseResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.PostObjectRestore(req, resp, backup);
    });
}

ZidResult ZidAPI::PlainObjectRequest(const ObjectReq& req, BaseResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.PlainObjectRequest(req, resp, backup);
    });
}

ZidResult ZidAPI::RetryingPutObjectByStream(const PutObjectByStreamReq& req,
                                            PutObjectByStreamResp* resp) {
    return m_object_op.RetryingPutObjectByStream(req, resp);
}

ZidResult ZidAPI::ResumableGetObject(const GetObjectByFileReq& req, GetObjectByFileResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.ResumableGetObject(req, resp, nullptr, backup);
    });
}

ZidResult ZidAPI::PutObjects(const PutObjectsByDirectoryReq& req, PutObjectsByDirectoryResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.PutObjects(req, resp, backup);
    });
}

ZidResult ZidAPI::PutDirectory(const PutDirectoryReq& req, PutDirectoryResp* resp) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.PutDirectory(req, resp, backup);
    });
}

ZidResult ZidAPI::MoveObject(const MoveObjectReq& req) {
    return WithBackupDomainRetry(m_object_op, [&](bool backup) {
        return m_object_op.MoveObject(req, backup);
    });
}

bool ZidAPI::ObjectExists(const std::string& bucket_name, const std::string& object_name) {
    return m_object_op.ObjectExists(bucket_name, object_name);
}

std::string ZidAPI::GeneratePresignedUrl(const GeneratePresignedUrlReq& req) {
    return m_object_op.GeneratePresignedUrl(req);
}

std::string ZidAPI::GeneratePresignedUrl(const std::string& bucket_name,
                                         const std::string& object_name, uint64_t start_time_in_s,
                                         uint64_t end_time_in_s, int http_method) {
    // The lifetime is an unsigned difference: a reversed window would sign for centuries.
    if (end_time_in_s < start_time_in_s) {
        ZID_LOG_ERR("Presigned URL refused, end time %llu is before start time %llu",
                    static_cast<unsigned long long>(end_time_in_s),
                    static_cast<unsigned long long>(start_time_in_s));
        return "";
    }
    GeneratePresignedUrlReq req(bucket_name, object_name, http_method);
    req.SetStartTimeInSec(start_time_in_s);
    req.SetExpiredTimeInSec(end_time_in_s - start_time_in_s);
    return GeneratePresignedUrl(req);
}

std::string ZidAPI::GeneratePresignedUrl(const std::string& bucket_name,
                                         const std::string& object_name, uint64_t start_time_in_s,
                                         uint64_t end_time_in_s) {
    return GeneratePresignedUrl(bucket_name, object_name, start_time_in_s, end_time_in_s, 1);
}

std::string ZidAPI::GetObjectUrl(const std::string& bucket, const std::string& object, bool https,
                                 const std::string& region) {
    std::string url = https ? "https://" : "http://";
    std::string domain = m_config->GetDestDomain();
    if (domain.empty()) {
        domain = ClientSettings::GetDestDomain();
    }
    if (!domain.empty()) {
        url += domain;
    } else {
        url += DefaultEndpointHost(bucket, region.empty() ? m_config->GetRegion() : region);
    }
    // The name goes in as given: a caller who encoded it must not see it encoded twice.
    return url + "/" + object;
}

std::string ZidAPI::DefaultEndpointHost(const std::string& bucket, const std::string& region) {
    return bucket + "." + ClientSettings::kServiceLabel + "." + region +
           ClientSettings::kPrimaryDomainSuffix;
}

}  // namespace zuzezi_zid
