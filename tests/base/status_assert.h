#pragma once
// ASSERT_TRUE(succeeded(...)): a failed Status shows its error text.

#include "base/result.h"

#include <gtest/gtest.h>

namespace pellandor::test {

inline ::testing::AssertionResult succeeded(const Status& status) {
    if (status) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << status.error();
}

}  // namespace pellandor::test
