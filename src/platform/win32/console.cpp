#include "platform/console.h"

#include "platform/win32/wide_text.h"

#include <windows.h>
#include <shellapi.h>

#include <iostream>
#include <streambuf>

namespace pellandor {

namespace {

// std::cout/std::cerr on a console: UTF-8 is collected to whole characters
// and shown through WriteConsoleW, whatever the console's code page.
class ConsoleBuffer final : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}
    ~ConsoleBuffer() override { sync(); }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return sync() == 0 ? 0 : traits_type::eof();
        pending_ += traits_type::to_char_type(c);
        if (pending_.size() >= 4096 || c == '\n') flushWhole();
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        pending_.append(s, static_cast<std::size_t>(n));
        flushWhole();
        return n;
    }
    int sync() override {
        flushWhole();
        return 0;
    }

private:
    // Writes everything up to the last whole UTF-8 character.
    void flushWhole() {
        std::size_t end = pending_.size();
        std::size_t back = 0;
        while (back < end && back < 4 && (static_cast<unsigned char>(pending_[end - 1 - back]) & 0xC0) == 0x80) ++back;
        if (back < end) {
            const unsigned char lead = static_cast<unsigned char>(pending_[end - 1 - back]);
            const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (need > back + 1) end -= back + 1;
        }
        if (end == 0) return;
        const std::wstring wide = win32::widen(std::string_view(pending_).substr(0, end));
        DWORD written = 0;
        WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        pending_.erase(0, end);
    }

    HANDLE console_;
    std::string pending_;
};

void attach(std::ostream& stream, DWORD which) {
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return;
    static ConsoleBuffer* buffers[2] = {};
    ConsoleBuffer*& slot = buffers[which == STD_OUTPUT_HANDLE ? 0 : 1];
    if (slot != nullptr) return;
    // Lives as long as the process: the streams may be used until exit.
    slot = new ConsoleBuffer(handle);  // NOLINT: intentionally never freed
    stream.rdbuf(slot);
}

}  // namespace

// The UTF-16 command line, not the ANSI argv, so any character arrives.
std::vector<std::string> commandLineArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(win32::narrow(wide[i]));
    LocalFree(wide);
    return args;
}

void prepareConsoleOutput() {
    // Redirected output gets the UTF-8 bytes; a program reading them expects
    // that more often than the ANSI code page.
    SetConsoleOutputCP(CP_UTF8);
    attach(std::cout, STD_OUTPUT_HANDLE);
    attach(std::cerr, STD_ERROR_HANDLE);
}

}  // namespace pellandor
