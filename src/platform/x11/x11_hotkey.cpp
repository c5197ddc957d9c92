#include "platform/hotkey_names.h"
#include "platform/global_hotkey.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <set>
#include <vector>

namespace pellandor {

namespace {

constexpr xcb_keysym_t kNumLockKeysym = 0xFF7F;
constexpr std::uint8_t kBadAccess = 10;
// xkb event subtypes that mean the keyboard mapping changed.
constexpr std::uint8_t kXkbNewKeyboardNotify = 0;
constexpr std::uint8_t kXkbMapNotify = 1;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

class X11Hotkey final : public GlobalHotkey, public QAbstractNativeEventFilter {
public:
    X11Hotkey(xcb_connection_t* connection) : connection_(connection) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const char name[] = "XKEYBOARD";
        Reply<xcb_query_extension_reply_t> ext(
            xcb_query_extension_reply(connection_, xcb_query_extension(connection_, sizeof(name) - 1, name), nullptr));
        if (ext && ext->present) xkbFirstEvent_ = ext->first_event;
        // Several mapping events arrive for one change; grab again once.
        regrab_.setSingleShot(true);
        regrab_.setInterval(0);
        connect(&regrab_, &QTimer::timeout, this, [this] {
            if (!wanted_) return;
            qCInfo(lcHotkey) << "keyboard mapping changed; grabbing the hotkey again";
            ungrab();
            grab();
        });
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~X11Hotkey() override {
        if (auto* app = QCoreApplication::instance()) app->removeNativeEventFilter(this);
        ungrab();
    }

    bool apply(const std::string& modifier, const std::string& key) override {
        ungrab();
        modifier_ = modifier;
        key_ = key;
        wanted_ = true;
        return grab();
    }

    void remove() override {
        wanted_ = false;
        ungrab();
    }

