#include "service/exchange_request.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <utility>

#include "base/log.h"
#include "base/secret_text.h"
#include "service/byte_stream.h"
#include "service/http_framing.h"
#include "service/net_util.h"
#include "service/result_message.h"
#include "service/answer_parser.h"
#include "platform/crash_handler.h"

namespace pellandor {

namespace {

Socket openConnectionSocket(bool ipv6) {
    Socket socket = openTcpSocket(ipv6);
    // The handshake's last flight and the request go out as several small
    // writes; waiting on Nagle's algorithm for each would only add delay.
    if (socket.isOpen()) setNoDelay(socket.get());
    return socket;
}

using Clock = SteadyClock;
using ClockFunction = std::function<Clock::time_point()>;

// The TLS connection as the framing code sees it, with one deadline for the
// whole answer. The deadline is checked before every read, not only when a
// read has to wait, so a peer that never pauses cannot hold the request.
class TlsStream final : public IByteStream {
public:
    TlsStream(TlsConnection& tls, SocketHandle socket, Clock::time_point deadline, int limitMs,
              const ClockFunction& now)
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
    SocketHandle socket_;
    Clock::time_point deadline_;
    int limitMs_;
    const ClockFunction& now_;
    bool timedOut_ = false;
};

// request values are user text; markup in a password must not break the document.
void wipeRequestSecrets(std::string& xml, std::string& body, std::string& request) {
    wipeString(xml);
    wipeString(body);
    wipeString(request);
}

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

// One getaddrinfo on a helper thread of its own: the system call cannot be
// given a time limit or be interrupted, so the request stops waiting for it
// instead. The helper owns its half and cleans up whenever it finishes.
struct Lookup {
    std::mutex mutex;
    bool done = false;
    int rc = resolverSystemError();
    bool found = false;
    SocketAddress address;
    WakeSignal finished;
};

enum class LookupEnd { Done, TimedOut, Cancelled, Failed };

LookupEnd resolveWithin(const std::string& host, const std::string& port, int timeoutMs, const WakeSignal& cancel,
                        int& rc, SocketAddress& address, bool& found) {
    auto lookup = std::make_shared<Lookup>();
    if (!lookup->finished.isValid()) return LookupEnd::Failed;
    try {
        std::thread([lookup, host, port] {
            SocketAddress resolved;
            bool any = false;
            const int result = resolveAddress(host, port, false, resolved, any);
            {
                const std::lock_guard lock(lookup->mutex);
                lookup->rc = result;
                lookup->address = resolved;
                lookup->found = any;
                lookup->done = true;
            }
            lookup->finished.set();
        }).detach();
    } catch (const std::system_error&) {
        return LookupEnd::Failed;
    }
    switch (waitForSignal(lookup->finished, cancel.isValid() ? &cancel : nullptr, timeoutMs)) {
        case WaitResult::Ready:
            break;
        case WaitResult::Cancelled:
            return LookupEnd::Cancelled;
        case WaitResult::TimedOut:
            return LookupEnd::TimedOut;
        case WaitResult::Failed:
            return LookupEnd::Failed;
    }
    const std::lock_guard lock(lookup->mutex);
    if (!lookup->done) return LookupEnd::Failed;
    rc = lookup->rc;
    address = lookup->address;
    found = lookup->found;
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
    bool crashTest = false;  // the job is crashWorkerOnPurpose
    std::thread::id worker;  // set by the worker once start has published it
    bool destroying = false;
    ResultCallback callback;
};

ExchangeRequest::ExchangeRequest() : now_([] { return Clock::now(); }), shared_(std::make_shared<Shared>()) {
}

ExchangeRequest::~ExchangeRequest() {
    bool insideCallback = false;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->destroying = true;
        insideCallback = shared_->state != Shared::State::Idle && shared_->worker == std::this_thread::get_id();
    }
    shared_->wake.notify_all();
    // Wakes the worker out of any connect, handshake, read or write wait.
    cancel_.set();
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

Status ExchangeRequest::init(const std::string& host, const std::string& port) {
    if (!waitUntilIdle()) return failure("init: a request is still running");
    if (host.empty() || port.empty()) return failure("init: no exchange address or port");
    // The same literal address gives the same answer: not asked again.
    if (host == host_ && port == port_ && serverAddress_ && !resolvePending_ && isNumericHost(host))
        return makeTlsContext();
    const std::string previousHost = std::exchange(host_, host);
    const std::string previousPort = std::exchange(port_, port);
    resolvePending_ = false;
    // Only a name needs the resolver; it is asked on the worker, never here.
    if (!isNumericHost(host_)) {
        resolvePending_ = true;
    } else if (!resolve()) {
        host_ = previousHost;
        port_ = previousPort;
        return failure(errorText_);
    }

    return makeTlsContext();
}

Status ExchangeRequest::prepare() {
    if (isRunning()) return {};
    {
        const std::lock_guard lock(shared_->mutex);
        if (!worker_.joinable()) {
            if (Status started = startWorker(); !started) return started;
        }
    }
    return makeTlsContext();
}

Status ExchangeRequest::makeTlsContext() {
    // The context holds nothing of the exchange, so one serves every request:
    // building it costs a few tenths of a millisecond on each press.
    if (tls_) return {};
    std::unique_ptr<TlsConnection> tls;
    try {
        tls = std::make_unique<TlsConnection>();
    } catch (const std::bad_alloc&) {
        return failure("SSL memory allocation fail \n");
    }
    if (!tls->initClient()) return failure("InitClientSSL fail " + tls->errorText() + "\n");
    tls_ = std::move(tls);
    return {};
}

bool ExchangeRequest::resolve() {
    int rc = 0;
    SocketAddress address;
    bool found = false;
    if (isNumericHost(host_)) {
        // A literal address: no resolver is asked, so this cannot block.
        rc = resolveAddress(host_, port_, true, address, found);
    } else {
        switch (resolveWithin(host_, port_, toPollMs(connectTimeout_), cancel_, rc, address, found)) {
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
                errorText_ = "getaddrinfo: " + resolverMessage(resolverSystemError()) + "\n";
                return false;
        }
    }
    if (rc != 0) {
        errorText_ = "getaddrinfo: " + resolverMessage(rc) + "\n";
        return false;
    }
    if (!found) {
        errorText_ = "No Address info from getaddrinfo\n";
        return false;
    }
    serverAddress_ = address;
    ipv6_ = address.ipv6;
    resolvePending_ = false;
    return true;
}

void ExchangeRequest::setResultCallback(ResultCallback callback) {
    const std::lock_guard lock(shared_->mutex);
    shared_->callback = std::move(callback);
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

Status ExchangeRequest::start(int callType, const CallUserInfo& userInfo) {
    if (!waitUntilIdle()) return failure("start: a request is still running");
    callType_ = callType;
    if (callType == kCallTypeCall || callType == kCallTypeHangup) {
        userInfo_ = std::make_unique<CallUserInfo>(userInfo);
    }
    // Held until worker_ is assigned: the worker waits for it before its
    // first step, so even a callback that destroys this object finds
    // start done with it.
    const std::lock_guard lock(shared_->mutex);
    return wakeWorker();
}

Status ExchangeRequest::crashWorkerOnPurpose() {
    if (!waitUntilIdle()) return failure("crash test: a request is still running");
    const std::lock_guard lock(shared_->mutex);
    shared_->crashTest = true;
    return wakeWorker();
}

Status ExchangeRequest::wakeWorker() {
    shared_->state = Shared::State::Running;
    shared_->job = true;
    if (worker_.joinable()) {
        shared_->wake.notify_one();
        return {};
    }
    if (Status started = startWorker(); !started) {
        shared_->state = Shared::State::Idle;
        shared_->job = false;
        shared_->crashTest = false;
        return started;
    }
    return {};
}

Status ExchangeRequest::startWorker() {
    try {
        // One worker for the object's life: a thread started for each press
        // cost a tenth of a millisecond before the connection could begin.
        // The default stack: OpenSSL needs far more than a few kilobytes.
        worker_ = std::thread([this, shared = shared_] { serve(shared); });
    } catch (const std::system_error& e) {
        return failure(std::string("start: thread creation fail ") + e.what());
    }
    return {};
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
        errorText = "Invalid Type Data at answer check";
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
        errorText_ = "connect: no exchange address; init has not succeeded";
        return false;
    }
    socket_ = spareSocket_.isOpen() && spareIpv6_ == ipv6_ ? std::move(spareSocket_) : openConnectionSocket(ipv6_);
    if (!socket_.isOpen()) {
        errorText_ = "connect: socket fail error[" + std::to_string(lastSocketError()) + "]";
        return false;
    }
    tls_->setCancel(cancel_.isValid() ? &cancel_ : nullptr);
    if (!tls_->useTrustAnchors(trust_.caFile)) {
        errorText_ = "Connect SSL fail " + tls_->errorText() + "\n";
        socket_.reset();
        return false;
    }
    if (tls_->connect(socket_.get(), *serverAddress_, toPollMs(connectTimeout_))) {
        return true;
    }
    errorText_ = "Connect SSL fail " + tls_->errorText() + "\n";
    socket_.reset();
    return false;
}

bool ExchangeRequest::checkPeer() {
    PeerIdentity identity;
    if (!tls_->inspectPeer(host_, identity)) {
        errorText_ = "Connect SSL fail " + tls_->errorText() + "\n";
        return false;
    }
    peerCheck_ = checkPeerKey(trust_, formatKeyFingerprint(identity.keyDigest.data(), identity.keyDigest.size()),
                              identity.chainVerified, identity.chainError);
    switch (peerCheck_.verdict) {
        case TrustVerdict::KeyChanged:
            errorText_ = "the exchange's identity changed: its key is " + peerCheck_.fingerprint +
                         ", the trusted key is " + peerCheck_.expected + "; nothing was sent";
            return false;
        case TrustVerdict::ChainRejected:
            errorText_ = "the exchange's certificate is not trusted: " + peerCheck_.detail + " (key " +
                         peerCheck_.fingerprint + "); nothing was sent";
            return false;
        case TrustVerdict::NotChecked:
        case TrustVerdict::FirstUse:
        case TrustVerdict::Matches:
            break;
    }
    return true;
}

long ExchangeRequest::sendData(SocketHandle socket, const char* bytes, std::size_t length, int timeoutMs) {
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
    // Without a stack of its own for the crash handler, an overflow here
    // would end the process without a report.
    installCrashStackForThisThread();
    // A peer that resets the connection must fail the write, not kill the
    // process.
    ignoreBrokenPipeOnThisThread();
    for (;;) {
        bool crashTest = false;
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
            crashTest = shared->crashTest;
        }
        if (crashTest) crashOnPurpose("stack");
        run(shared);
    }
}

void ExchangeRequest::run(const std::shared_ptr<Shared>& shared) {
    bool ok = false;
    std::string codeText;
    // These hold the password in clear: wiped once the request is out.
    std::string xml, body, request;
    do {
        step_ = kStepStarted;
        errorText_.clear();

        step_ = kStepMakeRequestXml;
        const bool made = makeRequestXml(callType_, userInfo_.get(), xml);
        if (userInfo_) wipeString(userInfo_->password);
        if (!made) {
            errorText_ = "Invalid Type Data at request XML";
            break;
        }

        step_ = kStepConnect;
        peerCheck_ = PeerCheck{};
        const Clock::time_point connectStart = Clock::now();
        if (!connect()) break;
        log(LogLevel::Debug, kLogRequest,
            std::string("connected (") + (ipv6_ ? "IPv6" : "IPv4") + ", TLS 1.2) in " +
                std::to_string(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - connectStart).count()) +
                " ms");
        // The request carries the password: it goes to a trusted key only.
        if (!checkPeer()) break;

        step_ = kStepMakeMultipartContent;
        makeMultipartContent(body, kPartFileName, kPartContentType, xml, kMultipartBoundary);

        step_ = kStepMakeHttpRequest;
        makeFullHtml(request, kRequestPath, body.size(), kMultipartBoundary, getLocalHostAddress(ipv6_));
        request += body;

        step_ = kStepSendRequest;
        const int answerMs = toPollMs(answerTimeout_);
        const Clock::time_point deadline = now_() + std::chrono::milliseconds(answerMs);
        const long sent = sendData(socket_.get(), request.data(), request.size(), answerMs);
        const std::size_t requestSize = request.size();
        wipeRequestSecrets(xml, body, request);
        if (sent < 0 || static_cast<std::size_t>(sent) != requestSize) {
            errorText_ = "send: sent " + std::to_string(sent) + " of " + std::to_string(requestSize) + " bytes; " +
                         (tls_ ? tls_->errorText() : std::string());
            break;
        }
        // The exchange is busy with the request now.
        if (!spareSocket_.isOpen() || spareIpv6_ != ipv6_) {
            spareSocket_ = openConnectionSocket(ipv6_);
            spareIpv6_ = ipv6_;
        }

        step_ = kStepReceiveAnswer;
        TlsStream stream(*tls_, socket_.get(), deadline, answerMs, now_);
        std::string answer;
        int status = -1;
        if (const Status received = recvResponse(stream, answer, status); !received) {
            errorText_ = received.error();
            break;
        }

        log(LogLevel::Debug, kLogRequest,
            "answer: HTTP status " + std::to_string(status) + ", " + std::to_string(answer.size()) + " body bytes");
        step_ = kStepCheckAnswer;
        if (status != 200) {
            errorText_ = "answer: HTTP status " + std::to_string(status);
            break;
        }
        int codeNumber = -1;
        if (!parseAnswerCode(answer, codeText, callType_, userInfo_.get(), codeNumber, errorText_)) break;

        step_ = kStepCompleted;
        ok = true;
    } while (false);

    close();
    wipeRequestSecrets(xml, body, request);
    if (!ok) step_ = -step_;
    // The callback gets its own copy: once the request is idle the caller may
    // init again, which rewrites errorText_.
    ServiceResult local{step_, ok ? codeText : errorText_};
    result_ = local;

    // called without the lock, so the callback may set another callback or
    // destroy this object; the request stays "running" until it returns.
    // A copy: the callback may replace the stored one while it runs.
    ResultCallback callback;
    {
        const std::lock_guard lock(shared->mutex);
        shared->state = Shared::State::Delivering;
        if (!shared->destroying) callback = shared->callback;
    }
    if (callback) callback(local);
    callback = nullptr;  // its captures go before the request counts as idle
    // From here on `this` may be gone: only `shared` is touched.
    const std::lock_guard lock(shared->mutex);
    shared->state = Shared::State::Idle;
    shared->idle.notify_all();
}

}  // namespace pellandor
