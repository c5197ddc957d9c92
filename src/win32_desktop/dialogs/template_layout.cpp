#include "win32_desktop/dialogs/template_layout.h"

#include "win32_desktop/dialogs/dpi.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace pellandor {

namespace {

// Reads DLGTEMPLATEEX's little-endian fields, never past its end.
class TemplateReader {
public:
    TemplateReader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    std::size_t offset() const { return at_; }

    std::uint16_t word() {
        if (at_ + 2 > size_) return fail<std::uint16_t>();
        std::uint16_t v;
        std::memcpy(&v, data_ + at_, 2);
        at_ += 2;
        return v;
    }
    std::uint32_t dword() {
        if (at_ + 4 > size_) return fail<std::uint32_t>();
        std::uint32_t v;
        std::memcpy(&v, data_ + at_, 4);
        at_ += 4;
        return v;
    }
    std::int16_t coordinate() { return static_cast<std::int16_t>(word()); }
    // A string, or 0xFFFF and an ordinal, or nothing (0).
    void skipNameOrOrdinal() {
        const std::uint16_t first = word();
        if (first == 0xffff) {
            word();
        } else if (first != 0) {
            while (ok_ && word() != 0) {
            }
        }
    }
    void skipString() {
        while (ok_ && word() != 0) {
        }
    }
    void skip(std::size_t n) {
        if (at_ + n > size_) return fail<void>();
        at_ += n;
    }
    void alignDword() { at_ = (at_ + 3) & ~std::size_t(3); }

private:
    template <typename T>
    T fail() {
        ok_ = false;
        at_ = size_;
        if constexpr (!std::is_void_v<T>) return T{};
    }

    const unsigned char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

}  // namespace

TemplateLayout readTemplateLayout(HINSTANCE instance, int id) {
    TemplateLayout layout;
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
    HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
    const auto* data = static_cast<const unsigned char*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (data == nullptr) return layout;
    TemplateReader in(data, SizeofResource(instance, found));
    const std::uint16_t version = in.word();
    const std::uint16_t signature = in.word();
    if (version != 1 || signature != 0xffff) return layout;
    in.dword();  // help id
    in.dword();  // extended style
    const std::uint32_t style = in.dword();
    const std::uint16_t count = in.word();
    in.coordinate();
    in.coordinate();
    const int width = in.coordinate();
    const int height = in.coordinate();
    in.skipNameOrOrdinal();  // menu
    in.skipNameOrOrdinal();  // class
    in.skipString();         // title
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        in.word();   // point size
        in.word();   // weight
        in.skip(2);  // italic, character set
        in.skipString();
    }
    TemplateLayout result;
    result.client = {width, height};
    for (std::uint16_t i = 0; i < count && in.ok(); ++i) {
        in.alignDword();
        in.dword();  // help id
        in.dword();  // extended style
        in.dword();  // style
        TemplateItem item;
        const int x = in.coordinate(), y = in.coordinate(), cx = in.coordinate(), cy = in.coordinate();
        item.id = static_cast<int>(static_cast<std::int32_t>(in.dword()));
        item.rect = {x, y, x + cx, y + cy};
        in.skipNameOrOrdinal();  // class
        in.skipNameOrOrdinal();  // title
        const std::uint16_t extra = in.word();
        in.skip(extra);
        result.items.push_back(item);
    }
    if (!in.ok()) return layout;
    return result;
}

void applyTemplateLayout(HWND dialog, const TemplateLayout& layout, UINT dpi) {
    if (layout.client.cx > 0) {
        RECT frame{0, 0, scaled(layout.client.cx, dpi), scaled(layout.client.cy, dpi)};
        const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE));
        const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE));
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
        SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (const TemplateItem& item : layout.items) {
        HWND control = GetDlgItem(dialog, item.id);
        if (control == nullptr) continue;
        const int left = scaled(item.rect.left, dpi), top = scaled(item.rect.top, dpi);
        MoveWindow(control, left, top, scaled(item.rect.right, dpi) - left, scaled(item.rect.bottom, dpi) - top, FALSE);
    }
    InvalidateRect(dialog, nullptr, TRUE);
}

}  // namespace pellandor
