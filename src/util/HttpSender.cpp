#include "util/HttpSender.h"

#include <cerrno>
#include <chrono>
#include <mutex>
#include <sstream>

#include <Poco/DigestStream.h>
#include <Poco/Exception.h>
#include <Poco/MD5Engine.h>
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
#include "util/CodecUtil.h"
#include "util/LogUtil.h"
#include "util/ResponseBody.h"
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
// An error answer is a message, not data: only this much of its body is read.
const size_t kMaxErrorBody = 1024 * 1024;

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

void LogRate(uint64_t bytes, Clock::time_point start) {
    const uint64_t ms = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
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

// Copies the response body to out. When the ETag is a plain MD5 and the caller
// asks for the check, each block is digested as it is copied (never held whole
// in memory); returns false in *md5_ok with the hex digest in *md5_hex on a mismatch.
uint64_t CopyBody(const std::shared_ptr<TransferHandler>& handler, std::istream& in,
                  std::ostream& out, bool is_check_md5, const std::string& etag, bool* md5_ok,
                  std::string* md5_hex) {
    *md5_ok = true;
    if (!is_check_md5 || StringUtil::IsNotMd5Etag(etag) || StringUtil::ContainsDash(etag)) {
        return CopyStreamWithProgress(handler, in, out, kCopyBufferSize);
    }
    SENDER_LOG_DBG("Check Response Md5");
    Poco::MD5Engine md5;
    const uint64_t n = CopyStreamWithProgress(
        handler, in, out, kCopyBufferSize,
        [&md5](const char* data, size_t size) { md5.update(data, size); });
    *md5_hex = Poco::DigestEngine::digestToHex(md5.digest());
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

// Exposes the raw bytes after the response head, so the body is read by our
// own framing check instead of the library's stream.
template <class Session>
class RawSession : public Session {
public:
    using Session::Session;
    int ReadRaw(char* buffer, int length) { return this->read(buffer, length); }
};

template <class Session, class... Args>
Session* NewRawSession(ResponseBodyBuf::RawRead* raw, Args&&... args) {
    auto* session = new RawSession<Session>(std::forward<Args>(args)...);
    *raw = [session](char* buffer, int length) { return session->ReadRaw(buffer, length); };
    return session;
}

const char kMd5Mismatch[] =
    "Md5 of response body is not equal to the etag in the header. Body Md5= ";

// The parts shared by both exchange forms; body handling is left to the caller.
class Exchange {
public:
    explicit Exchange(const std::string& url_str) : m_url(url_str) {}

    // Returns false with *err_msg set when the exchange must stop before any connection.
    bool Open(const std::string& http_method, const StringMap& params, const StringMap& headers,
              uint64_t conn_timeout_in_ms, bool is_verify_cert, const std::string& ca_location,
              const SSLCtxCallback& ssl_ctx_cb, void* user_data, std::string* err_msg) {
        SENDER_LOG_INFO("send request to [%s]", m_url.c_str());
        Poco::URI uri(m_url);
        if (StringUtil::HasPrefixIgnoreCase(m_url, "https")) {
            EnsureTlsSetUp();
            Poco::Net::Context::Ptr context(new Poco::Net::Context(
                Poco::Net::Context::TLS_CLIENT_USE, "", "", ca_location,
                is_verify_cert ? Poco::Net::Context::VERIFY_RELAXED
                               : Poco::Net::Context::VERIFY_NONE,
                9, ca_location.empty(), "ALL:!ADH:!LOW:!EXP:!MD5:@STRENGTH"));
            if (ssl_ctx_cb) {
                const int code = ssl_ctx_cb(context->sslContext(), user_data);
                if (code != 0) {
                    *err_msg = "SSL_Ctx Callback Exception Code: " + StringUtil::FormatInt(code);
                    return false;
                }
            }
            m_session.reset(NewRawSession<Poco::Net::HTTPSClientSession>(&m_raw, uri.getHost(),
                                                                         uri.getPort(), context));
            // SNI and the certificate check follow the real host, not the address dialled.
            const std::string peer = HostHeaderName(headers);
            if (!peer.empty() && Poco::icompare(peer, uri.getHost()) != 0) {
                Poco::Net::SecureStreamSocket(m_session->socket()).setPeerHostName(peer);
            }
        } else {
            m_session.reset(
                NewRawSession<Poco::Net::HTTPClientSession>(&m_raw, uri.getHost(), uri.getPort()));
        }
        m_session->setTimeout(Millis(conn_timeout_in_ms));
        m_request.reset(new Poco::Net::HTTPRequest(http_method, BuildTarget(uri, params),
                                                   Poco::Net::HTTPMessage::HTTP_1_1));
        for (const auto& h : headers) {
            m_request->add(h.first, h.second);
        }
        if (ClientSettings::GetLogLevel() >= 4) {
            SENDER_LOG_DBG("request=[%s]", RequestHeadForLog(*m_request).c_str());
        }
        return true;
    }

    std::ostream& SendHead() { return m_session->sendRequest(*m_request); }

    // Reads the head and returns the body, framed as the head says; a head whose
    // framing cannot be trusted throws.
    std::istream& ReceiveHead(const std::string& method, uint64_t recv_timeout_in_ms) {
        m_session->socket().setReceiveTimeout(Millis(recv_timeout_in_ms));
        try {
            // The library's own body stream is left unread.
            m_session->receiveResponse(m_response);
        } catch (const Poco::SyntaxException&) {
            CheckedFraming(method);  // an unparsable Content-Length says more than the parser
            throw;
        }
        const ResponseBodyBuf::Framing framing = CheckedFraming(method);
        m_body_buf.reset(new ResponseBodyBuf(m_raw, framing, m_length));
        m_body.reset(new std::istream(m_body_buf.get()));
        return *m_body;
    }

    const Poco::Net::HTTPResponse& Response() const { return m_response; }

    // The response stream swallows socket errors into its state; bring them back.
    void RethrowNetworkError() const {
        if (m_session->networkException()) {
            m_session->networkException()->rethrow();
        }
    }

    // After the body was read to its end: one that ended otherwise than its
    // framing says is a broken exchange, not a success.
    void CheckBodyComplete() const {
        m_body_buf->RethrowIfBroken();
        RethrowNetworkError();
    }

private:
    ResponseBodyBuf::Framing CheckedFraming(const std::string& method) {
        const int status = static_cast<int>(m_response.getStatus());
        const bool has_body = Poco::icompare(method, "HEAD") != 0 && status >= 200 &&
                              status != 204 && status != 304;
        const auto it = m_response.find("Content-Length");
        ResponseBodyBuf::Framing framing = ResponseBodyBuf::Framing::kNone;
        std::string reason;
        if (!ResponseBodyBuf::FramingOf(has_body, m_response.getChunkedTransferEncoding(),
                                        it == m_response.end() ? nullptr : &it->second, &framing,
                                        &m_length, &reason)) {
            throw Poco::Net::MessageException(reason);
        }
        return framing;
    }

    std::string m_url;
    std::unique_ptr<Poco::Net::HTTPClientSession> m_session;
    ResponseBodyBuf::RawRead m_raw;
    uint64_t m_length = 0;
    std::unique_ptr<ResponseBodyBuf> m_body_buf;
    std::unique_ptr<std::istream> m_body;
    std::unique_ptr<Poco::Net::HTTPRequest> m_request;
    Poco::Net::HTTPResponse m_response;
};

// Turns every failure into the error text; returns -1.
template <typename Fn>
int Guarded(const std::string& url_str, std::string* err_msg, Fn fn) {
    try {
        return fn();
    } catch (const Poco::Net::NetException& e) {
        SENDER_LOG_ERR("Net Exception:%s", e.displayText().c_str());
        *err_msg = "Net Exception:" + e.displayText();
    } catch (const Poco::TimeoutException& e) {
        SENDER_LOG_ERR("TimeoutException:%s", e.displayText().c_str());
        *err_msg = "TimeoutException:" + e.displayText();
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
        if (!ex.Open(http_method, req_params, req_headers, conn_timeout_in_ms, is_verify_cert,
                     ca_location, ssl_ctx_cb, user_data, err_msg)) {
            return -1;
        }
        Clock::time_point start = Clock::now();
        std::ostream& os = ex.SendHead();
        uint64_t sent = 0;
        try {
            sent = CopyStreamWithProgress(handler, is, os, kCopyBufferSize);
        } catch (const std::ios_base::failure&) {
            ex.RethrowNetworkError();  // the socket's own error says more
            throw;
        }
        LogRate(sent, start);

        std::istream& rs = ex.ReceiveHead(http_method, recv_timeout_in_ms);
        const int status = static_cast<int>(ex.Response().getStatus());
        std::string etag;
        FillResponseHeaders(ex.Response(), resp_headers, &etag);

        if (!IsSuccess(status)) {
            const std::string body = ReadErrorBody(rs);
            ex.RethrowNetworkError();
            resp_stream.write(body.data(), static_cast<std::streamsize>(body.size()));
            LogResponse(ex.Response(), *resp_headers);
            return status;
        }
        int result = status;
        start = Clock::now();
        bool md5_ok = true;
        std::string md5_hex;
        const uint64_t received =
            CopyBody(handler, rs, resp_stream, is_check_md5, etag, &md5_ok, &md5_hex);
        ex.CheckBodyComplete();
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
        if (!ex.Open(http_method, req_params, req_headers, conn_timeout_in_ms, is_verify_cert,
                     ca_location, ssl_ctx_cb, user_data, err_msg)) {
            return -1;
        }
        std::ostream& os = ex.SendHead();
        if (!req_body.empty()) {
            os << req_body;
        }
        std::istream& rs = ex.ReceiveHead(http_method, recv_timeout_in_ms);
        const int status = static_cast<int>(ex.Response().getStatus());
        std::string etag;
        FillResponseHeaders(ex.Response(), resp_headers, &etag);

        int result = status;
        if (status == 200 || status == 206) {
            const std::string content_length = (*resp_headers)["Content-Length"];
            if (handler && !content_length.empty()) {
                handler->SetTotalSize(StringUtil::ParseUint64(content_length));
            }
            bool md5_ok = true;
            std::string md5_hex;
            const uint64_t received =
                CopyBody(handler, rs, resp_stream, is_check_md5, etag, &md5_ok, &md5_hex);
            ex.CheckBodyComplete();
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
    std::istringstream is(req_body);
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
    std::istringstream is(req_body);
    return SendRequest(handler, http_method, url_str, req_params, req_headers, is,
                       conn_timeout_in_ms, recv_timeout_in_ms, resp_headers, resp_stream, err_msg,
                       is_check_md5, is_verify_cert, ca_location, ssl_ctx_cb, user_data);
}

}  // namespace zuzezi_zid
