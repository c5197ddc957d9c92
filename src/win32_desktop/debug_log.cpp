#include "win32_desktop/debug_log.h"

#include "platform/win32/wide_text.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace pellandor {

namespace {

HANDLE openLog() {
    const wchar_t* path = _wgetenv(L"PELLANDOR_DEBUG_LOG");
    if (path == nullptr || *path == L'\0') return INVALID_HANDLE_VALUE;
    // Appends from any thread and from a second start alike.
    return CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void debugLog(std::string_view line) {
    static const HANDLE file = openLog();
    std::string text(line);
    text += "\r\n";
    OutputDebugStringW(win32::widen(text).c_str());
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace pellandor
