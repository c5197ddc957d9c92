#include "win32_desktop/hand_over.h"

namespace pellandor {

namespace {

// Valid UTF-8 without C0/C1 controls or DEL: the line goes into a log and a
// number box, and a line break would forge a second line.
bool isCleanUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned codePoint = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            codePoint = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            codePoint = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            codePoint = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        const unsigned smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < smallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        if (codePoint >= 0x80 && codePoint < 0xA0) return false;
        i += length;
    }
    return true;
}

}  // namespace

std::optional<std::string> handOverLine(ULONG_PTR tag, const void* data, std::size_t size) {
    if (tag != kHandOverTag || size == 0 || size > kMaxHandOverLine || data == nullptr) return std::nullopt;
    std::string line(static_cast<const char*>(data), size);
    if (!isCleanUtf8(line)) return std::nullopt;
    return line;
}

HandOver handOverToRunningInstance(std::string_view line, unsigned timeoutMs) {
    const HWND running = FindWindowW(kMainWindowClass, nullptr);
    if (running == nullptr) return HandOver::NoInstance;
    // Windows lets only the foreground process give the foreground away; the
    // running program needs it to bring its dialog up in front.
    DWORD process = 0;
    GetWindowThreadProcessId(running, &process);
    if (process != 0) AllowSetForegroundWindow(process);
    COPYDATASTRUCT copy{};
    copy.dwData = kHandOverTag;
    copy.cbData = static_cast<DWORD>(line.size());
    copy.lpData = const_cast<char*>(line.data());
    DWORD_PTR answer = 0;
    const LRESULT sent = SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy),
                                             SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &answer);
    return sent != 0 && answer == TRUE ? HandOver::Delivered : HandOver::NoAnswer;
}

}  // namespace pellandor
