// The clipboard read through an X connection of our own on a worker thread.
// Qt reads the clipboard in a nested wait of up to 5 s per format on the GUI
// thread, so one owner that never answers froze the tray, the hotkey and the
// hand-over of a second start for about 10 s per copy.
#include "platform/clipboard_watcher.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <xcb/xcb.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

Q_LOGGING_CATEGORY(lcX11Clipboard, "pellandor.clipboard.x11", QtWarningMsg)

namespace pellandor {

namespace {

// The whole read, every format asked for, gets this long; a text that does
// not arrive in time is dropped.
constexpr auto kReadBudget = std::chrono::milliseconds(250);

// Password managers mark the secrets they copy with this format.
constexpr const char* kPasswordHintFormat = "x-kde-passwordManagerHint";

using Clock = std::chrono::steady_clock;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

struct ConnectionDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

// One answer of the clipboard's owner.
struct Converted {
    enum class Status { Data, Refused, TimedOut, Stopped } status = Status::Refused;
    xcb_atom_t type = XCB_NONE;
    std::string bytes;
    bool truncated = false;  // more bytes than asked for
};

class X11ClipboardWatcher final : public ClipboardWatcher {
public:
    explicit X11ClipboardWatcher(std::string display) : display_(std::move(display)), wake_(::eventfd(0, EFD_CLOEXEC)) {
        if (auto* clipboard = QGuiApplication::clipboard()) {
            connect(clipboard, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
                if (mode == QClipboard::Clipboard) emit changed();
            });
        }
        worker_ = std::thread([this] { run(); });
    }

    ~X11ClipboardWatcher() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wakeUp_.notify_one();
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
        worker_.join();
        ::close(wake_);
    }

    void read(int maxChars, std::function<void(const WatchedClipboardEntry&)> done) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            // Reads that wait together get the one answer: it is as fresh.
            pending_.push_back(std::move(done));
            maxChars_ = std::max(maxChars_, maxChars);
        }
        wakeUp_.notify_one();
    }

