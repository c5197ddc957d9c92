#include "win32_desktop/dialogs/skin_images.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pellandor {
namespace {

constexpr std::uint32_t kRun = 0x80000000u;
constexpr std::uint32_t kKey = 0xffff00ffu;

std::vector<unsigned char> bytes(const std::vector<std::uint32_t>& words) {
    std::vector<unsigned char> out;
    for (const std::uint32_t w : words) {
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(w >> shift));
    }
    return out;
}

TEST(SkinPixels, RunsAndLiteralsFillTheImageRowByRow) {
    const std::vector<unsigned char> data = bytes({3, 2, kRun | 4, kKey, 2, 0x11223344u, 0x55667788u});
    Pixels pixels;
    ASSERT_TRUE(decodeSkinPixels(data.data(), data.size(), pixels));
    EXPECT_EQ(pixels.width, 3);
    EXPECT_EQ(pixels.height, 2);
    EXPECT_EQ(pixels.argb, (std::vector<std::uint32_t>{kKey, kKey, kKey, kKey, 0x11223344u, 0x55667788u}));
}

TEST(SkinPixels, RefusesDataThatDoesNotFillTheImageExactly) {
    const struct {
        std::string what;
        std::vector<unsigned char> data;
    } cases[] = {
        {"runs short of the image", bytes({2, 2, kRun | 3, kKey})},
        {"a run past the image", bytes({2, 2, kRun | 5, kKey})},
        {"literals past the image", bytes({1, 1, 2, kKey, kKey})},
        {"bytes after the image", bytes({1, 1, kRun | 1, kKey, 0})},
        {"an empty count", bytes({1, 1, 0, kRun | 1, kKey})},
        {"a pixel cut short", {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0xff, 0xff}},
        {"no pixels at all", bytes({1, 1})},
        {"no width", bytes({0, 1, kRun | 1, kKey})},
        {"too wide", bytes({4097, 1, kRun | 4097, kKey})},
        {"no header", {1, 0, 0}},
    };
    for (const auto& c : cases) {
        Pixels pixels;
        EXPECT_FALSE(decodeSkinPixels(c.data.data(), c.data.size(), pixels)) << c.what;
        EXPECT_TRUE(pixels.argb.empty()) << c.what;
    }
}

}  // namespace
}  // namespace pellandor
