#include "service/http_xml_request.h"

#include <netdb.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <system_error>

#include "service/byte_stream.h"
#include "service/http_framing.h"
#include "service/result_message.h"
#include "service/xml_parser.h"

namespace pellandor {

namespace {

using Clock = std::chrono::steady_clock;

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

int ToMs(std::chrono::milliseconds d) { return static_cast<int>(std::clamp<long long>(d.count(), 0, INT_MAX)); }

int MsUntil(Clock::time_point deadline) {
    return ToMs(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}

// The TLS connection as the framing code sees it, with one deadline for the
// whole answer.
class TlsStream final : public IByteStream {
public:
    TlsStream(COpenSSLInterface& tls, int socket, Clock::time_point deadline, int limitMs)
        : tls_(tls), socket_(socket), deadline_(deadline), limitMs_(limitMs) {}

    long Read(char* buffer, std::size_t length) override {
        return Finish(tls_.ReadSSLClient(socket_, buffer, length, MsUntil(deadline_)));
    }
    long Write(const char* bytes, std::size_t length) override {
        return Finish(tls_.WriteSSLClient(socket_, bytes, length, MsUntil(deadline_)));
    }
    std::string LastError() const override {
        if (timedOut_) return "no complete answer within " + std::to_string(limitMs_) + " ms (time-out)";
        return tls_.ErrorText();
    }

private:
    long Finish(long result) {
        if (result <= 0 && (tls_.TimedOut() || Clock::now() >= deadline_)) timedOut_ = true;
        return result;
    }

    COpenSSLInterface& tls_;
    int socket_;
    Clock::time_point deadline_;
    int limitMs_;
    bool timedOut_ = false;
};

// Request values are user text; markup in a password must not break the document.
std::string EscapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

// gai_strerror's text, on one line and at most 1024 bytes.
std::string ResolverMessage(int code) {
    std::string text = gai_strerror(code);
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    if (text.size() > 1023) text.resize(1023);
    return text;
}

}  // namespace

CHttpXmlRequest::CHttpXmlRequest() : cancel_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CHttpXmlRequest::~CHttpXmlRequest() {
    {
        const std::lock_guard lock(callbackMutex_);
        destroying_ = true;
    }
    if (cancel_.IsOpen()) {
        // Wakes the worker out of any connect, handshake, read or write wait.
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(cancel_.Get(), &one, sizeof one);
    }
    if (worker_.joinable()) worker_.join();
}

bool CHttpXmlRequest::Init(const std::string& host, const std::string& port) {
    if (IsRunning()) return false;  // the worker owns the error text now
    if (host.empty() || port.empty()) {
        errorText_ = "CHttpXmlRequest::Init: no exchange address or port";
        return false;
    }
    host_ = host;
    port_ = port;

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host_.c_str(), port_.c_str(), &hints, &found);
    if (rc != 0) {
        errorText_ = "getaddrinfo: " + ResolverMessage(rc) + "\n";
        return false;
    }
    const std::unique_ptr<addrinfo, AddrInfoFree> list(found);

    const addrinfo* chosen = nullptr;
    for (const addrinfo* ai = list.get(); ai != nullptr && chosen == nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET || ai->ai_family == AF_INET6) chosen = ai;
    }
    if (chosen == nullptr) {
        errorText_ = "No Address info from getaddrinfo\n";
        return false;
    }
    sockaddr_storage address{};
    std::memcpy(&address, chosen->ai_addr, chosen->ai_addrlen);
    serverAddress_ = address;
    serverAddressLength_ = chosen->ai_addrlen;
    ipv6_ = chosen->ai_family == AF_INET6;

    transportMode_ = kTransportTls;
    tls_.reset();
    try {
        tls_ = std::make_unique<COpenSSLInterface>();
    } catch (const std::bad_alloc&) {
        errorText_ = "SSL memory allocation fail \n";
        return false;
    }
    if (!tls_->InitClientSSL()) {
        errorText_ = "InitClientSSL fail " + tls_->ErrorText() + "\n";
        tls_.reset();
        return false;
    }
    return true;
}

void CHttpXmlRequest::SetResultCallback(ResultCallback callback, void* userData) {
    // The last worker may still be inside the previous callback.
    const std::lock_guard lock(callbackMutex_);
    callback_ = callback;
    userData_ = userData;
}

void CHttpXmlRequest::SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds answer) {
    connectTimeout_ = connect;
    answerTimeout_ = answer;
}

bool CHttpXmlRequest::Start(int callType, const CallUserInfo& userInfo) {
    if (IsRunning()) return false;
    if (worker_.joinable()) {
        if (worker_.get_id() == std::this_thread::get_id()) {
            errorText_ = "CHttpXmlRequest::Start: a request cannot be started from its own result callback";
            return false;
        }
        worker_.join();  // finished already; at most its callback is still returning
    }
    callType_ = callType;
    if (callType == kCallTypeCall || callType == kCallTypeHangup) {
        userInfo_ = std::make_unique<CallUserInfo>(userInfo);
    }
    running_.store(true, std::memory_order_release);
    try {
        // The default stack: OpenSSL needs far more than a few kilobytes.
        worker_ = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        running_.store(false, std::memory_order_release);
        errorText_ = std::string("CHttpXmlRequest::Start: thread creation fail ") + e.what();
        return false;
    }
    return true;
}

