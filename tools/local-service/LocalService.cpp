#include "LocalService.h"

#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPRequestHandler.h>
#include <Poco/Net/HTTPRequestHandlerFactory.h>
#include <Poco/Net/HTTPServerConnection.h>
#include <Poco/Net/HTTPServerParams.h>
#include <Poco/Net/SecureStreamSocket.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/TCPServerConnectionFactory.h>
#include <Poco/Net/SocketAddress.h>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "ServiceImpl.h"

namespace zid_local {

std::string RecordedRequest::Header(const std::string& name) const {
    for (const auto& h : headers)
        if (IEquals(h.first, name)) return h.second;
    return std::string();
}

bool RecordedRequest::HasHeader(const std::string& name) const {
    for (const auto& h : headers)
        if (IEquals(h.first, name)) return true;
    return false;
}

namespace {

class Handler : public Poco::Net::HTTPRequestHandler {
public:
    explicit Handler(LocalService::Impl& impl) : impl_(impl) {}
    void handleRequest(Poco::Net::HTTPServerRequest& req, Poco::Net::HTTPServerResponse& resp) override {
        impl_.Handle(req, resp);
    }

private:
    LocalService::Impl& impl_;
};

class Factory : public Poco::Net::HTTPRequestHandlerFactory {
public:
    explicit Factory(LocalService::Impl& impl) : impl_(impl) {}
    Poco::Net::HTTPRequestHandler* createRequestHandler(const Poco::Net::HTTPServerRequest&) override {
        return new Handler(impl_);
    }

private:
    LocalService::Impl& impl_;
};

// Over HTTPS, each connection's TLS state is made, used and freed on the thread that serves
// it. A TLS listening socket makes it on the accepting thread, which, after a handshake
// refused at once, may drop the last reference and free it there, ordered with the serving
// thread only by Poco's reference count (invisible to ThreadSanitizer).
class ConnectionFactory : public Poco::Net::TCPServerConnectionFactory {
public:
    ConnectionFactory(Poco::Net::HTTPServerParams::Ptr params, Poco::Net::HTTPRequestHandlerFactory::Ptr handlers,
                      Poco::Net::Context::Ptr tls, std::shared_ptr<ServedSockets> open)
        : params_(std::move(params)), handlers_(std::move(handlers)), tls_(std::move(tls)), open_(std::move(open)) {}
    Poco::Net::TCPServerConnection* createConnection(const Poco::Net::StreamSocket& socket) override {
        std::unique_ptr<Poco::Net::TCPServerConnection> http;
        if (!tls_) {
            http.reset(new Poco::Net::HTTPServerConnection(socket, params_, handlers_));
        } else {
            http.reset(new Poco::Net::HTTPServerConnection(Poco::Net::SecureStreamSocket::attach(socket, tls_),
                                                           params_, handlers_));
        }
        return new ListedConnection(socket, std::move(http), open_);
    }

private:
    // Serves a connection while its socket is listed among the open ones.
    class ListedConnection : public Poco::Net::TCPServerConnection {
    public:
        ListedConnection(const Poco::Net::StreamSocket& socket, std::unique_ptr<TCPServerConnection> http,
                         std::shared_ptr<ServedSockets> open)
            : TCPServerConnection(socket), http_(std::move(http)), open_(std::move(open)) {}
        void run() override {
            const int own = open_->Add(socket().impl()->sockfd());
            try {
                http_->run();
            } catch (...) {
                open_->Remove(own);
                throw;
            }
            open_->Remove(own);
        }

    private:
        std::unique_ptr<TCPServerConnection> http_;
        std::shared_ptr<ServedSockets> open_;
    };

