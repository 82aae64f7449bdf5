// A plain sink for upload benchmarks: it answers a single PUT and the multipart exchange
// (list, initiate, parts with their MD5 as ETag, complete) and keeps nothing but sizes and
// CRC-32s, so the upload's figures are the client's own and not a server's. Every PUT body, an
// object's as much as a part's, is digested and answered with its MD5 as ETag, as the storage
// service does: a single PUT (curl -T) then costs the sink what the parts of a multipart upload
// cost it, and the peers are compared on equal terms. Each object it
// finishes is printed as "object KEY SIZE CRC32" (CRC-32 of zlib, hex), for the driver to check.
//   zid-bench-sink              serves 127.0.0.1 on a free port; prints "listening on HOST:PORT";
//                               ends when standard input closes
//   zid-bench-sink crc32 FILE   prints "SIZE CRC32" of a file, as the sink would report it
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/evp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchSocket.h"

using namespace zid_bench;

namespace {

constexpr size_t kBufBytes = 1 << 20;

struct Part {
    uint64_t size = 0;
    uLong crc = 0;
    std::string md5;
};

struct Upload {
    std::string key;
    std::map<uint64_t, Part> parts;
};

std::mutex g_mu;  // guards g_uploads, g_next_id and standard output
std::map<std::string, Upload> g_uploads;
uint64_t g_next_id = 0;

void Report(const std::string& key, uint64_t size, uLong crc) {
    std::lock_guard<std::mutex> lock(g_mu);
    std::printf("object %s %" PRIu64 " %08lx\n", key.c_str(), size, crc);
    std::fflush(stdout);
}

class Md5 {
public:
    Md5() : m_ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free) { EVP_DigestInit_ex(m_ctx.get(), EVP_md5(), nullptr); }
    void Update(const char* p, size_t n) { EVP_DigestUpdate(m_ctx.get(), p, n); }
    std::string Hex() {
        unsigned char d[EVP_MAX_MD_SIZE];
        unsigned len = 0;
        EVP_DigestFinal_ex(m_ctx.get(), d, &len);
        static const char kHex[] = "0123456789abcdef";
        std::string s;
        for (unsigned i = 0; i < len; ++i) {
            s += kHex[d[i] >> 4];
            s += kHex[d[i] & 15];
        }
        return s;
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> m_ctx;
};

struct Request {
    std::string method, path, head;
    std::map<std::string, std::string> query;
    bool Has(const char* name) const { return query.count(name) != 0; }
};

Request ParseRequestLine(const std::string& head) {
    Request r;
    r.head = head;
    const size_t sp1 = head.find(' ');
    const size_t sp2 = head.find(' ', sp1 + 1);
    r.method = head.substr(0, sp1);
    const std::string target = head.substr(sp1 + 1, sp2 - sp1 - 1);
    const size_t q = target.find('?');
    r.path = target.substr(0, q);
    if (q != std::string::npos) {
        size_t pos = q + 1;
        while (pos <= target.size()) {
            size_t amp = target.find('&', pos);
            if (amp == std::string::npos) amp = target.size();
            const std::string item = target.substr(pos, amp - pos);
            const size_t eq = item.find('=');
            r.query[item.substr(0, eq)] = eq == std::string::npos ? "" : item.substr(eq + 1);
            pos = amp + 1;
        }
    }
    return r;
}

std::string Answer(int status, const std::string& body, const std::string& extra = "") {
    const char* reason = status == 200 ? "OK" : status == 400 ? "Bad Request" : "Not Found";
    return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nContent-Type: application/xml\r\n" + extra + "\r\n" +
           body;
}

// The part list of a completion, in the order given: (number, ETag without quotes).
std::vector<std::pair<uint64_t, std::string>> PartsOf(const std::string& xml) {
    std::vector<std::pair<uint64_t, std::string>> parts;
    size_t pos = 0;
    while ((pos = xml.find("<PartNumber>", pos)) != std::string::npos) {
        const uint64_t n = std::strtoull(xml.c_str() + pos + 12, nullptr, 10);
        const size_t e = xml.find("<ETag>", pos);
        const size_t end = xml.find("</ETag>", e);
        if (e == std::string::npos || end == std::string::npos) break;
        std::string etag = xml.substr(e + 6, end - e - 6);
        if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"') {
            etag = etag.substr(1, etag.size() - 2);
        }
        parts.emplace_back(n, etag);
        pos = end;
    }
    return parts;
}

std::string Complete(const Request& r, const std::string& body) {
    Upload up;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        auto it = g_uploads.find(r.query.at("uploadId"));
        if (it == g_uploads.end() || it->second.key != r.path) return Answer(404, "<Error>NoSuchUpload</Error>");
        up = std::move(it->second);
        g_uploads.erase(it);
    }
    const auto list = PartsOf(body);
    uint64_t size = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (size_t i = 0; i < list.size(); ++i) {
        auto p = up.parts.find(list[i].first);
        if (list[i].first != i + 1 || p == up.parts.end() || p->second.md5 != list[i].second) {
            return Answer(400, "<Error>InvalidPart</Error>");
        }
        crc = crc32_combine(crc, p->second.crc, static_cast<z_off_t>(p->second.size));
        size += p->second.size;
    }
    if (list.empty() || list.size() != up.parts.size()) return Answer(400, "<Error>InvalidPart</Error>");
    Report(r.path, size, crc);
    return Answer(200, "<CompleteMultipartUploadResult><Key>" + r.path.substr(1) +
                           "</Key><ETag>\"sink-" + std::to_string(list.size()) +
                           "\"</ETag></CompleteMultipartUploadResult>");
}

