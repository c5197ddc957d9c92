#pragma once
// What the caller hands a click-to-call request and what it gets back.

#include <functional>
#include <string>

namespace pellandor {

inline constexpr int kCallTypeCall = 1;
inline constexpr int kCallTypeHangup = 2;

// Step numbers of one request; a failed request reports the failed step negated.
// Callers see these numbers, so they stay as they are; 6 to 11 are not used.
inline constexpr int kStepStarted = 1;
inline constexpr int kStepMakeRequestXml = 2;
inline constexpr int kStepConnect = 3;
inline constexpr int kStepMakeMultipartContent = 4;
inline constexpr int kStepMakeHttpRequest = 5;
inline constexpr int kStepSendRequest = 12;
inline constexpr int kStepReceiveAnswer = 13;
inline constexpr int kStepCheckAnswer = 14;
inline constexpr int kStepCompleted = 15;

struct CallUserInfo {
    std::string stationNumber;  // the user's own extension, also the calling party
    std::string userId;
    std::string password;     // clear text; only the TLS connection protects it
    std::string destination;  // dial string for a call, empty for a hang-up
};

struct ServiceResult {
    int step = 0;      // kStepCompleted, or minus the step that failed
    std::string text;  // the answer's code on completion, else the error text
};

// Called on the request's worker thread: copy what you keep and hand the work
// to your own thread.
using ResultCallback = std::function<void(const ServiceResult&)>;

}  // namespace pellandor
