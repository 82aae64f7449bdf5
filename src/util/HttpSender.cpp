#include "util/HttpSender.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <typeinfo>
#include <sstream>
#include <utility>
#include <vector>

#include <Poco/Exception.h>
#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/Net/HTTPSClientSession.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/RejectCertificateHandler.h>
#include <Poco/Net/SSLManager.h>
#include <Poco/Net/SecureStreamSocket.h>
#include <Poco/URI.h>

#include "trsf/TransferHandler.h"
#include "util/AnswerHead.h"
#include "util/CodecUtil.h"
#include "util/DownloadAnswer.h"
#include "util/ConnectionPool.h"
#include "util/HttpConnection.h"
#include "util/LogUtil.h"
#include "util/MemoryBody.h"
#include "util/PipelinedMd5.h"
#include "util/RequestHead.h"
#include "util/ResponseBody.h"
#include "util/WatchedBodyWriter.h"
#include "util/StringUtil.h"

// Every line of the sender carries one function name, whatever helper logs it.
#define SENDER_LOG_ERR(fmt, ...) ZID_LOG_NAMED(1, "SendRequest", fmt, ##__VA_ARGS__)
#define SENDER_LOG_INFO(fmt, ...) ZID_LOG_NAMED(3, "SendRequest", fmt, ##__VA_ARGS__)
#define SENDER_LOG_DBG(fmt, ...) ZID_LOG_NAMED(4, "SendRequest", fmt, ##__VA_ARGS__)

