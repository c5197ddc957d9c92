#pragma once
// One click-to-call request to the exchange: place or end a call on the
// user's own station. Requests run one at a time on a worker thread, started
// with the first and kept until the object is destroyed; each reports its
// ServiceResult through the result callback.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "service/peer_trust.h"
#include "service/tls_connection.h"
#include "service/service_types.h"
#include "base/result.h"
#include "platform/socket.h"

namespace pellandor {

class ExchangeRequest final {
public:
    static constexpr int kTransportTls = 4;
    static constexpr std::chrono::milliseconds kDefaultConnectTimeout{5000};
    static constexpr std::chrono::milliseconds kDefaultAnswerTimeout{10000};

    ExchangeRequest();
    // Stops a running request (its connection is cut, no callback follows)
    // and waits for its worker. May be called from inside the callback.
    virtual ~ExchangeRequest();
    ExchangeRequest(const ExchangeRequest&) = delete;
    ExchangeRequest& operator=(const ExchangeRequest&) = delete;

    // Takes the exchange's address and, once, prepares the TLS context. Refused
    // while a request runs (called just after its result, it waits for the
    // callback to return). A numeric address is resolved here (a failure
    // keeps the address resolved before); a name is resolved by the next
    // request on its worker, within the connect bound, so a slow resolver
    // never blocks the caller: its failure is that request's result at
    // kStepConnect with the same "getaddrinfo: ..." text.
    Status init(const std::string& host, const std::string& port);

    // Makes now what the first request would otherwise make on its way:
    // the worker (waiting) and the TLS context, its libraries loaded. Does
    // nothing while a request runs; a failure is left for init to report.
    Status prepare();

    // May be called at any time, also from inside the callback.
    void setResultCallback(ResultCallback callback);
    // connect plus handshake each within `connect`; from sending the request
    // to the last byte of the answer within `answer`.
    void setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds answer);
    // What the exchange's key must be; checked after the handshake, before
    // any request byte is written. Set while no request runs.
    void setTrustPolicy(TrustPolicy policy) { trust_ = std::move(policy); }
    // The key the last request found and the verdict on it. Valid inside
    // the result callback and while no request runs.
    const PeerCheck& lastPeerCheck() const { return peerCheck_; }
    // The clock the answer deadline is checked against (tests move it on).
    void setClock(std::function<std::chrono::steady_clock::time_point()> now);

    // Starts a call (kCallTypeCall) or hang-up (kCallTypeHangup) on the
    // worker. Fails while another request runs or when no thread can start.
    Status start(int callType, const CallUserInfo& userInfo);
    // True from start until the result callback has returned.
    bool isRunning() const;

    // For `pellandor --crash-test=worker`: the worker overflows its stack, as
    // a runaway request would, so the crash report of the real worker thread
    // can be tested. Fails while a request runs.
    Status crashWorkerOnPurpose();

    // Meaningful only while no request runs.
    const ServiceResult& result() const { return result_; }

    bool isIpv6() const { return ipv6_; }

    // The request document; values are escaped. False for an unknown call
    // type or without user info.
    static bool makeRequestXml(int callType, const CallUserInfo* userInfo, std::string& xml);
    // Reads the `code` element of an answer body.
    static bool parseAnswerCode(std::string_view body, std::string& codeText, int callType,
                                const CallUserInfo* userInfo, int& codeNumber, std::string& errorText);

private:
    struct Shared;

    // The worker: waits for each request start hands over and runs it,
    // until the object is destroyed.
    void serve(std::shared_ptr<Shared> shared);
    void run(const std::shared_ptr<Shared>& shared);
    // False while a request runs; once its result is out, waits for its
    // callback to return.
    bool waitUntilIdle();
    // Hands the worker its next job, starting it the first time; the caller
    // holds the lock. Fails when no thread can start.
    Status wakeWorker();
    // Starts the worker, waiting for its first job; the caller holds the lock.
    Status startWorker();
    // The TLS context, made once and kept for every request.
    Status makeTlsContext();
    bool resolve();
    bool connect();
    // False, with the error text set, when the key or chain is not trusted.
    bool checkPeer();
    long sendData(SocketHandle socket, const char* bytes, std::size_t length, int timeoutMs);
    void close();

    std::string host_;
    std::string port_;
    bool resolvePending_ = false;  // a name from init, resolved by the next request
    std::optional<SocketAddress> serverAddress_;
    bool ipv6_ = false;
    std::string errorText_;
    Socket socket_;
    // Opened while the previous request waited for its answer, for the
    // next connection: opening one costs the press a tenth of a millisecond
    // and more on Windows.
    Socket spareSocket_;
    bool spareIpv6_ = false;
    std::unique_ptr<TlsConnection> tls_;
    int callType_ = 0;
    std::unique_ptr<CallUserInfo> userInfo_;
    std::thread worker_;
    int step_ = 0;
    ServiceResult result_;
    TrustPolicy trust_;
    PeerCheck peerCheck_;

    std::chrono::milliseconds connectTimeout_ = kDefaultConnectTimeout;
    std::chrono::milliseconds answerTimeout_ = kDefaultAnswerTimeout;
    std::function<std::chrono::steady_clock::time_point()> now_;
    WakeSignal cancel_;  // set once by the destructor to stop every wait
    // The running flag and the callback, shared with the worker so that it
    // can finish safely when the callback destroys this object.
    std::shared_ptr<Shared> shared_;
};

}  // namespace pellandor
