// What the command-line tests cannot show: a press while a request runs,
// and a press object that goes away mid-request.
#include "call/call_press.h"
#include "support/exchange_sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

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
    ASSERT_EQ(first.status, CallPress::Status::Started) << first.error;
    EXPECT_EQ(first.destination, "1234");
    EXPECT_TRUE(press.isRunning());
    EXPECT_EQ(press.press(CallKind::Hangup, accountFor(sim.port()), "", rules, seen.sink()).status,
              CallPress::Status::Refused);

    ASSERT_TRUE(seen.waitFor(1));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (press.isRunning() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_NE(seen.thread, std::this_thread::get_id());
    EXPECT_TRUE(seen.outcomes[0].succeeded());
    EXPECT_FALSE(seen.outcomes[0].hangup);

    // Idle again: the next press goes out and reports its own kind.
    ASSERT_EQ(press.press(CallKind::Hangup, accountFor(sim.port()), "", rules, seen.sink()).status,
              CallPress::Status::Started);
    ASSERT_TRUE(seen.waitFor(2));
    EXPECT_TRUE(seen.outcomes[1].succeeded());
    EXPECT_TRUE(seen.outcomes[1].hangup);
}

TEST(CallPressNetTest, DestroyedMidRequestCompletesNothing) {
    test::ExchangeSim sim;
    std::string error;
    ASSERT_TRUE(sim.start({"--mode", "silent", "--rsa-bits", "1024"}, error)) << error;
    Completions seen;
    {
        CallPress press;
        DialingRules rules;
        ASSERT_EQ(press.press(CallKind::Call, accountFor(sim.port()), "1234", rules, seen.sink()).status,
                  CallPress::Status::Started);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the worker get under way
    }
    const std::lock_guard lock(seen.mutex);
    EXPECT_TRUE(seen.outcomes.empty());
}

}  // namespace
}  // namespace pellandor