namespace zuzezi_zid {

namespace {

using StringMap = HttpSender::StringMap;
using Clock = std::chrono::steady_clock;

const size_t kCopyBufferSize = 8192;
// Bodies move in pieces of this size: few system calls, progress at a sensible rate, and
// cancellation between pieces.
const size_t kPiece = 256 * 1024;
// A body this small goes out in one write with its head.
const uint64_t kJoinedPiece = 64 * 1024;
// An error answer is a message, not data: only this much of its body is read.
const size_t kMaxErrorBody = 1024 * 1024;
// Interim answers (1xx) read before a final one; a server that sends them without end fails.
const int kMaxInterimAnswers = 32;

bool IsSuccess(int status) { return status >= 200 && status <= 299; }

// A certificate that fails verification is refused outright; without this the
// TLS library falls back to asking on the console.
void EnsureTlsSetUp() {
    static std::once_flag once;
    std::call_once(once, [] {
        Poco::Net::initializeSSL();
        Poco::Net::SSLManager::InvalidCertificateHandlerPtr reject(
            new Poco::Net::RejectCertificateHandler(false));
        Poco::Net::SSLManager::instance().initializeClient(nullptr, reject, nullptr);
    });
}

bool IsSecretHeader(const std::string& name) {
    return Poco::icompare(name, "Authorization") == 0 ||
           Poco::icompare(name, "x-zid-security-token") == 0 ||
           Poco::icompare(name, "x-ci-security-token") == 0;
}

std::string RequestHeadForLog(const Poco::Net::HTTPRequest& req) {
    Poco::Net::HTTPRequest shown(req.getMethod(), req.getURI(), req.getVersion());
    for (const auto& h : req) {
        shown.add(h.first, IsSecretHeader(h.first) ? std::string("***") : h.second);
    }
    std::ostringstream os;
    shown.write(os);
    return os.str();
}

// The name the request is for: the "Host" header without its port. The URL may carry the
// destination domain, an intranet address or a cached IP instead.
std::string HostHeaderName(const StringMap& headers) {
    for (const auto& h : headers) {
        if (Poco::icompare(h.first, "host") != 0) {
            continue;
        }
        const std::string& v = h.second;
        if (!v.empty() && v[0] == '[') {
            const size_t end = v.find(']');
            return end == std::string::npos ? v : v.substr(1, end - 1);
        }
        return v.substr(0, v.find(':'));
    }
    return "";
}

std::string BuildTarget(const Poco::URI& uri, const StringMap& params) {
    std::string path = uri.getPath();
    if (path.empty()) {
        path = "/";
    }
    std::string query;
    for (const auto& p : params) {
        query += CodecUtil::EncodeValue(p.first);
        if (!p.second.empty()) {
            query += "=" + CodecUtil::EncodeValue(p.second);
        }
        query += "&";
    }
    if (!query.empty()) {
        query.pop_back();
        query = "?" + query;
    }
    return CodecUtil::EncodePath(path) + query;
}

void LogRate(uint64_t bytes, Clock::time_point start, Clock::time_point end = Clock::now()) {
    const uint64_t ms = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count());
    if (ms > 1 && bytes > 102400) {
        const float rate =
            static_cast<float>(bytes) / 1024.0f / 1024.0f / (static_cast<float>(ms) / 1000.0f);
        SENDER_LOG_DBG("send_size: %llu, time_consumed: %llu ms, rate: %.2f MB/s",
                       static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(ms),
                       static_cast<double>(rate));
    }
}

void FillResponseHeaders(const Poco::Net::HTTPResponse& resp, StringMap* headers,
                         std::string* etag) {
    for (const auto& h : resp) {
        headers->insert(std::make_pair(h.first, h.second));
    }
    auto it = headers->find("Etag");
    if (it != headers->end()) {
        (*headers)["ETag"] = it->second;
        headers->erase("Etag");
    }
    it = headers->find("ETag");
    *etag = it == headers->end() ? std::string() : StringUtil::StripEnclosing(it->second, "\"");
}

void LogResponse(const Poco::Net::HTTPResponse& resp, const StringMap& headers) {
    if (ClientSettings::GetLogLevel() >= 4) {
        std::string text = "response header :\n";
        for (const auto& h : headers) {
            text += h.first + ": " + h.second + "\n";
        }
        SENDER_LOG_DBG("%s", text.c_str());
    }
    SENDER_LOG_INFO("Send request over, status=%d, reason=%s", static_cast<int>(resp.getStatus()),
                    resp.getReason().c_str());
}

// Copies the response body to out in large pieces, straight into the destination's memory
// when it offers it. Otherwise the pieces go through a buffer of at most `length` bytes (a
// small answer needs no large one): md5's own when it is given, so that it can read each piece
// where it is while the next is read.
uint64_t PumpBody(const std::shared_ptr<TransferHandler>& handler, std::istream& in,
                  std::ostream& out, uint64_t length, PipelinedMd5* md5) {
    auto* sink = dynamic_cast<DirectSinkBuf*>(out.rdbuf());
    const size_t piece =
        static_cast<size_t>(std::max<uint64_t>(1, std::min<uint64_t>(kPiece, length)));
    if (!sink && !md5) {
        return CopyStreamWithProgress(handler, in, out, piece);
    }
    uint64_t total = 0;
    for (;;) {
        char* at = nullptr;
        size_t room = piece;
        if (sink) {
            room = std::min(sink->Room(&at), kPiece);
            if (room == 0) {
                // Full: the rest is still read, and measured by the destination. The copy
                // buffer is reused for the next piece, so md5 takes a copy of each.
                std::function<void(const char*, size_t)> on_copied;
                if (md5) {
                    on_copied = [md5](const char* data, size_t size) {
                        md5->Add(data, size, false);
                    };
                }
                return total + CopyStreamWithProgress(handler, in, out, piece, on_copied);
            }
        } else {
            at = md5->Buffer(piece);
        }
        in.read(at, static_cast<std::streamsize>(room));
        const size_t n = static_cast<size_t>(in.gcount());
        if (n == 0) {
            return total;
        }
        if (handler && !handler->IsNotCancelled()) {
            throw UserCancelException();
        }
        if (sink) {
            sink->Commit(n);
        } else {
            WriteChecked(out, at, n, total);
        }
        total += n;
        if (md5) {
            md5->Add(at, n, true);
        }
        if (handler) {
            handler->AdvanceProgress(n);
        }
        if (!in.good()) {
            return total;
        }
    }
}

// Copies the response body to out. When the ETag is a plain MD5 and the caller
// asks for the check, each piece is digested as it is copied (never held whole
// in memory), a large body's alongside the copy; returns false in *md5_ok with the
// hex digest in *md5_hex on a mismatch.
uint64_t CopyBody(const std::shared_ptr<TransferHandler>& handler, std::istream& in,
                  std::ostream& out, uint64_t length, bool is_check_md5, const std::string& etag,
                  bool* md5_ok, std::string* md5_hex) {
    *md5_ok = true;
    if (!is_check_md5 || StringUtil::IsNotMd5Etag(etag) || StringUtil::ContainsDash(etag)) {
        return PumpBody(handler, in, out, length, nullptr);
    }
    SENDER_LOG_DBG("Check Response Md5");
    PipelinedMd5 md5;
    const uint64_t n = PumpBody(handler, in, out, length, &md5);
    *md5_hex = md5.HexDigest();
    *md5_ok = *md5_hex == etag;
    return n;
}

// Keeps at most kMaxErrorBody bytes of an error answer's body and leaves the
// rest unread: a server that never ends it cannot fill the memory. Its framing
// is not checked: the status is the answer, the body only explains it.
std::string ReadErrorBody(std::istream& in) {
    std::string body;
    char buffer[kCopyBufferSize];
    while (body.size() < kMaxErrorBody) {
        in.read(buffer, static_cast<std::streamsize>(
                            std::min(sizeof(buffer), kMaxErrorBody - body.size())));
        if (in.gcount() <= 0) {
            break;
        }
        body.append(buffer, static_cast<size_t>(in.gcount()));
    }
    if (body.size() == kMaxErrorBody && in.peek() != std::char_traits<char>::eof()) {
        SENDER_LOG_ERR("Error body is longer than %llu bytes; the rest is not read",
                       static_cast<unsigned long long>(kMaxErrorBody));
    }
    return body;
}

Poco::Timespan Millis(uint64_t ms) {
    return Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(ms) * 1000);
}

