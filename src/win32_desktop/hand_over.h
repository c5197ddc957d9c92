#pragma once
// A second start hands its request to the running program by the running
// program's main window: the line it would say on Linux ("show", "popup",
// "dial <number>") in a WM_COPYDATA message.

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pellandor {

// The main window's class (the single-instance key) and title.
inline constexpr const wchar_t* kMainWindowClass = L"Ulvex Pellandor";

// Marks our WM_COPYDATA among whatever else a window may be sent.
inline constexpr ULONG_PTR kHandOverTag = 0x504C4E31;  // "PLN1"
// Longer lines are refused by the receiver.
inline constexpr std::size_t kMaxHandOverLine = 4096;

// The line carried by a WM_COPYDATA, when it is ours and sound: our tag, at
// most kMaxHandOverLine bytes of valid UTF-8 with no control characters.
std::optional<std::string> handOverLine(ULONG_PTR tag, const void* data, std::size_t size);

enum class HandOver {
    Delivered,   // the running program took the line
    NoInstance,  // no program runs for this user
    NoAnswer,    // its window is there but did not take the line in time
};

// Sends `line` to the running program's window, waiting up to `timeoutMs`.
// The running program may then bring its window to the front.
HandOver handOverToRunningInstance(std::string_view line, unsigned timeoutMs);

}  // namespace pellandor
