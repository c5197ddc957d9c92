// The clipboard of a Wayland desktop through the wlroots data-control
// protocol (wlroots compositors such as sway, and KWin): the compositor
// announces every new selection to this client whether it has the focus or
// not. A connection of its own, so it works under XWayland as well as under
// Qt's Wayland platform.
#include "platform/clipboard_watcher.h"
#include "platform/wayland/clipboard_offer.h"

#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>

#include <wayland-client.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <vector>

Q_LOGGING_CATEGORY(lcWaylandClipboard, "pellandor.clipboard", QtWarningMsg)

namespace pellandor {

namespace {

// A program that offers the clipboard but never writes it must not keep a
// read open for long.
constexpr int kReadTimeoutMs = 1000;

class WaylandClipboardWatcher;

// One format of one offer read through a pipe, without blocking.
class PipeRead final : public QObject {
public:
    PipeRead(int fd, std::size_t maxBytes, std::function<void(bool ok, const std::string& bytes)> done)
        : fd_(fd), maxBytes_(maxBytes), done_(std::move(done)), notifier_(fd, QSocketNotifier::Read) {
        connect(&notifier_, &QSocketNotifier::activated, this, &PipeRead::readSome);
        timeout_.setSingleShot(true);
        connect(&timeout_, &QTimer::timeout, this, [this] {
            qCInfo(lcWaylandClipboard) << "the clipboard's owner did not send its data in time";
            finish(false);
        });
        timeout_.start(kReadTimeoutMs);
    }
    ~PipeRead() override {
        if (fd_ >= 0) ::close(fd_);
    }

private:
    void readSome() {
        char buffer[512];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                bytes_.append(buffer, static_cast<std::size_t>(n));
                // One byte past the bound tells "too long" apart from "just fits".
                if (bytes_.size() > maxBytes_) return finish(true);
                continue;
            }
            if (n == 0) return finish(true);
            if (errno == EINTR) continue;
            if (errno == EAGAIN) return;
            return finish(false);
        }
    }

    void finish(bool ok) {
        notifier_.setEnabled(false);
        timeout_.stop();
        if (!done_) return;
        auto done = std::move(done_);
        done_ = nullptr;
        done(ok, bytes_);  // may delete this
    }

    int fd_;
    std::size_t maxBytes_;
    std::function<void(bool, const std::string&)> done_;
    QSocketNotifier notifier_;
    QTimer timeout_;
    std::string bytes_;
};

class WaylandClipboardWatcher final : public ClipboardWatcher {
public:
    explicit WaylandClipboardWatcher(wl_display* display) : display_(display) {}

    ~WaylandClipboardWatcher() override {
        reads_.clear();
        for (auto& [offer, types] : pending_) zwlr_data_control_offer_v1_destroy(offer);
        if (selection_) zwlr_data_control_offer_v1_destroy(selection_);
        if (device_) zwlr_data_control_device_v1_destroy(device_);
        if (manager_) zwlr_data_control_manager_v1_destroy(manager_);
        if (seat_) wl_seat_destroy(seat_);
        if (registry_) wl_registry_destroy(registry_);
        wl_display_disconnect(display_);
    }

    Status start() {
        registry_ = wl_display_get_registry(display_);
        wl_registry_add_listener(registry_, &kRegistryListener, this);
        if (wl_display_roundtrip(display_) < 0) {
            return failure("the Wayland compositor did not answer");
        }
        if (manager_ == nullptr) {
            return failure(
                "the Wayland compositor offers no clipboard access to programs in the background "
                "(no wlr data-control)");
        }
        if (seat_ == nullptr) {
            return failure("the Wayland compositor has no seat");
        }
        device_ = zwlr_data_control_manager_v1_get_data_device(manager_, seat_);
        zwlr_data_control_device_v1_add_listener(device_, &kDeviceListener, this);
        // The selection already there arrives first; it is no new copy.
        if (wl_display_roundtrip(display_) < 0) {
            return failure("the Wayland compositor did not answer");
        }
        started_ = true;
        notifier_ = std::make_unique<QSocketNotifier>(wl_display_get_fd(display_), QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, &WaylandClipboardWatcher::dispatch);
        return {};
    }

