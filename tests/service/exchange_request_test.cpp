#include "service/exchange_request.h"

#include <gtest/gtest.h>

#include "request_runner.h"
#include "service/answer_parser.h"

#include <chrono>
#include <memory>
#include <thread>

namespace pellandor {
namespace {

using test::succeeded;

const CallUserInfo kUser{"2001", "alice", "secret", "0123456789"};

TEST(RequestXml, CallDocumentBytes) {
    std::string xml = "stale";
    ASSERT_TRUE(ExchangeRequest::makeRequestXml(kCallTypeCall, &kUser, xml));
    EXPECT_EQ(xml,
              "<?xml version=\"1.0\" encoding=\"utf-8\"?><!DOCTYPE ulvex_svc SYSTEM \"UlvexService.dtd\"><ulvex_svc>"
              "<request type=\"service\" encrypt=\"off\" servicename=\"clicktocall\"><clicktocall><userinfo>"
              "<stnnum>2001</stnnum><userid>alice</userid><userpwd encrypt=\"off\">secret</userpwd></userinfo>"
              "<srcinfo><dialnum>2001</dialnum></srcinfo><destinfo calltype=\"single\"><dialnum>0123456789</dialnum>"
              "</destinfo></clicktocall></request></ulvex_svc>");
}

TEST(RequestXml, HangupCarriesTypeAndEmptyDestination) {
    std::string xml;
    ASSERT_TRUE(ExchangeRequest::makeRequestXml(kCallTypeHangup, &kUser, xml));
    EXPECT_NE(xml.find("<destinfo calltype=\"hangup\"><dialnum>0123456789</dialnum>"), std::string::npos);
    const CallUserInfo hangup{"2001", "alice", "secret", ""};
    ASSERT_TRUE(ExchangeRequest::makeRequestXml(kCallTypeHangup, &hangup, xml));
    EXPECT_NE(xml.find("<destinfo calltype=\"hangup\"><dialnum></dialnum></destinfo>"), std::string::npos);
}

TEST(RequestXml, MarkupInValuesIsEscaped) {
    const CallUserInfo user{"20<1", "a&b", "p<w>&\"'", "12'3"};
    std::string xml;
    ASSERT_TRUE(ExchangeRequest::makeRequestXml(kCallTypeCall, &user, xml));
    for (const char* part : {"<stnnum>20&lt;1</stnnum>", "<userid>a&amp;b</userid>",
                             "<userpwd encrypt=\"off\">p&lt;w&gt;&amp;&quot;&apos;</userpwd>",
                             "<srcinfo><dialnum>20&lt;1</dialnum>", "<dialnum>12&apos;3</dialnum>"}) {
        EXPECT_NE(xml.find(part), std::string::npos) << part;
    }
    AnswerParser parser;
    EXPECT_TRUE(parser.parse(xml)) << parser.getErrorText();
}

TEST(RequestXml, RefusesUnknownCallTypeOrMissingUser) {
    std::string xml = "stale";
    EXPECT_FALSE(ExchangeRequest::makeRequestXml(3, &kUser, xml));
    EXPECT_FALSE(ExchangeRequest::makeRequestXml(0, &kUser, xml));
    EXPECT_FALSE(ExchangeRequest::makeRequestXml(kCallTypeCall, nullptr, xml));
    EXPECT_TRUE(xml.empty());
}

TEST(ProcessRespXml, ReadsCodeOrExplainsFailure) {
    struct Case {
        const char* body;
        int callType;
        bool userInfo;
        bool ok;
        const char* codeText;
        int codeNumber;
        const char* error;
    } cases[] = {
        {"<ulvex_svc><response><code>100</code><message>OK</message></response></ulvex_svc>", 1, true, true, "100", 100,
         ""},
        {"<r><code>110 busy</code></r>", 2, true, true, "110 busy", 110, ""},
        {"<r><code>abc</code></r>", 1, true, true, "abc", 0, ""},
        {"<r><code/></r>", 1, true, true, "", 0, ""},
        {"<r><Code>100</Code></r>", 1, true, false, "", -1, "CODE_EMPTY"},
        {"", 1, true, false, "", -1, "Error at Parsing the XML! no element found at line 1"},
        {"<r><code>100</code>", 1, true, false, "", -1, "Error at Parsing the XML! no element found at line 1"},
        {"<r><code>100</code></r>", 1, false, false, "", -1, "Invalid Type Data at answer check"},
        // an unknown call type fails without a text of its own
        {"<r><code>100</code></r>", 7, true, false, "", -1, ""},
    };
    for (const Case& c : cases) {
        std::string codeText, error;
        int codeNumber = -1;
        EXPECT_EQ(ExchangeRequest::parseAnswerCode(c.body, codeText, c.callType, c.userInfo ? &kUser : nullptr,
                                                   codeNumber, error),
                  c.ok)
            << c.body;
        EXPECT_EQ(codeText, c.codeText) << c.body;
        EXPECT_EQ(codeNumber, c.codeNumber) << c.body;
        EXPECT_EQ(error, c.error) << c.body;
    }
}

TEST(RequestInit, ResolvesLiteralsAndReportsResolverErrors) {
    ExchangeRequest request;
    ASSERT_TRUE(succeeded(request.init("127.0.0.1", "8443")));
    EXPECT_FALSE(request.isIpv6());
    ASSERT_TRUE(succeeded(request.init("::1", "8443")));
    EXPECT_TRUE(request.isIpv6());

    const Status unresolved = request.init("127.0.0.1", "no-such-service-name");
    EXPECT_FALSE(unresolved);
    EXPECT_EQ(unresolved.error().rfind("getaddrinfo: ", 0), 0u) << unresolved.error();
    EXPECT_EQ(unresolved.error().back(), '\n');
    EXPECT_EQ(unresolved.error().find('\n'), unresolved.error().size() - 1);
    // the address resolved before stays
    EXPECT_TRUE(request.isIpv6());

    EXPECT_FALSE(request.init("", "8443"));
    EXPECT_FALSE(request.init("127.0.0.1", ""));
}

// A name goes to the resolver on the worker, never on the caller's thread; a
// failure there is the request's result with init's error text.
TEST(RequestInit, NamesAreResolvedOnTheWorker) {
    ExchangeRequest request;
    ASSERT_TRUE(succeeded(request.init("localhost", "no-such-service-name")));
    const ServiceResult result = test::runRequest(request, kCallTypeCall, kUser);
    EXPECT_EQ(result.step, -kStepConnect);
    EXPECT_EQ(result.text.rfind("getaddrinfo: ", 0), 0u) << result.text;
    EXPECT_EQ(result.text.find('\n'), result.text.size() - 1) << result.text;
}

// Readied ahead (worker waiting, TLS context made), a request is idle until
// started, then runs as one that was not readied; one readied and never used
// is destroyed without hanging on its waiting worker.
TEST(RequestPrepare, ReadiesWithoutStartingAndRequestsStillRun) {
    {
        ExchangeRequest unused;
        ASSERT_TRUE(succeeded(unused.prepare()));
        EXPECT_FALSE(unused.isRunning());
    }
    ExchangeRequest request;
    ASSERT_TRUE(succeeded(request.prepare()));
    ASSERT_TRUE(succeeded(request.prepare()));  // again: nothing more to make
    EXPECT_FALSE(request.isRunning());
    ASSERT_TRUE(succeeded(request.init("127.0.0.1", "9")));
    // An unknown call type fails on the worker, without any connection.
    EXPECT_EQ(test::runRequest(request, 3, kUser).step, -kStepMakeRequestXml);
    ASSERT_TRUE(succeeded(request.prepare()));
    EXPECT_EQ(test::runRequest(request, 3, kUser).step, -kStepMakeRequestXml);
}

// The callback runs without any lock of the request held: it may set another
// callback, start nothing while it runs, or destroy the request; the request
// counts as running until the callback has returned.
TEST(RequestCallback, MayReenterTheRequest) {
    struct Probe {
        std::unique_ptr<ExchangeRequest> request = std::make_unique<ExchangeRequest>();
        const char* action = "";
        bool runningInside = false;
        bool startInside = true;
        test::Outcome outcome;
    };
    for (const char* action : {"set callback", "destroy"}) {
        auto probe = std::make_unique<Probe>();
        probe->action = action;
        ASSERT_TRUE(probe->request->init("127.0.0.1", "9"));
        probe->request->setResultCallback([p = probe.get()](const ServiceResult& result) {
            p->runningInside = p->request->isRunning();
            p->startInside = p->request->start(kCallTypeCall, kUser).ok();
            if (std::string(p->action) == "set callback") p->request->setResultCallback(nullptr);
            if (std::string(p->action) == "destroy") p->request.reset();
            p->outcome.record(result);
        });
        // An unknown call type fails at once, without any connection.
        ASSERT_TRUE(probe->request->start(3, kUser));
        if (!probe->outcome.waitForCalls(1, std::chrono::seconds(20))) {
            ADD_FAILURE() << action << ": the callback never returned (deadlock)";
            probe->request.release();  // its worker is stuck; leave it
            probe.release();
            continue;
        }
        EXPECT_TRUE(probe->runningInside) << action;
        EXPECT_FALSE(probe->startInside) << action;
        EXPECT_EQ(probe->outcome.result.step, -kStepMakeRequestXml) << action;
        if (probe->request) {
            // Idle only once delivered, and then usable again.
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (probe->request->isRunning() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
            EXPECT_FALSE(probe->request->isRunning()) << action;
            EXPECT_TRUE(probe->request->start(3, kUser)) << action;
        }
    }
}

}  // namespace
}  // namespace pellandor