bool CHttpXmlRequest::MakeRequestXml(int callType, const CallUserInfo* userInfo, std::string& xml) {
    xml.clear();
    if (userInfo == nullptr || (callType != kCallTypeCall && callType != kCallTypeHangup)) return false;
    const std::string station = EscapeXml(userInfo->stationNumber);
    xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?><!DOCTYPE ulvex_svc SYSTEM \"UlvexService.dtd\">"
          "<ulvex_svc><request type=\"service\" encrypt=\"off\" servicename=\"clicktocall\"><clicktocall>"
          "<userinfo><stnnum>" + station + "</stnnum><userid>" + EscapeXml(userInfo->userId) +
          "</userid><userpwd encrypt=\"off\">" + EscapeXml(userInfo->password) +
          "</userpwd></userinfo><srcinfo><dialnum>" + station +
          "</dialnum></srcinfo><destinfo calltype=\"" + (callType == kCallTypeCall ? "single" : "hangup") +
          "\"><dialnum>" + EscapeXml(userInfo->destination) +
          "</dialnum></destinfo></clicktocall></request></ulvex_svc>";
    return true;
}

bool CHttpXmlRequest::ProcessRespXML(std::string_view body, std::string& codeText, int callType,
                                     const CallUserInfo* userInfo, int& codeNumber, std::string& errorText) {
    if (userInfo == nullptr) {
        errorText = "Invalid Type Data at CHttpXmlRequest::ProcessRespXML";
        return false;
    }
    CXMLParser parser;
    if (!parser.Parse(body)) {
        errorText = "Error at Parsing the XML! " + parser.GetErrorText();
        return false;
    }
    if (callType != kCallTypeCall && callType != kCallTypeHangup) return false;
    const std::string* code = parser.Root() != nullptr ? parser.Root()->FindValue("code") : nullptr;
    if (code == nullptr) {
        errorText = "CODE_EMPTY";
        return false;
    }
    codeNumber = LeadingCodeNumber(*code);
    codeText = *code;
    return true;
}

bool CHttpXmlRequest::Connect() {
    Close();
    if (!serverAddress_ || !tls_) {
        errorText_ = "CHttpXmlRequest::Connect: no exchange address; Init has not succeeded";
        return false;
    }
    const int fd = ::socket(ipv6_ ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        errorText_ = "CHttpXmlRequest::Connect: socket fail error[" + std::to_string(errno) + "]";
        return false;
    }
    socket_.Reset(fd);
    tls_->SetCancelFd(cancel_.Get());
    if (tls_->ConnectSSLClient(fd, reinterpret_cast<const sockaddr*>(&*serverAddress_), serverAddressLength_,
                               ToMs(connectTimeout_))) {
        return true;
    }
    errorText_ = "Connect SSL fail " + tls_->ErrorText() + "\n";
    socket_.Reset();
    return false;
}

long CHttpXmlRequest::SendData(int socket, const char* bytes, std::size_t length, int timeoutMs) {
    if (!tls_) return -1;
    return tls_->WriteSSLClient(socket, bytes, length, timeoutMs);
}

void CHttpXmlRequest::Close() {
    if (!socket_.IsOpen()) return;
    if (tls_) tls_->CloseSSLClient();
    socket_.Reset();
}

void CHttpXmlRequest::Run() {
    // A peer that resets the connection must fail the write, not kill the
    // process; the signal stays pending on this thread and dies with it.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    bool ok = false;
    std::string codeText;
    do {
        step_ = XML_STEP_STARTED;
        errorText_.clear();

        step_ = XML_STEP_MAKE_AUTH_REQ;
        std::string xml;
        if (!MakeRequestXml(callType_, userInfo_.get(), xml)) {
            errorText_ = "Invalid Type Data at CHttpXmlRequest::MakeRequestXml";
            break;
        }

        step_ = XML_STEP_CONNECT_SERV;
        if (!Connect()) break;

        step_ = XML_STEP_MAKE_MULTIPART_CONTENT;
        std::string body;
        MakeMultipartContent(body, kPartFileName, kPartContentType, xml, kMultipartBoundary);

        step_ = XML_STEP_MAKE_FULL_HTML;
        std::string request;
        MakeFullHtml(request, kRequestPath, body.size(), kMultipartBoundary, GetLocalHostAddress(ipv6_));
        request += body;

        step_ = XML_STEP_SEND_CALL;
        const int answerMs = ToMs(answerTimeout_);
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(answerMs);
        const long sent = SendData(socket_.Get(), request.data(), request.size(), answerMs);
        if (sent < 0 || static_cast<std::size_t>(sent) != request.size()) {
            errorText_ = "CHttpXmlRequest::SendData: sent " + std::to_string(sent) + " of " +
                         std::to_string(request.size()) + " bytes; " + (tls_ ? tls_->ErrorText() : std::string());
            break;
        }

        step_ = XML_STEP_RECV_CALL_REPONSE;
        TlsStream stream(*tls_, socket_.Get(), deadline, answerMs);
        std::string answer;
        int status = -1;
        if (!RecvResponse(stream, answer, status, errorText_)) break;

        step_ = XML_STEP_CHECK_CALL_REPONSE;
        if (status != 200) {
            errorText_ = "CHttpXmlRequest::Run: HTTP status " + std::to_string(status);
            break;
        }
        int codeNumber = -1;
        if (!ProcessRespXML(answer, codeText, callType_, userInfo_.get(), codeNumber, errorText_)) break;

        step_ = XML_STEP_COMPLETED;
        ok = true;
    } while (false);

    Close();
    if (!ok) step_ = -step_;
    // The callback gets its own copy: once running_ is clear the caller may
    // Init again, which rewrites errorText_.
    ServiceResult local{step_, ok ? codeText : errorText_};
    result_ = local;
    running_.store(false, std::memory_order_release);

    const std::lock_guard lock(callbackMutex_);
    if (callback_ != nullptr && !destroying_) callback_(userData_, &local.step, local.text.c_str());
}

}  // namespace pellandor
