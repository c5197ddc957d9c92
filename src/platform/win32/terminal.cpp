#include "platform/terminal.h"

#include "platform/win32/wide_text.h"

#include <windows.h>

namespace pellandor {

namespace {

// A line typed on the console, read as UTF-16 so any character arrives whole.
bool readConsoleLine(HANDLE input, std::string& value) {
    std::wstring line;
    wchar_t c = 0;
    DWORD n = 0;
    bool ended = false;
    bool tooLong = false;
    for (;;) {
        if (!ReadConsoleW(input, &c, 1, &n, nullptr) || n == 0) {
            ended = !line.empty();
            break;
        }
        if (c == L'\n') {
            ended = true;
            break;
        }
        if (c == L'\r') continue;
        if (line.size() >= kMaxStdinValue) tooLong = true;
        if (!tooLong) line += c;
    }
    value = tooLong ? std::string() : win32::narrow(line);
    if (value.size() > kMaxStdinValue) value.clear();
    return ended;
}

// Redirected input: bytes as they come (UTF-8 expected), as on POSIX.
bool readByteLine(HANDLE input, std::string& value) {
    bool ended = false;
    char c = 0;
    for (;;) {
        DWORD n = 0;
        const BOOL ok = ReadFile(input, &c, 1, &n, nullptr);
        if (!ok || n == 0 || c == '\n') {
            ended = (ok && n > 0) || !value.empty();
            break;
        }
        if (value.size() == kMaxStdinValue) {
            value.clear();
            break;
        }
        value += c;
    }
    if (!value.empty() && value.back() == '\r') value.pop_back();
    return ended;
}

}  // namespace

bool readValueFromStdin(std::string& value, std::ostream& prompt) {
    value.clear();
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &saved)) {
        return readByteLine(input, value);
    }
    // The echo off while the value is typed, so a password is not shown.
    const bool quiet = SetConsoleMode(input, (saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT) != 0;
    if (quiet) prompt << "Value: " << std::flush;
    const bool ended = readConsoleLine(input, value);
    if (quiet) {
        SetConsoleMode(input, saved);
        prompt << "\n" << std::flush;  // the Enter the user typed was not echoed
    }
    return ended;
}

}  // namespace pellandor