private:
    void run() {
        for (;;) {
            std::vector<std::function<void(const WatchedClipboardEntry&)>> waiting;
            int maxChars = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wakeUp_.wait(lock, [this] { return stop_ || !pending_.empty(); });
                if (stop_) return;
                waiting.swap(pending_);
                maxChars = maxChars_;
                maxChars_ = 0;
            }
            const WatchedClipboardEntry entry = readOnce(maxChars);
            // Queued to the GUI thread; dropped with the watcher if it goes first.
            QMetaObject::invokeMethod(
                this,
                [waiting = std::move(waiting), entry] {
                    for (const auto& done : waiting) done(entry);
                },
                Qt::QueuedConnection);
        }
    }

    bool connectOnce() {
        if (connection_ && !xcb_connection_has_error(connection_.get())) return true;
        connection_.reset(xcb_connect(display_.empty() ? nullptr : display_.c_str(), nullptr));
        window_ = XCB_NONE;
        if (xcb_connection_has_error(connection_.get())) {
            qCWarning(lcX11Clipboard) << "cannot open a connection to the display" << display_.c_str();
            connection_.reset();
            return false;
        }
        clipboard_ = intern("CLIPBOARD");
        targets_ = intern("TARGETS");
        utf8String_ = intern("UTF8_STRING");
        plainUtf8_ = intern("text/plain;charset=utf-8");
        incr_ = intern("INCR");
        hint_ = intern(kPasswordHintFormat);
        property_ = intern("PELLANDOR_CLIPBOARD");
        return true;
    }

    xcb_atom_t intern(const char* name) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection_.get(),
            xcb_intern_atom(connection_.get(), 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : XCB_NONE;
    }

    // A fresh requestor window: an answer that comes after we gave up goes to
    // the old one, which no longer exists, and is never taken for a new one.
    void freshWindow() {
        xcb_connection_t* c = connection_.get();
        if (window_ != XCB_NONE) xcb_destroy_window(c, window_);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        window_ = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
    }

    // Asks the owner for `target` and waits for its answer until `deadline`.
    Converted convert(xcb_atom_t target, std::uint32_t maxBytes, Clock::time_point deadline) {
        xcb_connection_t* c = connection_.get();
        xcb_convert_selection(c, window_, clipboard_, target, property_, XCB_CURRENT_TIME);
        xcb_flush(c);
        Converted result;
        for (;;) {
            while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
                if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY) continue;
                const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
                if (notify->requestor != window_ || notify->target != target) continue;
                if (notify->property == XCB_NONE) return result;  // Refused
                return fetch(maxBytes);
            }
            if (xcb_connection_has_error(c)) return result;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                result.status = Converted::Status::TimedOut;
                return result;
            }
            pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {wake_, POLLIN, 0}};
            if (::poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR) return result;
            if (fds[1].revents != 0) {
                result.status = Converted::Status::Stopped;
                return result;
            }
        }
    }

    // Reads (and removes) the property the owner filled; the X server
    // answers this itself, so it cannot hang on the owner.
    Converted fetch(std::uint32_t maxBytes) {
        Converted result;
        xcb_connection_t* c = connection_.get();
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c, xcb_get_property(c, 1, window_, property_, XCB_GET_PROPERTY_TYPE_ANY, 0, (maxBytes + 3) / 4), nullptr));
        if (!reply) return result;
        result.status = Converted::Status::Data;
        result.type = reply->type;
        const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply.get()));
        result.bytes.assign(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
        result.truncated = reply->bytes_after > 0;
        return result;
    }

    WatchedClipboardEntry readOnce(int maxChars) {
        WatchedClipboardEntry entry;
        if (!connectOnce()) return entry;
        if (window_ == XCB_NONE) freshWindow();
        const Clock::time_point deadline = Clock::now() + kReadBudget;
        const auto gaveUp = [&](const Converted& answer) {
            if (answer.status != Converted::Status::TimedOut) return false;
            qCWarning(lcX11Clipboard) << "the clipboard's owner did not answer within" << kReadBudget.count()
                                      << "ms; the copy is ignored";
            freshWindow();
            return true;
        };

        const Converted offered = convert(targets_, 4096, deadline);
        if (gaveUp(offered) || offered.status == Converted::Status::Stopped) return entry;
        std::vector<xcb_atom_t> targets;
        if (offered.status == Converted::Status::Data && offered.type == XCB_ATOM_ATOM) {
            targets.resize(offered.bytes.size() / sizeof(xcb_atom_t));
            std::memcpy(targets.data(), offered.bytes.data(), targets.size() * sizeof(xcb_atom_t));
        } else {
            // An owner that does not list its formats may still give text.
            targets = {utf8String_, XCB_ATOM_STRING};
        }
        const auto offers = [&](xcb_atom_t atom) {
            return atom != XCB_NONE && std::find(targets.begin(), targets.end(), atom) != targets.end();
        };

        xcb_atom_t textTarget = XCB_NONE;
        for (const xcb_atom_t candidate : {utf8String_, plainUtf8_, xcb_atom_t{XCB_ATOM_STRING}}) {
            if (offers(candidate)) {
                textTarget = candidate;
                break;
            }
        }
        if (textTarget == XCB_NONE) return entry;

        if (offers(hint_)) {
            const Converted hint = convert(hint_, 64, deadline);
            if (gaveUp(hint) || hint.status == Converted::Status::Stopped) return entry;
            if (hint.status == Converted::Status::Data && QByteArray::fromStdString(hint.bytes).trimmed() == "secret") {
                entry.hasText = true;
                entry.secret = true;
                return entry;
            }
        }

        // Enough bytes for one character more than wanted: more means too long.
        const auto limit = static_cast<std::uint32_t>(maxChars + 1) * 4;
        const Converted text = convert(textTarget, limit, deadline);
        if (gaveUp(text) || text.status != Converted::Status::Data) return entry;
        entry.hasText = true;
        // Only a large text comes in pieces.
        if (text.type == incr_ || text.truncated) {
            entry.oversized = true;
            return entry;
        }
        const QString decoded = text.type == XCB_ATOM_STRING
                                    ? QString::fromLatin1(text.bytes.data(), static_cast<qsizetype>(text.bytes.size()))
                                    : QString::fromUtf8(text.bytes.data(), static_cast<qsizetype>(text.bytes.size()));
        if (decoded.size() > maxChars) {
            entry.oversized = true;
            return entry;
        }
        entry.text = decoded;
        return entry;
    }

    const std::string display_;
    const int wake_;  // tells a waiting read to stop

    std::mutex mutex_;
    std::condition_variable wakeUp_;
    bool stop_ = false;
    std::vector<std::function<void(const WatchedClipboardEntry&)>> pending_;
    int maxChars_ = 0;

    // The worker's own.
    std::unique_ptr<xcb_connection_t, ConnectionDeleter> connection_;
    xcb_window_t window_ = XCB_NONE;
    xcb_atom_t clipboard_ = XCB_NONE, targets_ = XCB_NONE, utf8String_ = XCB_NONE, plainUtf8_ = XCB_NONE,
               incr_ = XCB_NONE, hint_ = XCB_NONE, property_ = XCB_NONE;

    std::thread worker_;  // last: started once everything above exists
};

}  // namespace

Result<std::unique_ptr<ClipboardWatcher>> createX11ClipboardWatcher() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return failure("the platform is not xcb");
    const char* display = std::getenv("DISPLAY");
    return std::unique_ptr<ClipboardWatcher>(std::make_unique<X11ClipboardWatcher>(display ? display : ""));
}

}  // namespace pellandor
