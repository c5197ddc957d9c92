#pragma once
// The numbers every part of the desktop program routes by.

namespace pellandor::cmd {

// Tray menu commands.
inline constexpr int kSettings = 32776;
inline constexpr int kCallDialog = 32777;
inline constexpr int kExit = 32780;
inline constexpr int kVersion = 32782;  // grayed, no handler

// Messages to the controller.
inline constexpr int kTrayNotify = 32778;        // argument: the tray activation reason
inline constexpr int kActivateInstance = 32779;  // a second start asks for the call dialog

// Clipboard settle time: one check after a burst of changes.
inline constexpr int kClipboardSettleMs = 100;

// Saving the recent numbers and the dialog's place after a change.
inline constexpr int kSaveDebounceMs = 500;

}  // namespace pellandor::cmd