Poco::Net::Context::Ptr NewContext(bool is_verify_cert, const std::string& ca_location) {
    return new Poco::Net::Context(
        Poco::Net::Context::TLS_CLIENT_USE, "", "", ca_location,
        is_verify_cert ? Poco::Net::Context::VERIFY_RELAXED : Poco::Net::Context::VERIFY_NONE, 9,
        ca_location.empty(), "ALL:!ADH:!LOW:!EXP:!MD5:@STRENGTH");
}

// One context per verification mode and CA location: the CAs are loaded once, and TLS sessions
// made under a context can be resumed on a new connection. Built once, never destroyed.
Poco::Net::Context::Ptr SharedContext(bool is_verify_cert, const std::string& ca_location) {
    static std::mutex* mutex = new std::mutex;
    static auto* contexts = new std::map<std::pair<bool, std::string>, Poco::Net::Context::Ptr>;
    std::lock_guard<std::mutex> lock(*mutex);
    Poco::Net::Context::Ptr& context = (*contexts)[std::make_pair(is_verify_cert, ca_location)];
    if (!context) {
        context = NewContext(is_verify_cert, ca_location);
        context->enableSessionCache(true);
    }
    return context;
}

void WriteAll(Poco::Net::StreamSocket& socket, const char* data, size_t size) {
    while (size > 0) {
        const int n = socket.sendBytes(data, static_cast<int>(size));
        if (n <= 0) {
            throw Poco::Net::NetException("connection closed while sending the request");
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

const char kMd5Mismatch[] =
    "Md5 of response body is not equal to the etag in the header. Body Md5= ";

// The parts shared by every exchange form: the connection (from the pool or new), the request
// and its body, and the answer's head; body handling is left to the caller.
class Exchange {
public:
    explicit Exchange(const std::string& url_str) : m_url(url_str) {}

    // Returns false with *err_msg set when the exchange must stop before any connection: a
    // head that would not go out as its fields say is refused here, whichever path writes it.
    // body_size: the body's length when it is known, else null.
    bool Open(const std::string& http_method, const StringMap& params, const StringMap& headers,
              const uint64_t* body_size, uint64_t conn_timeout_in_ms,
              uint64_t recv_timeout_in_ms, bool is_verify_cert, const std::string& ca_location,
              const SSLCtxCallback& ssl_ctx_cb, void* user_data, std::string* err_msg) {
        SENDER_LOG_INFO("send request to [%s]", m_url.c_str());
        std::string fault = RequestFieldFault(http_method, headers, body_size);
        if (!fault.empty()) {
            SENDER_LOG_ERR("request refused before sending: %s", fault.c_str());
            *err_msg = std::move(fault);
            return false;
        }
        m_uri = Poco::URI(m_url);
        m_method = http_method;
        m_conn_timeout = Millis(conn_timeout_in_ms);
        m_recv_timeout = Millis(recv_timeout_in_ms);
        m_https = StringUtil::HasPrefixIgnoreCase(m_url, "https");
        m_key = (m_https ? "https://" : "http://") + m_uri.getHost() + ":" +
                std::to_string(m_uri.getPort());
        // A new session takes the process-wide proxy as it is at the time.
        const auto& proxy = Poco::Net::HTTPClientSession::getGlobalProxyConfig();
        if (!proxy.host.empty()) {
            m_key += " via " + proxy.host + ":" + std::to_string(proxy.port);
        }
        if (m_https) {
            EnsureTlsSetUp();
            if (ssl_ctx_cb) {
                // The callback may change the context as it likes: neither it nor a connection
                // made with it is shared.
                m_context = NewContext(is_verify_cert, ca_location);
                const int code = ssl_ctx_cb(m_context->sslContext(), user_data);
                if (code != 0) {
                    *err_msg = "SSL_Ctx Callback Exception Code: " + StringUtil::FormatInt(code);
                    return false;
                }
                m_poolable = false;
            } else {
                m_context = SharedContext(is_verify_cert, ca_location);
            }
            // SNI and the certificate check follow the real host, not the address dialled.
            m_peer = HostHeaderName(headers);
            m_key += std::string(is_verify_cert ? " verify " : " noverify ") + m_peer + " " +
                     ca_location;
        }
        m_request.reset(new Poco::Net::HTTPRequest(http_method, BuildTarget(m_uri, params),
                                                   Poco::Net::HTTPMessage::HTTP_1_1));
        for (const auto& h : headers) {
            // A repeat of a single field agrees with the first (see RequestFieldFault).
            if (IsSingleField(h.first) && m_request->has(h.first)) continue;
            m_request->add(h.first, h.second);
        }
        // A request body without a length ends only with the connection.
        if (BodyWithoutLength()) {
            m_poolable = false;
        }
        if (!m_poolable) {
            m_request->setKeepAlive(false);
        }
        if (ClientSettings::GetLogLevel() >= 4) {
            SENDER_LOG_DBG("request=[%s]", RequestHeadForLog(*m_request).c_str());
        }
        return true;
    }

    // Sends the request and its body (progress and cancellation through the handler, which may
    // be empty) and reads the answer's head; returns the body, framed as the head says. When a
    // reused connection fails before any byte of the answer arrived, the request goes once more
    // on a new connection if that cannot repeat an action.
    std::istream& Run(std::istream& body, const std::shared_ptr<TransferHandler>& handler,
                      uint64_t* sent) {
        const std::streampos body_start = body.tellg();
        for (bool first = true;; first = false) {
            Connect(first);
            bool all_sent = false;
            try {
                *sent = SendAll(body, handler);
                m_sent_at = Clock::now();
                m_head_deadline = m_sent_at + DeadlineSpan(m_recv_timeout);
                all_sent = true;
                if (m_answered_early) {
                    return ReceiveEarlyAnswer();
                }
                if (!m_reused) {
                    return ReceiveHead();
                }
                // What arrives first may be only the end of the connection; the head's parser
                // has the last word, as it alone reads past every TLS record in whatever
                // order the parts of a close come.
                const bool arrives = AnswerArrives();
                if (arrives && FirstHeadArrives()) {
                    return ReceiveRestOfHead();
                }
                if (MaySendAgain(all_sent, body, body_start, handler)) {
                    SENDER_LOG_INFO("kept connection closed before answering, sending again");
                    continue;
                }
                if (arrives) {
                    throw Poco::Net::NoMessageException();
                }
                return ReceiveHead();
            } catch (const Poco::TimeoutException&) {
                throw;
            } catch (const Poco::Exception& e) {
                if (!m_reused || all_sent || !MaySendAgain(all_sent, body, body_start, handler)) {
                    throw;
                }
                SENDER_LOG_INFO("kept connection failed while sending (%s), sending again",
                                e.displayText().c_str());
            }
        }
    }

    const Poco::Net::HTTPResponse& Response() const { return m_response; }
    Clock::time_point SentAt() const { return m_sent_at; }
    // The body's length when the head gives it, else as much as a piece.
    uint64_t BodyLength() const { return m_has_length ? m_length : kPiece; }

    // The response stream swallows socket errors into its state; bring them back.
    void RethrowNetworkError() const {
        if (m_conn && m_conn->Session().networkException()) {
            m_conn->Session().networkException()->rethrow();
        }
    }

    // After the body was read to its end: one that ended otherwise than its
    // framing says is a broken exchange, not a success.
    void CheckBodyComplete() const {
        m_body_buf->RethrowIfBroken();
        RethrowNetworkError();
    }

    // The connection goes back to the pool only when the answer was read to its very end and
    // allowed keep-alive; anything else closes it.
    void Finish() {
        if (!m_conn || !m_poolable || m_answered_early || !m_body_buf || !m_body_buf->Complete() ||
            !m_plain_codings || m_conn->HasBuffered() || !m_response.getKeepAlive() ||
            m_conn->Session().networkException()) {
            m_conn.reset();
            return;
        }
        ConnectionPool& pool = ConnectionPool::Instance();
        if (m_https) {
            // Read now, after the answer: a TLS 1.3 server sends its session ticket after the
            // handshake.
            Poco::Net::SecureStreamSocket secure(m_conn->Session().socket());
            if (!m_reused && secure.sessionWasReused()) {
                SENDER_LOG_DBG("TLS session resumed");
            }
            pool.KeepTlsSession(m_key, secure.currentSession());
        }
        pool.Give(m_key, std::move(m_conn));
    }

private:
    void Connect(bool from_pool) {
        m_answered_early = false;
        m_body.reset();
        m_body_buf.reset();
        m_conn.reset();
        m_reused = false;
        if (m_poolable && from_pool) {
            m_conn = ConnectionPool::Instance().Take(m_key);
            m_reused = m_conn != nullptr;
        }
        if (!m_conn) {
            m_conn = NewConnection();
        }
        // Kept alive for the library either way, or it would close the connection opened here
        // before sending; the request itself says whether the connection is kept.
        m_conn->Session().setKeepAlive(true);
        if (m_reused) {
            m_conn->SetSendTimeout(m_conn_timeout);
        } else {
            m_conn->SetUpNew(m_conn_timeout);
            m_conn->Open();
        }
    }

    std::unique_ptr<HttpConnection> NewConnection() {
        const std::string& host = m_uri.getHost();
        if (!m_https) {
            return std::unique_ptr<HttpConnection>(
                new ConnectionOf<Poco::Net::HTTPClientSession>(host, m_uri.getPort()));
        }
        Poco::Net::Session::Ptr tls;
        if (m_poolable) {
            tls = ConnectionPool::Instance().TlsSession(m_key);
        }
        std::unique_ptr<HttpConnection> conn(new ConnectionOf<Poco::Net::HTTPSClientSession>(
            host, m_uri.getPort(), m_context, tls));
        if (!m_peer.empty() && Poco::icompare(m_peer, host) != 0) {
            Poco::Net::SecureStreamSocket(conn->Session().socket()).setPeerHostName(m_peer);
        }
        return conn;
    }

    bool MaySendAgain(bool all_sent, std::istream& body, std::streampos body_start,
                      const std::shared_ptr<TransferHandler>& handler) {
        const bool reads = Poco::icompare(m_method, "GET") == 0 ||
                           Poco::icompare(m_method, "HEAD") == 0;
        if ((all_sent && !reads) || body_start == std::streampos(-1) ||
            (handler && !handler->IsNotCancelled())) {
            return false;
        }
        body.clear();
        body.seekg(body_start);
        return !body.fail();
    }

    // A chunked body, or one of a method that carries a body and gives no length.
    bool BodyWithoutLength() const {
        return !m_request->hasContentLength() &&
               (m_request->getChunkedTransferEncoding() || Poco::icompare(m_method, "PUT") == 0 ||
                Poco::icompare(m_method, "POST") == 0 || Poco::icompare(m_method, "PATCH") == 0);
    }

    // Whether the head is ours to write: the library's own sending is kept for what it does
    // besides writing it (proxies, a missing Host, bodies without a length).
    bool WritesOwnHead() const {
        return m_conn->Session().getProxyHost().empty() && m_request->has("Host") &&
               !m_request->getChunkedTransferEncoding() && !BodyWithoutLength();
    }

    // The head, then the body in large writes; returns the body bytes sent.
    uint64_t SendAll(std::istream& body, const std::shared_ptr<TransferHandler>& handler) {
        if (WritesOwnHead()) {
            m_conn->ClearNetworkError();
            const uint64_t length =
                m_request->hasContentLength()
                    ? static_cast<uint64_t>(m_request->getContentLength64())
                    : 0;
            return SendBody(body, handler, length, RequestHeadText(*m_request));
        }
        std::ostream& os = m_conn->Session().sendRequest(*m_request);
        // The head's stream swallows a failed write, a TLS handshake's too; bring it back
        // before the body would shake hands once more.
        RethrowNetworkError();
        uint64_t sent = 0;
        try {
            if (m_request->hasContentLength()) {
                os.flush();
                if (!os) {
                    throw std::ios_base::failure("request head not sent");
                }
                sent = SendBody(body, handler,
                                static_cast<uint64_t>(m_request->getContentLength64()), "");
            } else {
                // Such a body goes through the library's small stream buffer anyway.
                if (body.peek() != std::char_traits<char>::eof()) {
                    sent = CopyStreamWithProgress(handler, body, os, kCopyBufferSize);
                }
                os.flush();
                if (!os) {
                    throw std::ios_base::failure("request not sent");
                }
            }
        } catch (const std::ios_base::failure&) {
            RethrowNetworkError();  // the socket's own error says more
            throw;
        }
        return sent;
    }

    // At most `length` bytes of the body, straight from its memory when it is in memory; a
    // head not yet sent goes first, in one write with a small first piece (one segment for a
    // small request, where the server would wake for each).
    uint64_t SendBody(std::istream& body, const std::shared_ptr<TransferHandler>& handler,
                      uint64_t length, std::string head) {
        Poco::Net::StreamSocket& socket = m_conn->Session().socket();
        m_writer.reset(new WatchedBodyWriter(m_conn_timeout, m_recv_timeout));
        if (!head.empty() && (length == 0 || length > kJoinedPiece)) {
            if (WritePiece(socket, head.data(), head.size())) {
                m_answered_early = true;
                return 0;
            }
            head.clear();
        }
        auto* memory = dynamic_cast<MemoryBodyBuf*>(body.rdbuf());
        std::vector<char> buffer;
        uint64_t sent = 0;
        while (sent < length) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(kPiece, length - sent));
            const char* data = nullptr;
            size_t n = 0;
            if (memory) {
                n = std::min(want, memory->Ready());
                data = memory->Next();
            } else {
                buffer.resize(want);
                body.read(buffer.data(), static_cast<std::streamsize>(want));
                data = buffer.data();
                n = static_cast<size_t>(body.gcount());
            }
            if (n == 0) {
                break;
            }
            if (handler && !handler->IsNotCancelled()) {
                throw UserCancelException();
            }
            const bool joined = !head.empty();
            if (joined) head.append(data, n);
            if (joined ? WritePiece(socket, head.data(), head.size())
                       : WritePiece(socket, data, n)) {
                m_answered_early = true;
                return sent;
            }
            head.clear();
            if (memory) {
                memory->Skip(n);
            }
            sent += n;
            if (handler) {
                handler->AdvanceProgress(n);
            }
        }
        if (sent < length) {
            // The peer would wait for the rest until it gave up; the connection is dropped.
            throw std::runtime_error("request body ended after " + std::to_string(sent) + " of " +
                                     std::to_string(length) + " bytes");
        }
        return sent;
    }

    // Writes one piece of the body; true when, instead, the server's answer has come (then the
    // rest of the body is not sent: a server that refuses an upload often closes without
    // reading it, and the reset would hide the answer).
    bool WritePiece(Poco::Net::StreamSocket& socket, const char* data, size_t size) {
        try {
            if (socket.secure()) {
                WriteAll(socket, data, size);
                return false;
            }
            return m_writer->Write(socket.impl()->sockfd(), data, size);
        } catch (const Poco::Exception&) {
            // Over TLS the answer is only seen here, once the write failed or timed out.
            m_conn->SetReceiveTimeout(m_recv_timeout);
            if (m_conn->AnswerWaiting()) {
                return true;
            }
            throw;
        }
    }

    // The answer that came while the body was being sent. It decides the exchange only as a
    // refusal: a success for a body the server never had is no success.
    std::istream& ReceiveEarlyAnswer() {
        SENDER_LOG_INFO("answer arrived before the request body was sent, not sending the rest");
        std::istream& rs = ReceiveHead();
        if (IsSuccess(static_cast<int>(m_response.getStatus()))) {
            throw Poco::Net::MessageException("status " +
                                              std::to_string(m_response.getStatus()) +
                                              " arrived before the request body was sent");
        }
        return rs;
    }

    bool AnswerArrives() {
        m_conn->SetReceiveTimeout(m_recv_timeout);
        return m_conn->AnswerArrives();
    }

    // Reads the head and returns the body, framed as the head says; a head whose
    // framing cannot be trusted throws.
    std::istream& ReceiveHead() {
        if (!FirstHeadArrives()) {
            throw Poco::Net::NoMessageException();
        }
        return ReceiveRestOfHead();
    }

    // Reads the answer's first head; false when the connection ended before any byte of it.
    bool FirstHeadArrives() { return ReadAnswerHead(*m_conn, m_response, m_head_deadline); }

    // After the first head: the interim answers to the final one, and the body as it frames.
    // Any interim answer, "100 Continue" too, precedes the final one: taken for it, it would
    // leave that final answer to the next request on the connection.
    std::istream& ReceiveRestOfHead() {
        for (int interim = 0; m_response.getStatus() >= 100 && m_response.getStatus() < 200;
             ++interim) {
            if (m_response.getStatus() == 101 || interim == kMaxInterimAnswers) {
                throw Poco::Net::MessageException("unexpected interim answer " +
                                                  std::to_string(m_response.getStatus()) + " " +
                                                  m_response.getReason());
            }
            if (!ReadAnswerHead(*m_conn, m_response, m_head_deadline)) {
                throw Poco::Net::NoMessageException();
            }
        }
        m_conn->SetReceiveTimeout(m_recv_timeout);
        const int status = static_cast<int>(m_response.getStatus());
        const bool has_body = Poco::icompare(m_method, "HEAD") != 0 && status >= 200 &&
                              status != 204 && status != 304;
        const ResponseBodyBuf::Framing framing =
            FramingOfHead(m_response, has_body, &m_length, &m_plain_codings);
        m_has_length = framing == ResponseBodyBuf::Framing::kLength;
        HttpConnection* conn = m_conn.get();
        m_body_buf.reset(new ResponseBodyBuf(
            [conn](char* buffer, int length) { return conn->ReadRaw(buffer, length); }, framing,
            m_length));
        if (framing == ResponseBodyBuf::Framing::kChunked) {
            m_body_buf->BoundTrailer(
                [conn](char* buffer, int length, Clock::time_point deadline) {
                    conn->WaitNoLaterThan(deadline);
                    return conn->ReadRaw(buffer, length);
                },
                DeadlineSpan(m_recv_timeout));
        }
        m_body.reset(new std::istream(m_body_buf.get()));
        return *m_body;
    }

    std::string m_url;
    Poco::URI m_uri;
    std::string m_method;
    Poco::Timespan m_conn_timeout;
    Poco::Timespan m_recv_timeout;
    bool m_https = false;
    std::string m_peer;
    Poco::Net::Context::Ptr m_context;
    std::string m_key;
    bool m_poolable = true;
    bool m_reused = false;
    std::unique_ptr<WatchedBodyWriter> m_writer;  // of a plain connection's body
    bool m_answered_early = false;  // the answer came before the whole body was sent
    std::unique_ptr<HttpConnection> m_conn;
    Clock::time_point m_sent_at;
    Clock::time_point m_head_deadline;  // for the final answer's head
    uint64_t m_length = 0;
    bool m_has_length = false;
    bool m_plain_codings = true;
    std::unique_ptr<ResponseBodyBuf> m_body_buf;
    std::unique_ptr<std::istream> m_body;
    std::unique_ptr<Poco::Net::HTTPRequest> m_request;
    Poco::Net::HTTPResponse m_response;
};

// Turns every failure into the error text; returns -1.
template <typename Fn>
int Guarded(const std::string& url_str, std::string* err_msg, Fn fn) {
    SigpipeHold hold;  // also over the connections the pool closes on the way
    try {
        return fn();
    } catch (const Poco::Net::NetException& e) {
        SENDER_LOG_ERR("Net Exception:%s", e.displayText().c_str());
        *err_msg = "Net Exception:" + e.displayText();
    } catch (const Poco::TimeoutException& e) {
        // One wording for every wait that ran out, whichever it was; the log says which.
        SENDER_LOG_ERR("TimeoutException:%s", e.displayText().c_str());
        *err_msg = "TimeoutException:Timeout";
    } catch (const UserCancelException&) {
        SENDER_LOG_INFO("Request canceled by user");
        *err_msg = "Request canceled by user";
    } catch (const Poco::URISyntaxException& e) {
        SENDER_LOG_ERR("url:%s    URISyntaxException:%s", url_str.c_str(), e.displayText().c_str());
        *err_msg = "url:" + url_str + "    URISyntaxException:" + e.displayText();
    } catch (const std::exception& e) {
        const int err = errno;
        SENDER_LOG_ERR("Exception:%s, errno=%d", e.what(), err);
        *err_msg = std::string("Exception:") + e.what();
    }
    return -1;
}

}  // namespace