    bool isRegistered() const override { return !grabbed_.empty(); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const std::uint8_t type = event->response_type & 0x7F;
        if (type == XCB_KEY_PRESS && !grabbed_.empty()) {
            const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
            const std::uint16_t state = press->state & 0xFF & ~(XCB_MOD_MASK_LOCK | numLockMask_);
            if (keycodes_.count(press->detail) != 0 && state == modifiers_) {
                qCDebug(lcHotkey) << "hotkey pressed";
                // Leave the event filter before any dialog work.
                QMetaObject::invokeMethod(this, &GlobalHotkey::activated, Qt::QueuedConnection);
                return true;
            }
        } else if (type == XCB_MAPPING_NOTIFY ||
                   (xkbFirstEvent_ != 0 && type == xkbFirstEvent_ &&
                    (event->pad0 == kXkbNewKeyboardNotify || event->pad0 == kXkbMapNotify))) {
            if (wanted_) regrab_.start();
        }
        return false;
    }

private:
    bool grab() {
        const std::uint32_t flags = hotkeyModifierFlags(modifier_);
        const std::uint32_t vk = hotkeyVirtualKey(key_);
        const std::string shown = hotkeyDisplayName(modifier_, key_);
        if (flags == 0 || vk == 0) {
            reportOnce(shown, "the hotkey " + shown +
                                  " is not a combination this program knows (HOTKEY/MOD_KEY: CTRL, ALT, SHIFT "
                                  "or WIN; HOTKEY/VIRTUAL_KEY: A-Z, 0-9 or f1-f12); no hotkey.");
            return false;
        }
        modifiers_ = x11ModifierMask(flags);
        keycodes_ = keycodesFor(keysymForVirtualKey(vk));
        numLockMask_ = numLockMask();
        if (keycodes_.empty()) {
            reportOnce(shown, "no key on this keyboard gives " + key_ + "; no hotkey.");
            return false;
        }
        std::set<std::uint16_t> lockCombos = {0, XCB_MOD_MASK_LOCK};
        if (numLockMask_ != 0) {
            lockCombos.insert(numLockMask_);
            lockCombos.insert(numLockMask_ | XCB_MOD_MASK_LOCK);
        }
        std::vector<xcb_void_cookie_t> cookies;
        std::vector<std::pair<xcb_keycode_t, std::uint16_t>> tried;
        for (xcb_keycode_t code : keycodes_) {
            for (std::uint16_t locks : lockCombos) {
                const std::uint16_t mods = modifiers_ | locks;
                cookies.push_back(
                    xcb_grab_key_checked(connection_, 0, root_, mods, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
                tried.emplace_back(code, mods);
            }
        }
        bool taken = false;
        for (std::size_t i = 0; i < cookies.size(); ++i) {
            Reply<xcb_generic_error_t> error(xcb_request_check(connection_, cookies[i]));
            if (!error) {
                grabbed_.push_back(tried[i]);
            } else if (error->error_code == kBadAccess) {
                taken = true;
            } else {
                qCWarning(lcHotkey) << "grabbing the hotkey failed with X error" << error->error_code;
                taken = true;
            }
        }
        if (taken) {
            // Half a grab would work only with some lock keys on: take none.
            ungrab();
            reportOnce(shown, "the hotkey " + shown +
                                  " is taken by another program, so it is off here (choose another "
                                  "combination, or turn the hotkey off to have copied numbers pop up).");
            return false;
        }
        xcb_flush(connection_);
        qCInfo(lcHotkey) << "hotkey" << shown.c_str() << "grabbed on" << keycodes_.size() << "key(s)";
        return true;
    }

    void ungrab() {
        for (const auto& [code, mods] : grabbed_) xcb_ungrab_key(connection_, code, root_, mods);
        if (!grabbed_.empty()) xcb_flush(connection_);
        grabbed_.clear();
    }

    void reportOnce(const std::string& combination, const std::string& text) {
        if (reported_.insert(combination).second) qCWarning(lcHotkey).noquote() << QString::fromStdString(text);
    }

    std::set<xcb_keycode_t> keycodesFor(xcb_keysym_t keysym) {
        std::set<xcb_keycode_t> codes;
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        Reply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
            connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, static_cast<std::uint8_t>(count)),
            nullptr));
        if (!mapping) return codes;
        const int perCode = mapping->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        // The unshifted column first; the shifted one only when no key has it unshifted.
        for (int column = 0; column < std::min(perCode, 2) && codes.empty(); ++column) {
            for (int i = 0; i < count; ++i) {
                if (syms[i * perCode + column] == keysym)
                    codes.insert(static_cast<xcb_keycode_t>(setup->min_keycode + i));
            }
        }
        return codes;
    }

    std::uint16_t numLockMask() {
        const std::set<xcb_keycode_t> numLockCodes = keycodesFor(kNumLockKeysym);
        if (numLockCodes.empty()) return 0;
        Reply<xcb_get_modifier_mapping_reply_t> mods(
            xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr));
        if (!mods) return 0;
        const int perModifier = mods->keycodes_per_modifier;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods.get());
        for (int modifier = 0; modifier < 8; ++modifier) {
            for (int j = 0; j < perModifier; ++j) {
                if (numLockCodes.count(codes[modifier * perModifier + j]) != 0)
                    return static_cast<std::uint16_t>(1u << modifier);
            }
        }
        return 0;
    }

    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    std::uint8_t xkbFirstEvent_ = 0;
    std::string modifier_, key_;
    bool wanted_ = false;
    std::uint16_t modifiers_ = 0;
    std::uint16_t numLockMask_ = 0;
    std::set<xcb_keycode_t> keycodes_;
    std::vector<std::pair<xcb_keycode_t, std::uint16_t>> grabbed_;
    std::set<std::string> reported_;
    QTimer regrab_;
};

}  // namespace

std::unique_ptr<GlobalHotkey> createPlatformHotkey() {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (x11 != nullptr && x11->connection() != nullptr) return std::make_unique<X11Hotkey>(x11->connection());
    }
    return createDummyHotkey();
}

}  // namespace pellandor
