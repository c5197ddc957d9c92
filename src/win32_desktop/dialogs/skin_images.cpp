#include "win32_desktop/dialogs/skin_images.h"

#include "win32_desktop/dialogs/dialog_resources.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace pellandor {

namespace {

constexpr std::uint32_t kKeyPixel = 0xffff00ffu;
constexpr int kSamples = 4;  // per axis and target pixel

// Every image of the skin; the backgrounds carry the see-through key.
constexpr int kSkinIds[] = {173, 197, 167, 169, 168, 170, 172, 171, 190, 192, 191, 198, 200, 199,
                            174, 175, 176, 181, 182, 183, 154, 156, 155, 178, 180, 179, 152, 153};

bool isKeyed(int id) {
    return id == 173 || id == 197;
}

constexpr std::uint32_t kRepeatBit = 0x80000000u;

bool loadPixels(HINSTANCE instance, int id, Pixels& out) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (found == nullptr) return false;
    HGLOBAL loaded = LoadResource(instance, found);
    const auto* data = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
    return data != nullptr && decodeSkinPixels(data, SizeofResource(instance, found), out);
}

HBITMAP makeDib(const Pixels& pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = pixels.width;
    info.bmiHeader.biHeight = -pixels.height;  // top down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) std::memcpy(bits, pixels.argb.data(), pixels.argb.size() * 4);
    return bitmap;
}

}  // namespace

bool decodeSkinPixels(const unsigned char* data, std::size_t size, Pixels& out) {
    out = Pixels{};
    std::size_t at = 0;
    const auto word = [data, size, &at](std::uint32_t& value) {
        if (size - at < 4) return false;
        value = std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8 | std::uint32_t(data[at + 2]) << 16 |
                std::uint32_t(data[at + 3]) << 24;
        at += 4;
        return true;
    };
    std::uint32_t width = 0, height = 0;
    if (!word(width) || !word(height) || width == 0 || height == 0 || width > 4096 || height > 4096) return false;
    std::vector<std::uint32_t> argb;
    argb.reserve(std::size_t(width) * height);
    const std::size_t total = std::size_t(width) * height;
    while (argb.size() < total) {
        std::uint32_t count = 0;
        if (!word(count)) return false;
        const bool repeat = (count & kRepeatBit) != 0;
        count &= ~kRepeatBit;
        if (count == 0 || count > total - argb.size()) return false;
        std::uint32_t pixel = 0;
        if (repeat) {
            if (!word(pixel)) return false;
            argb.insert(argb.end(), count, pixel);
            continue;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            if (!word(pixel)) return false;
            argb.push_back(pixel);
        }
    }
    if (at != size) return false;
    out.width = int(width);
    out.height = int(height);
    out.argb = std::move(argb);
    return true;
}

Pixels resampled(const Pixels& source, int width, int height, bool keyed) {
    if (width == source.width && height == source.height) return source;
    Pixels out;
    out.width = width;
    out.height = height;
    out.argb.resize(std::size_t(width) * height);
    const double sx = double(source.width) / width, sy = double(source.height) / height;
    const auto at = [&](double x, double y) {
        const int ix = std::min(source.width - 1, std::max(0, int(x)));
        const int iy = std::min(source.height - 1, std::max(0, int(y)));
        return source.argb[std::size_t(iy) * source.width + ix];
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t centre = at((x + 0.5) * sx, (y + 0.5) * sy);
            if (keyed && centre == kKeyPixel) {
                out.argb[std::size_t(y) * width + x] = kKeyPixel;
                continue;
            }
            unsigned sum[4] = {0, 0, 0, 0};
            unsigned count = 0;
            for (int j = 0; j < kSamples; ++j) {
                for (int i = 0; i < kSamples; ++i) {
                    const std::uint32_t p = at((x + (i + 0.5) / kSamples) * sx, (y + (j + 0.5) / kSamples) * sy);
                    if (keyed && p == kKeyPixel) continue;
                    for (int c = 0; c < 4; ++c) sum[c] += (p >> (8 * c)) & 0xff;
                    ++count;
                }
            }
            std::uint32_t v = 0;
            for (int c = 0; c < 4; ++c) v |= std::uint32_t((sum[c] + count / 2) / count) << (8 * c);
            // Never the key by accident.
            if (keyed && v == kKeyPixel) v = 0xfffe00fe;
            out.argb[std::size_t(y) * width + x] = v;
        }
    }
    return out;
}

SkinImages::~SkinImages() {
    clear();
}

void SkinImages::clear() {
    for (auto& [id, image] : images_) {
        if (image.bitmap != nullptr) DeleteObject(image.bitmap);
    }
    images_.clear();
}

void SkinImages::build(HINSTANCE instance, double scale) {
    clear();
    for (const int id : kSkinIds) {
        Pixels one, two;
        if (!loadPixels(instance, id, one)) continue;
        const bool haveTwo = scale > 1.0 && loadPixels(instance, id + IDR_SKIN_SCALE2_OFFSET, two);
        const int width = std::max(1, int(std::lround(one.width * scale)));
        const int height = std::max(1, int(std::lround(one.height * scale)));
        const Pixels& source = haveTwo ? two : one;
        Image image;
        image.bitmap = makeDib(resampled(source, width, height, isKeyed(id)));
        image.size = {width, height};
        images_[id] = image;
    }
}

HBITMAP SkinImages::bitmap(int id) const {
    const auto found = images_.find(id);
    return found == images_.end() ? nullptr : found->second.bitmap;
}

SIZE SkinImages::size(int id) const {
    const auto found = images_.find(id);
    return found == images_.end() ? SIZE{} : found->second.size;
}

void drawSkinImage(HDC dc, HBITMAP bitmap, SIZE size, const RECT& target) {
    if (bitmap == nullptr) return;
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, bitmap);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, source, 0, 0,
               size.cx, size.cy, blend);
    SelectObject(source, old);
    DeleteDC(source);
}

}  // namespace pellandor