int HttpSender::SendRequest(const std::shared_ptr<TransferHandler>& handler,
                            const std::string& http_method, const std::string& url_str,
                            const StringMap& req_params, const StringMap& req_headers,
                            std::istream& is, uint64_t conn_timeout_in_ms,
                            uint64_t recv_timeout_in_ms, StringMap* resp_headers,
                            std::ostream& resp_stream, std::string* err_msg, bool is_check_md5,
                            bool is_verify_cert, const std::string& ca_location,
                            const SSLCtxCallback& ssl_ctx_cb, void* user_data) {
    return Guarded(url_str, err_msg, [&]() -> int {
        Exchange ex(url_str);
        // Only a plain memory body knows its whole length; one that loads itself does not.
        uint64_t size = 0;
        const bool known = is.rdbuf() && typeid(*is.rdbuf()) == typeid(MemoryBodyBuf);
        if (known) size = static_cast<MemoryBodyBuf*>(is.rdbuf())->Left();
        if (!ex.Open(http_method, req_params, req_headers, known ? &size : nullptr,
                     conn_timeout_in_ms, recv_timeout_in_ms, is_verify_cert, ca_location,
                     ssl_ctx_cb, user_data, err_msg)) {
            return -1;
        }
        Clock::time_point start = Clock::now();
        uint64_t sent = 0;
        std::istream& rs = ex.Run(is, handler, &sent);
        LogRate(sent, start, ex.SentAt());

        const int status = static_cast<int>(ex.Response().getStatus());
        std::string etag;
        FillResponseHeaders(ex.Response(), resp_headers, &etag);

        if (!IsSuccess(status)) {
            const std::string body = ReadErrorBody(rs);
            ex.RethrowNetworkError();
            ex.Finish();
            resp_stream.write(body.data(), static_cast<std::streamsize>(body.size()));
            LogResponse(ex.Response(), *resp_headers);
            return status;
        }
        int result = status;
        start = Clock::now();
        bool md5_ok = true;
        std::string md5_hex;
        const uint64_t received =
            CopyBody(handler, rs, resp_stream, ex.BodyLength(), is_check_md5, etag, &md5_ok,
                         &md5_hex);
        ex.CheckBodyComplete();
        ex.Finish();
        if (!md5_ok) {
            *err_msg = kMd5Mismatch + md5_hex + ", etag=" + etag;
            SENDER_LOG_ERR("Check Md5 fail, %s", err_msg->c_str());
            result = -1;
        }
        LogRate(received, start);
        LogResponse(ex.Response(), *resp_headers);
        return result;
    });
}

