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
// registers nothing.
std::unique_ptr<GlobalHotkey> createPlatformHotkey();
std::unique_ptr<GlobalHotkey> createDummyHotkey();

}  // namespace pellandor
