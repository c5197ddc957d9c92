#pragma once
// A system-wide key combination; one backend per platform.

#include <QLoggingCategory>
#include <QObject>

#include <memory>
#include <string>

Q_DECLARE_LOGGING_CATEGORY(lcHotkey)

namespace pellandor {

class GlobalHotkey : public QObject {
    Q_OBJECT

public:
    ~GlobalHotkey() override = default;

    // Releases the current combination, then takes the one named as the
    // settings name it ("ALT", "Q"). False when the names are unknown or the
    // combination is taken; the reason goes to stderr once per combination.
    virtual bool apply(const std::string& modifier, const std::string& key) = 0;
    virtual void remove() = 0;
    virtual bool isRegistered() const = 0;

signals:
    void activated();
};

// The backend for the running platform (X11 under xcb), else one that
// registers nothing. In a Wayland session an X grab through XWayland sees
// no key pressed in a Wayland program, so there it is the desktop portal's
// GlobalShortcuts, else nothing.
std::unique_ptr<GlobalHotkey> createPlatformHotkey();
// The hotkey for this session: createPlatformHotkey() outside Wayland.
std::unique_ptr<GlobalHotkey> createSessionHotkey();
bool inWaylandSession();
// The desktop portal's GlobalShortcuts; says once on stderr when the
// desktop has none or refuses.
std::unique_ptr<GlobalHotkey> createPortalHotkey();
// Registers nothing; with `why`, says once on stderr why and what to do instead.
std::unique_ptr<GlobalHotkey> createDummyHotkey(const std::string& why = {});

}  // namespace pellandor