    void read(int maxChars, std::function<void(const WatchedClipboardEntry&)> done) override {
        std::vector<std::string> types;
        if (selection_) types = selectionTypes_;
        const std::optional<std::string> textType = pickTextType(types);
        if (!textType) {
            QTimer::singleShot(0, this, [done] { done(WatchedClipboardEntry{}); });
            return;
        }
        auto readText = [this, offer = selection_, type = *textType, maxChars, done] {
            if (offer != selection_) return done(WatchedClipboardEntry{});  // replaced meanwhile
            receive(
                offer, type, maxTextBytes(type, maxChars), [type, maxChars, done](bool ok, const std::string& bytes) {
                    WatchedClipboardEntry entry;
                    if (!ok) return done(entry);
                    entry.hasText = true;
                    const QString text = isLatin1Type(type)
                                             ? QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()))
                                             : QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
                    if (bytes.size() > maxTextBytes(type, maxChars) || text.size() > maxChars)
                        entry.oversized = true;
                    else
                        entry.text = text;
                    done(entry);
                });
        };
        if (!offersType(types, kPasswordHintType)) return readText();
        receive(selection_, std::string(kPasswordHintType), 64, [readText, done](bool ok, const std::string& hint) {
            if (ok && isSecretHint(hint)) {
                WatchedClipboardEntry entry;
                entry.hasText = true;
                entry.secret = true;
                return done(entry);
            }
            readText();
        });
    }

private:
    void receive(zwlr_data_control_offer_v1* offer, const std::string& type, std::size_t maxBytes,
                 std::function<void(bool, const std::string&)> done) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            QTimer::singleShot(0, this, [done] { done(false, {}); });
            return;
        }
        zwlr_data_control_offer_v1_receive(offer, type.c_str(), fds[1]);
        wl_display_flush(display_);
        ::close(fds[1]);  // the compositor holds its copy; EOF comes when the owner closes
        auto it = reads_.emplace(reads_.end());
        *it = std::make_unique<PipeRead>(fds[0], maxBytes, [this, it, done](bool ok, const std::string& bytes) {
            const std::string copy = bytes;
            auto self = std::move(*it);
            reads_.erase(it);
            self.release()->deleteLater();
            done(ok, copy);
        });
    }

    void dispatch() {
        if (wl_display_dispatch(display_) < 0) {
            qCWarning(lcWaylandClipboard) << "lost the Wayland connection:" << std::strerror(errno);
            notifier_->setEnabled(false);
            emit lost();
            return;
        }
        wl_display_flush(display_);
    }

    static void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
        auto* self = static_cast<WaylandClipboardWatcher*>(data);
        if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0 && self->manager_ == nullptr) {
            self->manager_ = static_cast<zwlr_data_control_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
        } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat_ == nullptr) {
            self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        }
        (void)version;
    }
    static void onGlobalRemove(void*, wl_registry*, uint32_t) {}

    static void onDataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
        auto* self = static_cast<WaylandClipboardWatcher*>(data);
        self->pending_[offer] = {};
        zwlr_data_control_offer_v1_add_listener(offer, &kOfferListener, self);
    }

    static void onSelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
        auto* self = static_cast<WaylandClipboardWatcher*>(data);
        if (self->selection_) zwlr_data_control_offer_v1_destroy(self->selection_);
        self->selection_ = offer;
        self->selectionTypes_.clear();
        if (offer) {
            auto found = self->pending_.find(offer);
            if (found != self->pending_.end()) {
                self->selectionTypes_ = std::move(found->second);
                self->pending_.erase(found);
            }
        }
        qCDebug(lcWaylandClipboard) << "selection offered with" << self->selectionTypes_.size() << "formats";
        if (offer && self->started_) emit self->changed();
    }

    static void onFinished(void* data, zwlr_data_control_device_v1* device) {
        auto* self = static_cast<WaylandClipboardWatcher*>(data);
        zwlr_data_control_device_v1_destroy(device);
        self->device_ = nullptr;
        qCWarning(lcWaylandClipboard) << "the compositor ended clipboard watching";
        emit self->lost();
    }

    static void onOfferType(void* data, zwlr_data_control_offer_v1* offer, const char* type) {
        auto* self = static_cast<WaylandClipboardWatcher*>(data);
        auto found = self->pending_.find(offer);
        if (found != self->pending_.end() && found->second.size() < 64) found->second.emplace_back(type);
    }

    static constexpr wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};
    static constexpr zwlr_data_control_device_v1_listener kDeviceListener = {onDataOffer, onSelection, onFinished};
    static constexpr zwlr_data_control_offer_v1_listener kOfferListener = {onOfferType};

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwlr_data_control_manager_v1* manager_ = nullptr;
    zwlr_data_control_device_v1* device_ = nullptr;
    zwlr_data_control_offer_v1* selection_ = nullptr;
    std::vector<std::string> selectionTypes_;
    std::map<zwlr_data_control_offer_v1*, std::vector<std::string>> pending_;
    std::list<std::unique_ptr<PipeRead>> reads_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool started_ = false;
};

}  // namespace

Result<std::unique_ptr<ClipboardWatcher>> createWaylandClipboardWatcher() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || *name == '\0') return failure("not a Wayland session");
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) return failure(std::string("cannot connect to the Wayland display \"") + name + "\"");
    auto watcher = std::make_unique<WaylandClipboardWatcher>(display);
    if (Status started = watcher->start(); !started) return failure(started.error());
    return std::unique_ptr<ClipboardWatcher>(std::move(watcher));
}

}  // namespace pellandor
