#include <gtest/gtest.h>

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>

#include "support/exchange_sim.h"
#include "request_runner.h"
#include "service/exchange_request.h"

namespace pellandor {
namespace {

using namespace std::chrono_literals;
using test::ExchangeSim;
using test::MuteListener;
using test::runRequest;
using test::succeeded;

const CallUserInfo kAlice{"2001", "alice", "secret", "0123456789"};

struct ExchangeCase {
    const char* name;
    std::vector<std::string> simArgs;
    int callType;
    CallUserInfo user;
    int step;
    std::string textStart;
};

void PrintTo(const ExchangeCase& c, std::ostream* os) {
    *os << c.name;
}

class ExchangeOutcome : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(ExchangeOutcome, ReportsStepAndText) {
    const ExchangeCase& c = GetParam();
    ExchangeSim sim;
    std::string error;
    ASSERT_TRUE(sim.start(c.simArgs, error)) << error;
    const bool v6 = std::find(c.simArgs.begin(), c.simArgs.end(), "::1") != c.simArgs.end();

    ExchangeRequest request;
    request.setTimeouts(5s, 3s);
    ASSERT_TRUE(succeeded(request.init(v6 ? "::1" : "127.0.0.1", sim.port())));
    EXPECT_EQ(request.isIpv6(), v6);
    const ServiceResult result = runRequest(request, c.callType, c.user);
    EXPECT_EQ(result.step, c.step) << result.text;
    EXPECT_EQ(result.text.substr(0, c.textStart.size()), c.textStart) << result.text;
    EXPECT_EQ(request.result().step, result.step);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ExchangeOutcome,
    ::testing::Values(
        ExchangeCase{"Success", {}, kCallTypeCall, kAlice, 15, "100"},
        ExchangeCase{"Hangup", {}, kCallTypeHangup, {"2001", "alice", "secret", ""}, 15, "100"},
        ExchangeCase{"WrongPassword", {}, kCallTypeCall, {"2001", "alice", "wrong", "1"}, 15, "101"},
        ExchangeCase{"CodeFromExchange", {"--mode", "code:110"}, kCallTypeCall, kAlice, 15, "110"},
        ExchangeCase{"Ipv6", {"--bind", "::1"}, kCallTypeCall, kAlice, 15, "100"},
        ExchangeCase{"Rsa1024", {"--rsa-bits", "1024"}, kCallTypeCall, kAlice, 15, "100"},
        ExchangeCase{"Rsa2048", {"--rsa-bits", "2048"}, kCallTypeCall, kAlice, 15, "100"},
        ExchangeCase{"SplitAnswer", {"--mode", "split"}, kCallTypeCall, kAlice, 15, "100"},
        ExchangeCase{"BigBody", {"--mode", "big-body"}, kCallTypeCall, kAlice, 15, "100"},
        ExchangeCase{"UpperHeaders", {"--mode", "upper-headers"}, kCallTypeCall, kAlice, 15, "100"},
        ExchangeCase{"MixedCaseBody", {"--mode", "mixed-case-body"}, kCallTypeCall, kAlice, 15, "100"},
        ExchangeCase{"Http500", {"--mode", "http500"}, kCallTypeCall, kAlice, -14, "answer: HTTP status 500"},
        ExchangeCase{"NoCode", {"--mode", "no-code"}, kCallTypeCall, kAlice, -14, "CODE_EMPTY"},
        ExchangeCase{"NotXml", {"--mode", "not-xml"}, kCallTypeCall, kAlice, -14, "Error at Parsing the XML! "},
        // an empty body completes at once (the exchange keeps the line open) and has no code
        ExchangeCase{"ContentLength0",
                     {"--mode", "content-length-0"},
                     kCallTypeCall,
                     kAlice,
                     -14,
                     "Error at Parsing the XML! no element found at line 1"},
        ExchangeCase{"NoContentLength",
                     {"--mode", "no-content-length"},
                     kCallTypeCall,
                     kAlice,
                     -13,
                     "receive: no content-length"},
        ExchangeCase{"ClosedWithoutAnswer", {"--mode", "close"}, kCallTypeCall, kAlice, -13, "receive: "},
        ExchangeCase{"SilentExchange",
                     {"--mode", "silent"},
                     kCallTypeCall,
                     kAlice,
                     -13,
                     "receive: no complete answer within 3000 ms (time-out)"},
        ExchangeCase{"SlowExchange",
                     {"--mode", "delay:5"},
                     kCallTypeCall,
                     kAlice,
                     -13,
                     "receive: no complete answer within 3000 ms (time-out)"},
        ExchangeCase{"Tls10Only",
                     {"--mode", "tls1.0"},
                     kCallTypeCall,
                     kAlice,
                     -3,
                     "Connect SSL fail TLS handshake: ssl problem! res["},
        ExchangeCase{"Tls11Only",
                     {"--mode", "tls1.1"},
                     kCallTypeCall,
                     kAlice,
                     -3,
                     "Connect SSL fail TLS handshake: ssl problem! res["}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExchangeRequest, OneRequestObjectFollowsTheExchangeFromPressToPress) {
    // Each exchange answers its own code, so a request that went to the
    // previous one (its address kept, or a socket readied for it) shows.
    ExchangeSim first, second, v6;
    std::string error;
    ASSERT_TRUE(first.start({}, error)) << error;
    ASSERT_TRUE(second.start({"--mode", "code:110"}, error)) << error;
    ASSERT_TRUE(v6.start({"--bind", "::1", "--mode", "code:120"}, error)) << error;
    const struct {
        const char* host;
        const ExchangeSim& sim;
        const char* code;
    } presses[] = {{"127.0.0.1", first, "100"}, {"127.0.0.1", first, "100"}, {"127.0.0.1", second, "110"},
                   {"::1", v6, "120"},          {"127.0.0.1", first, "100"}, {"::1", v6, "120"}};
    ExchangeRequest request;
    request.setTimeouts(5s, 5s);
    for (const auto& press : presses) {
        ASSERT_TRUE(succeeded(request.init(press.host, press.sim.port())));
        const ServiceResult result = runRequest(request, kCallTypeCall, kAlice);
        EXPECT_EQ(result.step, 15) << press.host << ": " << result.text;
        EXPECT_EQ(result.text, press.code) << press.host;
    }
}

TEST(ExchangeRequest, SendsEscapedCredentialsTheExchangeAccepts) {
    const std::string dir = ::testing::TempDir();
    const std::string accounts = dir + "/pellandor_accounts.txt";
    const std::string log = dir + "/pellandor_exchange_log.json";
    std::remove(log.c_str());
    const std::string password = "p<w>&\"'d";
    std::ofstream(accounts) << "2002\tbob&co\t" << password << "\n";

    ExchangeSim sim;
    std::string error;
    ASSERT_TRUE(sim.start({"--accounts", accounts, "--log", log}, error)) << error;
    ExchangeRequest request;
    ASSERT_TRUE(succeeded(request.init("127.0.0.1", sim.port())));
    const ServiceResult result = runRequest(request, kCallTypeHangup, {"2002", "bob&co", password, ""});
    EXPECT_EQ(result.step, 15) << result.text;
    EXPECT_EQ(result.text, "100");

    std::stringstream logged;
    logged << std::ifstream(log).rdbuf();
    const std::string line = logged.str();
    EXPECT_NE(line.find("Content-Length: "), std::string::npos) << line;
    EXPECT_NE(line.find("hangup"), std::string::npos) << line;
    EXPECT_NE(line.find("&lt;w&gt;&amp;&quot;&apos;d"), std::string::npos) << line;
}

// The answer bound holds while data keeps coming: each read checks the
// deadline. The clock moves 2 s per look, so the 3 s bound runs out during a
// 12 kB answer that arrives without a pause.
TEST(ExchangeRequest, AnswerBoundHoldsWhileDataKeepsArriving) {
    ExchangeSim sim;
    std::string error;
    ASSERT_TRUE(sim.start({"--mode", "big-body"}, error)) << error;
    ExchangeRequest request;
    request.setTimeouts(20s, 3s);
    auto looks = std::make_shared<std::atomic<int>>(0);
    const auto start = std::chrono::steady_clock::now();
    request.setClock([looks, start] { return start + 2s * looks->fetch_add(1); });
    ASSERT_TRUE(succeeded(request.init("127.0.0.1", sim.port())));
    const ServiceResult result = runRequest(request, kCallTypeCall, kAlice);
    EXPECT_EQ(result.step, -13) << result.text;
    EXPECT_EQ(result.text, "receive: no complete answer within 3000 ms (time-out)");
}

TEST(ExchangeRequest, ConnectionRefused) {
    ExchangeRequest request;
    ASSERT_TRUE(request.init("127.0.0.1", test::unusedPort()));
    const ServiceResult result = runRequest(request, kCallTypeCall, kAlice);
    EXPECT_EQ(result.step, -3);
    EXPECT_EQ(result.text, "Connect SSL fail TLS connect: connect fail error[111]\n");
}

// A peer that completes TCP and then says nothing holds the request no longer
// than its connect bound. (The bound itself is one poll deadline; a loaded
// machine only makes the result later, so the check is generous.)
TEST(ExchangeRequest, HandshakeIsBoundedInTime) {
    MuteListener listener;
    ExchangeRequest request;
    request.setTimeouts(500ms, 10s);
    ASSERT_TRUE(request.init("127.0.0.1", listener.port()));
    const ServiceResult result = runRequest(request, kCallTypeCall, kAlice, 30s);
    EXPECT_EQ(result.step, -3);
    EXPECT_EQ(result.text, "Connect SSL fail TLS handshake: connection time-out!\n");
}

TEST(ExchangeRequest, WithoutInitFailsAtConnect) {
    ExchangeRequest request;
    const ServiceResult result = runRequest(request, kCallTypeCall, kAlice);
    EXPECT_EQ(result.step, -3);
    EXPECT_FALSE(result.text.empty());
}

TEST(ExchangeRequest, UnknownCallTypeFailsAtFirstStep) {
    ExchangeRequest request;
    ASSERT_TRUE(request.init("127.0.0.1", test::unusedPort()));
    const ServiceResult result = runRequest(request, 3, kAlice);
    EXPECT_EQ(result.step, -2);
}

}  // namespace
}  // namespace pellandor
