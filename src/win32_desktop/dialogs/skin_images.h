#pragma once
// The call dialog's pictures for Windows: the build-time skin compiled in as
// premultiplied 32-bit pixels at scale 1 and 2, turned into DIB sections of
// the size a monitor's scale asks for.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace pellandor {

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;  // premultiplied, rows top down
};

// Reads an image as the build compiles it in: width and height (32-bit
// little-endian), then run-length coded pixels (a count with the top bit set:
// one pixel that many times; without it: that many pixels). False, leaving
// `out` empty, unless the runs fill the image exactly.
bool decodeSkinPixels(const unsigned char* data, std::size_t size, Pixels& out);

// Resamples `source` to `width` x `height` by averaging. With `keyed`, a
// pixel is either fully the key colour or has none of it blended in, so the
// window's see-through shape stays crisp at any scale.
Pixels resampled(const Pixels& source, int width, int height, bool keyed);

class SkinImages {
public:
    SkinImages() = default;
    ~SkinImages();
    SkinImages(const SkinImages&) = delete;
    SkinImages& operator=(const SkinImages&) = delete;

    // Builds every image for `scale` (1.0 at 96 dpi) from the module's resources.
    void build(HINSTANCE instance, double scale);

    // The DIB section for a skin image id; null when it could not be loaded.
    HBITMAP bitmap(int id) const;
    SIZE size(int id) const;

private:
    void clear();

    struct Image {
        HBITMAP bitmap = nullptr;
        SIZE size{};
    };
    std::map<int, Image> images_;
};

// Draws `bitmap` (premultiplied alpha) over `dc` at `target`.
void drawSkinImage(HDC dc, HBITMAP bitmap, SIZE size, const RECT& target);

}  // namespace pellandor