    Poco::Net::HTTPServerParams::Ptr params_;
    Poco::Net::HTTPRequestHandlerFactory::Ptr handlers_;
    Poco::Net::Context::Ptr tls_;
    std::shared_ptr<ServedSockets> open_;
};

}  // namespace

int ServedSockets::Add(int fd) {
    std::lock_guard<std::mutex> lock(mu_);
    const int own = ::dup(fd);
    if (own < 0) return own;
    fds_.insert(own);
    if (ended_) ::shutdown(own, SHUT_RDWR);
    return own;
}

void ServedSockets::Remove(int own) {
    if (own < 0) return;
    std::lock_guard<std::mutex> lock(mu_);
    fds_.erase(own);
    ::close(own);
}

void ServedSockets::EndAll() {
    std::lock_guard<std::mutex> lock(mu_);
    ended_ = true;
    for (int fd : fds_) ::shutdown(fd, SHUT_RDWR);
}

LocalService::LocalService(ServiceOptions options) : impl_(new Impl(std::move(options))) {
    impl_->store.SetRoot(impl_->options.root);
    impl_->MakeStandingBuckets();
}

LocalService::~LocalService() { Stop(); }

void LocalService::Start() {
    if (impl_->running) return;
    // A client that hangs up mid-answer must not take the process with it.
    signal(SIGPIPE, SIG_IGN);
    {
        std::lock_guard<std::mutex> lock(impl_->activeMu);
        impl_->stopping = false;
    }
    impl_->open = std::make_shared<ServedSockets>();
    Poco::Net::SocketAddress address("127.0.0.1", impl_->options.port);
    try {
        Poco::Net::Context::Ptr tls;
        if (impl_->options.https) {
            tls = new Poco::Net::Context(
                Poco::Net::Context::TLS_SERVER_USE, impl_->options.keyFile, impl_->options.certFile,
                impl_->options.caFile, Poco::Net::Context::VERIFY_NONE, 9, false,
                "ALL:!ADH:!LOW:!EXP:!MD5:@STRENGTH");
        }
        Poco::Net::ServerSocket socket;
        socket.bind(address, true);
        socket.listen(128);
        impl_->port = socket.address().port();

        auto* params = new Poco::Net::HTTPServerParams;
        params->setMaxThreads(128);
        params->setMaxQueued(256);
        params->setKeepAlive(true);
        params->setKeepAliveTimeout(
            Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(impl_->options.idleCloseMs) * 1000));
        params->setTimeout(Poco::Timespan(60, 0));
        params->setServerName("zid-local-service");
        impl_->pool.reset(new Poco::ThreadPool(4, 128, 60));
        Poco::Net::HTTPServerParams::Ptr shared_params(params);
        impl_->handlers = new Factory(*impl_);
        impl_->server.reset(new Poco::Net::TCPServer(
            new ConnectionFactory(shared_params, impl_->handlers, tls, impl_->open), *impl_->pool, socket,
            shared_params));
        impl_->server->start();
        impl_->running = true;
    } catch (const Poco::Exception& e) {
        impl_->server.reset();
        impl_->handlers = nullptr;
        impl_->pool.reset();
        throw std::runtime_error("local service cannot start: " + e.displayText());
    }
}

void LocalService::Stop() {
    if (!impl_->running) return;
    {
        std::lock_guard<std::mutex> lock(impl_->activeMu);
        impl_->stopping = true;
        impl_->activeCv.notify_all();
    }
    // Stop accepting, then abort the open connections.
    impl_->server->stop();
    impl_->open->EndAll();
    {
        std::unique_lock<std::mutex> lock(impl_->activeMu);
        impl_->activeCv.wait_for(lock, std::chrono::seconds(30), [this] { return impl_->active == 0; });
    }
    impl_->pool->joinAll();
    impl_->server.reset();
    impl_->handlers = nullptr;
    impl_->pool.reset();
    impl_->running = false;
}

bool LocalService::IsRunning() const { return impl_->running; }
uint16_t LocalService::Port() const { return impl_->port; }
std::string LocalService::DestDomain() const { return "127.0.0.1:" + std::to_string(impl_->port); }
const ServiceOptions& LocalService::Options() const { return impl_->options; }

void LocalService::CreateBucket(const std::string& bucket) { impl_->store.MakeBucket(bucket); }

bool LocalService::HasBucket(const std::string& bucket) const { return impl_->store.HasBucket(bucket); }

void LocalService::PutObject(const std::string& bucket, const std::string& key, const std::string& data) {
    impl_->store.MakeBucket(bucket);
    impl_->store.Put(bucket, key, data, {});
}

std::optional<std::string> LocalService::GetObject(const std::string& bucket, const std::string& key) const {
    auto obj = impl_->store.Get(bucket, key);
    if (!obj) return std::nullopt;
    return obj->data;
}

