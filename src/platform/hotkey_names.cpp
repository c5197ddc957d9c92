#include "platform/hotkey_names.h"

namespace pellandor {

std::uint32_t hotkeyModifierFlags(std::string_view name) {
    if (name == "CTRL") return kModControl;
    if (name == "ALT") return kModAlt;
    if (name == "SHIFT") return kModShift;
    if (name == "WIN") return kModWin;
    return 0;
}

std::uint32_t hotkeyVirtualKey(std::string_view name) {
    if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z') return static_cast<std::uint32_t>(name[0]);
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') return static_cast<std::uint32_t>(name[0]);
    if ((name.size() == 2 || name.size() == 3) && name[0] == 'f') {
        int n = 0;
        for (char c : name.substr(1)) {
            if (c < '0' || c > '9') return 0;
            n = n * 10 + (c - '0');
        }
        // "f01" is not a key name.
        if (name[1] != '0' && n >= 1 && n <= 12) return 111 + static_cast<std::uint32_t>(n);
    }
    return 0;
}

std::uint32_t keysymForVirtualKey(std::uint32_t vk) {
    // Letters grab by their lower-case keysym: that is what the keyboard
    // mapping lists first for the key.
    if (vk >= 'A' && vk <= 'Z') return vk - 'A' + 'a';
    if (vk >= '0' && vk <= '9') return vk;
    if (vk >= 112 && vk <= 123) return 0xFFBE + (vk - 112);  // XK_F1..
    return 0;
}

std::uint16_t x11ModifierMask(std::uint32_t flags) {
    std::uint16_t mask = 0;
    if (flags & kModShift) mask |= 1;    // ShiftMask
    if (flags & kModControl) mask |= 4;  // ControlMask
    if (flags & kModAlt) mask |= 8;      // Mod1Mask
    if (flags & kModWin) mask |= 64;     // Mod4Mask
    return mask;
}

std::string hotkeyDisplayName(std::string_view modifier, std::string_view key) {
    std::string mod;
    switch (hotkeyModifierFlags(modifier)) {
        case kModControl:
            mod = "Ctrl";
            break;
        case kModAlt:
            mod = "Alt";
            break;
        case kModShift:
            mod = "Shift";
            break;
        case kModWin:
            mod = "Super";
            break;
        default:
            mod = modifier.empty() ? "(none)" : std::string(modifier);
            break;
    }
    std::string k(key);
    if (k.size() >= 2 && k[0] == 'f') k[0] = 'F';
    if (k.empty()) k = "(none)";
    return mod + "+" + k;
}

std::string portalTrigger(std::string_view modifier, std::string_view key) {
    std::string mod;
    switch (hotkeyModifierFlags(modifier)) {
        case kModControl:
            mod = "CTRL";
            break;
        case kModAlt:
            mod = "ALT";
            break;
        case kModShift:
            mod = "SHIFT";
            break;
        case kModWin:
            mod = "LOGO";
            break;
        default:
            return {};
    }
    const std::uint32_t vk = hotkeyVirtualKey(key);
    if (vk == 0) return {};
    std::string k;
    if (vk >= 'A' && vk <= 'Z')
        k = static_cast<char>(vk - 'A' + 'a');  // the key's own symbol, as with Shift up
    else if (vk >= '0' && vk <= '9')
        k = static_cast<char>(vk);
    else
        k = 'F' + std::to_string(vk - 111);  // not "F" + ...: GCC 12 warns falsely (-Wrestrict) at -O2
    std::string trigger = mod;
    trigger += '+';
    trigger += k;
    return trigger;
}

std::string hotkeyUnavailableText(std::string_view modifier, std::string_view key, std::string_view why) {
    return "the hotkey " + hotkeyDisplayName(modifier, key) + " cannot be had: " + std::string(why) +
           ". A copied number pops the call dialog up by itself; to use a key instead, bind it to \"pellandor "
           "popup\" in the desktop's keyboard settings.";
}

}  // namespace pellandor
