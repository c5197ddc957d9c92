// What the command-line tests cannot show: a press while a request runs,
// and a press object that goes away mid-request.
#include "base/log.h"
#include "call/call_press.h"
#include "support/exchange_sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

namespace pellandor {
namespace {

CallDialogValues accountFor(const std::string& port) {
    CallDialogValues v;
    v.userId = "alice";
    v.password = "secret";
    v.phoneNumber = "2001";
    v.exchangeAddress = "127.0.0.1";
    v.exchangePort = port;
    return v;
}

struct Completions {
    std::mutex mutex;
    std::condition_variable done;
    std::vector<CallOutcome> outcomes;
    std::thread::id thread;

    CallPress::Completion sink() {
        return [this](const CallOutcome& outcome) {
            const std::lock_guard lock(mutex);
            outcomes.push_back(outcome);
            thread = std::this_thread::get_id();
            done.notify_all();
        };
    }
    bool waitFor(std::size_t count) {
        std::unique_lock lock(mutex);
        return done.wait_for(lock, std::chrono::seconds(30), [&] { return outcomes.size() >= count; });
    }
};

TEST(CallPressNetTest, SecondPressIsRefusedUntilTheFirstHasCompleted) {
    test::ExchangeSim sim;
    std::string error;
    ASSERT_TRUE(sim.start({"--mode", "delay:0.5", "--rsa-bits", "1024"}, error)) << error;
    CallPress press;
    DialingRules rules;
    Completions seen;

    const auto first = press.press(CallKind::Call, accountFor(sim.port()), "1234", rules, seen.sink());
    ASSERT_EQ(first.state, CallPress::PressState::Started) << first.error;
    EXPECT_EQ(first.destination, "1234");
    EXPECT_TRUE(press.isRunning());
    EXPECT_EQ(press.press(CallKind::Hangup, accountFor(sim.port()), "", rules, seen.sink()).state,
              CallPress::PressState::Refused);

    ASSERT_TRUE(seen.waitFor(1));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (press.isRunning() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_NE(seen.thread, std::this_thread::get_id());
    EXPECT_TRUE(seen.outcomes[0].succeeded());
    EXPECT_FALSE(seen.outcomes[0].hangup);

    // Idle again: the next press goes out and reports its own kind.
    ASSERT_EQ(press.press(CallKind::Hangup, accountFor(sim.port()), "", rules, seen.sink()).state,
              CallPress::PressState::Started);
    ASSERT_TRUE(seen.waitFor(2));
    EXPECT_TRUE(seen.outcomes[1].succeeded());
    EXPECT_TRUE(seen.outcomes[1].hangup);
}

struct LogLines final : LogSink {
    std::mutex mutex;
    std::vector<std::tuple<LogLevel, std::string, std::string>> lines;
    void write(LogLevel level, std::string_view category, std::string_view message) override {
        const std::lock_guard lock(mutex);
        lines.emplace_back(level, std::string(category), std::string(message));
    }
};

// Each press leaves one line in the call category: kind, exchange, step,
// code or error, time; never the account or the number dialled.
TEST(CallPressNetTest, LogsEachOutcomeWithoutTheAccount) {
    test::ExchangeSim sim;
    std::string error;
    ASSERT_TRUE(sim.start({"--rsa-bits", "1024"}, error)) << error;
    const struct {
        CallKind kind;
        std::string port;
        LogLevel level;
        std::string expected;
    } cases[] = {
        {CallKind::Call, sim.port(), LogLevel::Info, "call via 127.0.0.1:" + sim.port() + ": step 15, code 100, "},
        {CallKind::Hangup, test::unusedPort(), LogLevel::Warning,
         ": failed at step 3 (Connect SSL fail TLS connect: connect fail error["},
    };
    for (const auto& c : cases) {
        auto lines = std::make_shared<LogLines>();
        const ScopedLogSink installed(lines);
        CallPress press;
        DialingRules rules;
        Completions seen;
        ASSERT_EQ(press.press(c.kind, accountFor(c.port), "5550177", rules, seen.sink()).state,
                  CallPress::PressState::Started);
        ASSERT_TRUE(seen.waitFor(1));
        const std::lock_guard lock(lines->mutex);
        std::vector<std::string> calls;
        for (const auto& [level, category, message] : lines->lines) {
            for (const char* secret : {"secret", "alice", "5550177"})
                EXPECT_EQ(message.find(secret), std::string::npos) << message;
            if (category != kLogCall) continue;
            calls.push_back(message);
            EXPECT_EQ(level, c.level) << message;
        }
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_NE(calls[0].find(c.expected), std::string::npos) << calls[0];
        EXPECT_EQ(calls[0].substr(calls[0].size() - 3), " ms") << calls[0];
    }
}

TEST(CallPressNetTest, DestroyedMidRequestCompletesNothing) {
    test::ExchangeSim sim;
    std::string error;
    ASSERT_TRUE(sim.start({"--mode", "silent", "--rsa-bits", "1024"}, error)) << error;
    Completions seen;
    {
        CallPress press;
        DialingRules rules;
        ASSERT_EQ(press.press(CallKind::Call, accountFor(sim.port()), "1234", rules, seen.sink()).state,
                  CallPress::PressState::Started);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the worker get under way
    }
    const std::lock_guard lock(seen.mutex);
    EXPECT_TRUE(seen.outcomes.empty());
}

}  // namespace
}  // namespace pellandor