std::optional<StoredObject> LocalService::GetStoredObject(const std::string& bucket, const std::string& key) const {
    auto obj = impl_->store.Get(bucket, key);
    if (!obj) return std::nullopt;
    return *obj;
}

bool LocalService::DeleteObject(const std::string& bucket, const std::string& key) {
    return impl_->store.Delete(bucket, key);
}

std::vector<std::string> LocalService::ListKeys(const std::string& bucket) const {
    std::vector<std::string> keys;
    for (const auto& o : impl_->store.List(bucket)) keys.push_back(o.first);
    return keys;
}

std::string LocalService::GetObjectAcl(const std::string& bucket, const std::string& key) const {
    return impl_->store.GetAcl(bucket, key);
}

std::map<std::string, std::string> LocalService::GetObjectTags(const std::string& bucket, const std::string& key) const {
    std::map<std::string, std::string> out;
    for (const auto& t : impl_->store.GetTags(bucket, key)) out[t.first] = t.second;
    return out;
}

size_t LocalService::OpenUploadCount(const std::string& bucket) const {
    return impl_->store.ListUploads(bucket).size();
}

void LocalService::Seed(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const auto& b : fs::directory_iterator(folder, ec)) {
        if (!b.is_directory()) continue;
        std::string bucket = b.path().filename().string();
        impl_->store.MakeBucket(bucket);  // an empty folder is an empty bucket
        for (auto it = fs::recursive_directory_iterator(b.path(), ec); it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (ec) break;
            if (!it->is_regular_file()) continue;
            std::ifstream in(it->path(), std::ios::binary);
            std::ostringstream ss;
            ss << in.rdbuf();
            std::string key = fs::relative(it->path(), b.path()).generic_string();
            impl_->store.Put(bucket, key, ss.str(), {});
        }
    }
}

void LocalService::Clear() {
    impl_->store.Clear();
    impl_->MakeStandingBuckets();
    {
        std::lock_guard<std::mutex> lock(impl_->sizeMu);
        impl_->reportedSizes.clear();
    }
    impl_->listPageSize = impl_->options.listPageSize;
    ClearFaults();
    ClearRequests();
}

std::optional<std::string> LocalService::GetBucketConfig(const std::string& bucket, const std::string& name) const {
    std::string body;
    if (!impl_->store.GetBucketConfig(bucket, name, &body)) return std::nullopt;
    return body;
}

void LocalService::SetListPageSize(uint64_t keys) { impl_->listPageSize = keys; }

void LocalService::SetReportedSize(const std::string& bucket, const std::string& key, uint64_t size) {
    std::lock_guard<std::mutex> lock(impl_->sizeMu);
    if (size == 0) impl_->reportedSizes.erase({bucket, key});
    else impl_->reportedSizes[{bucket, key}] = size;
}

void LocalService::AddFault(const Fault& fault) {
    std::lock_guard<std::mutex> lock(impl_->faultMu);
    impl_->faults.push_back(FaultSlot{fault, 0, 0});
}

void LocalService::ClearFaults() {
    std::lock_guard<std::mutex> lock(impl_->faultMu);
    impl_->faults.clear();
    std::lock_guard<std::mutex> active(impl_->activeMu);
    ++impl_->faultClearings;
    impl_->activeCv.notify_all();
}

size_t LocalService::PendingFaults() const {
    std::lock_guard<std::mutex> lock(impl_->faultMu);
    size_t n = 0;
    for (const auto& f : impl_->faults)
        if (f.fault.times < 0 || f.hits < f.fault.times) ++n;
    return n;
}

std::vector<RecordedRequest> LocalService::Requests() const {
    std::lock_guard<std::mutex> lock(impl_->recordMu);
    return impl_->record;
}

void LocalService::ClearRequests() {
    std::lock_guard<std::mutex> lock(impl_->recordMu);
    impl_->record.clear();
}

int LocalService::AcceptedConnections() const {
    return impl_->server ? impl_->server->totalConnections() : 0;
}

int LocalService::OpenConnections() const {
    return impl_->server ? impl_->server->currentConnections() : 0;
}

uint64_t LocalService::Crc64(const std::string& data, uint64_t crc) {
    return auth::Crc64(data.data(), data.size(), crc);
}

std::string LocalService::Md5Hex(const std::string& data) { return auth::Md5Hex(data); }

}  // namespace zid_local
