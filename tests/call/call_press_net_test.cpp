// What the command-line tests cannot show: a press while a request runs,
// and a press object that goes away mid-request.
#include "call/call_press.h"
#include "exchange_sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace pellandor {
namespace {

CallDialogValues AccountFor(const std::string& port)
{
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

    CCallPress::Completion Sink()
    {
        return [this](const CallOutcome& outcome) {
            const std::lock_guard lock(mutex);
            outcomes.push_back(outcome);
            thread = std::this_thread::get_id();
            done.notify_all();
        };
    }
    bool WaitFor(std::size_t count)
    {
        std::unique_lock lock(mutex);
        return done.wait_for(lock, std::chrono::seconds(30), [&] { return outcomes.size() >= count; });
    }
};

TEST(CallPressNetTest, SecondPressIsRefusedUntilTheFirstHasCompleted)
{
    test::ExchangeSim sim;
    std::string error;
    ASSERT_TRUE(sim.Start({"--mode", "delay:0.5", "--rsa-bits", "1024"}, error)) << error;
    CCallPress press;
    DialingRules rules;
    Completions seen;

    const auto first = press.Press(CallKind::Call, AccountFor(sim.Port()), "1234", rules, seen.Sink());
    ASSERT_EQ(first.status, CCallPress::Status::Started) << first.error;
    EXPECT_EQ(first.destination, "1234");
    EXPECT_TRUE(press.IsRunning());
    EXPECT_EQ(press.Press(CallKind::Hangup, AccountFor(sim.Port()), "", rules, seen.Sink()).status,
              CCallPress::Status::Refused);

    ASSERT_TRUE(seen.WaitFor(1));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (press.IsRunning() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_NE(seen.thread, std::this_thread::get_id());
    EXPECT_TRUE(seen.outcomes[0].Succeeded());
    EXPECT_FALSE(seen.outcomes[0].hangup);

    // Idle again: the next press goes out and reports its own kind.
    ASSERT_EQ(press.Press(CallKind::Hangup, AccountFor(sim.Port()), "", rules, seen.Sink()).status,
              CCallPress::Status::Started);
    ASSERT_TRUE(seen.WaitFor(2));
    EXPECT_TRUE(seen.outcomes[1].Succeeded());
    EXPECT_TRUE(seen.outcomes[1].hangup);
}

TEST(CallPressNetTest, DestroyedMidRequestCompletesNothing)
{
    test::ExchangeSim sim;
    std::string error;
    ASSERT_TRUE(sim.Start({"--mode", "silent", "--rsa-bits", "1024"}, error)) << error;
    Completions seen;
    {
        CCallPress press;
        DialingRules rules;
        ASSERT_EQ(press.Press(CallKind::Call, AccountFor(sim.Port()), "1234", rules, seen.Sink()).status,
                  CCallPress::Status::Started);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the worker get under way
    }
    const std::lock_guard lock(seen.mutex);
    EXPECT_TRUE(seen.outcomes.empty());
}

}  // namespace
}  // namespace pellandor
