// Stands where the service's real host names would resolve: a test sets it as Poco's
// global HTTP proxy, so the client keeps building the primary and backup host names it
// would use in production, and the relay hands every request on to the loopback service
// with its Host header untouched (only the absolute request target is made relative).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include <Poco/Net/ServerSocket.h>

namespace zid_test {

class HostRelay {
public:
    explicit HostRelay(uint16_t upstream_port);
    ~HostRelay();
    HostRelay(const HostRelay&) = delete;
    HostRelay& operator=(const HostRelay&) = delete;

    uint16_t Port() const { return port_; }

    // Routes every new plain-HTTP client session of the process through the relay.
    void InstallAsGlobalProxy();
    static void RemoveGlobalProxy();

    // Drops "x-zid-request-id" from every answer, as an intermediary that loses headers
    // would: a failure that reached the service then looks like one that did not.
    void StripRequestIds(bool on) { strip_request_ids_ = on; }

private:
    void AcceptLoop();
    void Serve(int client_fd);

    uint16_t upstream_port_;
    uint16_t port_ = 0;
    Poco::Net::ServerSocket listener_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> strip_request_ids_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> connections_;
};

}  // namespace zid_test
