#pragma once
// Watches the clipboard proper (never the mouse selection) where the
// toolkit's own clipboard cannot: a Wayland desktop tells an unfocused
// program nothing. One backend per platform, chosen by CMake.

#include "base/result.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace pellandor {

struct WatchedClipboardEntry {
    bool hasText = false;
    bool secret = false;     // a password manager marked it as a secret
    bool oversized = false;  // longer than any number; `text` is then empty
    QString text;
};

class ClipboardWatcher : public QObject {
    Q_OBJECT

public:
    ~ClipboardWatcher() override = default;

    // Reads the current clipboard; `done` runs later from the event loop,
    // once, unless the watcher is destroyed first. At most `maxChars`
    // UTF-16 units are taken; more sets `oversized`.
    virtual void read(int maxChars, std::function<void(const WatchedClipboardEntry&)> done) = 0;

signals:
    // Another program took the clipboard.
    void changed();
    // The desktop stopped answering; no further changes will arrive.
    void lost();
};

// The Wayland desktop's clipboard through the data-control protocol; fails
// when there is no Wayland session or the compositor does not offer the
// protocol.
Result<std::unique_ptr<ClipboardWatcher>> createWaylandClipboardWatcher();

// The X11 clipboard read on a connection and thread of its own, so an owner
// that never answers costs the program nothing but a dropped copy; changes
// come from Qt's own watch. Fails when the platform is not xcb.
Result<std::unique_ptr<ClipboardWatcher>> createX11ClipboardWatcher();

}  // namespace pellandor
