#include "service/exchange_request.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>

#include "service/byte_stream.h"
#include "service/http_framing.h"
#include "service/net_util.h"
#include "service/result_message.h"
#include "service/answer_parser.h"

namespace pellandor {

namespace {

using Clock = SteadyClock;
using ClockFunction = std::function<Clock::time_point()>;

// The TLS connection as the framing code sees it, with one deadline for the
// whole answer. The deadline is checked before every read, not only when a
// read has to wait, so a peer that never pauses cannot hold the request.
class TlsStream final : public IByteStream {
public:
    TlsStream(TlsConnection& tls, int socket, Clock::time_point deadline, int limitMs, const ClockFunction& now)
        : tls_(tls), socket_(socket), deadline_(deadline), limitMs_(limitMs), now_(now) {}

    long read(char* buffer, std::size_t length) override {
        const Clock::time_point now = now_();
        if (now >= deadline_) {
            timedOut_ = true;
            return -1;
        }
        return finish(tls_.read(socket_, buffer, length, msUntil(deadline_, now)));
    }
    long write(const char* bytes, std::size_t length) override {
        const Clock::time_point now = now_();
        if (now >= deadline_) {
            timedOut_ = true;
            return -1;
        }
        return finish(tls_.write(socket_, bytes, length, msUntil(deadline_, now)));
    }
    std::string lastError() const override {
        if (timedOut_) return "no complete answer within " + std::to_string(limitMs_) + " ms (time-out)";
        return tls_.errorText();
    }

private:
    long finish(long result) {
        if (result <= 0 && (tls_.timedOut() || now_() >= deadline_)) timedOut_ = true;
        return result;
    }

