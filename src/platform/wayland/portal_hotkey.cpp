// The hotkey through the desktop portal's GlobalShortcuts (KDE Plasma 5.27,
// GNOME 48 and later): the program asks for a shortcut with the user's key
// as the preferred trigger; the desktop may ask the user once, and sends
// Activated when it is pressed, whichever program has the focus.
#include "platform/global_hotkey.h"
#include "platform/hotkey_names.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace pellandor {

namespace {

constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
constexpr const char* kShortcutId = "call-dialog";

struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcuts = QList<PortalShortcut>;

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

}  // namespace
}  // namespace pellandor

Q_DECLARE_METATYPE(pellandor::PortalShortcut)
Q_DECLARE_METATYPE(pellandor::PortalShortcuts)

namespace pellandor {

namespace {

class PortalHotkey final : public GlobalHotkey {
    Q_OBJECT

public:
    PortalHotkey() : bus_(QDBusConnection::sessionBus()) {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<PortalShortcuts>();
        if (!bus_.connect(QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
                          QString::fromLatin1(kShortcutsInterface), QStringLiteral("Activated"), this,
                          SLOT(onActivated(QDBusMessage))))
            qCWarning(lcHotkey) << "cannot listen to the portal's shortcuts:" << bus_.lastError().message();
    }

    bool apply(const std::string& modifier, const std::string& key) override {
        modifier_ = modifier;
        key_ = key;
        wanted_ = true;
        if (bound_ == modifier + "+" + key) return registered_;
        registered_ = false;
        if (!bound_.empty()) {
            // A session binds its shortcuts once: another key needs a new one.
            closeSession();
        }
        if (session_.isEmpty()) {
            if (!creating_) createSession();
        } else {
            bindShortcut();
        }
        return false;  // the answer comes later; until then a copy pops up by itself
    }

    void remove() override {
        // The portal keeps a session's shortcuts until it is closed; Activated
        // is ignored while the hotkey is off.
        wanted_ = false;
    }

    bool isRegistered() const override { return wanted_ && registered_; }

private slots:
    void onActivated(const QDBusMessage& message) {
        const QList<QVariant> args = message.arguments();
        if (args.size() < 2) return;
        const QString session = args[0].value<QDBusObjectPath>().path();
        const QString id = args[1].toString();
        if (!wanted_ || !registered_ || session != session_ || id != QLatin1String(kShortcutId)) return;
        qCDebug(lcHotkey) << "portal shortcut activated";
        emit activated();
    }

    void onSessionResponse(uint response, const QVariantMap& results) {
        creating_ = false;
        disconnectRequest(sessionRequest_, SLOT(onSessionResponse(uint, QVariantMap)));
        if (response != 0) return fail("the desktop portal refused a shortcut session");
        session_ = results.value(QStringLiteral("session_handle")).toString();
        if (session_.isEmpty()) return fail("the desktop portal gave no shortcut session");
        if (wanted_) bindShortcut();
    }

    void onBindResponse(uint response, const QVariantMap& results) {
        disconnectRequest(bindRequest_, SLOT(onBindResponse(uint, QVariantMap)));
        if (response == 1) return fail("it was declined in the desktop's dialog");
        if (response != 0) return fail("the desktop portal did not bind it");
        PortalShortcuts shortcuts;
        results.value(QStringLiteral("shortcuts")).value<QDBusArgument>() >> shortcuts;
        QString trigger;
        for (const PortalShortcut& shortcut : shortcuts)
            if (shortcut.id == QLatin1String(kShortcutId))
                trigger = shortcut.properties.value(QStringLiteral("trigger_description")).toString();
        registered_ = true;
        bound_ = modifier_ + "+" + key_;
        qCInfo(lcHotkey) << "portal shortcut bound; the desktop shows it as" << trigger;
    }

private:
    // The portal answers on a request object whose path it derives from our
    // bus name and a token; listening before the call leaves no gap.
    QString requestPath(const QString& token) const {
        QString sender = bus_.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    }

    QString listen(const QString& token, const char* slot) {
        const QString path = requestPath(token);
        bus_.connect(QString::fromLatin1(kPortalService), path, QString::fromLatin1(kRequestInterface),
                     QStringLiteral("Response"), this, slot);
        return path;
    }

