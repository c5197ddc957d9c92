#pragma once
// One click-to-call request to the exchange: place or end a call on the
// user's own station. Each request runs on a worker thread of its own and
// reports its ServiceResult through the result callback.

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "service/openssl_interface.h"
#include "service/service_types.h"
#include "service/unique_fd.h"

namespace pellandor {

class CHttpXmlRequest {
public:
    static constexpr int kTransportTls = 4;
    static constexpr std::chrono::milliseconds kDefaultConnectTimeout{5000};
    static constexpr std::chrono::milliseconds kDefaultAnswerTimeout{10000};

    CHttpXmlRequest();
    // Stops a running request (its connection is cut, no callback follows)
    // and waits for its worker.
    virtual ~CHttpXmlRequest();
    CHttpXmlRequest(const CHttpXmlRequest&) = delete;
    CHttpXmlRequest& operator=(const CHttpXmlRequest&) = delete;

    // Resolves the exchange and prepares a fresh TLS context. Refused while a
    // request runs. A failure keeps the address resolved before.
    bool Init(const std::string& host, const std::string& port);

    // Set these before Start, not while a request runs.
    void SetResultCallback(ResultCallback callback, void* userData);
    // Connect plus handshake each within `connect`; from sending the request
    // to the last byte of the answer within `answer`.
    void SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds answer);

    // Starts a call (kCallTypeCall) or hang-up (kCallTypeHangup) on a new
    // worker. False while another request runs or when no thread can start.
    bool Start(int callType, const CallUserInfo& userInfo);
    bool IsRunning() const { return running_.load(std::memory_order_acquire); }

    // These two are meaningful only while no request runs.
    const std::string& ErrorText() const { return errorText_; }
    const ServiceResult& Result() const { return result_; }

    bool IsIpv6() const { return ipv6_; }

    // The request document; values are escaped. False for an unknown call
    // type or without user info.
    static bool MakeRequestXml(int callType, const CallUserInfo* userInfo, std::string& xml);
    // Reads the `code` element of an answer body.
    static bool ProcessRespXML(std::string_view body, std::string& codeText, int callType,
                               const CallUserInfo* userInfo, int& codeNumber, std::string& errorText);

private:
    void Run();
    bool Connect();
    long SendData(int socket, const char* bytes, std::size_t length, int timeoutMs);
    void Close();

    std::string host_;
    std::string port_;
    int transportMode_ = 0;
    std::optional<sockaddr_storage> serverAddress_;
    socklen_t serverAddressLength_ = 0;
    bool ipv6_ = false;
    std::string errorText_;
    UniqueFd socket_;
    std::unique_ptr<COpenSSLInterface> tls_;
    int callType_ = 0;
    std::unique_ptr<CallUserInfo> userInfo_;
    std::thread worker_;
    std::atomic<bool> running_{false};
    int step_ = 0;
    ResultCallback callback_ = nullptr;
    void* userData_ = nullptr;
    ServiceResult result_;

    std::chrono::milliseconds connectTimeout_ = kDefaultConnectTimeout;
    std::chrono::milliseconds answerTimeout_ = kDefaultAnswerTimeout;
    UniqueFd cancel_;  // eventfd: written once by the destructor to stop every wait
    std::mutex callbackMutex_;
    bool destroying_ = false;  // guarded by callbackMutex_
};

}  // namespace pellandor
