// The floor for the client's multi-threaded download: a bare client that does only what the
// download must (a HEAD, then ranged GETs of one slice each on one keep-alive connection per
// thread, 256 KiB reads written at their offsets) and nothing else: no signing, no staging, no
// CRC. What the client spends beyond this is its own overhead.
//   zid-bench-bare-get 127.0.0.1:PORT PATH FILE [threads] [slice-bytes]
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchSocket.h"

using namespace zid_bench;

namespace {

constexpr size_t kReadBytes = 256 * 1024;

struct Job {
    std::string host_port;
    std::string path;
    int out = -1;
    uint64_t size = 0;
    uint64_t slice = 0;
    std::atomic<uint64_t> next{0};
    std::atomic<bool> failed{false};
};

std::string Request(const Job& job, const char* method, const std::string& range) {
    std::string r = std::string(method) + " " + job.path + " HTTP/1.1\r\nHost: " + job.host_port +
                    "\r\n";
    if (!range.empty()) r += "Range: " + range + "\r\n";
    return r + "\r\n";
}

bool Fail(Job* job, const char* what) {
    if (!job->failed.exchange(true)) std::fprintf(stderr, "bare-get: %s\n", what);
    return false;
}

// One slice on an open connection: the body goes straight from the read buffer to the file.
bool FetchSlice(Job* job, int sock, char* buf, uint64_t first, uint64_t len) {
    const std::string range =
        "bytes=" + std::to_string(first) + "-" + std::to_string(first + len - 1);
    if (!SendAll(sock, Request(*job, "GET", range))) return Fail(job, "send failed");
    size_t head_len = 0;
    long have = ReadHead(sock, buf, kReadBytes, &head_len);
    if (have <= 0) return Fail(job, "no response head");
    const std::string head(buf, head_len);
    if (StatusOf(head) != 206 || ContentLength(head) != static_cast<int64_t>(len)) {
        return Fail(job, "unexpected answer to a ranged GET");
    }
    uint64_t got = static_cast<uint64_t>(have) - head_len;
    if (got > len) return Fail(job, "more body than asked for");
    if (!PwriteAll(job->out, buf + head_len, got, first)) return Fail(job, "write failed");
    while (got < len) {
        ssize_t n = ::recv(sock, buf, static_cast<size_t>(std::min<uint64_t>(kReadBytes, len - got)), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(job, "connection ended inside a body");
        if (!PwriteAll(job->out, buf, static_cast<size_t>(n), first + got)) {
            return Fail(job, "write failed");
        }
        got += static_cast<uint64_t>(n);
    }
    return true;
}

void Worker(Job* job) {
    std::unique_ptr<char[]> buf(new char[kReadBytes]);
    int sock = -1;
    while (!job->failed) {
        const uint64_t first = job->next.fetch_add(job->slice);
        if (first >= job->size) break;
        if (sock < 0 && (sock = ConnectLoopback(job->host_port)) < 0) {
            Fail(job, "connect failed");
            break;
        }
        if (!FetchSlice(job, sock, buf.get(), first, std::min(job->slice, job->size - first))) break;
    }
    if (sock >= 0) ::close(sock);
}

bool MeasureObject(Job* job) {
    int sock = ConnectLoopback(job->host_port);
    if (sock < 0) return Fail(job, "connect failed");
    char buf[8192];
    size_t head_len = 0;
    const bool sent = SendAll(sock, Request(*job, "HEAD", ""));
    const long have = sent ? ReadHead(sock, buf, sizeof buf, &head_len) : -1;
    ::close(sock);
    if (have <= 0) return Fail(job, "no answer to HEAD");
    const std::string head(buf, head_len);
    const int64_t size = ContentLength(head);
    if (StatusOf(head) != 200 || size < 0) return Fail(job, "HEAD gave no length");
    job->size = static_cast<uint64_t>(size);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: zid-bench-bare-get 127.0.0.1:PORT PATH FILE [threads] [slice-bytes]\n");
        return 2;
    }
    Job job;
    job.host_port = argv[1];
    job.path = argv[2];
    const unsigned threads = argc > 4 ? static_cast<unsigned>(std::atoi(argv[4])) : 10;
    job.slice = argc > 5 ? std::strtoull(argv[5], nullptr, 10) : 4u << 20;
    if (threads == 0 || job.slice == 0) return 2;
    if (!MeasureObject(&job)) return 1;
    job.out = ::open(argv[3], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (job.out < 0) {
        std::perror(argv[3]);
        return 1;
    }
    std::vector<std::thread> pool;
    for (unsigned i = 0; i < threads; ++i) pool.emplace_back(Worker, &job);
    for (auto& t : pool) t.join();
    if (::close(job.out) != 0) Fail(&job, "close failed");
    return job.failed ? 1 : 0;
}
