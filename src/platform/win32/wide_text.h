#pragma once
// UTF-8 (the core's text) to and from UTF-16 (the W functions), and
// Windows' own text for an error code.

#include <windows.h>

#include <string>
#include <string_view>

namespace pellandor::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// FormatMessageW's text for `code`, on one line, in UTF-8.
std::string errorText(DWORD code);

// "<what> "<path>": <Windows' text for code>", like the POSIX backend's texts.
std::string errorText(const char* what, const std::string& path, DWORD code);

}  // namespace pellandor::win32