    void disconnectRequest(const QString& path, const char* slot) {
        bus_.disconnect(QString::fromLatin1(kPortalService), path, QString::fromLatin1(kRequestInterface),
                        QStringLiteral("Response"), this, slot);
    }

    void closeSession() {
        bus_.asyncCall(QDBusMessage::createMethodCall(QString::fromLatin1(kPortalService), session_,
                                                      QStringLiteral("org.freedesktop.portal.Session"),
                                                      QStringLiteral("Close")));
        session_.clear();
        bound_.clear();
    }

    QString nextToken() { return QStringLiteral("pellandor%1").arg(++tokenCounter_); }

    void createSession() {
        creating_ = true;
        const QString token = nextToken();
        sessionRequest_ = listen(token, SLOT(onSessionResponse(uint, QVariantMap)));
        QDBusMessage call =
            QDBusMessage::createMethodCall(QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
                                           QString::fromLatin1(kShortcutsInterface), QStringLiteral("CreateSession"));
        call << QVariantMap{{QStringLiteral("handle_token"), token}, {QStringLiteral("session_handle_token"), token}};
        watchCall(call, [this] {
            creating_ = false;
            disconnectRequest(sessionRequest_, SLOT(onSessionResponse(uint, QVariantMap)));
        });
    }

    void bindShortcut() {
        const std::string trigger = portalTrigger(modifier_, key_);
        if (trigger.empty()) {
            return fail(
                "it is not a combination this program knows (HOTKEY/MOD_KEY: CTRL, ALT, SHIFT or WIN; "
                "HOTKEY/VIRTUAL_KEY: A-Z, 0-9 or f1-f12)");
        }
        const QString token = nextToken();
        bindRequest_ = listen(token, SLOT(onBindResponse(uint, QVariantMap)));
        PortalShortcuts shortcuts{{QString::fromLatin1(kShortcutId),
                                   {{QStringLiteral("description"), QStringLiteral("Show the call dialog")},
                                    {QStringLiteral("preferred_trigger"), QString::fromStdString(trigger)}}}};
        QDBusMessage call =
            QDBusMessage::createMethodCall(QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
                                           QString::fromLatin1(kShortcutsInterface), QStringLiteral("BindShortcuts"));
        call << QVariant::fromValue(QDBusObjectPath(session_)) << QVariant::fromValue(shortcuts) << QString()
             << QVariantMap{{QStringLiteral("handle_token"), token}};
        watchCall(call, [this] { disconnectRequest(bindRequest_, SLOT(onBindResponse(uint, QVariantMap))); });
    }

    template <typename OnError>
    void watchCall(const QDBusMessage& call, OnError onError) {
        auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, onError] {
            watcher->deleteLater();
            if (!watcher->isError()) return;
            onError();
            const QDBusError::ErrorType type = watcher->error().type();
            if (type == QDBusError::ServiceUnknown || type == QDBusError::UnknownInterface ||
                type == QDBusError::UnknownMethod || type == QDBusError::UnknownObject) {
                fail("this Wayland desktop offers programs no global hotkey (no GlobalShortcuts portal)");
            } else {
                fail(("the desktop portal answered \"" + watcher->error().message().toStdString() + "\"").c_str());
            }
        });
    }

    void fail(const char* why) {
        registered_ = false;
        const std::string shown = hotkeyDisplayName(modifier_, key_);
        if (reported_ == shown) return;
        reported_ = shown;
        qCWarning(lcHotkey).noquote() << QString::fromStdString(hotkeyUnavailableText(modifier_, key_, why));
    }

    QDBusConnection bus_;
    std::string modifier_, key_;
    std::string bound_;     // the combination the portal bound
    std::string reported_;  // the combination last reported as unavailable
    QString session_;
    QString sessionRequest_, bindRequest_;
    int tokenCounter_ = 0;
    bool creating_ = false;
    bool wanted_ = false;
    bool registered_ = false;
};

}  // namespace

std::unique_ptr<GlobalHotkey> createPortalHotkey() {
    return std::make_unique<PortalHotkey>();
}

}  // namespace pellandor

#include "portal_hotkey.moc"