int HttpSender::SendRequest(const std::shared_ptr<TransferHandler>& handler,
                            const std::string& http_method, const std::string& url_str,
                            const StringMap& req_params, const StringMap& req_headers,
                            const std::string& req_body, uint64_t conn_timeout_in_ms,
                            uint64_t recv_timeout_in_ms, StringMap* resp_headers,
                            std::string* err_body, std::ostream& resp_stream, std::string* err_msg,
                            uint64_t* real_byte, bool is_check_md5, bool is_verify_cert,
                            const std::string& ca_location, const SSLCtxCallback& ssl_ctx_cb,
                            void* user_data) {
    return Guarded(url_str, err_msg, [&]() -> int {
        Exchange ex(url_str);
        const uint64_t size = req_body.size();
        if (!ex.Open(http_method, req_params, req_headers, &size, conn_timeout_in_ms,
                     recv_timeout_in_ms, is_verify_cert, ca_location, ssl_ctx_cb, user_data,
                     err_msg)) {
            return -1;
        }
        // Written as it is: no progress, no cancellation.
        MemoryBodyBuf body_buf(req_body.data(), req_body.size());
        std::istream body(&body_buf);
        uint64_t sent = 0;
        std::istream& rs = ex.Run(body, nullptr, &sent);
        const int status = static_cast<int>(ex.Response().getStatus());
        std::string etag;
        FillResponseHeaders(ex.Response(), resp_headers, &etag);

        int result = status;
        // Only the bytes asked for reach the caller's stream: any other answer's body is an
        // error body, and the caller fails the call on the same judgement.
        if (IsSuccess(status) &&
            WhyNotTheBytesAsked(status, *resp_headers, RangeAsked(req_headers)).empty()) {
            const std::string content_length = (*resp_headers)["Content-Length"];
            if (handler && !content_length.empty()) {
                handler->SetTotalSize(StringUtil::ParseUint64(content_length));
            }
            bool md5_ok = true;
            std::string md5_hex;
            const uint64_t received =
                CopyBody(handler, rs, resp_stream, ex.BodyLength(), is_check_md5, etag, &md5_ok,
                         &md5_hex);
            ex.CheckBodyComplete();
            ex.Finish();
            if (!md5_ok) {
                *err_msg = kMd5Mismatch + md5_hex + ", etag=" + etag +
                           ", recv-len=" + StringUtil::FormatUint64(received) +
                           ", content-length=" + content_length;
                SENDER_LOG_ERR("Check Md5 fail, %s", err_msg->c_str());
                result = -1;
            }
            *real_byte = received;
        } else {
            *err_body = ReadErrorBody(rs);
            ex.RethrowNetworkError();
            ex.Finish();
            *real_byte = err_body->size();
        }
        LogResponse(ex.Response(), *resp_headers);
        return result;
    });
}