// Reads the body as it comes, its first `have` bytes already at buf + start: a part or an
// object is only summed, a completion is kept.
bool ReadBody(int sock, char* buf, size_t start, size_t have, uint64_t len, Part* sum, Md5* md5,
              std::string* kept) {
    sum->crc = crc32(0L, Z_NULL, 0);
    auto take = [&](const char* p, size_t n) {
        sum->crc = crc32_z(sum->crc, reinterpret_cast<const Bytef*>(p), n);
        if (md5) md5->Update(p, n);
        if (kept) kept->append(p, n);
        sum->size += n;
    };
    if (have > len) return false;  // no pipelining here
    take(buf + start, have);
    while (sum->size < len) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(kBufBytes, len - sum->size));
        ssize_t n = ::recv(sock, buf, want, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        take(buf, static_cast<size_t>(n));
    }
    return true;
}

void Serve(int sock) {
    std::unique_ptr<char[]> buf(new char[kBufBytes]);
    for (;;) {
        size_t head_len = 0;
        const long have = ReadHead(sock, buf.get(), kBufBytes, &head_len);
        if (have <= 0) break;
        const Request r = ParseRequestLine(std::string(buf.get(), head_len));
        const int64_t len = ContentLength(r.head);
        if (!HeaderValue(r.head, "Transfer-Encoding").empty()) {
            SendAll(sock, Answer(400, "<Error>chunked bodies are not taken</Error>"));
            break;
        }
        if (HeaderValue(r.head, "Expect") == "100-continue" &&
            !SendAll(sock, "HTTP/1.1 100 Continue\r\n\r\n")) {
            break;
        }
        const bool part = r.method == "PUT" && r.Has("partNumber") && r.Has("uploadId");
        const bool completion = r.method == "POST" && r.Has("uploadId");
        Part sum;
        Md5 md5;
        std::string kept;
        if (!ReadBody(sock, buf.get(), head_len, static_cast<size_t>(have) - head_len,
                      len < 0 ? 0 : static_cast<uint64_t>(len), &sum,
                      r.method == "PUT" ? &md5 : nullptr,
                      completion ? &kept : nullptr)) {
            break;
        }
        std::string answer;
        if (r.method == "GET" && r.Has("uploads")) {
            answer = Answer(200, "<ListMultipartUploadsResult><IsTruncated>false</IsTruncated>"
                                 "</ListMultipartUploadsResult>");
        } else if (r.method == "POST" && r.Has("uploads")) {
            std::string id;
            {
                std::lock_guard<std::mutex> lock(g_mu);
                id = "sink" + std::to_string(++g_next_id);
                g_uploads[id].key = r.path;
            }
            answer = Answer(200, "<InitiateMultipartUploadResult><Key>" + r.path.substr(1) +
                                     "</Key><UploadId>" + id +
                                     "</UploadId></InitiateMultipartUploadResult>");
        } else if (part) {
            sum.md5 = md5.Hex();
            const std::string etag = "ETag: \"" + sum.md5 + "\"\r\n";
            std::lock_guard<std::mutex> lock(g_mu);
            auto it = g_uploads.find(r.query.at("uploadId"));
            if (it == g_uploads.end() || it->second.key != r.path) {
                answer = Answer(404, "<Error>NoSuchUpload</Error>");
            } else {
                it->second.parts[std::strtoull(r.query.at("partNumber").c_str(), nullptr, 10)] = sum;
                answer = Answer(200, "", etag);
            }
        } else if (completion) {
            answer = Complete(r, kept);
        } else if (r.method == "PUT") {
            Report(r.path, sum.size, sum.crc);
            answer = Answer(200, "", "ETag: \"" + md5.Hex() + "\"\r\n");
        } else {
            answer = Answer(404, "<Error>NoSuchRoute</Error>");
        }
        if (!SendAll(sock, answer) || HeaderValue(r.head, "Connection") == "close") break;
    }
    ::close(sock);
}

int Crc32OfFile(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::perror(path);
        return 1;
    }
    std::unique_ptr<char[]> buf(new char[kBufBytes]);
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t size = 0;
    size_t n;
    while ((n = std::fread(buf.get(), 1, kBufBytes, f)) > 0) {
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(buf.get()), n);
        size += n;
    }
    const bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok) return 1;
    std::printf("%" PRIu64 " %08lx\n", size, crc);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "crc32") return Crc32OfFile(argv[2]);
    if (argc != 1) {
        std::fprintf(stderr, "usage: zid-bench-sink | zid-bench-sink crc32 FILE\n");
        return 2;
    }
    uint16_t port = 0;
    const int listener = ListenLoopback(&port);
    if (listener < 0) {
        std::perror("listen");
        return 1;
    }
    std::printf("listening on 127.0.0.1:%u\n", port);
    std::fflush(stdout);
    // Whoever started us holds our standard input; when it closes, we are done.
    std::thread([] {
        char c[256];
        while (::read(0, c, sizeof c) > 0) {
        }
        std::_Exit(0);
    }).detach();
    for (;;) {
        const int sock = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (sock < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            std::perror("accept");
            return 1;
        }
        int on = 1;
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::thread(Serve, sock).detach();
    }
}
