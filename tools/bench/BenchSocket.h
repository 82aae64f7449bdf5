// Loopback sockets and HTTP/1.1 heads for the bench's bare peers (the ranged-GET client and the
// upload sink): just enough HTTP to move bytes, so that what they cost is the floor the client
// is measured against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zid_bench {

// A listening socket on 127.0.0.1; *port 0 takes a free one and is set to it. -1 on failure.
int ListenLoopback(uint16_t* port);
// "127.0.0.1:PORT" (loopback addresses only); -1 on failure.
int ConnectLoopback(const std::string& host_port);

bool SendAll(int fd, const char* data, size_t len);
inline bool SendAll(int fd, const std::string& s) { return SendAll(fd, s.data(), s.size()); }
bool PwriteAll(int fd, const char* data, size_t len, uint64_t offset);

// Reads until the blank line that ends an HTTP head. Returns how many bytes are in buf (the head
// and whatever of the body came with it) and sets *head_len; 0 when the peer closed before a
// head began, -1 on an error or a head larger than cap.
long ReadHead(int fd, char* buf, size_t cap, size_t* head_len);

// The value of a header in a head (the name without regard to case); empty when absent.
std::string HeaderValue(const std::string& head, const std::string& name);
// The status of a response head ("HTTP/1.1 206 ..."), -1 when it is not one.
int StatusOf(const std::string& head);
// Content-Length of a head, -1 when absent or not a number.
int64_t ContentLength(const std::string& head);

}  // namespace zid_bench