int HttpSender::SendWithStringBody(const std::shared_ptr<TransferHandler>& handler,
                                   const std::string& http_method, const std::string& url_str,
                                   const StringMap& req_params, const StringMap& req_headers,
                                   const std::string& req_body, uint64_t conn_timeout_in_ms,
                                   uint64_t recv_timeout_in_ms, StringMap* resp_headers,
                                   std::string* resp_body, std::string* err_msg, bool is_check_md5,
                                   bool is_verify_cert, const std::string& ca_location,
                                   const SSLCtxCallback& ssl_ctx_cb, void* user_data) {
    MemoryBodyBuf body_buf(req_body.data(), req_body.size());
    std::istream is(&body_buf);
    return SendWithStreamBody(handler, http_method, url_str, req_params, req_headers, is,
                              conn_timeout_in_ms, recv_timeout_in_ms, resp_headers, resp_body,
                              err_msg, is_check_md5, is_verify_cert, ca_location, ssl_ctx_cb,
                              user_data);
}

int HttpSender::SendWithStreamBody(const std::shared_ptr<TransferHandler>& handler,
                                   const std::string& http_method, const std::string& url_str,
                                   const StringMap& req_params, const StringMap& req_headers,
                                   std::istream& is, uint64_t conn_timeout_in_ms,
                                   uint64_t recv_timeout_in_ms, StringMap* resp_headers,
                                   std::string* resp_body, std::string* err_msg, bool is_check_md5,
                                   bool is_verify_cert, const std::string& ca_location,
                                   const SSLCtxCallback& ssl_ctx_cb, void* user_data) {
    std::ostringstream os;
    const int status =
        SendRequest(handler, http_method, url_str, req_params, req_headers, is, conn_timeout_in_ms,
                    recv_timeout_in_ms, resp_headers, os, err_msg, is_check_md5, is_verify_cert,
                    ca_location, ssl_ctx_cb, user_data);
    *resp_body = os.str();
    return status;
}

int HttpSender::SendWithStringBodyToStream(
    const std::shared_ptr<TransferHandler>& handler, const std::string& http_method,
    const std::string& url_str, const StringMap& req_params, const StringMap& req_headers,
    const std::string& req_body, uint64_t conn_timeout_in_ms, uint64_t recv_timeout_in_ms,
    StringMap* resp_headers, std::ostream& resp_stream, std::string* err_msg, bool is_check_md5,
    bool is_verify_cert, const std::string& ca_location, const SSLCtxCallback& ssl_ctx_cb,
    void* user_data) {
    MemoryBodyBuf body_buf(req_body.data(), req_body.size());
    std::istream is(&body_buf);
    return SendRequest(handler, http_method, url_str, req_params, req_headers, is,
                       conn_timeout_in_ms, recv_timeout_in_ms, resp_headers, resp_stream, err_msg,
                       is_check_md5, is_verify_cert, ca_location, ssl_ctx_cb, user_data);
}

}  // namespace zuzezi_zid
