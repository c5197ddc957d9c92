#pragma once
// The pop-up hotkey as the settings name it, and its X11 equivalent.

#include <cstdint>
#include <string>
#include <string_view>

namespace pellandor {

// Modifier flags, numbered as the settings file's users know them.
inline constexpr std::uint32_t kModAlt = 1;
inline constexpr std::uint32_t kModControl = 2;
inline constexpr std::uint32_t kModShift = 4;
inline constexpr std::uint32_t kModWin = 8;

// "CTRL", "ALT", "SHIFT", "WIN" (exact case); anything else is 0.
std::uint32_t hotkeyModifierFlags(std::string_view name);

// "A".."Z" -> 65..90, "0".."9" -> 48..57, "f1".."f12" (lower-case f) ->
// 112..123; anything else is 0.
std::uint32_t hotkeyVirtualKey(std::string_view name);

// The X11 keysym of a virtual key from hotkeyVirtualKey; 0 for none.
std::uint32_t keysymForVirtualKey(std::uint32_t virtualKey);

// Core X11 modifier mask (Shift 1, control 4, Mod1 8, Mod4 64) of the flags.
std::uint16_t x11ModifierMask(std::uint32_t flags);

// The combination in the desktop portal's shortcut notation ("ALT+q",
// "LOGO+F1"); empty when the names are unknown.
std::string portalTrigger(std::string_view modifier, std::string_view key);

// "Alt+Q", for messages; the names as stored when they are unknown.
std::string hotkeyDisplayName(std::string_view modifier, std::string_view key);

// What the user is told, once, when the desktop gives no hotkey: why, and
// what to do instead.
std::string hotkeyUnavailableText(std::string_view modifier, std::string_view key, std::string_view why);

}  // namespace pellandor
