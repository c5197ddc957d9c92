#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "support/exchange_sim.h"
#include "request_runner.h"
#include "service/exchange_request.h"

namespace pellandor {
namespace {

using namespace std::chrono_literals;
using test::ExchangeSim;
using test::MuteListener;
using test::Outcome;
using test::runRequest;

const CallUserInfo kAlice{"2001", "alice", "secret", "0123456789"};

// Destroying the request while its worker waits must cut the wait short,
// join the worker and never call back into an owner that is going away.
TEST(RequestThreading, DestroyingARunningRequestStopsItPromptly) {
    ExchangeSim silent;
    std::string error;
    ASSERT_TRUE(silent.start({"--mode", "silent"}, error)) << error;
    MuteListener mute;

    const struct {
        const char* stage;
        std::string port;
    } cases[] = {{"waiting for the answer", silent.port()}, {"in the handshake", mute.port()}};
    for (const auto& c : cases) {
        Outcome outcome;
        auto request = std::make_unique<ExchangeRequest>();
        request->setTimeouts(60s, 60s);
        ASSERT_TRUE(request->init("127.0.0.1", c.port));
        request->setResultCallback(outcome.callback());
        ASSERT_TRUE(request->start(kCallTypeCall, kAlice));
        std::this_thread::sleep_for(500ms);  // lets the worker reach its wait; not needed for correctness
        EXPECT_TRUE(request->isRunning()) << c.stage;

        // Without the cancel the worker would wait its full 60 s.
        const auto start = std::chrono::steady_clock::now();
        request.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << c.stage;
        EXPECT_EQ(outcome.calls, 0) << c.stage;
    }
}

TEST(RequestThreading, OneRequestAtATimeAndTheObjectIsReusable) {
    ExchangeSim sim;
    std::string error;
    ASSERT_TRUE(sim.start({"--mode", "delay:0.5"}, error)) << error;

    ExchangeRequest request;
    ASSERT_TRUE(request.init("127.0.0.1", sim.port()));
    Outcome outcome;
    request.setResultCallback(outcome.callback());
    ASSERT_TRUE(request.start(kCallTypeCall, kAlice));
    EXPECT_FALSE(request.start(kCallTypeHangup, kAlice));
    EXPECT_FALSE(request.init("127.0.0.1", sim.port()));
    ASSERT_TRUE(outcome.waitForCalls(1, 20s));
    EXPECT_EQ(outcome.result.step, 15);

    // Again on the same object, with and without a new init in between.
    ASSERT_TRUE(request.start(kCallTypeHangup, kAlice));
    ASSERT_TRUE(outcome.waitForCalls(2, 20s));
    EXPECT_EQ(outcome.result.step, 15);
    ASSERT_TRUE(request.init("127.0.0.1", sim.port()));
    EXPECT_EQ(runRequest(request, kCallTypeCall, kAlice).step, 15);
    EXPECT_EQ(outcome.calls, 2);
}

TEST(RequestThreading, FailedHandshakeLeavesNoConnectionBehind) {
    // One address that first refuses TLS 1.2, then speaks it; no init in between.
    ExchangeSim old;
    ExchangeSim current;
    std::string error;
    ASSERT_TRUE(old.start({"--mode", "tls1.0"}, error)) << error;
    ASSERT_TRUE(current.start({}, error)) << error;
    test::Forwarder front({old.port(), current.port()});
    ExchangeRequest request;
    ASSERT_TRUE(request.init("127.0.0.1", front.port()));
    EXPECT_EQ(runRequest(request, kCallTypeCall, kAlice).step, -3);
    const ServiceResult result = runRequest(request, kCallTypeCall, kAlice);
    EXPECT_EQ(result.step, 15) << result.text;
}

TEST(RequestThreading, CallbackRunsOnTheWorker) {
    struct Seen {
        std::thread::id thread;
        Outcome outcome;
    } seen;
    ExchangeRequest request;
    ASSERT_TRUE(request.init("127.0.0.1", test::unusedPort()));
    request.setResultCallback([&seen](const ServiceResult& result) {
        seen.thread = std::this_thread::get_id();
        seen.outcome.record(result);
    });
    ASSERT_TRUE(request.start(kCallTypeCall, kAlice));
    ASSERT_TRUE(seen.outcome.waitForCalls(1, 20s));
    const std::lock_guard lock(seen.outcome.mutex);
    EXPECT_NE(seen.thread, std::this_thread::get_id());
    EXPECT_EQ(seen.outcome.result.step, -3);
}

}  // namespace
}  // namespace pellandor