    TlsConnection& tls_;
    int socket_;
    Clock::time_point deadline_;
    int limitMs_;
    const ClockFunction& now_;
    bool timedOut_ = false;
};

// request values are user text; markup in a password must not break the document.
std::string escapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// gai_strerror's text, on one line and at most 1024 bytes.
std::string resolverMessage(int code) {
    std::string text = gai_strerror(code);
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    if (text.size() > 1023) text.resize(1023);
    return text;
}

addrinfo resolverHints(int extraFlags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = extraFlags;
    return hints;
}

bool isNumericHost(const std::string& host) {
    in6_addr v6{};
    in_addr v4{};
    return ::inet_pton(AF_INET, host.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

// One getaddrinfo on a helper thread of its own: the system call cannot be
// given a time limit or be interrupted, so the request stops waiting for it
// instead. The helper owns its half and cleans up whenever it finishes.
struct Lookup {
    std::mutex mutex;
    bool done = false;
    int rc = EAI_SYSTEM;
    addrinfo* list = nullptr;
    UniqueFd wakeRead, wakeWrite;
    ~Lookup() {
        if (list != nullptr) freeaddrinfo(list);
    }
};

enum class LookupEnd { Done, TimedOut, Cancelled, Failed };

LookupEnd resolveWithin(const std::string& host, const std::string& port, int timeoutMs, int cancelFd, int& rc,
                        AddrInfoList& out) {
    auto lookup = std::make_shared<Lookup>();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return LookupEnd::Failed;
    lookup->wakeRead.reset(fds[0]);
    lookup->wakeWrite.reset(fds[1]);
    try {
        std::thread([lookup, host, port] {
            const addrinfo hints = resolverHints(0);
            addrinfo* found = nullptr;
            const int result = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
            {
                const std::lock_guard lock(lookup->mutex);
                lookup->rc = result;
                lookup->list = found;
                lookup->done = true;
            }
            const char byte = 1;
            [[maybe_unused]] const auto n = ::write(lookup->wakeWrite.get(), &byte, 1);
        }).detach();
    } catch (const std::system_error&) {
        return LookupEnd::Failed;
    }
    pollfd fds2[2] = {{lookup->wakeRead.get(), POLLIN, 0}, {cancelFd, POLLIN, 0}};
    const nfds_t count = cancelFd >= 0 ? 2 : 1;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int n = ::poll(fds2, count, msUntil(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LookupEnd::Failed;
        if (count == 2 && fds2[1].revents != 0) return LookupEnd::Cancelled;
        if (n == 0) return LookupEnd::TimedOut;
        break;
    }
    const std::lock_guard lock(lookup->mutex);
    if (!lookup->done) return LookupEnd::Failed;
    rc = lookup->rc;
    out.reset(std::exchange(lookup->list, nullptr));
    return LookupEnd::Done;
}

}  // namespace

struct ExchangeRequest::Shared {
    enum class State { Idle, Running, Delivering };
    std::mutex mutex;
    std::condition_variable idle;
    std::condition_variable wake;  // the worker waits on it between requests
    State state = State::Idle;
    bool job = false;        // a request for the worker to take
    std::thread::id worker;  // set by the worker once start has published it
    bool destroying = false;
    ResultCallback callback = nullptr;
    void* userData = nullptr;
};

ExchangeRequest::ExchangeRequest()
    : now_([] { return Clock::now(); }),
      cancel_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      shared_(std::make_shared<Shared>()) {
}

ExchangeRequest::~ExchangeRequest() {
    bool insideCallback = false;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->destroying = true;
        insideCallback = shared_->state != Shared::State::Idle && shared_->worker == std::this_thread::get_id();
    }
    shared_->wake.notify_all();
    if (cancel_.isOpen()) {
        // Wakes the worker out of any connect, handshake, read or write wait.
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(cancel_.get(), &one, sizeof one);
    }
    if (worker_.joinable()) {
        // Destroyed from inside the callback: the worker touches nothing of
        // this object once the callback returns.
        if (insideCallback) {
            worker_.detach();
        } else {
            worker_.join();
        }
    }
}

bool ExchangeRequest::isRunning() const {
    const std::lock_guard lock(shared_->mutex);
    return shared_->state != Shared::State::Idle;
}

bool ExchangeRequest::init(const std::string& host, const std::string& port) {
    if (!waitUntilIdle()) return false;  // the worker owns the error text now
    if (host.empty() || port.empty()) {
        errorText_ = "CHttpXmlRequest::Init: no exchange address or port";
        return false;
    }
    const std::string previousHost = std::exchange(host_, host);
    const std::string previousPort = std::exchange(port_, port);
    resolvePending_ = false;
    // Only a name needs the resolver; it is asked on the worker, never here.
    if (!isNumericHost(host_)) {
        resolvePending_ = true;
    } else if (!resolve()) {
        host_ = previousHost;
        port_ = previousPort;
        return false;
    }

    // The context holds nothing of the exchange, so one serves every request:
    // building it costs a few tenths of a millisecond on each press.
    if (tls_) return true;
    std::unique_ptr<TlsConnection> tls;
    try {
        tls = std::make_unique<TlsConnection>();
    } catch (const std::bad_alloc&) {
        errorText_ = "SSL memory allocation fail \n";
        return false;
    }
    if (!tls->initClient()) {
        errorText_ = "InitClientSSL fail " + tls->errorText() + "\n";
        return false;
    }
    tls_ = std::move(tls);
    return true;
}

bool ExchangeRequest::resolve() {
    AddrInfoList list;
    int rc = 0;
    if (isNumericHost(host_)) {
        // A literal address: no resolver is asked, so this cannot block.
        const addrinfo hints = resolverHints(AI_NUMERICHOST);
        addrinfo* found = nullptr;
        rc = getaddrinfo(host_.c_str(), port_.c_str(), &hints, &found);
        list.reset(found);
    } else {
        switch (resolveWithin(host_, port_, toPollMs(connectTimeout_), cancel_.get(), rc, list)) {
            case LookupEnd::Done:
                break;
            case LookupEnd::TimedOut:
                errorText_ = "getaddrinfo: no answer from the resolver within " +
                             std::to_string(toPollMs(connectTimeout_)) + " ms (time-out)\n";
                return false;
            case LookupEnd::Cancelled:
                errorText_ = "getaddrinfo: cancelled\n";
                return false;
            case LookupEnd::Failed:
                errorText_ = "getaddrinfo: " + resolverMessage(EAI_SYSTEM) + "\n";
                return false;
        }
    }
    if (rc != 0) {
        errorText_ = "getaddrinfo: " + resolverMessage(rc) + "\n";
        return false;
    }
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
    resolvePending_ = false;
    return true;
}

void ExchangeRequest::setResultCallback(ResultCallback callback, void* userData) {
    const std::lock_guard lock(shared_->mutex);
    shared_->callback = callback;
    shared_->userData = userData;
}

void ExchangeRequest::setClock(std::function<std::chrono::steady_clock::time_point()> now) {
    now_ = std::move(now);
}

void ExchangeRequest::setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds answer) {
    connectTimeout_ = connect;
    answerTimeout_ = answer;
}

bool ExchangeRequest::waitUntilIdle() {
    std::unique_lock lock(shared_->mutex);
    if (shared_->state == Shared::State::Running) return false;
    if (shared_->state == Shared::State::Delivering) {
        if (shared_->worker == std::this_thread::get_id()) return false;  // from inside its own callback
        // The result is out; only the callback is still returning.
        shared_->idle.wait(lock, [this] { return shared_->state == Shared::State::Idle; });
    }
    return true;
}

bool ExchangeRequest::start(int callType, const CallUserInfo& userInfo) {
    if (!waitUntilIdle()) return false;
    callType_ = callType;
    if (callType == kCallTypeCall || callType == kCallTypeHangup) {
        userInfo_ = std::make_unique<CallUserInfo>(userInfo);
    }
    // Held until worker_ is assigned: the worker waits for it before its
    // first step, so even a callback that destroys this object finds
    // start done with it.
    const std::lock_guard lock(shared_->mutex);
    shared_->state = Shared::State::Running;
    shared_->job = true;
    if (worker_.joinable()) {
        shared_->wake.notify_one();
        return true;
    }
    try {
        // One worker for the object's life: a thread started for each press
        // cost a tenth of a millisecond before the connection could begin.
        // The default stack: OpenSSL needs far more than a few kilobytes.
        worker_ = std::thread([this, shared = shared_] { serve(shared); });
    } catch (const std::system_error& e) {
        shared_->state = Shared::State::Idle;
        shared_->job = false;
        errorText_ = std::string("CHttpXmlRequest::Start: thread creation fail ") + e.what();
        return false;
    }
    return true;
}

bool ExchangeRequest::makeRequestXml(int callType, const CallUserInfo* userInfo, std::string& xml) {
    xml.clear();
    if (userInfo == nullptr || (callType != kCallTypeCall && callType != kCallTypeHangup)) return false;
    const std::string station = escapeXml(userInfo->stationNumber);
    xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><!DOCTYPE ulvex_svc SYSTEM \"UlvexService.dtd\">"
        "<ulvex_svc><request type=\"service\" encrypt=\"off\" servicename=\"clicktocall\"><clicktocall>"
        "<userinfo><stnnum>" +
        station + "</stnnum><userid>" + escapeXml(userInfo->userId) + "</userid><userpwd encrypt=\"off\">" +
        escapeXml(userInfo->password) + "</userpwd></userinfo><srcinfo><dialnum>" + station +
        "</dialnum></srcinfo><destinfo calltype=\"" + (callType == kCallTypeCall ? "single" : "hangup") +
        "\"><dialnum>" + escapeXml(userInfo->destination) + "</dialnum></destinfo></clicktocall></request></ulvex_svc>";
    return true;
}

bool ExchangeRequest::parseAnswerCode(std::string_view body, std::string& codeText, int callType,
                                      const CallUserInfo* userInfo, int& codeNumber, std::string& errorText) {
    if (userInfo == nullptr) {
        errorText = "Invalid Type Data at CHttpXmlRequest::ProcessRespXML";
        return false;
    }
    AnswerParser parser;
    if (!parser.parse(body)) {
        errorText = "Error at Parsing the XML! " + parser.getErrorText();
        return false;
    }
    if (callType != kCallTypeCall && callType != kCallTypeHangup) return false;
    const std::string* code = parser.root() != nullptr ? parser.root()->findValue("code") : nullptr;
    if (code == nullptr) {
        errorText = "CODE_EMPTY";
        return false;
    }
    codeNumber = leadingCodeNumber(*code);
    codeText = *code;
    return true;
}

bool ExchangeRequest::connect() {
    close();
    if (resolvePending_ && tls_ && !resolve()) return false;
    if (!serverAddress_ || !tls_) {
        errorText_ = "CHttpXmlRequest::Connect: no exchange address; Init has not succeeded";
        return false;
    }
    const int fd = ::socket(ipv6_ ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        errorText_ = "CHttpXmlRequest::Connect: socket fail error[" + std::to_string(errno) + "]";
        return false;
    }
    socket_.reset(fd);
    // The handshake's last flight and the request go out as several small
    // writes; waiting on Nagle's algorithm for each would only add delay.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    tls_->setCancelFd(cancel_.get());
    if (tls_->connect(fd, reinterpret_cast<const sockaddr*>(&*serverAddress_), serverAddressLength_,
                      toPollMs(connectTimeout_))) {
        return true;
    }
    errorText_ = "Connect SSL fail " + tls_->errorText() + "\n";
    socket_.reset();
    return false;
}

long ExchangeRequest::sendData(int socket, const char* bytes, std::size_t length, int timeoutMs) {
    if (!tls_) return -1;
    return tls_->write(socket, bytes, length, timeoutMs);
}

void ExchangeRequest::close() {
    if (!socket_.isOpen()) return;
    if (tls_) tls_->close();
    socket_.reset();
}

void ExchangeRequest::serve(std::shared_ptr<Shared> shared) {
    {
        const std::lock_guard lock(shared->mutex);
        shared->worker = std::this_thread::get_id();
    }
    // A peer that resets the connection must fail the write, not kill the
    // process; the signal stays pending, blocked, on this thread.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    for (;;) {
        {
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, [&shared] { return shared->job || shared->destroying; });
            // Destroyed (perhaps from inside the last callback): `this` may
            // be gone, so nothing of it is touched.
            if (shared->destroying) {
                shared->job = false;
                shared->state = Shared::State::Idle;
                shared->idle.notify_all();
                return;
            }
            shared->job = false;
        }
        run(shared);
    }
}

