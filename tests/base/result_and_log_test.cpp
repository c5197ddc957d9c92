#include "base/log.h"
#include "base/result.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace pellandor {
namespace {

Result<int> parsePort(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return failure("port: not a number: \"" + text + "\"");
    return std::stoi(text);
}

TEST(Result, CarriesTheValueOrTheReason) {
    const Result<int> good = parsePort("5000");
    ASSERT_TRUE(good);
    EXPECT_EQ(*good, 5000);
    EXPECT_TRUE(good.status().ok());
    EXPECT_TRUE(good.error().empty());

    const Result<int> bad = parsePort("http");
    EXPECT_FALSE(bad);
    EXPECT_EQ(bad.error(), "port: not a number: \"http\"");
    // Handed on as a Status, the reason goes with it.
    const Status passed = bad.status();
    EXPECT_FALSE(passed);
    EXPECT_EQ(passed.error(), bad.error());

    EXPECT_TRUE(Status());
    EXPECT_FALSE(Status(failure("")));  // a failure without a text is still a failure
}

struct Lines final : LogSink {
    std::vector<std::string> seen;
    void write(LogLevel, std::string_view category, std::string_view message) override {
        seen.push_back(std::string(category) + ": " + std::string(message));
    }
};

TEST(Log, GoesToTheInstalledSinkOnlyWhileItIsInstalled) {
    log(LogLevel::Warning, kLogCall, "before");  // no sink: dropped
    auto outer = std::make_shared<Lines>();
    {
        const ScopedLogSink installOuter(outer);
        log(LogLevel::Info, kLogCall, "one");
        auto inner = std::make_shared<Lines>();
        {
            const ScopedLogSink installInner(inner);
            log(LogLevel::Debug, kLogRequest, "two");
        }
        log(LogLevel::Info, kLogConfig, "three");
        EXPECT_EQ(inner->seen, std::vector<std::string>{"request: two"});
    }
    log(LogLevel::Warning, kLogCall, "after");
    EXPECT_EQ(outer->seen, (std::vector<std::string>{"call: one", "config: three"}));
}

}  // namespace
}  // namespace pellandor
