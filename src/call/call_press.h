#pragma once
// What one press of Call or Hang-up does, for every front: the account and
// exchange checks, the destination, the request on its worker and the
// outcome with its message. No Qt: the desktop dialog waits for the outcome
// asynchronously, the command line synchronously.

#include "config/app_settings.h"
#include "config/language_table.h"
#include "dialing/dialing_rules.h"
#include "service/exchange_request.h"
#include "service/peer_trust.h"
#include "service/result_message.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pellandor {

enum class CallKind { Call, Hangup };

// Which settings a request still lacks.
enum class SettingsGap { None, UserInfo, SysInfo, UserAndSysInfo };

// User info needs ID, password and station number; the exchange needs an
// address other than "0.0.0.0" (an empty one counts as unset too) and a port.
SettingsGap missingSettings(const CallDialogValues& account);

// RS_NOT_USER_INFO, RS_NOT_SYS_INFO or RS_NOT_USER_SYS_INFO; empty for None.
const std::string& settingsGapMessage(SettingsGap gap, const ResultTexts& texts);

// The result texts of the language table.
ResultTexts resultTextsFrom(const LanguageTable& table);

// The number box text as sent: dial marks applied, then accepted when it is
// dialable (the minimum length is not asked for). Empty when not dialable.
std::optional<std::string> callDestination(std::string_view numberText, const DialingRules& rules);

struct CallOutcome {
    ServiceResult result;
    bool hangup = false;
    PeerCheck peer;        // the exchange's key and the verdict on it
    std::string exchange;  // "ADDRESS:PORT" the request went to

    bool completed() const { return result.step == kStepCompleted; }
    bool succeeded() const { return completed() && leadingCodeNumber(result.text) == 100; }
    // The formatted message for the result box; empty on success. An
    // exchange whose key was not trusted gets its own message.
    std::string message(const ResultTexts& texts) const;
};

class CallPress final {
public:
    // Runs exactly once per started request: on the request's worker thread,
    // or on the pressing thread before press returns when the exchange address
    // cannot be used. It must only copy the outcome and hand it on.
    using Completion = std::function<void(const CallOutcome&)>;

    enum class PressState {
        Started,             // the completion will follow
        IncompleteSettings,  // see gap; nothing sent
        NotDialable,         // nothing sent
        Refused,             // a request is still running, or no worker could start; see error
    };
    struct PressResult {
        PressState state = PressState::Refused;
        SettingsGap gap = SettingsGap::None;
        std::string destination;  // what is dialled (empty for a hang-up)
        std::string error;
    };

    CallPress() = default;
    // Cuts a running request short and waits for its worker; no completion follows.
    virtual ~CallPress() = default;
    CallPress(const CallPress&) = delete;
    CallPress& operator=(const CallPress&) = delete;

    // `numberText` is the number box text (ignored for a hang-up).
    PressResult press(CallKind kind, const CallDialogValues& account, std::string_view numberText,
                      const DialingRules& rules, Completion completion);

    // press, then wait for the outcome (only when the state is Started).
    PressResult pressAndWait(CallKind kind, const CallDialogValues& account, std::string_view numberText,
                             const DialingRules& rules, CallOutcome& outcome);

    // Readies the request's worker and TLS context ahead of the first press,
    // so that press does not wait for them. Optional: press makes them too.
    void prepare() { (void)request_.prepare(); }

    // From a started request until its completion has returned.
    bool isRunning() const { return busy_.load(std::memory_order_acquire); }
    // Time-outs and similar knobs, for tests and tools.
    ExchangeRequest& request() { return request_; }

private:
    // Written only while idle; read by the worker only while busy_.
    Completion completion_;
    bool hangup_ = false;
    std::chrono::steady_clock::time_point started_;
    std::string exchange_;  // ADDRESS:PORT, for the outcome and the log
    std::atomic<bool> busy_{false};
    // Last, so it is destroyed (and its worker joined) before the completion.
    ExchangeRequest request_;
};

}  // namespace pellandor