void ExchangeRequest::run(const std::shared_ptr<Shared>& shared) {
    bool ok = false;
    std::string codeText;
    do {
        step_ = kStepStarted;
        errorText_.clear();

        step_ = kStepMakeRequestXml;
        std::string xml;
        if (!makeRequestXml(callType_, userInfo_.get(), xml)) {
            errorText_ = "Invalid Type Data at CHttpXmlRequest::MakeRequestXml";
            break;
        }

        step_ = kStepConnect;
        if (!connect()) break;

        step_ = kStepMakeMultipartContent;
        std::string body;
        makeMultipartContent(body, kPartFileName, kPartContentType, xml, kMultipartBoundary);

        step_ = kStepMakeHttpRequest;
        std::string request;
        makeFullHtml(request, kRequestPath, body.size(), kMultipartBoundary, getLocalHostAddress(ipv6_));
        request += body;

        step_ = kStepSendRequest;
        const int answerMs = toPollMs(answerTimeout_);
        const Clock::time_point deadline = now_() + std::chrono::milliseconds(answerMs);
        const long sent = sendData(socket_.get(), request.data(), request.size(), answerMs);
        if (sent < 0 || static_cast<std::size_t>(sent) != request.size()) {
            errorText_ = "CHttpXmlRequest::SendData: sent " + std::to_string(sent) + " of " +
                         std::to_string(request.size()) + " bytes; " + (tls_ ? tls_->errorText() : std::string());
            break;
        }

        step_ = kStepReceiveAnswer;
        TlsStream stream(*tls_, socket_.get(), deadline, answerMs, now_);
        std::string answer;
        int status = -1;
        if (!recvResponse(stream, answer, status, errorText_)) break;

        step_ = kStepCheckAnswer;
        if (status != 200) {
            errorText_ = "CHttpXmlRequest::Run: HTTP status " + std::to_string(status);
            break;
        }
        int codeNumber = -1;
        if (!parseAnswerCode(answer, codeText, callType_, userInfo_.get(), codeNumber, errorText_)) break;

        step_ = kStepCompleted;
        ok = true;
    } while (false);

    close();
    if (!ok) step_ = -step_;
    // The callback gets its own copy: once the request is idle the caller may
    // init again, which rewrites errorText_.
    ServiceResult local{step_, ok ? codeText : errorText_};
    result_ = local;

    // called without the lock, so the callback may set another callback or
    // destroy this object; the request stays "running" until it returns.
    ResultCallback callback = nullptr;
    void* userData = nullptr;
    {
        const std::lock_guard lock(shared->mutex);
        shared->state = Shared::State::Delivering;
        if (!shared->destroying) {
            callback = shared->callback;
            userData = shared->userData;
        }
    }
    if (callback != nullptr) callback(userData, &local.step, local.text.c_str());
    // From here on `this` may be gone: only `shared` is touched.
    const std::lock_guard lock(shared->mutex);
    shared->state = Shared::State::Idle;
    shared->idle.notify_all();
}

}  // namespace pellandor
